#include "support/RootSearchTestSupport.h"

#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"

#include <QDateTime>
#include <QFile>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

class RootSearchControllerTest : public RootSearchFixture {};

// MARK: Sections

TEST_F(RootSearchControllerTest, EmptyQueryShowsTheHomeSectionsInOrderWithoutEmptyOnes) {
    writeApplications({QStringLiteral("Firefox"), QStringLiteral("Terminal")});
    ASSERT_TRUE(start());

    controller->setWelcomeItems({ListItem{.id = QStringLiteral("gettingStarted-hotkey"),
                                          .title = QStringLiteral("Set your hotkey"),
                                          .kind = ListItem::Kind::gettingStarted}});
    controller->setUpdateItems({ListItem{.id = QStringLiteral("update-available"),
                                         .title = QStringLiteral("Update available"),
                                         .kind = ListItem::Kind::update}});
    const QDateTime now = QDateTime::currentDateTime();
    controller->setLastEvents({{QStringLiteral("standup"), QStringLiteral("Standup"), now.addSecs(120), std::nullopt},
                               {QStringLiteral("lunch"), QStringLiteral("Lunch"), now.addSecs(600), std::nullopt},
                               {QStringLiteral("review"), QStringLiteral("Review"), now.addSecs(-200), std::nullopt}});
    controller->addDraft({registry->command(CommandIdentifier("createQuicklink")), {}, QStringLiteral("Docs link")});
    type(QStringLiteral("clipboard history"));
    ASSERT_TRUE(findItem(QStringLiteral("clipboardHistory")));
    ASSERT_TRUE(controller->addToFavorites(*findItem(QStringLiteral("clipboardHistory"))));

    type(QString());

    EXPECT_EQ(sectionIds(), QStringList({"welcomeToVantrel", "drafts", "updates", "calendarEvents", "favorites",
                                         "suggestions", "commands", "apps"}));
    QStringList titles;
    for (const ListSection& section : controller->sections()) {
        titles << section.title;
        EXPECT_FALSE(section.items.empty()) << section.id.toStdString();
    }
    EXPECT_EQ(titles, QStringList({"Welcome", "Drafts", "Updates", "Calendar Events", "Favorites", "Suggestions",
                                   "Commands", "Apps"}));
    // Only events less than five minutes away, before or after.
    EXPECT_EQ(itemIds(QStringLiteral("calendarEvents")), QStringList({"standup", "review"}));
    EXPECT_EQ(itemIds(QStringLiteral("favorites")), QStringList({"clipboardHistory-favorite"}));
    QStringList apps;
    for (const ListItem& item : controller->section(QStringLiteral("apps"))->items) apps << item.title;
    apps.sort();
    EXPECT_EQ(apps, QStringList({"Firefox", "Terminal"}));
    EXPECT_TRUE(itemIds(QStringLiteral("commands")).contains(QStringLiteral("fileSearch")));
    EXPECT_FALSE(controller->section(QStringLiteral("troubleshooting")));
    // The first item is selected.
    ASSERT_TRUE(controller->selectedItem());
    EXPECT_EQ(controller->selectedItem()->id, QStringLiteral("gettingStarted-hotkey"));
}

TEST_F(RootSearchControllerTest, QueryWithoutMatchesShowsOnlyTheFallbackSectionTitledWithTheQuery) {
    writeApplications({QStringLiteral("Firefox")});
    ASSERT_TRUE(start());

    type(QStringLiteral("zzqxjv"));

    ASSERT_EQ(sectionIds(), QStringList({"fallbackSuggestions"}));
    const ListSection& fallbacks = controller->sections().front();
    EXPECT_EQ(fallbacks.title, QStringLiteral("Search for \"zzqxjv\" in"));
    const QStringList ids = itemIds(QStringLiteral("fallbackSuggestions"));
    ASSERT_FALSE(ids.isEmpty());
    // File search has the highest fallback order; only enabled fallbacks appear.
    EXPECT_EQ(ids.front(), QStringLiteral("fileSearch_fallbackSearch"));
    EXPECT_TRUE(ids.contains(QStringLiteral("dictionary_defineWord_fallbackSearch")));
    EXPECT_FALSE(ids.contains(QStringLiteral("jira_searchIssues_fallbackSearch")));

    // Choosing one opens its command's view with the query.
    const CommandOutcome outcome = controller->chooseItem(fallbacks.items.front());
    EXPECT_EQ(outcome.kind, CommandOutcome::Kind::showView);
    EXPECT_EQ(outcome.commandId, QStringLiteral("fileSearch"));
    EXPECT_EQ(outcome.initialQuery, QStringLiteral("zzqxjv"));
}

