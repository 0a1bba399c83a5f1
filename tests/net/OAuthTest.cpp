#include "net/APIResource.h"
#include "net/LoopbackRedirectServer.h"
#include "net/OAuth.h"
#include "NetTestSupport.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <chrono>

namespace vantrel::test {
namespace {

using namespace std::chrono_literals;

QByteArray json(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

// A local authorization server (authorize, token, device endpoints) and API
// on one port, and a controller signed in against it.
class OAuthSignIn : public NetTest {
protected:
    void SetUp() override {
        NetTest::SetUp();
        ASSERT_TRUE(browserDir.isValid());
        server.on("/login/oauth/authorize", [this](const TestHttpServer::Request& request) {
            lastAuthorize = request;
            const QUrl redirect(request.query.queryItemValue("redirect_uri", QUrl::FullyDecoded));
            QString state = request.query.queryItemValue("state", QUrl::FullyDecoded);
            if (tamperState) state = R"({"id":"someone-else","flavor":"release"})";
            QUrl target = redirect;
            QUrlQuery query(redirect);
            query.addQueryItem("code", QString::fromLatin1(QUrl::toPercentEncoding("code-42")));
            query.addQueryItem("state", QString::fromLatin1(QUrl::toPercentEncoding(state)));
            target.setQuery(query);
            return TestHttpServer::Response{302, {}, {{"Location", target.toEncoded()}}};
        });
        server.on("/login/oauth/access_token", [this](const TestHttpServer::Request& request) {
            const QUrlQuery form = request.form();
            const QString grant = form.queryItemValue("grant_type", QUrl::FullyDecoded);
            if (tokenAnswer) return *tokenAnswer;
            if (grant == "authorization_code") {
                const QByteArray verifier = form.queryItemValue("code_verifier", QUrl::FullyDecoded).toLatin1();
                const QByteArray challenge = QCryptographicHash::hash(verifier, QCryptographicHash::Sha256)
                                                 .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
                if (form.queryItemValue("code") != "code-42" ||
                    challenge != lastAuthorize.query.queryItemValue("code_challenge").toLatin1())
                    return TestHttpServer::Response{400, json({{"error", "invalid_grant"},
                                                               {"error_description", "Bad code or verifier"}})};
                return TestHttpServer::Response{200, json({{"access_token", "token-1"}, {"token_type", "bearer"},
                                                           {"refresh_token", "refresh-1"}, {"expires_in", 3600},
                                                           {"scope", "repo"}})};
            }
            if (grant == "refresh_token") {
                ++refreshes;
                if (form.queryItemValue("refresh_token") != "refresh-1")
                    return TestHttpServer::Response{400, json({{"error", "invalid_grant"}})};
                return TestHttpServer::Response{200, json({{"access_token", "token-2"}, {"token_type", "bearer"},
                                                           {"expires_in", 3600}})};
            }
            return TestHttpServer::Response{400, json({{"error", "unsupported_grant_type"}})};
        });
        server.on("/user", [](const TestHttpServer::Request& request) {
            if (!request.header("authorization").startsWith("Bearer token-"))
                return TestHttpServer::Response{401, json({{"message", "Bad credentials"}})};
            return TestHttpServer::Response{200, json({{"id", 1}, {"login", "ada"}, {"name", "Ada Lovelace"}})};
        });

        provider = OAuthProvider::gitHub({"client-1", "secret-1"}, *client, server.url());
        config.packageName = "GitHub";
        config.version = "2";
        config.cachingRealm = "github-test";
        config.keychainAccount = "github-session";
        config.oAuthScope = "repo read:org";
        config.userHandler = [this](const OAuthCredentials& credentials,
                                    std::function<void(const Result<OAuthUser>&)> done) {
            client->performRequest(HTTPRequest(server.url("/user"), HTTPMethod::get,
                                               {HTTPHeader::authorization(credentials.accessToken)}),
                                   CachingPolicy::noCache(), [done](const HTTPResponse<QByteArray>& response) {
                                       if (!response.isNetwork()) {
                                           done(response.error->toError());
                                           return;
                                       }
                                       const QJsonObject user = QJsonDocument::fromJson(*response.value).object();
                                       done(OAuthUser{QString::number(user.value("id").toInt()),
                                                      user.value("name").toString(), std::nullopt, std::nullopt});
                                   });
        };
        controller = std::make_unique<OAuthController>(config, provider, *keychain, *client);
    }

    // BROWSER: a script that fetches the authorization URL and follows the
    // redirect back to us, as a browser would after the user said yes.
    QString fakeBrowser() {
        return writeTestFile(browserDir.filePath("browser"),
                             "#!/bin/sh\nexec curl -s -L -o \"" + browserDir.filePath("page.html").toUtf8() + "\" \"$1\"\n",
                             QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    Result<OAuthSession> signIn(OAuthController::RedirectKind kind = OAuthController::RedirectKind::loopback) {
        std::optional<Result<OAuthSession>> result;
        controller->authorize([&](const Result<OAuthSession>& done) { result = done; }, kind);
        EXPECT_TRUE(waitUntil([&] { return result.has_value(); }, 30000));
        if (!result) return VantrelError(QStringLiteral("no answer"));
        return *result;
    }

    void storeSession(const OAuthCredentials& credentials, const QString& version = "2") {
        OAuthSession session{credentials, OAuthUser{"1", "Ada", std::nullopt, std::nullopt}, version};
        keychain->saveItem(json(session.toJson()), config.keychainAccount);
        controller->resetStatus();
    }

    static OAuthCredentials credentialsExpiringIn(int seconds) {
        OAuthCredentials credentials;
        credentials.accessToken = "token-1";
        credentials.tokenType = "bearer";
        credentials.refreshToken = "refresh-1";
        credentials.expiresIn = 3600;
        credentials.createdAt = QDateTime::currentDateTimeUtc().addSecs(seconds - 3600);
        return credentials;
    }

    QTemporaryDir browserDir;
    std::shared_ptr<OAuthProvider> provider;
    OAuthConfig config;
    std::unique_ptr<OAuthController> controller;
    TestHttpServer::Request lastAuthorize;
    bool tamperState = false;
    std::optional<TestHttpServer::Response> tokenAnswer;
    int refreshes = 0;
};

// MARK: Authorization URL and redirect

TEST_F(OAuthSignIn, TheAuthorizationURLCarriesClientRedirectScopeStateAndPKCE) {
    provider->setRedirectURL(QUrl("http://127.0.0.1:5555/oauth/callback"));
    const auto url = provider->beginAuthorization("repo read:org", QString("api"), {{"allow_signup", "false"}});
    ASSERT_TRUE(url.isSuccess());
    const QUrlQuery query(url.value());
    EXPECT_EQ(url.value().path(), "/login/oauth/authorize");
    EXPECT_EQ(query.queryItemValue("client_id"), "client-1");
    EXPECT_EQ(query.queryItemValue("redirect_uri", QUrl::FullyDecoded), "http://127.0.0.1:5555/oauth/callback");
    EXPECT_EQ(query.queryItemValue("scope", QUrl::FullyDecoded), "repo read:org");
    EXPECT_EQ(query.queryItemValue("response_type"), "code");
    EXPECT_EQ(query.queryItemValue("audience"), "api");
    EXPECT_EQ(query.queryItemValue("allow_signup"), "false");
    EXPECT_EQ(query.queryItemValue("code_challenge_method"), "S256");
    EXPECT_EQ(query.queryItemValue("code_challenge").size(), 43);
    const QJsonObject state = QJsonDocument::fromJson(query.queryItemValue("state", QUrl::FullyDecoded).toUtf8()).object();
    ASSERT_TRUE(provider->currentState().has_value());
    EXPECT_EQ(state.value("id").toString(), provider->currentState()->id);
    EXPECT_EQ(state.value("flavor").toString(), provider->currentState()->flavor);
}

TEST_F(OAuthSignIn, AnAuthorizeEndpointThatIsNoURLCannotBeBuilt) {
    OAuthProvider broken("Broken", {"id", "secret"}, {QUrl("not a url"), QUrl("http://127.0.0.1/token"), {}, std::nullopt},
                         OAuthAuthenticationKind::postBody, *client);
    const auto url = broken.beginAuthorization("repo");
    ASSERT_TRUE(url.isFailure());
    EXPECT_EQ(url.error().errorDescription(), "Failed to construct authorization URL");
}

TEST_F(OAuthSignIn, TheLoopbackSignInThroughTheBrowserStoresTheSessionInTheKeyring) {
    ScopedEnv browser("BROWSER", fakeBrowser().toUtf8());
    int changes = 0;
    QObject observer;
    controller->statusChanged.connect(&observer, [&] { ++changes; });
    const auto session = signIn();
    ASSERT_TRUE(session.isSuccess()) << session.error().errorDescription().toStdString();
    EXPECT_EQ(session.value().credentials.accessToken, "token-1");
    EXPECT_EQ(session.value().user->name.value_or(""), "Ada Lovelace");

    // The redirect went to a loopback port, with the PKCE verifier sent to the token endpoint.
    const QUrl redirect(lastAuthorize.query.queryItemValue("redirect_uri", QUrl::FullyDecoded));
    EXPECT_EQ(redirect.host(), "127.0.0.1");
    EXPECT_GT(redirect.port(), 0);
    EXPECT_EQ(redirect.path(), "/oauth/callback");
    const auto token = server.requestsTo("/login/oauth/access_token").at(0).form();
    EXPECT_EQ(token.queryItemValue("client_id"), "client-1");
    EXPECT_EQ(token.queryItemValue("client_secret"), "secret-1");
    EXPECT_EQ(token.queryItemValue("redirect_uri", QUrl::FullyDecoded), redirect.toString());

    // Stored whole, under the integration's account.
    const QJsonObject stored = QJsonDocument::fromJson(keychain->readItem("github-session")).object();
    EXPECT_EQ(stored.value("version").toString(), "2");
    EXPECT_EQ(stored.value("credentials").toObject().value("access_token").toString(), "token-1");
    EXPECT_EQ(stored.value("credentials").toObject().value("refresh_token").toString(), "refresh-1");
    EXPECT_TRUE(stored.value("credentials").toObject().contains("createdAt"));
    EXPECT_EQ(stored.value("user").toObject().value("id").toString(), "1");

    controller->resetStatus();
    EXPECT_EQ(controller->status().status, OAuthController::Status::authorized);
    EXPECT_EQ(changes, 1);
    // The browser was told it worked, and the loopback port is closed again.
    ASSERT_TRUE(waitUntil([&] { return readTestFile(browserDir.filePath("page.html")).contains("Signed in"); }));
    EXPECT_FALSE(controller->loopbackRedirectURL().isValid());
}

TEST_F(OAuthSignIn, ARedirectWithAnotherStateIsRefusedAndNothingIsStored) {
    ScopedEnv browser("BROWSER", fakeBrowser().toUtf8());
    tamperState = true;
    const auto session = signIn();
    ASSERT_TRUE(session.isFailure());
    EXPECT_EQ(session.error().errorDescription(), "State from redirect doesn't match state from request");
    EXPECT_EQ(server.count("/login/oauth/access_token"), 0);
    EXPECT_FALSE(keychain->fetchValue("github-session").has_value());
    EXPECT_EQ(controller->status().status, OAuthController::Status::notAuthorized);
    ASSERT_TRUE(waitUntil([&] { return readTestFile(browserDir.filePath("page.html")).contains("Sign-in failed"); }));
}

TEST_F(OAuthSignIn, RedirectsWithoutCodeOrStateOrWithGarbageStateAreRefused) {
    auto handle = [&](const QString& url) {
        std::optional<Result<OAuthCredentials>> result;
        provider->handleRedirect(QUrl(url), [&](const Result<OAuthCredentials>& done) { result = done; });
        return result ? result->error().errorDescription() : QString("no answer");
    };
    provider->setRedirectURL(QUrl("http://127.0.0.1:1/oauth/callback"));
    ASSERT_TRUE(provider->beginAuthorization("repo").isSuccess());
    EXPECT_EQ(handle("http://127.0.0.1:1/oauth/callback?state=x"), "Cannot extract code after redirect");
    EXPECT_EQ(handle("http://127.0.0.1:1/oauth/callback?code=c"), "Cannot extract state after redirect");
    EXPECT_EQ(handle("http://127.0.0.1:1/oauth/callback?code=c&state=%7Bnot-json"), "Unable to decode state");
    EXPECT_EQ(handle("http://127.0.0.1:1/oauth/callback?error=access_denied&error_description=The+user+said+no"),
              "The user said no");
    EXPECT_EQ(handle(""), "Cannot handle redirect URL to finish authorization");
    OAuthProvider fresh("Fresh", {"id", "s"}, provider->endpoints(), OAuthAuthenticationKind::postBody, *client);
    std::optional<Result<OAuthCredentials>> result;
    fresh.handleRedirect(QUrl(R"(http://127.0.0.1:1/oauth/callback?code=c&state={"id":"a","flavor":"debug"})"),
                         [&](const Result<OAuthCredentials>& done) { result = done; });
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->error().errorDescription(), "No state passed with request");
    EXPECT_EQ(server.count("/login/oauth/access_token"), 0);
}

TEST_F(OAuthSignIn, TheTokenEndpointsOAuthErrorDescriptionIsShown) {
    ScopedEnv browser("BROWSER", fakeBrowser().toUtf8());
    tokenAnswer = TestHttpServer::Response{
        400, json({{"error", "invalid_client"}, {"error_description", "The client_id and/or client_secret passed are incorrect."},
                   {"error_uri", "https://docs.example/oauth"}})};
    const auto session = signIn();
    ASSERT_TRUE(session.isFailure());
    EXPECT_EQ(session.error().errorDescription(), "The client_id and/or client_secret passed are incorrect.");
    EXPECT_FALSE(keychain->fetchValue("github-session").has_value());

    // Some services answer 200 with the error body.
    tokenAnswer = TestHttpServer::Response{200, json({{"error", "bad_verification_code"},
                                                      {"error_description", "The code passed is incorrect or expired."}})};
    const auto again = signIn();
    ASSERT_TRUE(again.isFailure());
    EXPECT_EQ(again.error().errorDescription(), "The code passed is incorrect or expired.");
}

TEST_F(OAuthSignIn, AnHtmlErrorFromTheTokenEndpointIsAnUnknownFailure) {
    ScopedEnv browser("BROWSER", fakeBrowser().toUtf8());
    tokenAnswer = TestHttpServer::Response{500, "<html>down</html>", {{"Content-Type", "text/html"}}};
    const auto session = signIn();
    ASSERT_TRUE(session.isFailure());
    EXPECT_EQ(session.error().errorDescription(), "The sign-in failed: Request failed with status 500");
}

TEST_F(OAuthSignIn, BasicAuthenticationPutsTheClientInTheHeaderNotTheBody) {
    OAuthProvider zoomLike("Zoom", {"id:1", "s3cret"}, provider->endpoints(),
                           OAuthAuthenticationKind::queryParamsWithBasicAuthHeader, *client);
    const auto request = zoomLike.makeAccessTokenRequest({{"grant_type", "refresh_token"}, {"refresh_token", "r"}});
    ASSERT_TRUE(request.isSuccess());
    EXPECT_EQ(request.value().header("Authorization"), "Basic " + QByteArray("id:1:s3cret").toBase64());
    EXPECT_FALSE(request.value().parameters.contains("client_secret"));
    EXPECT_FALSE(request.value().parameters.contains("client_id"));
    EXPECT_EQ(request.value().method, HTTPMethod::post);
    const auto encoded = encodeHTTPRequest(request.value());
    EXPECT_EQ(HTTPRequest(QUrl(), HTTPMethod::get, encoded.value().headers).header("Content-Type"),
              QByteArray("application/x-www-form-urlencoded"));

    const auto post = provider->makeAccessTokenRequest({{"grant_type", "authorization_code"}});
    EXPECT_FALSE(post.value().header("Authorization").has_value());
    EXPECT_EQ(post.value().parameters.value("client_secret").toString(), "secret-1");

    OAuthProvider noToken("X", {"a", "b"}, {provider->endpoints().authorizeURL, QUrl("ftp://127.0.0.1/token"), {}, {}},
                          OAuthAuthenticationKind::postBody, *client);
    EXPECT_EQ(noToken.makeAccessTokenRequest({}).error().errorDescription(), "Invalid components URL");
}

TEST_F(OAuthSignIn, AVantrelLinkFinishesASignInWhereTheServiceAllowsCustomSchemes) {
    QUrl opened;
    controller->setBrowserOpener([&](const QUrl& url) { opened = url; });
    std::optional<Result<OAuthSession>> result;
    controller->authorize([&](const Result<OAuthSession>& done) { result = done; },
                          OAuthController::RedirectKind::customScheme);
    ASSERT_TRUE(opened.isValid());
    const QUrlQuery query(opened);
    lastAuthorize.query = query;  // what the browser would have shown the service
    EXPECT_EQ(query.queryItemValue("redirect_uri", QUrl::FullyDecoded), "vantrel://oauth/redirect?packageName=GitHub");
    QUrl back("vantrel://oauth/redirect");
    back.setQuery("packageName=GitHub&code=code-42&state=" +
                  QString::fromLatin1(QUrl::toPercentEncoding(query.queryItemValue("state", QUrl::FullyDecoded))));
    EXPECT_TRUE(controller->handleRedirectURL(back));
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    ASSERT_TRUE(result->isSuccess()) << result->error().errorDescription().toStdString();
    EXPECT_FALSE(controller->handleRedirectURL(back));  // nothing waits any more
}

TEST_F(OAuthSignIn, TheDeviceFlowPollsUntilTheUserApproves) {
    int polls = 0;
    server.reply("/login/device/code",
                 {200, json({{"device_code", "dev-1"}, {"user_code", "WDJB-MJHT"},
                             {"verification_uri", server.url("/login/device").toString()}, {"expires_in", 900},
                             {"interval", 1}})});
    tokenAnswer.reset();
    server.on("/login/oauth/access_token", [&](const TestHttpServer::Request& request) {
        const QUrlQuery form = request.form();
        EXPECT_EQ(form.queryItemValue("grant_type", QUrl::FullyDecoded), "urn:ietf:params:oauth:grant-type:device_code");
        EXPECT_EQ(form.queryItemValue("device_code"), "dev-1");
        ++polls;
        if (polls == 1) return TestHttpServer::Response{200, json({{"error", "authorization_pending"}})};
        return TestHttpServer::Response{200, json({{"access_token", "token-d"}, {"token_type", "bearer"}})};
    });
    std::optional<OAuthDeviceAuthorization> shown;
    std::optional<Result<OAuthSession>> result;
    controller->authorizeWithDevice([&](const OAuthDeviceAuthorization& code) { shown = code; },
                                    [&](const Result<OAuthSession>& done) { result = done; });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }, 20000));
    ASSERT_TRUE(result->isSuccess()) << result->error().errorDescription().toStdString();
    EXPECT_EQ(shown->userCode, "WDJB-MJHT");
    EXPECT_EQ(polls, 2);
    EXPECT_EQ(controller->status().session->credentials.accessToken, "token-d");
}

TEST_F(OAuthSignIn, ADeniedDeviceSignInShowsTheServicesReason) {
    server.reply("/login/device/code", {200, json({{"device_code", "dev-1"}, {"user_code", "AAAA-BBBB"},
                                                   {"verification_uri", "http://127.0.0.1/device"}, {"interval", 1}})});
    tokenAnswer = TestHttpServer::Response{200, json({{"error", "access_denied"},
                                                      {"error_description", "The authorization request was denied."}})};
    std::optional<Result<OAuthSession>> result;
    controller->authorizeWithDevice({}, [&](const Result<OAuthSession>& done) { result = done; });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }, 20000));
    ASSERT_TRUE(result->isFailure());
    EXPECT_EQ(result->error().errorDescription(), "The authorization request was denied.");
}

