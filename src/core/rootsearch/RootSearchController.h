#pragma once

#include "core/commands/ActionProviders.h"
#include "core/commands/CommandModel.h"
#include "core/rootsearch/ExpressionParser.h"
#include "core/rootsearch/SearchBarHistory.h"
#include "core/rootsearch/SuggestionsProvider.h"
#include "search/Ranking.h"
#include "search/Search.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vantrel {

class LauncherSearch;
class NotificationCenter;
class UserDefaults;

// Where an item stands: a plain result, or the copy of a command in
// "Suggestions" ("-suggestion" id) or "Favorites" ("-favorite" id).
enum class ListItemType { regular, suggestion, favorite };

// A command view that was closed with unsaved input, kept to be shown again.
struct Draft {
    std::shared_ptr<const VantrelCommand> command;
    // What the view keeps of its input; the window reads it back.
    QVariant state;
    QString title;
};

// The calculator's answer for a query.
struct ExpressionListItem {
    QString id;
    QString query;
    ExpressionParser::Output output;
};

// An event of the user's calendar; shown at home while it starts less than
// five minutes from now, before or after.
struct CalendarEvent {
    QString id;
    QString title;
    QDateTime startDate;
    std::optional<QString> location;
    // What Return and the action panel offer (join the meeting…), when set.
    std::shared_ptr<ActionProvider> actions;
};

// One row of the root search list and what it stands for.
struct ListItem {
    enum class Kind {
        command,
        inputCommand,
        fallbackSearch,
        application,
        preferencePane,
        expression,
        draft,
        calendarEvent,
        gettingStarted,
        update,
        troubleshooting,
        other,
    };

    QString id;
    QString title;
    QString subtitle;
    std::optional<QString> accessory;
    // The accessory with its styles (an inline script's coloured output); the
    // row shows these instead of the plain accessory when there are some.
    std::vector<StyledTextRun> styledAccessory;
    // The row's image when its source gives one (a script's emoji, link or
    // themed pair); it wins over iconName and iconPath.
    std::optional<ImageResource> icon;
    std::optional<QString> iconName;
    std::optional<QString> iconPath;
    Kind kind = Kind::other;
    ListItemType type = ListItemType::regular;

    std::optional<SearchItem> searchItem;
    std::shared_ptr<const VantrelCommand> command;
    std::shared_ptr<const FallbackSearchCommand> fallback;
    std::shared_ptr<const InputCommand> inputCommand;
    // The calculator's answer and the calendar event live behind pointers:
    // they are large and only one row or a few ever have them, while the home
    // screen holds thousands of rows.
    std::shared_ptr<const ExpressionListItem> expression;
    std::shared_ptr<const Draft> draft;
    std::shared_ptr<const CalendarEvent> calendarEvent;
    std::optional<QString> alias;
    std::shared_ptr<ActionProvider> actionProvider;

    // The key of the stored search record behind the item, when there is one.
    std::optional<QString> recordKey() const;
};

struct ListSection {
    QString id;
    QString title;
    std::vector<ListItem> items;
};

struct Toast {
    enum class Style { success, failure, animated };
    Style style = Style::success;
    QString title;
    QString message;
};

// What the window shows or does on behalf of root search.
struct RootSearchEvent {
    enum class Kind {
        toast,                  // toast
        searchTextReplaced,     // text: the search bar now holds it (reporting it back is allowed, not needed)
        argumentFieldsChanged,  // the search bar's input command, its fields or their values changed
        sectionsReloaded,       // the sections (and selection) changed
        commandOutcome,         // outcome: a command ran outside of chooseItem
        calculatorHintChanged,  // text: the calculator's answer to show in the search bar; empty hides it
        selectionChanged,       // the controller moved the selection itself
        argumentFocused,        // the keyboard focus goes to the field searchBar().focusedArgumentIndex
    };
    Kind kind = Kind::sectionsReloaded;
    Toast toast;
    QString text;
    std::optional<CommandOutcome> outcome;
};

// What the search bar holds: the text and, while the selected row is an
// input command (a script with arguments, "Encode URL"…), one argument field
// per parameter of that command.
struct SearchBarState {
    QString text;
    std::shared_ptr<const InputCommand> inputCommand;
    std::vector<std::shared_ptr<const CommandParameter>> inputParameters;
    QStringList argumentValues;
    // The argument field with the keyboard focus; nothing: the text field.
    std::optional<int> focusedArgumentIndex;
};

