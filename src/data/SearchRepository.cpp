#include "data/SearchRepository.h"

#include "data/RecordCoding.h"
#include "kit/Logger.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "kit/VantrelError.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <limits>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Database"), QStringLiteral("💾")});
    return logger;
}

using Columns = SearchRecord::Columns;

// SQLite's default limit on bound parameters is far above this.

QVariantList rawSources(const QList<SearchRecord::Source>& sources) {
    QVariantList values;
    values.reserve(sources.size());
    for (SearchRecord::Source source : sources) values << SearchRecord::rawValue(source);
    return values;
}

std::vector<SearchRecord> recordsFrom(const std::vector<Row>& rows) {
    std::vector<SearchRecord> records;
    records.reserve(rows.size());
    for (const Row& row : rows) records.push_back(SearchRecord::fromRow(row));
    return records;
}

// Whether the tokenizer will find at least one word in the term; a phrase
// without words is not a valid full-text expression.
bool hasSearchableWord(const QString& term) {
    for (const QChar character : term)
        if (character.isLetterOrNumber() || character.category() == QChar::Other_PrivateUse) return true;
    return false;
}

// "/a/b/" → "/a/b/", "/a/b" → "/a/b/": what a path inside the folder starts with.
QString folderPrefix(const QString& folder) {
    QString normalized = folder;
    while (normalized.size() > 1 && normalized.endsWith(QLatin1Char('/'))) normalized.chop(1);
    return normalized.endsWith(QLatin1Char('/')) ? normalized : normalized + QLatin1Char('/');
}

bool isInside(const std::optional<QString>& path, const QString& prefix) {
    if (!path) return false;
    return path->startsWith(prefix) || *path + QLatin1Char('/') == prefix;
}

const QString& selectByIdStatement() {
    static const QString sql = QStringLiteral("SELECT * FROM search WHERE id = ?");
    return sql;
}

const QString& selectByKeyStatement() {
    // An installed row wins over an uninstalled one with the same key.
    static const QString sql =
        QStringLiteral("SELECT * FROM search WHERE key = ? ORDER BY uninstalled, id LIMIT 1");
    return sql;
}

QString insertStatement() {
    const QStringList& columns = SearchRecord::valueColumnNames();
    return QStringLiteral("INSERT INTO search (%1) VALUES (%2)")
        .arg(columns.join(QStringLiteral(", ")), RecordCoding::placeholders(columns.size()));
}

QString updateAllColumnsStatement() {
    QStringList assignments;
    for (const QString& column : SearchRecord::valueColumnNames()) assignments << column + QStringLiteral(" = ?");
    return QStringLiteral("UPDATE search SET %1 WHERE id = ?").arg(assignments.join(QStringLiteral(", ")));
}

}  // namespace

SearchRepository::SearchRepository(std::shared_ptr<DatabasePool> pool)
    : dbConnection(std::move(pool)), m_table(dbConnection->follower<SearchRecordTable>()) {}

// MARK: Reading

std::vector<SearchRecord> SearchRepository::readAllSearchResults(const QList<SearchRecord::Source>& excluding,
                                                                 int limit) const {
    return m_table->installed(excluding, limit < 0 ? std::numeric_limits<size_t>::max() : static_cast<size_t>(limit));
}

std::vector<SearchRecord> SearchRepository::readSearchResults(const QList<qint64>& ids, int limit) const {
    return m_table->records(ids, limit < 0 ? std::numeric_limits<size_t>::max() : static_cast<size_t>(limit));
}

QString SearchRepository::fullTextPrefixExpression(const QString& term) {
    QString phrase = term;
    phrase.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    QString expression = QLatin1Char('"') + phrase + QStringLiteral("\"*");
    // The expression sits inside an SQL text literal.
    expression.replace(QLatin1Char('\''), QStringLiteral("''"));
    return expression;
}

