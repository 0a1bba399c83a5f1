#include "features/github/GitHubRequests.h"

#include "features/github/GitHubDocuments.h"
#include "kit/VantrelError.h"

#include <QJsonArray>
#include <QLocale>

namespace vantrel::github {

namespace {

QString login(const std::optional<QString>& githubUsername) {
    return githubUsername.value_or(QString());
}

GraphQLRequest graphQL(const QString& operation, QJsonObject variables,
                       RequestMethod method = RequestMethod::postGraphQL, const QString& variant = QString()) {
    return {operation, graphQLDocument(operation, variant), std::move(variables), method};
}

QJsonValue optionalId(const std::optional<Milestone>& milestone) {
    return milestone ? QJsonValue(milestone->nodeId) : QJsonValue(QJsonValue::Null);
}

QJsonArray ids(const QStringList& list) {
    return QJsonArray::fromStringList(list);
}

// One pull-request text: the qualifier, open or closed, the repository part
// and the date, then a blank and the request's own query text.
QString pullRequestText(const QString& key, const QString& user, const char* state, const QString& repo,
                        const QString& date, const QString& query) {
    return QStringLiteral("is:pr ") + qualifier(key, user) + QStringLiteral(" archived:false is:") +
           QLatin1String(state) + repo + QStringLiteral(" updated:>") + date + QLatin1Char(' ') + query;
}

QString issueText(const QString& key, const QString& user, const char* state, const QString& repo,
                  const QString& date) {
    return QStringLiteral("is:issue ") + qualifier(key, user) + QStringLiteral(" archived:false is:") +
           QLatin1String(state) + QStringLiteral(" updated:>") + date + repo;
}

}  // namespace

QJsonObject GraphQLRequest::parameters() const {
    QJsonObject parameters{{"query", document}};
    if (!variables.isEmpty()) parameters.insert(QStringLiteral("variables"), variables);
    return parameters;
}

QString searchDate(const QDateTime& date) {
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(date.date(), QStringLiteral("yyyy-MM-dd"));
}

QString searchDate(int numberOfDays, const QDateTime& now) {
    return searchDate(now.addSecs(-static_cast<qint64>(numberOfDays) * 86400));
}

QString qualifier(const QString& key, const QString& login) {
    if (key.isEmpty() || login.isEmpty()) return {};
    return key + QLatin1Char(':') + login;
}

QString repositoryPart(const std::optional<Repository>& repository) {
    if (!repository) return {};
    return QStringLiteral(" repo:") + repository->owner.githubUsername + QLatin1Char('/') + repository->name;
}

QString title(SearchPullRequests::Group group) {
    switch (group) {
    case SearchPullRequests::Group::created: return QStringLiteral("Created");
    case SearchPullRequests::Group::assigned: return QStringLiteral("Assigned");
    case SearchPullRequests::Group::mentioned: return QStringLiteral("Mentioned");
    case SearchPullRequests::Group::reviewRequests: return QStringLiteral("Review Requests");
    case SearchPullRequests::Group::closed: return QStringLiteral("Recently Closed");
    }
    return {};
}

QJsonObject SearchPullRequests::queries(const QDateTime& now) const {
    const QString user = login(githubUsername);
    const QString date = searchDate(numberOfDays, now);
    const QString repo = repositoryPart(repository);
    QJsonObject texts;
    const struct {
        const char* prefix;
        const char* key;
    } groups[] = {{"created", "author"},
                  {"assigned", "assignee"},
                  {"mentioned", "mentions"},
                  {"reviewRequests", "review-requested"}};
    for (const auto& group : groups) {
        const QString key = QLatin1String(group.key);
        texts.insert(QLatin1String(group.prefix) + QStringLiteral("OpenQuery"),
                     pullRequestText(key, user, "open", repo, date, query));
        texts.insert(QLatin1String(group.prefix) + QStringLiteral("ClosedQuery"),
                     pullRequestText(key, user, "closed", repo, date, query));
    }
    return texts;
}

GraphQLRequest SearchPullRequests::request(const QDateTime& now) const {
    QJsonObject variables = queries(now);
    variables.insert(QStringLiteral("numberOfOpenItems"), numberOfOpenItems);
    variables.insert(QStringLiteral("numberOfClosedItems"), numberOfClosedItems);
    variables.insert(QStringLiteral("avatarSize"), avatarSize);
    return graphQL(QStringLiteral("SearchPullRequests"), variables, method);
}

QJsonObject SearchCreatedIssues::queries(const QDateTime& now) const {
    const QString user = login(githubUsername);
    const QString date = searchDate(numberOfDays, now);
    const QString repo = repositoryPart(repository);
    return {{"createdOpenQuery", issueText(QStringLiteral("author"), user, "open", repo, date)},
            {"createdClosedQuery", issueText(QStringLiteral("author"), user, "closed", repo, date)}};
}

GraphQLRequest SearchCreatedIssues::request(const QDateTime& now) const {
    QJsonObject variables = queries(now);
    variables.insert(QStringLiteral("numberOfOpenItems"), numberOfOpenItems);
    variables.insert(QStringLiteral("numberOfClosedItems"), numberOfClosedItems);
    variables.insert(QStringLiteral("avatarSize"), avatarSize);
    return graphQL(QStringLiteral("SearchCreatedIssues"), variables, method);
}

QJsonObject SearchOpenIssues::queries(const QDateTime& now) const {
    const QString user = login(githubUsername);
    const QString date = searchDate(numberOfDays, now);
    const QString repo = repositoryPart(repository);
    return {{"assignedOpenQuery", issueText(QStringLiteral("assignee"), user, "open", repo, date)},
            {"mentionedOpenQuery", issueText(QStringLiteral("mentions"), user, "open", repo, date)}};
}

GraphQLRequest SearchOpenIssues::request(const QDateTime& now) const {
    QJsonObject variables = queries(now);
    variables.insert(QStringLiteral("numberOfOpenItems"), numberOfOpenItems);
    variables.insert(QStringLiteral("avatarSize"), avatarSize);
    return graphQL(QStringLiteral("SearchOpenIssues"), variables, method);
}

QString FilterRequests::query() const {
    QString text = (isIssues ? QStringLiteral("is:issue ") : QStringLiteral("is:pr ")) +
                   qualifier(QStringLiteral("author"), login(githubUsername)) + QStringLiteral(" archived:false");
    if (filter && filter->sinceDate) text += QStringLiteral(" updated:>") + searchDate(*filter->sinceDate);
    if (filter && filter->searchText && !filter->searchText->isEmpty()) text += QLatin1Char(' ') + *filter->searchText;
    return text;
}

GraphQLRequest FilterRequests::request() const {
    return graphQL(isIssues ? QStringLiteral("FilterIssues") : QStringLiteral("FilterPullRequests"),
                   {{"query", query()}, {"numberOfItems", numberOfItems}, {"avatarSize", avatarSize}}, method);
}

QString SearchRepositories::queryText(const RepositoryFilter& filter, const QString& login) {
    QStringList parts;
    const QString words = filter.searchText.value_or(QString()).simplified();
    if (!words.isEmpty()) parts << words;
    QStringList users = filter.githubUsernames.value_or(QStringList());
    // Without words, the list is the user's own repositories.
    if (users.isEmpty() && words.isEmpty() && !login.isEmpty()) users << login;
    for (const QString& user : users)
        if (!user.isEmpty()) parts << QStringLiteral("user:") + user;
    if (filter.includeForks) parts << QStringLiteral("fork:true");
    parts << QStringLiteral("sort:updated");
    return parts.join(QLatin1Char(' '));
}

GraphQLRequest SearchRepositories::request() const {
    return graphQL(QStringLiteral("SearchRepositories"),
                   {{"query", query}, {"numberOfItems", numberOfItems}, {"avatarSize", avatarSize}}, method);
}

GraphQLRequest SearchOrganizations::request() const {
    return graphQL(QStringLiteral("SearchOrganizations"), {{"numberOfItems", numberOfItems}});
}

GraphQLRequest UserRequest::request() const {
    return graphQL(QStringLiteral("User"), {});
}

GraphQLRequest DetailsRequest::request() const {
    return graphQL(isIssue ? QStringLiteral("IssueDetails") : QStringLiteral("PullRequestDetails"),
                   {{"nodeId", nodeId}, {"numberOfItems", numberOfItems}, {"avatarSize", avatarSize}});
}

GraphQLRequest DataForRepositoryRequest::request() const {
    return graphQL(QStringLiteral("DataForRepository"), {{"owner", repository.owner.githubUsername},
                                                          {"name", repository.name},
                                                          {"number", number},
                                                          {"numberOfLabels", numberOfLabels}});
}

GraphQLRequest CreateIssue::request() const {
    return graphQL(QStringLiteral("CreateIssue"), {{"repositoryNodeId", repository.nodeId},
                                                    {"title", title},
                                                    {"body", markdownDescription},
                                                    {"assigneeIds", ids(assigneeIds)},
                                                    {"labelIds", ids(labelIds)},
                                                    {"projectIds", ids(projectIds)},
                                                    {"milestoneId", optionalId(milestone)},
                                                    {"avatarSize", avatarSize}});
}

GraphQLRequest CreatePullRequest::request() const {
    return graphQL(QStringLiteral("CreatePullRequest"), {{"repositoryNodeId", repository.nodeId},
                                                          {"baseRefName", to.name},
                                                          {"headRefName", from.name},
                                                          {"title", title},
                                                          {"body", markdownDescription},
                                                          {"isDraft", isDraft}});
}

GraphQLRequest InitPullRequest::request() const {
    return graphQL(QStringLiteral("InitPullRequest"), {{"pullRequestId", pullRequest.nodeId},
                                                        {"reviewers", ids(reviewers)},
                                                        {"assignees", ids(assignees)},
                                                        {"labels", ids(labels)},
                                                        {"projects", ids(projects)},
                                                        {"milestone", optionalId(milestone)},
                                                        {"avatarSize", avatarSize}});
}

GraphQLRequest MergePullRequest::request() const {
    return graphQL(QStringLiteral("MergePullRequest"),
                   {{"nodeId", nodeId}, {"method", graphQLValue(mergePullRequestMethod)}});
}

GraphQLRequest ChangeState::request() const {
    static const char* const names[] = {"ClosePullRequest", "ReopenPullRequest", "CloseIssue", "ReopenIssue"};
    return graphQL(QLatin1String(names[static_cast<int>(kind)]), {{"nodeId", nodeId}});
}

RestRequest Notifications::request() const {
    const QString path = repository ? QStringLiteral("repos/") + repository->owner.githubUsername + QLatin1Char('/') +
                                          repository->name + QStringLiteral("/notifications")
                                    : QStringLiteral("notifications");
    return {path, {{"per_page", numberOfItems}, {"all", true}}, RequestMethod::get};
}

RestRequest WorkflowRuns::request() const {
    if (!repository) throw VantrelError(QStringLiteral("Choose a repository to see its workflow runs"));
    return {QStringLiteral("repos/") + repository->owner.githubUsername + QLatin1Char('/') + repository->name +
                QStringLiteral("/actions/runs"),
            {{"per_page", numberOfItems}},
            RequestMethod::get};
}

RestRequest WorkflowRunAction::request() const {
    const QString run = QStringLiteral("repos/") + owner + QLatin1Char('/') + repo + QStringLiteral("/actions/runs/") +
                        QString::number(runId);
    switch (kind) {
    case Kind::rerun: return {run + QStringLiteral("/rerun"), {}, RequestMethod::post};
    case Kind::cancel: return {run + QStringLiteral("/cancel"), {}, RequestMethod::post};
    case Kind::remove: return {run, {}, RequestMethod::delete_};
    }
    return {};
}

}  // namespace vantrel::github
