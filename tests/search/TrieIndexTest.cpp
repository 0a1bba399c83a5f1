// The trie index over the search table: prefix and fuzzy lookups, the full
// listing for the empty term, and failing reads.
#include "search/SearchEngineTestSupport.h"
#include "search/SearchTestPrinters.h"

#include "data/SearchRepository.h"
#include "search/TrieIndex.h"

#include <atomic>
#include <thread>

namespace vantrel::test {
namespace {

using Source = SearchRecord::Source;
using ContentType = SearchRecord::ContentType;

class TrieIndexTest : public DatabaseFixture {
protected:
    void SetUp() override {
        pool = open();
        ASSERT_TRUE(pool);
        repository = std::make_shared<SearchRepository>(pool);
        repository->update(Source::package,
                           {indexedRecord("code", "Visual Studio Code", Source::package, QStringLiteral("editor ide")),
                            indexedRecord("chrome", "Google Chrome"), indexedRecord("safari", "Safari"),
                            indexedRecord("files", "Files", Source::package, QStringLiteral("nautilus"))},
                           SearchUpdateStrategy::source());
        repository->update(Source::provider, {indexedRecord("calc", "Calculator Result")},
                           SearchUpdateStrategy::source());
    }

    std::vector<SearchRecord> all() const { return repository->readAllSearchResults({}, 100); }

    // Indexes every stored record and waits for the completion on the main thread.
    void indexAll(TrieIndex& index, IndexingMode mode) {
        bool done = false;
        index.index(all(), mode, [&] { done = true; });
        ASSERT_TRUE(waitUntil([&] { return done; }));
    }