QString SearchRepository::searchResultsStatement(const QString& term, qsizetype excludedSourceCount) {
    const QString e = fullTextPrefixExpression(term);
    return QStringLiteral("SELECT search.*\nFROM search\nWHERE id IN (\nSELECT rowid from search_fts\nWHERE\nname MATCH '") +
           e + QStringLiteral("'\nOR name MATCH '") + e + QStringLiteral("'\nOR category MATCH '") + e +
           QStringLiteral("'\nOR (category MATCH '") + e + QStringLiteral("' AND name MATCH '") + e +
           QStringLiteral("')\nOR keywords MATCH '") + e +
           QStringLiteral("'\nORDER BY rank\n)\nAND source NOT IN (") + RecordCoding::placeholders(excludedSourceCount) +
           QStringLiteral(") AND uninstalled = 0");
}

std::vector<SearchRecord> SearchRepository::searchResults(const QString& term,
                                                          const QList<SearchRecord::Source>& excluding) const {
    const QString trimmed = term.trimmed();
    if (!hasSearchableWord(trimmed)) return {};
    const QString sql = searchResultsStatement(trimmed, excluding.size());
    const QVariantList arguments = rawSources(excluding);
    return dbConnection->read([&](Connection& db) { return recordsFrom(db.query(sql, arguments)); });
}

std::vector<SearchRecord> SearchRepository::completions(const QString& term, int limit) const {
    const QString trimmed = term.trimmed();
    return dbConnection->read([&](Connection& db) {
        if (trimmed.isEmpty())
            return recordsFrom(db.query(
                QStringLiteral("SELECT * FROM search WHERE uninstalled = 0 ORDER BY name, id LIMIT ?"), {limit}));
        if (!hasSearchableWord(trimmed)) return std::vector<SearchRecord>{};
        QString phrase = trimmed;
        phrase.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        return recordsFrom(db.query(QStringLiteral("SELECT search.* FROM search WHERE id IN "
                                                   "(SELECT rowid FROM search_fts WHERE name MATCH ?) "
                                                   "AND uninstalled = 0 ORDER BY name, id LIMIT ?"),
                                    {QLatin1Char('"') + phrase + QStringLiteral("\"*"), limit}));
    });
}

std::optional<SearchRecord> SearchRepository::record(qint64 id) const {
    return dbConnection->read([&](Connection& db) -> std::optional<SearchRecord> {
        const auto row = db.queryOne(selectByIdStatement(), {id});
        if (!row) return std::nullopt;
        return SearchRecord::fromRow(*row);
    });
}

std::optional<SearchRecord> SearchRepository::record(const QString& key) const {
    return dbConnection->read([&](Connection& db) -> std::optional<SearchRecord> {
        const auto row = db.queryOne(selectByKeyStatement(), {key});
        if (!row) return std::nullopt;
        return SearchRecord::fromRow(*row);
    });
}

std::vector<SearchRecord> SearchRepository::favorites() const {
    return m_table->favorites();
}

// MARK: Writing

int SearchRepository::update(SearchRecord::Source source, const std::vector<SearchRecord>& records,
                             const SearchUpdateStrategy& strategy) {
    RecordsBySource bySource;
    bySource.emplace(source, records);
    return update(bySource, strategy);
}

