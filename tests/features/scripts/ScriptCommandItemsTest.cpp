// Script commands as rows of root search: found by their title, described by
// their metadata, run through their actions, and showing the output of the
// last scheduled run of an inline command.
#include "features/scripts/ScriptCommandsService.h"
#include "features/scripts/ScriptCommandsSource.h"
#include "features/scripts/ScriptsFeature.h"
#include "support/RootSearchTestSupport.h"
#include "support/ScriptCommandTestSupport.h"
#include "support/ScriptRunTestSupport.h"

#include "features/scripts/CommandScheduler.h"
#include "features/scripts/ScriptCommandActionProvider.h"
#include "kit/NotificationCenter.h"

#include <QCoreApplication>
#include <QFile>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

class ScriptCommandItemsTest : public RootSearchFixture {
protected:
    void TearDown() override {
        subscription.reset();
        RootSearchFixture::TearDown();
    }

    ScriptsFeature& scriptsFeature() const {
        for (const auto& feature : features->features())
            if (auto* scripts = dynamic_cast<ScriptsFeature*>(feature.get())) return *scripts;
        throw std::logic_error("the scripts feature is not registered");
    }

    // Root search over a script folder, with the script rows installed.
    bool startWithScripts() {
        if (!start()) {
            ADD_FAILURE() << "root search did not load";
            return false;
        }
        ScriptCommandsService& service = *scriptsFeature().service();
        subscription = installScriptCommandItems(
            *controller, [&service](const QString& id) { return service.command(id); }, &presenter, &scheduler,
            &NotificationCenter::defaultCenter(), scriptsFeature().openWithChooser());
        service.addDirectory(scripts.path());
        // The registry of the fixture announces configuration changes on a
        // centre of its own, so the folder is loaded here.
        service.reloadDirectories({scripts.path()});
        scriptsFeature().source()->rebuild();
        const bool loaded = waitUntil([&] { return service.commands().size() == 2; }, 20000);
        if (!loaded)
            ADD_FAILURE() << service.commands().size() << " commands; parsed "
                          << ScriptCommandsService::parseScriptCommands(scripts.path()).size() << "\n"
                          << logs->lines().join(QLatin1Char('\n')).toStdString();
        return loaded;
    }

    // The first row of a query, once the script records are searchable.
    const ListItem* rowFor(const QString& query, const QString& id) {
        const ListItem* found = nullptr;
        waitUntil(
            [&] {
                type(query);
                found = findItem(id);
                return found != nullptr;
            },
            20000);
        return found;
    }

    ScriptFolder scripts;
    RecordingPresenter presenter;
    UserDefaults schedulerDefaults{scripts.file(QStringLiteral("scheduler.conf"))};
    CommandScheduler scheduler{
        [this] { return features ? scriptsFeature().service()->commands() : std::vector<ScriptCommand>{}; },
        &schedulerDefaults};
    std::unique_ptr<QObject> subscription;
};

