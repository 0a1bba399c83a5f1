#include "features/github/GitHubModels.h"

#include "kit/VantrelError.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <utility>

namespace vantrel::github {

namespace {

// MARK: Enumerations

template <typename E, std::size_t N>
QString valueOf(const std::pair<E, const char*> (&table)[N], E value) {
    for (const auto& [candidate, text] : table)
        if (candidate == value) return QString::fromLatin1(text);
    return {};
}

template <typename E, std::size_t N>
std::optional<E> caseOf(const std::pair<E, const char*> (&table)[N], const QString& text) {
    for (const auto& [candidate, raw] : table)
        if (text == QLatin1String(raw)) return candidate;
    return std::nullopt;
}

const std::pair<MergePullRequestMethod, const char*> kMergeMethods[] = {
    {MergePullRequestMethod::createMergeCommit, "MERGE"},
    {MergePullRequestMethod::squashAndMerge, "SQUASH"},
    {MergePullRequestMethod::rebaseAndMerge, "REBASE"},
};
const std::pair<ReviewDecision, const char*> kReviewDecisions[] = {
    {ReviewDecision::changesRequested, "CHANGES_REQUESTED"},
    {ReviewDecision::approved, "APPROVED"},
    {ReviewDecision::reviewRequired, "REVIEW_REQUIRED"},
};
const std::pair<MergingState, const char*> kMergingStates[] = {
    {MergingState::canBeMerged, "MERGEABLE"},
    {MergingState::conflicting, "CONFLICTING"},
    {MergingState::calculating, "UNKNOWN"},
};
const std::pair<IssueState, const char*> kIssueStates[] = {
    {IssueState::open, "OPEN"},
    {IssueState::closed, "CLOSED"},
};
const std::pair<PullRequestStatus, const char*> kPullRequestStatuses[] = {
    {PullRequestStatus::open, "OPEN"},
    {PullRequestStatus::merged, "MERGED"},
    {PullRequestStatus::closed, "CLOSED"},
};
const std::pair<WorkflowRun::Status, const char*> kRunStatuses[] = {
    {WorkflowRun::Status::queued, "queued"},
    {WorkflowRun::Status::inProgress, "in_progress"},
    {WorkflowRun::Status::completed, "completed"},
};
const std::pair<WorkflowRun::Conclusion, const char*> kRunConclusions[] = {
    {WorkflowRun::Conclusion::success, "success"},
    {WorkflowRun::Conclusion::failure, "failure"},
    {WorkflowRun::Conclusion::neutral, "neutral"},
    {WorkflowRun::Conclusion::cancelled, "cancelled"},
    {WorkflowRun::Conclusion::skipped, "skipped"},
    {WorkflowRun::Conclusion::timedOut, "timed_out"},
    {WorkflowRun::Conclusion::actionRequired, "action_required"},
    {WorkflowRun::Conclusion::startupFailure, "startup_failure"},
};
const std::pair<Notification::Reason, const char*> kReasons[] = {
    {Notification::Reason::assign, "assign"},
    {Notification::Reason::author, "author"},
    {Notification::Reason::comment, "comment"},
    {Notification::Reason::invitation, "invitation"},
    {Notification::Reason::manual, "manual"},
    {Notification::Reason::mention, "mention"},
    {Notification::Reason::reviewRequested, "review_requested"},
    {Notification::Reason::securityAlert, "security_alert"},
    {Notification::Reason::stateChange, "state_change"},
    {Notification::Reason::subscribed, "subscribed"},
    {Notification::Reason::teamMention, "team_mention"},
    {Notification::Reason::continuousIntegrationActivity, "ci_activity"},
};

// MARK: Field readers

[[noreturn]] void missing(const char* type, const QString& field) {
    throw VantrelError(QStringLiteral("Cannot decode GitHub %1: missing '%2'").arg(QLatin1String(type), field));
}

QString text(const QJsonObject& object, const char* type, const QString& key) {
    const QJsonValue value = object.value(key);
    if (!value.isString()) missing(type, key);
    return value.toString();
}

std::optional<QString> optionalText(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (!value.isString()) return std::nullopt;
    return value.toString();
}

qint64 integer(const QJsonObject& object, const char* type, const QString& key) {
    const QJsonValue value = object.value(key);
    if (!value.isDouble()) missing(type, key);
    return value.toInteger();
}

std::optional<qint64> optionalInteger(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (!value.isDouble()) return std::nullopt;
    return value.toInteger();
}

bool boolean(const QJsonObject& object, const char* type, const QString& key) {
    const QJsonValue value = object.value(key);
    if (!value.isBool()) missing(type, key);
    return value.toBool();
}

QJsonObject object(const QJsonObject& parent, const char* type, const QString& key) {
    const QJsonValue value = parent.value(key);
    if (!value.isObject()) missing(type, key);
    return value.toObject();
}

std::optional<QJsonObject> optionalObject(const QJsonObject& parent, const QString& key) {
    const QJsonValue value = parent.value(key);
    if (!value.isObject()) return std::nullopt;
    return value.toObject();
}

QDateTime date(const QJsonObject& object, const char* type, const QString& key) {
    const QDateTime parsed = QDateTime::fromString(text(object, type, key), Qt::ISODate);
    if (!parsed.isValid()) missing(type, key);
    return parsed;
}

std::optional<QDateTime> optionalDate(const QJsonObject& object, const QString& key) {
    const auto raw = optionalText(object, key);
    if (!raw) return std::nullopt;
    const QDateTime parsed = QDateTime::fromString(*raw, Qt::ISODate);
    if (!parsed.isValid()) return std::nullopt;
    return parsed;
}

int totalCount(const QJsonObject& parent, const QString& key) {
    return static_cast<int>(parent.value(key).toObject().value(QStringLiteral("totalCount")).toInteger());
}

// The objects of a connection's "nodes" (null nodes left out).
std::vector<QJsonObject> nodes(const QJsonObject& parent, const QString& key) {
    std::vector<QJsonObject> found;
    for (const QJsonValue& node : parent.value(key).toObject().value(QStringLiteral("nodes")).toArray())
        if (node.isObject() && !node.toObject().isEmpty()) found.push_back(node.toObject());
    return found;
}

template <typename T>
std::vector<T> decodeNodes(const QJsonObject& parent, const QString& key) {
    std::vector<T> decoded;
    for (const QJsonObject& node : nodes(parent, key)) decoded.push_back(T::fromJson(node));
    return decoded;
}

QString isoDate(const QDateTime& date) {
    return date.toUTC().toString(Qt::ISODate);
}

void insertOptional(QJsonObject& object, const QString& key, const std::optional<QString>& value) {
    if (value) object.insert(key, *value);
}

// An actor that may be null (a deleted account answers null): GitHub shows "ghost".
Actor actorOrGhost(const QJsonObject& parent, const QString& key) {
    if (const auto actor = optionalObject(parent, key)) return Actor::fromJson(*actor);
    return Actor{{}, QStringLiteral("ghost"), std::nullopt, {}};
}

}  // namespace

QString graphQLValue(MergePullRequestMethod value) { return valueOf(kMergeMethods, value); }
QString graphQLValue(ReviewDecision value) { return valueOf(kReviewDecisions, value); }
QString graphQLValue(MergingState value) { return valueOf(kMergingStates, value); }
QString graphQLValue(IssueState value) { return valueOf(kIssueStates, value); }
QString graphQLValue(PullRequestStatus value) { return valueOf(kPullRequestStatuses, value); }
std::optional<MergePullRequestMethod> mergePullRequestMethodFromGraphQL(const QString& value) {
    return caseOf(kMergeMethods, value);
}
std::optional<ReviewDecision> reviewDecisionFromGraphQL(const QString& value) {
    return caseOf(kReviewDecisions, value);
}
std::optional<MergingState> mergingStateFromGraphQL(const QString& value) { return caseOf(kMergingStates, value); }
std::optional<IssueState> issueStateFromGraphQL(const QString& value) { return caseOf(kIssueStates, value); }
std::optional<PullRequestStatus> pullRequestStatusFromGraphQL(const QString& value) {
    return caseOf(kPullRequestStatuses, value);
}
QString rawValue(WorkflowRun::Status status) { return valueOf(kRunStatuses, status); }
QString rawValue(WorkflowRun::Conclusion conclusion) { return valueOf(kRunConclusions, conclusion); }
std::optional<Notification::Reason> notificationReasonFromRaw(const QString& raw) { return caseOf(kReasons, raw); }

// MARK: Records

Actor Actor::fromJson(const QJsonObject& object) {
    Actor actor;
    actor.githubUsername = text(object, "actor", QStringLiteral("login"));
    actor.nodeId = optionalText(object, QStringLiteral("id")).value_or(QString());
    actor.name = optionalText(object, QStringLiteral("name"));
    actor.avatarURL = optionalText(object, QStringLiteral("avatarUrl")).value_or(QString());
    return actor;
}

QJsonObject Actor::toJson() const {
    QJsonObject json{{"login", githubUsername}, {"avatarUrl", avatarURL}};
    if (!nodeId.isEmpty()) json.insert(QStringLiteral("id"), nodeId);
    insertOptional(json, QStringLiteral("name"), name);
    return json;
}

Ref Ref::fromJson(const QJsonObject& object) {
    Ref ref;
    ref.nodeId = text(object, "ref", QStringLiteral("id"));
    ref.name = text(object, "ref", QStringLiteral("name"));
    if (const auto target = optionalObject(object, QStringLiteral("target")))
        ref.commit = optionalText(*target, QStringLiteral("oid"));
    return ref;
}

QJsonObject Ref::toJson() const {
    QJsonObject json{{"id", nodeId}, {"name", name}};
    insertOptional(json, QStringLiteral("commit"), commit);
    return json;
}

Label Label::fromJson(const QJsonObject& object) {
    return {text(object, "label", QStringLiteral("id")), text(object, "label", QStringLiteral("name")),
            optionalText(object, QStringLiteral("color")).value_or(QString()),
            object.value(QStringLiteral("isDefault")).toBool()};
}

QJsonObject Label::toJson() const {
    return {{"id", nodeId}, {"name", name}, {"color", hexColor}, {"isDefault", isDefault}};
}

Milestone Milestone::fromJson(const QJsonObject& object) {
    return {text(object, "milestone", QStringLiteral("id")), text(object, "milestone", QStringLiteral("title")),
            static_cast<int>(integer(object, "milestone", QStringLiteral("number")))};
}

QJsonObject Milestone::toJson() const {
    return {{"id", nodeId}, {"title", title}, {"number", number}};
}

Project Project::fromJson(const QJsonObject& object) {
    const int number = static_cast<int>(integer(object, "project", QStringLiteral("number")));
    return {number, text(object, "project", QStringLiteral("id")), text(object, "project", QStringLiteral("title")),
            number};
}

User User::fromJson(const QJsonObject& object) {
    User user;
    user.nodeId = text(object, "user", QStringLiteral("id"));
    user.id = optionalInteger(object, QStringLiteral("databaseId")).value_or(0);
    user.githubUsername = text(object, "user", QStringLiteral("login"));
    user.avatarUrl = optionalText(object, QStringLiteral("avatarUrl")).value_or(QString());
    user.name = optionalText(object, QStringLiteral("name"));
    user.email = optionalText(object, QStringLiteral("email")).value_or(QString());
    user.isViewer = object.value(QStringLiteral("isViewer")).toBool();
    return user;
}

QJsonObject User::toJson() const {
    QJsonObject json{{"id", nodeId},       {"databaseId", id},   {"login", githubUsername},
                     {"email", email},      {"avatarUrl", avatarUrl}, {"isViewer", isViewer}};
    insertOptional(json, QStringLiteral("name"), name);
    return json;
}

Repository Repository::fromJson(const QJsonObject& json) {
    Repository repository;
    repository.id = optionalInteger(json, QStringLiteral("databaseId"));
    repository.nodeId = text(json, "repository", QStringLiteral("id"));
    const QJsonObject owner = object(json, "repository", QStringLiteral("owner"));
    repository.owner = {text(owner, "repository owner", QStringLiteral("login")),
                        optionalText(owner, QStringLiteral("avatarUrl")).value_or(QString())};
    repository.name = text(json, "repository", QStringLiteral("name"));
    repository.url = text(json, "repository", QStringLiteral("url"));
    repository.date = optionalDate(json, QStringLiteral("pushedAt"));
    repository.hasIssuesEnabled = json.value(QStringLiteral("hasIssuesEnabled")).toBool();
    repository.isArchived = json.value(QStringLiteral("isArchived")).toBool();
    repository.isDisabled = json.value(QStringLiteral("isDisabled")).toBool();
    repository.isLocked = json.value(QStringLiteral("isLocked")).toBool();
    repository.mergeCommitAllowed = json.value(QStringLiteral("mergeCommitAllowed")).toBool();
    repository.squashMergeAllowed = json.value(QStringLiteral("squashMergeAllowed")).toBool();
    repository.rebaseMergeAllowed = json.value(QStringLiteral("rebaseMergeAllowed")).toBool();
    repository.deleteBranchOnMerge = json.value(QStringLiteral("deleteBranchOnMerge")).toBool();
    if (json.value(QStringLiteral("viewerHasStarred")).isBool())
        repository.isStarred = json.value(QStringLiteral("viewerHasStarred")).toBool();
    if (const auto stars = optionalInteger(json, QStringLiteral("stargazerCount")))
        repository.numberOfStars = static_cast<int>(*stars);
    if (const auto language = optionalObject(json, QStringLiteral("primaryLanguage")))
        repository.primaryLanguage = optionalText(*language, QStringLiteral("name"));
    return repository;
}

QJsonObject Repository::toJson() const {
    QJsonObject json{{"id", nodeId},
                     {"owner", owner.githubUsername},
                     {"ownerAvatarUrl", owner.avatarURL},
                     {"name", name},
                     {"fullName", fullName()},
                     {"url", url},
                     {"isArchived", isArchived},
                     {"isDisabled", isDisabled},
                     {"isLocked", isLocked},
                     {"hasIssuesEnabled", hasIssuesEnabled},
                     {"mergeCommitAllowed", mergeCommitAllowed},
                     {"squashMergeAllowed", squashMergeAllowed},
                     {"rebaseMergeAllowed", rebaseMergeAllowed},
                     {"deleteBranchOnMerge", deleteBranchOnMerge}};
    if (id) json.insert(QStringLiteral("databaseId"), *id);
    if (date) json.insert(QStringLiteral("pushedAt"), isoDate(*date));
    if (isStarred) json.insert(QStringLiteral("isStarred"), *isStarred);
    if (numberOfStars) json.insert(QStringLiteral("stars"), *numberOfStars);
    insertOptional(json, QStringLiteral("primaryLanguage"), primaryLanguage);
    return json;
}

FoundPullRequest FoundPullRequest::fromJson(const QJsonObject& json) {
    FoundPullRequest pr;
    pr.nodeId = text(json, "pull request", QStringLiteral("id"));
    pr.permalink = text(json, "pull request", QStringLiteral("permalink"));
    pr.title = text(json, "pull request", QStringLiteral("title"));
    pr.number = static_cast<int>(integer(json, "pull request", QStringLiteral("number")));
    pr.isDraft = json.value(QStringLiteral("isDraft")).toBool();
    pr.isMerged = boolean(json, "pull request", QStringLiteral("merged"));
    pr.isClosed = boolean(json, "pull request", QStringLiteral("closed"));
    if (const auto head = optionalObject(json, QStringLiteral("headRef"))) pr.fromBranch = Ref::fromJson(*head);
    pr.mergingState = mergingStateFromGraphQL(json.value(QStringLiteral("mergeable")).toString())
                          .value_or(MergingState::calculating);
    pr.author = actorOrGhost(json, QStringLiteral("author"));
    pr.createdDate = date(json, "pull request", QStringLiteral("createdAt"));
    pr.updatedDate = date(json, "pull request", QStringLiteral("updatedAt"));
    pr.reviewDecision = reviewDecisionFromGraphQL(json.value(QStringLiteral("reviewDecision")).toString());
    pr.repository = Repository::fromJson(object(json, "pull request", QStringLiteral("repository")));
    if (const auto milestone = optionalObject(json, QStringLiteral("milestone")))
        pr.milestone = Milestone::fromJson(*milestone);
    pr.commits = totalCount(json, QStringLiteral("commits"));
    pr.reviewRequests = totalCount(json, QStringLiteral("reviewRequests"));
    pr.comments = totalCount(json, QStringLiteral("comments"));
    pr.reviewThreads = totalCount(json, QStringLiteral("reviewThreads"));
    return pr;
}

QJsonObject FoundPullRequest::toJson() const {
    QJsonObject json{{"id", nodeId},
                     {"permalink", permalink},
                     {"title", title},
                     {"number", number},
                     {"isDraft", isDraft},
                     {"status", graphQLValue(status())},
                     {"mergeable", graphQLValue(mergingState)},
                     {"author", author.toJson()},
                     {"createdAt", isoDate(createdDate)},
                     {"updatedAt", isoDate(updatedDate)},
                     {"repository", repository.fullName()},
                     {"commits", commits},
                     {"reviewRequests", reviewRequests},
                     {"comments", comments},
                     {"reviewThreads", reviewThreads}};
    if (fromBranch) json.insert(QStringLiteral("headRef"), fromBranch->toJson());
    if (reviewDecision) json.insert(QStringLiteral("reviewDecision"), graphQLValue(*reviewDecision));
    if (milestone) json.insert(QStringLiteral("milestone"), milestone->toJson());
    return json;
}

FoundIssue FoundIssue::fromJson(const QJsonObject& json) {
    FoundIssue issue;
    issue.nodeId = text(json, "issue", QStringLiteral("id"));
    issue.url = text(json, "issue", QStringLiteral("url"));
    issue.title = text(json, "issue", QStringLiteral("title"));
    issue.number = static_cast<int>(integer(json, "issue", QStringLiteral("number")));
    const auto state = issueStateFromGraphQL(json.value(QStringLiteral("state")).toString());
    if (!state) missing("issue", QStringLiteral("state"));
    issue.state = *state;
    issue.author = actorOrGhost(json, QStringLiteral("author"));
    issue.createdDate = date(json, "issue", QStringLiteral("createdAt"));
    issue.updatedDate = date(json, "issue", QStringLiteral("updatedAt"));
    issue.repository = Repository::fromJson(object(json, "issue", QStringLiteral("repository")));
    if (const auto milestone = optionalObject(json, QStringLiteral("milestone")))
        issue.milestone = Milestone::fromJson(*milestone);
    issue.comments = totalCount(json, QStringLiteral("comments"));
    issue.labels = decodeNodes<Label>(json, QStringLiteral("labels"));
    issue.assignees = decodeNodes<Actor>(json, QStringLiteral("assignees"));
    return issue;
}

QJsonObject FoundIssue::toJson() const {
    QJsonArray labelArray;
    for (const Label& label : labels) labelArray.append(label.toJson());
    QJsonArray assigneeArray;
    for (const Actor& assignee : assignees) assigneeArray.append(assignee.toJson());
    QJsonObject json{{"id", nodeId},
                     {"url", url},
                     {"title", title},
                     {"number", number},
                     {"state", graphQLValue(state)},
                     {"author", author.toJson()},
                     {"createdAt", isoDate(createdDate)},
                     {"updatedAt", isoDate(updatedDate)},
                     {"repository", repository.fullName()},
                     {"comments", comments},
                     {"labels", labelArray},
                     {"assignees", assigneeArray}};
    if (milestone) json.insert(QStringLiteral("milestone"), milestone->toJson());
    return json;
}

PullRequestDetails PullRequestDetails::fromJson(const QJsonObject& json) {
    const FoundPullRequest found = FoundPullRequest::fromJson(json);
    PullRequestDetails details;
    details.nodeId = found.nodeId;
    details.permalink = found.permalink;
    details.number = found.number;
    details.title = found.title;
    details.body = json.value(QStringLiteral("body")).toString();
    details.commits = found.commits;
    details.isDraft = found.isDraft;
    details.reviewDecision = found.reviewDecision;
    details.isMerged = found.isMerged;
    details.isClosed = found.isClosed;
    details.headRefName = json.value(QStringLiteral("headRefName")).toString();
    details.fromBranch = found.fromBranch;
    details.mergingState = found.mergingState;
    if (const auto base = optionalObject(json, QStringLiteral("baseRef"))) details.into = Ref::fromJson(*base);
    details.baseRefName = json.value(QStringLiteral("baseRefName")).toString();
    details.additions = static_cast<int>(json.value(QStringLiteral("additions")).toInteger());
    details.deletions = static_cast<int>(json.value(QStringLiteral("deletions")).toInteger());
    details.createdDate = found.createdDate;
    details.updatedDate = found.updatedDate;
    details.author = found.author;
    details.repository = found.repository;
    details.milestone = found.milestone;
    details.labels = decodeNodes<Label>(json, QStringLiteral("labels"));
    for (const QJsonObject& request : nodes(json, QStringLiteral("reviewRequests"))) {
        const QJsonObject reviewer = request.value(QStringLiteral("requestedReviewer")).toObject();
        const QString name = reviewer.contains(QStringLiteral("login"))
                                 ? reviewer.value(QStringLiteral("login")).toString()
                                 : reviewer.value(QStringLiteral("teamName")).toString();
        if (!name.isEmpty()) details.reviewRequests << name;
    }
    for (const QJsonObject& review : nodes(json, QStringLiteral("reviews"))) {
        Review decoded{review.value(QStringLiteral("id")).toString(), review.value(QStringLiteral("state")).toString(),
                       std::nullopt};
        if (const auto author = optionalObject(review, QStringLiteral("author"))) decoded.author = Actor::fromJson(*author);
        details.reviews.push_back(std::move(decoded));
    }
    return details;
}

QString PullRequestDetails::markdown() const {
    QString page = QStringLiteral("# %1 #%2\n\n").arg(title).arg(number);
    const QString state = isMerged ? QStringLiteral("Merged") : isClosed ? QStringLiteral("Closed")
                                                        : isDraft  ? QStringLiteral("Draft")
                                                                   : QStringLiteral("Open");
    page += QStringLiteral("**%1** · %2 wants to merge %3 commits into `%4` from `%5` · +%6 −%7\n\n")
                .arg(state, author.displayName())
                .arg(commits)
                .arg(into ? into->name : baseRefName, fromBranch ? fromBranch->name : headRefName)
                .arg(additions)
                .arg(deletions);
    page += body.trimmed().isEmpty() ? QStringLiteral("*No description provided.*") : body;
    page += QStringLiteral("\n");
    return page;
}

IssueDetails IssueDetails::fromJson(const QJsonObject& json) {
    IssueDetails details;
    details.issue = FoundIssue::fromJson(json);
    details.body = json.value(QStringLiteral("body")).toString();
    const QJsonObject comments = json.value(QStringLiteral("recentComments")).toObject();
    details.numberOfComments = static_cast<int>(comments.value(QStringLiteral("totalCount")).toInteger());
    for (const QJsonObject& comment : nodes(json, QStringLiteral("recentComments")))
        details.comments.push_back({actorOrGhost(comment, QStringLiteral("author")),
                                    comment.value(QStringLiteral("body")).toString(),
                                    QDateTime::fromString(comment.value(QStringLiteral("createdAt")).toString(), Qt::ISODate)});
    return details;
}

QString IssueDetails::markdown() const {
    QString page = QStringLiteral("# %1 #%2\n\n").arg(issue.title).arg(issue.number);
    page += QStringLiteral("**%1** · opened by %2\n\n")
                .arg(issue.state == IssueState::open ? QStringLiteral("Open") : QStringLiteral("Closed"),
                     issue.author.displayName());
    page += body.trimmed().isEmpty() ? QStringLiteral("*No description provided.*") : body;
    page += QStringLiteral("\n");
    for (const IssueComment& comment : comments)
        page += QStringLiteral("\n---\n\n**%1** commented:\n\n%2\n").arg(comment.author.displayName(), comment.body);
    return page;
}

DataForRepository DataForRepository::fromJson(const QJsonObject& json) {
    DataForRepository data;
    data.repositoryNodeId = text(json, "repository", QStringLiteral("id"));
    if (const auto branch = optionalObject(json, QStringLiteral("defaultBranchRef")))
        data.defaultBranchRef = Ref::fromJson(*branch);
    data.refs = decodeNodes<Ref>(json, QStringLiteral("refs"));
    data.collaborators = decodeNodes<Actor>(json, QStringLiteral("collaborators"));
    data.labels = decodeNodes<Label>(json, QStringLiteral("labels"));
    data.projects = decodeNodes<Project>(json, QStringLiteral("projectsV2"));
    data.milestones = decodeNodes<Milestone>(json, QStringLiteral("milestones"));
    const auto blob = [&json](const char* upper, const char* lower) -> std::optional<QString> {
        for (const char* key : {upper, lower})
            if (const auto found = optionalObject(json, QString::fromLatin1(key)))
                if (const auto content = optionalText(*found, QStringLiteral("text"))) return content;
        return std::nullopt;
    };
    data.pullRequestTemplate = blob("pullRequestTemplateUpperCase", "pullRequestTemplateLowerCase");
    data.issueTemplate = blob("issueTemplateUpperCase", "issueTemplateLowerCase");
    for (const QJsonValue& value : json.value(QStringLiteral("issueTemplates")).toArray()) {
        const QJsonObject item = value.toObject();
        data.issueTemplates.push_back({item.value(QStringLiteral("about")).toString(),
                                       item.value(QStringLiteral("body")).toString(),
                                       item.value(QStringLiteral("name")).toString(),
                                       item.value(QStringLiteral("title")).toString()});
    }
    return data;
}

Organization Organization::fromJson(const QJsonObject& json) {
    return {text(json, "organization", QStringLiteral("id")), text(json, "organization", QStringLiteral("login")),
            optionalText(json, QStringLiteral("name")), optionalText(json, QStringLiteral("url")).value_or(QString()),
            optionalText(json, QStringLiteral("avatarUrl")).value_or(QString())};
}

QJsonObject Organization::toJson() const {
    QJsonObject json{{"id", nodeId}, {"login", login}, {"url", url}, {"avatarUrl", avatarURL}};
    insertOptional(json, QStringLiteral("name"), name);
    return json;
}

NewPullRequest NewPullRequest::fromJson(const QJsonObject& json) {
    return {text(json, "pull request", QStringLiteral("id")), text(json, "pull request", QStringLiteral("permalink")),
            static_cast<int>(integer(json, "pull request", QStringLiteral("number"))),
            text(json, "pull request", QStringLiteral("title"))};
}

WorkflowRun WorkflowRun::fromJson(const QJsonObject& json) {
    WorkflowRun run;
    run.id = integer(json, "workflow run", QStringLiteral("id"));
    run.workflowId = optionalInteger(json, QStringLiteral("workflow_id")).value_or(0);
    run.nodeId = optionalText(json, QStringLiteral("node_id")).value_or(QString());
    run.name = optionalText(json, QStringLiteral("name")).value_or(QString());
    run.headBranch = optionalText(json, QStringLiteral("head_branch"));
    run.headSha = optionalText(json, QStringLiteral("head_sha")).value_or(QString());
    run.runNumber = static_cast<int>(optionalInteger(json, QStringLiteral("run_number")).value_or(0));
    run.htmlURL = text(json, "workflow run", QStringLiteral("html_url"));
    if (const auto commit = optionalObject(json, QStringLiteral("head_commit")))
        if (const auto message = optionalText(*commit, QStringLiteral("message")))
            run.headCommitMessage = message->section(QLatin1Char('\n'), 0, 0);
    if (const auto status = optionalText(json, QStringLiteral("status"))) run.status = caseOf(kRunStatuses, *status);
    if (const auto conclusion = optionalText(json, QStringLiteral("conclusion")))
        run.conclusion = caseOf(kRunConclusions, *conclusion);
    if (const auto repository = optionalObject(json, QStringLiteral("repository")))
        run.repositoryFullName = repository->value(QStringLiteral("full_name")).toString();
    run.createdAt = date(json, "workflow run", QStringLiteral("created_at"));
    run.updatedAt = date(json, "workflow run", QStringLiteral("updated_at"));
    return run;
}

QJsonObject WorkflowRun::toJson() const {
    QJsonObject json{{"id", id},
                     {"workflowId", workflowId},
                     {"nodeId", nodeId},
                     {"name", name},
                     {"headSha", headSha},
                     {"runNumber", runNumber},
                     {"htmlUrl", htmlURL},
                     {"repository", repositoryFullName},
                     {"createdAt", isoDate(createdAt)},
                     {"updatedAt", isoDate(updatedAt)}};
    insertOptional(json, QStringLiteral("headBranch"), headBranch);
    insertOptional(json, QStringLiteral("headCommit"), headCommitMessage);
    if (status) json.insert(QStringLiteral("status"), rawValue(*status));
    if (conclusion) json.insert(QStringLiteral("conclusion"), rawValue(*conclusion));
    return json;
}

Notification Notification::fromJson(const QJsonObject& json) {
    Notification notification;
    notification.id = text(json, "notification", QStringLiteral("id"));
    const QJsonObject repository = object(json, "notification", QStringLiteral("repository"));
    notification.repositoryURL = repository.value(QStringLiteral("html_url")).toString();
    notification.repositoryName = text(repository, "notification repository", QStringLiteral("name"));
    notification.repositoryOwner =
        repository.value(QStringLiteral("owner")).toObject().value(QStringLiteral("login")).toString();
    const QJsonObject subject = object(json, "notification", QStringLiteral("subject"));
    notification.title = text(subject, "notification subject", QStringLiteral("title"));
    notification.subjectURL = optionalText(subject, QStringLiteral("url"));
    notification.latestCommentURL = optionalText(subject, QStringLiteral("latest_comment_url"));
    notification.type = subject.value(QStringLiteral("type")).toString();
    notification.reasonText = json.value(QStringLiteral("reason")).toString();
    notification.reason = notificationReasonFromRaw(notification.reasonText);
    notification.unread = json.value(QStringLiteral("unread")).toBool();
    notification.updatedAt = date(json, "notification", QStringLiteral("updated_at"));
    notification.lastReadAt = optionalDate(json, QStringLiteral("last_read_at"));
    notification.url = json.value(QStringLiteral("url")).toString();
    notification.subscriptionURL = json.value(QStringLiteral("subscription_url")).toString();
    return notification;
}

QJsonObject Notification::toJson() const {
    QJsonObject json{{"id", id},
                     {"repository", repositoryOwner + QLatin1Char('/') + repositoryName},
                     {"title", title},
                     {"type", type},
                     {"reason", reasonText},
                     {"unread", unread},
                     {"updatedAt", isoDate(updatedAt)},
                     {"htmlUrl", htmlURL()}};
    if (lastReadAt) json.insert(QStringLiteral("lastReadAt"), isoDate(*lastReadAt));
    return json;
}

QString Notification::htmlURL() const {
    // The subject's API link ("…/repos/o/r/pulls/5") names the page: the same
    // path on the repository's page, with "pull" for pull requests.
    if (subjectURL) {
        const QString marker = QStringLiteral("/repos/") + repositoryOwner + QLatin1Char('/') + repositoryName;
        const qsizetype at = subjectURL->indexOf(marker);
        if (at >= 0 && !repositoryURL.isEmpty()) {
            QString rest = subjectURL->mid(at + marker.size());
            if (rest.startsWith(QStringLiteral("/pulls/"))) rest.replace(0, 7, QStringLiteral("/pull/"));
            return repositoryURL + rest;
        }
    }
    return repositoryURL;
}

GraphQLResult GraphQLResult::decode(const QByteArray& body) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        throw VantrelError(QStringLiteral("The GitHub API answered with a body that is not JSON"));
    const QJsonObject root = document.object();
    GraphQLResult result;
    if (root.value(QStringLiteral("data")).isObject()) result.data = root.value(QStringLiteral("data")).toObject();
    for (const QJsonValue& value : root.value(QStringLiteral("errors")).toArray()) {
        const QJsonObject item = value.toObject();
        GraphQLError graphQLError;
        graphQLError.message = item.value(QStringLiteral("message")).toString();
        graphQLError.type = optionalText(item, QStringLiteral("type"));
        graphQLError.path = item.value(QStringLiteral("path")).toArray();
        for (const QJsonValue& location : item.value(QStringLiteral("locations")).toArray())
            graphQLError.locations.push_back({location.toObject().value(QStringLiteral("line")).toInt(),
                                              location.toObject().value(QStringLiteral("column")).toInt()});
        result.errors.push_back(std::move(graphQLError));
    }
    return result;
}

QJsonObject GraphQLResult::dataOrThrow() const {
    if (data && errors.empty()) return *data;
    QStringList messages;
    for (const GraphQLError& error : errors) messages << error.message;
    if (data && !data->isEmpty() && messages.isEmpty()) return *data;
    if (messages.isEmpty()) throw VantrelError(QStringLiteral("The GitHub API answered without data"));
    // Partial data with errors (a repository that went away mid-list) still fails:
    // the lists would be silently short otherwise.
    throw VantrelError(QStringLiteral("GitHub answered with errors: ") + messages.join(QStringLiteral("; ")));
}

}  // namespace vantrel::github