int SearchRepository::update(const RecordsBySource& records, const SearchUpdateStrategy& strategy) {
    const QString* folder = strategy.folder();
    const QString prefix = folder ? folderPrefix(*folder) : QString();

    return dbConnection->write([&](Connection& db) {
        int changed = 0;
        Statement insert = db.prepare(insertStatement());
        Statement refresh = db.prepare(QStringLiteral(
            "UPDATE search SET type = ?, name = ?, keywords = ?, path = ?, category = ?, uninstalled = 0 WHERE id = ?"));
        Statement flag = db.prepare(QStringLiteral("UPDATE search SET uninstalled = 1 WHERE id = ?"));

        // What an update may change of an existing row.
        struct Existing {
            qint64 id = 0;
            SearchRecord::ContentType type = SearchRecord::ContentType::unknown;
            QString name;
            std::optional<QString> keywords;
            std::optional<QString> path;
            std::optional<QString> category;
            bool uninstalled = false;
        };

        for (const auto& [source, fresh] : records) {
            const QString rawSource = SearchRecord::rawValue(source);
            std::vector<Existing> existing;
            QHash<QString, qsizetype> byKey;
            for (const Row& row : db.query(QStringLiteral("SELECT id, key, type, name, keywords, path, category, "
                                                          "uninstalled FROM search WHERE source = ? ORDER BY id"),
                                           {rawSource})) {
                Existing entry;
                entry.id = row[0].toLongLong();
                entry.type = SearchRecord::contentTypeFromRaw(RecordCoding::string(row[2]));
                entry.name = RecordCoding::string(row[3]);
                entry.keywords = RecordCoding::optionalString(row[4]);
                entry.path = RecordCoding::optionalString(row[5]);
                entry.category = RecordCoding::optionalString(row[6]);
                entry.uninstalled = RecordCoding::boolean(row[7]);
                const QString key = RecordCoding::string(row[1]);
                // With duplicate keys the oldest row is the one that is kept up to date.
                if (!byKey.contains(key)) byKey.insert(key, static_cast<qsizetype>(existing.size()));
                existing.push_back(std::move(entry));
            }
            const size_t existingCount = existing.size();
            std::vector<bool> delivered(existingCount, false);

            for (const SearchRecord& record : fresh) {
                const auto found = byKey.constFind(record.key);
                if (found != byKey.constEnd()) {
                    const qsizetype index = found.value();
                    Existing& row = existing[static_cast<size_t>(index)];
                    if (static_cast<size_t>(index) < existingCount) delivered[static_cast<size_t>(index)] = true;
                    const bool unchanged = !row.uninstalled && row.type == record.type && row.name == record.name &&
                                           row.keywords == record.keywords && row.path == record.path &&
                                           row.category == record.category;
                    if (unchanged) continue;
                    refresh.reset();
                    refresh.bind({SearchRecord::rawValue(record.type), record.name,
                                  RecordCoding::toVariant(record.keywords), RecordCoding::toVariant(record.path),
                                  RecordCoding::toVariant(record.category), row.id});
                    refresh.step();
                    row.type = record.type;
                    row.name = record.name;
                    row.keywords = record.keywords;
                    row.path = record.path;
                    row.category = record.category;
                    row.uninstalled = false;
                    ++changed;
                    continue;
                }
                SearchRecord stored = record;
                stored.id.reset();
                stored.source = source;
                stored.uninstalled = false;
                insert.reset();
                insert.bind(stored.bindValues());
                insert.step();
                Existing entry;
                entry.id = db.lastInsertRowId();
                entry.type = stored.type;
                entry.name = stored.name;
                entry.keywords = stored.keywords;
                entry.path = stored.path;
                entry.category = stored.category;
                byKey.insert(stored.key, static_cast<qsizetype>(existing.size()));
                existing.push_back(std::move(entry));
                ++changed;
            }

            for (size_t i = 0; i < existingCount; ++i) {
                const Existing& row = existing[i];
                if (delivered[i] || row.uninstalled) continue;
                if (folder && !isInside(row.path, prefix)) continue;
                flag.reset();
                flag.bind({row.id});
                flag.step();
                ++changed;
            }
        }
        return changed;
    });
}

int SearchRepository::removeUninstalledRecords() {
    log().info("Remove uninstalled records");
    int removed = 0;
    try {
        removed = dbConnection->write([](Connection& db) {
            db.execute(QStringLiteral("DELETE FROM search WHERE uninstalled = 1"));
            return db.changes();
        });
    } catch (const std::exception& error) {
        log().error("Could not remove uninstalled records", {{QStringLiteral("error"), VantrelError::describe(error)}});
        throw;
    }
    log().info(QString::number(removed) + QStringLiteral(" uninstalled record(s)"));
    return removed;
}

std::optional<SearchRecord> SearchRepository::updateRecord(qint64 id, const RecordUpdate& update) {
    return dbConnection->write([&](Connection& db) -> std::optional<SearchRecord> {
        const auto row = db.queryOne(selectByIdStatement(), {id});
        if (!row) return std::nullopt;
        const SearchRecord current = SearchRecord::fromRow(*row);
        std::optional<SearchRecord> updated = update(current);
        if (!updated) return std::nullopt;
        updated->id = id;
        updated->key = current.key;
        QVariantList arguments = updated->bindValues();
        arguments << id;
        db.execute(updateAllColumnsStatement(), arguments);
        return updated;
    });
}

