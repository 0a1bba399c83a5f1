// `vantrel hackernews` and `vantrel run media_hackerNews` through the real
// executable, against a server on 127.0.0.1 this test runs: the list as text
// and JSON, the list read before when the server is stopped, and wrong
// arguments.
#include "cli/CliTestSupport.h"
#include "support/TestHttpServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace vantrel::test {
namespace {

class CliHackerNewsTest : public CliFixture {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.listen());
        api = server.url("/v0/");
        const ProcessRun set = run({"config", "set", "media", "apiURL", "\"" + api.toString() + "\""});
        ASSERT_EQ(set.exitCode, 0) << set.err.toStdString();
        const ProcessRun site = run({"config", "set", "media", "siteURL", "\"https://news.example.org/\""});
        ASSERT_EQ(site.exitCode, 0) << site.err.toStdString();
    }


    void serveFrontPage() {
        server.reply("/v0/topstories.json", {200, "[2, 1]"});
        server.reply("/v0/item/1.json",
                     {200, R"({"id": 1, "title": "Ask: favourite launcher?", "by": "ada", "score": 12, "descendants": 3})"});
        server.reply("/v0/item/2.json", {200, R"({"id": 2, "title": "A new release", "url": "https://www.example.org/r",
                                             "by": "grace", "score": 1, "descendants": 1})"});
    }

    TestHttpServer server;
    QUrl api;
};

TEST_F(CliHackerNewsTest, PrintsTheTopStoriesAsTextAndJson) {
    serveFrontPage();
    const ProcessRun text = runServing({"hackernews"});
    ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
    EXPECT_EQ(text.out,
              "1. A new release (example.org)\n"
              "    1 point · by grace · 1 comment\n"
              "    https://www.example.org/r\n"
              "    https://news.example.org/item?id=2\n"
              "2. Ask: favourite launcher?\n"
              "    12 points · by ada · 3 comments\n"
              "    https://news.example.org/item?id=1\n");
    EXPECT_TRUE(text.err.isEmpty()) << text.err.toStdString();

    const ProcessRun json = runServing({"run", "media_hackerNews", "--json"});
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    const QJsonArray stories = QJsonDocument::fromJson(json.out.toUtf8()).array();
    ASSERT_EQ(stories.size(), 2);
    EXPECT_EQ(stories[0].toObject().value("title").toString(), "A new release");
    EXPECT_EQ(stories[1].toObject().value("url").toString(), "https://news.example.org/item?id=1");
    EXPECT_EQ(stories[1].toObject().value("comments").toInt(), 3);
}

TEST_F(CliHackerNewsTest, TheListReadBeforeIsPrintedWhenTheServerIsStopped) {
    const ProcessRun none = runServing({"hackernews"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.err.startsWith("vantrel: Could not load the top stories: Request failed with status 404"))
        << none.err.toStdString();

    serveFrontPage();
    ASSERT_EQ(runServing({"hackernews", "--json"}).exitCode, 0);
    server.close();
    const ProcessRun offline = runServing({"hackernews", "--json"});
    EXPECT_EQ(offline.exitCode, 0) << offline.err.toStdString();
    EXPECT_EQ(offline.err,
              "vantrel: Could not load the top stories: Could not connect to the server: '127.0.0.1' refused the "
              "connection\nvantrel: Showing the stories read before\n");
    EXPECT_EQ(QJsonDocument::fromJson(offline.out.toUtf8()).array().size(), 2);
}

TEST_F(CliHackerNewsTest, WrongArgumentsAreRefused) {
    for (const QStringList& arguments : {QStringList{"hackernews", "--limit", "0"}, QStringList{"hackernews", "--limit", "x"},
                                         QStringList{"hackernews", "--limit"}, QStringList{"hackernews", "extra"}}) {
        const ProcessRun refused = run(arguments);
        EXPECT_EQ(refused.exitCode, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(refused.err.startsWith("vantrel: ")) << refused.err.toStdString();
    }
    EXPECT_TRUE(server.requests().empty());
}

}  // namespace
}  // namespace vantrel::test
