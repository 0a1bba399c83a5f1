// `vantrel scripts`: adding and removing script directories and listing the
// script commands, through the real executable and its encrypted database.
#include "cli/CliTestSupport.h"
#include "support/ScriptCommandTestSupport.h"

namespace vantrel::test {
namespace {

class CliScriptsTest : public CliFixture {
protected:
    ScopedEnv dataDirs{"XDG_DATA_DIRS", (home.root() + QStringLiteral("/system-share")).toUtf8()};

    QString scripts() const { return home.root() + QStringLiteral("/my_scripts"); }

    QJsonObject listJson() {
        const ProcessRun list = run({"scripts", "list", "--json"});
        EXPECT_EQ(list.exitCode, 0) << list.err.toStdString();
        return QJsonDocument::fromJson(list.out.toUtf8()).object();
    }
};

TEST_F(CliScriptsTest, AddListAndRemoveADirectory) {
    copyFixtureFolder(scriptFixtures(QStringLiteral("commands")), scripts());
    // A relative path is stored as an absolute one.
    const ProcessRun added = run({"scripts", "add-dir", "my_scripts"}, home.root());
    ASSERT_EQ(added.exitCode, 0) << added.err.toStdString();
    EXPECT_EQ(added.out.trimmed(), QStringLiteral("Added script directory: ") + scripts());
    EXPECT_EQ(run({"scripts", "add-dir", scripts()}).out.trimmed(),
              QStringLiteral("Already a script directory: ") + scripts());
    EXPECT_EQ(run({"scripts", "dirs"}).out.trimmed(), scripts());

    const ProcessRun list = run({"scripts", "list"});
    ASSERT_EQ(list.exitCode, 0) << list.err.toStdString();
    const QStringList rows = list.out.trimmed().split(QLatin1Char('\n'));
    ASSERT_EQ(rows.size(), 13) << list.out.toStdString();
    EXPECT_EQ(rows.first(),
              QStringLiteral("vantrelScript_%1/colours.sh\tColoured Output\tfullOutput\tFixture Scripts\t-\t-")
                  .arg(scripts()));
    EXPECT_TRUE(rows.contains(
        QStringLiteral(
            "vantrelScript_%1/arguments.js\tNode Arguments\tfullOutput\tFixture Scripts\t-\tName, Query, Extra")
            .arg(scripts())));
    EXPECT_TRUE(rows.contains(
        QStringLiteral("vantrelScript_%1/inline-20s.sh\tInline Every Twenty Seconds\tinline\tFixture Scripts\t20s\t-")
            .arg(scripts())));
    EXPECT_FALSE(list.out.contains(QStringLiteral("Hidden Script")));
    EXPECT_FALSE(list.out.contains(QStringLiteral("Template Script")));

    const QJsonObject json = listJson();
    EXPECT_EQ(json[QStringLiteral("directories")].toArray(), QJsonArray{scripts()});
    const QJsonArray commands = json[QStringLiteral("commands")].toArray();
    ASSERT_EQ(commands.size(), 13);
    QJsonObject node;
    for (const auto& value : commands)
        if (value.toObject()[QStringLiteral("title")] == QStringLiteral("Node Arguments")) node = value.toObject();
    EXPECT_EQ(node[QStringLiteral("mode")].toString(), QStringLiteral("fullOutput"));
    EXPECT_EQ(node[QStringLiteral("scriptPath")].toString(), scripts() + QStringLiteral("/arguments.js"));
    EXPECT_EQ(node[QStringLiteral("arguments")].toArray().size(), 3);
    EXPECT_EQ(node[QStringLiteral("metadataHash")].toString().size(), 64);

    const ProcessRun removed = run({"scripts", "remove-dir", scripts()});
    ASSERT_EQ(removed.exitCode, 0) << removed.err.toStdString();
    EXPECT_TRUE(run({"scripts", "dirs"}).out.trimmed().isEmpty());
    const ProcessRun empty = run({"scripts", "list"});
    EXPECT_EQ(empty.exitCode, 0);
    EXPECT_TRUE(empty.out.isEmpty());
    EXPECT_TRUE(empty.err.contains(QStringLiteral("add-dir"))) << empty.err.toStdString();
    EXPECT_EQ(run({"scripts", "remove-dir", scripts()}).exitCode, 1);
}

TEST_F(CliScriptsTest, AnEmptyFolderGetsTheTemplate) {
    QDir().mkpath(scripts());
    const ProcessRun added = run({"scripts", "add-dir", scripts()});
    ASSERT_EQ(added.exitCode, 0) << added.err.toStdString();
    const QString templatePath = scripts() + QStringLiteral("/script-command.template.sh");
    EXPECT_TRUE(added.out.contains(templatePath));
    ASSERT_TRUE(QFile::exists(templatePath));
    EXPECT_TRUE(QFileInfo(templatePath).isExecutable());
    EXPECT_TRUE(listJson()[QStringLiteral("commands")].toArray().isEmpty());

    // Duplicated without ".template." it becomes a command.
    ASSERT_TRUE(QFile::copy(templatePath, scripts() + QStringLiteral("/first.sh")));
    const QJsonArray commands = listJson()[QStringLiteral("commands")].toArray();
    ASSERT_EQ(commands.size(), 1);
    EXPECT_EQ(commands[0].toObject()[QStringLiteral("title")].toString(), QStringLiteral("My First Script"));
    EXPECT_EQ(commands[0].toObject()[QStringLiteral("packageName")].toString(), QStringLiteral("Vantrel Scripts"));
}

TEST_F(CliScriptsTest, BadInputIsRefusedAndChangesNothing) {
    const ProcessRun missing = run({"scripts", "add-dir", home.root() + QStringLiteral("/nope")});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("there is no folder at"))) << missing.err.toStdString();
    const ProcessRun notFolder =
        run({"scripts", "add-dir", writeTestFile(home.root() + QStringLiteral("/plain.txt"), {})});
    EXPECT_EQ(notFolder.exitCode, 2);
    EXPECT_TRUE(notFolder.err.contains(QStringLiteral("is not a folder"))) << notFolder.err.toStdString();
    EXPECT_TRUE(run({"scripts", "dirs"}).out.trimmed().isEmpty());

    EXPECT_EQ(run({"scripts"}).exitCode, 2);
    EXPECT_EQ(run({"scripts", "frobnicate"}).exitCode, 2);
    EXPECT_EQ(run({"scripts", "add-dir"}).exitCode, 2);
    EXPECT_EQ(run({"scripts", "list", "extra"}).exitCode, 2);
}

TEST_F(CliScriptsTest, SearchFindsScriptCommands) {
    copyFixtureFolder(scriptFixtures(QStringLiteral("commands")), scripts());
    ASSERT_EQ(run({"scripts", "add-dir", scripts()}).exitCode, 0);
    EXPECT_TRUE(keysOf(searchItems(QStringLiteral("Node Argu")))
                    .contains(QStringLiteral("vantrelScript_") + scripts() + QStringLiteral("/arguments.js")));
}

}  // namespace
}  // namespace vantrel::test
