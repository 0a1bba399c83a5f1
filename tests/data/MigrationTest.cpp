// The schema the migrations produce, and what each data-carrying migration
// does to rows that already exist.
#include "support/DatabaseTestSupport.h"

#include "data/Frecency.h"
#include "data/VantrelDatabaseMigrator.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace vantrel::test {
namespace {

class MigrationTest : public DatabaseFixture {
protected:
    // A pool keyed like the real one, migrated only up to `identifier`.
    std::shared_ptr<DatabasePool> poolMigratedUpTo(const QString& identifier) {
        DatabaseOpener opener = makeOpener();
        QDir().mkpath(QFileInfo(path).absolutePath());
        auto pool = std::make_shared<DatabasePool>(path, opener.createDatabaseConfig());
        VantrelDatabaseMigrator(pool).migrate(identifier);
        return pool;
    }

    QStringList applied(DatabasePool& pool) {
        return pool.read([](Connection& db) { return DatabaseMigrator::appliedIdentifiers(db); });
    }

    QStringList columns(DatabasePool& pool, const QString& table) {
        return pool.read([&](Connection& db) { return db.columnNames(table); });
    }
};

TEST_F(MigrationTest, FreshDatabaseHasEveryMigrationAndTheResultingSchema) {
    auto pool = open();
    ASSERT_TRUE(pool);
    EXPECT_EQ(applied(*pool), expectedMigrationIdentifiers());

    const std::vector<std::pair<QString, QStringList>> tables{
        {"search",
         {"id", "key", "type", "source", "name", "keywords", "path", "frecencyDate", "category", "uninstalled",
          "favorite", "openedAt", "alias", "hotkey", "shortcutAddedAt", "searchTerms"}},
        {"clipboard",
         {"id", "text", "filePath", "imageHash", "createdAt", "lastModifiedAt", "copyCount", "isPinned", "category",
          "richTextData", "applicationPath"}},
        {"quicklinks", {"id", "url", "name", "applicationID", "updatedAt", "isEnabled"}},
        {"notes", {"id", "text", "type", "createdAt", "lastModifiedAt"}},
        {"browserBookmarks", {"url", "source", "name", "tags", "imageURL", "frecencyDate", "updatedAt"}},
        {"extensions",
         {"id", "uuid", "name", "title", "description", "icon", "keywords", "license", "username", "version",
          "updatedAt", "preferences"}},
        {"commands",
         {"id", "extensionId", "uuid", "name", "title", "description", "icon", "keywords", "mode", "installed",
          "updatedAt", "preferences"}},
        {"snippets",
         {"id", "name", "text", "mimeType", "richTextData", "alias", "category", "isPinned", "createdAt", "modifiedAt",
          "accessedAt"}},
        {"vantrelPackageConfiguration", {"id", "isEnabled", "jsonPayload"}},
    };
    for (const auto& [table, expected] : tables) EXPECT_EQ(columns(*pool, table), expected) << table.toStdString();

    pool->read([](Connection& db) {
        EXPECT_TRUE(db.indexNames(QStringLiteral("browserBookmarks")).contains(QStringLiteral("url_source_index")));
        EXPECT_TRUE(db.tableExists(QStringLiteral("search_fts")));
    });
    // Bookmarks are unique per url and source.
    pool->write([](Connection& db) {
        db.execute(
            QStringLiteral("INSERT INTO browserBookmarks (url, source) VALUES ('https://a.example', 'firefox')"));
        db.execute(
            QStringLiteral("INSERT INTO browserBookmarks (url, source) VALUES ('https://a.example', 'chromium')"));
        EXPECT_THROW(db.execute(QStringLiteral(
                         "INSERT INTO browserBookmarks (url, source) VALUES ('https://a.example', 'firefox')")),
                     DatabaseError);
    });
}

TEST_F(MigrationTest, DatabaseAtStep22GainsExactlySteps23To34InOrderAndKeepsEveryScore) {
    const QStringList& all = expectedMigrationIdentifiers();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    {
        auto pool = poolMigratedUpTo(QStringLiteral("addSearchTermsColumnToSearchTable"));
        ASSERT_EQ(applied(*pool), all.mid(0, 22));
        pool->write([&](Connection& db) {
            // Scores under the old 30-day half-life.
            for (double score : {1.0, 101.0, 2500.0}) {
                db.execute(QStringLiteral("INSERT INTO search (key, type, source, name, frecencyDate) "
                                          "VALUES (?, 'systemApp', 'system', ?, ?)"),
                           {QStringLiteral("app%1").arg(score), QStringLiteral("App %1").arg(score),
                            Frecency::date(score, now, 30.0)});
            }
            db.execute(
                QStringLiteral("INSERT INTO search (key, type, source, name) "
                               "VALUES ('never', 'systemApp', 'system', 'Never Opened')"));
            db.execute(
                QStringLiteral("INSERT INTO search (key, type, source, name) "
                               "VALUES ('builtin_command_preferencesShortcuts', 'command', 'package', 'Old')"));
            db.execute(
                QStringLiteral("INSERT INTO browserBookmarks (url, frecencyDate) "
                               "VALUES ('https://b.example', '2024-01-02 03:04:05.678')"));
            db.execute(
                QStringLiteral("INSERT INTO quicklinks (url, type, name, applicationID, updatedAt) "
                               "VALUES ('https://q.example/{query}', 'url', 'Q', '', '2024-01-02 03:04:05.678')"));
        });
    }

    DatabaseOpener opener = makeOpener();
    auto pool = opener.openDatabase();
    ASSERT_TRUE(pool);
    EXPECT_EQ(opener.appliedMigrations(), all.mid(22));
    EXPECT_EQ(applied(*pool), all);

    const QDateTime after = QDateTime::currentDateTimeUtc();
    pool->read([&](Connection& db) {
        const auto rows = db.query(QStringLiteral("SELECT name, frecencyDate FROM search ORDER BY id"));
        ASSERT_EQ(rows.size(), 4u);  // the preferences command row is gone
        const double expected[] = {1.0, 101.0, 2500.0};
        for (int i = 0; i < 3; ++i) {
            const double score = Frecency::score(DatabaseDate::fromVariant(rows[i][1]), after, 10.0);
            EXPECT_NEAR(score, expected[i], expected[i] * 1e-4) << rows[i][0].toString().toStdString();
        }
        EXPECT_FALSE(rows[3][1].isValid());

        const auto bookmark =
            db.queryOne(QStringLiteral("SELECT url, source, name, tags, frecencyDate, updatedAt "
                                       "FROM browserBookmarks"));
        ASSERT_TRUE(bookmark);
        EXPECT_EQ((*bookmark)[0].toString(), QStringLiteral("https://b.example"));
        EXPECT_EQ((*bookmark)[1].toString(), QString());
        EXPECT_EQ(DatabaseDate::fromVariant((*bookmark)[4]), DatabaseDate::fromVariant("2024-01-02 03:04:05.678"));
        EXPECT_TRUE(DatabaseDate::fromVariant((*bookmark)[5]).isValid());

        const auto quicklink = db.queryOne(QStringLiteral("SELECT id, url, name FROM quicklinks"));
        ASSERT_TRUE(quicklink);
        EXPECT_EQ((*quicklink)[0].toLongLong(), 1);
        EXPECT_EQ((*quicklink)[1].toString(), QStringLiteral("https://q.example/{query}"));
    });
}

TEST_F(MigrationTest, ClipboardRebuildKeepsIdsTextsAndCountersButDropsImageData) {
    {
        auto pool = poolMigratedUpTo(QStringLiteral("addImageHashToClipboardTable"));
        pool->write([](Connection& db) {
            db.execute(
                QStringLiteral("INSERT INTO clipboard (id, content, createdAt, lastModifiedAt, copyCount, isPinned, "
                               "filePath, imageData, imageHash) VALUES "
                               "(7, 'first copy', '2023-05-01 10:00:00.000', '2023-05-02 11:00:00.000', 3, 1, "
                               "NULL, NULL, NULL), "
                               "(12, 'picture', '2023-05-03 10:00:00.000', '2023-05-03 10:00:00.000', 1, 0, "
                               "'/tmp/p.png', x'89504e47', 'abc123')"));
        });
    }
    auto pool = open();
    ASSERT_TRUE(pool);
    EXPECT_FALSE(columns(*pool, QStringLiteral("clipboard")).contains(QStringLiteral("imageData")));
    pool->read([](Connection& db) {
        const auto rows = db.query(QStringLiteral(
            "SELECT id, text, copyCount, isPinned, filePath, imageHash, createdAt, lastModifiedAt, category "
            "FROM clipboard ORDER BY id"));
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0][0].toLongLong(), 7);
        EXPECT_EQ(rows[0][1].toString(), QStringLiteral("first copy"));
        EXPECT_EQ(rows[0][2].toLongLong(), 3);
        EXPECT_EQ(rows[0][3].toLongLong(), 1);
        EXPECT_EQ(rows[0][6].toString(), QStringLiteral("2023-05-01 10:00:00.000"));
        EXPECT_EQ(rows[0][7].toString(), QStringLiteral("2023-05-02 11:00:00.000"));
        EXPECT_EQ(rows[0][8].toString(), QStringLiteral("text"));
        EXPECT_EQ(rows[1][0].toLongLong(), 12);
        EXPECT_EQ(rows[1][4].toString(), QStringLiteral("/tmp/p.png"));
        EXPECT_EQ(rows[1][5].toString(), QStringLiteral("abc123"));
    });
    // The text is no longer unique: the same text can be stored twice.
    pool->write([](Connection& db) {
        db.execute(
            QStringLiteral("INSERT INTO clipboard (text, createdAt, lastModifiedAt) "
                           "VALUES ('first copy', '2024-01-01 00:00:00.000', '2024-01-01 00:00:00.000')"));
    });
    EXPECT_EQ(count(*pool, QStringLiteral("clipboard")), 3);
}

