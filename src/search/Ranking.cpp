#include "search/Ranking.h"

#include "data/Frecency.h"
#include "kit/Logger.h"

#include <algorithm>
#include <cmath>

namespace vantrel {

namespace {
const Logger& log() {
    static const Logger logger({QStringLiteral("Ranking"), QStringLiteral("🏅")});
    return logger;
}

// QString::toLower, without a new string for the common ASCII names that
// are lower case already, and without the Unicode tables for other ASCII ones.
QString lowerCased(QString name) {
    const QChar* begin = name.constData();
    const QChar* end = begin + name.size();
    bool upper = false;
    for (const QChar* c = begin; c != end; ++c) {
        const char16_t u = c->unicode();
        if (u >= 0x80) return std::move(name).toLower();
        upper = upper || (u >= u'A' && u <= u'Z');
    }
    if (!upper) return name;
    QString lower(name.size(), Qt::Uninitialized);
    QChar* out = lower.data();
    for (const QChar* c = begin; c != end; ++c, ++out) {
        const char16_t u = c->unicode();
        *out = QChar(u >= u'A' && u <= u'Z' ? char16_t(u + (u'a' - u'A')) : u);
    }
    return lower;
}

bool isApplicationLike(SearchRecord::ContentType type) {
    return type == SearchRecord::ContentType::systemApp || type == SearchRecord::ContentType::prefPane;
}
}  // namespace

Ranking::Ranking(std::shared_ptr<SearchRepository> repo) : repository(std::move(repo)) {}

std::optional<double> Ranking::visitScore(const SearchResult& result, const QString& term, const QDateTime& now) {
    const std::optional<QDateTime> frecency = result.frecencyDate();
    if (!frecency) return std::nullopt;
    double score = Frecency::score(*frecency, now);
    int uses = 0;
    if (const std::optional<QString> terms = result.searchTerms(); terms && !terms->isEmpty()) {
        for (const QString& entry : terms->split(QLatin1Char(',')))
            if (entry == term) ++uses;
    }
    if (uses != 0) score = std::pow(score, 1.0 + uses / 5.0);
    return score;
}

Ranking::RankableItem Ranking::rankable(const SearchItem& item, const QString& term, SearchOptions options,
                                        const QDateTime& now) {
    const SearchResult& result = item.result();
    RankableItem rankable{item, lowerCased(result.name()), false, result.frecencyDate(), result.type(), result.alias(),
                          std::nullopt};
    rankable.hasPrefix = rankable.name.startsWith(term);
    if (options.contains(SearchOptions::rankBySearchTerms)) rankable.visitScore = visitScore(result, term, now);
    return rankable;
}

bool Ranking::isOrderedBefore(const RankableItem& a, const RankableItem& b, const QString& term) {
    // 1. Exact alias.
    const bool aAlias = a.alias && *a.alias == term;
    const bool bAlias = b.alias && *b.alias == term;
    if (aAlias != bAlias) return aAlias;
    // 2. Exact name.
    const bool aName = a.name == term;
    const bool bName = b.name == term;
    if (aName != bName) return aName;
    // 3. Visit score.
    if (a.visitScore.has_value() != b.visitScore.has_value()) return a.visitScore.has_value();
    if (a.visitScore && b.visitScore) return *a.visitScore > *b.visitScore;
    // 4. An alias that is not the term ranks below no alias at all.
    const bool aOtherAlias = a.alias && *a.alias != term;
    const bool bOtherAlias = b.alias && *b.alias != term;
    if (!a.alias && bOtherAlias) return true;
    if (aOtherAlias && !b.alias) return false;
    // 5. Frecency.
    if (a.frecencyDate.has_value() != b.frecencyDate.has_value()) return a.frecencyDate.has_value();
    if (a.frecencyDate && b.frecencyDate) return *a.frecencyDate > *b.frecencyDate;
    // 6. Prefix.
    if (a.hasPrefix != b.hasPrefix) return a.hasPrefix;
    // 7. Kind: commands before applications and settings panels.
    if (a.type == SearchRecord::ContentType::command && isApplicationLike(b.type)) return true;
    if (b.type == SearchRecord::ContentType::command && isApplicationLike(a.type)) return false;
    // 8. Name.
    return a.name < b.name;
}

std::vector<SearchItem> Ranking::rank(const std::vector<SearchItem>& items, const QString& term,
                                      SearchOptions options) const {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    std::vector<RankableItem> input;
    input.reserve(items.size());
    for (const SearchItem& item : items) input.push_back(rankable(item, term, options, now));
    // Positions are sorted rather than the ranking records themselves, so the
    // merge moves integers, not strings.
    std::vector<quint32> order(input.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<quint32>(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](quint32 a, quint32 b) { return isOrderedBefore(input[a], input[b], term); });
    std::vector<SearchItem> ranked;
    ranked.reserve(input.size());
    for (quint32 position : order) ranked.push_back(std::move(input[position].item));
    return ranked;
}

std::optional<SearchItem> Ranking::visit(const SearchItem& item, VisitKind, const std::optional<QString>& searchTerm) {
    const SearchRecord* record = item.record();
    if (!record || !record->id) return std::nullopt;
    try {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        auto updated = repository->updateRecord(*record->id, [&](SearchRecord stored) -> std::optional<SearchRecord> {
            const QDateTime old = stored.frecencyDate.value_or(now);
            const QDateTime fresh = Frecency::addingVisit(now, old, now);
            log().debug(QStringLiteral("visit:item %1, old score: %2, new score: %3")
                            .arg(stored.key)
                            .arg(Frecency::score(old, now), 0, 'f', 6)
                            .arg(Frecency::score(fresh, now), 0, 'f', 6));
            stored.frecencyDate = fresh;
            stored.openedAt = now;
            if (searchTerm)
                stored.searchTerms =
                    SearchRepository::appendingSearchTerm(stored.searchTerms.value_or(QString()), *searchTerm);
            if (stored.searchTerms && stored.searchTerms->isEmpty()) stored.searchTerms.reset();
            return stored;
        });
        if (!updated) return std::nullopt;
        return SearchItem::fromRecord(std::move(*updated));
    } catch (const std::exception& error) {
        log().error(QStringLiteral("Failed updating frecency for item: ") + item.identifier(),
                    {{QStringLiteral("error"), VantrelError::describe(error)}});
        return std::nullopt;
    }
}

void Ranking::removeAllVisits() {
    try {
        repository->resetAllFrecencies();
    } catch (const std::exception& error) {
        log().error("Failed resetting all frecencies", {{QStringLiteral("error"), VantrelError::describe(error)}});
    }
}

}  // namespace vantrel
