// The extension store over a local index and real zips on 127.0.0.1, with the
// real registry and database: listing, installing, marking what is installed,
// uninstalling, and every way an index or a download can be bad, each with a
// clear message and nothing left in extensions/ or the temporary folder.
#include "support/RootSearchTestSupport.h"
#include "support/TestHttpServer.h"

#include "extensions/packages/ArchiveFixtures.h"
#include "extensions/packages/ExtensionPaths.h"
#include "extensions/packages/ExtensionRegistry.h"
#include "features/extensions/ExtensionsFeature.h"
#include "features/extensions/ExtensionsStore.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace vantrel::test {
namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList storeDownloads() {
    return QDir(QDir::tempPath()).entryList({QStringLiteral("vantrel-store-*")}, QDir::Dirs | QDir::NoDotAndDotDot);
}

class ExtensionsStoreTest : public RootSearchFixture {
protected:
    void SetUp() override {
        RootSearchFixture::SetUp();
        QDir().mkpath(work);
        // Downloads go to a temporary folder of this test alone.
        QDir().mkpath(home.root() + QStringLiteral("/tmp"));
        tmp = std::make_unique<ScopedEnv>("TMPDIR", (home.root() + QStringLiteral("/tmp")).toUtf8());
        ASSERT_TRUE(server.listen());
        ASSERT_TRUE(start());
        feature = features->api<ExtensionsFeature>();
        ASSERT_TRUE(feature && feature->extensionRegistry());
        store = feature->store();
        ASSERT_TRUE(store);
        downloadsBefore = storeDownloads();
    }

    // A zip of a package named `name` served at /zips/<file>.
    QString serveZip(const QString& name, const QString& file, const QStringList& commands = {QStringLiteral("greet")}) {
        writePackageFolder(work, name, commands);
        const QString archive = zipFolder(work, name, work + QLatin1Char('/') + file);
        server.reply(QStringLiteral("/zips/") + file, {200, readAll(archive), {{"Content-Type", "application/zip"}}});
        return QStringLiteral("/zips/") + file;
    }

    static QJsonObject listing(const QString& name, const QString& download) {
        return {{"id", QStringLiteral("id-") + name},
                {"name", name},
                {"title", name.left(1).toUpper() + name.mid(1)},
                {"description", QStringLiteral("The %1 extension").arg(name)},
                {"icon", QStringLiteral("/icons/%1.png").arg(name)},
                {"author", QJsonObject{{"name", "Ada Example"}, {"username", "ada"}}},
                {"download_url", download}};
    }

    void serveIndex(const QJsonValue& index) {
        server.reply("/index.json", {200, index.isArray() ? QJsonDocument(index.toArray()).toJson()
                                                          : QJsonDocument(index.toObject()).toJson()});
    }

    StoreIndex index() {
        const Result<StoreIndex> read = store->fetchIndexAndWait(server.url("/index.json"));
        EXPECT_TRUE(read.isSuccess()) << read.error().errorDescription().toStdString();
        return read.isSuccess() ? read.value() : StoreIndex{};
    }

    static QString extensions() { return ExtensionPaths::extensionsDir(); }

    void expectNothingLeftBehind() {
        EXPECT_EQ(treeOf(extensions()), QStringList());
        EXPECT_TRUE(feature->extensionRegistry()->fetchAllExtensions().empty());
        EXPECT_EQ(storeDownloads(), downloadsBefore);
    }

    QString work = home.root() + QStringLiteral("/work");
    TestHttpServer server;
    ExtensionsFeature* feature = nullptr;
    ExtensionsStore* store = nullptr;
    QStringList downloadsBefore;
    std::unique_ptr<ScopedEnv> tmp;
};

