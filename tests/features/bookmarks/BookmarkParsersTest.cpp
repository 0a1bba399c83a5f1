// The three bookmark formats, read from files the real browsers wrote, and
// what each parser says about files it cannot read.
#include "features/bookmarks/BookmarksTestSupport.h"

#include "data/SQLite.h"
#include "features/bookmarks/BookmarkParsers.h"
#include "features/bookmarks/BrowserLocations.h"
#include "kit/VantrelError.h"
#include "support/DatabaseTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace vantrel::test {
namespace {

QByteArray readFixture(const QString& relative) {
    QFile file(bookmarkFixture(relative));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << relative.toStdString();
    return file.readAll();
}

QStringList names(const std::vector<BrowserBookmark>& bookmarks) {
    QStringList list;
    for (const BrowserBookmark& bookmark : bookmarks) list << bookmark.name;
    return list;
}

const BrowserBookmark* named(const std::vector<BrowserBookmark>& bookmarks, const QString& name) {
    for (const BrowserBookmark& bookmark : bookmarks)
        if (bookmark.name == name) return &bookmark;
    return nullptr;
}

QStringList folderNames(const std::vector<BrowserBookmark::Folder>& folders) {
    QStringList list;
    for (const auto& folder : folders) list << folder.name;
    return list;
}

// MARK: Chromium

TEST(ChromiumBookmarks, TheFileChromiumWroteGivesItsBookmarksFoldersAndShownRootNames) {
    const ParsedBookmarks parsed =
        parseChromiumBookmarks(readFixture("chromium/Default/Bookmarks"), BrowserBookmark::Source::chromium);
    EXPECT_EQ(names(parsed.bookmarks), (QStringList{"Chromium Docs", "Shared Page", "Shared Page again", "Local Page",
                                                     "Issue Tracker", "Long Read", "Unsorted Page"}));
    const BrowserBookmark* longRead = named(parsed.bookmarks, "Long Read");
    ASSERT_TRUE(longRead);
    EXPECT_EQ(longRead->link, QStringLiteral("https://example.org/long-read"));
    EXPECT_EQ(longRead->source, BrowserBookmark::Source::chromium);
    EXPECT_EQ(longRead->tags, (QStringList{"Bookmarks Bar", "Work", "Reading"}));
    EXPECT_FALSE(longRead->id.isEmpty());
    // "Bookmarks bar" and "Mobile bookmarks" as shown; "Other bookmarks" as it is.
    EXPECT_EQ(folderNames(parsed.folders),
              (QStringList{"Bookmarks Bar", "Work", "Reading", "Other bookmarks", "Mobile Bookmarks"}));
    EXPECT_EQ(named(parsed.bookmarks, "Unsorted Page")->tags, QStringList{"Other bookmarks"});
}

TEST(ChromiumBookmarks, BrokenFilesSayWhatIsWrong) {
    const QByteArray good = readFixture("chromium/Default/Bookmarks");
    expectVantrelError([&] { parseChromiumBookmarks(good.left(good.size() / 2), BrowserBookmark::Source::chrome); },
                       QStringLiteral("Chromium bookmarks file is not valid JSON: unterminated object"));
    expectVantrelError([&] { parseChromiumBookmarks(QByteArray(), BrowserBookmark::Source::chrome); },
                       QStringLiteral("Chromium bookmarks file is not valid JSON: illegal value"));

    QJsonObject document = QJsonDocument::fromJson(good).object();
    QJsonObject roots = document.value("roots").toObject();
    roots.remove("synced");
    document.insert("roots", roots);
    expectVantrelError(
        [&] { parseChromiumBookmarks(QJsonDocument(document).toJson(), BrowserBookmark::Source::chrome); },
        QStringLiteral("Chromium bookmark (file version: 1) contain malformed root children"));

    // A node of a type nobody knows, and a child that is not a node.
    QJsonObject bar = QJsonDocument::fromJson(good).object().value("roots").toObject().value("bookmark_bar").toObject();
    QJsonArray children = bar.value("children").toArray();
    QJsonObject odd = children.at(0).toObject();
    odd.insert("type", "separator");
    QJsonArray withOdd = children;
    withOdd.replace(0, odd);
    const auto withBar = [&](const QJsonArray& list) {
        QJsonObject doc = QJsonDocument::fromJson(good).object();
        QJsonObject r = doc.value("roots").toObject();
        QJsonObject b = r.value("bookmark_bar").toObject();
        b.insert("children", list);
        r.insert("bookmark_bar", b);
        doc.insert("roots", r);
        return QJsonDocument(doc).toJson();
    };
    expectVantrelError([&] { parseChromiumBookmarks(withBar(withOdd), BrowserBookmark::Source::brave); },
                       QStringLiteral("Chromium bookmark node type 'separator' is not recognized"));
    QJsonArray withNumber = children;
    withNumber.append(42);
    expectVantrelError([&] { parseChromiumBookmarks(withBar(withNumber), BrowserBookmark::Source::brave); },
                       QStringLiteral("Chromium bookmark list node 'Bookmarks Bar' contains a malformed node"));
}

// MARK: Firefox

class FirefoxPlaces : public ::testing::Test {
protected:
    ScopedXdgHome home;
    BrowserHome browsers{home.root()};