TEST_F(RootSearchControllerTest, QueryResultsComeBeforeTheFallbacksAndLinksOfferTheURLCommands) {
    writeApplications({QStringLiteral("Firefox")});
    ASSERT_TRUE(start());

    type(QStringLiteral("file search"));
    EXPECT_EQ(sectionIds(), QStringList({"appsAndCommands", "fallbackSuggestions"}));
    EXPECT_EQ(controller->section(QStringLiteral("appsAndCommands"))->title, QStringLiteral("Results"));
    EXPECT_EQ(itemIds(QStringLiteral("appsAndCommands")).value(0), QStringLiteral("fileSearch"));

    type(QStringLiteral("read https://example.org/a b"));
    const QStringList results = itemIds(QStringLiteral("appsAndCommands"));
    for (const char* id : {"openInBrowser", "urlDecode", "urlEncode", "createQuicklinkWithURL"})
        EXPECT_TRUE(results.contains(QString::fromLatin1(id))) << id;
    EXPECT_EQ(results.count(QStringLiteral("openInBrowser")), 1);
}

TEST_F(RootSearchControllerTest, MissingApplicationsShowTheHelpSection) {
    ASSERT_TRUE(start());
    EXPECT_FALSE(controller->hasApps());

    type(QString());
    ASSERT_TRUE(controller->section(QStringLiteral("troubleshooting")));
    EXPECT_EQ(controller->section(QStringLiteral("troubleshooting"))->title, QStringLiteral("Help"));
    ASSERT_EQ(controller->section(QStringLiteral("troubleshooting"))->items.size(), 1u);
    const ListItem& help = controller->section(QStringLiteral("troubleshooting"))->items.front();
    EXPECT_EQ(help.title, QStringLiteral("We could not index your apps. See our troubleshooting guide?"));
    ASSERT_TRUE(help.actionProvider);
    EXPECT_EQ(help.actionProvider->primaryAction()->title, QStringLiteral("See troubleshooting"));
    // It sits between the suggestions and the commands.
    const QStringList ids = sectionIds();
    EXPECT_LT(ids.indexOf(QStringLiteral("suggestions")), ids.indexOf(QStringLiteral("troubleshooting")));
    EXPECT_LT(ids.indexOf(QStringLiteral("troubleshooting")), ids.indexOf(QStringLiteral("commands")));

    type(QStringLiteral("zzqxjv"));
    EXPECT_EQ(sectionIds(), QStringList({"fallbackSuggestions", "troubleshooting"}));
}

TEST_F(RootSearchControllerTest, DisabledCommandIsNeverInTheResultsEvenOnAnExactTitle) {
    ASSERT_TRUE(start());
    type(QStringLiteral("Clipboard History"));
    ASSERT_TRUE(itemIds(QStringLiteral("appsAndCommands")).contains(QStringLiteral("clipboardHistory")));

    ASSERT_TRUE(
        registry->setPackageConfiguration(PackageIdentifier("clipboardHistory"), [](QVariantMap& payload, bool&) {
            payload.insert(QStringLiteral("disabledCommands"), QStringList{QStringLiteral("clipboardHistory")});
        }));
    // The list on screen drops it by itself once the commands source has
    // delivered its records again; nobody reloads by hand.
    EXPECT_TRUE(waitUntil(
        [&] { return !itemIds(QStringLiteral("appsAndCommands")).contains(QStringLiteral("clipboardHistory")); },
        10000));
    type(QStringLiteral("Clipboard Histor"));
    type(QStringLiteral("Clipboard History"));
    EXPECT_FALSE(itemIds(QStringLiteral("appsAndCommands")).contains(QStringLiteral("clipboardHistory")));
    // …and at home.
    type(QString());
    EXPECT_FALSE(itemIds(QStringLiteral("commands")).contains(QStringLiteral("clipboardHistory")));
    EXPECT_FALSE(itemIds(QStringLiteral("suggestions")).contains(QStringLiteral("clipboardHistory-suggestion")));
}

