// `vantrel github …`: sign-in, the lists, and the GraphQL documents.
#include "features/github/GitHubCli.h"

#include "features/github/GitHubDocuments.h"
#include "kit/CommandLine.h"
#include "kit/VantrelError.h"

namespace vantrel::github {

namespace {

const char* const kUsage =
    "usage: vantrel github sign-in [--device]\n"
    "       vantrel github sign-out\n"
    "       vantrel github status\n"
    "       vantrel github pull-requests|issues|repositories|notifications|workflow-runs [--json]"
    " [--repository OWNER/NAME]\n"
    "       vantrel github graphql-documents DIR\n";

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

int graphQLDocuments(const QStringList& arguments) {
    if (arguments.size() != 1 || arguments.first().startsWith(QLatin1Char('-'))) return usage();
    try {
        const QStringList written = writeGraphQLDocuments(arguments.first());
        for (const QString& path : written) cli::printLine(path);
        return 0;
    } catch (const std::exception& error) {
        cli::printError(VantrelError::describe(error));
        return 1;
    }
}

}  // namespace

int runCli(QStringList arguments) {
    if (arguments.isEmpty()) return usage();
    const QString subcommand = arguments.takeFirst();
    if (subcommand == QLatin1String("graphql-documents")) return graphQLDocuments(arguments);
    if (subcommand == QLatin1String("--help") || subcommand == QLatin1String("help")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    return usage();
}

}  // namespace vantrel::github
