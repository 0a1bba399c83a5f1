#include "search/Levenshtein.h"
#include "search/SearchTestPrinters.h"
#include "support/TableTests.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <algorithm>
#include <vector>

namespace vantrel {
namespace {

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

// The textbook full matrix, for comparison.
quint32 fullMatrixDistance(const QByteArray& a, const QByteArray& b) {
    const qsizetype rows = a.size() + 1;
    const qsizetype columns = b.size() + 1;
    std::vector<std::vector<quint32>> d(size_t(rows), std::vector<quint32>(size_t(columns), 0));
    for (qsizetype i = 0; i < rows; ++i) d[size_t(i)][0] = quint32(i);
    for (qsizetype j = 0; j < columns; ++j) d[0][size_t(j)] = quint32(j);
    for (qsizetype i = 1; i < rows; ++i) {
        for (qsizetype j = 1; j < columns; ++j) {
            const quint32 cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[size_t(i)][size_t(j)] = std::min({d[size_t(i - 1)][size_t(j)] + 1, d[size_t(i)][size_t(j - 1)] + 1,
                                                d[size_t(i - 1)][size_t(j - 1)] + cost});
        }
    }
    return d[size_t(rows - 1)][size_t(columns - 1)];
}

struct DistanceCase {
    const char* name;
    const char* a;
    const char* b;
    quint32 expected;
};

class LevenshteinDistance : public ::testing::TestWithParam<DistanceCase> {};

// Edits between UTF-8 byte strings: classic pairs, empty strings, typos, multi-byte characters.
TEST_P(LevenshteinDistance, CountsTheEditsBetweenTheUtf8Bytes) {
    const DistanceCase& c = GetParam();
    EXPECT_EQ(Levenshtein::distance(u8(c.a), u8(c.b)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, LevenshteinDistance,
    ::testing::Values(DistanceCase{"KittenSitting", "kitten", "sitting", 3},
                      DistanceCase{"FlawLawn", "flaw", "lawn", 2},
                      DistanceCase{"SaturdaySunday", "saturday", "sunday", 3},
                      DistanceCase{"SameWord", "same", "same", 0}, DistanceCase{"Reversed", "abc", "cba", 2},
                      DistanceCase{"BothEmpty", "", "", 0}, DistanceCase{"FromEmpty", "", "abc", 3},
                      DistanceCase{"ToEmpty", "abcd", "", 4}, DistanceCase{"OneLetterMissing", "safari", "sfari", 1},
                      DistanceCase{"OneLetterWrong", "safari", "safarj", 1},
                      DistanceCase{"TwoTypos", "safari", "sfarj", 2}, DistanceCase{"AccentIsTwoBytes", "é", "e", 2},
                      DistanceCase{"AccentInAWord", "café", "cafe", 2}, DistanceCase{"SameLeadByte", "é", "è", 1},
                      DistanceCase{"EmojiIsFourBytes", "😀", "", 4}),
    test::RowName());

TEST(LevenshteinTest, TakesByteArraysAsTheyAre) {
    EXPECT_EQ(Levenshtein::distance(QByteArray(), QByteArray("xy")), 2u);
}

TEST(LevenshteinTest, AgreesWithFullMatrixAndIsSymmetric) {
    QRandomGenerator random(42);
    auto randomBytes = [&] {
        QByteArray bytes;
        const int length = int(random.bounded(0, 13));
        for (int i = 0; i < length; ++i) bytes.append(char(random.bounded(int('a'), int('a') + 4)));
        return bytes;
    };
    for (int round = 0; round < 2000; ++round) {
        const QByteArray a = randomBytes();
        const QByteArray b = randomBytes();
        const quint32 expected = fullMatrixDistance(a, b);
        ASSERT_EQ(Levenshtein::distance(a, b), expected) << a.constData() << " / " << b.constData();
        ASSERT_EQ(Levenshtein::distance(b, a), expected) << a.constData() << " / " << b.constData();
    }
}

TEST(LevenshteinTest, TriangleInequality) {
    QRandomGenerator random(7);
    auto randomBytes = [&] {
        QByteArray bytes;
        const int length = int(random.bounded(0, 9));
        for (int i = 0; i < length; ++i) bytes.append(char(random.bounded(int('a'), int('a') + 3)));
        return bytes;
    };
    for (int round = 0; round < 500; ++round) {
        const QByteArray a = randomBytes(), b = randomBytes(), c = randomBytes();
        ASSERT_LE(Levenshtein::distance(a, c), Levenshtein::distance(a, b) + Levenshtein::distance(b, c));
    }
}

}  // namespace
}  // namespace vantrel