// MARK: Status

TEST_F(OAuthSignIn, TheStatusClassifiesWhatTheKeyringHolds) {
    EXPECT_EQ(controller->status().status, OAuthController::Status::notAuthorized);

    keychain->saveItem("{\"credentials\": 12", "github-session");
    controller->resetStatus();
    EXPECT_EQ(controller->status().status, OAuthController::Status::invalidSession);

    keychain->saveItem(R"({"credentials":{"token_type":"bearer"}})", "github-session");
    controller->resetStatus();
    EXPECT_EQ(controller->status().status, OAuthController::Status::invalidSession);

    storeSession(credentialsExpiringIn(3600), "1");
    EXPECT_EQ(controller->status().status, OAuthController::Status::versionChanged);

    storeSession(credentialsExpiringIn(3600), "2");
    const auto status = controller->status();
    EXPECT_EQ(status.status, OAuthController::Status::authorized);
    EXPECT_EQ(status.session->credentials.accessToken, "token-1");
}

// MARK: Refresh and tokens on requests

class OAuthTokens : public OAuthSignIn {
protected:
    std::shared_ptr<APIResource<QJsonDocument>> userResource(const QString& path) {
        const QUrl url = server.url(path);
        auto resource = APIResource<QJsonDocument>::make(
            *client, [url] { return std::optional<HTTPRequest>(HTTPRequest(url)); },
            CachingPolicy::returnNetworkOnly(config.cachingRealm), decodeJSONDocument);
        resource->requestAdapter = controller->tokenRefreshInterceptor();
        resource->resultInterceptor = controller->invalidTokenErrorInterceptor<QJsonDocument>(resource);
        return resource;
    }
    QObject context;
};

