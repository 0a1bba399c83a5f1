#include "data/NotesRepository.h"

#include "data/RecordCoding.h"

namespace vantrel {

using namespace RecordCoding;

NotesRepository::NotesRepository(std::shared_ptr<DatabasePool> pool) : dbConnection(std::move(pool)) {}

std::optional<NoteRecord> NotesRepository::record(qint64 id) const {
    return dbConnection->read([&](Connection& db) -> std::optional<NoteRecord> {
        const auto row = db.queryOne(QStringLiteral("SELECT * FROM notes WHERE id = ?"), {id});
        if (!row) return std::nullopt;
        return NoteRecord::fromRow(*row);
    });
}

NoteRecord NotesRepository::create(const NoteRecord& record) {
    return dbConnection->write([&](Connection& db) {
        NoteRecord stored = record;
        db.execute(insertStatement(NoteRecord::tableName, NoteRecord::valueColumnNames()), record.bindValues());
        stored.id = db.lastInsertRowId();
        return stored;
    });
}

std::vector<NoteRecord> NotesRepository::readAll() const {
    return dbConnection->read([](Connection& db) {
        return recordsFrom<NoteRecord>(db.query(QStringLiteral("SELECT * FROM notes ORDER BY lastModifiedAt DESC, id DESC")));
    });
}

bool NotesRepository::update(const NoteRecord& record) {
    if (!record.id) return false;
    return dbConnection->write([&](Connection& db) {
        QVariantList arguments = record.bindValues();
        arguments << *record.id;
        db.execute(updateByIdStatement(NoteRecord::tableName, NoteRecord::valueColumnNames()), arguments);
        return db.changes() > 0;
    });
}

bool NotesRepository::deleteRecord(qint64 id) {
    return dbConnection->write([&](Connection& db) {
        db.execute(QStringLiteral("DELETE FROM notes WHERE id = ?"), {id});
        return db.changes() > 0;
    });
}

}  // namespace vantrel
