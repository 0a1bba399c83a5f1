#pragma once

#include "search/DataSource.h"

#include <QDateTime>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>
#include <vector>

namespace vantrel {

// Runs every data source together, at most once per waiting interval, and
// forwards the sources' later updates. Safe to use from any thread; the
// completion of loadAll runs on the main thread.
class DataSourceLoader {
public:
    using LoadAllResult = std::variant<DataSourceUpdate, DataSourceError>;
    using LoadAllCompletion = std::function<void(const LoadAllResult&)>;
    using UpdateCallback = DataSource::UpdateCallback;
    // Answers the current time; replaceable so tests can move time on.
    using Clock = std::function<QDateTime()>;

    explicit DataSourceLoader(std::vector<std::shared_ptr<DataSource>> dataSources = {}, Clock clock = {});
    ~DataSourceLoader();
    DataSourceLoader(const DataSourceLoader&) = delete;
    DataSourceLoader& operator=(const DataSourceLoader&) = delete;

    std::vector<std::shared_ptr<DataSource>> dataSources() const;
    // The source takes part in the next loadAll.
    void addDataSource(std::shared_ptr<DataSource> dataSource);

    // Full updates of a source after its first load (strategy `source`).
    void setDidUpdate(UpdateCallback callback);
    // Updates of one folder of a source (strategy `sourceWithPath`).
    void setDidPartialUpdate(UpdateCallback callback);

    // Whether every source of the last loadAll has answered.
    bool allLoaded() const;
    std::optional<QDateTime> lastLoadDate() const;

    // Loads every source at once. When the previous load started less than
    // waitingDuration seconds ago this returns without loading and without
    // calling the completion. Otherwise the completion runs on the main thread
    // once every source has answered, with the records of all of them (strategy
    // `source`), or with `someFailed` listing the failures and carrying the
    // records of the sources that did load.
    //
    // Sources are asked on the calling thread, one after the other; each must
    // return at once and do slow work elsewhere, so the loads overlap.
    void loadAll(double waitingDuration, LoadAllCompletion completion);

    // Asks the source with that value to produce its records again; they
    // arrive through didUpdate. An unknown source logs
    // "Could not find data source: <source>" and completes with `loadFailed`.
    void refresh(SearchRecord::Source source, DataSource::LoadCompletion completion = {});

private:
    struct State;
    void connect(DataSource& dataSource) const;

    std::shared_ptr<State> m_state;
};

}  // namespace vantrel
