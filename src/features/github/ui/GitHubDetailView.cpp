#include "features/github/ui/GitHubDetailView.h"

#include "core/api/LauncherPresenter.h"
#include "platform/DesktopServices.h"
#include "platform/Platform.h"

#include <QLocale>
#include <QPointer>

namespace vantrel::github {

namespace {

QString date(const QDateTime& value) {
    return QLocale(QLocale::English).toString(value.toLocalTime(), QStringLiteral("MMM d, yyyy HH:mm"));
}

MenuItem openInBrowser(const QString& url) {
    return MenuItem::make(QStringLiteral("openInBrowser"), QStringLiteral("Open in Browser"), [url] {
        if (const std::shared_ptr<DesktopServices> desktop = platform().desktop) desktop->open(QUrl(url));
        return CommandOutcome::done();
    });
}

CommandOutcome progress(const QString& text) {
    CommandOutcome shown = CommandOutcome::done();
    shown.toastTitle = text;
    return shown;
}

}  // namespace

GitHubDetailView::GitHubDetailView(GitHubAPI& api, Kind kind, const QString& nodeId, QWidget* parent)
    : DetailView(kind == Kind::pullRequest ? QStringLiteral("Pull Request") : QStringLiteral("Issue"), parent),
      m_api(api), m_kind(kind), m_nodeId(nodeId), m_subscriptions(std::make_unique<QObject>()) {
    setObjectName(QStringLiteral("gitHubDetailView"));
    setMarkdown(QStringLiteral("Loading…"));
    const auto failed = [this](const std::optional<HTTPError>& error) {
        m_loading = false;
        setMarkdown(QStringLiteral("**Failed loading from GitHub**\n\n") + (error ? error->message : QString()));
        emit detailsChanged();
    };
    if (kind == Kind::pullRequest) {
        m_pullRequest = api.pullRequestDetails(nodeId);
        m_pullRequest->subscribe(m_subscriptions.get(), [this, failed](const APIResource<PullRequestDetails>::Result& result) {
            if (result.isFailure()) return failed(result.error);
            if (result.value) showPullRequest(*result.value);
            if (result.isNetwork()) m_loading = false;
            emit detailsChanged();
        });
        m_pullRequest->refresh();
    } else {
        m_issue = api.issueDetails(nodeId);
        m_issue->subscribe(m_subscriptions.get(), [this, failed](const APIResource<IssueDetails>::Result& result) {
            if (result.isFailure()) return failed(result.error);
            if (result.value) showIssue(*result.value);
            if (result.isNetwork()) m_loading = false;
            emit detailsChanged();
        });
        m_issue->refresh();
    }
}

GitHubDetailView::~GitHubDetailView() = default;

void GitHubDetailView::reloadAfterWrite(const QString& success, const QString& failure, const std::optional<QString>& error) {
    if (LauncherPresenter* window = presenter())
        window->showToast(error ? Toast{Toast::Style::failure, failure, *error} : Toast{Toast::Style::success, success, {}});
    if (m_pullRequest) m_pullRequest->refresh(APIRefreshMode::networkOnly);
    if (m_issue) m_issue->refresh(APIRefreshMode::networkOnly);
}

void GitHubDetailView::showPullRequest(const PullRequestDetails& details) {
    setMarkdown(details.markdown());
    std::vector<MetadataRow> rows{
        {QStringLiteral("Repository"), details.repository.fullName()},
        {QStringLiteral("Author"), details.author.displayName()},
        {QStringLiteral("State"), details.isMerged ? QStringLiteral("Merged") : details.isClosed ? QStringLiteral("Closed")
                                                                              : details.isDraft  ? QStringLiteral("Draft")
                                                                                                 : QStringLiteral("Open")},
        {QStringLiteral("Branches"), (details.fromBranch ? details.fromBranch->name : details.headRefName) + QStringLiteral(" → ") +
                                         (details.into ? details.into->name : details.baseRefName)},
        {QStringLiteral("Changes"), QStringLiteral("+%1 −%2 in %3 commits").arg(details.additions).arg(details.deletions).arg(details.commits)},
        {QStringLiteral("Updated"), date(details.updatedDate)},
    };
    if (!details.reviewRequests.isEmpty()) rows.push_back({QStringLiteral("Reviewers"), details.reviewRequests.join(QStringLiteral(", "))});
    QStringList labels;
    for (const Label& label : details.labels) labels << label.name;
    if (!labels.isEmpty()) rows.push_back({QStringLiteral("Labels"), labels.join(QStringLiteral(", "))});
    if (details.milestone) rows.push_back({QStringLiteral("Milestone"), details.milestone->title});
    setMetadata(std::move(rows));

    std::vector<MenuItem> actions{openInBrowser(details.permalink)};
    QPointer<GitHubDetailView> self(this);
    const QString nodeId = details.nodeId;
    GitHubAPI* api = &m_api;
    if (details.status() == PullRequestStatus::open) {
        const std::pair<MergePullRequestMethod, const char*> methods[] = {
            {MergePullRequestMethod::createMergeCommit, "Create Merge Commit"},
            {MergePullRequestMethod::squashAndMerge, "Squash and Merge"},
            {MergePullRequestMethod::rebaseAndMerge, "Rebase and Merge"}};
        const bool allowed[] = {details.repository.mergeCommitAllowed, details.repository.squashMergeAllowed,
                                details.repository.rebaseMergeAllowed};
        for (int i = 0; i < 3; ++i) {
            if (!allowed[i]) continue;
            const MergePullRequestMethod method = methods[i].first;
            actions.push_back(MenuItem::make(QStringLiteral("merge%1").arg(i), QLatin1String(methods[i].second), [self, api, nodeId, method] {
                api->mergePullRequest(nodeId, method, [self](const std::optional<QString>& error) {
                    if (self) self->reloadAfterWrite(QStringLiteral("Merged pull request"), QStringLiteral("Failed merging pull request"), error);
                });
                return progress(QStringLiteral("Merging pull request…"));
            }));
        }
        actions.push_back(MenuItem::make(QStringLiteral("close"), QStringLiteral("Close Pull Request"), [self, api, nodeId] {
            api->closePullRequest(nodeId, [self](const std::optional<QString>& error) {
                if (self) self->reloadAfterWrite(QStringLiteral("Closed pull request"), QStringLiteral("Failed closing pull request"), error);
            });
            return progress(QStringLiteral("Closing pull request…"));
        }, MenuItem::ActionType::destructive));
    } else if (details.status() == PullRequestStatus::closed) {
        actions.push_back(MenuItem::make(QStringLiteral("reopen"), QStringLiteral("Reopen Pull Request"), [self, api, nodeId] {
            api->reopenPullRequest(nodeId, [self](const std::optional<QString>& error) {
                if (self) self->reloadAfterWrite(QStringLiteral("Reopened pull request"), QStringLiteral("Failed reopening pull request"), error);
            });
            return progress(QStringLiteral("Reopening pull request…"));
        }));
    }
    actions.push_back(MenuItem::make(QStringLiteral("copyURL"), QStringLiteral("Copy Pull Request URL"),
                                     [url = details.permalink] { return CommandOutcome::copied(url, QStringLiteral("Copied URL")); }));
    setActions(std::move(actions));
    emit actionsChanged();
}

void GitHubDetailView::showIssue(const IssueDetails& details) {
    setMarkdown(details.markdown());
    std::vector<MetadataRow> rows{
        {QStringLiteral("Repository"), details.issue.repository.fullName()},
        {QStringLiteral("Author"), details.issue.author.displayName()},
        {QStringLiteral("State"), details.issue.state == IssueState::open ? QStringLiteral("Open") : QStringLiteral("Closed")},
        {QStringLiteral("Comments"), QString::number(details.numberOfComments)},
        {QStringLiteral("Updated"), date(details.issue.updatedDate)},
    };
    QStringList labels;
    for (const Label& label : details.issue.labels) labels << label.name;
    if (!labels.isEmpty()) rows.push_back({QStringLiteral("Labels"), labels.join(QStringLiteral(", "))});
    QStringList assignees;
    for (const Actor& assignee : details.issue.assignees) assignees << assignee.githubUsername;
    if (!assignees.isEmpty()) rows.push_back({QStringLiteral("Assignees"), assignees.join(QStringLiteral(", "))});
    setMetadata(std::move(rows));

    std::vector<MenuItem> actions{openInBrowser(details.issue.url)};
    QPointer<GitHubDetailView> self(this);
    GitHubAPI* api = &m_api;
    const QString nodeId = details.issue.nodeId;
    if (details.issue.state == IssueState::open)
        actions.push_back(MenuItem::make(QStringLiteral("close"), QStringLiteral("Close Issue"), [self, api, nodeId] {
            api->closeIssue(nodeId, [self](const std::optional<QString>& error) {
                if (self) self->reloadAfterWrite(QStringLiteral("Closed issue"), QStringLiteral("Failed closing issue"), error);
            });
            return progress(QStringLiteral("Closing issue…"));
        }, MenuItem::ActionType::destructive));
    else
        actions.push_back(MenuItem::make(QStringLiteral("reopen"), QStringLiteral("Reopen Issue"), [self, api, nodeId] {
            api->reopenIssue(nodeId, [self](const std::optional<QString>& error) {
                if (self) self->reloadAfterWrite(QStringLiteral("Reopened issue"), QStringLiteral("Failed reopening issue"), error);
            });
            return progress(QStringLiteral("Reopening issue…"));
        }));
    actions.push_back(MenuItem::make(QStringLiteral("copyURL"), QStringLiteral("Copy Issue URL"),
                                     [url = details.issue.url] { return CommandOutcome::copied(url, QStringLiteral("Copied URL")); }));
    setActions(std::move(actions));
    emit actionsChanged();
}

}  // namespace vantrel::github
