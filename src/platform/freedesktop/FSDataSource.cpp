#include "platform/freedesktop/FSDataSource.h"

#include "kit/Logger.h"
#include "kit/Throttler.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("FSDataSource"), QStringLiteral("📂")});
    return logger;
}

// A re-read that found a file still being written looks again after this.
constexpr int kRecheckDelayMs = 1000;

QString cleanScope(const QString& path) {
    return QDir::cleanPath(path);
}

bool isInside(const QString& path, const QString& folder) {
    return path == folder || path.startsWith(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
}

// Every folder below root (root included), each read once by canonical path,
// hidden folders skipped.
void collectFolders(const QString& root, QSet<QString>& canonicalSeen, QStringList& out) {
    const QString canonical = QFileInfo(root).canonicalFilePath();
    if (canonical.isEmpty() || canonicalSeen.contains(canonical)) return;
    canonicalSeen.insert(canonical);
    out << root;
    const QStringList children = QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& child : children) collectFolders(root + QLatin1Char('/') + child, canonicalSeen, out);
}

std::vector<SearchRecord> recordsOf(const std::vector<ApplicationRecords::FolderListing>& listings) {
    return ApplicationRecords::visibleRecords(listings);
}

}  // namespace

FSDataSource::FolderIds::FolderIds(const ApplicationRecords::FolderListing& listing) : m_exists(listing.exists) {
    std::vector<QStringView> ids;
    ids.reserve(listing.entries.size());
    qsizetype length = 0;
    for (const ApplicationRecords::Entry& entry : listing.entries) {
        ids.emplace_back(entry.id);
        length += entry.id.size();
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    m_text.reserve(length);
    m_ends.reserve(ids.size());
    for (QStringView id : ids) {
        m_text += id;
        m_ends.push_back(quint32(m_text.size()));
    }
}

QStringView FSDataSource::FolderIds::at(qsizetype index) const {
    const auto position = size_t(index);
    const quint32 start = position == 0 ? 0 : m_ends[position - 1];
    return QStringView(m_text).mid(start, m_ends[position] - start);
}

bool FSDataSource::FolderIds::contains(QStringView id) const {
    qsizetype low = 0;
    qsizetype high = size();
    while (low < high) {
        const qsizetype middle = low + (high - low) / 2;
        if (at(middle) < id)
            low = middle + 1;
        else
            high = middle;
    }
    return low < size() && at(low) == id;
}

// One call of load(): its completion runs once, for the first attempt that
// finishes in time or for the final timeout.
struct FSDataSource::LoadRun {
    enum class State { pending, succeeded, timedOut };
    LoadCompletion completion;
    QStringList scopes;
    std::mutex mutex;
    State state = State::pending;
    int finishedAttempts = 0;  // bit set of attempts whose enumeration ended
};

FSDataSource::FSDataSource(double timeout, int numberOfRetries, ScopesProvider userScopesProvider)
    : m_timeout(timeout),
      m_numberOfRetries(numberOfRetries),
      m_userScopesProvider(std::move(userScopesProvider)),
      m_rules(ApplicationRecords::Rules::fromEnvironment()),
      m_context(std::make_unique<QObject>()),
      m_loadPool(std::make_unique<QThreadPool>()),
      m_serialPool(std::make_unique<QThreadPool>()) {
    m_loadPool->setMaxThreadCount(std::max(1, m_numberOfRetries) + 1);
    m_serialPool->setMaxThreadCount(1);
    m_scopes = currentScopes();
}

FSDataSource::~FSDataSource() {
    m_stopping = true;
    m_updateThrottler.reset();
    delete m_watcher;
    m_watcher = nullptr;
    m_loadPool->waitForDone();
    m_serialPool->waitForDone();
    m_context.reset();  // drops timers and work still queued for it
}

QStringList FSDataSource::currentScopes() {
    QStringList user;
    if (m_userScopesProvider)
        for (const QString& path : m_userScopesProvider())
            if (QDir::isAbsolutePath(path)) user << cleanScope(path);
    QStringList scopes = DesktopEntry::applicationDirectories();
    for (QString& scope : scopes) scope = cleanScope(scope);
    for (const QString& path : user)
        if (!scopes.contains(path)) scopes << path;
    std::lock_guard lock(m_mutex);
    m_userScopes = user;
    return scopes;
}

QStringList FSDataSource::userScopes() const {
    std::lock_guard lock(m_mutex);
    return m_userScopes;
}

QStringList FSDataSource::searchScopes() const {
    std::lock_guard lock(m_mutex);
    return m_scopes;
}

QStringList FSDataSource::parentDirectories() const {
    std::lock_guard lock(m_mutex);
    return m_parentDirectories;
}

QStringList FSDataSource::watchedDirectories() const {
    // Only read on the context thread, like every other use of the watcher.
    return m_watcher ? m_watcher->directories() : QStringList();
}

bool FSDataSource::didLoad() const {
    std::lock_guard lock(m_mutex);
    return m_didLoad;
}

void FSDataSource::setEnumerationHook(std::function<void(int attempt)> hook) {
    std::lock_guard lock(m_mutex);
    m_enumerationHook = std::move(hook);
}

void FSDataSource::onContext(std::function<void()> work) const {
    QObject* context = m_context.get();
    if (!context) return;
    if (QThread::currentThread() == context->thread())
        work();
    else
        QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
}

FSDataSource::SearchResult FSDataSource::searchRecords(const QStringList& searchScopes) const {
    SearchResult result;
    for (const QString& scope : searchScopes) {
        if (stopping()) break;
        result.listings.push_back(ApplicationRecords::readFolder(scope, m_rules, [this] { return stopping(); }));
        result.directoryCount += result.listings.back().directoryCount;
    }
    result.records = recordsOf(result.listings);
    return result;
}

void FSDataSource::load(LoadCompletion completion) {
    const QStringList scopes = currentScopes();
    {
        std::lock_guard lock(m_mutex);
        if (!m_didLoad) m_scopes = scopes;
    }
    searchRecords(m_timeout, 1, std::move(completion));
}

void FSDataSource::searchRecords(double timeout, int attempt, LoadCompletion completion) {
    auto run = std::make_shared<LoadRun>();
    run->completion = std::move(completion);
    run->scopes = searchScopes();
    startAttempt(run, timeout, attempt);
}

void FSDataSource::startAttempt(const std::shared_ptr<LoadRun>& run, double timeout, int attempt) {
    log().info(QStringLiteral("Searching records with timeout: %1, attempt: %2")
                   .arg(ApplicationRecords::secondsText(timeout))
                   .arg(attempt));
    auto timedOut = std::make_shared<std::atomic<bool>>(false);

    m_loadPool->start([this, run, timeout, attempt, timedOut] {
        std::function<void(int)> hook;
        {
            std::lock_guard lock(m_mutex);
            hook = m_enumerationHook;
        }
        if (hook) hook(attempt);
        if (stopping()) return;
        {
            std::lock_guard lock(run->mutex);
            if (run->state == LoadRun::State::succeeded) return;  // an earlier attempt won
        }

        const auto started = std::chrono::steady_clock::now();
        SearchResult result = searchRecords(run->scopes);
        if (stopping()) return;
        const double duration = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

        const QString counts = QStringLiteral("%1 records in %2 directories")
                                   .arg(static_cast<qsizetype>(result.records.size()))
                                   .arg(result.directoryCount);
        if (timedOut->load())
            log().info(QStringLiteral("Search finished after timeout with ") + counts);
        else
            log().info(QStringLiteral("Search finished with ") + counts);
        log().debug("FS Data Source Search",
                    {{QStringLiteral("durationInSeconds"), QString::number(duration, 'f', 3)},
                     {QStringLiteral("numberOfDirectories"), QString::number(result.directoryCount)},
                     {QStringLiteral("numberOfRecords"), QString::number(result.records.size())}});

        LoadRun::State previous;
        {
            std::lock_guard lock(run->mutex);
            previous = run->state;
            run->finishedAttempts |= 1 << std::min(attempt, 30);
            if (previous == LoadRun::State::pending) run->state = LoadRun::State::succeeded;
        }
        if (previous == LoadRun::State::succeeded) return;

        std::vector<SearchRecord> records = result.records;
        const bool alreadyLoaded = didLoad();
        commitFullLoad(std::move(result), run->scopes);
        if (previous == LoadRun::State::pending) {
            if (run->completion) run->completion(std::move(records));
        } else if (!alreadyLoaded) {
            // The load already reported its timeout; the answer still counts.
            DataSourceUpdate update;
            update.records[SearchRecord::Source::system] = std::move(records);
            update.strategy = SearchUpdateStrategy::source();
            notifyUpdate(update);
        }
        onContext([this] { watchSearchScopes(); });
    });

    onContext([this, run, timeout, attempt, timedOut] {
        const auto milliseconds = static_cast<int>(std::llround(timeout * 1000.0));
        QTimer::singleShot(std::max(0, milliseconds), m_context.get(), [this, run, timeout, attempt, timedOut] {
            {
                std::lock_guard lock(run->mutex);
                if (run->state != LoadRun::State::pending) return;
                if (run->finishedAttempts & (1 << std::min(attempt, 30))) return;
            }
            timedOut->store(true);
            attemptTimedOut(run, timeout, attempt);
        });
    });
}

void FSDataSource::attemptTimedOut(const std::shared_ptr<LoadRun>& run, double timeout, int attempt) {
    if (stopping()) return;
    if (attempt < m_numberOfRetries) {
        log().warning(QStringLiteral("Timed out after attempt %1 and %2")
                          .arg(attempt)
                          .arg(ApplicationRecords::secondsText(timeout)));
        startAttempt(run, timeout * 2, attempt + 1);
        return;
    }
    {
        std::lock_guard lock(run->mutex);
        if (run->state != LoadRun::State::pending) return;
        run->state = LoadRun::State::timedOut;
    }
    log().error(
        QStringLiteral("Timed out after %1, no retry attempts left").arg(ApplicationRecords::secondsText(timeout)));
    if (run->completion) run->completion(DataSourceError::timeout(source()));
}

void FSDataSource::commitFullLoad(SearchResult result, const QStringList& scopes) {
    std::vector<FolderIds> listings;
    listings.reserve(result.listings.size());
    for (const ApplicationRecords::FolderListing& listing : result.listings) listings.emplace_back(listing);
    result.listings.clear();
    std::lock_guard lock(m_mutex);
    m_scopes = scopes;
    m_listings = std::move(listings);
    m_didLoad = true;
}

std::vector<SearchRecord> FSDataSource::visibleRecords(const ApplicationRecords::FolderListing& listing,
                                                       size_t index) const {
    std::vector<SearchRecord> records;
    for (const ApplicationRecords::Entry& entry : listing.entries) {
        bool hidden = false;
        for (size_t higher = 0; higher < index && higher < m_listings.size() && !hidden; ++higher)
            hidden = m_listings[higher].contains(entry.id);
        if (!hidden) records.push_back(entry.record);
    }
    return records;
}

void FSDataSource::refresh(LoadCompletion completion) {
    if (!didLoad()) {
        log().info(QStringLiteral("Performed refresh when data source %1 was not yet ready")
                       .arg(SearchRecord::rawValue(source())));
        if (completion) completion(DataSourceError::notReady());
        return;
    }
    log().info(QStringLiteral("Refreshing data source: ") + SearchRecord::rawValue(source()));
    m_serialPool->start([this, completion = std::move(completion)] {
        if (stopping()) return;
        const QStringList scopes = currentScopes();
        log().info("Search records (refresh)");
        SearchResult result = searchRecords(scopes);
        if (stopping()) return;
        log().info(QStringLiteral("Search finished with %1 records in %2 directories")
                       .arg(static_cast<qsizetype>(result.records.size()))
                       .arg(result.directoryCount));
        std::vector<SearchRecord> records = result.records;
        if (records.empty()) {
            // An empty answer is far likelier a transient problem than every
            // application gone: keep what is stored.
            log().warning("Skipping refresh with 0 records");
            if (completion) completion(std::move(records));
            return;
        }
        commitFullLoad(std::move(result), scopes);
        DataSourceUpdate update;
        update.records[SearchRecord::Source::system] = records;
        notifyUpdate(update);
        if (completion) completion(std::move(records));
        onContext([this] { refreshWatchesOnContext(); });
    });
}

void FSDataSource::watchSearchScopes() {
    if (stopping() || !m_context) return;
    const bool first = m_watcher == nullptr;
    if (first) {
        m_watcher = new QFileSystemWatcher(m_context.get());
        QObject::connect(m_watcher, &QFileSystemWatcher::directoryChanged, m_context.get(),
                         [this](const QString& path) { onDirectoryChanged(path); });
    }
    refreshWatchesOnContext();
    if (first)
        log().info(QStringLiteral("Started watching %1 search scopes").arg(searchScopes().size()),
                   {{QStringLiteral("directories"), QString::number(m_watcher->directories().size())}});
}

void FSDataSource::refreshWatchesOnContext() {
    if (!m_watcher) return;
    const QStringList scopes = searchScopes();
    QStringList wanted;
    QStringList parents;
    QSet<QString> seen;
    for (const QString& scope : scopes) {
        if (QFileInfo(scope).isDir()) {
            collectFolders(scope, seen, wanted);
            const QString parent = QFileInfo(scope).absolutePath();
            if (QFileInfo(parent).isDir() && !parents.contains(parent)) parents << parent;
        } else {
            // Not there yet: watch the closest folder that is, to see it come.
            QString ancestor = QFileInfo(scope).absolutePath();
            while (!QFileInfo(ancestor).isDir() && ancestor != QLatin1String("/"))
                ancestor = QFileInfo(ancestor).absolutePath();
            if (!parents.contains(ancestor)) parents << ancestor;
        }
    }
    for (const QString& parent : parents)
        if (!wanted.contains(parent)) wanted << parent;

    const QStringList current = m_watcher->directories();
    QStringList removed;
    for (const QString& path : current)
        if (!wanted.contains(path)) removed << path;
    if (!removed.isEmpty()) m_watcher->removePaths(removed);
    QStringList added;
    for (const QString& path : wanted)
        if (!current.contains(path)) added << path;
    if (!added.isEmpty()) {
        const QStringList failed = m_watcher->addPaths(added);
        for (const QString& path : failed) log().warning(QStringLiteral("Could not watch directory: ") + path);
    }
    std::lock_guard lock(m_mutex);
    m_parentDirectories = parents;
}

void FSDataSource::onDirectoryChanged(const QString& path) {
    const QString changed = cleanScope(path);
    QSet<QString> dirty;
    for (const QString& scope : searchScopes())
        if (isInside(changed, scope)) dirty.insert(scope);
    // A change above a scope only matters when the scope came or went; the
    // throttled run checks that.
    scheduleUpdates(dirty);
}

void FSDataSource::scheduleUpdates(const QSet<QString>& scopes) {
    if (stopping()) return;
    {
        std::lock_guard lock(m_mutex);
        m_dirtyScopes.unite(scopes);
    }
    if (!m_updateThrottler)
        m_updateThrottler = std::make_unique<Throttler>(kUpdateInterval, /*isDebounceMode=*/true, m_context.get());
    m_updateThrottler->throttle([this] { runScheduledUpdates(); });
}

void FSDataSource::runScheduledUpdates() {
    if (stopping()) return;
    refreshWatchesOnContext();
    bool start = false;
    {
        std::lock_guard lock(m_mutex);
        for (size_t i = 0; i < m_listings.size() && i < static_cast<size_t>(m_scopes.size()); ++i)
            if (QFileInfo(m_scopes.at(static_cast<qsizetype>(i))).isDir() != m_listings[i].exists())
                m_dirtyScopes.insert(m_scopes.at(static_cast<qsizetype>(i)));
        if (!m_dirtyScopes.isEmpty() && !m_updateRunning) {
            m_updateRunning = true;
            start = true;
        }
    }
    if (!start) return;
    m_serialPool->start([this] {
        for (;;) {
            QStringList scopes;
            {
                std::lock_guard lock(m_mutex);
                if (m_dirtyScopes.isEmpty() || stopping()) {
                    m_updateRunning = false;
                    return;
                }
                // In precedence order, so that a higher folder is current
                // before the ones it shadows are delivered.
                for (const QString& scope : m_scopes)
                    if (m_dirtyScopes.contains(scope)) scopes << scope;
                m_dirtyScopes.clear();
            }
            for (const QString& scope : scopes) updateScopeNow(scope);
        }
    });
}

void FSDataSource::updateRecords(const QString& parentDirectory, std::function<void()> completion) {
    m_serialPool->start([this, folder = cleanScope(parentDirectory), completion = std::move(completion)] {
        updateScopeNow(folder);
        if (completion) completion();
    });
}

void FSDataSource::updateScopeNow(const QString& folder) {
    if (stopping()) return;
    QString scope;
    {
        std::lock_guard lock(m_mutex);
        if (!m_didLoad) {
            log().info(QStringLiteral("Update of %1 requested before the first load, ignored").arg(folder));
            return;
        }
        for (const QString& candidate : m_scopes) {
            if (isInside(folder, candidate)) {
                scope = candidate;
                break;
            }
        }
    }
    if (scope.isEmpty()) {
        log().warning(QStringLiteral("Not a search scope, nothing to update: ") + folder);
        return;
    }

    const SearchUpdateStrategy strategy = SearchUpdateStrategy::sourceWithPath(scope);
    log().info(QStringLiteral("Start updating records, updateStrategy: ") + strategy.description());
    log().info("Search records (update)");
    ApplicationRecords::FolderListing listing =
        ApplicationRecords::readFolder(scope, m_rules, [this] { return stopping(); });
    if (stopping()) return;
    const bool recheck = !listing.recentlyWrittenProblems.isEmpty();

    struct Delivery {
        QString folder;
        std::vector<SearchRecord> records;
    };
    std::vector<Delivery> deliveries;
    // Folders of lower precedence that hold an id which came or went here:
    // what they show changes, so they are read again (their records are not
    // kept) and delivered as well.
    QStringList uncovered;
    {
        std::lock_guard lock(m_mutex);
        const qsizetype index = m_scopes.indexOf(scope);
        if (index < 0 || static_cast<size_t>(index) >= m_listings.size()) return;
        const auto position = static_cast<size_t>(index);

        const FolderIds before = std::move(m_listings[position]);
        FolderIds after(listing);
        std::vector<QString> changedIds;
        for (qsizetype i = 0; i < before.size(); ++i)
            if (!after.contains(before.at(i))) changedIds.push_back(before.at(i).toString());
        for (qsizetype i = 0; i < after.size(); ++i)
            if (!before.contains(after.at(i))) changedIds.push_back(after.at(i).toString());

        m_listings[position] = std::move(after);
        deliveries.push_back({scope, visibleRecords(listing, position)});
        if (!changedIds.empty()) {
            for (size_t lower = position + 1; lower < m_listings.size(); ++lower) {
                const FolderIds& ids = m_listings[lower];
                if (std::any_of(changedIds.begin(), changedIds.end(),
                                [&](const QString& id) { return ids.contains(id); }))
                    uncovered << m_scopes.at(static_cast<qsizetype>(lower));
            }
        }
    }
    listing = {};

    for (const QString& lower : uncovered) {
        ApplicationRecords::FolderListing lowerListing =
            ApplicationRecords::readFolder(lower, m_rules, [this] { return stopping(); });
        if (stopping()) return;
        std::lock_guard lock(m_mutex);
        const qsizetype index = m_scopes.indexOf(lower);
        if (index < 0 || static_cast<size_t>(index) >= m_listings.size()) continue;
        const auto position = static_cast<size_t>(index);
        m_listings[position] = FolderIds(lowerListing);
        deliveries.push_back({lower, visibleRecords(lowerListing, position)});
    }

    for (size_t i = 0; i < deliveries.size(); ++i) {
        Delivery& delivery = deliveries[i];
        DataSourceUpdate update;
        update.strategy = SearchUpdateStrategy::sourceWithPath(delivery.folder);
        if (i > 0)
            log().info(QStringLiteral("Start updating records, updateStrategy: ") + update.strategy.description());
        log().info(QStringLiteral("Found %1 updated records").arg(static_cast<qsizetype>(delivery.records.size())));
        update.records[SearchRecord::Source::system] = std::move(delivery.records);
        notifyPartialUpdate(update);
    }

    if (recheck) {
        // A file that could not be read may still be being copied in; the
        // folder watch does not see writes to files, so look once more.
        onContext([this, scope] {
            QTimer::singleShot(kRecheckDelayMs, m_context.get(), [this, scope] { scheduleUpdates({scope}); });
        });
    }
}

}  // namespace vantrel
