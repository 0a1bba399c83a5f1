#include "data/ExtensionsRepository.h"

#include "data/RecordCoding.h"

#include <QHash>
#include <QSet>

namespace vantrel {

using namespace RecordCoding;

namespace {

// "commands.id AS command_id, …, extensions.id AS extension_id, …"
const QString& joinedColumns() {
    static const QString columns = [] {
        QStringList list;
        for (const QString& column : CommandRecord::columnNames())
            list << QStringLiteral("commands.%1 AS command_%1").arg(column);
        for (const QString& column : ExtensionRecord::columnNames())
            list << QStringLiteral("extensions.%1 AS extension_%1").arg(column);
        return list.join(QStringLiteral(", "));
    }();
    return columns;
}

QString joinedSelect(const QString& where) {
    return QStringLiteral("SELECT ") + joinedColumns() +
           QStringLiteral(" FROM commands JOIN extensions ON extensions.id = commands.extensionId WHERE ") + where +
           QStringLiteral(" ORDER BY commands.id LIMIT 1");
}

std::optional<CommandInfo> commandInfoFrom(const std::optional<Row>& row) {
    if (!row) return std::nullopt;
    return CommandInfo::fromJoinedRow(*row);
}

ExtensionInfo infoFor(Connection& db, const Row& extensionRow) {
    ExtensionInfo info;
    info.extension = ExtensionRecord::fromRow(extensionRow);
    info.commands = recordsFrom<CommandRecord>(
        db.query(QStringLiteral("SELECT * FROM commands WHERE extensionId = ? ORDER BY id"), {*info.extension.id}));
    return info;
}

std::optional<ExtensionInfo> infoWhere(Connection& db, const QString& where, const QVariantList& arguments) {
    const auto row = db.queryOne(QStringLiteral("SELECT * FROM extensions WHERE ") + where +
                                     QStringLiteral(" ORDER BY id LIMIT 1"),
                                 arguments);
    if (!row) return std::nullopt;
    return infoFor(db, *row);
}

}  // namespace

ExtensionsRepository::ExtensionsRepository(std::shared_ptr<DatabasePool> pool) : dbConnection(std::move(pool)) {}

ExtensionInfo ExtensionsRepository::saveExtension(const ExtensionRecord& extension,
                                                  const std::vector<CommandRecord>& commands) {
    return dbConnection->write([&](Connection& db) {
        ExtensionInfo info;
        info.extension = extension;
        bool updated = false;
        if (extension.id) {
            QVariantList arguments = extension.bindValues();
            arguments << *extension.id;
            db.execute(updateByIdStatement(ExtensionRecord::tableName, ExtensionRecord::valueColumnNames()), arguments);
            updated = db.changes() > 0;
        }
        if (!updated) {
            db.execute(insertStatement(ExtensionRecord::tableName, ExtensionRecord::valueColumnNames()),
                       extension.bindValues());
            info.extension.id = db.lastInsertRowId();
        }
        const qint64 extensionId = *info.extension.id;

        QHash<QString, qint64> existing;
        for (const Row& row :
             db.query(QStringLiteral("SELECT id, name FROM commands WHERE extensionId = ? ORDER BY id"), {extensionId})) {
            const QString name = string(row[1]);
            if (!existing.contains(name)) existing.insert(name, row[0].toLongLong());
        }
        QSet<qint64> kept;
        for (const CommandRecord& command : commands) {
            CommandRecord stored = command;
            stored.extensionId = extensionId;
            if (const auto found = existing.constFind(stored.name); found != existing.constEnd()) {
                stored.id = found.value();
                QVariantList arguments = stored.bindValues();
                arguments << *stored.id;
                db.execute(updateByIdStatement(CommandRecord::tableName, CommandRecord::valueColumnNames()), arguments);
            } else {
                db.execute(insertStatement(CommandRecord::tableName, CommandRecord::valueColumnNames()),
                           stored.bindValues());
                stored.id = db.lastInsertRowId();
                existing.insert(stored.name, *stored.id);
            }
            kept.insert(*stored.id);
            info.commands.push_back(std::move(stored));
        }
        for (const qint64 id : existing)
            if (!kept.contains(id)) db.execute(QStringLiteral("DELETE FROM commands WHERE id = ?"), {id});
        return info;
    });
}

std::vector<ExtensionInfo> ExtensionsRepository::extensions() const {
    return dbConnection->read([](Connection& db) {
        std::vector<ExtensionInfo> infos;
        for (const Row& row : db.query(QStringLiteral("SELECT * FROM extensions ORDER BY title, id")))
            infos.push_back(infoFor(db, row));
        return infos;
    });
}

std::optional<ExtensionInfo> ExtensionsRepository::extension(qint64 id) const {
    return dbConnection->read([&](Connection& db) { return infoWhere(db, QStringLiteral("id = ?"), {id}); });
}

std::optional<ExtensionInfo> ExtensionsRepository::extension(const ExtensionRequest& request) const {
    return dbConnection->read([&](Connection& db) {
        if (request.uuid) return infoWhere(db, QStringLiteral("uuid = ?"), {*request.uuid});
        return infoWhere(db, QStringLiteral("name = ?"), {request.name});
    });
}

std::optional<CommandInfo> ExtensionsRepository::commandInfo(qint64 commandId) const {
    return dbConnection->read(
        [&](Connection& db) { return commandInfoFrom(db.queryOne(joinedSelect(QStringLiteral("commands.id = ?")), {commandId})); });
}

std::optional<CommandInfo> ExtensionsRepository::commandInfo(const CommandRequest& request) const {
    return dbConnection->read([&](Connection& db) {
        QStringList conditions;
        QVariantList arguments;
        if (request.uuid) {
            conditions << QStringLiteral("commands.uuid = ?");
            arguments << *request.uuid;
        } else {
            conditions << QStringLiteral("commands.name = ?");
            arguments << request.name;
        }
        if (request.extensionUUID) {
            conditions << QStringLiteral("extensions.uuid = ?");
            arguments << *request.extensionUUID;
        } else {
            conditions << QStringLiteral("extensions.name = ?");
            arguments << request.extensionName;
        }
        return commandInfoFrom(db.queryOne(joinedSelect(conditions.join(QStringLiteral(" AND "))), arguments));
    });
}

bool ExtensionsRepository::deleteExtension(qint64 id) {
    return dbConnection->write([&](Connection& db) {
        db.execute(QStringLiteral("DELETE FROM commands WHERE extensionId = ?"), {id});
        db.execute(QStringLiteral("DELETE FROM extensions WHERE id = ?"), {id});
        return db.changes() > 0;
    });
}

}  // namespace vantrel
