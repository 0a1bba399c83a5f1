#include "rax/RaxTestSupport.h"

#include "rax/rax.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace vantrel::test {
namespace {

using namespace rax_support;

using Tree = ScopedRax;

std::string pointerText(void* p) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%p", p);
    return buf;
}

TEST(Rax, EmptyTreeHasOnlyTheHead) {
    Tree t;
    ASSERT_NE(t.get(), nullptr);
    EXPECT_EQ(raxSize(t), 0u);
    EXPECT_EQ(raxNodeCount(t), 1u);
    EXPECT_EQ(t.get()->numnodes, 1u);
    EXPECT_EQ(find(t, ""), raxNotFound);
    EXPECT_EQ(find(t, "a"), raxNotFound);
    EXPECT_EQ(remove(t, ""), 0);
    EXPECT_EQ(remove(t, "abc"), 0);
    EXPECT_TRUE(itemsForward(t).empty());
    EXPECT_TRUE(itemsBackward(t).empty());
    EXPECT_EQ(checkTree(t), "");
}

TEST(Rax, NotFoundSentinelIsAUniqueAddress) {
    int local = 0;
    EXPECT_NE(raxNotFound, nullptr);
    EXPECT_NE(raxNotFound, static_cast<void*>(&local));
    EXPECT_EQ(raxNotFound, raxNotFound);
}

TEST(Rax, EmptyKeyIsAKeyLikeAnyOther) {
    Tree t;
    EXPECT_EQ(insert(t, "", fakeValue(1)), 1);
    EXPECT_EQ(raxSize(t), 1u);
    EXPECT_EQ(raxNodeCount(t), 1u);
    EXPECT_EQ(find(t, ""), fakeValue(1));
    EXPECT_EQ(insert(t, "x", fakeValue(2)), 1);
    const std::vector<std::pair<std::string, void*>> expected{{"", fakeValue(1)}, {"x", fakeValue(2)}};
    EXPECT_EQ(itemsForward(t), expected);
    EXPECT_EQ(remove(t, ""), 1);
    EXPECT_EQ(find(t, ""), raxNotFound);
    EXPECT_EQ(find(t, "x"), fakeValue(2));
    EXPECT_EQ(remove(t, "x"), 1);
    EXPECT_EQ(raxNodeCount(t), 1u);
    EXPECT_EQ(checkTree(t), "");
}

TEST(Rax, InsertReportsNewKeysAndHandsBackReplacedValues) {
    Tree t;
    void* old = fakeValue(99);
    EXPECT_EQ(insert(t, "key", fakeValue(1), &old), 1);
    EXPECT_EQ(old, fakeValue(99)) << "untouched for a new key";
    errno = EINVAL;
    EXPECT_EQ(insert(t, "key", fakeValue(2), &old), 0);
    EXPECT_EQ(errno, 0);
    EXPECT_EQ(old, fakeValue(1));
    EXPECT_EQ(find(t, "key"), fakeValue(2));
    EXPECT_EQ(insert(t, "key", fakeValue(3)), 0);
    EXPECT_EQ(find(t, "key"), fakeValue(3));
    EXPECT_EQ(raxSize(t), 1u);
}

TEST(Rax, TryInsertKeepsTheExistingValue) {
    Tree t;
    void* old = nullptr;
    EXPECT_EQ(tryInsert(t, "key", fakeValue(1), &old), 1);
    EXPECT_EQ(tryInsert(t, "key", fakeValue(2), &old), 0);
    EXPECT_EQ(old, fakeValue(1));
    EXPECT_EQ(find(t, "key"), fakeValue(1));
    EXPECT_EQ(tryInsert(t, "ke", fakeValue(3)), 1);
    EXPECT_EQ(find(t, "ke"), fakeValue(3));
    EXPECT_EQ(raxSize(t), 2u);
}

TEST(Rax, NullValuesAreStoredFoundAndIterated) {
    Tree t;
    EXPECT_EQ(insert(t, "null", nullptr), 1);
    EXPECT_EQ(find(t, "null"), nullptr);
    EXPECT_EQ(find(t, "nul"), raxNotFound);
    void* old = fakeValue(5);
    EXPECT_EQ(insert(t, "null", fakeValue(1), &old), 0);
    EXPECT_EQ(old, nullptr);
    EXPECT_EQ(insert(t, "null", nullptr, &old), 0);
    EXPECT_EQ(old, fakeValue(1));
    const std::vector<std::pair<std::string, void*>> expected{{"null", nullptr}};
    EXPECT_EQ(itemsForward(t), expected);
    old = fakeValue(5);
    EXPECT_EQ(remove(t, "null", &old), 1);
    EXPECT_EQ(old, nullptr);
    EXPECT_EQ(checkTree(t), "");
}

