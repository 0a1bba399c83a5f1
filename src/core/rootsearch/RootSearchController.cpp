#include "core/rootsearch/RootSearchController.h"

#include "core/rootsearch/LauncherSearch.h"
#include "kit/Logger.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "kit/Queue.h"
#include "kit/UserDefaults.h"
#include "kit/VantrelError.h"
#include "platform/DesktopServices.h"

#include <QPointer>
#include <QSet>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Root Search"), QStringLiteral("🔎")});
    return logger;
}

MenuItem menuItem(QString id, QString title, MenuItem::Run run,
                  MenuItem::ActionType type = MenuItem::ActionType::regular) {
    return MenuItem::make(std::move(id), std::move(title), std::move(run), type);
}

CommandOutcome openLink(const QUrl& url, const LauncherEnvironment* environment) {
    try {
        if (environment && environment->openUrl)
            environment->openUrl(url);
        else
            openOnDesktop(url);
        return CommandOutcome::done();
    } catch (const std::exception& error) {
        return CommandOutcome::failed(QStringLiteral("Unable to open link"), VantrelError::describe(error));
    }
}

bool isApplication(SearchRecord::ContentType type) {
    return type == SearchRecord::ContentType::systemApp || type == SearchRecord::ContentType::prefPane;
}

// A provider's result that stands for a fallback search, found by its id.
bool isFallback(const SearchItem& result, const PackageRegistry& registry) {
    if (result.result().type() == SearchRecord::ContentType::fallbackSearch) return true;
    return !result.record() && registry.fallbackSearchCommand(result.identifier());
}

QString suffixed(const QString& id, ListItemType type) {
    switch (type) {
        case ListItemType::suggestion:
            return id + QStringLiteral("-suggestion");
        case ListItemType::favorite:
            return id + QStringLiteral("-favorite");
        case ListItemType::regular:
            break;
    }
    return id;
}

}  // namespace

std::optional<QString> ListItem::recordKey() const {
    if (searchItem && searchItem->record()) return searchItem->record()->key;
    return std::nullopt;
}

// MARK: Applications

ApplicationActionProvider::ApplicationActionProvider(SearchItem item, QString searchText, Search* search, Launch launch)
    : m_item(std::move(item)), m_searchText(std::move(searchText)), m_search(search), m_launch(std::move(launch)) {}

CommandOutcome ApplicationActionProvider::open() const {
    const SearchRecord* record = m_item.record();
    const QString path = record && record->path ? *record->path : m_item.identifier();
    if (m_search) {
        try {
            m_search->visit(m_item, Ranking::VisitKind::defaultVisit, m_searchText);
        } catch (const std::exception& error) {
            log().error("Cannot record visit", {{QStringLiteral("key"), m_item.identifier()},
                                                {QStringLiteral("error"), VantrelError::describe(error)}});
        }
    }
    try {
        if (m_launch)
            m_launch(path);
        else
            launchOnDesktop(path);
        return CommandOutcome::done();
    } catch (const std::exception& error) {
        return CommandOutcome::failed(QStringLiteral("Unable to open ") + m_item.name(), VantrelError::describe(error));
    }
}

std::vector<MenuItem> ApplicationActionProvider::menuItems() const {
    return {menuItem(openApplicationId, QStringLiteral("Open Application"), [this] { return open(); })};
}

// MARK: Calculator

ExpressionActionProvider::ExpressionActionProvider(ExpressionListItem item, ExpressionParser* parser,
                                                   PutInSearchBar putInSearchBar, ShowToast showToast,
                                                   const LauncherEnvironment* environment, bool showsCommandPalette)
    : m_item(std::move(item)),
      m_parser(parser),
      m_putInSearchBar(std::move(putInSearchBar)),
      m_showToast(std::move(showToast)),
      m_environment(environment),
      m_showsCommandPalette(showsCommandPalette) {}

QString ExpressionActionProvider::swappedQuery(const ExpressionParser::UnitConversion& conversion) {
    return conversion.quantity + QLatin1Char(' ') + conversion.toUnit + QStringLiteral(" to ") + conversion.fromUnit;
}

std::vector<ExpressionActionProvider::Section> ExpressionActionProvider::sections() const {
    const QString answer = m_item.output.result;
    const QString unformatted = m_item.output.unformattedResult.isEmpty() ? answer : m_item.output.unformattedResult;
    const QString questionAndAnswer = ExpressionParser::questionAndAnswer(m_item.query, m_item.output);
    auto put = m_putInSearchBar;

    std::vector<Section> out;
    out.push_back(
        {QStringLiteral("primaryAndSecondary"),
         {
             menuItem(copyAnswerId, QStringLiteral("Copy Answer"),
                      [answer] { return CommandOutcome::done(QStringLiteral("Copied to clipboard"), answer); }),
             menuItem(copyUnformattedAnswerId, QStringLiteral("Copy Unformatted Answer"),
                      [unformatted] { return CommandOutcome::done({}, unformatted); }),
             menuItem(copyQuestionAndAnswerId, QStringLiteral("Copy Question and Answer"),
                      [questionAndAnswer] { return CommandOutcome::done({}, questionAndAnswer); }),
             menuItem(insertResultId, QStringLiteral("Put Answer in Search Bar"),
                      [put, unformatted] {
                          if (put) put(unformatted);
                          return CommandOutcome::done();
                      }),
         }});

    if (const auto* conversion = std::get_if<ExpressionParser::UnitConversion>(&m_item.output.calculationType)) {
        Section section{QStringLiteral("unitConversionSection"), {}};
        const QString swapped = swappedQuery(*conversion);
        section.items.push_back(menuItem(swapValuesId, QStringLiteral("Swap Units"), [put, swapped] {
            // Putting the swapped query in the bar evaluates it again.
            if (put) put(swapped);
            return CommandOutcome::done();
        }));
        if (conversion->unitType == ExpressionParser::Unit::currency) {
            ExpressionParser* parser = m_parser;
            auto toast = m_showToast;
            section.items.push_back(
                menuItem(refreshCurrencyDataId, QStringLiteral("Refresh Currency Data"), [parser, toast] {
                    if (!parser) return CommandOutcome::unavailable(QStringLiteral("The calculator is not available."));
                    if (toast) toast({Toast::Style::animated, QStringLiteral("Refreshing..."), {}});
                    parser->refreshCurrencies([toast](std::optional<ExpressionParser::ExpressionParserError> error) {
                        if (!toast) return;
                        if (error)
                            toast({Toast::Style::failure, QStringLiteral("Refresh Failed"),
                                   QStringLiteral("Please try again later")});
                        else
                            toast({Toast::Style::success, QStringLiteral("Refreshed!"), {}});
                    });
                    return CommandOutcome::done();
                }));
        }
        out.push_back(std::move(section));
    }

    const LauncherEnvironment* environment = m_environment;
    out.push_back({QStringLiteral("info"),
                   {menuItem(openCalculatorInfoLinkId, QStringLiteral("Open Calculator Help"),
                             [environment] { return openLink(QUrl(QString(calculatorInfoLink)), environment); })}});
    return out;
}

