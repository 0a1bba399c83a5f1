#pragma once

#include "core/commands/CommandModel.h"

#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vantrel {

class Search;

// Gives a search result its list of actions; the first is the primary one (Return).
class ActionProvider {
public:
    virtual ~ActionProvider() = default;
    virtual std::vector<MenuItem> menuItems() const = 0;
    virtual std::optional<QVariant> accessory() const { return std::nullopt; }
    // True for command results.
    virtual bool isCommand() const { return false; }
    virtual QString actionPanelTitle() const = 0;
    // The first menu item.
    virtual std::optional<MenuItem> primaryAction() const;
};

// A command result: "Open Command" (records a visit for the search text, then
// runs the command) and "Configure Command" (opens its preferences page).
class CommandActionProvider : public ActionProvider {
public:
    // The values of the command's argument fields when it runs.
    using ArgumentsProvider = std::function<QStringList()>;

    // arguments: when set, the run gets its values instead of the context's.
    CommandActionProvider(std::shared_ptr<const VantrelCommand> command, QString searchText, Search* search,
                          CommandRunContext context = {}, ArgumentsProvider arguments = {});

    std::vector<MenuItem> menuItems() const override;
    bool isCommand() const override { return true; }
    QString actionPanelTitle() const override { return m_command->displayName(); }

    static constexpr QLatin1String openCommandId{"openCommand"};
    static constexpr QLatin1String configureCommandId{"configureCommand"};

private:
    CommandOutcome open() const;

    std::shared_ptr<const VantrelCommand> m_command;
    QString m_searchText;
    Search* m_search;
    CommandRunContext m_context;
    ArgumentsProvider m_arguments;
};

// A fallback row: one action that runs the fallback with the search term.
class FallbackSearchCommandActionProvider : public ActionProvider {
public:
    FallbackSearchCommandActionProvider(std::shared_ptr<const FallbackSearchCommand> fallback, Search* search,
                                        QString searchTerm, CommandRunContext context = {});

    std::vector<MenuItem> menuItems() const override;
    QString actionPanelTitle() const override { return m_fallback->displayName(); }

    static constexpr QLatin1String searchActionId{"fallbackSearch"};

private:
    std::shared_ptr<const FallbackSearchCommand> m_fallback;
    Search* m_search;
    QString m_searchTerm;
    CommandRunContext m_context;
};

// A running application as the app switcher sees it.
class RunningApplication {
public:
    virtual ~RunningApplication() = default;
    virtual QString name() const = 0;
    // Each answers whether the desktop accepted the request.
    virtual bool activate() = 0;
    virtual bool quit() = 0;
    virtual bool forceQuit() = 0;
};

// A running application in the app switcher: switch to it, quit it, force
// quit it, or quit all the others.
class AppActionProvider : public ActionProvider {
public:
    using OtherApplications = std::function<std::vector<std::shared_ptr<RunningApplication>>()>;

    AppActionProvider(std::shared_ptr<RunningApplication> application, OtherApplications otherApplications = {});

    std::vector<MenuItem> menuItems() const override;
    QString actionPanelTitle() const override { return m_application->name(); }

    static constexpr QLatin1String sectionId{"appSwitcher-primary-section"};

private:
    std::shared_ptr<RunningApplication> m_application;
    OtherApplications m_otherApplications;
};

}  // namespace vantrel
