#include "features/github/GitHubDocuments.h"

#include "kit/VantrelError.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>

namespace vantrel::github {

namespace {

// The shared selections. A document carries the fragments it spreads (and
// the ones those spread), nothing more: GraphQL refuses unused fragments.
struct Fragment {
    const char* name;
    const char* text;
};

const Fragment kFragments[] = {
    {"ActorFields", R"(fragment ActorFields on Actor {
  login
  avatarUrl(size: $avatarSize)
  ... on Node {
    id
  }
  ... on User {
    name
  }
  ... on Organization {
    name
  }
})"},
    {"RepositoryFields", R"(fragment RepositoryFields on Repository {
  id
  databaseId
  name
  url
  pushedAt
  owner {
    login
    avatarUrl(size: $avatarSize)
  }
  hasIssuesEnabled
  isArchived
  isDisabled
  isLocked
  mergeCommitAllowed
  squashMergeAllowed
  rebaseMergeAllowed
  deleteBranchOnMerge
  viewerHasStarred
  stargazerCount
  primaryLanguage {
    name
    color
  }
})"},
    {"RefFields", R"(fragment RefFields on Ref {
  id
  name
  target {
    oid
  }
})"},
    {"MilestoneFields", R"(fragment MilestoneFields on Milestone {
  id
  title
  number
})"},
    {"LabelFields", R"(fragment LabelFields on Label {
  id
  name
  color
  isDefault
})"},
    {"UserFields", R"(fragment UserFields on User {
  id
  login
  name
  avatarUrl(size: $avatarSize)
})"},
    {"PullRequestFields", R"(fragment PullRequestFields on PullRequest {
  id
  permalink
  title
  number
  isDraft
  merged
  closed
  headRef {
    ...RefFields
  }
  mergeable
  author {
    ...ActorFields
  }
  createdAt
  updatedAt
  reviewDecision
  repository {
    ...RepositoryFields
  }
  milestone {
    ...MilestoneFields
  }
  commits {
    totalCount
  }
  reviewRequests {
    totalCount
  }
  comments {
    totalCount
  }
  reviewThreads {
    totalCount
  }
})"},
    {"IssueFields", R"(fragment IssueFields on Issue {
  id
  url
  title
  number
  state
  closed
  author {
    ...ActorFields
  }
  createdAt
  updatedAt
  repository {
    ...RepositoryFields
  }
  milestone {
    ...MilestoneFields
  }
  comments {
    totalCount
  }
  labels(first: 10) {
    nodes {
      ...LabelFields
    }
  }
  assignees(first: 10) {
    nodes {
      ...UserFields
    }
  }
})"},
    {"RepositoryProjects", R"(fragment RepositoryProjects on Repository {
  projectsV2(first: $number) {
    nodes {
      id
      number
      title
    }
  }
})"},
    {"ProjectIds", R"(fragment ProjectIds on ProjectV2Owner {
  projectsV2(first: $number) {
    nodes {
      id
    }
  }
})"},
    {"RepositoryCollaborators", R"(fragment RepositoryCollaborators on Repository {
  collaborators(first: $number) {
    nodes {
      id
      login
      name
      avatarUrl
    }
  }
})"},
    {"AssigneeIds", R"(fragment AssigneeIds on Assignable {
  assignees(first: $number) {
    nodes {
      id
    }
  }
})"},
    {"AssigneeLogins", R"(fragment AssigneeLogins on Assignable {
  assignees(first: 20) {
    nodes {
      id
      login
    }
  }
})"},
    {"PullRequestState", R"(fragment PullRequestState on PullRequest {
  id
  merged
  closed
})"},
    {"IssueState", R"(fragment IssueState on Issue {
  id
  state
  closed
})"},
    {"PullRequestSearch", R"(fragment PullRequestSearch on SearchResultItemConnection {
  issueCount
  nodes {
    ... on PullRequest {
      ...PullRequestFields
    }
  }
})"},
    {"IssueSearch", R"(fragment IssueSearch on SearchResultItemConnection {
  issueCount
  nodes {
    ... on Issue {
      ...IssueFields
    }
  }
})"},
};

// The operations, without their fragments.
struct Operation {
    const char* fileName;
    const char* operationName;
    const char* variant;
    const char* text;
};

