// `vantrel bookmarks` through the real executable over a home folder whose
// browser profiles were made by firefox-esr and chromium: their bookmarks are
// listed with the right names, links and folders, bad files are reported and
// skipped, and sources are switched off and on.
#include "cli/CliTestSupport.h"
#include "support/ScriptCommandTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vantrel::test {
namespace {

class CliBookmarksTest : public CliFixture {
protected:
    void SetUp() override {
        const QString fixtures = QDir::cleanPath(sourceDirectory() + "/tests/fixtures/bookmarks");
        copy(fixtures + "/chromium/Default/Bookmarks", home.root() + "/.config/chromium/Default/Bookmarks");
        copy(fixtures + "/chromium/Local State", home.root() + "/.config/chromium/Local State");
        const QString profile = home.root() + "/.mozilla/firefox/x1.default-esr";
        for (const char* name : {"places.sqlite", "places.sqlite-wal"})
            copy(fixtures + "/firefox/" + name, profile + "/" + name);
        write(home.root() + "/.mozilla/firefox/profiles.ini",
              "[Profile0]\nName=default-esr\nIsRelative=1\nPath=x1.default-esr\nDefault=1\n");
    }

    static void copy(const QString& from, const QString& to) {
        QDir().mkpath(QFileInfo(to).absolutePath());
        ASSERT_TRUE(QFile::copy(from, to)) << from.toStdString();
        QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner);
    }

    static void write(const QString& path, const QByteArray& text) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }

    QJsonArray list(const QStringList& options = {}) {
        const ProcessRun listed = run(QStringList{"bookmarks", "list", "--json"} + options);
        EXPECT_EQ(listed.exitCode, 0) << listed.err.toStdString();
        return QJsonDocument::fromJson(listed.out.toUtf8()).array();
    }

    ScopedEnv homeVariable{"HOME", home.root().toUtf8()};
};

TEST_F(CliBookmarksTest, SyncListsTheBrowsersBookmarksWithTheirFolders) {
    const ProcessRun sync = run({"bookmarks", "sync"});
    ASSERT_EQ(sync.exitCode, 0) << sync.err.toStdString();
    EXPECT_EQ(sync.out, QStringLiteral("brave: not found\nchrome: not found\nchromium: 7 bookmarks\nfirefox: 7 bookmarks\n"));

    const QJsonArray firefox = list({"--source", "firefox"});
    ASSERT_EQ(firefox.size(), 7);
    QJsonObject unsorted;
    for (const auto& value : firefox)
        if (value.toObject()["name"] == "Unsorted Page") unsorted = value.toObject();
    // Only in the WAL file of the running Firefox.
    EXPECT_EQ(unsorted["url"].toString(), QStringLiteral("https://unsorted.example.org/"));
    EXPECT_EQ(unsorted["folder"].toString(), QStringLiteral("Other Bookmarks"));

    const QJsonArray reading = list({"--query", "long"});
    ASSERT_EQ(reading.size(), 2);
    for (const auto& value : reading)
        EXPECT_EQ(value.toObject()["url"].toString(), QStringLiteral("https://example.org/long-read"));
    QStringList folders;
    for (const auto& value : reading) folders << value.toObject()["folder"].toString();
    folders.sort();
    EXPECT_EQ(folders, (QStringList{"Bookmarks Bar / Work / Reading", "Toolbar / Work / Reading"}));

    const ProcessRun plain = run({"bookmarks", "list", "--source", "chromium", "--query", "docs"});
    EXPECT_TRUE(plain.out.startsWith(QStringLiteral("Chromium Docs"))) << plain.out.toStdString();
    EXPECT_TRUE(plain.out.contains(QStringLiteral("https://www.chromium.org/developers/")));
    EXPECT_EQ(run({"bookmarks", "list", "--source", "netscape"}).exitCode, 2);
}

TEST_F(CliBookmarksTest, ABrokenFileIsReportedAndSkippedWhileTheOthersLoad) {
    write(home.root() + "/.config/chromium/Default/Bookmarks", "{\"roots\": {\"bookmark_bar\": ");
    const ProcessRun sync = run({"bookmarks", "sync"});
    ASSERT_EQ(sync.exitCode, 0);
    EXPECT_TRUE(sync.out.contains(QStringLiteral("chromium: skipped")));
    EXPECT_TRUE(sync.out.contains(QStringLiteral("firefox: 7 bookmarks")));
    EXPECT_TRUE(sync.err.contains(QStringLiteral("Could not parse bookmarks from chromium: Chromium bookmarks file is not valid JSON")))
        << sync.err.toStdString();
    EXPECT_EQ(list().size(), 7);
}

TEST_F(CliBookmarksTest, ASwitchedOffBrowserIsNeitherReadNorListed) {
    ASSERT_EQ(run({"bookmarks", "sync"}).exitCode, 0);
    EXPECT_EQ(run({"bookmarks", "disable", "firefox"}).out.trimmed(), QStringLiteral("Firefox bookmarks off"));
    EXPECT_TRUE(list({"--source", "firefox"}).isEmpty());
    const ProcessRun sync = run({"bookmarks", "sync"});
    EXPECT_FALSE(sync.out.contains(QStringLiteral("firefox")));
    EXPECT_EQ(list().size(), 6);
    ASSERT_EQ(run({"bookmarks", "enable", "firefox"}).exitCode, 0);
    run({"bookmarks", "sync"});
    EXPECT_EQ(list().size(), 13);
    const ProcessRun sources = run({"bookmarks", "sources"});
    EXPECT_TRUE(sources.out.contains(QStringLiteral("chromium  on   *Your Chromium (Default)"))) << sources.out.toStdString();
    EXPECT_TRUE(sources.out.contains(QStringLiteral("safari    off  no file chosen")));
}

}  // namespace
}  // namespace vantrel::test
