// `vantrel quicklinks`, `vantrel websearches` and `vantrel run` of both through the real
// executable: links open in the desktop's handler for their scheme (a fixture
// handler made the default in the private session's mimeapps.list, which
// writes down what it was handed), and `vantrel search` finds a quicklink by
// its name and by its alias.
#include "cli/CliTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vantrel::test {
namespace {

class CliQuicklinksTest : public CliFixture {
protected:
    void SetUp() override { marker = recordOpenedLinks(); }

    QString openedLink() const { return CliFixture::openedLink(marker); }

    QString added(const QStringList& arguments) {
        const ProcessRun run = this->run(QStringList{"quicklinks", "add"} + arguments);
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        const QStringList words = run.out.split(QLatin1Char(' '));
        return words.value(2);
    }

    QString marker;
};

TEST_F(CliQuicklinksTest, RunningAQuicklinkOpensTheEncodedLink) {
    const QString id = added({"--name", "Example Search", "--link", "https://example.org/s?q={Query}"});
    EXPECT_TRUE(id.startsWith(QStringLiteral("quicklink_"))) << id.toStdString();
    const ProcessRun opened = run({"run", id, "a b#c"});
    ASSERT_EQ(opened.exitCode, 0) << opened.err.toStdString();
    EXPECT_EQ(opened.out.trimmed(), QStringLiteral("Opened https://example.org/s?q=a%20b%23c"));
    EXPECT_EQ(openedLink(), QStringLiteral("https://example.org/s?q=a%20b%23c"));
}

TEST_F(CliQuicklinksTest, MissingValuesAndUnknownIdsAreRefused) {
    const QString id = added({"--name", "Example Search", "--link", "https://example.org/s?q={Query}"});
    const ProcessRun empty = run({"run", id});
    EXPECT_EQ(empty.exitCode, 2);
    EXPECT_TRUE(empty.err.contains(QStringLiteral("Please enter valid inputs"))) << empty.err.toStdString();
    const ProcessRun unknown = run({"run", "quicklink_987"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("Cannot find Quicklink quicklink_987")));
    EXPECT_FALSE(QFile::exists(marker));
}

TEST_F(CliQuicklinksTest, AddListAndRemove) {
    const ProcessRun noName = run({"quicklinks", "add", "--name", "", "--link", "https://x.org"});
    EXPECT_EQ(noName.exitCode, 2);
    EXPECT_TRUE(noName.err.contains(QStringLiteral("Name can not be empty. Please provide a name.")));
    const ProcessRun badLink = run({"quicklinks", "add", "--name", "X", "--link", "nowhere"});
    EXPECT_EQ(badLink.exitCode, 2);
    EXPECT_TRUE(badLink.err.contains(QStringLiteral("Please provide a valid link")));

    const QString map =
        added({"--name", "Map", "--link", "https://www.openstreetmap.org/search?query={Place}", "--alias", "osm"});
    const QString docs = added({"--name", "Docs", "--link", "~/Documents", "--app", "org.gnome.Nautilus.desktop"});
    const ProcessRun list = run({"quicklinks", "list", "--json"});
    ASSERT_EQ(list.exitCode, 0) << list.err.toStdString();
    const QJsonArray links = QJsonDocument::fromJson(list.out.toUtf8()).array();
    ASSERT_EQ(links.size(), 2);
    // By name.
    EXPECT_EQ(links[0].toObject(), (QJsonObject{{"id", docs},
                                                {"name", "Docs"},
                                                {"link", "~/Documents"},
                                                {"application", "org.gnome.Nautilus.desktop"},
                                                {"enabled", true}}));
    EXPECT_EQ(links[1].toObject(), (QJsonObject{{"id", map},
                                                {"name", "Map"},
                                                {"link", "https://www.openstreetmap.org/search?query={Place}"},
                                                {"application", ""},
                                                {"enabled", true},
                                                {"placeholder", "Place"},
                                                {"alias", "osm"}}));
    const ProcessRun plain = run({"quicklinks", "list"});
    EXPECT_TRUE(plain.out.contains(map)) << plain.out.toStdString();
    EXPECT_TRUE(plain.out.contains(QStringLiteral("alias: osm")));

    const ProcessRun removed = run({"quicklinks", "remove", docs});
    ASSERT_EQ(removed.exitCode, 0) << removed.err.toStdString();
    EXPECT_EQ(removed.out.trimmed(), QStringLiteral("Quicklink deleted"));
    EXPECT_EQ(run({"quicklinks", "remove", docs}).exitCode, 1);
    EXPECT_EQ(QJsonDocument::fromJson(run({"quicklinks", "list", "--json"}).out.toUtf8()).array().size(), 1);
}

TEST_F(CliQuicklinksTest, SearchFindsAQuicklinkByNameAndByAlias) {
    const QString map =
        added({"--name", "Map", "--link", "https://www.openstreetmap.org/search?query={Place}", "--alias", "osm"});
    const QJsonArray byName = searchItems(QStringLiteral("Map"), {"--local"});
    ASSERT_FALSE(byName.isEmpty());
    EXPECT_EQ(byName[0].toObject()[QStringLiteral("key")].toString(), map);
    EXPECT_EQ(byName[0].toObject()[QStringLiteral("title")].toString(), QStringLiteral("Map"));
    const QJsonArray byAlias = searchItems(QStringLiteral("osm"), {"--local"});
    ASSERT_FALSE(byAlias.isEmpty());
    EXPECT_EQ(byAlias[0].toObject()[QStringLiteral("key")].toString(), map);
}

}  // namespace
}  // namespace vantrel::test

namespace vantrel::test {
namespace {

// The web searches below every query, through the executable: the Google
// fallback opens Google's search address with the text encoded.
class CliWebSearchesTest : public CliQuicklinksTest {};

TEST_F(CliWebSearchesTest, TheGoogleFallbackOpensTheEncodedSearch) {
    const ProcessRun search = run({"run", "builtin_google_fallbackSearch", "hello", "world"});
    ASSERT_EQ(search.exitCode, 0) << search.err.toStdString();
    EXPECT_EQ(openedLink(), QStringLiteral("https://www.google.com/search?q=hello%20world"));
}

TEST_F(CliWebSearchesTest, AnAddedSearchIsOfferedBelowTheResults) {
    const ProcessRun added = run({"websearches", "add", "--name", "Wiki", "--link",
                                  "https://en.wikipedia.org/w/index.php?search={Query}"});
    ASSERT_EQ(added.exitCode, 0) << added.err.toStdString();
    EXPECT_EQ(added.out.trimmed(), QStringLiteral("Added web search customWebSearch_wiki (Wiki)"));
    const QStringList keys = keysOf(searchItems(QStringLiteral("zzqqx"), {"--local"}));
    EXPECT_TRUE(keys.contains(QStringLiteral("builtin_google_fallbackSearch"))) << keys.join(", ").toStdString();
    EXPECT_TRUE(keys.contains(QStringLiteral("customWebSearch_wiki")));
    const ProcessRun wiki = run({"run", "customWebSearch_wiki", "a b#c"});
    ASSERT_EQ(wiki.exitCode, 0) << wiki.err.toStdString();
    EXPECT_EQ(openedLink(), QStringLiteral("https://en.wikipedia.org/w/index.php?search=a%20b%23c"));
    EXPECT_EQ(run({"websearches", "remove", "customWebSearch_wiki"}).exitCode, 0);
    EXPECT_FALSE(keysOf(searchItems(QStringLiteral("zzqqx"), {"--local"})).contains(QStringLiteral("customWebSearch_wiki")));
}

}  // namespace
}  // namespace vantrel::test
