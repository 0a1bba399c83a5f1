// Typing "preferences" finds a way into every page of the preferences window.
#include "support/AppTestSupport.h"

#include "core/commands/PreferencesCommands.h"
#include "core/rootsearch/LauncherSearch.h"
#include "data/SearchRepository.h"

namespace vantrel::test {
namespace {

class PreferencesCommandsTest : public RegistryFixture {};

TEST_F(PreferencesCommandsTest, EveryPageHasACommandThatOpensIt) {
    publishPreferencesCommands(*registry, {QStringLiteral("Script Commands")});
    EXPECT_EQ(commandIds("vantrelPreferences"),
              (QStringList{"vantrelPreferences_general", "vantrelPreferences_extensions",
                           "vantrelPreferences_scriptCommands"}));
    const auto scripts = command("vantrelPreferences_scriptCommands");
    ASSERT_TRUE(scripts);
    EXPECT_EQ(scripts->displayName(), "Script Commands Preferences");
    ASSERT_TRUE(scripts->package());
    EXPECT_EQ(scripts->package()->id().rawValue, "vantrelPreferences");
    const CommandOutcome outcome = scripts->run({});
    EXPECT_EQ(outcome.kind, CommandOutcome::Kind::showPreferences);
    EXPECT_EQ(outcome.commandId, "preferencesPage:Script Commands");
    EXPECT_EQ(command("vantrelPreferences_general")->run({}).commandId, "preferencesPage:General");

    // Publishing again replaces the list (a feature's page went away).
    publishPreferencesCommands(*registry, {});
    EXPECT_EQ(commandIds("vantrelPreferences"),
              (QStringList{"vantrelPreferences_general", "vantrelPreferences_extensions"}));
    EXPECT_FALSE(command("vantrelPreferences_scriptCommands"));
}

TEST_F(PreferencesCommandsTest, SearchingPreferencesOrSettingsFindsThem) {
    publishPreferencesCommands(*registry, {QStringLiteral("Script Commands")});
    LauncherSearch launcher(std::make_shared<SearchRepository>(pool), *registry);
    ASSERT_TRUE(launcher.loadDataSourcesAndWait());
    for (const QString& query :
         {QStringLiteral("preferences"), QStringLiteral("settings"), QStringLiteral("general pre")}) {
        QStringList keys;
        for (const SearchItem& item : launcher.items(query))
            if (item.record()) keys << item.record()->key;
        EXPECT_TRUE(keys.contains(QStringLiteral("vantrelPreferences_general"))) << query.toStdString();
    }
    QStringList keys;
    for (const SearchItem& item : launcher.items(QStringLiteral("script commands pref")))
        if (item.record()) keys << item.record()->key;
    EXPECT_TRUE(keys.contains(QStringLiteral("vantrelPreferences_scriptCommands"))) << keys.join(u' ').toStdString();
}

}  // namespace
}  // namespace vantrel::test
