// `vantrel github …` as a user runs it, against the local GitHub API on
// 127.0.0.1: the lists, the cache that answers while GitHub is unreachable,
// the session's status, the sign-in through the browser, and answers that
// are not what they should be.
#include "GitHubApiServer.h"

#include "data/FileKeychainBackend.h"
#include "data/Keychain.h"
#include "features/github/GitHubAPI.h"
#include "net/OAuth.h"

#include <QJsonArray>
#include <QTcpServer>

namespace vantrel::test {
namespace {

class GitHubCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        QString problem;
        ASSERT_TRUE(server.start(&problem)) << problem.toStdString();
    }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VANTREL_KEYRING"), QStringLiteral("file"));
        env.insert(QStringLiteral("GITHUB_API_URL"), server.url().toString());
        env.insert(QStringLiteral("GITHUB_SERVER_URL"), server.url().toString());
        return env;
    }

    GitHubProcessRun github(const QStringList& arguments) const {
        return runVantrel(QStringList{QStringLiteral("github")} + arguments, environment());
    }

    // The session a sign-in leaves, in the keyring the executable reads.
    static void storeSession(const QString& token = QStringLiteral("gho_valid")) {
        OAuthSession session;
        session.credentials.accessToken = token;
        session.credentials.tokenType = QStringLiteral("bearer");
        session.credentials.createdAt = QDateTime::currentDateTimeUtc();
        OAuthUser user;
        user.id = QStringLiteral("U_octocat");
        user.name = QStringLiteral("The Octocat");
        user.custom = std::map<QString, QString>{{QStringLiteral("login"), QStringLiteral("octocat")}};
        session.user = user;
        session.version = QStringLiteral("1");
        Keychain(QString::fromLatin1(Keychain::kDefaultService), std::make_shared<FileKeychainBackend>())
            .saveObject(QJsonDocument(session.toJson()), QStringLiteral("github"));
    }

    static QJsonArray jsonArray(const GitHubProcessRun& run) {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(run.out.toUtf8(), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << run.out.toStdString() << run.err.toStdString();
        return document.array();
    }

    static QStringList titles(const QJsonArray& items) {
        QStringList found;
        for (const QJsonValue& item : items) found << item.toObject().value(QStringLiteral("title")).toString();
        return found;
    }

    static QJsonArray group(const QJsonArray& groups, const QString& name) {
        for (const QJsonValue& value : groups)
            if (value.toObject().value(QStringLiteral("group")).toString() == name ||
                value.toObject().value(QStringLiteral("title")).toString() == name)
                return value.toObject().value(QStringLiteral("items")).toArray();
        ADD_FAILURE() << "no group " << name.toStdString();
        return {};
    }

    // The environment of a sign-in: the client's id and secret, and a browser.
    QProcessEnvironment signInEnvironment(const QString& browser = QStringLiteral("fake-browser.sh")) const {
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("BROWSER"), gitHubTestFile(browser));
        env.insert(QStringLiteral("GITHUB_CLIENT_ID"), QStringLiteral("test-client"));
        env.insert(QStringLiteral("GITHUB_CLIENT_SECRET"), QStringLiteral("test-secret"));
        return env;
    }

    // What the keyring the executable uses holds for GitHub, if anything.
    static std::optional<QJsonObject> storedSession() {
        const std::optional<QByteArray> stored =
            Keychain(QString::fromLatin1(Keychain::kDefaultService), std::make_shared<FileKeychainBackend>())
                .fetchValue(QStringLiteral("github"));
        if (!stored) return std::nullopt;
        return QJsonDocument::fromJson(*stored).object();
    }

    // The token requests of a sign-in with a code, in order.
    QList<QJsonObject> devicePolls() const {
        QList<QJsonObject> polls;
        for (const QJsonObject& request : server.requests())
            if (request.value(QStringLiteral("path")).toString() == QLatin1String("/login/oauth/access_token") &&
                request.value(QStringLiteral("form")).toObject().value(QStringLiteral("grant_type")).toString() ==
                    QLatin1String("urn:ietf:params:oauth:grant-type:device_code"))
                polls << request;
        return polls;
    }

    // GitHub takes GraphQL only as a POST with a JSON body (the local server
    // refuses anything else, as GitHub does).
    void expectEveryGraphQLRequestWasAPost() const {
        int graphQL = 0;
        for (const QJsonObject& request : server.requests()) {
            if (request.value(QStringLiteral("path")).toString() != QLatin1String("/graphql")) continue;
            ++graphQL;
            EXPECT_EQ(request.value(QStringLiteral("method")).toString(), QStringLiteral("POST"))
                << QJsonDocument(request).toJson().toStdString();
            EXPECT_FALSE(request.value(QStringLiteral("refused")).toBool());
            EXPECT_TRUE(request.value(QStringLiteral("query")).toObject().isEmpty())
                << "nothing travels in the query string";
        }
        EXPECT_GT(graphQL, 0);
    }

    ScopedXdgHome home;
    GitHubApiServer server;
};

