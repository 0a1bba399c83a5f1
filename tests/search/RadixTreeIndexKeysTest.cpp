// The radix-tree index derives and stores its keys through its own fast paths
// (byte buffers, an ASCII key generator, a sorted bulk load). The tree it builds
// must hold exactly the keys and ids that inserting every searchKeys() key, in
// composed form with the record id appended, record by record, would give.
#include "search/RadixTreeIndex.h"
#include "search/SearchKeys.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace vantrel {
namespace {

std::vector<std::pair<QString, qint64>> referenceKeys(const std::vector<SearchRecord>& records) {
    RadixTree<qint64> tree;
    for (const SearchRecord& record : records) {
        if (!record.id) continue;
        const QString suffix = QString::number(*record.id);
        for (const QString& key : searchKeys(record.name, record.indexableKeywords()))
            tree.insert(key.normalized(QString::NormalizationForm_C) + suffix, *record.id);
    }
    return tree.itemsWithPrefix(QString());
}

std::vector<std::pair<QString, qint64>> indexedKeys(const std::vector<SearchRecord>& records) {
    return RadixTreeIndex::buildTree(records)->itemsWithPrefix(QString());
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
}

TEST(RadixTreeIndexKeys, LargeIndexMatchesSearchKeys) {
    // Over 200000 keys: enough for the bulk load to build on two threads.
    std::vector<SearchRecord> records;
    for (qint64 id = 1; id <= 4500; ++id)
        records.push_back(record(id, QStringLiteral("Sample%1 Tool Box Kit Item Pack %2").arg(id % 97).arg(id)));
    const auto indexed = indexedKeys(records);
    EXPECT_GT(indexed.size(), 200000u);
    EXPECT_EQ(indexed, referenceKeys(records));
}

}  // namespace
}  // namespace vantrel
