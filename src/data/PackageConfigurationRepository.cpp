#include "data/PackageConfigurationRepository.h"

#include "data/RecordCoding.h"

namespace vantrel {

using namespace RecordCoding;

PackageConfigurationRepository::PackageConfigurationRepository(std::shared_ptr<DatabasePool> pool)
    : dbConnection(std::move(pool)) {}

std::optional<PackageConfigurationRecord> PackageConfigurationRepository::read(const QString& id) const {
    return dbConnection->read([&](Connection& db) -> std::optional<PackageConfigurationRecord> {
        const auto row = db.queryOne(
            QStringLiteral("SELECT id, isEnabled, jsonPayload FROM vantrelPackageConfiguration WHERE id = ?"), {id});
        if (!row) return std::nullopt;
        return PackageConfigurationRecord::fromRow(*row);
    });
}

std::vector<PackageConfigurationRecord> PackageConfigurationRepository::readAll() const {
    return dbConnection->read([](Connection& db) {
        return recordsFrom<PackageConfigurationRecord>(
            db.query(QStringLiteral("SELECT id, isEnabled, jsonPayload FROM vantrelPackageConfiguration ORDER BY id")));
    });
}

void PackageConfigurationRepository::save(const PackageConfigurationRecord& record) {
    dbConnection->write([&](Connection& db) {
        db.execute(QStringLiteral("INSERT INTO vantrelPackageConfiguration (id, isEnabled, jsonPayload) VALUES (?, ?, ?) "
                                  "ON CONFLICT(id) DO UPDATE SET isEnabled = excluded.isEnabled, "
                                  "jsonPayload = excluded.jsonPayload"),
                   {record.id, record.isEnabled, record.jsonText()});
    });
}

bool PackageConfigurationRepository::remove(const QString& id) {
    return dbConnection->write([&](Connection& db) {
        db.execute(QStringLiteral("DELETE FROM vantrelPackageConfiguration WHERE id = ?"), {id});
        return db.changes() > 0;
    });
}

}  // namespace vantrel
