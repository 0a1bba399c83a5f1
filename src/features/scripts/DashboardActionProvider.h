#pragma once

#include "core/commands/ActionProviders.h"
#include "features/scripts/ScriptCommand.h"
#include "features/scripts/ScriptCommandActionProvider.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace vantrel {

class CommandScheduler;
class LauncherPresenter;
class Search;

// The actions of an inline script command, whose output the scheduler keeps
// and its row shows: run it (the primary action, recorded as a use), run it
// again now ("Refresh", with the time of the last run), copy the output its
// row shows, open its settings. All of them are in the "general" section.
class DashboardActionProvider : public ActionProvider {
public:
    // search: where the run is recorded as a use (none when null); scheduler:
    // CommandScheduler::shared() when null.
    DashboardActionProvider(ScriptCommand command, Search* search, QString searchTerm, LauncherPresenter* presenter,
                            CommandScheduler* scheduler = nullptr);

    std::vector<MenuItem> menuItems() const override;
    // The output of the last run, as the row shows it.
    std::optional<QVariant> accessory() const override;
    bool isCommand() const override { return true; }
    QString actionPanelTitle() const override { return m_command.displayName; }

    const ScriptCommand& command() const { return m_command; }

    // Runs it as its row's Return does: checks the file, asks when the script
    // wants confirmation, records the use, hands it to the scheduler.
    CommandOutcome run() const;
    // Runs it now through the scheduler (unless it is running), without
    // counting it as a use; the window stays and says so.
    CommandOutcome refresh() const;
    // The last output, without its terminal styles, for the clipboard.
    CommandOutcome copyOutput() const;
    // The command's page in the preferences.
    CommandOutcome configure() const;

    // "Refresh", followed by " (Refreshed: <time>)" once it ran.
    QString refreshTitle() const;
    // The time of a run as the refresh title shows it: the time alone when it
    // was today, else the date and time, both in the short form of the locale.
    static QString formattedRunTime(const QDateTime& ranAt, const QDateTime& now = QDateTime::currentDateTime());

    static constexpr QLatin1String sectionId{"general"};
    static constexpr QLatin1String runId = ScriptCommandActionProvider::runId;
    static constexpr QLatin1String refreshId{"refresh"};
    static constexpr QLatin1String copyOutputId{"copyOutput"};
    static constexpr QLatin1String configureId{"configureScriptCommand"};

private:
    CommandScheduler& scheduler() const;

    ScriptCommand m_command;
    ScriptCommandActionProvider m_runner;
    CommandScheduler* m_scheduler;
};

}  // namespace vantrel