TEST(Rax, FindDistinguishesPrefixesAndExtensionsOfKeys) {
    Tree t;
    insert(t, "abcdef", fakeValue(1));
    EXPECT_EQ(find(t, "abcdef"), fakeValue(1));
    for (const char* absent : {"", "a", "abc", "abcde", "abcdefg", "abcdeg", "b", "abcdf"}) {
        EXPECT_EQ(find(t, absent), raxNotFound) << absent;
    }
    // One run under the head and a key leaf.
    EXPECT_EQ(raxNodeCount(t), 2u);
}

TEST(Rax, KeyEndingInsideARunSplitsIt) {
    Tree t;
    insert(t, "abcdef", fakeValue(1));
    insert(t, "abc", fakeValue(2));
    const std::string expected =
        "run 616263\n"
        "  run 646566 key=" +
        pointerText(fakeValue(2)) + "\n" + "    branch  key=" + pointerText(fakeValue(1)) + "\n";
    EXPECT_EQ(dumpShape(t), expected);
    EXPECT_EQ(find(t, "abc"), fakeValue(2));
    EXPECT_EQ(find(t, "abcdef"), fakeValue(1));
    EXPECT_EQ(checkTree(t), "");
}

TEST(Rax, KeyDivergingInsideARunSplitsIt) {
    // Diverging at the first, a middle and the last byte of the run.
    for (const std::string& other : {std::string("xbcd"), std::string("abxd"), std::string("abcx")}) {
        Tree t;
        insert(t, "abcd", fakeValue(1));
        insert(t, other, fakeValue(2));
        EXPECT_EQ(checkTree(t), "") << other;
        EXPECT_EQ(find(t, "abcd"), fakeValue(1)) << other;
        EXPECT_EQ(find(t, other), fakeValue(2)) << other;
        EXPECT_EQ(remove(t, other), 1);
        EXPECT_EQ(checkTree(t), "") << other;
        EXPECT_EQ(raxNodeCount(t), 2u) << other << " merged back into one run";
    }
}

TEST(Rax, ShorterDivergingKeyBranchesOffARun) {
    Tree t;
    insert(t, "abcd", fakeValue(1));
    insert(t, "ax", fakeValue(2));
    insert(t, "a", fakeValue(3));
    const std::string expected =
        "run 61\n"
        "  branch 6278 key=" +
        pointerText(fakeValue(3)) + "\n" +
        "    run 6364\n"
        "      branch  key=" +
        pointerText(fakeValue(1)) + "\n" + "    branch  key=" + pointerText(fakeValue(2)) + "\n";
    EXPECT_EQ(dumpShape(t), expected);
    EXPECT_EQ(checkTree(t), "");
}

TEST(Rax, RemovingOneOfTwoKeysSharingAPrefixKeepsTheOther) {
    Tree t;
    insert(t, "app1", fakeValue(1));
    insert(t, "app12", fakeValue(12));
    void* old = nullptr;
    EXPECT_EQ(remove(t, "app1", &old), 1);
    EXPECT_EQ(old, fakeValue(1));
    EXPECT_EQ(find(t, "app1"), raxNotFound);
    EXPECT_EQ(find(t, "app12"), fakeValue(12));
    EXPECT_EQ(checkTree(t), "");
    EXPECT_EQ(raxNodeCount(t), 2u) << "\"app1\" and \"2\" merged into one run";

    insert(t, "app1", fakeValue(1));
    EXPECT_EQ(remove(t, "app12", &old), 1);
    EXPECT_EQ(old, fakeValue(12));
    EXPECT_EQ(find(t, "app1"), fakeValue(1));
    EXPECT_EQ(checkTree(t), "");
}

TEST(Rax, RemoveReportsAbsentKeysAndLeavesTheTreeAlone) {
    Tree t;
    insert(t, "abc", fakeValue(1));
    insert(t, "abd", fakeValue(2));
    const std::string before = dumpShape(t);
    void* old = fakeValue(7);
    for (const char* absent : {"", "a", "ab", "abcd", "abe", "b"}) {
        EXPECT_EQ(remove(t, absent, &old), 0) << absent;
    }
    EXPECT_EQ(old, fakeValue(7));
    EXPECT_EQ(dumpShape(t), before);
    EXPECT_EQ(raxSize(t), 2u);
}

