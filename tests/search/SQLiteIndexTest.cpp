// The index that is the search table's full-text table itself.
#include "search/SearchEngineTestSupport.h"
#include "search/SearchTestPrinters.h"

#include "search/SQLiteIndex.h"

namespace vantrel::test {
namespace {

using SQLiteIndexTest = IndexedRecordsFixture;

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
    expectLookups([&](const QString& term) { return index.itemsStartingWith(term); },
                  {{"stud", {"Visual Studio Code"}},
                   {"goo", {"Google Chrome"}},
                   {"brow", {"Google Chrome"}},
                   {"edi", {"Visual Studio Code"}},
                   {"afari", {}}});  // only word prefixes, not inner text
    // The fuzzy lookup is the same full-text search.
    expectLookups([&](const QString& term) { return index.itemsContaining(term); },
                  {{"stud", {"Visual Studio Code"}}, {"vsc", {}}});
}

TEST_F(SQLiteIndexTest, ExcludesProviderAndUninstalledRecords) {
    SQLiteIndex index(repository);
    EXPECT_TRUE(index.itemsStartingWith(QStringLiteral("calc")).empty());
    uninstallSafari();
    EXPECT_TRUE(index.itemsStartingWith(QStringLiteral("saf")).empty());
    const QStringList installed{"Files", "Google Chrome", "Visual Studio Code"};
    EXPECT_EQ(sortedNames(index.itemsStartingWith(QString())), installed);
    EXPECT_EQ(sortedNames(index.itemsContaining(QString())), installed);
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
