// The trie index over the search table: prefix and fuzzy lookups, the full
// listing for the empty term, and failing reads.
#include "search/SearchEngineTestSupport.h"
#include "search/SearchTestPrinters.h"

#include "search/TrieIndex.h"

#include <atomic>
#include <thread>

namespace vantrel::test {
namespace {

class TrieIndexTest : public IndexedRecordsFixture {
protected:
    std::vector<SearchRecord> all() const { return repository->readAllSearchResults({}, 100); }

    // Indexes the records (every stored one by default) and waits for the completion on the main thread.
    void indexAll(TrieIndex& index, IndexingMode mode, std::optional<std::vector<SearchRecord>> records = {}) {
        bool done = false;
        index.index(records.value_or(all()), mode, [&] { done = true; });
        ASSERT_TRUE(waitUntil([&] { return done; }));
    }

    auto prefix(TrieIndex& index) {
        return [&index](const QString& term) { return index.itemsStartingWith(term); };
    }
    auto fuzzy(TrieIndex& index) {
        return [&index](const QString& term) { return index.itemsContaining(term); };
    }
};

TEST_F(TrieIndexTest, PrefixModeFindsEveryWordAndCombination) {
    TrieIndex index(repository);
    indexAll(index, IndexingMode::prefix);
    expectLookups(prefix(index), {{"stu", {"Visual Studio Code"}},
                                  {"vsc", {"Visual Studio Code"}},
                                  {"chr", {"Google Chrome"}},
                                  {"edit", {"Visual Studio Code"}},
                                  {"naut", {"Files"}},
                                  {"saf", {"Safari"}},
                                  {"afari", {}},
                                  {"zzz", {}}});
    EXPECT_TRUE(logs->contains(QStringLiteral("Indexing items: 5")));
    // "g", "gc", "google chrome", "googlechrome", ... all belong to one record, read once.
    EXPECT_EQ(index.idsStartingWith(QStringLiteral("g")).size(), 1);
    EXPECT_EQ(sortedNames(index.itemsStartingWith(QStringLiteral("g"))), QStringList{"Google Chrome"});
}

TEST_F(TrieIndexTest, FuzzyModeMatchesCharactersInOrder) {
    TrieIndex index(repository);
    indexAll(index, IndexingMode::fuzzy);
    expectLookups(fuzzy(index), {{"vsc", {"Visual Studio Code"}},
                                 {"gchr", {"Google Chrome"}},
                                 {"sfr", {"Safari"}},
                                 {"csv", {}},  // out of order
                                 // One character falls back to a prefix: as a subsequence "c" would
                                 // also be in "visual studio code" and "google chrome".
                                 {"c", {"Calculator Result"}},
                                 {"s", {"Safari"}},
                                 {"x", {}},
                                 // Two characters already walk the subsequences.
                                 {"sc", {"Visual Studio Code"}},
                                 {"fls", {"Files"}},
                                 {"ntls", {"Files"}}});  // keyword "nautilus"
    // Fuzzy keys hold no word combinations: "vsc" is no key prefix here.
    expectLookups(prefix(index), {{"vsc", {}}, {"visual", {"Visual Studio Code"}}});
}

TEST_F(TrieIndexTest, AWordSharedByTwoRecordsFindsBoth) {
    repository->update(SearchRecord::Source::scripts, {commandRecord("safari-script", "Safari")},
                       SearchUpdateStrategy::source());
    for (IndexingMode mode : {IndexingMode::prefix, IndexingMode::fuzzy}) {
        TrieIndex index(repository);
        indexAll(index, mode);
        EXPECT_EQ(index.idsStartingWith(QStringLiteral("safari")).size(), 2);
        EXPECT_EQ(sortedNames(index.itemsStartingWith(QStringLiteral("saf"))), (QStringList{"Safari", "Safari"}));
        EXPECT_EQ(sortedNames(index.itemsContaining(QStringLiteral("sfr"))), (QStringList{"Safari", "Safari"}));
    }
}

TEST_F(TrieIndexTest, EmptyTermListsEverythingButProviderAndUninstalledRecords) {
    uninstallSafari();
    TrieIndex index(repository);
    const QStringList installed{"Files", "Google Chrome", "Visual Studio Code"};
    EXPECT_EQ(sortedNames(index.itemsStartingWith(QString())), installed);
    EXPECT_EQ(sortedNames(index.itemsContaining(QString())), installed);
}

TEST_F(TrieIndexTest, EmptyIndexFindsNothing) {
    TrieIndex index(repository);
    EXPECT_TRUE(index.itemsStartingWith(QStringLiteral("saf")).empty());
    EXPECT_TRUE(index.itemsContaining(QStringLiteral("saf")).empty());
    EXPECT_TRUE(TrieIndex::buildTrie({commandRecord("x", "Unsaved")}, IndexingMode::prefix)
                    ->wordsWithPrefix(QString())
                    .isEmpty());  // records without an id are skipped
}

TEST_F(TrieIndexTest, ReindexReplacesTheWholeTrie) {
    TrieIndex index(repository);
    indexAll(index, IndexingMode::prefix);
    std::vector<SearchRecord> onlySafari;
    for (const SearchRecord& item : all())
        if (item.name == QStringLiteral("Safari")) onlySafari.push_back(item);
    indexAll(index, IndexingMode::prefix, onlySafari);
    expectLookups(prefix(index), {{"chr", {}}, {"saf", {"Safari"}}});
}

TEST_F(TrieIndexTest, LookupsDuringReindexAnswerFromEitherTrie) {
    TrieIndex index(repository);
    indexAll(index, IndexingMode::prefix);
    const std::vector<SearchRecord> records = all();
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop) EXPECT_EQ(index.idsStartingWith(QStringLiteral("saf")).size(), 1);
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
    for (const auto& lookup : std::vector<std::function<std::vector<SearchRecord>()>>{
             [&] { return index.itemsStartingWith(QStringLiteral("saf")); },
             [&] { return index.itemsContaining(QStringLiteral("vsc")); },
             [&] { return index.itemsStartingWith(QString()); }}) {
        logs->clear();
        EXPECT_TRUE(lookup().empty());
        EXPECT_TRUE(logs->contains(QStringLiteral("Failed reading db records")));
    }
}

}  // namespace
}  // namespace vantrel::test
