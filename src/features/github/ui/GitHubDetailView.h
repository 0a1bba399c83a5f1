#pragma once

#include "features/github/GitHubAPI.h"
#include "ui/toolkit/DetailView.h"

namespace vantrel::github {

// A pull request's or an issue's page: its Markdown body with the state,
// author, branches and labels beside it, and the same writes as its row.
class GitHubDetailView : public DetailView {
    Q_OBJECT

public:
    enum class Kind { pullRequest, issue };

    GitHubDetailView(GitHubAPI& api, Kind kind, const QString& nodeId, QWidget* parent = nullptr);
    ~GitHubDetailView() override;

    bool isLoading() const { return m_loading; }

signals:
    void detailsChanged();

private:
    void showPullRequest(const PullRequestDetails& details);
    void showIssue(const IssueDetails& details);
    void reloadAfterWrite(const QString& success, const QString& failure, const std::optional<QString>& error);

    GitHubAPI& m_api;
    Kind m_kind;
    QString m_nodeId;
    bool m_loading = true;
    std::shared_ptr<APIResource<PullRequestDetails>> m_pullRequest;
    std::shared_ptr<APIResource<IssueDetails>> m_issue;
    std::unique_ptr<QObject> m_subscriptions;
};

}  // namespace vantrel::github
