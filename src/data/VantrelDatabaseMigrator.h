#pragma once

#include "data/DatabaseMigrator.h"
#include "data/DatabasePool.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace vantrel {

// A column of a table that its record declares instead of a named migration.
struct VantrelDatabaseColumn {
    enum class Type { text, boolean };
    QString name;
    bool isPrimaryKey = false;
    Type type = Type::text;
};

// A record type whose table is created (and extended with new columns) from its
// declaration at every migration.
struct VantrelDatabaseRecordTable {
    QString recordType;
    QString tableName;
    std::vector<VantrelDatabaseColumn> columns;
};

// The package configuration rows: id, isEnabled, jsonPayload.
const VantrelDatabaseRecordTable& packageConfigurationTable();
const std::vector<VantrelDatabaseRecordTable>& declaredRecordTables();

// Owns the pool's schema: the declared record tables, the ordered named
// migrations, and the full-text table kept in step with `search`.
class VantrelDatabaseMigrator {
public:
    explicit VantrelDatabaseMigrator(std::shared_ptr<DatabasePool> connection,
                                     std::function<QDateTime()> now = [] { return QDateTime::currentDateTimeUtc(); });

    std::shared_ptr<DatabasePool> connection;
    DatabaseMigrator migrator;

    // Every named migration in order.
    static void registerMigrations(DatabaseMigrator& migrator, std::function<QDateTime()> now);

    // Declared tables, then the named migrations (up to `upTo` when given), then
    // the full-text table when the search table has all its columns. Throws
    // the first migration failure.
    QStringList migrate(const std::optional<QString>& upTo = std::nullopt);

    static void createDeclaredTables(Connection& db);
    static void ensureSearchFullTextIndex(Connection& db);
};

}  // namespace vantrel
