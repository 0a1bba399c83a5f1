#include "features/files/ui/FileSearchView.h"

#include "core/api/LauncherPresenter.h"
#include "features/files/FileSearchModel.h"

#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QMimeDatabase>

namespace vantrel {

FileSearchView::FileSearchView(FileSearchModel* model, const QString& initialQuery, QWidget* parent)
    : ListView(viewTitle, parent), m_model(model) {
    setObjectName(QStringLiteral("fileSearchView"));
    m_model->setParent(this);
    // The model searches; the list shows what it found as it is.
    setFiltering(false);
    setSearchPlaceholder(QStringLiteral("Search files by name, or \"name in ~/folder\"…"));
    connect(this, &ListView::queryChanged, m_model, &FileSearchModel::setQuery);
    connect(m_model, &FileSearchModel::filesChanged, this, &FileSearchView::rebuild);
    connect(m_model, &FileSearchModel::actionsChanged, this, &LauncherView::actionsChanged);
    // A double click runs the primary action (Return goes through the window).
    connect(this, &ListView::itemActivated, this, [this] {
        const std::vector<MenuItem> items = actions();
        if (items.empty()) return;
        const CommandOutcome outcome = items.front().perform();
        if (LauncherPresenter* shown = presenter()) shown->handleOutcome(outcome);
    });
    searchTextChanged(initialQuery);
    if (initialQuery.isEmpty()) m_model->setQuery(initialQuery);  // no change reported for the empty text
    rebuild();
}

FileSearchView::~FileSearchView() = default;

std::vector<MenuItem> FileSearchView::actions() const {
    const Item* item = selectedItem();
    return item ? m_model->actions(item->id) : std::vector<MenuItem>{};
}

void FileSearchView::viewDidAppear() {
    m_model->setPresenter(presenter());
}

void FileSearchView::rebuild() {
    Section section;
    section.title = m_model->listsRecentFiles() ? recentSectionTitle : resultsSectionTitle;
    for (const FileModel& file : m_model->files()) {
        Item item;
        item.id = file.path;
        item.title = file.name;
        item.subtitle = folderText(file.path);
        item.icon = ImageResource::named(iconNameFor(file));
        if (const QString size = imageSizeText(file); !size.isEmpty()) item.accessories.push_back({size, {}});
        section.items.push_back(std::move(item));
    }
    if (!m_model->hasAnswered())
        setEmptyText(searchingText);
    else
        setEmptyText(m_model->listsRecentFiles() ? noRecentFilesText : noFilesText);
    std::vector<Section> sections;
    if (!section.items.empty()) sections.push_back(std::move(section));
    setSections(std::move(sections));
    emit actionsChanged();
}

QString FileSearchView::iconNameFor(const FileModel& file) {
    static const QMimeDatabase database;
    const QMimeType type =
        database.mimeTypeForName(file.contentType.value_or(QStringLiteral("application/octet-stream")));
    const QString folder = QStringLiteral("folder");
    if (file.contentType == QLatin1String("inode/directory")) return folder;
    for (const QString& name : {type.iconName(), type.genericIconName()})
        if (!name.isEmpty() && QIcon::hasThemeIcon(name)) return name;
    return type.genericIconName().isEmpty() ? QStringLiteral("text-x-generic") : type.genericIconName();
}

QString FileSearchView::folderText(const QString& path) {
    const QString folder = QFileInfo(path).path();
    const QString home = QDir::homePath();
    if (folder == home) return QStringLiteral("~");
    if (folder.startsWith(home + QLatin1Char('/'))) return QLatin1Char('~') + folder.mid(home.size());
    return folder;
}

QString FileSearchView::imageSizeText(const FileModel& file) {
    if (!file.imageAttributes) return {};
    return QStringLiteral("%1 × %2").arg(file.imageAttributes->width).arg(file.imageAttributes->height);
}

}  // namespace vantrel
