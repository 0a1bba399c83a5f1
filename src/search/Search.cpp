#include "search/Search.h"

#include "kit/Logger.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "kit/Queue.h"
#include "search/CorrectionIndex.h"
#include "search/Levenshtein.h"
#include "search/Normalization.h"
#include "search/RadixTreeIndex.h"

#include <QCoreApplication>
#include <QHash>
#include <QMetaObject>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <limits>

namespace vantrel {

namespace {
const Logger& log() {
    static const Logger logger({QStringLiteral("Search"), QStringLiteral("🔎")});
    return logger;
}

std::vector<SearchItem> wrap(std::vector<SearchRecord> records, const SearchItemFilter& filter) {
    std::vector<SearchItem> items;
    items.reserve(records.size());
    for (SearchRecord& record : records) {
        SearchItem item = SearchItem::fromRecord(std::move(record));
        if (!filter || filter(item)) items.push_back(std::move(item));
    }
    return items;
}
}  // namespace

// What the loading side shares with the work it schedules: whether the engine
// still exists, the serial background queue for writes and rebuilds, and the
// rebuild that is waiting for its delay.
struct Search::Loading : std::enable_shared_from_this<Search::Loading> {
    using Work = std::function<void()>;

    std::atomic<IndexingMode> indexingMode{IndexingMode::prefix};
    std::atomic<double> updateIndexingDelay{0.5};

    // Work that touches the engine runs only while it is alive, and its
    // destructor waits for such work to finish.
    std::mutex lifeMutex;
    std::condition_variable idle;
    bool alive = true;
    int running = 0;

    template <typename F>
    bool runIfAlive(F&& work) {
        {
            std::lock_guard lock(lifeMutex);
            if (!alive) return false;
            ++running;
        }
        struct Leave {
            Loading* loading;
            ~Leave() {
                std::lock_guard lock(loading->lifeMutex);
                if (--loading->running == 0) loading->idle.notify_all();
            }
        } leave{this};
        work();
        return true;
    }

    void shutDown() {
        std::unique_lock lock(lifeMutex);
        alive = false;
        idle.wait(lock, [this] { return running == 0; });
    }

    // Writes and rebuilds, one at a time in the order given, on the global pool.
    std::mutex workMutex;
    std::deque<Work> work;
    bool draining = false;

    void enqueue(Work item) {
        {
            std::lock_guard lock(workMutex);
            work.push_back(std::move(item));
            if (draining) return;
            draining = true;
        }
        Queue::global().dispatch([self = shared_from_this()] { self->drain(); });
    }

    void drain() {
        for (;;) {
            Work next;
            {
                std::lock_guard lock(workMutex);
                if (work.empty()) {
                    draining = false;
                    return;
                }
                next = std::move(work.front());
                work.pop_front();
            }
            try {
                runIfAlive(next);
            } catch (const std::exception& error) {
                log().error("Background search work failed",
                            {{QStringLiteral("error"), VantrelError::describe(error)}});
            }
        }
    }

    // The rebuild waiting for its delay: a newer request replaces it and takes
    // over the completions of the ones it replaced.
    std::mutex indexMutex;
    quint64 indexGeneration = 0;
    std::vector<std::function<void()>> indexCompletions;

    // One rebuild at a time, whoever asks.
    std::mutex rebuildMutex;