TEST_F(OAuthTokens, ThreeRequestsWithAnExpiredTokenCauseOneRefreshAndAllUseTheNewToken) {
    storeSession(credentialsExpiringIn(-10));
    for (const QString path : {"/a", "/b", "/c"})
        server.on(path, [](const TestHttpServer::Request& request) {
            return TestHttpServer::Response{200, json({{"auth", QString::fromLatin1(request.header("authorization"))}})};
        });
    std::vector<std::shared_ptr<APIResource<QJsonDocument>>> resources{userResource("/a"), userResource("/b"),
                                                                       userResource("/c")};
    int answered = 0;
    for (auto& resource : resources)
        resource->subscribe(&context, [&](const APIResource<QJsonDocument>::Result& result) {
            EXPECT_TRUE(result.isNetwork());
            ++answered;
        });
    for (auto& resource : resources) resource->refresh();
    ASSERT_TRUE(waitUntil([&] { return answered == 3; }));
    EXPECT_EQ(refreshes, 1);
    for (const QString path : {"/a", "/b", "/c"})
        EXPECT_EQ(server.requestsTo(path).at(0).header("authorization"), "Bearer token-2");
    const auto stored = controller->status().session->credentials;
    EXPECT_EQ(stored.accessToken, "token-2");
    EXPECT_EQ(stored.refreshToken.value_or(""), "refresh-1");  // kept: the service sent none
    controller->resetStatus();
    EXPECT_EQ(controller->status().session->credentials.accessToken, "token-2");
}

