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
            &NotificationCenter::defaultCenter());
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
    scripts.write(QStringLiteral("greet.sh"),
                  commandText(QStringLiteral("Greet Someone"), QStringLiteral("compact"),
                              {"packageName Greetings", R"(argument1 { "type": "text", "placeholder": "Name" })"},
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
    ASSERT_TRUE(greet->inputCommand);
    ASSERT_EQ(greet->inputCommand->parameters().size(), 1u);
    EXPECT_EQ(greet->inputCommand->parameters()[0]->placeholder(), QStringLiteral("Name"));
    ASSERT_TRUE(greet->actionProvider);
    EXPECT_EQ(greet->actionProvider->primaryAction()->id, QStringLiteral("scriptCommandRun"));

    // Chosen without its argument: nothing runs.
    const ListItem chosen = *greet;
    const CommandOutcome missing = controller->chooseItem(chosen);
    EXPECT_EQ(missing.title, QStringLiteral("Value is missing in argument"));
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
}

}  // namespace
}  // namespace vantrel::test
