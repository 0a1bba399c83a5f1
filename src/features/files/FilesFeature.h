#pragma once

#include "core/api/Feature.h"
#include "features/files/FilesApi.h"

#include <memory>

namespace vantrel {

class FileIndex;
class FileSearch;
class OpenWithApplications;

// File search: "File Search" and its fallback open a view that finds files
// by name in the file index (the home folder, or the folders of the
// "fileSearchScopes" setting) and lists the recently used files when nothing
// is typed; each file can be opened, opened with another application, shown
// in the file manager, have its path copied, or be moved to the trash.
// start() builds the index on a thread of its own and follows changes.
class FilesFeature : public Feature, public FilesApi {
public:
    FilesFeature();
    ~FilesFeature() override;

    QString name() const override { return QStringLiteral("files"); }
    void registerWith(FeatureContext& context) override;
    void start() override;

    // FilesApi
    MenuItem openWithMenuItem(const QString& path, LauncherPresenter* presenter) override;
    Signal<QString>& openWithApplicationsFound() override;

    // Null before registerWith.
    std::shared_ptr<FileIndex> index() const { return m_index; }

private:
    std::shared_ptr<FileIndex> m_index;
    // One query at a time for every view (a newer one cancels the older).
    std::shared_ptr<FileSearch> m_search;
    std::shared_ptr<OpenWithApplications> m_applications;
    bool m_started = false;
};

}  // namespace vantrel