std::vector<MenuItem> ExpressionActionProvider::menuItems() const {
    std::vector<MenuItem> items;
    for (Section& section : sections())
        for (MenuItem& item : section.items) items.push_back(std::move(item));
    return items;
}

// MARK: Drafts and help

DraftActionProvider::DraftActionProvider(std::shared_ptr<const Draft> draft, std::function<CommandOutcome()> open,
                                         std::function<void()> discard)
    : m_draft(std::move(draft)), m_open(std::move(open)), m_discard(std::move(discard)) {}

std::vector<MenuItem> DraftActionProvider::menuItems() const {
    auto open = m_open;
    auto discard = m_discard;
    return {
        menuItem(QStringLiteral("openDraft"), QStringLiteral("Open Draft"),
                 [open] { return open ? open() : CommandOutcome::done(); }),
        menuItem(
            QStringLiteral("discardDraft"), QStringLiteral("Discard Draft"),
            [discard] {
                if (discard) discard();
                return CommandOutcome::done();
            },
            MenuItem::ActionType::destructive),
    };
}

std::vector<MenuItem> TroubleshootingActionProvider::menuItems() const {
    const LauncherEnvironment* environment = m_environment;
    return {menuItem(QStringLiteral("seeTroubleshooting"), QStringLiteral("See troubleshooting"),
                     [environment] { return openLink(QUrl(QString(troubleshootingLink)), environment); })};
}

// MARK: Controller

RootSearchController::RootSearchController(LauncherSearch& launcherSearch, ExpressionParser* expressionParser,
                                           const UserDefaults& defaults, NotificationCenter* center)
    : m_launcherSearch(launcherSearch),
      m_expressionParser(expressionParser),
      m_center(center ? *center : NotificationCenter::defaultCenter()),
      m_filter(launcherSearch.registry().searchResultFilter()),
      m_history(QStringLiteral("rootSearch")),
      m_lifetime(std::make_unique<QObject>()) {
    if (defaults.value(QString(boostRankingByPreviousSearchesKey)).toBool())
        m_searchOptions.rawValue |= SearchOptions::rankBySearchTerms;
}

RootSearchController::~RootSearchController() = default;

void RootSearchController::addSearchProvider(std::shared_ptr<SearchProvider> provider) {
    if (provider) m_launcherSearch.search().addSearchProvider(std::move(provider));
}

void RootSearchController::addItemResolver(ItemResolver resolver) {
    if (!resolver) return;
    m_resolvers.push_back(std::move(resolver));
    ++m_setupChanges;
}

void RootSearchController::configureSearchDataSources() {
    QPointer<QObject> alive(m_lifetime.get());
    m_launcherSearch.search().loadDataSources(LauncherSearch::kDataSourcesWaitingDuration, [this, alive] {
        if (!alive) return;
        const bool keyWindow = m_isKeyWindow && m_isKeyWindow();
        log().info(QStringLiteral("Data Sources updated, isKeyWindow: ") +
                   (keyWindow ? QStringLiteral("true") : QStringLiteral("false")));
        updateHasApps();
        reload();
    });
    // What the sources deliver later (an application installed, a script
    // added) shows in the list at once, whatever the window holds.
    m_launcherSearch.search().recordsDidChange().connect(m_lifetime.get(), [this] {
        if (!m_hasApps) updateHasApps();
        m_preserveSelectionOnNextReload = true;
        reload();
    });
    // Observers are owned by m_lifetime: they end with the controller. A
    // package or command switched on or off changes what the filter lets
    // through even when no record changes.
    for (const QLatin1String name :
         {NotificationNames::didUprankItem, NotificationNames::searchRecordAliasChanged,
          NotificationNames::searchRecordHotkeyChanged, NotificationNames::rootSearchFavoritesChanged,
          NotificationNames::packageCommandsDidChange}) {
        m_center.addObserver(QString(name), m_lifetime.get(), [this](const Notification&) { reload(); });
    }
    // The search engine posts its uprank notice on the default centre.
    if (&m_center != &NotificationCenter::defaultCenter())
        NotificationCenter::defaultCenter().addObserver(QString(NotificationNames::didUprankItem), m_lifetime.get(),
                                                        [this](const Notification&) { reload(); });
    // An alias is one of its record's keys: the index learns a new one, then
    // the list shows what it finds.
    NotificationCenter::defaultCenter().addObserver(
        QString(NotificationNames::searchRecordAliasChanged), m_lifetime.get(), [this](const Notification&) {
            QPointer<QObject> living(m_lifetime.get());
            m_launcherSearch.search().index(0, [this, living] {
                if (living) reload();
            });
        });
}

void RootSearchController::updateHasApps() {
    bool found = false;
    for (const SearchItem& result : m_launcherSearch.search().items(QString(), {}, m_filter)) {
        if (isApplication(result.result().type())) {
            found = true;
            break;
        }
    }
    if (!found) log().warning("No applications were indexed");
    m_hasApps = found;
}

void RootSearchController::setHasApps(bool hasApps) {
    m_hasApps = hasApps;
}

SuggestionsProvider& RootSearchController::suggestionsProvider() {
    if (!m_suggestionsProvider)
        m_suggestionsProvider = std::make_unique<SuggestionsProvider>(
            m_launcherSearch.search(), SuggestionsProvider::PackageSuggestionsSource{}, &m_center);
    return *m_suggestionsProvider;
}

// MARK: Typing

void RootSearchController::searchTextDidChange(const QString& text) {
    m_searchBar.text = text;
    if (m_ignoreNextSearch) {
        m_ignoreNextSearch = false;
        return;
    }
    if (text.endsWith(QLatin1Char(' '))) {
        const QString previous = text.chopped(1);
        if (previous == m_previousSearchText) {
            if (const ListItem* selected = selectedItem()) {
                // The alias was recognised already: one more space changes nothing.
                if (selected->inputCommand && selected->alias && *selected->alias == previous &&
                    m_lastRecognizedAlias == selected->alias && m_searchBar.inputCommand)
                    return;
                if (selected->inputCommand && selected->alias && *selected->alias == previous &&
                    m_lastRecognizedAlias != selected->alias) {
                    m_lastRecognizedAlias = selected->alias;
                    // The selected row shows its fields already; the alias moves the focus into them.
                    setInputCommand(selected->inputCommand);
                    m_searchBar.focusedArgumentIndex =
                        m_searchBar.inputParameters.empty() ? std::nullopt : std::optional<int>(0);
                    log().info("Showing arguments of input command",
                               {{QStringLiteral("command"), selected->inputCommand->id()}});
                    emitEvent({RootSearchEvent::Kind::argumentFieldsChanged, {}, {}, {}});
                    replaceSearchText(previous);
                    return;
                }
                if (selected->kind == ListItem::Kind::command && selected->command && selected->alias &&
                    *selected->alias == previous && selected->command->isViewControllerRepresented()) {
                    const auto command = selected->command;
                    CommandRunContext context = runContext();
                    context.searchText = previous;
                    CommandOutcome outcome = command->run(context);
                    emitEvent({RootSearchEvent::Kind::commandOutcome, {}, {}, std::move(outcome)});
                    replaceSearchText(previous);
                    return;
                }
            }
        }
    }
    // The argument fields follow the selected row of the new sections; while
    // the focus is in one of them, that row stays selected when it is still there.
    if (m_searchBar.focusedArgumentIndex) m_preserveSelectionOnNextReload = true;
    applySections(buildSections(text, true));
    m_previousSearchText = text;
    m_lastRecognizedAlias.reset();
    if (showsCalculator()) refreshCalculatorHint(text);
}

