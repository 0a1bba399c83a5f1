// Merging, closing and reopening through GitHubAPI against the local GitHub
// API: the lists show the change at once, keep it when GitHub agrees and
// take it back when GitHub refuses.
#include "GitHubApiServer.h"

#include "data/FileKeychainBackend.h"
#include "data/Keychain.h"
#include "features/github/GitHubServices.h"

namespace vantrel::test {
namespace {

using namespace vantrel::github;

class GitHubOptimisticTest : public ::testing::Test {
protected:
    void SetUp() override {
        QString problem;
        ASSERT_TRUE(server.start(&problem)) << problem.toStdString();
        apiURL = std::make_unique<ScopedEnv>("GITHUB_API_URL", server.url().toString().toUtf8());
        auto backend = std::make_shared<FileKeychainBackend>();
        OAuthSession session;
        session.credentials.accessToken = QStringLiteral("gho_valid");
        session.credentials.tokenType = QStringLiteral("bearer");
        session.credentials.createdAt = QDateTime::currentDateTimeUtc();
        OAuthUser user;
        user.custom = std::map<QString, QString>{{QStringLiteral("login"), QStringLiteral("octocat")}};
        session.user = user;
        session.version = QStringLiteral("1");
        Keychain(QString::fromLatin1(Keychain::kDefaultService), backend)
            .saveObject(QJsonDocument(session.toJson()), QStringLiteral("github"));
        services = GitHubServices::make(backend);
        ASSERT_TRUE(services->auth().isAuthorized());
    }

    // Loads a list from the network and answers its value.
    template <typename T>
    T load(const std::shared_ptr<APIResource<T>>& resource) {
        QObject context;
        bool arrived = false;
        resource->subscribe(&context, [&](const typename APIResource<T>::Result& result) {
            if (!result.isLocal()) arrived = true;
        });
        resource->refresh(APIRefreshMode::networkOnly);
        EXPECT_TRUE(waitUntil([&] { return arrived; }, 20000));
        EXPECT_TRUE(resource->latestValue().has_value());
        return resource->latestValue().value_or(T{});
    }

    static const FoundPullRequest* find(const PullRequestGroups& groups, const QString& nodeId) {
        for (const auto& group : groups.groups)
            for (const FoundPullRequest& pr : group.items)
                if (pr.nodeId == nodeId) return &pr;
        return nullptr;
    }
    static const FoundIssue* find(const IssueGroups& groups, const QString& nodeId) {
        for (const auto& group : groups.groups)
            for (const FoundIssue& issue : group.items)
                if (issue.nodeId == nodeId) return &issue;
        return nullptr;
    }
    FoundPullRequest shownPullRequest(const QString& nodeId) const {
        const auto& value = services->api().pullRequests->latestValue();
        const FoundPullRequest* pr = value ? find(*value, nodeId) : nullptr;
        EXPECT_TRUE(pr) << nodeId.toStdString();
        return pr ? *pr : FoundPullRequest{};
    }