    // Lives here rather than in the engine so that a completion that comes
    // after the engine is gone still has something to publish to (nobody).
    Signal<> recordsDidChange;
};

Search::Search(std::shared_ptr<SearchRepository> repository, std::shared_ptr<SearchIndex> index)
    : m_repository(std::move(repository)), m_index(std::move(index)), m_loading(std::make_shared<Loading>()) {}

Search::~Search() {
    m_loading->shutDown();
}

SearchIndex& Search::searchIndex() {
    std::call_once(m_indexOnce, [this] {
        if (!m_index) m_index = std::make_shared<RadixTreeIndex>(m_repository);
    });
    return *m_index;
}

Ranking& Search::ranking() {
    std::call_once(m_rankingOnce, [this] { m_ranking = std::make_unique<Ranking>(m_repository); });
    return *m_ranking;
}

void Search::addSearchProvider(std::shared_ptr<SearchProvider> provider) {
    std::lock_guard lock(m_providersMutex);
    m_providers.push_back(std::move(provider));
}

std::vector<SearchItem> Search::providerResults(const QString& term) const {
    std::vector<std::shared_ptr<SearchProvider>> providers;
    {
        std::lock_guard lock(m_providersMutex);
        providers = m_providers;
    }
    std::vector<SearchItem> results;
    for (const auto& provider : providers) {
        std::vector<SearchItem> more = provider->results(term);
        std::move(more.begin(), more.end(), std::back_inserter(results));
    }
    return results;
}

std::optional<std::vector<SearchRecord>> Search::readAllRecords() const {
    log().info("Reading all db records");
    try {
        return m_repository->readAllSearchResults({SearchRecord::Source::provider}, std::numeric_limits<int>::max());
    } catch (const std::exception& error) {
        log().error("Failed indexing records", {{QStringLiteral("error"), VantrelError::describe(error)}});
        return std::nullopt;
    }
}

void Search::rebuildIndex(IndexingMode mode, std::function<void()> completion) {
    std::lock_guard lock(m_loading->rebuildMutex);
    std::optional<std::vector<SearchRecord>> records = readAllRecords();
    if (!records) {
        if (completion) Queue::main().dispatch(std::move(completion));
        return;
    }
    // Keystrokes are answered from memory: the pages the write and this read
    // went through stay unused until the next write, so the connections give
    // them back (the index build ends with a trim that returns them).
    if (m_repository->dbConnection) m_repository->dbConnection->releaseCacheMemory();
    searchIndex().index(*records, mode, std::move(completion));
}

void Search::indexAll(IndexingMode mode, std::function<void()> completion) {
    rebuildIndex(mode, std::move(completion));
}

IndexingMode Search::indexingMode() const {
    return m_loading->indexingMode.load();
}

void Search::setIndexingMode(IndexingMode mode) {
    m_loading->indexingMode.store(mode);
}

double Search::updateIndexingDelay() const {
    return m_loading->updateIndexingDelay.load();
}

void Search::setUpdateIndexingDelay(double seconds) {
    m_loading->updateIndexingDelay.store(std::max(0.0, seconds));
}

DataSourceLoader& Search::dataSourceLoader() {
    std::call_once(m_loaderOnce, [this] {
        m_loader = std::make_unique<DataSourceLoader>();
        auto later = [this, loading = m_loading](const DataSourceUpdate& update) {
            loading->runIfAlive([&] { writeLaterUpdate(update); });
        };
        m_loader->setDidUpdate(later);
        m_loader->setDidPartialUpdate(later);
    });
    return *m_loader;
}

void Search::addDataSource(std::shared_ptr<DataSource> dataSource) {
    dataSourceLoader().addDataSource(std::move(dataSource));
}

void Search::loadDataSources(double waitingDuration, std::function<void()> completion) {
    log().info("Load data sources");
    dataSourceLoader().loadAll(waitingDuration, [this, loading = m_loading, completion = std::move(completion)](
                                                    const DataSourceLoader::LoadAllResult& result) {
        loading->runIfAlive([&] {
            if (const auto* update = std::get_if<DataSourceUpdate>(&result)) {
                writeLoadedUpdate(*update, completion);
                return;
            }
            const auto& error = std::get<DataSourceError>(result);
            log().error(QStringLiteral("Cannot load all data sources after first attempt: ") + error.description());
            writeLoadedUpdate(error.loaded(), completion);
        });
    });
}

void Search::writeLoadedUpdate(const DataSourceUpdate& update, std::function<void()> completion) {
    const QString sources = update.sourcesDescription();
    updateDataSources({update}, 0, [sources, completion](const std::optional<VantrelError>& error) {
        if (error)
            log().error("Failed updating data source", {{QStringLiteral("error"), error->errorDescription()}});
        else
            log().info("Data source(s) updated", {{QStringLiteral("sources"), sources}});
        if (completion) completion();
    });
}

void Search::writeLaterUpdate(const DataSourceUpdate& update) {
    const QString sources = update.sourcesDescription();
    std::weak_ptr<Loading> weak = m_loading;
    updateDataSources({update}, updateIndexingDelay(), [sources, weak](const std::optional<VantrelError>& error) {
        if (error)
            log().error("Failed partially updating data source",
                        {{QStringLiteral("error"), error->errorDescription()}});
        else
            log().info("Data source(s) partially updated", {{QStringLiteral("sources"), sources}});
        // The index was rebuilt from whatever the table holds now, so the
        // results may differ either way.
        if (const auto loading = weak.lock()) loading->recordsDidChange.publish();
    });
}

Signal<>& Search::recordsDidChange() {
    return m_loading->recordsDidChange;
}

void Search::updateDataSources(std::vector<DataSourceUpdate> updates, double indexingDelay,
                               UpdateCompletion completion) {
    QStringList sources;
    for (const DataSourceUpdate& update : updates)
        for (const auto& [source, records] : update.records)
            if (const QString name = SearchRecord::rawValue(source); !sources.contains(name)) sources << name;
    log().info("Updating db records for source(s)", {{QStringLiteral("sources"), sources.join(QStringLiteral(", "))}});

    // Written by the write below and read by the completion, which runs after
    // it (the rebuild is queued behind the write).
    auto failure = std::make_shared<std::optional<VantrelError>>();
    m_loading->enqueue([this, updates = std::move(updates), failure] {
        for (const DataSourceUpdate& update : updates) {
            try {
                m_repository->update(update.records, update.strategy);
            } catch (const std::exception& error) {
                log().error("Failed updating db records", {{QStringLiteral("error"), VantrelError::describe(error)}});
                if (!*failure) failure->emplace(QStringLiteral("Failed updating db records"), error);
            }
        }
    });
    index(indexingDelay, [failure, completion = std::move(completion)] {
        if (completion) completion(*failure);
    });
}

void Search::index(double delay, std::function<void()> completion) {
    std::shared_ptr<Loading> loading = m_loading;
    quint64 generation = 0;
    {
        std::lock_guard lock(loading->indexMutex);
        generation = ++loading->indexGeneration;
        if (completion) loading->indexCompletions.push_back(std::move(completion));
    }
    // Once the delay has passed and no newer request came, the rebuild joins
    // the queue behind the writes asked for so far.
    auto start = [this, loading, generation] {
        std::vector<std::function<void()>> completions;
        {
            std::lock_guard lock(loading->indexMutex);
            if (loading->indexGeneration != generation) return;
            completions.swap(loading->indexCompletions);
        }
        loading->enqueue([this, loading, completions = std::move(completions)] {
            // Completions go through the main queue themselves, so they never
            // run inside this work item.
            rebuildIndex(loading->indexingMode.load(), [completions] {
                Queue::main().dispatch([completions] {
                    for (const auto& done : completions) done();
                });
            });
        });
    };

    using Clock = std::chrono::steady_clock;
    const auto wait = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(std::max(0.0, delay)));
    if (wait <= Clock::duration::zero()) {
        start();
        return;
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        // Without an event loop the wait happens on a pool thread.
        Queue::global().dispatch([wait, start] {
            QThread::usleep(
                static_cast<unsigned long>(std::chrono::duration_cast<std::chrono::microseconds>(wait).count()));
            start();
        });
        return;
    }
    // The timer lives on the main thread, whichever thread asks; the wait is
    // measured from this call.
    const Clock::time_point due = Clock::now() + wait;
    QMetaObject::invokeMethod(
        app,
        [app, due, start] {
            const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now());
            if (remaining.count() <= 0)
                start();
            else
                QTimer::singleShot(remaining, Qt::PreciseTimer, app, start);
        },
        Qt::QueuedConnection);
}