std::optional<SearchRecord> SearchRepository::updateRecord(const QString& key, const RecordUpdate& update) {
    return dbConnection->write([&](Connection& db) -> std::optional<SearchRecord> {
        const auto row = db.queryOne(selectByKeyStatement(), {key});
        if (!row) return std::nullopt;
        const SearchRecord current = SearchRecord::fromRow(*row);
        std::optional<SearchRecord> updated = update(current);
        if (!updated) return std::nullopt;
        updated->id = current.id;
        updated->key = current.key;
        QVariantList arguments = updated->bindValues();
        arguments << *current.id;
        db.execute(updateAllColumnsStatement(), arguments);
        return updated;
    });
}

void SearchRepository::resetAllFrecencies() {
    dbConnection->write([](Connection& db) {
        db.execute(QStringLiteral("UPDATE search SET frecencyDate = NULL WHERE frecencyDate IS NOT NULL"));
    });
}

SearchRecord SearchRepository::setColumn(QLatin1String column, const std::optional<QString>& value, const QString& key,
                                         QLatin1String notificationName) {
    const SearchRecord record = dbConnection->write([&](Connection& db) {
        db.execute(QStringLiteral("UPDATE search SET %1 = ? WHERE key = ?").arg(column),
                   {RecordCoding::toVariant(value), key});
        if (db.changes() == 0) throw VantrelError(QStringLiteral("Couldn't find record in the database"));
        const auto row = db.queryOne(selectByKeyStatement(), {key});
        if (!row) throw VantrelError(QStringLiteral("Couldn't find record in the database"));
        return SearchRecord::fromRow(*row);
    });
    // Posted only once the change is committed.
    NotificationCenter::defaultCenter().post(QString(notificationName), QVariant::fromValue(record),
                                             {{QStringLiteral("key"), key}});
    return record;
}

SearchRecord SearchRepository::setAlias(const std::optional<QString>& alias, const QString& key) {
    return setColumn(Columns::alias, alias, key, NotificationNames::searchRecordAliasChanged);
}

SearchRecord SearchRepository::setHotkey(const std::optional<QString>& hotkey, const QString& key) {
    return setColumn(Columns::hotkey, hotkey, key, NotificationNames::searchRecordHotkeyChanged);
}

double SearchRepository::addToFavorites(const QString& key) {
    return dbConnection->write([&](Connection& db) {
        const auto row = db.queryOne(
            QStringLiteral("SELECT favorite FROM search WHERE key = ? ORDER BY uninstalled, id LIMIT 1"), {key});
        if (!row) throw VantrelError(QStringLiteral("No item found to add to favorites"));
        if (const auto current = RecordCoding::optionalDouble((*row)[0])) return *current;
        const double next = db.scalar(QStringLiteral("SELECT COALESCE(MAX(favorite), 0) + 1 FROM search")).toDouble();
        db.execute(QStringLiteral("UPDATE search SET favorite = ? WHERE key = ?"), {next, key});
        return next;
    });
}

bool SearchRepository::removeFromFavorites(const QString& key) {
    return dbConnection->write([&](Connection& db) {
        if (!db.queryOne(QStringLiteral("SELECT 1 FROM search WHERE key = ? LIMIT 1"), {key})) return false;
        db.execute(QStringLiteral("UPDATE search SET favorite = NULL WHERE key = ?"), {key});
        return true;
    });
}

QString SearchRepository::appendingSearchTerm(const QString& existing, const QString& term) {
    QString cleaned = term;
    cleaned.remove(QLatin1Char(','));
    cleaned = cleaned.trimmed().toLower().left(kMaximumSearchTermLength);
    if (cleaned.isEmpty()) return existing;
    QStringList entries;
    for (const QString& entry : existing.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString trimmed = entry.trimmed();
        if (!trimmed.isEmpty()) entries << trimmed;
    }
    entries << cleaned;
    if (entries.size() > kMaximumSearchTerms) entries = entries.mid(entries.size() - kMaximumSearchTerms);
    return entries.join(QLatin1Char(','));
}

}  // namespace vantrel