TEST(Rax, RemovalMergesRunsBackTogether) {
    Tree t;
    insert(t, "abc", fakeValue(1));
    Tree reference;
    insert(reference, "abc", fakeValue(1));

    insert(t, "abd", fakeValue(2));
    insert(t, "ab", fakeValue(3));
    insert(t, "abcdef", fakeValue(4));
    insert(t, "x", fakeValue(5));
    EXPECT_EQ(checkTree(t), "");
    for (const char* key : {"abd", "x", "abcdef", "ab"}) {
        EXPECT_EQ(remove(t, key), 1) << key;
        EXPECT_EQ(checkTree(t), "") << key;
    }
    EXPECT_EQ(dumpShape(t), dumpShape(reference));
    EXPECT_EQ(raxNodeCount(t), 2u);
}

TEST(Rax, RemovingEverythingLeavesOnlyTheHead) {
    Tree t;
    const std::vector<std::string> keys{"", "a", "ab", "abc", "abd", "b", "ba", "bab", "zzz", std::string("\0\xff", 2)};
    for (std::size_t k = 0; k < keys.size(); ++k) insert(t, keys[k], fakeValue(k));
    EXPECT_EQ(raxSize(t), keys.size());
    for (const std::string& key : keys) {
        EXPECT_EQ(remove(t, key), 1) << printable(key);
        EXPECT_EQ(checkTree(t), "") << printable(key);
    }
    EXPECT_EQ(raxSize(t), 0u);
    EXPECT_EQ(raxNodeCount(t), 1u);
    EXPECT_EQ(showOutput(t), "[]\n");
}

TEST(Rax, ShapeDependsOnlyOnTheSetOfKeys) {
    std::vector<std::string> keys{"a",       "ab",     "abc",   "abcd",    "abd",        "b",    "bcd",    "bce",
                                  "bcef",    "c",      "cab",   "",        "zz",         "zzzz", "romane", "romanus",
                                  "romulus", "rubens", "ruber", "rubicon", "rubicundus", "r"};
    Tree reference;
    for (std::size_t k = 0; k < keys.size(); ++k) insert(reference, keys[k], fakeValue(k));
    const std::string shape = dumpShape(reference);
    const std::vector<std::string> extra{"abx", "abcdz", "bc", "q", "romanex", "rx", "zzz", "zzzzz", "ca"};

    std::mt19937 rng(7);
    for (int round = 0; round < 40; ++round) {
        std::vector<std::size_t> order(keys.size());
        for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
        std::shuffle(order.begin(), order.end(), rng);
        Tree t;
        // Extra keys interleaved with the real ones, then removed again.
        for (std::size_t k = 0; k < order.size(); ++k) {
            if (k < extra.size() && round % 2 == 1) insert(t, extra[k], fakeValue(1000 + k));
            insert(t, keys[order[k]], fakeValue(order[k]));
        }
        if (round % 2 == 1) {
            for (const std::string& e : extra) EXPECT_EQ(remove(t, e), 1) << e;
        }
        EXPECT_EQ(checkTree(t), "") << "round " << round;
        EXPECT_EQ(dumpShape(t), shape) << "round " << round;
        EXPECT_EQ(showOutput(t), showOutput(reference)) << "round " << round;
    }
}

TEST(Rax, KeysMayHoldEveryByteAndSortUnsigned) {
    Tree t;
    std::map<std::string, void*> oracle;
    const std::vector<std::string> keys{std::string("\0", 1),     std::string("\0\0", 2), std::string("a\0b", 3),
                                        std::string("a\xff", 2),  std::string("a", 1),    std::string("\xff", 1),
                                        std::string("\xff\0", 2), std::string("\x7f", 1), std::string("\x80", 1),
                                        std::string("", 0)};
    for (std::size_t k = 0; k < keys.size(); ++k) {
        insert(t, keys[k], fakeValue(k));
        oracle[keys[k]] = fakeValue(k);
    }
    EXPECT_EQ(itemsForward(t), itemsOf(oracle));
    auto backward = itemsBackward(t);
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(backward, itemsOf(oracle));
    EXPECT_EQ(itemsForward(t).back().first, std::string("\xff\0", 2));
    EXPECT_EQ(checkTree(t), "");
}

