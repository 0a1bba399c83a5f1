#pragma once

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace vantrel::github {

// MARK: GraphQL enumerations. Each case decodes from and encodes to GitHub's
// value ("SQUASH", "CHANGES_REQUESTED", "MERGEABLE"…); an unknown value
// decodes to nothing.

enum class MergePullRequestMethod { createMergeCommit, squashAndMerge, rebaseAndMerge };
enum class ReviewDecision { changesRequested, approved, reviewRequired };
enum class MergingState { canBeMerged, conflicting, calculating };
enum class IssueState { open, closed };
enum class PullRequestStatus { open, merged, closed };

QString graphQLValue(MergePullRequestMethod value);
QString graphQLValue(ReviewDecision value);
QString graphQLValue(MergingState value);
QString graphQLValue(IssueState value);
QString graphQLValue(PullRequestStatus value);
std::optional<MergePullRequestMethod> mergePullRequestMethodFromGraphQL(const QString& value);
std::optional<ReviewDecision> reviewDecisionFromGraphQL(const QString& value);
std::optional<MergingState> mergingStateFromGraphQL(const QString& value);
std::optional<IssueState> issueStateFromGraphQL(const QString& value);
std::optional<PullRequestStatus> pullRequestStatusFromGraphQL(const QString& value);

// MARK: Records decoded from GitHub's answers. Every fromJson throws
// VantrelError ("Cannot decode GitHub TYPE: missing 'field'") when a field the
// record needs is missing or of the wrong type; toJson is the form
// `vantrel github … --json` prints.

struct Owner {
    QString githubUsername;
    QString avatarURL;
};

struct Actor {
    QString nodeId;
    QString githubUsername;
    std::optional<QString> name;
    QString avatarURL;

    static Actor fromJson(const QJsonObject& object);
    QJsonObject toJson() const;
    // The name when there is one, else the login.
    QString displayName() const { return name && !name->isEmpty() ? *name : githubUsername; }
};

struct Ref {
    QString nodeId;
    QString name;
    std::optional<QString> commit;

    static Ref fromJson(const QJsonObject& object);
    QJsonObject toJson() const;
};

struct Label {
    QString nodeId;
    QString name;
    QString hexColor;
    bool isDefault = false;

    static Label fromJson(const QJsonObject& object);
    QJsonObject toJson() const;
};

struct Milestone {
    QString nodeId;
    QString title;
    int number = 0;

    static Milestone fromJson(const QJsonObject& object);
    QJsonObject toJson() const;
};

struct Project {
    qint64 id = 0;
    QString nodeId;
    QString name;
    int number = 0;

    static Project fromJson(const QJsonObject& object);
};

struct User {
    qint64 id = 0;
    QString nodeId;
    QString avatarUrl;
    std::optional<QString> name;
    QString email;
    QString githubUsername;
    bool isViewer = false;

    static User fromJson(const QJsonObject& object);
    QJsonObject toJson() const;
};

struct Repository {
    std::optional<qint64> id;
    QString nodeId;
    Owner owner;
    QString name;
    QString url;
    std::optional<QDateTime> date;
    bool hasIssuesEnabled = false;
    bool isArchived = false;
    bool isDisabled = false;
    bool isLocked = false;
    bool mergeCommitAllowed = false;
    bool squashMergeAllowed = false;
    bool rebaseMergeAllowed = false;
    bool deleteBranchOnMerge = false;
    std::optional<bool> isStarred;
    std::optional<int> numberOfStars;
    std::optional<QString> primaryLanguage;

    static Repository fromJson(const QJsonObject& object);
    QJsonObject toJson() const;
    // "owner/name".
    QString fullName() const { return owner.githubUsername + QLatin1Char('/') + name; }
};

struct FoundPullRequest {
    QString nodeId;
    QString permalink;
    QString title;
    int number = 0;
    bool isDraft = false;
    bool isMerged = false;
    bool isClosed = false;
    std::optional<Ref> fromBranch;
    MergingState mergingState = MergingState::calculating;
    Actor author;
    QDateTime createdDate;
    QDateTime updatedDate;
    std::optional<ReviewDecision> reviewDecision;
    Repository repository;
    std::optional<Milestone> milestone;
    int commits = 0;
    int reviewRequests = 0;
    int comments = 0;
    int reviewThreads = 0;

    static FoundPullRequest fromJson(const QJsonObject& object);
    QJsonObject toJson() const;
    PullRequestStatus status() const {
        return isMerged ? PullRequestStatus::merged : isClosed ? PullRequestStatus::closed : PullRequestStatus::open;
    }
};

struct FoundIssue {
    QString nodeId;
    QString url;
    QString title;
    int number = 0;
    IssueState state = IssueState::open;
    Actor author;
    QDateTime createdDate;
    QDateTime updatedDate;
    Repository repository;
    std::optional<Milestone> milestone;
    int comments = 0;
    std::vector<Label> labels;
    std::vector<Actor> assignees;

    static FoundIssue fromJson(const QJsonObject& object);
    QJsonObject toJson() const;
};

struct Review {
    QString nodeId;
    QString state;
    std::optional<Actor> author;
};

struct PullRequestDetails {
    QString nodeId;
    QString permalink;
    int number = 0;
    QString title;
    QString body;
    int commits = 0;
    bool isDraft = false;
    std::optional<ReviewDecision> reviewDecision;
    bool isMerged = false;
    bool isClosed = false;
    QString headRefName;
    std::optional<Ref> fromBranch;
    MergingState mergingState = MergingState::calculating;
    std::optional<Ref> into;
    QString baseRefName;
    int additions = 0;
    int deletions = 0;
    QDateTime createdDate;
    QDateTime updatedDate;
    Actor author;
    Repository repository;
    std::optional<Milestone> milestone;
    std::vector<Label> labels;
    // The requested reviewers' names (users by login, teams by name).
    QStringList reviewRequests;
    std::vector<Review> reviews;

    static PullRequestDetails fromJson(const QJsonObject& object);
    PullRequestStatus status() const {
        return isMerged ? PullRequestStatus::merged : isClosed ? PullRequestStatus::closed : PullRequestStatus::open;
    }
    // The page the detail view shows.
    QString markdown() const;
};

struct IssueComment {
    Actor author;
    QString body;
    QDateTime createdDate;
};

struct IssueDetails {
    FoundIssue issue;
    QString body;
    int numberOfComments = 0;
    std::vector<IssueComment> comments;

    static IssueDetails fromJson(const QJsonObject& object);
    QString markdown() const;
};

struct IssueTemplate {
    QString about;
    QString body;
    QString name;
    QString title;
};

struct DataForRepository {
    QString repositoryNodeId;
    std::optional<Ref> defaultBranchRef;
    std::vector<Ref> refs;
    std::vector<Actor> collaborators;
    std::vector<Label> labels;
    std::vector<Project> projects;
    std::vector<Milestone> milestones;
    // The repository's pull-request and issue templates (upper- or lower-case
    // file names, whichever exists).
    std::optional<QString> pullRequestTemplate;
    std::optional<QString> issueTemplate;
    std::vector<IssueTemplate> issueTemplates;

    static DataForRepository fromJson(const QJsonObject& repository);
};

struct Organization {
    QString nodeId;
    QString login;
    std::optional<QString> name;
    QString url;
    QString avatarURL;

    static Organization fromJson(const QJsonObject& object);
    QJsonObject toJson() const;
};

struct NewPullRequest {
    QString nodeId;
    QString permalink;
    int number = 0;
    QString title;

    static NewPullRequest fromJson(const QJsonObject& object);
};

// MARK: REST records.

struct WorkflowRun {
    enum class Status { queued, inProgress, completed };
    enum class Conclusion { success, failure, neutral, cancelled, skipped, timedOut, actionRequired, startupFailure };

    qint64 id = 0;
    qint64 workflowId = 0;
    QString nodeId;
    QString name;
    std::optional<QString> headBranch;
    QString headSha;
    int runNumber = 0;
    QString htmlURL;
    // The head commit's message (first line), when the answer has one.
    std::optional<QString> headCommitMessage;
    std::optional<Status> status;
    std::optional<Conclusion> conclusion;
    // "owner/name" of the run's repository.
    QString repositoryFullName;
    QDateTime createdAt;
    QDateTime updatedAt;

    static WorkflowRun fromJson(const QJsonObject& object);
    QJsonObject toJson() const;
};

QString rawValue(WorkflowRun::Status status);
QString rawValue(WorkflowRun::Conclusion conclusion);

struct Notification {
    enum class Reason {
        assign,
        author,
        comment,
        invitation,
        manual,
        mention,
        reviewRequested,
        securityAlert,
        stateChange,
        subscribed,
        teamMention,
        continuousIntegrationActivity,
    };

    QString id;
    QString repositoryURL;
    QString repositoryName;
    QString repositoryOwner;
    QString title;
    std::optional<QString> subjectURL;
    std::optional<QString> latestCommentURL;
    QString type;
    // Nothing for a reason this version does not know.
    std::optional<Reason> reason;
    QString reasonText;
    bool unread = false;
    QDateTime updatedAt;
    std::optional<QDateTime> lastReadAt;
    QString url;
    QString subscriptionURL;

    static Notification fromJson(const QJsonObject& object);
    QJsonObject toJson() const;
    // The page on github.com the notification is about.
    QString htmlURL() const;
};

std::optional<Notification::Reason> notificationReasonFromRaw(const QString& raw);

// MARK: GraphQL answers.

struct GraphQLError {
    QString message;
    std::optional<QString> type;
    // Each element a text or an integer.
    QJsonArray path;
    struct Location {
        int line = 0;
        int column = 0;
    };
    std::vector<Location> locations;
};

struct GraphQLResult {
    std::optional<QJsonObject> data;
    std::vector<GraphQLError> errors;

    // A body that is not a JSON object fails with
    // "The GitHub API answered with a body that is not JSON".
    static GraphQLResult decode(const QByteArray& body);
    // The data, or a VantrelError with the errors' messages
    // ("GitHub answered with errors: …") when there is no data.
    QJsonObject dataOrThrow() const;
};

}  // namespace vantrel::github