    std::shared_ptr<DatabasePool> pool;
    std::shared_ptr<SearchRepository> repository;
};

TEST_F(TrieIndexTest, PrefixModeFindsEveryWordAndCombination) {
    TrieIndex index(repository);
    indexAll(index, IndexingMode::prefix);

    EXPECT_EQ(sortedNames(index.itemsStartingWith(QStringLiteral("stu"))), QStringList{"Visual Studio Code"});
    EXPECT_EQ(sortedNames(index.itemsStartingWith(QStringLiteral("vsc"))), QStringList{"Visual Studio Code"});
    EXPECT_EQ(sortedNames(index.itemsStartingWith(QStringLiteral("chr"))), QStringList{"Google Chrome"});
    EXPECT_EQ(sortedNames(index.itemsStartingWith(QStringLiteral("edit"))), QStringList{"Visual Studio Code"});
    EXPECT_EQ(sortedNames(index.itemsStartingWith(QStringLiteral("naut"))), QStringList{"Files"});
    EXPECT_EQ(sortedNames(index.itemsStartingWith(QStringLiteral("saf"))), QStringList{"Safari"});
    EXPECT_TRUE(index.itemsStartingWith(QStringLiteral("afari")).empty());
    EXPECT_TRUE(index.itemsStartingWith(QStringLiteral("zzz")).empty());
    EXPECT_TRUE(logs->contains(QStringLiteral("Indexing items: 5")));
}

TEST_F(TrieIndexTest, EachIdIsReadOnceWhenSeveralKeysMatch) {
    TrieIndex index(repository);
    indexAll(index, IndexingMode::prefix);
    // "g", "gc", "google chrome", "googlechrome", ... all belong to one record.
    EXPECT_EQ(index.idsStartingWith(QStringLiteral("g")).size(), 1);
    EXPECT_EQ(sortedNames(index.itemsStartingWith(QStringLiteral("g"))), QStringList{"Google Chrome"});
}

TEST_F(TrieIndexTest, FuzzyModeMatchesCharactersInOrder) {
    TrieIndex index(repository);
    indexAll(index, IndexingMode::fuzzy);

    EXPECT_EQ(sortedNames(index.itemsContaining(QStringLiteral("vsc"))), QStringList{"Visual Studio Code"});
    EXPECT_EQ(sortedNames(index.itemsContaining(QStringLiteral("gchr"))), QStringList{"Google Chrome"});
    EXPECT_EQ(sortedNames(index.itemsContaining(QStringLiteral("sfr"))), QStringList{"Safari"});
    // Out of order letters find nothing.
    EXPECT_TRUE(index.itemsContaining(QStringLiteral("csv")).empty());
    // Fuzzy keys hold no word combinations: "vsc" is no key prefix here.
    EXPECT_TRUE(index.itemsStartingWith(QStringLiteral("vsc")).empty());
    EXPECT_EQ(sortedNames(index.itemsStartingWith(QStringLiteral("visual"))), QStringList{"Visual Studio Code"});
}

TEST_F(TrieIndexTest, OneCharacterFuzzyQueryFallsBackToPrefix) {
    TrieIndex index(repository);
    indexAll(index, IndexingMode::fuzzy);
    // As a subsequence "c" would also be in "visual studio code" and "google
    // chrome"; as a prefix only "calculator result" starts with it.
    EXPECT_EQ(sortedNames(index.itemsContaining(QStringLiteral("c"))), QStringList{"Calculator Result"});
    EXPECT_EQ(sortedNames(index.itemsContaining(QStringLiteral("s"))), QStringList{"Safari"});
    EXPECT_TRUE(index.itemsContaining(QStringLiteral("x")).empty());
    // Two characters already walk the subsequences.
    EXPECT_EQ(sortedNames(index.itemsContaining(QStringLiteral("sc"))), QStringList{"Visual Studio Code"});
    EXPECT_EQ(sortedNames(index.itemsContaining(QStringLiteral("fls"))), QStringList{"Files"});
    EXPECT_EQ(sortedNames(index.itemsContaining(QStringLiteral("ntls"))), QStringList{"Files"});  // keyword "nautilus"
}

TEST_F(TrieIndexTest, AWordSharedByTwoRecordsFindsBoth) {
    repository->update(Source::scripts, {indexedRecord("safari-script", "Safari")}, SearchUpdateStrategy::source());
    for (IndexingMode mode : {IndexingMode::prefix, IndexingMode::fuzzy}) {
        TrieIndex index(repository);
        indexAll(index, mode);
        EXPECT_EQ(index.idsStartingWith(QStringLiteral("safari")).size(), 2);
        EXPECT_EQ(sortedNames(index.itemsStartingWith(QStringLiteral("saf"))), (QStringList{"Safari", "Safari"}));
        EXPECT_EQ(sortedNames(index.itemsContaining(QStringLiteral("sfr"))), (QStringList{"Safari", "Safari"}));
    }
}

TEST_F(TrieIndexTest, EmptyTermListsEverythingButProviderAndUninstalledRecords) {
    // Reloading the source without Safari flags it uninstalled.
    repository->update(Source::package,
                       {indexedRecord("code", "Visual Studio Code"), indexedRecord("chrome", "Google Chrome"),
                        indexedRecord("files", "Files")},
                       SearchUpdateStrategy::source());
    TrieIndex index(repository);
    EXPECT_EQ(sortedNames(index.itemsStartingWith(QString())),
              (QStringList{"Files", "Google Chrome", "Visual Studio Code"}));
    EXPECT_EQ(sortedNames(index.itemsContaining(QString())),
              (QStringList{"Files", "Google Chrome", "Visual Studio Code"}));
}

TEST_F(TrieIndexTest, EmptyIndexFindsNothing) {
    TrieIndex index(repository);
    EXPECT_TRUE(index.itemsStartingWith(QStringLiteral("saf")).empty());
    EXPECT_TRUE(index.itemsContaining(QStringLiteral("saf")).empty());
}

TEST_F(TrieIndexTest, ReindexReplacesTheWholeTrie) {
    TrieIndex index(repository);
    indexAll(index, IndexingMode::prefix);
    std::vector<SearchRecord> onlySafari;
    for (const SearchRecord& item : all())
        if (item.name == QStringLiteral("Safari")) onlySafari.push_back(item);
    bool done = false;
    index.index(onlySafari, IndexingMode::prefix, [&] { done = true; });
    ASSERT_TRUE(waitUntil([&] { return done; }));
    EXPECT_TRUE(index.itemsStartingWith(QStringLiteral("chr")).empty());
    EXPECT_EQ(sortedNames(index.itemsStartingWith(QStringLiteral("saf"))), QStringList{"Safari"});
}

TEST_F(TrieIndexTest, RecordsWithoutIdAreSkipped) {
    auto trie = TrieIndex::buildTrie({indexedRecord("x", "Unsaved")}, IndexingMode::prefix);
    EXPECT_TRUE(trie->wordsWithPrefix(QString()).isEmpty());
}

TEST_F(TrieIndexTest, LookupsDuringReindexAnswerFromEitherTrie) {
    TrieIndex index(repository);
    indexAll(index, IndexingMode::prefix);
    const std::vector<SearchRecord> records = all();
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop) {
            const qsizetype found = index.idsStartingWith(QStringLiteral("saf")).size();
            EXPECT_EQ(found, 1);
        }
    });
    for (int round = 0; round < 50; ++round)
        index.index(records, round % 2 ? IndexingMode::prefix : IndexingMode::fuzzy);
    stop = true;
    reader.join();
}

TEST_F(TrieIndexTest, FailingReadIsLoggedAndAnswersNothing) {
    TrieIndex index(repository);
    indexAll(index, IndexingMode::fuzzy);
    pool->write([](Connection& db) { db.execute(QStringLiteral("DROP TABLE search")); });

    EXPECT_TRUE(index.itemsStartingWith(QStringLiteral("saf")).empty());
    EXPECT_TRUE(logs->contains(QStringLiteral("Failed reading db records")));
    logs->clear();
    EXPECT_TRUE(index.itemsContaining(QStringLiteral("vsc")).empty());
    EXPECT_TRUE(logs->contains(QStringLiteral("Failed reading db records")));
    logs->clear();
    EXPECT_TRUE(index.itemsStartingWith(QString()).empty());
    EXPECT_TRUE(logs->contains(QStringLiteral("Failed reading db records")));
}

}  // namespace
}  // namespace vantrel::test
