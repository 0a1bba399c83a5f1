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

namespace {

quint32 banded(std::string_view a, std::string_view b, quint32 bound, bool transpositions) {
    const size_t la = a.size();
    const size_t lb = b.size();
    const size_t gap = la > lb ? la - lb : lb - la;
    if (gap > bound) return bound + 1;
    const quint32 over = bound + 1;
    // Three rows of b.size() + 1 cells: two rows back (for swaps), the
    // previous row and the current one.
    quint32 onStack[3 * 64];
    std::vector<quint32> onHeap;
    quint32* cells = onStack;
    if (lb + 1 > 64) {
        onHeap.resize(3 * (lb + 1));
        cells = onHeap.data();
    }
    std::fill(cells, cells + 3 * (lb + 1), over);
    quint32* before = cells;
    quint32* previous = before + (lb + 1);
    quint32* current = previous + (lb + 1);
    for (size_t j = 0; j <= lb && j <= bound; ++j) previous[j] = static_cast<quint32>(j);
    for (size_t i = 1; i <= la; ++i) {
        const size_t from = i > bound ? i - bound : 1;
        const size_t to = std::min(lb, i + bound);
        // Only the band is written; the cell left of it and the one right of
        // it are what the next rows read outside it.
        current[from - 1] = i <= bound ? static_cast<quint32>(i) : over;
        if (to < lb) current[to + 1] = over;
        quint32 lowest = current[from - 1];
        for (size_t j = from; j <= to; ++j) {
            quint32 cell = std::min(previous[j] + 1, current[j - 1] + 1);
            cell = std::min(cell, previous[j - 1] + (a[i - 1] == b[j - 1] ? 0u : 1u));
            if (transpositions && i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                cell = std::min(cell, before[j - 2] + 1);
            current[j] = std::min(cell, over);
            lowest = std::min(lowest, current[j]);
        }
        if (lowest > bound) return over;
        std::swap(before, previous);
        std::swap(previous, current);
    }
    return std::min(previous[lb], over);
}

}  // namespace

quint32 boundedDistance(std::string_view a, std::string_view b, quint32 bound) { return banded(a, b, bound, false); }

quint32 boundedAlignment(std::string_view a, std::string_view b, quint32 bound) { return banded(a, b, bound, true); }

}  // namespace vantrel::Levenshtein
