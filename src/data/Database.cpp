#include "data/Database.h"

#include "data/VantrelDatabaseMigrator.h"
#include "kit/Digest.h"
#include "kit/Logger.h"
#include "kit/Paths.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <mutex>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Database"), QStringLiteral("💾")});
    return logger;
}

Logger::Metadata errorMetadata(const std::exception& error) {
    return {{QStringLiteral("error"), Logger::MetadataValue::privateValue(VantrelError::debugDescribe(error))}};
}

const char* const kCompanionSuffixes[] = {"-wal", "-shm", "-journal"};

void removeDatabaseFiles(const QString& path) {
    QFile::remove(path);
    for (const char* suffix : kCompanionSuffixes) QFile::remove(path + QLatin1String(suffix));
}

void defaultFatalStop(const QString& message, int delayMs) {
    const QByteArray text = message.toUtf8();
    auto stop = [text] { qFatal("%s", text.constData()); };
    if (QCoreApplication::instance())
        QTimer::singleShot(delayMs, QCoreApplication::instance(), stop);
    else
        stop();
}

std::mutex g_sharedMutex;
std::shared_ptr<DatabasePool> g_shared;

}  // namespace

DatabaseOpener::DatabaseOpener(Options options)
    : m_path(options.path.isEmpty() ? Paths::databaseFile() : options.path), m_options(std::move(options)) {
    if (!m_options.fatalStop) {
        const int delay = m_options.fatalDelayMs;
        m_options.fatalStop = [delay](const QString& message) { defaultFatalStop(message, delay); };
    }
}

QString DatabaseOpener::passphrase(const QString& key) {
    return sha256Hex(key.toUtf8() + QByteArray(kPepper));
}

QString DatabaseOpener::databaseKey(Keychain& keychain) {
    if (std::optional<QByteArray> stored = keychain.fetchValue(QString::fromLatin1(kKeyAccount))) {
        const QString key = Keychain::decodeString(*stored);
        if (key.isEmpty()) throw VantrelError(QStringLiteral("Cannot present data as a string."));
        return key;
    }
    try {
        const QString key = sha256Hex(secureRandomBytes(64));
        keychain.saveString(key, QString::fromLatin1(kKeyAccount));
        return key;
    } catch (const std::exception& error) {
        log().error("Could not generate database key", errorMetadata(error));
        throw;
    }
}

DatabasePool::Configuration DatabaseOpener::createDatabaseConfig() {
    DatabasePool::Configuration configuration;
    // The pool outlives this opener: the step keeps its own keychain reference.
    configuration.prepareDatabase = [keychain = m_options.keychain](Connection& connection) {
        try {
            const QString key = databaseKey(*keychain);
            QString derived;
            try {
                derived = passphrase(key);
            } catch (const std::exception& error) {
                log().error("Could not create database passphrase", errorMetadata(error));
                throw;
            }
            connection.setKey(derived.toUtf8());
        } catch (const std::exception& error) {
            log().error("Could not prepare database", errorMetadata(error));
            throw;
        }
    };
    return configuration;
}

std::shared_ptr<DatabasePool> DatabaseOpener::fail(const QString& reason) {
    log().error(reason);
    log().error("Could not open database");
    m_options.fatalStop(QStringLiteral("Could not open database"));
    return nullptr;
}

