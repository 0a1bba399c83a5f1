// Real script processes: what they print, how they end, where and with what
// environment they start.
#include "support/ScriptRunTestSupport.h"

#include "features/scripts/ScriptCommandRunner.h"
#include "support/CapturingLogHandler.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QThread>

#include <gtest/gtest.h>

#include <optional>

namespace vantrel::test {
namespace {

class ScriptCommandRunnerTest : public ::testing::Test {
protected:
    // Runs to the end and answers the one result.
    Result<QString> runToEnd(const ScriptCommand& command, const QStringList& arguments = {}) {
        ScriptCommandRunner runner(command);
        std::optional<Result<QString>> result;
        int calls = 0;
        runner.run(arguments, [&](const Result<QString>& outcome) {
            EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
            ++calls;
            result = outcome;
        });
        EXPECT_TRUE(waitUntil([&] { return result.has_value(); }, 20000));
        QCoreApplication::processEvents();
        EXPECT_EQ(calls, 1);
        if (!result) return VantrelError(QStringLiteral("no result"));
        return *result;
    }

    static QString text(const Result<QString>& result) {
        return result.isSuccess() ? result.value() : QStringLiteral("failure: ") + result.error().errorDescription();
    }

    ScriptFolder folder;
    ScopedLogCapture logs;
};

TEST_F(ScriptCommandRunnerTest, OutputAndErrorArriveInterleavedInOneText) {
    const ScriptCommand command =
        folder.script(QStringLiteral("both.sh"), "echo one\necho two >&2\necho three\nprintf 'four' >&2\n");
    EXPECT_EQ(text(runToEnd(command)), QStringLiteral("one\ntwo\nthree\nfour"));

    const ScriptCommand errorOnly = folder.script(QStringLiteral("stderr.sh"), "echo 'only on stderr' >&2\n");
    EXPECT_EQ(text(runToEnd(errorOnly)), QStringLiteral("only on stderr\n"));
    EXPECT_TRUE(logs->contains(QStringLiteral("Will run stderr(Tests) script. Mode: compact")));
    EXPECT_TRUE(logs->contains(QStringLiteral("Script stderr(Tests) process successfully finished running")));
}

TEST_F(ScriptCommandRunnerTest, NonZeroStatusFailsWithTrimmedOutputOrTheStatus) {
    const ScriptCommand silent = folder.script(QStringLiteral("three.sh"), "exit 3\n");
    EXPECT_EQ(text(runToEnd(silent)), QStringLiteral("failure: Process terminated with status 3"));

    const ScriptCommand blank = folder.script(QStringLiteral("blank.sh"), "printf '\\n  \\n'\nexit 1\n");
    EXPECT_EQ(text(runToEnd(blank)), QStringLiteral("failure: Process terminated with status 1"));

    const ScriptCommand talking =
        folder.script(QStringLiteral("talking.sh"), "echo\necho '  went wrong  ' >&2\necho\nexit 7\n");
    EXPECT_EQ(text(runToEnd(talking)), QStringLiteral("failure: went wrong"));
}

TEST_F(ScriptCommandRunnerTest, ArgumentsArriveOnePerValueInOrder) {
    const ScriptCommand command =
        folder.script(QStringLiteral("args.sh"), "echo \"$#\"\nfor a in \"$@\"; do echo \"[$a]\"; done\n");
    EXPECT_EQ(text(runToEnd(command)), QStringLiteral("0\n"));
    EXPECT_EQ(text(runToEnd(command, {QStringLiteral("a b"), QString(), QStringLiteral("ü")})),
              QStringLiteral("3\n[a b]\n[]\n[ü]\n"));
}

TEST_F(ScriptCommandRunnerTest, OutputThatIsNotUtf8IsEmpty) {
    const ScriptCommand invalid = folder.script(QStringLiteral("latin1.sh"), "printf 'caf\\351\\n'\n");
    EXPECT_EQ(text(runToEnd(invalid)), QString());
    const ScriptCommand overlong = folder.script(QStringLiteral("overlong.sh"), "printf '\\300\\257'\n");
    EXPECT_EQ(text(runToEnd(overlong)), QString());
    const ScriptCommand valid =
        folder.script(QStringLiteral("utf8.sh"), "printf 'caf\\303\\251 \\360\\237\\230\\200'\n");
    EXPECT_EQ(text(runToEnd(valid)), QStringLiteral("café 😀"));
    // A failing script with such output reports its status.
    const ScriptCommand invalidFailure = folder.script(QStringLiteral("bad.sh"), "printf '\\377'\nexit 5\n");
    EXPECT_EQ(text(runToEnd(invalidFailure)), QStringLiteral("failure: Process terminated with status 5"));
}

TEST_F(ScriptCommandRunnerTest, WorkingDirectoryFollowsTheCommand) {
    ASSERT_TRUE(QDir(folder.path()).mkpath(QStringLiteral("nested/inner")));
    ASSERT_TRUE(QDir(folder.path()).mkpath(QStringLiteral("other")));
    ScriptCommand command = folder.script(QStringLiteral("nested/pwd.sh"), "pwd -P\n");
    const QString nested = QDir(folder.path() + QStringLiteral("/nested")).canonicalPath();
    EXPECT_EQ(text(runToEnd(command)), nested + QLatin1Char('\n'));

    command.currentDirectoryPath = QStringLiteral("inner/../../other");
    EXPECT_EQ(ScriptCommandRunner::workingDirectory(command), folder.path() + QStringLiteral("/other"));
    EXPECT_EQ(text(runToEnd(command)),
              QDir(folder.path() + QStringLiteral("/other")).canonicalPath() + QLatin1Char('\n'));

    command.currentDirectoryPath = QStringLiteral("/");
    EXPECT_EQ(text(runToEnd(command)), QStringLiteral("/\n"));

    // "~" is not expanded: such a folder does not exist, so the script cannot start.
    command.currentDirectoryPath = QStringLiteral("~/vantrel-no-such-folder");
    EXPECT_EQ(ScriptCommandRunner::workingDirectory(command), QStringLiteral("~/vantrel-no-such-folder"));
    const Result<QString> result = runToEnd(command);
    ASSERT_TRUE(result.isFailure());
    EXPECT_FALSE(result.error().errorDescription().isEmpty());
}

TEST_F(ScriptCommandRunnerTest, EnvironmentLeadsPathWithUsrLocalBinAndSetsLang) {
    const ScriptCommand command =
        folder.script(QStringLiteral("env.sh"), "echo \"$PATH\"\necho \"$LANG\"\necho \"$VANTREL_TEST_MARK\"\n");
    ScopedEnv mark("VANTREL_TEST_MARK", QByteArray("inherited"));
    {
        ScopedEnv path("PATH", QByteArray("/usr/bin:/bin"));
        EXPECT_EQ(text(runToEnd(command)), QStringLiteral("/usr/local/bin:/usr/bin:/bin\n") + QLocale::system().name() +
                                               QStringLiteral(".UTF-8\ninherited\n"));
    }
    ScopedEnv noPath("PATH", std::nullopt);
    EXPECT_TRUE(text(runToEnd(command)).startsWith(QStringLiteral("/usr/local/bin\n")));
}

TEST_F(ScriptCommandRunnerTest, LaunchErrorsAreFailures) {
    const ScriptCommand notExecutable = ScriptFolder::command(
        folder.write(QStringLiteral("plain.sh"), "#!/bin/sh\necho hi\n", false), ScriptCommand::RunMode::compact);
    const Result<QString> denied = runToEnd(notExecutable);
    ASSERT_TRUE(denied.isFailure());
    EXPECT_FALSE(denied.error().errorDescription().isEmpty());

    const ScriptCommand noInterpreter = ScriptFolder::command(
        folder.write(QStringLiteral("ghost.sh"), "#!/no/such/interpreter\necho hi\n"), ScriptCommand::RunMode::compact);
    EXPECT_TRUE(runToEnd(noInterpreter).isFailure());

    const ScriptCommand missing =
        ScriptFolder::command(folder.file(QStringLiteral("missing.sh")), ScriptCommand::RunMode::compact);
    EXPECT_TRUE(runToEnd(missing).isFailure());
}

TEST_F(ScriptCommandRunnerTest, CancelInterruptsANeverEndingScript) {
    const ScriptCommand trapping =
        folder.script(QStringLiteral("forever.sh"),
                      "trap 'echo interrupted; exit 130' INT\necho started\nwhile :; do sleep 0.1; done\n");
    QString streamed;
    ScriptCommandRunner runner(trapping, [&](const QString& chunk) { streamed += chunk; });
    std::optional<Result<QString>> result;
    runner.run({}, [&](const Result<QString>& outcome) { result = outcome; });
    // "started" comes after the trap is in place.
    ASSERT_TRUE(waitUntil([&] { return streamed == QStringLiteral("started\n"); }, 10000));
    runner.cancel();
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }, 10000));
    EXPECT_EQ(streamed, QStringLiteral("started\ninterrupted\n"));
    EXPECT_EQ(text(*result), QStringLiteral("failure: Process terminated with status 130"));
    EXPECT_TRUE(logs->contains(QStringLiteral("Will interrupt running script. Mode: compact")));

    // A program that does not handle the interrupt dies of it: the signal is its status.
    const ScriptCommand sleeper = folder.script(QStringLiteral("sleeper.sh"), "exec sleep 1000\n");
    ScriptCommandRunner second(sleeper);
    std::optional<Result<QString>> ended;
    second.run({}, [&](const Result<QString>& outcome) { ended = outcome; });
    ASSERT_TRUE(waitUntil([&] { return second.isRunning(); }));
    second.cancel();
    ASSERT_TRUE(waitUntil([&] { return ended.has_value(); }, 10000));
    EXPECT_EQ(text(*ended), QStringLiteral("failure: Process terminated with status 2"));
}