TEST_F(ScriptCommandItemsTest, ScriptRowsRunAndShowInlineOutput) {
    scripts.write(QStringLiteral("greet.sh"), commandText(QStringLiteral("Greet Someone"), QStringLiteral("compact"),
                                                          {"packageName Greetings", "icon 🤖",
                                                           R"(argument1 { "type": "text", "placeholder": "Name" })"},
                                                          QStringLiteral("echo \"hello $1\"")));
    scripts.write(QStringLiteral("weather.sh"), commandText(QStringLiteral("Weather Now"), QStringLiteral("inline"),
                                                            {"refreshTime 5m", "packageName Weather"},
                                                            QStringLiteral("printf '\\033[36m21°C\\033[0m sunny\\n'")));
    ASSERT_TRUE(startWithScripts());

    const QString greetId = QStringLiteral("vantrelScript_") + scripts.file(QStringLiteral("greet.sh"));
    const ListItem* greet = rowFor(QStringLiteral("Greet Some"), greetId);
    ASSERT_TRUE(greet);
    EXPECT_EQ(greet->title, QStringLiteral("Greet Someone"));
    EXPECT_EQ(greet->subtitle, QStringLiteral("Greetings"));
    EXPECT_EQ(greet->kind, ListItem::Kind::inputCommand);
    // The row draws the script's own image, here its emoji.
    EXPECT_EQ(greet->icon, ImageResource::emoji(QStringLiteral("🤖")));
    ASSERT_TRUE(greet->inputCommand);
    ASSERT_EQ(greet->inputCommand->parameters().size(), 1u);
    EXPECT_EQ(greet->inputCommand->parameters()[0]->placeholder(), QStringLiteral("Name"));
    ASSERT_TRUE(greet->actionProvider);
    EXPECT_EQ(greet->actionProvider->primaryAction()->id, QStringLiteral("scriptCommandRun"));

    // Chosen without its argument: nothing runs, the field is asked for.
    const ListItem chosen = *greet;
    events.clear();
    const CommandOutcome missing = controller->chooseItem(chosen);
    EXPECT_EQ(missing.kind, CommandOutcome::Kind::done);
    EXPECT_EQ(eventCount(RootSearchEvent::Kind::argumentFocused), 1);
    EXPECT_EQ(controller->searchBar().focusedArgumentIndex, 0);
    EXPECT_TRUE(presenter.toasts.empty());

    const QString weatherId = QStringLiteral("vantrelScript_") + scripts.file(QStringLiteral("weather.sh"));
    const ListItem* weather = rowFor(QStringLiteral("Weather No"), weatherId);
    ASSERT_TRUE(weather);
    EXPECT_EQ(weather->kind, ListItem::Kind::command);
    EXPECT_FALSE(weather->accessory && !weather->accessory->isEmpty());
    // An inline script's row has the dashboard's actions.
    ASSERT_TRUE(weather->actionProvider);
    QStringList weatherActions;
    for (const MenuItem& action : weather->actionProvider->menuItems()) weatherActions << action.id;
    EXPECT_EQ(weatherActions, (QStringList{"scriptCommandRun", "refresh", "copyOutput", "configureScriptCommand"}));

    // A scheduled run reloads the list (other reloads may come first), and
    // the row shows its output.
    scheduler.run(*scriptsFeature().service()->command(weatherId));
    const auto shownOutput = [&]() -> QString {
        const ListItem* refreshed = findItem(weatherId);
        return refreshed && refreshed->accessory ? *refreshed->accessory : QString();
    };
    ASSERT_TRUE(waitUntil([&] { return !shownOutput().isEmpty(); }, 10000));
    EXPECT_EQ(shownOutput(), QStringLiteral("21°C sunny"));
    const ListItem* refreshed = findItem(weatherId);
    ASSERT_TRUE(refreshed);
    // With the colour the script asked for; the rest in the row's own colour.
    const std::vector<StyledTextRun> styled{{QStringLiteral("21°C"), QStringLiteral("terminalCyan")},
                                            {QStringLiteral(" sunny")}};
    EXPECT_EQ(refreshed->styledAccessory, styled);
    // Without an icon line a script row shows the script tile.
    ASSERT_TRUE(refreshed->icon);
    EXPECT_EQ(refreshed->icon->type, ImageResource::Type::named);
}

