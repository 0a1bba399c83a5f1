// Floating notes in the real launcher: `vantrel run` opens the note window
// above the others, what is typed into it (xdotool) survives the launcher
// being killed with SIGKILL right after the keys arrived, and the window is
// back with that text after a restart.
#include "e2e/LauncherProcess.h"

#include <gtest/gtest.h>

#include <csignal>

namespace vantrel::test {
namespace {

class FloatingNotesEndToEndTest : public LauncherProcessTest {
protected:
    void SetUp() override {
        LauncherProcessTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        markWelcomeSeen();
        startLauncher();
    }

    static QString noteWindow() {
        const ProcessRun found = run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                                  QStringLiteral("--name"), QStringLiteral("^Floating Notes$")});
        return found.out.split(QLatin1Char('\n')).value(0).trimmed();
    }

    static QString unsavedText() {
        const QString content = readFile(qEnvironmentVariable("XDG_DATA_HOME") + "/vantrel/floating-note.unsaved");
        const QString header = QStringLiteral("vantrel-floating-note 1\n");
        return content.startsWith(header) ? content.mid(header.size()) : QString();
    }

    void killLauncher() {
        ::kill(pid_t(m_launcher->processId()), SIGKILL);
        ASSERT_TRUE(m_launcher->waitForFinished(10000));
        m_launcher.reset();
    }
};

TEST_F(FloatingNotesEndToEndTest, TypedTextSurvivesKillMinusNine) {
    const ProcessRun opened = run(kExecutable, {QStringLiteral("run"), QStringLiteral("floatingNotes_toggleWindow")}, 30000);
    ASSERT_EQ(opened.exitCode, 0) << opened.err.toStdString();
    QString window;
    ASSERT_TRUE(eventually([&] { return !(window = noteWindow()).isEmpty(); })) << "the note window did not show";
    // Above the others, as the window manager sees it.
    const ProcessRun state = run(QStringLiteral("xprop"), {QStringLiteral("-id"), window, QStringLiteral("_NET_WM_STATE")});
    EXPECT_TRUE(state.out.contains(QStringLiteral("_NET_WM_STATE_ABOVE")) || state.out.contains(QStringLiteral("STAYS_ON_TOP")))
        << state.out.toStdString();
    ASSERT_EQ(run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"), window}).exitCode, 0);
    ASSERT_TRUE(eventually([&] { return activeWindowId() == QString::number(window.toULongLong()); }));
    const QString text = QStringLiteral("buy milk and eggs");
    typeText(text);
    // The moment the last key is in, the launcher dies without a chance to save.
    ASSERT_TRUE(eventually([&] { return unsavedText() == text; })) << unsavedText().toStdString();
    killLauncher();

    const ProcessRun note = run(kExecutable, {QStringLiteral("notes")}, 30000);
    ASSERT_EQ(note.exitCode, 0) << note.err.toStdString();
    EXPECT_EQ(note.out, text);

    // The next launcher shows it in the window again.
    startLauncher();
    ASSERT_EQ(run(kExecutable, {QStringLiteral("run"), QStringLiteral("floatingNotes_toggleWindow")}, 30000).exitCode, 0);
    ASSERT_TRUE(eventually([&] { return !noteWindow().isEmpty(); }));
    EXPECT_EQ(run(kExecutable, {QStringLiteral("notes")}, 30000).out, text);
}

TEST_F(FloatingNotesEndToEndTest, TheToggleHidesTheWindowAgain) {
    ASSERT_EQ(run(kExecutable, {QStringLiteral("run"), QStringLiteral("floatingNotes_toggleWindow")}, 30000).exitCode, 0);
    ASSERT_TRUE(eventually([&] { return !noteWindow().isEmpty(); }));
    ASSERT_EQ(run(kExecutable, {QStringLiteral("run"), QStringLiteral("floatingNotes_toggleWindow")}, 30000).exitCode, 0);
    EXPECT_TRUE(eventually([&] { return noteWindow().isEmpty(); }));
}

// Focus goes to the note and back to the window the user was typing in.
TEST_F(FloatingNotesEndToEndTest, TheFocusToggleMovesTheKeyboardToTheNoteAndBack) {
    QTemporaryDir folder;
    QProcess editor;
    editor.start(QStringLiteral(VANTREL_TEXT_WINDOW), {folder.filePath(QStringLiteral("typed.txt")),
                                                       QStringLiteral("Notes Focus Target")});
    ASSERT_TRUE(editor.waitForStarted(5000));
    QString target;
    ASSERT_TRUE(eventually([&] {
        target = run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                 QStringLiteral("--name"), QStringLiteral("^Notes Focus Target$")})
                     .out.split(QLatin1Char('\n'))
                     .value(0)
                     .trimmed();
        return !target.isEmpty();
    }));
    ASSERT_EQ(run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"), target}).exitCode, 0);
    const auto active = [&] { return activeWindowId(); };
    ASSERT_TRUE(eventually([&] { return active() == QString::number(target.toULongLong()); }));

    ASSERT_EQ(run(kExecutable, {QStringLiteral("run"), QStringLiteral("floatingNotes_toggleFocus")}, 30000).exitCode, 0);
    QString note;
    ASSERT_TRUE(eventually([&] { return !(note = noteWindow()).isEmpty(); }));
    EXPECT_TRUE(eventually([&] { return active() == QString::number(note.toULongLong()); })) << active().toStdString();

    ASSERT_EQ(run(kExecutable, {QStringLiteral("run"), QStringLiteral("floatingNotes_toggleFocus")}, 30000).exitCode, 0);
    EXPECT_TRUE(eventually([&] { return active() == QString::number(target.toULongLong()); })) << active().toStdString();
    // The note stays open beside it.
    EXPECT_FALSE(noteWindow().isEmpty());
    editor.kill();
    editor.waitForFinished();
}

}  // namespace
}  // namespace vantrel::test
