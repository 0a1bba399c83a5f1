// The launcher's own commands through the real executable: the Manual and the
// Changelog shipped beside it, the feedback page opened with the version and
// the system filled in, and the update check against a feed on 127.0.0.1.
#include "cli/CliTestSupport.h"
#include "support/LocalHttpServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QThread>
#include <QUrlQuery>

namespace vantrel::test {
namespace {

class CliAboutTest : public CliFixture {
protected:
    void SetUp() override { marker = recordOpenedLinks(); }

    QString openedLink() const { return CliFixture::openedLink(marker); }

    QString marker;
};

TEST_F(CliAboutTest, TheManualAndTheChangelogAreTheDocumentsShippedWithTheProgram) {
    const ProcessRun manual = run({"run", "openVantrelManual"});
    ASSERT_EQ(manual.exitCode, 0) << manual.err.toStdString();
    QFile source(QStringLiteral(VANTREL_SOURCE_DIR "/docs/manual.md"));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    EXPECT_EQ(manual.out, QString::fromUtf8(source.readAll()));
    const ProcessRun changelog = run({"run", "openVantrelChangelog"});
    ASSERT_EQ(changelog.exitCode, 0) << changelog.err.toStdString();
    EXPECT_TRUE(changelog.out.startsWith("# Changelog\n"));
}

TEST_F(CliAboutTest, SendFeedbackOpensTheConfiguredIssuePageWithVersionAndSystem) {
    ASSERT_EQ(run({"config", "set", "default", "feedbackURL", "\"https://issues.example.org/new?labels=feedback\""})
                  .exitCode,
              0);
    const ProcessRun sent = run({"run", "sendFeedback"});
    ASSERT_EQ(sent.exitCode, 0) << sent.err.toStdString();
    const QUrl opened(openedLink());
    EXPECT_EQ(opened.host(), "issues.example.org");
    EXPECT_EQ(opened.path(), "/new");
    const QUrlQuery query(opened);
    EXPECT_EQ(query.queryItemValue("labels"), "feedback");
    const QString body = query.queryItemValue("body", QUrl::FullyDecoded);
    EXPECT_TRUE(body.contains("Vantrel version: 0.1.0")) << body.toStdString();
    EXPECT_TRUE(body.contains("System: ")) << body.toStdString();
    EXPECT_TRUE(body.contains("Desktop: ")) << body.toStdString();
}

TEST_F(CliAboutTest, CheckForUpdatesComparesWithTheLocalFeed) {
    LocalHttpServer server;
    ASSERT_TRUE(server.listen());
    server.route("/newer", {200, "application/json", R"({"tag_name": "v9.1.0", "html_url": "https://example.org/9.1"})"});
    server.route("/same", {200, "application/json", R"({"version": "0.1.0"})"});
    server.route("/broken", {200, "application/json", "{\"version\": "});
    const auto feed = [&](const char* path) {
        const ProcessRun set =
            run({"config", "set", "default", "updatesFeedURL", "\"" + server.url(QString::fromLatin1(path)).toString() + "\""});
        ASSERT_EQ(set.exitCode, 0) << set.err.toStdString();
    };
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("VANTREL_PACKAGED", "0");

    feed("/newer");
    const ProcessRun newer = runServing({"run", "checkForUpdates"}, environment);
    EXPECT_EQ(newer.exitCode, 0) << newer.err.toStdString();
    EXPECT_EQ(newer.out, "Vantrel 9.1.0 is available (this is 0.1.0).\nhttps://example.org/9.1\n");
    EXPECT_EQ(server.requests("/newer"), 1);

    feed("/same");
    const ProcessRun same = runServing({"run", "checkForUpdates"}, environment);
    EXPECT_EQ(same.out, "Vantrel 0.1.0 is up to date.\n");

    feed("/broken");
    const ProcessRun broken = runServing({"run", "checkForUpdates"}, environment);
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_TRUE(broken.err.startsWith("vantrel: The update feed is not JSON")) << broken.err.toStdString();
}

TEST_F(CliAboutTest, APackagedProgramLeavesUpdatesToItsPackageManager) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("VANTREL_PACKAGED", "1");
    const ProcessRun ran = runServing({"run", "checkForUpdates"}, environment);
    EXPECT_EQ(ran.exitCode, 0);
    EXPECT_EQ(ran.out, "Vantrel came from the distribution's package, which keeps it up to date.\n");
    // And it is not offered in search.
    const ProcessRun search = runServing({"search", "--json", "Check For Updates"}, environment);
    EXPECT_FALSE(search.out.contains("\"checkForUpdates\"")) << search.out.toStdString();
}

}  // namespace
}  // namespace vantrel::test
