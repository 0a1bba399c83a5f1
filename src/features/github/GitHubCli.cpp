// `vantrel github …`: sign-in, the lists, and the GraphQL documents.
#include "features/github/GitHubCli.h"

#include "features/github/GitHubDocuments.h"
#include "features/github/GitHubServices.h"
#include "kit/CommandLine.h"
#include "kit/VantrelError.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <cstdio>

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

void printJson(const QJsonValue& value) {
    const QJsonDocument document = value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    std::fputs(document.toJson(QJsonDocument::Indented).constData(), stdout);
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

std::unique_ptr<GitHubServices> makeServices() {
    std::shared_ptr<KeychainBackend> backend =
        platform().makeKeychainBackend ? platform().makeKeychainBackend() : nullptr;
    if (!backend) throw VantrelError(QStringLiteral("There is no keychain on this desktop to keep the GitHub session in"));
    return GitHubServices::make(std::move(backend));
}

QString statusLine(GitHubServices& services) {
    switch (services.auth().status().status) {
    case OAuthController::Status::authorized: {
        const QString login = services.api().githubUsername();
        return login.isEmpty() ? QStringLiteral("Signed in to GitHub") : QStringLiteral("Signed in to GitHub as ") + login;
    }
    case OAuthController::Status::notAuthorized: return QStringLiteral("Not signed in to GitHub");
    case OAuthController::Status::invalidSession:
        return QStringLiteral("The stored GitHub session cannot be read: sign in again with `vantrel github sign-in`");
    case OAuthController::Status::versionChanged:
        return QStringLiteral("The GitHub sign-in changed: sign in again with `vantrel github sign-in`");
    }
    return {};
}

int status(GitHubServices& services) {
    cli::printLine(statusLine(services));
    return services.auth().isAuthorized() ? 0 : 1;
}

int signIn(GitHubServices& services, const QStringList& arguments) {
    const bool device = arguments.contains(QStringLiteral("--device"));
    for (const QString& argument : arguments)
        if (argument != QLatin1String("--device")) return usage();
    if (services.clientProblem()) {
        cli::printError(*services.clientProblem());
        return 1;
    }
    QEventLoop loop;
    std::optional<Result<OAuthSession>> outcome;
    const auto finish = [&](const Result<OAuthSession>& result) {
        outcome = result;
        loop.quit();
    };
    if (device) {
        services.auth().authorizeWithDevice(
            [](const OAuthDeviceAuthorization& code) {
                cli::printLine(QStringLiteral("Open %1 and enter the code %2")
                                   .arg(code.verificationURI.toString(), code.userCode));
            },
            finish);
    } else {
        services.auth().authorize(finish);
        if (!outcome) std::fputs("Waiting for the browser to finish signing in to GitHub…\n", stderr);
    }
    if (!outcome) loop.exec();
    if (outcome->isFailure()) {
        cli::printError(QStringLiteral("Signing in to GitHub failed: ") + outcome->error().errorDescription());
        return 1;
    }
    services.auth().resetStatus();
    cli::printLine(statusLine(services));
    return 0;
}

int signOut(GitHubServices& services) {
    services.auth().signOut();
    cli::printLine(QStringLiteral("Signed out of GitHub"));
    return 0;
}

std::optional<Repository> repositoryArgument(QStringList& arguments, bool* bad) {
    const std::optional<QString> text = cli::takeOption(arguments, QStringLiteral("--repository"));
    if (!text) return std::nullopt;
    const QStringList parts = text->split(QLatin1Char('/'));
    if (parts.size() != 2 || parts[0].isEmpty() || parts[1].isEmpty()) {
        cli::printError(QStringLiteral("the repository is OWNER/NAME, not '%1'").arg(*text));
        *bad = true;
        return std::nullopt;
    }
    Repository repository;
    repository.owner.githubUsername = parts[0];
    repository.name = parts[1];
    return repository;
}

// Refreshes a resource and waits for its answer: the network's, or the
// cached one when the network fails. nothing when neither came.
template <typename T>
std::optional<T> load(const std::shared_ptr<APIResource<T>>& resource, QString* problem, bool* fromCache) {
    QEventLoop loop;
    QObject context;
    std::optional<T> local;
    std::optional<T> network;
    std::optional<HTTPError> failure;
    bool done = false;
    resource->subscribe(&context, [&](const typename APIResource<T>::Result& result) {
        if (result.isLocal()) {
            if (result.value) local = result.value;
            return;
        }
        if (result.isNetwork())
            network = result.value;
        else
            failure = result.error;
        done = true;
        loop.quit();
    });
    resource->refresh();
    if (!done) loop.exec();
    if (network) return network;
    const QString message = failure ? failure->message : QStringLiteral("GitHub did not answer");
    if (local) {
        *fromCache = true;
        *problem = message;
        return local;
    }
    *problem = message;
    if (failure && (failure->kind == HTTPError::Kind::tokenInvalid || failure->isUnauthorized()))
        *problem = message + QStringLiteral(" — sign in again with `vantrel github sign-in`");
    return std::nullopt;
}

QString stateText(const FoundPullRequest& pr) {
    switch (pr.status()) {
    case PullRequestStatus::merged: return QStringLiteral("merged");
    case PullRequestStatus::closed: return QStringLiteral("closed");
    case PullRequestStatus::open: return pr.isDraft ? QStringLiteral("draft") : QStringLiteral("open");
    }
    return {};
}

void printPullRequests(const PullRequestGroups& groups) {
    for (const auto& group : groups.groups) {
        cli::printLine(title(group.group) + QLatin1Char(':'));
        if (group.items.empty()) cli::printLine(QStringLiteral("  (none)"));
        for (const FoundPullRequest& pr : group.items)
            cli::printLine(QStringLiteral("  %1#%2  %3  [%4]")
                               .arg(pr.repository.fullName())
                               .arg(pr.number)
                               .arg(pr.title, stateText(pr)));
    }
}

void printIssues(const std::vector<IssueGroups>& lists) {
    for (const IssueGroups& groups : lists)
        for (const auto& group : groups.groups) {
            cli::printLine(group.title + QLatin1Char(':'));
            if (group.items.empty()) cli::printLine(QStringLiteral("  (none)"));
            for (const FoundIssue& issue : group.items)
                cli::printLine(QStringLiteral("  %1#%2  %3  [%4]")
                                   .arg(issue.repository.fullName())
                                   .arg(issue.number)
                                   .arg(issue.title, issue.state == IssueState::open ? QStringLiteral("open")
                                                                                     : QStringLiteral("closed")));
        }
}

int list(GitHubServices& services, const QString& which, QStringList arguments) {
    const bool json = cli::takeFlag(arguments, QStringLiteral("--json"));
    bool bad = false;
    const std::optional<Repository> repository = repositoryArgument(arguments, &bad);
    if (bad) return 2;
    if (!arguments.isEmpty()) return usage();
    if (!services.auth().isAuthorized()) {
        cli::printError(statusLine(services) + QStringLiteral(": run `vantrel github sign-in` first"));
        return 1;
    }
    GitHubAPI& api = services.api();
    QString problem;
    bool fromCache = false;
    QJsonValue output;
    bool loaded = false;
    const auto report = [&] {
        if (fromCache) cli::printError(QStringLiteral("GitHub cannot be reached, showing the cached list: ") + problem);
    };
    if (which == QLatin1String("pull-requests")) {
        api.pullRequestsRepository = repository;
        if (const auto groups = load(api.pullRequests, &problem, &fromCache)) {
            loaded = true;
            report();
            if (json) output = groups->toJson(); else printPullRequests(*groups);
        }
    } else if (which == QLatin1String("issues")) {
        api.createdIssuesRepository = repository;
        api.openIssuesRepository = repository;
        const auto created = load(api.createdIssues, &problem, &fromCache);
        const auto open = created ? load(api.openIssues, &problem, &fromCache) : std::nullopt;
        if (created && open) {
            loaded = true;
            report();
            if (json) {
                QJsonArray groups = created->toJson();
                for (const QJsonValue& group : open->toJson()) groups.append(group);
                output = groups;
            } else {
                printIssues({*created, *open});
            }
        }
    } else if (which == QLatin1String("repositories")) {
        if (const auto repositories = load(api.filteredRepositories, &problem, &fromCache)) {
            loaded = true;
            report();
            QJsonArray array;
            for (const Repository& repo : *repositories) {
                if (json) array.append(repo.toJson());
                else cli::printLine(QStringLiteral("%1  ★%2  %3").arg(repo.fullName()).arg(repo.numberOfStars.value_or(0)).arg(repo.url));
            }
            if (json) output = array;
        }
    } else if (which == QLatin1String("notifications")) {
        api.notificationsRepository = repository;
        if (const auto notifications = load(api.notifications, &problem, &fromCache)) {
            loaded = true;
            report();
            QJsonArray array;
            for (const Notification& notification : *notifications) {
                if (json) array.append(notification.toJson());
                else cli::printLine(QStringLiteral("%1 %2/%3  %4  (%5)")
                                        .arg(notification.unread ? QStringLiteral("●") : QStringLiteral(" "),
                                             notification.repositoryOwner, notification.repositoryName,
                                             notification.title, notification.reasonText));
            }
            if (json) output = array;
        }
    } else if (which == QLatin1String("workflow-runs")) {
        std::optional<Repository> chosen = repository;
        if (!chosen) {
            // The runs of the repository the user pushed to last.
            const auto repositories = load(api.filteredRepositories, &problem, &fromCache);
            if (repositories && !repositories->empty()) chosen = repositories->front();
            else if (repositories) problem = QStringLiteral("You have no repositories with workflow runs");
        }
        if (chosen) {
            api.workflowRunsRepository = chosen;
            if (const auto runs = load(api.workflowRuns, &problem, &fromCache)) {
                loaded = true;
                report();
                QJsonArray array;
                for (const WorkflowRun& run : *runs) {
                    if (json) array.append(run.toJson());
                    else cli::printLine(QStringLiteral("%1 #%2  %3  %4  %5")
                                            .arg(run.name)
                                            .arg(run.runNumber)
                                            .arg(run.headBranch.value_or(QString()),
                                                 run.conclusion ? rawValue(*run.conclusion)
                                                 : run.status   ? rawValue(*run.status)
                                                                : QString(),
                                                 run.headCommitMessage.value_or(QString())));
                }
                if (json) output = array;
            }
        }
    }
    if (!loaded) {
        cli::printError(problem.isEmpty() ? QStringLiteral("GitHub did not answer") : problem);
        return 1;
    }
    if (json) printJson(output);
    return 0;
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
    static const QStringList lists{QStringLiteral("pull-requests"), QStringLiteral("issues"),
                                   QStringLiteral("repositories"), QStringLiteral("notifications"),
                                   QStringLiteral("workflow-runs")};
    static const QStringList session{QStringLiteral("sign-in"), QStringLiteral("sign-out"), QStringLiteral("status")};
    if (!lists.contains(subcommand) && !session.contains(subcommand)) return usage();
    try {
        const std::unique_ptr<GitHubServices> services = makeServices();
        if (subcommand == QLatin1String("status")) return arguments.isEmpty() ? status(*services) : usage();
        if (subcommand == QLatin1String("sign-out")) return arguments.isEmpty() ? signOut(*services) : usage();
        if (subcommand == QLatin1String("sign-in")) return signIn(*services, arguments);
        return list(*services, subcommand, arguments);
    } catch (const std::exception& error) {
        cli::printError(VantrelError::describe(error));
        return 1;
    }
}

}  // namespace vantrel::github
