// The loader over several data sources: concurrent loads with one completion
// on the main thread, partial failures, the waiting interval between loads,
// refreshes and the forwarding of later updates.
#include "search/SearchEngineTestSupport.h"
#include "search/SearchTestPrinters.h"
#include "search/TestDataSources.h"

#include "search/DataSourceLoader.h"
#include "support/CapturingLogHandler.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QThread>

namespace vantrel::test {
namespace {

using Source = SearchRecord::Source;

// Keeps what the completions of loadAll received, and where they ran.
struct Completions {
    std::vector<DataSourceLoader::LoadAllResult> results;
    bool allOnMainThread = true;

    DataSourceLoader::LoadAllCompletion recorder() {
        return [this](const DataSourceLoader::LoadAllResult& result) {
            allOnMainThread = allOnMainThread && QThread::currentThread() == QCoreApplication::instance()->thread();
            results.push_back(result);
        };
    }
    bool waitForCount(size_t count) {
        return waitUntil([&] { return results.size() >= count; });
    }
};

QStringList namesIn(const DataSourceUpdate& update, Source source) {
    const auto found = update.records.find(source);
    return found == update.records.end() ? QStringList() : sortedNames(found->second);
}

class DataSourceLoaderTest : public ::testing::Test {
protected:
    ScopedLogCapture logs;
    QDateTime now = QDateTime(QDate(2026, 3, 1), QTime(9, 0), Qt::UTC);
    DataSourceLoader::Clock clock = [this] { return now; };

