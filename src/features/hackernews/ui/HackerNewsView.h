#pragma once

#include "features/hackernews/HackerNewsAPI.h"
#include "ui/toolkit/ListView.h"

#include <QPointer>

namespace vantrel::hackernews {

// "Hacker News": the top stories, the list read last shown at once and
// replaced by the server's as soon as it answers. Each row opens the story
// (a text post opens its discussion), opens the comments or copies the link;
// Ctrl+R reads the list again. When the server cannot be reached the list
// read before stays, with a failure toast saying why.
class HackerNewsView : public ListView {
    Q_OBJECT

public:
    explicit HackerNewsView(HackerNewsClient& client, QWidget* parent = nullptr);
    ~HackerNewsView() override;

    bool isLoading() const { return m_loading; }
    // Whether the rows came from the cache (no answer from the server yet, or it failed).
    bool isShowingCachedList() const { return m_cached; }
    // Why the last read failed (empty after a success).
    const QString& problem() const { return m_problem; }

    // Reads the list from the server again.
    void reload();
    // The rows' actions by id: "open", "openComments", "copyLink", "copyCommentsLink".
    static Item storyItem(const Story& story);

signals:
    // A list (cached or fresh) is shown, or a read failed.
    void listChanged();

private:
    void showList(const StoryList& list);

    HackerNewsClient& m_client;
    bool m_loading = false;
    bool m_cached = false;
    bool m_hasRows = false;
    QString m_problem;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace vantrel::hackernews
