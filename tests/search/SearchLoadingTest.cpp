// The loading side of the search engine against a real encrypted database and
// the radix-tree index: what the data sources deliver is written, re-indexed
// and findable; failures keep what was there; bursts give one rebuild.
#include "search/SearchEngineTestSupport.h"
#include "search/SearchTestPrinters.h"
#include "search/TestDataSources.h"

#include "search/RadixTreeIndex.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>

#include <atomic>

namespace vantrel::test {
namespace {

using Source = SearchRecord::Source;

// The real index, counting its rebuilds.
class CountingIndex : public RadixTreeIndex {
public:
    using RadixTreeIndex::RadixTreeIndex;
    void index(const std::vector<SearchRecord>& records, IndexingMode mode, std::function<void()> completion) override {
        ++rebuilds;
        RadixTreeIndex::index(records, mode, std::move(completion));
    }
    std::atomic<int> rebuilds = 0;
};

class SearchLoadingTest : public SearchEngineFixture {
protected:
    void SetUp() override {
        SearchEngineFixture::SetUp();
        index = std::make_shared<CountingIndex>(repository);
        search = std::make_unique<Search>(repository, index);
        search->setUpdateIndexingDelay(0);
    }

    bool loadDataSources(double waitingDuration = 0) {
        bool done = false;
        search->loadDataSources(waitingDuration, [&] { done = true; });
        return waitUntil([&] { return done; });
    }

    // Waits for a later update of a source to be written and indexed.
    bool waitForLaterUpdate(const QString& outcome = QStringLiteral("Data source(s) partially updated")) {
        const bool seen = waitUntil([&] { return logs->contains(outcome); });
        logs->clear();
        return seen;
    }

    QStringList found(const QString& term) { return namesOf(search->items(term)); }

    QStringList storedNames(bool uninstalled) {
        return pool->read([&](Connection& db) {
            QStringList names;
            for (const Row& row :
                 db.query(QStringLiteral("SELECT name FROM search WHERE uninstalled = ? ORDER BY name"), {uninstalled}))
                names << row[0].toString();
            return names;
        });
    }

    void moveSearchTable(const QString& from, const QString& to) {
        pool->write([&](Connection& db) { db.execute(QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(from, to)); });
    }

