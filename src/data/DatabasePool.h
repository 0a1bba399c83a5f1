#pragma once

#include "data/SQLite.h"

#include <QString>

#include <QByteArray>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <type_traits>
#include <typeindex>
#include <unordered_map>
#include <vector>

namespace vantrel {

// In-memory state derived from one table that follows every change the
// pool's writer makes to it. The writer reports each changed row id while a
// write runs; before the write commits the follower reads what it needs inside
// that same transaction, and applies it once the commit succeeded (or drops it
// when the write rolled back). All calls come with the writer lock held.
class TableFollower {
public:
    virtual ~TableFollower() = default;
    virtual const char* table() const = 0;
    // A row of the table was inserted, updated or deleted by the running write.
    virtual void rowChanged(qint64 rowid) = 0;
    // The write's work is done and the transaction is still open.
    virtual void willCommit(Connection& db) = 0;
    virtual void didCommit() = 0;
    virtual void didRollBack() = 0;
    // The content changed in a way no row report covers (a restore, work run
    // outside of a transaction): what was derived must be read again.
    virtual void contentReplaced() = 0;
};

// One writer connection and a set of reader connections on one database file
// in write-ahead-log mode: readers see the last committed state and never wait
// for a running write transaction; writes are serialised by the writer lock.
class DatabasePool {
public:
    struct Configuration {
        // Runs on every new connection before any other statement (applies the key).
        std::function<void(Connection&)> prepareDatabase;
        int maximumReaderCount = 4;
        int busyTimeoutMs = 5000;
    };

    // Opens the writer connection, prepares it, checks that the file is a
    // readable database and switches it to write-ahead logging. Throws
    // DatabaseError (or the prepare step's error) when any of that fails.
    DatabasePool(QString path, Configuration configuration);
    ~DatabasePool();
    DatabasePool(const DatabasePool&) = delete;
    DatabasePool& operator=(const DatabasePool&) = delete;

    const QString& path() const { return m_path; }

    // Runs the work inside one immediate transaction on the writer connection.
    template <typename Work>
    auto write(Work&& work) -> std::invoke_result_t<Work, Connection&> {
        std::lock_guard lock(m_writerMutex);
        using Result = std::invoke_result_t<Work, Connection&>;
        if constexpr (std::is_void_v<Result>) {
            runWriteTransaction([&] { work(*m_writer); });
        } else {
            std::optional<Result> result;
            runWriteTransaction([&] { result.emplace(work(*m_writer)); });
            return std::move(*result);
        }
    }

    // Runs the work on the writer connection outside of any transaction (for
    // statements that cannot run in one, and for the migrator's own transactions).
    template <typename Work>
    auto writeWithoutTransaction(Work&& work) -> std::invoke_result_t<Work, Connection&> {
        std::lock_guard lock(m_writerMutex);
        struct Replaced {
            DatabasePool* pool;
            ~Replaced() { pool->replaceFollowedContent(); }
        } replaced{this};
        return work(*m_writer);
    }

    // Reads on the writer connection, in a deferred transaction, while no write
    // can run: what it reads is the latest committed state and stays so until
    // the work returns.
    template <typename Work>
    auto readLatest(Work&& work) -> std::invoke_result_t<Work, Connection&> {
        std::lock_guard lock(m_writerMutex);
        using Result = std::invoke_result_t<Work, Connection&>;
        if constexpr (std::is_void_v<Result>) {
            m_writer->inTransaction([&] { work(*m_writer); }, Connection::TransactionKind::deferred);
        } else {
            std::optional<Result> result;
            m_writer->inTransaction([&] { result.emplace(work(*m_writer)); },
                                    Connection::TransactionKind::deferred);
            return std::move(*result);
        }
    }

    // The follower of type T shared by every user of this pool, created (with
    // this pool as its argument) on first request.
    template <typename T>
    std::shared_ptr<T> follower() {
        std::lock_guard lock(m_writerMutex);
        std::shared_ptr<TableFollower>& slot = m_followers[std::type_index(typeid(T))];
        if (!slot) slot = std::make_shared<T>(*this);
        return std::static_pointer_cast<T>(slot);
    }

    // Runs the work in a deferred read transaction on a reader connection.
    template <typename Work>
    auto read(Work&& work) -> std::invoke_result_t<Work, Connection&> {
        ReaderLease lease(*this);
        using Result = std::invoke_result_t<Work, Connection&>;
        if constexpr (std::is_void_v<Result>) {
            lease->inTransaction([&] { work(*lease); }, Connection::TransactionKind::deferred);
        } else {
            std::optional<Result> result;
            lease->inTransaction([&] { result.emplace(work(*lease)); }, Connection::TransactionKind::deferred);
            return std::move(*result);
        }
    }

    // Copies the whole content of `source` into this database with SQLite's
    // online-backup mechanism.
    void restoreFrom(DatabasePool& source);

    // Closes every idle reader connection (they reopen on demand).
    void releaseReaders();
    // Gives back the page caches of the writer and the idle readers (pages
    // are read again, and decrypted, when next needed). For a moment after
    // bulk work whose pages will not be wanted soon.
    void releaseCacheMemory();

    // When another process (or another pool on the same file) committed since
    // this pool last looked, the followers read their tables again. Cheap
    // (one pragma on a connection kept for it); followers call it before
    // answering from memory. Commits of this pool's own writer never count.
    void followChangesMadeElsewhere();

private:
    class ReaderLease {
    public:
        explicit ReaderLease(DatabasePool& pool);
        ~ReaderLease();
        Connection* operator->() const { return m_connection.get(); }
        Connection& operator*() const { return *m_connection; }

    private:
        DatabasePool& m_pool;
        std::unique_ptr<Connection> m_connection;
    };

    std::unique_ptr<Connection> openConnection(Connection::Mode mode);
    // BEGIN IMMEDIATE, the work, the followers' reads, COMMIT; the followers
    // then apply or drop what they read.
    void runWriteTransaction(const std::function<void()>& work);
    void replaceFollowedContent();
    // SQLite's data version seen on the watching connection (under m_watchMutex).
    qint64 watchedVersion();
    // After this pool's own commit (writer lock held): that change is known.
    void noteOwnCommit();
    static void rowChanged(void* pool, int operation, const char* database, const char* table, qint64 rowid);

    QString m_path;
    Configuration m_configuration;
    std::unique_ptr<Connection> m_writer;
    std::mutex m_writerMutex;
    std::unordered_map<std::type_index, std::shared_ptr<TableFollower>> m_followers;  // under m_writerMutex

    // A connection that only reads PRAGMA data_version, which changes when any
    // other connection commits, and the value after this pool's last own commit.
    std::mutex m_watchMutex;
    std::unique_ptr<Connection> m_watch;
    std::atomic<qint64> m_knownVersion{-1};

    std::mutex m_readerMutex;
    std::condition_variable m_readerAvailable;
    std::vector<std::unique_ptr<Connection>> m_idleReaders;
    int m_openReaderCount = 0;
};

}  // namespace vantrel
