#pragma once

#include "data/SearchRepository.h"
#include "search/Ranking.h"
#include "search/SearchIndex.h"
#include "search/SearchItem.h"

#include <QString>

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace vantrel {

// Adds results that do not come from the index (calculator, links, fallbacks…).
class SearchProvider {
public:
    virtual ~SearchProvider() = default;
    virtual std::vector<SearchItem> results(const QString& term) const = 0;
};

// A lookup that found nothing answers the closest name instead.
struct CorrectedItem {
    SearchItem item;
    QString name;  // the compared prefix of the lower-cased name
    qint64 levenshtein = 0;
};

// The query side of the search engine: prefix lookups with typo correction,
// suggestions, and visits. Its index, ranking and providers are created on
// first use and kept for its lifetime.
class Search {
public:
    explicit Search(std::shared_ptr<SearchRepository> repository, std::shared_ptr<SearchIndex> index = nullptr);

    SearchIndex& searchIndex();
    Ranking& ranking();
    const std::shared_ptr<SearchRepository>& repository() const { return m_repository; }

    void addSearchProvider(std::shared_ptr<SearchProvider> provider);

    // Reads every installed record and rebuilds the index from it.
    void indexAll(IndexingMode mode = IndexingMode::prefix, std::function<void()> completion = {});

    std::vector<SearchItem> items(const QString& term, SearchOptions options = {},
                                  const SearchItemFilter& filter = {});
    std::vector<SearchItem> corrections(const QString& term, int maxLength = 20, int minDistance = 1,
                                        SearchOptions options = {}, const SearchItemFilter& filter = {});
    // limit must not be negative.
    std::vector<SearchItem> suggestions(int limit, const SearchItemFilter& filter = {});

    // Records a visit and posts "didUprankItemNotification" with the item's key.
    std::optional<SearchItem> visit(const SearchItem& item, Ranking::VisitKind kind = Ranking::VisitKind::defaultVisit,
                                    const std::optional<QString>& searchTerm = std::nullopt);

    SearchRecord setAlias(const std::optional<QString>& alias, const QString& key);
    SearchRecord setHotkey(const std::optional<QString>& hotkey, const QString& key);
    double addToFavorites(const QString& key);

    static constexpr int kCorrectionMaxLength = 20;
    static constexpr int kCorrectionMinDistance = 1;

private:
    std::vector<SearchItem> providerResults(const QString& term) const;

    std::shared_ptr<SearchRepository> m_repository;
    std::once_flag m_indexOnce;
    std::shared_ptr<SearchIndex> m_index;
    std::once_flag m_rankingOnce;
    std::unique_ptr<Ranking> m_ranking;
    mutable std::mutex m_providersMutex;
    std::vector<std::shared_ptr<SearchProvider>> m_providers;
};

}  // namespace vantrel