TEST(Rax, LongKeysAndDeepTreesGrowTheIteratorBuffers) {
    Tree t;
    std::map<std::string, void*> oracle;
    // A 1000-byte spine with a branch at every byte: deep stacks and long keys.
    std::string spine;
    for (int k = 0; k < 1000; ++k) spine += static_cast<char>('a' + k % 3);
    for (std::size_t k = 0; k < spine.size(); k += 7) {
        std::string branch = spine.substr(0, k) + 'z';
        insert(t, branch, fakeValue(k));
        oracle[branch] = fakeValue(k);
    }
    insert(t, spine, fakeValue(5000));
    oracle[spine] = fakeValue(5000);
    EXPECT_EQ(checkTree(t), "");
    EXPECT_EQ(itemsForward(t), itemsOf(oracle));
    for (const char* op : {">=", ">", "<=", "<", "="}) {
        EXPECT_EQ(checkSeek(t, oracle, op, spine.substr(0, 500), 1000), "");
        EXPECT_EQ(checkSeek(t, oracle, op, spine.substr(0, 500) + "z", 1000), "");
        EXPECT_EQ(checkSeek(t, oracle, op, spine + "a", 1000), "");
    }

    // Every prefix of a long key as a key of its own, removed again from the longest.
    std::string chain(300, 'q');
    for (std::size_t k = 0; k < chain.size(); k += 5) chain[k] = 'r';
    const uint64_t nodesBefore = raxNodeCount(t);
    insertAndRemoveAllPrefixes(t, bytes(chain), chain.size());
    EXPECT_EQ(raxNodeCount(t), nodesBefore);
    EXPECT_EQ(checkTree(t), "");
    EXPECT_EQ(itemsForward(t), itemsOf(oracle));
}

TEST(Rax, AllPrefixesOfAKeyInAnEmptyTree) {
    Tree t;
    const std::string key("prefix\0chain\xff", 13);
    insertAndRemoveAllPrefixes(t, bytes(key), key.size());
    EXPECT_EQ(raxNodeCount(t), 1u);
    EXPECT_EQ(checkTree(t), "");
}

std::map<void*, int>* freedValues = nullptr;

void countFreed(void* value) {
    ++(*freedValues)[value];
}

TEST(Rax, FreeWithCallbackSeesEveryValueOnce) {
    std::map<void*, int> freed;
    freedValues = &freed;
    rax* t = raxNew();
    std::vector<int*> cells;
    for (int k = 0; k < 200; ++k) {
        cells.push_back(new int(k));
        insert(t, "key" + std::to_string(k), cells.back());
    }
    insert(t, "", nullptr);
    insert(t, "key1", cells[1]);  // an overwrite does not add a value
    remove(t, "key7");
    raxFreeWithCallback(t, countFreed);
    freedValues = nullptr;
    EXPECT_EQ(freed.size(), 200u);  // 199 cells and the null value
    for (int k = 0; k < 200; ++k) {
        EXPECT_EQ(freed.count(cells[k]), k == 7 ? 0u : 1u) << k;
        if (k != 7) {
            EXPECT_EQ(freed[cells[k]], 1) << k;
        }
    }
    EXPECT_EQ(freed[nullptr], 1);
    for (int* cell : cells) delete cell;
}

TEST(Rax, IteratorSeekOperatorsMatchAnOrderedMap) {
    Tree t;
    std::map<std::string, void*> oracle;
    const std::vector<std::string> keys{"",    "a",    "alpha", "alphabet", "alps", "b",   "beta", "bet", "better", "c",
                                        "car", "cart", "cat",   "zeta",     "zz",   "zzz", "m",    "mm",  "mmmm"};
    for (std::size_t k = 0; k < keys.size(); ++k) {
        insert(t, keys[k], fakeValue(k));
        oracle[keys[k]] = fakeValue(k);
    }
    std::vector<std::string> probes = keys;
    for (const std::string& k : keys) {
        probes.push_back(k + "a");
        probes.push_back(k + "\x01");
        probes.push_back(k + "\xff");
        if (!k.empty()) probes.push_back(k.substr(0, k.size() - 1) + static_cast<char>(k.back() + 1));
        if (!k.empty()) probes.push_back(k.substr(0, k.size() - 1) + static_cast<char>(k.back() - 1));
    }
    probes.insert(probes.end(), {"0", "~", "\xff\xff", "alp", "alphab", "carx", "ca", "be", "mmm", "mmmmm"});
    for (const std::string& probe : probes) {
        for (const char* op : {"^", "$", ">=", ">", "<=", "<", "="}) {
            EXPECT_EQ(checkSeek(t, oracle, op, probe, 100), "");
        }
    }
}