// An installed application or settings panel: "Open Application" records the
// visit with the search text, then starts it from its desktop entry.
class ApplicationActionProvider : public ActionProvider {
public:
    using Launch = std::function<void(const QString& desktopFilePath)>;

    // launch: the desktop's launch when empty.
    ApplicationActionProvider(SearchItem item, QString searchText, Search* search, Launch launch = {});

    std::vector<MenuItem> menuItems() const override;
    QString actionPanelTitle() const override { return m_item.name(); }

    static constexpr QLatin1String openApplicationId{"openApplication"};

private:
    CommandOutcome open() const;

    SearchItem m_item;
    QString m_searchText;
    Search* m_search;
    Launch m_launch;
};

// The calculator's answer: copy it in three forms, put it in the search bar,
// swap the units of a conversion, refresh the exchange rates, open the help.
// Copy actions answer the text to copy in CommandOutcome::resultText.
class ExpressionActionProvider : public ActionProvider {
public:
    struct Section {
        QString id;
        std::vector<MenuItem> items;
    };
    using PutInSearchBar = std::function<void(const QString& text)>;
    using ShowToast = std::function<void(const Toast& toast)>;

    ExpressionActionProvider(ExpressionListItem item, ExpressionParser* parser, PutInSearchBar putInSearchBar = {},
                             ShowToast showToast = {}, const LauncherEnvironment* environment = nullptr,
                             bool showsCommandPalette = false);

    // "primaryAndSecondary", "unitConversionSection" (conversions only), "info".
    std::vector<Section> sections() const;
    std::vector<MenuItem> menuItems() const override;
    QString actionPanelTitle() const override { return QStringLiteral("Calculator"); }
    const ExpressionListItem& item() const { return m_item; }
    bool showsCommandPalette() const { return m_showsCommandPalette; }

    // The query with source and target unit swapped ("5 km to mi" → "5 mi to km").
    static QString swappedQuery(const ExpressionParser::UnitConversion& conversion);

    static constexpr QLatin1String copyAnswerId{"copyAnswer"};
    static constexpr QLatin1String copyUnformattedAnswerId{"copyUnformattedAnswer"};
    static constexpr QLatin1String copyQuestionAndAnswerId{"copyQuestionAndAnswer"};
    static constexpr QLatin1String insertResultId{"insertResult"};
    static constexpr QLatin1String swapValuesId{"swapValues"};
    static constexpr QLatin1String refreshCurrencyDataId{"refreshCurrencyData"};
    static constexpr QLatin1String openCalculatorInfoLinkId{"openCalculatorInfoLink"};
    static constexpr QLatin1String calculatorInfoLink{"https://qalculate.github.io/manual/qalculate-expressions.html"};

private:
    ExpressionListItem m_item;
    ExpressionParser* m_parser;
    PutInSearchBar m_putInSearchBar;
    ShowToast m_showToast;
    const LauncherEnvironment* m_environment;
    bool m_showsCommandPalette;
};

// A kept draft: open it again, or discard it.
class DraftActionProvider : public ActionProvider {
public:
    DraftActionProvider(std::shared_ptr<const Draft> draft, std::function<CommandOutcome()> open,
                        std::function<void()> discard);

    std::vector<MenuItem> menuItems() const override;
    QString actionPanelTitle() const override { return m_draft->title; }

private:
    std::shared_ptr<const Draft> m_draft;
    std::function<CommandOutcome()> m_open;
    std::function<void()> m_discard;
};

// "See troubleshooting": the help page for a desktop whose applications could
// not be indexed.
class TroubleshootingActionProvider : public ActionProvider {
public:
    explicit TroubleshootingActionProvider(const LauncherEnvironment* environment = nullptr)
        : m_environment(environment) {}

    std::vector<MenuItem> menuItems() const override;
    QString actionPanelTitle() const override { return QStringLiteral("Help"); }

    static constexpr QLatin1String troubleshootingLink{"https://vantrel.app/troubleshooting"};

private:
    const LauncherEnvironment* m_environment;
};