TEST_F(MigrationTest, StepWithoutChangesIsRecordedAndNeverRunsAgain) {
    auto pool = open();
    ASSERT_TRUE(pool);
    EXPECT_TRUE(applied(*pool).contains(QStringLiteral("addPackageNameColumnToCommands")));

    int runs = 0;
    DatabaseMigrator again;
    again.registerMigration(QStringLiteral("addPackageNameColumnToCommands"), [&](Connection&) { ++runs; });
    again.registerMigration(QStringLiteral("someLaterMigration"), [&](Connection&) { ++runs; });
    EXPECT_EQ(again.migrate(*pool), QStringList{QStringLiteral("someLaterMigration")});
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(again.migrate(*pool), QStringList{});
    EXPECT_EQ(runs, 1);
}

TEST_F(MigrationTest, ClipboardHistoryCommandDisabledInTheDefaultPackageBecomesADisabledPackage) {
    {
        auto pool = poolMigratedUpTo(QStringLiteral("replaceSampleAppIDsInQuicklink"));
        pool->write([](Connection& db) {
            const QJsonObject payload{
                {"disabledCommands", QJsonArray{"builtin_command_emoji", "builtin_command_clipboardHistory"}},
                {"note", "it's kept"}};
            db.execute(QStringLiteral("INSERT INTO vantrelPackageConfiguration (id, isEnabled, jsonPayload) "
                                      "VALUES ('builtin_package_default', 1, ?)"),
                       {QString::fromUtf8(QJsonDocument(payload).toJson(QJsonDocument::Compact))});
        });
    }
    auto pool = open();
    ASSERT_TRUE(pool);
    pool->read([](Connection& db) {
        const auto defaultRow = db.queryOne(
            QStringLiteral("SELECT jsonPayload FROM vantrelPackageConfiguration WHERE id = 'builtin_package_default'"));
        ASSERT_TRUE(defaultRow);
        const QJsonObject payload = QJsonDocument::fromJson((*defaultRow)[0].toString().toUtf8()).object();
        EXPECT_EQ(payload.value("disabledCommands").toArray(), QJsonArray{"builtin_command_emoji"});
        EXPECT_EQ(payload.value("note").toString(), QStringLiteral("it's kept"));

        const auto clipboardRow = db.queryOne(QStringLiteral(
            "SELECT isEnabled FROM vantrelPackageConfiguration WHERE id = 'builtin_package_clipboardHistory'"));
        ASSERT_TRUE(clipboardRow);
        EXPECT_EQ((*clipboardRow)[0].toLongLong(), 0);
    });
}

