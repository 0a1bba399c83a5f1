#include "search/DataSourceLoader.h"

#include "kit/Logger.h"
#include "kit/Queue.h"
#include "kit/VantrelError.h"

#include <atomic>
#include <cmath>

namespace vantrel {

namespace {
const Logger& log() {
    static const Logger logger({QStringLiteral("DataSourceLoader"), QStringLiteral("🗂️")});
    return logger;
}

QString describe(const DataSource::LoadResult& result) {
    if (const auto* error = std::get_if<DataSourceError>(&result)) return error->description();
    return {};
}
}  // namespace

struct DataSourceLoader::State {
    mutable std::mutex mutex;
    std::vector<std::shared_ptr<DataSource>> dataSources;
    UpdateCallback didUpdate;
    UpdateCallback didPartialUpdate;
    bool allLoaded = false;
    std::optional<QDateTime> lastLoadDate;
    // allLoaded belongs to the most recent loadAll only.
    quint64 loadGeneration = 0;
    Clock clock;
};

namespace {

// The answers of one loadAll, collected until every source has answered.
struct LoadGroup {
    std::mutex mutex;
    std::vector<SearchRecord::Source> sources;
    std::vector<std::optional<DataSource::LoadResult>> results;
    size_t remaining = 0;
    DataSourceLoader::LoadAllCompletion completion;

    // The combined answer once every source has answered.
    DataSourceLoader::LoadAllResult combined() {
        DataSourceUpdate loaded;
        loaded.strategy = SearchUpdateStrategy::source();
        std::vector<DataSourceError::Failure> failures;
        for (size_t i = 0; i < results.size(); ++i) {
            if (auto* records = std::get_if<std::vector<SearchRecord>>(&*results[i])) {
                auto& list = loaded.records[sources[i]];
                list.insert(list.end(), std::make_move_iterator(records->begin()),
                            std::make_move_iterator(records->end()));
            } else {
                failures.push_back({sources[i], describe(*results[i])});
            }
        }
        if (failures.empty()) return loaded;
        return DataSourceError::someFailed(std::move(failures), std::move(loaded));
    }
};

}  // namespace

DataSourceLoader::DataSourceLoader(std::vector<std::shared_ptr<DataSource>> dataSources, Clock clock)
    : m_state(std::make_shared<State>()) {
    std::erase(dataSources, nullptr);
    m_state->dataSources = std::move(dataSources);
    m_state->clock = clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTimeUtc(); });
}

DataSourceLoader::~DataSourceLoader() = default;

std::vector<std::shared_ptr<DataSource>> DataSourceLoader::dataSources() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->dataSources;
}

void DataSourceLoader::addDataSource(std::shared_ptr<DataSource> dataSource) {
    if (!dataSource) return;
    std::lock_guard lock(m_state->mutex);
    m_state->dataSources.push_back(std::move(dataSource));
}

void DataSourceLoader::setDidUpdate(UpdateCallback callback) {
    std::lock_guard lock(m_state->mutex);
    m_state->didUpdate = std::move(callback);
}

void DataSourceLoader::setDidPartialUpdate(UpdateCallback callback) {
    std::lock_guard lock(m_state->mutex);
    m_state->didPartialUpdate = std::move(callback);
}

bool DataSourceLoader::allLoaded() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->allLoaded;
}

std::optional<QDateTime> DataSourceLoader::lastLoadDate() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->lastLoadDate;
}

void DataSourceLoader::connect(DataSource& dataSource) const {
    // The source may outlive the loader: its callbacks then do nothing.
    std::weak_ptr<State> weak = m_state;
    dataSource.setDidUpdate([weak](const DataSourceUpdate& update) {
        UpdateCallback callback;
        if (auto state = weak.lock()) {
            std::lock_guard lock(state->mutex);
            callback = state->didUpdate;
        }
        if (callback) callback(update);
    });
    dataSource.setDidPartialUpdate([weak](const DataSourceUpdate& update) {
        UpdateCallback callback;
        if (auto state = weak.lock()) {
            std::lock_guard lock(state->mutex);
            callback = state->didPartialUpdate;
        }
        if (callback) callback(update);
    });
}

void DataSourceLoader::loadAll(double waitingDuration, LoadAllCompletion completion) {
    std::vector<std::shared_ptr<DataSource>> sources;
    quint64 generation = 0;
    {
        std::lock_guard lock(m_state->mutex);
        const QDateTime now = m_state->clock();
        if (m_state->lastLoadDate) {
            const double elapsed = std::abs(static_cast<double>(m_state->lastLoadDate->msecsTo(now))) / 1000.0;
            if (elapsed < waitingDuration) return;
        }
        m_state->lastLoadDate = now;
        m_state->allLoaded = false;
        generation = ++m_state->loadGeneration;
        sources = m_state->dataSources;
    }

    auto group = std::make_shared<LoadGroup>();
    group->completion = std::move(completion);
    group->remaining = sources.size();
    group->results.resize(sources.size());
    for (const auto& source : sources) group->sources.push_back(source->source());

    std::weak_ptr<State> weak = m_state;
    auto finish = [group, weak, generation] {
        LoadAllResult result = group->combined();
        if (auto state = weak.lock()) {
            std::lock_guard lock(state->mutex);
            if (state->loadGeneration == generation) state->allLoaded = true;
        }
        if (group->completion)
            Queue::main().dispatch(
                [completion = std::move(group->completion), result = std::move(result)] { completion(result); });
    };

    if (sources.empty()) {
        finish();
        return;
    }

    for (size_t i = 0; i < sources.size(); ++i) {
        const QString sourceName = SearchRecord::rawValue(group->sources[i]);
        auto answer = [group, finish, i, sourceName](DataSource::LoadResult result) {
            {
                std::lock_guard lock(group->mutex);
                // A completion that runs twice counts once.
                if (group->results[i]) return;
                if (const auto* records = std::get_if<std::vector<SearchRecord>>(&result))
                    log().info(
                        QStringLiteral("Loaded data source '%1' with %2 entries").arg(sourceName).arg(records->size()));
                else
                    log().error("Failed loading data source", {{QStringLiteral("error"), describe(result)}});
                group->results[i] = std::move(result);
                if (--group->remaining > 0) return;
            }
            finish();
        };
        connect(*sources[i]);
        try {
            sources[i]->load(answer);
        } catch (const std::exception& error) {
            answer(DataSourceError::loadFailed(VantrelError::describe(error)));
        }
    }
}

void DataSourceLoader::refresh(SearchRecord::Source source, DataSource::LoadCompletion completion) {
    std::shared_ptr<DataSource> found;
    {
        std::lock_guard lock(m_state->mutex);
        for (const auto& dataSource : m_state->dataSources) {
            if (dataSource->source() == source) {
                found = dataSource;
                break;
            }
        }
    }
    if (!found) {
        const QString message = QStringLiteral("Could not find data source: ") + SearchRecord::rawValue(source);
        log().error(message);
        if (completion) completion(DataSourceError::loadFailed(message));
        return;
    }
    // The completion runs once, also when the source throws after calling it.
    auto called = std::make_shared<std::atomic<bool>>(false);
    DataSource::LoadCompletion once = [called, completion = std::move(completion)](DataSource::LoadResult result) {
        if (called->exchange(true) || !completion) return;
        completion(std::move(result));
    };
    try {
        found->refresh(once);
    } catch (const std::exception& error) {
        log().error("Failed refreshing data source", {{QStringLiteral("error"), VantrelError::describe(error)}});
        once(DataSourceError::loadFailed(VantrelError::describe(error)));
    }
}

}  // namespace vantrel
