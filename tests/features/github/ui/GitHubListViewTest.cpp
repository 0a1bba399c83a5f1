// The GitHub lists on the test session's display, against the local GitHub
// API: the groups of "My Pull Requests", the cached list before the fresh
// one, a close that shows at once, the sign-in screen without a session (and
// signing in from it), and the details page with its Markdown body.
#include "../GitHubApiServer.h"
#include "support/RecordingPresenter.h"

#include "data/FileKeychainBackend.h"
#include "data/Keychain.h"
#include "features/github/GitHubServices.h"
#include "features/github/ui/GitHubDetailView.h"
#include "features/github/ui/GitHubListView.h"
#include "ui/toolkit/NoticeBanner.h"
#include "ui/toolkit/OAuthSignInView.h"

#include <QTextBrowser>

namespace vantrel::test {
namespace {

using namespace vantrel::github;

class GitHubListViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        QString problem;
        ASSERT_TRUE(server.start(&problem)) << problem.toStdString();
        apiURL = std::make_unique<ScopedEnv>("GITHUB_API_URL", server.url().toString().toUtf8());
        backend = std::make_shared<FileKeychainBackend>();
    }

    void signIn(const QString& token = QStringLiteral("gho_valid")) {
        OAuthSession session;
        session.credentials.accessToken = token;
        session.credentials.tokenType = QStringLiteral("bearer");
        session.credentials.createdAt = QDateTime::currentDateTimeUtc();
        OAuthUser user;
        user.custom = std::map<QString, QString>{{QStringLiteral("login"), QStringLiteral("octocat")}};
        session.user = user;
        session.version = QStringLiteral("1");
        Keychain(QString::fromLatin1(Keychain::kDefaultService), backend)
            .saveObject(QJsonDocument(session.toJson()), QStringLiteral("github"));
    }

    std::unique_ptr<GitHubListView> open(GitHubListView::Kind kind, const QString& query = {}) {
        if (!services) services = GitHubServices::make(backend);
        auto view = std::make_unique<GitHubListView>(*services, kind, query);
        view->setPresenter(&presenter);
        view->resize(750, 475);
        view->show();
        return view;
    }

    static QStringList actionTitles(const GitHubListView& view) {
        QStringList found;
        for (const MenuItem& action : view.actions()) found << action.title;
        return found;
    }

    static QStringList titles(const GitHubListView& view) {
        QStringList found;
        for (const ListView::Item* item : view.visibleItems()) found << item->title;
        return found;
    }

    ScopedXdgHome home;
    GitHubApiServer server;
    std::unique_ptr<ScopedEnv> apiURL;
    std::shared_ptr<KeychainBackend> backend;
    std::unique_ptr<GitHubServices> services;
    RecordingPresenter presenter;
};

TEST_F(GitHubListViewTest, MyPullRequestsShowTheirGroupsAndTheCacheFirst) {
    signIn();
    auto view = open(GitHubListView::Kind::pullRequests);
    EXPECT_EQ(view->title(), QStringLiteral("My Pull Requests"));
    ASSERT_TRUE(waitUntil([&] { return !view->isLoading() && !view->visibleItems().empty(); }, 20000));
    EXPECT_EQ(titles(*view), (QStringList{QStringLiteral("Add the launch sequence"), QStringLiteral("Fix the fuel gauge"),
                                          QStringLiteral("Fix the fuel gauge"), QStringLiteral("Say hello in French")}));
    EXPECT_FALSE(view->isShowingCachedList());
    view.reset();

    // A second opening shows the stored list before GitHub answers.
    ASSERT_TRUE(server.command({{"hold", "SearchPullRequests"}}));
    view = open(GitHubListView::Kind::pullRequests);
    ASSERT_TRUE(waitUntil([&] { return !view->visibleItems().empty(); }, 20000));
    EXPECT_TRUE(view->isShowingCachedList());
    EXPECT_TRUE(view->isLoading());
    ASSERT_TRUE(server.command({{"release", "SearchPullRequests"}}));
    ASSERT_TRUE(waitUntil([&] { return !view->isLoading(); }, 20000));
    EXPECT_FALSE(view->isShowingCachedList());
}

