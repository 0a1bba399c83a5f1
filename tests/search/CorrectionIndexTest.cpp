// The tables of typo correction: whole names near a query, and names whose
// words are each near a typed word.
#include "search/CorrectionIndex.h"
#include "search/Levenshtein.h"
#include "support/SearchRecordTestSupport.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vantrel::test
