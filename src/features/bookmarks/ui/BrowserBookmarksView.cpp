#include "features/bookmarks/ui/BrowserBookmarksView.h"

#include "core/api/LauncherPresenter.h"
#include "features/bookmarks/BookmarksFeature.h"
#include "features/bookmarks/BookmarksSearch.h"
#include "kit/Logger.h"
#include "kit/Queue.h"
#include "kit/VantrelError.h"
#include "platform/DesktopServices.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QPointer>
#include <QUrl>
#include <QVBoxLayout>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("BrowserBookmarks"), QStringLiteral("🔖")});
    return logger;
}

}  // namespace

BrowserBookmarksView::BrowserBookmarksView(BookmarksFeature& feature, const LauncherEnvironment* environment,
                                           const QString& initialQuery, QWidget* parent)
    : ListView(viewTitle, parent), m_feature(feature), m_environment(environment), m_query(initialQuery) {
    setObjectName(QStringLiteral("browserBookmarksView"));
    setFiltering(false);
    setSearchPlaceholder(placeholderText);
    m_folders = new QComboBox(this);
    m_folders->setObjectName(QStringLiteral("bookmarkFolderSelector"));
    if (auto* box = qobject_cast<QVBoxLayout*>(layout())) box->insertWidget(0, m_folders);
    connect(m_folders, &QComboBox::currentIndexChanged, this, [this] {
        const QString folder = m_folders->currentData().toString();
        m_feature.editSettings([&](BrowserBookmarksSettings& settings) { settings.selectedFolder = folder; });
        rebuild();
    });
    connect(this, &ListView::queryChanged, this, [this](const QString& text) {
        m_query = text;
        rebuild();
    });
    connect(this, &ListView::itemActivated, this, [this] {
        const std::vector<MenuItem> items = actions();
        if (items.empty()) return;
        const CommandOutcome outcome = items.front().perform();
        if (LauncherPresenter* shown = presenter()) shown->handleOutcome(outcome);
    });
    searchTextChanged(initialQuery);
    setEmptyText(loadingText);
    loadBookmarks();
}

BrowserBookmarksView::~BrowserBookmarksView() = default;

void BrowserBookmarksView::viewDidAppear() {
    if (!m_synced) syncBookmarks();
}

void BrowserBookmarksView::loadBookmarks() {
    m_loading = true;
    setEmptyText(loadingText);
    QPointer<BrowserBookmarksView> self(this);
    BrowserBookmarksService* service = m_feature.service();
    Queue::global().dispatch([self, service] {
        std::vector<BrowserBookmark> loaded;
        std::vector<BrowserBookmark::Folder> folders;
        bool failed = false;
        try {
            loaded = service->bookmarks();
            folders = service->folders();
        } catch (const std::exception& error) {
            failed = true;
            log().error("Could not load browser bookmarks", {{QStringLiteral("error"), VantrelError::describe(error)}});
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, loaded = std::move(loaded), folders = std::move(folders), failed]() mutable {
                if (!self) return;
                self->m_loading = false;
                self->m_bookmarks = std::move(loaded);
                self->m_knownFolders = std::move(folders);
                if (failed && self->presenter())
                    self->presenter()->showToast({Toast::Style::failure, QStringLiteral("Failed loading browser bookmarks"), {}});
                self->fillFolders();
                self->rebuild();
            },
            Qt::QueuedConnection);
    });
}

void BrowserBookmarksView::syncBookmarks(bool announce) {
    if (m_syncing) return;
    m_syncing = true;
    m_synced = true;
    if (m_bookmarks.empty()) setEmptyText(syncingText);
    LauncherPresenter::ToastId toast = 0;
    if (announce && presenter()) toast = presenter()->showToast({Toast::Style::animated, syncingText, {}});
    QPointer<BrowserBookmarksView> self(this);
    m_feature.service()->syncInBackground(this, [self, toast](const BookmarksSyncReport& report) {
        if (!self) return;
        self->m_syncing = false;
        if (self->presenter() && toast) self->presenter()->hideToast(toast);
        QStringList failed;
        for (const BookmarkSourceSync& source : report.sources)
            if (!source.loaded && !source.error.startsWith(QLatin1String("Could not get bookmarks URL for")))
                failed << displayName(source.source) + QStringLiteral(": ") + source.error;
        if (!failed.isEmpty() && self->presenter())
            self->presenter()->showToast(
                {Toast::Style::failure, QStringLiteral("Cannot load browser bookmarks"), failed.join(QStringLiteral("; "))});
        self->loadBookmarks();
    });
}

