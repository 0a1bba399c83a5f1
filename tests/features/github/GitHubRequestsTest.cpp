// The requests the lists send: their search texts, variables and REST paths.
#include "features/github/GitHubDocuments.h"
#include "features/github/GitHubRequests.h"

#include <QJsonArray>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

using namespace vantrel::github;

Repository repository(const QString& owner, const QString& name) {
    Repository repo;
    repo.nodeId = QStringLiteral("R_1");
    repo.owner.githubUsername = owner;
    repo.name = name;
    return repo;
}

// Noon, so that no time zone moves the day.
const QDateTime kNow(QDate(2024, 3, 15), QTime(12, 0));

TEST(GitHubSearchTexts, PullRequestTextsNameTheUserTheStateTheDateAndTheQuery) {
    SearchPullRequests request;
    request.githubUsername = QStringLiteral("octocat");
    request.query = QStringLiteral("label:bug");
    const QJsonObject texts = request.queries(kNow);
    ASSERT_EQ(texts.size(), 8);
    EXPECT_EQ(texts[QStringLiteral("createdOpenQuery")].toString(),
              QStringLiteral("is:pr author:octocat archived:false is:open updated:>2024-03-01 label:bug"));
    EXPECT_EQ(texts[QStringLiteral("createdClosedQuery")].toString(),
              QStringLiteral("is:pr author:octocat archived:false is:closed updated:>2024-03-01 label:bug"));
    EXPECT_EQ(texts[QStringLiteral("assignedOpenQuery")].toString(),
              QStringLiteral("is:pr assignee:octocat archived:false is:open updated:>2024-03-01 label:bug"));
    EXPECT_EQ(texts[QStringLiteral("mentionedClosedQuery")].toString(),
              QStringLiteral("is:pr mentions:octocat archived:false is:closed updated:>2024-03-01 label:bug"));
    EXPECT_EQ(texts[QStringLiteral("reviewRequestsOpenQuery")].toString(),
              QStringLiteral("is:pr review-requested:octocat archived:false is:open updated:>2024-03-01 label:bug"));
}

TEST(GitHubSearchTexts, TheDefaultListEndsInOneBlankForItsEmptyQuery) {
    SearchPullRequests request;
    request.githubUsername = QStringLiteral("octocat");
    EXPECT_EQ(request.queries(kNow)[QStringLiteral("createdOpenQuery")].toString(),
              QStringLiteral("is:pr author:octocat archived:false is:open updated:>2024-03-01 "));
}

TEST(GitHubSearchTexts, WithoutALoginEveryQualifierIsEmpty) {
    SearchPullRequests request;
    request.githubUsername = QString();
    for (const QJsonValue& text : request.queries(kNow))
        EXPECT_TRUE(text.toString().startsWith(QStringLiteral("is:pr  archived:false"))) << text.toString().toStdString();
    request.githubUsername.reset();
    for (const QJsonValue& text : request.queries(kNow))
        EXPECT_TRUE(text.toString().startsWith(QStringLiteral("is:pr  archived:false"))) << text.toString().toStdString();
    EXPECT_EQ(qualifier(QString(), QStringLiteral("octocat")), QString());
    EXPECT_EQ(qualifier(QStringLiteral("author"), QString()), QString());
}

