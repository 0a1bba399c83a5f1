#include "support/AppTestSupport.h"

#include "core/commands/BuiltinPackages.h"
#include "kit/NotificationNames.h"

#include <QJsonArray>

#include <unordered_set>

namespace vantrel::test {
namespace {

using Category = QuickActionIdentifier::Category;

class PackageRegistryTest : public RegistryFixture {};

// In table order.
const QStringList kReleasePackages =
    QStringLiteral(
        "default fileSearch clipboardHistory vantrelPreferences jira asana url linear github gSuite "
        "systemCommands calendar webSearches scriptCommands reminders zoom media windowManagement "
        "dictionary contacts browserBookmarks floatingNotes packageCommands quicklinks snippets")
        .split(QLatin1Char(' '));

// MARK: Packages

TEST_F(PackageRegistryTest, ReleaseBuildListsTwentyFivePackagesInTableOrderWithoutDebug) {
    EXPECT_EQ(packageIds(), kReleasePackages);
    EXPECT_EQ(registry->package(PackageIdentifier("debug")), nullptr);
    EXPECT_EQ(registry->command(CommandIdentifier("debug_uiPlayground")), nullptr);
}

TEST_F(PackageRegistryTest, DevelopmentFlagAppendsTheDebugPackageWithItsFourCommands) {
    const auto development = makeRegistry(true);
    ASSERT_EQ(development->packages().size(), 26u);
    const auto debug = development->packages().back();
    EXPECT_EQ(debug->id().rawValue, "debug");
    EXPECT_EQ(debug->displayName(), "Vantrel Debug");
    EXPECT_EQ(debug->iconTintColorName(), "brand");
    EXPECT_EQ(debug->analyticsCategory(), Category::misc);
    EXPECT_FALSE(debug->isHiddenInPreferences());
    QStringList ids;
    for (const auto& command : debug->commands()) ids << command->id().rawValue;
    EXPECT_EQ(ids, QStringList({"debug_uiPlayground", "applicationSupportDirectory", "formBuilderPlayground",
                                "markdownPreview"}));
    EXPECT_EQ(debug->commands()[0]->visibility(), VantrelCommandVisibility::debug);
    EXPECT_EQ(debug->commands()[1]->visibility(), VantrelCommandVisibility::debug);
    EXPECT_EQ(debug->commands()[2]->visibility(), VantrelCommandVisibility::public_);
}

TEST_F(PackageRegistryTest, SharedInstanceTakesTheFlagFromTheEnvironment) {
    {
        ScopedEnv env("VANTREL_DEVELOPMENT", QByteArray("1"));
        EXPECT_TRUE(PackageRegistry::developmentFlagFromEnvironment());
    }
    {
        ScopedEnv env("VANTREL_DEVELOPMENT", QByteArray("true"));
        EXPECT_FALSE(PackageRegistry::developmentFlagFromEnvironment());
    }
    ScopedEnv env("VANTREL_DEVELOPMENT", std::nullopt);
    EXPECT_FALSE(PackageRegistry::developmentFlagFromEnvironment());
}

TEST_F(PackageRegistryTest, PackagesCarryTheirTableData) {
    const auto jira = registry->package(PackageIdentifier("jira"));
    ASSERT_TRUE(jira);
    EXPECT_EQ(jira->displayName(), "Jira");
    EXPECT_EQ(jira->description(), "Create, access and modify issues and sprints.");
    EXPECT_FALSE(jira->isEnabledByDefault());
    EXPECT_FALSE(jira->isHiddenInPreferences());
    EXPECT_EQ(jira->analyticsCategory(), Category::thirdParty);
    EXPECT_TRUE(jira->hasPackagePreferencesAuthorizer());
    EXPECT_FALSE(jira->isExternal());
    EXPECT_EQ(jira->iconTintColorName(), std::nullopt);
    EXPECT_EQ(jira->configurationId(), "builtin_package_jira");

    const auto url = registry->package(PackageIdentifier("url"));
    EXPECT_EQ(url->displayName(), "URL");
    EXPECT_TRUE(url->isHiddenInPreferences());
    EXPECT_FALSE(url->hasPackagePreferencesAuthorizer());

    EXPECT_EQ(registry->package(PackageIdentifier("scriptCommands"))->analyticsCategory(), Category::devTools);
    EXPECT_EQ(registry->package(PackageIdentifier("vantrelPreferences"))->analyticsCategory(), Category::basic);
    EXPECT_EQ(registry->package(PackageIdentifier("github"))->iconTintColorName(), "primaryText");
    EXPECT_EQ(registry->package(PackageIdentifier("fileSearch"))->icon()->small.value, "command-file-search-16");

    const auto commandsPackage = registry->package(PackageIdentifier("packageCommands"));
    EXPECT_TRUE(commandsPackage->displayName().isEmpty());
    EXPECT_TRUE(commandsPackage->commands().empty());
    EXPECT_TRUE(commandsPackage->fallbackSearchCommands().empty());

    QStringList authorized, tinted;
    for (const auto& package : registry->packages()) {
        if (package->hasPackagePreferencesAuthorizer()) authorized << package->id().rawValue;
        if (package->iconTintColorName() == QStringLiteral("brand")) tinted << package->id().rawValue;
    }
    EXPECT_EQ(authorized, QStringList({"jira", "asana", "linear", "github", "gSuite", "zoom"}));
    EXPECT_EQ(tinted, QStringList({"default", "fileSearch", "clipboardHistory", "vantrelPreferences"}));
}

TEST_F(PackageRegistryTest, IdentifiersAreComparedExactly) {
    EXPECT_TRUE(registry->package(PackageIdentifier("fileSearch")));
    EXPECT_EQ(registry->package(PackageIdentifier("FileSearch")), nullptr);
    EXPECT_NE(CommandIdentifier("fileSearch"), CommandIdentifier("FileSearch"));
    QSet<CommandIdentifier> set{CommandIdentifier("a"), CommandIdentifier("a"), CommandIdentifier("A")};
    EXPECT_EQ(set.size(), 2);
    std::unordered_set<PackageIdentifier> packages{PackageIdentifier("x"), PackageIdentifier("x")};
    EXPECT_EQ(packages.size(), 1u);
}

// MARK: Commands

TEST_F(PackageRegistryTest, CommandsComeInPackageOrderWithTheirTitlesAndFlags) {
    EXPECT_EQ(commandIds("url"), QStringList({"urlEncode", "urlDecode", "openInBrowser"}));
    EXPECT_EQ(commandIds("reminders"), QStringList({"reminders_myReminders", "reminders_createReminder"}));
    EXPECT_EQ(commandIds("default").size(), 16);
    EXPECT_EQ(commandIds("systemCommands").size(), 26);
    EXPECT_EQ(commandIds("jira").size(), 9);
    EXPECT_EQ(commandIds("github").size(), 11);

    const CommandList all = registry->commands();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.front()->id().rawValue, "extensionsStore");
    EXPECT_EQ(all.back()->id().rawValue, "searchSnippets");