void RootSearchController::setShowsCalculator(bool shows) {
    m_showsCalculator = shows;
    refreshCalculatorHint(m_searchBar.text);
}

void RootSearchController::refreshCalculatorHint(const QString& text) {
    QString hint;
    if (showsCalculator() && m_queryWithCalculatorResult == text) {
        if (const ListSection* calculator = section(QString(calculatorSectionId));
            calculator && !calculator->items.empty())
            hint = QStringLiteral("= ") + calculator->items.front().title;
    }
    if (hint == m_calculatorHint) return;
    m_calculatorHint = hint;
    emitEvent({RootSearchEvent::Kind::calculatorHintChanged, {}, hint, {}});
}

void RootSearchController::replaceSearchText(const QString& text) {
    m_ignoreNextSearch = true;
    emitEvent({RootSearchEvent::Kind::searchTextReplaced, {}, text, {}});
    // The bar reports its new text like any other change; a window that did
    // so while handling the event has already used up the flag.
    if (m_ignoreNextSearch) searchTextDidChange(text);
}

void RootSearchController::setSearchText(const QString& text) {
    emitEvent({RootSearchEvent::Kind::searchTextReplaced, {}, text, {}});
    // Unless the window already reported the new text while handling the event.
    if (m_searchBar.text != text || m_previousSearchText != text) searchTextDidChange(text);
}

void RootSearchController::clearArguments() {
    if (!m_searchBar.inputCommand) return;
    for (QString& value : m_searchBar.argumentValues) value.clear();
    m_searchBar.focusedArgumentIndex.reset();
    emitEvent({RootSearchEvent::Kind::argumentFieldsChanged, {}, {}, {}});
}

namespace {

bool sameParameters(const std::vector<std::shared_ptr<const CommandParameter>>& a,
                    const std::vector<std::shared_ptr<const CommandParameter>>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!a[i] || !b[i]) return a[i] == b[i];
        if (a[i]->placeholder() != b[i]->placeholder() || a[i]->isOptional() != b[i]->isOptional() ||
            a[i]->percentEncoded() != b[i]->percentEncoded())
            return false;
    }
    return true;
}

}  // namespace

bool RootSearchController::setInputCommand(const std::shared_ptr<const InputCommand>& command) {
    std::vector<std::shared_ptr<const CommandParameter>> parameters = command->parameters();
    const auto count = static_cast<qsizetype>(parameters.size());
    if (m_searchBar.inputCommand && m_searchBar.inputCommand->isEqual(*command)) {
        // The same command: what was typed stays; the fields change only when
        // the row describes them otherwise (an argument that became optional).
        m_searchBar.inputCommand = command;
        const bool same = sameParameters(m_searchBar.inputParameters, parameters);
        m_searchBar.inputParameters = std::move(parameters);
        m_searchBar.argumentValues.resize(count);
        if (m_searchBar.focusedArgumentIndex && *m_searchBar.focusedArgumentIndex >= count)
            m_searchBar.focusedArgumentIndex.reset();
        return !same;
    }
    m_searchBar.inputCommand = command;
    m_searchBar.inputParameters = std::move(parameters);
    m_searchBar.argumentValues = QStringList();
    m_searchBar.argumentValues.resize(count);
    m_searchBar.focusedArgumentIndex.reset();
    log().debug("Showing arguments of input command", {{QStringLiteral("command"), command->id()}});
    return true;
}

void RootSearchController::syncInputCommandWithSelection() {
    const ListItem* selected = selectedItem();
    const std::shared_ptr<const InputCommand> wanted = selected ? selected->inputCommand : nullptr;
    if (wanted) {
        if (setInputCommand(wanted)) emitEvent({RootSearchEvent::Kind::argumentFieldsChanged, {}, {}, {}});
        return;
    }
    if (!m_searchBar.inputCommand) return;
    m_searchBar.inputCommand.reset();
    m_searchBar.inputParameters.clear();
    m_searchBar.argumentValues.clear();
    m_searchBar.focusedArgumentIndex.reset();
    emitEvent({RootSearchEvent::Kind::argumentFieldsChanged, {}, {}, {}});
}

bool RootSearchController::focusMissingArgument(const std::shared_ptr<const InputCommand>& command) {
    if (!command) return false;
    if (setInputCommand(command)) emitEvent({RootSearchEvent::Kind::argumentFieldsChanged, {}, {}, {}});
    const std::optional<int> missing = firstMissingArgument(m_searchBar.inputParameters, m_searchBar.argumentValues);
    if (!missing) return false;
    log().info("Asking for a missing argument",
               {{QStringLiteral("command"), command->id()}, {QStringLiteral("argument"), QString::number(*missing)}});
    m_searchBar.focusedArgumentIndex = *missing;
    emitEvent({RootSearchEvent::Kind::argumentFocused, {}, {}, {}});
    return true;
}

QStringList RootSearchController::argumentValues(const QString& inputCommandId) const {
    if (!m_searchBar.inputCommand || m_searchBar.inputCommand->id() != inputCommandId) return {};
    return m_searchBar.argumentValues;
}

bool RootSearchController::showInputCommand(const QString& commandId, const QStringList& values) {
    const auto command = m_launcherSearch.registry().command(CommandIdentifier(commandId));
    if (!command) {
        log().warning("No command to ask the arguments of", {{QStringLiteral("command"), commandId}});
        return false;
    }
    // The search below is fresh: a reload pending for the next showing would only undo it.
    m_reloadListOnNextViewWillAppear = false;
    setSearchText(command->displayName());
    const ListItem* row = selectItem(commandId) ? selectedItem() : nullptr;
    if (!row || !row->inputCommand) {
        log().warning("Root search shows no row for the arguments of the command",
                      {{QStringLiteral("command"), commandId}});
        return false;
    }
    emitEvent({RootSearchEvent::Kind::selectionChanged, {}, {}, {}});
    for (qsizetype i = 0; i < values.size() && i < m_searchBar.argumentValues.size(); ++i)
        m_searchBar.argumentValues[i] = values[i];
    m_searchBar.focusedArgumentIndex =
        m_searchBar.inputParameters.empty()
            ? std::nullopt
            : std::optional<int>(
                  firstMissingArgument(m_searchBar.inputParameters, m_searchBar.argumentValues).value_or(0));
    log().info("Asking for the arguments of a command", {{QStringLiteral("command"), commandId}});
    emitEvent({RootSearchEvent::Kind::argumentFieldsChanged, {}, {}, {}});
    return true;
}