TEST_F(ScriptCommandRunnerTest, CancelEndsAShellWaitingForItsChild) {
    // The shell of this script waits for `sleep`; the interrupt reaches both.
    const ScriptCommand command =
        ScriptFolder::command(QStringLiteral(QT_TESTCASE_SOURCEDIR "/fixtures/scripts/commands/never-ends.sh"),
                              ScriptCommand::RunMode::fullOutput);
    QString streamed;
    ScriptCommandRunner runner(command, [&](const QString& chunk) { streamed += chunk; });
    std::optional<Result<QString>> result;
    runner.run({}, [&](const Result<QString>& outcome) { result = outcome; });
    ASSERT_TRUE(waitUntil([&] { return streamed == QStringLiteral("started\n"); }, 10000));
    runner.cancel();
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }, 10000));
    EXPECT_EQ(text(*result), QStringLiteral("failure: Process terminated with status 2"));
    EXPECT_FALSE(runner.isRunning());
}

TEST_F(ScriptCommandRunnerTest, RunningTwiceQuicklyStartsOneProcess) {
    const ScriptCommand command =
        folder.script(QStringLiteral("count.sh"), "echo run >> \"$(dirname \"$0\")/runs.txt\"\nsleep 0.3\necho done\n");
    ScriptCommandRunner runner(command);
    int completions = 0;
    runner.run({}, [&](const Result<QString>&) { ++completions; });
    runner.run({}, [&](const Result<QString>&) { ++completions; });
    ASSERT_TRUE(waitUntil([&] { return completions > 0; }, 10000));
    QCoreApplication::processEvents();
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(folder.lineCount(QStringLiteral("runs.txt")), 1);

    // Once it has ended the same runner runs again.
    runner.run({}, [&](const Result<QString>&) { ++completions; });
    ASSERT_TRUE(waitUntil([&] { return completions == 2; }, 10000));
    EXPECT_EQ(folder.lineCount(QStringLiteral("runs.txt")), 2);
}

