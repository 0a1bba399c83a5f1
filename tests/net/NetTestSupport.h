#pragma once

#include "data/Keychain.h"
#include "net/HTTPClient.h"
#include "platform/Platform.h"
#include "support/TestEnvironment.h"
#include "support/TestHttpServer.h"

#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace vantrel::test {

// A keychain service of its own in the session's keyring (the Secret Service
// of scripts/test-session; the file keyring elsewhere), emptied afterwards.
inline Keychain makeTestKeychain() {
    const auto& make = platform().makeKeychainBackend;
    if (!make) throw VantrelError(QStringLiteral("No keychain backend installed"));
    return Keychain(QStringLiteral("vantrel-net-test-") + QUuid::createUuid().toString(QUuid::WithoutBraces), make());
}

// A client over a fresh cache folder and keychain service, and a local server.
class NetTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(cacheDir.isValid());
        keychain = std::make_unique<Keychain>(makeTestKeychain());
        cache = std::make_shared<HTTPCache>(*keychain, [this](const CachingRealm&) {
            CacheConfig config;
            config.directory = cacheDir.path();
            return config;
        });
        client = std::make_unique<HTTPClient>(cache);
        client->setDefaultTimeoutSeconds(20);
        ASSERT_TRUE(server.listen());
    }
    void TearDown() override {
        client.reset();
        try {
            keychain->deleteAllItems();
        } catch (const VantrelError&) {
        }
    }

    // Runs a data task to its final answer (network, failure or cancelled),
    // collecting every answer on the way.
    std::vector<HTTPResponse<QByteArray>> run(const HTTPRequest& request,
                                              const CachingPolicy& policy = CachingPolicy::noCache()) {
        std::vector<HTTPResponse<QByteArray>> answers;
        bool done = false;
        client->dataTask(request, policy, [&](const HTTPResponse<QByteArray>& response) {
            answers.push_back(response);
            if (!response.isLocal() || policy.kind == CachingPolicy::Kind::returnLocalOnly) done = true;
        });
        EXPECT_TRUE(waitUntil([&] { return done; }, 30000));
        return answers;
    }
    HTTPResponse<QByteArray> runOnce(const HTTPRequest& request, const CachingPolicy& policy = CachingPolicy::noCache()) {
        auto answers = run(request, policy);
        if (answers.empty()) return HTTPResponse<QByteArray>::failure(HTTPError{HTTPError::Kind::transport, "no answer"});
        return answers.back();
    }

    QTemporaryDir cacheDir;
    std::unique_ptr<Keychain> keychain;
    std::shared_ptr<HTTPCache> cache;
    std::unique_ptr<HTTPClient> client;
    TestHttpServer server;
};

}  // namespace vantrel::test
