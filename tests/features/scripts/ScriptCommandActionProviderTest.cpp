// The actions of a script command: the run rules of each mode as the window
// would show them, and the file actions on real files.
#include "support/ScriptRunTestSupport.h"

#include "features/scripts/CommandScheduler.h"
#include "features/scripts/ScriptCommandActionProvider.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "kit/UserDefaults.h"
#include "support/CapturingLogHandler.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QThread>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

class ScriptCommandActionProviderTest : public ::testing::Test {
protected:
    ScriptCommandActionProvider provider(const ScriptCommand& command, QStringList values = {}) {
        return ScriptCommandActionProvider(
            command, nullptr, QString(), [values] { return values; }, &presenter, &scheduler);
    }

    // Waits for the toast that follows "Running script...".
    bool waitForToasts(std::size_t count) {
        return waitUntil([&] { return presenter.toasts.size() >= count; }, 10000);
    }

    ScriptFolder folder;
    ScopedLogCapture logs;
    RecordingPresenter presenter;
    UserDefaults defaults{folder.file(QStringLiteral("settings.conf"))};
    NotificationCenter center;
    CommandScheduler scheduler{[] { return std::vector<ScriptCommand>{}; }, &defaults, &center};
};

TEST_F(ScriptCommandActionProviderTest, ActionsInOrder) {
    const ScriptCommand command = folder.script(QStringLiteral("tool.sh"), "echo\n");
    const auto items = provider(command).menuItems();
    QStringList ids;
    QStringList titles;
    for (const MenuItem& item : items) {
        ids << item.id;
        titles << item.title;
    }
    EXPECT_EQ(ids,
              (QStringList{"scriptCommandRun", "scriptCommandOpenWith", "scriptCommandShowInFinder",
                           "scriptCommandDuplicateAndOpen", "scriptCommandCopyContents", "scriptCommandMoveToTrash"}));
    EXPECT_EQ(titles, (QStringList{"Run Script", "Open With", "Show in File Manager", "Duplicate and Open Script",
                                   "Copy Script Contents", "Move To Trash"}));
    EXPECT_EQ(items.back().actionType, MenuItem::ActionType::destructive);
    EXPECT_EQ(provider(command).primaryAction()->id, QStringLiteral("scriptCommandRun"));
}

