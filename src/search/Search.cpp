#include "search/Search.h"

#include "kit/Logger.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "search/Levenshtein.h"
#include "search/Normalization.h"
#include "search/RadixTreeIndex.h"

#include <QHash>

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace vantrel {

namespace {
const Logger& log() {
    static const Logger logger({QStringLiteral("Search"), QStringLiteral("🔎")});
    return logger;
}

std::vector<SearchItem> wrap(std::vector<SearchRecord> records, const SearchItemFilter& filter) {
    std::vector<SearchItem> items;
    items.reserve(records.size());
    for (SearchRecord& record : records) {
        SearchItem item = SearchItem::fromRecord(std::move(record));
        if (!filter || filter(item)) items.push_back(std::move(item));
    }
    return items;
}
}  // namespace

Search::Search(std::shared_ptr<SearchRepository> repository, std::shared_ptr<SearchIndex> index)
    : m_repository(std::move(repository)), m_index(std::move(index)) {}

SearchIndex& Search::searchIndex() {
    std::call_once(m_indexOnce, [this] {
        if (!m_index) m_index = std::make_shared<RadixTreeIndex>(m_repository);
    });
    return *m_index;
}

Ranking& Search::ranking() {
    std::call_once(m_rankingOnce, [this] { m_ranking = std::make_unique<Ranking>(m_repository); });
    return *m_ranking;
}

void Search::addSearchProvider(std::shared_ptr<SearchProvider> provider) {
    std::lock_guard lock(m_providersMutex);
    m_providers.push_back(std::move(provider));
}

std::vector<SearchItem> Search::providerResults(const QString& term) const {
    std::vector<std::shared_ptr<SearchProvider>> providers;
    {
        std::lock_guard lock(m_providersMutex);
        providers = m_providers;
    }
    std::vector<SearchItem> results;
    for (const auto& provider : providers) {
        std::vector<SearchItem> more = provider->results(term);
        std::move(more.begin(), more.end(), std::back_inserter(results));
    }
    return results;
}

void Search::indexAll(IndexingMode mode, std::function<void()> completion) {
    std::vector<SearchRecord> records;
    try {
        records = m_repository->readAllSearchResults({SearchRecord::Source::provider}, std::numeric_limits<int>::max());
    } catch (const std::exception& error) {
        log().error("Failed reading all db records", {{QStringLiteral("error"), VantrelError::describe(error)}});
    }
    searchIndex().index(records, mode, std::move(completion));
}

std::vector<SearchItem> Search::items(const QString& term, SearchOptions options, const SearchItemFilter& filter) {
    const QString t = normalizedForSearch(term);
    std::vector<SearchItem> results = wrap(searchIndex().itemsStartingWith(t), filter);
    if (results.empty()) {
        std::vector<SearchItem> answer;
        std::vector<SearchItem> corrected = corrections(t, kCorrectionMaxLength, kCorrectionMinDistance, options, filter);
        if (!corrected.empty()) answer.push_back(std::move(corrected.front()));
        std::vector<SearchItem> provided = ranking().rank(providerResults(term), t, options);
        std::move(provided.begin(), provided.end(), std::back_inserter(answer));
        return answer;
    }
    std::vector<SearchItem> provided = providerResults(term);
    std::move(provided.begin(), provided.end(), std::back_inserter(results));
    if (t.isEmpty()) return results;
    return ranking().rank(results, t, options);
}

std::vector<SearchItem> Search::corrections(const QString& term, int maxLength, int minDistance,
                                            SearchOptions options, const SearchItemFilter& filter) {
    const QString q = term.left(maxLength);
    if (q.isEmpty()) return {};
    const QByteArray query = q.toUtf8();
    // The distance is at least the difference in length, which rules out most
    // names without computing it.
    auto distanceTo = [&](const QString& lowerName) -> std::optional<std::pair<QString, qint64>> {
        const QString compared = lowerName.left(maxLength);
        const QByteArray bytes = compared.toUtf8();
        if (std::abs(bytes.size() - query.size()) > minDistance) return std::nullopt;
        const qint64 distance = Levenshtein::distance(query, bytes);
        if (distance > minDistance) return std::nullopt;
        return std::make_pair(compared, distance);
    };
    std::vector<CorrectedItem> corrected;
    const std::vector<std::pair<qint64, QString>> names = searchIndex().indexedNames();
    if (!names.empty()) {
        QHash<qint64, std::pair<QString, qint64>> close;
        for (const auto& [id, name] : names)
            if (auto match = distanceTo(name)) close.insert(id, *match);
        if (!close.isEmpty()) {
            try {
                for (SearchItem& item : wrap(m_repository->readSearchResults(close.keys(), SearchIndex::kReadAllLimit),
                                             filter)) {
                    const auto& [compared, distance] = close.value(*item.record()->id);
                    corrected.push_back({std::move(item), compared, distance});
                }
            } catch (const std::exception& error) {
                log().error("Failed reading db records", {{QStringLiteral("error"), VantrelError::describe(error)}});
            }
        }
    } else {
        for (SearchItem& item : wrap(searchIndex().itemsStartingWith(QString()), filter)) {
            if (auto match = distanceTo(item.name().toLower())) corrected.push_back({std::move(item), match->first, match->second});
        }
    }
    std::stable_sort(corrected.begin(), corrected.end(),
                     [](const CorrectedItem& a, const CorrectedItem& b) { return a.levenshtein < b.levenshtein; });
    std::vector<SearchItem> items;
    items.reserve(corrected.size());
    for (CorrectedItem& c : corrected) items.push_back(std::move(c.item));
    return ranking().rank(items, q, options);
}

std::vector<SearchItem> Search::suggestions(int limit, const SearchItemFilter& filter) {
    Q_ASSERT(limit >= 0);
    if (limit <= 0) return {};
    std::vector<SearchItem> all = wrap(searchIndex().itemsStartingWith(QString()), filter);
    std::vector<SearchItem> provided = providerResults(QString());
    std::move(provided.begin(), provided.end(), std::back_inserter(all));
    std::vector<SearchItem> ranked = ranking().rank(all, QString());
    if (ranked.size() > static_cast<size_t>(limit)) ranked.erase(ranked.begin() + limit, ranked.end());
    return ranked;
}

std::optional<SearchItem> Search::visit(const SearchItem& item, Ranking::VisitKind kind,
                                        const std::optional<QString>& searchTerm) {
    std::optional<SearchItem> updated = ranking().visit(item, kind, searchTerm);
    if (updated)
        NotificationCenter::defaultCenter().post(QString(NotificationNames::didUprankItem), updated->identifier());
    return updated;
}

SearchRecord Search::setAlias(const std::optional<QString>& alias, const QString& key) {
    return m_repository->setAlias(alias, key);
}

SearchRecord Search::setHotkey(const std::optional<QString>& hotkey, const QString& key) {
    return m_repository->setHotkey(hotkey, key);
}

double Search::addToFavorites(const QString& key) { return m_repository->addToFavorites(key); }

}  // namespace vantrel
