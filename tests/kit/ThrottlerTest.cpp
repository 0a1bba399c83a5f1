#include "kit/Throttler.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace vantrel {
namespace {

using test::waitUntil;

constexpr double kInterval = 0.2;  // seconds
constexpr qint64 kIntervalMs = 200;
// Timers may fire a little early by rounding and late under load; the bounds
// only need to tell "at once" from "after the interval".
constexpr qint64 kEarlyMarginMs = 30;
constexpr qint64 kPromptMs = 120;

// Spins the event loop for the given time.
void spinFor(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    waitUntil([&] { return timer.elapsed() >= milliseconds; }, milliseconds + 1000);
}

// Throttles a block and returns how long after the call it ran (-1: it did not run).
qint64 msUntilItRuns(Throttler& throttler) {
    QElapsedTimer clock;
    clock.start();
    qint64 ranAfter = -1;
    throttler.throttle([&] { ranAfter = clock.elapsed(); });
    if (!waitUntil([&] { return ranAfter >= 0; }, 3000)) throttler.cancel();
    return ranAfter;
}

TEST(ThrottlerTest, TwoQuickCallsRunOnlyTheSecondBlockAFullIntervalLater) {
    QElapsedTimer clock;
    clock.start();
    Throttler throttler(kInterval);
    bool firstRan = false;
    qint64 secondRanAt = -1;
    throttler.throttle([&] { firstRan = true; });
    throttler.throttle([&] { secondRanAt = clock.elapsed(); });
    const qint64 secondCalledAt = clock.elapsed();

    ASSERT_TRUE(waitUntil([&] { return secondRanAt >= 0; }, 3000));
    spinFor(kIntervalMs + 100);
    EXPECT_FALSE(firstRan);
    EXPECT_GE(secondRanAt - secondCalledAt, kIntervalMs - kEarlyMarginMs);
    EXPECT_LT(secondRanAt - secondCalledAt, 3 * kIntervalMs);
}

TEST(ThrottlerTest, ACallLongerThanTheIntervalAfterTheLastRunRunsAtOnce) {
    Throttler throttler(kInterval);
    ASSERT_GE(msUntilItRuns(throttler), 0);
    spinFor(kIntervalMs + 100);
    const qint64 ranAfter = msUntilItRuns(throttler);
    EXPECT_GE(ranAfter, 0);
    EXPECT_LT(ranAfter, kPromptMs);
}

TEST(ThrottlerTest, TheIntervalCountsFromWhenTheThrottlerWasMade) {
    Throttler throttler(kInterval);
    spinFor(kIntervalMs + 100);
    const qint64 ranAfter = msUntilItRuns(throttler);
    EXPECT_GE(ranAfter, 0);
    EXPECT_LT(ranAfter, kPromptMs);
}

TEST(ThrottlerTest, ACallWithinTheIntervalWaitsTheFullIntervalNotTheRemainder) {
    Throttler throttler(kInterval);
    spinFor(kIntervalMs + 50);
    ASSERT_GE(msUntilItRuns(throttler), 0);
    spinFor(kIntervalMs / 2);
    EXPECT_GE(msUntilItRuns(throttler), kIntervalMs - kEarlyMarginMs);
}

TEST(ThrottlerTest, DebounceRunsTheLastBlockAnIntervalAfterTheLastCall) {
    Throttler throttler(kInterval, /*isDebounceMode=*/true);
    // Debouncing waits even when the last run is long past.
    spinFor(kIntervalMs + 50);
    QElapsedTimer clock;
    clock.start();
    QStringList ran;
    qint64 lastCallAt = 0;
    qint64 ranAt = -1;
    for (int i = 0; i < 4; ++i) {
        lastCallAt = clock.elapsed();
        throttler.throttle([&, i] {
            ran << QString::number(i);
            ranAt = clock.elapsed();
        });
        spinFor(50);
    }
    ASSERT_TRUE(waitUntil([&] { return ranAt >= 0; }, 3000));
    spinFor(kIntervalMs + 100);
    EXPECT_EQ(ran, QStringList{QStringLiteral("3")});
    EXPECT_GE(ranAt - lastCallAt, kIntervalMs - kEarlyMarginMs);
}

TEST(ThrottlerTest, CancelDropsThePendingBlock) {
    Throttler throttler(kInterval);
    bool cancelledRan = false;
    throttler.throttle([&] { cancelledRan = true; });
    throttler.cancel();
    spinFor(kIntervalMs + 150);
    EXPECT_FALSE(cancelledRan);

    EXPECT_GE(msUntilItRuns(throttler), 0);  // a later call still runs
}

TEST(ThrottlerTest, DestroyingTheThrottlerDropsThePendingBlock) {
    bool ran = false;
    {
        Throttler throttler(kInterval);
        throttler.throttle([&] { ran = true; });
    }
    spinFor(kIntervalMs + 150);
    EXPECT_FALSE(ran);
}

TEST(ThrottlerTest, ARunRecordsItsStartAsThePreviousRun) {
    Throttler throttler(0.05);
    const auto made = throttler.previousRun();
    bool ran = false;
    Throttler::Clock::time_point seenInBlock;
    throttler.throttle([&] {
        ran = true;
        seenInBlock = throttler.previousRun();
    });
    ASSERT_TRUE(waitUntil([&] { return ran; }, 3000));
    EXPECT_GT(seenInBlock, made);
    EXPECT_EQ(throttler.previousRun(), seenInBlock);
}

TEST(ThrottlerTest, WorkRunsOnTheQueueObjectsThread) {
    QThread thread;
    thread.start();
    auto* queue = new QObject;
    queue->moveToThread(&thread);
    {
        Throttler throttler(0.05, false, queue);
        std::atomic<QThread*> ranOn{nullptr};
        throttler.throttle([&] { ranOn = QThread::currentThread(); });
        ASSERT_TRUE(waitUntil([&] { return ranOn.load() != nullptr; }, 3000));
        EXPECT_EQ(ranOn.load(), &thread);
    }
    thread.quit();
    thread.wait();
    delete queue;
}

TEST(ThrottlerTest, CanBeCalledFromAnyThreadAndRunsOnTheMainThreadByDefault) {
    Throttler throttler(0.05);
    std::atomic<QThread*> ranOn{nullptr};
    std::thread caller([&] { throttler.throttle([&] { ranOn = QThread::currentThread(); }); });
    caller.join();
    ASSERT_TRUE(waitUntil([&] { return ranOn.load() != nullptr; }, 3000));
    EXPECT_EQ(ranOn.load(), QCoreApplication::instance()->thread());
}

}  // namespace
}  // namespace vantrel
