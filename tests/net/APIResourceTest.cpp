#include "net/APIResource.h"
#include "NetTestSupport.h"

#include <QJsonDocument>
#include <QPointer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace vantrel::test {
namespace {

using namespace std::chrono_literals;
using Resource = APIResource<QJsonDocument>;

class APIResources : public NetTest {
protected:
    std::shared_ptr<Resource> resource(const QString& path, const CachingPolicy& policy) {
        const QUrl url = server.url(path);
        return Resource::make(*client, [url] { return std::optional<HTTPRequest>(HTTPRequest(url)); }, policy,
                              decodeJSONDocument);
    }
    // A cached resource that reads the cache off the main thread, its results
    // collected, and a first value asked from the network.
    std::shared_ptr<Resource> readingOffTheMainThread(const QString& path, std::vector<Resource::Result>& results) {
        auto made = resource(path, CachingPolicy::returnLocalAndNetwork(3600s));
        made->cacheRetrievalQueue = APICacheRetrievalQueue::backgroundQueue;
        made->subscribe(&context, [&results](const Resource::Result& result) { results.push_back(result); });
        made->refresh(APIRefreshMode::networkOnly);
        return made;
    }
    QObject context;
};

TEST_F(APIResources, ARefreshPublishesTheCachedValueThenTheNetworkValue) {
    int version = 1;
    server.on("/pulls", [&](const TestHttpServer::Request&) {
        return TestHttpServer::Response{200, "{\"v\":" + QByteArray::number(version) + "}"};
    });
    auto pulls = resource("/pulls", CachingPolicy::returnLocalAndNetwork(3600s));
    std::vector<Resource::Result> results;
    pulls->subscribe(&context, [&](const Resource::Result& result) { results.push_back(result); });
    pulls->refresh();
    ASSERT_TRUE(waitUntil([&] { return results.size() == 1; }));
    EXPECT_TRUE(results[0].isNetwork());

    version = 2;
    pulls->refresh();
    ASSERT_TRUE(waitUntil([&] { return results.size() == 3; }));
    EXPECT_TRUE(results[1].isLocal());
    EXPECT_EQ(results[1].value->object().value("v").toInt(), 1);
    EXPECT_TRUE(results[2].isNetwork());
    EXPECT_EQ(results[2].value->object().value("v").toInt(), 2);
    EXPECT_EQ(pulls->latestValue()->object().value("v").toInt(), 2);
}

TEST_F(APIResources, ACachedValueCanBeReadOffTheMainThread) {
    server.reply("/user", {200, R"({"login":"ada"})"});
    auto user = resource("/user", CachingPolicy::returnLocalAndNetwork(3600s));
    user->cacheRetrievalQueue = APICacheRetrievalQueue::backgroundQueue;
    std::vector<Resource::Result> results;
    user->subscribe(&context, [&](const Resource::Result& result) { results.push_back(result); });
    user->refresh();
    ASSERT_TRUE(waitUntil([&] { return results.size() == 1; }));
    EXPECT_TRUE(results[0].isNetwork());
    server.close();
    user->refresh(APIRefreshMode::localOnly);
    ASSERT_TRUE(waitUntil([&] { return results.size() == 2; }));
    EXPECT_TRUE(results[1].isLocal());
    EXPECT_EQ(results[1].value->object().value("login").toString(), "ada");
    EXPECT_EQ(user->latestValue()->object().value("login").toString(), "ada");
}

// Holds one of the threads that read the cache off the main thread until
// released (or destroyed), so a test decides when a read may run.
class CacheReadGate {
public:
    CacheReadGate() {
        detail::cacheReadQueue()([state = m_state] {
            state->started = true;
            std::unique_lock lock(state->mutex);
            state->opened.wait(lock, [&] { return state->open; });
        });
    }
    ~CacheReadGate() { open(); }
    bool waitUntilHolding() { return waitUntil([this] { return m_state->started.load(); }); }
    void open() {
        {
            std::lock_guard lock(m_state->mutex);
            m_state->open = true;
        }
        m_state->opened.notify_all();
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable opened;
        bool open = false;
        std::atomic<bool> started{false};
    };
    std::shared_ptr<State> m_state = std::make_shared<State>();
};

// Holds both threads that read the cache off the main thread while
// `meanwhile` runs (a read queued then has to wait), then frees one: the held
// reads run in order, followed by a marker, and this returns once the marker
// (and so every read's answer before it) was handled on this thread.
bool withCacheReadsHeld(QObject* context, const std::function<void()>& meanwhile) {
    CacheReadGate kept;
    CacheReadGate released;
    if (!kept.waitUntilHolding() || !released.waitUntilHolding()) return false;
    meanwhile();
    released.open();
    auto markerBack = std::make_shared<bool>(false);
    detail::cacheReadQueue()([context = QPointer<QObject>(context), markerBack] {
        if (context) QMetaObject::invokeMethod(context.data(), [markerBack] { *markerBack = true; }, Qt::QueuedConnection);
    });
    return waitUntil([markerBack] { return *markerBack; });
}

TEST_F(APIResources, ACacheReadThatFinishesAfterTheNetworkValueIsDropped) {
    int version = 1;
    server.on("/user", [&](const TestHttpServer::Request&) {
        return TestHttpServer::Response{200, "{\"v\":" + QByteArray::number(version) + "}"};
    });
    std::vector<Resource::Result> results;
    auto user = readingOffTheMainThread("/user", results);
    ASSERT_TRUE(waitUntil([&] { return results.size() == 1; }));

    // This refresh's cache read waits while the network answers with the next version.
    version = 2;
    ASSERT_TRUE(withCacheReadsHeld(&context, [&] {
        user->refresh();
        ASSERT_TRUE(waitUntil([&] { return results.size() == 2; }));
    }));
    ASSERT_GE(results.size(), 2u);
    ASSERT_TRUE(results[1].isNetwork());
    EXPECT_EQ(results.size(), 2u) << "a cached value was published after the network's";
    EXPECT_EQ(user->latestValue()->object().value("v").toInt(), 2);

    // A read started after the network value still comes through.
    user->refresh(APIRefreshMode::localOnly);
    ASSERT_TRUE(waitUntil([&] { return results.size() == 3; }));
    EXPECT_TRUE(results[2].isLocal());
    EXPECT_EQ(results[2].value->object().value("v").toInt(), 2);
}

TEST_F(APIResources, ACacheReadNeverReplacesAnOptimisticValueSetAfterItStarted) {
    server.reply("/pull", {200, R"({"state":"open"})"});
    std::vector<Resource::Result> results;
    auto pull = readingOffTheMainThread("/pull", results);
    ASSERT_TRUE(waitUntil([&] { return results.size() == 1; }));

    ASSERT_TRUE(withCacheReadsHeld(&context, [&] {
        pull->refresh(APIRefreshMode::localOnly);
        pull->setLocalValue(QJsonDocument::fromJson(R"({"state":"closed"})"));
    }));
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[1].value->object().value("state").toString(), "closed");
    EXPECT_EQ(pull->latestValue()->object().value("state").toString(), "closed");
}

