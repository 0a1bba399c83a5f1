// The radix-tree index derives and stores its keys through its own fast paths
// (byte buffers, an ASCII key generator, one entry per distinct key with its
// ids). Walking its table must give exactly the strings and ids, in the same
// order, that a radix tree gets by inserting every searchKeys() key, in composed
// form with the record id appended, record by record; for any prefix too.
#include "search/RadixTreeIndex.h"
#include "search/RadixTree.h"
#include "search/SearchKeys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace vantrel {
namespace {

std::unique_ptr<RadixTree<qint64>> referenceTree(const std::vector<SearchRecord>& records);

std::vector<std::pair<QString, qint64>> referenceKeys(const std::vector<SearchRecord>& records) {
    return referenceTree(records)->itemsWithPrefix(QString());
}

std::unique_ptr<RadixTree<qint64>> referenceTree(const std::vector<SearchRecord>& records) {
    auto tree = std::make_unique<RadixTree<qint64>>();
    for (const SearchRecord& record : records) {
        if (!record.id) continue;
        const QString suffix = QString::number(*record.id);
        for (const QString& key : searchKeys(record.name, record.indexableKeywords()))
            tree->insert(key.normalized(QString::NormalizationForm_C) + suffix, *record.id);
    }
    return tree;
}

using Walk = std::vector<std::pair<QByteArray, qint64>>;

Walk walk(const SortedKeyTable& table, const QByteArray& prefix, size_t limit = SIZE_MAX) {
    Walk out;
    table.forEachWithPrefix(std::string_view(prefix.constData(), static_cast<size_t>(prefix.size())),
                            [&](const char* key, size_t length, qint64 id) {
                                out.emplace_back(QByteArray(key, static_cast<qsizetype>(length)), id);
                                return out.size() < limit;
                            });
    return out;
}

Walk walk(const RadixTree<qint64>& tree, const QByteArray& prefix, size_t limit = SIZE_MAX) {
    Walk out;
    tree.forEachWithPrefix(prefix, [&](const char* key, size_t length, qint64 id) {
        out.emplace_back(QByteArray(key, static_cast<qsizetype>(length)), id);
        return out.size() < limit;
    });
    return out;
}

std::vector<std::pair<QString, qint64>> indexedKeys(const std::vector<SearchRecord>& records) {
    const auto table = RadixTreeIndex::buildKeys(records);
    std::vector<std::pair<QString, qint64>> out;
    for (const auto& [key, id] : walk(*table, QByteArray())) out.emplace_back(QString::fromUtf8(key), id);
    EXPECT_EQ(table->pairCount(), out.size());
    return out;
}

// Every byte prefix of every stored string (a sample of them when there are
// many) answers the same walk from the table as from the tree, whole and cut
// short.
void expectSameWalks(const std::vector<SearchRecord>& records, size_t sampleEvery = 1) {
    const auto reference = referenceTree(records);
    const RadixTree<qint64>& tree = *reference;
    const auto table = RadixTreeIndex::buildKeys(records);
    std::vector<QByteArray> prefixes{QByteArray(), QByteArrayLiteral("zzzz-not-a-key"), QByteArrayLiteral("1"),
                                     QByteArrayLiteral("-"), QByteArrayLiteral("\xff")};
    size_t n = 0;
    for (const auto& [key, id] : walk(tree, QByteArray())) {
        if (n++ % sampleEvery != 0) continue;
        for (qsizetype length = 1; length <= key.size(); ++length) prefixes.push_back(key.left(length));
    }
    std::sort(prefixes.begin(), prefixes.end());
    prefixes.erase(std::unique(prefixes.begin(), prefixes.end()), prefixes.end());
    for (const QByteArray& prefix : prefixes) {
        ASSERT_EQ(walk(*table, prefix), walk(tree, prefix)) << prefix.toStdString();
        ASSERT_EQ(walk(*table, prefix, 3), walk(tree, prefix, 3)) << prefix.toStdString();
    }
}

SearchRecord record(qint64 id, const QString& name, std::optional<QString> keywords = std::nullopt) {
    SearchRecord r;
    r.id = id;
    r.name = name;
    r.keywords = std::move(keywords);
    r.type = SearchRecord::ContentType::systemApp;
    r.source = SearchRecord::Source::system;
    return r;
}

TEST(RadixTreeIndexKeys, TrickyNamesMatchSearchKeys) {
    const QStringList names{
        QStringLiteral("Google Chrome Canary"), QStringLiteral("VisualStudioCode"), QStringLiteral("visual-studio.code"),
        QStringLiteral("XMLParser"), QStringLiteral("iPhone12"), QStringLiteral("ABC1D2"), QStringLiteral("ABCdef GHi"),
        QStringLiteral("a  b   c"), QStringLiteral("  padded  "), QStringLiteral("---"), QStringLiteral("/usr/bin/x"),
        QStringLiteral("\"Quoted\" (Paren) {Brace} [Bracket] <Angle> 'Apos'"), QStringLiteral("((()))"),
        QStringLiteral("one two three four five six seven eight nine"), QStringLiteral("A B C D E F G H"),
        QStringLiteral("Line\r\nBreak here"), QStringLiteral("x \r\nY z"), QStringLiteral("Tab\tSeparated Name"),
        QStringLiteral("Safari"), QStringLiteral("app"), QStringLiteral("app1"), QStringLiteral("Crème Brûlée"),
        QStringLiteral("Кино Фильм"), QStringLiteral("ＡＢＣ Wide"), QStringLiteral("PDFs2Go Converter"),
        QStringLiteral("HTML5 Canvas"), QStringLiteral("@scope/pkg-name"), QStringLiteral("a.b.c.d"), QString(),
        QStringLiteral("MixedUP Case9X"), QStringLiteral(" - "), QStringLiteral("9Lives"), QStringLiteral("aB"),
    };
    std::vector<SearchRecord> records;
    qint64 id = 1;
    for (const QString& name : names) records.push_back(record(id++, name));
    records.push_back(record(id++, QStringLiteral("Keyworded App"), QStringLiteral("Edit  write Écrire")));
    records.push_back(record(id++, QString(), QStringLiteral("only keywords")));
    // Ids whose decimal form makes keys of different records collide ("ab" + "12"
    // and "ab1" + "2"): the later record keeps the key.
    records.push_back(record(12, QStringLiteral("ab")));
    records.push_back(record(2, QStringLiteral("ab1")));
    records.push_back(record(21, QStringLiteral("ab")));
    EXPECT_EQ(indexedKeys(records), referenceKeys(records));
    expectSameWalks(records);
}

TEST(RadixTreeIndexKeys, IdsSpellingOtherKeysKeepTheLaterRecord) {
    // "ab" + "123" = "ab1" + "23" = "ab12" + "3": three records spell one string
    // and only the latest one is found under it, whatever the order of the ids.
    for (const std::vector<std::pair<qint64, QString>>& order :
         {std::vector<std::pair<qint64, QString>>{{123, QStringLiteral("ab")}, {23, QStringLiteral("ab1")}, {3, QStringLiteral("ab12")}},
          {{3, QStringLiteral("ab12")}, {123, QStringLiteral("ab")}, {23, QStringLiteral("ab1")}},
          {{23, QStringLiteral("ab1")}, {3, QStringLiteral("ab12")}, {123, QStringLiteral("ab")}},
          {{1, QStringLiteral("x-")}, {-1, QStringLiteral("x")}, {5, QStringLiteral("x-1")}}}) {
        std::vector<SearchRecord> records;
        for (const auto& [id, name] : order) records.push_back(record(id, name));
        EXPECT_EQ(indexedKeys(records), referenceKeys(records));
        expectSameWalks(records);
    }
}

TEST(RadixTreeIndexKeys, EmptyAndIdlessInputs) {
    EXPECT_TRUE(indexedKeys({}).empty());
    std::vector<SearchRecord> records{record(1, QString()), record(2, QStringLiteral("x"))};
    records[1].id.reset();
    EXPECT_EQ(indexedKeys(records), referenceKeys(records));
    expectSameWalks(records);
}

TEST(RadixTreeIndexKeys, RandomNamesMatchSearchKeys) {
    const QString alphabet = QStringLiteral("aAbBzZ09 -./'\"(){}[]<>\t\r\né");
    std::mt19937 rng(5);
    std::vector<SearchRecord> records;
    // Enough records for the key derivation to be split across threads.
    for (qint64 id = 1; id <= 3000; ++id) {
        QString name;
        const int length = static_cast<int>(rng() % 24);
        for (int k = 0; k < length; ++k) {
            // Mostly ASCII; a few names carry a non-ASCII letter.
            const auto count = static_cast<unsigned>(alphabet.size() - (rng() % 10 == 0 ? 0 : 1));
            name += alphabet[static_cast<qsizetype>(rng() % count)];
        }
        records.push_back(record(static_cast<qint64>(rng() % 500) + 1, name,
                                 rng() % 4 == 0 ? std::optional<QString>(QStringLiteral("Kw x%1").arg(id)) : std::nullopt));
    }
    EXPECT_EQ(indexedKeys(records), referenceKeys(records));
    expectSameWalks(records, 7);
}

TEST(RadixTreeIndexKeys, LargeIndexMatchesSearchKeys) {
    // Over 200000 keys: enough for the bulk load to build on two threads.
    std::vector<SearchRecord> records;
    for (qint64 id = 1; id <= 4500; ++id)
        records.push_back(record(id, QStringLiteral("Sample%1 Tool Box Kit Item Pack %2").arg(id % 97).arg(id)));
    const auto indexed = indexedKeys(records);
    EXPECT_GT(indexed.size(), 200000u);
    EXPECT_EQ(indexed, referenceKeys(records));
    // The table is filled in two ranges of first bytes and joined: walks that
    // start inside either range, or cross from one into the other, still agree.
    expectSameWalks(records, 1009);
}

// Keys that share their first eight bytes or more, keys shorter than eight
// bytes that differ only in length, and keys holding NUL bytes (which look
// like the padding of a short key's head) come out in byte order, equal keys
// of different records in record order.
TEST(RadixTreeIndexKeys, KeysSharingLongHeadsSortAsBytes) {
    std::vector<SearchRecord> records;
    const QString nul(QChar(0));
    for (qint64 id = 1; id <= 2600; ++id) {
        switch (id % 6) {
        case 0: records.push_back(record(id, QStringLiteral("Application Launcher %1").arg(id % 300))); break;
        case 1: records.push_back(record(id, QStringLiteral("applicationlauncher%1").arg(id % 7))); break;
        case 2: records.push_back(record(id, QStringLiteral("ab").left(static_cast<qsizetype>(id % 3)))); break;
        case 3: records.push_back(record(id, QStringLiteral("ab") + nul + QString::number(id % 5))); break;
        case 4: records.push_back(record(id, QStringLiteral("Application") + nul + QStringLiteral("Launcher"))); break;
        default: records.push_back(record(id % 40 + 1, QStringLiteral("Application Launcher"))); break;
        }
    }
    EXPECT_EQ(indexedKeys(records), referenceKeys(records));
    expectSameWalks(records, 13);
}

// Work given to the build to run beside the keys runs once, whatever the
// size of the input, and the keys come out as without it.
TEST(RadixTreeIndexKeys, WorkBesideTheKeysRunsOnceAndLeavesThemAlone) {
    for (const qint64 count : {qint64(0), qint64(10), qint64(5000)}) {
        std::vector<SearchRecord> records;
        for (qint64 id = 1; id <= count; ++id)
            records.push_back(record(id, QStringLiteral("Tool %1 Kit %2").arg(id % 89).arg(id)));
        int runs = 0;
        IndexBuildCpu cpu;
        const auto table = RadixTreeIndex::buildKeys(records, &cpu, [&runs] { ++runs; });
        EXPECT_EQ(runs, 1) << count;
        const auto plain = RadixTreeIndex::buildKeys(records);
        EXPECT_EQ(walk(*table, QByteArray()), walk(*plain, QByteArray())) << count;
        EXPECT_EQ(table->keyCount(), plain->keyCount());
        EXPECT_FALSE(cpu.derive.empty());
        EXPECT_EQ(cpu.derive.size(), cpu.sort.size());
        EXPECT_FALSE(cpu.fill.empty());
    }
}

// Tables filled from consecutive ranges of one sorted key stream and joined
// answer every walk as the table filled from the whole stream does, wherever
// the cuts fall (inside a block of sixteen keys or on its edge).
TEST(RadixTreeIndexKeys, JoinedTablesWalkAsOne) {
    std::vector<std::string> keys;
    for (int i = 0; i < 300; ++i) {
        keys.push_back("k" + std::to_string(i));
        if (i % 7 == 0) keys.push_back("k" + std::to_string(i) + " tool");
        if (i % 11 == 0) keys.push_back("z" + std::to_string(i));
    }
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    auto fill = [&keys](size_t from, size_t to) {
        SortedKeyTableBuilder builder;
        for (size_t k = from; k < to; ++k) {
            // Ids in the byte order of their decimal forms; some repeat across keys.
            std::vector<qint64> ids{static_cast<qint64>(k % 13 + 1), static_cast<qint64>(k + 20)};
            std::sort(ids.begin(), ids.end(), [](qint64 a, qint64 b) { return std::to_string(a) < std::to_string(b); });
            builder.add(keys[k], ids.data(), ids.size());
            if (k % 9 == 0) builder.hide(builder.keyCount() - 1, ids.front());
        }
        return builder.finish();
    };
    const SortedKeyTable whole = fill(0, keys.size());
    std::vector<QByteArray> prefixes{QByteArray(), QByteArrayLiteral("k1"), QByteArrayLiteral("z"),
                                     QByteArrayLiteral("k29"), QByteArrayLiteral("a"), QByteArrayLiteral("\xff")};
    for (const std::string& key : keys)
        for (size_t length = 1; length <= key.size(); ++length) prefixes.push_back(QByteArray::fromStdString(key.substr(0, length)));
    for (const std::vector<size_t>& cuts : std::vector<std::vector<size_t>>{
             {37}, {16}, {0}, {keys.size()}, {5, 21}, {16, 32}, {1, keys.size() - 1}, {100, 101, 250}}) {
        SortedKeyTable joined = fill(0, cuts.front());
        for (size_t c = 0; c < cuts.size(); ++c)
            joined = SortedKeyTable::concatenated(std::move(joined), fill(cuts[c], c + 1 < cuts.size() ? cuts[c + 1] : keys.size()));
        ASSERT_EQ(joined.keyCount(), whole.keyCount());
        ASSERT_EQ(joined.pairCount(), whole.pairCount());
        for (const QByteArray& prefix : prefixes) {
            ASSERT_EQ(walk(joined, prefix), walk(whole, prefix)) << "cut at " << cuts.front() << ": " << prefix.toStdString();
            ASSERT_EQ(walk(joined, prefix, 2), walk(whole, prefix, 2)) << prefix.toStdString();
        }
    }
}

// A key's own strings are visited straight away when they all come before the
// next key, and through the merge otherwise: the next key extends it with a
// byte below the digits (" "), with a digit ("ab2" after "ab" + "25"), or
// with a letter; ids stored out of their decimal order ("5" after "10") or
// hidden. Every walk, whole and cut after each visit, lists the strings as a
// tree of `key + decimal id` strings does.
TEST(RadixTreeIndexKeys, KeysVisitedWithoutTheMergeKeepTheOrder) {
    const std::vector<std::pair<std::string, std::vector<qint64>>> keys{
        {"ab", {1, 25, 3}},  {"ab ", {7}},  {"ab c", {8, 9}}, {"ab2", {4}},  {"ab27", {6}},
        {"abc", {5, 10}},    {"abcd", {11}}, {"abd", {12, 120, 13}},         {"b", {2}},
        {"b-", {14}},        {"b1", {15}}, {"c", {16, 17}}, {"cc", {18}},   {"d", {19}},
    };
    SortedKeyTableBuilder builder;
    RadixTree<qint64> tree;
    for (const auto& [key, ids] : keys) {
        builder.add(key, ids.data(), ids.size());
        for (size_t i = 0; i < ids.size(); ++i) {
            // One pair left out of every walk: the tree never holds it.
            if (key == "c" && i == 1) {
                builder.hide(builder.keyCount() - 1, ids[i]);
                continue;
            }
            tree.insert(QString::fromStdString(key + std::to_string(ids[i])), ids[i]);
        }
    }
    const SortedKeyTable table = builder.finish();
    const Walk everything = walk(tree, QByteArray());
    ASSERT_EQ(walk(table, QByteArray()), everything);
    for (const QByteArray& prefix : {QByteArray(), QByteArrayLiteral("a"), QByteArrayLiteral("ab"), QByteArrayLiteral("ab2"),
                                     QByteArrayLiteral("abc"), QByteArrayLiteral("b"), QByteArrayLiteral("c"),
                                     QByteArrayLiteral("ab1"), QByteArrayLiteral("x")}) {
        const Walk whole = walk(tree, prefix);
        ASSERT_EQ(walk(table, prefix), whole) << prefix.toStdString();
        for (size_t limit = 1; limit <= whole.size(); ++limit)
            ASSERT_EQ(walk(table, prefix, limit), walk(tree, prefix, limit)) << prefix.toStdString() << " " << limit;
    }
}

}  // namespace
}  // namespace vantrel
