#include "data/QuicklinksRepository.h"

#include "data/RecordCoding.h"

namespace vantrel {

using namespace RecordCoding;

QuicklinksRepository::QuicklinksRepository(std::shared_ptr<DatabasePool> pool) : dbConnection(std::move(pool)) {}

std::optional<QuicklinkRecord> QuicklinksRepository::record(qint64 id) const {
    return dbConnection->read([&](Connection& db) -> std::optional<QuicklinkRecord> {
        const auto row = db.queryOne(QStringLiteral("SELECT * FROM quicklinks WHERE id = ?"), {id});
        if (!row) return std::nullopt;
        return QuicklinkRecord::fromRow(*row);
    });
}

QuicklinkRecord QuicklinksRepository::create(const QuicklinkRecord& record) {
    return dbConnection->write([&](Connection& db) {
        QuicklinkRecord stored = record;
        db.execute(insertStatement(QuicklinkRecord::tableName, QuicklinkRecord::valueColumnNames()), record.bindValues());
        stored.id = db.lastInsertRowId();
        return stored;
    });
}

std::vector<QuicklinkRecord> QuicklinksRepository::readAll() const {
    return dbConnection->read([](Connection& db) {
        return recordsFrom<QuicklinkRecord>(db.query(QStringLiteral("SELECT * FROM quicklinks ORDER BY name COLLATE NOCASE, id")));
    });
}

bool QuicklinksRepository::update(const QuicklinkRecord& record) {
    if (!record.id) return false;
    return dbConnection->write([&](Connection& db) {
        QVariantList arguments = record.bindValues();
        arguments << *record.id;
        db.execute(updateByIdStatement(QuicklinkRecord::tableName, QuicklinkRecord::valueColumnNames()), arguments);
        return db.changes() > 0;
    });
}

bool QuicklinksRepository::deleteRecord(qint64 id) {
    return dbConnection->write([&](Connection& db) {
        db.execute(QStringLiteral("DELETE FROM quicklinks WHERE id = ?"), {id});
        return db.changes() > 0;
    });
}

}  // namespace vantrel