void Search::removeUninstalledRecords(std::function<void(const Result<int>&)> completion) {
    log().info("Remove uninstalled records");
    m_loading->enqueue([this, completion = std::move(completion)] {
        std::optional<Result<int>> result;
        try {
            const int removed = m_repository->removeUninstalledRecords();
            log().info(QStringLiteral("Removed %1 uninstalled record(s)").arg(removed));
            result.emplace(removed);
        } catch (const std::exception& error) {
            log().error("Could not remove uninstalled records",
                        {{QStringLiteral("error"), VantrelError::describe(error)}});
            result.emplace(VantrelError(QStringLiteral("Could not remove uninstalled records"), error));
        }
        if (completion) Queue::main().dispatch([completion, result = std::move(*result)] { completion(result); });
    });
}

std::shared_ptr<const std::vector<SearchItem>> Search::allItems() {
    SearchIndex& index = searchIndex();
    if (!index.answersEmptyTermFromTable())
        return std::make_shared<const std::vector<SearchItem>>(wrap(index.itemsStartingWith(QString()), {}));
    // The version is read before the rows, so rows newer than it are at worst
    // read again.
    const quint64 version = m_repository->table().version();
    {
        std::lock_guard lock(m_emptyTermMutex);
        if (m_emptyTerm.items && m_emptyTerm.version == version) return m_emptyTerm.items;
    }
    auto items = std::make_shared<const std::vector<SearchItem>>(wrap(index.itemsStartingWith(QString()), {}));
    // A failed read answers nothing; it is not kept.
    if (items->empty()) return items;
    std::lock_guard lock(m_emptyTermMutex);
    if (m_emptyTerm.version != version) m_emptyTerm = {version, items, nullptr};
    return items;
}

