#pragma once

#include "data/SearchRepository.h"
#include "search/SearchItem.h"

#include <QDateTime>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace vantrel {

struct SearchOptions {
    qint64 rawValue = 0;
    // Each result also gets a score from the visits made with this very query.
    static constexpr qint64 rankBySearchTerms = 1;
    bool contains(qint64 option) const { return (rawValue & option) == option; }
};

// Orders what a lookup found (exact alias, exact name, search-term visit
// score, alias presence, frecency, prefix, kind, name) and records visits.
class Ranking {
public:
    enum class VisitKind { defaultVisit };

    // The ranking input built once per item and query.
    struct RankableItem {
        SearchItem item;
        QString name;  // lower-cased
        bool hasPrefix = false;
        std::optional<QDateTime> frecencyDate;
        SearchRecord::ContentType type = SearchRecord::ContentType::unknown;
        std::optional<QString> alias;
        std::optional<double> visitScore;
    };

    explicit Ranking(std::shared_ptr<SearchRepository> repository);

    std::shared_ptr<SearchRepository> repository;

    std::vector<SearchItem> rank(const std::vector<SearchItem>& items, const QString& term,
                                 SearchOptions options = {}) const;

    // Raises the item's frecency by one visit and remembers the search term, in
    // one write transaction. Nothing when the item has no stored row or the
    // write fails.
    std::optional<SearchItem> visit(const SearchItem& item, VisitKind kind = VisitKind::defaultVisit,
                                    const std::optional<QString>& searchTerm = std::nullopt);
    void removeAllVisits();

    static RankableItem rankable(const SearchItem& item, const QString& term, SearchOptions options,
                                 const QDateTime& now);
    // score(frecency), raised to 1 + n/5 when the term was used n times to open it.
    static std::optional<double> visitScore(const SearchResult& result, const QString& term, const QDateTime& now);
    // The comparison chain: true when a goes before b.
    static bool isOrderedBefore(const RankableItem& a, const RankableItem& b, const QString& term);
};

}  // namespace vantrel
