#include "net/HTTPCache.h"
#include "net/HTTPClient.h"
#include "NetTestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <chrono>

namespace vantrel::test {
namespace {

using namespace std::chrono_literals;

class EncryptedCache : public NetTest {
protected:
    QStringList entryFiles(const CachingRealm& realm = kDefaultCachingRealm) const {
        QStringList files;
        for (const QString& name : QDir(cache->directory(realm)).entryList(QDir::Files))
            files << QDir(cache->directory(realm)).filePath(name);
        return files;
    }
    void store(const HTTPRequest& request, const QByteArray& body, const CachingPolicy& policy) {
        HTTPResponseInfo info;
        info.statusCode = 200;
        info.url = request.url;
        info.headers = {{"Content-Type", "application/json"}};
        cache->storeResponse(info, body, request, policy);
    }
    // A second cache over the same folder and keychain: nothing in memory.
    std::shared_ptr<HTTPCache> reopened() const {
        return std::make_shared<HTTPCache>(*keychain, [this](const CachingRealm&) {
            CacheConfig config;
            config.directory = cacheDir.path();
            return config;
        });
    }
};

TEST_F(EncryptedCache, AStoredAnswerComesBackButIsNeverPlainOnDisk) {
    const HTTPRequest request(server.url("/pulls"));
    const QByteArray body = R"({"title":"Add the secret feature","token":"ghp_plaintext"})";
    store(request, body, CachingPolicy::returnLocalAndNetwork(60s));
    const QStringList files = entryFiles();
    ASSERT_EQ(files.size(), 1);
    const QByteArray onDisk = readTestFile(files.at(0));
    EXPECT_FALSE(onDisk.contains("secret feature"));
    EXPECT_FALSE(onDisk.contains("ghp_plaintext"));
    EXPECT_FALSE(onDisk.contains("/pulls"));
    EXPECT_EQ(QFileInfo(cache->directory(kDefaultCachingRealm)).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0);

    const auto fromDisk = reopened()->response(request, CachingPolicy::returnLocalAndNetwork(60s));
    ASSERT_TRUE(fromDisk.has_value());
    EXPECT_EQ(fromDisk->data, body);
    EXPECT_EQ(fromDisk->response.statusCode, 200);
    EXPECT_EQ(fromDisk->response.header("content-type"), QByteArray("application/json"));
    EXPECT_TRUE(fromDisk->response.storedAt.has_value());
    // The key lives in the keychain.
    EXPECT_EQ(keychain->fetchValue("urlcache_key")->size(), 32);
}

TEST_F(EncryptedCache, AnAnswerOlderThanExpiresInIsNotGiven) {
    const HTTPRequest request(server.url("/issues"));
    store(request, "[]", CachingPolicy::returnLocalAndNetwork(60s));
    EXPECT_TRUE(cache->response(request, CachingPolicy::returnLocalOnly(60s)).has_value());
    EXPECT_FALSE(cache->response(request, CachingPolicy::returnLocalOnly(0s)).has_value());
    EXPECT_FALSE(cache->response(request, CachingPolicy::noCache()).has_value());
}

TEST_F(EncryptedCache, RealmsAreSeparateCaches) {
    const HTTPRequest request(server.url("/user"));
    store(request, R"({"login":"work"})", CachingPolicy::returnLocalAndNetwork(60s, "github-work"));
    EXPECT_TRUE(cache->response(request, CachingPolicy::returnLocalOnly(60s, "github-work")).has_value());
    EXPECT_FALSE(cache->response(request, CachingPolicy::returnLocalOnly(60s, "github-home")).has_value());
    EXPECT_FALSE(cache->response(request, CachingPolicy::returnLocalOnly(60s)).has_value());
    EXPECT_NE(cache->directory("github-work"), cache->directory("github-home"));

    cache->removeAllResponses("github-work");
    EXPECT_FALSE(cache->response(request, CachingPolicy::returnLocalOnly(60s, "github-work")).has_value());
    EXPECT_TRUE(entryFiles("github-work").isEmpty());
}

TEST_F(EncryptedCache, ANewTokenFindsTheSameEntryButOtherHeadersAndBodiesDoNot) {
    HTTPRequest first(server.url("/graphql"), HTTPMethod::post, {HTTPHeader::authorization("old")},
                      QJsonObject{{"query", "{ a }"}}, HTTPParameterEncoding::jsonHTTPBody());
    store(first, "{}", CachingPolicy::returnLocalAndNetwork(60s));
    HTTPRequest refreshed = first;
    refreshed.setHeader(HTTPHeader::authorization("new"));
    EXPECT_TRUE(cache->response(refreshed, CachingPolicy::returnLocalOnly(60s)).has_value());
    HTTPRequest otherQuery = first;
    otherQuery.parameters = QJsonObject{{"query", "{ b }"}};
    EXPECT_FALSE(cache->response(otherQuery, CachingPolicy::returnLocalOnly(60s)).has_value());
    HTTPRequest otherAccept = first;
    otherAccept.setHeader(HTTPHeader::accept("application/vnd.github.raw"));
    EXPECT_FALSE(cache->response(otherAccept, CachingPolicy::returnLocalOnly(60s)).has_value());
}

TEST_F(EncryptedCache, ATamperedEntryIsDroppedAndDeleted) {
    const HTTPRequest request(server.url("/notifications"));
    store(request, R"([{"id":"1"}])", CachingPolicy::returnLocalAndNetwork(60s));
    const QString file = entryFiles().at(0);
    QByteArray bytes = readTestFile(file);
    bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x01);
    writeTestFile(file, bytes);
    EXPECT_FALSE(reopened()->response(request, CachingPolicy::returnLocalOnly(60s)).has_value());
    EXPECT_FALSE(QFile::exists(file));
}

TEST_F(EncryptedCache, ACutShortOrGarbageEntryIsDropped) {
    const HTTPRequest request(server.url("/repos"));
    store(request, R"([{"name":"vantrel"}])", CachingPolicy::returnLocalAndNetwork(60s));
    const QString file = entryFiles().at(0);
    writeTestFile(file, readTestFile(file).left(20));
    EXPECT_FALSE(reopened()->response(request, CachingPolicy::returnLocalOnly(60s)).has_value());
    EXPECT_FALSE(QFile::exists(file));

    store(request, R"([{"name":"vantrel"}])", CachingPolicy::returnLocalAndNetwork(60s));
    writeTestFile(entryFiles().at(0), "");
    EXPECT_FALSE(reopened()->response(request, CachingPolicy::returnLocalOnly(60s)).has_value());
}

TEST_F(EncryptedCache, AnEntrySwappedIntoAnotherNameDoesNotOpen) {
    const HTTPRequest a(server.url("/a"));
    const HTTPRequest b(server.url("/b"));
    store(a, "A", CachingPolicy::returnLocalAndNetwork(60s));
    const QString fileA = entryFiles().at(0);
    store(b, "B", CachingPolicy::returnLocalAndNetwork(60s));
    QString fileB;
    for (const QString& file : entryFiles())
        if (file != fileA) fileB = file;
    writeTestFile(fileB, readTestFile(fileA));
    EXPECT_FALSE(reopened()->response(b, CachingPolicy::returnLocalOnly(60s)).has_value());
}

TEST_F(EncryptedCache, EntriesWrittenUnderALostKeyAreDroppedAndANewKeyIsMade) {
    const HTTPRequest request(server.url("/user"));
    store(request, "{}", CachingPolicy::returnLocalAndNetwork(60s));
    const QByteArray oldKey = *keychain->fetchValue("urlcache_key");
    keychain->deleteItem("urlcache_key");
    auto fresh = reopened();
    EXPECT_FALSE(fresh->response(request, CachingPolicy::returnLocalOnly(60s)).has_value());
    fresh->storeResponse(HTTPResponseInfo{200, request.url, {}, std::nullopt}, "{\"v\":2}", request,
                         CachingPolicy::returnLocalAndNetwork(60s));
    EXPECT_NE(*keychain->fetchValue("urlcache_key"), oldKey);
    EXPECT_EQ(fresh->response(request, CachingPolicy::returnLocalOnly(60s))->data, "{\"v\":2}");
}

TEST_F(EncryptedCache, AKeyOfTheWrongLengthIsReplaced) {
    keychain->storeValue(QByteArray("short"), "urlcache_key");
    const HTTPRequest request(server.url("/user"));
    store(request, "{}", CachingPolicy::returnLocalAndNetwork(60s));
    EXPECT_EQ(keychain->fetchValue("urlcache_key")->size(), 32);
    EXPECT_TRUE(reopened()->response(request, CachingPolicy::returnLocalOnly(60s)).has_value());
}

TEST_F(EncryptedCache, TheOldestFilesGoWhenARealmOutgrowsItsDisk) {
    auto small = std::make_shared<HTTPCache>(*keychain, [this](const CachingRealm&) {
        CacheConfig config;
        config.directory = cacheDir.path();
        config.diskCapacityMegabytes = 1;
        config.memoryCapacityMegabytes = 1;
        return config;
    });
    const QByteArray body(300 * 1024, 'x');
    for (int i = 0; i < 6; ++i) {
        HTTPResponseInfo info{200, server.url(QStringLiteral("/big/%1").arg(i)), {}, std::nullopt};
        small->storeResponse(info, body, HTTPRequest(info.url), CachingPolicy::returnNetworkOnly());
    }
    qint64 total = 0;
    for (const QString& file : entryFiles()) total += QFileInfo(file).size();
    EXPECT_LE(total, 1024 * 1024);
    EXPECT_TRUE(small->response(HTTPRequest(server.url("/big/5")), CachingPolicy::returnLocalOnly(60s)).has_value());
}

// MARK: Data tasks through the cache

TEST_F(EncryptedCache, LocalAndNetworkAnswersTheCachedValueFirstThenTheFreshOne) {
    int version = 1;
    server.on("/pulls", [&](const TestHttpServer::Request&) {
        return TestHttpServer::Response{200, QByteArray("{\"v\":") + QByteArray::number(version) + "}"};
    });
    const auto policy = CachingPolicy::returnLocalAndNetwork(3600s, "github");
    auto first = run(HTTPRequest(server.url("/pulls")), policy);
    ASSERT_EQ(first.size(), 1u);  // nothing cached yet
    EXPECT_TRUE(first[0].isNetwork());

    version = 2;
    auto second = run(HTTPRequest(server.url("/pulls")), policy);
    ASSERT_EQ(second.size(), 2u);
    EXPECT_TRUE(second[0].isLocal());
    EXPECT_EQ(*second[0].value, "{\"v\":1}");
    EXPECT_TRUE(second[1].isNetwork());
    EXPECT_EQ(*second[1].value, "{\"v\":2}");
}

TEST_F(EncryptedCache, WithTheServerGoneTheCachedValueStillComesFirst) {
    server.reply("/pulls", {200, R"({"v":1})"});
    const auto policy = CachingPolicy::returnLocalAndNetwork(3600s);
    run(HTTPRequest(server.url("/pulls")), policy);
    const QUrl url = server.url("/pulls");
    server.close();
    auto answers = run(HTTPRequest(url), policy);
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_TRUE(answers[0].isLocal());
    EXPECT_EQ(*answers[0].value, R"({"v":1})");
    EXPECT_TRUE(answers[1].isFailure());
}

TEST_F(EncryptedCache, LocalOnlyAnswersWithOrWithoutAValueAndNeverAsksTheServer) {
    server.reply("/user", {200, "{}"});
    auto none = run(HTTPRequest(server.url("/user")), CachingPolicy::returnLocalOnly(60s));
    ASSERT_EQ(none.size(), 1u);
    EXPECT_TRUE(none[0].isLocal());
    EXPECT_FALSE(none[0].value.has_value());
    EXPECT_EQ(server.count("/user"), 0);
}

TEST_F(EncryptedCache, NoCacheStoresNothing) {
    server.reply("/user", {200, "{}"});
    run(HTTPRequest(server.url("/user")), CachingPolicy::noCache());
    EXPECT_TRUE(entryFiles().isEmpty());
}

TEST_F(EncryptedCache, ACachedBodyThatNoLongerDecodesIsIgnored) {
    const HTTPRequest request(server.url("/user"));
    store(request, "not json", CachingPolicy::returnLocalAndNetwork(60s));
    server.reply("/user", {200, R"({"login":"ada"})"});
    std::vector<HTTPResponse<QJsonDocument>> answers;
    client->dataTask<QJsonDocument>(request, CachingPolicy::returnLocalAndNetwork(60s), decodeJSONDocument,
                                    [&](const HTTPResponse<QJsonDocument>& answer) { answers.push_back(answer); });
    ASSERT_TRUE(waitUntil([&] { return !answers.empty() && answers.back().isNetwork(); }));
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_TRUE(answers[0].isLocal());
    EXPECT_FALSE(answers[0].value.has_value());
    EXPECT_EQ(answers[1].value->object().value("login").toString(), "ada");
}

}  // namespace
}  // namespace vantrel::test