TEST_F(ScriptCommandActionProviderTest, MissingFileOrArgumentRunsNothing) {
    ScriptCommand gone = ScriptFolder::command(folder.file(QStringLiteral("gone.sh")), ScriptCommand::RunMode::compact);
    const CommandOutcome missing = provider(gone).runScript();
    EXPECT_EQ(missing.kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(missing.title, QStringLiteral("No script file found at path"));

    ScriptCommand command =
        folder.script(QStringLiteral("args.sh"), "echo \"$1|$2\" > \"$(dirname \"$0\")/ran.txt\"\n");
    command.arguments = {
        {ScriptCommand::Argument::ArgumentType::text, QStringLiteral("Query"), std::nullopt, std::nullopt},
        {ScriptCommand::Argument::ArgumentType::text, QStringLiteral("Extra"), std::nullopt, true}};
    for (const QStringList& values : {QStringList{}, QStringList{QString(), QStringLiteral("x")}}) {
        const CommandOutcome outcome = provider(command, values).runScript();
        EXPECT_EQ(outcome.kind, CommandOutcome::Kind::failed);
        EXPECT_EQ(outcome.title, QStringLiteral("Value is missing in argument"));
        EXPECT_EQ(outcome.message, QStringLiteral("Query"));
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(presenter.toasts.empty());
    EXPECT_FALSE(QFile::exists(folder.file(QStringLiteral("ran.txt"))));

    // The optional one may stay empty.
    EXPECT_EQ(provider(command, {QStringLiteral("q")}).runScript().kind, CommandOutcome::Kind::done);
    ASSERT_TRUE(waitForToasts(2));
    EXPECT_EQ(folder.lineCount(QStringLiteral("ran.txt")), 1);
}

TEST_F(ScriptCommandActionProviderTest, CompactShowsTheLastNonBlankLine) {
    const ScriptCommand command =
        folder.script(QStringLiteral("compact.sh"), "echo first\necho '  last line '\necho\necho '   '\n");
    EXPECT_EQ(provider(command).runScript().kind, CommandOutcome::Kind::done);
    ASSERT_EQ(presenter.toasts.size(), 1u);
    EXPECT_EQ(presenter.toasts[0].toast.style, Toast::Style::animated);
    EXPECT_EQ(presenter.toasts[0].toast.title, QStringLiteral("Running script..."));
    ASSERT_TRUE(waitForToasts(2));
    EXPECT_EQ(presenter.toasts[1].id, presenter.toasts[0].id);
    EXPECT_EQ(presenter.toasts[1].toast.style, Toast::Style::success);
    EXPECT_EQ(presenter.toasts[1].toast.title, QStringLiteral("Script finished running"));
    EXPECT_EQ(presenter.toasts[1].toast.message, QStringLiteral("last line"));
    EXPECT_EQ(presenter.hides, 0);
}

TEST_F(ScriptCommandActionProviderTest, CompactFailureAndCancel) {
    const ScriptCommand failing = folder.script(QStringLiteral("failing.sh"), "echo 'disk full' >&2\nexit 1\n");
    provider(failing).runScript();
    ASSERT_TRUE(waitForToasts(2));
    EXPECT_EQ(presenter.toasts[1].toast.style, Toast::Style::failure);
    EXPECT_EQ(presenter.toasts[1].toast.title, QStringLiteral("Script failed to run"));
    EXPECT_EQ(presenter.toasts[1].toast.message, QStringLiteral("disk full"));

    presenter.toasts.clear();
    const ScriptCommand endless = folder.script(QStringLiteral("endless.sh"), "exec sleep 1000\n");
    provider(endless).runScript();
    ASSERT_TRUE(presenter.cancelToast);
    ASSERT_TRUE(
        waitUntil([&] { return logs->contains(QStringLiteral("Will run endless(Tests) script. Mode: compact")); }));
    presenter.cancelToast();
    ASSERT_GE(presenter.toasts.size(), 2u);
    EXPECT_EQ(presenter.toasts[1].toast.title, QStringLiteral("Script process canceled"));
    // The process ends and nothing else is shown.
    ASSERT_TRUE(
        waitUntil([&] { return logs->contains(QStringLiteral("Will interrupt running script. Mode: compact")); }));
    QThread::msleep(300);
    QCoreApplication::processEvents();
    EXPECT_EQ(presenter.toasts.size(), 2u);
}

TEST_F(ScriptCommandActionProviderTest, SilentHidesAndShowsAHeadsUpDisplay) {
    const ScriptCommand talking =
        folder.script(QStringLiteral("talking.sh"), "echo 'Copied 3 files'\n\necho\n", ScriptCommand::RunMode::silent);
    provider(talking).runScript();
    EXPECT_EQ(presenter.hides, 1);
    ASSERT_TRUE(waitUntil([&] { return !presenter.huds.isEmpty(); }, 10000));
    EXPECT_EQ(presenter.huds, QStringList{QStringLiteral("Copied 3 files")});
    ASSERT_TRUE(presenter.hudIcon);
    EXPECT_EQ(presenter.hudIcon->small, talking.icon.small);

    presenter.huds.clear();
    const ScriptCommand quiet = folder.script(QStringLiteral("quiet.sh"), "touch \"$(dirname \"$0\")/quiet.done\"\n",
                                              ScriptCommand::RunMode::silent);
    provider(quiet).runScript();
    ASSERT_TRUE(waitUntil(
        [&] { return logs->contains(QStringLiteral("Script quiet(Tests) process successfully finished running")); },
        10000));
    QCoreApplication::processEvents();
    EXPECT_TRUE(presenter.huds.isEmpty());
    EXPECT_TRUE(presenter.toasts.empty());

    // The window hid for the run: a failure is told in the HUD, never to the hidden window.
    const ScriptCommand failing =
        folder.script(QStringLiteral("broken.sh"), "exit 9\n", ScriptCommand::RunMode::silent);
    provider(failing).runScript();
    ASSERT_TRUE(waitUntil([&] { return !presenter.huds.isEmpty(); }, 10000));
    EXPECT_EQ(presenter.huds, QStringList{QStringLiteral("Script failed to run: Process terminated with status 9")});
    ASSERT_TRUE(presenter.hudIcon);
    EXPECT_EQ(presenter.hudIcon->small, failing.icon.small);
    EXPECT_TRUE(presenter.toasts.empty());
    EXPECT_TRUE(presenter.hiddenToasts.empty());
}

TEST_F(ScriptCommandActionProviderTest, CompactFromAHiddenWindowTellsTheHUD) {
    // Started by its hotkey: nobody sees the window, so no running toast either.
    presenter.visible = false;
    const ScriptCommand counting =
        folder.script(QStringLiteral("count.sh"), "echo 'counted 12 files'\n", ScriptCommand::RunMode::compact);
    EXPECT_EQ(provider(counting).runScript().kind, CommandOutcome::Kind::done);
    ASSERT_TRUE(waitUntil([&] { return !presenter.huds.isEmpty(); }, 10000));
    EXPECT_EQ(presenter.huds, QStringList{QStringLiteral("counted 12 files")});

    presenter.huds.clear();
    const ScriptCommand quiet =
        folder.script(QStringLiteral("quiet-compact.sh"), "true\n", ScriptCommand::RunMode::compact);
    provider(quiet).runScript();
    ASSERT_TRUE(waitUntil([&] { return !presenter.huds.isEmpty(); }, 10000));
    EXPECT_EQ(presenter.huds, QStringList{QStringLiteral("Script finished running")});

    presenter.huds.clear();
    const ScriptCommand failing =
        folder.script(QStringLiteral("failing-compact.sh"), "echo 'no network' >&2\nexit 2\n");
    provider(failing).runScript();
    ASSERT_TRUE(waitUntil([&] { return !presenter.huds.isEmpty(); }, 10000));
    EXPECT_EQ(presenter.huds, QStringList{QStringLiteral("Script failed to run: no network")});

    // Shown while it ran, then hidden before it ended: the end goes to the HUD too.
    presenter.visible = true;
    presenter.huds.clear();
    const ScriptCommand slow = folder.script(
        QStringLiteral("slow.sh"), "while [ ! -e \"$(dirname \"$0\")/go\" ]; do sleep 0.05; done\necho done\n");
    provider(slow).runScript();
    ASSERT_EQ(presenter.toastTitles(), QStringList{QStringLiteral("Running script...")});
    presenter.hideWindow();
    folder.write(QStringLiteral("go"), "");
    ASSERT_TRUE(waitUntil([&] { return !presenter.huds.isEmpty(); }, 10000));
    EXPECT_EQ(presenter.huds, QStringList{QStringLiteral("done")});
    EXPECT_EQ(presenter.toasts.size(), 1u);
    EXPECT_TRUE(presenter.hiddenToasts.empty());
}

TEST_F(ScriptCommandActionProviderTest, FullOutputOpensTheViewWithPreparedArguments) {
    ScriptCommand command =
        folder.script(QStringLiteral("search.sh"), "echo \"$1\"\n", ScriptCommand::RunMode::fullOutput);
    command.arguments = {{ScriptCommand::Argument::ArgumentType::text, QStringLiteral("Query"), true, std::nullopt},
                         {ScriptCommand::Argument::ArgumentType::text, QStringLiteral("Raw"), false, true}};
    provider(command, {QStringLiteral("a b&c=d/é"), QStringLiteral("x y")}).runScript();
    ASSERT_EQ(presenter.shownOutputs.size(), 1u);
    EXPECT_EQ(presenter.shownOutputs[0].first, command.id);
    EXPECT_EQ(presenter.shownOutputs[0].second,
              (QStringList{QStringLiteral("a%20b&c=d/%C3%A9"), QStringLiteral("x y")}));
}

TEST_F(ScriptCommandActionProviderTest, ConfirmationComesFirst) {
    ScriptCommand command =
        folder.script(QStringLiteral("danger.sh"), "echo ran >> \"$(dirname \"$0\")/danger.txt\"\n");
    command.needsConfirmationAlert = true;
    presenter.answer = false;
    provider(command).runScript();
    ASSERT_EQ(presenter.alerts.size(), 1u);
    EXPECT_EQ(presenter.alerts[0].title, QStringLiteral("Are you sure you want to run that script?"));
    EXPECT_EQ(presenter.alerts[0].confirmTitle, QStringLiteral("Run Script"));
    ASSERT_TRUE(presenter.alerts[0].icon);
    EXPECT_TRUE(presenter.toasts.empty());

    presenter.answer = true;
    provider(command).runScript();
    ASSERT_TRUE(waitForToasts(2));
    EXPECT_EQ(folder.lineCount(QStringLiteral("danger.txt")), 1);
}

TEST_F(ScriptCommandActionProviderTest, InlineRunsThroughTheScheduler) {
    ScriptCommand command =
        folder.script(QStringLiteral("uptime.sh"), "echo 'up 5 days'\n", ScriptCommand::RunMode::inline_);
    command.refreshTime = CommandRefreshTime::minutes(5);
    QObject observer;
    int posted = 0;
    center.addObserver(QString(NotificationNames::didRunScheduledCommand), &observer,
                       [&](const Notification&) { ++posted; });
    const auto inlineProvider = provider(command);
    EXPECT_FALSE(inlineProvider.accessory());
    inlineProvider.runScript();
    ASSERT_TRUE(waitUntil([&] { return posted == 1; }, 10000));
    ASSERT_TRUE(inlineProvider.accessory());
    EXPECT_EQ(inlineProvider.accessory()->toString(), QStringLiteral("up 5 days"));
    EXPECT_TRUE(presenter.toasts.empty());
}

TEST_F(ScriptCommandActionProviderTest, CopyContentsAndDuplicate) {
    const QByteArray text = "#!/bin/sh\n# @vantrel.title Tool\necho hi\n";
    const ScriptCommand command =
        ScriptFolder::command(folder.write(QStringLiteral("tool.sh"), text), ScriptCommand::RunMode::compact);
    const CommandOutcome copied = provider(command).copyContents();
    EXPECT_EQ(presenter.clipboard, QString::fromUtf8(text));
    EXPECT_EQ(copied.resultText, QString::fromUtf8(text));

    // No application is known here, so the copy is made but cannot be opened.
    ScopedEnv noApplications("XDG_DATA_DIRS", folder.path().toUtf8());
    const CommandOutcome duplicated = provider(command).duplicateAndOpen();
    const QString copyPath = folder.file(QStringLiteral("tool copy.sh"));
    ASSERT_TRUE(QFile::exists(copyPath));
    QFile copy(copyPath);
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), text);
    EXPECT_TRUE(QFileInfo(copyPath).isExecutable());
    if (duplicated.kind == CommandOutcome::Kind::failed) {
        EXPECT_EQ(duplicated.title, QStringLiteral("Cannot open duplicated script"));
    }
    EXPECT_EQ(ScriptCommandActionProvider::duplicatePath(command.scriptPath),
              folder.file(QStringLiteral("tool copy 2.sh")));

    const ScriptCommand gone =
        ScriptFolder::command(folder.file(QStringLiteral("gone.sh")), ScriptCommand::RunMode::compact);
    EXPECT_EQ(provider(gone).duplicateAndOpen().title, QStringLiteral("Cannot duplicate script"));
    EXPECT_EQ(provider(gone).copyContents().kind, CommandOutcome::Kind::failed);
}

