#include "features/github/ui/GitHubListView.h"

#include "core/api/LauncherPresenter.h"
#include "features/github/GitHubServices.h"
#include "kit/VantrelError.h"
#include "platform/DesktopServices.h"
#include "platform/Platform.h"
#include "ui/toolkit/OAuthSignInView.h"

#include <QDesktopServices>
#include <QLocale>

namespace vantrel::github {

namespace {

struct KindInfo {
    GitHubListView::Kind kind;
    const char* commandId;
    const char* title;
    const char* placeholder;
};

const KindInfo kKinds[] = {
    {GitHubListView::Kind::pullRequests, "github-pullRequests", "My Pull Requests", "Filter pull requests…"},
    {GitHubListView::Kind::createdIssues, "github-createdIssues", "Created Issues", "Filter issues…"},
    {GitHubListView::Kind::openIssues, "github-openIssues", "My Open Issues", "Filter issues…"},
    {GitHubListView::Kind::searchPullRequests, "github-searchPullRequests", "Search Pull Requests",
     "Search pull requests…"},
    {GitHubListView::Kind::searchIssues, "github-searchIssues", "Search Issues", "Search issues…"},
    {GitHubListView::Kind::searchRepositories, "github-searchRepositories", "Search Repositories",
     "Search repositories…"},
    {GitHubListView::Kind::notifications, "github-notifications", "Notifications", "Filter notifications…"},
    {GitHubListView::Kind::workflowRuns, "github-actions", "Workflow Runs", "Filter…"},
};

const KindInfo& info(GitHubListView::Kind kind) {
    for (const KindInfo& entry : kKinds)
        if (entry.kind == kind) return entry;
    return kKinds[0];
}

bool searches(GitHubListView::Kind kind) {
    return kind == GitHubListView::Kind::searchPullRequests || kind == GitHubListView::Kind::searchIssues ||
           kind == GitHubListView::Kind::searchRepositories;
}

std::optional<ImageResource> avatar(const QString& url) {
    if (url.isEmpty()) return std::nullopt;
    return ImageResource::url(QUrl(url), QSize(16, 16));
}

QString relative(const QDateTime& date) {
    const qint64 seconds = date.secsTo(QDateTime::currentDateTimeUtc());
    if (seconds < 3600) return QStringLiteral("%1m").arg(std::max<qint64>(1, seconds / 60));
    if (seconds < 86400) return QStringLiteral("%1h").arg(seconds / 3600);
    if (seconds < 86400 * 30) return QStringLiteral("%1d").arg(seconds / 86400);
    return QLocale(QLocale::English).toString(date.date(), QStringLiteral("MMM d, yyyy"));
}

QString stateText(const FoundPullRequest& pr) {
    switch (pr.status()) {
    case PullRequestStatus::merged: return QStringLiteral("Merged");
    case PullRequestStatus::closed: return QStringLiteral("Closed");
    case PullRequestStatus::open: return pr.isDraft ? QStringLiteral("Draft") : QStringLiteral("Open");
    }
    return {};
}

}  // namespace

QString GitHubListView::commandId(Kind kind) { return QLatin1String(info(kind).commandId); }
QString GitHubListView::viewTitle(Kind kind) { return QLatin1String(info(kind).title); }

std::optional<GitHubListView::Kind> GitHubListView::kindOf(const QString& id) {
    for (const KindInfo& entry : kKinds)
        if (id == QLatin1String(entry.commandId)) return entry.kind;
    return std::nullopt;
}

GitHubListView::GitHubListView(GitHubServices& services, Kind kind, const QString& initialQuery, QWidget* parent)
    : ListView(viewTitle(kind), parent), m_services(services), m_api(services.api()), m_kind(kind),
      m_query(initialQuery) {
    setObjectName(QStringLiteral("gitHubListView"));
    setSearchPlaceholder(QLatin1String(info(kind).placeholder));
    setFiltering(!searches(kind));
    m_typing.setSingleShot(true);
    m_typing.setInterval(typingPauseMs);
    connect(&m_typing, &QTimer::timeout, this, [this] { reload(); });
    connect(this, &ListView::queryChanged, this, [this](const QString& text) {
        if (m_query == text) return;
        m_query = text;
        if (searches(m_kind) && !m_signInShown) m_typing.start();
    });
    connect(this, &ListView::itemActivated, this, [this] {
        const std::vector<MenuItem> items = actions();
        if (items.empty()) return;
        const CommandOutcome outcome = items.front().perform();
        if (LauncherPresenter* shown = presenter()) shown->handleOutcome(outcome);
    });
    if (!initialQuery.isEmpty()) ListView::searchTextChanged(initialQuery);
    if (!isSignedIn()) {
        showSignIn(false);
        return;
    }
    connectResource();
    reload();
    if (kind == Kind::searchRepositories || kind == Kind::workflowRuns) m_api.organizations->refresh();
}

GitHubListView::~GitHubListView() = default;

bool GitHubListView::isSignedIn() const {
    return m_services.auth().isAuthorized();
}

void GitHubListView::toast(const Toast& shown) {
    if (LauncherPresenter* window = presenter()) window->showToast(shown);
}

void GitHubListView::showSignIn(bool invalidated) {
    m_signInShown = true;
    m_loading = false;
    m_typing.stop();
    // The lists stop listening: what is in flight for the refused session is dropped.
    m_subscriptions.reset();
    setSections({});
    setEmptyText(QString());
    if (m_signInView) m_signInView->deleteLater();
    OAuthController& auth = m_services.auth();
    m_signInView = invalidated ? OAuthSignInView::forInvalidatedToken(auth, this) : new OAuthSignInView(auth, this);
    if (const std::optional<QString>& problem = m_services.clientProblem()) m_signInView->setSignInProblem(*problem);
    QPointer<GitHubListView> self(this);
    m_signInView->onSignedIn = [self](const OAuthSession&) {
        if (self) self->signedIn();
    };
    connect(m_signInView, &LauncherView::actionsChanged, this, &LauncherView::actionsChanged);
    m_signInView->setGeometry(rect());
    m_signInView->show();
    m_signInView->raise();
    emit actionsChanged();
    emit listChanged();
}

void GitHubListView::signedIn() {
    m_signInShown = false;
    if (m_signInView) {
        // Called from the sign-in screen itself: it goes once it has returned.
        m_signInView->hide();
        m_signInView->deleteLater();
        m_signInView = nullptr;
    }
    connectResource();
    reload();
    if (m_kind == Kind::searchRepositories || m_kind == Kind::workflowRuns) m_api.organizations->refresh();
    emit actionsChanged();
}

void GitHubListView::resizeEvent(QResizeEvent* event) {
    ListView::resizeEvent(event);
    if (m_signInView) m_signInView->setGeometry(rect());
}

std::vector<MenuItem> GitHubListView::actions() const {
    if (m_signInView) return m_signInView->actions();
    return ListView::actions();
}

void GitHubListView::showFailure(const QString& message) {
    m_loading = false;
    setEmptyText(QStringLiteral("Failed loading from GitHub: ") + message);
    toast({Toast::Style::failure, QStringLiteral("Failed loading from GitHub"), message});
    emit listChanged();
}

void GitHubListView::setItems(std::vector<Section> sections, bool cached) {
    m_cached = cached;
    if (!cached) m_loading = false;
    bool empty = true;
    for (const Section& section : sections) empty = empty && section.items.empty();
    if (empty) setEmptyText(m_loading ? QStringLiteral("Loading…") : QStringLiteral("Nothing here"));
    setSections(std::move(sections));
    emit listChanged();
}

void GitHubListView::connectResource() {
    m_subscriptions = std::make_unique<QObject>();
    QObject* context = m_subscriptions.get();
    const auto failed = [this](const std::optional<HTTPError>& error) {
        if (error && (error->kind == HTTPError::Kind::tokenInvalid || error->isUnauthorized())) {
            if (m_signInShown) return;  // the other lists of the view were refused too
            if (LauncherPresenter* window = presenter()) tellTokenInvalidated(*window, QStringLiteral("GitHub"));
            showSignIn(true);
            return;
        }
        showFailure(error ? error->message : QStringLiteral("GitHub did not answer"));
    };
    switch (m_kind) {
    case Kind::pullRequests:
        m_api.pullRequests->subscribe(context, [this, failed](const APIResource<PullRequestGroups>::Result& result) {
            if (result.isFailure()) return failed(result.error);
            if (!result.value) return;
            std::vector<Section> sections;
            for (const auto& group : result.value->groups) {
                Section section{github::title(group.group), {}};
                for (const FoundPullRequest& pr : group.items) section.items.push_back(pullRequestItem(pr));
                sections.push_back(std::move(section));
            }
            setItems(std::move(sections), result.isLocal());
        });
        break;
    case Kind::createdIssues:
    case Kind::openIssues: {
        auto& resource = m_kind == Kind::createdIssues ? m_api.createdIssues : m_api.openIssues;
        resource->subscribe(context, [this, failed](const APIResource<IssueGroups>::Result& result) {
            if (result.isFailure()) return failed(result.error);
            if (!result.value) return;
            std::vector<Section> sections;
            for (const auto& group : result.value->groups) {
                Section section{group.title, {}};
                for (const FoundIssue& issue : group.items) section.items.push_back(issueItem(issue));
                sections.push_back(std::move(section));
            }
            setItems(std::move(sections), result.isLocal());
        });
        break;
    }
    case Kind::searchPullRequests:
        m_api.filteredPullRequests->subscribe(context, [this, failed](const auto& result) {
            if (result.isFailure()) return failed(result.error);
            if (!result.value) return;
            Section section{QStringLiteral("Pull Requests"), {}};
            for (const FoundPullRequest& pr : *result.value) section.items.push_back(pullRequestItem(pr));
            setItems({std::move(section)}, result.isLocal());
        });
        break;
    case Kind::searchIssues:
        m_api.filteredIssues->subscribe(context, [this, failed](const auto& result) {
            if (result.isFailure()) return failed(result.error);
            if (!result.value) return;
            Section section{QStringLiteral("Issues"), {}};
            for (const FoundIssue& issue : *result.value) section.items.push_back(issueItem(issue));
            setItems({std::move(section)}, result.isLocal());
        });
        break;
    case Kind::searchRepositories:
    case Kind::workflowRuns:
        if (m_kind == Kind::workflowRuns && m_api.workflowRunsRepository) {
            m_api.workflowRuns->subscribe(context, [this, failed](const auto& result) {
                if (result.isFailure()) return failed(result.error);
                if (!result.value) return;
                Section section{m_api.workflowRunsRepository->fullName(), {}};
                for (const WorkflowRun& run : *result.value) section.items.push_back(runItem(run));
                setItems({std::move(section)}, result.isLocal());
            });
            break;
        }
        // Without words the list is the user's repositories and those of the
        // user's organisations, once those are known.
        m_api.organizations->subscribe(context, [this](const APIResource<std::vector<Organization>>::Result& result) {
            if (!result.value) return;
            QStringList owners;
            for (const Organization& organization : *result.value) owners << organization.login;
            if (owners == m_organizations) return;
            m_organizations = owners;
            if (m_query.trimmed().isEmpty() && !(m_kind == Kind::workflowRuns && m_api.workflowRunsRepository)) reload();
        });
        m_api.filteredRepositories->subscribe(context, [this, failed](const auto& result) {
            if (result.isFailure()) return failed(result.error);
            if (!result.value) return;
            Section section{QStringLiteral("Repositories"), {}};
            for (const Repository& repository : *result.value) section.items.push_back(repositoryItem(repository));
            setItems({std::move(section)}, result.isLocal());
        });
        break;
    case Kind::notifications:
        m_api.notifications->subscribe(context, [this, failed](const auto& result) {
            if (result.isFailure()) return failed(result.error);
            if (!result.value) return;
            Section unread{QStringLiteral("Unread"), {}};
            Section read{QStringLiteral("Read"), {}};
            for (const Notification& notification : *result.value)
                (notification.unread ? unread : read).items.push_back(notificationItem(notification));
            setItems({std::move(unread), std::move(read)}, result.isLocal());
        });
        break;
    }
}

RepositoryFilter GitHubListView::repositoryFilter(const QString& text) const {
    RepositoryFilter filter;
    if (!text.isEmpty()) {
        filter.searchText = text;
        return filter;
    }
    if (!m_organizations.isEmpty()) {
        const QString login = m_api.githubUsername();
        filter.githubUsernames = (login.isEmpty() ? QStringList() : QStringList{login}) + m_organizations;
    }
    return filter;
}

void GitHubListView::reload(APIRefreshMode mode) {
    m_loading = true;
    setEmptyText(QStringLiteral("Loading…"));
    const QString text = m_query.trimmed();
    switch (m_kind) {
    case Kind::pullRequests: m_api.pullRequests->refresh(mode); break;
    case Kind::createdIssues: m_api.createdIssues->refresh(mode); break;
    case Kind::openIssues: m_api.openIssues->refresh(mode); break;
    case Kind::searchPullRequests:
        m_api.pullRequestsFilter.searchText = text.isEmpty() ? std::nullopt : std::optional(text);
        m_api.filteredPullRequests->refresh(mode);
        break;
    case Kind::searchIssues:
        m_api.issuesFilter.searchText = text.isEmpty() ? std::nullopt : std::optional(text);
        m_api.filteredIssues->refresh(mode);
        break;
    case Kind::searchRepositories:
        m_api.repositoryFilter = repositoryFilter(text);
        m_api.filteredRepositories->refresh(mode);
        break;
    case Kind::notifications: m_api.notifications->refresh(mode); break;
    case Kind::workflowRuns:
        if (m_api.workflowRunsRepository)
            m_api.workflowRuns->refresh(mode);
        else {
            m_api.repositoryFilter = repositoryFilter(QString());
            m_api.filteredRepositories->refresh(mode);
        }
        break;
    }
}

MenuItem GitHubListView::openInBrowser(const QString& url) {
    return MenuItem::make(QStringLiteral("openInBrowser"), QStringLiteral("Open in Browser"), [url] {
        if (const std::shared_ptr<DesktopServices> desktop = platform().desktop) desktop->open(QUrl(url));
        return CommandOutcome::done();
    });
}

MenuItem GitHubListView::write(const QString& id, const QString& title, const QString& progress, const QString& success,
                               const QString& failure, std::function<void(GitHubAPI::Completion)> perform,
                               MenuItem::ActionType type) {
    QPointer<GitHubListView> self(this);
    return MenuItem::make(
        id, title,
        [self, progress, success, failure, perform] {
            perform([self, success, failure](const std::optional<QString>& error) {
                if (!self) return;
                if (error)
                    self->toast({Toast::Style::failure, failure, *error});
                else
                    self->toast({Toast::Style::success, success, {}});
            });
            CommandOutcome shown = CommandOutcome::done();
            shown.toastTitle = progress;
            return shown;
        },
        type);
}

ListView::Item GitHubListView::pullRequestItem(const FoundPullRequest& pr) {
    Item item;
    item.id = pr.nodeId;
    item.title = pr.title;
    item.subtitle = QStringLiteral("%1 #%2").arg(pr.repository.fullName()).arg(pr.number);
    item.icon = avatar(pr.author.avatarURL);
    item.accessories.push_back({stateText(pr), std::nullopt});
    if (pr.comments > 0) item.accessories.push_back({QStringLiteral("💬 %1").arg(pr.comments), std::nullopt});
    item.accessories.push_back({relative(pr.updatedDate), std::nullopt});
    item.keywords = {pr.repository.fullName(), QString::number(pr.number), pr.author.githubUsername};
    QPointer<GitHubListView> self(this);
    const QString nodeId = pr.nodeId;
    item.actions.push_back(MenuItem::make(QStringLiteral("details"), QStringLiteral("Show Details"), [nodeId] {
        return CommandOutcome::showView(detailsCommandId, {}, {QStringLiteral("pullRequest"), nodeId});
    }));
    item.actions.push_back(openInBrowser(pr.permalink));
    item.actions.push_back(MenuItem::make(QStringLiteral("copyURL"), QStringLiteral("Copy Pull Request URL"),
                                          [url = pr.permalink] { return CommandOutcome::copied(url, QStringLiteral("Copied URL")); }));
    GitHubAPI* api = &m_api;
    if (pr.status() == PullRequestStatus::open) {
        const struct {
            const char* id;
            const char* title;
            MergePullRequestMethod method;
            bool allowed;
        } methods[] = {{"merge", "Create Merge Commit", MergePullRequestMethod::createMergeCommit, pr.repository.mergeCommitAllowed},
                       {"squash", "Squash and Merge", MergePullRequestMethod::squashAndMerge, pr.repository.squashMergeAllowed},
                       {"rebase", "Rebase and Merge", MergePullRequestMethod::rebaseAndMerge, pr.repository.rebaseMergeAllowed}};
        for (const auto& method : methods) {
            if (!method.allowed) continue;
            const MergePullRequestMethod how = method.method;
            item.actions.push_back(write(QLatin1String(method.id), QLatin1String(method.title),
                                         QStringLiteral("Merging pull request…"), QStringLiteral("Merged pull request"),
                                         QStringLiteral("Failed merging pull request"),
                                         [api, nodeId, how](GitHubAPI::Completion done) {
                                             api->mergePullRequest(nodeId, how, std::move(done));
                                         }));
        }
        item.actions.push_back(write(QStringLiteral("close"), QStringLiteral("Close Pull Request"),
                                     QStringLiteral("Closing pull request…"), QStringLiteral("Closed pull request"),
                                     QStringLiteral("Failed closing pull request"),
                                     [api, nodeId](GitHubAPI::Completion done) { api->closePullRequest(nodeId, std::move(done)); },
                                     MenuItem::ActionType::destructive));
    } else if (pr.status() == PullRequestStatus::closed) {
        item.actions.push_back(write(QStringLiteral("reopen"), QStringLiteral("Reopen Pull Request"),
                                     QStringLiteral("Reopening pull request…"), QStringLiteral("Reopened pull request"),
                                     QStringLiteral("Failed reopening pull request"),
                                     [api, nodeId](GitHubAPI::Completion done) { api->reopenPullRequest(nodeId, std::move(done)); }));
    }
    return item;
}

ListView::Item GitHubListView::issueItem(const FoundIssue& issue) {
    Item item;
    item.id = issue.nodeId;
    item.title = issue.title;
    item.subtitle = QStringLiteral("%1 #%2").arg(issue.repository.fullName()).arg(issue.number);
    item.icon = avatar(issue.author.avatarURL);
    item.accessories.push_back({issue.state == IssueState::open ? QStringLiteral("Open") : QStringLiteral("Closed"), std::nullopt});
    for (const Label& label : issue.labels) item.accessories.push_back({label.name, std::nullopt});
    item.accessories.push_back({relative(issue.updatedDate), std::nullopt});
    item.keywords = {issue.repository.fullName(), QString::number(issue.number), issue.author.githubUsername};
    const QString nodeId = issue.nodeId;
    item.actions.push_back(MenuItem::make(QStringLiteral("details"), QStringLiteral("Show Details"), [nodeId] {
        return CommandOutcome::showView(detailsCommandId, {}, {QStringLiteral("issue"), nodeId});
    }));
    item.actions.push_back(openInBrowser(issue.url));
    item.actions.push_back(MenuItem::make(QStringLiteral("copyURL"), QStringLiteral("Copy Issue URL"),
                                          [url = issue.url] { return CommandOutcome::copied(url, QStringLiteral("Copied URL")); }));
    GitHubAPI* api = &m_api;
    if (issue.state == IssueState::open)
        item.actions.push_back(write(QStringLiteral("close"), QStringLiteral("Close Issue"), QStringLiteral("Closing issue…"),
                                     QStringLiteral("Closed issue"), QStringLiteral("Failed closing issue"),
                                     [api, nodeId](GitHubAPI::Completion done) { api->closeIssue(nodeId, std::move(done)); },
                                     MenuItem::ActionType::destructive));
    else
        item.actions.push_back(write(QStringLiteral("reopen"), QStringLiteral("Reopen Issue"), QStringLiteral("Reopening issue…"),
                                     QStringLiteral("Reopened issue"), QStringLiteral("Failed reopening issue"),
                                     [api, nodeId](GitHubAPI::Completion done) { api->reopenIssue(nodeId, std::move(done)); }));
    return item;
}

ListView::Item GitHubListView::repositoryItem(const Repository& repository) {
    Item item;
    item.id = repository.nodeId;
    item.title = repository.fullName();
    item.subtitle = repository.primaryLanguage.value_or(QString());
    item.icon = avatar(repository.owner.avatarURL);
    if (repository.numberOfStars) item.accessories.push_back({QStringLiteral("★ %1").arg(*repository.numberOfStars), std::nullopt});
    if (repository.isArchived) item.accessories.push_back({QStringLiteral("Archived"), std::nullopt});
    if (m_kind == Kind::workflowRuns) {
        QPointer<GitHubListView> self(this);
        item.actions.push_back(MenuItem::make(QStringLiteral("showRuns"), QStringLiteral("Show Workflow Runs"), [self, repository] {
            if (self) {
                self->m_api.workflowRunsRepository = repository;
                self->connectResource();
                self->reload();
            }
            CommandOutcome stay = CommandOutcome::done();
            stay.toastTitle = QStringLiteral("Loading workflow runs of ") + repository.fullName();
            return stay;
        }));
    }
    item.actions.push_back(openInBrowser(repository.url));
    item.actions.push_back(MenuItem::make(QStringLiteral("copyURL"), QStringLiteral("Copy Repository URL"),
                                          [url = repository.url] { return CommandOutcome::copied(url, QStringLiteral("Copied URL")); }));
    return item;
}

ListView::Item GitHubListView::notificationItem(const Notification& notification) {
    Item item;
    item.id = notification.id;
    item.title = notification.title;
    item.subtitle = notification.repositoryOwner + QLatin1Char('/') + notification.repositoryName;
    item.icon = ImageResource::emoji(notification.type == QLatin1String("PullRequest") ? QStringLiteral("🔀")
                                     : notification.type == QLatin1String("Issue")     ? QStringLiteral("❗")
                                                                                         : QStringLiteral("🔔"));
    item.accessories.push_back({notification.reasonText, std::nullopt});
    item.accessories.push_back({relative(notification.updatedAt), std::nullopt});
    item.actions.push_back(openInBrowser(notification.htmlURL()));
    return item;
}

ListView::Item GitHubListView::runItem(const WorkflowRun& run) {
    Item item;
    item.id = QString::number(run.id);
    item.title = run.headCommitMessage.value_or(run.name);
    item.subtitle = QStringLiteral("%1 #%2 · %3").arg(run.name).arg(run.runNumber).arg(run.headBranch.value_or(QString()));
    item.accessories.push_back({run.conclusion ? rawValue(*run.conclusion) : run.status ? rawValue(*run.status) : QString(),
                                std::nullopt});
    item.accessories.push_back({relative(run.updatedAt), std::nullopt});
    item.actions.push_back(openInBrowser(run.htmlURL));
    const QStringList repository = run.repositoryFullName.split(QLatin1Char('/'));
    if (repository.size() == 2) {
        GitHubAPI* api = &m_api;
        QPointer<GitHubListView> self(this);
        const auto action = [&](const char* id, const char* title, WorkflowRunAction::Kind kind, const char* done,
                                const char* failed, MenuItem::ActionType type) {
            const WorkflowRunAction request{kind, repository[0], repository[1], run.id};
            item.actions.push_back(write(QLatin1String(id), QLatin1String(title), QLatin1String(title) + QStringLiteral("…"),
                                         QLatin1String(done), QLatin1String(failed),
                                         [api, request, self](GitHubAPI::Completion finished) {
                                             api->workflowRunAction(request, [self, finished](const std::optional<QString>& error) {
                                                 finished(error);
                                                 if (self && !error) self->reload(APIRefreshMode::networkOnly);
                                             });
                                         },
                                         type));
        };
        if (run.status == WorkflowRun::Status::completed)
            action("rerun", "Re-run Workflow", WorkflowRunAction::Kind::rerun, "Re-ran workflow", "Failed re-running workflow",
                   MenuItem::ActionType::regular);
        else
            action("cancel", "Cancel Workflow Run", WorkflowRunAction::Kind::cancel, "Cancelled workflow run",
                   "Failed cancelling workflow run", MenuItem::ActionType::regular);
        action("delete", "Delete Workflow Run", WorkflowRunAction::Kind::remove, "Deleted workflow run",
               "Failed deleting workflow run", MenuItem::ActionType::destructive);
    }
    return item;
}

bool GitHubListView::runAction(const QString& itemId, const QString& actionId) {
    for (const Item* item : visibleItems()) {
        if (item->id != itemId) continue;
        for (const MenuItem& action : item->actions)
            if (action.id == actionId) {
                const CommandOutcome outcome = action.perform();
                if (LauncherPresenter* shown = presenter()) shown->handleOutcome(outcome);
                return true;
            }
    }
    return false;
}

}  // namespace vantrel::github
