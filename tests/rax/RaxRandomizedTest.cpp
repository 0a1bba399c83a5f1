// Randomized operation sequences checked against std::map as the oracle.
#include "rax/RaxTestSupport.h"

#include "rax/rax.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace vantrel::test {
namespace {

using namespace rax_support;

struct Alphabet {
    const char* name;
    std::string symbols;
    std::size_t maxLen;  // longest freshly drawn key
};

std::string allBytes() {
    std::string s;
    for (int c = 0; c < 256; ++c) s += static_cast<char>(c);
    return s;
}

const std::vector<Alphabet>& alphabets() {
    static const std::vector<Alphabet> list{
        {"ab", "ab", 12},
        {"abcd", "abcd", 8},
        {"lower", "abcdefghijklmnopqrstuvwxyz", 6},
        {"edgeBytes", std::string{'\0', '\xff', 'a'}, 8},
        {"allBytes", allBytes(), 5},
    };
    return list;
}

class RandomizedRax : public testing::TestWithParam<std::tuple<std::size_t, uint32_t>> {
protected:
    void SetUp() override {
        m_alphabet = &alphabets()[std::get<0>(GetParam())];
        m_rng.seed(std::get<1>(GetParam()) * 7919u + static_cast<uint32_t>(std::get<0>(GetParam())));
        ASSERT_NE(m_tree.get(), nullptr);
    }

    std::size_t below(std::size_t n) { return n == 0 ? 0 : m_rng() % n; }

    std::string freshKey() {
        std::string key;
        const std::size_t len = below(m_alphabet->maxLen + 1);
        for (std::size_t k = 0; k < len; ++k) key += m_alphabet->symbols[below(m_alphabet->symbols.size())];
        return key;
    }

    // A key near the stored ones most of the time, so that operations hit existing keys,
    // their prefixes and their extensions, forcing splits and merges.
    std::string nextKey() {
        const std::size_t strategy = below(6);
        if (strategy == 0 || m_oracle.empty()) return freshKey();
        auto near = m_oracle.lower_bound(freshKey());
        if (near == m_oracle.end()) near = m_oracle.begin();
        std::string key = near->first;
        switch (strategy) {
            case 1:  // an existing key
                return key;
            case 2:  // a prefix of one
                return key.substr(0, below(key.size() + 1));
            case 3:  // an extension
                return key + freshKey().substr(0, 1 + below(3));
            case 4:  // one byte changed
                if (!key.empty()) key[below(key.size())] = m_alphabet->symbols[below(m_alphabet->symbols.size())];
                return key;
            default:  // a shared prefix
                return key.substr(0, below(key.size() + 1)) + freshKey();
        }
    }

    void* nextValue() {
        ++m_values;
        return m_values % 17 == 0 ? nullptr : fakeValue(m_values);
    }

    // Compares the whole tree with the oracle: invariants, counts, both iteration orders.
    void verifyAll(int op) {
        ASSERT_EQ(checkTree(m_tree), "") << "after op " << op;
        ASSERT_EQ(raxSize(m_tree), m_oracle.size()) << "after op " << op;
        const auto expected = itemsOf(m_oracle);
        ASSERT_EQ(itemsForward(m_tree), expected) << "after op " << op;
        auto backward = itemsBackward(m_tree);
        std::reverse(backward.begin(), backward.end());
        ASSERT_EQ(backward, expected) << "after op " << op;
    }

    // Random seeks: ">=" mostly (run to the end), the other operators a few steps.
    void verifySeeks(int op) {
        std::vector<std::string> probes;
        for (int k = 0; k < 8; ++k) probes.push_back(nextKey());
        probes.push_back("");
        probes.push_back(std::string(1, '\0'));
        probes.push_back(std::string(40, '\xff'));
        if (!m_oracle.empty()) {
            probes.push_back(m_oracle.begin()->first);
            probes.push_back(m_oracle.rbegin()->first);
            probes.push_back(m_oracle.rbegin()->first + std::string(1, '\0'));
        }
        for (const std::string& probe : probes) {
            ASSERT_EQ(checkSeek(m_tree, m_oracle, ">=", probe, SIZE_MAX), "") << "after op " << op;
            for (const char* other : {">", "<", "<=", "="}) {
                ASSERT_EQ(checkSeek(m_tree, m_oracle, other, probe, 10), "") << "after op " << op;
            }
        }
    }