TEST_F(GitHubCliTest, PullRequestsComeInTheirGroupsAndFromTheCacheWhileGitHubIsDown) {
    storeSession();
    const GitHubProcessRun first = github({QStringLiteral("pull-requests"), QStringLiteral("--json")});
    ASSERT_EQ(first.exitCode, 0) << first.err.toStdString();
    const QJsonArray groups = jsonArray(first);
    ASSERT_EQ(groups.size(), 5);
    EXPECT_EQ(titles(group(groups, QStringLiteral("created"))), QStringList{QStringLiteral("Add the launch sequence")});
    EXPECT_EQ(titles(group(groups, QStringLiteral("assigned"))), QStringList{QStringLiteral("Fix the fuel gauge")});
    EXPECT_EQ(titles(group(groups, QStringLiteral("reviewRequests"))), QStringList{QStringLiteral("Fix the fuel gauge")});
    EXPECT_EQ(titles(group(groups, QStringLiteral("closed"))), QStringList{QStringLiteral("Say hello in French")});
    const QJsonObject pr = group(groups, QStringLiteral("created")).first().toObject();
    EXPECT_EQ(pr.value(QStringLiteral("repository")).toString(), QStringLiteral("acme/rocket"));
    EXPECT_EQ(pr.value(QStringLiteral("status")).toString(), QStringLiteral("OPEN"));
    EXPECT_EQ(pr.value(QStringLiteral("author")).toObject().value(QStringLiteral("login")).toString(), QStringLiteral("octocat"));

    const QJsonObject request = server.last(QStringLiteral("SearchPullRequests"));
    EXPECT_EQ(request.value(QStringLiteral("authorization")).toString(), QStringLiteral("Bearer gho_valid"));
    EXPECT_TRUE(request.value(QStringLiteral("variables")).toObject().value(QStringLiteral("createdOpenQuery")).toString()
                    .startsWith(QStringLiteral("is:pr author:octocat archived:false is:open updated:>")));
    EXPECT_EQ(request.value(QStringLiteral("variables")).toObject().value(QStringLiteral("numberOfOpenItems")).toInt(), 20);
    expectEveryGraphQLRequestWasAPost();

    server.stop();
    const GitHubProcessRun offline = github({QStringLiteral("pull-requests"), QStringLiteral("--json")});
    EXPECT_EQ(offline.exitCode, 0) << offline.err.toStdString();
    EXPECT_EQ(jsonArray(offline), groups);
    EXPECT_TRUE(offline.err.contains(QStringLiteral("showing the cached list"))) << offline.err.toStdString();
}

