// The HTTP client and its encrypted cache: one request through the client to
// a server on 127.0.0.1, and a cached resource read (from memory, and from
// the encrypted file as after a restart).
//   build/bench/vantrel_net_bench
#include "data/FileKeychainBackend.h"
#include "net/APIResource.h"
#include "net/HTTPCache.h"
#include "net/HTTPClient.h"
#include "support/TestHttpServer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

using namespace vantrel;
using namespace std::chrono_literals;

// A list of pull requests about the size a user's first page has (30 items).
QByteArray pullRequestList() {
    QJsonArray items;
    for (int i = 0; i < 30; ++i)
        items.append(QJsonObject{{"number", i},
                                 {"title", QStringLiteral("Make the launcher faster, part %1").arg(i)},
                                 {"state", "open"},
                                 {"user", QJsonObject{{"login", "ada"}, {"avatar_url", "https://example.org/a.png"}}},
                                 {"body", QString(400, QLatin1Char('x'))}});
    return QJsonDocument(items).toJson(QJsonDocument::Compact);
}

struct Fixture {
    QTemporaryDir dir;
    Keychain keychain{QStringLiteral("vantrel-net-bench"),
                      std::make_shared<FileKeychainBackend>(dir.filePath(QStringLiteral("keyring")))};
    HTTPCache::ConfigFactory config = [this](const CachingRealm&) {
        CacheConfig result;
        result.directory = dir.path();
        return result;
    };
    std::shared_ptr<HTTPCache> cache = std::make_shared<HTTPCache>(keychain, config);
    HTTPClient client{cache};
    test::TestHttpServer server;
    QByteArray body = pullRequestList();

    Fixture() {
        server.listen();
        server.reply(QStringLiteral("/pulls"), {200, body});
    }
};

void BM_RequestThroughClient(benchmark::State& state) {
    Fixture fixture;
    const HTTPRequest request(fixture.server.url(QStringLiteral("/pulls")), HTTPMethod::get,
                              {HTTPHeader::authorization(QStringLiteral("token")), HTTPHeader::accept("application/json")});
    for (auto _ : state) {
        bool done = false;
        fixture.client.performRequest(request, CachingPolicy::noCache(), [&](const HTTPResponse<QByteArray>& response) {
            benchmark::DoNotOptimize(response.value);
            done = true;
        });
        while (!done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    state.SetLabel(QStringLiteral("%1-byte JSON body").arg(fixture.body.size()).toStdString());
}
BENCHMARK(BM_RequestThroughClient)->Unit(benchmark::kMicrosecond);

void BM_RequestStoredInCache(benchmark::State& state) {
    Fixture fixture;
    const HTTPRequest request(fixture.server.url(QStringLiteral("/pulls")));
    for (auto _ : state) {
        bool done = false;
        fixture.client.performRequest(request, CachingPolicy::returnNetworkOnly(), [&](const HTTPResponse<QByteArray>&) {
            done = true;
        });
        while (!done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}
BENCHMARK(BM_RequestStoredInCache)->Unit(benchmark::kMicrosecond);

// A resource's cached value: read from the realm's memory, decoded as JSON,
// published to a subscriber.
void BM_CachedResourceRead(benchmark::State& state) {
    Fixture fixture;
    const HTTPRequest request(fixture.server.url(QStringLiteral("/pulls")));
    const auto policy = CachingPolicy::returnLocalAndNetwork(3600s);
    HTTPResponseInfo info{200, request.url, {}, std::nullopt};
    fixture.cache->storeResponse(info, fixture.body, request, policy);
    auto resource = APIResource<QJsonDocument>::make(
        fixture.client, [request] { return std::optional<HTTPRequest>(request); }, policy, decodeJSONDocument);
    QObject context;
    int items = 0;
    resource->subscribe(&context, [&](const APIResource<QJsonDocument>::Result& result) {
        items = int(result.value ? result.value->array().size() : 0);
    });
    for (auto _ : state) resource->refresh(APIRefreshMode::localOnly);
    if (items != 30) state.SkipWithError("the cached list did not come back");
}
BENCHMARK(BM_CachedResourceRead)->Unit(benchmark::kMicrosecond);

// The same read as after a restart: the entry file is read and decrypted.
void BM_CachedEntryFromDisk(benchmark::State& state) {
    Fixture fixture;
    const HTTPRequest request(fixture.server.url(QStringLiteral("/pulls")));
    const auto policy = CachingPolicy::returnLocalAndNetwork(3600s);
    HTTPResponseInfo info{200, request.url, {}, std::nullopt};
    fixture.cache->storeResponse(info, fixture.body, request, policy);
    for (auto _ : state) {
        state.PauseTiming();
        HTTPCache cold(fixture.keychain, fixture.config);
        cold.createEncyptionKeyIfNeeded();  // the keyring read is not the cache's cost
        state.ResumeTiming();
        auto entry = cold.response(request, policy);
        if (!entry) state.SkipWithError("no entry");
        benchmark::DoNotOptimize(entry);
    }
}
BENCHMARK(BM_CachedEntryFromDisk)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
