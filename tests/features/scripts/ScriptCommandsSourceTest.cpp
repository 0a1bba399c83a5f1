// Script commands as search records, as commands of the registry, and the
// files the create form writes.
#include "support/AppTestSupport.h"
#include "support/CapturingLogHandler.h"
#include "support/ScriptCommandTestSupport.h"

#include "core/api/FeatureContext.h"
#include "core/rootsearch/LauncherSearch.h"
#include "data/SearchRepository.h"
#include "features/scripts/ScriptCommandTemplates.h"
#include "features/scripts/ScriptCommandsService.h"
#include "features/scripts/ScriptCommandsSource.h"
#include "features/scripts/ScriptVantrelCommand.h"
#include "features/scripts/ScriptsFeature.h"
#include "kit/NotificationNames.h"
#include "kit/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

namespace vantrel::test {
namespace {

class ScriptCommandsSourceTest : public RegistryFixture {
protected:
    void SetUp() override {
        RegistryFixture::SetUp();
        defaults = std::make_unique<UserDefaults>(folders.filePath(QStringLiteral("defaults.ini")));
        scripts = folders.filePath(QStringLiteral("scripts"));
        QDir().mkpath(scripts);
        center.addObserver(QString(NotificationNames::scriptCommandsSourceChanged), &observer,
                           [this](const Notification& notification) {
                               changeInfos.push_back(notification.object.value<ScriptCommandsSourceChangeInfo>());
                           });
    }
    void TearDown() override {
        source.reset();
        service.reset();
    }

    void makeSource() {
        service = std::make_unique<ScriptCommandsService>(*registry, defaults.get(), &center);
        service->addDirectory(scripts);
        source = std::make_shared<ScriptCommandsSource>(*service, &center);
        source->setDidUpdate([this](const DataSourceUpdate& update) { updates.push_back(update); });
    }
    std::vector<SearchRecord> load() { return loadRecords(*source); }
    QString id(const char* name) const {
        return QStringLiteral("vantrelScript_") + scripts + QLatin1Char('/') + QLatin1String(name);
    }