TEST_F(GitHubCliTest, EveryListPrintsWhatGitHubAnswers) {
    storeSession();
    const GitHubProcessRun issues = github({QStringLiteral("issues"), QStringLiteral("--json")});
    ASSERT_EQ(issues.exitCode, 0) << issues.err.toStdString();
    const QJsonArray issueGroups = jsonArray(issues);
    EXPECT_EQ(titles(group(issueGroups, QStringLiteral("Open"))), QStringList{QStringLiteral("The countdown skips nine")});
    EXPECT_EQ(titles(group(issueGroups, QStringLiteral("Closed"))), QStringList{QStringLiteral("Greeting is too short")});
    EXPECT_EQ(titles(group(issueGroups, QStringLiteral("Assigned"))), QStringList{QStringLiteral("The countdown skips nine")});
    EXPECT_EQ(titles(group(issueGroups, QStringLiteral("Mentioned"))), QStringList{QStringLiteral("Mention me in the docs")});

    const GitHubProcessRun repositories = github({QStringLiteral("repositories"), QStringLiteral("--json")});
    ASSERT_EQ(repositories.exitCode, 0) << repositories.err.toStdString();
    EXPECT_EQ(jsonArray(repositories).first().toObject().value(QStringLiteral("fullName")).toString(),
              QStringLiteral("octocat/hello-world"));
    EXPECT_EQ(server.last(QStringLiteral("SearchRepositories")).value(QStringLiteral("variables")).toObject()
                  .value(QStringLiteral("query")).toString(),
              QStringLiteral("user:octocat sort:updated"));

    const GitHubProcessRun notifications = github({QStringLiteral("notifications"), QStringLiteral("--json")});
    ASSERT_EQ(notifications.exitCode, 0) << notifications.err.toStdString();
    const QJsonArray list = jsonArray(notifications);
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list.first().toObject().value(QStringLiteral("htmlUrl")).toString(),
              QStringLiteral("https://github.com/acme/rocket/pull/1"));
    EXPECT_EQ(server.last(QStringLiteral("/notifications")).value(QStringLiteral("query")).toObject()
                  .value(QStringLiteral("all")).toString(),
              QStringLiteral("true"));

    const GitHubProcessRun runs =
        github({QStringLiteral("workflow-runs"), QStringLiteral("--repository"), QStringLiteral("acme/rocket"), QStringLiteral("--json")});
    ASSERT_EQ(runs.exitCode, 0) << runs.err.toStdString();
    EXPECT_EQ(jsonArray(runs).size(), 2);
    EXPECT_EQ(jsonArray(runs).first().toObject().value(QStringLiteral("conclusion")).toString(), QStringLiteral("success"));

    const GitHubProcessRun text = github({QStringLiteral("pull-requests")});
    ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
    EXPECT_TRUE(text.out.contains(QStringLiteral("Created:\n  acme/rocket#1  Add the launch sequence  [open]"))) << text.out.toStdString();
    EXPECT_TRUE(text.out.contains(QStringLiteral("acme/rocket#2  Fix the fuel gauge  [draft]"))) << text.out.toStdString();
    EXPECT_EQ(server.count(QStringLiteral("SearchCreatedIssues")), 1);
    EXPECT_EQ(server.count(QStringLiteral("SearchOpenIssues")), 1);
    expectEveryGraphQLRequestWasAPost();
}

TEST_F(GitHubCliTest, ArgumentsThatAreNotUnderstoodAreRefused) {
    storeSession();
    EXPECT_EQ(github({QStringLiteral("pull-requests"), QStringLiteral("--repository"), QStringLiteral("nope")}).exitCode, 2);
    EXPECT_EQ(github({QStringLiteral("issues"), QStringLiteral("--colour")}).exitCode, 2);
    EXPECT_EQ(github({QStringLiteral("forks")}).exitCode, 2);
    EXPECT_EQ(github({}).exitCode, 2);
    EXPECT_EQ(server.requests().size(), 0);
}

TEST_F(GitHubCliTest, StatusAndSignOutFollowTheStoredSession) {
    GitHubProcessRun status = github({QStringLiteral("status")});
    EXPECT_EQ(status.exitCode, 1);
    EXPECT_EQ(status.out.trimmed(), QStringLiteral("Not signed in to GitHub"));
    const GitHubProcessRun refused = github({QStringLiteral("pull-requests")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("run `vantrel github sign-in` first"))) << refused.err.toStdString();

    storeSession();
    status = github({QStringLiteral("status")});
    EXPECT_EQ(status.exitCode, 0);
    EXPECT_EQ(status.out.trimmed(), QStringLiteral("Signed in to GitHub as octocat"));

    const GitHubProcessRun signOut = github({QStringLiteral("sign-out")});
    EXPECT_EQ(signOut.exitCode, 0);
    EXPECT_EQ(signOut.out.trimmed(), QStringLiteral("Signed out of GitHub"));
    EXPECT_EQ(github({QStringLiteral("status")}).exitCode, 1);

    Keychain(QString::fromLatin1(Keychain::kDefaultService), std::make_shared<FileKeychainBackend>())
        .saveString(QStringLiteral("not a session"), QStringLiteral("github"));
    status = github({QStringLiteral("status")});
    EXPECT_EQ(status.exitCode, 1);
    EXPECT_TRUE(status.out.contains(QStringLiteral("cannot be read"))) << status.out.toStdString();
}

