#pragma once

#include "kit/Promise.h"
#include "net/HTTPClient.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vantrel::hackernews {

// How long one request may take.
inline constexpr int kTimeoutSeconds = 15;

// One story of the front page, as the item API describes it.
struct Story {
    qint64 id = 0;
    QString title;
    QUrl url;            // empty for a text post (Ask HN…): its link is the discussion
    QString by;
    int score = 0;
    int comments = 0;    // "descendants"
    QDateTime time;      // UTC
    QString type;        // "story", "job", "poll"
    QUrl commentsUrl;    // the discussion page on the site

    // What "Open" opens: the story's link, or the discussion for a text post.
    QUrl link() const { return url.isEmpty() ? commentsUrl : url; }
    // The link's host without "www." (empty for a text post).
    QString domain() const;
    // "128 points · by alice · 42 comments".
    QString summary() const;
    QJsonObject toJson() const;
};

// A list and where it came from.
struct StoryList {
    std::vector<Story> stories;
    bool cached = false;
    // Stories the server could not give (their place is left out).
    int missing = 0;
};

// The top stories over the public JSON API: "topstories.json" lists the ids,
// "item/<id>.json" describes each. Answers are kept in the encrypted response
// cache (realm "hackernews"), so the list last read can be shown at once and
// while the server cannot be reached. Main thread; completions come from the
// HTTP client's event loop.
class HackerNewsClient {
public:
    inline static const QString defaultApiURL = QStringLiteral("https://hacker-news.firebaseio.com/v0/");
    inline static const QString defaultSiteURL = QStringLiteral("https://news.ycombinator.com/");
    inline static const CachingRealm realm = QStringLiteral("hackernews");
    // How many stories a list holds.
    static constexpr int defaultLimit = 30;
    // A cached list older than this is not shown.
    static constexpr std::chrono::seconds cacheLifetime{7 * 24 * 3600};

    using Completion = std::function<void(Result<StoryList>)>;

    HackerNewsClient(HTTPClient& http, QUrl apiBase, QUrl siteBase);
    ~HackerNewsClient();

    const QUrl& apiBase() const { return m_apiBase; }
    const QUrl& siteBase() const { return m_siteBase; }

    // The list as last read from the server, when the cache has it.
    std::optional<StoryList> cachedTopStories(int limit = defaultLimit) const;
    // Reads the list from the server and keeps it in the cache. Completes
    // once: with the stories (a story that fails alone is taken from the
    // cache or left out), or with why the list could not be read.
    void fetchTopStories(int limit, Completion done);
    // The same, waiting for the answer (command line).
    Result<StoryList> fetchTopStoriesAndWait(int limit = defaultLimit);

    // "topstories.json": a JSON array of positive ids.
    static Result<std::vector<qint64>> parseStoryIds(const QByteArray& body);
    // "item/<id>.json": a story, or nothing for a deleted or dead item (the API
    // answers null for an id it does not know).
    static Result<std::optional<Story>> parseStory(const QByteArray& body, const QUrl& siteBase);
    // The discussion page of a story.
    static QUrl commentsUrl(const QUrl& siteBase, qint64 id);

private:
    HTTPRequest request(const QString& path) const;

    HTTPClient& m_http;
    QUrl m_apiBase;
    QUrl m_siteBase;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace vantrel::hackernews
