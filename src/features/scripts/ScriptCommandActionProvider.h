#pragma once

#include "core/commands/ActionProviders.h"
#include "features/scripts/ScriptCommand.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vantrel {

class CommandScheduler;
class LauncherPresenter;
class NotificationCenter;
class RootSearchController;
class Search;

// The actions of a script command in root search: run it as its mode says
// (output view, toast, heads-up display, or the scheduler for inline
// commands), open it, reveal it, duplicate it, copy its text, trash it.
//
// Runs that outlive the key press report through the presenter; without one
// (tests, command line) they run and only log. Immediate failures (missing
// file, missing argument value) come back as failed outcomes for the window
// to show as toasts.
class ScriptCommandActionProvider : public ActionProvider {
public:
    // The values of the argument fields, in order.
    using ArgumentsProvider = std::function<QStringList()>;
    // The "Open With" item of a file: a submenu of the applications that open it.
    using OpenWithMenu = std::function<MenuItem(const QString& path, LauncherPresenter* presenter)>;

    // search: where the visit is recorded (none when null). scheduler: runs
    // inline commands (CommandScheduler::shared() when null).
    ScriptCommandActionProvider(ScriptCommand command, Search* search, QString searchTerm,
                                ArgumentsProvider argumentsProvider, LauncherPresenter* presenter,
                                CommandScheduler* scheduler = nullptr);

    std::vector<MenuItem> menuItems() const override;
    // "Open With" offers the applications of this chooser; without one it
    // opens the script with the desktop's default application.
    void setOpenWithMenu(OpenWithMenu openWithMenu) { m_openWithMenu = std::move(openWithMenu); }
    // The output of the last scheduled run of an inline command.
    std::optional<QVariant> accessory() const override;
    bool isCommand() const override { return true; }
    QString actionPanelTitle() const override { return m_command.displayName; }

    const ScriptCommand& command() const { return m_command; }

    // The primary action: checks the file and the arguments, asks when the
    // script wants confirmation, then runs it.
    CommandOutcome runScript() const;
    CommandOutcome openWith() const;
    CommandOutcome showInFileManager() const;
    CommandOutcome duplicateAndOpen() const;
    CommandOutcome copyContents() const;
    CommandOutcome moveToTrash() const;

    // The argument values as the script gets them: percent-encoded (URL query
    // characters kept) where the argument asks for it.
    static QStringList preparedArguments(const ScriptCommand& command, const QStringList& values);
    // The last line of the output that is not blank, trimmed; empty when there is none.
    static QString lastNonEmptyLine(const QString& output);
    // Where a duplicate of the script goes: "name copy.ext", "name copy 2.ext", …
    static QString duplicatePath(const QString& scriptPath);

    static constexpr QLatin1String runId{"scriptCommandRun"};
    static constexpr QLatin1String openWithId{"scriptCommandOpenWith"};
    static constexpr QLatin1String showInFileManagerId{"scriptCommandShowInFinder"};
    static constexpr QLatin1String duplicateAndOpenId{"scriptCommandDuplicateAndOpen"};
    static constexpr QLatin1String copyContentsId{"scriptCommandCopyContents"};
    static constexpr QLatin1String moveToTrashId{"scriptCommandMoveToTrash"};

private:
    void start(const QStringList& arguments) const;
    void recordVisit() const;

    ScriptCommand m_command;
    Search* m_search;
    QString m_searchTerm;
    ArgumentsProvider m_argumentsProvider;
    LauncherPresenter* m_presenter;
    CommandScheduler* m_scheduler;
    OpenWithMenu m_openWithMenu;
};

// Finds a loaded script command by its id.
using ScriptCommandLookup = std::function<std::optional<ScriptCommand>(const QString& commandId)>;

// Teaches root search to show script command results: kind (an input
// command when it has arguments), icon, package name as subtitle, the
// inline output as accessory and the actions above (an inline command's are
// those of DashboardActionProvider). Reloads the sections,
// keeping the selection, after every scheduled run so the new output shows
// in the row and in its favourite copy. The returned object holds that
// subscription: keep it as long as the controller.
[[nodiscard]] std::unique_ptr<QObject> installScriptCommandItems(
    RootSearchController& controller, ScriptCommandLookup lookup, LauncherPresenter* presenter,
    CommandScheduler* scheduler = nullptr, NotificationCenter* center = nullptr,
    ScriptCommandActionProvider::OpenWithMenu openWith = {});

// The last scheduled output of an inline command with the colours and styles
// its escape sequences asked for (empty for other commands or before a run).
std::vector<StyledTextRun> inlineOutputRuns(const ScriptCommand& command, CommandScheduler* scheduler = nullptr);

}  // namespace vantrel
