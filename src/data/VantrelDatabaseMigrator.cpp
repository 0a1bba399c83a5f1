#include "data/VantrelDatabaseMigrator.h"

#include "data/Frecency.h"
#include "kit/Logger.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Database"), QStringLiteral("💾")});
    return logger;
}

// A table rebuilt with a new definition: create the new one, copy the rows,
// drop the old one and give the new one its name.
void rebuildTable(Connection& db, const QString& table, const QString& columnsDefinition, const QString& targetColumns,
                  const QString& sourceColumns) {
    const QString temporary = table + QStringLiteral("_new");
    db.execute(QStringLiteral("CREATE TABLE %1 (%2)").arg(quoteIdentifier(temporary), columnsDefinition));
    db.execute(QStringLiteral("INSERT INTO %1 (%2) SELECT %3 FROM %4")
                   .arg(quoteIdentifier(temporary), targetColumns, sourceColumns, quoteIdentifier(table)));
    db.execute(QStringLiteral("DROP TABLE %1").arg(quoteIdentifier(table)));
    db.execute(QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(quoteIdentifier(temporary), quoteIdentifier(table)));
}

void createIndex(Connection& db, const QString& table, const QStringList& columns, bool unique = false,
                 const QString& name = QString()) {
    const QString indexName = name.isEmpty() ? QStringLiteral("index_%1_on_%2").arg(table, columns.join(QLatin1Char('_')))
                                             : name;
    QStringList quoted;
    for (const QString& column : columns) quoted << quoteIdentifier(column);
    db.execute(QStringLiteral("CREATE %1INDEX %2 ON %3(%4)")
                   .arg(unique ? QStringLiteral("UNIQUE ") : QString(), quoteIdentifier(indexName),
                        quoteIdentifier(table), quoted.join(QStringLiteral(", "))));
}

void addColumn(Connection& db, const QString& table, const QString& definition) {
    db.execute(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2").arg(quoteIdentifier(table), definition));
}

void deleteFromSearch(Connection& db, const QString& whereClause) {
    db.execute(QStringLiteral("DELETE FROM search") + whereClause);
}

}  // namespace

const VantrelDatabaseRecordTable& packageConfigurationTable() {
    static const VantrelDatabaseRecordTable table{
        QStringLiteral("VantrelPackageConfiguration"),
        QStringLiteral("vantrelPackageConfiguration"),
        {{QStringLiteral("id"), true, VantrelDatabaseColumn::Type::text},
         {QStringLiteral("isEnabled"), false, VantrelDatabaseColumn::Type::boolean},
         {QStringLiteral("jsonPayload"), false, VantrelDatabaseColumn::Type::text}}};
    return table;
}

const std::vector<VantrelDatabaseRecordTable>& declaredRecordTables() {
    static const std::vector<VantrelDatabaseRecordTable> tables{packageConfigurationTable()};
    return tables;
}

VantrelDatabaseMigrator::VantrelDatabaseMigrator(std::shared_ptr<DatabasePool> pool, std::function<QDateTime()> now)
    : connection(std::move(pool)) {
    registerMigrations(migrator, std::move(now));
}

void VantrelDatabaseMigrator::createDeclaredTables(Connection& db) {
    for (const VantrelDatabaseRecordTable& table : declaredRecordTables()) {
        try {
            db.inTransaction([&] {
                auto definition = [](const VantrelDatabaseColumn& column) {
                    QString text = quoteIdentifier(column.name) +
                                   (column.type == VantrelDatabaseColumn::Type::text ? QStringLiteral(" TEXT")
                                                                                     : QStringLiteral(" BOOLEAN"));
                    if (column.isPrimaryKey) text += QStringLiteral(" PRIMARY KEY");
                    return text;
                };
                if (!db.tableExists(table.tableName)) {
                    QStringList columns;
                    for (const VantrelDatabaseColumn& column : table.columns) columns << definition(column);
                    db.execute(QStringLiteral("CREATE TABLE %1 (%2)")
                                   .arg(quoteIdentifier(table.tableName), columns.join(QStringLiteral(", "))));
                    return;
                }
                // A declaration that gained columns extends the existing table.
                const QStringList existing = db.columnNames(table.tableName);
                for (const VantrelDatabaseColumn& column : table.columns) {
                    if (existing.contains(column.name)) continue;
                    VantrelDatabaseColumn added = column;
                    added.isPrimaryKey = false;
                    addColumn(db, table.tableName, definition(added));
                }
            });
        } catch (const std::exception& error) {
            log().error(QStringLiteral("Cannot perform migration for ") + table.recordType,
                        {{QStringLiteral("error"), VantrelError::describe(error)}});
            throw;
        }
    }
}