TEST_F(APIResources, TwoResourcesAskingTheSameThingCauseOneRequest) {
    server.reply("/issues", {200, R"([{"id":1}])"});
    server.hold("/issues");
    auto first = resource("/issues", CachingPolicy::returnNetworkOnly());
    auto second = resource("/issues", CachingPolicy::returnNetworkOnly());
    int firstCount = 0;
    int secondCount = 0;
    first->subscribe(&context, [&](const Resource::Result& result) { firstCount += result.isNetwork(); });
    second->subscribe(&context, [&](const Resource::Result& result) { secondCount += result.isNetwork(); });
    first->refresh();
    second->refresh();
    ASSERT_TRUE(waitUntil([&] { return server.waitingCount("/issues") == 1; }));
    EXPECT_EQ(APITasks::shared().inFlightCount(), 1);
    server.release("/issues");
    ASSERT_TRUE(waitUntil([&] { return firstCount == 1 && secondCount == 1; }));
    EXPECT_EQ(server.count("/issues"), 1);
    EXPECT_EQ(APITasks::shared().inFlightCount(), 0);
}

TEST_F(APIResources, FailedAttemptsAreRetriedAndTheLastResultWins) {
    int calls = 0;
    server.on("/flaky", [&](const TestHttpServer::Request&) {
        ++calls;
        if (calls < 3) return TestHttpServer::Response{502, "<html>Bad Gateway</html>", {{"Content-Type", "text/html"}}};
        return TestHttpServer::Response{200, R"({"ok":true})"};
    });
    auto flaky = resource("/flaky", CachingPolicy::noCache());
    flaky->numberOfRetries = 2;
    flaky->retryDelayMilliseconds = 10;
    std::vector<Resource::Result> results;
    flaky->subscribe(&context, [&](const Resource::Result& result) { results.push_back(result); });
    flaky->refresh();
    ASSERT_TRUE(waitUntil([&] { return !results.empty(); }));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0].isNetwork());
    EXPECT_EQ(calls, 3);
}

