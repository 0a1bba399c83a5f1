#include "features/bookmarks/BrowserBookmarksService.h"

#include "data/Frecency.h"
#include "data/SQLite.h"
#include "features/bookmarks/BookmarkParsers.h"
#include "kit/Logger.h"
#include "kit/Queue.h"
#include "kit/Throttler.h"
#include "kit/VantrelError.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QUrl>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("BrowserBookmarks"), QStringLiteral("🔖")});
    return logger;
}

QString foldersFile() {
    return bookmarksCacheDirectory() + QStringLiteral("/folders.json");
}

QString iconsDirectory() {
    return bookmarksCacheDirectory() + QStringLiteral("/icons");
}

// The cached copy's name of a source's icon database.
QString faviconCacheName(BrowserBookmark::Source source) {
    return source == BrowserBookmark::Source::firefox ? QStringLiteral("firefox_favicons")
                                                       : rawValue(source) + QStringLiteral("_favicons");
}

}  // namespace

// MARK: Favicons

const char* const FaviconStore::chromiumQuery =
    "SELECT image_data FROM icon_mapping, favicon_bitmaps\n  WHERE icon_mapping.icon_id = favicon_bitmaps.icon_id\n"
    "  AND icon_mapping.page_url LIKE ?\n  AND ((favicon_bitmaps.width = 32 AND favicon_bitmaps.height = 32)\n"
    "  OR (favicon_bitmaps.width = 0 AND favicon_bitmaps.height = 0))";

const char* const FaviconStore::firefoxQuery =
    "SELECT DISTINCT icons.icon_url AS url, icons.data AS data\n  FROM moz_icons AS icons,\n"
    "       moz_icons_to_pages AS ref,\n       moz_pages_w_icons AS pages\n  WHERE icons.id = ref.icon_id\n"
    "    AND ref.page_id = pages.id\n    AND pages.page_url LIKE ?;";

struct FaviconStore::Database {
    std::unique_ptr<Connection> connection;
    bool failed = false;
};

FaviconStore::FaviconStore(BrowserBookmark::Source source, QString cachedDatabase)
    : m_source(source), m_path(std::move(cachedDatabase)), m_db(std::make_unique<Database>()) {}

FaviconStore::~FaviconStore() = default;

std::optional<QByteArray> FaviconStore::favicon(const QString& pageUrl) {
    const bool firefox = m_source == BrowserBookmark::Source::firefox;
    if (m_db->failed) return std::nullopt;
    if (!m_db->connection) {
        try {
            m_db->connection = std::make_unique<Connection>(m_path, Connection::Mode::readWrite);
            log().debug(firefox ? QStringLiteral("Opened cached Firefox favicons db at ") + m_path
                                : QStringLiteral("Opened cached favorites db at ") + m_path);
        } catch (const std::exception& error) {
            m_db->failed = true;
            log().error(firefox ? QStringLiteral("Cannot open the Firefox' favicons db")
                                : QStringLiteral("Cannot load database to get favicon for ") + pageUrl,
                        {{QStringLiteral("error"), VantrelError::describe(error)}});
            return std::nullopt;
        }
    }
    try {
        const auto rows = m_db->connection->query(QString::fromLatin1(firefox ? firefoxQuery : chromiumQuery), {pageUrl});
        for (const Row& row : rows) {
            const QByteArray data = row[firefox ? 1 : 0].toByteArray();
            if (!data.isEmpty()) return data;
        }
    } catch (const std::exception& error) {
        log().error((firefox ? QStringLiteral("Cannot load Firefox favicon for ") : QStringLiteral("Cannot load favicon for ")) +
                        pageUrl,
                    {{QStringLiteral("error"), VantrelError::describe(error)}});
    }
    return std::nullopt;
}

// MARK: Service

BrowserBookmarksService::BrowserBookmarksService(std::shared_ptr<BrowserBookmarksRepository> repository,
                                                 BrowserLocations locations, SettingsProvider settings)
    : m_repository(std::move(repository)), m_locations(std::move(locations)), m_settings(std::move(settings)) {}