    std::shared_ptr<TestDataSource> apps = std::make_shared<TestDataSource>(
        Source::system, std::vector<SearchRecord>{appRecord("Safari"), appRecord("Mail")});
    std::shared_ptr<TestDataSource> commands = std::make_shared<TestDataSource>(
        Source::package, std::vector<SearchRecord>{commandRecord("builtin_command_search", "Search Files")});
    std::shared_ptr<TestDataSource> scripts = std::make_shared<TestDataSource>(
        Source::scripts, std::vector<SearchRecord>{commandRecord("script_backup", "Back Up", Source::scripts)});
};

TEST_F(DataSourceLoaderTest, LoadsEverySourceAtOnceAndCompletesOnceOnTheMainThread) {
    auto gate = std::make_shared<StartGate>(3);
    for (const auto& source : {apps, commands, scripts}) source->waitFor(gate);
    DataSourceLoader loader({apps, commands, scripts}, clock);
    EXPECT_FALSE(loader.allLoaded());
    EXPECT_FALSE(loader.lastLoadDate().has_value());

    Completions completions;
    loader.loadAll(60, completions.recorder());
    ASSERT_TRUE(completions.waitForCount(1));
    // Nothing else arrives after the one completion.
    QCoreApplication::processEvents();
    ASSERT_EQ(completions.results.size(), 1u);
    EXPECT_TRUE(completions.allOnMainThread);

    const auto* update = std::get_if<DataSourceUpdate>(&completions.results.front());
    ASSERT_TRUE(update) << std::get<DataSourceError>(completions.results.front()).what();
    EXPECT_EQ(update->strategy, SearchUpdateStrategy::source());
    EXPECT_EQ(namesIn(*update, Source::system), (QStringList{"Mail", "Safari"}));
    EXPECT_EQ(namesIn(*update, Source::package), QStringList{"Search Files"});
    EXPECT_EQ(namesIn(*update, Source::scripts), QStringList{"Back Up"});
    EXPECT_TRUE(loader.allLoaded());
    EXPECT_EQ(loader.lastLoadDate(), now);

    EXPECT_TRUE(logs->contains("Loaded data source 'system' with 2 entries"));
    EXPECT_TRUE(logs->contains("Loaded data source 'package' with 1 entries"));
    EXPECT_TRUE(logs->contains("Loaded data source 'scripts' with 1 entries"));
}

TEST_F(DataSourceLoaderTest, CompletesOnlyAfterTheSlowestSourceAnswers) {
    auto late = std::make_shared<TestDataSource>(
        Source::quicklinks, std::vector<SearchRecord>{commandRecord("ql_1", "Docs", Source::quicklinks)},
        TestDataSource::Answer::whenReleased);
    auto prompt = std::make_shared<TestDataSource>(Source::system, std::vector<SearchRecord>{appRecord("Terminal")},
                                                   TestDataSource::Answer::immediately);
    DataSourceLoader loader({late, prompt, commands}, clock);
    Completions completions;
    loader.loadAll(0, completions.recorder());

    ASSERT_TRUE(waitUntil([&] { return logs->contains("Loaded data source 'package' with 1 entries"); }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(completions.results.empty());
    EXPECT_FALSE(loader.allLoaded());

    late->release();
    ASSERT_TRUE(completions.waitForCount(1));
    const auto* update = std::get_if<DataSourceUpdate>(&completions.results.front());
    ASSERT_TRUE(update);
    EXPECT_EQ(namesIn(*update, Source::quicklinks), QStringList{"Docs"});
    EXPECT_EQ(namesIn(*update, Source::system), QStringList{"Terminal"});
    EXPECT_TRUE(loader.allLoaded());
}

TEST_F(DataSourceLoaderTest, FailedSourcesAreReportedWithTheRecordsOfTheOthers) {
    commands->failWith(QStringLiteral("manifest unreadable"));
    scripts->throwOnLoad();
    DataSourceLoader loader({apps, commands, scripts}, clock);
    Completions completions;
    loader.loadAll(60, completions.recorder());
    ASSERT_TRUE(completions.waitForCount(1));

    const auto* error = std::get_if<DataSourceError>(&completions.results.front());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), DataSourceError::Kind::someFailed);
    ASSERT_EQ(error->failures().size(), 2u);
    EXPECT_EQ(error->failures()[0].source, Source::package);
    EXPECT_EQ(error->failures()[0].message, QStringLiteral("loadFailed: manifest unreadable"));
    EXPECT_EQ(error->failures()[1].source, Source::scripts);
    EXPECT_EQ(error->failures()[1].message, QStringLiteral("loadFailed: the source broke while starting"));
    EXPECT_EQ(namesIn(error->loaded(), Source::system), (QStringList{"Mail", "Safari"}));
    EXPECT_EQ(error->loaded().records.count(Source::package), 0u);
    EXPECT_EQ(error->loaded().strategy, SearchUpdateStrategy::source());
    // Every source answered, so the load is over.
    EXPECT_TRUE(loader.allLoaded());

    EXPECT_EQ(logs->messages().count("Failed loading data source"), 2);
    EXPECT_TRUE(logs->lines().filter("Failed loading data source").filter("manifest unreadable").size() == 1);
    EXPECT_TRUE(logs->contains("Loaded data source 'system' with 2 entries"));
}

TEST_F(DataSourceLoaderTest, ALoadWithinTheWaitingDurationNeitherLoadsNorCompletes) {
    DataSourceLoader loader({apps, commands}, clock);
    Completions first, second, third;
    loader.loadAll(60, first.recorder());
    ASSERT_TRUE(first.waitForCount(1));
    const QDateTime firstLoad = now;

    now = now.addSecs(59);
    loader.loadAll(60, second.recorder());
    EXPECT_EQ(apps->loads, 1);
    EXPECT_EQ(commands->loads, 1);
    EXPECT_EQ(loader.lastLoadDate(), firstLoad);

    // A later load completes; completions run in order on the main thread, so
    // the skipped one would have come first.
    now = now.addSecs(2);
    loader.loadAll(60, third.recorder());
    ASSERT_TRUE(third.waitForCount(1));
    EXPECT_TRUE(second.results.empty());
    EXPECT_EQ(apps->loads, 2);
    EXPECT_EQ(loader.lastLoadDate(), now);
}

TEST_F(DataSourceLoaderTest, LaterUpdatesOfTheSourcesAreForwarded) {
    DataSourceLoader loader({apps}, clock);
    std::mutex mutex;
    std::vector<DataSourceUpdate> full, partial;
    loader.setDidUpdate([&](const DataSourceUpdate& update) {
        std::lock_guard lock(mutex);
        full.push_back(update);
    });
    loader.setDidPartialUpdate([&](const DataSourceUpdate& update) {
        std::lock_guard lock(mutex);
        partial.push_back(update);
    });
    Completions completions;
    loader.loadAll(0, completions.recorder());
    ASSERT_TRUE(completions.waitForCount(1));

    apps->pushUpdate({appRecord("Safari"), appRecord("Mail"), appRecord("Notes")});
    apps->pushFolderUpdate(QStringLiteral("/opt/apps"), {appIn(QStringLiteral("/opt/apps"), QStringLiteral("Zed"))});
    std::lock_guard lock(mutex);
    ASSERT_EQ(full.size(), 1u);
    EXPECT_EQ(namesIn(full[0], Source::system), (QStringList{"Mail", "Notes", "Safari"}));
    ASSERT_EQ(partial.size(), 1u);
    EXPECT_EQ(partial[0].strategy, SearchUpdateStrategy::sourceWithPath(QStringLiteral("/opt/apps")));
    EXPECT_EQ(namesIn(partial[0], Source::system), QStringList{"Zed"});
}

TEST_F(DataSourceLoaderTest, SourcesOutlivingTheLoaderPushIntoNothing) {
    int forwarded = 0;
    {
        DataSourceLoader loader({apps}, clock);
        loader.setDidUpdate([&](const DataSourceUpdate&) { ++forwarded; });
        Completions completions;
        loader.loadAll(0, completions.recorder());
        ASSERT_TRUE(completions.waitForCount(1));
        apps->pushUpdate({appRecord("Safari")});
    }
    apps->pushUpdate({appRecord("Mail")});
    EXPECT_EQ(forwarded, 1);
}

TEST_F(DataSourceLoaderTest, RefreshAsksTheSourceWhoseRecordsArriveAsAnUpdate) {
    DataSourceLoader loader({apps, commands}, clock);
    std::vector<DataSourceUpdate> full;
    loader.setDidUpdate([&](const DataSourceUpdate& update) { full.push_back(update); });
    Completions completions;
    loader.loadAll(0, completions.recorder());
    ASSERT_TRUE(completions.waitForCount(1));

    std::optional<DataSource::LoadResult> refreshed;
    loader.refresh(Source::package, [&](DataSource::LoadResult result) { refreshed = std::move(result); });
    EXPECT_EQ(commands->refreshes, 1);
    EXPECT_EQ(apps->refreshes, 0);
    ASSERT_TRUE(refreshed && std::holds_alternative<std::vector<SearchRecord>>(*refreshed));
    ASSERT_EQ(full.size(), 1u);
    EXPECT_EQ(namesIn(full[0], Source::package), QStringList{"Search Files"});
}

TEST_F(DataSourceLoaderTest, RefreshOfAnUnknownSourceFailsAndLogs) {
    DataSourceLoader loader({apps}, clock);
    std::optional<DataSource::LoadResult> refreshed;
    loader.refresh(Source::quicklinks, [&](DataSource::LoadResult result) { refreshed = std::move(result); });
    ASSERT_TRUE(refreshed);
    const auto* error = std::get_if<DataSourceError>(&*refreshed);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), DataSourceError::Kind::loadFailed);
    EXPECT_EQ(error->detail(), QStringLiteral("Could not find data source: quicklinks"));
    EXPECT_TRUE(logs->contains("Could not find data source: quicklinks"));
    EXPECT_EQ(apps->refreshes, 0);
}

TEST_F(DataSourceLoaderTest, ASourceWithoutItsOwnRefreshLogsAndAnswersNothing) {
    class LoadOnlySource : public DataSource {
    public:
        SearchRecord::Source source() const override { return Source::extensionCommands; }
        void load(LoadCompletion completion) override { completion(std::vector<SearchRecord>{}); }
    };
    DataSourceLoader loader({std::make_shared<LoadOnlySource>()}, clock);
    std::optional<DataSource::LoadResult> refreshed;
    loader.refresh(Source::extensionCommands, [&](DataSource::LoadResult result) { refreshed = std::move(result); });
    EXPECT_TRUE(logs->contains("Refresh not implemented for data source: extensionCommands"));
    ASSERT_TRUE(refreshed);
    const auto* records = std::get_if<std::vector<SearchRecord>>(&*refreshed);
    ASSERT_TRUE(records);
    EXPECT_TRUE(records->empty());
}

}  // namespace
}  // namespace vantrel::test