void VantrelDatabaseMigrator::ensureSearchFullTextIndex(Connection& db) {
    if (!db.tableExists(QStringLiteral("search"))) return;
    const QStringList columns = db.columnNames(QStringLiteral("search"));
    if (!columns.contains(QStringLiteral("category")) || !columns.contains(QStringLiteral("keywords"))) return;
    db.inTransaction([&] {
        const bool created = !db.tableExists(QStringLiteral("search_fts"));
        db.execute(QStringLiteral(
            "CREATE VIRTUAL TABLE IF NOT EXISTS search_fts USING fts5("
            "name, category, keywords, content='search', content_rowid='id', tokenize='unicode61 remove_diacritics 2');"
            "CREATE TRIGGER IF NOT EXISTS search_fts_after_insert AFTER INSERT ON search BEGIN "
            "INSERT INTO search_fts(rowid, name, category, keywords) "
            "VALUES (new.id, new.name, new.category, new.keywords); END;"
            "CREATE TRIGGER IF NOT EXISTS search_fts_after_delete AFTER DELETE ON search BEGIN "
            "INSERT INTO search_fts(search_fts, rowid, name, category, keywords) "
            "VALUES ('delete', old.id, old.name, old.category, old.keywords); END;"
            "CREATE TRIGGER IF NOT EXISTS search_fts_after_update AFTER UPDATE OF name, category, keywords ON search "
            "BEGIN "
            "INSERT INTO search_fts(search_fts, rowid, name, category, keywords) "
            "VALUES ('delete', old.id, old.name, old.category, old.keywords); "
            "INSERT INTO search_fts(rowid, name, category, keywords) "
            "VALUES (new.id, new.name, new.category, new.keywords); END;"));
        if (created) db.execute(QStringLiteral("INSERT INTO search_fts(search_fts) VALUES ('rebuild')"));
    });
}

QStringList VantrelDatabaseMigrator::migrate(const std::optional<QString>& upTo) {
    connection->writeWithoutTransaction([](Connection& db) { createDeclaredTables(db); });
    const QStringList applied = migrator.migrate(*connection, upTo);
    connection->writeWithoutTransaction([](Connection& db) { ensureSearchFullTextIndex(db); });
    return applied;
}

