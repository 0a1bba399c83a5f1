// Records decoded from GitHub's answers, and answers that are not what they
// should be.
#include "features/github/GitHubModels.h"
#include "kit/VantrelError.h"

#include <QJsonDocument>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

using namespace vantrel::github;

QJsonObject json(const char* text) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    return document.object();
}

const char* const kRepository = R"({"id": "R_1", "databaseId": 101, "name": "rocket", "url": "https://github.com/acme/rocket",
  "pushedAt": "2024-03-14T10:00:00Z", "owner": {"login": "acme", "avatarUrl": "https://avatars.example/acme"},
  "hasIssuesEnabled": true, "isArchived": false, "isDisabled": false, "isLocked": false, "mergeCommitAllowed": true,
  "squashMergeAllowed": true, "rebaseMergeAllowed": false, "deleteBranchOnMerge": true, "viewerHasStarred": true,
  "stargazerCount": 42, "primaryLanguage": {"name": "C++", "color": "#f34b7d"}})";

QString pullRequest(const QString& replace = {}, const QString& with = {}) {
    QString text = QStringLiteral(R"({"id": "PR_1", "permalink": "https://github.com/acme/rocket/pull/1",
      "title": "Add the launch sequence", "number": 1, "isDraft": false, "merged": false, "closed": false,
      "headRef": {"id": "REF_1", "name": "launch", "target": {"oid": "abc"}}, "mergeable": "CONFLICTING",
      "author": {"login": "octocat", "avatarUrl": "https://avatars.example/octocat", "id": "U_1", "name": "The Octocat"},
      "createdAt": "2024-03-01T09:00:00Z", "updatedAt": "2024-03-14T09:00:00Z", "reviewDecision": "APPROVED",
      "repository": REPO, "milestone": {"id": "M_1", "title": "v1.0", "number": 1},
      "commits": {"totalCount": 3}, "reviewRequests": {"totalCount": 1}, "comments": {"totalCount": 2},
      "reviewThreads": {"totalCount": 0}})")
                       .replace(QStringLiteral("REPO"), QLatin1String(kRepository));
    if (!replace.isEmpty()) text.replace(replace, with);
    return text;
}

TEST(GitHubModels, APullRequestDecodesWithItsRepositoryAuthorAndStates) {
    const FoundPullRequest pr = FoundPullRequest::fromJson(json(pullRequest().toUtf8().constData()));
    EXPECT_EQ(pr.nodeId, QStringLiteral("PR_1"));
    EXPECT_EQ(pr.number, 1);
    EXPECT_EQ(pr.status(), PullRequestStatus::open);
    EXPECT_EQ(pr.mergingState, MergingState::conflicting);
    EXPECT_EQ(pr.reviewDecision, ReviewDecision::approved);
    ASSERT_TRUE(pr.fromBranch);
    EXPECT_EQ(pr.fromBranch->name, QStringLiteral("launch"));
    EXPECT_EQ(pr.fromBranch->commit, QStringLiteral("abc"));
    EXPECT_EQ(pr.author.displayName(), QStringLiteral("The Octocat"));
    EXPECT_EQ(pr.repository.fullName(), QStringLiteral("acme/rocket"));
    EXPECT_EQ(pr.repository.numberOfStars, 42);
    EXPECT_EQ(pr.repository.primaryLanguage, QStringLiteral("C++"));
    EXPECT_EQ(pr.repository.isStarred, true);
    EXPECT_EQ(pr.milestone->title, QStringLiteral("v1.0"));
    EXPECT_EQ(pr.commits, 3);
    EXPECT_EQ(pr.comments, 2);
    EXPECT_EQ(pr.toJson()[QStringLiteral("status")].toString(), QStringLiteral("OPEN"));
    EXPECT_EQ(pr.toJson()[QStringLiteral("repository")].toString(), QStringLiteral("acme/rocket"));
}

TEST(GitHubModels, ADeletedAuthorIsTheGhostAndUnknownStatesAreCalculating) {
    const FoundPullRequest pr = FoundPullRequest::fromJson(
        json(pullRequest(QStringLiteral(R"("mergeable": "CONFLICTING")"), QStringLiteral(R"("mergeable": "SOMETHING_NEW")"))
                 .replace(QRegularExpression(QStringLiteral(R"("author": \{[^}]*\})")), QStringLiteral(R"("author": null)"))
                 .toUtf8()
                 .constData()));
    EXPECT_EQ(pr.author.githubUsername, QStringLiteral("ghost"));
    EXPECT_EQ(pr.mergingState, MergingState::calculating);
}