BrowserBookmarksService::~BrowserBookmarksService() {
    // A background sync uses this object: wait for it.
    std::unique_lock lock(m_backgroundMutex);
    m_backgroundDone.wait(lock, [this] { return m_background == 0; });
}

ParsedBookmarks BrowserBookmarksService::load(BrowserBookmark::Source source) const {
    const BrowserBookmarksSettings settings = m_settings();
    const QString file = m_locations.bookmarksFile(source, settings);
    ParsedBookmarks parsed;
    switch (source) {
        case BrowserBookmark::Source::firefox: {
            const QString cached = cacheDatabase(source, file, QStringLiteral("firefox_bookmarks"));
            std::unique_ptr<Connection> db;
            try {
                db = std::make_unique<Connection>(cached, Connection::Mode::readWrite);
            } catch (const std::exception& error) {
                throw VantrelError(QStringLiteral("Cannot open the Firefox' bookmarks: ") + VantrelError::describe(error));
            }
            log().debug(QStringLiteral("Opened cached Firefox bookmarks db at ") + cached);
            parsed = parseFirefoxPlaces(*db);
            break;
        }
        case BrowserBookmark::Source::safari: {
            log().info(QStringLiteral("Loading Safari bookmarks from: ") + file);
            QFile plist(file);
            if (!plist.open(QIODevice::ReadOnly)) throw VantrelError(QStringLiteral("Could not get bookmarks URL for Safari"));
            parsed = parseSafariBookmarks(plist.readAll());
            break;
        }
        default: {
            QFile json(file);
            if (!json.open(QIODevice::ReadOnly))
                throw VantrelError(QStringLiteral("No bookmarks file found for ") + rawValue(source));
            parsed = parseChromiumBookmarks(json.readAll(), source);
            break;
        }
    }
    // Icons from the browser's own database, written once per page as files
    // the list shows.
    const QString favicons = m_locations.faviconsFile(source, settings);
    if (!favicons.isEmpty() && !parsed.bookmarks.empty()) {
        try {
            FaviconStore store(source, cacheDatabase(source, favicons, faviconCacheName(source)));
            QDir().mkpath(iconsDirectory());
            for (BrowserBookmark& bookmark : parsed.bookmarks) {
                const std::optional<QByteArray> image = store.favicon(bookmark.link);
                if (!image) continue;
                const QString path = iconsDirectory() + QLatin1Char('/') +
                                     QString::fromLatin1(QCryptographicHash::hash(image->left(4096) + QByteArray::number(image->size()),
                                                                                  QCryptographicHash::Sha1)
                                                             .toHex()) +
                                     QStringLiteral(".img");
                if (!QFileInfo::exists(path)) {
                    QFile out(path);
                    if (out.open(QIODevice::WriteOnly)) out.write(*image);
                }
                bookmark.imageURL = QUrl::fromLocalFile(path).toString();
            }
        } catch (const std::exception& error) {
            log().warning("Favicons left out", {{QStringLiteral("source"), rawValue(source)},
                                                {QStringLiteral("error"), VantrelError::describe(error)}});
        }
    }
    return parsed;
}

