#pragma once

#include "data/DatabasePool.h"
#include "data/SearchRecord.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <atomic>
#include <limits>
#include <optional>
#include <shared_mutex>
#include <vector>

namespace vantrel {

// The search table held in memory, column by column, so that lookups answer
// without reading the database. The database stays the source of truth: the
// table is read whole on first use, follows every write of the pool's writer
// inside the write's own transaction (see TableFollower), and is read again
// after a restore. One instance per pool, shared by every repository on it.
//
// Layout: row ids ascending with a slot per row; the columns every lookup and
// ranking needs (key, name, type, source, uninstalled, frecency date, keywords,
// path, category) as flat arrays; the columns few rows use (favourite, dates
// opened and shortcut added, alias, hotkey, search terms) in maps by id.
// Category and keyword strings are interned, so equal values share storage.
class SearchRecordTable : public TableFollower {
public:
    explicit SearchRecordTable(DatabasePool& pool);

    // Reads never touch the database once the table is loaded.
    // Rows not flagged uninstalled whose source is not excluded, by id, at most `limit`.
    std::vector<SearchRecord> installed(const QList<SearchRecord::Source>& excluding, size_t limit) const;
    // The rows with these ids, in the order of the ids (each once), at most `limit`.
    std::vector<SearchRecord> records(const QList<qint64>& ids, size_t limit) const;
    // Installed favourites by favourite value, then id.
    std::vector<SearchRecord> favorites() const;
    // Every row, by id.
    std::vector<SearchRecord> all() const;
    size_t size() const;
    // Changes each time what the table answers may have changed (a write
    // applied, a reload); equal values mean equal content.
    quint64 version() const { return m_version.load(); }

    // TableFollower
    const char* table() const override { return "search"; }
    void rowChanged(qint64 rowid) override;
    void willCommit(Connection& db) override;
    void didCommit() override;
    void didRollBack() override;
    void contentReplaced() override;

private:
    struct Columns {
        std::vector<qint64> ids;  // ascending
        QHash<qint64, quint32> slotOf;
        std::vector<QString> keys;
        std::vector<QString> names;
        std::vector<quint8> types;
        std::vector<quint8> sources;
        std::vector<quint8> flags;  // uninstalled, has keywords, has path, has category
        std::vector<QDateTime> frecencyDates;  // invalid = none
        std::vector<QString> keywords;
        std::vector<QString> paths;
        std::vector<QString> categories;
        QHash<qint64, double> favorites;
        QHash<qint64, QDateTime> openedAt;
        QHash<qint64, QDateTime> shortcutAddedAt;
        QHash<qint64, QString> aliases;
        QHash<qint64, QString> hotkeys;
        QHash<qint64, QString> searchTerms;
        QSet<QString> interned;

        void clear();
        void append(SearchRecord record);
        void assign(quint32 slot, SearchRecord record);
        void removeSlots(const std::vector<quint32>& sortedSlots);
        void setSparse(qint64 id, const SearchRecord& record);
        SearchRecord record(quint32 slot) const;
        QString intern(const QString& text);
    };

    // Reads the whole table when it is not loaded (shared lock released).
    void ensureLoaded() const;
    // Drops the write-staging vectors together with their buffers.
    void releaseStaging();
    template <typename Work>
    auto withLoaded(Work&& work) const;

    DatabasePool& m_pool;
    mutable std::shared_mutex m_lock;
    mutable Columns m_columns;
    mutable bool m_loaded = false;
    mutable std::atomic<quint64> m_version{1};
    // The schema the table was read under: a write that changes it (a table
    // renamed or dropped) makes the next read go back to the file.
    mutable qint64 m_schemaVersion = 0;

    // The running write's changed ids, and what was read for them before its
    // commit (all under the pool's writer lock).
    std::vector<qint64> m_changed;
    std::vector<SearchRecord> m_staged;
    std::vector<qint64> m_stagedGone;
    bool m_schemaChanged = false;
};

}  // namespace vantrel