TEST(GitHubModels, AMissingOrMistypedFieldNamesTheField) {
    try {
        FoundPullRequest::fromJson(json(pullRequest(QStringLiteral(R"("number": 1,)"), QString()).toUtf8().constData()));
        FAIL() << "decoded without a number";
    } catch (const VantrelError& error) {
        EXPECT_EQ(error.errorDescription(), QStringLiteral("Cannot decode GitHub pull request: missing 'number'"));
    }
    try {
        FoundPullRequest::fromJson(
            json(pullRequest(QStringLiteral(R"("title": "Add the launch sequence")"), QStringLiteral(R"("title": 7)"))
                     .toUtf8()
                     .constData()));
        FAIL() << "decoded a number as the title";
    } catch (const VantrelError& error) {
        EXPECT_EQ(error.errorDescription(), QStringLiteral("Cannot decode GitHub pull request: missing 'title'"));
    }
    EXPECT_THROW(FoundPullRequest::fromJson(json(pullRequest(QStringLiteral(R"("createdAt": "2024-03-01T09:00:00Z")"),
                                                                  QStringLiteral(R"("createdAt": "yesterday")"))
                                                     .toUtf8()
                                                     .constData())),
                 VantrelError);
    EXPECT_THROW(Repository::fromJson(json(R"({"id": "R_1", "name": "x", "url": "u"})")), VantrelError);
}

TEST(GitHubModels, EnumerationsRoundTripThroughGitHubsValues) {
    for (const auto method : {MergePullRequestMethod::createMergeCommit, MergePullRequestMethod::squashAndMerge,
                              MergePullRequestMethod::rebaseAndMerge})
        EXPECT_EQ(mergePullRequestMethodFromGraphQL(graphQLValue(method)), method);
    EXPECT_EQ(graphQLValue(MergePullRequestMethod::createMergeCommit), QStringLiteral("MERGE"));
    EXPECT_EQ(graphQLValue(ReviewDecision::changesRequested), QStringLiteral("CHANGES_REQUESTED"));
    EXPECT_EQ(graphQLValue(MergingState::canBeMerged), QStringLiteral("MERGEABLE"));
    EXPECT_EQ(graphQLValue(PullRequestStatus::merged), QStringLiteral("MERGED"));
    EXPECT_EQ(issueStateFromGraphQL(QStringLiteral("CLOSED")), IssueState::closed);
    EXPECT_EQ(issueStateFromGraphQL(QStringLiteral("closed")), std::nullopt);
    EXPECT_EQ(reviewDecisionFromGraphQL(QString()), std::nullopt);
}

TEST(GitHubModels, WorkflowRunsAndNotificationsDecodeFromTheirRestKeys) {
    const WorkflowRun run = WorkflowRun::fromJson(json(R"({"id": 9001, "workflow_id": 77, "node_id": "WFR_1",
      "name": "CI", "head_branch": "main", "head_sha": "abc", "run_number": 12,
      "html_url": "https://github.com/acme/rocket/actions/runs/9001", "head_commit": {"message": "First line\n\nmore"},
      "status": "in_progress", "conclusion": "timed_out", "repository": {"full_name": "acme/rocket"},
      "created_at": "2024-03-14T10:00:00Z", "updated_at": "2024-03-14T10:05:00Z"})"));
    EXPECT_EQ(run.id, 9001);
    EXPECT_EQ(run.status, WorkflowRun::Status::inProgress);
    EXPECT_EQ(run.conclusion, WorkflowRun::Conclusion::timedOut);
    EXPECT_EQ(run.headCommitMessage, QStringLiteral("First line"));
    EXPECT_EQ(run.repositoryFullName, QStringLiteral("acme/rocket"));

    const Notification notification = Notification::fromJson(json(R"({"id": "5001",
      "repository": {"html_url": "https://github.com/acme/rocket", "name": "rocket", "owner": {"login": "acme"}},
      "subject": {"title": "Add the launch sequence", "url": "https://api.github.com/repos/acme/rocket/pulls/1",
                  "latest_comment_url": null, "type": "PullRequest"},
      "reason": "review_requested", "unread": true, "updated_at": "2024-03-14T10:00:00Z", "last_read_at": null,
      "url": "u", "subscription_url": "s"})"));
    EXPECT_EQ(notification.reason, Notification::Reason::reviewRequested);
    EXPECT_TRUE(notification.unread);
    EXPECT_EQ(notification.htmlURL(), QStringLiteral("https://github.com/acme/rocket/pull/1"));
    EXPECT_FALSE(notification.lastReadAt);

    const Notification unknownReason = Notification::fromJson(json(R"({"id": "1",
      "repository": {"html_url": "h", "name": "r", "owner": {"login": "o"}}, "subject": {"title": "t", "type": "Issue"},
      "reason": "approval_requested", "unread": false, "updated_at": "2024-03-14T10:00:00Z"})"));
    EXPECT_FALSE(unknownReason.reason);
    EXPECT_EQ(unknownReason.reasonText, QStringLiteral("approval_requested"));
    EXPECT_THROW(Notification::fromJson(json(R"({"id": "1", "subject": {"title": "t"}})")), VantrelError);
}

