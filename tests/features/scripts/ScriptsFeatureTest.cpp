// The scripts feature as the launcher registers it: what it hands the
// context (data source, commands, links, pages, hotkeys, subcommands), its
// exported interface and typed signal, and that all of it ends with the context.
#include "support/AppTestSupport.h"
#include "support/ScriptCommandTestSupport.h"

#include "core/api/FeatureContext.h"
#include "core/rootsearch/LauncherSearch.h"
#include "data/SearchRecord.h"
#include "data/SearchRepository.h"
#include "features/scripts/ScriptsApi.h"
#include "features/scripts/ScriptsFeature.h"
#include "kit/UserDefaults.h"

#include <QTemporaryDir>
#include <QUrl>

namespace vantrel::test {
namespace {

class ScriptsFeatureTest : public RegistryFixture {
protected:
    void SetUp() override {
        RegistryFixture::SetUp();
        ASSERT_TRUE(scripts.isValid());
        defaults = std::make_unique<UserDefaults>(home.root() + QStringLiteral("/feature.conf"));
        launcher = std::make_unique<LauncherSearch>(std::make_shared<SearchRepository>(pool), *registry);
        context = std::make_unique<FeatureContext>(FeatureContext::Services{*registry, *launcher, *defaults, center});
        std::vector<std::unique_ptr<Feature>> features;
        features.push_back(std::make_unique<ScriptsFeature>());
        registerFeatures(*context, std::move(features));
    }

    void TearDown() override {
        context.reset();
        launcher.reset();
    }

    std::optional<int> cli(const char* name, const QStringList& arguments) const {
        const FeatureContext::CliCommand* command = context->cliCommand(QString::fromLatin1(name));
        if (!command) return std::nullopt;
        return (*command)(arguments);
    }

    QString scriptId(const QString& file) const {
        return QString(ScriptCommand::idPrefix) + QDir::cleanPath(scripts.path()) + QLatin1Char('/') + file;
    }

    QTemporaryDir scripts;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<LauncherSearch> launcher;
    std::unique_ptr<FeatureContext> context;
};

TEST_F(ScriptsFeatureTest, ItsDirectoriesCommandsAndSignalWorkThroughTheContext) {
    ScriptsApi* api = context->api<ScriptsApi>();
    ASSERT_TRUE(api);
    int changes = 0;
    auto receiver = std::make_unique<QObject>();
    api->scriptCommandsChanged().connect(receiver.get(), [&changes] { ++changes; });

    ASSERT_TRUE(
        writeScript(scripts.filePath("hello.sh"), scriptText({"schemaVersion 1", "title Say Hello", "mode silent"})));
    EXPECT_EQ(cli("scripts", {"add-dir", scripts.path()}), 0);
    EXPECT_EQ(api->scriptDirectories(), QStringList{QDir::cleanPath(scripts.path())});

    // "Reload Script Directories" runs the feature's handler.
    const auto reload = registry->command(CommandIdentifier("reloadScriptCommands"));
    ASSERT_TRUE(reload);
    EXPECT_EQ(reload->run({}).kind, CommandOutcome::Kind::done);
    ASSERT_TRUE(waitUntil([&] { return api->scriptCommands().size() == 1; }, 10000));
    EXPECT_TRUE(waitUntil([&] { return changes > 0; }));

    // The registry answers the script's id; root search's rows come from the feature.
    const auto command = registry->command(CommandIdentifier(scriptId("hello.sh")));
    ASSERT_TRUE(command);
    EXPECT_EQ(command->displayName(), "Say Hello");
    EXPECT_TRUE(api->scriptCommand(scriptId("hello.sh")));

    // A receiver that is gone hears nothing more.
    const int heard = changes;
    receiver.reset();
    ASSERT_TRUE(
        writeScript(scripts.filePath("bye.sh"), scriptText({"schemaVersion 1", "title Say Bye", "mode silent"})));
    const FeatureContext::RouteHandler* route = context->route(QUrl("vantrel://scripts/reload"));
    ASSERT_TRUE(route);
    EXPECT_EQ((*route)(QUrl("vantrel://scripts/reload")).kind, CommandOutcome::Kind::done);
    ASSERT_TRUE(waitUntil([&] { return api->scriptCommands().size() == 2; }, 10000));
    EXPECT_EQ(changes, heard);
}

TEST_F(ScriptsFeatureTest, RegistersItsLinksPagesHotkeysAndSubcommandsOnly) {
    EXPECT_TRUE(context->route(QUrl("vantrel://scripts/reload")));
    EXPECT_FALSE(context->route(QUrl("vantrel://scripts/delete")));
    EXPECT_FALSE(context->route(QUrl("vantrel://scripts/reload/more")));
    ASSERT_EQ(context->preferencePages().size(), 1u);
    EXPECT_EQ(context->preferencePages()[0].title, "Script Commands");
    EXPECT_TRUE(context->hotkeyHandler(int(SearchRecord::ContentType::scriptCommand)));
    EXPECT_FALSE(context->hotkeyHandler(int(SearchRecord::ContentType::systemApp)));
    EXPECT_FALSE(context->cliCommand("files"));
    // `vantrel run` asks the feature first: anything that is not a script is someone else's.
    EXPECT_EQ(cli("run", {"urlEncode", "a b"}), std::nullopt);
    EXPECT_EQ(cli("run", {}), std::nullopt);
    // A view for a script id that is not loaded is no view.
    EXPECT_EQ(context->makeView(CommandOutcome::showView(scriptId("missing.sh"))), nullptr);
}

TEST_F(ScriptsFeatureTest, WhatItRegisteredEndsWithTheContext) {
    ASSERT_TRUE(
        writeScript(scripts.filePath("hello.sh"), scriptText({"schemaVersion 1", "title Say Hello", "mode silent"})));
    EXPECT_EQ(cli("scripts", {"add-dir", scripts.path()}), 0);
    ASSERT_TRUE(registry->commandHandler("reloadScriptCommands"));
    (*registry->commandHandler("reloadScriptCommands"))(*registry->command(CommandIdentifier("reloadScriptCommands")),
                                                        {});
    ASSERT_TRUE(
        waitUntil([&] { return registry->command(CommandIdentifier(scriptId("hello.sh"))) != nullptr; }, 10000));

    context.reset();
    EXPECT_EQ(registry->commandHandler("reloadScriptCommands"), nullptr);
    EXPECT_EQ(registry->command(CommandIdentifier(scriptId("hello.sh"))), nullptr);
    const CommandOutcome outcome = registry->command(CommandIdentifier("reloadScriptCommands"))->run({});
    EXPECT_EQ(outcome.kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(outcome.message, "Reloading script directories is only available while Vantrel is running.");
}

}  // namespace
}  // namespace vantrel::test