void BrowserBookmarksView::fillFolders() {
    const QString selected = m_feature.settings().selectedFolder;
    QSignalBlocker block(m_folders);
    m_folders->clear();
    m_folders->addItem(allFolders, QString());
    QStringList seen;
    for (const BrowserBookmark::Folder& folder : m_knownFolders) {
        if (seen.contains(folder.name)) continue;
        seen << folder.name;
        m_folders->addItem(folder.name, folder.name);
    }
    const int index = m_folders->findData(selected);
    m_folders->setCurrentIndex(index < 0 ? 0 : index);
}

void BrowserBookmarksView::rebuild() {
    const BrowserBookmarksSettings settings = m_feature.settings();
    bool anyEnabled = false;
    for (const BrowserBookmark::Source source : allBrowserBookmarkSources()) anyEnabled |= settings.isEnabled(source);
    const QString folder = m_folders->currentData().toString();
    std::vector<BrowserBookmark> found =
        searchBookmarks(m_bookmarks, m_query, folder.isEmpty() ? std::nullopt : std::optional<QString>(folder));
    Section section;
    for (const BrowserBookmark& bookmark : found) {
        if (static_cast<int>(section.items.size()) >= kMaximumRows) break;
        Item item;
        item.id = rawValue(bookmark.source) + QLatin1Char(' ') + bookmark.link;
        item.title = bookmark.name;
        item.subtitle = QUrl(bookmark.link).host();
        item.icon = bookmark.imageURL ? ImageResource::url(QUrl(*bookmark.imageURL), QSize(16, 16))
                                      : ImageResource::named(QStringLiteral("bookmark"));
        if (!bookmark.tags.isEmpty()) item.accessories.push_back({bookmark.tags.join(QStringLiteral(" / ")), {}});
        item.accessories.push_back({displayName(bookmark.source), {}});
        item.actions = actionsFor(bookmark);
        section.items.push_back(std::move(item));
    }
    if (!anyEnabled)
        setEmptyText(noBrowsersText);
    else if (m_loading)
        setEmptyText(loadingText);
    else if (m_syncing)
        setEmptyText(syncingText);
    else
        setEmptyText(QStringLiteral("No Bookmarks"));
    std::vector<Section> sections;
    if (!section.items.empty()) sections.push_back(std::move(section));
    setSections(std::move(sections));
    emit actionsChanged();
}

std::vector<MenuItem> BrowserBookmarksView::actionsFor(const BrowserBookmark& bookmark) const {
    BookmarksFeature* feature = &m_feature;
    const LauncherEnvironment* environment = m_environment;
    QPointer<BrowserBookmarksView> self(const_cast<BrowserBookmarksView*>(this));
    MenuItem open = MenuItem::make(QString(openInBrowserId), QStringLiteral("Open in Browser"), [feature, environment, bookmark] {
        const QUrl url(bookmark.link);
        try {
            if (environment && environment->openUrl)
                environment->openUrl(url);
            else
                openOnDesktop(url);
        } catch (const std::exception& error) {
            return CommandOutcome::failed(QStringLiteral("Cannot open bookmark"), VantrelError::describe(error));
        }
        try {
            feature->service()->updateFrecency(bookmark);
        } catch (const std::exception& error) {
            log().error("Could not update bookmark", {{QStringLiteral("error"), VantrelError::describe(error)}});
        }
        return CommandOutcome::done();
    });
    MenuItem copy = MenuItem::make(QString(copyLinkId), QStringLiteral("Copy Link"), [link = bookmark.link] {
        return CommandOutcome::copied(link, QStringLiteral("Copied Link to Clipboard"));
    });
    MenuItem refresh = MenuItem::make(QString(refreshId), QStringLiteral("Refresh Bookmarks"), [self] {
        // The outcome's toast says it; the list stays.
        if (self) self->syncBookmarks(false);
        CommandOutcome outcome = CommandOutcome::done();
        outcome.toastTitle = syncingText;
        return outcome;
    });
    return {open, copy, refresh};
}

std::vector<MenuItem> BrowserBookmarksView::actions() const {
    const Item* item = selectedItem();
    if (!item) return {};
    return item->actions;
}

}  // namespace vantrel
