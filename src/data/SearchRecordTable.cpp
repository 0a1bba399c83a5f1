#include "data/SearchRecordTable.h"

#include <algorithm>
#include <mutex>

namespace vantrel {

namespace {

enum Flag : quint8 {
    uninstalledFlag = 1,
    hasKeywords = 2,
    hasPath = 4,
    hasCategory = 8,
    // One of the columns kept in maps by id has a value.
    hasSparse = 16,
};

std::optional<QString> optionalOf(bool present, const QString& value) {
    return present ? std::optional<QString>(value) : std::nullopt;
}

template <typename V>
std::optional<V> lookup(const QHash<qint64, V>& map, qint64 id) {
    const auto found = map.constFind(id);
    if (found == map.constEnd()) return std::nullopt;
    return *found;
}

template <typename V>
void store(QHash<qint64, V>& map, qint64 id, const std::optional<V>& value) {
    if (value)
        map.insert(id, *value);
    else
        map.remove(id);
}

const QString& selectColumns() {
    static const QString sql =
        QStringLiteral("SELECT %1 FROM search ").arg(SearchRecord::columnNames().join(QStringLiteral(", ")));
    return sql;
}

std::vector<SearchRecord> select(Connection& db, const QString& rest, const QVariantList& arguments = {}) {
    Statement statement = db.prepare(selectColumns() + rest);
    statement.bind(arguments);
    std::vector<SearchRecord> records;
    while (statement.step()) records.push_back(SearchRecord::fromStatement(statement));
    return records;
}

}  // namespace

// MARK: Columns

void SearchRecordTable::Columns::clear() {
    *this = Columns();
}

QString SearchRecordTable::Columns::intern(const QString& text) {
    if (text.isEmpty()) return text;
    const auto found = interned.constFind(text);
    if (found != interned.constEnd()) return *found;
    interned.insert(text);
    return text;
}

void SearchRecordTable::Columns::setSparse(qint64 id, const SearchRecord& record) {
    store(favorites, id, record.favorite);
    store(openedAt, id, record.openedAt);
    store(shortcutAddedAt, id, record.shortcutAddedAt);
    store(aliases, id, record.alias);
    store(hotkeys, id, record.hotkey);
    store(searchTerms, id, record.searchTerms);
}

void SearchRecordTable::Columns::append(SearchRecord record) {
    const qint64 id = *record.id;
    slotOf.insert(id, static_cast<quint32>(ids.size()));
    ids.push_back(id);
    keys.emplace_back();
    names.emplace_back();
    types.push_back(0);
    sources.push_back(0);
    flags.push_back(0);
    frecencyDates.emplace_back();
    keywords.emplace_back();
    paths.emplace_back();
    categories.emplace_back();
    assign(static_cast<quint32>(ids.size() - 1), std::move(record));
}

void SearchRecordTable::Columns::assign(quint32 slot, SearchRecord record) {
    const qint64 id = ids[slot];
    setSparse(id, record);
    keys[slot] = std::move(record.key);
    names[slot] = std::move(record.name);
    types[slot] = static_cast<quint8>(record.type);
    sources[slot] = static_cast<quint8>(record.source);
    quint8 flag = record.uninstalled ? uninstalledFlag : 0;
    if (record.keywords) flag |= hasKeywords;
    if (record.path) flag |= hasPath;
    if (record.category) flag |= hasCategory;
    if (record.favorite || record.openedAt || record.shortcutAddedAt || record.alias || record.hotkey ||
        record.searchTerms)
        flag |= hasSparse;
    flags[slot] = flag;
    frecencyDates[slot] = record.frecencyDate.value_or(QDateTime());
    keywords[slot] = record.keywords ? intern(*record.keywords) : QString();
    // An application's path is its key: both columns share one string.
    paths[slot] = !record.path ? QString() : *record.path == keys[slot] ? keys[slot] : std::move(*record.path);
    categories[slot] = record.category ? intern(*record.category) : QString();
}

void SearchRecordTable::Columns::removeSlots(const std::vector<quint32>& sortedSlots) {
    if (sortedSlots.empty()) return;
    for (quint32 slot : sortedSlots) {
        const qint64 id = ids[slot];
        favorites.remove(id);
        openedAt.remove(id);
        shortcutAddedAt.remove(id);
        aliases.remove(id);
        hotkeys.remove(id);
        searchTerms.remove(id);
    }
    auto compact = [&sortedSlots](auto& column) {
        size_t out = 0;
        size_t next = 0;
        for (size_t i = 0; i < column.size(); ++i) {
            if (next < sortedSlots.size() && sortedSlots[next] == i) {
                ++next;
                continue;
            }
            if (out != i) column[out] = std::move(column[i]);
            ++out;
        }
        column.resize(out);
    };
    compact(ids);
    compact(keys);
    compact(names);
    compact(types);
    compact(sources);
    compact(flags);
    compact(frecencyDates);
    compact(keywords);
    compact(paths);
    compact(categories);
    slotOf.clear();
    slotOf.reserve(static_cast<qsizetype>(ids.size()));
    for (size_t i = 0; i < ids.size(); ++i) slotOf.insert(ids[i], static_cast<quint32>(i));
}

SearchRecord SearchRecordTable::Columns::record(quint32 slot) const {
    const qint64 id = ids[slot];
    const quint8 flag = flags[slot];
    SearchRecord record;
    record.id = id;
    record.key = keys[slot];
    record.type = static_cast<SearchRecord::ContentType>(types[slot]);
    record.source = static_cast<SearchRecord::Source>(sources[slot]);
    record.name = names[slot];
    record.keywords = optionalOf(flag & hasKeywords, keywords[slot]);
    record.path = optionalOf(flag & hasPath, paths[slot]);
    if (frecencyDates[slot].isValid()) record.frecencyDate = frecencyDates[slot];
    record.category = optionalOf(flag & hasCategory, categories[slot]);
    record.uninstalled = flag & uninstalledFlag;
    if (!(flag & hasSparse)) return record;
    record.favorite = lookup(favorites, id);
    record.openedAt = lookup(openedAt, id);
    record.alias = lookup(aliases, id);
    record.hotkey = lookup(hotkeys, id);
    record.shortcutAddedAt = lookup(shortcutAddedAt, id);
    record.searchTerms = lookup(searchTerms, id);
    return record;
}

// MARK: Reading

SearchRecordTable::SearchRecordTable(DatabasePool& pool) : m_pool(pool) {}

void SearchRecordTable::ensureLoaded() const {
    m_pool.readLatest([this](Connection& db) {
        std::unique_lock lock(m_lock);
        if (m_loaded) return;
        m_schemaVersion = db.scalar(QStringLiteral("PRAGMA schema_version")).toLongLong();
        std::vector<SearchRecord> rows = select(db, QStringLiteral("ORDER BY id"));
        m_columns.clear();
        m_columns.slotOf.reserve(static_cast<qsizetype>(rows.size()));
        for (SearchRecord& row : rows) m_columns.append(std::move(row));
        m_loaded = true;
        ++m_version;
    });
}

template <typename Work>
auto SearchRecordTable::withLoaded(Work&& work) const {
    // Rows another process wrote are read again; a failing look changes nothing.
    try {
        m_pool.followChangesMadeElsewhere();
    } catch (const std::exception&) {
    }
    {
        std::shared_lock lock(m_lock);
        if (m_loaded) return work(m_columns);
    }
    for (;;) {
        ensureLoaded();
        std::shared_lock lock(m_lock);
        // A restore between the load and this lock empties the table again.
        if (m_loaded) return work(m_columns);
    }
}

std::vector<SearchRecord> SearchRecordTable::installed(const QList<SearchRecord::Source>& excluding,
                                                       size_t limit) const {
    quint32 excluded = 0;
    for (SearchRecord::Source source : excluding) excluded |= 1u << static_cast<int>(source);
    return withLoaded([&](const Columns& c) {
        std::vector<SearchRecord> records;
        for (size_t slot = 0; slot < c.ids.size() && records.size() < limit; ++slot) {
            if (c.flags[slot] & uninstalledFlag) continue;
            if (excluded & (1u << c.sources[slot])) continue;
            records.push_back(c.record(static_cast<quint32>(slot)));
        }
        return records;
    });
}

std::vector<SearchRecord> SearchRecordTable::records(const QList<qint64>& ids, size_t limit) const {
    return withLoaded([&](const Columns& c) {
        std::vector<SearchRecord> records;
        records.reserve(std::min(limit, static_cast<size_t>(ids.size())));
        // Rows already answered, one bit per slot; ids without a row are
        // remembered apart (they still count towards the limit once).
        std::vector<quint64> answered(c.ids.size() / 64 + 1, 0);
        QSet<qint64> missing;
        size_t taken = 0;
        for (qint64 id : ids) {
            if (taken >= limit) break;
            const auto slot = c.slotOf.constFind(id);
            if (slot == c.slotOf.constEnd()) {
                if (missing.contains(id)) continue;
                missing.insert(id);
                ++taken;
                continue;
            }
            quint64& word = answered[*slot / 64];
            const quint64 bit = quint64(1) << (*slot % 64);
            if (word & bit) continue;
            word |= bit;
            ++taken;
            records.push_back(c.record(*slot));
        }
        return records;
    });
}

std::vector<SearchRecord> SearchRecordTable::favorites() const {
    std::vector<SearchRecord> records = withLoaded([](const Columns& c) {
        std::vector<SearchRecord> found;
        for (auto it = c.favorites.constBegin(); it != c.favorites.constEnd(); ++it) {
            const quint32 slot = c.slotOf.value(it.key());
            if (!(c.flags[slot] & uninstalledFlag)) found.push_back(c.record(slot));
        }
        return found;
    });
    std::sort(records.begin(), records.end(), [](const SearchRecord& a, const SearchRecord& b) {
        if (*a.favorite != *b.favorite) return *a.favorite < *b.favorite;
        return *a.id < *b.id;
    });
    return records;
}

std::vector<SearchRecord> SearchRecordTable::all() const {
    return withLoaded([](const Columns& c) {
        std::vector<SearchRecord> records;
        records.reserve(c.ids.size());
        for (size_t slot = 0; slot < c.ids.size(); ++slot) records.push_back(c.record(static_cast<quint32>(slot)));
        return records;
    });
}

size_t SearchRecordTable::size() const {
    return withLoaded([](const Columns& c) { return c.ids.size(); });
}

// MARK: Following writes

void SearchRecordTable::rowChanged(qint64 rowid) {
    // Nothing to keep up to date before the first load, which reads committed rows.
    if (m_loaded) m_changed.push_back(rowid);
}

void SearchRecordTable::willCommit(Connection& db) {
    m_staged.clear();
    m_stagedGone.clear();
    m_schemaChanged = m_loaded && db.scalar(QStringLiteral("PRAGMA schema_version")).toLongLong() != m_schemaVersion;
    if (!m_loaded || m_schemaChanged || m_changed.empty()) {
        m_changed.clear();
        return;
    }
    std::sort(m_changed.begin(), m_changed.end());
    m_changed.erase(std::unique(m_changed.begin(), m_changed.end()), m_changed.end());
    QByteArray json = "[";
    for (size_t i = 0; i < m_changed.size(); ++i) {
        if (i) json += ',';
        json += QByteArray::number(m_changed[i]);
    }
    json += ']';
    // Read inside the write's transaction: exactly what the commit will hold.
    m_staged = select(db, QStringLiteral("WHERE id IN (SELECT value FROM json_each(?)) ORDER BY id"),
                      {QString::fromLatin1(json)});
    size_t next = 0;
    for (qint64 id : m_changed) {
        while (next < m_staged.size() && *m_staged[next].id < id) ++next;
        if (next == m_staged.size() || *m_staged[next].id != id) m_stagedGone.push_back(id);
    }
    m_changed.clear();
}

void SearchRecordTable::didCommit() {
    std::unique_lock lock(m_lock);
    if (m_schemaChanged) {
        m_schemaChanged = false;
        m_loaded = false;
        m_columns.clear();
        ++m_version;
    }
    if (!m_loaded) {
        releaseStaging();
        return;
    }
    if (!m_staged.empty() || !m_stagedGone.empty()) ++m_version;
    Columns& c = m_columns;
    std::vector<quint32> gone;
    for (qint64 id : m_stagedGone)
        if (const auto slot = c.slotOf.constFind(id); slot != c.slotOf.constEnd()) gone.push_back(*slot);
    std::sort(gone.begin(), gone.end());
    c.removeSlots(gone);
    bool outOfOrder = false;
    for (SearchRecord& record : m_staged) {
        const auto slot = c.slotOf.constFind(*record.id);
        if (slot != c.slotOf.constEnd()) {
            c.assign(*slot, std::move(record));
            continue;
        }
        if (!c.ids.empty() && c.ids.back() > *record.id) outOfOrder = true;
        c.append(std::move(record));
    }
    if (outOfOrder) {
        // A row id below the highest one came back (rare): lay the rows out by id again.
        std::vector<SearchRecord> rows;
        rows.reserve(c.ids.size());
        for (size_t slot = 0; slot < c.ids.size(); ++slot) rows.push_back(c.record(static_cast<quint32>(slot)));
        std::sort(rows.begin(), rows.end(), [](const SearchRecord& a, const SearchRecord& b) { return *a.id < *b.id; });
        c.clear();
        for (SearchRecord& row : rows) c.append(std::move(row));
    }
    releaseStaging();
}

void SearchRecordTable::didRollBack() {
    m_schemaChanged = false;
    releaseStaging();
}

void SearchRecordTable::releaseStaging() {
    // Swapped with empty vectors so that their buffers go (clear() and
    // assigning `{}`, an empty initializer list, keep the capacity): a large
    // write (the first listing of every application) would otherwise keep its
    // buffers for the rest of the run.
    std::vector<qint64>().swap(m_changed);
    std::vector<SearchRecord>().swap(m_staged);
    std::vector<qint64>().swap(m_stagedGone);
}

void SearchRecordTable::contentReplaced() {
    std::unique_lock lock(m_lock);
    releaseStaging();
    m_loaded = false;
    m_columns.clear();
    ++m_version;
}

}  // namespace vantrel