TEST_F(ScriptCommandItemsTest, ASelectedScriptShowsItsFieldsAndRunsWithTheirValues) {
    scripts.write(QStringLiteral("greet.sh"),
                  commandText(QStringLiteral("Greet Someone"), QStringLiteral("compact"),
                              {R"(argument1 { "type": "text", "placeholder": "Name" })",
                               R"(argument2 { "type": "text", "placeholder": "Mood", "optional": true })"},
                              QStringLiteral("echo \"hello $1${2:+ ($2)}\"")));
    scripts.write(QStringLiteral("plain.sh"), commandText(QStringLiteral("Greet Nobody"), QStringLiteral("compact"), {},
                                                          QStringLiteral("echo plain")));
    ASSERT_TRUE(startWithScripts());
    const QString greetId = QStringLiteral("vantrelScript_") + scripts.file(QStringLiteral("greet.sh"));
    const QString plainId = QStringLiteral("vantrelScript_") + scripts.file(QStringLiteral("plain.sh"));
    ASSERT_TRUE(rowFor(QStringLiteral("Greet"), greetId));
    ASSERT_TRUE(findItem(plainId));

    // Selecting the row shows its fields at once, the focus staying in the text.
    ASSERT_TRUE(controller->selectItem(greetId));
    const SearchBarState& bar = controller->searchBar();
    ASSERT_TRUE(bar.inputCommand);
    EXPECT_EQ(bar.inputCommand->id(), greetId);
    ASSERT_EQ(bar.inputParameters.size(), 2u);
    EXPECT_EQ(bar.inputParameters[0]->placeholder(), QStringLiteral("Name"));
    EXPECT_TRUE(bar.inputParameters[1]->isOptional());
    EXPECT_EQ(bar.argumentValues, QStringList({QString(), QString()}));
    EXPECT_FALSE(bar.focusedArgumentIndex);

    // Return with the required field empty asks for it and runs nothing.
    events.clear();
    EXPECT_EQ(controller->chooseSelectedItem().kind, CommandOutcome::Kind::done);
    EXPECT_EQ(eventCount(RootSearchEvent::Kind::argumentFocused), 1);
    EXPECT_EQ(bar.focusedArgumentIndex, 0);
    EXPECT_TRUE(presenter.toasts.empty());
    // So does the primary action from the action panel.
    controller->argumentFieldDidActivate(-1);
    events.clear();
    const std::vector<MenuItem> actions = controller->menuItems(*controller->selectedItem());
    ASSERT_FALSE(actions.empty());
    EXPECT_EQ(actions.front().perform().kind, CommandOutcome::Kind::done);
    EXPECT_EQ(eventCount(RootSearchEvent::Kind::argumentFocused), 1);
    EXPECT_TRUE(presenter.toasts.empty());

    // Values typed stay while the row stays selected, through more typing too.
    controller->setArgumentValue(0, QStringLiteral("Ada"));
    controller->argumentFieldDidActivate(-1);
    type(QStringLiteral("Greet S"));
    ASSERT_TRUE(controller->selectedItem());
    ASSERT_EQ(controller->selectedItem()->id, greetId);
    EXPECT_EQ(controller->argumentValues(greetId), QStringList({QStringLiteral("Ada"), QString()}));

    // They go to the run, in order.
    controller->setArgumentValue(1, QStringLiteral("glad"));
    EXPECT_EQ(controller->chooseSelectedItem().kind, CommandOutcome::Kind::done);
    ASSERT_TRUE(waitUntil([&] { return presenter.toasts.size() >= 2; }, 10000));
    EXPECT_EQ(presenter.toasts[1].toast.title, QStringLiteral("Script finished running"));
    EXPECT_EQ(presenter.toasts[1].toast.message, QStringLiteral("hello Ada (glad)"));

    // Another row puts the fields away; coming back starts them empty.
    type(QStringLiteral("Greet"));
    ASSERT_TRUE(controller->selectItem(plainId));
    EXPECT_FALSE(controller->searchBar().inputCommand);
    EXPECT_TRUE(controller->argumentValues(greetId).isEmpty());
    ASSERT_TRUE(controller->selectItem(greetId));
    EXPECT_EQ(controller->argumentValues(greetId), QStringList({QString(), QString()}));
}

