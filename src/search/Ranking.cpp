#include "search/Ranking.h"

#include "data/Frecency.h"
#include "kit/Logger.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

// One item's answers to the comparison chain, worked out once per query so
// that the sort compares flags and numbers, and names only when all of those
// tie (their first four UTF-16 units first, packed into one integer). An
// ASCII name is kept as it is and lower-cased unit by unit where it is read,
// which gives what lowerCased() gives without a new string per item.
struct ChainKey {
    enum Kind : quint8 { otherKind, commandKind, applicationKind };
    QString name;  // lower-cased, or ASCII to lower-case while reading (foldAscii)
    quint64 nameHead = 0;
    qint64 frecency = 0;  // milliseconds since 1970; an invalid date below every valid one
    double visitScore = 0;
    bool foldAscii = false;
    bool exactAlias = false;
    bool exactName = false;
    bool hasVisitScore = false;
    bool hasAlias = false;
    bool otherAlias = false;  // an alias that is not the term
    bool hasFrecency = false;
    bool hasPrefix = false;
    Kind kind = otherKind;

    char16_t unit(qsizetype i) const {
        const char16_t u = name.constData()[i].unicode();
        return foldAscii && u >= u'A' && u <= u'Z' ? char16_t(u + (u'a' - u'A')) : u;
    }
};

bool isAscii(const QString& text) {
    const QChar* c = text.constData();
    for (const QChar* end = c + text.size(); c != end; ++c)
        if (c->unicode() >= 0x80) return false;
    return true;
}

// The lower-cased name's units from `from` equal `other`'s, for other.size() units.
bool unitsEqual(const ChainKey& key, qsizetype from, const QString& other) {
    const QChar* o = other.constData();
    for (qsizetype i = 0; i < other.size(); ++i)
        if (key.unit(from + i) != o[i].unicode()) return false;
    return true;
}

// QString's order (UTF-16 units, then length) of the lower-cased names.
bool nameLess(const ChainKey& a, const ChainKey& b) {
    const qsizetype common = std::min(a.name.size(), b.name.size());
    for (qsizetype i = 0; i < common; ++i) {
        const char16_t x = a.unit(i);
        const char16_t y = b.unit(i);
        if (x != y) return x < y;
    }
    return a.name.size() < b.name.size();
}

// What Ranking::rankable reads, answered for the chain.
ChainKey chainKey(const SearchItem& item, const QString& term, SearchOptions options, const QDateTime& now) {
    const SearchResult& result = item.result();
    ChainKey key;
    key.name = result.name();
    key.foldAscii = isAscii(key.name);
    if (key.foldAscii) {
        // As QString::startsWith and == answer for the lower-cased copy, which
        // is this very string (a null one included) when nothing is upper case.
        if (key.name.isNull())
            key.hasPrefix = term.isNull();
        else
            key.hasPrefix = key.name.size() >= term.size() && unitsEqual(key, 0, term);
        key.exactName = key.name.size() == term.size() && unitsEqual(key, 0, term);
    } else {
        key.name = std::move(key.name).toLower();
        key.hasPrefix = key.name.startsWith(term);
        key.exactName = key.name == term;
    }
    for (qsizetype i = 0; i < 4; ++i) key.nameHead = (key.nameHead << 16) | (i < key.name.size() ? key.unit(i) : 0u);
    if (const std::optional<QString> alias = result.alias()) {
        key.hasAlias = true;
        key.exactAlias = *alias == term;
        key.otherAlias = !key.exactAlias;
    }
    if (const std::optional<QDateTime> frecency = result.frecencyDate()) {
        key.hasFrecency = true;
        key.frecency = frecency->isValid() ? frecency->toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
    }
    if (options.contains(SearchOptions::rankBySearchTerms)) {
        if (const std::optional<double> score = Ranking::visitScore(result, term, now)) {
            key.hasVisitScore = true;
            key.visitScore = *score;
        }
    }
    const SearchRecord::ContentType type = result.type();
    key.kind = type == SearchRecord::ContentType::command ? ChainKey::commandKind
               : isApplicationLike(type)                  ? ChainKey::applicationKind
                                                          : ChainKey::otherKind;
    return key;
}

// Ranking::isOrderedBefore over the worked-out answers.
bool chainOrdersBefore(const ChainKey& a, const ChainKey& b) {
    if (a.exactAlias != b.exactAlias) return a.exactAlias;
    if (a.exactName != b.exactName) return a.exactName;
    if (a.hasVisitScore != b.hasVisitScore) return a.hasVisitScore;
    if (a.hasVisitScore) return a.visitScore > b.visitScore;
    if (!a.hasAlias && b.otherAlias) return true;
    if (a.otherAlias && !b.hasAlias) return false;
    if (a.hasFrecency != b.hasFrecency) return a.hasFrecency;
    if (a.hasFrecency) return a.frecency > b.frecency;
    if (a.hasPrefix != b.hasPrefix) return a.hasPrefix;
    if (a.kind == ChainKey::commandKind && b.kind == ChainKey::applicationKind) return true;
    if (b.kind == ChainKey::commandKind && a.kind == ChainKey::applicationKind) return false;
    if (a.nameHead != b.nameHead) return a.nameHead < b.nameHead;
    return nameLess(a, b);
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
    std::vector<ChainKey> keys;
    keys.reserve(items.size());
    for (const SearchItem& item : items) keys.push_back(chainKey(item, term, options, now));
    // Positions are sorted rather than the ranking records themselves, so the
    // merge moves integers, not strings.
    std::vector<quint32> order(keys.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<quint32>(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](quint32 a, quint32 b) { return chainOrdersBefore(keys[a], keys[b]); });
    std::vector<SearchItem> ranked;
    ranked.reserve(items.size());
    for (quint32 position : order) ranked.push_back(items[position]);
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