void VantrelDatabaseMigrator::registerMigrations(DatabaseMigrator& migrator, std::function<QDateTime()> now) {
    auto add = [&](const char* identifier, DatabaseMigrator::Body body) {
        migrator.registerMigration(QString::fromLatin1(identifier), std::move(body));
    };

    add("createSearchTable", [](Connection& db) {
        db.execute(QStringLiteral(
            "CREATE TABLE search (id INTEGER PRIMARY KEY AUTOINCREMENT, key TEXT NOT NULL, type TEXT NOT NULL, "
            "source TEXT NOT NULL, name TEXT NOT NULL, keywords TEXT, path TEXT, frecencyDate DATETIME)"));
        for (const char* column : {"key", "name", "keywords", "path"})
            createIndex(db, QStringLiteral("search"), {QString::fromLatin1(column)});
    });

    add("createClipboardTable", [](Connection& db) {
        db.execute(QStringLiteral(
            "CREATE TABLE clipboard (id INTEGER PRIMARY KEY AUTOINCREMENT, "
            "content TEXT NOT NULL UNIQUE ON CONFLICT REPLACE, date DATETIME NOT NULL)"));
        createIndex(db, QStringLiteral("clipboard"), {QStringLiteral("content")});
    });

    add("createQuicklinksTable", [](Connection& db) {
        db.execute(QStringLiteral(
            "CREATE TABLE quicklinks (url TEXT PRIMARY KEY ON CONFLICT REPLACE, type TEXT NOT NULL, "
            "name TEXT NOT NULL, applicationID TEXT NOT NULL, updatedAt DATETIME NOT NULL, isEnabled BOOLEAN DEFAULT 1)"));
    });

    add("addMetadataToClipboardTable", [](Connection& db) {
        rebuildTable(db, QStringLiteral("clipboard"),
                     QStringLiteral("id INTEGER PRIMARY KEY AUTOINCREMENT, "
                                    "content TEXT NOT NULL UNIQUE ON CONFLICT REPLACE, createdAt DATETIME NOT NULL, "
                                    "lastModifiedAt DATETIME NOT NULL, copyCount INTEGER NOT NULL DEFAULT 1, "
                                    "isPinned BOOLEAN NOT NULL DEFAULT 0"),
                     QStringLiteral("id, content, createdAt, lastModifiedAt"), QStringLiteral("id, content, date, date"));
        createIndex(db, QStringLiteral("clipboard"), {QStringLiteral("content")});
    });

    add("addIndexToClipboardTable", [](Connection& db) {
        createIndex(db, QStringLiteral("clipboard"), {QStringLiteral("lastModifiedAt")});
    });

    add("addCategoryColumnToSearchTable",
        [](Connection& db) { addColumn(db, QStringLiteral("search"), QStringLiteral("category TEXT")); });

    add("addUninstalledColumnToSearchTable", [](Connection& db) {
        addColumn(db, QStringLiteral("search"), QStringLiteral("uninstalled BOOLEAN DEFAULT 0"));
    });

    add("addFavoriteColumnToSearchTable",
        [](Connection& db) { addColumn(db, QStringLiteral("search"), QStringLiteral("favorite DOUBLE")); });

    add("addOpenedAtColumnToSearchTable",
        [](Connection& db) { addColumn(db, QStringLiteral("search"), QStringLiteral("openedAt DATETIME")); });

    add("addAliasHotkeyAndShortcutAddedAtColumnsToSearchTable", [](Connection& db) {
        addColumn(db, QStringLiteral("search"), QStringLiteral("alias TEXT"));
        addColumn(db, QStringLiteral("search"), QStringLiteral("hotkey TEXT"));
        addColumn(db, QStringLiteral("search"), QStringLiteral("shortcutAddedAt DATETIME"));
    });

    add("addCompositeIndexToClipboardTable", [](Connection& db) {
        createIndex(db, QStringLiteral("clipboard"), {QStringLiteral("isPinned"), QStringLiteral("lastModifiedAt")});
    });

    add("addFilePathAndImageDataToClipboardTable", [](Connection& db) {
        addColumn(db, QStringLiteral("clipboard"), QStringLiteral("filePath TEXT"));
        addColumn(db, QStringLiteral("clipboard"), QStringLiteral("imageData BLOB"));
    });

    add("addImageHashToClipboardTable",
        [](Connection& db) { addColumn(db, QStringLiteral("clipboard"), QStringLiteral("imageHash TEXT")); });

    add("removeUniquenessFromClipboardTable", [](Connection& db) {
        rebuildTable(db, QStringLiteral("clipboard"),
                     QStringLiteral("id INTEGER PRIMARY KEY AUTOINCREMENT, text TEXT NOT NULL, filePath TEXT, "
                                    "imageHash TEXT, createdAt DATETIME NOT NULL, lastModifiedAt DATETIME NOT NULL, "
                                    "copyCount INTEGER NOT NULL DEFAULT 1, isPinned BOOLEAN NOT NULL DEFAULT 0"),
                     QStringLiteral("id, text, filePath, imageHash, createdAt, lastModifiedAt, copyCount, isPinned"),
                     QStringLiteral("id, content, filePath, imageHash, createdAt, lastModifiedAt, copyCount, isPinned"));
        for (const char* column : {"text", "filePath", "imageHash", "lastModifiedAt"})
            createIndex(db, QStringLiteral("clipboard"), {QString::fromLatin1(column)});
        createIndex(db, QStringLiteral("clipboard"), {QStringLiteral("isPinned"), QStringLiteral("lastModifiedAt")});
    });

    add("addCategoryToClipboardTable", [](Connection& db) {
        addColumn(db, QStringLiteral("clipboard"), QStringLiteral("category TEXT DEFAULT 'text'"));
        createIndex(db, QStringLiteral("clipboard"), {QStringLiteral("category")});
    });

    add("addFormattedTextToClipboardTable",
        [](Connection& db) { addColumn(db, QStringLiteral("clipboard"), QStringLiteral("richTextData BLOB")); });

    add("createNotesTable", [](Connection& db) {
        db.execute(QStringLiteral(
            "CREATE TABLE notes (id INTEGER PRIMARY KEY AUTOINCREMENT, text TEXT, type TEXT NOT NULL, "
            "createdAt DATETIME NOT NULL, lastModifiedAt DATETIME NOT NULL)"));
    });

    add("replaceSampleAppIDsInQuicklink", [](Connection& db) {
        db.execute(QStringLiteral("UPDATE quicklinks SET applicationID = '' WHERE applicationID = 'sample'"));
    });

    add("moveClipboardHistoryToSeparatePackage", [](Connection& db) {
        const auto row = db.queryOne(QStringLiteral(
            "SELECT isEnabled, jsonPayload FROM vantrelPackageConfiguration WHERE id = 'builtin_package_default'"));
        if (!row) return;
        QJsonObject payload = QJsonDocument::fromJson((*row)[1].toString().toUtf8()).object();
        QJsonArray disabled = payload.value(QStringLiteral("disabledCommands")).toArray();
        const QJsonValue clipboardCommand(QStringLiteral("builtin_command_clipboardHistory"));
        if (!disabled.contains(clipboardCommand)) return;
        for (qsizetype i = disabled.size() - 1; i >= 0; --i)
            if (disabled.at(i) == clipboardCommand) disabled.removeAt(i);
        payload.insert(QStringLiteral("disabledCommands"), disabled);
        QString json = QString::fromUtf8(QJsonDocument(payload).toJson(QJsonDocument::Compact));
        json.replace(QLatin1Char('\''), QStringLiteral("''"));
        db.execute(QStringLiteral("UPDATE vantrelPackageConfiguration\nSET jsonPayload = '") + json +
                   QStringLiteral("'\nWHERE id = 'builtin_package_default'"));
        // The user had switched clipboard history off: its own package starts disabled.
        if (db.queryOne(QStringLiteral(
                "SELECT 1 FROM vantrelPackageConfiguration WHERE id = 'builtin_package_clipboardHistory'"))) {
            db.execute(QStringLiteral(
                "UPDATE vantrelPackageConfiguration SET isEnabled = 0 WHERE id = 'builtin_package_clipboardHistory'"));
        } else {
            db.execute(QStringLiteral("INSERT INTO vantrelPackageConfiguration (id, isEnabled, jsonPayload)\n"
                                      "VALUES ('builtin_package_clipboardHistory', '0', '{}')"));
        }
    });

    add("createBrowserBookmarksTable", [](Connection& db) {
        db.execute(QStringLiteral(
            "CREATE TABLE browserBookmarks (url TEXT PRIMARY KEY ON CONFLICT REPLACE, frecencyDate DATETIME NOT NULL)"));
    });

    add("createExtensionsTable", [](Connection& db) {
        db.execute(QStringLiteral(
            "CREATE TABLE extensions (\n"
            "  id TEXT PRIMARY KEY NOT NULL,\n"
            "  manifest TEXT NOT NULL,\n"
            "  displayName TEXT GENERATED ALWAYS AS (json_extract(manifest, '$.displayName')) VIRTUAL NOT NULL,\n"
            "  version TEXT GENERATED ALWAYS AS (json_extract(manifest, '$.version')) VIRTUAL NOT NULL,\n"
            "  publisher TEXT GENERATED ALWAYS AS (json_extract(manifest, '$.publisher')) VIRTUAL NOT NULL,\n"
            "  commands TEXT GENERATED ALWAYS AS (json_extract(manifest, '$.commands')) VIRTUAL NOT NULL,\n"
            "  createdAt DATETIME NOT NULL,\n"
            "  updatedAt DATETIME NOT NULL\n"
            ")"));
    });

    add("addSearchTermsColumnToSearchTable",
        [](Connection& db) { addColumn(db, QStringLiteral("search"), QStringLiteral("searchTerms TEXT")); });

    add("updateFrecenciesWithNewHalfLifeValue", [now](Connection& db) {
        const QDateTime moment = now();
        auto update = db.prepare(QStringLiteral("UPDATE search SET frecencyDate = ? WHERE id = ?"));
        for (const Row& row : db.query(QStringLiteral("SELECT id, frecencyDate FROM search WHERE frecencyDate IS NOT NULL"))) {
            const QDateTime stored = DatabaseDate::fromVariant(row[1]);
            if (!stored.isValid()) continue;
            const double score = Frecency::score(stored, moment, 30.0);
            update.reset();
            update.bind({Frecency::date(score, moment, 10.0), row[0]});
            update.step();
        }
    });

    add("addBrowserBookmarksSyncColumns", [](Connection& db) {
        const QString table = QStringLiteral("browserBookmarks");
        const QString temporary = table + QStringLiteral("_temp");
        db.execute(QStringLiteral("CREATE TABLE %1 (url TEXT NOT NULL, source TEXT NOT NULL DEFAULT '', "
                                  "name TEXT NOT NULL DEFAULT '', tags TEXT NOT NULL DEFAULT '', imageURL TEXT, "
                                  "frecencyDate DATETIME, updatedAt DATETIME)")
                       .arg(quoteIdentifier(temporary)));
        createIndex(db, temporary, {QStringLiteral("url")}, false, QStringLiteral("index_browserBookmarks_on_url"));
        createIndex(db, temporary, {QStringLiteral("name")}, false, QStringLiteral("index_browserBookmarks_on_name"));
        createIndex(db, temporary, {QStringLiteral("tags")}, false, QStringLiteral("index_browserBookmarks_on_tags"));
        createIndex(db, temporary, {QStringLiteral("url"), QStringLiteral("source")}, true,
                    QStringLiteral("url_source_index"));
        db.execute(QStringLiteral("INSERT INTO ") + temporary +
                   QStringLiteral(" (url, frecencyDate, updatedAt)\n SELECT url, frecencyDate, datetime('now') FROM ") +
                   table);
        db.execute(QStringLiteral("DROP TABLE ") + table);
        db.execute(QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(temporary, table));
    });

    add("createCommandsTable", [](Connection& db) {
        db.execute(QStringLiteral("DROP TABLE extensions"));
        deleteFromSearch(db, QStringLiteral(" WHERE source = 'extensions' AND type = 'extensionCommand'"));
        db.execute(QStringLiteral(
            "CREATE TABLE commands (name TEXT NOT NULL, description TEXT, keywords TEXT, title TEXT NOT NULL, "
            "icon TEXT NOT NULL, updatedAt DATETIME NOT NULL)"));
        createIndex(db, QStringLiteral("commands"), {QStringLiteral("title")});
    });

    add("deleteShortcutPreferencesCommand", [](Connection& db) {
        deleteFromSearch(db, QStringLiteral(" WHERE key = 'builtin_command_preferencesShortcuts';"));
    });

    add("deleteCommandsPreferencesCommand", [](Connection& db) {
        deleteFromSearch(db, QStringLiteral(" WHERE key = 'builtin_command_preferencesCommands';"));
    });

    // Recorded so that it never runs again; the column it once added is not used.
    add("addPackageNameColumnToCommands", [](Connection&) {});

    add("deletePreviewPreferencesCommand", [](Connection& db) {
        deleteFromSearch(db, QStringLiteral(" WHERE key = 'builtin_command_preferencesPreview';"));
    });

    add("addApplicationPathToClipboardTable",
        [](Connection& db) { addColumn(db, QStringLiteral("clipboard"), QStringLiteral("applicationPath TEXT")); });

    add("createExtensionsAndCommandsTables", [](Connection& db) {
        db.execute(QStringLiteral("DROP TABLE IF EXISTS extensions"));
        db.execute(QStringLiteral("DROP TABLE IF EXISTS commands"));
        deleteFromSearch(db, QStringLiteral(" WHERE type = 'packageCommand' AND source = 'packageCommands';"));
        db.execute(QStringLiteral(
            "CREATE TABLE extensions (id INTEGER PRIMARY KEY AUTOINCREMENT, uuid TEXT, name TEXT NOT NULL, "
            "title TEXT NOT NULL, description TEXT NOT NULL, icon TEXT NOT NULL, keywords TEXT, license TEXT, "
            "username TEXT, version DATETIME, updatedAt DATETIME NOT NULL)"));
        createIndex(db, QStringLiteral("extensions"), {QStringLiteral("uuid")});
        createIndex(db, QStringLiteral("extensions"), {QStringLiteral("name")});
        db.execute(QStringLiteral(
            "CREATE TABLE commands (id INTEGER PRIMARY KEY AUTOINCREMENT, "
            "extensionId INTEGER NOT NULL REFERENCES extensions(id), uuid TEXT, name TEXT NOT NULL, "
            "title TEXT NOT NULL, description TEXT NOT NULL, icon TEXT, keywords TEXT, mode TEXT NOT NULL, "
            "installed BOOLEAN NOT NULL, updatedAt DATETIME NOT NULL)"));
        createIndex(db, QStringLiteral("commands"), {QStringLiteral("extensionId")});
        createIndex(db, QStringLiteral("commands"), {QStringLiteral("uuid")});
        createIndex(db, QStringLiteral("commands"), {QStringLiteral("name")});
    });

    add("addPreferencesToExtensionsAndCommands", [](Connection& db) {
        addColumn(db, QStringLiteral("extensions"), QStringLiteral("preferences TEXT"));
        addColumn(db, QStringLiteral("commands"), QStringLiteral("preferences TEXT"));
    });

    add("createSnippetsTable", [](Connection& db) {
        db.execute(QStringLiteral(
            "CREATE TABLE snippets (id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL, text TEXT NOT NULL, "
            "mimeType TEXT, richTextData BLOB, alias TEXT, category TEXT NOT NULL DEFAULT 'text', "
            "isPinned BOOLEAN NOT NULL DEFAULT 0, createdAt DATETIME NOT NULL, modifiedAt DATETIME NOT NULL, "
            "accessedAt DATETIME NOT NULL)"));
        for (const char* column : {"name", "text", "category"})
            createIndex(db, QStringLiteral("snippets"), {QString::fromLatin1(column)});
    });

    add("addAutoIncremetingPrimaryKeyToQuicklinks", [](Connection& db) {
        rebuildTable(db, QStringLiteral("quicklinks"),
                     QStringLiteral("id INTEGER PRIMARY KEY AUTOINCREMENT, url TEXT NOT NULL, name TEXT NOT NULL, "
                                    "applicationID TEXT NOT NULL, updatedAt DATETIME NOT NULL, isEnabled BOOLEAN DEFAULT 1"),
                     QStringLiteral("url, name, applicationID, updatedAt, isEnabled"),
                     QStringLiteral("url, name, applicationID, updatedAt, isEnabled"));
    });
}

}  // namespace vantrel