TEST(GitHubSearchTexts, ASelectedRepositoryIsInEveryTextAndAbsentOtherwise) {
    SearchPullRequests pulls;
    pulls.githubUsername = QStringLiteral("octocat");
    for (const QJsonValue& text : pulls.queries(kNow)) EXPECT_FALSE(text.toString().contains(QStringLiteral("repo:")));
    pulls.repository = repository(QStringLiteral("acme"), QStringLiteral("rocket"));
    for (const QJsonValue& text : pulls.queries(kNow))
        EXPECT_TRUE(text.toString().contains(QStringLiteral(" repo:acme/rocket updated:>"))) << text.toString().toStdString();

    SearchCreatedIssues created;
    created.githubUsername = QStringLiteral("octocat");
    created.repository = repository(QStringLiteral("acme"), QStringLiteral("rocket"));
    EXPECT_EQ(created.queries(kNow)[QStringLiteral("createdOpenQuery")].toString(),
              QStringLiteral("is:issue author:octocat archived:false is:open updated:>2024-01-15 repo:acme/rocket"));
    EXPECT_EQ(created.queries(kNow)[QStringLiteral("createdClosedQuery")].toString(),
              QStringLiteral("is:issue author:octocat archived:false is:closed updated:>2024-01-15 repo:acme/rocket"));

    SearchOpenIssues open;
    open.githubUsername = QStringLiteral("octocat");
    const QJsonObject texts = open.queries(kNow);
    EXPECT_EQ(texts[QStringLiteral("assignedOpenQuery")].toString(),
              QStringLiteral("is:issue assignee:octocat archived:false is:open updated:>2024-01-15"));
    EXPECT_EQ(texts[QStringLiteral("mentionedOpenQuery")].toString(),
              QStringLiteral("is:issue mentions:octocat archived:false is:open updated:>2024-01-15"));
}

TEST(GitHubSearchTexts, DatesAreTheCalendarDayWithFourTwoAndTwoDigits) {
    EXPECT_EQ(searchDate(30, kNow), QStringLiteral("2024-02-14"));
    EXPECT_EQ(searchDate(0, kNow), QStringLiteral("2024-03-15"));
    EXPECT_EQ(searchDate(QDateTime(QDate(987, 1, 2), QTime(12, 0))), QStringLiteral("0987-01-02"));
}

TEST(GitHubSearchTexts, FiltersAddTheSinceDateAndTheSearchText) {
    FilterRequests filter;
    filter.githubUsername = QStringLiteral("octocat");
    EXPECT_EQ(filter.query(), QStringLiteral("is:pr author:octocat archived:false"));
    filter.filter = RequestFilter{QStringLiteral("crash on start"), QDateTime(QDate(2024, 2, 1), QTime(12, 0))};
    EXPECT_EQ(filter.query(), QStringLiteral("is:pr author:octocat archived:false updated:>2024-02-01 crash on start"));
    filter.isIssues = true;
    filter.filter->searchText = QString();
    EXPECT_EQ(filter.query(), QStringLiteral("is:issue author:octocat archived:false updated:>2024-02-01"));
    EXPECT_EQ(filter.request().operationName, QStringLiteral("FilterIssues"));
    EXPECT_EQ(filter.request().variables[QStringLiteral("query")].toString(), filter.query());
}

TEST(GitHubRequests, ListRequestsCarryTheirSizesAndMethod) {
    SearchPullRequests pulls;
    pulls.githubUsername = QStringLiteral("octocat");
    const GraphQLRequest request = pulls.request(kNow);
    EXPECT_EQ(request.method, RequestMethod::getGraphQL);
    EXPECT_EQ(request.variables[QStringLiteral("numberOfOpenItems")].toInt(), 20);
    EXPECT_EQ(request.variables[QStringLiteral("numberOfClosedItems")].toInt(), 20);
    EXPECT_EQ(request.variables[QStringLiteral("avatarSize")].toInt(), 64);
    EXPECT_EQ(request.document, graphQLDocument(QStringLiteral("SearchPullRequests")));
    EXPECT_EQ(SearchCreatedIssues{}.numberOfDays, 60);
    EXPECT_EQ(SearchOpenIssues{}.request(kNow).method, RequestMethod::getGraphQL);
    EXPECT_EQ(SearchCreatedIssues{}.request(kNow).method, RequestMethod::getGraphQL);
    const MergePullRequest merge{QStringLiteral("PR_1"), MergePullRequestMethod::squashAndMerge};
    EXPECT_EQ(merge.request().variables[QStringLiteral("method")].toString(), QStringLiteral("SQUASH"));
}

