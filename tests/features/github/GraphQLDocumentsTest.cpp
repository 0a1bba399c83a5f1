// The GraphQL documents the integration sends, checked against GitHub's
// published schema (@octokit/graphql-schema, installed by scripts/install-deps
// into the cache folder scripts/github-schema-dir names) with graphql-js's
// `validate`, as `vantrel github graphql-documents DIR` writes them.
#include "features/github/GitHubDocuments.h"
#include "GitHubTestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <map>

namespace vantrel::test {
namespace {

using github::graphQLDocuments;

// node tests/features/github/schema/validate.mjs INSTALL DIR
GitHubProcessRun validateFolder(const QString& folder) {
    const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    EXPECT_FALSE(node.isEmpty()) << "node is not installed (scripts/install-deps)";
    const QString install = QStringLiteral(VANTREL_GITHUB_SCHEMA_INSTALL);
    EXPECT_TRUE(QFileInfo::exists(install + QStringLiteral("/node_modules/@octokit/graphql-schema/schema.json")))
        << "the published schema is not installed in " << install.toStdString() << ": run scripts/install-deps";
    return runProcess(node, {gitHubTestFile(QStringLiteral("schema/validate.mjs")), install, folder});
}

// The variables an operation declares: name → type.
std::map<QString, QString> declaredVariables(const QString& document) {
    std::map<QString, QString> variables;
    const QString head = document.left(document.indexOf(QLatin1Char('{')));
    static const QRegularExpression variable(QStringLiteral("\\$(\\w+):\\s*([\\w\\[\\]!]+)"));
    for (auto it = variable.globalMatch(head); it.hasNext();) {
        const auto match = it.next();
        variables[match.captured(1)] = match.captured(2);
    }
    return variables;
}

TEST(GraphQLDocuments, EveryWrittenDocumentValidatesAgainstGitHubsPublishedSchema) {
    QTemporaryDir folder;
    const GitHubProcessRun written = runVantrel({QStringLiteral("github"), QStringLiteral("graphql-documents"),
                                                 folder.filePath(QStringLiteral("documents"))});
    ASSERT_EQ(written.exitCode, 0) << written.err.toStdString();
    const QStringList files = QDir(folder.filePath(QStringLiteral("documents"))).entryList({QStringLiteral("*.graphql")});
    EXPECT_EQ(files.size(), static_cast<qsizetype>(graphQLDocuments().size()));
    EXPECT_EQ(written.out.trimmed().split(QLatin1Char('\n')).size(), files.size());

    const GitHubProcessRun validation = validateFolder(folder.filePath(QStringLiteral("documents")));
    EXPECT_EQ(validation.exitCode, 0) << validation.out.toStdString() << validation.err.toStdString();
    EXPECT_TRUE(validation.out.contains(QStringLiteral("%1 documents, 0 problems").arg(files.size())))
        << validation.out.toStdString();
}

TEST(GraphQLDocuments, TheCheckRefusesAFieldGitHubDoesNotHave) {
    QTemporaryDir folder;
    const QString invalid = QString(github::graphQLDocument(QStringLiteral("User")))
                                .replace(QStringLiteral("isViewer"), QStringLiteral("isViewerOfThings"));
    writeTestFile(folder.filePath(QStringLiteral("User.graphql")), invalid.toUtf8());
    writeTestFile(folder.filePath(QStringLiteral("Broken.graphql")), QByteArray("query Broken { viewer { login "));
    const GitHubProcessRun validation = validateFolder(folder.path());
    EXPECT_EQ(validation.exitCode, 1);
    EXPECT_TRUE(validation.out.contains(QStringLiteral("User.graphql: Cannot query field \"isViewerOfThings\" on type \"User\"")))
        << validation.out.toStdString();
    EXPECT_TRUE(validation.out.contains(QStringLiteral("Broken.graphql: Syntax Error"))) << validation.out.toStdString();
}

TEST(GraphQLDocuments, TheCheckSaysSoWhenItsPackagesAreMissing) {
    QTemporaryDir empty;
    QTemporaryDir documents;
    writeTestFile(documents.filePath(QStringLiteral("User.graphql")), github::graphQLDocument(QStringLiteral("User")).toUtf8());
    const GitHubProcessRun validation =
        runProcess(QStandardPaths::findExecutable(QStringLiteral("node")),
                   {gitHubTestFile(QStringLiteral("schema/validate.mjs")), empty.path(), documents.path()});
    EXPECT_EQ(validation.exitCode, 2);
    EXPECT_TRUE(validation.err.contains(QStringLiteral("the published schema is not installed"))) << validation.err.toStdString();
    EXPECT_FALSE(validation.out.contains(QStringLiteral("documents,"))) << validation.out.toStdString();

    const GitHubProcessRun noFolder =
        runProcess(QStandardPaths::findExecutable(QStringLiteral("node")),
                   {gitHubTestFile(QStringLiteral("schema/validate.mjs")), QStringLiteral(VANTREL_GITHUB_SCHEMA_INSTALL)});
    EXPECT_EQ(noFolder.exitCode, 2);
    EXPECT_TRUE(noFolder.err.contains(QStringLiteral("usage: validate.mjs INSTALL FOLDER"))) << noFolder.err.toStdString();
}

TEST(GraphQLDocuments, EachOperationDeclaresTheVariablesItIsSentWith) {
    const std::map<QString, std::map<QString, QString>> expected{
        {QStringLiteral("SearchPullRequests.graphql"),
         {{"createdOpenQuery", "String!"},
          {"createdClosedQuery", "String!"},
          {"assignedOpenQuery", "String!"},
          {"assignedClosedQuery", "String!"},
          {"mentionedOpenQuery", "String!"},
          {"mentionedClosedQuery", "String!"},
          {"reviewRequestsOpenQuery", "String!"},
          {"reviewRequestsClosedQuery", "String!"},
          {"numberOfOpenItems", "Int!"},
          {"numberOfClosedItems", "Int!"},
          {"avatarSize", "Int!"}}},
        {QStringLiteral("SearchCreatedIssues.graphql"),
         {{"createdOpenQuery", "String!"},
          {"createdClosedQuery", "String!"},
          {"numberOfOpenItems", "Int!"},
          {"numberOfClosedItems", "Int!"},
          {"avatarSize", "Int!"}}},
        {QStringLiteral("SearchOpenIssues.graphql"),
         {{"assignedOpenQuery", "String!"},
          {"mentionedOpenQuery", "String!"},
          {"numberOfOpenItems", "Int!"},
          {"avatarSize", "Int!"}}},
        {QStringLiteral("FilterPullRequests.graphql"),
         {{"query", "String!"}, {"numberOfItems", "Int!"}, {"avatarSize", "Int!"}}},
        {QStringLiteral("FilterIssues.graphql"), {{"query", "String!"}, {"numberOfItems", "Int!"}, {"avatarSize", "Int!"}}},
        {QStringLiteral("SearchRepositories.graphql"),
         {{"query", "String!"}, {"numberOfItems", "Int!"}, {"avatarSize", "Int!"}}},
        {QStringLiteral("SearchOrganizations.graphql"), {{"numberOfItems", "Int!"}}},
        {QStringLiteral("User.graphql"), {}},
        {QStringLiteral("PullRequestDetails.graphql"),
         {{"nodeId", "ID!"}, {"numberOfItems", "Int!"}, {"avatarSize", "Int!"}}},
        {QStringLiteral("IssueDetails.graphql"), {{"nodeId", "ID!"}, {"numberOfItems", "Int!"}, {"avatarSize", "Int!"}}},
        {QStringLiteral("DataForRepository.graphql"),
         {{"owner", "String!"}, {"name", "String!"}, {"number", "Int!"}, {"numberOfLabels", "Int!"}}},
        {QStringLiteral("ProjectsForRepository-pullRequest.graphql"),
         {{"owner", "String!"}, {"name", "String!"}, {"pullRequestNumber", "Int!"}, {"number", "Int!"}}},
        {QStringLiteral("ProjectsForRepository-issue.graphql"),
         {{"owner", "String!"}, {"name", "String!"}, {"issueNumber", "Int!"}, {"number", "Int!"}}},
        {QStringLiteral("CollaboratorsForRepository-pullRequest.graphql"),
         {{"owner", "String!"}, {"name", "String!"}, {"pullRequestNumber", "Int!"}, {"number", "Int!"}}},
        {QStringLiteral("CollaboratorsForRepository-issue.graphql"),
         {{"owner", "String!"}, {"name", "String!"}, {"issueNumber", "Int!"}, {"number", "Int!"}}},
        {QStringLiteral("MilestonesForRepository.graphql"), {{"owner", "String!"}, {"name", "String!"}, {"number", "Int!"}}},
        {QStringLiteral("CreateIssue.graphql"),
         {{"repositoryNodeId", "ID!"},
          {"title", "String!"},
          {"body", "String!"},
          {"assigneeIds", "[ID!]!"},
          {"labelIds", "[ID!]!"},
          {"projectIds", "[ID!]!"},
          {"milestoneId", "ID"},
          {"avatarSize", "Int!"}}},
        {QStringLiteral("CreatePullRequest.graphql"),
         {{"repositoryNodeId", "ID!"},
          {"baseRefName", "String!"},
          {"headRefName", "String!"},
          {"title", "String!"},
          {"body", "String!"},
          {"isDraft", "Boolean!"}}},
        {QStringLiteral("InitPullRequest.graphql"),
         {{"pullRequestId", "ID!"},
          {"reviewers", "[ID!]!"},
          {"assignees", "[ID!]!"},
          {"labels", "[ID!]!"},
          {"projects", "[ID!]!"},
          {"milestone", "ID"},
          {"avatarSize", "Int!"}}},
        {QStringLiteral("MergePullRequest.graphql"), {{"nodeId", "ID!"}, {"method", "PullRequestMergeMethod!"}}},
        {QStringLiteral("ClosePullRequest.graphql"), {{"nodeId", "ID!"}}},
        {QStringLiteral("ReopenPullRequest.graphql"), {{"nodeId", "ID!"}}},
        {QStringLiteral("CloseIssue.graphql"), {{"nodeId", "ID!"}}},
        {QStringLiteral("ReopenIssue.graphql"), {{"nodeId", "ID!"}}},
        {QStringLiteral("ChangePullRequestMilestone.graphql"), {{"pullRequestId", "ID!"}, {"milestoneId", "ID"}}},
        {QStringLiteral("ChangeIssueMilestone.graphql"), {{"issueId", "ID!"}, {"milestoneId", "ID"}}},
        {QStringLiteral("ChangePullRequestProjects.graphql"), {{"pullRequestId", "ID!"}, {"projectIds", "[ID!]"}}},
        {QStringLiteral("ChangeIssueProjects.graphql"), {{"issueId", "ID!"}, {"projectIds", "[ID!]"}}},
        {QStringLiteral("ChangePullRequestAssignees.graphql"), {{"pullRequestId", "ID!"}, {"assigneeIds", "[ID!]"}}},
        {QStringLiteral("ChangeIssueAssignees.graphql"), {{"issueId", "ID!"}, {"assigneeIds", "[ID!]"}}},
        {QStringLiteral("pullRequestReview.graphql"), {{"pullRequestId", "ID!"}, {"collaboratorId", "ID!"}}},
    };
    QSet<QString> seen;
    for (const github::GraphQLDocument& document : graphQLDocuments()) {
        seen.insert(document.fileName);
        const auto found = expected.find(document.fileName);
        ASSERT_NE(found, expected.end()) << "unexpected document " << document.fileName.toStdString();
        std::map<QString, QString> want;
        for (const auto& [name, type] : found->second) want[name] = type;
        EXPECT_EQ(declaredVariables(document.text), want) << document.fileName.toStdString();
        const QString kind = document.text.startsWith(QStringLiteral("mutation")) ? QStringLiteral("mutation ")
                                                                                   : QStringLiteral("query ");
        EXPECT_TRUE(document.text.startsWith(kind + document.operationName))
            << document.fileName.toStdString() << " names another operation";
    }
    EXPECT_EQ(seen.size(), static_cast<qsizetype>(expected.size()));
}

TEST(GraphQLDocuments, AnUnknownOperationAndAnUnwritableFolderAreRefused) {
    EXPECT_THROW(github::graphQLDocument(QStringLiteral("DeleteEverything")), std::exception);

    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("a-file"));
    writeTestFile(file, "not a folder");
    const GitHubProcessRun written =
        runVantrel({QStringLiteral("github"), QStringLiteral("graphql-documents"), file + QStringLiteral("/below")});
    EXPECT_EQ(written.exitCode, 1);
    EXPECT_TRUE(written.err.contains(QStringLiteral("Cannot create the folder"))) << written.err.toStdString();

    const GitHubProcessRun missing = runVantrel({QStringLiteral("github"), QStringLiteral("graphql-documents")});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("usage: vantrel github"))) << missing.err.toStdString();
}

}  // namespace
}  // namespace vantrel::test
