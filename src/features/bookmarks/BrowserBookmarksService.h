#pragma once

#include "data/BrowserBookmarksRepository.h"
#include "features/bookmarks/BrowserBookmark.h"
#include "features/bookmarks/BrowserLocations.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QFileSystemWatcher;

namespace vantrel {

class Throttler;

// The icons a browser keeps for the pages it visited, read from a cached copy
// of its database with one query per page (the page's address as the LIKE
// pattern). Chromium's "Favicons": a 32 × 32 bitmap or one without a size;
// Firefox's "favicons.sqlite": any icon of the page.
class FaviconStore {
public:
    FaviconStore(BrowserBookmark::Source source, QString cachedDatabase);
    ~FaviconStore();
    // The image bytes; nothing when the page has none or the database cannot
    // be read (logged).
    std::optional<QByteArray> favicon(const QString& pageUrl);

    static const char* const chromiumQuery;
    static const char* const firefoxQuery;

private:
    struct Database;
    BrowserBookmark::Source m_source;
    QString m_path;
    std::unique_ptr<Database> m_db;
};

// How one source fared in a sync.
struct BookmarkSourceSync {
    BrowserBookmark::Source source = BrowserBookmark::Source::chrome;
    bool loaded = false;
    int count = 0;
    // The parser's message when it failed.
    QString error;
};

struct BookmarksSyncReport {
    std::vector<BookmarkSourceSync> sources;
    std::vector<BrowserBookmark::Folder> folders;
};

// Reads the bookmark files of the enabled browsers and keeps the result in
// the browser bookmarks table: each source that loads replaces its rows (a
// source that fails keeps what it had and says why, a source switched off
// loses its rows). Syncs run one at a time, on the calling thread or the
// global pool; the table is the database pool's business.
class BrowserBookmarksService {
public:
    using SettingsProvider = std::function<BrowserBookmarksSettings()>;

    BrowserBookmarksService(std::shared_ptr<BrowserBookmarksRepository> repository, BrowserLocations locations,
                            SettingsProvider settings);
    ~BrowserBookmarksService();

    // Parses one source's file as it is now (databases through a cached copy)
    // with its favicons. Throws VantrelError with the parser's message.
    ParsedBookmarks load(BrowserBookmark::Source source) const;

    BookmarksSyncReport sync();
    // Syncs on the global pool; `done` runs on `context`'s thread (dropped when
    // it is gone).
    void syncInBackground(QObject* context, std::function<void(const BookmarksSyncReport&)> done = {});
    bool isSyncing() const;

    // The stored bookmarks of the enabled sources (one source when given),
    // visited ones first.
    std::vector<BrowserBookmark> bookmarks(std::optional<BrowserBookmark::Source> source = std::nullopt) const;
    // The folders of the last sync (kept beside the cached databases).
    std::vector<BrowserBookmark::Folder> folders() const;

    // A visit from the launcher: the frecency date moves forward. Throws
    // "Could not update browser bookmark frecency" when it is not stored.
    BrowserBookmark updateFrecency(const BrowserBookmark& bookmark);

    // The bookmark files (and their folders) whose changes call for a sync.
    QStringList watchedPaths() const;

    const BrowserLocations& locations() const { return m_locations; }
    BrowserBookmarksSettings settings() const { return m_settings(); }

    static BrowserBookmark bookmark(const BrowserBookmarkRecord& record);
    static BrowserBookmarkRecord record(const BrowserBookmark& bookmark);

private:
    std::shared_ptr<BrowserBookmarksRepository> m_repository;
    BrowserLocations m_locations;
    SettingsProvider m_settings;
    mutable std::mutex m_syncMutex;
    // Syncs started and not finished; the service waits for them when it goes.
    std::atomic<int> m_running{0};
    std::mutex m_backgroundMutex;
    std::condition_variable m_backgroundDone;
    int m_background = 0;
};

// Syncs when a browser's bookmark file changes (inotify, through
// QFileSystemWatcher), at most once per `interval` seconds; the watched paths
// follow each sync (a browser installed later, a profile chosen).
class BookmarksWatcher : public QObject {
public:
    BookmarksWatcher(BrowserBookmarksService& service, double intervalSeconds,
                     std::function<void(const BookmarksSyncReport&)> synced = {});
    ~BookmarksWatcher() override;
    void rewatch();
    QStringList watched() const;

private:
    void changed();
    BrowserBookmarksService& m_service;
    std::unique_ptr<QFileSystemWatcher> m_watcher;
    std::unique_ptr<Throttler> m_throttler;
    std::function<void(const BookmarksSyncReport&)> m_synced;
};

}  // namespace vantrel
