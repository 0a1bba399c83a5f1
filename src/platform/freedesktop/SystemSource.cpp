#include "platform/freedesktop/SystemSource.h"

#include "kit/Logger.h"

#include <QDir>
#include <QFile>
#include <QMetaObject>
#include <QObject>
#include <QSet>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <cmath>

#include "platform/freedesktop/GioHeaders.h"

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("SystemSource"), QStringLiteral("🗃️")});
    return logger;
}

}  // namespace

// One call of load(): the attempt being waited for and how it ended. A query
// that is abandoned (timed out, stopped) keeps running on the worker, but its
// answer is dropped.
struct SystemSource::QueryRun {
    enum class State { pending, succeeded, failed, stopped };
    LoadCompletion completion;
    std::mutex mutex;
    State state = State::pending;
    int currentAttempt = 0;
};

struct SystemSource::Monitor {
    GAppInfoMonitor* monitor = nullptr;
    gulong handler = 0;
};

SystemSource::SystemSource(double timeout, int numberOfRetries, ScopesProvider userScopesProvider)
    : m_timeout(timeout),
      m_numberOfRetries(numberOfRetries),
      m_userScopesProvider(std::move(userScopesProvider)),
      m_rules(ApplicationRecords::Rules::fromEnvironment()),
      m_context(std::make_unique<QObject>()),
      m_queue(std::make_unique<QThreadPool>()) {
    m_queue->setMaxThreadCount(1);
    m_queue->setObjectName(QString::fromLatin1(kQueueLabel));
}

SystemSource::~SystemSource() {
    m_stopping = true;
    {
        std::lock_guard lock(m_mutex);
        if (m_currentRun) {
            std::lock_guard runLock(m_currentRun->mutex);
            m_currentRun->state = QueryRun::State::stopped;
        }
    }
    if (m_monitor) {
        g_signal_handler_disconnect(m_monitor->monitor, m_monitor->handler);
        g_object_unref(m_monitor->monitor);
        m_monitor.reset();
    }
    m_queue->waitForDone();
    m_context.reset();
}

QStringList SystemSource::searchScopes() const {
    QStringList scopes = DesktopEntry::applicationDirectories();
    if (m_userScopesProvider)
        for (const QString& path : m_userScopesProvider())
            if (QDir::isAbsolutePath(path) && !scopes.contains(QDir::cleanPath(path))) scopes << QDir::cleanPath(path);
    return scopes;
}

bool SystemSource::didLoad() const {
    std::lock_guard lock(m_mutex);
    return m_didLoad;
}

bool SystemSource::isObservingUpdates() const {
    return m_monitor != nullptr;
}

void SystemSource::setQueryHook(std::function<void(int attempt)> hook) {
    std::lock_guard lock(m_mutex);
    m_queryHook = std::move(hook);
}

void SystemSource::onContext(std::function<void()> work) const {
    QObject* context = m_context.get();
    if (!context) return;
    if (QThread::currentThread() == context->thread())
        work();
    else
        QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
}

std::vector<SearchRecord> SystemSource::fetchRecords() const {
    std::vector<SearchRecord> records;
    QSet<QString> ids;

    GList* infos = g_app_info_get_all();
    for (GList* item = infos; item; item = item->next) {
        if (stopping()) break;
        auto* info = static_cast<GAppInfo*>(item->data);
        if (!G_IS_DESKTOP_APP_INFO(info)) continue;
        const char* fileName = g_desktop_app_info_get_filename(G_DESKTOP_APP_INFO(info));
        const char* id = g_app_info_get_id(info);
        if (!fileName || !id) continue;
        const QString idText = QString::fromUtf8(id);
        ids.insert(idText);
        std::optional<SearchRecord> record = ApplicationRecords::readFile(QFile::decodeName(fileName), idText, m_rules);
        if (record) records.push_back(std::move(*record));
    }
    g_list_free_full(infos, g_object_unref);

    // GIO knows nothing of the user scopes: they come last, below every
    // folder GIO reads.
    if (m_userScopesProvider) {
        for (const QString& scope : m_userScopesProvider()) {
            if (!QDir::isAbsolutePath(scope)) continue;
            const auto listing = ApplicationRecords::readFolder(scope, m_rules, [this] { return stopping(); });
            for (const auto& entry : listing.entries) {
                if (ids.contains(entry.id)) continue;
                ids.insert(entry.id);
                records.push_back(entry.record);
            }
        }
    }
    return records;
}

void SystemSource::load(LoadCompletion completion) {
    queryRecords(m_timeout, 1, std::move(completion));
}

void SystemSource::queryRecords(double timeout, int attempt, LoadCompletion completion) {
    auto run = std::make_shared<QueryRun>();
    run->completion = std::move(completion);
    {
        std::lock_guard lock(m_mutex);
        m_currentRun = run;
    }
    startAttempt(run, timeout, attempt);
}

