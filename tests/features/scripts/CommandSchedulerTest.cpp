// Inline script commands refreshed in the background: the timer, the due
// test, what is stored and announced, and what survives a restart.
#include "support/ScriptRunTestSupport.h"

#include "features/scripts/CommandScheduler.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "kit/UserDefaults.h"
#include "support/CapturingLogHandler.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <memory>

namespace vantrel::test {
namespace {

class CommandSchedulerTest : public ::testing::Test {
protected:
    void SetUp() override {
        defaults = std::make_unique<UserDefaults>(folder.file(QStringLiteral("settings.conf")));
        center.addObserver(QString(NotificationNames::didRunScheduledCommand), &observer,
                           [this](const Notification& notification) {
                               runs.push_back(notification.object.value<std::shared_ptr<const CommandRun>>());
                           });
    }

    std::unique_ptr<CommandScheduler> makeScheduler() {
        return std::make_unique<CommandScheduler>([this] { return commands; }, defaults.get(), &center);
    }

    ScriptCommand inlineScript(const QString& name, const QByteArray& body, CommandRefreshTime refresh) {
        ScriptCommand command = folder.script(name, body, ScriptCommand::RunMode::inline_);
        command.refreshTime = refresh;
        return command;
    }

    ScriptFolder folder;
    ScopedLogCapture logs;
    std::unique_ptr<UserDefaults> defaults;
    NotificationCenter center;
    QObject observer;
    std::vector<ScriptCommand> commands;
    std::vector<std::shared_ptr<const CommandRun>> runs;
};

TEST_F(CommandSchedulerTest, NoRefreshableCommandsNoTimer) {
    ScriptCommand compact = folder.script(QStringLiteral("compact.sh"), "echo hi\n");
    compact.refreshTime = CommandRefreshTime::seconds(30);
    ScriptCommand inlineWithout =
        folder.script(QStringLiteral("inline.sh"), "echo hi\n", ScriptCommand::RunMode::inline_);
    commands = {compact, inlineWithout};
    auto scheduler = makeScheduler();
    scheduler->schedule();
    EXPECT_FALSE(scheduler->isScheduled());
    EXPECT_TRUE(scheduler->refreshableCommands().empty());
    EXPECT_TRUE(logs->contains(QStringLiteral("No refreshable commands available")));
}

TEST_F(CommandSchedulerTest, IntervalIsTheShortestRefreshButAtLeastTenSeconds) {
    commands = {inlineScript(QStringLiteral("fast.sh"), "echo 1\n", CommandRefreshTime::seconds(1)),
                inlineScript(QStringLiteral("slow.sh"), "echo 2\n", CommandRefreshTime::seconds(20))};
    auto scheduler = makeScheduler();
    scheduler->schedule();
    EXPECT_TRUE(scheduler->isScheduled());
    EXPECT_DOUBLE_EQ(scheduler->interval(), 10.0);
    EXPECT_DOUBLE_EQ(scheduler->tolerance(), 1.0);
    EXPECT_TRUE(logs->contains(QStringLiteral("Scheduled command runs with interval: 10s and tolerance: 1s")));

    commands = {inlineScript(QStringLiteral("half.sh"), "echo 1\n", CommandRefreshTime::seconds(30)),
                inlineScript(QStringLiteral("hourly.sh"), "echo 2\n", CommandRefreshTime::hours(1))};
    scheduler->schedule();
    EXPECT_DOUBLE_EQ(scheduler->interval(), 30.0);
    EXPECT_DOUBLE_EQ(scheduler->tolerance(), 3.0);

    // Commands that go away stop the timer.
    commands.clear();
    scheduler->schedule();
    EXPECT_FALSE(scheduler->isScheduled());
}

TEST_F(CommandSchedulerTest, DueAfterTheRefreshLengthLessTheTolerance) {
    const ScriptCommand command = inlineScript(QStringLiteral("due.sh"), "echo 1\n", CommandRefreshTime::seconds(20));
    commands = {command};
    auto scheduler = makeScheduler();
    scheduler->schedule();
    const QDateTime started = scheduler->startedAt();
    // Interval 20 s, tolerance 2 s.
    EXPECT_DOUBLE_EQ(scheduler->tolerance(), 2.0);
    EXPECT_FALSE(scheduler->isDue(command, started.addMSecs(17900)));
    EXPECT_TRUE(scheduler->isDue(command, started.addSecs(18)));
}

TEST_F(CommandSchedulerTest, StoresTrimmedOutputAndAnnouncesTheRun) {
    const QByteArray line(300, 'x');
    const ScriptCommand command = inlineScript(QStringLiteral("long.sh"), "printf '\\n\\n  " + line + "\\n\\n'\n",
                                               CommandRefreshTime::minutes(5));
    commands = {command};
    auto scheduler = makeScheduler();
    scheduler->run(command);
    EXPECT_TRUE(scheduler->isRunning(command.id));
    ASSERT_TRUE(waitUntil([&] { return !runs.empty(); }, 10000));
    EXPECT_FALSE(scheduler->isRunning(command.id));
    ASSERT_TRUE(runs[0]);
    EXPECT_EQ(runs[0]->command.id, command.id);
    EXPECT_EQ(runs[0]->output.stringValue, QString(140, QLatin1Char('x')));
    EXPECT_EQ(runs[0]->output.plainText(), QString(140, QLatin1Char('x')));

    const std::optional<CommandRun> last = scheduler->lastRun(command);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->output.stringValue, QString(140, QLatin1Char('x')));
    EXPECT_LE(std::abs(last->output.ranAt.msecsTo(QDateTime::currentDateTimeUtc())), 10000);

