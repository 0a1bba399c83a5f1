#pragma once

#include "features/github/GitHubModels.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace vantrel::github {

// How a request travels: the GraphQL kinds carry a document (sent to GitHub
// as a POST with a JSON body, whichever of the two a request is marked with);
// the REST kinds a path below the REST base.
enum class RequestMethod { get, post, put, delete_, patch, getGraphQL, postGraphQL };

// The selection state of the filtered lists.
struct RequestFilter {
    std::optional<QString> searchText;
    std::optional<QDateTime> sinceDate;
    bool operator==(const RequestFilter&) const = default;
};

struct RepositoryFilter {
    std::optional<QString> searchText;
    std::optional<QStringList> githubUsernames;
    std::optional<qint64> numberOfItems;
    bool includeForks = false;
    bool operator==(const RepositoryFilter&) const = default;
};

// A GraphQL request ready to send: the operation's document and its variables.
struct GraphQLRequest {
    QString operationName;
    QString document;
    QJsonObject variables;
    RequestMethod method = RequestMethod::postGraphQL;

    // {"query": document} and, only when there are variables, "variables".
    QJsonObject parameters() const;
};

// A REST request: a path below the REST base and its query parameters.
struct RestRequest {
    QString path;
    QJsonObject query;
    RequestMethod method = RequestMethod::get;
};

// MARK: Search-query texts

// "yyyy-MM-dd" in en_US_POSIX, of the day `numberOfDays` before now (86400 s a day).
QString searchDate(int numberOfDays, const QDateTime& now = QDateTime::currentDateTime());
QString searchDate(const QDateTime& date);
// KEY:LOGIN, or empty when either is empty.
QString qualifier(const QString& key, const QString& login);
// " repo:OWNER/NAME", or empty without a repository.
QString repositoryPart(const std::optional<Repository>& repository);

// MARK: The requests of the lists, details and writes.

struct SearchPullRequests {
    int numberOfOpenItems = 20;
    int numberOfClosedItems = 20;
    std::optional<QString> githubUsername;
    int numberOfDays = 14;
    QString query;
    std::optional<Repository> repository;
    int avatarSize = 64;
    static constexpr RequestMethod method = RequestMethod::getGraphQL;

    // The eight texts, by variable name.
    QJsonObject queries(const QDateTime& now = QDateTime::currentDateTime()) const;
    GraphQLRequest request(const QDateTime& now = QDateTime::currentDateTime()) const;

    // The groups the pull-request list shows, in order; each is the open and
    // closed results of one qualifier.
    enum class Group { created, assigned, mentioned, reviewRequests, closed };
};

QString title(SearchPullRequests::Group group);

struct SearchCreatedIssues {
    int numberOfOpenItems = 20;
    int numberOfClosedItems = 20;
    std::optional<QString> githubUsername;
    int numberOfDays = 60;
    std::optional<Repository> repository;
    int avatarSize = 64;
    static constexpr RequestMethod method = RequestMethod::getGraphQL;

    QJsonObject queries(const QDateTime& now = QDateTime::currentDateTime()) const;
    GraphQLRequest request(const QDateTime& now = QDateTime::currentDateTime()) const;
};

struct SearchOpenIssues {
    int numberOfOpenItems = 20;
    std::optional<QString> githubUsername;
    int numberOfDays = 60;
    std::optional<Repository> repository;
    int avatarSize = 64;
    static constexpr RequestMethod method = RequestMethod::getGraphQL;

    QJsonObject queries(const QDateTime& now = QDateTime::currentDateTime()) const;
    GraphQLRequest request(const QDateTime& now = QDateTime::currentDateTime()) const;
};

// FilterPullRequests (isIssues false) and FilterIssues (true).
struct FilterRequests {
    bool isIssues = false;
    int numberOfItems = 30;
    std::optional<QString> githubUsername;
    std::optional<RequestFilter> filter;
    int avatarSize = 64;
    static constexpr RequestMethod method = RequestMethod::postGraphQL;

    QString query() const;
    GraphQLRequest request() const;
};

struct SearchRepositories {
    QString query;
    int numberOfItems = 30;
    int avatarSize = 64;
    static constexpr RequestMethod method = RequestMethod::postGraphQL;

    // The search text of a filter: the user's words, "user:" for each login
    // (the signed-in user's when none is given), "fork:true" when forks count,
    // sorted by the last push.
    static QString queryText(const RepositoryFilter& filter, const QString& login);
    GraphQLRequest request() const;
};

struct SearchOrganizations {
    int numberOfItems = 50;
    GraphQLRequest request() const;
};

struct UserRequest {
    GraphQLRequest request() const;
};

// PullRequestDetails and IssueDetails.
struct DetailsRequest {
    bool isIssue = false;
    QString nodeId;
    int numberOfItems = 20;
    int avatarSize = 64;
    GraphQLRequest request() const;
};

struct DataForRepositoryRequest {
    Repository repository;
    int number = 50;
    int numberOfLabels = 100;
    GraphQLRequest request() const;
};

struct CreateIssue {
    Repository repository;
    QString title;
    QString markdownDescription;
    QStringList assigneeIds;
    QStringList labelIds;
    QStringList projectIds;
    std::optional<Milestone> milestone;
    int avatarSize = 64;
    GraphQLRequest request() const;
};

struct CreatePullRequest {
    Repository repository;
    Ref from;
    Ref to;
    QString title;
    QString markdownDescription;
    bool isDraft = false;
    GraphQLRequest request() const;
};

struct InitPullRequest {
    NewPullRequest pullRequest;
    QStringList reviewers;
    QStringList assignees;
    QStringList labels;
    QStringList projects;
    std::optional<Milestone> milestone;
    int avatarSize = 64;
    GraphQLRequest request() const;
};

struct MergePullRequest {
    QString nodeId;
    MergePullRequestMethod mergePullRequestMethod = MergePullRequestMethod::createMergeCommit;
    GraphQLRequest request() const;
};

// ClosePullRequest, ReopenPullRequest, CloseIssue, ReopenIssue.
struct ChangeState {
    enum class Kind { closePullRequest, reopenPullRequest, closeIssue, reopenIssue };
    Kind kind = Kind::closePullRequest;
    QString nodeId;
    GraphQLRequest request() const;
};

struct Notifications {
    std::optional<Repository> repository;
    int numberOfItems = 50;
    RestRequest request() const;
};

struct WorkflowRuns {
    std::optional<Repository> repository;
    int numberOfItems = 30;
    // Without a repository there is no list to ask for: throws VantrelError.
    RestRequest request() const;
};

// RerunWorkflow, CancelWorkflowRun and DeleteWorkflowRun.
struct WorkflowRunAction {
    enum class Kind { rerun, cancel, remove };
    Kind kind = Kind::rerun;
    QString owner;
    QString repo;
    qint64 runId = 0;
    RestRequest request() const;
};

}  // namespace vantrel::github