BookmarksSyncReport BrowserBookmarksService::sync() {
    std::lock_guard lock(m_syncMutex);
    ++m_running;
    const BrowserBookmarksSettings settings = m_settings();
    BookmarksSyncReport report;
    for (const BrowserBookmark::Source source : allBrowserBookmarkSources()) {
        BookmarkSourceSync result;
        result.source = source;
        if (!settings.isEnabled(source)) {
            // Neither parsed nor shown.
            try {
                m_repository->replaceBookmarks(rawValue(source), {});
            } catch (const std::exception& error) {
                log().error("Could not update bookmark", {{QStringLiteral("error"), VantrelError::describe(error)}});
            }
            continue;
        }
        log().info(QStringLiteral("Parsing bookmarks from ") + rawValue(source));
        try {
            ParsedBookmarks parsed = load(source);
            std::vector<BrowserBookmarkRecord> records;
            records.reserve(parsed.bookmarks.size());
            for (const BrowserBookmark& bookmark : parsed.bookmarks) records.push_back(record(bookmark));
            m_repository->replaceBookmarks(rawValue(source), records);
            result.loaded = true;
            result.count = static_cast<int>(parsed.bookmarks.size());
            report.folders.insert(report.folders.end(), parsed.folders.begin(), parsed.folders.end());
        } catch (const std::exception& error) {
            result.error = VantrelError::describe(error);
            // A browser that is simply not installed is no failure worth a warning.
            const bool absent = result.error.startsWith(QLatin1String("Could not get bookmarks URL for"));
            if (absent)
                log().debug(QStringLiteral("Could not parse bookmarks from ") + rawValue(source),
                            {{QStringLiteral("error"), result.error}});
            else
                log().error(QStringLiteral("Could not parse bookmarks from ") + rawValue(source),
                            {{QStringLiteral("error"), result.error}});
        }
        report.sources.push_back(result);
    }
    QJsonArray folders;
    for (const BrowserBookmark::Folder& folder : report.folders)
        folders.append(QJsonObject{{"id", folder.id}, {"name", folder.name}, {"source", rawValue(folder.source)}});
    QDir().mkpath(bookmarksCacheDirectory());
    QFile file(foldersFile());
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(QJsonDocument(folders).toJson());
    --m_running;
    return report;
}

void BrowserBookmarksService::syncInBackground(QObject* context, std::function<void(const BookmarksSyncReport&)> done) {
    // Made here, where the context lives: it may be destroyed while the sync runs.
    const Queue back = Queue::object(context);
    ++m_running;
    {
        std::lock_guard lock(m_backgroundMutex);
        ++m_background;
    }
    Queue::global().dispatch([this, back, done = std::move(done)] {
        BookmarksSyncReport report = sync();
        --m_running;
        if (done) back([done, report = std::move(report)] { done(report); });
        std::lock_guard lock(m_backgroundMutex);
        --m_background;
        m_backgroundDone.notify_all();
    });
}

bool BrowserBookmarksService::isSyncing() const {
    return m_running.load() > 0;
}

std::vector<BrowserBookmark> BrowserBookmarksService::bookmarks(std::optional<BrowserBookmark::Source> source) const {
    const BrowserBookmarksSettings settings = m_settings();
    std::vector<BrowserBookmark> list;
    for (const BrowserBookmarkRecord& row : source ? m_repository->readAll(rawValue(*source)) : m_repository->readAll()) {
        BrowserBookmark item = bookmark(row);
        if (settings.isEnabled(item.source)) list.push_back(std::move(item));
    }
    return list;
}

std::vector<BrowserBookmark::Folder> BrowserBookmarksService::folders() const {
    std::vector<BrowserBookmark::Folder> list;
    QFile file(foldersFile());
    if (!file.open(QIODevice::ReadOnly)) return list;
    const BrowserBookmarksSettings settings = m_settings();
    for (const QJsonValue& value : QJsonDocument::fromJson(file.readAll()).array()) {
        const QJsonObject object = value.toObject();
        const auto source = browserBookmarkSourceFromRaw(object.value(QStringLiteral("source")).toString());
        if (!source || !settings.isEnabled(*source)) continue;
        list.push_back({object.value(QStringLiteral("id")).toString(), object.value(QStringLiteral("name")).toString(),
                        *source});
    }
    return list;
}