TEST_F(MigrationTest, DefaultPackageWithoutTheClipboardCommandIsLeftAlone) {
    {
        auto pool = poolMigratedUpTo(QStringLiteral("replaceSampleAppIDsInQuicklink"));
        pool->write([](Connection& db) {
            db.execute(
                QStringLiteral("INSERT INTO vantrelPackageConfiguration (id, isEnabled, jsonPayload) "
                               "VALUES ('builtin_package_default', 1, '{\"disabledCommands\":[\"x\"]}')"));
            db.execute(
                QStringLiteral("INSERT INTO quicklinks (url, type, name, applicationID, updatedAt) VALUES "
                               "('https://s.example', 'url', 'S', 'sample', '2024-01-01 00:00:00.000')"));
        });
    }
    auto pool = open();
    ASSERT_TRUE(pool);
    pool->read([](Connection& db) {
        EXPECT_EQ(db.scalar(QStringLiteral("SELECT count(*) FROM vantrelPackageConfiguration")).toLongLong(), 1);
        EXPECT_EQ(db.scalar(QStringLiteral("SELECT jsonPayload FROM vantrelPackageConfiguration")).toString(),
                  QStringLiteral("{\"disabledCommands\":[\"x\"]}"));
    });
}

TEST_F(MigrationTest, FailingMigrationKeepsEarlierStepsAndStillReturnsThePool) {
    {
        auto pool = poolMigratedUpTo(QStringLiteral("addFormattedTextToClipboardTable"));
        // A table in the way of the next step.
        pool->write([](Connection& db) { db.execute(QStringLiteral("CREATE TABLE notes (something TEXT)")); });
    }
    DatabaseOpener opener = makeOpener();
    auto pool = opener.openDatabase();
    ASSERT_TRUE(pool);
    EXPECT_TRUE(opener.migrationFailed());
    EXPECT_TRUE(logs->contains(QStringLiteral("Failed migrating database")));
    EXPECT_EQ(applied(*pool), expectedMigrationIdentifiers().mid(0, 16));
    // The pool still serves what exists.
    insertSearchRow(*pool, QStringLiteral("Still usable"));
    EXPECT_EQ(count(*pool, QStringLiteral("search")), 1);
}

