#pragma once

#include "data/SearchRecord.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace vantrel {

class CorrectionIndex;

enum class IndexingMode { prefix, fuzzy };
QString indexingModeName(IndexingMode mode);

// An in-memory (or full-text) index over search records. Lookups never throw:
// a failing read is logged and answers an empty list.
class SearchIndex {
public:
    virtual ~SearchIndex() = default;
    // Rebuilds the index from the records; the completion runs on the main
    // thread once the new index answers lookups.
    virtual void index(const std::vector<SearchRecord>& records, IndexingMode mode,
                       std::function<void()> completion = {}) = 0;
    // Records with a key starting with the (normalised) term; the empty term
    // answers every record not coming from a provider, at most 10000.
    virtual std::vector<SearchRecord> itemsStartingWith(const QString& term) const = 0;
    // Records whose keys contain the term's characters in order.
    virtual std::vector<SearchRecord> itemsContaining(const QString& term) const = 0;

    // Whether the empty term answers the repository's installed rows (not of
    // the provider source, at most kReadAllLimit, by id) and nothing else, so
    // that the answer stays the same while the table's version does.
    virtual bool answersEmptyTermFromTable() const { return false; }

    // The names and name words of the indexed records, so typo correction
    // compares them without reading every row; null when the index keeps none.
    virtual std::shared_ptr<const CorrectionIndex> correctionIndex() const { return nullptr; }

    static constexpr int kReadAllLimit = 10000;
    static constexpr int kReadIdsLimit = 1000;
};

}  // namespace vantrel