TEST_F(GitHubListViewTest, ClosingARowShowsAtOnceAndTheToastFollows) {
    signIn();
    auto view = open(GitHubListView::Kind::pullRequests);
    ASSERT_TRUE(waitUntil([&] { return !view->isLoading() && !view->visibleItems().empty(); }, 20000));
    ASSERT_TRUE(server.command({{"hold", "ClosePullRequest"}}));
    ASSERT_TRUE(view->runAction(QStringLiteral("PR_1"), QStringLiteral("close")));
    // The row is closed before GitHub answers: it offers to reopen now.
    const auto reopenOffered = [&] {
        for (const ListView::Item* item : view->visibleItems())
            if (item->id == QLatin1String("PR_1"))
                for (const MenuItem& action : item->actions)
                    if (action.id == QLatin1String("reopen")) return true;
        return false;
    };
    EXPECT_TRUE(reopenOffered());
    ASSERT_TRUE(server.command({{"release", "ClosePullRequest"}}));
    ASSERT_TRUE(waitUntil([&] { return presenter.toastTitles().contains(QStringLiteral("Closed pull request")); }, 20000))
        << presenter.toastTitles().join(QStringLiteral(", ")).toStdString();
    EXPECT_TRUE(reopenOffered());
}

TEST_F(GitHubListViewTest, WithoutASessionTheSignInScreenTakesTheRowsPlace) {
    const ScopedEnv clientId("GITHUB_CLIENT_ID", QByteArray("test-client"));
    auto view = open(GitHubListView::Kind::notifications);
    OAuthSignInView* signIn = view->signInView();
    ASSERT_NE(signIn, nullptr);
    EXPECT_TRUE(signIn->isVisible());
    EXPECT_EQ(signIn->geometry(), view->rect());
    EXPECT_TRUE(view->visibleItems().empty());
    EXPECT_EQ(actionTitles(*view), (QStringList{QStringLiteral("Sign In with Browser"), QStringLiteral("Sign In with a Code")}));
    EXPECT_TRUE(signIn->notice()->title().isEmpty());
    EXPECT_EQ(server.requests().size(), 0);
}

TEST_F(GitHubListViewTest, SigningInThroughTheBrowserBringsTheListUp) {
    const ScopedEnv clientId("GITHUB_CLIENT_ID", QByteArray("test-client"));
    const ScopedEnv browser("BROWSER", gitHubTestFile(QStringLiteral("fake-browser.sh")).toUtf8());
    auto view = open(GitHubListView::Kind::pullRequests);
    ASSERT_NE(view->signInView(), nullptr);
    // Return runs the first action, as the window does.
    view->actions().front().perform();
    ASSERT_TRUE(waitUntil([&] { return !view->signInView() && !view->isLoading() && !view->visibleItems().empty(); }, 30000))
        << presenter.toastTitles().join(',').toStdString();
    EXPECT_TRUE(presenter.toastTitles().contains(QStringLiteral("Signed in to GitHub"))) << presenter.toastTitles().join(',').toStdString();
    EXPECT_TRUE(titles(*view).contains(QStringLiteral("Add the launch sequence")));
    EXPECT_TRUE(services->auth().isAuthorized());
    EXPECT_EQ(server.count(QStringLiteral("/login/oauth/access_token")), 1);
    EXPECT_EQ(actionTitles(*view).value(0), QStringLiteral("Show Details"));
}

