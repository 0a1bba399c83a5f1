#include "net/OAuth.h"
#include "platform/Platform.h"
#include "support/RecordingPresenter.h"
#include "support/TestEnvironment.h"
#include "support/TestHttpServer.h"
#include "ui/toolkit/NoticeBanner.h"
#include "ui/toolkit/OAuthSignInView.h"

#include <QJsonDocument>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QUuid>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

// The view over a real controller: a local authorization server, the
// session's keyring, and a browser that is a recorded link.
class SignInViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.listen());
        keychain = std::make_unique<Keychain>(QStringLiteral("vantrel-signin-test-") + QUuid::createUuid().toString(),
                                              platform().makeKeychainBackend());
        cache = std::make_shared<HTTPCache>(*keychain, [this](const CachingRealm&) {
            CacheConfig config;
            config.directory = dir.path();
            return config;
        });
        client = std::make_unique<HTTPClient>(cache);
        server.on("/login/oauth/access_token", [](const TestHttpServer::Request&) {
            return TestHttpServer::Response{200, R"({"access_token":"t","token_type":"bearer"})"};
        });
        OAuthConfig config;
        config.packageName = "GitHub";
        config.version = "1";
        config.keychainAccount = "session";
        config.userHandler = [](const OAuthCredentials&, std::function<void(const Result<OAuthUser>&)> done) {
            done(OAuthUser{"1", "Ada", std::nullopt, std::nullopt});
        };
        controller = std::make_unique<OAuthController>(
            config, OAuthProvider::gitHub({"id", "secret"}, *client, server.url()), *keychain, *client);
        controller->setBrowserOpener([this](const QUrl& url) { opened = url; });
    }
    void TearDown() override { keychain->deleteAllItems(); }

    QUrl redirectWithState(const QString& state) const {
        QUrl back(QUrlQuery(opened).queryItemValue("redirect_uri", QUrl::FullyDecoded));
        back.setQuery("code=c&state=" + QString::fromLatin1(QUrl::toPercentEncoding(state)));
        return back;
    }

    QTemporaryDir dir;
    TestHttpServer server;
    std::unique_ptr<Keychain> keychain;
    std::shared_ptr<HTTPCache> cache;
    std::unique_ptr<HTTPClient> client;
    std::unique_ptr<OAuthController> controller;
    QUrl opened;
    RecordingPresenter presenter;
};

TEST_F(SignInViewTest, ReturnOpensTheBrowserAndASuccessfulRedirectSignsIn) {
    OAuthSignInView view(*controller);
    view.setPresenter(&presenter);
    std::optional<OAuthSession> signedIn;
    view.onSignedIn = [&](const OAuthSession& session) { signedIn = session; };
    EXPECT_EQ(view.title(), "Sign In to GitHub");
    ASSERT_FALSE(view.actions().empty());
    EXPECT_EQ(view.actions().front().title, "Sign In with Browser");
    view.actions().front().perform();
    EXPECT_EQ(view.phase(), OAuthSignInView::Phase::waitingForBrowser);
    EXPECT_EQ(view.actions().back().title, "Cancel Sign-In");
    ASSERT_TRUE(opened.isValid());

    const QString state = QUrlQuery(opened).queryItemValue("state", QUrl::FullyDecoded);
    EXPECT_TRUE(controller->handleRedirectURL(redirectWithState(state)));
    ASSERT_TRUE(waitUntil([&] { return signedIn.has_value(); }));
    EXPECT_EQ(view.phase(), OAuthSignInView::Phase::signedIn);
    ASSERT_FALSE(presenter.toasts.empty());
    EXPECT_EQ(presenter.toasts.back().toast.title, "Signed in to GitHub");
}

TEST_F(SignInViewTest, AWrongStateShowsTheFailureInTheViewAndAToast) {
    OAuthSignInView view(*controller);
    view.setPresenter(&presenter);
    view.startBrowserSignIn();
    EXPECT_TRUE(controller->handleRedirectURL(redirectWithState(R"({"id":"forged","flavor":"release"})")));
    ASSERT_TRUE(waitUntil([&] { return view.phase() == OAuthSignInView::Phase::failed; }));
    EXPECT_EQ(view.statusText(), "State from redirect doesn't match state from request");
    ASSERT_FALSE(presenter.toasts.empty());
    EXPECT_EQ(presenter.toasts.back().toast.style, Toast::Style::failure);
    EXPECT_EQ(presenter.toasts.back().toast.message, "State from redirect doesn't match state from request");
    EXPECT_EQ(view.actions().front().title, "Sign In with Browser");  // can try again
    EXPECT_EQ(controller->status().status, OAuthController::Status::notAuthorized);
}

TEST_F(SignInViewTest, CancellingStopsWaitingForTheBrowser) {
    OAuthSignInView view(*controller);
    view.setPresenter(&presenter);
    view.startBrowserSignIn();
    view.actions().back().perform();
    EXPECT_EQ(view.phase(), OAuthSignInView::Phase::failed);
    EXPECT_EQ(view.statusText(), "The sign-in was cancelled");
    EXPECT_FALSE(controller->isAuthorizing());
}

TEST_F(SignInViewTest, ARefusedSessionIsNamedAtTheTopAndAsAToast) {
    std::unique_ptr<OAuthSignInView> view(OAuthSignInView::forInvalidatedToken(*controller));
    EXPECT_EQ(view->notice()->title(), "Authorization failed for GitHub");
    EXPECT_EQ(view->notice()->message(), "Please connect your account again");
    EXPECT_TRUE(view->notice()->isWarning());
    tellTokenInvalidated(presenter, "GitHub");
    ASSERT_EQ(presenter.toasts.size(), 1u);
    EXPECT_EQ(presenter.toasts[0].toast.title, "Authorization failed for GitHub");
    EXPECT_EQ(presenter.toasts[0].toast.message, "Please connect your account again");
}

TEST_F(SignInViewTest, ASignInThatCannotStartSaysWhyAndOpensNothing) {
    OAuthSignInView view(*controller);
    view.setPresenter(&presenter);
    const QString missing = "Missing OAuth client id: set GITHUB_CLIENT_ID in the environment or in ~/.config/vantrel/environment";
    view.setSignInProblem(missing);
    EXPECT_EQ(view.phase(), OAuthSignInView::Phase::failed);
    EXPECT_EQ(view.statusText(), missing);
    view.startBrowserSignIn();
    view.startCodeSignIn();
    ASSERT_EQ(presenter.toasts.size(), 2u);
    for (const auto& shown : presenter.toasts) {
        EXPECT_EQ(shown.toast.title, "Sign-in failed");
        EXPECT_EQ(shown.toast.message, missing);
    }
    EXPECT_FALSE(opened.isValid());
    EXPECT_FALSE(controller->isAuthorizing());
    EXPECT_TRUE(server.requests().empty());
}

// A list that shows the sign-in screen in place of its rows: the screen
// tells the user through the window of the view it is shown in.
TEST_F(SignInViewTest, AScreenShownInsideAnotherViewUsesThatViewsWindow) {
    OAuthSignInView host(*controller);
    host.setPresenter(&presenter);
    auto* inside = new OAuthSignInView(*controller, &host);
    EXPECT_EQ(inside->presenter(), &presenter);
    OAuthSignInView alone(*controller);
    EXPECT_EQ(alone.presenter(), nullptr);
    inside->setSignInProblem("Nothing to sign in with");
    inside->startBrowserSignIn();
    ASSERT_EQ(presenter.toasts.size(), 1u);
    EXPECT_EQ(presenter.toasts[0].toast.message, "Nothing to sign in with");
}

}  // namespace
}  // namespace vantrel::test
