// A new user always gets into the real launcher: the first start greets with
// the hotkey; a hotkey another program holds opens the window with what to do
// (started as autostart starts it) and lets GNOME run the toggle instead; a
// taken combination never replaces the working hotkey; the autostart entry
// follows a moved program.
#include "e2e/LauncherProcess.h"

#include <QJsonArray>

#include <X11/keysym.h>

namespace vantrel::test {
namespace {

class GettingInEndToEndTest : public LauncherProcessTest {
protected:
    QJsonObject notice() const { return status().value(QStringLiteral("notice")).toObject(); }
    QStringList noticeActions() const {
        QStringList titles;
        for (const QJsonValue& title : status().value(QStringLiteral("noticeActions")).toArray())
            titles << title.toString();
        return titles;
    }

    // What the gsettings tool reads from the launcher's (key file) settings.
    static QString gsettings(const QStringList& arguments) {
        const ProcessRun read = run(QStringLiteral("gsettings"), arguments);
        EXPECT_EQ(read.exitCode, 0) << read.err.toStdString();
        return read.out;
    }
};

TEST_F(GettingInEndToEndTest, AFirstStartGreetsWithTheHotkeyAndASecondStartDoesNot) {
    // As autostart starts it: in the background, at login.
    startLauncher({QStringLiteral("--background"), QStringLiteral("VANTREL_LAUNCHER")});
    ASSERT_TRUE(eventually([&] { return isKeyWindow(); })) << logText().toStdString();
    EXPECT_EQ(notice().value(QStringLiteral("id")).toString(), QStringLiteral("welcome"));
    EXPECT_EQ(notice().value(QStringLiteral("title")).toString(), QStringLiteral("Welcome to Vantrel"));
    EXPECT_TRUE(notice().value(QStringLiteral("message")).toString().startsWith(QStringLiteral("Press Alt+Space")))
        << notice().value(QStringLiteral("message")).toString().toStdString();

    // Read and put away: the hotkey hides it, and the welcome goes with it.
    pressKeys(QStringLiteral("alt+space"));
    ASSERT_TRUE(eventually([&] { return !isVisible(); }));
    EXPECT_TRUE(notice().isEmpty());
    stopLauncher();

    startLauncher({QStringLiteral("--background"), QStringLiteral("VANTREL_LAUNCHER")});
    EXPECT_FALSE(isVisible());
    EXPECT_TRUE(notice().isEmpty());
    // The hotkey is what opens it.
    showWithHotkey();
    EXPECT_TRUE(notice().isEmpty());
}

TEST_F(GettingInEndToEndTest, AHotkeyAnotherProgramHoldsOpensTheWindowWithWhatToDoAndGnomeCanTakeItOver) {
    // Another client holds Alt+Space before the launcher starts, as a
    // desktop's window menu does.
    ScopedRawGrab desktop(XK_space, XCB_MOD_MASK_1);
    ASSERT_TRUE(desktop.grabbed());
    // A GNOME session whose settings are a key file of the test's own.
    const ScopedEnv currentDesktop("XDG_CURRENT_DESKTOP", QByteArray("GNOME"));
    const ScopedEnv backend("GSETTINGS_BACKEND", QByteArray("keyfile"));

    startLauncher({QStringLiteral("--background"), QStringLiteral("VANTREL_LAUNCHER")});
    ASSERT_TRUE(eventually([&] { return isKeyWindow(); })) << logText().toStdString();
    EXPECT_EQ(notice().value(QStringLiteral("id")).toString(), QStringLiteral("hotkeyUnavailable"));
    EXPECT_EQ(notice().value(QStringLiteral("title")).toString(),
              QStringLiteral("Alt+Space is used by another application"));
    EXPECT_TRUE(notice().value(QStringLiteral("message")).toString().contains(QStringLiteral("Choose another hotkey")));
    EXPECT_FALSE(status().contains(QStringLiteral("hotkey")));
    const QStringList actions = noticeActions();
    ASSERT_EQ(actions.value(0), QStringLiteral("Choose Another Hotkey")) << actions.join(u'|').toStdString();
    ASSERT_EQ(actions.value(1), QStringLiteral("Open Vantrel with Alt+Space from GNOME's Keyboard Shortcuts"))
        << actions.join(u'|').toStdString();

    // The second way, chosen with the keyboard, asked, confirmed.
    pressKeys(QStringLiteral("Down"));
    pressKeys(QStringLiteral("Return"));
    ASSERT_TRUE(eventually([&] { return status().value(QStringLiteral("sheet")).toBool(); }));
    pressKeys(QStringLiteral("Return"));
    ASSERT_TRUE(eventually([&] { return logText().contains(QStringLiteral("Added a GNOME custom shortcut")); }))
        << logText().toStdString();
    const QString path =
        QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/vantrel-toggle/");
    const QString schema = QStringLiteral("org.gnome.settings-daemon.plugins.media-keys.custom-keybinding:") + path;
    EXPECT_EQ(gsettings({QStringLiteral("get"), QStringLiteral("org.gnome.settings-daemon.plugins.media-keys"),
                         QStringLiteral("custom-keybindings")}),
              QStringLiteral("['%1']").arg(path));
    EXPECT_EQ(gsettings({QStringLiteral("get"), schema, QStringLiteral("binding")}), QStringLiteral("'<Alt>space'"));
    EXPECT_EQ(gsettings({QStringLiteral("get"), schema, QStringLiteral("command")}),
              QStringLiteral("'%1 toggle'").arg(kExecutable));
    // The window menu gave the keys up.
    EXPECT_EQ(gsettings({QStringLiteral("get"), QStringLiteral("org.gnome.desktop.wm.keybindings"),
                         QStringLiteral("activate-window-menu")}),
              QStringLiteral("@as []"));
    // Done: the notice and its ways out are gone.
    EXPECT_TRUE(eventually([&] { return notice().isEmpty(); }));
    stopLauncher();

    // The next start knows the desktop opens it: no notice, the window stays hidden.
    startLauncher({QStringLiteral("--background"), QStringLiteral("VANTREL_LAUNCHER")});
    EXPECT_TRUE(
        eventually([&] { return logText().contains(QStringLiteral("The desktop's own shortcut opens Vantrel")); }));
    EXPECT_FALSE(isVisible());
    EXPECT_TRUE(notice().isEmpty());
}

// A session without key grabs (as on Wayland): another hotkey cannot help,
// the desktop's own shortcuts can.
TEST_F(GettingInEndToEndTest, WithoutKeyGrabsTheWindowSaysSoAndOffersOnlyTheDesktopsShortcuts) {
    markWelcomeSeen();
    const ScopedEnv platform("QT_QPA_PLATFORM", QByteArray("offscreen"));
    const ScopedEnv currentDesktop("XDG_CURRENT_DESKTOP", QByteArray("GNOME"));
    const ScopedEnv backend("GSETTINGS_BACKEND", QByteArray("keyfile"));
    startLauncher({QStringLiteral("--background"), QStringLiteral("VANTREL_LAUNCHER")});
    ASSERT_TRUE(eventually([&] { return isVisible(); })) << logText().toStdString();
    EXPECT_EQ(notice().value(QStringLiteral("title")).toString(),
              QStringLiteral("This desktop does not let Vantrel listen for Alt+Space"));
    EXPECT_EQ(noticeActions(),
              QStringList{QStringLiteral("Open Vantrel with Alt+Space from GNOME's Keyboard Shortcuts")});
    // The portal of the test session has no global shortcuts: nothing more is offered, nothing waits.
    EXPECT_TRUE(eventually(
        [&] { return logText().contains(QStringLiteral("The desktop portal offers no global shortcuts")); }));
    EXPECT_EQ(noticeActions().size(), 1);
    const ProcessRun refused = run(kExecutable, {QStringLiteral("set-hotkey"), QStringLiteral("Control-Option-49")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("no global hotkeys"))) << refused.err.toStdString();
}

TEST_F(GettingInEndToEndTest, ChoosingAFreeHotkeyAfterwardsClearsTheNoticeAndWorks) {
    ScopedRawGrab desktop(XK_space, XCB_MOD_MASK_1);
    ASSERT_TRUE(desktop.grabbed());
    const ScopedEnv currentDesktop("XDG_CURRENT_DESKTOP", QByteArray("openbox"));
    startLauncher({QStringLiteral("--background")});
    ASSERT_TRUE(eventually([&] { return isVisible(); }));
    EXPECT_EQ(noticeActions(), QStringList{QStringLiteral("Choose Another Hotkey")});

    const ProcessRun changed = run(kExecutable, {QStringLiteral("set-hotkey"), QStringLiteral("Control-Option-49")});
    ASSERT_EQ(changed.exitCode, 0) << changed.err.toStdString();
    EXPECT_EQ(status().value(QStringLiteral("hotkey")).toString(), QStringLiteral("Control-Option-49"));
    EXPECT_TRUE(notice().isEmpty());
    pressKeys(QStringLiteral("Escape"));
    ASSERT_TRUE(eventually([&] { return !isVisible(); }));
    pressKeys(QStringLiteral("ctrl+alt+space"));
    EXPECT_TRUE(eventually([&] { return isKeyWindow(); }));
}

TEST_F(GettingInEndToEndTest, ATakenCombinationNeverReplacesTheWorkingHotkey) {
    markWelcomeSeen();
    startLauncher();
    ASSERT_EQ(status().value(QStringLiteral("hotkey")).toString(), QStringLiteral("Option-49"));
    ScopedRawGrab terminal(XK_t, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1);
    ASSERT_TRUE(terminal.grabbed());

    const ProcessRun refused = run(kExecutable, {QStringLiteral("set-hotkey"), QStringLiteral("Control-Option-17")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err,
              QStringLiteral("vantrel: Ctrl+Alt+T is used by another application; the hotkey stays Alt+Space"));
    EXPECT_EQ(status().value(QStringLiteral("hotkey")).toString(), QStringLiteral("Option-49"));
    EXPECT_TRUE(readFile(UserDefaults::standard().path()).contains(QStringLiteral("vantrelGlobalHotkey=Option-49")));
    // Nothing to tell the user in the window: the hotkey works.
    EXPECT_FALSE(isVisible());
    EXPECT_TRUE(notice().isEmpty());
    showWithHotkey();
    pressKeys(QStringLiteral("alt+space"));
    EXPECT_TRUE(eventually([&] { return !isVisible(); }));
}

TEST_F(GettingInEndToEndTest, AnAutostartEntryWhoseProgramMovedIsRepairedOnStart) {
    markWelcomeSeen();
    UserDefaults::standard().setValue(QStringLiteral("vantrelLoginItemAutoInstalled"), true);
    UserDefaults::standard().sync();
    const QString entry = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart/vantrel.desktop");
    writeTestFile(entry,
                  "[Desktop Entry]\nType=Application\nName=Vantrel\n"
                  "Exec=\"/opt/old place/vantrel\" --background VANTREL_LAUNCHER\n"
                  "X-GNOME-Autostart-enabled=true\n");
    startLauncher();
    EXPECT_TRUE(readFile(entry).contains(QStringLiteral("\nExec=") + kExecutable +
                                         QStringLiteral(" --background VANTREL_LAUNCHER\n")))
        << readFile(entry).toStdString();
    EXPECT_TRUE(logText().contains(QStringLiteral("Repaired the login item")));
    stopLauncher();

    // One the user switched off stays as they left it.
    const QByteArray off =
        "[Desktop Entry]\nType=Application\nName=Vantrel\n"
        "Exec=/opt/gone/vantrel --background VANTREL_LAUNCHER\nHidden=true\n";
    writeTestFile(entry, off);
    startLauncher();
    EXPECT_EQ(readFile(entry).toUtf8(), off);
}

}  // namespace
}  // namespace vantrel::test
