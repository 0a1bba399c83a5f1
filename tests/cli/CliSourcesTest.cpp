// `vantrel search`, `sources` and `run` over real desktop entries: the
// executable loads the applications and commands into its encrypted database
// before it answers.
#include "cli/CliTestSupport.h"

#include "data/PackageConfigurationRepository.h"
#include "data/SearchRepository.h"
#include "kit/Logger.h"

#include <QDir>
#include <QFileInfo>

namespace vantrel::test {
namespace {

class CliSourcesTest : public CliFixture {
protected:
    // Only the fixture folders hold applications.
    ScopedEnv dataDirs{"XDG_DATA_DIRS", (home.root() + QStringLiteral("/system-share")).toUtf8()};
    ScopedEnv desktop{"XDG_CURRENT_DESKTOP", std::nullopt};
    ScopedEnv language{"LANGUAGE", QByteArray("de")};
    ScopedEnv lang{"LANG", QByteArray("de_DE.UTF-8")};

    void SetUp() override {
        Logger::bootstrap(std::make_shared<NoopLogHandler>());
        QDir().mkpath(userApplications());
        QDir().mkpath(home.root() + QStringLiteral("/system-share/applications"));
    }

    QString userApplications() const { return qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications"); }
    QString marker() const { return home.root() + QStringLiteral("/launched.marker"); }

    QString writeViewer() {
        return writeTestFile(userApplications() + QStringLiteral("/org.example.GlimmerViewer.desktop"),
                             QStringLiteral("[Desktop Entry]\nType=Application\nName=Glimmer Photo Viewer\n"
                                            "Name[de]=Glimmer Bildbetrachter\nGenericName=Image Viewer\n"
                                            "Keywords=picture;gallery;\nKeywords[de]=Bild;Galerie;\nExec=touch %1\n")
                                 .arg(marker())
                                 .toUtf8());
    }
};

TEST_F(CliSourcesTest, FindsAnInstalledApplicationByLocalizedNameAcronymAndKeyword) {
    const QString path = writeViewer();

    const QJsonArray byAcronym = searchItems(QStringLiteral("gb"));
    ASSERT_FALSE(byAcronym.isEmpty());
    const QJsonObject viewer = byAcronym.first().toObject();
    EXPECT_EQ(viewer["name"].toString(), QStringLiteral("Glimmer Bildbetrachter"));
    EXPECT_EQ(viewer["type"].toString(), QStringLiteral("systemApp"));
    EXPECT_EQ(viewer["source"].toString(), QStringLiteral("system"));
    EXPECT_EQ(viewer["key"].toString(), path);

    EXPECT_TRUE(keysOf(searchItems(QStringLiteral("galerie"))).contains(path));
    EXPECT_TRUE(keysOf(searchItems(QStringLiteral("glimmer"))).contains(path));
    // Built-in commands are loaded alongside.
    EXPECT_TRUE(keysOf(searchItems(QStringLiteral("empty trash"))).contains(QStringLiteral("emptyTrash")));
}

TEST_F(CliSourcesTest, ARemovedApplicationIsFlaggedAndKeepsAliasAndFrecencyWhenItReturns) {
    const QString path = writeViewer();
    ASSERT_TRUE(keysOf(searchItems(QStringLiteral("glimmer"))).contains(path));
    ASSERT_EQ(run({"visit", path, "--term", "gli"}).exitCode, 0);
    SearchRepository(openDatabase()).setAlias(QStringLiteral("gv"), path);  // as preferences would

    ASSERT_TRUE(QFile::remove(path));
    EXPECT_FALSE(keysOf(searchItems(QStringLiteral("glimmer"))).contains(path));
    const auto record = SearchRepository(openDatabase()).record(path);
    ASSERT_TRUE(record);
    EXPECT_TRUE(record->uninstalled);

    writeViewer();
    const QJsonArray back = searchItems(QStringLiteral("glimmer"));
    ASSERT_FALSE(back.isEmpty());
    const QJsonObject viewer = back.first().toObject();
    EXPECT_EQ(viewer["key"].toString(), path);
    EXPECT_EQ(viewer["alias"].toString(), QStringLiteral("gv"));
    EXPECT_FALSE(viewer["frecencyDate"].toString().isEmpty());
}

TEST_F(CliSourcesTest, ACommandListedAsDisabledNeverAppears) {
    ASSERT_TRUE(keysOf(searchItems(QStringLiteral("empty trash"))).contains(QStringLiteral("emptyTrash")));
    PackageConfigurationRecord row;
    row.id = QStringLiteral("builtin_package_systemCommands");
    row.isEnabled = true;
    row.jsonPayload = QJsonObject{{"disabledCommands", QJsonArray{"emptyTrash"}}};
    PackageConfigurationRepository(openDatabase()).save(row);
    EXPECT_FALSE(keysOf(searchItems(QStringLiteral("empty trash"))).contains(QStringLiteral("emptyTrash")));
    EXPECT_FALSE(keysOf(searchItems(QStringLiteral("emptytrash"))).contains(QStringLiteral("emptyTrash")));
    // The rest of the package stays.
    EXPECT_TRUE(keysOf(searchItems(QStringLiteral("lock screen"))).contains(QStringLiteral("lockScreen")));
    const ProcessRun refused = run({"run", "emptyTrash"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("the command 'Empty Trash' is disabled")))
        << refused.err.toStdString();
    // Packages that are off by default keep their commands out of search and run.
    EXPECT_TRUE(keysOf(searchItems(QStringLiteral("create issue"))).filter(QStringLiteral("jira")).isEmpty());
    EXPECT_TRUE(run({"run", "jira_createIssue"}).err.contains(QStringLiteral("is disabled")));
}

TEST_F(CliSourcesTest, SourcesReportsEachSourceWithItsCount) {
    writeViewer();
    const ProcessRun sources = run({"sources"});
    ASSERT_EQ(sources.exitCode, 0) << sources.err.toStdString() << sources.out.toStdString();
    const QStringList lines = sources.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 8) << sources.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Source")));
    // The built-in commands first, then the dynamic commands, the applications, the scripts, the
    // quicklinks, the web searches' rows and the snippets.
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("package"))) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("extensionCommands"))) << lines[2].toStdString();
    EXPECT_TRUE(lines[3].startsWith(QStringLiteral("system"))) << lines[3].toStdString();
    EXPECT_TRUE(lines[3].contains(QStringLiteral(" 1 "))) << lines[3].toStdString();
    EXPECT_TRUE(lines[4].startsWith(QStringLiteral("scripts"))) << lines[4].toStdString();
    EXPECT_TRUE(lines[5].startsWith(QStringLiteral("quicklinks"))) << lines[5].toStdString();
    EXPECT_TRUE(lines[6].startsWith(QStringLiteral("provider"))) << lines[6].toStdString();
    EXPECT_TRUE(lines[7].startsWith(QStringLiteral("snippets"))) << lines[7].toStdString();
    for (const QString& line : lines.mid(1)) EXPECT_TRUE(line.endsWith(QStringLiteral(" ms"))) << line.toStdString();
}