// The session behind the launcher's first screen: turns the search text into
// sections of results, recognises aliases and argument input while typing,
// keeps drafts, favourites and the selection, and runs what is chosen. It
// holds no widgets: the window shows sections() and the events it is handed.
//
// Lives on the main thread. Its subscriptions end with it.
class RootSearchController {
public:
    // Section ids and titles.
    static constexpr QLatin1String welcomeSectionId{"welcomeToVantrel"};
    static constexpr QLatin1String draftsSectionId{"drafts"};
    static constexpr QLatin1String updatesSectionId{"updates"};
    static constexpr QLatin1String calendarEventsSectionId{"calendarEvents"};
    static constexpr QLatin1String favoritesSectionId{"favorites"};
    static constexpr QLatin1String suggestionsSectionId{"suggestions"};
    static constexpr QLatin1String troubleshootingSectionId{"troubleshooting"};
    static constexpr QLatin1String commandsSectionId{"commands"};
    static constexpr QLatin1String appsSectionId{"apps"};
    static constexpr QLatin1String newDraftSectionId{"newDraft"};
    static constexpr QLatin1String calculatorSectionId{"calculator"};
    static constexpr QLatin1String resultsSectionId{"appsAndCommands"};
    static constexpr QLatin1String fallbackSectionId{"fallbackSuggestions"};

    static constexpr QLatin1String boostRankingByPreviousSearchesKey{"boostRankingByPreviousSearches"};
    // The state shown on the row of a command that is not built yet.
    static constexpr QLatin1String comingSoonAccessory{"Coming soon"};
    static constexpr QLatin1String troubleshootingItemTitle{
        "We could not index your apps. See our troubleshooting guide?"};

    // Favourite action ids (section "favoritesModifications").
    static constexpr QLatin1String favoritesSectionMenuId{"favoritesModifications"};
    static constexpr QLatin1String addToFavoritesId{"addToFavorites"};
    static constexpr QLatin1String removeFromFavoritesId{"removeFromFavorites"};
    static constexpr QLatin1String moveFavoriteUpId{"moveFavoriteUp"};
    static constexpr QLatin1String moveFavoriteDownId{"moveFavoriteDown"};

    using EventHandler = std::function<void(const RootSearchEvent&)>;
    // Fills in an item for a search result that root search cannot describe
    // itself (script commands, quicklinks, extension commands): its kind,
    // input command, action provider… Returns whether it did.
    using ItemResolver = std::function<bool(const SearchItem& result, const QString& searchText, ListItem& item)>;

    // expressionParser may be null: no calculator section. The search options
    // are read from `defaults` here, once. center: the default centre when null.
    RootSearchController(LauncherSearch& launcherSearch, ExpressionParser* expressionParser,
                         const UserDefaults& defaults, NotificationCenter* center = nullptr);
    ~RootSearchController();
    RootSearchController(const RootSearchController&) = delete;
    RootSearchController& operator=(const RootSearchController&) = delete;

    // MARK: Set-up

    // Adds a provider (links, fallback searches…) to the search engine.
    void addSearchProvider(std::shared_ptr<SearchProvider> provider);
    void addItemResolver(ItemResolver resolver);
    void setEventHandler(EventHandler handler) { m_eventHandler = std::move(handler); }
    // The launcher's hooks handed to the commands that run.
    void setEnvironment(const LauncherEnvironment* environment) {
        m_environment = environment;
        ++m_setupChanges;
    }
    void setIsKeyWindow(std::function<bool()> isKeyWindow) { m_isKeyWindow = std::move(isKeyWindow); }
    // Starts applications (the desktop's launch when not set).
    void setApplicationLauncher(ApplicationActionProvider::Launch launch) {
        m_launch = std::move(launch);
        ++m_setupChanges;
    }

    // Loads the data sources (at most every 5 seconds) and reloads when they
    // are in; reloads on every uprank, alias, hotkey and favourites change,
    // and, keeping the selection, whenever the engine publishes records a
    // source delivered later.
    void configureSearchDataSources();

    // MARK: Typing

    // The search bar's text changed to `text`.
    void searchTextDidChange(const QString& text);
    // Rebuilds the sections for the current text.
    void reload();
    // The sections a text would show, built without showing them: the list,
    // its selection, the search bar and the draft waiting for the next reload
    // stay as they are.
    std::vector<ListSection> sectionsFor(const QString& text);
    // The window is shown again: reloads when that was asked for meanwhile.
    void viewWillAppear();
    void setReloadListOnNextViewWillAppear(bool reload) { m_reloadListOnNextViewWillAppear = reload; }

    const SearchBarState& searchBar() const { return m_searchBar; }
    QString searchText() const { return m_searchBar.text; }
    const QString& previousSearchText() const { return m_previousSearchText; }
    bool ignoreNextSearch() const { return m_ignoreNextSearch; }
    const std::optional<QString>& lastRecognizedAlias() const { return m_lastRecognizedAlias; }