const Operation kOperations[] = {
    {"SearchPullRequests", "SearchPullRequests", "",
     R"(query SearchPullRequests($createdOpenQuery: String!, $createdClosedQuery: String!, $assignedOpenQuery: String!, $assignedClosedQuery: String!, $mentionedOpenQuery: String!, $mentionedClosedQuery: String!, $reviewRequestsOpenQuery: String!, $reviewRequestsClosedQuery: String!, $numberOfOpenItems: Int!, $numberOfClosedItems: Int!, $avatarSize: Int!) {
  createdOpen: search(query: $createdOpenQuery, type: ISSUE, first: $numberOfOpenItems) {
    ...PullRequestSearch
  }
  createdClosed: search(query: $createdClosedQuery, type: ISSUE, first: $numberOfClosedItems) {
    ...PullRequestSearch
  }
  assignedOpen: search(query: $assignedOpenQuery, type: ISSUE, first: $numberOfOpenItems) {
    ...PullRequestSearch
  }
  assignedClosed: search(query: $assignedClosedQuery, type: ISSUE, first: $numberOfClosedItems) {
    ...PullRequestSearch
  }
  mentionedOpen: search(query: $mentionedOpenQuery, type: ISSUE, first: $numberOfOpenItems) {
    ...PullRequestSearch
  }
  mentionedClosed: search(query: $mentionedClosedQuery, type: ISSUE, first: $numberOfClosedItems) {
    ...PullRequestSearch
  }
  reviewRequestsOpen: search(query: $reviewRequestsOpenQuery, type: ISSUE, first: $numberOfOpenItems) {
    ...PullRequestSearch
  }
  reviewRequestsClosed: search(query: $reviewRequestsClosedQuery, type: ISSUE, first: $numberOfClosedItems) {
    ...PullRequestSearch
  }
})"},
    {"SearchCreatedIssues", "SearchCreatedIssues", "",
     R"(query SearchCreatedIssues($createdOpenQuery: String!, $createdClosedQuery: String!, $numberOfOpenItems: Int!, $numberOfClosedItems: Int!, $avatarSize: Int!) {
  createdOpen: search(query: $createdOpenQuery, type: ISSUE, first: $numberOfOpenItems) {
    ...IssueSearch
  }
  createdClosed: search(query: $createdClosedQuery, type: ISSUE, first: $numberOfClosedItems) {
    ...IssueSearch
  }
})"},
    {"SearchOpenIssues", "SearchOpenIssues", "",
     R"(query SearchOpenIssues($assignedOpenQuery: String!, $mentionedOpenQuery: String!, $numberOfOpenItems: Int!, $avatarSize: Int!) {
  assignedOpen: search(query: $assignedOpenQuery, type: ISSUE, first: $numberOfOpenItems) {
    ...IssueSearch
  }
  mentionedOpen: search(query: $mentionedOpenQuery, type: ISSUE, first: $numberOfOpenItems) {
    ...IssueSearch
  }
})"},
    {"FilterPullRequests", "FilterPullRequests", "",
     R"(query FilterPullRequests($query: String!, $numberOfItems: Int!, $avatarSize: Int!) {
  search(query: $query, type: ISSUE, first: $numberOfItems) {
    ...PullRequestSearch
  }
})"},
    {"FilterIssues", "FilterIssues", "",
     R"(query FilterIssues($query: String!, $numberOfItems: Int!, $avatarSize: Int!) {
  search(query: $query, type: ISSUE, first: $numberOfItems) {
    ...IssueSearch
  }
})"},
    {"SearchRepositories", "SearchRepositories", "",
     R"(query SearchRepositories($query: String!, $numberOfItems: Int!, $avatarSize: Int!) {
  search(query: $query, type: REPOSITORY, first: $numberOfItems) {
    repositoryCount
    nodes {
      ... on Repository {
        ...RepositoryFields
      }
    }
  }
})"},
    {"SearchOrganizations", "SearchOrganizations", "",
     R"(query SearchOrganizations($numberOfItems: Int!) {
  viewer {
    organizations(first: $numberOfItems) {
      nodes {
        id
        login
        name
        url
        avatarUrl
      }
    }
  }
})"},
    {"User", "User", "",
     R"(query User {
  viewer {
    id
    databaseId
    avatarUrl
    name
    email
    login
    isViewer
  }
})"},
    {"PullRequestDetails", "PullRequestDetails", "",
     R"(query PullRequestDetails($nodeId: ID!, $numberOfItems: Int!, $avatarSize: Int!) {
  node(id: $nodeId) {
    ... on PullRequest {
      id
      permalink
      number
      title
      body
      commits {
        totalCount
      }
      isDraft
      reviewDecision
      merged
      closed
      headRefName
      headRef {
        ...RefFields
      }
      mergeable
      baseRefName
      baseRef {
        ...RefFields
      }
      additions
      deletions
      createdAt
      updatedAt
      author {
        ...ActorFields
      }
      repository {
        ...RepositoryFields
      }
      milestone {
        ...MilestoneFields
      }
      labels(first: $numberOfItems) {
        nodes {
          ...LabelFields
        }
      }
      reviewRequests(first: $numberOfItems) {
        nodes {
          id
          requestedReviewer {
            ... on User {
              ...UserFields
            }
            ... on Team {
              id
              teamName: name
              teamAvatarUrl: avatarUrl(size: $avatarSize)
            }
          }
        }
      }
      reviews(last: $numberOfItems) {
        nodes {
          id
          state
          submittedAt
          author {
            ...ActorFields
          }
        }
      }
    }
  }
})"},
    {"IssueDetails", "IssueDetails", "",
     R"(query IssueDetails($nodeId: ID!, $numberOfItems: Int!, $avatarSize: Int!) {
  node(id: $nodeId) {
    ... on Issue {
      ...IssueFields
      body
      recentComments: comments(last: $numberOfItems) {
        totalCount
        nodes {
          id
          body
          createdAt
          author {
            ...ActorFields
          }
        }
      }
    }
  }
})"},
    {"DataForRepository", "DataForRepository", "",
     R"(query DataForRepository($owner: String!, $name: String!, $number: Int!, $numberOfLabels: Int!) {
  repository(owner: $owner, name: $name) {
    id
    defaultBranchRef {
      ...RefFields
    }
    refs(refPrefix: "refs/heads/", first: $number, orderBy: {field: TAG_COMMIT_DATE, direction: DESC}) {
      nodes {
        ...RefFields
      }
    }
    ...RepositoryCollaborators
    labels(first: $numberOfLabels) {
      nodes {
        ...LabelFields
      }
    }
    ...RepositoryProjects
    milestones(first: $number, states: [OPEN]) {
      nodes {
        ...MilestoneFields
      }
    }
    pullRequestTemplateUpperCase: object(expression: "HEAD:.github/PULL_REQUEST_TEMPLATE.md") {
      ... on Blob {
        text
      }
    }
    pullRequestTemplateLowerCase: object(expression: "HEAD:.github/pull_request_template.md") {
      ... on Blob {
        text
      }
    }
    issueTemplateUpperCase: object(expression: "HEAD:.github/ISSUE_TEMPLATE.md") {
      ... on Blob {
        text
      }
    }
    issueTemplateLowerCase: object(expression: "HEAD:.github/issue_template.md") {
      ... on Blob {
        text
      }
    }
    issueTemplates {
      about
      body
      name
      title
    }
  }
})"},
    {"ProjectsForRepository-pullRequest", "ProjectsForRepository", "",
     R"(query ProjectsForRepository($owner: String!, $name: String!, $pullRequestNumber: Int!, $number: Int!) {
  repository(owner: $owner, name: $name) {
    ...RepositoryProjects
    pullRequest(number: $pullRequestNumber) {
      id
      ...ProjectIds
    }
  }
})"},
    {"ProjectsForRepository-issue", "ProjectsForRepository", "issue",
     R"(query ProjectsForRepository($owner: String!, $name: String!, $issueNumber: Int!, $number: Int!) {
  repository(owner: $owner, name: $name) {
    ...RepositoryProjects
    issue(number: $issueNumber) {
      id
      ...ProjectIds
    }
  }
})"},
    {"CollaboratorsForRepository-pullRequest", "CollaboratorsForRepository", "",
     R"(query CollaboratorsForRepository($owner: String!, $name: String!, $pullRequestNumber: Int!, $number: Int!) {
  repository(owner: $owner, name: $name) {
    ...RepositoryCollaborators
    pullRequest(number: $pullRequestNumber) {
      id
      ...AssigneeIds
    }
  }
})"},
    {"CollaboratorsForRepository-issue", "CollaboratorsForRepository", "issue",
     R"(query CollaboratorsForRepository($owner: String!, $name: String!, $issueNumber: Int!, $number: Int!) {
  repository(owner: $owner, name: $name) {
    ...RepositoryCollaborators
    issue(number: $issueNumber) {
      id
      ...AssigneeIds
    }
  }
})"},
    {"MilestonesForRepository", "MilestonesForRepository", "",
     R"(query MilestonesForRepository($owner: String!, $name: String!, $number: Int!) {
  repository(owner: $owner, name: $name) {
    milestones(first: $number, states: [OPEN], orderBy: {field: DUE_DATE, direction: ASC}) {
      nodes {
        ...MilestoneFields
      }
    }
  }
})"},
    {"CreateIssue", "CreateIssue", "",
     R"(mutation CreateIssue($repositoryNodeId: ID!, $title: String!, $body: String!, $assigneeIds: [ID!]!, $labelIds: [ID!]!, $projectIds: [ID!]!, $milestoneId: ID, $avatarSize: Int!) {
  createIssue(input: {repositoryId: $repositoryNodeId, title: $title, body: $body, assigneeIds: $assigneeIds, labelIds: $labelIds, projectIds: $projectIds, milestoneId: $milestoneId}) {
    issue {
      ...IssueFields
    }
  }
})"},
    {"CreatePullRequest", "CreatePullRequest", "",
     R"(mutation CreatePullRequest($repositoryNodeId: ID!, $baseRefName: String!, $headRefName: String!, $title: String!, $body: String!, $isDraft: Boolean!) {
  createPullRequest(input: {repositoryId: $repositoryNodeId, baseRefName: $baseRefName, headRefName: $headRefName, title: $title, body: $body, draft: $isDraft}) {
    pullRequest {
      id
      permalink
      number
      title
    }
  }
})"},
    {"InitPullRequest", "InitPullRequest", "",
     R"(mutation InitPullRequest($pullRequestId: ID!, $reviewers: [ID!]!, $assignees: [ID!]!, $labels: [ID!]!, $projects: [ID!]!, $milestone: ID, $avatarSize: Int!) {
  requestReviews(input: {pullRequestId: $pullRequestId, userIds: $reviewers}) {
    clientMutationId
  }
  addAssigneesToAssignable(input: {assignableId: $pullRequestId, assigneeIds: $assignees}) {
    clientMutationId
  }
  addLabelsToLabelable(input: {labelableId: $pullRequestId, labelIds: $labels}) {
    clientMutationId
  }
  updatePullRequest(input: {pullRequestId: $pullRequestId, projectIds: $projects, milestoneId: $milestone}) {
    pullRequest {
      ...PullRequestFields
    }
  }
})"},
    {"MergePullRequest", "MergePullRequest", "",
     R"(mutation MergePullRequest($nodeId: ID!, $method: PullRequestMergeMethod!) {
  mergePullRequest(input: {pullRequestId: $nodeId, mergeMethod: $method}) {
    pullRequest {
      ...PullRequestState
      mergeable
    }
  }
})"},
    {"ClosePullRequest", "ClosePullRequest", "",
     R"(mutation ClosePullRequest($nodeId: ID!) {
  closePullRequest(input: {pullRequestId: $nodeId}) {
    pullRequest {
      ...PullRequestState
    }
  }
})"},
    {"ReopenPullRequest", "ReopenPullRequest", "",
     R"(mutation ReopenPullRequest($nodeId: ID!) {
  reopenPullRequest(input: {pullRequestId: $nodeId}) {
    pullRequest {
      ...PullRequestState
    }
  }
})"},
    {"CloseIssue", "CloseIssue", "",
     R"(mutation CloseIssue($nodeId: ID!) {
  closeIssue(input: {issueId: $nodeId}) {
    issue {
      ...IssueState
    }
  }
})"},
    {"ReopenIssue", "ReopenIssue", "",
     R"(mutation ReopenIssue($nodeId: ID!) {
  reopenIssue(input: {issueId: $nodeId}) {
    issue {
      ...IssueState
    }
  }
})"},
    {"ChangePullRequestMilestone", "ChangePullRequestMilestone", "",
     R"(mutation ChangePullRequestMilestone($pullRequestId: ID!, $milestoneId: ID) {
  updatePullRequest(input: {pullRequestId: $pullRequestId, milestoneId: $milestoneId}) {
    pullRequest {
      id
      milestone {
        ...MilestoneFields
      }
    }
  }
})"},
    {"ChangeIssueMilestone", "ChangeIssueMilestone", "",
     R"(mutation ChangeIssueMilestone($issueId: ID!, $milestoneId: ID) {
  updateIssue(input: {id: $issueId, milestoneId: $milestoneId}) {
    issue {
      id
      milestone {
        ...MilestoneFields
      }
    }
  }
})"},
    {"ChangePullRequestProjects", "ChangePullRequestProjects", "",
     R"(mutation ChangePullRequestProjects($pullRequestId: ID!, $projectIds: [ID!]) {
  updatePullRequest(input: {pullRequestId: $pullRequestId, projectIds: $projectIds}) {
    pullRequest {
      id
    }
  }
})"},
    {"ChangeIssueProjects", "ChangeIssueProjects", "",
     R"(mutation ChangeIssueProjects($issueId: ID!, $projectIds: [ID!]) {
  updateIssue(input: {id: $issueId, projectIds: $projectIds}) {
    issue {
      id
    }
  }
})"},
    {"ChangePullRequestAssignees", "ChangePullRequestAssignees", "",
     R"(mutation ChangePullRequestAssignees($pullRequestId: ID!, $assigneeIds: [ID!]) {
  updatePullRequest(input: {pullRequestId: $pullRequestId, assigneeIds: $assigneeIds}) {
    pullRequest {
      id
      ...AssigneeLogins
    }
  }
})"},
    {"ChangeIssueAssignees", "ChangeIssueAssignees", "",
     R"(mutation ChangeIssueAssignees($issueId: ID!, $assigneeIds: [ID!]) {
  updateIssue(input: {id: $issueId, assigneeIds: $assigneeIds}) {
    issue {
      id
      ...AssigneeLogins
    }
  }
})"},
    {"pullRequestReview", "pullRequestReview", "",
     R"(mutation pullRequestReview($pullRequestId: ID!, $collaboratorId: ID!) {
  requestReviews(input: {pullRequestId: $pullRequestId, userIds: [$collaboratorId], union: true}) {
    pullRequest {
      id
    }
  }
})"},
};

