// Syncing the browsers' bookmarks into the encrypted database: each source
// replaces its rows, a source that cannot be read is skipped with its message
// while the others load, switched-off sources are neither read nor listed,
// icons come from the browsers' own databases, opening a bookmark ranks it
// higher, and a changed bookmark file syncs again by itself.
#include "features/bookmarks/BookmarksTestSupport.h"
#include "support/DatabaseTestSupport.h"

#include "features/bookmarks/BookmarksSearch.h"
#include "features/bookmarks/BrowserBookmarksService.h"

#include <QImage>

namespace vantrel::test {
namespace {

class BrowserBookmarksServiceTest : public OpenDatabaseFixture {
protected:
    void SetUp() override {
        OpenDatabaseFixture::SetUp();
        repository = std::make_shared<BrowserBookmarksRepository>(pool);
        service = std::make_unique<BrowserBookmarksService>(repository, BrowserLocations(home.root()),
                                                            [this] { return settings; });
    }

    QStringList stored(const QString& source) const {
        QStringList list;
        for (const auto& row : repository->readAll(source)) list << row.name;
        list.sort();
        return list;
    }

    const BookmarkSourceSync* result(const BookmarksSyncReport& report, BrowserBookmark::Source source) const {
        for (const auto& entry : report.sources)
            if (entry.source == source) return &entry;
        return nullptr;
    }

