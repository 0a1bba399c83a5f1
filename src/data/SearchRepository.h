#pragma once

#include "data/Database.h"
#include "data/DatabasePool.h"
#include "data/SearchRecord.h"
#include "data/SearchRecordTable.h"

#include <QList>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace vantrel {

// Reads and writes the search table: the records data sources deliver, the
// lookups of the indexes, visits, aliases, hotkeys and favourites. Every write
// runs in one transaction on the pool's writer; failures are thrown as
// DatabaseError or VantrelError for the caller to log.
class SearchRepository {
public:
    using RecordsBySource = std::map<SearchRecord::Source, std::vector<SearchRecord>>;
    using RecordUpdate = std::function<std::optional<SearchRecord>(SearchRecord)>;

    explicit SearchRepository(std::shared_ptr<DatabasePool> dbConnection = Database::shared());

    std::shared_ptr<DatabasePool> dbConnection;

    // The rows held in memory: lookups by id, read-all and favourites answer
    // from it, without touching the database. Shared by every repository on
    // the same pool and kept up to date by every write through the pool.
    const SearchRecordTable& table() const { return *m_table; }

    // MARK: Reading

    // Rows not flagged uninstalled whose source is not excluded, at most `limit`, by id.
    std::vector<SearchRecord> readAllSearchResults(const QList<SearchRecord::Source>& excluding, int limit) const;
    // The rows with these ids (in the order of the ids, each once), at most `limit`.
    std::vector<SearchRecord> readSearchResults(const QList<qint64>& ids, int limit) const;
    // The full-text lookup: rows whose name, category or keywords have a word
    // starting with the term, not uninstalled, source not excluded. An empty
    // term finds nothing.
    std::vector<SearchRecord> searchResults(const QString& term, const QList<SearchRecord::Source>& excluding) const;
    // The statement searchResults() runs.
    static QString searchResultsStatement(const QString& term, qsizetype excludedSourceCount);
    // The term as an FTS5 prefix phrase, quoted for an SQL text literal:
    // "term"* with inner double quotes doubled, then single quotes doubled.
    static QString fullTextPrefixExpression(const QString& term);

    // Names starting with the term (any word of the name), for the database
    // completion strategy; the empty term lists every installed row.
    std::vector<SearchRecord> completions(const QString& term, int limit = 1000) const;

    std::optional<SearchRecord> record(qint64 id) const;
    // The installed row with that key, else the oldest row with it.
    std::optional<SearchRecord> record(const QString& key) const;
    std::vector<SearchRecord> favorites() const;

    // MARK: Writing

    // Writes fresh records from data sources in one transaction. Rows are
    // matched by key within their source: a delivered key updates its row in
    // place (type, name, keywords, path, category, uninstalled = 0) and keeps
    // the row id and the user-owned fields; new keys are inserted; rows of the
    // covered scope that were not delivered are flagged uninstalled. Each
    // source named in the update is covered in full (`all` and `source`), or
    // only below the folder (`sourceWithPath`). A record is stored under the
    // source it is listed under. Returns the number of rows inserted, updated
    // or flagged.
    int update(const RecordsBySource& records, const SearchUpdateStrategy& strategy);
    int update(SearchRecord::Source source, const std::vector<SearchRecord>& records,
               const SearchUpdateStrategy& strategy);

    // Deletes the rows flagged uninstalled; returns how many.
    int removeUninstalledRecords();

    // Loads the row, lets `update` change it and stores the result, all in one
    // write transaction. Returns the stored record; nothing when there is no
    // such row or `update` returned nothing. The id and key cannot change.
    std::optional<SearchRecord> updateRecord(qint64 id, const RecordUpdate& update);
    std::optional<SearchRecord> updateRecord(const QString& key, const RecordUpdate& update);

    // Clears every frecency date.
    void resetAllFrecencies();

    // Sets or clears the alias / hotkey of the rows with that key; throws
    // VantrelError "Couldn't find record in the database" when there is none.
    // After the commit posts "searchRecordAliasChanged" /
    // "searchRecordHotkeyChanged" with the updated record as the object and
    // the key under "key" in the user info.
    SearchRecord setAlias(const std::optional<QString>& alias, const QString& key);
    SearchRecord setHotkey(const std::optional<QString>& hotkey, const QString& key);

    // Gives the item the next favourite order value (one above the highest);
    // an item that is already a favourite keeps its place. Throws
    // "No item found to add to favorites" when there is no such row.
    double addToFavorites(const QString& key);
    // Returns whether a row with that key was there.
    bool removeFromFavorites(const QString& key);

    // The visit bookkeeping of searchTerms: the term without commas, trimmed,
    // lower-cased and cut to 20 characters is appended to the comma-separated
    // list; the last 5 entries remain. An empty term leaves the list unchanged.
    static QString appendingSearchTerm(const QString& existing, const QString& term);
    static constexpr int kMaximumSearchTermLength = 20;
    static constexpr int kMaximumSearchTerms = 5;

private:
    std::shared_ptr<SearchRecordTable> m_table;

    SearchRecord setColumn(QLatin1String column, const std::optional<QString>& value, const QString& key,
                           QLatin1String notificationName);
};

}  // namespace vantrel