TEST_F(OAuthTokens, ATokenExpiringWithinAMinuteIsRefreshedButOneWithFiveMinutesLeftIsNot) {
    EXPECT_TRUE(credentialsExpiringIn(30).isExpired(OAuthController::kRefreshMarginSeconds));
    EXPECT_FALSE(credentialsExpiringIn(300).isExpired(OAuthController::kRefreshMarginSeconds));
    OAuthCredentials neverExpiring = credentialsExpiringIn(10);
    neverExpiring.expiresIn.reset();
    EXPECT_FALSE(neverExpiring.isExpired(OAuthController::kRefreshMarginSeconds));

    storeSession(credentialsExpiringIn(300));
    auto user = userResource("/user");
    int answered = 0;
    user->subscribe(&context, [&](const APIResource<QJsonDocument>::Result&) { ++answered; });
    user->refresh();
    ASSERT_TRUE(waitUntil([&] { return answered == 1; }));
    EXPECT_EQ(refreshes, 0);
    EXPECT_EQ(server.requestsTo("/user").at(0).header("authorization"), "Bearer token-1");

    storeSession(credentialsExpiringIn(30));
    user->refresh();
    ASSERT_TRUE(waitUntil([&] { return answered == 2; }));
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(server.requestsTo("/user").at(1).header("authorization"), "Bearer token-2");
}

