#include "search/Normalization.h"
#include "search/SearchTestPrinters.h"

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

TEST(NormalizationTest, LowerCasesAscii) {
    EXPECT_EQ(normalizedForSearch(u8("Google Chrome")), u8("google chrome"));
    EXPECT_EQ(normalizedForSearch(u8("XML-Parser_2.0 (Beta)")), u8("xml-parser_2.0 (beta)"));
    EXPECT_EQ(normalizedForSearch(QString()), QString());
}

TEST(NormalizationTest, TransliteratesToAsciiLowerCase) {
    EXPECT_EQ(normalizedForSearch(u8("Café")), u8("cafe"));
    EXPECT_EQ(normalizedForSearch(u8("Кино")), u8("kino"));
    EXPECT_EQ(normalizedForSearch(u8("Crème Brûlée")), u8("creme brulee"));
    EXPECT_EQ(normalizedForSearch(u8("Straße")), u8("strasse"));
    EXPECT_EQ(normalizedForSearch(u8("Ørsted")), u8("orsted"));
    EXPECT_EQ(normalizedForSearch(u8("Ελλάδα")), u8("ellada"));
    EXPECT_EQ(normalizedForSearch(u8("ＡＢＣ")), u8("abc"));
}

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

TEST(NormalizationTest, FoldingDropsDiacriticsAndKeepsCase) {
    EXPECT_EQ(foldedForSearchKeys(u8("Crème Brûlée")), u8("Creme Brulee"));
    EXPECT_EQ(foldedForSearchKeys(u8("ÉCOLE Ñandú")), u8("ECOLE Nandu"));
    // Decomposed input folds the same way.
    EXPECT_EQ(foldedForSearchKeys(u8("Cafe\u0301")), u8("Cafe"));
    // Letters without a decomposition stay.
    EXPECT_EQ(foldedForSearchKeys(u8("Ørsted ß")), u8("Ørsted ß"));
    EXPECT_EQ(foldedForSearchKeys(u8("Кино")), u8("Кино"));
    EXPECT_EQ(foldedForSearchKeys(u8("plain ASCII-Text/1.0")), u8("plain ASCII-Text/1.0"));
}

TEST(NormalizationTest, FoldingMapsWidthForms) {
    EXPECT_EQ(foldedForSearchKeys(u8("ＶｉｓｕａｌＳｔｕｄｉｏ１２")), u8("VisualStudio12"));
    EXPECT_EQ(foldedForSearchKeys(u8("Ａ\u3000Ｂ")), u8("A B"));
    // Half-width katakana become the usual (full-width) katakana.
    EXPECT_EQ(foldedForSearchKeys(u8("ｶﾀｶﾅ")), u8("カタカナ"));
}

TEST(NormalizationTest, FoldingKeepsSpacingVowelSigns) {
    // Devanagari "ki": the vowel sign is a spacing mark, not a diacritic.
    EXPECT_EQ(foldedForSearchKeys(u8("कि")), u8("कि"));
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