    // Stored as {"id": {"output": …, "ranAt": "<seconds since 1970>"}}.
    const QVariant stored = defaults->value(QStringLiteral("commandScheduler_commandRuns"));
    const QJsonDocument document = QJsonDocument::fromJson(stored.toString().toUtf8());
    const QJsonObject entry = document.object().value(command.id).toObject();
    EXPECT_EQ(entry.value(QStringLiteral("output")).toString(), QString(140, QLatin1Char('x')));
    bool numeric = false;
    entry.value(QStringLiteral("ranAt")).toString().toDouble(&numeric);
    EXPECT_TRUE(numeric);
}

TEST_F(CommandSchedulerTest, ColouredOutputIsStyled) {
    const ScriptCommand command = inlineScript(QStringLiteral("colour.sh"), "printf '\\033[32mup\\033[0m 3 days'\n",
                                               CommandRefreshTime::minutes(1));
    auto scheduler = makeScheduler();
    scheduler->run(command);
    ASSERT_TRUE(waitUntil([&] { return !runs.empty(); }, 10000));
    EXPECT_EQ(runs[0]->output.plainText(), QStringLiteral("up 3 days"));
    ASSERT_FALSE(runs[0]->output.attributesStringValue.empty());
    EXPECT_EQ(runs[0]->output.attributesStringValue[0].attributes.foreground,
              (TerminalColor{QStringLiteral("terminalGreen"), std::nullopt}));
}

TEST_F(CommandSchedulerTest, FailureIsStoredAsTheOutput) {
    const ScriptCommand command = inlineScript(QStringLiteral("fails.sh"), "exit 3\n", CommandRefreshTime::seconds(30));
    auto scheduler = makeScheduler();
    scheduler->run(command);
    ASSERT_TRUE(waitUntil([&] { return !runs.empty(); }, 10000));
    EXPECT_EQ(runs[0]->output.stringValue, QStringLiteral("Process terminated with status 3"));
    EXPECT_TRUE(logs->contains(QStringLiteral("Could not run command: Process terminated with status 3")));
    const auto last = scheduler->lastRun(command);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->output.stringValue, QStringLiteral("Process terminated with status 3"));
    // Retried only after its full refresh length.
    EXPECT_FALSE(scheduler->isDue(command, QDateTime::currentDateTimeUtc()));
}

TEST_F(CommandSchedulerTest, TwoTicksWhileASlowScriptRunsStartItOnce) {
    const ScriptCommand command =
        inlineScript(QStringLiteral("slow.sh"), "echo run >> \"$(dirname \"$0\")/runs.txt\"\nsleep 0.5\necho ok\n",
                     CommandRefreshTime::seconds(1));
    commands = {command};
    auto scheduler = makeScheduler();
    scheduler->schedule();
    // With a 1 s refresh and a 1 s tolerance the command is due at once.
    scheduler->tick();
    scheduler->tick();
    ASSERT_TRUE(waitUntil([&] { return !runs.empty(); }, 10000));
    QCoreApplication::processEvents();
    EXPECT_EQ(runs.size(), 1u);
    EXPECT_EQ(folder.lineCount(QStringLiteral("runs.txt")), 1);
    EXPECT_EQ(runs[0]->output.stringValue, QStringLiteral("ok"));
}