TEST_F(OAuthTokens, AFailedRefreshFailsTheRequestAndKeepsTheSession) {
    OAuthCredentials stale = credentialsExpiringIn(-10);
    stale.refreshToken = "revoked";
    storeSession(stale);
    auto user = userResource("/user");
    std::optional<APIResource<QJsonDocument>::Result> result;
    user->subscribe(&context, [&](const APIResource<QJsonDocument>::Result& done) { result = done; });
    user->refresh();
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_TRUE(result->isFailure());
    EXPECT_EQ(server.count("/user"), 0);
    controller->resetStatus();
    EXPECT_EQ(controller->status().session->credentials.refreshToken.value_or(""), "revoked");
}

TEST_F(OAuthTokens, A401OnAStoredSessionGoesToSignInOnce) {
    OAuthCredentials refused = credentialsExpiringIn(3600);
    refused.accessToken = "revoked";
    storeSession(refused);
    std::vector<QString> invalidated;
    controller->tokenInvalidated.connect(&context, [&](const QString& name) { invalidated.push_back(name); });
    auto first = userResource("/user");
    auto second = APIResource<QJsonDocument>::make(
        *client, [this] { return std::optional<HTTPRequest>(HTTPRequest(server.url("/user?page=2"))); },
        CachingPolicy::noCache(), decodeJSONDocument);
    second->requestAdapter = controller->tokenRefreshInterceptor();
    second->resultInterceptor = controller->invalidTokenErrorInterceptor<QJsonDocument>(second);
    std::vector<APIResource<QJsonDocument>::Result> results;
    for (auto* resource : {first.get(), second.get()})
        resource->subscribe(&context, [&](const APIResource<QJsonDocument>::Result& result) { results.push_back(result); });
    first->refresh();
    second->refresh();
    ASSERT_TRUE(waitUntil([&] { return results.size() == 2; }));
    for (const auto& result : results) {
        ASSERT_TRUE(result.isFailure());
        EXPECT_EQ(result.error->kind, HTTPError::Kind::tokenInvalid);
        EXPECT_EQ(result.error->message, "Authorization failed for GitHub: Please connect your account again");
    }
    EXPECT_EQ(invalidated, std::vector<QString>{"GitHub"});
    EXPECT_EQ(controller->status().status, OAuthController::Status::notAuthorized);
    EXPECT_FALSE(keychain->fetchValue("github-session").has_value());
    EXPECT_EQ(tokenInvalidatedToastTitle("GitHub"), "Authorization failed for GitHub");
    EXPECT_EQ(tokenInvalidatedToastMessage(), "Please connect your account again");
}

