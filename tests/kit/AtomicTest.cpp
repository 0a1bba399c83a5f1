#include "kit/Atomic.h"
#include "support/QtPrinters.h"

#include <QString>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace vantrel {
namespace {

constexpr int kThreads = 8;
constexpr int kIncrements = 20000;

TEST(AtomicTest, ConcurrentMutationsAreNotLost) {
    Atomic<qint64> counter(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < kIncrements; ++i) counter.mutate([](qint64& value) { ++value; });
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(counter.load(), qint64{kThreads} * kIncrements);
}

TEST(AtomicTest, LoadStoreExchangeAndMutateResults) {
    Atomic<QString> text(QStringLiteral("first"));
    EXPECT_EQ(text.load(), QStringLiteral("first"));
    text.store(QStringLiteral("second"));
    EXPECT_EQ(text.exchange(QStringLiteral("third")), QStringLiteral("second"));
    EXPECT_EQ(text.load(), QStringLiteral("third"));
    const qsizetype length = text.mutate([](QString& value) {
        value += QStringLiteral("!");
        return value.size();
    });
    EXPECT_EQ(length, 6);
    EXPECT_EQ(text.read([](const QString& value) { return value.endsWith(QLatin1Char('!')); }), true);
}

TEST(UnfairLockTest, SerialisesTheWorkItGuards) {
    UnfairLock lock;
    qint64 plain = 0;  // guarded by lock
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < kIncrements; ++i) lock.withLock([&] { ++plain; });
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(lock.withLock([&] { return plain; }), qint64{kThreads} * kIncrements);

    bool lockedElsewhere = true;
    lock.lock();
    std::thread([&] { lockedElsewhere = lock.try_lock(); }).join();
    lock.unlock();
    EXPECT_FALSE(lockedElsewhere);
    std::thread([&] {
        lockedElsewhere = lock.try_lock();
        if (lockedElsewhere) lock.unlock();
    }).join();
    EXPECT_TRUE(lockedElsewhere);
}

}  // namespace
}  // namespace vantrel