void RootSearchController::argumentFieldDidActivate(int index) {
    if (index < 0 || index >= m_searchBar.argumentValues.size()) {
        m_searchBar.focusedArgumentIndex.reset();
        return;
    }
    m_searchBar.focusedArgumentIndex = index;
}

void RootSearchController::setArgumentValue(int index, const QString& value) {
    if (index < 0 || index >= m_searchBar.argumentValues.size()) return;
    m_searchBar.argumentValues[index] = value;
}

void RootSearchController::reload() {
    // Someone typing in an argument field keeps the row those fields belong to.
    if (m_searchBar.focusedArgumentIndex) m_preserveSelectionOnNextReload = true;
    applySections(buildSections(m_searchBar.text, true));
}

std::vector<ListSection> RootSearchController::sectionsFor(const QString& text) {
    // Building consumes the draft placed first and remembers the calculator's
    // query: both belong to what the window shows next.
    const std::shared_ptr<const Draft> draftOnTop = m_draftToShowOnTopOnNextReload;
    const std::optional<QString> calculatorQuery = m_queryWithCalculatorResult;
    std::vector<ListSection> sections = buildSections(text, false);
    m_draftToShowOnTopOnNextReload = draftOnTop;
    m_queryWithCalculatorResult = calculatorQuery;
    return sections;
}

void RootSearchController::viewWillAppear() {
    if (!m_reloadListOnNextViewWillAppear) return;
    m_reloadListOnNextViewWillAppear = false;
    reload();
}

// MARK: Sections

std::vector<ListSection> RootSearchController::buildSections(const QString& text, bool shown) {
    std::vector<ListSection> sections = text.trimmed().isEmpty() ? homeSections(shown) : querySections(text, shown);
    sections.erase(std::remove_if(sections.begin(), sections.end(),
                                  [](const ListSection& section) { return section.items.empty(); }),
                   sections.end());
    return sections;
}

ListSection RootSearchController::helpSection() const {
    ListSection help{QString(troubleshootingSectionId), QStringLiteral("Help"), {}};
    if (m_hasApps) return help;
    ListItem item;
    item.id = QStringLiteral("troubleshooting");
    item.title = QString(troubleshootingItemTitle);
    item.kind = ListItem::Kind::troubleshooting;
    item.actionProvider = std::make_shared<TroubleshootingActionProvider>(m_environment);
    help.items.push_back(std::move(item));
    return help;
}

std::vector<ListSection> RootSearchController::homeSections(bool shown) {
    std::vector<ListSection> sections;
    sections.push_back({QString(welcomeSectionId), QStringLiteral("Welcome"), m_welcomeItems});

    ListSection drafts{QString(draftsSectionId), QStringLiteral("Drafts"), {}};
    for (const auto& draft : m_drafts) drafts.items.push_back(draftItem(draft));
    sections.push_back(std::move(drafts));
    m_draftToShowOnTopOnNextReload.reset();

    sections.push_back({QString(updatesSectionId), QStringLiteral("Updates"), m_updateItems});

    ListSection events{QString(calendarEventsSectionId), QStringLiteral("Calendar Events"), {}};
    const QDateTime now = QDateTime::currentDateTime();
    for (const CalendarEvent& event : m_lastEvents) {
        if (!event.startDate.isValid() || std::abs(now.secsTo(event.startDate)) >= 5 * 60) continue;
        ListItem item;
        item.id = event.id;
        item.title = event.title;
        item.subtitle = event.location.value_or(QString());
        item.kind = ListItem::Kind::calendarEvent;
        item.calendarEvent = std::make_shared<const CalendarEvent>(event);
        item.actionProvider = event.actions;
        events.items.push_back(std::move(item));
    }
    sections.push_back(std::move(events));

    sections.push_back({QString(favoritesSectionId), QStringLiteral("Favorites"), favoriteItems()});
    sections.push_back({QString(suggestionsSectionId), QStringLiteral("Suggestions"), suggestionItems()});

    ListSection help = helpSection();

    ListSection commands{QString(commandsSectionId), QStringLiteral("Commands"), {}};
    ListSection apps{QString(appsSectionId), QStringLiteral("Apps"), {}};
    homeCommandsAndApps(commands, apps, shown);
    sections.push_back(std::move(help));
    sections.push_back(std::move(commands));
    sections.push_back(std::move(apps));
    return sections;
}

namespace {

bool isApplicationItem(const ListItem& item) {
    return item.kind == ListItem::Kind::application || item.kind == ListItem::Kind::preferencePane;
}

}  // namespace

