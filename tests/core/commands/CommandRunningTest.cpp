#include "support/AppTestSupport.h"
#include "support/ScopedPlatform.h"

#include "core/commands/ActionProviders.h"
#include "core/commands/BuiltinCommandRunner.h"
#include "core/commands/VantrelCommandsSource.h"
#include "data/SearchRepository.h"
#include "kit/UserDefaults.h"
#include "kit/VantrelError.h"
#include "platform/Platform.h"
#include "platform/SystemActions.h"
#include "platform/fake/FakeSystemActions.h"
#include "search/Search.h"

#include <QUrl>

namespace vantrel::test {
namespace {

class CommandRunningTest : public RegistryFixture {
protected:
    CommandOutcome run(const char* id, CommandRunContext context = {}) {
        const auto found = command(id);
        EXPECT_TRUE(found) << id;
        if (!found) return CommandOutcome::failed("missing", id);
        if (!context.environment) context.environment = &environment;
        return found->run(context);
    }

    static CommandRunContext withText(const QString& text) {
        CommandRunContext context;
        context.searchText = text;
        return context;
    }

    LauncherEnvironment environment;
};

// MARK: URL commands

TEST_F(CommandRunningTest, EncodeAndDecodeURLTextRoundTrip) {
    const CommandOutcome encoded = run("urlEncode", withText("  a b&c=d/é?  "));
    ASSERT_EQ(encoded.kind, CommandOutcome::Kind::done);
    EXPECT_EQ(encoded.resultText, "a%20b%26c%3Dd%2F%C3%A9%3F");
    // On the clipboard, with a success toast and the window left open.
    EXPECT_EQ(encoded.toastTitle, "Copied to clipboard");
    EXPECT_TRUE(encoded.hudText.isEmpty());

    const CommandOutcome decoded = run("urlDecode", withText(*encoded.resultText));
    ASSERT_EQ(decoded.kind, CommandOutcome::Kind::done);
    EXPECT_EQ(decoded.resultText, "a b&c=d/é?");
}

TEST_F(CommandRunningTest, AnArgumentTakesPrecedenceOverTheSearchText) {
    CommandRunContext context = withText("ignored");
    context.arguments = {"", "x y"};
    EXPECT_EQ(run("urlEncode", context).resultText, "x%20y");
}

TEST_F(CommandRunningTest, URLCommandsRefuseEmptyAndBrokenInput) {
    const CommandOutcome empty = run("urlEncode", withText("   "));
    EXPECT_EQ(empty.kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(empty.title, "Could not encode URL");
    EXPECT_EQ(empty.message, "There is no text to encode.");

    const CommandOutcome broken = run("urlDecode", withText("%FF%FE"));
    EXPECT_EQ(broken.kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(broken.title, "Could not decode URL");
    EXPECT_EQ(broken.message, "The escapes do not form valid UTF-8 text.");

    // A lone percent sign is not an escape and stays as it is.
    EXPECT_EQ(run("urlDecode", withText("100% sure")).resultText, "100% sure");
    EXPECT_EQ(run("urlDecode", withText("50%")).resultText, "50%");
    EXPECT_EQ(run("urlDecode", withText("%4")).resultText, "%4");
    EXPECT_EQ(run("urlDecode", withText("%41%6a+%zz")).resultText, "Aj+%zz");
}

TEST_F(CommandRunningTest, OpenInBrowserHandsTheLinkToTheDesktop) {
    QList<QUrl> opened;
    environment.openUrl = [&](const QUrl& url) { opened << url; };
    EXPECT_EQ(run("openInBrowser", withText("example.com/path")).kind, CommandOutcome::Kind::done);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0], QUrl("http://example.com/path"));

    environment.openUrl = [](const QUrl&) { throw VantrelError(QStringLiteral("No application handles this link")); };
    const CommandOutcome failed = run("openInBrowser", withText("https://example.com"));
    EXPECT_EQ(failed.kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(failed.message, "No application handles this link");
    EXPECT_EQ(run("openInBrowser", withText("")).kind, CommandOutcome::Kind::failed);
}

// MARK: System commands

// The desktop's own answer decides the outcome: its confirmation as the HUD,
// "unavailable" with its reason, or a failure with its sentence; without a
// desktop the commands say so.
TEST_F(CommandRunningTest, SystemCommandsReportWhatTheDesktopAnswered) {
    auto desktop = std::make_shared<FakeSystemActions>();
    desktop->define("setVolume50", {QStringLiteral("Volume set to 50%"), {}, {}});
    desktop->define("lockScreen", {{}, QStringLiteral("No screen locker answers on this desktop."), {}});
    desktop->define("emptyTrash", {{}, {}, QStringLiteral("The trash folder cannot be read.")});
    std::optional<ScopedPlatform> withFake(std::in_place, [&](Platform& installed) { installed.system = desktop; });

    EXPECT_EQ(run("setVolume50").hudText, "Volume set to 50%");
    const CommandOutcome locked = run("lockScreen");
    EXPECT_EQ(locked.kind, CommandOutcome::Kind::unavailable);
    EXPECT_EQ(locked.message, "No screen locker answers on this desktop.");
    const CommandOutcome trash = run("emptyTrash");
    EXPECT_EQ(trash.kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(trash.title, "Failed to run Empty Trash");
    EXPECT_EQ(trash.message, "The trash folder cannot be read.");
    EXPECT_EQ(desktop->ran, (QStringList{"setVolume50", "lockScreen", "emptyTrash"}));

    withFake.reset();
    const ScopedPlatform without([](Platform& installed) { installed.system = nullptr; });
    EXPECT_EQ(run("setVolume50").kind, CommandOutcome::Kind::unavailable);
}

TEST_F(CommandRunningTest, SystemCommandOutcomeCarriesSystemCommandsOwnSentence) {
    // Restarting is refused without a login manager to ask; with one, the dry
    // run below says what it would do instead.
    const ScopedEnv dryRun("VANTREL_DRY_RUN", QByteArray("1"));
    const CommandOutcome outcome = run("restartSystem");
    QString reason;
    if (platform().system->isAvailable("restartSystem", &reason)) {
        EXPECT_EQ(outcome.kind, CommandOutcome::Kind::done);
        EXPECT_EQ(outcome.hudText, "Dry run: would restart the computer");
    } else {
        EXPECT_EQ(outcome.kind, CommandOutcome::Kind::unavailable);
        EXPECT_EQ(outcome.message, reason);
    }
}

TEST_F(CommandRunningTest, EverySystemCommandOfThePackageIsOneSystemCommandsCarriesOut) {
    for (const auto& each : registry->package(PackageIdentifier("systemCommands"))->commands()) {
        // Switching apps and searching menus are features of their own.
        if (each->id().rawValue == "appSwitcher" || each->id().rawValue == "searchMenuItems") continue;
        EXPECT_TRUE(platform().system->handles(each->id().rawValue)) << each->id().rawValue.toStdString();
        EXPECT_EQ(builtinCommandBehaviour(each->id().rawValue)->behaviour, BuiltinBehaviour::systemCommand);
    }
}

// MARK: Launcher hooks and settings

TEST_F(CommandRunningTest, LauncherCommandsRunTheHandlerTheLauncherRegisteredAndFailClearlyOtherwise) {
    int refreshed = 0, reloaded = 0, quit = 0;
    const auto counting = [](int& count) {
        return [&count](const VantrelCommand&, const CommandRunContext&) {
            ++count;
            return CommandOutcome::done();
        };
    };
    registry->setCommandHandler("refreshSystemSource", counting(refreshed));
    registry->setCommandHandler("reloadScriptCommands", counting(reloaded));
    registry->setCommandHandler("quitVantrel", counting(quit));
    EXPECT_EQ(run("refreshSystemSource").kind, CommandOutcome::Kind::done);
    EXPECT_EQ(run("reloadScriptCommands").kind, CommandOutcome::Kind::done);
    EXPECT_EQ(run("quitVantrel").kind, CommandOutcome::Kind::done);
    EXPECT_EQ(refreshed + reloaded + quit, 3);

    // A handler that throws becomes a failure naming the command.
    registry->setCommandHandler("reloadScriptCommands",
                                [](const VantrelCommand&, const CommandRunContext&) -> CommandOutcome {
                                    throw VantrelError(QStringLiteral("The folder is gone"));
                                });
    const CommandOutcome thrown = run("reloadScriptCommands");
    EXPECT_EQ(thrown.kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(thrown.message, "The folder is gone");

    // Outside the running launcher nobody handles them.
    for (const char* id : {"refreshSystemSource", "reloadScriptCommands", "quitVantrel"})
        registry->removeCommandHandler(id);
    const CommandOutcome outcome = run("refreshSystemSource");
    EXPECT_EQ(outcome.kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(outcome.message, "Refreshing apps and preferences is only available while Vantrel is running.");
    EXPECT_EQ(run("quitVantrel").message, "Quitting is only available while Vantrel is running.");
    EXPECT_EQ(refreshed + reloaded + quit, 3);
}

TEST_F(CommandRunningTest, ToggleAppearanceFlipsTheStoredSetting) {
    UserDefaults defaults(home.root() + "/appearance.conf");
    environment.userDefaults = &defaults;
    EXPECT_EQ(run("toggleVantrelAppearance").hudText, "Vantrel appearance: Dark");
    EXPECT_EQ(defaults.value("vantrelAppearance").toString(), "dark");
    EXPECT_EQ(run("toggleVantrelAppearance").hudText, "Vantrel appearance: Light");
    EXPECT_EQ(defaults.value("vantrelAppearance").toString(), "light");
    defaults.setValue("vantrelAppearance", "system");
    run("toggleVantrelAppearance");
    EXPECT_EQ(defaults.value("vantrelAppearance").toString(), "dark");
}

// What the registry calls available runs when chosen; what it calls coming
// says so in a sentence; nothing else answers "unavailable".
TEST_F(CommandRunningTest, ACommandRunsExactlyWhenTheRegistryCallsItAvailable) {
    // A desktop that carries out every system command: what is checked here
    // is the launcher's side, and nothing real shuts down.
    auto desktop = std::make_shared<FakeSystemActions>();
    for (const QString& id : platform().system->commandIds()) desktop->define(id, {QStringLiteral("Done"), {}, {}});
    const ScopedPlatform withFake([&](Platform& installed) { installed.system = desktop; });
    QList<QUrl> opened;
    environment.openUrl = [&](const QUrl& url) { opened << url; };
    const auto development = makeRegistry(true);
    CommandList all = development->commands();
    all.push_back(development->command(CommandIdentifier("createQuicklinkWithURL")));
    ASSERT_GT(all.size(), 20u);
    QStringList available;
    QStringList coming;
    for (const auto& each : all) {
        const QString id = each->id().rawValue;
        CommandRunContext context = withText(QStringLiteral("https://example.org/a b"));
        context.environment = &environment;
        const CommandOutcome outcome = each->run(context);
        switch (development->availability(id)) {
            case CommandAvailability::available:
                available << id;
                EXPECT_NE(outcome.kind, CommandOutcome::Kind::unavailable)
                    << id.toStdString() << " is called available but answers: " << outcome.message.toStdString();
                break;
            case CommandAvailability::coming:
                coming << id;
                EXPECT_EQ(outcome.kind, CommandOutcome::Kind::unavailable) << id.toStdString();
                EXPECT_TRUE(outcome.message.endsWith('.')) << id.toStdString();
                break;
            case CommandAvailability::notInThisBuild:
                EXPECT_EQ(outcome.kind, CommandOutcome::Kind::unavailable) << id.toStdString();
                break;
        }
    }
    // Both kinds exist: the table is not all one way.
    EXPECT_TRUE(available.contains(QStringLiteral("urlEncode")));
    EXPECT_TRUE(coming.contains(QStringLiteral("jira_createIssue")));
    EXPECT_TRUE(opened.contains(QUrl(QStringLiteral("https://example.org/a"))));
    const CommandOutcome jira = run("jira_createIssue");
    EXPECT_EQ(jira.kind, CommandOutcome::Kind::unavailable);
    EXPECT_EQ(jira.message, "Signing in to outside services is not available yet, so Jira commands cannot run yet.");
    // The news reader and the store push their views (their features fill them).
    EXPECT_EQ(run("media_hackerNews").kind, CommandOutcome::Kind::showView);
    EXPECT_EQ(run("extensionsStore").kind, CommandOutcome::Kind::showView);
    // What has no meaning on this desktop says why, in the desktop's terms.
    const CommandOutcome bounce = run("windowBounceAnimation");
    EXPECT_EQ(bounce.kind, CommandOutcome::Kind::unavailable);
    EXPECT_EQ(bounce.message,
              "Window animations on this desktop come from the window manager; the launcher window has no bounce "
              "animation of its own to toggle.");
    const CommandOutcome view = run("createScriptCommand", withText("hello"));
    EXPECT_EQ(view.kind, CommandOutcome::Kind::showView);
    EXPECT_EQ(view.commandId, "createScriptCommand");
    EXPECT_EQ(view.initialQuery, "hello");
}

// MARK: Action providers

class CommandActionProviderTest : public CommandRunningTest {
protected:
    void SetUp() override {
        CommandRunningTest::SetUp();
        repository = std::make_shared<SearchRepository>(pool);
        search = std::make_unique<Search>(repository);
        VantrelCommandsSource source(*registry, &center);
        repository->update(SearchRecord::Source::package, loadRecords(source), SearchUpdateStrategy::source());
        search->indexAll();
    }

    std::shared_ptr<SearchRepository> repository;
    std::unique_ptr<Search> search;
};

TEST_F(CommandActionProviderTest, OpenCommandRecordsAVisitThenRuns) {
    CommandRunContext context;
    context.environment = &environment;
    CommandActionProvider provider(command("urlEncode"), "a b", search.get(), context);
    EXPECT_TRUE(provider.isCommand());
    EXPECT_EQ(provider.actionPanelTitle(), "Encode URL");
    EXPECT_EQ(provider.accessory(), std::nullopt);
    const auto items = provider.menuItems();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].title, "Open Command");
    EXPECT_EQ(items[1].title, "Configure Command");
    EXPECT_EQ(provider.primaryAction()->id, items[0].id);

    EXPECT_FALSE(repository->record(QStringLiteral("urlEncode"))->frecencyDate.has_value());
    const CommandOutcome outcome = items[0].perform();
    EXPECT_EQ(outcome.resultText, "a%20b");
    const auto visited = repository->record(QStringLiteral("urlEncode"));
    EXPECT_TRUE(visited->frecencyDate.has_value());
    EXPECT_EQ(visited->searchTerms, "a b");

    const CommandOutcome configure = items[1].perform();
    EXPECT_EQ(configure.kind, CommandOutcome::Kind::showPreferences);
    EXPECT_EQ(configure.commandId, "urlEncode");
}

TEST_F(CommandActionProviderTest, FallbackSearchRunsItsCommandWithTheTerm) {
    FallbackSearchCommandActionProvider provider(registry->fallbackSearchCommand("fileSearch_fallbackSearch"),
                                                 search.get(), "invoice");
    EXPECT_FALSE(provider.isCommand());
    EXPECT_EQ(provider.actionPanelTitle(), "File Search");
    const auto items = provider.menuItems();
    ASSERT_EQ(items.size(), 1u);
    const CommandOutcome outcome = items[0].perform();
    EXPECT_EQ(outcome.kind, CommandOutcome::Kind::showView);
    EXPECT_EQ(outcome.commandId, "fileSearch");
    EXPECT_EQ(outcome.initialQuery, "invoice");
}

// A running application whose answers the test decides.
class FakeDesktopApplication : public RunningApplication {
public:
    FakeDesktopApplication(QString name, bool answers) : m_name(std::move(name)), m_answers(answers) {}
    QString name() const override { return m_name; }
    bool activate() override { return record("activate"); }
    bool quit() override { return record("quit"); }
    bool forceQuit() override { return record("forceQuit"); }
    QStringList calls;

private:
    bool record(const char* call) {
        calls << call;
        return m_answers;
    }
    QString m_name;
    bool m_answers;
};

TEST(AppActionProviderTest, ItemsInOrderAndTheSwitchFailureToast) {
    auto editor = std::make_shared<FakeDesktopApplication>("Text Editor", false);
    auto player = std::make_shared<FakeDesktopApplication>("Music", true);
    AppActionProvider provider(editor, [player] { return std::vector<std::shared_ptr<RunningApplication>>{player}; });
    const auto items = provider.menuItems();
    QStringList ids, titles;
    for (const MenuItem& item : items) {
        ids << item.id;
        titles << item.title;
    }
    EXPECT_EQ(ids, QStringList({"switchToApp", "quitApp", "forceQuitApp", "quitAllOtherApps"}));
    EXPECT_EQ(titles, QStringList({"Switch to Application", "Quit", "Force Quit", "Quit All Other Apps"}));
    EXPECT_EQ(AppActionProvider::sectionId, QLatin1String("appSwitcher-primary-section"));

    const CommandOutcome failed = items[0].perform();
    EXPECT_EQ(failed.kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(failed.title, "Unable to switch to Text Editor");
    EXPECT_EQ(failed.message, "Please try again later.");
    EXPECT_EQ(items[3].perform().kind, CommandOutcome::Kind::done);
    EXPECT_EQ(player->calls, QStringList({"quit"}));
    EXPECT_EQ(editor->calls, QStringList({"activate"}));
}

}  // namespace
}  // namespace vantrel::test
