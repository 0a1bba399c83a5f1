#include "search/Normalization.h"
#include "search/SearchTestPrinters.h"
#include "search/Trie.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <map>

namespace vantrel {
namespace {

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

QList<int> span(qsizetype length) {
    QList<int> indices;
    for (int i = 0; i < length; ++i) indices.append(i);
    return indices;
}

QList<TrieMatch> sorted(QList<TrieMatch> matches) {
    std::sort(matches.begin(), matches.end(), [](const TrieMatch& a, const TrieMatch& b) {
        if (a.value != b.value) return a.value < b.value;
        return a.indices < b.indices;
    });
    return matches;
}

QStringList values(const QList<TrieMatch>& matches) {
    QStringList result;
    for (const TrieMatch& match : matches) result.append(match.value);
    std::sort(result.begin(), result.end());
    return result;
}

// A trie of the words, with ids 1, 2, 3... in order.
Trie trieOf(std::initializer_list<const char*> words, bool computeMask = false) {
    Trie trie;
    qint64 id = 0;
    for (const char* word : words) trie.insert(u8(word), ++id, computeMask);
    return trie;
}

// Every node's mask is its own letter together with its children's masks.
void expectMasksConsistent(const TrieNode& node) {
    qint64 expected = node.key ? letterMask(*node.key) : 0;
    for (const auto& [key, child] : node.children) {
        EXPECT_EQ(child->parent, &node) << child->path.toStdString();
        expectMasksConsistent(*child);
        expected |= child->mask;
    }
    EXPECT_EQ(node.mask, expected) << node.path.toStdString();
}

TEST(TrieTest, FindsOnlyWholeWords) {
    Trie trie;
    trie.insert(u8("apple"), 1);
    EXPECT_EQ(trie.find(u8("apple")), (TrieMatch{u8("apple"), {0, 1, 2, 3, 4}, {1}}));
    EXPECT_FALSE(trie.find(u8("app")).has_value());
    EXPECT_FALSE(trie.find(u8("apples")).has_value());
    EXPECT_FALSE(trie.find(QString()).has_value());
}

TEST(TrieTest, InsertWithoutMetaOrEmptyWord) {
    Trie trie;
    trie.insert(QString(), 5, true);
    EXPECT_TRUE(trie.root().children.empty());
    EXPECT_EQ(trie.root().mask, 0);
    trie.insert(u8("mail"));
    EXPECT_EQ(trie.find(u8("mail")), (TrieMatch{u8("mail"), {0, 1, 2, 3}, {}}));
    EXPECT_EQ(trie.root().mask, 0);
}

TEST(TrieTest, NodesCarryKeyParentAndPath) {
    Trie trie;
    trie.insert(u8("ab"), 1);
    const TrieNode& a = *trie.root().children.at(u8("a"));
    const TrieNode& b = *a.children.at(u8("b"));
    EXPECT_FALSE(trie.root().key.has_value());
    EXPECT_EQ(a.key, u8("a"));
    EXPECT_EQ(a.parent, &trie.root());
    EXPECT_EQ(a.path, u8("a"));
    EXPECT_FALSE(a.isTerminating);
    EXPECT_EQ(b.parent, &a);
    EXPECT_EQ(b.path, u8("ab"));
    EXPECT_TRUE(b.isTerminating);
    EXPECT_EQ(b.meta, QList<qint64>{1});
}

TEST(TrieTest, SameWordForTwoRecordsKeepsBothIds) {
    Trie trie;
    trie.insert(u8("mail"), 3);
    trie.insert(u8("mail"), 9);
    EXPECT_EQ(trie.find(u8("mail"))->meta, (QList<qint64>{3, 9}));
}

TEST(TrieTest, RemoveKeepsWordsThatShareThePrefix) {
    Trie trie = trieOf({"app", "apple", "apricot"});

    trie.remove(u8("app"));
    EXPECT_FALSE(trie.find(u8("app")).has_value());
    EXPECT_EQ(trie.find(u8("apple"))->meta, QList<qint64>{2});
    EXPECT_EQ(trie.find(u8("apricot"))->meta, QList<qint64>{3});

    trie.remove(u8("apple"));
    EXPECT_FALSE(trie.find(u8("apple")).has_value());
    EXPECT_EQ(trie.find(u8("apricot"))->meta, QList<qint64>{3});
    // The branch "ple" is gone, "ap" stays for "apricot".
    const TrieNode& p = *trie.root().children.at(u8("a"))->children.at(u8("p"));
    EXPECT_EQ(p.children.size(), 1u);
    EXPECT_TRUE(p.children.contains(u8("r")));

    trie.remove(u8("apricot"));
    EXPECT_TRUE(trie.root().children.empty());
}

TEST(TrieTest, RemovingWhatIsNotThereChangesNothing) {
    Trie trie;
    trie.insert(u8("apple"), 1, true);
    const QString before = trie.debugDescription();
    trie.remove(u8("app"));
    trie.remove(u8("apples"));
    trie.remove(u8("banana"));
    trie.remove(QString());
    EXPECT_EQ(trie.debugDescription(), before);
}

TEST(TrieTest, RemovedWordDoesNotLeaveItsIdsBehind) {
    Trie trie = trieOf({"app", "apple"});
    trie.remove(u8("app"));
    trie.insert(u8("app"), 7);
    EXPECT_EQ(trie.find(u8("app"))->meta, QList<qint64>{7});
}

TEST(TrieTest, MasksCoverEverySuffixBelowANode) {
    Trie trie = trieOf({"abc", "abd"}, true);
    const TrieNode& a = *trie.root().children.at(u8("a"));
    const TrieNode& b = *a.children.at(u8("b"));
    EXPECT_EQ(trie.root().mask, letterMask(u8("abcd")));
    EXPECT_EQ(a.mask, letterMask(u8("abcd")));
    EXPECT_EQ(b.mask, letterMask(u8("bcd")));
    EXPECT_EQ(b.children.at(u8("c"))->mask, letterMask(u8("c")));
    expectMasksConsistent(trie.root());
}

TEST(TrieTest, RemoveRecomputesAncestorMasks) {
    Trie trie = trieOf({"abc", "abd", "xyz"}, true);

    trie.remove(u8("abd"));
    const TrieNode& a = *trie.root().children.at(u8("a"));
    EXPECT_EQ(a.mask, letterMask(u8("abc")));
    EXPECT_EQ(a.children.at(u8("b"))->mask, letterMask(u8("bc")));
    EXPECT_EQ(trie.root().mask, letterMask(u8("abcxyz")));
    expectMasksConsistent(trie.root());

    // The pruning still finds what is left and nothing of what is gone.
    EXPECT_TRUE(trie.fuzzySearch(u8("ad")).isEmpty());
    EXPECT_EQ(values(trie.fuzzySearch(u8("ac"))), QStringList{u8("abc")});

    trie.remove(u8("xyz"));
    EXPECT_EQ(trie.root().mask, letterMask(u8("abc")));
    EXPECT_TRUE(trie.fuzzySearch(u8("y")).isEmpty());
    expectMasksConsistent(trie.root());
}

TEST(TrieTest, RemoveLeavesMasksAloneWhenNotKept) {
    Trie trie = trieOf({"abc", "abd"});
    trie.remove(u8("abd"));
    EXPECT_EQ(trie.root().mask, 0);
    EXPECT_EQ(trie.root().children.at(u8("a"))->mask, 0);
    EXPECT_EQ(values(trie.fuzzySearch(u8("ac"))), QStringList{u8("abc")});
}

TEST(TrieTest, WordsWithPrefix) {
    Trie trie = trieOf({"app", "apple", "application", "banana"});

    EXPECT_EQ(sorted(trie.wordsWithPrefix(u8("app"))),
              (QList<TrieMatch>{
                  {u8("app"), {0, 1, 2}, {1}}, {u8("apple"), {0, 1, 2}, {2}}, {u8("application"), {0, 1, 2}, {3}}}));
    EXPECT_EQ(values(trie.wordsWithPrefix(u8("appl"))), (QStringList{u8("apple"), u8("application")}));
    EXPECT_EQ(values(trie.wordsWithPrefix(u8("b"))), QStringList{u8("banana")});
    EXPECT_TRUE(trie.wordsWithPrefix(u8("c")).isEmpty());
    EXPECT_TRUE(trie.wordsWithPrefix(u8("apples")).isEmpty());
    EXPECT_EQ(trie.wordsWithPrefix(QString()).size(), 4);
    EXPECT_EQ(trie.wordsWithPrefix(QString()).first().indices, QList<int>{});
}

TEST(TrieTest, WordsWithPrefixAreListedDepthFirst) {
    Trie trie;
    for (const char* word : {"b", "ab", "a", "abc", "ac"}) trie.insert(u8(word));
    QStringList order;
    for (const TrieMatch& match : trie.wordsWithPrefix(QString())) order.append(match.value);
    EXPECT_EQ(order, (QStringList{u8("a"), u8("ab"), u8("abc"), u8("ac"), u8("b")}));
}

TEST(TrieTest, FuzzySearchMatchesOrderedSubsequences) {
    for (const bool computeMask : {true, false}) {
        Trie trie;
        trie.insert(u8("visual studio code"), 1, computeMask);
        trie.insert(u8("visual code"), 2, computeMask);
        trie.insert(u8("xcode"), 3, computeMask);

        EXPECT_EQ(sorted(trie.fuzzySearch(u8("vsc"))),
                  (QList<TrieMatch>{{u8("visual code"), {0, 2, 7}, {2}}, {u8("visual studio code"), {0, 2, 14}, {1}}}))
            << computeMask;
        EXPECT_EQ(trie.fuzzySearch(u8("vst")), (QList<TrieMatch>{{u8("visual studio code"), {0, 2, 8}, {1}}}))
            << computeMask;
        EXPECT_TRUE(trie.fuzzySearch(u8("vsx")).isEmpty()) << computeMask;
        EXPECT_EQ(sorted(trie.fuzzySearch(u8("code"))),
                  (QList<TrieMatch>{{u8("visual code"), {7, 8, 9, 10}, {2}},
                                    {u8("visual studio code"), {14, 15, 16, 17}, {1}},
                                    {u8("xcode"), {1, 2, 3, 4}, {3}}}))
            << computeMask;
        EXPECT_TRUE(trie.fuzzySearch(QString()).isEmpty());
        // The whole word as query, and a query longer than any word.
        EXPECT_EQ(values(trie.fuzzySearch(u8("xcode"))), QStringList{u8("xcode")});
        EXPECT_TRUE(trie.fuzzySearch(u8("visual studio codes")).isEmpty());
    }
}

TEST(TrieTest, FuzzySearchCollectsLongerWordsBelowTheMatch) {
    Trie trie = trieOf({"ab", "abc"}, true);
    EXPECT_EQ(sorted(trie.fuzzySearch(u8("ab"))),
              (QList<TrieMatch>{{u8("ab"), {0, 1}, {1}}, {u8("abc"), {0, 1}, {2}}}));
}

TEST(TrieTest, WalksByUserPerceivedCharacters) {
    Trie trie;
    const QString decomposed = u8("cafe\u0301 noir");
    trie.insert(decomposed, 1, true);
    EXPECT_EQ(trie.find(decomposed), (TrieMatch{decomposed, {0, 1, 2, 3, 4, 5, 6, 7, 8}, {1}}));
    // "e" alone is not a character of the word; "e" + accent is.
    EXPECT_TRUE(trie.fuzzySearch(u8("cen")).isEmpty());
    EXPECT_EQ(trie.fuzzySearch(u8("ce\u0301n")), (QList<TrieMatch>{{decomposed, {0, 3, 5}, {1}}}));
    EXPECT_EQ(values(trie.wordsWithPrefix(u8("cafe\u0301"))), QStringList{decomposed});
    EXPECT_TRUE(trie.wordsWithPrefix(u8("cafe")).size() == 0);
}

TEST(TrieTest, MovedTrieKeepsWorking) {
    Trie original = trieOf({"abc", "abd"}, true);
    Trie moved(std::move(original));
    moved.remove(u8("abd"));
    expectMasksConsistent(moved.root());
    EXPECT_EQ(values(moved.wordsWithPrefix(u8("ab"))), QStringList{u8("abc")});

    Trie assigned;
    assigned.insert(u8("zzz"), 9, true);
    assigned = std::move(moved);
    assigned.remove(u8("abc"));
    EXPECT_TRUE(assigned.root().children.empty());
    EXPECT_EQ(assigned.root().mask, 0);
}

TEST(TrieTest, DebugDescriptionPrintsTheTree) {
    Trie trie;
    trie.insert(u8("ab"), 4, true);
    trie.insert(u8("ac"), 5, true);
    EXPECT_EQ(trie.debugDescription(), u8("(root) mask=0x7\n"
                                          "  a mask=0x7\n"
                                          "    b* [4] mask=0x2\n"
                                          "    c* [5] mask=0x4\n"));
}

// Earliest positions at which the query's characters occur in order, or none.
std::optional<QList<int>> subsequencePositions(const QString& word, const QString& query) {
    QList<int> positions;
    qsizetype next = 0;
    for (qsizetype i = 0; i < word.size() && next < query.size(); ++i) {
        if (word[i] == query[next]) {
            positions.append(int(i));
            ++next;
        }
    }
    if (next < query.size()) return std::nullopt;
    return positions;
}

TEST(TrieTest, FuzzySearchAgreesWithBruteForceOracle) {
    // Letters inside the mask window plus upper case and a digit, which the
    // masks do not track.
    const QString alphabet = u8("abcdeAz1");
    QRandomGenerator random(20240611);
    auto randomWord = [&](int maxLength) {
        QString word;
        const int length = int(random.bounded(1, maxLength + 1));
        for (int i = 0; i < length; ++i) word += alphabet[qsizetype(random.bounded(int(alphabet.size())))];
        return word;
    };

    for (int round = 0; round < 30; ++round) {
        const bool computeMask = round % 3 != 0;
        Trie trie;
        std::map<QString, QList<qint64>> alive;
        for (int step = 0; step < 150; ++step) {
            const QString word = randomWord(7);
            if (random.bounded(4) == 0) {
                trie.remove(word);
                alive.erase(word);
            } else {
                trie.insert(word, step, computeMask);
                alive[word].append(step);
            }
        }
        if (computeMask) expectMasksConsistent(trie.root());

        for (int q = 0; q < 60; ++q) {
            const QString query = randomWord(4);
            QList<TrieMatch> expected;
            for (const auto& [word, ids] : alive)
                if (const auto positions = subsequencePositions(word, query))
                    expected.append(TrieMatch{word, *positions, ids});
            ASSERT_EQ(sorted(trie.fuzzySearch(query)), sorted(expected))
                << "round " << round << " query " << query.toStdString();
        }
        for (const auto& [word, ids] : alive) ASSERT_EQ(trie.find(word), (TrieMatch{word, span(word.size()), ids}));
    }
}

}  // namespace
}  // namespace vantrel
