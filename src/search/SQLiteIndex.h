#pragma once

#include "data/SearchRepository.h"
#include "search/SearchIndex.h"

#include <memory>

namespace vantrel {

// A search index that keeps nothing in memory: the search table's full-text
// table is the index, so indexing has nothing to build and every lookup is one
// query. Prefix and fuzzy lookups both run the full-text prefix search.
class SQLiteIndex : public SearchIndex {
public:
    explicit SQLiteIndex(std::shared_ptr<SearchRepository> repository);

    // Only posts the completion to the main thread.
    void index(const std::vector<SearchRecord>& records, IndexingMode mode,
               std::function<void()> completion = {}) override;
    std::vector<SearchRecord> itemsStartingWith(const QString& term) const override;
    std::vector<SearchRecord> itemsContaining(const QString& term) const override;

private:
    std::vector<SearchRecord> lookup(const QString& term) const;

    std::shared_ptr<SearchRepository> m_repository;
};

}  // namespace vantrel
