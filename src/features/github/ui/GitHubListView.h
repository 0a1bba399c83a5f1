#pragma once

#include "features/github/GitHubAPI.h"
#include "core/rootsearch/RootSearchController.h"
#include "ui/toolkit/ListView.h"
#include "ui/toolkit/OAuthSignInView.h"

#include <QPointer>
#include <QTimer>

namespace vantrel::github {

class GitHubServices;

// The lists of the GitHub commands. The cached list shows at once, then the
// network's; the search commands ask GitHub again as the user types. Rows
// carry their actions: details, the browser, copying the link, and merging,
// closing or reopening with the change shown at once (and undone when GitHub
// refuses). Without a session, or when GitHub refuses the stored one, the
// toolkit's sign-in screen takes the rows' place until the user has signed in.
class GitHubListView : public ListView {
    Q_OBJECT

public:
    enum class Kind {
        pullRequests,        // "github-pullRequests"
        createdIssues,       // "github-createdIssues"
        openIssues,          // "github-openIssues"
        searchPullRequests,  // "github-searchPullRequests"
        searchIssues,        // "github-searchIssues"
        searchRepositories,  // "github-searchRepositories"
        notifications,       // "github-notifications"
        workflowRuns,        // "github-actions": a repository, then its runs
    };

    // The command a kind belongs to, and its title.
    static QString commandId(Kind kind);
    static std::optional<Kind> kindOf(const QString& commandId);
    static QString viewTitle(Kind kind);
    // How long typing pauses before a search command asks GitHub.
    static constexpr int typingPauseMs = 300;
    inline static const QString detailsCommandId = QStringLiteral("github-details");

    GitHubListView(GitHubServices& services, Kind kind, const QString& initialQuery, QWidget* parent = nullptr);
    ~GitHubListView() override;

    Kind kind() const { return m_kind; }
    bool isSignedIn() const;
    bool isLoading() const { return m_loading; }
    // Whether what the list shows came from the cache (no network answer yet).
    bool isShowingCachedList() const { return m_cached; }
    QString searchText() const override { return m_query; }
    // The sign-in screen's actions while it is shown, else the selected row's.
    std::vector<MenuItem> actions() const override;
    // The sign-in screen shown in place of the rows, if any.
    OAuthSignInView* signInView() const { return m_signInView; }

    // Runs a row's action by its id ("merge", "close", "reopen", "squash"…),
    // as the action panel does.
    bool runAction(const QString& itemId, const QString& actionId);

signals:
    // A result arrived (cached or fresh) or the load failed.
    void listChanged();

private:
    void connectResource();
    void reload(APIRefreshMode mode = APIRefreshMode::cachingPolicy);
    RepositoryFilter repositoryFilter(const QString& text) const;
    void showSignIn(bool invalidated);
    void signedIn();
    void resizeEvent(QResizeEvent* event) override;
    void showFailure(const QString& message);
    void setItems(std::vector<Section> sections, bool cached);
    Item pullRequestItem(const FoundPullRequest& pr);
    Item issueItem(const FoundIssue& issue);
    Item repositoryItem(const Repository& repository);
    Item notificationItem(const Notification& notification);
    Item runItem(const WorkflowRun& run);
    MenuItem openInBrowser(const QString& url);
    MenuItem write(const QString& id, const QString& title, const QString& progress, const QString& success,
                   const QString& failure, std::function<void(GitHubAPI::Completion)> perform,
                   MenuItem::ActionType type = MenuItem::ActionType::regular);
    void toast(const Toast& toast);

    GitHubServices& m_services;
    GitHubAPI& m_api;
    Kind m_kind;
    QString m_query;
    QTimer m_typing;
    bool m_loading = false;
    bool m_cached = false;
    bool m_signInShown = false;
    QPointer<OAuthSignInView> m_signInView;
    // The logins of the user's organisations (their repositories join the list).
    QStringList m_organizations;
    std::unique_ptr<QObject> m_subscriptions;
};

}  // namespace vantrel::github