void RootSearchController::homeCommandsAndApps(ListSection& commands, ListSection& apps, bool shown) {
    Search& search = m_launcherSearch.search();
    PackageRegistry& registry = m_launcherSearch.registry();
    auto route = [&](ListItem&& item) {
        (isApplicationItem(item) ? apps : commands).items.push_back(std::move(item));
    };
    const std::shared_ptr<const std::vector<SearchItem>> rows = search.emptyTermRows();
    // Read before the items are made: a change while they are made shows at
    // the next build.
    const quint64 registryChanges = registry.changeCount();
    const quint64 configurationChanges = registry.configurationChangeCount();
    const CommandRunContext context = runContext();
    const bool same = m_homeRows && m_homeRows->rows == rows && m_homeRows->registryChanges == registryChanges &&
                      m_homeRows->configurationChanges == configurationChanges &&
                      m_homeRows->setupChanges == m_setupChanges && m_homeRows->searchText == context.searchText &&
                      m_homeRows->arguments == context.arguments;
    if (!same) {
        m_homeRows.reset();
        HomeRows built;
        built.rows = rows;
        built.registryChanges = registryChanges;
        built.configurationChanges = configurationChanges;
        built.setupChanges = m_setupChanges;
        built.searchText = context.searchText;
        built.arguments = context.arguments;
        // Most rows are applications; growing the list item by item would move every item many times.
        built.apps.reserve(rows->size());
        size_t passed = 0;
        for (const SearchItem& result : *rows) {
            if (m_filter && !m_filter(result)) continue;
            ++passed;
            if (isFallback(result, registry)) continue;
            bool kept = false;
            std::optional<ListItem> item = this->item(result, QString(), &kept);
            if (!item) continue;
            if (!kept) {
                built.fresh.push_back(HomeRows::Fresh{built.commands.size(), built.apps.size(), result});
                continue;
            }
            (isApplicationItem(*item) ? built.apps : built.commands).push_back(std::move(*item));
        }
        if (passed == 0) {
            // Nothing indexed passes: the engine answers the empty term its
            // own way (providers ranked), as for any query without rows.
            for (const SearchItem& result : search.items(QString(), m_searchOptions, m_filter)) {
                if (isFallback(result, registry)) continue;
                if (std::optional<ListItem> item = this->item(result, QString())) route(std::move(*item));
            }
            return;
        }
        built.apps.shrink_to_fit();
        m_homeRows = std::move(built);
    }
    HomeRows& kept = *m_homeRows;
    std::vector<ListItem>* keptCommands = &kept.commands;
    std::vector<ListItem>* keptApps = &kept.apps;
    std::vector<ListSection> none;
    if (kept.lent) {
        // They are in the sections shown now.
        keptCommands = &none.emplace_back().items;
        keptApps = &none.emplace_back().items;
        for (ListSection& section : m_sections) {
            if (section.id == commandsSectionId) keptCommands = &section.items;
            if (section.id == appsSectionId) keptApps = &section.items;
        }
    }
    const std::vector<SearchItem> provided = search.providedItems(QString());
    const bool onlyKept =
        kept.fresh.empty() && std::all_of(provided.begin(), provided.end(),
                                          [&](const SearchItem& result) { return isFallback(result, registry); });
    if (shown && onlyKept) {
        // The sections about to be shown take the kept items over.
        commands.items = std::move(*keptCommands);
        apps.items = std::move(*keptApps);
        keptCommands->clear();
        keptApps->clear();
        kept.lending = true;
        return;
    }
    commands.items.reserve(keptCommands->size() + kept.fresh.size());
    apps.items.reserve(keptApps->size() + kept.fresh.size());
    const auto at = [](const std::vector<ListItem>& items, size_t position) {
        return items.begin() + static_cast<std::ptrdiff_t>(position);
    };
    size_t nextCommand = 0;
    size_t nextApp = 0;
    for (const HomeRows::Fresh& fresh : kept.fresh) {
        commands.items.insert(commands.items.end(), at(*keptCommands, nextCommand),
                              at(*keptCommands, fresh.commandsBefore));
        apps.items.insert(apps.items.end(), at(*keptApps, nextApp), at(*keptApps, fresh.appsBefore));
        nextCommand = fresh.commandsBefore;
        nextApp = fresh.appsBefore;
        if (std::optional<ListItem> item = this->item(fresh.result, QString())) route(std::move(*item));
    }
    commands.items.insert(commands.items.end(), at(*keptCommands, nextCommand),
                          at(*keptCommands, keptCommands->size()));
    apps.items.insert(apps.items.end(), at(*keptApps, nextApp), at(*keptApps, keptApps->size()));
    // What the providers add for the empty term comes after the rows, made anew.
    for (const SearchItem& result : provided) {
        if (isFallback(result, registry)) continue;
        if (std::optional<ListItem> item = this->item(result, QString())) route(std::move(*item));
    }
}

std::vector<ListSection> RootSearchController::querySections(const QString& text, bool forWindow) {
    std::vector<ListSection> sections;
    ListSection newDraft{QString(newDraftSectionId), QStringLiteral("New Draft"), {}};
    if (m_draftToShowOnTopOnNextReload) {
        newDraft.items.push_back(draftItem(m_draftToShowOnTopOnNextReload));
        m_draftToShowOnTopOnNextReload.reset();
    }
    sections.push_back(std::move(newDraft));

    ListSection calculator{QString(calculatorSectionId), QStringLiteral("Calculator"), {}};
    if (auto expression = expressionItem(text, forWindow)) calculator.items.push_back(std::move(*expression));
    sections.push_back(std::move(calculator));

    const QString query = text.trimmed();
    ListSection results{QString(resultsSectionId), QStringLiteral("Results"), {}};
    ListSection fallbacks{
        QString(fallbackSectionId), QStringLiteral("Search for \"") + query + QStringLiteral("\" in"), {}};
    std::vector<std::shared_ptr<const FallbackSearchCommand>> fallbackCommands;
    PackageRegistry& registry = m_launcherSearch.registry();
    const std::vector<SearchItem> found = m_launcherSearch.search().items(text, m_searchOptions, m_filter);
    // Sized once: up to a thousand rows per keystroke, each id looked up once.
    QSet<QString> shown;
    shown.reserve(static_cast<qsizetype>(found.size()));
    results.items.reserve(found.size());
    for (const SearchItem& result : found) {
        if (isFallback(result, registry)) {
            auto fallback = registry.fallbackSearchCommand(result.identifier());
            if (!fallback || !registry.isEnabled(*fallback)) continue;
            if (std::any_of(fallbackCommands.begin(), fallbackCommands.end(),
                            [&](const auto& known) { return known->id() == fallback->id(); }))
                continue;
            fallbackCommands.push_back(std::move(fallback));
            continue;
        }
        // Provider results are not filtered by the engine, and may repeat an indexed one.
        if (m_filter && !m_filter(result)) continue;
        const qsizetype before = shown.size();
        shown.insert(result.identifier());
        if (shown.size() == before) continue;
        if (std::optional<ListItem> item = this->item(result, text)) results.items.push_back(std::move(*item));
    }
    std::stable_sort(fallbackCommands.begin(), fallbackCommands.end(),
                     [](const auto& a, const auto& b) { return a->fallbackSearchOrder() > b->fallbackSearchOrder(); });
    for (auto& fallback : fallbackCommands) fallbacks.items.push_back(fallbackItem(std::move(fallback), query));
    sections.push_back(std::move(results));
    sections.push_back(std::move(fallbacks));

    ListSection help = helpSection();
    sections.push_back(std::move(help));
    return sections;
}

void RootSearchController::calculatorLoaded() {
    // What is typed now may be the calculation that waited for the engine.
    if (m_searchBar.text.trimmed().isEmpty()) return;
    reload();
    if (showsCalculator()) refreshCalculatorHint(m_searchBar.text);
}

std::optional<ListItem> RootSearchController::expressionItem(const QString& text, bool forWindow) {
    if (!m_expressionParser || text.size() < 2) return std::nullopt;
    std::optional<ExpressionParser::Output> output;
    try {
        if (forWindow) {
            QPointer<QObject> alive(m_lifetime.get());
            output = m_expressionParser->parseInputIfLoaded(text, [this, alive] {
                Queue::main().dispatch([this, alive] {
                    if (alive) calculatorLoaded();
                });
            });
        } else {
            output = m_expressionParser->parseInput(text);
        }
    } catch (const std::exception& error) {
        log().error("Calculation failed", {{QStringLiteral("error"), VantrelError::describe(error)}});
        return std::nullopt;
    }
    if (!output || std::holds_alternative<ExpressionParser::Invalid>(output->calculationType)) return std::nullopt;
    if (output->result == QLatin1String("Error: incompatible units"))
        output->result = output->result.mid(QStringLiteral("Error: ").size());
    m_queryWithCalculatorResult = text;

    ListItem item;
    item.id = QStringLiteral("expression-") + text;
    item.title = output->result;
    item.subtitle = text;
    item.kind = ListItem::Kind::expression;
    item.expression = std::make_shared<const ExpressionListItem>(ExpressionListItem{item.id, text, *output});
    item.accessory = output->resultMetadata;
    QPointer<QObject> alive(m_lifetime.get());
    item.actionProvider = std::make_shared<ExpressionActionProvider>(
        *item.expression, m_expressionParser,
        [this, alive](const QString& newText) {
            if (alive) setSearchText(newText);
        },
        [this, alive](const Toast& toast) {
            if (alive) emitEvent({RootSearchEvent::Kind::toast, toast, {}, {}});
        },
        m_environment, false);
    return item;
}