// The operation followed by every fragment it reaches.
QString assemble(const QString& operation) {
    QString text = operation;
    QStringList included;
    bool grew = true;
    while (grew) {
        grew = false;
        for (const Fragment& fragment : kFragments) {
            const QString name = QString::fromLatin1(fragment.name);
            if (included.contains(name)) continue;
            static const QRegularExpression spread(QStringLiteral("\\.\\.\\.([A-Za-z_][A-Za-z0-9_]*)"));
            bool used = false;
            for (auto it = spread.globalMatch(text); it.hasNext();)
                if (it.next().captured(1) == name) {
                    used = true;
                    break;
                }
            if (!used) continue;
            included << name;
            text += QStringLiteral("\n\n") + QString::fromUtf8(fragment.text);
            grew = true;
        }
    }
    return text + QLatin1Char('\n');
}

}  // namespace

const std::vector<GraphQLDocument>& graphQLDocuments() {
    static const std::vector<GraphQLDocument> documents = [] {
        std::vector<GraphQLDocument> all;
        for (const Operation& operation : kOperations)
            all.push_back({QString::fromLatin1(operation.fileName) + QStringLiteral(".graphql"),
                           QString::fromLatin1(operation.operationName), assemble(QString::fromUtf8(operation.text))});
        return all;
    }();
    return documents;
}

const QString& graphQLDocument(const QString& operationName, const QString& variant) {
    const auto& documents = graphQLDocuments();
    for (std::size_t i = 0; i < std::size(kOperations); ++i)
        if (documents[i].operationName == operationName && QLatin1String(kOperations[i].variant) == variant)
            return documents[i].text;
    throw VantrelError(QStringLiteral("Unknown GraphQL operation: ") + operationName);
}

QStringList writeGraphQLDocuments(const QString& directory) {
    if (!QDir().mkpath(directory))
        throw VantrelError(QStringLiteral("Cannot create the folder: ") + directory);
    QStringList written;
    for (const GraphQLDocument& document : graphQLDocuments()) {
        const QString path = QDir(directory).filePath(document.fileName);
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(document.text.toUtf8()) < 0 || !file.commit())
            throw VantrelError(QStringLiteral("Cannot write the GraphQL document: ") + path);
        written << path;
    }
    return written;
}

}  // namespace vantrel::github
