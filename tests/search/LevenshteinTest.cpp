#include "search/Levenshtein.h"
#include "search/SearchTestPrinters.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <algorithm>
#include <vector>

namespace vantrel {
namespace {

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

quint32 distance(const char* a, const char* b) {
    return Levenshtein::distance(u8(a), u8(b));
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

TEST(LevenshteinTest, ClassicPairs) {
    EXPECT_EQ(distance("kitten", "sitting"), 3u);
    EXPECT_EQ(distance("flaw", "lawn"), 2u);
    EXPECT_EQ(distance("saturday", "sunday"), 3u);
    EXPECT_EQ(distance("same", "same"), 0u);
    EXPECT_EQ(distance("abc", "cba"), 2u);
}

TEST(LevenshteinTest, EmptyStrings) {
    EXPECT_EQ(distance("", ""), 0u);
    EXPECT_EQ(distance("", "abc"), 3u);
    EXPECT_EQ(distance("abcd", ""), 4u);
    EXPECT_EQ(Levenshtein::distance(QByteArray(), QByteArray("xy")), 2u);
}

TEST(LevenshteinTest, TypoCorrectionDistances) {
    EXPECT_EQ(distance("safari", "sfari"), 1u);
    EXPECT_EQ(distance("safari", "safarj"), 1u);
    EXPECT_EQ(distance("safari", "sfarj"), 2u);
    EXPECT_EQ(distance("safari", "safari"), 0u);
}

TEST(LevenshteinTest, CountsUtf8Bytes) {
    // "é" is two bytes, neither of them "e".
    EXPECT_EQ(distance("é", "e"), 2u);
    EXPECT_EQ(distance("café", "cafe"), 2u);
    EXPECT_EQ(distance("é", "è"), 1u);  // same lead byte
    EXPECT_EQ(distance("😀", ""), 4u);
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
