#include "core/commands/ActionProviders.h"

#include "kit/Logger.h"
#include "kit/VantrelError.h"
#include "search/Search.h"

namespace vantrel {

namespace {
const Logger& log() {
    static const Logger logger({QStringLiteral("Actions"), QStringLiteral("🎬")});
    return logger;
}

MenuItem item(QString id, QString title, MenuItem::Run run, MenuItem::ActionType type = MenuItem::ActionType::regular) {
    MenuItem menuItem;
    menuItem.id = std::move(id);
    menuItem.title = std::move(title);
    menuItem.action = std::move(run);
    menuItem.actionType = type;
    return menuItem;
}
}  // namespace

std::optional<MenuItem> ActionProvider::primaryAction() const {
    std::vector<MenuItem> items = menuItems();
    if (items.empty()) return std::nullopt;
    return std::move(items.front());
}

// MARK: Commands

CommandActionProvider::CommandActionProvider(std::shared_ptr<const VantrelCommand> command, QString searchText,
                                             Search* search, CommandRunContext context, ArgumentsProvider arguments)
    : m_command(std::move(command)),
      m_searchText(std::move(searchText)),
      m_search(search),
      m_context(std::move(context)),
      m_arguments(std::move(arguments)) {}

CommandOutcome CommandActionProvider::open() const {
    // Read first: the visit below may rebuild the list that showed the fields.
    CommandRunContext context = m_context;
    context.searchText = m_searchText;
    if (m_arguments) context.arguments = m_arguments();
    if (m_search) {
        try {
            if (const auto record = m_search->repository()->record(m_command->searchIdentifier()))
                m_search->visit(SearchItem::fromRecord(*record), Ranking::VisitKind::defaultVisit, m_searchText);
            else
                log().warning("No search record to visit", {{QStringLiteral("key"), m_command->searchIdentifier()}});
        } catch (const std::exception& error) {
            log().error("Cannot record visit", {{QStringLiteral("key"), m_command->searchIdentifier()},
                                                {QStringLiteral("error"), VantrelError::describe(error)}});
        }
    }
    return m_command->run(context);
}

std::vector<MenuItem> CommandActionProvider::menuItems() const {
    const QString commandId = m_command->id().rawValue;
    return {
        item(openCommandId, m_command->primaryActionTitle(), [this] { return open(); }),
        item(configureCommandId, QStringLiteral("Configure Command"),
             [commandId] { return CommandOutcome::showPreferences(commandId); }),
    };
}

// MARK: Fallback searches

FallbackSearchCommandActionProvider::FallbackSearchCommandActionProvider(
    std::shared_ptr<const FallbackSearchCommand> fallback, Search* search, QString searchTerm,
    CommandRunContext context)
    : m_fallback(std::move(fallback)),
      m_search(search),
      m_searchTerm(std::move(searchTerm)),
      m_context(std::move(context)) {}

std::vector<MenuItem> FallbackSearchCommandActionProvider::menuItems() const {
    return {item(searchActionId, QStringLiteral("Search ") + m_fallback->displayName(),
                 [this] { return m_fallback->run(m_searchTerm, m_context); })};
}

// MARK: Running applications

AppActionProvider::AppActionProvider(std::shared_ptr<RunningApplication> application,
                                     OtherApplications otherApplications)
    : m_application(std::move(application)), m_otherApplications(std::move(otherApplications)) {}

std::vector<MenuItem> AppActionProvider::menuItems() const {
    auto application = m_application;
    auto others = m_otherApplications;
    return {
        item(QStringLiteral("switchToApp"), QStringLiteral("Switch to Application"),
             [application] {
                 if (application->activate()) return CommandOutcome::done();
                 return CommandOutcome::failed(QStringLiteral("Unable to switch to ") + application->name(),
                                               QStringLiteral("Please try again later."));
             }),
        item(QStringLiteral("quitApp"), QStringLiteral("Quit"),
             [application] {
                 if (application->quit()) return CommandOutcome::done();
                 return CommandOutcome::failed(QStringLiteral("Unable to quit ") + application->name(),
                                               QStringLiteral("Please try again later."));
             }),
        item(
            QStringLiteral("forceQuitApp"), QStringLiteral("Force Quit"),
            [application] {
                if (application->forceQuit()) return CommandOutcome::done();
                return CommandOutcome::failed(QStringLiteral("Unable to force quit ") + application->name(),
                                              QStringLiteral("Please try again later."));
            },
            MenuItem::ActionType::destructive),
        item(
            QStringLiteral("quitAllOtherApps"), QStringLiteral("Quit All Other Apps"),
            [others] {
                QStringList failed;
                if (others)
                    for (const auto& other : others())
                        if (!other->quit()) failed << other->name();
                if (failed.isEmpty()) return CommandOutcome::done();
                return CommandOutcome::failed(
                    QStringLiteral("Unable to quit all other apps"),
                    QStringLiteral("These applications did not quit: ") + failed.join(QStringLiteral(", ")));
            },
            MenuItem::ActionType::destructive),
    };
}

}  // namespace vantrel
