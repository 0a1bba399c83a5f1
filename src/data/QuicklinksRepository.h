#pragma once

#include "data/Database.h"
#include "data/DatabasePool.h"
#include "data/DatabaseRepository.h"
#include "data/Records.h"

#include <memory>
#include <optional>

namespace vantrel {

// The quicklinks table. Two quicklinks may share a url: each is its own row.
class QuicklinksRepository : public DatabaseRepository<QuicklinkRecord> {
public:
    explicit QuicklinksRepository(std::shared_ptr<DatabasePool> dbConnection = Database::shared());

    std::shared_ptr<DatabasePool> dbConnection;

    std::optional<QuicklinkRecord> record(qint64 id) const;

    QuicklinkRecord create(const QuicklinkRecord& record) override;
    // By name, case-insensitively.
    std::vector<QuicklinkRecord> readAll() const override;
    bool update(const QuicklinkRecord& record) override;
    bool deleteRecord(qint64 id) override;
};

}  // namespace vantrel
