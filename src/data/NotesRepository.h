#pragma once

#include "data/Database.h"
#include "data/DatabasePool.h"
#include "data/DatabaseRepository.h"
#include "data/Records.h"

#include <memory>
#include <optional>

namespace vantrel {

// The floating notes table.
class NotesRepository : public DatabaseRepository<NoteRecord> {
public:
    explicit NotesRepository(std::shared_ptr<DatabasePool> dbConnection = Database::shared());

    std::shared_ptr<DatabasePool> dbConnection;

    std::optional<NoteRecord> record(qint64 id) const;

    NoteRecord create(const NoteRecord& record) override;
    // The most recently modified first.
    std::vector<NoteRecord> readAll() const override;
    bool update(const NoteRecord& record) override;
    bool deleteRecord(qint64 id) override;
};

}  // namespace vantrel