TEST_F(GitHubCliTest, SignInGoesThroughTheBrowserAndTheLoopbackRedirect) {
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("BROWSER"), gitHubTestFile(QStringLiteral("fake-browser.sh")));
    env.insert(QStringLiteral("GITHUB_CLIENT_ID"), QStringLiteral("test-client"));
    env.insert(QStringLiteral("GITHUB_CLIENT_SECRET"), QStringLiteral("test-secret"));
    const GitHubProcessRun signIn = runVantrel({QStringLiteral("github"), QStringLiteral("sign-in")}, env);
    ASSERT_EQ(signIn.exitCode, 0) << signIn.err.toStdString();
    EXPECT_EQ(signIn.out.trimmed(), QStringLiteral("Signed in to GitHub as octocat"));
    const QJsonObject authorize = server.last(QStringLiteral("/login/oauth/authorize"));
    const QJsonObject query = authorize.value(QStringLiteral("query")).toObject();
    EXPECT_EQ(query.value(QStringLiteral("client_id")).toString(), QStringLiteral("test-client"));
    EXPECT_TRUE(query.value(QStringLiteral("redirect_uri")).toString().startsWith(QStringLiteral("http://127.0.0.1:")));
    EXPECT_EQ(server.count(QStringLiteral("/login/oauth/access_token")), 1);
    EXPECT_EQ(server.last(QStringLiteral("User")).value(QStringLiteral("authorization")).toString(),
              QStringLiteral("Bearer gho_valid"));

    EXPECT_EQ(github({QStringLiteral("status")}).out.trimmed(), QStringLiteral("Signed in to GitHub as octocat"));
    EXPECT_EQ(github({QStringLiteral("pull-requests"), QStringLiteral("--json")}).exitCode, 0);
}

TEST_F(GitHubCliTest, SignInKeepsTheSessionInTheDesktopsSecretService) {
    if (!desktopRequired()) GTEST_SKIP() << "needs the Secret Service of scripts/test-session";
    QProcessEnvironment env = environment();
    env.remove(QStringLiteral("VANTREL_KEYRING"));
    env.insert(QStringLiteral("BROWSER"), gitHubTestFile(QStringLiteral("fake-browser.sh")));
    env.insert(QStringLiteral("GITHUB_CLIENT_ID"), QStringLiteral("test-client"));
    env.insert(QStringLiteral("GITHUB_CLIENT_SECRET"), QStringLiteral("test-secret"));
    const GitHubProcessRun signIn = runVantrel({QStringLiteral("github"), QStringLiteral("sign-in")}, env);
    ASSERT_EQ(signIn.exitCode, 0) << signIn.err.toStdString();
    const GitHubProcessRun stored = runProcess(QStringLiteral("secret-tool"),
                                               {QStringLiteral("lookup"), QStringLiteral("service"), QStringLiteral("vantrel"),
                                                QStringLiteral("account"), QStringLiteral("github")});
    EXPECT_EQ(stored.exitCode, 0) << stored.err.toStdString();
    const QJsonObject session = QJsonDocument::fromJson(stored.out.toUtf8()).object();
    EXPECT_EQ(session.value(QStringLiteral("credentials")).toObject().value(QStringLiteral("access_token")).toString(),
              QStringLiteral("gho_valid"))
        << stored.out.toStdString();
    EXPECT_EQ(runVantrel({QStringLiteral("github"), QStringLiteral("sign-out")}, env).exitCode, 0);
    EXPECT_NE(runProcess(QStringLiteral("secret-tool"), {QStringLiteral("lookup"), QStringLiteral("service"),
                                                         QStringLiteral("vantrel"), QStringLiteral("account"),
                                                         QStringLiteral("github")})
                  .exitCode,
              0);
}