    QTemporaryDir folders;
    QString scripts;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<ScriptCommandsService> service;
    std::shared_ptr<ScriptCommandsSource> source;
    QObject observer;
    std::vector<ScriptCommandsSourceChangeInfo> changeInfos;
    std::vector<DataSourceUpdate> updates;
    ScopedLogCapture logs;
};

TEST_F(ScriptCommandsSourceTest, LoadGivesOneRecordPerScript) {
    ASSERT_TRUE(
        writeScript(scripts + QStringLiteral("/deploy.sh"),
                    commandText(QStringLiteral("Deploy Site"), QStringLiteral("compact"), {"packageName Web Tools"})));
    ASSERT_TRUE(writeScript(scripts + QStringLiteral("/broken.sh"), scriptText({"title Broken"})));
    makeSource();
    const auto records = load();
    ASSERT_EQ(records.size(), 1u);
    const SearchRecord& record = records[0];
    EXPECT_EQ(record.key, id("deploy.sh"));
    EXPECT_EQ(record.type, SearchRecord::ContentType::scriptCommand);
    EXPECT_EQ(record.source, SearchRecord::Source::scripts);
    EXPECT_EQ(record.name, QStringLiteral("Deploy Site"));
    EXPECT_EQ(record.category, QStringLiteral("Web Tools"));
    EXPECT_EQ(record.keywords, QStringLiteral("web tools"));
    EXPECT_EQ(record.path, scripts + QStringLiteral("/deploy.sh"));
    EXPECT_EQ(source->lastScriptIds(), QSet<QString>{id("deploy.sh")});
    EXPECT_TRUE(service->isStarted());
}

TEST_F(ScriptCommandsSourceTest, ChangesRebuildTheRecordsAndReportWhatCameAndWent) {
    ASSERT_TRUE(writeCommand(scripts + QStringLiteral("/a.sh"), QStringLiteral("A")));
    makeSource();
    load();
    changeInfos.clear();
    updates.clear();

    ASSERT_TRUE(writeCommand(scripts + QStringLiteral("/b.sh"), QStringLiteral("B")));
    service->reloadAll();
    ASSERT_TRUE(waitUntil([&] { return !changeInfos.empty(); }));
    EXPECT_EQ(changeInfos.back().scriptIdsBeforeUpdate, QSet<QString>{id("a.sh")});
    EXPECT_EQ(changeInfos.back().scriptIdsAfterUpdate, (QSet<QString>{id("a.sh"), id("b.sh")}));
    EXPECT_EQ(changeInfos.back().addedIds(), QSet<QString>{id("b.sh")});
    EXPECT_TRUE(changeInfos.back().removedIds().isEmpty());
    ASSERT_EQ(updates.size(), 1u);
    EXPECT_EQ(updates[0].records.at(SearchRecord::Source::scripts).size(), 2u);

    QFile::remove(scripts + QStringLiteral("/a.sh"));
    service->reloadAll();
    ASSERT_TRUE(waitUntil([&] { return changeInfos.size() >= 2; }));
    EXPECT_EQ(changeInfos.back().removedIds(), QSet<QString>{id("a.sh")});
    EXPECT_EQ(source->lastScriptIds(), QSet<QString>{id("b.sh")});
}

TEST_F(ScriptCommandsSourceTest, RootSearchFindsScriptsAndTheRegistryKnowsThem) {
    copyFixtureFolder(scriptFixtures(QStringLiteral("commands")), scripts);
    writeRow(QStringLiteral("scriptCommands"), true,
             QStringLiteral(R"({"scriptCommandsDirectories": ["%1"]})").arg(scripts));
    auto repository = std::make_shared<SearchRepository>(pool);
    LauncherSearch launcher(repository, *registry);
    FeatureContext features({*registry, launcher, *defaults, center});
    auto scriptsFeature = std::make_unique<ScriptsFeature>();
    ScriptsFeature& scriptsRoom = *scriptsFeature;
    std::vector<std::unique_ptr<Feature>> list;
    list.push_back(std::move(scriptsFeature));
    registerFeatures(features, std::move(list));
    ASSERT_TRUE(launcher.loadDataSourcesAndWait());

    const auto items = launcher.items(QStringLiteral("Node Argu"));
    ASSERT_FALSE(items.empty());
    ASSERT_TRUE(items.front().record());
    EXPECT_EQ(items.front().record()->key, id("arguments.js"));

    const auto command = registry->command(CommandIdentifier(id("arguments.js")));
    ASSERT_TRUE(command);
    EXPECT_EQ(command->displayName(), QStringLiteral("Node Arguments"));
    EXPECT_EQ(command->packageId(), PackageIdentifier("scriptCommands"));
    ASSERT_TRUE(command->package());
    EXPECT_EQ(command->package()->displayName(), QStringLiteral("Script Commands"));
    EXPECT_TRUE(command->isViewControllerRepresented());  // fullOutput
    EXPECT_TRUE(registry->isEnabled(*command));
    // Run without its required arguments (a link without them), it asks for them.
    const CommandOutcome asked = command->run({});
    EXPECT_EQ(asked.kind, CommandOutcome::Kind::showArguments);
    EXPECT_EQ(asked.commandId, id("arguments.js"));
    ASSERT_TRUE(command->inputCommand());
    EXPECT_EQ(command->inputCommand()->parameters().size(), 3u);

    const auto input = std::dynamic_pointer_cast<const InputCommand>(command);
    ASSERT_TRUE(input);
    EXPECT_EQ(input->id(), id("arguments.js"));
    const auto parameters = input->parameters();
    ASSERT_EQ(parameters.size(), 3u);
    EXPECT_EQ(parameters[0]->placeholder(), QStringLiteral("Name"));
    EXPECT_TRUE(parameters[1]->percentEncoded());
    EXPECT_TRUE(parameters[2]->isOptional());

    const auto silent = registry->command(CommandIdentifier(id("silent.sh")));
    ASSERT_TRUE(silent);
    EXPECT_FALSE(silent->isViewControllerRepresented());
    EXPECT_FALSE(registry->command(CommandIdentifier(id("absent.sh"))));
    EXPECT_EQ(scriptsRoom.service()->commands().size(), 13u);
}

TEST(ScriptCommandTemplatesTest, BashWithEverything) {
    ScriptCommandTemplateBuilder builder;
    builder.title = QStringLiteral("Open Pull Requests");
    builder.packageName = QStringLiteral("Developer Utils");
    builder.mode = ScriptCommand::RunMode::inline_;
    builder.refreshInterval = ScriptCommandTemplateBuilder::RefreshInterval::minutes15;
    builder.withArgument = true;
    builder.needsConfirmation = true;
    builder.description = QStringLiteral("Lists them");
    builder.author = QStringLiteral("Ada");
    EXPECT_EQ(builder.fileText(),
              QStringLiteral("#!/bin/bash\n"
                             "\n"
                             "# Required parameters:\n"
                             "# @vantrel.schemaVersion 1\n"
                             "# @vantrel.title Open Pull Requests\n"
                             "# @vantrel.mode inline\n"
                             "# @vantrel.refreshTime 15m\n"
                             "#\n"
                             "# Optional parameters:\n"
                             "# @vantrel.icon 🤖\n"
                             "# @vantrel.packageName Developer Utils\n"
                             "# @vantrel.needsConfirmation true\n"
                             "# @vantrel.argument1 { \"type\": \"text\", \"placeholder\": \"Placeholder\" }\n"
                             "# Documentation:\n"
                             "# @vantrel.description Lists them\n"
                             "# @vantrel.author Ada\n"
                             "\n"
                             "echo \"Hello World! Argument1 value: $1\"\n"));
    EXPECT_EQ(builder.proposedFileName(), QStringLiteral("open-pull-requests.sh"));
}

TEST(ScriptCommandTemplatesTest, EveryLanguageHasItsLineCommentAndExtension) {
    using B = ScriptCommandTemplateBuilder;
    QStringList seen;
    for (const B::Template language : B::allTemplates())
        seen << B::firstLine(language) + QLatin1Char(' ') + B::commentPrefix(language) + QLatin1Char(' ') +
                    B::fileExtension(language);
    EXPECT_EQ(seen,
              (QStringList{"#!/bin/bash # sh", "#!/usr/bin/osascript # applescript", "#!/usr/bin/swift // swift",
                           "#!/usr/bin/env python3 # py", "#!/usr/bin/env ruby # rb", "#!/usr/bin/env node // js"}));
    QStringList labels;
    for (const B::RefreshInterval interval : B::allRefreshIntervals())
        labels << B::label(interval) + QLatin1Char('=') + B::value(interval);
    EXPECT_EQ(labels, (QStringList{"30 Seconds=30s", "1 Minute=1m", "15 Minutes=15m", "1 Hour=1h", "3 Hours=3h",
                                   "12 Hours=12h", "1 Day=1d"}));
    // Every interval is a refresh time the parser reads back.
    for (const B::RefreshInterval interval : B::allRefreshIntervals())
        EXPECT_FALSE(CommandRefreshTime::parse(B::value(interval)).isNone());
}

TEST(ScriptCommandTemplatesTest, OnlyLanguagesThatRunHereAreOffered) {
    using B = ScriptCommandTemplateBuilder;
    const std::vector<B::Template> offered = B::availableTemplates();
    const auto isOffered = [&](B::Template language) {
        return std::find(offered.begin(), offered.end(), language) != offered.end();
    };
    // Bash, Python and Node.js are what install-deps installs; AppleScript needs osascript.
    EXPECT_TRUE(isOffered(B::Template::bash));
    EXPECT_TRUE(isOffered(B::Template::python));
    EXPECT_TRUE(isOffered(B::Template::nodeJS));
    EXPECT_FALSE(isOffered(B::Template::appleScript));
    EXPECT_EQ(B::interpreter(B::Template::python), QStringLiteral("python3"));
    EXPECT_EQ(B::interpreter(B::Template::bash), QStringLiteral("/bin/bash"));
    EXPECT_EQ(isOffered(B::Template::ruby), !QStandardPaths::findExecutable(QStringLiteral("ruby")).isEmpty());
    EXPECT_EQ(isOffered(B::Template::swift), QFileInfo(QStringLiteral("/usr/bin/swift")).isExecutable());

    // An interpreter the PATH does not lead to is not offered.
    ScopedEnv path("PATH", QByteArray("/nonexistent"));
    EXPECT_TRUE(B::isAvailable(B::Template::bash));
    EXPECT_EQ(B::isAvailable(B::Template::python), QFileInfo(QStringLiteral("/usr/local/bin/python3")).isExecutable());
}

TEST(ScriptCommandTemplatesTest, GeneratedScriptsParseAndRun) {
    QTemporaryDir dir;
    using B = ScriptCommandTemplateBuilder;
    for (const B::Template language : B::availableTemplates()) {
        for (const bool withArgument : {false, true}) {
            B builder;
            builder.scriptTemplate = language;
            builder.title = QStringLiteral("Say Hello");
            builder.packageName = QStringLiteral("Greetings");
            builder.withArgument = withArgument;
            const QString path = dir.filePath(builder.proposedFileName());
            ASSERT_TRUE(writeScript(path, builder.fileText().toUtf8()));
            const ScriptCommand command = ScriptCommand::parse(path);
            EXPECT_EQ(command.displayName, QStringLiteral("Say Hello"));
            EXPECT_EQ(command.packageName, QStringLiteral("Greetings"));
            EXPECT_EQ(command.arguments.size(), withArgument ? 1u : 0u);
            QProcess process;
            process.start(path, withArgument ? QStringList{QStringLiteral("there")} : QStringList{});
            ASSERT_TRUE(process.waitForFinished(20000)) << path.toStdString();
            EXPECT_EQ(
                QString::fromUtf8(process.readAllStandardOutput()).trimmed(),
                withArgument ? QStringLiteral("Hello World! Argument1 value: there") : QStringLiteral("Hello World!"))
                << path.toStdString();
        }
    }
}

}  // namespace
}  // namespace vantrel::test