TEST_F(ExtensionsStoreTest, ListsTheIndexInstallsAZipAndMarksItInstalled) {
    const QString weather = serveZip("weather", "weather.zip", {"forecast", "radar"});
    QJsonObject clock = listing("clock", "zips/clock.zip");  // relative to the index
    clock.insert("author", "Grace Example");
    clock.remove("id");
    serveIndex(QJsonObject{{"extensions", QJsonArray{listing("weather", weather), clock}}});

    const StoreIndex read = index();
    ASSERT_EQ(read.listings.size(), 2u);
    EXPECT_TRUE(read.problems.isEmpty());
    const StoreListing& first = read.listings[0];
    EXPECT_EQ(first.title, "Weather");
    EXPECT_EQ(first.description, "The weather extension");
    EXPECT_EQ(first.author, "Ada Example");
    EXPECT_EQ(first.authorUsername, "ada");
    EXPECT_EQ(first.icon, server.url("/icons/weather.png"));
    EXPECT_EQ(read.listings[1].downloadUrl, server.url("/zips/clock.zip"));
    EXPECT_EQ(read.listings[1].author, "Grace Example");
    // An entry without an id gets the same one every time.
    EXPECT_FALSE(read.listings[1].id.isEmpty());
    EXPECT_EQ(index().listings[1].id, read.listings[1].id);

    EXPECT_FALSE(store->installedPackage(first));
    const Result<ExtensionPackage> installed = store->installAndWait(first);
    ASSERT_TRUE(installed.isSuccess()) << installed.error().errorDescription().toStdString();
    EXPECT_EQ(installed.value().id.rawValue(), "weather__id-weather");
    EXPECT_EQ(server.count("/zips/weather.zip"), 1);
    ASSERT_TRUE(store->installedPackage(first));
    EXPECT_EQ(*store->installedPackage(first), ExtensionId("weather", "id-weather"));
    EXPECT_FALSE(store->installedPackage(read.listings[1]));
    EXPECT_EQ(installed.value().folder(), extensions() + "/id-weather");
    EXPECT_TRUE(QFileInfo::exists(extensions() + "/id-weather/forecast.js"));
    const auto commands = feature->extensionRegistry()->commands();
    EXPECT_EQ(commands.size(), 2u);
    EXPECT_EQ(storeDownloads(), downloadsBefore);

    store->uninstall(first);
    EXPECT_FALSE(store->installedPackage(first));
    expectNothingLeftBehind();
    try {
        store->uninstall(first);
        ADD_FAILURE() << "uninstalling twice succeeded";
    } catch (const VantrelError& error) {
        EXPECT_EQ(error.errorDescription(), "Failed to uninstall extension: 'Weather' is not installed");
    }
}

TEST_F(ExtensionsStoreTest, AnExtensionInstalledFromAZipCountsAsInstalledAndIsReplaced) {
    const QString weather = serveZip("weather", "weather.zip");
    serveIndex(QJsonArray{listing("weather", weather)});
    const QString local = zipFolder(work, "weather", work + "/local.zip");
    feature->extensionRegistry()->installPackage(local, feature->extensionRegistry()->localInstallation(local, "weather"));
    const StoreListing listed = index().listings.at(0);
    ASSERT_TRUE(store->installedPackage(listed));
    ASSERT_TRUE(store->installAndWait(listed).isSuccess());
    EXPECT_EQ(feature->extensionRegistry()->fetchAllExtensions().size(), 1u);
}

TEST_F(ExtensionsStoreTest, BadIndexesSayWhatIsWrong) {
    const struct {
        const char* what;
        TestHttpServer::Response response;
        QString message;
    } cases[] = {
        {"cut JSON", {200, R"([{"name": "a")"}, "The extension index is not valid JSON: "},
        {"HTML", {200, "<html></html>", {{"Content-Type", "text/html"}}}, "The extension index is not valid JSON: "},
        {"a number", {200, "42"}, "The extension index is not valid JSON: "},
        {"no list", {200, R"({"items": []})"}, "The extension index is not a list of extensions"},
        {"server error", {500, "{}"}, "Could not load the extension index: Request failed with status 500"},
        {"missing", {404, "{}"}, "Could not load the extension index: Request failed with status 404"},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.what);
        server.reply("/index.json", each.response);
        const Result<StoreIndex> read = store->fetchIndexAndWait(server.url("/index.json"));
        ASSERT_TRUE(read.isFailure());
        EXPECT_TRUE(read.error().errorDescription().startsWith(each.message)) << read.error().errorDescription().toStdString();
    }
    const Result<StoreIndex> notWeb = store->fetchIndexAndWait(QUrl("file:///etc/passwd"));
    ASSERT_TRUE(notWeb.isFailure());
    EXPECT_EQ(notWeb.error().errorDescription(), "The extension index is not an http(s) link: 'file:///etc/passwd'");

    const QUrl gone = server.url("/index.json");
    server.close();
    const Result<StoreIndex> down = store->fetchIndexAndWait(gone);
    ASSERT_TRUE(down.isFailure());
    EXPECT_EQ(down.error().errorDescription(),
              "Could not load the extension index: Could not connect to the server: '127.0.0.1' refused the connection");
}

