#include "search/Normalization.h"
#include "search/SearchTestPrinters.h"
#include "support/TableTests.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <atomic>
#include <limits>
#include <thread>
#include <vector>

namespace vantrel {
namespace {

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

struct TextCase {
    const char* name;
    const char* input;
    const char* expected;
};

class NormalizedForSearch : public ::testing::TestWithParam<TextCase> {};

TEST_P(NormalizedForSearch, IsAsciiLowerCase) {
    EXPECT_EQ(normalizedForSearch(u8(GetParam().input)), u8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, NormalizedForSearch,
    ::testing::Values(TextCase{"AsciiIsLowerCased", "Google Chrome", "google chrome"},
                      TextCase{"PunctuationStays", "XML-Parser_2.0 (Beta)", "xml-parser_2.0 (beta)"},
                      TextCase{"EmptyStaysEmpty", "", ""}, TextCase{"AccentsAreDropped", "Café", "cafe"},
                      TextCase{"CyrillicIsTransliterated", "Кино", "kino"},
                      TextCase{"EveryWordIsTransliterated", "Crème Brûlée", "creme brulee"},
                      TextCase{"SharpSBecomesTwoLetters", "Straße", "strasse"},
                      TextCase{"SlashedOBecomesO", "Ørsted", "orsted"},
                      TextCase{"GreekIsTransliterated", "Ελλάδα", "ellada"},
                      TextCase{"FullWidthBecomesAscii", "ＡＢＣ", "abc"}),
    test::RowName());

class FoldedForSearchKeys : public ::testing::TestWithParam<TextCase> {};

// Diacritics and width forms go; case and letters without a decomposition stay.
TEST_P(FoldedForSearchKeys, DropsDiacriticsAndWidthButKeepsCase) {
    EXPECT_EQ(foldedForSearchKeys(u8(GetParam().input)), u8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Texts, FoldedForSearchKeys,
                         ::testing::Values(TextCase{"AccentsAreDropped", "Crème Brûlée", "Creme Brulee"},
                                           TextCase{"UpperCaseStays", "ÉCOLE Ñandú", "ECOLE Nandu"},
                                           TextCase{"DecomposedInputFoldsAlike", "Cafe\u0301", "Cafe"},
                                           TextCase{"LettersWithoutDecompositionStay", "Ørsted ß", "Ørsted ß"},
                                           TextCase{"OtherScriptsStay", "Кино", "Кино"},
                                           TextCase{"PlainAsciiStays", "plain ASCII-Text/1.0", "plain ASCII-Text/1.0"},
                                           TextCase{"FullWidthBecomesAscii", "ＶｉｓｕａｌＳｔｕｄｉｏ１２",
                                                    "VisualStudio12"},
                                           TextCase{"IdeographicSpaceBecomesASpace", "Ａ\u3000Ｂ", "A B"},
                                           TextCase{"HalfWidthKatakanaBecomesFullWidth", "ｶﾀｶﾅ", "カタカナ"},
                                           // Devanagari "ki": the vowel sign is a spacing mark, not a diacritic.
                                           TextCase{"SpacingVowelSignsStay", "कि", "कि"}),
                         test::RowName());

TEST(NormalizationTest, AsciiShortcutAgreesWithTheTransliterator) {
    for (char16_t c = 0; c < 0x80; ++c) {
        const QString text(QChar{c});
        EXPECT_EQ(normalizedForSearch(text), detail::transliterateForSearch(text)) << int(c);
    }
    QRandomGenerator random(7);
    for (int round = 0; round < 500; ++round) {
        QString text;
        const int length = int(random.bounded(1, 24));
        for (int i = 0; i < length; ++i) text += QChar(char16_t(random.bounded(0x20, 0x7F)));
        EXPECT_EQ(normalizedForSearch(text), detail::transliterateForSearch(text)) << text.toStdString();
    }
}

TEST(NormalizationTest, IsSafeToCallFromManyThreads) {
    const QStringList inputs{u8("Café Noir"), u8("Кино"), u8("Ελλάδα"), u8("Crème Brûlée"), u8("Straße")};
    QStringList expected;
    for (const QString& input : inputs) expected.append(normalizedForSearch(input));

    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 200; ++round) {
                const qsizetype index = (round + t) % inputs.size();
                if (normalizedForSearch(inputs[index]) != expected[index]) ++mismatches;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(mismatches.load(), 0);
}

TEST(NormalizationTest, LetterMaskSetsOneBitPerScalarFromA) {
    EXPECT_EQ(letterMask(QString()), 0);
    EXPECT_EQ(letterMask(u8("a")), 1);
    EXPECT_EQ(letterMask(u8("abc")), 7);
    EXPECT_EQ(letterMask(u8("cab")), 7);
    EXPECT_EQ(letterMask(u8("z")), qint64(1) << 25);
    EXPECT_EQ(letterMask(u8("{")), qint64(1) << 26);
    // Upper case, digits, punctuation and the backquote (96) contribute nothing.
    EXPECT_EQ(letterMask(u8("AZ09 !-`")), 0);
    // U+00A0 is 97 + 63: the sign bit.
    EXPECT_EQ(letterMask(u8("\u00A0")), std::numeric_limits<qint64>::min());
    EXPECT_EQ(letterMask(u8("\u00A1é😀")), 0);
}

TEST(NormalizationTest, GraphemeClustersKeepCombiningSequencesTogether) {
    EXPECT_EQ(graphemeClusters(QString()), QStringList());
    EXPECT_EQ(graphemeClusters(u8("abc")), (QStringList{u8("a"), u8("b"), u8("c")}));
    EXPECT_EQ(graphemeClusters(u8("a\r\nb")), (QStringList{u8("a"), u8("\r\n"), u8("b")}));
    EXPECT_EQ(graphemeClusters(u8("e\u0301x")), (QStringList{u8("e\u0301"), u8("x")}));
    EXPECT_EQ(graphemeClusters(u8("😀a")), (QStringList{u8("😀"), u8("a")}));
    EXPECT_EQ(graphemeClusters(u8("x\u1100\u1161\u11A8")), (QStringList{u8("x"), u8("\u1100\u1161\u11A8")}));
}

}  // namespace
}  // namespace vantrel