TEST(Rax, IteratorStepsBothWaysFromASeek) {
    Tree t;
    for (const char* key : {"a", "b", "c", "d"}) insert(t, key, nullptr);
    raxIterator it;
    raxStart(&it, t);
    ASSERT_EQ(raxSeek(&it, ">=", bytes("b"), 1), 1);
    ASSERT_EQ(raxNext(&it), 1);
    EXPECT_EQ(iteratorKey(it), "b");
    ASSERT_EQ(raxNext(&it), 1);
    EXPECT_EQ(iteratorKey(it), "c");
    ASSERT_EQ(raxPrev(&it), 1);
    EXPECT_EQ(iteratorKey(it), "b");
    ASSERT_EQ(raxPrev(&it), 1);
    EXPECT_EQ(iteratorKey(it), "a");
    EXPECT_EQ(raxPrev(&it), 0);
    EXPECT_TRUE(raxEOF(&it));
    EXPECT_EQ(raxNext(&it), 0);
    raxStop(&it);
}

TEST(Rax, IteratorYieldsNothingBeforeASeekAndAfterTheEnd) {
    Tree t;
    insert(t, "only", fakeValue(1));
    raxIterator it;
    raxStart(&it, t);
    EXPECT_EQ(raxNext(&it), 0);
    EXPECT_EQ(raxSeek(&it, "^", nullptr, 0), 1);
    EXPECT_EQ(raxNext(&it), 1);
    EXPECT_EQ(it.data, fakeValue(1));
    EXPECT_EQ(raxNext(&it), 0);
    EXPECT_EQ(raxNext(&it), 0);
    EXPECT_EQ(raxSeek(&it, ">", bytes("only"), 4), 1);
    EXPECT_EQ(raxNext(&it), 0);
    EXPECT_EQ(raxSeek(&it, "=", bytes("onl"), 3), 1);
    EXPECT_EQ(raxNext(&it), 0);
    raxStop(&it);
}

TEST(Rax, SeekRejectsUnknownOperators) {
    Tree t;
    raxIterator it;
    raxStart(&it, t);
    for (const char* op : {"", "!", "=>", "<<", "^^"}) {
        errno = 0;
        EXPECT_EQ(raxSeek(&it, op, bytes("a"), 1), 0) << op;
        EXPECT_EQ(errno, EINVAL) << op;
    }
    raxStop(&it);
}

TEST(Rax, OversizedKeysAreRejected) {
    Tree t;
    const unsigned char byte = 'a';
    errno = 0;
    // The length is checked before the key is read.
    EXPECT_EQ(raxInsert(t, &byte, std::size_t{1} << 32, nullptr, nullptr), 0);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(raxSize(t), 0u);
}

TEST(Rax, ShowPrintsTheTreeShape) {
    Tree t;
    EXPECT_EQ(showOutput(t), "[]\n");
    insert(t, "a", fakeValue(1));
    insert(t, "ab", fakeValue(2));
    insert(t, "ac", fakeValue(3));
    const std::string expected = "\"a\" -> [bc]=" + pointerText(fakeValue(1)) + "\n" +  //
                                 "        `-(b) []=" + pointerText(fakeValue(2)) + "\n" +
                                 "        `-(c) []=" + pointerText(fakeValue(3)) + "\n";
    EXPECT_EQ(showOutput(t), expected);

    insert(t, "acxyz", fakeValue(4));
    const std::string deeper = "\"a\" -> [bc]=" + pointerText(fakeValue(1)) + "\n" +  //
                               "        `-(b) []=" + pointerText(fakeValue(2)) + "\n" +
                               "        `-(c) \"xyz\"=" + pointerText(fakeValue(3)) +
                               " -> []=" + pointerText(fakeValue(4)) + "\n";
    EXPECT_EQ(showOutput(t), deeper);
}