TEST_F(ExtensionsStoreTest, EntriesMissingFieldsAreLeftOutAndNamed) {
    QJsonObject noTitle = listing("notitle", "/zips/a.zip");
    noTitle.remove("title");
    QJsonObject emptyDescription = listing("blank", "/zips/b.zip");
    emptyDescription.insert("description", "  ");
    QJsonObject numberName = listing("x", "/zips/c.zip");
    numberName.insert("name", 12);
    QJsonObject noDownload = listing("nodownload", "");
    noDownload.remove("download_url");
    QJsonObject ftp = listing("ftp", "ftp://example.org/x.zip");
    QJsonObject escaping = listing("../up", "/zips/d.zip");
    QJsonObject badId = listing("badid", "/zips/e.zip");
    badId.insert("id", "a/b");
    const QJsonObject good = listing("good", "/zips/good.zip");
    QJsonObject twice = listing("good", "/zips/other.zip");
    twice.insert("id", "another");
    serveIndex(QJsonArray{noTitle, emptyDescription, numberName, noDownload, ftp, escaping, badId, "text", good, twice});

    const StoreIndex read = index();
    ASSERT_EQ(read.listings.size(), 1u);
    EXPECT_EQ(read.listings[0].name, "good");
    EXPECT_EQ(read.problems, QStringList({
                                 "Entry 1 ('notitle') has no 'title'",
                                 "Entry 2 ('blank') has an empty or non-text 'description'",
                                 "Entry 3 has an empty or non-text 'name'",
                                 "Entry 4 ('nodownload') has no 'download_url'",
                                 "Entry 5 ('ftp') has a 'download_url' that is not an http(s) link",
                                 "Entry 6 ('../up') has an invalid 'name'",
                                 "Entry 7 ('badid') has an invalid 'id'",
                                 "Entry 8 is not an object",
                                 "Entry 10 ('good') repeats the name of an earlier entry",
                             }));
}

TEST_F(ExtensionsStoreTest, FailedDownloadsAndBadZipsLeaveNothingBehind) {
    // A zip whose manifest names another extension, one without a manifest,
    // text instead of a zip, a 404 and a server that went away.
    const QString other = serveZip("other", "other.zip");
    server.reply("/zips/text.zip", {200, "not a zip at all", {{"Content-Type", "application/zip"}}});
    rawZip(work + "/none.zip", {{"pkg/index.js", "1"}});
    server.reply("/zips/none.zip", {200, readAll(work + "/none.zip"), {{"Content-Type", "application/zip"}}});
    rawZip(work + "/escape.zip", {{"escape/package.json", manifestJson("escape")}, {"../outside", "x"}});
    server.reply("/zips/escape.zip", {200, readAll(work + "/escape.zip"), {{"Content-Type", "application/zip"}}});
    serveIndex(QJsonArray{listing("renamed", other), listing("none", "/zips/none.zip"), listing("text", "/zips/text.zip"),
                          listing("escape", "/zips/escape.zip"), listing("missing", "/zips/missing.zip")});
    const StoreIndex read = index();
    ASSERT_EQ(read.listings.size(), 5u);
    const QString expected[] = {
        "Failed to install extension: the archive holds the extension 'other', not 'renamed'",
        "Failed to install extension: Could not load URL: ",
        "Failed to install extension: Could not get archive path at: ",
        "Failed to install extension: Archive entry escapes its folder: '../outside'",
        "Failed to download the extension: Request failed with status 404",
    };
    for (size_t i = 0; i < read.listings.size(); ++i) {
        SCOPED_TRACE(read.listings[i].name.toStdString());
        const Result<ExtensionPackage> installed = store->installAndWait(read.listings[i]);
        ASSERT_TRUE(installed.isFailure());
        EXPECT_TRUE(installed.error().errorDescription().startsWith(expected[i]))
            << installed.error().errorDescription().toStdString();
        expectNothingLeftBehind();
    }
    server.close();
    const Result<ExtensionPackage> down = store->installAndWait(read.listings[0]);
    ASSERT_TRUE(down.isFailure());
    EXPECT_EQ(down.error().errorDescription(),
              "Failed to download the extension: Could not connect to the server: '127.0.0.1' refused the connection");
    expectNothingLeftBehind();
}

}  // namespace
}  // namespace vantrel::test