std::shared_ptr<DatabasePool> DatabaseOpener::openDatabase(int attempt) {
    m_migrationFailed = false;
    m_appliedMigrations.clear();
    if (!Paths::ensureDir(QFileInfo(m_path).absolutePath())) {
        log().error("Cannot create app specific application support directory");
        return fail(QStringLiteral("Failed creating database path"));
    }
    log().info(QStringLiteral("Opening database at path: ") + m_path);

    std::shared_ptr<DatabasePool> pool;
    try {
        pool = std::make_shared<DatabasePool>(m_path, createDatabaseConfig());
        VantrelDatabaseMigrator schema(pool);
        try {
            m_appliedMigrations = schema.migrate();
        } catch (const DatabaseError& error) {
            // A file whose pages cannot be read is not a database we can keep using.
            if (error.isUnreadableDatabase()) throw;
            m_migrationFailed = true;
            log().error("Failed migrating database", errorMetadata(error));
        } catch (const std::exception& error) {
            m_migrationFailed = true;
            log().error("Failed migrating database", errorMetadata(error));
        }
    } catch (const std::exception& error) {
        pool.reset();
        if (attempt == 1) {
            log().warning("Could not open database pool, retrying...", errorMetadata(error));
            return openDatabase(2);
        }
        if (attempt == 2) {
            log().warning("Could not open database pool, backing up database...", errorMetadata(error));
            performDatabaseBackup(m_path);
            std::shared_ptr<DatabasePool> fresh = openDatabase(3);
            if (fresh) restoreDatabaseIfNeeded(fresh, m_path);
            return fresh;
        }
        log().error("Failed creating database pool", errorMetadata(error));
        return fail(QStringLiteral("Could not open database"));
    }
    // A backup left behind by a start that ended in the fatal stop is restored
    // as soon as the database opens again.
    if (attempt == 1 && QFileInfo::exists(backupPath(m_path))) restoreDatabaseIfNeeded(pool, m_path);
    return pool;
}

void DatabaseOpener::performDatabaseBackup(const QString& path) {
    const QString backup = backupPath(path);
    if (!QFileInfo::exists(backup)) {
        log().info("Creating database backup...");
        QFile::remove(backup + QStringLiteral("-wal"));
        const QString wal = path + QStringLiteral("-wal");
        const bool moved = !QFileInfo::exists(path) || QFile::rename(path, backup);
        const bool walMoved = !QFileInfo::exists(wal) || QFile::rename(wal, backup + QStringLiteral("-wal"));
        if (!moved || !walMoved) {
            // Never delete what could not be set aside.
            log().error(QStringLiteral("Could not move the database aside to ") + backup);
            return;
        }
        log().info("Database backup performed");
    } else {
        log().info("Previous database backup found");
    }
    removeDatabaseFiles(path);
}

void DatabaseOpener::restoreDatabaseIfNeeded(const std::shared_ptr<DatabasePool>& pool, const QString& path) {
    const QString backup = backupPath(path);
    if (!QFileInfo::exists(backup)) return;
    log().info("Attempting to restore from database backup...");
    bool restored = false;
    try {
        {
            DatabasePool source(backup, createDatabaseConfig());
            pool->releaseReaders();
            pool->restoreFrom(source);
        }
        // The backup may come from an older schema.
        VantrelDatabaseMigrator(pool).migrate();
        restored = true;
        log().info("Database backup restored");
    } catch (const std::exception& error) {
        log().error("Could not restore database", errorMetadata(error));
    }
    if (restored) {
        removeDatabaseFiles(backup);
        return;
    }
    // An unreadable backup is kept beside the database under a dated name, so a
    // key that comes back later can still open it; only the ".bak" name is freed.
    const QString kept = path + QStringLiteral(".unreadable-") +
                         QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (QFile::rename(backup, kept)) {
        if (QFileInfo::exists(backup + QStringLiteral("-wal"))) QFile::rename(backup + QStringLiteral("-wal"), kept + QStringLiteral("-wal"));
        m_keptUnreadableCopy = kept;
        log().warning(QStringLiteral("Kept the unreadable database at ") + kept);
        removeDatabaseFiles(backup);
    } else {
        log().error(QStringLiteral("Could not keep the unreadable database; it stays at ") + backup);
    }
}

namespace Database {

std::shared_ptr<DatabasePool> shared() {
    std::lock_guard lock(g_sharedMutex);
    return g_shared;
}

void setShared(std::shared_ptr<DatabasePool> pool) {
    std::lock_guard lock(g_sharedMutex);
    g_shared = std::move(pool);
}

}  // namespace Database

}  // namespace vantrel