TEST(GitHubModels, GraphQLAnswersWithErrorsOrWithoutJsonFail) {
    const GraphQLResult ok = GraphQLResult::decode(R"({"data": {"viewer": {"login": "octocat"}}})");
    EXPECT_EQ(ok.dataOrThrow()[QStringLiteral("viewer")].toObject()[QStringLiteral("login")].toString(),
              QStringLiteral("octocat"));

    const GraphQLResult failed = GraphQLResult::decode(R"({"data": null, "errors": [{"type": "NOT_FOUND",
        "path": ["node", 0], "locations": [{"line": 2, "column": 3}], "message": "Could not resolve to a node"}]})");
    ASSERT_EQ(failed.errors.size(), 1u);
    EXPECT_EQ(failed.errors[0].type, QStringLiteral("NOT_FOUND"));
    EXPECT_EQ(failed.errors[0].path.at(1).toInt(), 0);
    EXPECT_EQ(failed.errors[0].locations[0].column, 3);
    try {
        failed.dataOrThrow();
        FAIL();
    } catch (const VantrelError& error) {
        EXPECT_EQ(error.errorDescription(), QStringLiteral("GitHub answered with errors: Could not resolve to a node"));
    }
    EXPECT_THROW(GraphQLResult::decode("<html><body>500 Internal Server Error</body></html>"), VantrelError);
    EXPECT_THROW(GraphQLResult::decode(R"({"data": {"viewer": {"login": "oc)"), VantrelError);
    EXPECT_THROW(GraphQLResult::decode("[]"), VantrelError);
    EXPECT_THROW(GraphQLResult::decode("{}").dataOrThrow(), VantrelError);
}

TEST(GitHubModels, DetailsCarryTheirMarkdownBody) {
    QString text = pullRequest();
    text.chop(1);
    text += QStringLiteral(R"(, "body": "Adds **the launch sequence**.", "headRefName": "launch", "baseRefName": "main",
        "baseRef": {"id": "REF_2", "name": "main", "target": null}, "additions": 120, "deletions": 7,
        "reviewRequests": {"totalCount": 1, "nodes": [{"id": "RR", "requestedReviewer": {"login": "hubot"}},
                                                     {"id": "RR2", "requestedReviewer": {"id": "T", "teamName": "core"}}]},
        "reviews": {"nodes": [{"id": "REV", "state": "APPROVED", "author": {"login": "hubot"}}]}})");
    const PullRequestDetails details = PullRequestDetails::fromJson(json(text.toUtf8().constData()));
    EXPECT_EQ(details.reviewRequests, (QStringList{QStringLiteral("hubot"), QStringLiteral("core")}));
    EXPECT_EQ(details.into->name, QStringLiteral("main"));
    EXPECT_FALSE(details.into->commit);
    const QString markdown = details.markdown();
    EXPECT_TRUE(markdown.startsWith(QStringLiteral("# Add the launch sequence #1\n"))) << markdown.toStdString();
    EXPECT_TRUE(markdown.contains(QStringLiteral("into `main` from `launch`"))) << markdown.toStdString();
    EXPECT_TRUE(markdown.contains(QStringLiteral("Adds **the launch sequence**.")));
}

}  // namespace
}  // namespace vantrel::test
