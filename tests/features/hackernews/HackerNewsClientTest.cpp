// The top stories over a server on 127.0.0.1 that stands in for the public
// API, with the encrypted cache in a private folder and the session's keyring:
// the list in order, text posts, deleted and dead items, a server that fails
// in each way it can, and the list read before while the server is stopped.
#include "net/NetTestSupport.h"

#include "features/hackernews/HackerNewsAPI.h"

#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace vantrel::test {
namespace {

using hackernews::HackerNewsClient;
using hackernews::Story;
using hackernews::StoryList;

QByteArray json(const QJsonValue& value) {
    return value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                           : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
}

QJsonObject story(qint64 id, const QString& title, const QString& url = {}) {
    QJsonObject object{{"id", id},     {"title", title},   {"by", QStringLiteral("user%1").arg(id)},
                       {"score", 100 + id}, {"descendants", 10 + id}, {"time", 1700000000 + id},
                       {"type", "story"}};
    if (!url.isEmpty()) object.insert("url", url);
    return object;
}

class HackerNewsClientTest : public NetTest {
protected:
    void SetUp() override {
        NetTest::SetUp();
        hn = std::make_unique<HackerNewsClient>(*client, server.url("/v0"), QUrl("https://news.example.org"));
    }

    void serveIds(const QJsonArray& ids) { server.reply("/v0/topstories.json", {200, json(ids)}); }
    void serveStory(const QJsonObject& object) {
        server.reply(QStringLiteral("/v0/item/%1.json").arg(object.value("id").toInteger()), {200, json(object)});
    }
    // Three stories: a link, a text post and a link with "www.".
    void serveFrontPage() {
        serveIds({3, 1, 2});
        serveStory(story(1, "Show: a tiny launcher", "https://example.org/launcher"));
        serveStory(story(2, "Ask: how do you keep notes?"));
        serveStory(story(3, "A long read", "https://www.example.com/read?x=1"));
    }

    Result<StoryList> fetch(int limit = HackerNewsClient::defaultLimit) { return hn->fetchTopStoriesAndWait(limit); }

    static QStringList titles(const StoryList& list) {
        QStringList all;
        for (const Story& each : list.stories) all << each.title;
        return all;
    }

