#include "features/github/GitHubFeature.h"

#include "core/api/FeatureContext.h"
#include "features/github/GitHubCli.h"
#include "features/github/GitHubServices.h"
#include "features/github/ui/GitHubCreateForms.h"
#include "features/github/ui/GitHubDetailView.h"
#include "features/github/ui/GitHubListView.h"
#include "platform/Platform.h"

namespace vantrel {

namespace {

const char* const kListCommands[] = {"github-pullRequests",       "github-createdIssues",
                                     "github-openIssues",         "github-searchPullRequests",
                                     "github-searchIssues",       "github-searchRepositories",
                                     "github-notifications",      "github-actions"};

}  // namespace

GitHubFeature::GitHubFeature() = default;
GitHubFeature::~GitHubFeature() = default;

github::GitHubServices* GitHubFeature::services() {
    if (!m_services) {
        std::shared_ptr<KeychainBackend> backend =
            platform().makeKeychainBackend ? platform().makeKeychainBackend() : nullptr;
        if (!backend) return nullptr;
        m_services = github::GitHubServices::make(std::move(backend));
    }
    return m_services.get();
}

void GitHubFeature::registerWith(FeatureContext& context) {
    for (const char* id : kListCommands) {
        const QString commandId = QLatin1String(id);
        // The search fallbacks run the command with the root search text: the view starts with it.
        context.addCommandHandler(commandId, [commandId](const VantrelCommand&, const CommandRunContext& run) {
            return CommandOutcome::showView(commandId, run.inputText());
        });
        context.addView(commandId, [this, commandId](const CommandOutcome& outcome) -> QWidget* {
            github::GitHubServices* shared = services();
            if (!shared) return nullptr;
            return new github::GitHubListView(*shared, *github::GitHubListView::kindOf(commandId), outcome.initialQuery);
        });
    }
    context.addView(github::GitHubListView::detailsCommandId, [this](const CommandOutcome& outcome) -> QWidget* {
        github::GitHubServices* shared = services();
        if (!shared || outcome.arguments.size() != 2) return nullptr;
        const auto kind = outcome.arguments[0] == QLatin1String("issue") ? github::GitHubDetailView::Kind::issue
                                                                          : github::GitHubDetailView::Kind::pullRequest;
        return new github::GitHubDetailView(shared->api(), kind, outcome.arguments[1]);
    });
    context.addCommandHandler(QStringLiteral("github-logout"), [this](const VantrelCommand&, const CommandRunContext&) {
        github::GitHubServices* shared = services();
        if (!shared)
            return CommandOutcome::failed(QStringLiteral("Failed signing out of GitHub"),
                                          QStringLiteral("There is no keychain on this desktop"));
        shared->auth().signOut();
        return CommandOutcome::done(QStringLiteral("Signed out of GitHub"));
    });
    for (const char* id : {"github-createIssue", "github-createPullRequest"}) {
        const QString commandId = QLatin1String(id);
        context.addCommandHandler(commandId, [commandId](const VantrelCommand&, const CommandRunContext& run) {
            return CommandOutcome::showView(commandId, run.inputText());
        });
        context.addView(commandId, [this, commandId](const CommandOutcome& outcome) -> QWidget* {
            github::GitHubServices* shared = services();
            if (!shared) return nullptr;
            return commandId == QLatin1String("github-createIssue")
                       ? github::makeCreateIssueForm(shared->api(), outcome.initialQuery)
                       : github::makeCreatePullRequestForm(shared->api(), outcome.initialQuery);
        });
    }
    context.addCliCommand(QStringLiteral("github"), [](const QStringList& arguments) -> std::optional<int> {
        return github::runCli(arguments);
    });
}

}  // namespace vantrel
