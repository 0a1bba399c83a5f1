#include "data/DatabaseMigrator.h"

#include <QSet>

namespace vantrel {

void DatabaseMigrator::registerMigration(const QString& identifier, Body body) {
    for (const Migration& migration : m_migrations)
        if (migration.identifier == identifier)
            throw VantrelError(QStringLiteral("Migration is already registered: ") + identifier);
    m_migrations.push_back({identifier, std::move(body)});
}

QStringList DatabaseMigrator::identifiers() const {
    QStringList list;
    for (const Migration& migration : m_migrations) list << migration.identifier;
    return list;
}

QStringList DatabaseMigrator::appliedIdentifiers(Connection& connection) {
    if (!connection.tableExists(QString::fromLatin1(kBookkeepingTable))) return {};
    QStringList list;
    for (const Row& row : connection.query(QStringLiteral("SELECT identifier FROM %1 ORDER BY rowid")
                                               .arg(QString::fromLatin1(kBookkeepingTable))))
        list << row[0].toString();
    return list;
}

QStringList DatabaseMigrator::migrate(DatabasePool& pool, const std::optional<QString>& upTo) const {
    return pool.writeWithoutTransaction([&](Connection& db) {
        db.execute(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (identifier TEXT NOT NULL PRIMARY KEY)")
                       .arg(QString::fromLatin1(kBookkeepingTable)));
        const QStringList alreadyApplied = appliedIdentifiers(db);
        const QSet<QString> applied(alreadyApplied.begin(), alreadyApplied.end());
        QStringList appliedNow;
        for (const Migration& migration : m_migrations) {
            if (!applied.contains(migration.identifier)) {
                db.inTransaction([&] {
                    migration.body(db);
                    db.execute(QStringLiteral("INSERT INTO %1 (identifier) VALUES (?)")
                                   .arg(QString::fromLatin1(kBookkeepingTable)),
                               {migration.identifier});
                });
                appliedNow << migration.identifier;
            }
            if (upTo && migration.identifier == *upTo) break;
        }
        return appliedNow;
    });
}

}  // namespace vantrel