    std::unique_ptr<HackerNewsClient> hn;
};

TEST_F(HackerNewsClientTest, TopStoriesComeInTheServersOrderWithTheirDetails) {
    serveFrontPage();
    const Result<StoryList> list = fetch();
    ASSERT_TRUE(list.isSuccess()) << list.error().errorDescription().toStdString();
    EXPECT_FALSE(list.value().cached);
    EXPECT_EQ(list.value().missing, 0);
    EXPECT_EQ(titles(list.value()), QStringList({"A long read", "Show: a tiny launcher", "Ask: how do you keep notes?"}));

    const Story& read = list.value().stories[0];
    EXPECT_EQ(read.id, 3);
    EXPECT_EQ(read.link(), QUrl("https://www.example.com/read?x=1"));
    EXPECT_EQ(read.domain(), "example.com");
    EXPECT_EQ(read.commentsUrl, QUrl("https://news.example.org/item?id=3"));
    EXPECT_EQ(read.summary(), "103 points · by user3 · 13 comments");
    EXPECT_EQ(read.time, QDateTime::fromSecsSinceEpoch(1700000003, Qt::UTC));

    // A text post opens its discussion.
    const Story& ask = list.value().stories[2];
    EXPECT_TRUE(ask.url.isEmpty());
    EXPECT_EQ(ask.link(), QUrl("https://news.example.org/item?id=2"));
    EXPECT_EQ(ask.domain(), "");

    EXPECT_EQ(server.count("/v0/topstories.json"), 1);
    EXPECT_EQ(server.count("/v0/item/1.json"), 1);
}

TEST_F(HackerNewsClientTest, OnlyTheFirstStoriesUpToTheLimitAreAskedFor) {
    QJsonArray ids;
    for (int id = 1; id <= 40; ++id) {
        ids.append(id);
        serveStory(story(id, QStringLiteral("Story %1").arg(id), QStringLiteral("https://example.org/%1").arg(id)));
    }
    serveIds(ids);
    const Result<StoryList> list = fetch(5);
    ASSERT_TRUE(list.isSuccess());
    EXPECT_EQ(titles(list.value()), QStringList({"Story 1", "Story 2", "Story 3", "Story 4", "Story 5"}));
    EXPECT_EQ(server.count("/v0/item/6.json"), 0);
    EXPECT_EQ(server.requests().size(), 6u);
}

TEST_F(HackerNewsClientTest, DeletedDeadAndUnknownItemsAreLeftOutQuietly) {
    serveIds({1, 2, 3, 4, 5});
    serveStory(story(1, "Kept", "https://example.org/kept"));
    QJsonObject deleted{{"id", 2}, {"deleted", true}, {"type", "story"}};
    serveStory(deleted);
    QJsonObject dead = story(3, "Flagged", "https://example.org/dead");
    dead.insert("dead", true);
    serveStory(dead);
    server.reply("/v0/item/4.json", {200, "null"});
    // A link that is no web link makes a text post, never something the desktop would run.
    serveStory(story(5, "Odd link", "javascript:alert(1)"));
    const Result<StoryList> list = fetch();
    ASSERT_TRUE(list.isSuccess()) << list.error().errorDescription().toStdString();
    EXPECT_EQ(titles(list.value()), QStringList({"Kept", "Odd link"}));
    EXPECT_EQ(list.value().missing, 0);
    EXPECT_EQ(list.value().stories[1].link(), QUrl("https://news.example.org/item?id=5"));
}

TEST_F(HackerNewsClientTest, AListTheServerCannotGiveFailsSayingWhy) {
    const struct {
        const char* what;
        TestHttpServer::Response response;
        QString message;
    } cases[] = {
        {"server error", {500, "oops"}, "Could not load the top stories: Request failed with status 500"},
        {"cut JSON", {200, "[1, 2, 3"}, "Could not load the top stories: Cannot decode JSON: "},
        {"HTML page", {200, "<html>maintenance</html>", {{"Content-Type", "text/html"}}},
         "Could not load the top stories: Cannot decode JSON: "},
        {"object", {200, R"({"ids": [1]})"}, "Could not load the top stories: The list of top stories is not a JSON array"},
        {"strings", {200, R"([1, "two"])"},
         "Could not load the top stories: The list of top stories holds something that is not a story id: [\"two\"]"},
        {"fractions", {200, "[1.5]"}, "Could not load the top stories: The list of top stories holds something"},
        {"negative", {200, "[-4]"}, "Could not load the top stories: The list of top stories holds something"},
        {"connection cut", {200, "[1, 2, 3, 4, 5, 6, 7, 8, 9]", {{"Content-Type", "application/json"}}, true},
         "Could not load the top stories: "},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.what);
        server.reply("/v0/topstories.json", each.response);
        const Result<StoryList> list = fetch();
        ASSERT_TRUE(list.isFailure());
        EXPECT_TRUE(list.error().errorDescription().startsWith(each.message)) << list.error().errorDescription().toStdString();
    }
    // Nothing broken was kept for the next start.
    EXPECT_FALSE(hn->cachedTopStories().has_value());
}

TEST_F(HackerNewsClientTest, AServerThatIsDownIsNamed) {
    const QUrl gone = server.url("/v0");
    server.close();
    HackerNewsClient down(*client, gone, QUrl("https://news.example.org"));
    const Result<StoryList> list = down.fetchTopStoriesAndWait();
    ASSERT_TRUE(list.isFailure());
    EXPECT_EQ(list.error().errorDescription(),
              "Could not load the top stories: Could not connect to the server: '127.0.0.1' refused the connection");
}

