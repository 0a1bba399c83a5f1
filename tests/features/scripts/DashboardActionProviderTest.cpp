// The actions of an inline script command, on real scripts run by the real
// scheduler: run, refresh with the time of the last run, copy the output the
// row shows, configure.
#include "support/ScriptRunTestSupport.h"

#include "features/scripts/CommandScheduler.h"
#include "features/scripts/DashboardActionProvider.h"
#include "kit/NotificationCenter.h"
#include "kit/UserDefaults.h"
#include "support/CapturingLogHandler.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

class DashboardActionProviderTest : public ::testing::Test {
protected:
    DashboardActionProvider provider(const ScriptCommand& command) {
        return DashboardActionProvider(command, nullptr, QString(), &presenter, &scheduler);
    }

    ScriptCommand inlineScript(const QString& name, const QByteArray& body) {
        ScriptCommand command = folder.script(name, body, ScriptCommand::RunMode::inline_);
        command.refreshTime = {CommandRefreshTime::Unit::minutes, 5};
        return command;
    }

    bool waitForRun(const ScriptCommand& command) {
        return waitUntil([&] { return scheduler.lastRun(command).has_value() && !scheduler.isRunning(command.id); },
                         10000);
    }

    static QStringList titles(const std::vector<MenuItem>& items) {
        QStringList list;
        for (const MenuItem& item : items) list << item.title;
        return list;
    }

    ScriptFolder folder;
    ScopedLogCapture logs;
    RecordingPresenter presenter;
    UserDefaults defaults{folder.file(QStringLiteral("settings.conf"))};
    NotificationCenter center;
    CommandScheduler scheduler{[] { return std::vector<ScriptCommand>{}; }, &defaults, &center};
};

