#pragma once

#include "search/RadixTree.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <thread>
#include <vector>

namespace vantrel {

class DirectoryWatcher;
class UserDefaults;

// The names of every file and folder below the configured scopes (by default
// the home folder), for prefix search by name.
//
// What is indexed: everything below a scope except hidden entries (names
// starting with "."), the cache folder ($XDG_CACHE_HOME, default ~/.cache) and
// any folder holding a CACHEDIR.TAG. Symbolic links are indexed as entries
// but never followed, and a folder reached twice (bind mounts) is read once.
//
// Matching: names are folded (case, diacritics and character width ignored,
// so "Résumé" and "ＲＥＳＵＭＥ" both fold to "resume"). A query matches an
// entry when it is a prefix of the folded file name, or of the folded name
// from the start of any later word of its display name (the name without its
// last extension; words start after a space, "-", "_", "." or a bracket). So
// "report" finds "report-2024.pdf", "Report final.odt" and "final report.odt";
// the extension is not a word of its own, so "pdf" finds "pdf-guide.txt" but
// not "report.pdf".
//
// Storage: each folder's path is kept once; names are packed into one byte
// buffer; the radix tree maps "folded name" + "\0" + entry id to the entry.
// A full build scans into a fresh index off to the side and swaps it in under
// the write lock; followed changes edit the live index under the write lock;
// lookups take the read lock.
//
// Changes are followed with inotify on every indexed folder. When the watch
// limit is reached the index falls back to a full rescan every rescanInterval
// and logs that once.
class FileIndex {
public:
    struct Options {
        QStringList scopes;  // empty: the home folder
        bool watchChanges = true;
        // Watch at most this many folders, as if the system's watch limit were there.
        std::optional<size_t> watchLimit;
        std::chrono::milliseconds rescanInterval = std::chrono::minutes(5);
    };

    // One matching entry.
    struct Hit {
        quint32 id = 0;
        QString path;
        QString name;
        bool isFolder = false;
    };

    // The scope filter of a lookup: whether hits in this folder (native path) count.
    using FolderFilter = std::function<bool(const QByteArray& folder)>;

    // The setting that names the folders to index: a list of folders, "~"
    // standing for the home folder.
    static constexpr QLatin1String scopesKey{"fileSearchScopes"};
    // The folders the setting names ("~" expanded); empty (the home folder) when unset.
    static QStringList scopesFromSettings(const UserDefaults& defaults);

    FileIndex();
    explicit FileIndex(Options options);
    ~FileIndex();
    FileIndex(const FileIndex&) = delete;
    FileIndex& operator=(const FileIndex&) = delete;

    // Builds the index on a thread of its own, then follows changes; the
    // completion runs on that thread once the first build is in place.
    void start(std::function<void()> completion = {});
    // Scans every scope now (on the calling thread) and swaps the result in;
    // starts following changes when enabled.
    void build();
    bool isReady() const { return m_ready.load(); }
    // Waits for the first build; false when it did not finish in time.
    bool waitUntilReady(std::chrono::milliseconds timeout) const;

    // Entries whose folded name (or a later word of it) starts with the folded
    // query, name matches before word matches, at most limit. An empty query
    // matches nothing. Stops early when cancelled becomes true.
    std::vector<Hit> itemsWithPrefix(const QString& query, int limit, const FolderFilter& inScope = {},
                                     const std::atomic<bool>* cancelled = nullptr) const;

    const QStringList& scopes() const { return m_scopes; }
    size_t entryCount() const;
    size_t folderCount() const;
    quint64 keyCount() const;
    // Whether the watch limit was reached and periodic rescans took over.
    bool isRescanningPeriodically() const { return m_periodicRescan.load(); }
    size_t watchedFolderCount() const;
    // Counts full builds (the first one and every rescan), for callers that wait for one.
    quint64 buildCount() const { return m_buildCount.load(); }

    // The folded form names and queries are compared in (UTF-8).
    static QByteArray foldedKey(const QString& text);
    static QByteArray foldedKey(const QByteArray& utf8);

private:
    struct Snapshot;
    struct Scan;
    struct WatchEvents;

    void scanFolder(Scan& scan, const QByteArray& path, quint32 parentEntry, bool isScope) const;
    bool isExcluded(const QByteArray& path) const;
    void noteWatchLimit();
    void applyEvents(const WatchEvents& events);
    void startPeriodicRescan();
    void stopThreads();

    Options m_options;
    QStringList m_scopes;
    QList<QByteArray> m_nativeScopes;
    QByteArray m_cacheFolder;

    mutable std::shared_mutex m_lock;  // reads shared, swaps and edits exclusive
    std::unique_ptr<Snapshot> m_snapshot;

    std::mutex m_updateMutex;  // one build or batch of followed changes at a time
    std::unique_ptr<DirectoryWatcher> m_watcher;
    std::atomic<bool> m_ready{false};
    std::atomic<bool> m_periodicRescan{false};
    std::atomic<bool> m_stopping{false};
    std::atomic<quint64> m_buildCount{0};
    std::once_flag m_limitLogged;

    mutable std::mutex m_stateMutex;
    mutable std::condition_variable m_stateChanged;
    std::thread m_buildThread;
    std::thread m_rescanThread;
};

}  // namespace vantrel