TEST_F(HackerNewsClientTest, AStoryThatFailsAloneIsCountedAndTheRestShown) {
    serveIds({1, 2, 3});
    serveStory(story(1, "One", "https://example.org/1"));
    server.reply("/v0/item/2.json", {500, "oops"});
    server.reply("/v0/item/3.json", {200, R"({"id": 3, "title": "Thr)"});
    const Result<StoryList> list = fetch();
    ASSERT_TRUE(list.isSuccess());
    EXPECT_EQ(titles(list.value()), QStringList({"One"}));
    EXPECT_EQ(list.value().missing, 2);

    // When every story fails, the list fails with the first reason.
    server.reply("/v0/item/1.json", {200, R"({"id": 1})"});
    const Result<StoryList> none = fetch();
    ASSERT_TRUE(none.isSuccess()) << "story 1 is still in the cache";
    EXPECT_EQ(titles(none.value()), QStringList({"One"}));
    cache->removeAllResponses(HackerNewsClient::realm);
    const Result<StoryList> empty = fetch();
    ASSERT_TRUE(empty.isFailure());
    EXPECT_TRUE(empty.error().errorDescription().startsWith("Could not load any story: "))
        << empty.error().errorDescription().toStdString();
}

TEST_F(HackerNewsClientTest, TheListReadBeforeIsShownWhileTheServerIsStopped) {
    EXPECT_FALSE(hn->cachedTopStories().has_value());
    serveFrontPage();
    ASSERT_TRUE(fetch().isSuccess());

    // A broken answer later does not replace it.
    server.reply("/v0/topstories.json", {200, "[3, 1,"});
    ASSERT_TRUE(fetch().isFailure());

    const QUrl api = server.url("/v0");
    server.close();
    const Result<StoryList> offline = fetch();
    ASSERT_TRUE(offline.isFailure());

    // Another process over the same cache folder and keyring finds it too.
    auto otherClient = std::make_unique<HTTPClient>(std::make_shared<HTTPCache>(*keychain, [this](const CachingRealm&) {
        CacheConfig config;
        config.directory = cacheDir.path();
        return config;
    }));
    HackerNewsClient later(*otherClient, api, QUrl("https://news.example.org"));
    const std::optional<StoryList> cached = later.cachedTopStories();
    ASSERT_TRUE(cached.has_value());
    EXPECT_TRUE(cached->cached);
    EXPECT_EQ(titles(*cached), QStringList({"A long read", "Show: a tiny launcher", "Ask: how do you keep notes?"}));
    EXPECT_EQ(cached->stories[0].commentsUrl, QUrl("https://news.example.org/item?id=3"));
    EXPECT_EQ(later.cachedTopStories(2)->stories.size(), 2u);

    // The files of the cache never hold the titles in clear.
    int files = 0;
    QDirIterator it(cacheDir.path(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_FALSE(file.readAll().contains("tiny launcher")) << file.fileName().toStdString();
        ++files;
    }
    EXPECT_GE(files, 4);
}

TEST(HackerNewsParsing, StoriesWithoutWhatAListNeedsAreRefused) {
    const QUrl site("https://news.example.org/");
    EXPECT_TRUE(HackerNewsClient::parseStory(R"({"id": 7})", site).isFailure());
    EXPECT_EQ(HackerNewsClient::parseStory(R"({"id": 7})", site).error().errorDescription(), "A story has no title: 7");
    EXPECT_EQ(HackerNewsClient::parseStory(R"({"title": "x"})", site).error().errorDescription(), "A story has no id");
    EXPECT_EQ(HackerNewsClient::parseStory("[1]", site).error().errorDescription(), "A story is not a JSON object");
    EXPECT_TRUE(HackerNewsClient::parseStory("{", site).error().errorDescription().startsWith("Cannot decode JSON: "));
    EXPECT_FALSE(HackerNewsClient::parseStory(" null\n", site).value().has_value());
    // A job has no comments to count.
    const auto job = HackerNewsClient::parseStory(R"({"id": 9, "title": "We are hiring", "type": "job", "score": 1})", site);
    ASSERT_TRUE(job.isSuccess() && job.value());
    EXPECT_EQ(job.value()->summary(), "1 point");
    EXPECT_TRUE(HackerNewsClient::parseStoryIds("[]").value().empty());
    EXPECT_TRUE(HackerNewsClient::parseStoryIds("null").isFailure());
    EXPECT_TRUE(HackerNewsClient::parseStoryIds("").isFailure());
}

}  // namespace
}  // namespace vantrel::test