TEST_F(GitHubCliTest, SignInWithoutAClientIdNamesTheVariable) {
    QProcessEnvironment env = environment();
    env.remove(QStringLiteral("GITHUB_CLIENT_ID"));
    env.remove(QStringLiteral("GITHUB_CLIENT_SECRET"));
    const GitHubProcessRun signIn = runVantrel({QStringLiteral("github"), QStringLiteral("sign-in")}, env);
    EXPECT_EQ(signIn.exitCode, 1);
    EXPECT_TRUE(signIn.err.contains(QStringLiteral("GITHUB_CLIENT_ID"))) << signIn.err.toStdString();
    const GitHubProcessRun withCode =
        runVantrel({QStringLiteral("github"), QStringLiteral("sign-in"), QStringLiteral("--device")}, env);
    EXPECT_EQ(withCode.exitCode, 1);
    EXPECT_TRUE(withCode.err.contains(QStringLiteral("GITHUB_CLIENT_ID"))) << withCode.err.toStdString();
    EXPECT_EQ(server.requests().size(), 0);
}

TEST_F(GitHubCliTest, ARedirectCarryingAnotherSignInsStateIsRefused) {
    const GitHubProcessRun signIn =
        runVantrel({QStringLiteral("github"), QStringLiteral("sign-in")}, signInEnvironment(QStringLiteral("fake-browser-wrong-state.sh")));
    EXPECT_EQ(signIn.exitCode, 1);
    EXPECT_TRUE(signIn.err.contains(QStringLiteral("Signing in to GitHub failed: State from redirect doesn't match state from request")))
        << signIn.err.toStdString();
    EXPECT_EQ(server.count(QStringLiteral("/login/oauth/authorize")), 1);
    EXPECT_EQ(server.count(QStringLiteral("/login/oauth/access_token")), 0);
    EXPECT_FALSE(storedSession().has_value());
    EXPECT_EQ(github({QStringLiteral("status")}).exitCode, 1);
}

TEST_F(GitHubCliTest, TheTokenEndpointsErrorDescriptionIsShown) {
    // GitHub answers a bad client with 200 and an error body; other services with 400.
    for (const int status : {200, 400}) {
        SCOPED_TRACE(status);
        ASSERT_TRUE(server.command({{"oauthError", QJsonObject{{"error", "incorrect_client_credentials"},
                                                               {"error_description", "The client_id and/or client_secret passed are incorrect."},
                                                               {"status", status}}}}));
        const GitHubProcessRun signIn = runVantrel({QStringLiteral("github"), QStringLiteral("sign-in")}, signInEnvironment());
        EXPECT_EQ(signIn.exitCode, 1);
        EXPECT_TRUE(signIn.err.contains(
            QStringLiteral("Signing in to GitHub failed: The client_id and/or client_secret passed are incorrect.")))
            << signIn.err.toStdString();
        EXPECT_FALSE(storedSession().has_value());
    }
    EXPECT_EQ(server.count(QStringLiteral("User")), 0);
}

// MARK: Sign-in with a code (the device flow of RFC 8628)

TEST_F(GitHubCliTest, SignInWithACodeWaitsForTheApprovalAndKeepsTheSession) {
    ASSERT_TRUE(server.command({{"device", QJsonObject{{"pending", 2}}}}));
    const GitHubProcessRun signIn =
        runVantrel({QStringLiteral("github"), QStringLiteral("sign-in"), QStringLiteral("--device")}, signInEnvironment());
    ASSERT_EQ(signIn.exitCode, 0) << signIn.err.toStdString();
    const QStringList lines = signIn.out.trimmed().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2) << signIn.out.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("Open %1/login/device and enter the code WDJB-MJHT").arg(server.url().toString()));
    EXPECT_EQ(lines[1], QStringLiteral("Signed in to GitHub as octocat"));

    const QJsonObject asked = server.last(QStringLiteral("/login/device/code")).value(QStringLiteral("form")).toObject();
    EXPECT_EQ(asked.value(QStringLiteral("client_id")).toString(), QStringLiteral("test-client"));
    EXPECT_EQ(asked.value(QStringLiteral("scope")).toString(), github::GitHubAPI::oAuthScope);
    const QList<QJsonObject> polls = devicePolls();
    ASSERT_EQ(polls.size(), 3);  // pending, pending, approved
    for (const QJsonObject& poll : polls) EXPECT_FALSE(poll.value(QStringLiteral("early")).toBool());

    const std::optional<QJsonObject> session = storedSession();
    ASSERT_TRUE(session.has_value());
    EXPECT_EQ(session->value(QStringLiteral("credentials")).toObject().value(QStringLiteral("access_token")).toString(),
              QStringLiteral("gho_valid"));
    EXPECT_EQ(session->value(QStringLiteral("user")).toObject().value(QStringLiteral("custom")).toObject()
                  .value(QStringLiteral("login")).toString(),
              QStringLiteral("octocat"));
    EXPECT_EQ(github({QStringLiteral("status")}).out.trimmed(), QStringLiteral("Signed in to GitHub as octocat"));
}