    // The search bar delegate: an argument field got the focus / its text.
    void argumentFieldDidActivate(int index);
    void setArgumentValue(int index, const QString& value);
    // The current argument values, in order.
    QStringList argumentValues() const { return m_searchBar.argumentValues; }
    // The values of the fields while the bar shows the input command of that
    // id; empty otherwise.
    QStringList argumentValues(const QString& inputCommandId) const;
    // Puts text in the search bar as the controller's own rewrite (no search).
    void replaceSearchText(const QString& text);
    // Puts text in the search bar and searches it, as if typed.
    void setSearchText(const QString& text);
    // Empties the argument fields; the selected input command keeps them.
    void clearArguments();
    // Asks for the arguments of a command run without them (its hotkey, a
    // link): searches its title, selects its row, fills the fields with
    // `values` and puts the focus in the first empty required field (the
    // first field when none is empty). False when root search shows no row
    // for it or the row takes no arguments.
    bool showInputCommand(const QString& commandId, const QStringList& values = {});

    // MARK: Sections and selection

    const std::vector<ListSection>& sections() const { return m_sections; }
    // The items of all sections, in order (the selection counts in it).
    std::vector<const ListItem*> allItems() const;
    const ListSection* section(const QString& id) const;

    std::optional<int> selectedIndex() const { return m_selectedIndex; }
    const ListItem* selectedItem() const;
    bool setSelectedIndex(int index);
    bool selectItem(const QString& id);
    void selectNext();
    void selectPrevious();
    bool preserveSelectionOnNextReload() const { return m_preserveSelectionOnNextReload; }
    void setPreserveSelectionOnNextReload(bool preserve) { m_preserveSelectionOnNextReload = preserve; }

    SearchOptions searchOptions() const { return m_searchOptions; }
    bool hasApps() const { return m_hasApps; }
    void setHasApps(bool hasApps);
    const std::optional<QString>& queryWithCalculatorResult() const { return m_queryWithCalculatorResult; }
    // Whether the search bar hints the calculator's answer while typing.
    bool showsCalculator() const { return m_showsCalculator.value_or(false); }
    void setShowsCalculator(bool shows);
    // The hint the search bar shows ("= 6"); empty when there is none.
    const QString& calculatorHint() const { return m_calculatorHint; }

    // MARK: Choosing

    // The item's primary action (Return): for a command the visit with the
    // search text, then the command. The text and arguments go to the history.
    // An input command with an empty required field does not run: the focus
    // goes to that field (argumentFocused) and the outcome is done.
    CommandOutcome chooseItem(const ListItem& item);
    CommandOutcome chooseSelectedItem();
    // The item's actions followed by the favourite actions.
    std::vector<MenuItem> menuItems(const ListItem& item);
    std::vector<MenuItem> favoritesMenuItems(const ListItem& item);

    // MARK: Favourites (toasts, then "rootSearchFavoritesChanged")

    bool addToFavorites(const ListItem& item);
    bool removeFromFavorites(const ListItem& item);
    bool moveFavoriteUp(const ListItem& item);
    bool moveFavoriteDown(const ListItem& item);

    // MARK: Home content

    // A command view closed with unsaved input; a draft of the same command
    // replaces the older one. Shows the toast "Draft created".
    void addDraft(Draft draft);
    const std::vector<std::shared_ptr<const Draft>>& drafts() const { return m_drafts; }
    void setWelcomeItems(std::vector<ListItem> items) { m_welcomeItems = std::move(items); }
    void setUpdateItems(std::vector<ListItem> items) { m_updateItems = std::move(items); }
    void setLastEvents(std::vector<CalendarEvent> events) { m_lastEvents = std::move(events); }

    SuggestionsProvider& suggestionsProvider();
    SearchBarHistory& history() { return m_history; }
    // Up / Down in the search bar: the older / newer history item, put back in
    // the bar with its arguments. Returns whether there was one.
    bool showPreviousHistoryItem();
    bool showNextHistoryItem();