TEST_F(CliSourcesTest, RunOpensAnApplicationAndRunsACommand) {
    const QString path = writeViewer();
    const ProcessRun opened = run({"run", path});
    ASSERT_EQ(opened.exitCode, 0) << opened.err.toStdString();
    EXPECT_TRUE(waitUntil([this] { return QFileInfo::exists(marker()); }, 10000));

    const ProcessRun encoded = run({"run", "urlEncode", "a b&c"});
    EXPECT_EQ(encoded.exitCode, 0) << encoded.err.toStdString();
    EXPECT_EQ(encoded.out.trimmed(), QStringLiteral("a%20b%26c"));

    const ProcessRun missing = run({"run", "no-such-thing"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("no-such-thing")));
    // A command that needs a service this desktop lacks says so instead of pretending.
    const ProcessRun view = run({"run", "clipboardHistory"});
    EXPECT_NE(view.exitCode, 0);
    EXPECT_FALSE(view.err.trimmed().isEmpty());
}

TEST_F(CliSourcesTest, MisspeltWordsFindTheApplicationWhenNothingStartsWithThem) {
    const QString system = home.root() + QStringLiteral("/system-share/applications/");
    const QString firefox = writeTestFile(system + QStringLiteral("firefox-esr.desktop"),
                                          "[Desktop Entry]\nType=Application\nName=Firefox ESR\nExec=true\n");
    const QString chromium =
        writeTestFile(system + QStringLiteral("chromium.desktop"), "[Desktop Entry]\nType=Application\nName=Chromium\nExec=true\n");
    const QString xterm =
        writeTestFile(system + QStringLiteral("debian-xterm.desktop"), "[Desktop Entry]\nType=Application\nName=XTerm\nExec=true\n");

    auto firstKey = [](const QJsonArray& items) {
        return items.isEmpty() ? QString() : items.first().toObject()[QStringLiteral("key")].toString();
    };
    EXPECT_EQ(firstKey(searchItems(QStringLiteral("firfox"))), firefox);
    EXPECT_EQ(firstKey(searchItems(QStringLiteral("chromum"))), chromium);
    EXPECT_EQ(firstKey(searchItems(QStringLiteral("xtrem"))), xterm);
    EXPECT_EQ(firstKey(searchItems(QStringLiteral("Firfox esr"))), firefox);
    // Too far from every word: nothing of the three.
    const QStringList far = keysOf(searchItems(QStringLiteral("frfx")));
    EXPECT_FALSE(far.contains(firefox));
    EXPECT_FALSE(far.contains(chromium));
}

TEST_F(CliSourcesTest, SearchPrintsTheSectionsOfRootSearch) {
    writeViewer();
    auto sectionIds = [](const QString& query) {
        QStringList ids;
        for (const auto& section : searchSections({query})) ids << section.toObject()[QStringLiteral("id")].toString();
        return ids;
    };
    EXPECT_EQ(sectionIds(QStringLiteral("2*3")).first(), QStringLiteral("calculator"));
    EXPECT_EQ(sectionIds(QStringLiteral("glimmer")), (QStringList{"appsAndCommands", "fallbackSuggestions"}));
    EXPECT_EQ(sectionIds(QStringLiteral("hello world")), QStringList{"fallbackSuggestions"});
    // The empty query: the home sections in their order, none empty.
    const QStringList home = sectionIds(QString());
    EXPECT_EQ(home, (QStringList{"suggestions", "commands", "apps"}));

    const ProcessRun text = run({"search", "2*3"});
    EXPECT_TRUE(text.out.startsWith(QStringLiteral("Calculator\n  6 "))) << text.out.toStdString();
    EXPECT_TRUE(text.out.contains(QStringLiteral("Search for \"2*3\" in\n")));
    const ProcessRun answer = run({"run", "expression-100 f to c"});
    EXPECT_EQ(answer.exitCode, 0) << answer.err.toStdString();
    EXPECT_TRUE(answer.out.startsWith(QStringLiteral("37.77"))) << answer.out.toStdString();
    EXPECT_EQ(run({"run", "expression-terminal"}).exitCode, 1);
}

}  // namespace
}  // namespace vantrel::test
