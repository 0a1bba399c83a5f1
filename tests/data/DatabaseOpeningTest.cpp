// Opening the encrypted database: encryption at rest, reopening with the stored
// key, and recovery from files that cannot be opened.
#include "support/DatabaseTestSupport.h"

#include "data/VantrelDatabaseMigrator.h"
#include "kit/Digest.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

namespace vantrel::test {
namespace {

class DatabaseOpeningTest : public DatabaseFixture {};

TEST_F(DatabaseOpeningTest, NewDatabaseIsEncryptedAndReopensWithTheStoredKey) {
    {
        auto pool = open();
        ASSERT_TRUE(pool);
        insertSearchRow(*pool, QStringLiteral("Terminal"));
    }
    // Everything, the header included, is encrypted.
    EXPECT_TRUE(QFileInfo::exists(path));
    EXPECT_NE(head(path, 16), QByteArray("SQLite format 3\0", 16));
    EXPECT_FALSE(head(path, 4096).contains("Terminal"));

    const QString key = keychain->readString(QStringLiteral("database_key"));
    EXPECT_EQ(key.size(), 64);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9a-f]{64}$")).match(key).hasMatch());

    auto reopened = open();
    ASSERT_TRUE(reopened);
    EXPECT_EQ(count(*reopened, QStringLiteral("search")), 1);
    EXPECT_EQ(keychain->readString(QStringLiteral("database_key")), key);
    EXPECT_TRUE(fatalStops.isEmpty());
    EXPECT_FALSE(logs->contains(QStringLiteral("Could not open database pool, retrying...")));
    EXPECT_TRUE(logs->contains(QStringLiteral("Opening database at path: ") + path));
}

TEST_F(DatabaseOpeningTest, PassphraseIsTheDigestOfKeyAndPepper) {
    const QString key = QStringLiteral("0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef");
    const QString passphrase = DatabaseOpener::passphrase(key);
    EXPECT_EQ(passphrase.size(), 64);
    EXPECT_EQ(passphrase, sha256Hex(key.toUtf8() + QByteArray(DatabaseOpener::kPepper)));
    EXPECT_EQ(QByteArray(DatabaseOpener::kPepper).size(), 32);
    EXPECT_NE(passphrase, DatabaseOpener::passphrase(key.left(63) + QLatin1Char('0')));
}

TEST_F(DatabaseOpeningTest, DatabaseDoesNotOpenWithTheWrongPassphrase) {
    { ASSERT_TRUE(open()); }
    DatabasePool::Configuration wrong;
    wrong.prepareDatabase = [](Connection& db) { db.setKey(QByteArray("not the passphrase")); };
    try {
        DatabasePool pool(path, wrong);
        FAIL() << "opened with a wrong key";
    } catch (const DatabaseError& error) {
        EXPECT_TRUE(error.isUnreadableDatabase()) << error.errorDescription().toStdString();
    }
}

TEST_F(DatabaseOpeningTest, LostKeyFallsIntoTheBackupPathAndEndsWithAnEmptyWorkingDatabase) {
    {
        auto pool = open();
        ASSERT_TRUE(pool);
        insertSearchRow(*pool, QStringLiteral("Files"));
    }
    keychain->deleteItem(QStringLiteral("database_key"));
    logs->clear();

    DatabaseOpener opener = makeOpener();
    auto pool = opener.openDatabase();
    ASSERT_TRUE(pool);
    EXPECT_TRUE(fatalStops.isEmpty());
    EXPECT_EQ(count(*pool, QStringLiteral("search")), 0);
    insertSearchRow(*pool, QStringLiteral("Calculator"));
    EXPECT_EQ(count(*pool, QStringLiteral("search")), 1);

    const QStringList messages = logs->messages();
    const QStringList expectedInOrder{
        QStringLiteral("Could not open database pool, retrying..."),
        QStringLiteral("Could not open database pool, backing up database..."),
        QStringLiteral("Creating database backup..."),
        QStringLiteral("Database backup performed"),
        QStringLiteral("Attempting to restore from database backup..."),
        QStringLiteral("Could not restore database"),
    };
    qsizetype at = 0;
    for (const QString& message : expectedInOrder) {
        const qsizetype found = messages.indexOf(message, at);
        EXPECT_GE(found, 0) << "missing or out of order: " << message.toStdString();
        if (found >= 0) at = found + 1;
    }
    // The .bak name is freed; the unreadable data is kept under a dated name.
    EXPECT_FALSE(QFileInfo::exists(DatabaseOpener::backupPath(path)));
    ASSERT_FALSE(opener.keptUnreadableCopy().isEmpty());
    EXPECT_TRUE(QFileInfo::exists(opener.keptUnreadableCopy()));
}

TEST_F(DatabaseOpeningTest, ReadableBackupIsRestoredIntoTheFreshDatabase) {
    {
        auto pool = open();
        ASSERT_TRUE(pool);
        insertSearchRow(*pool, QStringLiteral("Settings"));
        insertSearchRow(*pool, QStringLiteral("Weather"));
        pool->writeWithoutTransaction(
            [](Connection& db) { db.execute(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")); });
    }
    // A backup left by an earlier failed start, and a damaged database file.
    ASSERT_TRUE(QFile::copy(path, DatabaseOpener::backupPath(path)));
    QFile::remove(path + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
    {
        QFile damaged(path);
        ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
        damaged.write(QByteArray(8192, '\x5a'));
    }
    logs->clear();

    auto pool = open();
    ASSERT_TRUE(pool);
    EXPECT_TRUE(logs->contains(QStringLiteral("Previous database backup found")));
    EXPECT_TRUE(logs->contains(QStringLiteral("Database backup restored")));
    EXPECT_EQ(count(*pool, QStringLiteral("search")), 2);
    EXPECT_FALSE(QFileInfo::exists(DatabaseOpener::backupPath(path)));
    // The restored database is the working one: writes land and survive a reopen.
    insertSearchRow(*pool, QStringLiteral("Music"));
    pool.reset();
    auto reopened = open();
    ASSERT_TRUE(reopened);
    EXPECT_EQ(count(*reopened, QStringLiteral("search")), 3);
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

TEST_F(DatabaseOpeningTest, DamagedFilesEndInAWorkingDatabaseWithLoggedMessages) {
    const std::vector<std::pair<const char*, std::function<void()>>> damages{
        {"random bytes",
         [&] {
             QByteArray bytes(64 * 1024, Qt::Uninitialized);
             for (char& byte : bytes) byte = static_cast<char>(QRandomGenerator::global()->generate() & 0xff);
             writeFile(path, bytes);
         }},
        {"empty header of plain SQLite",
         [&] { writeFile(path, QByteArray("SQLite format 3\0", 16) + QByteArray(100, '\0')); }},
        {"truncated database",
         [&] {
             {
                 auto pool = open();
                 ASSERT_TRUE(pool);
                 for (int i = 0; i < 400; ++i) insertSearchRow(*pool, QStringLiteral("Row %1 ").arg(i).repeated(20));
                 pool->writeWithoutTransaction(
                     [](Connection& db) { db.execute(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")); });
             }
             QFile file(path);
             ASSERT_GT(file.size(), 3 * 4096);
             ASSERT_TRUE(file.resize(file.size() / 3));
         }},
        {"encrypted with another key",
         [&] {
             DatabasePool::Configuration other;
             other.prepareDatabase = [](Connection& db) { db.setKey(QByteArray("someone else's passphrase")); };
             DatabasePool pool(path, other);
             pool.write([](Connection& db) { db.execute(QStringLiteral("CREATE TABLE t (x)")); });
         }},
    };

    for (const auto& [name, damage] : damages) {
        SCOPED_TRACE(name);
        for (const QString& file : QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files))
            QFile::remove(QFileInfo(path).absolutePath() + QLatin1Char('/') + file);
        QDir().mkpath(QFileInfo(path).absolutePath());
        damage();
        logs->clear();
        fatalStops.clear();

        auto pool = open();
        ASSERT_TRUE(pool);
        EXPECT_TRUE(fatalStops.isEmpty());
        EXPECT_TRUE(logs->contains(QStringLiteral("Could not open database pool, retrying...")));
        EXPECT_TRUE(logs->contains(QStringLiteral("Could not open database pool, backing up database...")));
        insertSearchRow(*pool, QStringLiteral("Works"));
        EXPECT_EQ(count(*pool, QStringLiteral("search")), 1);
        EXPECT_EQ(pool->read([](Connection& db) { return DatabaseMigrator::appliedIdentifiers(db); }),
                  expectedMigrationIdentifiers());
    }
}

TEST_F(DatabaseOpeningTest, FolderThatCannotBeCreatedTakesTheFatalPath) {
    writeFile(home.root() + QStringLiteral("/blocker"), "a file, not a folder");
    DatabaseOpener opener = makeOpener(home.root() + QStringLiteral("/blocker/vantrel/vantrel-enc.sqlite"));
    EXPECT_EQ(opener.openDatabase(), nullptr);
    EXPECT_EQ(fatalStops, QStringList{QStringLiteral("Could not open database")});
    EXPECT_TRUE(logs->contains(QStringLiteral("Failed creating database path")));
    EXPECT_TRUE(logs->contains(QStringLiteral("Could not open database")));
}

// A keychain that stops answering must not cost the user their data: the
// unopenable file is moved to the backup name, never deleted.
class FailingKeychainBackend : public KeychainBackend {
public:
    QString name() const override { return QStringLiteral("failing"); }
    Status read(const QString&, const QString&, QByteArray*, QString* detail) override {
        if (detail) *detail = QStringLiteral("the keyring is locked");
        return Status::failure;
    }
    Status create(const QString&, const QString&, const QByteArray&, QString*) override { return Status::failure; }
    Status update(const QString&, const QString&, const QByteArray&, QString*) override { return Status::failure; }
    Status remove(const QString&, const QString&, QString*) override { return Status::failure; }
    Status removeAll(const QString&, QString*) override { return Status::failure; }
};

TEST_F(DatabaseOpeningTest, UnansweringKeychainStopsWithoutLosingTheDatabase) {
    {
        auto pool = open();
        ASSERT_TRUE(pool);
        insertSearchRow(*pool, QStringLiteral("Precious"));
    }
    const QString workingKey = keychain->readString(QStringLiteral("database_key"));
    auto healthy = keychain;
    keychain = std::make_shared<Keychain>(QStringLiteral("vantrel-test"), std::make_shared<FailingKeychainBackend>());
    logs->clear();

    EXPECT_EQ(open(), nullptr);
    EXPECT_EQ(fatalStops, QStringList{QStringLiteral("Could not open database")});
    EXPECT_TRUE(logs->contains(QStringLiteral("Could not prepare database")));
    EXPECT_TRUE(logs->contains(QStringLiteral("Failed creating database pool")));
    EXPECT_TRUE(QFileInfo::exists(DatabaseOpener::backupPath(path)));

    // With the keychain back, the next start restores the backup.
    keychain = healthy;
    EXPECT_EQ(keychain->readString(QStringLiteral("database_key")), workingKey);
    fatalStops.clear();
    logs->clear();
    auto pool = open();
    ASSERT_TRUE(pool);
    EXPECT_TRUE(logs->contains(QStringLiteral("Database backup restored")));
    EXPECT_FALSE(QFileInfo::exists(DatabaseOpener::backupPath(path)));
    EXPECT_EQ(count(*pool, QStringLiteral("search")), 1);
}

}  // namespace
}  // namespace vantrel::test