BrowserBookmark BrowserBookmarksService::updateFrecency(const BrowserBookmark& item) {
    try {
        const BrowserBookmarkRecord updated = m_repository->updateFrecency(
            item.link, rawValue(item.source), [&](BrowserBookmarkRecord stored) {
                const QDateTime now = QDateTime::currentDateTimeUtc();
                const QDateTime old = stored.frecencyDate.value_or(Frecency::farPast());
                const QDateTime fresh = Frecency::addingVisit(now, stored.frecencyDate.value_or(now), now);
                log().debug(QStringLiteral("updateFrecency %1, old score: %2, new score: %3")
                                .arg(item.link)
                                .arg(stored.frecencyDate ? Frecency::score(old, now) : 0.0, 0, 'f', 6)
                                .arg(Frecency::score(fresh, now), 0, 'f', 6));
                stored.frecencyDate = fresh;
                return stored;
            });
        return bookmark(updated);
    } catch (const std::exception& error) {
        log().error("Could not update browser bookmark frecency", {{QStringLiteral("error"), VantrelError::describe(error)}});
        throw VantrelError(QStringLiteral("Could not update browser bookmark frecency"));
    }
}

QStringList BrowserBookmarksService::watchedPaths() const {
    const BrowserBookmarksSettings settings = m_settings();
    QStringList paths;
    for (const BrowserBookmark::Source source : allBrowserBookmarkSources()) {
        if (!settings.isEnabled(source)) continue;
        try {
            const QString file = m_locations.bookmarksFile(source, settings);
            paths << file << QFileInfo(file).absolutePath();
            if (source == BrowserBookmark::Source::firefox && QFileInfo::exists(file + QStringLiteral("-wal")))
                paths << file + QStringLiteral("-wal");
        } catch (const std::exception&) {
        }
    }
    paths.removeDuplicates();
    return paths;
}

BrowserBookmark BrowserBookmarksService::bookmark(const BrowserBookmarkRecord& row) {
    BrowserBookmark item;
    item.id = row.urlString;
    item.name = row.name;
    item.link = row.urlString;
    item.imageURL = row.imageURLString;
    item.source = browserBookmarkSourceFromRaw(row.source).value_or(BrowserBookmark::Source::chrome);
    item.tags = decodeTags(row.tags);
    item.frecencyDate = row.frecencyDate;
    return item;
}

BrowserBookmarkRecord BrowserBookmarksService::record(const BrowserBookmark& item) {
    BrowserBookmarkRecord row;
    row.urlString = item.link;
    row.source = rawValue(item.source);
    row.name = item.name;
    row.tags = encodeTags(item.tags);
    row.imageURLString = item.imageURL;
    row.frecencyDate = item.frecencyDate;
    row.updatedAt = QDateTime::currentDateTimeUtc();
    return row;
}

// MARK: Watching

BookmarksWatcher::BookmarksWatcher(BrowserBookmarksService& service, double intervalSeconds,
                                   std::function<void(const BookmarksSyncReport&)> synced)
    : m_service(service),
      m_watcher(std::make_unique<QFileSystemWatcher>()),
      m_throttler(std::make_unique<Throttler>(intervalSeconds, false, this)),
      m_synced(std::move(synced)) {
    QObject::connect(m_watcher.get(), &QFileSystemWatcher::fileChanged, this, [this] { changed(); });
    QObject::connect(m_watcher.get(), &QFileSystemWatcher::directoryChanged, this, [this] { changed(); });
    rewatch();
}

BookmarksWatcher::~BookmarksWatcher() {
    m_throttler->cancel();
}

void BookmarksWatcher::rewatch() {
    const QStringList wanted = m_service.watchedPaths();
    const QStringList current = watched();
    QStringList gone;
    for (const QString& path : current)
        if (!wanted.contains(path)) gone << path;
    if (!gone.isEmpty()) m_watcher->removePaths(gone);
    QStringList added;
    for (const QString& path : wanted)
        if (!current.contains(path)) added << path;
    if (!added.isEmpty()) m_watcher->addPaths(added);
}

QStringList BookmarksWatcher::watched() const {
    return m_watcher->files() + m_watcher->directories();
}

void BookmarksWatcher::changed() {
    QPointer<BookmarksWatcher> self(this);
    m_throttler->throttle([self] {
        if (!self) return;
        log().info("A browser's bookmarks changed: syncing");
        self->m_service.syncInBackground(self, [self](const BookmarksSyncReport& report) {
            if (!self) return;
            self->rewatch();
            if (self->m_synced) self->m_synced(report);
        });
    });
}

}  // namespace vantrel
