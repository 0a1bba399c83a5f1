// Window layouts from the outside: `vantrel config` and `vantrel run` as a
// user types them, the running launcher that does the work for them, and a
// test window whose frame xwininfo measures.
#include "e2e/LauncherProcess.h"

#include "data/SearchRepository.h"

namespace vantrel::test {
namespace {

constexpr uint32_t kOtherApplication = 4200001;

class WindowManagementEndToEnd : public LauncherProcessTest {
protected:
    static ProcessRun vantrel(const QStringList& arguments) { return run(kExecutable, arguments, 60000); }

    void configure(const QString& key, const QString& value) {
        const ProcessRun set = vantrel({QStringLiteral("config"), QStringLiteral("set"),
                                        QStringLiteral("windowManagement"), key, value});
        ASSERT_EQ(set.exitCode, 0) << set.err.toStdString();
    }

    void runLayout(const char* commandId) {
        const ProcessRun ran = vantrel({QStringLiteral("run"), QString::fromLatin1(commandId)});
        ASSERT_EQ(ran.exitCode, 0) << ran.err.toStdString();
    }

    static bool landsOn(X11Client& client, xcb_window_t window, const QRect& expected) {
        return eventually([&] {
            const QRect frame = measuredFrame(window).value_or(QRect());
            return within(frame, expected, 1) && fillsItsFrame(client, window, frame);
        });
    }
};

// The session's screen is 1920 x 1080 without panels.
TEST_F(WindowManagementEndToEnd, TheCommandLineArrangesTheActiveWindowThroughTheRunningLauncher) {
    markWelcomeSeen();
    configure(QStringLiteral("isEnabled"), QStringLiteral("true"));
    configure(QStringLiteral("gap"), QStringLiteral("small"));
    startLauncher();
    X11Client client;
    const xcb_window_t window = client.createWindow(kOtherApplication, 500, 400);
    client.activate(window);

    runLayout("windowManagementLeftHalf");
    EXPECT_TRUE(landsOn(client, window, {14, 14, 939, 1052})) << measuredFrame(window).value_or(QRect()).width();

    // The launcher follows a configuration change made by another process.
    configure(QStringLiteral("gap"), QStringLiteral("large"));
    runLayout("windowManagementRightHalf");
    EXPECT_TRUE(landsOn(client, window, {992, 64, 864, 952}));

    // It remembers the frame before the last change, across command-line runs.
    runLayout("windowManagementRestore");
    EXPECT_TRUE(landsOn(client, window, {14, 14, 939, 1052}));
}

TEST_F(WindowManagementEndToEnd, ALayoutChosenInTheLauncherArrangesTheWindowTheUserWasIn) {
    markWelcomeSeen();
    configure(QStringLiteral("isEnabled"), QStringLiteral("true"));
    configure(QStringLiteral("gap"), QStringLiteral("medium"));
    startLauncher();
    X11Client client;
    const xcb_window_t window = client.createWindow(kOtherApplication, 500, 400);
    client.activate(window);

    ASSERT_EQ(vantrel({QStringLiteral("show")}).exitCode, 0);
    ASSERT_TRUE(eventually([&] { return isKeyWindow(); }));
    typeText(QStringLiteral("top left quarter"));
    ASSERT_TRUE(eventually([&] { return selectedItem() == QLatin1String("windowManagementTopLeftQuarter"); }))
        << selectedItem().toStdString();
    pressKeys(QStringLiteral("Return"));

    // The launcher hides, and the window it was opened over takes the layout.
    EXPECT_TRUE(eventually([&] { return !isVisible(); }));
    EXPECT_TRUE(landsOn(client, window, {32, 32, 912, 492}));
}

TEST_F(WindowManagementEndToEnd, AHotkeyOnALayoutArrangesTheActiveWindowWithoutShowingTheLauncher) {
    markWelcomeSeen();
    configure(QStringLiteral("isEnabled"), QStringLiteral("true"));
    configure(QStringLiteral("gap"), QStringLiteral("none"));
    // A first start stores the commands' records; the hotkey goes on one.
    startLauncher();
    stopLauncher();
    {
        auto pool = openLaunchersDatabase();
        ASSERT_TRUE(pool);
        SearchRepository repository(pool);
        ASSERT_TRUE(repository.record(QStringLiteral("windowManagementBottomHalf")));
        // Ctrl+Alt+H.
        repository.setHotkey(QStringLiteral("Control-Option-4"), QStringLiteral("windowManagementBottomHalf"));
    }
    startLauncher();
    ASSERT_TRUE(eventually([&] {
        return logText().contains(QStringLiteral("Found key combination for global hotkey"));
    })) << logText().toStdString();
    X11Client client;
    const xcb_window_t window = client.createWindow(kOtherApplication, 500, 400);
    client.activate(window);

    pressKeys(QStringLiteral("ctrl+alt+h"));
    EXPECT_TRUE(landsOn(client, window, {0, 540, 1920, 540}));
    EXPECT_FALSE(isVisible());
}

TEST_F(WindowManagementEndToEnd, WithoutALauncherTheCommandRunsInItsOwnProcess) {
    PrivateDisplay display(true, QStringLiteral("openbox"), QStringLiteral("1600x1000"));
    ASSERT_TRUE(display.problem().isEmpty()) << display.problem().toStdString();
    configure(QStringLiteral("isEnabled"), QStringLiteral("true"));
    X11Client client;
    const xcb_window_t window = client.createWindow(kOtherApplication, 500, 400);
    client.activate(window);

    runLayout("windowManagementLastThird");
    // No gap configured: none.
    EXPECT_TRUE(landsOn(client, window, {1067, 0, 533, 1000}));
}

TEST_F(WindowManagementEndToEnd, InAWaylandSessionTheCommandSaysTheCompositorPlacesWindows) {
    configure(QStringLiteral("isEnabled"), QStringLiteral("true"));
    const ScopedEnv wayland("XDG_SESSION_TYPE", QByteArray("wayland"));
    const ProcessRun ran = vantrel({QStringLiteral("run"), QStringLiteral("windowManagementLeftHalf")});
    EXPECT_EQ(ran.exitCode, 1);
    EXPECT_TRUE(ran.err.startsWith(QStringLiteral("vantrel: Cannot resize window: On Wayland the compositor places")))
        << ran.err.toStdString();
}

TEST_F(WindowManagementEndToEnd, ADisabledPackageRunsNoLayout) {
    const ProcessRun ran = vantrel({QStringLiteral("run"), QStringLiteral("windowManagementLeftHalf")});
    EXPECT_EQ(ran.exitCode, 1);
    EXPECT_EQ(ran.err, QStringLiteral("vantrel: the command 'Left Half' is disabled"));
}

}  // namespace
}  // namespace vantrel::test
