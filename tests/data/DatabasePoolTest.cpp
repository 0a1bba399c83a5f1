// The pool: one serialised writer, readers that never wait for it, and the
// value mapping between Qt and SQLite.
#include "support/DatabaseTestSupport.h"

#include <QDateTime>

#include <sqlite3.h>

#include <atomic>
#include <future>
#include <thread>

namespace vantrel::test {
namespace {

class DatabasePoolTest : public DatabaseFixture {
protected:
    std::shared_ptr<DatabasePool> pool() {
        auto p = open();
        EXPECT_TRUE(p);
        return p;
    }
};

TEST_F(DatabasePoolTest, ReadRunsWhileTheWriterHoldsAWriteTransaction) {
    auto db = pool();
    insertSearchRow(*db, QStringLiteral("Before"));

    std::promise<void> writerInside;
    std::promise<qint64> readerDone;
    std::future<qint64> readerResult = readerDone.get_future();
    std::atomic<bool> readerFinishedInsideWrite{false};

    std::thread writer([&] {
        db->write([&](Connection& c) {
            c.execute(
                QStringLiteral("INSERT INTO search (key, type, source, name) VALUES ('w', 'command', 'test', 'W')"));
            writerInside.set_value();
            // The transaction stays open until the reader has finished; a reader
            // that waited for the writer would never finish.
            if (readerResult.wait_for(std::chrono::seconds(20)) == std::future_status::ready)
                readerFinishedInsideWrite = true;
        });
    });
    writerInside.get_future().wait();
    std::thread reader([&] { readerDone.set_value(count(*db, QStringLiteral("search"))); });
    reader.join();
    writer.join();

    EXPECT_TRUE(readerFinishedInsideWrite);
    // The reader saw the last committed state, not the open transaction.
    EXPECT_EQ(readerResult.get(), 1);
    EXPECT_EQ(count(*db, QStringLiteral("search")), 2);
}

TEST_F(DatabasePoolTest, ConcurrentReadersShareTheReaderConnections) {
    DatabaseOpener opener = makeOpener();
    { ASSERT_TRUE(opener.openDatabase()); }
    DatabasePool::Configuration configuration = opener.createDatabaseConfig();
    configuration.maximumReaderCount = 2;
    DatabasePool db(path, configuration);

    std::atomic<int> inside{0};
    std::atomic<int> mostInside{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 6; ++i) {
        threads.emplace_back([&] {
            db.read([&](Connection& c) {
                const int now = ++inside;
                int seen = mostInside.load();
                while (now > seen && !mostInside.compare_exchange_weak(seen, now)) {
                }
                c.scalar(QStringLiteral("SELECT count(*) FROM search"));
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                --inside;
            });
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_GE(mostInside.load(), 1);
    EXPECT_LE(mostInside.load(), 2);
}

TEST_F(DatabasePoolTest, WritesFromManyThreadsAreSerialisedAndNoneIsLost) {
    auto db = pool();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) insertSearchRow(*db, QStringLiteral("t%1-%2").arg(t).arg(i));
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(count(*db, QStringLiteral("search")), 200);
}

TEST_F(DatabasePoolTest, FailedWriteRollsBackEverythingItDid) {
    auto db = pool();
    EXPECT_THROW(db->write([](Connection& c) {
        c.execute(QStringLiteral("INSERT INTO search (key, type, source, name) VALUES ('x', 'command', 'test', 'X')"));
        c.execute(QStringLiteral("INSERT INTO no_such_table VALUES (1)"));
    }),
                 DatabaseError);
    EXPECT_EQ(count(*db, QStringLiteral("search")), 0);
    // The writer is usable afterwards.
    insertSearchRow(*db, QStringLiteral("Y"));
    EXPECT_EQ(count(*db, QStringLiteral("search")), 1);
}

// What the connections' page caches hold now, in bytes.
int cacheBytes(Connection& connection) {
    int current = 0;
    int highest = 0;
    sqlite3_db_status(connection.handle(), SQLITE_DBSTATUS_CACHE_USED, &current, &highest, 0);
    return current;
}

TEST_F(DatabasePoolTest, ReleasedCachesAreGivenBackAndEverythingReadsAndWritesAsBefore) {
    auto db = pool();
    db->write([](Connection& c) {
        for (int i = 0; i < 3000; ++i)
            c.execute(QStringLiteral("INSERT INTO search (key, type, source, name) VALUES ('k%1', 'command', 'test', "
                                     "'%2')")
                          .arg(i)
                          .arg(QString(60, QLatin1Char('a' + i % 26))));
    });
    const auto names = [&] {
        return db->read([](Connection& c) {
            return c.scalar(QStringLiteral("SELECT group_concat(name, ',') FROM search")).toString();
        });
    };
    const QString before = names();
    EXPECT_GT(db->read([](Connection& c) { return cacheBytes(c); }), 100 * 1024);
    EXPECT_GT(db->write([](Connection& c) { return cacheBytes(c); }), 100 * 1024);

    db->releaseCacheMemory();
    EXPECT_LT(db->read([](Connection& c) { return cacheBytes(c); }), 32 * 1024);
    EXPECT_LT(db->write([](Connection& c) { return cacheBytes(c); }), 32 * 1024);

    // Read again from the file, and written as before.
    EXPECT_EQ(names(), before);
    insertSearchRow(*db, QStringLiteral("After"));
    EXPECT_EQ(count(*db, QStringLiteral("search")), 3001);
    // A release while nothing was read since is harmless.
    db->releaseCacheMemory();
    db->releaseCacheMemory();
    EXPECT_EQ(count(*db, QStringLiteral("search")), 3001);
}

TEST_F(DatabasePoolTest, ReadersCannotWrite) {
    auto db = pool();
    EXPECT_THROW(db->read([](Connection& c) {
        c.execute(QStringLiteral("INSERT INTO search (key, type, source, name) VALUES ('x', 'command', 'test', 'X')"));
    }),
                 DatabaseError);
}

TEST_F(DatabasePoolTest, ValuesRoundTripWithTheirSQLiteTypes) {
    auto db = pool();
    const QDateTime date = QDateTime::fromString(QStringLiteral("2024-02-29T23:59:58.123Z"), Qt::ISODateWithMs);
    const QByteArray blob("\x00\x01\xff binary", 10);
    const auto row = db->write([&](Connection& c) {
        c.execute(QStringLiteral("CREATE TABLE sample (n, i, r, t, b, d, f)"));
        c.execute(QStringLiteral("INSERT INTO sample VALUES (?, ?, ?, ?, ?, ?, ?)"),
                  {QVariant(), qint64(1) << 40, 2.5, QStringLiteral("naïve 日本 🚀"), blob, date, true});
        return *c.queryOne(QStringLiteral("SELECT n, i, r, t, b, d, f, typeof(d) FROM sample"));
    });
    EXPECT_FALSE(row[0].isValid());
    EXPECT_EQ(row[1].toLongLong(), qint64(1) << 40);
    EXPECT_DOUBLE_EQ(row[2].toDouble(), 2.5);
    EXPECT_EQ(row[3].toString(), QStringLiteral("naïve 日本 🚀"));
    EXPECT_EQ(row[4].toByteArray(), blob);
    EXPECT_EQ(row[5].toString(), QStringLiteral("2024-02-29 23:59:58.123"));
    EXPECT_EQ(DatabaseDate::fromVariant(row[5]), date);
    EXPECT_EQ(row[6].toLongLong(), 1);
    EXPECT_EQ(row[7].toString(), QStringLiteral("text"));
    EXPECT_EQ(row[QStringLiteral("t")].toString(), row[3].toString());
    EXPECT_FALSE(row[QStringLiteral("missing")].isValid());
}

TEST(DatabaseDateTest, ReadsTheStoredFormsOfADate) {
    const QDateTime expected = QDateTime::fromString(QStringLiteral("2023-07-04T12:30:45.250Z"), Qt::ISODateWithMs);
    EXPECT_EQ(DatabaseDate::fromVariant("2023-07-04 12:30:45.250"), expected);
    EXPECT_EQ(DatabaseDate::fromVariant("2023-07-04T12:30:45.250Z"), expected);
    EXPECT_EQ(DatabaseDate::fromVariant("2023-07-04 12:30:45.25"), expected);
    EXPECT_EQ(DatabaseDate::fromVariant("2023-07-04 12:30:45"), expected.addMSecs(-250));
    EXPECT_EQ(DatabaseDate::fromVariant(QVariant(expected.toMSecsSinceEpoch() / 1000.0)), expected);
    EXPECT_FALSE(DatabaseDate::fromVariant("yesterday").isValid());
    EXPECT_FALSE(DatabaseDate::fromVariant(QVariant()).isValid());
    EXPECT_EQ(DatabaseDate::toText(expected.toLocalTime()), QStringLiteral("2023-07-04 12:30:45.250"));
}

}  // namespace
}  // namespace vantrel::test
