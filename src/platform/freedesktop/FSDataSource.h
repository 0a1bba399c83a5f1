#pragma once

#include "platform/freedesktop/ApplicationRecords.h"
#include "search/DataSource.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QFileSystemWatcher;
class QObject;
class QThreadPool;

namespace vantrel {

class Throttler;

// The installed applications and settings panels, read from the desktop-entry
// folders (the default applications source). load() enumerates every search
// scope on a background thread, bounded by a per-attempt timeout that doubles
// on each retry. Afterwards the scopes are watched (inotify): a change re-reads
// only the folder it happened in and delivers it as a partial update
// (strategy sourceWithPath(folder)).
//
// Create and destroy it on a thread that runs a Qt event loop (normally the
// main thread): the timeouts, the folder watch and the throttled updates run
// there. Completions and update callbacks arrive on worker threads.
class FSDataSource : public DataSource {
public:
    using ScopesProvider = std::function<QStringList()>;

    // Folder changes are collected for this long before a folder is re-read.
    static constexpr double kUpdateInterval = 0.5;

    FSDataSource(double timeout, int numberOfRetries, ScopesProvider userScopesProvider = {});
    ~FSDataSource() override;
    FSDataSource(const FSDataSource&) = delete;
    FSDataSource& operator=(const FSDataSource&) = delete;

    SearchRecord::Source source() const override { return SearchRecord::Source::system; }

    double timeout() const { return m_timeout; }
    int numberOfRetries() const { return m_numberOfRetries; }
    // The extra folders of the provider, as of the last load or refresh.
    QStringList userScopes() const;
    // DesktopEntry::applicationDirectories() followed by the user scopes,
    // highest precedence first, as of the last load or refresh.
    QStringList searchScopes() const;
    // The watched folders that hold a search scope (or, for a scope that does
    // not exist yet, its closest existing ancestor).
    QStringList parentDirectories() const;
    // Every folder being watched.
    QStringList watchedDirectories() const;
    bool didLoad() const;

    void load(LoadCompletion completion) override;
    // Enumerates everything again and delivers it through the full-update
    // callback (and the completion). Before the first load: notReady.
    void refresh(LoadCompletion completion) override;

    // One load attempt with its timeout; on timeout the next attempt gets
    // twice the time until numberOfRetries attempts have been made.
    void searchRecords(double timeout, int attempt, LoadCompletion completion);

    struct SearchResult {
        std::vector<ApplicationRecords::FolderListing> listings;  // one per scope, in order
        int directoryCount = 0;
        std::vector<SearchRecord> records;  // one per desktop-file id
    };
    // Reads the given scopes now, on the calling thread.
    SearchResult searchRecords(const QStringList& searchScopes) const;

    // Re-reads one search scope (or the scope holding the folder) and delivers
    // its records through the partial-update callback; scopes of lower
    // precedence whose entries it hides or uncovers are delivered as well.
    // Runs on the update worker; completion (optional) afterwards.
    void updateRecords(const QString& parentDirectory, std::function<void()> completion = {});

    // Starts (or brings up to date) the folder watch. load() does this once
    // it has loaded.
    void watchSearchScopes();

    // For tests: runs on the worker thread at the start of every load
    // attempt, with the attempt number, before anything is read.
    void setEnumerationHook(std::function<void(int attempt)> hook);

private:
    struct LoadRun;

    // The desktop-file ids one folder offered when it was last read, in
    // ascending order, back to back in one buffer. That is all a later change
    // of one folder needs from the folders read before (which ids came or
    // went, which of them a folder of higher precedence hides), so the
    // records themselves are not kept: the engine has them.
    class FolderIds {
    public:
        FolderIds() = default;
        explicit FolderIds(const ApplicationRecords::FolderListing& listing);
        bool exists() const { return m_exists; }
        qsizetype size() const { return qsizetype(m_ends.size()); }
        QStringView at(qsizetype index) const;
        bool contains(QStringView id) const;

    private:
        bool m_exists = false;
        QString m_text;
        std::vector<quint32> m_ends;
    };
    // The records of `listing`, read for scopes[index], that no folder of
    // higher precedence offers. Call with m_mutex held.
    std::vector<SearchRecord> visibleRecords(const ApplicationRecords::FolderListing& listing, size_t index) const;

    // Asks the provider again; remembers the user scopes.
    QStringList currentScopes();
    void startAttempt(const std::shared_ptr<LoadRun>& run, double timeout, int attempt);
    void attemptTimedOut(const std::shared_ptr<LoadRun>& run, double timeout, int attempt);
    void commitFullLoad(SearchResult result, const QStringList& scopes);
    void onDirectoryChanged(const QString& path);
    void scheduleUpdates(const QSet<QString>& scopes);
    void runScheduledUpdates();
    void updateScopeNow(const QString& folder);
    void refreshWatchesOnContext();
    void onContext(std::function<void()> work) const;
    bool stopping() const { return m_stopping.load(); }

    const double m_timeout;
    const int m_numberOfRetries;
    const ScopesProvider m_userScopesProvider;
    const ApplicationRecords::Rules m_rules;

    mutable std::mutex m_mutex;
    QStringList m_userScopes;
    QStringList m_scopes;
    std::vector<FolderIds> m_listings;  // parallel to m_scopes once loaded
    bool m_didLoad = false;
    QSet<QString> m_dirtyScopes;
    bool m_updateRunning = false;
    QStringList m_parentDirectories;
    std::function<void(int)> m_enumerationHook;

    std::atomic<bool> m_stopping{false};
    std::unique_ptr<QObject> m_context;            // lives on the creating thread
    QFileSystemWatcher* m_watcher = nullptr;       // child of m_context
    std::unique_ptr<Throttler> m_updateThrottler;  // made on first use, on the context thread
    std::unique_ptr<QThreadPool> m_loadPool;       // load attempts (may hang on a dead mount)
    std::unique_ptr<QThreadPool> m_serialPool;     // updates and refreshes, one at a time
};

}  // namespace vantrel
