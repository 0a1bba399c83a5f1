#pragma once

#include "data/Database.h"
#include "data/FileKeychainBackend.h"
#include "data/Keychain.h"
#include "support/CapturingLogHandler.h"
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