TEST_F(OAuthTokens, SignOutForgetsTheSessionAndTheRealmsCache) {
    storeSession(credentialsExpiringIn(3600));
    HTTPResponseInfo info{200, server.url("/user"), {}, std::nullopt};
    cache->storeResponse(info, "{}", HTTPRequest(info.url), CachingPolicy::returnLocalAndNetwork(3600s, "github-test"));
    cache->storeResponse(info, "{}", HTTPRequest(info.url), CachingPolicy::returnLocalAndNetwork(3600s, "other"));
    controller->signOut();
    EXPECT_EQ(controller->status().status, OAuthController::Status::notAuthorized);
    EXPECT_FALSE(keychain->fetchValue("github-session").has_value());
    EXPECT_FALSE(cache->response(HTTPRequest(info.url), CachingPolicy::returnLocalOnly(3600s, "github-test")).has_value());
    EXPECT_TRUE(cache->response(HTTPRequest(info.url), CachingPolicy::returnLocalOnly(3600s, "other")).has_value());
}

TEST_F(OAuthTokens, NotSignedInRequestsFailBeforeReachingTheServer) {
    auto user = userResource("/user");
    std::optional<APIResource<QJsonDocument>::Result> result;
    user->subscribe(&context, [&](const APIResource<QJsonDocument>::Result& done) { result = done; });
    user->refresh();
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_TRUE(result->isFailure());
    EXPECT_EQ(result->error->message, "Not signed in: GitHub");
    EXPECT_EQ(server.count("/user"), 0);
}