TEST_F(APIResources, WithoutRetriesLeftTheFailureIsPublished) {
    server.reply("/broken", {500, "<html>oops</html>", {{"Content-Type", "text/html"}}});
    auto broken = resource("/broken", CachingPolicy::noCache());
    broken->numberOfRetries = 1;
    broken->retryDelayMilliseconds = 10;
    std::vector<Resource::Result> results;
    broken->subscribe(&context, [&](const Resource::Result& result) { results.push_back(result); });
    broken->refresh();
    ASSERT_TRUE(waitUntil([&] { return !results.empty(); }));
    EXPECT_TRUE(results[0].isFailure());
    EXPECT_EQ(results[0].error->message, "Request failed with status 500");
    EXPECT_EQ(server.count("/broken"), 2);
}

TEST_F(APIResources, AnInterceptorCanTakeAFailureAndRetry) {
    int calls = 0;
    server.on("/token", [&](const TestHttpServer::Request&) {
        ++calls;
        return calls == 1 ? TestHttpServer::Response{401, "{}"} : TestHttpServer::Response{200, R"({"ok":1})"};
    });
    auto guarded = resource("/token", CachingPolicy::noCache());
    int intercepted = 0;
    guarded->resultInterceptor = [&](const Resource::Result& result, const std::function<void()>& retry) {
        if (!result.isFailure()) return false;
        ++intercepted;
        retry();
        return true;
    };
    std::vector<Resource::Result> results;
    guarded->subscribe(&context, [&](const Resource::Result& result) { results.push_back(result); });
    guarded->refresh();
    ASSERT_TRUE(waitUntil([&] { return !results.empty(); }));
    EXPECT_TRUE(results[0].isNetwork());
    EXPECT_EQ(intercepted, 1);
}

TEST_F(APIResources, ARequestThatCannotBeBuiltFailsWithNoURLRequestGiven) {
    auto nothing = Resource::make(*client, [] { return std::optional<HTTPRequest>(); }, CachingPolicy::noCache(),
                                  decodeJSONDocument);
    std::vector<Resource::Result> results;
    nothing->subscribe(&context, [&](const Resource::Result& result) { results.push_back(result); });
    nothing->refresh();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].error->message, "No URLRequest given");
}

TEST_F(APIResources, ALocalOnlyRefreshOfANetworkOnlyResourceDeliversNoValue) {
    server.reply("/user", {200, R"({"login":"ada"})"});
    auto user = resource("/user", CachingPolicy::returnNetworkOnly());
    std::vector<Resource::Result> results;
    user->subscribe(&context, [&](const Resource::Result& result) { results.push_back(result); });
    user->refresh();
    ASSERT_TRUE(waitUntil([&] { return results.size() == 1; }));
    user->refresh(APIRefreshMode::localOnly);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_TRUE(results[1].isLocal());
    EXPECT_FALSE(results[1].value.has_value());
}

