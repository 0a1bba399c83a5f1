#pragma once

#include "data/DatabasePool.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace vantrel {

// An ordered registry of named schema migrations. Each applied identifier is
// recorded in the bookkeeping table and never runs again; unapplied ones run in
// registration order, each inside its own transaction together with its record.
class DatabaseMigrator {
public:
    static constexpr const char* kBookkeepingTable = "vantrel_migrations";
    using Body = std::function<void(Connection&)>;

    // Throws VantrelError when the identifier is already registered.
    void registerMigration(const QString& identifier, Body body);
    QStringList identifiers() const;

    // Applies what is missing, stopping after `upTo` when given. Returns the
    // identifiers applied by this call. A failing migration is rolled back and
    // its error rethrown; the ones before it stay applied.
    QStringList migrate(DatabasePool& pool, const std::optional<QString>& upTo = std::nullopt) const;

    // Applied identifiers in the order they were applied.
    static QStringList appliedIdentifiers(Connection& connection);

private:
    struct Migration {
        QString identifier;
        Body body;
    };
    std::vector<Migration> m_migrations;
};

}  // namespace vantrel
