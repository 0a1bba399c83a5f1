#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace vantrel::Levenshtein {

// Edit distance on bytes: inserting, deleting or substituting one byte costs 1.
// Computed row by row in one array of (a.size() + 1) cells.
quint32 distance(const QByteArray& a, const QByteArray& b);

// The byte distance of the UTF-8 forms, so a letter outside ASCII counts as
// its two to four bytes ("é" and "e" are two edits apart).
quint32 distance(const QString& a, const QString& b);

}  // namespace vantrel::Levenshtein
