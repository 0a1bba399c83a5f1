#pragma once

#include "core/api/CommandOutcome.h"
#include "search/FileSearch.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace vantrel {

class LauncherPresenter;
class OpenWithApplications;

// What the file-search view shows, without the view: the query, the files
// found for it and their actions.
//
// setQuery() starts a query on the file search's own thread and returns at
// once; its files come back to the main thread in batches as they are read
// (filesChanged after each). The files of the previous query stay until the
// first batch of the new one, so the list does not flicker while typing. An
// empty name ("" or "in ~/Documents") lists the recently used files.
// The file search is shared (one query runs at a time; a newer one cancels
// the older): a model that goes away never waits for its query, whose
// batches are then dropped. Main thread only.
class FileSearchModel : public QObject {
    Q_OBJECT

public:
    struct Options {
        int limit = 60;
        // Where to look; empty: everywhere the index looks.
        QStringList searchScopes;
    };

    FileSearchModel(std::shared_ptr<FileSearch> search, std::shared_ptr<OpenWithApplications> applications,
                    Options options, QObject* parent = nullptr);
    FileSearchModel(std::shared_ptr<FileSearch> search, std::shared_ptr<OpenWithApplications> applications,
                    QObject* parent = nullptr);
    ~FileSearchModel() override;

    void setQuery(const QString& query);
    QString query() const { return m_query; }
    // The query asks for recently used files (it names no file).
    bool listsRecentFiles() const { return m_recent; }

    const std::vector<FileModel>& files() const { return m_files; }
    const FileModel* file(const QString& path) const;
    // The last batch of the current query has come.
    bool hasAnswered() const { return m_answered; }

    // Where actions show their progress, questions and failures.
    void setPresenter(LauncherPresenter* presenter) { m_presenter = presenter; }
    LauncherPresenter* presenter() const { return m_presenter; }
    // The actions of a file shown now (by its path), the primary one first;
    // none for a path that is not shown.
    std::vector<MenuItem> actions(const QString& path) const;

signals:
    // The files changed: a batch came, the query finished, a file was trashed.
    void filesChanged();
    // The actions of shown files changed (their "Open With" applications came in).
    void actionsChanged();

private:
    void received(quint64 generation, std::vector<FileModel> files, bool finished);
    void removeFile(const QString& path);

    std::shared_ptr<FileSearch> m_search;
    std::shared_ptr<OpenWithApplications> m_applications;
    Options m_options;
    LauncherPresenter* m_presenter = nullptr;
    QString m_query;
    bool m_recent = true;
    std::vector<FileModel> m_files;
    quint64 m_generation = 0;  // of the query running now
    bool m_firstBatch = true;  // the next batch replaces the files shown
    bool m_answered = false;
};

}  // namespace vantrel