TEST(APIRefreshPolicies, ConversionsFollowTheRefreshMode) {
    const auto local = convertedPolicy(CachingPolicy::returnLocalAndNetwork(30s, "r"), APIRefreshMode::localOnly);
    EXPECT_EQ(local, CachingPolicy::returnLocalOnly(30s, "r"));
    EXPECT_EQ(convertedPolicy(CachingPolicy::returnNetworkOnly("r"), APIRefreshMode::localOnly),
              CachingPolicy::returnLocalOnly(0s, "r"));
    EXPECT_EQ(convertedPolicy(CachingPolicy::noCache(), APIRefreshMode::localOnly),
              CachingPolicy::returnLocalOnly(0s, kDefaultCachingRealm));
    EXPECT_EQ(convertedPolicy(CachingPolicy::noCache(), APIRefreshMode::networkOnly),
              CachingPolicy::returnNetworkOnly(kDefaultCachingRealm));
    EXPECT_EQ(convertedPolicy(CachingPolicy::returnLocalAndNetwork(30s, "r"), APIRefreshMode::networkOnly),
              CachingPolicy::returnNetworkOnly("r"));
}

TEST(APIEndpoints, RelativePathsJoinTheBaseURL) {
    EXPECT_EQ(APIEndpoint::relative("/user/repos?per_page=50").resolved(QUrl("http://127.0.0.1:9/api/v3/")).toString(),
              "http://127.0.0.1:9/api/v3/user/repos?per_page=50");
    EXPECT_EQ(APIEndpoint::url(QUrl("https://x.test/a")).resolved(QUrl("http://127.0.0.1")).toString(), "https://x.test/a");
}

// MARK: Operations

class APIOperations : public NetTest {};

TEST_F(APIOperations, ASuccessfulWriteKeepsTheOptimisticChange) {
    server.reply("/merge", {200, R"({"merged":true})"});
    QString state = "open";
    auto operation = APIOperation<QJsonDocument>::make(*client, HTTPRequest(server.url("/merge"), HTTPMethod::put),
                                                       decodeJSONDocument);
    operation->addOptimisticUpdate({[&] { state = "merged"; }, [&] { state = "open"; }});
    bool succeeded = false;
    operation->onSuccess([&](const QJsonDocument& answer) { succeeded = answer.object().value("merged").toBool(); });
    operation->perform();
    EXPECT_EQ(state, "merged");  // shown before the server answers
    ASSERT_TRUE(waitUntil([&] { return succeeded; }));
    EXPECT_EQ(state, "merged");
}

TEST_F(APIOperations, AFailedWriteRollsBackInOrderThenReports) {
    server.reply("/close", {422, R"({"message":"Validation Failed"})"});
    std::vector<QString> events;
    auto operation = APIOperation<QJsonDocument>::make(*client, HTTPRequest(server.url("/close"), HTTPMethod::patch),
                                                       decodeJSONDocument);
    operation->addOptimisticUpdate({[&] { events.push_back("apply 1"); }, [&] { events.push_back("rollback 1"); }});
    operation->addOptimisticUpdate({[&] { events.push_back("apply 2"); }, [&] { events.push_back("rollback 2"); }});
    operation->onFailure([&](const HTTPError& error) { events.push_back("failed: " + error.message); });
    operation->perform();
    ASSERT_TRUE(waitUntil([&] { return events.size() == 5; }));
    EXPECT_EQ(events, (std::vector<QString>{"apply 1", "apply 2", "rollback 1", "rollback 2",
                                            "failed: Request failed with status 422: Validation Failed"}));
}

TEST_F(APIOperations, AWriteIsRetriedBeforeItGivesUp) {
    int calls = 0;
    server.on("/reopen", [&](const TestHttpServer::Request&) {
        ++calls;
        return calls < 2 ? TestHttpServer::Response{503, "busy"} : TestHttpServer::Response{200, "{}"};
    });
    auto operation = APIOperation<QJsonDocument>::make(*client, HTTPRequest(server.url("/reopen"), HTTPMethod::patch),
                                                       decodeJSONDocument);
    operation->numberOfRetries = 1;
    operation->retryDelayMilliseconds = 10;
    int rollbacks = 0;
    bool succeeded = false;
    operation->addOptimisticUpdate({[] {}, [&] { ++rollbacks; }});
    operation->onSuccess([&](const QJsonDocument&) { succeeded = true; });
    operation->perform();
    ASSERT_TRUE(waitUntil([&] { return succeeded; }));
    EXPECT_EQ(rollbacks, 0);
    EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace vantrel::test
