#pragma once

#include "ui/toolkit/ListView.h"

#include <QString>

namespace vantrel {

class FileSearchModel;
struct FileModel;

// The view of "File Search": the search bar's text is the query (a name
// prefix, optionally "in" a folder: "report in ~/Documents"); with nothing
// typed it lists the recently used files. Rows come in as the search finds
// them, each with the icon of its type, its name and its folder, and the
// pixel size for images. The actions of the selected file are the model's:
// Open, Open With, Show in File Manager, Copy Path, Move to Trash.
class FileSearchView : public ListView {
    Q_OBJECT

public:
    inline static const QString viewTitle = QStringLiteral("File Search");
    inline static const QString recentSectionTitle = QStringLiteral("Recent Files");
    inline static const QString resultsSectionTitle = QStringLiteral("Files");
    inline static const QString searchingText = QStringLiteral("Searching…");
    inline static const QString noFilesText = QStringLiteral("No Files Found");
    inline static const QString noRecentFilesText = QStringLiteral("No Recent Files");

    // Takes the model over; starts searching for initialQuery at once.
    FileSearchView(FileSearchModel* model, const QString& initialQuery = QString(), QWidget* parent = nullptr);
    ~FileSearchView() override;

    std::vector<MenuItem> actions() const override;
    void viewDidAppear() override;

    FileSearchModel* model() const { return m_model; }

    // What a file's row shows: the theme icon of its type (a generic one when
    // the theme has none), the folder with the home folder as "~", and
    // "width × height" for images.
    static QString iconNameFor(const FileModel& file);
    static QString folderText(const QString& path);
    static QString imageSizeText(const FileModel& file);

private:
    void rebuild();

    FileSearchModel* m_model;
};

}  // namespace vantrel