std::optional<ListItem> RootSearchController::item(const SearchItem& result, const QString& searchText, bool* kept) {
    if (kept) *kept = false;
    PackageRegistry& registry = m_launcherSearch.registry();
    const SearchRecord* record = result.record();

    ListItem item;
    item.id = result.identifier();
    item.title = result.name();
    item.searchItem = result;
    item.alias = result.result().alias();
    if (record) {
        item.subtitle = record->category.value_or(QString());
        item.accessory = record->alias;
    }
    for (const ItemResolver& resolver : m_resolvers)
        if (resolver(result, searchText, item)) return item;

    const SearchRecord::ContentType type = result.result().type();
    if (isApplication(type)) {
        item.kind =
            type == SearchRecord::ContentType::systemApp ? ListItem::Kind::application : ListItem::Kind::preferencePane;
        if (record) item.iconPath = record->path;
        item.actionProvider =
            std::make_shared<ApplicationActionProvider>(result, searchText, &m_launcherSearch.search(), m_launch);
        if (kept) *kept = true;
        return item;
    }
    if (auto command = registry.command(CommandIdentifier(result.identifier()))) {
        ListItem made = commandItem(std::move(command), result, searchText);
        made.alias = item.alias;
        // The alias tag when there is one; otherwise the command's own state.
        if (item.accessory) made.accessory = item.accessory;
        // A command a resolver answers may change without the registry knowing.
        if (kept) *kept = registry.listsCommand(CommandIdentifier(result.identifier()));
        return made;
    }
    switch (type) {
        case SearchRecord::ContentType::command:
        case SearchRecord::ContentType::extensionCommand:
        case SearchRecord::ContentType::scriptCommand:
        case SearchRecord::ContentType::quicklink:
            // Shown, but nothing here knows how to run it.
            item.kind = ListItem::Kind::command;
            return item;
        default:
            break;
    }
    item.kind = ListItem::Kind::other;
    return item;
}

ListItem RootSearchController::commandItem(std::shared_ptr<const VantrelCommand> command,
                                           const std::optional<SearchItem>& result, const QString& searchText) {
    ListItem item;
    item.id = command->id().rawValue;
    item.title = command->displayName();
    if (const auto package = command->package()) item.subtitle = package->displayName();
    if (result && result->record()) {
        if (result->record()->category && !result->record()->category->isEmpty())
            item.subtitle = *result->record()->category;
        item.alias = result->record()->alias;
        item.accessory = result->record()->alias;
    }
    if (const auto icon = command->icon()) item.iconName = icon->small.value;
    if (!item.accessory && m_launcherSearch.registry().availability(item.id) == CommandAvailability::coming)
        item.accessory = QString(comingSoonAccessory);
    item.kind = ListItem::Kind::command;
    item.searchItem = result;
    CommandActionProvider::ArgumentsProvider arguments;
    if (std::shared_ptr<const InputCommand> input = command->inputCommand(searchText)) {
        // Its argument fields are read when it runs.
        item.kind = ListItem::Kind::inputCommand;
        QPointer<QObject> alive(m_lifetime.get());
        arguments = [this, alive, id = input->id()] { return alive ? argumentValues(id) : QStringList(); };
        item.inputCommand = std::move(input);
    }
    item.actionProvider = std::make_shared<CommandActionProvider>(command, searchText, &m_launcherSearch.search(),
                                                                  runContext(), std::move(arguments));
    item.command = std::move(command);
    return item;
}

ListItem RootSearchController::fallbackItem(std::shared_ptr<const FallbackSearchCommand> fallback,
                                            const QString& searchText) {
    ListItem item;
    item.id = fallback->id();
    item.title = fallback->displayName();
    if (const auto icon = fallback->icon()) item.iconName = icon->small.value;
    if (const auto commandId = fallback->commandId();
        commandId && m_launcherSearch.registry().availability(commandId->rawValue) == CommandAvailability::coming)
        item.accessory = QString(comingSoonAccessory);
    item.kind = ListItem::Kind::fallbackSearch;
    item.actionProvider = std::make_shared<FallbackSearchCommandActionProvider>(fallback, &m_launcherSearch.search(),
                                                                                searchText, runContext());
    item.fallback = std::move(fallback);
    return item;
}

ListItem RootSearchController::draftItem(const std::shared_ptr<const Draft>& draft) {
    ListItem item;
    item.id = QStringLiteral("draft-") + (draft->command ? draft->command->id().rawValue : draft->title);
    item.title = draft->title.isEmpty() && draft->command ? draft->command->displayName() : draft->title;
    if (draft->command) item.subtitle = draft->command->displayName();
    item.kind = ListItem::Kind::draft;
    item.command = draft->command;
    item.draft = draft;
    QPointer<QObject> alive(m_lifetime.get());
    item.actionProvider = std::make_shared<DraftActionProvider>(
        draft, [this, alive, draft] { return alive ? openDraft(draft) : CommandOutcome::done(); },
        [this, alive, draft] {
            if (alive) removeDraft(draft);
        });
    return item;
}

std::vector<ListItem> RootSearchController::favoriteItems() {
    std::vector<ListItem> items;
    std::vector<SearchRecord> records;
    try {
        records = m_launcherSearch.search().repository()->favorites();
    } catch (const std::exception& error) {
        log().error("Cannot read favorites", {{QStringLiteral("error"), VantrelError::describe(error)}});
        return items;
    }
    for (SearchRecord& record : records) {
        SearchItem result = SearchItem::fromRecord(std::move(record));
        if (m_filter && !m_filter(result)) continue;
        if (std::optional<ListItem> item = this->item(result, QString())) {
            item->type = ListItemType::favorite;
            item->id = suffixed(item->id, ListItemType::favorite);
            items.push_back(std::move(*item));
        }
    }
    return items;
}