// MARK: Aliases and arguments

class RootSearchAliasTest : public RootSearchFixture {
protected:
    void addGhostScript() {
        SearchRecord record = commandRecord(QStringLiteral("script-ghost"), QStringLiteral("Ghost Script"),
                                            SearchRecord::Source::scripts);
        record.type = SearchRecord::ContentType::scriptCommand;
        repository->update(SearchRecord::Source::scripts, {record}, SearchUpdateStrategy::source());
        repository->setAlias(QStringLiteral("gh"), record.key);
        launcher->search().indexAll();
        controller->addItemResolver([command = ghost](const SearchItem& result, const QString&, ListItem& item) {
            if (result.identifier() != command->id()) return false;
            item.kind = ListItem::Kind::inputCommand;
            item.inputCommand = command;
            return true;
        });
    }

    std::shared_ptr<TestInputCommand> ghost = std::make_shared<TestInputCommand>(
        QStringLiteral("script-ghost"), QStringLiteral("Ghost Script"), QStringList{"Repository", "Branch"});
};

TEST_F(RootSearchAliasTest, AliasAndSpaceOnAnInputCommandOpensItsArgumentFieldsOnce) {
    ASSERT_TRUE(start());
    addGhostScript();

    type(QStringLiteral("g"));
    type(QStringLiteral("gh"));
    ASSERT_TRUE(controller->selectItem(QStringLiteral("script-ghost")));
    EXPECT_EQ(controller->selectedItem()->alias, QStringLiteral("gh"));
    events.clear();

    type(QStringLiteral("gh "));

    const SearchBarState& bar = controller->searchBar();
    EXPECT_EQ(bar.text, QStringLiteral("gh"));
    ASSERT_TRUE(bar.inputCommand);
    EXPECT_EQ(bar.inputCommand->id(), QStringLiteral("script-ghost"));
    ASSERT_EQ(bar.inputParameters.size(), 2u);
    EXPECT_EQ(bar.inputParameters[0]->placeholder(), QStringLiteral("Repository"));
    EXPECT_TRUE(bar.inputParameters[1]->isOptional());
    EXPECT_EQ(bar.argumentValues, QStringList({QString(), QString()}));
    EXPECT_EQ(bar.focusedArgumentIndex, 0);
    EXPECT_EQ(controller->lastRecognizedAlias(), QStringLiteral("gh"));
    EXPECT_FALSE(controller->ignoreNextSearch());
    EXPECT_EQ(controller->previousSearchText(), QStringLiteral("gh"));
    EXPECT_EQ(eventCount(RootSearchEvent::Kind::argumentFieldsChanged), 1);
    ASSERT_EQ(eventCount(RootSearchEvent::Kind::searchTextReplaced), 1);
    EXPECT_EQ(controller->selectedItem()->id, QStringLiteral("script-ghost"));

    // The values typed in the fields go with the command.
    controller->argumentFieldDidActivate(1);
    controller->setArgumentValue(0, QStringLiteral("vantrel"));
    EXPECT_EQ(controller->argumentValues(), QStringList({"vantrel", QString()}));
    EXPECT_EQ(controller->searchBar().focusedArgumentIndex, 1);

    // A second space does nothing more.
    events.clear();
    type(QStringLiteral("gh "));
    EXPECT_EQ(eventCount(RootSearchEvent::Kind::argumentFieldsChanged), 0);
    EXPECT_EQ(eventCount(RootSearchEvent::Kind::searchTextReplaced), 0);
    ASSERT_TRUE(controller->searchBar().inputCommand);
    EXPECT_EQ(controller->argumentValues(), QStringList({"vantrel", QString()}));

    // Typing something else puts the argument fields away.
    type(QStringLiteral("terminal"));
    EXPECT_FALSE(controller->searchBar().inputCommand);
}