    std::shared_ptr<CountingIndex> index;
    std::shared_ptr<TestDataSource> apps = std::make_shared<TestDataSource>(
        Source::system, std::vector<SearchRecord>{appRecord("Safari"), appRecord("Mail")});
    std::shared_ptr<TestDataSource> commands = std::make_shared<TestDataSource>(
        Source::package, std::vector<SearchRecord>{commandRecord("builtin_command_search", "Search Files")});
};

TEST_F(SearchLoadingTest, LoadingWritesEverySourceAndIndexesIt) {
    search->addDataSource(apps);
    search->addDataSource(commands);
    ASSERT_TRUE(loadDataSources());

    EXPECT_EQ(found("saf"), QStringList{"Safari"});
    EXPECT_EQ(found("search"), QStringList{"Search Files"});
    EXPECT_EQ(storedNames(false), (QStringList{"Mail", "Safari", "Search Files"}));
    EXPECT_TRUE(logs->contains("Load data sources"));
    EXPECT_EQ(logs->lines().filter("Updating db records for source(s)").filter("system, package").size(), 1);
    EXPECT_EQ(logs->lines().filter("Data source(s) updated").filter("system, package").size(), 1);
    EXPECT_EQ(index->rebuilds, 1);
}

TEST_F(SearchLoadingTest, SourcesThatLoadedAreWrittenWhenOthersFail) {
    repository->update(Source::package, {commandRecord("builtin_command_old", "Old Command")},
                       SearchUpdateStrategy::source());
    commands->failWith(QStringLiteral("manifest unreadable"));
    search->addDataSource(apps);
    search->addDataSource(commands);
    ASSERT_TRUE(loadDataSources());

    EXPECT_EQ(found("saf"), QStringList{"Safari"});
    // The failed source's rows stay as they were.
    EXPECT_EQ(found("old"), QStringList{"Old Command"});
    EXPECT_TRUE(storedNames(true).isEmpty());
    EXPECT_TRUE(logs->contains(
        "Cannot load all data sources after first attempt: someFailed(package: loadFailed: manifest unreadable)"));
    EXPECT_EQ(logs->lines().filter("Data source(s) updated").filter("system").size(), 1);
}

TEST_F(SearchLoadingTest, AFolderUpdateFlagsOnlyRowsBelowThatFolder) {
    const QString opt = QStringLiteral("/opt/apps");
    apps->setRecords({appIn(opt, "Zed"), appIn(opt, "Yak"), appIn(opt + "-extra", "Walrus"),
                      appIn("/usr/share/applications", "Xterm")});
    search->addDataSource(apps);
    ASSERT_TRUE(loadDataSources());
    ASSERT_EQ(found("yak"), QStringList{"Yak"});

    apps->pushFolderUpdate(opt, {appIn(opt, "Zed"), appIn(opt, "Vim")});
    ASSERT_TRUE(waitForLaterUpdate());
    EXPECT_EQ(storedNames(true), QStringList{"Yak"});
    EXPECT_EQ(storedNames(false), (QStringList{"Vim", "Walrus", "Xterm", "Zed"}));
    EXPECT_TRUE(found("yak").isEmpty());
    EXPECT_EQ(found("vim"), QStringList{"Vim"});
    EXPECT_EQ(found("xterm"), QStringList{"Xterm"});
}

TEST_F(SearchLoadingTest, LaterUpdatesArePublishedOnceTheyCanBeFound) {
    search->addDataSource(apps);
    QObject subscriber;
    int published = 0;
    QStringList foundWhenPublished;
    search->recordsDidChange().connect(&subscriber, [&] {
        ++published;
        foundWhenPublished = found("vim");
    });
    ASSERT_TRUE(loadDataSources());
    // The first load answers through its completion.
    EXPECT_EQ(published, 0);

    apps->pushUpdate({appRecord("Safari"), appRecord("Vim")});
    ASSERT_TRUE(waitUntil([&] { return published == 1; }));
    EXPECT_EQ(foundWhenPublished, QStringList{"Vim"});
    apps->pushFolderUpdate(QStringLiteral("/opt/apps"), {appIn(QStringLiteral("/opt/apps"), "Zed")});
    ASSERT_TRUE(waitUntil([&] { return published == 2; }));

    // A subscriber that is gone hears nothing.
    int heardByLater = 0;
    {
        QObject later;
        search->recordsDidChange().connect(&later, [&] { ++heardByLater; });
    }
    apps->pushUpdate({appRecord("Mail")});
    ASSERT_TRUE(waitUntil([&] { return published == 3; }));
    EXPECT_EQ(heardByLater, 0);
}

TEST_F(SearchLoadingTest, ABurstOfUpdatesRebuildsTheIndexOnce) {
    std::vector<SearchRecord> records;
    int completed = 0;
    for (int i = 0; i < 20; ++i) {
        records.push_back(appRecord(QStringLiteral("Burst") + QChar(u'a' + i)));
        DataSourceUpdate update;
        update.records[Source::system] = records;
        search->updateDataSources({update}, 0.05, [&](const std::optional<VantrelError>& error) {
            EXPECT_FALSE(error.has_value());
            ++completed;
        });
    }
    ASSERT_TRUE(waitUntil([&] { return completed == 20; }));
    EXPECT_EQ(index->rebuilds, 1);
    EXPECT_EQ(logs->messages().count("Reading all db records"), 1);
    EXPECT_EQ(logs->messages().count("Updating db records for source(s)"), 20);
    // The one rebuild came after the last write.
    EXPECT_EQ(found("burstt"), QStringList{"Burstt"});
    EXPECT_EQ(search->items("burst").size(), 20u);
}

TEST_F(SearchLoadingTest, IndexCallsInARowShareOneRebuild) {
    repository->update(Source::system, {appRecord("Safari")}, SearchUpdateStrategy::source());
    int completed = 0;
    for (int i = 0; i < 5; ++i) search->index(0.01, [&] { ++completed; });
    ASSERT_TRUE(waitUntil([&] { return completed == 5; }));
    EXPECT_EQ(index->rebuilds, 1);
    EXPECT_EQ(found("saf"), QStringList{"Safari"});

    // Later calls rebuild again, in the configured mode.
    search->setIndexingMode(IndexingMode::fuzzy);
    search->index(0, [&] { ++completed; });
    ASSERT_TRUE(waitUntil([&] { return completed == 6; }));
    EXPECT_EQ(index->rebuilds, 2);
    EXPECT_TRUE(logs->contains("Indexing 1 items with mode: fuzzy"));
}

TEST_F(SearchLoadingTest, UnreadableRecordsKeepThePreviousIndex) {
    search->addDataSource(apps);
    ASSERT_TRUE(loadDataSources());
    ASSERT_EQ(index->rebuilds, 1);

    moveSearchTable("search", "search_moved");
    bool done = false;
    search->index(0, [&] { done = true; });
    ASSERT_TRUE(waitUntil([&] { return done; }));
    EXPECT_TRUE(logs->contains("Failed indexing records"));
    EXPECT_EQ(index->rebuilds, 1);
    moveSearchTable("search_moved", "search");
    EXPECT_EQ(found("saf"), QStringList{"Safari"});
}

TEST_F(SearchLoadingTest, AFailedWriteKeepsTheRowsAndIndexesWhatIsStored) {
    repository->update(Source::system, {appRecord("Mail")}, SearchUpdateStrategy::source());
    pool->write([](Connection& db) {
        db.execute(
            QStringLiteral("CREATE TRIGGER refuse_broken BEFORE INSERT ON search WHEN NEW.name = 'Broken' "
                           "BEGIN SELECT RAISE(ABORT, 'refused by the test'); END"));
    });
    apps->setRecords({appRecord("Safari"), appRecord("Broken")});
    search->addDataSource(apps);
    ASSERT_TRUE(loadDataSources());

    EXPECT_EQ(logs->lines().filter("Failed updating db records").filter("refused by the test").size(), 1);
    EXPECT_EQ(logs->lines().filter("Failed updating data source").filter("Failed updating db records").size(), 1);
    // Nothing of the failed write is kept, nothing is flagged, and the index
    // holds what the database holds.
    EXPECT_EQ(storedNames(false), QStringList{"Mail"});
    EXPECT_TRUE(storedNames(true).isEmpty());
    EXPECT_EQ(found("mail"), QStringList{"Mail"});
    EXPECT_TRUE(found("saf").isEmpty());

    logs->clear();
    apps->pushUpdate({appRecord("Broken")});
    ASSERT_TRUE(waitForLaterUpdate("Failed partially updating data source"));
    EXPECT_EQ(storedNames(false), QStringList{"Mail"});
}

TEST_F(SearchLoadingTest, RemovingUninstalledRecordsDeletesOnlyFlaggedRows) {
    apps->setRecords({appRecord("Safari"), appRecord("Mail"), appRecord("Notes")});
    search->addDataSource(apps);
    ASSERT_TRUE(loadDataSources());
    apps->pushUpdate({appRecord("Safari")});
    ASSERT_TRUE(waitForLaterUpdate());
    ASSERT_EQ(storedNames(true), (QStringList{"Mail", "Notes"}));

    std::vector<Result<int>> results;
    search->removeUninstalledRecords([&](const Result<int>& result) { results.push_back(result); });
    search->removeUninstalledRecords([&](const Result<int>& result) { results.push_back(result); });
    ASSERT_TRUE(waitUntil([&] { return results.size() == 2; }));
    EXPECT_EQ(results[0].value(), 2);
    EXPECT_EQ(results[1].value(), 0);
    EXPECT_TRUE(logs->contains("Remove uninstalled records"));
    EXPECT_TRUE(logs->contains("Removed 2 uninstalled record(s)"));
    EXPECT_TRUE(logs->contains("Removed 0 uninstalled record(s)"));
    EXPECT_EQ(storedNames(false), QStringList{"Safari"});
    EXPECT_EQ(count(*pool, "search"), 1);
}

TEST_F(SearchLoadingTest, RemovingUninstalledRecordsReportsAFailure) {
    moveSearchTable("search", "search_moved");
    std::optional<Result<int>> result;
    search->removeUninstalledRecords([&](const Result<int>& r) { result = r; });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_TRUE(result->isFailure());
    EXPECT_TRUE(logs->contains("Could not remove uninstalled records"));
    moveSearchTable("search_moved", "search");
}

TEST_F(SearchLoadingTest, RecordsDeliveredAgainKeepTheirAliasAndFrecency) {
    search->addDataSource(apps);
    ASSERT_TRUE(loadDataSources());
    const QString key = appRecord("Safari").key;
    search->setAlias(QStringLiteral("sf"), key);
    ASSERT_TRUE(search->visit(itemNamed("Safari"), Ranking::VisitKind::defaultVisit, QStringLiteral("saf")));
    const std::optional<SearchRecord> before = repository->record(key);
    ASSERT_TRUE(before && before->frecencyDate);

    apps->pushUpdate({appRecord("Mail")});
    ASSERT_TRUE(waitForLaterUpdate());
    EXPECT_TRUE(repository->record(key)->uninstalled);
    EXPECT_TRUE(found("saf").isEmpty());

    apps->pushUpdate({appRecord("Mail"), appRecord("Safari")});
    ASSERT_TRUE(waitForLaterUpdate());
    const std::optional<SearchRecord> after = repository->record(key);
    ASSERT_TRUE(after);
    EXPECT_FALSE(after->uninstalled);
    EXPECT_EQ(after->id, before->id);
    EXPECT_EQ(after->alias, QStringLiteral("sf"));
    EXPECT_EQ(after->frecencyDate, before->frecencyDate);
    EXPECT_EQ(after->searchTerms, before->searchTerms);
    EXPECT_EQ(found("saf"), QStringList{"Safari"});
}

TEST_F(SearchLoadingTest, TheEngineCanGoWhileWorkIsWaiting) {
    search->addDataSource(apps);
    bool completed = false;
    search->loadDataSources(0, [&] { completed = true; });
    DataSourceUpdate update;
    update.records[Source::system] = {appRecord("Notes")};
    search->updateDataSources({update}, 30, [&](const std::optional<VantrelError>&) { completed = true; });
    search.reset();
    QCoreApplication::processEvents();
    // The database stays usable and the rebuild waiting for its delay is gone.
    repository->update(Source::package, {commandRecord("builtin_command_search", "Search Files")},
                       SearchUpdateStrategy::source());
    EXPECT_GE(count(*pool, "search"), 1);
    EXPECT_FALSE(completed);
}

}  // namespace
}  // namespace vantrel::test
