#pragma once

#include <QSet>
#include <QString>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <concepts>
#include <type_traits>

namespace vantrel {

// Keys under which an item is found in prefix mode. Keywords are normalised
// (empty ones skipped). A name is folded (diacritics, character widths),
// "-", "." and "/" become spaces, camel-case humps and runs of capitals before
// a digit or a capitalised word are split apart, and the name is cut into words
// at single spaces (two spaces in a row leave an empty word in the list). Each
// word loses surrounding quotes and brackets and is normalised; only the first
// seven words count.
//
// A one-word name gives its normalised whole name. Otherwise the keys are the
// words joined by spaces, then for every word that still has words after it:
// the rest of the name, the initials so far glued to and spaced before the
// rest, each single initial before the rest, and the word followed by each
// later tail that skips at least one word; and every key again with its spaces
// removed. The normalised whole name is added as well unless it equals the
// split form of the name. So "Google Chrome Canary" is found by "chr", "gcc",
// "can" and "goo" as key prefixes.
QSet<QString> searchKeys(const QString& name, const QSet<QString>& keywords);

// Keys used in fuzzy mode: the normalised name and every normalised keyword,
// without word combinations. An empty name or keyword gives an empty key,
// which the trie ignores.
QSet<QString> fuzzyKeys(const QString& name, const QSet<QString>& keywords);

// The words of an ASCII name as searchKeys splits it ("-", "." and "/" as
// spaces, camel-case humps, the ten bracket and quote characters trimmed,
// lower case), at most 7; an empty word between two spaces stays. `split`,
// when given, receives the camel-case split text the words were cut from.
std::vector<std::string> asciiNameWords(const QString& name, std::string* split = nullptr);

// asciiNameWords over bytes, reusing its buffers from one name to the next:
// after split(name) there are wordCount() words, each a span of splitText()
// (the camel-case split text, case kept) with brackets and quotes trimmed.
class AsciiNameSplitter {
public:
    void split(std::string_view name);
    // The same on text whose separators were already replaced by spaces and
    // whose ends were trimmed.
    void splitTrimmed(std::string_view text);
    size_t wordCount() const { return m_words.size(); }
    size_t wordLength(size_t index) const { return m_words[index].second; }
    // Appends word `index`, lower-cased, to `out`.
    void appendLowerWord(size_t index, std::string& out) const;
    const std::string& splitText() const { return m_split; }

private:
    std::string m_separated;
    std::string m_runs;
    std::string m_split;
    std::vector<std::pair<size_t, size_t>> m_words;  // offset, length in m_split
};

namespace detail {

template <typename T>
concept HasIndexableKeywords = requires(const T& item) {
    { item.name() } -> std::convertible_to<QString>;
    item.indexableKeywords();
};

template <typename T>
concept HasKeywords = requires(const T& item) {
    { item.name() } -> std::convertible_to<QString>;
    item.keywords();
};

template <typename Keywords>
QSet<QString> keywordSet(const Keywords& keywords) {
    if constexpr (std::is_convertible_v<const Keywords&, QSet<QString>>) {
        return keywords;
    } else {
        QSet<QString> set;
        for (const auto& keyword : keywords) set.insert(QString(keyword));
        return set;
    }
}

template <typename T>
QSet<QString> keywordsOf(const T& item) {
    if constexpr (HasIndexableKeywords<T>)
        return keywordSet(item.indexableKeywords());
    else
        return keywordSet(item.keywords());
}

}  // namespace detail

// Anything with a name() and either indexableKeywords() or keywords() (a set or
// any range of strings); indexableKeywords() wins when both exist.
template <typename T>
concept IndexableItem = detail::HasIndexableKeywords<T> || detail::HasKeywords<T>;

template <IndexableItem T>
QSet<QString> searchKeys(const T& item) {
    return searchKeys(QString(item.name()), detail::keywordsOf(item));
}

template <IndexableItem T>
QSet<QString> fuzzyKeys(const T& item) {
    return fuzzyKeys(QString(item.name()), detail::keywordsOf(item));
}

}  // namespace vantrel