TEST_F(RootSearchAliasTest, AWindowReportingTheRewrittenTextBackDoesNotSearchAgain) {
    ASSERT_TRUE(start());
    addGhostScript();
    // A search bar whose text field reports every change, its own rewrites too.
    controller->setEventHandler([this](const RootSearchEvent& event) {
        events.push_back(event);
        if (event.kind == RootSearchEvent::Kind::searchTextReplaced) controller->searchTextDidChange(event.text);
    });
    type(QStringLiteral("gh"));
    ASSERT_TRUE(controller->selectItem(QStringLiteral("script-ghost")));
    events.clear();

    type(QStringLiteral("gh "));

    EXPECT_EQ(controller->searchText(), QStringLiteral("gh"));
    EXPECT_TRUE(controller->searchBar().inputCommand);
    EXPECT_FALSE(controller->ignoreNextSearch());
    EXPECT_EQ(eventCount(RootSearchEvent::Kind::sectionsReloaded), 0);
    EXPECT_EQ(eventCount(RootSearchEvent::Kind::searchTextReplaced), 1);
}

TEST_F(RootSearchAliasTest, AliasAndSpaceOnAViewCommandRunsItAndAnUnknownAliasJustSearches) {
    ASSERT_TRUE(start());
    repository->setAlias(QStringLiteral("csc"), QStringLiteral("createScriptCommand"));

    type(QStringLiteral("csc"));
    ASSERT_TRUE(controller->selectItem(QStringLiteral("createScriptCommand")));
    events.clear();
    type(QStringLiteral("csc "));
    ASSERT_EQ(eventCount(RootSearchEvent::Kind::commandOutcome), 1);
    for (const RootSearchEvent& event : events)
        if (event.kind == RootSearchEvent::Kind::commandOutcome) {
            EXPECT_EQ(event.outcome->kind, CommandOutcome::Kind::showView);
            EXPECT_EQ(event.outcome->commandId, QStringLiteral("createScriptCommand"));
        }
    EXPECT_EQ(controller->searchText(), QStringLiteral("csc"));
    EXPECT_FALSE(controller->searchBar().inputCommand);

    // Without an alias the space is searched like any text.
    events.clear();
    type(QStringLiteral("file"));
    type(QStringLiteral("file "));
    EXPECT_EQ(eventCount(RootSearchEvent::Kind::commandOutcome), 0);
    EXPECT_EQ(controller->previousSearchText(), QStringLiteral("file "));
    EXPECT_EQ(controller->searchText(), QStringLiteral("file "));
}

// MARK: Argument fields of the selected row

TEST_F(RootSearchAliasTest, TheSelectedInputCommandShowsItsFieldsAndAnotherRowPutsThemAway) {
    ASSERT_TRUE(start());
    addGhostScript();
    type(QStringLiteral("ghost"));
    ASSERT_TRUE(controller->selectItem(QStringLiteral("script-ghost")));
    const SearchBarState& bar = controller->searchBar();
    ASSERT_TRUE(bar.inputCommand);
    EXPECT_EQ(bar.inputCommand->id(), QStringLiteral("script-ghost"));
    EXPECT_EQ(bar.argumentValues, QStringList({QString(), QString()}));
    // Selected, not asked for: the focus stays in the text.
    EXPECT_FALSE(bar.focusedArgumentIndex);

    controller->setArgumentValue(0, QStringLiteral("vantrel"));
    // Selecting it again, or a reload while the focus is in a field, keeps what was typed.
    ASSERT_TRUE(controller->selectItem(QStringLiteral("script-ghost")));
    controller->argumentFieldDidActivate(0);
    controller->reload();
    ASSERT_EQ(controller->selectedItem()->id, QStringLiteral("script-ghost"));
    EXPECT_EQ(controller->argumentValues(QStringLiteral("script-ghost")), QStringList({"vantrel", QString()}));
    EXPECT_TRUE(controller->argumentValues(QStringLiteral("urlEncode")).isEmpty());

    // Emptied, the fields stay with their row.
    controller->clearArguments();
    EXPECT_EQ(controller->argumentValues(), QStringList({QString(), QString()}));
    EXPECT_TRUE(controller->searchBar().inputCommand);

    events.clear();
    const int others = static_cast<int>(controller->allItems().size());
    ASSERT_GE(others, 2);
    const int ghostIndex = *controller->selectedIndex();
    ASSERT_TRUE(controller->setSelectedIndex(ghostIndex == 0 ? 1 : 0));
    EXPECT_FALSE(controller->searchBar().inputCommand);
    EXPECT_TRUE(controller->argumentValues().isEmpty());
    EXPECT_EQ(eventCount(RootSearchEvent::Kind::argumentFieldsChanged), 1);
}

