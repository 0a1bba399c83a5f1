#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <map>
#include <memory>
#include <optional>

namespace vantrel {

// One answer of a trie lookup.
struct TrieMatch {
    // The matched word.
    QString value;
    // Positions in value, counted in user-perceived characters: for a fuzzy
    // match the position of each matched query character, for a prefix or
    // exact match the span of the query (0, 1, ... up to its length - 1).
    QList<int> indices;
    // The ids attached to the word.
    QList<qint64> meta;

    bool operator==(const TrieMatch&) const = default;
};

// A node of the character trie. Children are owned by their parent; the parent
// link is a plain back pointer.
struct TrieNode {
    // The character (grapheme cluster) on the edge into this node; absent at
    // the root.
    std::optional<QString> key;
    TrieNode* parent = nullptr;
    std::map<QString, std::unique_ptr<TrieNode>> children;
    // A whole inserted word ends here.
    bool isTerminating = false;
    // The word prefix from the root down to and including this node.
    QString path;
    // Letter mask of every word suffix that starts at this node (this node's
    // character and everything below it); 0 when masks are not kept.
    qint64 mask = 0;
    // Ids attached to the word that ends here.
    QList<qint64> meta;
};

// A trie over user-perceived characters with optional letter masks for pruned
// fuzzy (ordered-subsequence) search. Not thread-safe: the owner serialises
// every call.
class Trie {
public:
    Trie() = default;
    Trie(const Trie&) = delete;
    Trie& operator=(const Trie&) = delete;
    // Moving hands the whole tree over; the moved-from trie is left empty.
    Trie(Trie&& other) noexcept;
    Trie& operator=(Trie&& other) noexcept;

    // Adds a word; an empty word changes nothing. With meta, the id is appended
    // to the word's ids (a word inserted for two records carries both). With
    // computeMask, the letter masks along the way are extended so that fuzzy
    // search can prune.
    void insert(const QString& word, std::optional<qint64> meta = std::nullopt, bool computeMask = false);

    // The word when a whole inserted word ends exactly there.
    std::optional<TrieMatch> find(const QString& word) const;

    // Removes a word (and its ids); nodes left without words below them are
    // deleted and the masks of their ancestors recomputed. Words that share a
    // prefix with it stay.
    void remove(const QString& word);

    // Every word starting with the prefix (the prefix itself included), depth
    // first. An empty prefix gives every word.
    QList<TrieMatch> wordsWithPrefix(const QString& prefix) const;

    // Every word that contains the query's characters in order (not
    // necessarily adjacent), with the positions of the earliest such match.
    // An empty query gives nothing. The order is not meaningful.
    QList<TrieMatch> fuzzySearch(const QString& query) const;

    // The tree, one node a line, indented by depth: the character, "*" on word
    // ends, the ids and the mask in hex when set.
    QString debugDescription() const;

    const TrieNode& root() const { return m_root; }

private:
    const TrieNode* nodeFor(const QStringList& characters) const;

    TrieNode m_root;
};

}  // namespace vantrel