TEST(GitHubRequests, ARequestWithoutVariablesSendsOnlyTheQuery) {
    const QJsonObject parameters = UserRequest{}.request().parameters();
    EXPECT_EQ(parameters.keys(), QStringList{QStringLiteral("query")});
    const QJsonObject withVariables = ChangeState{ChangeState::Kind::closeIssue, QStringLiteral("I_1")}.request().parameters();
    EXPECT_EQ(withVariables.keys(), (QStringList{QStringLiteral("query"), QStringLiteral("variables")}));
    EXPECT_EQ(withVariables[QStringLiteral("variables")].toObject()[QStringLiteral("nodeId")].toString(), QStringLiteral("I_1"));
}

TEST(GitHubRequests, OptionalIdsAreSentAsNull) {
    CreateIssue create;
    create.repository = repository(QStringLiteral("acme"), QStringLiteral("rocket"));
    create.title = QStringLiteral("Crash");
    const QJsonObject variables = create.request().variables;
    EXPECT_TRUE(variables[QStringLiteral("milestoneId")].isNull());
    EXPECT_TRUE(variables[QStringLiteral("assigneeIds")].isArray());
    EXPECT_EQ(variables[QStringLiteral("repositoryNodeId")].toString(), QStringLiteral("R_1"));
}

TEST(GitHubRequests, RestPathsOfNotificationsAndWorkflowRuns) {
    Notifications all;
    all.numberOfItems = 25;
    EXPECT_EQ(all.request().path, QStringLiteral("notifications"));
    EXPECT_EQ(all.request().query[QStringLiteral("per_page")].toInt(), 25);
    EXPECT_EQ(all.request().query[QStringLiteral("all")].toBool(), true);
    Notifications one;
    one.repository = repository(QStringLiteral("acme"), QStringLiteral("rocket"));
    EXPECT_EQ(one.request().path, QStringLiteral("repos/acme/rocket/notifications"));

    WorkflowRuns runs;
    EXPECT_THROW(runs.request(), std::exception);
    runs.repository = repository(QStringLiteral("acme"), QStringLiteral("rocket"));
    runs.numberOfItems = 10;
    EXPECT_EQ(runs.request().path, QStringLiteral("repos/acme/rocket/actions/runs"));
    EXPECT_EQ(runs.request().query[QStringLiteral("per_page")].toInt(), 10);

    WorkflowRunAction action{WorkflowRunAction::Kind::rerun, QStringLiteral("acme"), QStringLiteral("rocket"), 42};
    EXPECT_EQ(action.request().path, QStringLiteral("repos/acme/rocket/actions/runs/42/rerun"));
    EXPECT_EQ(action.request().method, RequestMethod::post);
    action.kind = WorkflowRunAction::Kind::cancel;
    EXPECT_EQ(action.request().path, QStringLiteral("repos/acme/rocket/actions/runs/42/cancel"));
    action.kind = WorkflowRunAction::Kind::remove;
    EXPECT_EQ(action.request().path, QStringLiteral("repos/acme/rocket/actions/runs/42"));
    EXPECT_EQ(action.request().method, RequestMethod::delete_);
}

TEST(GitHubRequests, RepositorySearchTextsFromAFilter) {
    EXPECT_EQ(SearchRepositories::queryText({}, QStringLiteral("octocat")), QStringLiteral("user:octocat sort:updated"));
    RepositoryFilter filter;
    filter.searchText = QStringLiteral("  rocket  engine ");
    EXPECT_EQ(SearchRepositories::queryText(filter, QStringLiteral("octocat")), QStringLiteral("rocket engine sort:updated"));
    filter.githubUsernames = QStringList{QStringLiteral("acme"), QStringLiteral("octocat")};
    filter.includeForks = true;
    EXPECT_EQ(SearchRepositories::queryText(filter, QStringLiteral("octocat")),
              QStringLiteral("rocket engine user:acme user:octocat fork:true sort:updated"));
}

}  // namespace
}  // namespace vantrel::test
