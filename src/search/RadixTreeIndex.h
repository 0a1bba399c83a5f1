#pragma once

#include "data/SearchRepository.h"
#include "search/CorrectionIndex.h"
#include "search/SearchIndex.h"
#include "search/SortedKeyTable.h"

#include <functional>
#include <memory>
#include <vector>
#include <shared_mutex>

namespace vantrel {

// Thread CPU time of the phases of an index build, in microseconds, for the
// benchmarks: deriving and sorting the keys (one entry per thread and share of
// the records), filling the table (one entry per range of first bytes),
// joining the filled tables, and the typo-correction tables.
struct IndexBuildCpu {
    std::vector<qint64> derive;
    std::vector<qint64> sort;
    std::vector<qint64> fill;
    qint64 join = 0;
    qint64 corrections = 0;
};

// The prefix index of root search: every search key of every record, in
// Unicode composed form, followed by the record id in decimal, maps to that id.
// Each distinct key is stored once with its ids (a SortedKeyTable), and lookups
// walk the strings `key + id` in byte order, as a radix tree of those strings
// would. A rebuild fills a new table off to the side and swaps it in under the
// write lock, so lookups (under the read lock) keep answering from the previous one.
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

    // The phases of the last build.
    IndexBuildCpu lastBuildCpu() const;

    // The share of all records the calling thread hands to the other threads
    // when it also runs work beside the keys: the correction tables cost about
    // as much as deriving and sorting twice that share.
    static constexpr double kBesideShare = 0.1;

    // Builds the key table for the records without touching the live index;
    // `beside` runs on the calling thread once its share of the keys is
    // derived, while the other threads derive theirs.
    static std::unique_ptr<SortedKeyTable> buildKeys(const std::vector<SearchRecord>& records,
                                                     IndexBuildCpu* cpu = nullptr,
                                                     const std::function<void()>& beside = {});

private:
    std::shared_ptr<SearchRepository> m_repository;
    mutable std::shared_mutex m_lock;  // "radixtreeindex.queue": reads shared, swaps exclusive
    std::unique_ptr<SortedKeyTable> m_keys;
    std::shared_ptr<const CorrectionIndex> m_corrections;
    IndexBuildCpu m_lastBuildCpu;
    qint64 m_idWords = 1;  // 64-bit words of a bitmap over the indexed ids
};

}  // namespace vantrel