TEST_F(ScriptCommandActionProviderTest, MoveToTrashAsksFirst) {
    const ScriptCommand command = folder.script(QStringLiteral("old.sh"), "echo\n");
    presenter.answer = false;
    provider(command).moveToTrash();
    ASSERT_EQ(presenter.alerts.size(), 1u);
    EXPECT_EQ(presenter.alerts[0].title, QStringLiteral("Are you sure you want to move old.sh to the trash?"));
    EXPECT_EQ(presenter.alerts[0].confirmTitle, QStringLiteral("Move To Trash"));
    EXPECT_EQ(presenter.alerts[0].cancelTitle, QStringLiteral("Cancel"));
    EXPECT_TRUE(QFile::exists(command.scriptPath));

    presenter.answer = true;
    provider(command).moveToTrash();
    EXPECT_FALSE(QFile::exists(command.scriptPath));
    EXPECT_EQ(presenter.toastTitles(), QStringList{QStringLiteral("Moved to trash")});
    const QString trash =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash");
    EXPECT_TRUE(QFile::exists(trash + QStringLiteral("/files/old.sh")));
    EXPECT_TRUE(QFile::exists(trash + QStringLiteral("/info/old.sh.trashinfo")));

    presenter.toasts.clear();
    provider(command).moveToTrash();
    ASSERT_EQ(presenter.toasts.size(), 1u);
    EXPECT_EQ(presenter.toasts[0].toast.style, Toast::Style::failure);
    EXPECT_EQ(presenter.toasts[0].toast.title, QStringLiteral("Failed moving to trash"));
}

TEST(ScriptCommandTextTest, LastNonEmptyLineAndPercentEncoding) {
    EXPECT_EQ(ScriptCommandActionProvider::lastNonEmptyLine(QStringLiteral("a\n b \n\n \n")), QStringLiteral("b"));
    EXPECT_EQ(ScriptCommandActionProvider::lastNonEmptyLine(QStringLiteral("\n\n")), QString());
    EXPECT_EQ(ScriptCommandActionProvider::lastNonEmptyLine(QString()), QString());
    ScriptCommand command;
    command.arguments = {{ScriptCommand::Argument::ArgumentType::text, QStringLiteral("q"), true, std::nullopt}};
    EXPECT_EQ(ScriptCommandActionProvider::preparedArguments(command,
                                                             {QStringLiteral("50% off? yes!"), QStringLiteral("a b")}),
              (QStringList{QStringLiteral("50%25%20off?%20yes!"), QStringLiteral("a b")}));
}

}  // namespace
}  // namespace vantrel::test
