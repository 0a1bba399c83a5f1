#pragma once

#include "platform/freedesktop/ApplicationRecords.h"
#include "search/DataSource.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QObject;
class QThreadPool;

namespace vantrel {

// The installed applications and settings panels as GIO knows them (the
// alternative applications source, chosen by "findAppsViaSpotlightKey"): every
// GDesktopAppInfo of g_app_info_get_all(), read again with our own parser so
// names, keywords and rules match the folder-enumerating source, plus the
// desktop files of the user scopes. Changes come from GAppInfoMonitor.
//
// Create and destroy it on the main thread: GAppInfoMonitor signals in the
// GLib main context of the thread that asked for it, and Qt's event loop runs
// the default GLib context on the main thread. Queries run on a serial worker
// ("systemsource.queue"); completions and update callbacks arrive there.
class SystemSource : public DataSource {
public:
    using ScopesProvider = std::function<QStringList()>;

    static constexpr const char* kQueueLabel = "systemsource.queue";

    SystemSource(double timeout, int numberOfRetries, ScopesProvider userScopesProvider = {});
    ~SystemSource() override;
    SystemSource(const SystemSource&) = delete;
    SystemSource& operator=(const SystemSource&) = delete;

    SearchRecord::Source source() const override { return SearchRecord::Source::system; }

    double timeout() const { return m_timeout; }
    int numberOfRetries() const { return m_numberOfRetries; }
    // The folders GIO reads (DesktopEntry::applicationDirectories()) followed
    // by the user scopes.
    QStringList searchScopes() const;
    bool didLoad() const;
    // Whether the GAppInfoMonitor is being followed.
    bool isObservingUpdates() const;

    void load(LoadCompletion completion) override;
    void refresh(LoadCompletion completion) override;

    // One query attempt with its timeout; on timeout the query is abandoned
    // and retried with twice the time until numberOfRetries attempts have
    // been made, then the load fails with DataSourceError::timeout.
    void queryRecords(double timeout, int attempt, LoadCompletion completion);
    // GIO has no diagnostics utility; logs that none can be run.
    void runDiagnostics();
    // Abandons a running query, stops following GIO's changes and cancels the
    // pending timeout.
    void stopQueryAndUpdates();

    // The records GIO lists now, plus the user scopes; runs on the calling thread.
    std::vector<SearchRecord> fetchRecords() const;

    // For tests: runs on the query worker at the start of every load
    // attempt, with the attempt number.
    void setQueryHook(std::function<void(int attempt)> hook);

private:
    struct QueryRun;
    struct Monitor;

    void startAttempt(const std::shared_ptr<QueryRun>& run, double timeout, int attempt);
    void attemptTimedOut(const std::shared_ptr<QueryRun>& run, double timeout, int attempt);
    void observeUpdates();
    void appInfosChanged();
    void onContext(std::function<void()> work) const;
    bool stopping() const { return m_stopping.load(); }

    const double m_timeout;
    const int m_numberOfRetries;
    const ScopesProvider m_userScopesProvider;
    const ApplicationRecords::Rules m_rules;

    mutable std::mutex m_mutex;
    bool m_didLoad = false;
    std::shared_ptr<QueryRun> m_currentRun;
    std::function<void(int)> m_queryHook;

    std::atomic<bool> m_stopping{false};
    std::unique_ptr<QObject> m_context;    // lives on the creating thread
    std::unique_ptr<Monitor> m_monitor;    // touched on the context thread only
    std::unique_ptr<QThreadPool> m_queue;  // "systemsource.queue": one thread
};

}  // namespace vantrel