    LauncherSearch& launcherSearch() { return m_launcherSearch; }

private:
    // shown: the sections go to applySections() next.
    std::vector<ListSection> buildSections(const QString& text, bool shown);
    std::vector<ListSection> homeSections(bool shown);
    // The "Commands" and "Apps" rows of the home screen.
    void homeCommandsAndApps(ListSection& commands, ListSection& apps, bool shown);
    std::vector<ListSection> querySections(const QString& text, bool forWindow);
    // "Help": the troubleshooting item, only when no application was indexed.
    ListSection helpSection() const;
    // kept: set to whether the item stays the same for as long as the rows,
    // the registry and its configuration and the controller's set-up do (an
    // application, a command a package lists); an item a resolver described,
    // or one nobody knows, is not.
    std::optional<ListItem> item(const SearchItem& result, const QString& searchText, bool* kept = nullptr);
    ListItem commandItem(std::shared_ptr<const VantrelCommand> command, const std::optional<SearchItem>& result,
                         const QString& searchText);
    ListItem fallbackItem(std::shared_ptr<const FallbackSearchCommand> fallback, const QString& searchText);
    // forWindow: the answer goes to the window, which does not wait for the
    // calculator's engine to load on its first use: the sections are built
    // again once it has.
    std::optional<ListItem> expressionItem(const QString& text, bool forWindow);
    void calculatorLoaded();
    ListItem draftItem(const std::shared_ptr<const Draft>& draft);
    std::vector<ListItem> favoriteItems();
    std::vector<ListItem> suggestionItems();
    void applySections(std::vector<ListSection> sections);
    // The selected row's input command goes to the search bar (its values
    // kept while it is the same command); another row puts the fields away.
    void syncInputCommandWithSelection();
    // Shows the command's fields; returns whether the bar changed (the
    // caller announces it).
    bool setInputCommand(const std::shared_ptr<const InputCommand>& command);
    // Shows the command's fields when needed and focuses its first empty
    // required one; returns whether there was one.
    bool focusMissingArgument(const std::shared_ptr<const InputCommand>& command);
    void emitEvent(RootSearchEvent event) const;
    void showToast(Toast::Style style, const QString& title, const QString& message = {}) const;
    void favoritesChanged();
    bool moveFavorite(const ListItem& item, int offset, const QString& toast);
    CommandOutcome openDraft(const std::shared_ptr<const Draft>& draft);
    void removeDraft(const std::shared_ptr<const Draft>& draft);
    CommandRunContext runContext() const;
    void updateHasApps();
    void refreshCalculatorHint(const QString& text);

    LauncherSearch& m_launcherSearch;
    ExpressionParser* m_expressionParser;
    NotificationCenter& m_center;
    SearchItemFilter m_filter;
    SearchOptions m_searchOptions;
    std::vector<ItemResolver> m_resolvers;
    EventHandler m_eventHandler;
    const LauncherEnvironment* m_environment = nullptr;
    std::function<bool()> m_isKeyWindow;
    ApplicationActionProvider::Launch m_launch;

    std::unique_ptr<SuggestionsProvider> m_suggestionsProvider;
    std::vector<std::shared_ptr<const Draft>> m_drafts;
    std::shared_ptr<const Draft> m_draftToShowOnTopOnNextReload;
    std::vector<CalendarEvent> m_lastEvents;
    std::vector<ListItem> m_welcomeItems;
    std::vector<ListItem> m_updateItems;
    bool m_reloadListOnNextViewWillAppear = false;
    bool m_preserveSelectionOnNextReload = false;
    bool m_hasApps = true;
    QString m_previousSearchText;
    bool m_ignoreNextSearch = false;
    std::optional<QString> m_lastRecognizedAlias;
    std::optional<QString> m_queryWithCalculatorResult;
    std::optional<bool> m_showsCalculator;
    QString m_calculatorHint;

    SearchBarState m_searchBar;
    SearchBarHistory m_history;

    // Counts the changes of what items are made with: resolvers, the
    // launcher's hooks, the application launcher.
    quint64 m_setupChanges = 1;
    // The home screen's "Commands" and "Apps" items as last built, and what
    // they were built from: used again while all of it stays the same.
    struct HomeRows {
        std::shared_ptr<const std::vector<SearchItem>> rows;
        quint64 registryChanges = 0;
        quint64 configurationChanges = 0;
        quint64 setupChanges = 0;
        // The run context the command items carry.
        QString searchText;
        QStringList arguments;
        std::vector<ListItem> commands;
        std::vector<ListItem> apps;
        // Rows described anew on every build, each placed before the kept
        // items at these positions of `commands` and `apps`.
        struct Fresh {
            size_t commandsBefore = 0;
            size_t appsBefore = 0;
            SearchItem result;
        };
        std::vector<Fresh> fresh;
        // While the home screen is shown its sections hold `commands` and
        // `apps` themselves, moved there instead of copied (lent), and give
        // them back when other sections replace them. lending: the sections
        // being built took them.
        bool lent = false;
        bool lending = false;
    };
    std::optional<HomeRows> m_homeRows;

    std::vector<ListSection> m_sections;
    std::optional<int> m_selectedIndex;
    // Owns the subscriptions; completions check it is still alive.
    std::unique_ptr<QObject> m_lifetime;
};

}  // namespace vantrel
