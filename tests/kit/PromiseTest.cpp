#include "kit/Promise.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace vantrel {
namespace {

using test::waitUntil;

TEST(ResultTest, HoldsAValueOrAnError) {
    const Result<int> success(4);
    EXPECT_TRUE(success.isSuccess());
    EXPECT_EQ(success.value(), 4);
    EXPECT_EQ(success.optionalError(), std::nullopt);

    const Result<int> failure(VantrelError(QStringLiteral("Not found")));
    EXPECT_FALSE(failure.isSuccess());
    EXPECT_EQ(failure.error().errorDescription(), QStringLiteral("Not found"));
    EXPECT_EQ(failure.optionalValue(), std::nullopt);
    EXPECT_THROW((void)failure.value(), VantrelError);
}

TEST(PromiseTest, ObserversRegisteredBeforehandHearTheResultWhenItIsSet) {
    Promise<int> promise;
    std::vector<int> seen;
    promise.observe([&](const Result<int>& result) { seen.push_back(result.value()); });
    EXPECT_FALSE(promise.hasSetResult());
    EXPECT_EQ(promise.result(), std::nullopt);
    EXPECT_TRUE(seen.empty());

    EXPECT_TRUE(promise.resolve(7));
    EXPECT_TRUE(promise.hasSetResult());
    EXPECT_EQ(seen, std::vector<int>{7});
}

TEST(PromiseTest, ObserversRegisteredAfterwardsAreCalledAtOnce) {
    const auto promise = Promise<QString>::resolved(QStringLiteral("done"));
    QString seen;
    promise.observe([&](const Result<QString>& result) { seen = result.value(); });
    EXPECT_EQ(seen, QStringLiteral("done"));
}

TEST(PromiseTest, OnlyTheFirstResolutionCounts) {
    Promise<int> promise;
    int calls = 0;
    promise.observe([&](const Result<int>&) { ++calls; });
    EXPECT_TRUE(promise.resolve(1));
    EXPECT_FALSE(promise.resolve(2));
    EXPECT_FALSE(promise.reject(VantrelError(QStringLiteral("late"))));
    EXPECT_FALSE(promise.resolve(Result<int>(3)));
    EXPECT_EQ(calls, 1);
    ASSERT_TRUE(promise.result().has_value());
    EXPECT_EQ(promise.result()->value(), 1);
}

TEST(PromiseTest, ObserversAreCalledInTheOrderTheyRegistered) {
    Promise<int> promise;
    QStringList order;
    promise.observe([&](const Result<int>&) { order << QStringLiteral("first"); });
    promise.observe([&](const Result<int>&) { order << QStringLiteral("second"); });
    promise.observe([&](const Result<int>&) { order << QStringLiteral("third"); });
    promise.resolve(0);
    EXPECT_EQ(order, QStringList({QStringLiteral("first"), QStringLiteral("second"), QStringLiteral("third")}));
}

TEST(PromiseTest, CopiesShareOneResult) {
    Promise<int> promise;
    const Promise<int> copy = promise;
    copy.resolve(5);
    EXPECT_TRUE(promise.hasSetResult());
    EXPECT_EQ(promise.result()->value(), 5);
}

TEST(PromiseTest, RejectionDeliversTheError) {
    Promise<int> promise;
    std::optional<VantrelError> seen;
    promise.observe([&](const Result<int>& result) { seen = result.optionalError(); });
    const VantrelError error(QStringLiteral("Request failed"));
    promise.reject(error);
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ(seen->errorDescription(), QStringLiteral("Request failed"));
    EXPECT_EQ(seen->chainID(), error.chainID());
}

TEST(PromiseTest, MapTransformsTheValue) {
    Promise<int> source;
    const Promise<QString> mapped = source.map([](int value) { return value * 10; }).map([](int value) {
        return QStringLiteral("value %1").arg(value);
    });
    EXPECT_FALSE(mapped.hasSetResult());
    source.resolve(4);
    ASSERT_TRUE(mapped.hasSetResult());
    EXPECT_EQ(mapped.result()->value(), QStringLiteral("value 40"));
}

TEST(PromiseTest, ThenWaitsForThePromiseTheFunctionReturns) {
    Promise<int> source;
    Promise<QString> inner;
    int innerCalls = 0;
    const Promise<QString> chained = source.then([&](int value) {
        ++innerCalls;
        EXPECT_EQ(value, 2);
        return inner;
    });
    source.resolve(2);
    EXPECT_EQ(innerCalls, 1);
    EXPECT_FALSE(chained.hasSetResult());
    inner.resolve(QStringLiteral("loaded"));
    ASSERT_TRUE(chained.hasSetResult());
    EXPECT_EQ(chained.result()->value(), QStringLiteral("loaded"));
}

TEST(PromiseTest, ErrorsPassThroughAChainWithoutCallingItsFunctions) {
    const VantrelError error(QStringLiteral("offline"));
    int calls = 0;
    const auto last = Promise<int>::rejected(error)
                          .map([&](int value) {
                              ++calls;
                              return value + 1;
                          })
                          .then([&](int value) {
                              ++calls;
                              return Promise<int>::resolved(value);
                          });
    EXPECT_EQ(calls, 0);
    ASSERT_TRUE(last.hasSetResult());
    ASSERT_FALSE(last.result()->isSuccess());
    EXPECT_EQ(last.result()->error().errorDescription(), QStringLiteral("offline"));
    EXPECT_EQ(last.result()->error().chainID(), error.chainID());
}

TEST(PromiseTest, ErrorsOfTheInnerPromiseRejectTheChain) {
    const auto chained = Promise<int>::resolved(1).then(
        [](int) { return Promise<int>::rejected(VantrelError(QStringLiteral("inner failed"))); });
    ASSERT_TRUE(chained.hasSetResult());
    EXPECT_EQ(chained.result()->error().errorDescription(), QStringLiteral("inner failed"));
}

TEST(PromiseTest, AnExceptionThrownByTheFunctionRejectsTheChain) {
    const auto mapped = Promise<int>::resolved(1).map([](int) -> int { throw std::runtime_error("bad input"); });
    ASSERT_TRUE(mapped.hasSetResult());
    ASSERT_FALSE(mapped.result()->isSuccess());
    EXPECT_EQ(mapped.result()->error().errorDescription(), QStringLiteral("bad input"));

    const VantrelError ours(QStringLiteral("Cannot parse"));
    const auto thenned = Promise<int>::resolved(1).then([&](int) -> Promise<int> { throw ours; });
    ASSERT_TRUE(thenned.hasSetResult());
    EXPECT_EQ(thenned.result()->error().errorDescription(), QStringLiteral("Cannot parse"));
    EXPECT_EQ(thenned.result()->error().chainID(), ours.chainID());
}

TEST(PromiseTest, ObserversRunOnTheResolvingThreadWhenNoQueueIsGiven) {
    Promise<int> promise;
    std::atomic<QThread*> observedOn{nullptr};
    promise.observe([&](const Result<int>&) { observedOn = QThread::currentThread(); });
    QThread* resolvingThread = nullptr;
    std::thread worker([&] {
        resolvingThread = QThread::currentThread();
        promise.resolve(1);
    });
    worker.join();
    EXPECT_EQ(observedOn.load(), resolvingThread);
    EXPECT_NE(observedOn.load(), QCoreApplication::instance()->thread());
}

TEST(PromiseTest, TheGlobalQueueDeliversOnAnotherThread) {
    Promise<int> promise;
    std::atomic<QThread*> observedOn{nullptr};
    std::atomic<int> value{0};
    promise.observe(
        [&](const Result<int>& result) {
            value = result.value();
            observedOn = QThread::currentThread();
        },
        Queue::global());
    promise.resolve(9);
    ASSERT_TRUE(waitUntil([&] { return observedOn.load() != nullptr; }));
    EXPECT_NE(observedOn.load(), QThread::currentThread());
    EXPECT_EQ(value.load(), 9);
}

TEST(PromiseTest, TheMainQueueDeliversOnTheMainThreadOnceTheEventLoopRuns) {
    Promise<int> promise;
    std::atomic<QThread*> observedOn{nullptr};
    const auto mapped = promise.map(
        [&](int value) {
            observedOn = QThread::currentThread();
            return value + 1;
        },
        Queue::main());
    std::thread worker([&] { promise.resolve(1); });
    worker.join();
    EXPECT_EQ(observedOn.load(), nullptr);
    EXPECT_FALSE(mapped.hasSetResult());

    ASSERT_TRUE(waitUntil([&] { return mapped.hasSetResult(); }));
    EXPECT_EQ(observedOn.load(), QCoreApplication::instance()->thread());
    EXPECT_EQ(mapped.result()->value(), 2);
}

TEST(PromiseTest, AnObjectQueueDeliversOnThatObjectsThread) {
    QThread thread;
    thread.start();
    auto* context = new QObject;
    context->moveToThread(&thread);

    std::atomic<QThread*> observedOn{nullptr};
    const auto chained = Promise<int>::resolved(3).then(
        [&](int value) {
            observedOn = QThread::currentThread();
            return Promise<int>::resolved(value * 2);
        },
        Queue::object(context));
    ASSERT_TRUE(waitUntil([&] { return chained.hasSetResult(); }));
    EXPECT_EQ(observedOn.load(), &thread);
    EXPECT_EQ(chained.result()->value(), 6);

    thread.quit();
    thread.wait();
    delete context;
}

// Work handed to an object's queue from worker threads while the object is
// destroyed on its own thread: what was posted before runs there, nothing runs
// afterwards, and the dispatching threads never touch the destroyed object
// (the sanitizer build turns such a touch into a failure).
TEST(QueueTest, WorkFromOtherThreadsStopsCleanlyWhenItsObjectIsDestroyed) {
    QThread* const mainThread = QThread::currentThread();
    for (int round = 0; round < 50; ++round) {
        auto* context = new QObject;
        const Queue queue = Queue::object(context);
        std::atomic<bool> stop{false};
        std::atomic<int> ran{0};
        std::atomic<int> ranElsewhere{0};
        std::vector<std::thread> workers;
        for (int i = 0; i < 2; ++i)
            workers.emplace_back([&] {
                while (!stop)
                    queue([&] {
                        if (QThread::currentThread() != mainThread) ++ranElsewhere;
                        ++ran;
                    });
            });
        ASSERT_TRUE(waitUntil([&] { return ran.load() > 0; }));
        delete context;
        const int beforeEnd = ran;
        QCoreApplication::processEvents();
        EXPECT_EQ(ran.load(), beforeEnd) << "work ran after its object was destroyed";
        stop = true;
        for (auto& worker : workers) worker.join();
        QCoreApplication::processEvents();
        EXPECT_EQ(ran.load(), beforeEnd);
        EXPECT_EQ(ranElsewhere.load(), 0);
    }
}

TEST(PromiseTest, ConcurrentResolutionsSetTheResultExactlyOnce) {
    for (int round = 0; round < 20; ++round) {
        Promise<int> promise;
        std::atomic<int> calls{0};
        std::atomic<int> winners{0};
        promise.observe([&](const Result<int>&) { ++calls; });
        std::vector<std::thread> threads;
        for (int i = 0; i < 4; ++i)
            threads.emplace_back([&, i] {
                if (promise.resolve(i)) ++winners;
                promise.observe([&](const Result<int>&) { ++calls; });
            });
        for (auto& t : threads) t.join();
        EXPECT_EQ(winners.load(), 1);
        EXPECT_EQ(calls.load(), 5);
    }
}

}  // namespace
}  // namespace vantrel
