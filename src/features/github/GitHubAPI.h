#pragma once

#include "features/github/GitHubModels.h"
#include "features/github/GitHubRequests.h"
#include "net/APIResource.h"
#include "net/OAuth.h"

#include <QObject>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vantrel::github {

// The pull-request list: the open items of each group, then the recently
// closed ones of every group together (each pull request once).
struct PullRequestGroups {
    struct Group {
        SearchPullRequests::Group group;
        std::vector<FoundPullRequest> items;
    };
    std::vector<Group> groups;

    static PullRequestGroups fromData(const QJsonObject& data);
    QJsonArray toJson() const;
    // Changes every copy of the pull request; false when the list has none.
    bool update(const QString& nodeId, const std::function<void(FoundPullRequest&)>& change);
};

// An issue list in named groups ("Open", "Closed" of the created issues;
// "Assigned", "Mentioned" of the open ones).
struct IssueGroups {
    struct Group {
        QString title;
        std::vector<FoundIssue> items;
    };
    std::vector<Group> groups;

    // The aliases of the data, in order, with their titles.
    static IssueGroups fromData(const QJsonObject& data, const std::vector<std::pair<QString, QString>>& aliases);
    QJsonArray toJson() const;
    bool update(const QString& nodeId, const std::function<void(FoundIssue&)>& change);
};

// The one client of GitHub's web API: GraphQL documents and a few REST calls
// through the shared HTTP client, signed in with the OAuth controller, each
// list a cached API resource (the cached answer first, then the network's)
// selected by its state. Lives on the thread of the HTTP client.
class GitHubAPI : public QObject {
    Q_OBJECT

public:
    // GITHUB_API_URL, or https://api.github.com. GitHub Enterprise answers
    // REST below ".../api/v3" and GraphQL at ".../api/graphql".
    static QUrl apiBaseURL();
    static QUrl graphQLURL(const QUrl& apiBase);
    // The web address sign-in goes to: GITHUB_SERVER_URL, else github.com for
    // the public API and the API's own host for any other.
    static QUrl webBaseURL(const QUrl& apiBase);
    // The cache realm and keychain account of the integration.
    inline static const QString cachingRealm = QStringLiteral("github");
    inline static const QString keychainAccount = QStringLiteral("github");
    inline static const QString oAuthScope = QStringLiteral("repo read:org read:user user:email notifications workflow");
    // How long a cached list is shown before the network's answer.
    static constexpr int cacheExpirySeconds = 7 * 24 * 3600;

    // The sign-in settings of the integration (the user is read with the
    // `User` query).
    static OAuthConfig makeOAuthConfig(HTTPClient& http, const QUrl& apiBase);

    GitHubAPI(HTTPClient& http, std::shared_ptr<OAuthController> authController, QUrl apiBase,
              QObject* parent = nullptr);
    ~GitHubAPI() override;

    OAuthController& authController() const { return *m_authController; }
    HTTPClient& http() const { return *m_http; }
    const QUrl& apiBase() const { return m_apiBase; }
    // The signed-in user's login (empty when nobody is signed in).
    QString githubUsername() const;

    // MARK: Lists and their selection state

    RequestFilter pullRequestsFilter;
    std::optional<Repository> pullRequestsRepository;
    std::optional<Repository> createdIssuesRepository;
    std::optional<Repository> openIssuesRepository;
    RequestFilter issuesFilter;
    RepositoryFilter repositoryFilter;
    std::optional<Repository> workflowRunsRepository;
    std::optional<Repository> notificationsRepository;

    std::shared_ptr<APIResource<std::vector<FoundPullRequest>>> filteredPullRequests;
    std::shared_ptr<APIResource<PullRequestGroups>> pullRequests;
    std::shared_ptr<APIResource<IssueGroups>> createdIssues;
    std::shared_ptr<APIResource<IssueGroups>> openIssues;
    std::shared_ptr<APIResource<std::vector<FoundIssue>>> filteredIssues;
    std::shared_ptr<APIResource<std::vector<Repository>>> filteredRepositories;
    std::shared_ptr<APIResource<std::vector<WorkflowRun>>> workflowRuns;
    std::shared_ptr<APIResource<std::vector<Notification>>> notifications;
    std::shared_ptr<APIResource<std::vector<Organization>>> organizations;

    // MARK: Details

    std::shared_ptr<APIResource<PullRequestDetails>> pullRequestDetails(const QString& nodeId);
    std::shared_ptr<APIResource<IssueDetails>> issueDetails(const QString& nodeId);

    // MARK: Writes. Each applies its change to the lists at once and undoes it
    // when GitHub refuses; the completion gets the error's message, or nothing.

    using Completion = std::function<void(const std::optional<QString>& error)>;
    void mergePullRequest(const QString& nodeId, MergePullRequestMethod method, Completion completion);
    void closePullRequest(const QString& nodeId, Completion completion);
    void reopenPullRequest(const QString& nodeId, Completion completion);
    void closeIssue(const QString& nodeId, Completion completion);
    void reopenIssue(const QString& nodeId, Completion completion);
    void createIssue(const CreateIssue& request, std::function<void(const Result<FoundIssue>&)> completion);
    void createPullRequest(const CreatePullRequest& request, const InitPullRequest& details,
                           std::function<void(const Result<NewPullRequest>&)> completion);
    void dataForRepository(const Repository& repository,
                           std::function<void(const Result<DataForRepository>&)> completion);
    void workflowRunAction(const WorkflowRunAction& action, Completion completion);

    // MARK: Requests as the client sends them

    HTTPRequest httpRequest(const GraphQLRequest& request) const;
    HTTPRequest httpRequest(const RestRequest& request) const;
    // A GraphQL answer's data, or the failure its errors make.
    static vantrel::Result<QJsonObject> decodeGraphQL(const QByteArray& body);

private:
    template <typename T>
    std::shared_ptr<APIResource<T>> makeResource(const QString& tag, std::function<std::optional<HTTPRequest>()> request,
                                                 std::function<T(const QByteArray&)> decode);
    void changeState(const ChangeState& request, Completion completion);
    template <typename T>
    void send(const HTTPRequest& request, std::function<T(const QByteArray&)> decode,
              std::vector<OptimisticUpdate> updates, std::function<void(const vantrel::Result<T>&)> completion);

    HTTPClient* m_http;
    std::shared_ptr<OAuthController> m_authController;
    QUrl m_apiBase;
};

}  // namespace vantrel::github
