#pragma once

#include "data/SearchRepository.h"
#include "search/SearchIndex.h"
#include "search/Trie.h"

#include <QList>

#include <memory>
#include <shared_mutex>

namespace vantrel {

// A search index on a character trie. In prefix mode every search key of every
// record is a word of the trie; in fuzzy mode only the normalised name and
// keywords are, with letter masks so that subsequence lookups can prune. Each
// word carries the ids of the records it came from.
//
// A rebuild fills a new trie off to the side and swaps it in under the write
// lock; lookups (under the read lock) keep answering from the previous trie
// until then.
class TrieIndex : public SearchIndex {
public:
    explicit TrieIndex(std::shared_ptr<SearchRepository> repository);

    void index(const std::vector<SearchRecord>& records, IndexingMode mode,
               std::function<void()> completion = {}) override;
    // The empty term reads every record not coming from a provider; any other
    // term reads the records of the words starting with it, at most 1000.
    std::vector<SearchRecord> itemsStartingWith(const QString& term) const override;
    // Terms of fewer than two characters answer as itemsStartingWith(); longer
    // ones read the records of the words containing the term's characters in
    // order, at most 1000.
    std::vector<SearchRecord> itemsContaining(const QString& term) const override;
    bool answersEmptyTermFromTable() const override { return true; }

    // The ids of the words starting with the term / containing its characters
    // in order (no database read), each once.
    QList<qint64> idsStartingWith(const QString& term) const;
    QList<qint64> idsContaining(const QString& term) const;

    // Builds the trie for the records without touching the live index.
    static std::unique_ptr<Trie> buildTrie(const std::vector<SearchRecord>& records, IndexingMode mode);

private:
    std::vector<SearchRecord> readRecords(const QList<qint64>& ids) const;

    std::shared_ptr<SearchRepository> m_repository;
    mutable std::shared_mutex m_lock;  // "trieindex.queue": reads shared, swaps exclusive
    std::unique_ptr<Trie> m_trie;
};

}  // namespace vantrel