TEST_F(GitHubCliTest, SignInWithACodeWaitsFiveSecondsLongerAfterASlowDown) {
    ASSERT_TRUE(server.command({{"device", QJsonObject{{"pending", 0}, {"slowDown", 1}}}}));
    const GitHubProcessRun signIn =
        runVantrel({QStringLiteral("github"), QStringLiteral("sign-in"), QStringLiteral("--device")}, signInEnvironment());
    ASSERT_EQ(signIn.exitCode, 0) << signIn.err.toStdString();
    const QList<QJsonObject> polls = devicePolls();
    ASSERT_EQ(polls.size(), 2);  // slowed down, approved
    EXPECT_EQ(polls[1].value(QStringLiteral("required")).toInt(), 6000);
    EXPECT_GE(polls[1].value(QStringLiteral("waited")).toInt(), 6000 - 50);
    for (const QJsonObject& poll : polls) EXPECT_FALSE(poll.value(QStringLiteral("early")).toBool());
    EXPECT_TRUE(storedSession().has_value());
}

TEST_F(GitHubCliTest, ADeniedOrExpiredCodeShowsGitHubsReasonAndKeepsNothing) {
    const std::pair<const char*, const char*> outcomes[] = {
        {"access_denied", "The authorization request was denied."},
        {"expired_token", "The device_code has expired. Please start the sign-in again."}};
    for (const auto& [outcome, description] : outcomes) {
        SCOPED_TRACE(outcome);
        ASSERT_TRUE(server.command({{"device", QJsonObject{{"pending", 0}, {"outcome", outcome}}}}));
        const GitHubProcessRun signIn =
            runVantrel({QStringLiteral("github"), QStringLiteral("sign-in"), QStringLiteral("--device")}, signInEnvironment());
        EXPECT_EQ(signIn.exitCode, 1);
        EXPECT_TRUE(signIn.err.contains(QStringLiteral("Signing in to GitHub failed: ") + QLatin1String(description)))
            << signIn.err.toStdString();
        EXPECT_FALSE(storedSession().has_value());
    }
    EXPECT_EQ(devicePolls().size(), 2);
    EXPECT_EQ(github({QStringLiteral("status")}).exitCode, 1);
}

TEST_F(GitHubCliTest, ACodeThatRunsOutBeforeTheFirstPollEndsTheSignIn) {
    ASSERT_TRUE(server.command({{"device", QJsonObject{{"interval", 2}, {"expiresIn", 1}}}}));
    const GitHubProcessRun signIn =
        runVantrel({QStringLiteral("github"), QStringLiteral("sign-in"), QStringLiteral("--device")}, signInEnvironment());
    EXPECT_EQ(signIn.exitCode, 1);
    EXPECT_TRUE(signIn.err.contains(QStringLiteral("The sign-in code expired: start again"))) << signIn.err.toStdString();
    EXPECT_EQ(server.count(QStringLiteral("/login/device/code")), 1);
    EXPECT_EQ(devicePolls().size(), 0);
    EXPECT_FALSE(storedSession().has_value());
}

// MARK: GitHub out of reach