TEST_F(ScriptCommandItemsTest, AHotkeyOrALinkWithoutTheRequiredArgumentsAsksForThem) {
    // The fixture's PATH has no dirname: the scripts find their folder from $0.
    scripts.write(QStringLiteral("greet.sh"),
                  commandText(QStringLiteral("Greet Someone"), QStringLiteral("compact"),
                              {R"(argument1 { "type": "text", "placeholder": "Name" })"},
                              QStringLiteral("echo \"hello $1\" >> \"${0%/*}/greeted.txt\"")));
    scripts.write(QStringLiteral("plain.sh"), commandText(QStringLiteral("Plain Words"), QStringLiteral("silent"), {},
                                                          QStringLiteral("echo plain >> \"${0%/*}/plain.txt\"")));
    ASSERT_TRUE(startWithScripts());
    features->setPresenter(&presenter);
    const QString greetId = QStringLiteral("vantrelScript_") + scripts.file(QStringLiteral("greet.sh"));
    const QString plainId = QStringLiteral("vantrelScript_") + scripts.file(QStringLiteral("plain.sh"));
    // The per-item hotkey fires while the window is hidden.
    presenter.visible = false;

    scriptsFeature().runFromHotkey(greetId);
    ASSERT_EQ(presenter.outcomes.size(), 1u);
    EXPECT_EQ(presenter.outcomes[0].kind, CommandOutcome::Kind::showArguments);
    EXPECT_EQ(presenter.outcomes[0].commandId, greetId);
    EXPECT_FALSE(QFile::exists(scripts.file(QStringLiteral("greeted.txt"))));

    // A link names the script through the registry: with its value it runs,
    // without it it asks as well.
    const auto command = registry->command(CommandIdentifier(greetId));
    ASSERT_TRUE(command);
    EXPECT_EQ(command->run({QString(), {}, nullptr}).kind, CommandOutcome::Kind::showArguments);
    presenter.visible = false;
    EXPECT_EQ(command->run({QString(), {QStringLiteral("Bo")}, nullptr}).kind, CommandOutcome::Kind::done);
    ASSERT_TRUE(waitUntil([&] { return scripts.lineCount(QStringLiteral("greeted.txt")) == 1; }, 10000))
        << logs->lines().join(QLatin1Char('\n')).toStdString();
    // Finished in the hidden window: the HUD tells.
    ASSERT_TRUE(waitUntil([&] { return presenter.huds.contains(QStringLiteral("Script finished running")); }, 10000));

    // A script without arguments runs straight from its hotkey.
    scriptsFeature().runFromHotkey(plainId);
    ASSERT_TRUE(waitUntil([&] { return scripts.lineCount(QStringLiteral("plain.txt")) == 1; }, 10000));
    EXPECT_EQ(presenter.outcomes.size(), 1u);
    EXPECT_TRUE(presenter.hiddenToasts.empty());
}

// "Open With" on a script row chooses among the applications that declare
// they open shell scripts, as file search offers them.
TEST_F(ScriptCommandItemsTest, OpenWithOffersTheApplicationsThatOpenTheScript) {
    // The fixture's data folders hide the system's; the MIME database is the desktop's own.
    ASSERT_TRUE(QFile::link(QStringLiteral("/usr/share/mime"), folders.root() + QStringLiteral("/sys2/mime")));
    ApplicationFolders::write(
        folders.homeApplications(), QStringLiteral("scriptpad.desktop"),
        ApplicationFolders::app("Script Pad", "MimeType=application/x-shellscript;text/plain;\n"));
    scripts.write(QStringLiteral("hello.sh"),
                  commandText(QStringLiteral("Say Hello"), QStringLiteral("silent"), {}, QStringLiteral("echo hello")));
    scripts.write(QStringLiteral("bye.sh"),
                  commandText(QStringLiteral("Say Goodbye"), QStringLiteral("silent"), {}, QStringLiteral("echo bye")));
    ASSERT_TRUE(startWithScripts());
    const QString id = QStringLiteral("vantrelScript_") + scripts.file(QStringLiteral("hello.sh"));
    const ListItem* row = rowFor(QStringLiteral("Say Hello"), id);
    ASSERT_TRUE(row);
    // The list may reload meanwhile: the provider is kept, not the row.
    const std::shared_ptr<ActionProvider> provider = row->actionProvider;
    ASSERT_TRUE(provider);
    const auto openWith = [&]() -> std::optional<MenuItem> {
        for (const MenuItem& item : provider->menuItems())
            if (item.id == QLatin1String(ScriptCommandActionProvider::openWithId)) return item;
        return std::nullopt;
    };
    ASSERT_TRUE(openWith());
    EXPECT_EQ(openWith()->title, QStringLiteral("Open With"));
    ASSERT_TRUE(openWith()->submenu()) << "a chooser, not the default application alone";
    // The applications are looked up in the background.
    const auto offered = [&] {
        QStringList titles;
        if (const auto item = openWith(); item && item->submenu())
            for (const MenuItem& choice : *item->submenu()) titles << choice.title;
        return titles;
    };
    EXPECT_TRUE(waitUntil([&] { return offered().contains(QStringLiteral("Script Pad")); }, 10000))
        << offered().join(QStringLiteral(", ")).toStdString();
}

}  // namespace
}  // namespace vantrel::test
