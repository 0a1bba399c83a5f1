#pragma once

#include "data/SearchRepository.h"
#include "search/CorrectionIndex.h"
#include "search/RadixTree.h"
#include "search/SearchIndex.h"

#include <memory>
#include <shared_mutex>

namespace vantrel {

// The prefix index of root search: every search key of every record, stored in
// Unicode composed form followed by the record id in decimal, maps to that id.
// A rebuild fills a new tree off to the side and swaps it in under the write
// lock, so lookups (under the read lock) keep answering from the previous tree.
class RadixTreeIndex : public SearchIndex {
public:
    explicit RadixTreeIndex(std::shared_ptr<SearchRepository> repository);

    void index(const std::vector<SearchRecord>& records, IndexingMode mode,
               std::function<void()> completion = {}) override;
    std::vector<SearchRecord> itemsStartingWith(const QString& term) const override;
    std::vector<SearchRecord> itemsContaining(const QString& term) const override;
    bool answersEmptyTermFromTable() const override { return true; }
    std::shared_ptr<const CorrectionIndex> correctionIndex() const override;

    // The ids whose keys start with the term, at most kReadIdsLimit (no database read).
    QList<qint64> idsStartingWith(const QString& term) const;
    quint64 keyCount() const;

    // Builds the tree for the records without touching the live index.
    static std::unique_ptr<RadixTree<qint64>> buildTree(const std::vector<SearchRecord>& records);

private:
    std::shared_ptr<SearchRepository> m_repository;
    mutable std::shared_mutex m_lock;  // "radixtreeindex.queue": reads shared, swaps exclusive
    std::unique_ptr<RadixTree<qint64>> m_tree;
    std::shared_ptr<const CorrectionIndex> m_corrections;
    qint64 m_idWords = 1;  // 64-bit words of a bitmap over the indexed ids
};

}  // namespace vantrel
