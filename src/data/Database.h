#pragma once

#include "data/DatabasePool.h"
#include "data/Keychain.h"

#include <QString>

#include <functional>
#include <memory>

namespace vantrel {

// Opens the encrypted database: derives the passphrase from the key kept in the
// keychain, creates the pool, migrates it, and recovers from a file that cannot
// be opened by moving it aside and starting an empty database.
class DatabaseOpener {
public:
    static constexpr const char* kKeyAccount = "database_key";
    static constexpr const char* kPepper = "vQ7#tR2m!Lx9$Kp4&Zs8^Wd3*Hn6@Jb1";  // 32 ASCII characters
    static constexpr int kFatalDelayMs = 5000;

    struct Options {
        QString path;  // empty: Paths::databaseFile()
        std::shared_ptr<Keychain> keychain;
        // Called when the database cannot be opened at all. The default posts,
        // after the delay, a fatal stop of the process with this message.
        std::function<void(const QString& message)> fatalStop;
        int fatalDelayMs = kFatalDelayMs;
    };

    explicit DatabaseOpener(Options options);

    const QString& path() const { return m_path; }

    // The shared pool, or null after the fatal path was taken.
    std::shared_ptr<DatabasePool> openDatabase(int attempt = 1);
    void performDatabaseBackup(const QString& path);
    void restoreDatabaseIfNeeded(const std::shared_ptr<DatabasePool>& pool, const QString& path);
    DatabasePool::Configuration createDatabaseConfig();

    // lower-case hex SHA-256 of the key's UTF-8 bytes followed by the pepper.
    static QString passphrase(const QString& key);
    static QString backupPath(const QString& path) { return path + QStringLiteral(".bak"); }

    // Whether the last openDatabase() found the migrations failing.
    bool migrationFailed() const { return m_migrationFailed; }
    // The migrations the last openDatabase() applied, in order.
    const QStringList& appliedMigrations() const { return m_appliedMigrations; }
    // Where the last unreadable backup was kept, if one was.
    const QString& keptUnreadableCopy() const { return m_keptUnreadableCopy; }

private:
    std::shared_ptr<DatabasePool> fail(const QString& reason);
    // The stored key, created and stored when there is none.
    static QString databaseKey(Keychain& keychain);

    QString m_path;
    Options m_options;
    bool m_migrationFailed = false;
    QStringList m_appliedMigrations;
    QString m_keptUnreadableCopy;
};

// The pool every repository shares, set once at start-up.
namespace Database {
std::shared_ptr<DatabasePool> shared();
void setShared(std::shared_ptr<DatabasePool> pool);
}  // namespace Database

}  // namespace vantrel