std::shared_ptr<const std::vector<SearchItem>> Search::allItemsRanked() {
    const std::shared_ptr<const std::vector<SearchItem>> items = allItems();
    {
        std::lock_guard lock(m_emptyTermMutex);
        if (m_emptyTerm.items == items && m_emptyTerm.ranked) return m_emptyTerm.ranked;
    }
    // Without options the chain reads no clock for the empty term, so the
    // order holds as long as the rows do.
    auto ranked = std::make_shared<const std::vector<SearchItem>>(ranking().rank(*items, QString()));
    std::lock_guard lock(m_emptyTermMutex);
    if (m_emptyTerm.items == items) m_emptyTerm.ranked = ranked;
    return ranked;
}

std::vector<SearchItem> Search::items(const QString& term, SearchOptions options, const SearchItemFilter& filter) {
    const QString t = normalizedForSearch(term);
    std::vector<SearchItem> results;
    if (t.isEmpty()) {
        const std::shared_ptr<const std::vector<SearchItem>> all = allItems();
        results.reserve(all->size());
        for (const SearchItem& item : *all)
            if (!filter || filter(item)) results.push_back(item);
    } else {
        results = wrap(searchIndex().itemsStartingWith(t), filter);
    }
    if (results.empty()) {
        std::vector<SearchItem> answer;
        std::vector<SearchItem> corrected = corrections(t, kCorrectionMaxLength, kCorrectionMinDistance, options, filter);
        if (!corrected.empty())
            answer.push_back(std::move(corrected.front()));
        else
            answer = wordCorrections(t, options, filter);
        std::vector<SearchItem> provided = ranking().rank(providerResults(term), t, options);
        std::move(provided.begin(), provided.end(), std::back_inserter(answer));
        return answer;
    }
    std::vector<SearchItem> provided = providerResults(term);
    std::move(provided.begin(), provided.end(), std::back_inserter(results));
    if (t.isEmpty()) return results;
    return ranking().rank(results, t, options);
}

std::vector<SearchItem> Search::corrections(const QString& term, int maxLength, int minDistance,
                                            SearchOptions options, const SearchItemFilter& filter) {
    const QString q = term.left(maxLength);
    if (q.isEmpty()) return {};
    const QByteArray query = q.toUtf8();
    std::vector<CorrectedItem> corrected;
    const std::shared_ptr<const CorrectionIndex> index = searchIndex().correctionIndex();
    if (index && !index->empty() && maxLength == CorrectionIndex::kNameLength && minDistance >= 0) {
        // Only names whose length is within the distance are compared.
        const std::vector<std::pair<qint64, quint32>> near =
            index->namesNear(query, static_cast<quint32>(minDistance));
        if (!near.empty()) {
            QHash<qint64, quint32> distances;
            QList<qint64> ids;
            for (const auto& [id, distance] : near) {
                distances.insert(id, distance);
                ids << id;
            }
            try {
                for (SearchItem& item : wrap(m_repository->readSearchResults(ids, SearchIndex::kReadAllLimit), filter)) {
                    const qint64 distance = distances.value(*item.record()->id);
                    QString compared = item.name().toLower().left(maxLength);
                    corrected.push_back({std::move(item), std::move(compared), distance});
                }
            } catch (const std::exception& error) {
                log().error("Failed reading db records", {{QStringLiteral("error"), VantrelError::describe(error)}});
            }
        }
    } else {
        // The distance is at least the difference in length, which rules out
        // most names without computing it.
        for (SearchItem& item : wrap(searchIndex().itemsStartingWith(QString()), filter)) {
            const QString compared = item.name().toLower().left(maxLength);
            const QByteArray bytes = compared.toUtf8();
            if (std::abs(bytes.size() - query.size()) > minDistance) continue;
            const qint64 distance = Levenshtein::distance(query, bytes);
            if (distance > minDistance) continue;
            corrected.push_back({std::move(item), compared, distance});
        }
    }
    std::stable_sort(corrected.begin(), corrected.end(),
                     [](const CorrectedItem& a, const CorrectedItem& b) { return a.levenshtein < b.levenshtein; });
    std::vector<SearchItem> items;
    items.reserve(corrected.size());
    for (CorrectedItem& c : corrected) items.push_back(std::move(c.item));
    return ranking().rank(items, q, options);
}