TEST_F(ScriptCommandRunnerTest, StreamsChunksInOrderWhileTheScriptRuns) {
    const ScriptCommand command = folder.script(
        QStringLiteral("stream.sh"),
        "echo first\nsleep 0.5\nprintf '\\303'\nsleep 0.3\nprintf '\\251 second\\n' >&2\nsleep 0.2\necho third\n",
        ScriptCommand::RunMode::fullOutput);
    QStringList chunks;
    bool streamedWhileRunning = false;
    ScriptCommandRunner* runnerPointer = nullptr;
    ScriptCommandRunner runner(command, [&](const QString& chunk) {
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        chunks << chunk;
        if (chunk.startsWith(QStringLiteral("first")) && runnerPointer->isRunning()) streamedWhileRunning = true;
    });
    runnerPointer = &runner;
    std::optional<Result<QString>> result;
    runner.run({}, [&](const Result<QString>& outcome) { result = outcome; });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }, 10000));
    EXPECT_TRUE(result->isSuccess());
    EXPECT_EQ(chunks.join(QString()), QStringLiteral("first\né second\nthird\n"));
    EXPECT_GE(chunks.size(), 2);
    EXPECT_TRUE(streamedWhileRunning);
    // The character split over two writes arrives whole.
    for (const QString& chunk : chunks) EXPECT_FALSE(chunk.contains(QChar::ReplacementCharacter));
}

