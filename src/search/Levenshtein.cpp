#include "search/Levenshtein.h"

#include <algorithm>
#include <vector>

namespace vantrel::Levenshtein {

quint32 distance(const QByteArray& a, const QByteArray& b) {
    const auto lengthA = static_cast<size_t>(a.size());
    // row[i] = distance between a[0..i) and the part of b seen so far.
    std::vector<quint32> row(lengthA + 1);
    for (size_t i = 0; i <= lengthA; ++i) row[i] = static_cast<quint32>(i);

    quint32 column = 0;
    for (const char byteB : b) {
        ++column;
        quint32 diagonal = row[0];  // the previous row's value left of the current cell
        row[0] = column;
        for (size_t i = 1; i <= lengthA; ++i) {
            const quint32 above = row[i];
            const quint32 substitution = diagonal + (a[static_cast<qsizetype>(i - 1)] == byteB ? 0 : 1);
            row[i] = std::min({above + 1, row[i - 1] + 1, substitution});
            diagonal = above;
        }
    }
    return row[lengthA];
}

quint32 distance(const QString& a, const QString& b) { return distance(a.toUtf8(), b.toUtf8()); }

}  // namespace vantrel::Levenshtein
