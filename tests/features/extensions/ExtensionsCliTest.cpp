// `vantrel extensions …` as a user runs it: a real process over a private data
// folder, with archives made by zip and Python's zipfile.
#include "cli/CliTestSupport.h"
#include "extensions/packages/ArchiveFixtures.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>

namespace vantrel::test {
namespace {

class ExtensionsCliTest : public CliFixture {
protected:
    QString work = home.root() + QStringLiteral("/work");
    QString extensions = home.root() + QStringLiteral("/data/vantrel/extensions");

    void SetUp() override { QDir().mkpath(work); }

    QJsonArray listed() {
        const ProcessRun list = run({QStringLiteral("extensions"), QStringLiteral("list"), QStringLiteral("--json")});
        EXPECT_EQ(list.exitCode, 0) << list.err.toStdString();
        return QJsonDocument::fromJson(list.out.toUtf8()).array();
    }

    QStringList searchTitles(const QString& query) {
        QStringList titles;
        for (const QJsonValue& section : searchSections({query}))
            for (const QJsonValue& item : section.toObject().value(QStringLiteral("items")).toArray())
                titles << item.toObject().value(QStringLiteral("title")).toString();
        return titles;
    }
};

TEST_F(ExtensionsCliTest, InstallsAZipListsItFindsItsCommandAndRemovesIt) {
    writePackageFolder(work, QStringLiteral("weather"), {QStringLiteral("forecast"), QStringLiteral("radar")});
    const QString archive = zipFolder(work, QStringLiteral("weather"), work + QStringLiteral("/weather.zip"));

    const ProcessRun install = run({QStringLiteral("extensions"), QStringLiteral("install"), archive});
    ASSERT_EQ(install.exitCode, 0) << install.err.toStdString();
    EXPECT_TRUE(install.out.startsWith(QStringLiteral("Extension installed: Weather (weather__"))) << install.out.toStdString();

    const QJsonArray list = listed();
    ASSERT_EQ(list.size(), 1);
    const QJsonObject extension = list[0].toObject();
    EXPECT_EQ(extension.value(QStringLiteral("name")).toString(), QStringLiteral("weather"));
    EXPECT_FALSE(extension.value(QStringLiteral("development")).toBool());
    const QString id = extension.value(QStringLiteral("id")).toString();
    const QJsonArray commands = extension.value(QStringLiteral("commands")).toArray();
    ASSERT_EQ(commands.size(), 2);
    EXPECT_EQ(commands[0].toObject().value(QStringLiteral("title")).toString(), QStringLiteral("Forecast"));
    EXPECT_TRUE(QFileInfo::exists(extension.value(QStringLiteral("folder")).toString() + QStringLiteral("/forecast.js")));

    EXPECT_TRUE(searchTitles(QStringLiteral("forecast")).contains(QStringLiteral("Forecast")));

    // Installing the same archive again replaces it under the same id.
    ASSERT_EQ(run({QStringLiteral("extensions"), QStringLiteral("install"), archive}).exitCode, 0);
    ASSERT_EQ(listed().size(), 1);
    EXPECT_EQ(listed()[0].toObject().value(QStringLiteral("id")).toString(), id);

    const QString radar = commands[1].toObject().value(QStringLiteral("id")).toString();
    const ProcessRun removeCommand = run({QStringLiteral("extensions"), QStringLiteral("remove"), radar});
    ASSERT_EQ(removeCommand.exitCode, 0) << removeCommand.err.toStdString();
    EXPECT_EQ(listed()[0].toObject().value(QStringLiteral("commands")).toArray().size(), 1);
    EXPECT_FALSE(searchTitles(QStringLiteral("radar")).contains(QStringLiteral("Radar")));

    const ProcessRun remove = run({QStringLiteral("extensions"), QStringLiteral("remove"), id});
    ASSERT_EQ(remove.exitCode, 0) << remove.err.toStdString();
    EXPECT_TRUE(listed().isEmpty());
    EXPECT_EQ(treeOf(extensions), QStringList());
    EXPECT_FALSE(searchTitles(QStringLiteral("forecast")).contains(QStringLiteral("Forecast")));

    const ProcessRun again = run({QStringLiteral("extensions"), QStringLiteral("remove"), id});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(again.err.contains(QStringLiteral("No extension with id: ") + id)) << again.err.toStdString();
}

TEST_F(ExtensionsCliTest, ADevelopmentFolderInstallsWithTheDevSuffix) {
    const QString folder = writePackageFolder(work, QStringLiteral("mine"));
    const ProcessRun install = run({QStringLiteral("extensions"), QStringLiteral("install"), folder});
    ASSERT_EQ(install.exitCode, 0) << install.err.toStdString();
    const ProcessRun list = run({QStringLiteral("extensions"), QStringLiteral("list")});
    EXPECT_TRUE(list.out.contains(QStringLiteral("Mine (mine__dev) [DEV]"))) << list.out.toStdString();
    EXPECT_TRUE(list.out.contains(QStringLiteral("mine.greet__dev  Greet [DEV]"))) << list.out.toStdString();
    EXPECT_TRUE(searchTitles(QStringLiteral("greet")).contains(QStringLiteral("Greet [DEV]")));
    ASSERT_EQ(run({QStringLiteral("extensions"), QStringLiteral("remove"), QStringLiteral("mine")}).exitCode, 0);
    EXPECT_TRUE(listed().isEmpty());
}

TEST_F(ExtensionsCliTest, BadArchivesFailWithTheirReasonAndLeaveNothing) {
    const QString marker = QStringLiteral("evil-") + QUuid::createUuid().toString(QUuid::Id128);
    const QString dotDot = rawZip(work + QStringLiteral("/dotdot.zip"),
                                  {{QStringLiteral("pkg/package.json"), manifestJson(QStringLiteral("pkg"))},
                                   {QStringLiteral("../") + marker, "escaped"}});
    const QString folder = writePackageFolder(work, QStringLiteral("linked"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/etc"), folder + QStringLiteral("/etc")));
    const QString toEtc = zipFolder(work, QStringLiteral("linked"), work + QStringLiteral("/etc.zip"));
    const QString text = writeTestFile(work + QStringLiteral("/text.zip"), "plain text");
    const QString noManifest = rawZip(work + QStringLiteral("/none.zip"), {{QStringLiteral("pkg/index.js"), "1"}});

    const struct {
        QString archive;
        QString message;
    } cases[] = {
        {dotDot, QStringLiteral("Archive entry escapes its folder: '../") + marker + QLatin1Char('\'')},
        {toEtc, QStringLiteral("Archive link leaves its folder: 'linked/etc' -> '/etc'")},
        {text, QStringLiteral("Could not get archive path at: ") + text},
        {noManifest, QStringLiteral("Could not load URL: ")},
        {work + QStringLiteral("/archive.tar"), QStringLiteral("Package must be a zip archive")},
    };
    for (const auto& c : cases) {
        const ProcessRun install = run({QStringLiteral("extensions"), QStringLiteral("install"), c.archive});
        EXPECT_EQ(install.exitCode, 1) << c.archive.toStdString();
        EXPECT_TRUE(install.err.contains(QStringLiteral("Failed to install extension: ") + c.message))
            << install.err.toStdString();
    }
    EXPECT_EQ(treeOf(extensions), QStringList());
    EXPECT_TRUE(listed().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(QDir::tempPath() + QLatin1Char('/') + marker));
    EXPECT_FALSE(QFileInfo::exists(home.root() + QLatin1Char('/') + marker));
}

TEST_F(ExtensionsCliTest, CreateMakesAFolderFromATemplate) {
    const QString location = work + QStringLiteral("/code");
    const ProcessRun create = run({QStringLiteral("extensions"), QStringLiteral("create"), QStringLiteral("--template"),
                                   QStringLiteral("detail"), QStringLiteral("--name"), QStringLiteral("Read Me"),
                                   QStringLiteral("--description"), QStringLiteral("Shows a page"), QStringLiteral("--dir"),
                                   location});
    ASSERT_EQ(create.exitCode, 0) << create.err.toStdString();
    EXPECT_TRUE(create.out.startsWith(QStringLiteral("Succesfully created extension 'Read Me'"))) << create.out.toStdString();
    EXPECT_TRUE(QFileInfo::exists(location + QStringLiteral("/Read-Me/src/index.ts")));
    EXPECT_TRUE(QFileInfo::exists(extensions + QStringLiteral("/Read-Me/package.json")));
    const QJsonArray list = listed();
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].toObject().value(QStringLiteral("id")).toString(), QStringLiteral("Read-Me__dev"));

    const ProcessRun unknown = run({QStringLiteral("extensions"), QStringLiteral("create"), QStringLiteral("--template"),
                                    QStringLiteral("nope"), QStringLiteral("--name"), QStringLiteral("X"),
                                    QStringLiteral("--dir"), location});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("Unable to create extension from template: There is no template with "
                                                    "identifier 'nope'")))
        << unknown.err.toStdString();
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("Templates: detail, form, list, vantrel-extension-template")))
        << unknown.err.toStdString();
    const ProcessRun noName = run({QStringLiteral("extensions"), QStringLiteral("create"), QStringLiteral("--dir"), location});
    EXPECT_EQ(noName.exitCode, 1);
    EXPECT_TRUE(noName.err.contains(QStringLiteral("Name cannot be empty."))) << noName.err.toStdString();
}

TEST_F(ExtensionsCliTest, WrongArgumentsAreUsageErrors) {
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("extensions")}, QStringList{QStringLiteral("extensions"), QStringLiteral("frobnicate")},
          QStringList{QStringLiteral("extensions"), QStringLiteral("install")},
          QStringList{QStringLiteral("extensions"), QStringLiteral("list"), QStringLiteral("--xml")},
          QStringList{QStringLiteral("extensions"), QStringLiteral("remove")},
          QStringList{QStringLiteral("extensions"), QStringLiteral("remove"), QStringLiteral("a__b__c")}}) {
        const ProcessRun result = run(arguments);
        EXPECT_EQ(result.exitCode, 2) << arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(result.err.isEmpty());
    }
    const ProcessRun empty = run({QStringLiteral("extensions"), QStringLiteral("list")});
    EXPECT_EQ(empty.exitCode, 0);
    EXPECT_EQ(empty.out.trimmed(), QStringLiteral("No extensions installed"));
}

}  // namespace
}  // namespace vantrel::test