TEST_F(MigrationTest, DeclaredTableGainsColumnsAddedToItsDeclaration) {
    {
        auto pool = poolMigratedUpTo(QStringLiteral("createSearchTable"));
        pool->write([](Connection& db) {
            db.execute(QStringLiteral("DROP TABLE vantrelPackageConfiguration"));
            db.execute(
                QStringLiteral("CREATE TABLE vantrelPackageConfiguration (id TEXT PRIMARY KEY, isEnabled BOOLEAN)"));
            db.execute(QStringLiteral("INSERT INTO vantrelPackageConfiguration VALUES ('builtin_package_x', 1)"));
        });
    }
    auto pool = open();
    ASSERT_TRUE(pool);
    EXPECT_EQ(columns(*pool, QStringLiteral("vantrelPackageConfiguration")),
              (QStringList{"id", "isEnabled", "jsonPayload"}));
    EXPECT_EQ(count(*pool, QStringLiteral("vantrelPackageConfiguration")), 1);
}

TEST_F(MigrationTest, FullTextTableFollowsTheSearchTable) {
    auto pool = open();
    ASSERT_TRUE(pool);
    auto matches = [&](const QString& query) {
        return pool->read([&](Connection& db) {
            QStringList names;
            for (const Row& row : db.query(QStringLiteral("SELECT search.name FROM search_fts JOIN search "
                                                          "ON search.id = search_fts.rowid "
                                                          "WHERE search_fts MATCH ? ORDER BY rank"),
                                           {query}))
                names << row[0].toString();
            return names;
        });
    };
    pool->write([](Connection& db) {
        db.execute(
            QStringLiteral("INSERT INTO search (key, type, source, name, category, keywords) VALUES "
                           "('a', 'systemApp', 'system', 'Text Editor', 'Utilities', 'notes write'), "
                           "('b', 'systemApp', 'system', 'Café Finder', 'Maps', 'coffee')"));
    });
    EXPECT_EQ(matches(QStringLiteral("edit*")), QStringList{QStringLiteral("Text Editor")});
    EXPECT_EQ(matches(QStringLiteral("cafe")), QStringList{QStringLiteral("Café Finder")});
    EXPECT_EQ(matches(QStringLiteral("coffee")), QStringList{QStringLiteral("Café Finder")});

    pool->write([](Connection& db) {
        db.execute(QStringLiteral("UPDATE search SET name = 'Code Editor' WHERE key = 'a'"));
        // Frecency updates do not touch the text index.
        db.execute(QStringLiteral("UPDATE search SET frecencyDate = '2030-01-01 00:00:00.000' WHERE key = 'b'"));
        db.execute(QStringLiteral("DELETE FROM search WHERE key = 'b'"));
    });
    EXPECT_EQ(matches(QStringLiteral("text")), QStringList{});
    EXPECT_EQ(matches(QStringLiteral("code")), QStringList{QStringLiteral("Code Editor")});
    EXPECT_EQ(matches(QStringLiteral("coffee")), QStringList{});
    pool->write([](Connection& db) {
        EXPECT_NO_THROW(db.execute(QStringLiteral("INSERT INTO search_fts(search_fts) VALUES ('integrity-check')")));
    });
}

}  // namespace
}  // namespace vantrel::test