TEST_F(RootSearchControllerTest, EncodeURLTakesItsTextInAFieldThatTheLinkInTheQueryFillsIn) {
    ASSERT_TRUE(start());
    type(QStringLiteral("encode url"));
    ASSERT_TRUE(controller->selectItem(QStringLiteral("urlEncode")));
    const ListItem* row = controller->selectedItem();
    EXPECT_EQ(row->kind, ListItem::Kind::inputCommand);
    const SearchBarState& bar = controller->searchBar();
    ASSERT_TRUE(bar.inputCommand);
    ASSERT_EQ(bar.inputParameters.size(), 1u);
    EXPECT_EQ(bar.inputParameters[0]->placeholder(), QStringLiteral("Text"));
    // Found by its name, it has nothing to work on but its field.
    EXPECT_FALSE(bar.inputParameters[0]->isOptional());

    events.clear();
    const CommandOutcome asked = controller->chooseSelectedItem();
    EXPECT_EQ(asked.kind, CommandOutcome::Kind::done);
    EXPECT_FALSE(asked.resultText);
    EXPECT_EQ(eventCount(RootSearchEvent::Kind::argumentFocused), 1);
    EXPECT_EQ(bar.focusedArgumentIndex, 0);

    controller->setArgumentValue(0, QStringLiteral("a b&c"));
    const CommandOutcome encoded = controller->chooseSelectedItem();
    ASSERT_TRUE(encoded.resultText);
    EXPECT_EQ(*encoded.resultText, QStringLiteral("a%20b%26c"));
    EXPECT_EQ(encoded.toastTitle, QStringLiteral("Copied to clipboard"));

    // Offered for a link, the field may stay empty: the query is the text.
    controller->argumentFieldDidActivate(-1);
    type(QStringLiteral("https://example.org/a b"));
    ASSERT_TRUE(controller->selectItem(QStringLiteral("urlEncode")));
    ASSERT_EQ(controller->searchBar().inputParameters.size(), 1u);
    EXPECT_TRUE(controller->searchBar().inputParameters[0]->isOptional());
    EXPECT_EQ(controller->argumentValues(), QStringList{QString()});
    const CommandOutcome fromQuery = controller->chooseSelectedItem();
    ASSERT_TRUE(fromQuery.resultText);
    EXPECT_EQ(*fromQuery.resultText, QStringLiteral("https%3A%2F%2Fexample.org%2Fa%20b"));
    // What is typed in the field wins. (The run's visit reloaded the list: the row is chosen again.)
    ASSERT_TRUE(controller->selectItem(QStringLiteral("urlEncode")));
    controller->setArgumentValue(0, QStringLiteral("a b"));
    const CommandOutcome fromField = controller->chooseSelectedItem();
    ASSERT_TRUE(fromField.resultText);
    EXPECT_EQ(*fromField.resultText, QStringLiteral("a%20b"));
    ASSERT_TRUE(controller->selectItem(QStringLiteral("urlDecode")));
    EXPECT_EQ(controller->argumentValues(), QStringList{QString()});
    controller->setArgumentValue(0, QStringLiteral("x%2Fy"));
    const CommandOutcome decoded = controller->chooseSelectedItem();
    ASSERT_TRUE(decoded.resultText);
    EXPECT_EQ(*decoded.resultText, QStringLiteral("x/y"));
}