TEST_F(CommandSchedulerTest, StoredRunsSurviveARestart) {
    const ScriptCommand command =
        inlineScript(QStringLiteral("hourly.sh"), "echo 42 users\n", CommandRefreshTime::hours(1));
    const ScriptCommand other =
        inlineScript(QStringLiteral("never.sh"), "echo never\n", CommandRefreshTime::seconds(30));
    commands = {command, other};
    {
        auto first = makeScheduler();
        first->run(command);
        ASSERT_TRUE(waitUntil([&] { return !runs.empty(); }, 10000));
    }
    defaults->sync();
    auto reopened = std::make_unique<UserDefaults>(folder.file(QStringLiteral("settings.conf")));
    CommandScheduler second([this] { return commands; }, reopened.get(), &center);
    second.schedule();
    const auto last = second.lastRun(command);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->output.stringValue, QStringLiteral("42 users"));
    // It ran just now, so the next launch does not run it again at once.
    EXPECT_FALSE(second.isDue(command, QDateTime::currentDateTimeUtc()));
    EXPECT_FALSE(second.lastRun(other));
    EXPECT_TRUE(second.isDue(other, second.startedAt().addSecs(27)));
}

TEST_F(CommandSchedulerTest, IncompleteStoredEntriesCountAsNoRun) {
    const ScriptCommand missingRanAt = inlineScript(QStringLiteral("a.sh"), "echo\n", CommandRefreshTime::minutes(1));
    const ScriptCommand textRanAt = inlineScript(QStringLiteral("b.sh"), "echo\n", CommandRefreshTime::minutes(1));
    const ScriptCommand fine = inlineScript(QStringLiteral("c.sh"), "echo\n", CommandRefreshTime::minutes(1));
    const ScriptCommand notObject = inlineScript(QStringLiteral("d.sh"), "echo\n", CommandRefreshTime::minutes(1));
    QJsonObject stored;
    stored.insert(missingRanAt.id, QJsonObject{{QStringLiteral("output"), QStringLiteral("a")}});
    stored.insert(textRanAt.id, QJsonObject{{QStringLiteral("output"), QStringLiteral("b")},
                                            {QStringLiteral("ranAt"), QStringLiteral("soon")}});
    stored.insert(fine.id, QJsonObject{{QStringLiteral("output"), QStringLiteral("c")},
                                       {QStringLiteral("ranAt"), QStringLiteral("1700000000.5")}});
    stored.insert(notObject.id, QStringLiteral("d"));
    defaults->setValue(QStringLiteral("commandScheduler_commandRuns"),
                       QString::fromUtf8(QJsonDocument(stored).toJson(QJsonDocument::Compact)));
    auto scheduler = makeScheduler();
    EXPECT_FALSE(scheduler->lastRun(missingRanAt));
    EXPECT_FALSE(scheduler->lastRun(textRanAt));
    EXPECT_FALSE(scheduler->lastRun(notObject));
    const auto last = scheduler->lastRun(fine);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->output.ranAt.toMSecsSinceEpoch(), 1700000000500);

    // A store that is not JSON at all reads as no runs, and the next run writes a fresh one.
    defaults->setValue(QStringLiteral("commandScheduler_commandRuns"), QStringLiteral("{not json"));
    auto fresh = makeScheduler();
    EXPECT_FALSE(fresh->lastRun(fine));
    fresh->run(fine);
    ASSERT_TRUE(waitUntil([&] { return !runs.empty(); }, 10000));
    EXPECT_TRUE(fresh->lastRun(fine));
}

TEST_F(CommandSchedulerTest, ReschedulesWhenScriptCommandsChange) {
    auto scheduler = makeScheduler();
    scheduler->schedule();
    EXPECT_FALSE(scheduler->isScheduled());
    commands = {inlineScript(QStringLiteral("new.sh"), "echo\n", CommandRefreshTime::minutes(2))};
    center.post(QString(NotificationNames::scriptCommandsChanged));
    EXPECT_TRUE(logs->contains(QStringLiteral("Rescheduling after script commands changed")));
    ASSERT_TRUE(waitUntil([&] { return scheduler->isScheduled(); }));
    EXPECT_DOUBLE_EQ(scheduler->interval(), 120.0);
}

}  // namespace
}  // namespace vantrel::test