// MARK: Configuration and records

TEST(OAuthClientConfiguration, AMissingClientIdNamesTheVariable) {
    auto lookup = [](const QString& key) -> std::optional<QString> {
        if (key == "LINEAR_CLIENT_ID") return QString("lin-id");
        return std::nullopt;
    };
    const auto github = OAuthClientCredentials::fromEnvironment("GITHUB", lookup);
    ASSERT_TRUE(github.isFailure());
    EXPECT_TRUE(github.error().errorDescription().startsWith("Missing OAuth client id: set GITHUB_CLIENT_ID in the "
                                                             "environment or in "));
    EXPECT_TRUE(github.error().errorDescription().endsWith("vantrel/environment"));
    const auto linear = OAuthClientCredentials::fromEnvironment("LINEAR", lookup);
    ASSERT_TRUE(linear.isFailure());
    EXPECT_TRUE(linear.error().errorDescription().contains("LINEAR_CLIENT_SECRET"));
    const auto publicClient = OAuthClientCredentials::fromEnvironment("LINEAR", lookup, false);
    ASSERT_TRUE(publicClient.isSuccess());
    EXPECT_EQ(publicClient.value().clientId, "lin-id");
}

TEST(OAuthRecords, TheSessionRoundTripsThroughJson) {
    OAuthSession session;
    session.credentials.accessToken = "a";
    session.credentials.tokenType = "bearer";
    session.credentials.idToken = "x.y.z";
    session.credentials.expiresIn = 60.5;
    session.credentials.createdAt = QDateTime::fromMSecsSinceEpoch(1700000000123, Qt::UTC);
    session.credentials.scope = "repo";
    session.user = OAuthUser{"7", "Ada", "ada@example.org", std::map<QString, QString>{{"login", "ada"}}};
    session.version = "3";
    const auto back = OAuthSession::fromJson(session.toJson());
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->credentials.createdAt, session.credentials.createdAt);
    EXPECT_EQ(back->credentials.expiresIn, 60.5);
    EXPECT_EQ(back->credentials.idToken, session.credentials.idToken);
    EXPECT_EQ(back->user->custom->at("login"), "ada");
    EXPECT_EQ(back->version, "3");
    EXPECT_FALSE(OAuthSession::fromJson(QJsonObject{{"credentials", "nope"}}).has_value());
}