TEST_F(RootSearchControllerTest, ACommandRunWithoutItsArgumentsIsShownWithItsFieldAsked) {
    ASSERT_TRUE(start());
    type(QStringLiteral("calc"));
    controller->setReloadListOnNextViewWillAppear(true);
    events.clear();

    ASSERT_TRUE(controller->showInputCommand(QStringLiteral("urlDecode")));
    EXPECT_EQ(controller->searchText(), QStringLiteral("Decode URL"));
    ASSERT_TRUE(controller->selectedItem());
    EXPECT_EQ(controller->selectedItem()->id, QStringLiteral("urlDecode"));
    ASSERT_TRUE(controller->searchBar().inputCommand);
    EXPECT_EQ(controller->searchBar().focusedArgumentIndex, 0);
    EXPECT_EQ(eventCount(RootSearchEvent::Kind::selectionChanged), 1);
    EXPECT_EQ(eventCount(RootSearchEvent::Kind::searchTextReplaced), 1);
    // Showing the window now does not undo it.
    controller->viewWillAppear();
    EXPECT_EQ(controller->selectedItem()->id, QStringLiteral("urlDecode"));

    // Known values fill the fields.
    ASSERT_TRUE(controller->showInputCommand(QStringLiteral("urlEncode"), {QStringLiteral("a b")}));
    EXPECT_EQ(controller->argumentValues(QStringLiteral("urlEncode")), QStringList{QStringLiteral("a b")});

    // A command without fields, or none at all, cannot be asked for.
    EXPECT_FALSE(controller->showInputCommand(QStringLiteral("emptyTrash")));
    EXPECT_FALSE(controller->showInputCommand(QStringLiteral("noSuchCommand")));
}

// MARK: Selection, choosing, history

TEST_F(RootSearchControllerTest, ChoosingACommandRecordsTheVisitWithTheSearchTextAndRemembersIt) {
    ASSERT_TRUE(start());
    type(QStringLiteral("create script"));
    ASSERT_EQ(controller->selectedIndex(), 0);
    ASSERT_EQ(controller->selectedItem()->id, QStringLiteral("createScriptCommand"));
    EXPECT_EQ(controller->selectedItem()->actionProvider->primaryAction()->title, QStringLiteral("Open Command"));

    const CommandOutcome outcome = controller->chooseSelectedItem();
    EXPECT_EQ(outcome.kind, CommandOutcome::Kind::showView);
    EXPECT_EQ(outcome.commandId, QStringLiteral("createScriptCommand"));
    const auto record = repository->record(QStringLiteral("createScriptCommand"));
    ASSERT_TRUE(record);
    EXPECT_TRUE(record->frecencyDate.has_value());
    EXPECT_EQ(record->searchTerms, QStringLiteral("create script"));

    // The visited command is now the first suggestion.
    type(QString());
    EXPECT_EQ(itemIds(QStringLiteral("suggestions")).value(0), QStringLiteral("createScriptCommand-suggestion"));

    // The search text went to the history: Up brings it back.
    EXPECT_TRUE(controller->showPreviousHistoryItem());
    EXPECT_EQ(controller->searchText(), QStringLiteral("create script"));
    EXPECT_EQ(itemIds(QStringLiteral("appsAndCommands")).value(0), QStringLiteral("createScriptCommand"));
    EXPECT_FALSE(controller->showNextHistoryItem());
}

TEST_F(RootSearchControllerTest, SelectionMovesWithinTheListAndIsKeptWhenAsked) {
    ASSERT_TRUE(start());
    type(QStringLiteral("toggle"));
    const auto items = controller->allItems();
    ASSERT_GE(items.size(), 3u);
    controller->selectPrevious();
    EXPECT_EQ(controller->selectedIndex(), 0);
    controller->selectNext();
    controller->selectNext();
    EXPECT_EQ(controller->selectedIndex(), 2);
    const QString selectedId = controller->selectedItem()->id;

    controller->reload();
    EXPECT_EQ(controller->selectedIndex(), 0);

    ASSERT_TRUE(controller->selectItem(selectedId));
    controller->setPreserveSelectionOnNextReload(true);
    controller->reload();
    EXPECT_EQ(controller->selectedItem()->id, selectedId);
    EXPECT_FALSE(controller->preserveSelectionOnNextReload());
    EXPECT_FALSE(controller->setSelectedIndex(static_cast<int>(controller->allItems().size())));

    // Shown again: the list is rebuilt only when that was asked for.
    controller->selectNext();
    const auto before = controller->selectedIndex();
    ASSERT_NE(before, 0);
    controller->viewWillAppear();
    EXPECT_EQ(controller->selectedIndex(), before);
    controller->setReloadListOnNextViewWillAppear(true);
    controller->viewWillAppear();
    EXPECT_EQ(controller->selectedIndex(), 0);
}

