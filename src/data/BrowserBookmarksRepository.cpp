#include "data/BrowserBookmarksRepository.h"

#include "data/RecordCoding.h"
#include "kit/VantrelError.h"

#include <QHash>
#include <QSet>

namespace vantrel {

using namespace RecordCoding;

namespace {

const QString kOrder = QStringLiteral(" ORDER BY frecencyDate IS NULL, frecencyDate DESC, name, url");

}  // namespace

BrowserBookmarksRepository::BrowserBookmarksRepository(std::shared_ptr<DatabasePool> pool)
    : dbConnection(std::move(pool)) {}

void BrowserBookmarksRepository::replaceBookmarks(const QString& source,
                                                  const std::vector<BrowserBookmarkRecord>& records) {
    dbConnection->write([&](Connection& db) {
        Statement upsert = db.prepare(
            QStringLiteral("INSERT INTO browserBookmarks (url, source, name, tags, imageURL, frecencyDate, updatedAt) "
                           "VALUES (?, ?, ?, ?, ?, ?, ?) "
                           "ON CONFLICT(url, source) DO UPDATE SET name = excluded.name, tags = excluded.tags, "
                           "imageURL = excluded.imageURL, updatedAt = excluded.updatedAt, "
                           "frecencyDate = COALESCE(browserBookmarks.frecencyDate, excluded.frecencyDate)"));
        QSet<QString> kept;
        for (const BrowserBookmarkRecord& record : records) {
            BrowserBookmarkRecord stored = record;
            stored.source = source;
            upsert.reset();
            upsert.bind(stored.bindValues());
            upsert.step();
            kept.insert(stored.urlString);
        }
        Statement remove = db.prepare(QStringLiteral("DELETE FROM browserBookmarks WHERE url = ? AND source = ?"));
        for (const Row& row : db.query(QStringLiteral("SELECT url FROM browserBookmarks WHERE source = ?"), {source})) {
            const QString url = string(row[0]);
            if (kept.contains(url)) continue;
            remove.reset();
            remove.bind({url, source});
            remove.step();
        }
    });
}

BrowserBookmarkRecord BrowserBookmarksRepository::updateFrecency(const QString& url, const QString& source,
                                                                 const RecordUpdate& update) {
    return dbConnection->write([&](Connection& db) {
        const auto row =
            db.queryOne(QStringLiteral("SELECT * FROM browserBookmarks WHERE url = ? AND source = ?"), {url, source});
        if (!row) throw VantrelError(QStringLiteral("Cannot find record by url and source"));
        BrowserBookmarkRecord updated = update(BrowserBookmarkRecord::fromRow(*row));
        updated.urlString = url;
        updated.source = source;
        db.execute(QStringLiteral("UPDATE browserBookmarks SET name = ?, tags = ?, imageURL = ?, frecencyDate = ?, "
                                  "updatedAt = ? WHERE url = ? AND source = ?"),
                   {updated.name, updated.tags, toVariant(updated.imageURLString), toVariant(updated.frecencyDate),
                    updated.updatedAt, url, source});
        return updated;
    });
}

std::optional<BrowserBookmarkRecord> BrowserBookmarksRepository::record(const QString& url,
                                                                        const QString& source) const {
    return dbConnection->read([&](Connection& db) -> std::optional<BrowserBookmarkRecord> {
        const auto row =
            db.queryOne(QStringLiteral("SELECT * FROM browserBookmarks WHERE url = ? AND source = ?"), {url, source});
        if (!row) return std::nullopt;
        return BrowserBookmarkRecord::fromRow(*row);
    });
}

std::vector<BrowserBookmarkRecord> BrowserBookmarksRepository::readAll() const {
    return dbConnection->read([](Connection& db) {
        return recordsFrom<BrowserBookmarkRecord>(db.query(QStringLiteral("SELECT * FROM browserBookmarks") + kOrder));
    });
}

std::vector<BrowserBookmarkRecord> BrowserBookmarksRepository::readAll(const QString& source) const {
    return dbConnection->read([&](Connection& db) {
        return recordsFrom<BrowserBookmarkRecord>(
            db.query(QStringLiteral("SELECT * FROM browserBookmarks WHERE source = ?") + kOrder, {source}));
    });
}

}  // namespace vantrel
