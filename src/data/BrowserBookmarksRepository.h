#pragma once

#include "data/Database.h"
#include "data/DatabasePool.h"
#include "data/Records.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vantrel {

// The browser bookmarks table: one row per url and browser.
class BrowserBookmarksRepository {
public:
    using RecordUpdate = std::function<BrowserBookmarkRecord(BrowserBookmarkRecord)>;

    explicit BrowserBookmarksRepository(std::shared_ptr<DatabasePool> dbConnection = Database::shared());

    std::shared_ptr<DatabasePool> dbConnection;

    // Makes the rows of one browser match `records`, in one transaction: rows
    // whose url is no longer there are deleted, the others take the new name,
    // tags, image and updatedAt and keep their frecency, new urls are
    // inserted. A url listed twice is one row (the later entry wins). Every
    // record is stored under `source`.
    void replaceBookmarks(const QString& source, const std::vector<BrowserBookmarkRecord>& records);

    // Loads the row, lets `update` change it and stores it (url and source stay).
    // Throws "Cannot find record by url and source" when there is no such row.
    BrowserBookmarkRecord updateFrecency(const QString& url, const QString& source, const RecordUpdate& update);

    std::optional<BrowserBookmarkRecord> record(const QString& url, const QString& source) const;
    // Visited ones first (latest frecency first), then by name.
    std::vector<BrowserBookmarkRecord> readAll() const;
    std::vector<BrowserBookmarkRecord> readAll(const QString& source) const;
};

}  // namespace vantrel