TEST_F(RootSearchControllerTest, ChoosingAnApplicationRecordsTheVisitAndStartsItFromItsDesktopEntry) {
    const QString marker = folders.root() + QStringLiteral("/launched");
    ApplicationFolders::write(
        folders.homeApplications(), QStringLiteral("marker.desktop"),
        "[Desktop Entry]\nType=Application\nName=Marker Viewer\nExec=/usr/bin/touch " + marker.toUtf8() + "\n");
    ASSERT_TRUE(start());
    EXPECT_TRUE(controller->hasApps());
    type(QStringLiteral("marker"));
    ASSERT_TRUE(controller->selectedItem());
    const ListItem app = *controller->selectedItem();
    EXPECT_EQ(app.kind, ListItem::Kind::application);
    EXPECT_EQ(app.title, QStringLiteral("Marker Viewer"));
    EXPECT_EQ(app.actionProvider->primaryAction()->title, QStringLiteral("Open Application"));

    const CommandOutcome outcome = controller->chooseSelectedItem();

    EXPECT_EQ(outcome.kind, CommandOutcome::Kind::done) << outcome.message.toStdString();
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(marker); }, 10000));
    EXPECT_EQ(repository->record(*app.recordKey())->searchTerms, QStringLiteral("marker"));
}

// MARK: Favourites

TEST_F(RootSearchControllerTest, FavoritesAreAddedMovedAndRemovedWithToastsAndNotifications) {
    ASSERT_TRUE(start());
    int notices = 0;
    QObject observer;
    center.addObserver(QString(NotificationNames::rootSearchFavoritesChanged), &observer,
                       [&notices](const Notification&) { ++notices; });

    type(QStringLiteral("file search"));
    const ListItem fileSearch = *findItem(QStringLiteral("fileSearch"));
    QStringList menu;
    for (const MenuItem& item : controller->menuItems(fileSearch)) menu << item.id;
    EXPECT_EQ(menu, QStringList({"openCommand", "configureCommand", "addToFavorites"}));
    ASSERT_TRUE(controller->addToFavorites(fileSearch));
    type(QStringLiteral("create snippet"));
    ASSERT_TRUE(controller->addToFavorites(*findItem(QStringLiteral("createSnippet"))));
    EXPECT_EQ(notices, 2);

    type(QString());
    EXPECT_EQ(itemIds(QStringLiteral("favorites")), QStringList({"fileSearch-favorite", "createSnippet-favorite"}));
    const ListItem first = controller->section(QStringLiteral("favorites"))->items.front();
    EXPECT_EQ(first.type, ListItemType::favorite);
    menu.clear();
    for (const MenuItem& item : controller->favoritesMenuItems(first)) menu << item.id;
    EXPECT_EQ(menu, QStringList({"removeFromFavorites", "moveFavoriteDown"}));

    // Run from the action panel, as the window does.
    for (const MenuItem& item : controller->favoritesMenuItems(first))
        if (item.id == QLatin1String("moveFavoriteDown")) item.perform();
    EXPECT_EQ(itemIds(QStringLiteral("favorites")), QStringList({"createSnippet-favorite", "fileSearch-favorite"}));
    ASSERT_TRUE(controller->moveFavoriteUp(controller->section(QStringLiteral("favorites"))->items.back()));
    EXPECT_EQ(itemIds(QStringLiteral("favorites")), QStringList({"fileSearch-favorite", "createSnippet-favorite"}));
    EXPECT_FALSE(controller->moveFavoriteUp(controller->section(QStringLiteral("favorites"))->items.front()));

    ASSERT_TRUE(controller->removeFromFavorites(controller->section(QStringLiteral("favorites"))->items.front()));
    EXPECT_EQ(itemIds(QStringLiteral("favorites")), QStringList({"createSnippet-favorite"}));
    EXPECT_EQ(notices, 5);
    EXPECT_EQ(toasts(), QStringList({"Added to favorites", "Added to favorites", "Moved down in favorites",
                                     "Moved up in favorites", "Removed from favorites"}));
}

