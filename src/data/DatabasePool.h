#pragma once

#include "data/SQLite.h"

#include <QString>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <type_traits>
#include <vector>

namespace vantrel {

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
            m_writer->inTransaction([&] { work(*m_writer); });
        } else {
            std::optional<Result> result;
            m_writer->inTransaction([&] { result.emplace(work(*m_writer)); });
            return std::move(*result);
        }
    }

    // Runs the work on the writer connection outside of any transaction (for
    // statements that cannot run in one, and for the migrator's own transactions).
    template <typename Work>
    auto writeWithoutTransaction(Work&& work) -> std::invoke_result_t<Work, Connection&> {
        std::lock_guard lock(m_writerMutex);
        return work(*m_writer);
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

    QString m_path;
    Configuration m_configuration;
    std::unique_ptr<Connection> m_writer;
    std::mutex m_writerMutex;

    std::mutex m_readerMutex;
    std::condition_variable m_readerAvailable;
    std::vector<std::unique_ptr<Connection>> m_idleReaders;
    int m_openReaderCount = 0;
};

}  // namespace vantrel