    ParsedBookmarks parse(bool withWal) {
        const QString profile = browsers.firefox(".mozilla/firefox", "p.default", withWal) + "/p.default";
        const QString cached = cacheDatabase(BrowserBookmark::Source::firefox, profile + "/places.sqlite",
                                              QStringLiteral("firefox_bookmarks"));
        Connection db(cached, Connection::Mode::readWrite);
        return parseFirefoxPlaces(db);
    }
};

TEST_F(FirefoxPlaces, TheCachedCopyWithItsWalFileSeesWhatTheRunningFirefoxWrote) {
    const ParsedBookmarks parsed = parse(true);
    EXPECT_EQ(names(parsed.bookmarks), (QStringList{"Arch Wiki", "Vantrel Docs", "Shared Page", "Local Page",
                                                     "Issue Tracker", "Long Read", "Unsorted Page"}));
    const BrowserBookmark* issues = named(parsed.bookmarks, "Issue Tracker");
    ASSERT_TRUE(issues);
    EXPECT_EQ(issues->link, QStringLiteral("https://tracker.example.org/issues?q=open"));
    EXPECT_EQ(issues->tags, (QStringList{"Toolbar", "Work"}));
    EXPECT_EQ(named(parsed.bookmarks, "Arch Wiki")->tags, QStringList{"Bookmark Menu"});
    EXPECT_EQ(named(parsed.bookmarks, "Unsorted Page")->tags, QStringList{"Other Bookmarks"});
    // The top folders by their shown titles; the tag folders under "Tags".
    EXPECT_EQ(folderNames(parsed.folders), (QStringList{"Bookmark Menu", "Toolbar", "Tags", "Other Bookmarks",
                                                         "Mobile Bookmarks", "Work", "Reading", "shared", "reading"}));
}

TEST_F(FirefoxPlaces, WithoutTheWalFileTheLatestBookmarksAreMissing) {
    // What a copy of places.sqlite alone would show: the running browser's
    // last writes are only in the WAL file.
    const QStringList withoutWal = names(parse(false).bookmarks);
    EXPECT_FALSE(withoutWal.contains(QStringLiteral("Unsorted Page")));
    EXPECT_TRUE(withoutWal.contains(QStringLiteral("Long Read")));
}

TEST_F(FirefoxPlaces, TheQueriesAreRunAsWrittenAndDuplicateFoldersAreRefused) {
    EXPECT_TRUE(QString::fromLatin1(kFirefoxBookmarksQuery).contains("AND moz_bookmarks.title IS NOT NULL"));
    EXPECT_TRUE(QString::fromLatin1(kFirefoxFoldersQuery).contains("AND moz_bookmarks.title <> ''"));
    EXPECT_EQ(firefoxRootTitle("unfiled"), QStringLiteral("Other Bookmarks"));
    EXPECT_EQ(firefoxRootTitle("Work"), QStringLiteral("Work"));

    // A database whose folders table hands out one id twice.
    const QString path = home.root() + "/dupes.sqlite";
    {
        Connection db(path, Connection::Mode::readWriteCreate);
        db.execute("CREATE TABLE moz_places (id INTEGER, url TEXT);"
                   "CREATE TABLE moz_bookmarks (id INTEGER, parent INTEGER, type INTEGER, fk INTEGER, title TEXT, guid TEXT);"
                   "INSERT INTO moz_bookmarks VALUES (2, 1, 2, NULL, 'menu', 'a'), (2, 1, 2, NULL, 'menu', 'b');");
    }
    Connection db(path, Connection::Mode::readWrite);
    expectVantrelError([&] { parseFirefoxPlaces(db); }, QStringLiteral("Duplicate values for key: '2'"));
}

// MARK: Safari

TEST(SafariBookmarks, ThePropertyListGivesBookmarksWithShownFolderTitles) {
    const ParsedBookmarks parsed = parseSafariBookmarks(readFixture("safari/Bookmarks.plist"));
    EXPECT_EQ(names(parsed.bookmarks), (QStringList{"WebKit", "Read Later"}));
    EXPECT_EQ(named(parsed.bookmarks, "Read Later")->tags, QStringList{"Reading List"});
    EXPECT_EQ(named(parsed.bookmarks, "Read Later")->imageURL, QStringLiteral("https://example.org/later.png"));
    EXPECT_EQ(named(parsed.bookmarks, "WebKit")->tags, QStringList{"Favourites"});
    EXPECT_EQ(folderNames(parsed.folders), (QStringList{"Favourites", "Reading List", "Bookmarks Menu"}));
    // The XML form reads the same.
    EXPECT_EQ(names(parseSafariBookmarks(readFixture("safari/Bookmarks.xml")).bookmarks), names(parsed.bookmarks));
    EXPECT_EQ(safariFolderTitle(""), QStringLiteral("Other"));
}

TEST(SafariBookmarks, BrokenListsSayWhatIsWrong) {
    expectVantrelError([] { parseSafariBookmarks("not a property list"); },
                       QStringLiteral("Safari bookmarks (file version unknown) couldn't decode a root node"));
    QByteArray xml = readFixture("safari/Bookmarks.xml");
    expectVantrelError([&] { parseSafariBookmarks(QByteArray(xml).replace("WebBookmarkTypeProxy", "WebBookmarkTypeGhost")); },
                       QStringLiteral("Safari bookmark node type 'WebBookmarkTypeGhost' is not recognized"));
    expectVantrelError([&] { parseSafariBookmarks(QByteArray(xml).replace("https://webkit.org/", "not a url")); },
                       QStringLiteral("Safari bookmark path is not a URL"));
    expectVantrelError([&] { parseSafariBookmarks(QByteArray(xml).replace("<key>URLString</key>", "<key>Elsewhere</key>")); },
                       QStringLiteral("Safari bookmark list node 'BookmarksBar' contains a malformed node"));
}

// MARK: Profiles

TEST(BrowserProfiles, ProfilesIniIsReadLineByLineWithOddSectionsSkipped) {
    const auto profiles = parseFirefoxProfilesIni(
        "; comment\n[General]\nStartWithLastProfile=1\n\n[Profile1]\nName=work\nIsRelative=0\nPath=/data/ff/work\n"
        "[Profile0]\nName=default\nIsRelative=1\nPath=Profiles/abc.default\nDefault=1\n[Profile2]\nName=no path\n"
        "[Install123]\nDefault=Profiles/abc.default\nnot a line\n[Profile3\nPath=broken\n");
    ASSERT_EQ(profiles.size(), 2u);
    EXPECT_EQ(profiles[0].name, QStringLiteral("work"));
    EXPECT_FALSE(profiles[0].isRelative);
    EXPECT_EQ(profiles[0].path, QStringLiteral("/data/ff/work"));
    EXPECT_TRUE(profiles[1].isRelative);
    EXPECT_TRUE(profiles[1].isDefault);
    EXPECT_TRUE(parseFirefoxProfilesIni("").empty());
}

TEST(BrowserProfiles, OnlyProfilesWithABookmarkDatabaseCountRelativeOrAbsolute) {
    ScopedXdgHome home;
    BrowserHome browsers(home.root());
    const QString firefox = browsers.firefox(".mozilla/firefox", "rel.default");
    const QString elsewhere = home.root() + "/elsewhere/abs-profile";
    BrowserHome::copy(bookmarkFixture("firefox/places.sqlite"), elsewhere + "/places.sqlite");
    QDir().mkpath(firefox + "/empty.profile");
    BrowserHome::write(firefox + "/profiles.ini",
                       "[Profile0]\nName=rel\nIsRelative=1\nPath=rel.default\n\n[Profile1]\nName=abs\nIsRelative=0\n"
                       "Path=" + elsewhere.toUtf8() + "\nDefault=1\n\n[Profile2]\nName=empty\nIsRelative=1\nPath=empty.profile\n");
    BrowserLocations locations(home.root());
    const auto profiles = locations.profiles(BrowserBookmark::Source::firefox);
    ASSERT_EQ(profiles.size(), 2u);
    EXPECT_EQ(profiles[0].directory, firefox + "/rel.default");
    EXPECT_EQ(profiles[1].directory, elsewhere);
    BrowserBookmarksSettings settings;
    EXPECT_EQ(locations.selectedProfile(BrowserBookmark::Source::firefox, settings)->name, QStringLiteral("abs"));
    settings.selectedProfile.insert(BrowserBookmark::Source::firefox, QStringLiteral("rel"));
    EXPECT_EQ(locations.bookmarksFile(BrowserBookmark::Source::firefox, settings), firefox + "/rel.default/places.sqlite");

    QFile::remove(firefox + "/profiles.ini");
    expectVantrelError([&] { locations.profiles(BrowserBookmark::Source::firefox); },
                       QStringLiteral("Firefox profile file couldn't be found or opened"));
}

TEST(BrowserProfiles, EveryHomeOfEachBrowserIsLookedIn) {
    ScopedXdgHome home;
    BrowserHome browsers(home.root());
    BrowserLocations locations(home.root());
    expectVantrelError([&] { locations.bookmarksFile(BrowserBookmark::Source::brave, {}); },
                       QStringLiteral("Could not get bookmarks URL for brave"));
    browsers.chromium(".var/app/com.brave.Browser/config/BraveSoftware/Brave-Browser");
    EXPECT_EQ(locations.bookmarksFile(BrowserBookmark::Source::brave, {}),
              home.root() + "/.var/app/com.brave.Browser/config/BraveSoftware/Brave-Browser/Default/Bookmarks");
    browsers.chromium(".config/google-chrome");
    const auto chrome = locations.profiles(BrowserBookmark::Source::chrome);
    ASSERT_EQ(chrome.size(), 1u);
    EXPECT_EQ(chrome[0].id, QStringLiteral("Default"));
    EXPECT_EQ(chrome[0].name, QStringLiteral("Your Chromium"));  // from Local State

    for (const QString& firefoxHome : {QStringLiteral(".config/mozilla/firefox"), QStringLiteral("snap/firefox/common/.mozilla/firefox"),
                                       QStringLiteral(".var/app/org.mozilla.firefox/.mozilla/firefox")}) {
        ScopedXdgHome other;
        BrowserHome(other.root()).firefox(firefoxHome);
        EXPECT_EQ(BrowserLocations(other.root()).profiles(BrowserBookmark::Source::firefox).size(), 1u)
            << firefoxHome.toStdString();
    }
    // The profile list of Local State: names, or the account's given name.
    const auto names = parseChromiumLocalState(
        R"({"profile":{"info_cache":{"Default":{"name":"Person 1"},"Profile 2":{"gaia_given_name":"Ada"}}}})");
    EXPECT_EQ(names.value("Default"), QStringLiteral("Person 1"));
    EXPECT_EQ(names.value("Profile 2"), QStringLiteral("Ada"));
    EXPECT_TRUE(parseChromiumLocalState("{ broken").isEmpty());
}

}  // namespace
}  // namespace vantrel::test
