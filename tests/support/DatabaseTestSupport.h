#pragma once

#include "data/Database.h"
#include "data/FileKeychainBackend.h"
#include "data/Keychain.h"
#include "data/SearchRepository.h"
#include "kit/VantrelError.h"
#include "support/CapturingLogHandler.h"
#include "support/SearchRecordTestSupport.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QStringList>

#include <gtest/gtest.h>

namespace vantrel::test {

// A private data folder, a file keychain in it, captured logs, and an opener
// whose fatal stop is recorded instead of ending the process.
class DatabaseFixture : public ::testing::Test {
protected:
    ScopedXdgHome home;
    ScopedLogCapture logs;
    std::shared_ptr<Keychain> keychain =
        std::make_shared<Keychain>(QStringLiteral("vantrel-test"),
                                   std::make_shared<FileKeychainBackend>(home.root() + QStringLiteral("/keyring")));
    QStringList fatalStops;
    QString path = home.root() + QStringLiteral("/data/vantrel/vantrel-enc.sqlite");

    DatabaseOpener makeOpener(const QString& at = QString()) {
        DatabaseOpener::Options options;
        options.path = at.isEmpty() ? path : at;
        options.keychain = keychain;
        options.fatalStop = [this](const QString& message) { fatalStops << message; };
        return DatabaseOpener(std::move(options));
    }

    std::shared_ptr<DatabasePool> open() { return makeOpener().openDatabase(); }

    static qint64 count(DatabasePool& pool, const QString& table) {
        return pool.read(
            [&](Connection& db) { return db.scalar(QStringLiteral("SELECT count(*) FROM ") + table).toLongLong(); });
    }

    static void insertSearchRow(DatabasePool& pool, const QString& name) {
        pool.write([&](Connection& db) {
            db.execute(QStringLiteral("INSERT INTO search (key, type, source, name) VALUES (?, 'command', 'test', ?)"),
                       {QStringLiteral("key_") + name, name});
        });
    }

    static QByteArray head(const QString& file, int bytes) {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly)) return {};
        return f.read(bytes);
    }
};

// The database above, opened and migrated before each test.
class OpenDatabaseFixture : public DatabaseFixture {
protected:
    void SetUp() override {
        pool = open();
        ASSERT_TRUE(pool);
    }

    std::shared_ptr<DatabasePool> pool;
};

// The opened database with the search table's repository over it.
class SearchRepositoryFixture : public OpenDatabaseFixture {
protected:
    void SetUp() override {
        OpenDatabaseFixture::SetUp();
        repository = std::make_shared<SearchRepository>(pool);
    }

    // The stored row of a key (a failure when there is none).
    SearchRecord stored(const QString& key) const {
        auto record = repository->record(key);
        EXPECT_TRUE(record) << key.toStdString();
        return record.value_or(SearchRecord{});
    }

    std::shared_ptr<SearchRepository> repository;
};

// Runs `action`, which must fail with a VantrelError describing itself as `description`.
template <typename Action>
void expectVantrelError(Action&& action, const QString& description) {
    try {
        action();
        ADD_FAILURE() << "expected the failure \"" << description.toStdString() << '"';
    } catch (const VantrelError& error) {
        EXPECT_EQ(error.errorDescription(), description);
    }
}

// Identifiers of the named migrations, verbatim and in order.
inline const QStringList& expectedMigrationIdentifiers() {
    static const QStringList identifiers{
        "createSearchTable",
        "createClipboardTable",
        "createQuicklinksTable",
        "addMetadataToClipboardTable",
        "addIndexToClipboardTable",
        "addCategoryColumnToSearchTable",
        "addUninstalledColumnToSearchTable",
        "addFavoriteColumnToSearchTable",
        "addOpenedAtColumnToSearchTable",
        "addAliasHotkeyAndShortcutAddedAtColumnsToSearchTable",
        "addCompositeIndexToClipboardTable",
        "addFilePathAndImageDataToClipboardTable",
        "addImageHashToClipboardTable",
        "removeUniquenessFromClipboardTable",
        "addCategoryToClipboardTable",
        "addFormattedTextToClipboardTable",
        "createNotesTable",
        "replaceSampleAppIDsInQuicklink",
        "moveClipboardHistoryToSeparatePackage",
        "createBrowserBookmarksTable",
        "createExtensionsTable",
        "addSearchTermsColumnToSearchTable",
        "updateFrecenciesWithNewHalfLifeValue",
        "addBrowserBookmarksSyncColumns",
        "createCommandsTable",
        "deleteShortcutPreferencesCommand",
        "deleteCommandsPreferencesCommand",
        "addPackageNameColumnToCommands",
        "deletePreviewPreferencesCommand",
        "addApplicationPathToClipboardTable",
        "createExtensionsAndCommandsTables",
        "addPreferencesToExtensionsAndCommands",
        "createSnippetsTable",
        "addAutoIncremetingPrimaryKeyToQuicklinks",
    };
    return identifiers;
}

}  // namespace vantrel::test