std::vector<SearchItem> Search::wordCorrections(const QString& term, SearchOptions options,
                                                const SearchItemFilter& filter) {
    const std::shared_ptr<const CorrectionIndex> index = searchIndex().correctionIndex();
    if (!index) return {};
    const std::vector<qint64> found = index->idsMatchingWords(term, SearchIndex::kReadIdsLimit);
    if (found.empty()) return {};
    std::vector<SearchItem> items;
    try {
        items = wrap(m_repository->readSearchResults(QList<qint64>(found.begin(), found.end()), SearchIndex::kReadIdsLimit),
                     filter);
    } catch (const std::exception& error) {
        log().error("Failed reading db records", {{QStringLiteral("error"), VantrelError::describe(error)}});
        return {};
    }
    return ranking().rank(items, term, options);
}

std::vector<SearchItem> Search::suggestions(int limit, const SearchItemFilter& filter) {
    Q_ASSERT(limit >= 0);
    if (limit <= 0) return {};
    // The index's items come ranked already (kept while the rows stay);
    // filtering keeps their order. The providers' few results are ranked on
    // their own and merged in, an index item first when neither goes before
    // the other, as one stable sort of both lists would have them.
    const std::shared_ptr<const std::vector<SearchItem>> ranked = allItemsRanked();
    const std::vector<SearchItem> provided = ranking().rank(providerResults(QString()), QString());
    const QDateTime now = QDateTime::currentDateTimeUtc();
    std::vector<Ranking::RankableItem> providedRankable;
    providedRankable.reserve(provided.size());
    for (const SearchItem& item : provided) providedRankable.push_back(Ranking::rankable(item, QString(), {}, now));
    std::vector<SearchItem> answer;
    const auto wanted = static_cast<size_t>(limit);
    answer.reserve(std::min(wanted, ranked->size() + provided.size()));
    size_t next = 0;
    for (const SearchItem& item : *ranked) {
        if (answer.size() >= wanted) break;
        if (filter && !filter(item)) continue;
        if (next < provided.size()) {
            const Ranking::RankableItem rankable = Ranking::rankable(item, QString(), {}, now);
            while (next < provided.size() && answer.size() < wanted &&
                   Ranking::isOrderedBefore(providedRankable[next], rankable, QString()))
                answer.push_back(provided[next++]);
            if (answer.size() >= wanted) break;
        }
        answer.push_back(item);
    }
    while (next < provided.size() && answer.size() < wanted) answer.push_back(provided[next++]);
    return answer;
}

std::optional<SearchItem> Search::visit(const SearchItem& item, Ranking::VisitKind kind,
                                        const std::optional<QString>& searchTerm) {
    std::optional<SearchItem> updated = ranking().visit(item, kind, searchTerm);
    if (updated)
        NotificationCenter::defaultCenter().post(QString(NotificationNames::didUprankItem), updated->identifier());
    return updated;
}

SearchRecord Search::setAlias(const std::optional<QString>& alias, const QString& key) {
    return m_repository->setAlias(alias, key);
}

SearchRecord Search::setHotkey(const std::optional<QString>& hotkey, const QString& key) {
    return m_repository->setHotkey(hotkey, key);
}

double Search::addToFavorites(const QString& key) { return m_repository->addToFavorites(key); }

}  // namespace vantrel