    BrowserHome browsers{home.root()};
    BrowserBookmarksSettings settings;
    std::shared_ptr<BrowserBookmarksRepository> repository;
    std::unique_ptr<BrowserBookmarksService> service;
};

TEST_F(BrowserBookmarksServiceTest, EachBrowserReplacesItsOwnRows) {
    browsers.chromium();
    browsers.firefox();
    const BookmarksSyncReport report = service->sync();
    EXPECT_EQ(result(report, BrowserBookmark::Source::chromium)->count, 7);
    EXPECT_EQ(result(report, BrowserBookmark::Source::firefox)->count, 7);
    EXPECT_FALSE(result(report, BrowserBookmark::Source::chrome)->loaded);
    EXPECT_EQ(result(report, BrowserBookmark::Source::chrome)->error, QStringLiteral("Could not get bookmarks URL for chrome"));
    // The same link twice in Chromium is one row (the later name); once in each browser is two.
    EXPECT_EQ(stored("chromium"), (QStringList{"Chromium Docs", "Issue Tracker", "Local Page", "Long Read",
                                               "Shared Page again", "Unsorted Page"}));
    EXPECT_EQ(stored("firefox"), (QStringList{"Arch Wiki", "Issue Tracker", "Local Page", "Long Read", "Shared Page",
                                              "Unsorted Page", "Vantrel Docs"}));

    // The bookmark removed in the browser goes; the others stay.
    QFile file(home.root() + "/.config/chromium/Default/Bookmarks");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray json = file.readAll();
    file.close();
    json.replace("https://www.chromium.org/developers/", "https://www.chromium.org/home/");
    json.replace("Chromium Docs", "Chromium Home");
    BrowserHome::write(file.fileName(), json);
    service->sync();
    EXPECT_TRUE(stored("chromium").contains("Chromium Home"));
    EXPECT_FALSE(stored("chromium").contains("Chromium Docs"));
    EXPECT_EQ(stored("firefox").size(), 7);
}

TEST_F(BrowserBookmarksServiceTest, UnreadableSourcesAreSkippedWithTheirMessageAndTheOthersLoad) {
    browsers.chromium();
    // A Chrome whose file was cut short, a Brave whose file is not JSON, and
    // a Firefox profile whose places.sqlite is not a database.
    const QString chrome = browsers.chromium(".config/google-chrome");
    QFile cut(chrome + "/Default/Bookmarks");
    ASSERT_TRUE(cut.resize(900));
    const QString brave = browsers.chromium(".config/BraveSoftware/Brave-Browser");
    BrowserHome::write(brave + "/Default/Bookmarks", "\x00\x01garbage");
    const QString firefox = browsers.firefox();
    BrowserHome::write(firefox + "/k3x9.default-esr/places.sqlite", QByteArray(4096, 'x'));
    QFile::remove(firefox + "/k3x9.default-esr/places.sqlite-wal");

    const BookmarksSyncReport report = service->sync();
    EXPECT_EQ(result(report, BrowserBookmark::Source::chromium)->count, 7);
    EXPECT_FALSE(result(report, BrowserBookmark::Source::chrome)->loaded);
    EXPECT_TRUE(result(report, BrowserBookmark::Source::chrome)->error.startsWith("Chromium bookmarks file is not valid JSON"));
    EXPECT_TRUE(result(report, BrowserBookmark::Source::brave)->error.startsWith("Chromium bookmarks file is not valid JSON"));
    EXPECT_TRUE(result(report, BrowserBookmark::Source::firefox)->error.contains("not a database"))
        << result(report, BrowserBookmark::Source::firefox)->error.toStdString();
    EXPECT_TRUE(logs->contains(QStringLiteral("Could not parse bookmarks from firefox")));
    EXPECT_EQ(stored("chromium").size(), 6);

    // An odd profiles.ini (no profile section with a path) leaves Firefox out too.
    BrowserHome::write(firefox + "/profiles.ini", "[General]\nVersion=2\n[Profile0]\nName=nothing\n");
    EXPECT_EQ(result(service->sync(), BrowserBookmark::Source::firefox)->error,
              QStringLiteral("Could not get bookmarks URL for firefox"));
}

TEST_F(BrowserBookmarksServiceTest, ASwitchedOffSourceIsNeitherReadNorListed) {
    browsers.chromium();
    browsers.firefox();
    service->sync();
    ASSERT_EQ(stored("firefox").size(), 7);
    settings.disabled.insert(BrowserBookmark::Source::firefox);
    const BookmarksSyncReport report = service->sync();
    EXPECT_FALSE(result(report, BrowserBookmark::Source::firefox));
    EXPECT_TRUE(stored("firefox").isEmpty());
    for (const BrowserBookmark& bookmark : service->bookmarks())
        EXPECT_NE(bookmark.source, BrowserBookmark::Source::firefox);
    // Safari is off until the user points to a file.
    EXPECT_FALSE(BrowserBookmarksSettings().isEnabled(BrowserBookmark::Source::safari));
    settings.safariBookmarksFile = bookmarkFixture("safari/Bookmarks.plist");
    settings.disabled.remove(BrowserBookmark::Source::safari);
    service->sync();
    EXPECT_EQ(stored("safari"), (QStringList{"Read Later", "WebKit"}));
}

TEST_F(BrowserBookmarksServiceTest, IconsComeFromTheBrowsersOwnDatabases) {
    browsers.chromium();
    browsers.firefox();
    service->sync();
    for (const QString& source : {QStringLiteral("chromium"), QStringLiteral("firefox")}) {
        std::optional<QString> icon;
        for (const auto& row : repository->readAll(source))
            if (row.name == QLatin1String("Local Page")) icon = row.imageURLString;
            else
                EXPECT_FALSE(row.imageURLString) << row.name.toStdString();
        ASSERT_TRUE(icon) << source.toStdString();
        const QImage image(QUrl(*icon).toLocalFile());
        EXPECT_EQ(image.size(), QSize(32, 32)) << source.toStdString();
    }
    // Chromium's 16-pixel bitmap is not the one taken; the queries stand as written.
    EXPECT_TRUE(QString::fromLatin1(FaviconStore::chromiumQuery).contains("favicon_bitmaps.width = 32"));
    FaviconStore missing(BrowserBookmark::Source::firefox, home.root() + "/nowhere.sqlite");
    EXPECT_FALSE(missing.favicon("https://example.org/"));
}

TEST_F(BrowserBookmarksServiceTest, OpeningABookmarkRanksItFirst) {
    browsers.chromium();
    service->sync();
    std::vector<BrowserBookmark> all = searchBookmarks(service->bookmarks(), "");
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.front().name, QStringLiteral("Chromium Docs"));
    const BrowserBookmark longRead = searchBookmarks(service->bookmarks(), "long read").front();
    const BrowserBookmark visited = service->updateFrecency(longRead);
    ASSERT_TRUE(visited.frecencyDate);
    EXPECT_EQ(searchBookmarks(service->bookmarks(), "").front().name, QStringLiteral("Long Read"));
    // A sync keeps the frecency.
    service->sync();
    EXPECT_EQ(searchBookmarks(service->bookmarks(), "").front().name, QStringLiteral("Long Read"));
    BrowserBookmark gone = longRead;
    gone.link = "https://gone.example.org/";
    expectVantrelError([&] { service->updateFrecency(gone); }, QStringLiteral("Could not update browser bookmark frecency"));
}

TEST_F(BrowserBookmarksServiceTest, SearchFindsByTitleDomainAndTagInAFolder) {
    browsers.chromium();
    browsers.firefox();
    service->sync();
    const auto titles = [](const std::vector<BrowserBookmark>& list) {
        QStringList result;
        for (const auto& bookmark : list) result << bookmark.name + "@" + rawValue(bookmark.source);
        return result;
    };
    EXPECT_EQ(titles(searchBookmarks(service->bookmarks(), "tracker")),
              (QStringList{"Issue Tracker@chromium", "Issue Tracker@firefox"}));
    EXPECT_EQ(titles(searchBookmarks(service->bookmarks(), "archlinux")), QStringList{"Arch Wiki@firefox"});
    EXPECT_EQ(titles(searchBookmarks(service->bookmarks(), "#reading")),
              (QStringList{"Long Read@chromium", "Long Read@firefox"}));
    EXPECT_EQ(titles(searchBookmarks(service->bookmarks(), "", QStringLiteral("Toolbar"))).size(), 5);
    EXPECT_TRUE(searchBookmarks(service->bookmarks(), "nothing like this").empty());
}

TEST_F(BrowserBookmarksServiceTest, AChangedBookmarkFileSyncsAgainByItself) {
    browsers.chromium();
    service->sync();
    int syncs = 0;
    BookmarksWatcher watcher(*service, 0.2, [&](const BookmarksSyncReport&) { ++syncs; });
    EXPECT_TRUE(watcher.watched().contains(home.root() + "/.config/chromium/Default/Bookmarks"));
    // Chromium replaces its file whole when it writes it.
    QFile file(home.root() + "/.config/chromium/Default/Bookmarks");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray json = file.readAll();
    file.close();
    json.replace("Unsorted Page", "Sorted At Last");
    BrowserHome::write(home.root() + "/.config/chromium/Default/Bookmarks.tmp", json);
    QFile::remove(file.fileName());
    QFile::rename(file.fileName() + ".tmp", file.fileName());
    ASSERT_TRUE(waitUntil([&] { return stored("chromium").contains("Sorted At Last"); }, 10000));
    EXPECT_TRUE(waitUntil([&] { return syncs >= 1; }, 5000));
    EXPECT_TRUE(waitUntil([&] { return watcher.watched().contains(file.fileName()); }, 5000));
}

}  // namespace
}  // namespace vantrel::test
