// "Check For Updates" against feeds served on 127.0.0.1: GitHub's release
// JSON, a list of releases, the plain form, and feeds that are broken, slow,
// missing or not JSON.
#include "features/about/UpdateFeed.h"
#include "support/LocalHttpServer.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

const Version kRunning = *Version::parse(QStringLiteral("0.1.0"));

LocalHttpServer::Response json(const QByteArray& body, int status = 200) {
    return {status, "application/json", body};
}

class UpdateFeedTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.listen()); }
    UpdateCheck check(const QString& path, int timeoutMs = UpdateFeed::kTimeoutMs) {
        return UpdateFeed::fetchAndWait(server.url(path), kRunning, timeoutMs);
    }
    LocalHttpServer server;
};

TEST_F(UpdateFeedTest, ANewerGitHubReleaseIsAnnouncedWithItsPageAndNotes) {
    server.route("/latest", json(R"({"tag_name": "v0.2.0", "html_url": "https://example.org/releases/0.2.0",
                                     "body": "- Faster search", "prerelease": false})"));
    const UpdateCheck result = check("/latest");
    ASSERT_TRUE(result.problem.isEmpty()) << result.problem.toStdString();
    ASSERT_TRUE(result.latest);
    EXPECT_TRUE(result.isNewer);
    EXPECT_EQ(result.latest->version.toString(), "0.2.0");
    EXPECT_EQ(result.latest->url, QUrl("https://example.org/releases/0.2.0"));
    EXPECT_EQ(result.latest->notes, "- Faster search");
    EXPECT_EQ(result.summary(kRunning), "Vantrel 0.2.0 is available (this is 0.1.0).");
}

TEST_F(UpdateFeedTest, TheSameOrAnOlderReleaseIsUpToDate) {
    server.route("/same", json(R"({"version": "0.1.0", "url": "https://example.org/0.1.0"})"));
    server.route("/older", json(R"({"version": "0.0.9"})"));
    for (const char* path : {"/same", "/older"}) {
        const UpdateCheck result = check(QString::fromLatin1(path));
        ASSERT_TRUE(result.problem.isEmpty()) << path;
        EXPECT_FALSE(result.isNewer) << path;
        EXPECT_EQ(result.summary(kRunning), "Vantrel 0.1.0 is up to date.");
    }
}

TEST_F(UpdateFeedTest, AListCountsItsFirstRealReleaseNotDraftsOrPrereleases) {
    server.route("/releases", json(R"([{"tag_name": "v0.4.0-beta.1", "prerelease": true},
                                        {"tag_name": "v0.3.5", "draft": true},
                                        {"tag_name": "v0.3.0", "html_url": "https://example.org/0.3.0"},
                                        {"tag_name": "v0.2.0"}])"));
    const UpdateCheck result = check("/releases");
    ASSERT_TRUE(result.latest) << result.problem.toStdString();
    EXPECT_EQ(result.latest->version.toString(), "0.3.0");
    EXPECT_TRUE(result.isNewer);
}

TEST_F(UpdateFeedTest, BrokenFeedsAreSaidInWords) {
    server.route("/html", {200, "text/html", "<html>maintenance</html>"});
    server.route("/noversion", json(R"({"name": "Vantrel"})"));
    server.route("/badversion", json(R"({"version": "latest!"})"));
    server.route("/empty", json("[]"));
    server.route("/number", json("42"));
    server.route("/gone", json("{}", 404));
    EXPECT_TRUE(check("/html").problem.startsWith("The update feed is not JSON"));
    EXPECT_EQ(check("/noversion").problem, "The update feed names no version (\"tag_name\" or \"version\").");
    EXPECT_EQ(check("/badversion").problem, "The update feed's version is not a version: 'latest!'");
    EXPECT_EQ(check("/empty").problem, "The update feed lists no release.");
    EXPECT_EQ(check("/number").problem.isEmpty(), false);
    EXPECT_EQ(check("/gone").problem, "The update feed answered HTTP 404.");
    for (const char* path : {"/html", "/noversion", "/gone"}) EXPECT_FALSE(check(QString::fromLatin1(path)).latest);
}

TEST_F(UpdateFeedTest, AFeedThatNeverAnswersStopsAtTheTimeout) {
    server.route("/slow", json(R"({"version": "9.0.0"})"));
    server.hold("/slow");
    QElapsedTimer clock;
    clock.start();
    const UpdateCheck result = check("/slow", 500);
    EXPECT_EQ(result.problem, "The update feed did not answer within 0.5 seconds.");
    EXPECT_FALSE(result.latest);
    EXPECT_LT(clock.elapsed(), 5000);
    server.release("/slow");
}

TEST_F(UpdateFeedTest, OnlyWebLinksAreFetched) {
    const UpdateCheck result = UpdateFeed::fetchAndWait(QUrl("file:///etc/passwd"), kRunning);
    EXPECT_EQ(result.problem, "The update feed is not an http(s) link: 'file:///etc/passwd'");
    const UpdateCheck closed = UpdateFeed::fetchAndWait(QUrl("http://127.0.0.1:9/feed"), kRunning);
    EXPECT_TRUE(closed.problem.startsWith("The update feed cannot be reached")) << closed.problem.toStdString();
}

}  // namespace
}  // namespace vantrel::test
