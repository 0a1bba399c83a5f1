// Bulk loading: a tree filled by raxLoadSorted must be the very tree that inserting
// the same keys one by one gives, and must stay fully usable afterwards.
#include "rax/RaxTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace vantrel::test::rax_support {
namespace {

std::vector<raxSortedItem> itemsFor(const std::map<std::string, void*>& keys) {
    std::vector<raxSortedItem> items;
    for (const auto& [key, value] : keys) items.push_back({bytes(key), key.size(), value});
    return items;
}

std::map<std::string, void*> randomKeys(std::mt19937& rng, std::size_t count, int alphabet, std::size_t maxLen) {
    std::map<std::string, void*> keys;
    for (std::size_t n = 0; n < count; ++n) {
        std::string key;
        const std::size_t len = rng() % (maxLen + 1);
        for (std::size_t k = 0; k < len; ++k) key += static_cast<char>('a' + rng() % static_cast<unsigned>(alphabet));
        keys[key] = rng() % 5 == 0 ? nullptr : fakeValue(n + 1);
    }
    return keys;
}

TEST(RaxLoadSorted, GivesTheTreeOfOneByOneInsertion) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        const auto keys = randomKeys(rng, rng() % 60, 1 + static_cast<int>(rng() % 4), 1 + rng() % 9);
        ScopedRax loaded;
        ScopedRax inserted;
        const auto items = itemsFor(keys);
        ASSERT_EQ(raxLoadSorted(loaded, items.data(), items.size()), 1);
        for (const auto& [key, value] : keys) insert(inserted, key, value);
        ASSERT_EQ(checkTree(loaded), "");
        EXPECT_EQ(dumpShape(loaded), dumpShape(inserted));
        EXPECT_EQ(raxSize(loaded), raxSize(inserted));
        EXPECT_EQ(raxNodeCount(loaded), raxNodeCount(inserted));
        EXPECT_EQ(itemsForward(loaded), itemsOf(keys));
        EXPECT_EQ(itemsBackward(loaded), itemsBackward(inserted));
    }
}

TEST(RaxLoadSorted, LoadedTreeTakesFurtherInsertionsAndRemovals) {
    std::mt19937 rng(11);
    for (int round = 0; round < 100; ++round) {
        auto keys = randomKeys(rng, 40, 3, 7);
        ScopedRax t;
        const auto items = itemsFor(keys);
        ASSERT_EQ(raxLoadSorted(t, items.data(), items.size()), 1);
        for (int op = 0; op < 120; ++op) {
            std::string key;
            const std::size_t len = rng() % 8;
            for (std::size_t k = 0; k < len; ++k) key += static_cast<char>('a' + rng() % 3);
            if (rng() % 2 == 0) {
                insert(t, key, fakeValue(1000 + static_cast<std::size_t>(op)));
                keys[key] = fakeValue(1000 + static_cast<std::size_t>(op));
            } else {
                EXPECT_EQ(remove(t, key), keys.erase(key) == 1 ? 1 : 0);
            }
            ASSERT_EQ(checkTree(t), "") << "after operation " << op;
        }
        EXPECT_EQ(itemsForward(t), itemsOf(keys));
        ScopedRax fresh;
        for (const auto& [key, value] : keys) insert(fresh, key, value);
        EXPECT_EQ(dumpShape(t), dumpShape(fresh));
    }
}

TEST(RaxLoadSorted, RejectsUnsortedKeysAndNonEmptyTrees) {
    ScopedRax t;
    const std::string a = "a", b = "b";
    std::vector<raxSortedItem> unsorted{{bytes(b), 1, nullptr}, {bytes(a), 1, nullptr}};
    errno = 0;
    EXPECT_EQ(raxLoadSorted(t, unsorted.data(), unsorted.size()), 0);
    EXPECT_EQ(errno, EINVAL);
    std::vector<raxSortedItem> duplicate{{bytes(a), 1, nullptr}, {bytes(a), 1, nullptr}};
    EXPECT_EQ(raxLoadSorted(t, duplicate.data(), duplicate.size()), 0);
    EXPECT_EQ(raxSize(t), 0u);
    insert(t, "x", fakeValue(1));
    std::vector<raxSortedItem> one{{bytes(a), 1, nullptr}};
    errno = 0;
    EXPECT_EQ(raxLoadSorted(t, one.data(), one.size()), 0);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(itemsForward(t).size(), 1u);
}

TEST(RaxLoadSorted, EmptyKeyAndLongKeys) {
    std::map<std::string, void*> keys{
        {"", fakeValue(1)}, {std::string(300, 'z'), fakeValue(2)}, {std::string(300, 'z') + "a", fakeValue(3)}};
    ScopedRax loaded;
    const auto items = itemsFor(keys);
    ASSERT_EQ(raxLoadSorted(loaded, items.data(), items.size()), 1);
    EXPECT_EQ(checkTree(loaded), "");
    EXPECT_EQ(itemsForward(loaded), itemsOf(keys));
    EXPECT_EQ(find(loaded, ""), fakeValue(1));
    EXPECT_EQ(remove(loaded, std::string(300, 'z')), 1);
    EXPECT_EQ(checkTree(loaded), "");
    EXPECT_EQ(find(loaded, std::string(300, 'z') + "a"), fakeValue(3));
}

}  // namespace
}  // namespace vantrel::test::rax_support