TEST_F(DashboardActionProviderTest, ActionsOfTheGeneralSectionAndTheTimeOfTheLastRun) {
    const ScriptCommand command =
        inlineScript(QStringLiteral("weather.sh"), "printf '\\033[36m21°C\\033[0m sunny\\n'\n");
    const DashboardActionProvider dashboard = provider(command);
    const std::vector<MenuItem> before = dashboard.menuItems();
    QStringList ids;
    for (const MenuItem& item : before) {
        ids << item.id;
        EXPECT_EQ(item.representedObject.toString(), QStringLiteral("general")) << item.id.toStdString();
    }
    EXPECT_EQ(ids, (QStringList{"scriptCommandRun", "refresh", "copyOutput", "configureScriptCommand"}));
    EXPECT_EQ(titles(before), (QStringList{"Run Script", "Refresh", "Copy Output", "Configure Script Command"}));
    EXPECT_EQ(dashboard.primaryAction()->id, QStringLiteral("scriptCommandRun"));
    // Nothing ran yet: nothing to copy, nothing in the row.
    EXPECT_FALSE(dashboard.accessory());
    const CommandOutcome nothing = dashboard.copyOutput();
    EXPECT_EQ(nothing.kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(nothing.title, QStringLiteral("No output to copy"));

    // Refresh runs the script now; the window stays and says so.
    const CommandOutcome refreshing = dashboard.refresh();
    EXPECT_EQ(refreshing.kind, CommandOutcome::Kind::done);
    EXPECT_EQ(refreshing.toastTitle, QStringLiteral("Refreshing..."));
    ASSERT_TRUE(waitForRun(command));

    const QDateTime ranAt = scheduler.lastRun(command)->output.ranAt;
    EXPECT_EQ(dashboard.refreshTitle(),
              QStringLiteral("Refresh (Refreshed: ") + DashboardActionProvider::formattedRunTime(ranAt) +
                  QLatin1Char(')'));
    EXPECT_EQ(titles(dashboard.menuItems()).at(1), dashboard.refreshTitle());
    // The row and the clipboard get the text without its colours.
    ASSERT_TRUE(dashboard.accessory());
    EXPECT_EQ(dashboard.accessory()->toString(), QStringLiteral("21°C sunny"));
    const CommandOutcome copied = dashboard.copyOutput();
    EXPECT_EQ(copied.kind, CommandOutcome::Kind::done);
    EXPECT_EQ(copied.resultText, QStringLiteral("21°C sunny"));
    EXPECT_EQ(copied.toastTitle, QStringLiteral("Copied output to clipboard"));

    const CommandOutcome configure = dashboard.configure();
    EXPECT_EQ(configure.kind, CommandOutcome::Kind::showPreferences);
    EXPECT_EQ(configure.commandId, command.id);
}

TEST_F(DashboardActionProviderTest, RunAndRefreshStartOneProcessAtATime) {
    // Each run leaves a line, then takes its time.
    const ScriptCommand command = inlineScript(
        QStringLiteral("slow.sh"), "echo run >> \"$(dirname \"$0\")/runs.txt\"\nsleep 1\necho done\n");
    const DashboardActionProvider dashboard = provider(command);
    EXPECT_EQ(dashboard.run().kind, CommandOutcome::Kind::done);
    EXPECT_EQ(dashboard.refresh().kind, CommandOutcome::Kind::done);
    EXPECT_EQ(dashboard.refresh().kind, CommandOutcome::Kind::done);
    ASSERT_TRUE(waitForRun(command));
    EXPECT_EQ(folder.lineCount(QStringLiteral("runs.txt")), 1);
    EXPECT_EQ(dashboard.accessory()->toString(), QStringLiteral("done"));

    // Once it ended, a refresh runs it again.
    dashboard.refresh();
    ASSERT_TRUE(waitUntil([&] { return folder.lineCount(QStringLiteral("runs.txt")) == 2; }, 10000));
    ASSERT_TRUE(waitForRun(command));
}

TEST_F(DashboardActionProviderTest, AFailedRunLeavesItsErrorToCopy) {
    const ScriptCommand command = inlineScript(QStringLiteral("broken.sh"), "exit 3\n");
    const DashboardActionProvider dashboard = provider(command);
    dashboard.refresh();
    ASSERT_TRUE(waitForRun(command));
    EXPECT_EQ(dashboard.copyOutput().resultText, QStringLiteral("Process terminated with status 3"));
    EXPECT_TRUE(dashboard.refreshTitle().startsWith(QStringLiteral("Refresh (Refreshed: ")));
}

TEST_F(DashboardActionProviderTest, AMissingScriptRunsNothing) {
    const ScriptCommand gone =
        ScriptFolder::command(folder.file(QStringLiteral("gone.sh")), ScriptCommand::RunMode::inline_);
    const DashboardActionProvider dashboard = provider(gone);
    for (const CommandOutcome& outcome : {dashboard.run(), dashboard.refresh()}) {
        EXPECT_EQ(outcome.kind, CommandOutcome::Kind::failed);
        EXPECT_EQ(outcome.title, QStringLiteral("No script file found at path"));
    }
    EXPECT_FALSE(scheduler.isRunning(gone.id));
    EXPECT_FALSE(scheduler.lastRun(gone));
}

TEST_F(DashboardActionProviderTest, TheRunTimeIsShortTodayAndDatedBefore) {
    const QDateTime now = QDateTime(QDate(2026, 3, 14), QTime(15, 30));
    const QDateTime earlier = QDateTime(QDate(2026, 3, 14), QTime(9, 5));
    const QDateTime yesterday = QDateTime(QDate(2026, 3, 13), QTime(9, 5));
    EXPECT_EQ(DashboardActionProvider::formattedRunTime(earlier, now),
              QLocale().toString(QTime(9, 5), QLocale::ShortFormat));
    EXPECT_EQ(DashboardActionProvider::formattedRunTime(yesterday, now),
              QLocale().toString(yesterday, QLocale::ShortFormat));
    EXPECT_NE(DashboardActionProvider::formattedRunTime(yesterday, now),
              DashboardActionProvider::formattedRunTime(earlier, now));
}

}  // namespace
}  // namespace vantrel::test
