#pragma once

// Readable failure messages for the text and result types of the search tests.

#include "search/Trie.h"
#include "support/QtPrinters.h"

#include <QList>
#include <QSet>

#include <algorithm>
#include <ostream>

// Sets print sorted so that two failing sets can be compared by eye.
inline void PrintTo(const QSet<QString>& set, std::ostream* os) {
    QStringList sorted(set.begin(), set.end());
    std::sort(sorted.begin(), sorted.end());
    *os << '{';
    for (qsizetype i = 0; i < sorted.size(); ++i) {
        if (i) *os << ", ";
        PrintTo(sorted[i], os);
    }
    *os << '}';
}

namespace vantrel {

inline void PrintTo(const TrieMatch& match, std::ostream* os) {
    *os << "TrieMatch{";
    ::PrintTo(match.value, os);
    *os << ", indices [";
    for (qsizetype i = 0; i < match.indices.size(); ++i) *os << (i ? ", " : "") << match.indices[i];
    *os << "], meta [";
    for (qsizetype i = 0; i < match.meta.size(); ++i) *os << (i ? ", " : "") << match.meta[i];
    *os << "]}";
}

}  // namespace vantrel
