// The typed radix tree over our rax library, and the prefix index built on it.
#include "search/SearchEngineTestSupport.h"

#include "search/RadixTree.h"
#include "search/RadixTreeIndex.h"

#include <QSet>

#include <atomic>
#include <thread>

namespace vantrel::test {
namespace {

TEST(RadixTreeTest, StoresFindsAndRemovesByKey) {
    RadixTree<qint64> tree;
    tree.insert(QStringLiteral("app1"), 1);
    tree.insert(QStringLiteral("app12"), 12);
    tree.insert(QStringLiteral("apple"), 7);
    EXPECT_EQ(tree.find(QStringLiteral("app1")), 1);
    EXPECT_EQ(tree.find(QStringLiteral("app")), std::nullopt);
    tree.insert(QStringLiteral("apple"), 8);
    EXPECT_EQ(tree.find(QStringLiteral("apple")), 8);
    EXPECT_EQ(tree.count(), 3u);

    // Removing one of two keys sharing a prefix leaves the other intact.
    EXPECT_TRUE(tree.remove(QStringLiteral("app1")));
    EXPECT_FALSE(tree.remove(QStringLiteral("app1")));
    EXPECT_EQ(tree.find(QStringLiteral("app12")), 12);

    const auto items = tree.itemsWithPrefix(QStringLiteral("app"));
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].first, QStringLiteral("app12"));
    EXPECT_EQ(items[1].first, QStringLiteral("apple"));
    tree.removeAll();
    EXPECT_EQ(tree.count(), 0u);
    EXPECT_TRUE(tree.itemsWithPrefix(QString()).empty());
}

TEST(RadixTreeTest, KeepsValuesThatDoNotFitAPointerInCellsOfTheirOwn) {
    RadixTree<QString> tree;
    for (int i = 0; i < 200; ++i) tree.insert(QStringLiteral("k%1").arg(i), QStringLiteral("value %1").arg(i));
    tree.insert(QStringLiteral("k5"), QStringLiteral("replaced"));
    EXPECT_EQ(tree.find(QStringLiteral("k5")), QStringLiteral("replaced"));
    EXPECT_TRUE(tree.remove(QStringLiteral("k7")));
    EXPECT_EQ(tree.itemsWithPrefix(QStringLiteral("k1")).size(), 111u);  // k1, k10-19, k100-199
    EXPECT_EQ(tree.find(QString::fromUtf8("k\xc3\xa9")), std::nullopt);
}

class RadixTreeIndexTest : public SearchEngineFixture {
protected:
    QStringList lookup(const QString& term) { return sortedNames(search->searchIndex().itemsStartingWith(term)); }
};

TEST_F(RadixTreeIndexTest, FindsRecordsByWordPrefixesInitialsKeywordsAndDesktopFileNames) {
    load({appRecord("Safari"), appRecord("Google Chrome Canary"), appRecord("Visual Studio Code", "editor ide"),
          appRecord("Café Noir"), appRecord("Кино"),
          appRecord("Terminal", std::nullopt, "/usr/share/applications/org.gnome.Terminal.desktop")});
    const QStringList canary{"Google Chrome Canary"};
    expectLookups([&](const QString& term) { return search->searchIndex().itemsStartingWith(term); },
                  {{"saf", {"Safari"}},
                   {"afari", {}},
                   {"chr", canary},
                   {"gcc", canary},
                   {"can", canary},
                   {"goo", canary},
                   {"gchrome", canary},
                   {"googlechromecanary", canary},
                   {"vsc", {"Visual Studio Code"}},
                   {"edit", {"Visual Studio Code"}},
                   {"cafe", {"Café Noir"}},
                   {"kino", {"Кино"}},
                   {"org.gnome", {"Terminal"}},
                   {"term", {"Terminal"}},
                   {"", {"Café Noir", "Google Chrome Canary", "Safari", "Terminal", "Visual Studio Code", "Кино"}}});
}

TEST_F(RadixTreeIndexTest, ADigitQueryCanMatchTheIdSuffixOfAKey) {
    load({appRecord("App")});
    const qint64 id = *repository->readAllSearchResults({}, 10).front().id;
    EXPECT_EQ(lookup(QStringLiteral("app%1").arg(id)), QStringList{"App"});
}

TEST_F(RadixTreeIndexTest, LookupsDuringARebuildAnswerFromThePreviousIndex) {
    RadixTreeIndex index(repository);
    std::vector<SearchRecord> before;
    for (qint64 i = 1; i <= 1000; ++i) {
        SearchRecord record = appRecord(QStringLiteral("Old Tool %1").arg(i));
        record.id = i;
        before.push_back(record);
    }
    index.index(before, IndexingMode::prefix);
    const QList<qint64> oldAnswer = index.idsStartingWith(QStringLiteral("old"));
    ASSERT_EQ(oldAnswer.size(), 1000);

    std::vector<SearchRecord> after;
    after.reserve(100000);
    for (qint64 i = 1; i <= 100000; ++i) {
        SearchRecord record = appRecord(QStringLiteral("New Utility %1").arg(i));
        record.id = 100000 + i;
        after.push_back(std::move(record));
    }
    std::atomic<bool> done{false};
    std::thread rebuild([&] {
        index.index(after, IndexingMode::prefix);
        done = true;
    });
    int lookupsDuringRebuild = 0;
    bool sawNewIndex = false;
    bool consistent = true;
    while (!done && consistent) {
        // Each lookup sees the whole old index or the whole new one, never a
        // mixture, and once the new one answers the old one never comes back.
        const qsizetype oldCount = index.idsStartingWith(QStringLiteral("old")).size();
        if (oldCount == 1000 && !sawNewIndex) {
            ++lookupsDuringRebuild;
        } else if (oldCount == 0) {
            sawNewIndex = true;
        } else {
            consistent = false;
        }
        const qsizetype newCount = index.idsStartingWith(QStringLiteral("new utility 9999")).size();
        if (newCount == 11)
            sawNewIndex = true;  // 9999 and 99990-99999
        else if (newCount != 0 || sawNewIndex)
            consistent = consistent && newCount == 11;
    }
    rebuild.join();
    EXPECT_TRUE(consistent);
    EXPECT_GT(lookupsDuringRebuild, 0);
    EXPECT_TRUE(index.idsStartingWith(QStringLiteral("old")).isEmpty());
    EXPECT_EQ(index.idsStartingWith(QStringLiteral("new utility 100000")).size(), 1);
}

TEST_F(RadixTreeIndexTest, FailingReadAnswersEmptyAndIsLogged) {
    load({appRecord("Safari")});
    pool->write([](Connection& db) { db.execute(QStringLiteral("DROP TABLE search")); });
    EXPECT_TRUE(search->searchIndex().itemsStartingWith(QStringLiteral("saf")).empty());
    EXPECT_TRUE(search->searchIndex().itemsStartingWith(QString()).empty());
    EXPECT_TRUE(logs->contains(QStringLiteral("Failed reading db records")));
}

}  // namespace
}  // namespace vantrel::test
