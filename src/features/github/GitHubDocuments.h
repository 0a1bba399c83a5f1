#pragma once

#include <QString>

#include <vector>

namespace vantrel::github {

// One GraphQL document the integration sends: the operation's name (as it
// stands in the document) and the whole text, fragments included.
struct GraphQLDocument {
    // The file name `vantrel github graphql-documents` writes it under
    // ("SearchPullRequests.graphql"; two variants of one operation are told
    // apart by a suffix).
    QString fileName;
    QString operationName;
    QString text;
};

// Every document, assembled once from their pieces and the shared
// selections of pull-request, issue, repository and actor fields, then kept
// for the process. Thread-safe.
const std::vector<GraphQLDocument>& graphQLDocuments();

// The document of an operation ("SearchPullRequests", "CloseIssue"…). The
// operations that exist in two variants answer the pull-request one unless
// `variant` names the other ("issue"). Throws VantrelError for an unknown name.
const QString& graphQLDocument(const QString& operationName, const QString& variant = QString());

// Writes every document into the folder (created when missing), one file
// each; answers the paths written. Throws VantrelError when a file cannot be written.
QStringList writeGraphQLDocuments(const QString& directory);

}  // namespace vantrel::github