std::vector<ListItem> RootSearchController::suggestionItems() {
    std::vector<ListItem> items;
    const PackageRegistry& registry = m_launcherSearch.registry();
    for (SuggestionsProvider::Suggestion& suggestion : suggestionsProvider().suggestions(m_filter)) {
        // Only what works is suggested: never a command that is still to come.
        const QString commandId = suggestion.command ? suggestion.command->id().rawValue : suggestion.id;
        if (registry.availability(commandId) != CommandAvailability::available) continue;
        std::optional<ListItem> item;
        // Script commands and other resolved kinds are described by their
        // resolver (inline output, their own actions), as in the results.
        const bool resolvedKind = suggestion.item && suggestion.item->record() &&
                                  suggestion.item->record()->type == SearchRecord::ContentType::scriptCommand;
        if (suggestion.command && !resolvedKind)
            item = commandItem(suggestion.command, suggestion.item, QString());
        else if (suggestion.item)
            item = this->item(*suggestion.item, QString());
        if (!item) continue;
        item->type = ListItemType::suggestion;
        item->id = suffixed(item->id, ListItemType::suggestion);
        items.push_back(std::move(*item));
    }
    return items;
}

void RootSearchController::applySections(std::vector<ListSection> sections) {
    std::optional<QString> selectedId;
    if (m_preserveSelectionOnNextReload)
        if (const ListItem* selected = selectedItem()) selectedId = selected->id;
    const std::optional<int> previousIndex = m_selectedIndex;
    std::vector<ListSection> previous = std::exchange(m_sections, std::move(sections));
    if (m_homeRows) {
        if (m_homeRows->lent && !m_homeRows->lending) {
            // The home screen goes: its kept items go back (moved, so rows
            // pointed at stay where they are).
            for (ListSection& section : previous) {
                if (section.id == commandsSectionId) m_homeRows->commands = std::move(section.items);
                if (section.id == appsSectionId) m_homeRows->apps = std::move(section.items);
            }
        }
        m_homeRows->lent = m_homeRows->lending;
        m_homeRows->lending = false;
    }
    previous.clear();
    m_selectedIndex.reset();
    const std::vector<const ListItem*> items = allItems();
    if (!items.empty()) {
        m_selectedIndex = 0;
        if (m_preserveSelectionOnNextReload) {
            auto found = selectedId ? std::find_if(items.begin(), items.end(),
                                                   [&](const ListItem* item) { return item->id == *selectedId; })
                                    : items.end();
            if (found != items.end())
                m_selectedIndex = static_cast<int>(found - items.begin());
            else if (previousIndex)
                m_selectedIndex = std::min(*previousIndex, static_cast<int>(items.size()) - 1);
        }
    }
    m_preserveSelectionOnNextReload = false;
    emitEvent({RootSearchEvent::Kind::sectionsReloaded, {}, {}, {}});
    syncInputCommandWithSelection();
}

std::vector<const ListItem*> RootSearchController::allItems() const {
    std::vector<const ListItem*> items;
    for (const ListSection& section : m_sections)
        for (const ListItem& item : section.items) items.push_back(&item);
    return items;
}

const ListSection* RootSearchController::section(const QString& id) const {
    for (const ListSection& section : m_sections)
        if (section.id == id) return &section;
    return nullptr;
}

const ListItem* RootSearchController::selectedItem() const {
    if (!m_selectedIndex) return nullptr;
    const std::vector<const ListItem*> items = allItems();
    if (*m_selectedIndex < 0 || *m_selectedIndex >= static_cast<int>(items.size())) return nullptr;
    return items[*m_selectedIndex];
}

bool RootSearchController::setSelectedIndex(int index) {
    if (index < 0 || index >= static_cast<int>(allItems().size())) return false;
    m_selectedIndex = index;
    syncInputCommandWithSelection();
    return true;
}

bool RootSearchController::selectItem(const QString& id) {
    const std::vector<const ListItem*> items = allItems();
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i]->id == id) return setSelectedIndex(static_cast<int>(i));
    return false;
}

void RootSearchController::selectNext() {
    const int count = static_cast<int>(allItems().size());
    if (count == 0) return;
    m_selectedIndex = m_selectedIndex ? std::min(*m_selectedIndex + 1, count - 1) : 0;
    syncInputCommandWithSelection();
}

void RootSearchController::selectPrevious() {
    if (allItems().empty()) return;
    m_selectedIndex = m_selectedIndex ? std::max(*m_selectedIndex - 1, 0) : 0;
    syncInputCommandWithSelection();
}

// MARK: Choosing

CommandRunContext RootSearchController::runContext() const {
    CommandRunContext context;
    context.searchText = m_searchBar.text;
    context.arguments = m_searchBar.argumentValues;
    context.environment = m_environment;
    return context;
}

CommandOutcome RootSearchController::chooseItem(const ListItem& item) {
    // The action may reload the list (an uprank notice); keep what runs alive.
    const std::shared_ptr<ActionProvider> provider = item.actionProvider;
    if (!provider) return CommandOutcome::unavailable(QStringLiteral("This item cannot be opened yet."));
    std::optional<MenuItem> primary = provider->primaryAction();
    if (!primary) return CommandOutcome::unavailable(QStringLiteral("This item has no action."));
    // An empty required argument is asked for, not reported.
    if (focusMissingArgument(item.inputCommand)) return CommandOutcome::done();
    const QString text = m_searchBar.text;
    const QStringList arguments = m_searchBar.argumentValues;
    m_history.insert({text, arguments});
    return primary->perform();
}

CommandOutcome RootSearchController::chooseSelectedItem() {
    const ListItem* selected = selectedItem();
    if (!selected) return CommandOutcome::unavailable(QStringLiteral("Nothing is selected."));
    const ListItem chosen = *selected;
    return chooseItem(chosen);
}

std::vector<MenuItem> RootSearchController::menuItems(const ListItem& item) {
    std::vector<MenuItem> items;
    if (item.actionProvider) items = item.actionProvider->menuItems();
    if (item.inputCommand && !items.empty() && std::get_if<MenuItem::Run>(&items.front().action)) {
        // The primary action from the panel asks for a missing argument as Return does.
        QPointer<QObject> alive(m_lifetime.get());
        const MenuItem::Run run = std::get<MenuItem::Run>(items.front().action);
        const std::shared_ptr<const InputCommand> command = item.inputCommand;
        items.front().action = MenuItem::Run([this, alive, command, run] {
            if (alive && focusMissingArgument(command)) return CommandOutcome::done();
            return run ? run() : CommandOutcome::done();
        });
    }
    for (MenuItem& favorite : favoritesMenuItems(item)) items.push_back(std::move(favorite));
    // An action may reload the list that owns the provider ("Open Command"
    // records a visit, the visit reloads): each item keeps it alive.
    for (MenuItem& menuItem : items) menuItem.keepAliveWhileRunning(item.actionProvider);
    return items;
}

