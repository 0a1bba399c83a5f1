#include "features/scripts/DashboardActionProvider.h"

#include "features/scripts/CommandScheduler.h"

#include <QFileInfo>
#include <QLocale>

namespace vantrel {

namespace {

MenuItem generalItem(QLatin1String id, QString title, MenuItem::Run run) {
    MenuItem item = MenuItem::make(QString(id), std::move(title), std::move(run));
    item.representedObject = QString(DashboardActionProvider::sectionId);
    return item;
}

}  // namespace

DashboardActionProvider::DashboardActionProvider(ScriptCommand command, Search* search, QString searchTerm,
                                                 LauncherPresenter* presenter, CommandScheduler* scheduler)
    : m_command(command),
      m_runner(std::move(command), search, std::move(searchTerm), {}, presenter, scheduler),
      m_scheduler(scheduler) {}

CommandScheduler& DashboardActionProvider::scheduler() const {
    return m_scheduler ? *m_scheduler : CommandScheduler::shared();
}

std::vector<MenuItem> DashboardActionProvider::menuItems() const {
    return {
        generalItem(runId, QStringLiteral("Run Script"), [this] { return run(); }),
        generalItem(refreshId, refreshTitle(), [this] { return refresh(); }),
        generalItem(copyOutputId, QStringLiteral("Copy Output"), [this] { return copyOutput(); }),
        generalItem(configureId, QStringLiteral("Configure Script Command"), [this] { return configure(); }),
    };
}

std::optional<QVariant> DashboardActionProvider::accessory() const {
    return m_runner.accessory();
}

CommandOutcome DashboardActionProvider::run() const {
    return m_runner.runScript();
}

CommandOutcome DashboardActionProvider::refresh() const {
    if (!QFileInfo(m_command.scriptPath).isFile())
        return CommandOutcome::failed(QStringLiteral("No script file found at path"), m_command.scriptPath);
    scheduler().run(m_command);
    CommandOutcome outcome = CommandOutcome::done();
    // The row shows the new output when the run ends; the window stays for it.
    outcome.toastTitle = QStringLiteral("Refreshing...");
    return outcome;
}

CommandOutcome DashboardActionProvider::copyOutput() const {
    const std::optional<CommandRun> last = scheduler().lastRun(m_command);
    if (!last)
        return CommandOutcome::failed(QStringLiteral("No output to copy"),
                                      QStringLiteral("The script has not run yet."));
    return CommandOutcome::copied(last->output.plainText(), QStringLiteral("Copied output to clipboard"));
}

CommandOutcome DashboardActionProvider::configure() const {
    return CommandOutcome::showPreferences(m_command.id);
}

QString DashboardActionProvider::refreshTitle() const {
    const QString title = QStringLiteral("Refresh");
    const std::optional<CommandRun> last = scheduler().lastRun(m_command);
    if (!last || !last->output.ranAt.isValid()) return title;
    return title + QStringLiteral(" (Refreshed: ") + formattedRunTime(last->output.ranAt) + QLatin1Char(')');
}

QString DashboardActionProvider::formattedRunTime(const QDateTime& ranAt, const QDateTime& now) {
    const QDateTime local = ranAt.toLocalTime();
    const QLocale locale;
    if (local.date() == now.toLocalTime().date()) return locale.toString(local.time(), QLocale::ShortFormat);
    return locale.toString(local, QLocale::ShortFormat);
}

}  // namespace vantrel