TEST(Rax, DebugShowNodePrintsOneNode) {
    Tree t;
    insert(t, "ab", fakeValue(1));
    insert(t, "ac", fakeValue(2));
    raxNode* head = t.get()->head;
    ASSERT_TRUE(head->iscompr);
    raxNode* branch = head->children[0];
    testing::internal::CaptureStdout();
    raxDebugShowNode("branch", branch);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string expected = "branch: " + pointerText(branch) +
                                 " [bc] key:0 size:2 children:" + pointerText(branch->children[0]) + " " +
                                 pointerText(branch->children[1]) + " \n";
    EXPECT_EQ(out, expected);
}

// Allocation failure injection: every allocation made by the tree fails with some
// probability; a failed insertion must leave the tree exactly as it was.
std::mt19937* failureRng = nullptr;
int failurePercent = 0;

bool shouldFail() {
    return failureRng != nullptr && static_cast<int>((*failureRng)() % 100) < failurePercent;
}
void* flakyMalloc(std::size_t size) {
    return shouldFail() ? nullptr : std::malloc(size);
}
void* flakyRealloc(void* p, std::size_t size) {
    return shouldFail() ? nullptr : std::realloc(p, size);
}

// Restores the plain allocator however the test ends.
struct FlakyAllocator {
    FlakyAllocator() { raxSetAllocator(flakyMalloc, flakyRealloc, std::free); }
    ~FlakyAllocator() {
        failureRng = nullptr;
        raxSetAllocator(nullptr, nullptr, nullptr);
    }
    FlakyAllocator(const FlakyAllocator&) = delete;
    FlakyAllocator& operator=(const FlakyAllocator&) = delete;
};

TEST(Rax, AllocationFailuresLeaveTheTreeConsistent) {
    std::mt19937 rng(42);
    FlakyAllocator flaky;
    rax* t = raxNew();
    while (t == nullptr) t = raxNew();  // failures are off until the tree exists
    failureRng = &rng;
    failurePercent = 20;
    std::map<std::string, void*> oracle;
    int failedInserts = 0;
    for (int op = 0; op < 2500; ++op) {
        std::string key;
        const std::size_t len = rng() % 8;
        for (std::size_t k = 0; k < len; ++k) key += static_cast<char>('a' + rng() % 3);
        if (rng() % 3 != 0) {
            const std::string shape = dumpShape(t);
            errno = 0;
            const int added = insert(t, key, fakeValue(op));
            if (added == 0 && errno == ENOMEM) {
                ++failedInserts;
                ASSERT_EQ(dumpShape(t), shape) << "op " << op;
            } else {
                ASSERT_EQ(added, oracle.count(key) ? 0 : 1);
                oracle[key] = fakeValue(op);
            }
        } else {
            errno = 0;
            const int removed = remove(t, key);
            // Running out of memory on the way down leaves the key in place.
            if (removed == 1 || errno != ENOMEM) {
                ASSERT_EQ(removed, static_cast<int>(oracle.erase(key))) << "op " << op;
            }
        }
        // Failed merges may leave runs apart, so only the relaxed invariants hold.
        ASSERT_EQ(checkTree(t, false), "") << "op " << op;
        ASSERT_EQ(raxSize(t), oracle.size());
    }
    failureRng = nullptr;
    EXPECT_GT(failedInserts, 50);
    EXPECT_EQ(itemsForward(t), itemsOf(oracle));
    for (const auto& [key, value] : oracle) EXPECT_EQ(find(t, key), value);

    // Iteration under failures either yields the right keys or stops with ENOMEM.
    failureRng = &rng;
    failurePercent = 30;
    std::string longKey(400, 'a');
    for (int k = 0; k < 5; ++k) {
        errno = 0;
        if (insert(t, longKey, fakeValue(k)) == 1) oracle[longKey] = fakeValue(k);
    }
    for (int attempt = 0; attempt < 50; ++attempt) {
        raxIterator it;
        raxStart(&it, t);
        errno = 0;
        if (raxSeek(&it, "^", nullptr, 0) == 1) {
            auto expected = oracle.begin();
            while (raxNext(&it)) {
                ASSERT_NE(expected, oracle.end());
                ASSERT_EQ(iteratorKey(it), expected->first);
                ++expected;
            }
            if (expected != oracle.end()) {
                EXPECT_EQ(errno, ENOMEM);
            }
        } else {
            EXPECT_EQ(errno, ENOMEM);
        }
        raxStop(&it);
    }
    failureRng = nullptr;
    raxFree(t);
}

}  // namespace
}  // namespace vantrel::test
