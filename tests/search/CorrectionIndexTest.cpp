// The tables of typo correction: whole names near a query, and names whose
// words are each near a typed word.
#include "search/CorrectionIndex.h"
#include "search/Levenshtein.h"
#include "support/SearchRecordTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace vantrel::test {
namespace {

std::vector<SearchRecord> withIds(std::vector<SearchRecord> records) {
    qint64 id = 1;
    for (SearchRecord& record : records) record.id = id++;
    return records;
}

TEST(CorrectionIndexTest, BoundedDistancesAgreeWithTheFullOneWithinTheBound) {
    const std::vector<std::pair<std::string, std::string>> pairs{
        {"xtrem", "xterm"}, {"firfox", "firefox"}, {"chromum", "chromium"}, {"abc", "abc"}, {"", "ab"},
        {"kitten", "sitting"}, {"libreofice", "libreoffice"}, {"ab", "ba"}, {"termnal", "terminal"}};
    for (const auto& [a, b] : pairs) {
        const quint32 full = Levenshtein::distance(QByteArray::fromStdString(a), QByteArray::fromStdString(b));
        for (quint32 bound = 0; bound < 4; ++bound)
            EXPECT_EQ(Levenshtein::boundedDistance(a, b, bound), std::min(full, bound + 1)) << a << " / " << b;
    }
    // A swap of neighbours is one edit for the alignment distance, two for the plain one.
    EXPECT_EQ(Levenshtein::boundedAlignment("xtrem", "xterm", 2), 1u);
    EXPECT_EQ(Levenshtein::boundedDistance("xtrem", "xterm", 2), 2u);
    EXPECT_EQ(Levenshtein::boundedAlignment("ab", "ba", 1), 1u);
}

TEST(CorrectionIndexTest, TypedWordsFindNamesWhoseWordsAreWithinTheirEdits) {
    const CorrectionIndex index(withIds({appRecord("Firefox ESR"), appRecord("Chromium"), appRecord("XTerm"),
                                         appRecord("GNOME Terminal"), appRecord("LibreOffice Writer"),
                                         appRecord("Files")}));
    EXPECT_EQ(index.idsMatchingWords("firfox", 10), std::vector<qint64>{1});
    EXPECT_EQ(index.idsMatchingWords("chromum", 10), std::vector<qint64>{2});
    EXPECT_EQ(index.idsMatchingWords("xtrem", 10), std::vector<qint64>{3});
    EXPECT_EQ(index.idsMatchingWords("termnal", 10), std::vector<qint64>{4});
    // Two edits from eight letters on, and every typed word has to match.
    EXPECT_EQ(index.idsMatchingWords("librofice writer", 10), std::vector<qint64>{5});
    EXPECT_EQ(index.idsMatchingWords("libreofice wrter", 10), std::vector<qint64>{5});
    EXPECT_TRUE(index.idsMatchingWords("libreofice painter", 10).empty());
    // A short typed word must start a word of the name.
    EXPECT_EQ(index.idsMatchingWords("gn termnal", 10), std::vector<qint64>{4});
    EXPECT_TRUE(index.idsMatchingWords("gx termnal", 10).empty());
    // One edit for four to seven letters: two are too many, and words under
    // four letters are never corrected.
    EXPECT_TRUE(index.idsMatchingWords("frfx", 10).empty());
    EXPECT_TRUE(index.idsMatchingWords("fils", 10).size() == 1);
    EXPECT_TRUE(index.idsMatchingWords("fle", 10).empty());
    EXPECT_TRUE(index.idsMatchingWords("", 10).empty());
    EXPECT_TRUE(index.idsMatchingWords("firfox", 0).empty());
}

TEST(CorrectionIndexTest, WholeNamesNearAQueryComeWithTheirDistance) {
    const CorrectionIndex index(withIds({appRecord("Safari"), appRecord("Mail"), appRecord("Safari Preview")}));
    using Near = std::vector<std::pair<qint64, quint32>>;
    EXPECT_EQ(index.namesNear("safarj", 1), (Near{{1, 1}}));
    EXPECT_EQ(index.namesNear("sfari", 1), (Near{{1, 1}}));
    EXPECT_TRUE(index.namesNear("sfarj", 1).empty());
    EXPECT_EQ(index.namesNear("mail", 0), (Near{{2, 0}}));
    // Names are compared cut to twenty characters.
    EXPECT_EQ(index.namesNear("safari previex", 1), (Near{{3, 1}}));
}

TEST(CorrectionIndexTest, NamesOutsideAsciiAndEmptyNamesAreHandled) {
    const CorrectionIndex index(withIds({appRecord("Café Noir"), appRecord(""), appRecord("Кино")}));
    EXPECT_EQ(index.idsMatchingWords("cafe noor", 10), std::vector<qint64>{1});
    EXPECT_EQ(index.idsMatchingWords("kinno", 10), std::vector<qint64>{3});
    EXPECT_EQ(index.recordCount(), 3u);
    const CorrectionIndex none(std::vector<SearchRecord>{});
    EXPECT_TRUE(none.empty());
    EXPECT_TRUE(none.namesNear("x", 1).empty());
    EXPECT_TRUE(none.idsMatchingWords("firfox", 10).empty());
}

TEST(CorrectionIndexTest, NameWordsAreTheSplitWordsAndTheWordsAsWritten) {
    using Words = std::vector<std::string>;
    EXPECT_EQ(CorrectionIndex::nameWords(QStringLiteral("XTerm")), (Words{"x", "term", "xterm"}));
    EXPECT_EQ(CorrectionIndex::nameWords(QStringLiteral("(LibreOffice) Writer")),
              (Words{"libre", "office", "writer", "libreoffice"}));
    EXPECT_EQ(CorrectionIndex::nameWords(QStringLiteral("  gnome-terminal.desktop ")),
              (Words{"gnome", "terminal", "desktop"}));
    EXPECT_EQ(CorrectionIndex::nameWords(QStringLiteral("A b")), (Words{"a", "b"}));
    // Empty words (two spaces, a word of brackets only) are dropped.
    EXPECT_EQ(CorrectionIndex::nameWords(QStringLiteral("Go  (())  Run")), (Words{"go", "run"}));
    EXPECT_TRUE(CorrectionIndex::nameWords(QString()).empty());
    EXPECT_TRUE(CorrectionIndex::nameWords(QStringLiteral(" - . / ")).empty());
    // Seven words at most, split or as written.
    EXPECT_EQ(CorrectionIndex::nameWords(QStringLiteral("a b c d e f g h i")),
              (Words{"a", "b", "c", "d", "e", "f", "g"}));
    EXPECT_EQ(CorrectionIndex::nameWords(QStringLiteral("Café Noir")), (Words{"cafe", "noir"}));
    EXPECT_EQ(CorrectionIndex::nameWords(QStringLiteral("Кино")), (Words{"kino"}));
}

TEST(CorrectionIndexTest, EmptyNamesOneLetterWordsAndRepeatedWords) {
    const CorrectionIndex index(withIds({appRecord(""), appRecord("A"), appRecord("X Y Z"), appRecord("Foo foo FOO"),
                                         appRecord("Foo Bar"), appRecord("Ünïcödé Wörd"), appRecord("Firefox"),
                                         appRecord("Firefox")}));
    // A word repeated in one name gives its record once; two records with the
    // same name are both found, in record order.
    EXPECT_EQ(index.idsMatchingWords("fooo", 10), (std::vector<qint64>{4, 5}));
    EXPECT_EQ(index.idsMatchingWords("firefx", 10), (std::vector<qint64>{7, 8}));
    EXPECT_EQ(index.idsMatchingWords("firefx", 1), (std::vector<qint64>{7}));
    EXPECT_EQ(index.idsMatchingWords("fooo ba", 10), (std::vector<qint64>{5}));
    // One-letter words are never corrected, only started.
    EXPECT_TRUE(index.idsMatchingWords("x", 10).empty());
    EXPECT_TRUE(index.idsMatchingWords("x y", 10).empty());
    // Names outside ASCII are compared as transliterated.
    EXPECT_EQ(index.idsMatchingWords("unicod wor", 10), (std::vector<qint64>{6}));
    EXPECT_EQ(index.wordCount(), 9u);  // "", and the doubles, add nothing
    // Whole names: the empty name is zero edits from nothing, "a" one.
    using Near = std::vector<std::pair<qint64, quint32>>;
    EXPECT_EQ(index.namesNear("", 1), (Near{{1, 0}, {2, 1}}));
    EXPECT_EQ(index.namesNear("firefx", 1), (Near{{7, 1}, {8, 1}}));
    EXPECT_EQ(index.namesNear("\xc3", 0), Near{});
}

// The deletion table finds every name word a typed word may be corrected to:
// against a scan of all the words of all names, over many near words.
TEST(CorrectionIndexTest, DeletionTableFindsWhatAScanFinds) {
    std::mt19937 rng(11);
    auto randomWord = [&rng](size_t length) {
        std::string word;
        for (size_t k = 0; k < length; ++k) word += static_cast<char>('a' + rng() % 3);
        return word;
    };
    std::vector<SearchRecord> records;
    for (int r = 0; r < 400; ++r) {
        std::string name = randomWord(3 + rng() % 8);
        if (rng() % 3 == 0) name += " " + randomWord(1 + rng() % 10);
        records.push_back(appRecord(QString::fromStdString(name)));
    }
    records = withIds(std::move(records));
    const CorrectionIndex index(records);
    for (int q = 0; q < 300; ++q) {
        const std::string typed = randomWord(4 + rng() % 7);
        const quint32 edits = CorrectionIndex::allowedEdits(typed.size());
        std::vector<qint64> scanned;
        for (const SearchRecord& record : records) {
            const std::vector<std::string> words = CorrectionIndex::nameWords(record.name);
            if (std::any_of(words.begin(), words.end(), [&](const std::string& w) {
                    return Levenshtein::boundedAlignment(typed, w, edits) <= edits;
                }))
                scanned.push_back(*record.id);
        }
        ASSERT_EQ(index.idsMatchingWords(QString::fromStdString(typed), 1000), scanned) << typed;
    }
}

}  // namespace
}  // namespace vantrel::test
