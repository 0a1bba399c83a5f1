#pragma once

#include "data/Database.h"
#include "data/DatabasePool.h"
#include "data/Records.h"

#include <QDateTime>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vantrel {

// The clipboard history table.
class ClipboardRepository {
public:
    using Clock = std::function<QDateTime()>;

    explicit ClipboardRepository(std::shared_ptr<DatabasePool> dbConnection = Database::shared(), Clock now = {});

    std::shared_ptr<DatabasePool> dbConnection;

    // Stores a copied item. An existing row of the same category counts as the
    // same item when its text is equal (text, link, color), its image hash is
    // equal (image) or its file path is equal (file): its lastModifiedAt
    // becomes now and its copyCount grows by 1. Otherwise a row is inserted
    // with copyCount 1. An image without a hash fails with
    // "Cannot update or create image". Returns the stored record.
    ClipboardRecord updateOrCreateRecord(ClipboardRecord::Category category, const QString& text,
                                         const std::optional<QByteArray>& richTextData = std::nullopt,
                                         const std::optional<QString>& filePath = std::nullopt,
                                         const std::optional<QString>& imageHash = std::nullopt,
                                         const std::optional<QString>& applicationPath = std::nullopt);

    // Throws "Clipboard record not found" when there is no such row.
    ClipboardRecord pinRecord(qint64 id, bool isPinned);

    std::optional<ClipboardRecord> record(qint64 id) const;
    // Pinned first, then the most recently copied; at most `limit` (negative: all).
    std::vector<ClipboardRecord> records(int limit = -1) const;
    // The same order, only one category.
    std::vector<ClipboardRecord> records(ClipboardRecord::Category category, int limit = -1) const;
    // The records whose text contains `text` (letters of any case; all when
    // empty), of one category or all, in the list order; at most `limit`
    // (negative: all).
    std::vector<ClipboardRecord> findRecords(const QString& text,
                                             const std::optional<ClipboardRecord::Category>& category,
                                             int limit = -1) const;
    // The most recently copied record, pinned or not.
    std::optional<ClipboardRecord> latestRecord() const;
    qint64 count() const;

    // Returns whether there was such a row.
    bool deleteRecord(qint64 id);
    // Returns the deleted records (their image files are the caller's).
    std::vector<ClipboardRecord> deleteAll(bool keepPinned = false);
    // Records last copied before `date`; pinned records stay unless told otherwise.
    std::vector<ClipboardRecord> deleteRecords(const QDateTime& olderThan, bool keepPinned = true);
    // Keeps the `limit` most recently copied records and deletes the rest.
    std::vector<ClipboardRecord> deleteRecordsBeyond(qint64 limit);

private:
    QDateTime now() const;
    Clock m_now;
};

}  // namespace vantrel
