// `vantrel extensions store` and `vantrel run extensionsStore` through the
// real executable, against an index and zips this test serves on 127.0.0.1.
#include "cli/CliTestSupport.h"
#include "extensions/packages/ArchiveFixtures.h"
#include "support/TestHttpServer.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace vantrel::test {
namespace {

class ExtensionsStoreCliTest : public CliFixture {
protected:
    void SetUp() override {
        QDir().mkpath(work);
        ASSERT_TRUE(server.listen());
        const ProcessRun set =
            run({"config", "set", "default", "extensionsStoreURL", "\"" + server.url("/index.json").toString() + "\""});
        ASSERT_EQ(set.exitCode, 0) << set.err.toStdString();
    }


    QString work = home.root() + QStringLiteral("/work");
    QString extensions = home.root() + QStringLiteral("/data/vantrel/extensions");
    TestHttpServer server;
};

TEST_F(ExtensionsStoreCliTest, ListsInstallsAndMarksInstalled) {
    writePackageFolder(work, "weather", {"forecast"});
    QFile zip(zipFolder(work, "weather", work + "/weather.zip"));
    ASSERT_TRUE(zip.open(QIODevice::ReadOnly));
    server.reply("/weather.zip", {200, zip.readAll(), {{"Content-Type", "application/zip"}}});
    server.reply("/index.json", {200, R"([
        {"id": "w1", "name": "weather", "title": "Weather", "description": "Forecasts", "author": "Ada",
         "download_url": "weather.zip"},
        {"name": "broken", "title": "Broken"}
    ])"});

    const ProcessRun listed = runServing({"run", "extensionsStore"});
    ASSERT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    EXPECT_EQ(listed.out, "Weather (weather) by Ada\n  Forecasts\n");
    EXPECT_EQ(listed.err, "vantrel: Left out of the index: Entry 2 ('broken') has no 'description'\n");

    const ProcessRun installed = runServing({"extensions", "store", "install", "weather"});
    ASSERT_EQ(installed.exitCode, 0) << installed.err.toStdString();
    EXPECT_TRUE(installed.out.startsWith("Extension installed: Weather (weather__w1)")) << installed.out.toStdString();

    const ProcessRun json = runServing({"extensions", "store", "--json"});
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    const QJsonArray array = QJsonDocument::fromJson(json.out.toUtf8()).array();
    ASSERT_EQ(array.size(), 1);
    EXPECT_TRUE(array[0].toObject().value("installed").toBool());
    EXPECT_EQ(array[0].toObject().value("download_url").toString(), server.url("/weather.zip").toString());

    const ProcessRun unknown = runServing({"extensions", "store", "install", "nothing"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(unknown.err.endsWith("vantrel: The index lists no extension named 'nothing'\n")) << unknown.err.toStdString();
}

TEST_F(ExtensionsStoreCliTest, AnUnreachableIndexOrABadZipFailsWithItsReason) {
    server.reply("/bad.zip", {200, "not a zip", {{"Content-Type", "application/zip"}}});
    server.reply("/index.json", {200, R"([{"name": "bad", "title": "Bad", "description": "x", "download_url": "/bad.zip"}])"});
    const ProcessRun bad = runServing({"extensions", "store", "install", "bad"});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_TRUE(bad.err.startsWith("vantrel: Failed to install extension: Could not get archive path at: "))
        << bad.err.toStdString();
    EXPECT_EQ(treeOf(extensions), QStringList());

    EXPECT_EQ(run({"extensions", "store", "install"}).exitCode, 2);
    EXPECT_EQ(run({"extensions", "store", "extra"}).exitCode, 2);

    server.close();
    const ProcessRun down = runServing({"run", "extensionsStore"});
    EXPECT_EQ(down.exitCode, 1);
    EXPECT_EQ(down.err,
              "vantrel: Could not load the extension index: Could not connect to the server: '127.0.0.1' refused the "
              "connection\n");
}

}  // namespace
}  // namespace vantrel::test
