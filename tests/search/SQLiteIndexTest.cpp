// The index that is the search table's full-text table itself.
#include "search/SearchEngineTestSupport.h"
#include "search/SearchTestPrinters.h"

#include "data/SearchRepository.h"
#include "search/SQLiteIndex.h"

namespace vantrel::test {
namespace {

using Source = SearchRecord::Source;
using ContentType = SearchRecord::ContentType;

class SQLiteIndexTest : public DatabaseFixture {
protected:
    void SetUp() override {
        pool = open();
        ASSERT_TRUE(pool);
        repository = std::make_shared<SearchRepository>(pool);
        repository->update(
            Source::package,
            {indexedRecord("code", "Visual Studio Code", Source::package, QStringLiteral("editor ide")),
             indexedRecord("chrome", "Google Chrome", Source::package, std::nullopt, QStringLiteral("Browsers")),
             indexedRecord("safari", "Safari")},
            SearchUpdateStrategy::source());
        repository->update(Source::provider, {indexedRecord("calc", "Calculator Result")},
                           SearchUpdateStrategy::source());
    }

    std::shared_ptr<DatabasePool> pool;
    std::shared_ptr<SearchRepository> repository;
};

TEST_F(SQLiteIndexTest, IndexOnlyPostsTheCompletion) {
    SQLiteIndex index(repository);
    bool done = false;
    index.index({}, IndexingMode::prefix, [&] { done = true; });
    EXPECT_FALSE(done);  // posted, not called inline
    ASSERT_TRUE(waitUntil([&] { return done; }));
    // Nothing was indexed, yet lookups find what the table holds.
    EXPECT_EQ(sortedNames(index.itemsStartingWith(QStringLiteral("saf"))), QStringList{"Safari"});
}

TEST_F(SQLiteIndexTest, FindsByNameWordPrefixCategoryAndKeywords) {
    SQLiteIndex index(repository);
    EXPECT_EQ(sortedNames(index.itemsStartingWith(QStringLiteral("stud"))), QStringList{"Visual Studio Code"});
    EXPECT_EQ(sortedNames(index.itemsStartingWith(QStringLiteral("goo"))), QStringList{"Google Chrome"});
    EXPECT_EQ(sortedNames(index.itemsStartingWith(QStringLiteral("brow"))), QStringList{"Google Chrome"});
    EXPECT_EQ(sortedNames(index.itemsStartingWith(QStringLiteral("edi"))), QStringList{"Visual Studio Code"});
    // Only word prefixes, not inner text.
    EXPECT_TRUE(index.itemsStartingWith(QStringLiteral("afari")).empty());
    // The fuzzy lookup is the same full-text search.
    EXPECT_EQ(sortedNames(index.itemsContaining(QStringLiteral("stud"))), QStringList{"Visual Studio Code"});
    EXPECT_TRUE(index.itemsContaining(QStringLiteral("vsc")).empty());
}

TEST_F(SQLiteIndexTest, ExcludesProviderAndUninstalledRecords) {
    SQLiteIndex index(repository);
    EXPECT_TRUE(index.itemsStartingWith(QStringLiteral("calc")).empty());
    repository->update(Source::package,
                       {indexedRecord("code", "Visual Studio Code"), indexedRecord("chrome", "Google Chrome")},
                       SearchUpdateStrategy::source());
    EXPECT_TRUE(index.itemsStartingWith(QStringLiteral("saf")).empty());
    EXPECT_EQ(sortedNames(index.itemsStartingWith(QString())), (QStringList{"Google Chrome", "Visual Studio Code"}));
    EXPECT_EQ(sortedNames(index.itemsContaining(QString())), (QStringList{"Google Chrome", "Visual Studio Code"}));
}

TEST_F(SQLiteIndexTest, FailuresAreLoggedAndAnswerNothing) {
    SQLiteIndex index(repository);
    pool->write([](Connection& db) { db.execute(QStringLiteral("DROP TABLE search")); });

    EXPECT_TRUE(index.itemsStartingWith(QStringLiteral("saf")).empty());
    EXPECT_TRUE(logs->contains(QStringLiteral("Failed searching db records for term: saf")));
    EXPECT_TRUE(index.itemsContaining(QStringLiteral("vis")).empty());
    EXPECT_TRUE(logs->contains(QStringLiteral("Failed searching db records for term: vis")));
    EXPECT_TRUE(index.itemsStartingWith(QString()).empty());
    EXPECT_TRUE(logs->contains(QStringLiteral("Failed reading all db records")));
}

}  // namespace
}  // namespace vantrel::test