TEST_F(RootSearchControllerTest, AnItemWithoutARecordCannotBecomeAFavorite) {
    ASSERT_TRUE(start());
    type(QStringLiteral("zzqxjv"));
    const ListItem fallback = controller->sections().front().items.front();
    events.clear();

    EXPECT_FALSE(controller->addToFavorites(fallback));

    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events.front().toast.style, Toast::Style::failure);
    EXPECT_EQ(events.front().toast.title, QStringLiteral("Unable to add favorite"));
    EXPECT_EQ(events.front().toast.message, QStringLiteral("No item found to add to favorites"));
    EXPECT_TRUE(repository->favorites().empty());
}

// MARK: Drafts

TEST_F(RootSearchControllerTest, ADraftComesFirstOnceReplacesItsOlderDraftAndReopensWithItsInput) {
    ASSERT_TRUE(start());
    const auto quicklink = registry->command(CommandIdentifier("createQuicklink"));
    type(QStringLiteral("snippet"));
    controller->addDraft({quicklink, QStringLiteral("first"), QStringLiteral("Docs")});
    // The list behind the closed view shows it at once, on top.
    ASSERT_EQ(sectionIds().value(0), QStringLiteral("newDraft"));
    EXPECT_EQ(controller->sections().front().title, QStringLiteral("New Draft"));
    controller->addDraft({quicklink, QStringLiteral("second"), QStringLiteral("Docs, edited")});
    EXPECT_EQ(toasts(), QStringList({"Draft created", "Draft created"}));
    ASSERT_EQ(controller->drafts().size(), 1u);
    EXPECT_EQ(controller->drafts().front()->state, QStringLiteral("second"));
    type(QStringLiteral("snippets"));
    EXPECT_FALSE(controller->section(QStringLiteral("newDraft")));

    type(QString());
    ASSERT_EQ(controller->section(QStringLiteral("drafts"))->items.size(), 1u);
    const ListItem draft = controller->section(QStringLiteral("drafts"))->items.front();
    EXPECT_EQ(draft.title, QStringLiteral("Docs, edited"));
    const CommandOutcome outcome = controller->chooseItem(draft);
    EXPECT_EQ(outcome.kind, CommandOutcome::Kind::showView);
    EXPECT_EQ(outcome.commandId, QStringLiteral("createQuicklink"));
    EXPECT_EQ(outcome.draftState, QStringLiteral("second"));
    EXPECT_TRUE(controller->drafts().empty());
    EXPECT_FALSE(controller->section(QStringLiteral("drafts")));
}

// MARK: Set-up

TEST_F(RootSearchControllerTest, SearchOptionsFollowTheBoostSettingReadOnce) {
    defaults->setValue(QStringLiteral("boostRankingByPreviousSearches"), true);
    ASSERT_TRUE(start());
    EXPECT_TRUE(controller->searchOptions().contains(SearchOptions::rankBySearchTerms));
    defaults->setValue(QStringLiteral("boostRankingByPreviousSearches"), false);
    EXPECT_TRUE(controller->searchOptions().contains(SearchOptions::rankBySearchTerms));

    RootSearchController other(*launcher, nullptr, *defaults);
    EXPECT_EQ(other.searchOptions().rawValue, 0);
}

TEST_F(RootSearchControllerTest, DataSourcesAreRegisteredCommandsFirstAndTheControllerEndsItsSubscriptions) {
    ASSERT_TRUE(start());
    std::vector<SearchRecord::Source> sources;
    for (const auto& source : launcher->dataSources()) sources.push_back(source->source());
    EXPECT_EQ(sources,
              (std::vector<SearchRecord::Source>{SearchRecord::Source::package, SearchRecord::Source::extensionCommands,
                                                 SearchRecord::Source::system, SearchRecord::Source::scripts,
                                                 SearchRecord::Source::quicklinks, SearchRecord::Source::provider,
                                                 SearchRecord::Source::snippets}));
    const qsizetype before = center.observerCount(QString(NotificationNames::rootSearchFavoritesChanged));
    controller.reset();
    EXPECT_EQ(center.observerCount(QString(NotificationNames::rootSearchFavoritesChanged)), before - 1);
    // An uprank after the controller is gone reaches nobody.
    NotificationCenter::defaultCenter().post(QString(NotificationNames::didUprankItem), QStringLiteral("fileSearch"));
}

}  // namespace
}  // namespace vantrel::test