    const Alphabet* m_alphabet = nullptr;
    std::mt19937 m_rng;
    ScopedRax m_tree;
    std::map<std::string, void*> m_oracle;
    std::size_t m_values = 0;
};

TEST_P(RandomizedRax, OperationsMatchAnOrderedMap) {
    constexpr int kOperations = 12000;
    constexpr int kBatch = 150;
    for (int op = 1; op <= kOperations; ++op) {
        const std::string key = nextKey();
        const auto present = m_oracle.find(key);
        const bool had = present != m_oracle.end();
        void* const before = had ? present->second : nullptr;
        // More insertions than removals in the first half, the other way round later,
        // so the tree grows and then shrinks again.
        const bool growing = op < kOperations / 2;
        const std::size_t pick = below(10);
        void* old = fakeValue(1u << 20);
        if (pick < (growing ? 5u : 3u)) {
            void* value = nextValue();
            ASSERT_EQ(insert(m_tree, key, value, &old), had ? 0 : 1) << printable(key);
            if (had) {
                ASSERT_EQ(old, before) << printable(key);
            }
            m_oracle[key] = value;
        } else if (pick < (growing ? 6u : 4u)) {
            void* value = nextValue();
            ASSERT_EQ(tryInsert(m_tree, key, value, &old), had ? 0 : 1) << printable(key);
            if (had) {
                ASSERT_EQ(old, before) << printable(key);
            }
            if (!had) m_oracle[key] = value;
        } else if (pick < 8u) {
            ASSERT_EQ(remove(m_tree, key, &old), had ? 1 : 0) << printable(key);
            if (had) {
                ASSERT_EQ(old, before) << printable(key);
            }
            m_oracle.erase(key);
        } else {
            void* found = find(m_tree, key);
            ASSERT_EQ(found, had ? before : raxNotFound) << printable(key);
        }
        if (op % kBatch == 0) {
            ASSERT_NO_FATAL_FAILURE(verifyAll(op));
            ASSERT_NO_FATAL_FAILURE(verifySeeks(op));
            for (const auto& [k, v] : m_oracle) ASSERT_EQ(find(m_tree, k), v) << printable(k);
        }
    }

    // The same keys inserted afresh, in random order, give the very same nodes.
    std::vector<std::pair<std::string, void*>> shuffled = itemsOf(m_oracle);
    std::shuffle(shuffled.begin(), shuffled.end(), m_rng);
    ScopedRax fresh;
    for (const auto& [k, v] : shuffled) insert(fresh, k, v);
    EXPECT_EQ(dumpShape(fresh), dumpShape(m_tree));

    // Remove everything, in random order: only the head remains.
    std::vector<std::string> keys;
    for (const auto& entry : m_oracle) keys.push_back(entry.first);
    std::shuffle(keys.begin(), keys.end(), m_rng);
    for (std::size_t k = 0; k < keys.size(); ++k) {
        ASSERT_EQ(remove(m_tree, keys[k]), 1) << printable(keys[k]);
        m_oracle.erase(keys[k]);
        if (k % 50 == 0) {
            ASSERT_NO_FATAL_FAILURE(verifyAll(static_cast<int>(k)));
        }
    }
    EXPECT_EQ(raxSize(m_tree), 0u);
    EXPECT_EQ(raxNodeCount(m_tree), 1u);
    EXPECT_EQ(checkTree(m_tree), "");
}

std::map<void*, int>* freedValues = nullptr;
void countFreed(void* value) {
    ++(*freedValues)[value];
}

TEST_P(RandomizedRax, FreeWithCallbackSeesEveryStoredValueOnce) {
    for (int op = 0; op < 1500; ++op) {
        const std::string key = nextKey();
        if (below(4) == 0) {
            remove(m_tree, key);
            m_oracle.erase(key);
        } else {
            ++m_values;
            void* value = fakeValue(m_values);  // distinct per insertion
            insert(m_tree, key, value);
            m_oracle[key] = value;
        }
    }
    std::map<void*, int> freed;
    freedValues = &freed;
    raxFreeWithCallback(m_tree.release(), countFreed);
    freedValues = nullptr;
    std::map<void*, int> expected;
    for (const auto& entry : m_oracle) ++expected[entry.second];
    EXPECT_EQ(freed, expected);
}

std::string paramName(const testing::TestParamInfo<RandomizedRax::ParamType>& info) {
    return std::string(alphabets()[std::get<0>(info.param)].name) + "_seed" + std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Alphabets, RandomizedRax,
                         testing::Combine(testing::Range<std::size_t>(0, 5), testing::Values(1u, 2u, 3u, 4u)),
                         paramName);

}  // namespace
}  // namespace vantrel::test
