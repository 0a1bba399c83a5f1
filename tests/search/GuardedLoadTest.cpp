// Loads a data source runs on the global pool while it may be going away:
// what the completion gets, a read that throws, and a source that ends while
// a read is running.
#include "search/GuardedLoad.h"

#include "kit/Logger.h"
#include "kit/VantrelError.h"
#include "support/CapturingLogHandler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace vantrel::test {
namespace {

using namespace std::chrono_literals;

const Logger& log() {
    static const Logger logger({QStringLiteral("GuardedLoadTest"), QStringLiteral("🧪")});
    return logger;
}

SearchRecord named(const QString& name) {
    SearchRecord record;
    record.key = name.toLower();
    record.name = name;
    record.source = SearchRecord::Source::quicklinks;
    return record;
}

// The completion's result, delivered on a pool thread.
struct Outcome {
    std::promise<DataSource::LoadResult> promise;
    std::future<DataSource::LoadResult> future = promise.get_future();
    DataSource::LoadCompletion completion() {
        return [this](DataSource::LoadResult result) { promise.set_value(std::move(result)); };
    }
    DataSource::LoadResult get() {
        EXPECT_EQ(future.wait_for(10s), std::future_status::ready) << "the load never completed";
        return future.get();
    }
};

QStringList names(const DataSource::LoadResult& result) {
    QStringList names;
    if (const auto* records = std::get_if<std::vector<SearchRecord>>(&result))
        for (const SearchRecord& record : *records) names << record.name;
    return names;
}

TEST(GuardedLoad, CompletesWithWhatTheReadReturns) {
    GuardedLoad loads;
    Outcome outcome;
    loads.dispatch([] { return std::vector<SearchRecord>{named("Alpha"), named("Beta")}; }, outcome.completion(), log(),
                   "Cannot read the records");
    const DataSource::LoadResult result = outcome.get();
    ASSERT_TRUE(std::holds_alternative<std::vector<SearchRecord>>(result));
    EXPECT_EQ(names(result), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Beta")}));
}

TEST(GuardedLoad, AReadThatThrowsFailsTheLoadAndIsLogged) {
    ScopedLogCapture logs;
    GuardedLoad loads;
    Outcome outcome;
    loads.dispatch([]() -> std::vector<SearchRecord> { throw VantrelError(QStringLiteral("the table is locked")); },
                   outcome.completion(), log(), "Cannot read the records");
    const DataSource::LoadResult result = outcome.get();
    const auto* error = std::get_if<DataSourceError>(&result);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->kind(), DataSourceError::Kind::loadFailed);
    EXPECT_TRUE(error->detail().contains(QStringLiteral("the table is locked"))) << error->detail().toStdString();
    EXPECT_TRUE(logs->contains(QStringLiteral("Cannot read the records"))) << logs->messages().join(u'|').toStdString();
    // Logged from where the load was asked for.
    EXPECT_EQ(logs->files().value(logs->messages().indexOf(QStringLiteral("Cannot read the records"))),
              QStringLiteral("GuardedLoadTest.cpp"))
        << logs->files().join(u',').toStdString();

    // Not only errors of our own: any exception.
    Outcome other;
    loads.dispatch([]() -> std::vector<SearchRecord> { throw std::runtime_error("out of range"); }, other.completion(),
                   log(), "Cannot read the records");
    const DataSource::LoadResult otherResult = other.get();
    ASSERT_TRUE(std::holds_alternative<DataSourceError>(otherResult));
}

TEST(GuardedLoad, AfterTheEndNothingIsReadAndTheLoadIsEmpty) {
    GuardedLoad loads;
    loads.end();
    std::atomic<bool> read = false;
    Outcome outcome;
    loads.dispatch(
        [&read] {
            read = true;
            return std::vector<SearchRecord>{named("Gone")};
        },
        outcome.completion(), log(), "Cannot read the records");
    const DataSource::LoadResult result = outcome.get();
    ASSERT_TRUE(std::holds_alternative<std::vector<SearchRecord>>(result));
    EXPECT_TRUE(names(result).isEmpty());
    EXPECT_FALSE(read);
}

TEST(GuardedLoad, EndWaitsForAReadRunningNow) {
    GuardedLoad loads;
    std::mutex mutex;
    std::condition_variable changed;
    bool started = false;
    bool mayFinish = false;
    std::atomic<bool> finished = false;
    Outcome outcome;
    loads.dispatch(
        [&] {
            std::unique_lock lock(mutex);
            started = true;
            changed.notify_all();
            changed.wait(lock, [&] { return mayFinish; });
            finished = true;
            return std::vector<SearchRecord>{named("Finished")};
        },
        outcome.completion(), log(), "Cannot read the records");
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, 10s, [&] { return started; })) << "the read never started";
    }
    std::atomic<bool> ended = false;
    std::atomic<bool> finishedWhenEnded = false;
    std::thread ender([&] {
        loads.end();
        finishedWhenEnded = finished.load();
        ended = true;
    });
    {
        std::lock_guard lock(mutex);
        EXPECT_FALSE(ended) << "end() returned while a read was running";
        mayFinish = true;
        changed.notify_all();
    }
    ender.join();
    EXPECT_TRUE(finishedWhenEnded);
    EXPECT_EQ(names(outcome.get()), QStringList{QStringLiteral("Finished")});
}

}  // namespace
}  // namespace vantrel::test