    EXPECT_EQ(command("setVolume25")->displayName(), "Set Volume to 25%");
    EXPECT_EQ(command("setVolume100")->displayName(), "Set Volume to 100%");
    EXPECT_EQ(command("logOutSystem")->displayName(), "Log Out");
    EXPECT_EQ(command("reloadScriptCommands")->displayName(), "Reload Script Directories");
    EXPECT_EQ(command("quitVantrel")->displayName(), "Quit Vantrel");
    EXPECT_EQ(command("calendar_schedule")->displayName(), "My Schedule");

    EXPECT_EQ(command("asana_apiPlayground")->visibility(), VantrelCommandVisibility::internal);
    EXPECT_FALSE(command("toggleBluetooth")->isViewControllerRepresented());
    EXPECT_FALSE(command("jira_logout")->isViewControllerRepresented());
    EXPECT_TRUE(command("jira_createIssue")->isViewControllerRepresented());

    QStringList urlCommands;
    for (const auto& each : all)
        if (each->isURLCommand()) urlCommands << each->id().rawValue;
    EXPECT_EQ(urlCommands, QStringList({"urlEncode", "urlDecode", "openInBrowser"}));

    const auto clipboard = command("clipboardHistory");
    EXPECT_EQ(clipboard->primaryActionTitle(), "Open Command");
    EXPECT_EQ(clipboard->viewKindImage(), ImageResource::named("main-list-view-16"));
    EXPECT_EQ(clipboard->icon()->small, ImageResource::named("command-clipboard-history-16"));
    EXPECT_EQ(clipboard->searchIdentifier(), "clipboardHistory");
    EXPECT_EQ(clipboard->secondarySearchIdentifier(), std::nullopt);
    EXPECT_EQ(clipboard->package()->id().rawValue, "clipboardHistory");
}

TEST_F(PackageRegistryTest, CreateQuicklinkWithURLBelongsToDefaultButIsNotInItsList) {
    const auto withURL = command("createQuicklinkWithURL");
    ASSERT_TRUE(withURL);
    EXPECT_EQ(withURL->packageId().rawValue, "default");
    EXPECT_EQ(withURL->displayName(), "Create Quicklink");
    EXPECT_TRUE(withURL->isURLCommand());
    EXPECT_FALSE(commandIds("default").contains("createQuicklinkWithURL"));
    for (const auto& each : registry->commands()) EXPECT_NE(each->id().rawValue, "createQuicklinkWithURL");
}

TEST_F(PackageRegistryTest, DefaultCommandIsTheFirstCommandAndNothingForAnEmptyList) {
    EXPECT_EQ(registry->package(PackageIdentifier("default"))->defaultCommand()->id().rawValue, "extensionsStore");
    EXPECT_EQ(registry->package(PackageIdentifier("url"))->defaultCommand()->id().rawValue, "urlEncode");
    EXPECT_EQ(registry->package(PackageIdentifier("quicklinks"))->defaultCommand(), nullptr);
    EXPECT_EQ(registry->package(PackageIdentifier("packageCommands"))->defaultCommand(), nullptr);
}

TEST_F(PackageRegistryTest, MissingLookupsAreLoggedOnlyWhenAsked) {
    logs->clear();
    EXPECT_EQ(registry->package(PackageIdentifier("nope")), nullptr);
    EXPECT_EQ(registry->command(CommandIdentifier("nope")), nullptr);
    EXPECT_TRUE(logs->messages().isEmpty());

    EXPECT_EQ(registry->package(PackageIdentifier("nope"), true), nullptr);
    EXPECT_EQ(registry->command(CommandIdentifier("gone"), true), nullptr);
    EXPECT_TRUE(logs->contains("Package not found: nope"));
    EXPECT_TRUE(logs->contains("Command not found: gone"));
    const QString lines = logs->lines().join('\n');
    EXPECT_TRUE(lines.contains("package(id:reportIfMissing:)"));
    EXPECT_TRUE(lines.contains("command(id:reportIfMissing:)"));
}

// MARK: Fallback searches

TEST_F(PackageRegistryTest, FallbackSearchCommandsWithIdsNamesAndOrders) {
    QStringList ids;
    for (const auto& fallback : registry->fallbackSearchCommands()) ids << fallback->id();
    EXPECT_EQ(ids, QStringList({"fileSearch_fallbackSearch", "jira_searchIssues_fallbackSearch",
                                "linear-searchIssues_fallbackSearch", "github-searchRepositories_fallbackSearch",
                                "github-searchIssues", "github-searchPullRequests", "gSuite_searchFiles_fallbackSearch",
                                "dictionary_defineWord_fallbackSearch", "contacts_search_fallbackSearch"}));

    const auto files = registry->fallbackSearchCommand("fileSearch_fallbackSearch");
    ASSERT_TRUE(files);
    EXPECT_EQ(files->displayName(), "File Search");
    EXPECT_EQ(files->fallbackSearchOrder(), 200);
    EXPECT_EQ(files->searchType(), FallbackSearchType::command);
    EXPECT_EQ(files->commandId(), CommandIdentifier("fileSearch"));
    EXPECT_EQ(files->iconTintColorName(), "brand");
    EXPECT_FALSE(files->isExternal());

    EXPECT_EQ(registry->fallbackSearchCommand("contacts_search_fallbackSearch")->fallbackSearchOrder(), 101);
    EXPECT_EQ(registry->fallbackSearchCommand("dictionary_defineWord_fallbackSearch")->fallbackSearchOrder(), 101);
    const auto drive = registry->fallbackSearchCommand("gSuite_searchFiles_fallbackSearch");
    EXPECT_EQ(drive->displayName(), "Google Drive");
    EXPECT_EQ(drive->fallbackSearchOrder(), 1);
    EXPECT_EQ(registry->fallbackSearchCommand("github-searchIssues")->commandId(),
              CommandIdentifier("github-searchIssues"));
    EXPECT_EQ(registry->fallbackSearchCommand("github-searchIssues")->iconTintColorName(), "primaryText");
    EXPECT_EQ(registry->fallbackSearchCommand("nope"), nullptr);
}

TEST_F(PackageRegistryTest, FallbackOpensItsCommandWithTheQuery) {
    const auto contacts = registry->fallbackSearchCommand("contacts_search_fallbackSearch");
    // The fallback opens "Search Contacts" with what was typed.
    const CommandOutcome outcome = contacts->run("serendipity", {});
    EXPECT_EQ(outcome.kind, CommandOutcome::Kind::showView);
    EXPECT_EQ(outcome.commandId, QStringLiteral("contacts_search"));
    EXPECT_EQ(outcome.initialQuery, QStringLiteral("serendipity"));
}

// MARK: Packages with their own command data

TEST_F(PackageRegistryTest, PackagesWithOwnDataStartEmptyAndReceiveTheirCommands) {
    for (const QString& id : packagesWithOwnCommandData()) EXPECT_TRUE(commandIds(id).isEmpty()) << id.toStdString();

    int changes = 0;
    QObject observer;
    center.addObserver(QString(NotificationNames::packageCommandsDidChange), &observer,
                       [&](const Notification&) { ++changes; });
    auto layout = std::make_shared<VantrelPackageCommand>();
    layout->commandId = CommandIdentifier("windowManagement_leftHalf");
    layout->commandPackageId = PackageIdentifier("windowManagement");
    layout->name = "Left Half";
    layout->viewControllerRepresented = false;
    EXPECT_TRUE(registry->setPackageCommands(PackageIdentifier("windowManagement"), {layout}));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(commandIds("windowManagement"), QStringList({"windowManagement_leftHalf"}));
    EXPECT_EQ(registry->command(CommandIdentifier("windowManagement_leftHalf")), layout);
    EXPECT_EQ(registry->package(PackageIdentifier("windowManagement"))->defaultCommand(), layout);

    EXPECT_TRUE(registry->setPackageCommands(PackageIdentifier("windowManagement"), {}));
    EXPECT_EQ(registry->command(CommandIdentifier("windowManagement_leftHalf")), nullptr);
    EXPECT_FALSE(registry->setPackageCommands(PackageIdentifier("nope"), {layout}));
    EXPECT_FALSE(registry->setPackageCommands(PackageIdentifier("quicklinks"), {layout}));
    EXPECT_TRUE(commandIds("quicklinks").isEmpty());
    EXPECT_EQ(packageIds(), kReleasePackages);
}

// MARK: Configuration

TEST_F(PackageRegistryTest, WithoutRowsExactlyThePackagesOffByDefaultAreDisabled) {
    QStringList disabled;
    for (const auto& package : registry->packages())
        if (!registry->isPackageEnabled(package->id())) disabled << package->id().rawValue;
    EXPECT_EQ(disabled, QStringList({"jira", "asana", "linear", "github", "gSuite", "zoom", "media", "windowManagement",
                                     "contacts", "browserBookmarks", "packageCommands"}));
    EXPECT_EQ(count(*pool, "vantrelPackageConfiguration"), 0);

    const VantrelPackageConfiguration madeUp = registry->configuration(PackageIdentifier("snippets"));
    EXPECT_EQ(madeUp.id, "builtin_package_snippets");
    EXPECT_TRUE(madeUp.isEnabled);
    EXPECT_TRUE(madeUp.jsonPayload.isEmpty());
    EXPECT_FALSE(registry->configuration(PackageIdentifier("notRegistered")).isEnabled);
    EXPECT_FALSE(registry->isEnabled(*command("jira_createIssue")));
    EXPECT_TRUE(registry->isEnabled(*command("urlEncode")));
}

TEST_F(PackageRegistryTest, StoredRowsDecideOverTheDefaults) {
    writeRow("jira", true, "{}");
    writeRow("snippets", false, "{}");
    EXPECT_TRUE(registry->isPackageEnabled(PackageIdentifier("jira")));
    EXPECT_FALSE(registry->isPackageEnabled(PackageIdentifier("snippets")));
    EXPECT_FALSE(registry->isEnabled(*command("createSnippet")));
}

TEST_F(PackageRegistryTest, DisabledCommandSwitchesOffOnlyThatCommand) {
    writeRow("jira", true, R"({"disabledCommands":["jira_createIssue"]})");
    const auto reread = makeRegistry(false);
    EXPECT_FALSE(reread->isEnabled(*reread->command(CommandIdentifier("jira_createIssue"))));
    EXPECT_TRUE(reread->isEnabled(*reread->command(CommandIdentifier("jira_searchIssues"))));
    EXPECT_TRUE(reread->isEnabled(*reread->command(CommandIdentifier("jira_myFilters"))));
    EXPECT_TRUE(reread->isCommandDisabled(CommandIdentifier("jira_createIssue")));
    EXPECT_EQ(reread->packageDisabledCommands().value(PackageIdentifier("jira")),
              QSet<CommandIdentifier>({CommandIdentifier("jira_createIssue")}));
    // The fallback of a disabled command goes with it; the others stay.
    writeRow("jira", true, R"({"disabledCommands":["jira_searchIssues"]})");
    const auto again = makeRegistry(false);
    EXPECT_FALSE(again->isEnabled(*again->fallbackSearchCommand("jira_searchIssues_fallbackSearch")));
    EXPECT_TRUE(again->isEnabled(*again->fallbackSearchCommand("fileSearch_fallbackSearch")));
}

TEST_F(PackageRegistryTest, ChangingAConfigurationWritesTheRowAndAnnouncesIt) {
    QStringList heard;
    QObject observer;
    center.addObserver(QString(NotificationNames::packageConfigurationDidChange), &observer,
                       [&](const Notification& n) { heard << n.name + ":" + n.object.toString(); });
    center.addObserver(QString(NotificationNames::packageCommandsDidChange), &observer,
                       [&](const Notification& n) { heard << n.name; });

    ASSERT_TRUE(registry->setPackageConfiguration(PackageIdentifier("jira"), [](QVariantMap& payload, bool& enabled) {
        enabled = true;
        payload.insert("disabledCommands", QStringList{"jira_createIssue"});
    }));

    // Both are heard (delivery is synchronous, so the commands change, posted
    // by the registry while it handles the first, arrives inside it).
    EXPECT_EQ(heard.size(), 2);
    EXPECT_TRUE(heard.contains("vantrel_PackageConfigurationDidChange:jira"));
    EXPECT_TRUE(heard.contains("vantrel_PackageCommandsDidChange"));
    EXPECT_TRUE(logs->contains("Package Configuration Changed for Package: jira"));
    const auto row = configurations->read("builtin_package_jira");
    ASSERT_TRUE(row);
    EXPECT_TRUE(row->isEnabled);
    EXPECT_EQ(row->jsonPayload.value("disabledCommands").toArray(), QJsonArray({"jira_createIssue"}));
    // The registry read its own change back.
    EXPECT_FALSE(registry->isEnabled(*command("jira_createIssue")));
    EXPECT_TRUE(registry->isEnabled(*command("jira_activeSprints")));

    // Switching the command on again empties the cache for the package.
    registry->setPackageConfiguration(PackageIdentifier("jira"),
                                      [](QVariantMap& payload, bool&) { payload.remove("disabledCommands"); });
    EXPECT_TRUE(registry->isEnabled(*command("jira_createIssue")));
    EXPECT_FALSE(registry->packageDisabledCommands().contains(PackageIdentifier("jira")));
}

TEST_F(PackageRegistryTest, AChangePostedByAnotherWriterIsReadBack) {
    writeRow("snippets", true, R"({"disabledCommands":["createSnippet"]})");
    EXPECT_TRUE(registry->isEnabled(*command("createSnippet")));  // not announced yet
    int reloads = 0;
    QObject observer;
    center.addObserver(QString(NotificationNames::packageCommandsDidChange), &observer,
                       [&](const Notification&) { ++reloads; });
    center.post(QString(NotificationNames::packageConfigurationDidChange), QStringLiteral("snippets"));
    EXPECT_EQ(reloads, 1);
    EXPECT_FALSE(registry->isEnabled(*command("createSnippet")));
    EXPECT_TRUE(registry->isEnabled(*command("searchSnippets")));
}

TEST_F(PackageRegistryTest, APayloadThatCannotBeEncodedLeavesTheRowUnchanged) {
    writeRow("snippets", true, R"({"snippetsDirectPaste":true})");
    int posts = 0;
    QObject observer;
    center.addObserver(QString(NotificationNames::packageConfigurationDidChange), &observer,
                       [&](const Notification&) { ++posts; });
    EXPECT_FALSE(registry->setPackageConfiguration(PackageIdentifier("snippets"), [](QVariantMap& payload, bool&) {
        payload.insert("snippetsDirectPaste", false);
        payload.insert("window", QVariant::fromValue(QUrl("https://example.com")));
    }));
    EXPECT_TRUE(logs->contains("Cannot encode configuration payload"));
    EXPECT_EQ(posts, 0);
    EXPECT_EQ(registry->boolValue(PackageIdentifier("snippets"), "snippetsDirectPaste"), true);
}

// MARK: Payload values

TEST_F(PackageRegistryTest, TypedPayloadValuesReadTheirTypeAndReportOthers) {
    writeRow("scriptCommands", true,
             R"({"scriptCommandsDirectories":["/home/me/scripts","/opt/scripts"],"snippetsDirectPaste":"yes",)"
             R"("count":3,"ratio":0.5,"name":"x","mixed":["a",1]})");
    const PackageIdentifier id("scriptCommands");
    EXPECT_EQ(registry->stringListValue(id, "scriptCommandsDirectories"),
              QStringList({"/home/me/scripts", "/opt/scripts"}));
    EXPECT_EQ(registry->integerValue(id, "count"), 3);
    EXPECT_EQ(registry->doubleValue(id, "ratio"), 0.5);
    EXPECT_EQ(registry->stringValue(id, "name"), "x");
    EXPECT_EQ(registry->boolValue(id, "absent"), std::nullopt);
    EXPECT_TRUE(logs->messages().filter("Cannot transform").isEmpty());

    EXPECT_EQ(registry->boolValue(id, "snippetsDirectPaste"), std::nullopt);
    EXPECT_TRUE(
        logs->contains("Cannot transform pakage configuration value at 'snippetsDirectPaste' to targeted "
                       "type 'Bool'"));
    EXPECT_EQ(registry->integerValue(id, "ratio"), std::nullopt);
    EXPECT_TRUE(logs->contains("Cannot transform pakage configuration value at 'ratio' to targeted type 'Int'"));
    EXPECT_EQ(registry->stringListValue(id, "mixed"), std::nullopt);
    EXPECT_TRUE(logs->contains("Cannot transform pakage configuration value at 'mixed' to targeted type '[String]'"));
    EXPECT_EQ(registry->stringValue(id, "count"), std::nullopt);
    EXPECT_TRUE(logs->contains("Cannot transform pakage configuration value at 'count' to targeted type 'String'"));
}

TEST_F(PackageRegistryTest, UndecodablePayloadIsLoggedAndKeepsTheDefaults) {
    writeRow("jira", true, "{not json");
    writeRow("snippets", true, R"(["createSnippet"])");
    writeRow("url", true, R"({"disabledCommands":"urlEncode"})");
    logs->clear();
    const auto reread = makeRegistry(false);
    EXPECT_TRUE(logs->contains("Cannot decode configuration payload"));
    EXPECT_TRUE(logs->contains("Cannot transform package configuration payload to a dictionary"));
    EXPECT_TRUE(
        logs->contains("Cannot transform pakage configuration value at 'disabledCommands' to targeted type "
                       "'[String]'"));
    // The rows' own switch still counts; nothing is disabled inside the packages.
    EXPECT_TRUE(reread->isPackageEnabled(PackageIdentifier("jira")));
    EXPECT_TRUE(reread->isEnabled(*reread->command(CommandIdentifier("jira_createIssue"))));
    EXPECT_TRUE(reread->isEnabled(*reread->command(CommandIdentifier("createSnippet"))));
    EXPECT_TRUE(reread->isEnabled(*reread->command(CommandIdentifier("urlEncode"))));
    EXPECT_TRUE(reread->packageDisabledCommands().isEmpty());
    EXPECT_EQ(reread->boolValue(PackageIdentifier("jira"), "anything"), std::nullopt);
}

TEST_F(PackageRegistryTest, EditingStartsFromTheStoredPayload) {
    writeRow("clipboardHistory", true, R"({"clipboardHistoryDirectPaste":true,"disabledCommands":[]})");
    registry->setPackageConfiguration(PackageIdentifier("clipboardHistory"), [](QVariantMap& payload, bool&) {
        EXPECT_EQ(payload.value("clipboardHistoryDirectPaste"), QVariant(true));
        payload.insert("extra", 2);
    });
    const auto row = configurations->read("builtin_package_clipboardHistory");
    ASSERT_TRUE(row);
    EXPECT_EQ(row->jsonPayload.value("clipboardHistoryDirectPaste"), QJsonValue(true));
    EXPECT_EQ(row->jsonPayload.value("extra"), QJsonValue(2));
    EXPECT_TRUE(registry->setPackageEnabled(PackageIdentifier("clipboardHistory"), false));
    EXPECT_FALSE(registry->isPackageEnabled(PackageIdentifier("clipboardHistory")));
    EXPECT_EQ(registry->integerValue(PackageIdentifier("clipboardHistory"), "extra"), 2);
}

}  // namespace
}  // namespace vantrel::test

namespace vantrel::test {
namespace {

// The descriptions a user reads in preferences speak of this desktop.
TEST_F(PackageRegistryTest, DescriptionsSpeakOfThisDesktop) {
    const auto development = makeRegistry(true);
    for (const auto& package : development->packages()) {
        for (const char* word : {"Mac", "Safari", "Finder", "macOS"})
            EXPECT_FALSE(package->description().contains(QString::fromLatin1(word)))
                << package->id().rawValue.toStdString() << ": " << package->description().toStdString();
    }
    EXPECT_EQ(development->package(PackageIdentifier("fileSearch"))->description(),
              "Search for files and folders on your computer.");
}

}  // namespace
}  // namespace vantrel::test
