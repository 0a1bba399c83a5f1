#pragma once

#include "data/Database.h"
#include "data/DatabasePool.h"
#include "data/Records.h"

#include <memory>
#include <optional>
#include <vector>

namespace vantrel {

// The per-package configuration rows (table vantrelPackageConfiguration).
class PackageConfigurationRepository {
public:
    explicit PackageConfigurationRepository(std::shared_ptr<DatabasePool> dbConnection = Database::shared());

    std::shared_ptr<DatabasePool> dbConnection;

    std::optional<PackageConfigurationRecord> read(const QString& id) const;
    // By id.
    std::vector<PackageConfigurationRecord> readAll() const;
    // Inserts the row or replaces the one with the same id.
    void save(const PackageConfigurationRecord& record);
    // Returns whether there was such a row.
    bool remove(const QString& id);
};

}  // namespace vantrel