void SystemSource::startAttempt(const std::shared_ptr<QueryRun>& run, double timeout, int attempt) {
    log().info(QStringLiteral("Query records with timeout: %1, attempt: %2")
                   .arg(ApplicationRecords::secondsText(timeout))
                   .arg(attempt));
    {
        std::lock_guard lock(run->mutex);
        run->currentAttempt = attempt;
    }
    const auto isCurrent = [run, attempt] {
        std::lock_guard lock(run->mutex);
        return run->state == QueryRun::State::pending && run->currentAttempt == attempt;
    };

    m_queue->start([this, run, attempt, isCurrent] {
        std::function<void(int)> hook;
        {
            std::lock_guard lock(m_mutex);
            hook = m_queryHook;
        }
        if (hook) hook(attempt);
        if (stopping() || !isCurrent()) return;

        std::vector<SearchRecord> records = fetchRecords();
        {
            std::lock_guard lock(run->mutex);
            if (stopping() || run->state != QueryRun::State::pending || run->currentAttempt != attempt) return;
            run->state = QueryRun::State::succeeded;
        }
        const auto count = static_cast<qsizetype>(records.size());
        if (attempt > 1)
            log().info(QStringLiteral("Finished initial GIO app-info query after attempt %1 with %2 records")
                           .arg(attempt)
                           .arg(count));
        else
            log().info(QStringLiteral("Finished initial GIO app-info query with %1 records").arg(count));
        {
            std::lock_guard lock(m_mutex);
            m_didLoad = true;
        }
        if (run->completion) run->completion(std::move(records));
        onContext([this] { observeUpdates(); });
    });

    onContext([this, run, timeout, attempt, isCurrent] {
        const auto milliseconds = static_cast<int>(std::llround(timeout * 1000.0));
        QTimer::singleShot(std::max(0, milliseconds), m_context.get(), [this, run, timeout, attempt, isCurrent] {
            if (isCurrent()) attemptTimedOut(run, timeout, attempt);
        });
    });
}

void SystemSource::attemptTimedOut(const std::shared_ptr<QueryRun>& run, double timeout, int attempt) {
    if (stopping()) return;
    if (attempt < m_numberOfRetries) {
        log().warning(QStringLiteral("GIO app-info query timed out after attempt %1 and %2")
                          .arg(attempt)
                          .arg(ApplicationRecords::secondsText(timeout)));
        startAttempt(run, timeout * 2, attempt + 1);
        return;
    }
    {
        std::lock_guard lock(run->mutex);
        if (run->state != QueryRun::State::pending) return;
        run->state = QueryRun::State::failed;
    }
    log().error(QStringLiteral("GIO app-info query timed out after %1, no retry attempts left")
                    .arg(ApplicationRecords::secondsText(timeout)));
    runDiagnostics();
    if (run->completion) run->completion(DataSourceError::timeout(source()));
}

void SystemSource::runDiagnostics() {
    log().error("Could not run GIO app-info diagnostics",
                {{QStringLiteral("error"), QStringLiteral("no diagnostics utility is available for GIO app-info")}});
}

void SystemSource::stopQueryAndUpdates() {
    log().info("Stop GIO app-info query and updates if needed");
    std::shared_ptr<QueryRun> run;
    {
        std::lock_guard lock(m_mutex);
        run = std::move(m_currentRun);
    }
    if (run) {
        std::lock_guard lock(run->mutex);
        if (run->state == QueryRun::State::pending) run->state = QueryRun::State::stopped;
    }
    onContext([this] {
        if (!m_monitor) return;
        g_signal_handler_disconnect(m_monitor->monitor, m_monitor->handler);
        g_object_unref(m_monitor->monitor);
        m_monitor.reset();
    });
}

void SystemSource::observeUpdates() {
    if (stopping() || m_monitor) return;
    log().info("Observe GIO app-info updates");
    m_monitor = std::make_unique<Monitor>();
    m_monitor->monitor = g_app_info_monitor_get();
    m_monitor->handler = g_signal_connect(
        m_monitor->monitor, "changed",
        G_CALLBACK(+[](GAppInfoMonitor*, gpointer self) { static_cast<SystemSource*>(self)->appInfosChanged(); }),
        this);
}

void SystemSource::appInfosChanged() {
    if (stopping()) return;
    log().info("GIO app-info index updated");
    m_queue->start([this] {
        if (stopping()) return;
        log().info("Fetch GIO app-info records (update)");
        std::vector<SearchRecord> records = fetchRecords();
        if (stopping()) return;
        if (records.empty()) {
            log().info("Skipping GIO app-info update with 0 records");
            return;
        }
        log().info(
            QStringLiteral("Updated GIO app-info query with %1 records").arg(static_cast<qsizetype>(records.size())));
        DataSourceUpdate update;
        update.records[SearchRecord::Source::system] = std::move(records);
        notifyUpdate(update);
    });
}

void SystemSource::refresh(LoadCompletion completion) {
    if (!didLoad()) {
        log().info(QStringLiteral("Performed refresh when data source %1 was not yet ready")
                       .arg(SearchRecord::rawValue(source())));
        if (completion) completion(DataSourceError::notReady());
        return;
    }
    log().info(QStringLiteral("Refreshing data source: ") + SearchRecord::rawValue(source()));
    m_queue->start([this, completion = std::move(completion)] {
        if (stopping()) return;
        log().info("Query GIO app-info records (refresh)");
        log().info("Fetch GIO app-info records (refresh)");
        std::vector<SearchRecord> records = fetchRecords();
        if (stopping()) return;
        if (records.empty()) {
            log().info("Skipping GIO app-info refresh with 0 records");
            if (completion) completion(std::move(records));
            return;
        }
        DataSourceUpdate update;
        update.records[SearchRecord::Source::system] = records;
        notifyUpdate(update);
        if (completion) completion(std::move(records));
    });
}

}  // namespace vantrel