TEST_F(GitHubListViewTest, SigningInWithACodeShowsTheCodeThenTheList) {
    const ScopedEnv clientId("GITHUB_CLIENT_ID", QByteArray("test-client"));
    // The verification page opens in a browser that only notes it.
    const QString opened = home.root() + QStringLiteral("/opened");
    const QString noting = writeTestFile(home.root() + QStringLiteral("/browser"),
                                         "#!/bin/sh\necho \"$1\" > \"" + opened.toUtf8() + "\"\n",
                                         QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const ScopedEnv browser("BROWSER", noting.toUtf8());
    auto view = open(GitHubListView::Kind::notifications);
    ASSERT_NE(view->signInView(), nullptr);
    ASSERT_EQ(actionTitles(*view).value(1), QStringLiteral("Sign In with a Code"));
    view->actions().at(1).perform();
    ASSERT_TRUE(waitUntil([&] { return view->signInView() && view->signInView()->deviceCode().has_value(); }, 20000));
    EXPECT_EQ(view->signInView()->deviceCode()->userCode, QStringLiteral("WDJB-MJHT"));
    EXPECT_TRUE(actionTitles(*view).contains(QStringLiteral("Copy Code")));
    ASSERT_TRUE(waitUntil([&] { return !view->signInView() && !view->isLoading() && !view->visibleItems().empty(); }, 30000))
        << presenter.toastTitles().join(',').toStdString();
    EXPECT_TRUE(services->auth().isAuthorized());
    EXPECT_TRUE(waitUntil([&] { return readTestFile(opened).trimmed() == server.url().toString().toUtf8() + "/login/device"; }))
        << readTestFile(opened).toStdString();
}

TEST_F(GitHubListViewTest, WithoutAClientIdTheSignInScreenNamesTheVariable) {
    const ScopedEnv clientId("GITHUB_CLIENT_ID", std::nullopt);
    auto view = open(GitHubListView::Kind::openIssues);
    ASSERT_NE(view->signInView(), nullptr);
    EXPECT_TRUE(view->signInView()->statusText().contains(QStringLiteral("GITHUB_CLIENT_ID")))
        << view->signInView()->statusText().toStdString();
    for (int action = 0; action < 2; ++action) {
        view->actions().at(action).perform();
        ASSERT_NE(presenter.lastToast(), nullptr);
        EXPECT_EQ(presenter.lastToast()->title, QStringLiteral("Sign-in failed"));
        EXPECT_TRUE(presenter.lastToast()->message.contains(QStringLiteral("GITHUB_CLIENT_ID")));
    }
    EXPECT_EQ(server.requests().size(), 0);
}

TEST_F(GitHubListViewTest, ARefusedSessionTurnsTheListIntoTheSignIn) {
    signIn(QStringLiteral("gho_revoked"));
    auto view = open(GitHubListView::Kind::openIssues);
    ASSERT_TRUE(waitUntil([&] { return presenter.toastTitles().contains(QStringLiteral("Authorization failed for GitHub")); }, 20000))
        << presenter.toastTitles().join(',').toStdString();
    EXPECT_EQ(presenter.lastToast()->message, QStringLiteral("Please connect your account again"));
    ASSERT_NE(view->signInView(), nullptr);
    EXPECT_EQ(view->signInView()->notice()->title(), QStringLiteral("Authorization failed for GitHub"));
    EXPECT_EQ(view->signInView()->notice()->message(), QStringLiteral("Please connect your account again"));
    EXPECT_TRUE(view->visibleItems().empty());
    EXPECT_EQ(actionTitles(*view).value(0), QStringLiteral("Sign In with Browser"));
    EXPECT_FALSE(services->auth().isAuthorized());
    EXPECT_EQ(server.count(QStringLiteral("SearchOpenIssues")), 1);
    EXPECT_EQ(presenter.toastTitles().count(QStringLiteral("Authorization failed for GitHub")), 1);
}

TEST_F(GitHubListViewTest, SearchingAsksGitHubWithTheTypedText) {
    signIn();
    auto view = open(GitHubListView::Kind::searchIssues, QStringLiteral("countdown"));
    ASSERT_TRUE(waitUntil([&] { return !view->isLoading() && !view->visibleItems().empty(); }, 20000));
    EXPECT_EQ(titles(*view), QStringList{QStringLiteral("The countdown skips nine")});
    EXPECT_EQ(server.last(QStringLiteral("FilterIssues")).value(QStringLiteral("variables")).toObject()
                  .value(QStringLiteral("query")).toString(),
              QStringLiteral("is:issue author:octocat archived:false countdown"));
}

TEST_F(GitHubListViewTest, DetailsShowTheBodyAndTheWrites) {
    signIn();
    services = GitHubServices::make(backend);
    GitHubDetailView view(services->api(), GitHubDetailView::Kind::pullRequest, QStringLiteral("PR_1"));
    view.setPresenter(&presenter);
    ASSERT_TRUE(waitUntil([&] { return !view.isLoading(); }, 20000));
    EXPECT_TRUE(view.markdown().contains(QStringLiteral("Adds **the launch sequence**."))) << view.markdown().toStdString();
    QStringList actionTitles;
    for (const MenuItem& action : view.actions()) actionTitles << action.title;
    EXPECT_TRUE(actionTitles.contains(QStringLiteral("Squash and Merge"))) << actionTitles.join(',').toStdString();
    EXPECT_TRUE(actionTitles.contains(QStringLiteral("Close Pull Request")));
    EXPECT_FALSE(actionTitles.contains(QStringLiteral("Rebase and Merge")));
}

TEST_F(GitHubListViewTest, RepositoriesWithoutWordsAreTheUsersAndItsOrganisations) {
    signIn();
    auto view = open(GitHubListView::Kind::searchRepositories);
    ASSERT_TRUE(waitUntil([&] { return titles(*view).size() == 2 && !view->isLoading(); }, 20000))
        << titles(*view).join(',').toStdString();
    EXPECT_EQ(titles(*view), (QStringList{QStringLiteral("acme/rocket"), QStringLiteral("octocat/hello-world")}));
    EXPECT_EQ(server.last(QStringLiteral("SearchRepositories")).value(QStringLiteral("variables")).toObject()
                  .value(QStringLiteral("query")).toString(),
              QStringLiteral("user:octocat user:acme sort:updated"));
}

}  // namespace
}  // namespace vantrel::test