TEST(OAuthRecords, ErrorBodiesDecodeTheirTypeAndDescription) {
    const auto error = OAuthError::fromJson(R"({"error":"invalid_grant","error_description":"Expired","reason":"r"})");
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->error, OAuthError::ErrorType::invalidGrant);
    EXPECT_EQ(error->message(), "Expired");
    EXPECT_FALSE(OAuthError::fromJson("<html>").has_value());
    EXPECT_FALSE(OAuthError::fromJson(R"({"message":"x"})").has_value());
    EXPECT_EQ(OAuthError::fromJson(R"({"error":"unsupported_grant_type"})")->message(), "unsupported_grant_type");
}

TEST(OAuthRecords, TheUserIsReadFromTheIdToken) {
    const QByteArray payload = QByteArray(R"({"sub":"42","name":"Ada","email":"ada@example.org"})")
                                   .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    const auto user = userFromIdToken(QString("e30." + payload + ".sig"));
    ASSERT_TRUE(user.isSuccess());
    EXPECT_EQ(user.value().email.value_or(""), "ada@example.org");
    EXPECT_EQ(userFromIdToken(std::nullopt).error().errorDescription(), "No idToken given");
    EXPECT_EQ(userFromIdToken(QString("nodots")).error().errorDescription(), "Could not decode JWT");
    EXPECT_EQ(userFromIdToken(QString("e30.bm90IGpzb24.sig")).error().errorDescription(), "Could not decode payload");
    EXPECT_EQ(userFromIdToken(QString("e30.e30.sig")).error().errorDescription(), "User data missing in idToken");
}

// MARK: The loopback server on its own

TEST(LoopbackRedirect, OnlyTheRedirectPathIsReportedAndOtherRequestsGet404) {
    LoopbackRedirectServer loopback;
    ASSERT_TRUE(loopback.listen());
    QList<QUrl> seen;
    loopback.onRedirect = [&](const QUrl& url) {
        seen << url;
        loopback.answerWith(true, {});
    };
    QProcess other;
    other.start("curl", {"-s", "-o", "/dev/null", "-w", "%{http_code}", loopback.redirectURL().resolved(QUrl("/favicon.ico")).toString()});
    ASSERT_TRUE(waitUntil([&] { return other.state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(other.readAllStandardOutput(), "404");
    QProcess redirect;
    redirect.start("curl", {"-s", "-o", "/dev/null", "-w", "%{http_code}", loopback.redirectURL().toString() + "?code=a&state=b"});
    ASSERT_TRUE(waitUntil([&] { return redirect.state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(redirect.readAllStandardOutput(), "200");
    ASSERT_EQ(seen.size(), 1);
    EXPECT_EQ(QUrlQuery(seen[0]).queryItemValue("code"), "a");
    EXPECT_EQ(seen[0].host(), "127.0.0.1");
}

}  // namespace
}  // namespace vantrel::test