    ScopedXdgHome home;
    GitHubApiServer server;
    std::unique_ptr<ScopedEnv> apiURL;
    std::unique_ptr<GitHubServices> services;
};

TEST_F(GitHubOptimisticTest, ClosingShowsAtOnceAndStaysWhenGitHubAgrees) {
    GitHubAPI& api = services->api();
    const PullRequestGroups before = load(api.pullRequests);
    ASSERT_TRUE(find(before, QStringLiteral("PR_1")));
    EXPECT_FALSE(shownPullRequest(QStringLiteral("PR_1")).isClosed);

    ASSERT_TRUE(server.command({{"hold", "ClosePullRequest"}}));
    std::optional<std::optional<QString>> finished;
    api.closePullRequest(QStringLiteral("PR_1"), [&](const std::optional<QString>& error) { finished = error; });
    // Shown closed before GitHub has answered.
    EXPECT_TRUE(shownPullRequest(QStringLiteral("PR_1")).isClosed);
    ASSERT_TRUE(server.waitForRequests(QStringLiteral("ClosePullRequest"), 1));
    EXPECT_FALSE(finished);
    EXPECT_EQ(server.last(QStringLiteral("ClosePullRequest")).value(QStringLiteral("variables")).toObject()
                  .value(QStringLiteral("nodeId")).toString(),
              QStringLiteral("PR_1"));

    ASSERT_TRUE(server.command({{"release", "ClosePullRequest"}}));
    ASSERT_TRUE(waitUntil([&] { return finished.has_value(); }, 20000));
    EXPECT_FALSE(*finished) << finished->value_or(QString()).toStdString();
    EXPECT_TRUE(shownPullRequest(QStringLiteral("PR_1")).isClosed);

    // GitHub agrees: a fresh list has it among the closed ones.
    const PullRequestGroups after = load(api.pullRequests);
    EXPECT_TRUE(find(after, QStringLiteral("PR_1"))->isClosed);

    std::optional<std::optional<QString>> reopened;
    api.reopenPullRequest(QStringLiteral("PR_1"), [&](const std::optional<QString>& error) { reopened = error; });
    EXPECT_FALSE(shownPullRequest(QStringLiteral("PR_1")).isClosed);
    ASSERT_TRUE(waitUntil([&] { return reopened.has_value(); }, 20000));
    EXPECT_FALSE(*reopened);
}

TEST_F(GitHubOptimisticTest, AMergeGitHubRefusesIsTakenBackWithItsReason) {
    GitHubAPI& api = services->api();
    load(api.pullRequests);
    ASSERT_TRUE(server.command({{"hold", "MergePullRequest"}}));
    std::optional<std::optional<QString>> finished;
    api.mergePullRequest(QStringLiteral("PR_2"), MergePullRequestMethod::squashAndMerge,
                         [&](const std::optional<QString>& error) { finished = error; });
    EXPECT_TRUE(shownPullRequest(QStringLiteral("PR_2")).isMerged);
    ASSERT_TRUE(server.waitForRequests(QStringLiteral("MergePullRequest"), 1));
    EXPECT_EQ(server.last(QStringLiteral("MergePullRequest")).value(QStringLiteral("variables")).toObject()
                  .value(QStringLiteral("method")).toString(),
              QStringLiteral("SQUASH"));
    ASSERT_TRUE(server.command({{"release", "MergePullRequest"}}));
    ASSERT_TRUE(waitUntil([&] { return finished.has_value(); }, 20000));
    ASSERT_TRUE(*finished);
    EXPECT_TRUE(finished->value().contains(QStringLiteral("Pull Request is not mergeable"))) << finished->value().toStdString();
    EXPECT_FALSE(shownPullRequest(QStringLiteral("PR_2")).isMerged);
    EXPECT_FALSE(shownPullRequest(QStringLiteral("PR_2")).isClosed);
}

TEST_F(GitHubOptimisticTest, AServerErrorTakesBackAClosedIssue) {
    GitHubAPI& api = services->api();
    const IssueGroups before = load(api.openIssues);
    ASSERT_TRUE(find(before, QStringLiteral("I_10")));
    ASSERT_TRUE(server.command({{"fail", QJsonObject{{"status", 500}, {"contentType", "text/html"},
                                                     {"body", "<html>Internal Server Error</html>"},
                                                     {"operation", "CloseIssue"}}}}));
    std::optional<std::optional<QString>> finished;
    std::vector<IssueState> shown;
    QObject context;
    api.openIssues->subscribe(&context, [&](const APIResource<IssueGroups>::Result& result) {
        if (result.value && find(*result.value, QStringLiteral("I_10")))
            shown.push_back(find(*result.value, QStringLiteral("I_10"))->state);
    });
    api.closeIssue(QStringLiteral("I_10"), [&](const std::optional<QString>& error) { finished = error; });
    ASSERT_TRUE(waitUntil([&] { return finished.has_value(); }, 20000));
    ASSERT_TRUE(*finished);
    EXPECT_EQ(shown, (std::vector<IssueState>{IssueState::closed, IssueState::open}));
    EXPECT_EQ(find(*api.openIssues->latestValue(), QStringLiteral("I_10"))->state, IssueState::open);
}

TEST_F(GitHubOptimisticTest, DetailsCarryTheMarkdownBody) {
    auto details = services->api().pullRequestDetails(QStringLiteral("PR_1"));
    const PullRequestDetails loaded = load(details);
    EXPECT_EQ(loaded.title, QStringLiteral("Add the launch sequence"));
    EXPECT_TRUE(loaded.markdown().contains(QStringLiteral("Adds **the launch sequence**."))) << loaded.markdown().toStdString();
    EXPECT_EQ(loaded.reviewRequests, QStringList{QStringLiteral("hubot")});

    auto missing = services->api().issueDetails(QStringLiteral("I_404"));
    QObject context;
    std::optional<QString> failure;
    missing->subscribe(&context, [&](const APIResource<IssueDetails>::Result& result) {
        if (result.isFailure()) failure = result.error ? result.error->message : QString();
    });
    missing->refresh();
    ASSERT_TRUE(waitUntil([&] { return failure.has_value(); }, 20000));
    EXPECT_TRUE(failure->contains(QStringLiteral("Could not resolve to a node"))) << failure->toStdString();
}

}  // namespace
}  // namespace vantrel::test