TEST_F(ScriptCommandRunnerTest, StreamedRunThatFailsReportsItsStatus) {
    const ScriptCommand command =
        folder.script(QStringLiteral("streamfail.sh"), "echo partial\nexit 4\n", ScriptCommand::RunMode::fullOutput);
    QString streamed;
    ScriptCommandRunner runner(command, [&](const QString& chunk) { streamed += chunk; });
    std::optional<Result<QString>> result;
    runner.run({}, [&](const Result<QString>& outcome) { result = outcome; });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }, 10000));
    EXPECT_EQ(streamed, QStringLiteral("partial\n"));
    EXPECT_EQ(text(*result), QStringLiteral("failure: Process terminated with status 4"));
}

TEST_F(ScriptCommandRunnerTest, RunawayOutputKeepsItsLastMegabyte) {
    const ScriptCommand command =
        folder.script(QStringLiteral("runaway.sh"), "head -c 6000000 /dev/zero | tr '\\0' 'x'\nprintf 'THE END'\n");
    const Result<QString> result = runToEnd(command);
    ASSERT_TRUE(result.isSuccess());
    EXPECT_LE(result.value().size(), ScriptCommandRunner::collectedOutputLimit);
    EXPECT_GE(result.value().size(), ScriptCommandRunner::collectedOutputLimit / 2);
    EXPECT_TRUE(result.value().endsWith(QStringLiteral("xxTHE END")));
}

TEST_F(ScriptCommandRunnerTest, ReleasingARunnerLeavesItsScriptRunning) {
    const ScriptCommand command =
        folder.script(QStringLiteral("detached.sh"), "sleep 0.4\necho finished > \"$(dirname \"$0\")/detached.txt\"\n");
    {
        ScriptCommandRunner runner(command);
        runner.run({}, [](const Result<QString>&) { ADD_FAILURE() << "a released runner reports nothing"; });
        ASSERT_TRUE(waitUntil([&] { return runner.isRunning(); }));
    }
    EXPECT_TRUE(waitUntil([&] { return folder.lineCount(QStringLiteral("detached.txt")) == 1; }, 10000));
    // Lets the process finish and be cleaned up before the next test.
    waitUntil([] { return false; }, 300);
}

}  // namespace
}  // namespace vantrel::test
