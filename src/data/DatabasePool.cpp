#include "data/DatabasePool.h"

#include <sqlite3.h>

#include <cstring>

namespace vantrel {

DatabasePool::DatabasePool(QString path, Configuration configuration)
    : m_path(std::move(path)), m_configuration(std::move(configuration)) {
    m_writer = openConnection(Connection::Mode::readWriteCreate);
    const QString mode = m_writer->scalar(QStringLiteral("PRAGMA journal_mode = WAL")).toString();
    if (mode.compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
        throw DatabaseError(QStringLiteral("Cannot enable write-ahead logging, journal mode is ") + mode, SQLITE_ERROR);
    sqlite3_update_hook(
        m_writer->handle(),
        [](void* pool, int operation, const char* database, const char* table, sqlite3_int64 rowid) {
            rowChanged(pool, operation, database, table, rowid);
        },
        this);
}

void DatabasePool::rowChanged(void* pool, int, const char* database, const char* table, qint64 rowid) {
    if (std::strcmp(database, "main") != 0) return;
    for (const auto& [type, follower] : static_cast<DatabasePool*>(pool)->m_followers)
        if (std::strcmp(follower->table(), table) == 0) follower->rowChanged(rowid);
}

void DatabasePool::runWriteTransaction(const std::function<void()>& work) {
    try {
        m_writer->inTransaction([&] {
            work();
            for (const auto& [type, follower] : m_followers) follower->willCommit(*m_writer);
        });
    } catch (...) {
        for (const auto& [type, follower] : m_followers) follower->didRollBack();
        throw;
    }
    for (const auto& [type, follower] : m_followers) follower->didCommit();
    noteOwnCommit();
}

void DatabasePool::replaceFollowedContent() {
    for (const auto& [type, follower] : m_followers) follower->contentReplaced();
    noteOwnCommit();
}

qint64 DatabasePool::watchedVersion() {
    if (!m_watch) {
        m_watch = openConnection(Connection::Mode::readWrite);
        m_watch->execute(QStringLiteral("PRAGMA query_only = ON"));
    }
    return m_watch->scalar(QStringLiteral("PRAGMA data_version")).toLongLong();
}

void DatabasePool::noteOwnCommit() {
    if (m_followers.empty()) return;
    try {
        std::lock_guard watch(m_watchMutex);
        m_knownVersion.store(watchedVersion());
    } catch (const std::exception&) {
        // Unknown: the next look reads the tables again.
        m_knownVersion.store(-1);
    }
}

void DatabasePool::followChangesMadeElsewhere() {
    {
        std::lock_guard watch(m_watchMutex);
        if (watchedVersion() == m_knownVersion.load()) return;
    }
    std::lock_guard lock(m_writerMutex);
    std::lock_guard watch(m_watchMutex);
    const qint64 version = watchedVersion();
    if (version == m_knownVersion.load()) return;
    for (const auto& [type, follower] : m_followers) follower->contentReplaced();
    m_knownVersion.store(version);
}

DatabasePool::~DatabasePool() {
    std::unique_lock lock(m_readerMutex);
    m_idleReaders.clear();
}

std::unique_ptr<Connection> DatabasePool::openConnection(Connection::Mode mode) {
    auto connection = std::make_unique<Connection>(m_path, mode);
    sqlite3_busy_timeout(connection->handle(), m_configuration.busyTimeoutMs);
    if (m_configuration.prepareDatabase) m_configuration.prepareDatabase(*connection);
    // Reading the schema fails here, not later, when the file is not a database
    // or the key does not fit it.
    connection->scalar(QStringLiteral("SELECT count(*) FROM sqlite_master"));
    connection->execute(QStringLiteral("PRAGMA foreign_keys = ON"));
    if (mode == Connection::Mode::readOnly) connection->execute(QStringLiteral("PRAGMA query_only = ON"));
    return connection;
}

DatabasePool::ReaderLease::ReaderLease(DatabasePool& pool) : m_pool(pool) {
    std::unique_lock lock(pool.m_readerMutex);
    pool.m_readerAvailable.wait(lock, [&] {
        return !pool.m_idleReaders.empty() || pool.m_openReaderCount < pool.m_configuration.maximumReaderCount;
    });
    if (!pool.m_idleReaders.empty()) {
        m_connection = std::move(pool.m_idleReaders.back());
        pool.m_idleReaders.pop_back();
        return;
    }
    ++pool.m_openReaderCount;
    lock.unlock();
    try {
        m_connection = pool.openConnection(Connection::Mode::readWrite);
        m_connection->execute(QStringLiteral("PRAGMA query_only = ON"));
    } catch (...) {
        lock.lock();
        --pool.m_openReaderCount;
        pool.m_readerAvailable.notify_one();
        throw;
    }
}

DatabasePool::ReaderLease::~ReaderLease() {
    std::lock_guard lock(m_pool.m_readerMutex);
    m_pool.m_idleReaders.push_back(std::move(m_connection));
    m_pool.m_readerAvailable.notify_one();
}

void DatabasePool::releaseReaders() {
    std::lock_guard lock(m_readerMutex);
    m_openReaderCount -= static_cast<int>(m_idleReaders.size());
    m_idleReaders.clear();
    m_readerAvailable.notify_all();
}

void DatabasePool::releaseCacheMemory() {
    {
        std::lock_guard lock(m_writerMutex);
        if (m_writer) sqlite3_db_release_memory(m_writer->handle());
    }
    std::lock_guard lock(m_readerMutex);
    for (const std::unique_ptr<Connection>& reader : m_idleReaders) sqlite3_db_release_memory(reader->handle());
}

void DatabasePool::restoreFrom(DatabasePool& source) {
    std::scoped_lock locks(m_writerMutex, source.m_writerMutex);
    sqlite3_backup* backup = sqlite3_backup_init(m_writer->handle(), "main", source.m_writer->handle(), "main");
    if (!backup) {
        throw DatabaseError(QStringLiteral("Cannot start the online backup: ") +
                                QString::fromUtf8(sqlite3_errmsg(m_writer->handle())),
                            sqlite3_extended_errcode(m_writer->handle()));
    }
    int rc = SQLITE_OK;
    do {
        rc = sqlite3_backup_step(backup, -1);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) sqlite3_sleep(10);
    } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
    sqlite3_backup_finish(backup);
    // Whatever was copied, the rows are no longer the ones the followers saw.
    replaceFollowedContent();
    if (rc != SQLITE_DONE)
        throw DatabaseError(QStringLiteral("Online backup failed: ") + QString::fromUtf8(sqlite3_errstr(rc)), rc);
}

}  // namespace vantrel
