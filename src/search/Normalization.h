#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace vantrel {

// The text transform every name, keyword and query goes through before it
// meets an index: any script transliterated to Latin, stripped to ASCII and
// lower-cased ("Any-Latin; Latin-ASCII; Any-Lower"). When the transliterator
// cannot be created the input comes back unchanged. Thread-safe: each thread
// works on its own copy of the transliterator.
QString normalizedForSearch(const QString& text);

// Diacritic- and width-insensitive folding, case unchanged, used before a name
// is split into words:
// - every code point whose compatibility decomposition is tagged <wide> or
//   <narrow> (full-width ASCII, the ideographic space, half-width katakana,
//   half-width Hangul and symbols) is replaced by that decomposition;
// - the text is put into canonical decomposed form (NFD), every non-spacing
//   mark that is also a diacritic (Unicode properties Mn and Diacritic) is
//   dropped, and the remainder is recomposed (NFC).
// So "Crème Brûlée" becomes "Creme Brulee" and "ＡＢＣ" becomes "ABC". Spacing
// vowel signs and non-diacritic marks of other scripts are kept. ASCII text
// comes back unchanged.
QString foldedForSearchKeys(const QString& text);

// Letter mask: for every Unicode scalar c, d = c - 97; when 0 <= d <= 63 bit d
// is set. Lower-case ASCII letters land in bits 0-25; digits, upper case and
// most punctuation contribute nothing. Used to prune fuzzy trie walks.
qint64 letterMask(const QString& text);

// The user-perceived characters (extended grapheme clusters) of a text, in
// order. "e" followed by a combining acute accent is one cluster, as is
// "\r\n".
QStringList graphemeClusters(const QString& text);

namespace detail {
// The transliteration itself, without the ASCII shortcut that
// normalizedForSearch takes (exposed so tests can check the two agree).
QString transliterateForSearch(const QString& text);
}  // namespace detail

}  // namespace vantrel
