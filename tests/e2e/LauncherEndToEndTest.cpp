// The real `vantrel` launcher on the test session's X server: hotkeys,
// typing, launching, the single instance, links and inactivity, driven from
// outside with xdotool the way a user would.
#include "e2e/LauncherProcess.h"

#include "data/SearchRepository.h"
#include "kit/UserDefaults.h"

#include <X11/keysym.h>

namespace vantrel::test {
namespace {

class LauncherEndToEndTest : public LauncherProcessTest {
protected:
    void SetUp() override {
        LauncherProcessTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        // A returning user: the welcome of a first start was seen.
        markWelcomeSeen();
    }
};

TEST_F(LauncherEndToEndTest, TheHotkeyShowsTheFocusedWindowAndASecondPressHidesIt) {
    startLauncher();
    EXPECT_FALSE(isVisible());
    showWithHotkey();
    const QString window = visibleWindowId();
    ASSERT_FALSE(window.isEmpty());
    // It holds the keyboard focus.
    EXPECT_TRUE(eventually([&] { return activeWindowId() == window; }, 5000));
    EXPECT_TRUE(eventually([&] { return logText().contains(QStringLiteral("Window shown in ")); }, 5000));

    pressKeys(QStringLiteral("alt+space"));
    EXPECT_TRUE(eventually([&] { return !isVisible(); }));
    // And again: showing never makes a second window.
    showWithHotkey();
    EXPECT_EQ(visibleWindowId(), window);
}

TEST_F(LauncherEndToEndTest, TypingAnApplicationsNameAndReturnLaunchesItAndHidesTheWindow) {
    startLauncher();
    showWithHotkey();
    typeText(QStringLiteral("Zebrafish"));
    // Root search shows the application as the first result before it is chosen.
    ASSERT_TRUE(eventually([&] { return selectedItem().endsWith(QStringLiteral("/zebrafish-marker.desktop")); }))
        << selectedItem().toStdString();
    pressKeys(QStringLiteral("Return"));
    ASSERT_TRUE(eventually([&] { return QFile::exists(m_marker); })) << logText().toStdString();
    EXPECT_EQ(readFile(m_marker), QStringLiteral("launched\n"));
    EXPECT_TRUE(eventually([&] { return !isVisible(); }));
}

// The calculator's engine is not part of the start: the first calculation
// typed loads it (in the background, the list answering meanwhile) and is
// answered once it has.
TEST_F(LauncherEndToEndTest, TheFirstCalculationAfterTheStartIsAnswered) {
    const QString loaded = QStringLiteral("Calculator engine loaded");
    startLauncher();
    EXPECT_FALSE(logText().contains(loaded));
    showWithHotkey();
    EXPECT_FALSE(logText().contains(loaded)) << "showing the window needs no calculator";
    typeText(QStringLiteral("12*3"));
    ASSERT_TRUE(eventually([&] { return listedRows().value(0) == QStringLiteral("36"); }, 30000))
        << listedRows().join(QStringLiteral(" | ")).toStdString();
    EXPECT_TRUE(logText().contains(loaded));
    EXPECT_EQ(searchText(), QStringLiteral("12*3"));
    EXPECT_EQ(selectedItem(), QStringLiteral("expression-12*3"));
    // And the next one as it is typed.
    for (int i = 0; i < 4; ++i) pressKeys(QStringLiteral("BackSpace"));
    ASSERT_TRUE(eventually([&] { return searchText().isEmpty(); }));
    typeText(QStringLiteral("5 km to m"));
    ASSERT_TRUE(eventually([&] { return listedRows().value(0) == QStringLiteral("5000 m"); }))
        << listedRows().join(QStringLiteral(" | ")).toStdString();
    EXPECT_EQ(logText().count(loaded), 1);
}

// "Open Application" from the action panel records the visit, which reloads
// the list under the panel; the action still runs to its end (run this one
// under ./dev asan too).
TEST_F(LauncherEndToEndTest, OpenApplicationFromTheActionPanelLaunchesItOnce) {
    startLauncher();
    showWithHotkey();
    typeText(QStringLiteral("Zebrafish"));
    ASSERT_TRUE(eventually([&] { return selectedItem().endsWith(QStringLiteral("/zebrafish-marker.desktop")); }))
        << selectedItem().toStdString();
    pressKeys(QStringLiteral("ctrl+k"));
    ASSERT_TRUE(eventually([&] { return status().value(QStringLiteral("actionPanel")).toBool(); }));
    // The panel's first action is the row's primary one: "Open Application".
    pressKeys(QStringLiteral("Return"));
    ASSERT_TRUE(eventually([&] { return QFile::exists(m_marker); })) << logText().toStdString();
    EXPECT_TRUE(eventually([&] { return !isVisible(); }));
    EXPECT_EQ(readFile(m_marker), QStringLiteral("launched\n"));
    // Still the one launcher, answering.
    EXPECT_EQ(m_launcher->state(), QProcess::Running);
    EXPECT_FALSE(status().isEmpty());
}

TEST_F(LauncherEndToEndTest, EscapeHidesTheWindow) {
    startLauncher();
    showWithHotkey();
    pressKeys(QStringLiteral("Escape"));
    EXPECT_TRUE(eventually([&] { return !isVisible(); }));
    EXPECT_FALSE(QFile::exists(m_marker));
}

TEST_F(LauncherEndToEndTest, ASecondProcessTogglesShowsAndHidesTheRunningLauncher) {
    startLauncher();
    const qint64 pid = status().value(QStringLiteral("pid")).toInteger();
    EXPECT_EQ(run(kExecutable, {QStringLiteral("toggle")}).exitCode, 0);
    EXPECT_TRUE(eventually([&] { return isKeyWindow(); }));
    EXPECT_EQ(run(kExecutable, {QStringLiteral("toggle")}).exitCode, 0);
    EXPECT_TRUE(eventually([&] { return !isVisible(); }));
    EXPECT_EQ(run(kExecutable, {QStringLiteral("show")}).exitCode, 0);
    EXPECT_TRUE(eventually([&] { return isVisible(); }));
    EXPECT_EQ(run(kExecutable, {QStringLiteral("hide")}).exitCode, 0);
    EXPECT_TRUE(eventually([&] { return !isVisible(); }));
    // `vantrel` alone activates the one that runs; a background start leaves it alone.
    EXPECT_EQ(run(kExecutable, {}).exitCode, 0);
    EXPECT_TRUE(eventually([&] { return isVisible(); }));
    EXPECT_EQ(run(kExecutable, {QStringLiteral("--background")}).exitCode, 0);
    EXPECT_TRUE(isVisible());
    // Still one launcher.
    EXPECT_EQ(status().value(QStringLiteral("pid")).toInteger(), pid);
    const ProcessRun statusRun = run(kExecutable, {QStringLiteral("status")});
    EXPECT_EQ(statusRun.exitCode, 0);
    EXPECT_TRUE(statusRun.out.contains(QStringLiteral("\"running\":true")));
}

TEST_F(LauncherEndToEndTest, WithoutARunningLauncherRequestsSayWhatIsWrong) {
    const ProcessRun hide = run(kExecutable, {QStringLiteral("hide")});
    EXPECT_EQ(hide.exitCode, 1);
    EXPECT_EQ(hide.err, QStringLiteral("vantrel: no launcher is running"));
    const ProcessRun statusRun = run(kExecutable, {QStringLiteral("status")});
    EXPECT_EQ(statusRun.exitCode, 1);
    EXPECT_EQ(statusRun.out, QStringLiteral("{\"running\":false}"));
    const ProcessRun badHotkey = run(kExecutable, {QStringLiteral("set-hotkey"), QStringLiteral("Hyper-99")});
    EXPECT_EQ(badHotkey.exitCode, 2);
    EXPECT_TRUE(badHotkey.err.contains(QStringLiteral("'Hyper-99' is not a key combination")));
    const ProcessRun noLink = run(kExecutable, {QStringLiteral("toggle"), QStringLiteral("extra")});
    EXPECT_EQ(noLink.exitCode, 2);
    // Nothing was started by any of them.
    EXPECT_FALSE(InstanceClient().isRunning());
}

TEST_F(LauncherEndToEndTest, APerItemHotkeyOpensItsApplication) {
    // A first start stores the applications; the hotkey goes on the record.
    startLauncher();
    stopLauncher();
    {
        auto pool = openLaunchersDatabase();
        ASSERT_TRUE(pool);
        SearchRepository repository(pool);
        std::optional<QString> key;
        for (const SearchRecord& record : repository.readAllSearchResults({}, 100000))
            if (record.name == kAppName) key = record.key;
        ASSERT_TRUE(key) << "the fixture application was not stored";
        // Ctrl+Alt+Z.
        repository.setHotkey(QStringLiteral("Control-Option-6"), *key);
    }
    startLauncher();
    ASSERT_TRUE(eventually([&] {
        return logText().contains(QStringLiteral("Found key combination for global hotkey"));
    })) << logText().toStdString();
    pressKeys(QStringLiteral("ctrl+alt+z"));
    EXPECT_TRUE(eventually([&] { return QFile::exists(m_marker); })) << logText().toStdString();
    EXPECT_FALSE(isVisible());
}

TEST_F(LauncherEndToEndTest, ChangingTheMainHotkeyFreesTheOldOneAtOnce) {
    startLauncher();
    {
        // Held by the launcher: nobody else can take Alt+Space.
        ScopedRawGrab other(XK_space, XCB_MOD_MASK_1);
        EXPECT_FALSE(other.grabbed());
    }
    const ProcessRun changed = run(kExecutable, {QStringLiteral("set-hotkey"), QStringLiteral("Control-Option-49")});
    ASSERT_EQ(changed.exitCode, 0) << changed.err.toStdString();
    EXPECT_EQ(status().value(QStringLiteral("hotkey")).toString(), QStringLiteral("Control-Option-49"));
    {
        ScopedRawGrab other(XK_space, XCB_MOD_MASK_1);
        EXPECT_TRUE(other.grabbed()) << "Alt+Space is still held";
    }
    // Had Alt+Space still toggled the window, the new hotkey right after it
    // would hide it again: the keys arrive in order.
    pressKeys(QStringLiteral("alt+space"));
    pressKeys(QStringLiteral("ctrl+alt+space"));
    EXPECT_TRUE(eventually([&] { return isKeyWindow(); }));
    // Stored for the next start.
    EXPECT_TRUE(readFile(UserDefaults::standard().path()).contains(QStringLiteral("Control-Option-49")));
}

TEST_F(LauncherEndToEndTest, LinksAreRoutedAndUnknownOnesRefused) {
    startLauncher();
    EXPECT_EQ(run(kExecutable, {QStringLiteral("open"), QStringLiteral("vantrel://show")}).exitCode, 0);
    EXPECT_TRUE(eventually([&] { return isVisible(); }));
    EXPECT_EQ(run(kExecutable, {QStringLiteral("open"), QStringLiteral("vantrel://hide")}).exitCode, 0);
    EXPECT_TRUE(eventually([&] { return !isVisible(); }));

    const ProcessRun unknown = run(kExecutable, {QStringLiteral("open"), QStringLiteral("vantrel://extensions/x/y")});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_EQ(unknown.err, QStringLiteral("vantrel: Unhandled link: vantrel://extensions/x/y"));
    EXPECT_TRUE(logText().contains(QStringLiteral("Unhandled Vantrel URL scheme call")));
    const ProcessRun web = run(kExecutable, {QStringLiteral("open"), QStringLiteral("https://example.com")});
    EXPECT_EQ(web.exitCode, 1);

    // A command by its id: a failure comes back to the caller.
    const ProcessRun missing =
        run(kExecutable, {QStringLiteral("open"), QStringLiteral("vantrel://commands/noSuchCommand")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("Command not found")));
}

TEST_F(LauncherEndToEndTest, AfterInactivityAHiddenWindowClearsItsSearchBar) {
    UserDefaults::standard().setValue(QStringLiteral("popToRootTimeout"), 1);
    UserDefaults::standard().sync();
    startLauncher();
    showWithHotkey();
    typeText(QStringLiteral("zeb"));
    // Hidden with the hotkey, the text stays (Escape would clear it first).
    pressKeys(QStringLiteral("alt+space"));
    ASSERT_TRUE(eventually([&] { return !isVisible(); }));
    EXPECT_TRUE(
        eventually([&] { return logText().contains(QStringLiteral("Clearing search bar due to inactivity")); }, 5000));
}

TEST_F(LauncherEndToEndTest, AStartInstallsTheLoginItemAndLinkHandlerAndATermEndsItCleanly) {
    // The installed command: `vantrel` on PATH is this launcher.
    const QString bin = m_home->root() + QStringLiteral("/bin");
    ASSERT_TRUE(QDir().mkpath(bin));
    ASSERT_TRUE(QFile::link(kExecutable, bin + QStringLiteral("/vantrel")));
    const ScopedEnv path("PATH", (bin + QLatin1Char(':') + qEnvironmentVariable("PATH")).toLocal8Bit());
    startLauncher();
    const QString log = logText();
    EXPECT_TRUE(log.contains(QStringLiteral("Tray ready in ")));
    EXPECT_TRUE(log.contains(QStringLiteral("First known app version: ")));
    // The entry runs the command, not the path of this build.
    const QString autostart = readFile(qEnvironmentVariable("XDG_CONFIG_HOME") + "/autostart/vantrel.desktop");
    EXPECT_TRUE(autostart.contains(QStringLiteral("\nExec=vantrel --background VANTREL_LAUNCHER\n")))
        << autostart.toStdString();
    const QString handler = readFile(qEnvironmentVariable("XDG_DATA_HOME") + "/applications/vantrel.desktop");
    EXPECT_TRUE(handler.contains(QStringLiteral("MimeType=x-scheme-handler/vantrel;")));

    const QString socket = InstanceServer::defaultSocketPath();
    ASSERT_TRUE(QFile::exists(socket));
    ::kill(pid_t(m_launcher->processId()), SIGTERM);
    ASSERT_TRUE(m_launcher->waitForFinished(10000));
    EXPECT_EQ(m_launcher->exitCode(), 0);
    EXPECT_TRUE(logText().contains(QStringLiteral("Application should terminate")));
    EXPECT_FALSE(QFile::exists(socket));
    // The defaults of a fresh installation were stored.
    EXPECT_EQ(readFile(UserDefaults::standard().path()).count(QStringLiteral("vantrelGlobalHotkey=Option-49")), 1)
        << readFile(UserDefaults::standard().path()).toStdString();
}

// The desktop's link handler runs `vantrel open URL` whether or not a
// launcher runs: it starts one in the background, hands it the link and ends.
TEST_F(LauncherEndToEndTest, OpenWithoutALauncherStartsOneInTheBackgroundAndHandsItTheLink) {
    ASSERT_FALSE(InstanceClient().isRunning());
    struct QuitAtTheEnd {
        ~QuitAtTheEnd() { run(kExecutable, {QStringLiteral("quit")}); }
    } quit;
    const ProcessRun unknown = run(kExecutable, {QStringLiteral("open"), QStringLiteral("vantrel://nowhere/at/all")});
    EXPECT_EQ(unknown.exitCode, 1) << unknown.err.toStdString();
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("Unhandled link"))) << unknown.err.toStdString();
    ASSERT_TRUE(InstanceClient().isRunning());
    EXPECT_FALSE(isVisible());

    const ProcessRun shown = run(kExecutable, {QStringLiteral("open"), QStringLiteral("vantrel://show")});
    EXPECT_EQ(shown.exitCode, 0) << shown.err.toStdString();
    EXPECT_TRUE(eventually([&] { return isVisible(); }));
}

}  // namespace
}  // namespace vantrel::test