std::vector<MenuItem> RootSearchController::favoritesMenuItems(const ListItem& item) {
    std::vector<MenuItem> items;
    const std::optional<QString> key = item.recordKey();
    if (!key) return items;
    std::vector<SearchRecord> favorites;
    try {
        favorites = m_launcherSearch.search().repository()->favorites();
    } catch (const std::exception&) {
        return items;
    }
    const auto position = std::find_if(favorites.begin(), favorites.end(),
                                       [&](const SearchRecord& record) { return record.key == *key; });
    QPointer<QObject> alive(m_lifetime.get());
    const ListItem copy = item;
    auto run = [this, alive, copy](bool (RootSearchController::*action)(const ListItem&)) {
        return [this, alive, copy, action] {
            if (alive) (this->*action)(copy);
            return CommandOutcome::done();
        };
    };
    if (position == favorites.end()) {
        items.push_back(menuItem(QString(addToFavoritesId), QStringLiteral("Add to Favorites"),
                                 run(&RootSearchController::addToFavorites)));
        return items;
    }
    items.push_back(menuItem(QString(removeFromFavoritesId), QStringLiteral("Remove from Favorites"),
                             run(&RootSearchController::removeFromFavorites), MenuItem::ActionType::destructive));
    if (position != favorites.begin())
        items.push_back(menuItem(QString(moveFavoriteUpId), QStringLiteral("Move Up in Favorites"),
                                 run(&RootSearchController::moveFavoriteUp)));
    if (position + 1 != favorites.end())
        items.push_back(menuItem(QString(moveFavoriteDownId), QStringLiteral("Move Down in Favorites"),
                                 run(&RootSearchController::moveFavoriteDown)));
    for (MenuItem& menu : items) menu.representedObject = QString(favoritesSectionMenuId);
    return items;
}

// MARK: Favourites

void RootSearchController::favoritesChanged() {
    m_preserveSelectionOnNextReload = true;
    m_center.post(QString(NotificationNames::rootSearchFavoritesChanged));
}

bool RootSearchController::addToFavorites(const ListItem& item) {
    const std::optional<QString> key = item.recordKey().has_value() ? item.recordKey()
                                       : item.command ? std::optional<QString>(item.command->id().rawValue)
                                                      : std::nullopt;
    try {
        if (!key) throw VantrelError(QStringLiteral("No item found to add to favorites"));
        m_launcherSearch.search().addToFavorites(*key);
    } catch (const std::exception& error) {
        log().error("Unable to add favorite", {{QStringLiteral("error"), VantrelError::describe(error)}});
        showToast(Toast::Style::failure, QStringLiteral("Unable to add favorite"), VantrelError::describe(error));
        return false;
    }
    showToast(Toast::Style::success, QStringLiteral("Added to favorites"));
    favoritesChanged();
    return true;
}

bool RootSearchController::removeFromFavorites(const ListItem& item) {
    const std::optional<QString> key = item.recordKey();
    bool removed = false;
    try {
        removed = key && m_launcherSearch.search().repository()->removeFromFavorites(*key);
    } catch (const std::exception& error) {
        log().error("Unable to remove favorite", {{QStringLiteral("error"), VantrelError::describe(error)}});
    }
    if (!removed) return false;
    showToast(Toast::Style::success, QStringLiteral("Removed from favorites"));
    favoritesChanged();
    return true;
}

bool RootSearchController::moveFavoriteUp(const ListItem& item) {
    return moveFavorite(item, -1, QStringLiteral("Moved up in favorites"));
}

bool RootSearchController::moveFavoriteDown(const ListItem& item) {
    return moveFavorite(item, 1, QStringLiteral("Moved down in favorites"));
}

bool RootSearchController::moveFavorite(const ListItem& item, int offset, const QString& toast) {
    const std::optional<QString> key = item.recordKey();
    if (!key) return false;
    try {
        auto repository = m_launcherSearch.search().repository();
        std::vector<SearchRecord> favorites = repository->favorites();
        const auto position = std::find_if(favorites.begin(), favorites.end(),
                                           [&](const SearchRecord& record) { return record.key == *key; });
        if (position == favorites.end()) return false;
        const auto index = position - favorites.begin();
        const auto other = index + offset;
        if (other < 0 || other >= static_cast<std::ptrdiff_t>(favorites.size())) return false;
        // Renumber in the new order so that equal marks cannot tie.
        std::iter_swap(favorites.begin() + index, favorites.begin() + other);
        for (size_t i = 0; i < favorites.size(); ++i) {
            const double mark = static_cast<double>(i + 1);
            if (favorites[i].favorite == mark) continue;
            repository->updateRecord(*favorites[i].id, [mark](SearchRecord record) -> std::optional<SearchRecord> {
                record.favorite = mark;
                return record;
            });
        }
    } catch (const std::exception& error) {
        log().error("Unable to move favorite", {{QStringLiteral("error"), VantrelError::describe(error)}});
        return false;
    }
    showToast(Toast::Style::success, toast);
    favoritesChanged();
    return true;
}

// MARK: Drafts

void RootSearchController::addDraft(Draft draft) {
    auto kept = std::make_shared<const Draft>(std::move(draft));
    if (kept->command) {
        const CommandIdentifier id = kept->command->id();
        m_drafts.erase(
            std::remove_if(m_drafts.begin(), m_drafts.end(),
                           [&](const auto& existing) { return existing->command && existing->command->id() == id; }),
            m_drafts.end());
    }
    m_drafts.push_back(kept);
    m_draftToShowOnTopOnNextReload = kept;
    log().info("Draft Created",
               {{QStringLiteral("commandId"), kept->command ? kept->command->id().rawValue : QString()}});
    showToast(Toast::Style::success, QStringLiteral("Draft created"));
    // The list behind the closed view shows the draft at once.
    reload();
}

CommandOutcome RootSearchController::openDraft(const std::shared_ptr<const Draft>& draft) {
    // The view is shown again with its input; once closed it may come back as a new draft.
    removeDraft(draft);
    CommandOutcome outcome = CommandOutcome::showView(draft->command ? draft->command->id().rawValue : QString());
    outcome.draftState = draft->state;
    return outcome;
}

void RootSearchController::removeDraft(const std::shared_ptr<const Draft>& draft) {
    m_drafts.erase(std::remove(m_drafts.begin(), m_drafts.end(), draft), m_drafts.end());
    if (m_draftToShowOnTopOnNextReload == draft) m_draftToShowOnTopOnNextReload.reset();
    reload();
}

// MARK: History

bool RootSearchController::showPreviousHistoryItem() {
    std::optional<SearchBarHistory::Item> item = m_history.previous();
    if (!item) return false;
    setSearchText(item->text);
    for (int i = 0; i < item->arguments.size(); ++i) setArgumentValue(i, item->arguments[i]);
    return true;
}

bool RootSearchController::showNextHistoryItem() {
    std::optional<SearchBarHistory::Item> item = m_history.next();
    if (!item) return false;
    setSearchText(item->text);
    for (int i = 0; i < item->arguments.size(); ++i) setArgumentValue(i, item->arguments[i]);
    return true;
}

// MARK: Events

void RootSearchController::emitEvent(RootSearchEvent event) const {
    if (m_eventHandler) m_eventHandler(event);
}

void RootSearchController::showToast(Toast::Style style, const QString& title, const QString& message) const {
    emitEvent({RootSearchEvent::Kind::toast, {style, title, message}, {}, {}});
}

}  // namespace vantrel
