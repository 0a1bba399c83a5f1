#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <string_view>

namespace vantrel::Levenshtein {

// Edit distance on bytes: inserting, deleting or substituting one byte costs 1.
// Computed row by row in one array of (a.size() + 1) cells.
quint32 distance(const QByteArray& a, const QByteArray& b);

// The byte distance of the UTF-8 forms, so a letter outside ASCII counts as
// its two to four bytes ("é" and "e" are two edits apart).
quint32 distance(const QString& a, const QString& b);

// distance(a, b) when it is at most `bound`, else bound + 1. Only the cells
// within `bound` of the diagonal are computed, and it stops at the first row
// that is entirely above the bound.
quint32 boundedDistance(std::string_view a, std::string_view b, quint32 bound);
// The same, where swapping two neighbouring bytes also costs 1 (the optimal
// string alignment distance: "xtrem" is one edit from "xterm").
quint32 boundedAlignment(std::string_view a, std::string_view b, quint32 bound);

}  // namespace vantrel::Levenshtein