TEST_F(GitHubCliTest, AnUnreachableGitHubSaysWhyAndPrintsNoList) {
    storeSession();
    QTcpServer reserved;
    ASSERT_TRUE(reserved.listen(QHostAddress::LocalHost, 0));
    const QString closedPort = QString::number(reserved.serverPort());
    reserved.close();  // nothing listens there any more
    const struct {
        QString apiURL;
        QString said;
    } cases[] = {
        {QStringLiteral("http://127.0.0.1:") + closedPort, QStringLiteral("'127.0.0.1' refused the connection")},
        {QStringLiteral("http://api.github-test.invalid"), QStringLiteral("Could not find the server: 'api.github-test.invalid'")},
        // The local server speaks plain HTTP: the TLS handshake fails.
        {QStringLiteral("https://127.0.0.1:%1").arg(server.port()),
         QStringLiteral("Could not make a secure connection to '127.0.0.1'")},
    };
    for (const auto& failing : cases) {
        SCOPED_TRACE(failing.apiURL.toStdString());
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("GITHUB_API_URL"), failing.apiURL);
        const GitHubProcessRun run = runVantrel({QStringLiteral("github"), QStringLiteral("notifications"), QStringLiteral("--json")}, env);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
        EXPECT_TRUE(run.err.contains(failing.said)) << run.err.toStdString();
    }
    // Nothing was answered: the stored session is untouched.
    EXPECT_TRUE(storedSession().has_value());
    EXPECT_EQ(server.count(QStringLiteral("/notifications")), 0);
}

TEST_F(GitHubCliTest, AnHtmlErrorPageOrACutAnswerFailsWithoutAList) {
    storeSession();
    ASSERT_TRUE(server.command({{"fail", QJsonObject{{"status", 500}, {"contentType", "text/html"},
                                                     {"body", "<html><body><h1>500 Internal Server Error</h1></body></html>"}}}}));
    const GitHubProcessRun failed = github({QStringLiteral("pull-requests"), QStringLiteral("--json")});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_TRUE(failed.out.isEmpty()) << failed.out.toStdString();
    EXPECT_TRUE(failed.err.contains(QStringLiteral("500"))) << failed.err.toStdString();

    ASSERT_TRUE(server.command({{"truncate", QJsonObject{{"count", 1}}}}));
    const GitHubProcessRun cut = github({QStringLiteral("notifications"), QStringLiteral("--json")});
    EXPECT_EQ(cut.exitCode, 1);
    EXPECT_TRUE(cut.out.isEmpty()) << cut.out.toStdString();
    EXPECT_FALSE(cut.err.isEmpty());

    // A later answer that is whole is listed again.
    EXPECT_EQ(github({QStringLiteral("notifications"), QStringLiteral("--json")}).exitCode, 0);
}

TEST_F(GitHubCliTest, ARefusedSessionSendsTheUserToSignInOnce) {
    storeSession(QStringLiteral("gho_revoked"));
    const GitHubProcessRun refused = github({QStringLiteral("pull-requests")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("vantrel github sign-in"))) << refused.err.toStdString();
    EXPECT_EQ(server.count(QStringLiteral("SearchPullRequests")), 1);
    const GitHubProcessRun status = github({QStringLiteral("status")});
    EXPECT_EQ(status.exitCode, 1) << status.out.toStdString();
    EXPECT_EQ(github({QStringLiteral("pull-requests")}).exitCode, 1);
    // Without a session nothing more is sent.
    EXPECT_EQ(server.count(QStringLiteral("SearchPullRequests")), 1);
}

TEST_F(GitHubCliTest, ARateLimitIsWaitedOutWhenGitHubSaysHowLong) {
    storeSession();
    ASSERT_TRUE(server.command({{"rateLimit", QJsonObject{{"status", 429}, {"retryAfter", 1}}}}));
    const GitHubProcessRun limited = github({QStringLiteral("repositories"), QStringLiteral("--json")});
    EXPECT_EQ(limited.exitCode, 0) << limited.err.toStdString();
    EXPECT_EQ(server.count(QStringLiteral("SearchRepositories")), 2);

    ASSERT_TRUE(server.command({{"rateLimit", QJsonObject{{"status", 403}, {"retryAfter", 3600}}}}));
    const GitHubProcessRun tooLong = github({QStringLiteral("notifications")});
    EXPECT_EQ(tooLong.exitCode, 1);
    EXPECT_FALSE(tooLong.err.isEmpty());
}

}  // namespace
}  // namespace vantrel::test
