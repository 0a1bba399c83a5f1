#pragma once

// The X server of the test session, driven as a user would: key presses
// through xdotool, keyboard layout changes through the core protocol, and the
// window manager's own key bindings; an X client of the test's own; and
// private X servers (Xvfb, optionally with openbox) for tests that must not
// touch the session's windows.
#include "kit/KeyCombination.h"
#include "kit/VantrelError.h"
#include "platform/HotkeyManager.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>


namespace vantrel::test {

inline bool hasXDisplay() {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) return false;
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool ok = connection && !xcb_connection_has_error(connection);
    if (connection) xcb_disconnect(connection);
    return ok && !QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty();
}

#define VANTREL_REQUIRE_X_DISPLAY()                                 \
    VANTREL_REQUIRE_DESKTOP_OR_SKIP(::vantrel::test::hasXDisplay(), \
                                    "needs an X display and xdotool (run inside scripts/test-session)")

// Tests that grab keys and press them take turns on a display, whichever
// suite they belong to: held for the test's lifetime.
class ScopedDisplayLock {
public:
    ScopedDisplayLock()
        : m_lock(QDir::tempPath() + QStringLiteral("/vantrel-hotkeys-display") +
                 QString::fromLocal8Bit(qgetenv("DISPLAY"))
                     .remove(QLatin1Char(':'))
                     .replace(QLatin1Char('/'), QLatin1Char('_')) +
                 QStringLiteral(".lock")) {
        m_lock.setStaleLockTime(0);
        m_locked = m_lock.tryLock(5 * 60 * 1000);
    }
    bool locked() const { return m_locked; }

private:
    QLockFile m_lock;
    bool m_locked = false;
};

// A test on the session's display, which it needs (with xdotool) and holds
// for its lifetime, so that grabs, presses and windows never meet another
// test's.
class SessionDisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        VANTREL_REQUIRE_X_DISPLAY();
        ASSERT_TRUE(displayLock.locked()) << "another test kept the display";
    }
    ScopedDisplayLock displayLock;
};

// A key combination in its stored form ("Shift-Command-40").
inline KeyCombination storedCombination(const char* stored) {
    const auto parsed = KeyCombination::fromPersistentString(QString::fromLatin1(stored));
    EXPECT_TRUE(parsed) << stored;
    return parsed.value_or(KeyCombination{ModifierKeys(), KeyEquivalent(U'a')});
}

// The message registering the keys fails with, or "(free)" when they could
// be registered (and were given back at once).
inline QString registrationFailure(HotkeyManager& manager, const KeyCombination& keys) {
    try {
        manager.unregister(manager.observeKeyCombination(keys, [] { return true; }));
        return QStringLiteral("(free)");
    } catch (const VantrelError& error) {
        return error.errorDescription();
    }
}

// Presses and releases keys as `xdotool key` names them ("super+shift+k").
inline void pressKeys(const QString& keys) {
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("key"), keys});
    ASSERT_TRUE(xdotool.waitForFinished(10000)) << "xdotool did not finish";
    ASSERT_EQ(xdotool.exitCode(), 0) << xdotool.readAllStandardError().toStdString();
}

// Whether a window manager has announced itself on the root window.
inline bool windowManagerIsRunning() {
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
    if (!xprop.waitForFinished(5000)) return false;
    return QString::fromUtf8(xprop.readAllStandardOutput()).contains(QStringLiteral("window id"));
}

// openbox binds Alt+Space to its window menu. Inside the test session (and
// only there: it writes openbox's configuration) this gives the session's
// openbox a configuration without that binding and tells it to reload, so
// the launcher's default hotkey can be taken. Answers whether it did.
inline bool releaseAltSpaceFromOpenbox() {
    if (qgetenv("VANTREL_TEST_SESSION_INNER") != "1") return false;
    if (QStandardPaths::findExecutable(QStringLiteral("openbox")).isEmpty()) return false;
    QFile stock(QStringLiteral("/etc/xdg/openbox/rc.xml"));
    if (!stock.open(QIODevice::ReadOnly)) return false;
    QString config = QString::fromUtf8(stock.readAll());
    config.remove(QRegularExpression(QStringLiteral("<keybind key=\"A-space\">.*?</keybind>"),
                                     QRegularExpression::DotMatchesEverythingOption));
    // The configuration folder of the openbox on our display, from its environment.
    QString home;
    const QByteArray display = qgetenv("DISPLAY");
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != "openbox") continue;
        QFile environ(QStringLiteral("/proc/%1/environ").arg(pid));
        if (!environ.open(QIODevice::ReadOnly)) continue;
        QByteArray configHome, userHome;
        bool sameDisplay = false;
        for (const QByteArray& entry : environ.readAll().split('\0')) {
            if (entry == "DISPLAY=" + display) sameDisplay = true;
            if (entry.startsWith("XDG_CONFIG_HOME=")) configHome = entry.mid(16);
            if (entry.startsWith("HOME=")) userHome = entry.mid(5) + "/.config";
        }
        if (sameDisplay) home = QString::fromLocal8Bit(configHome.isEmpty() ? userHome : configHome);
    }
    if (home.isEmpty()) return false;
    QDir().mkpath(home + QStringLiteral("/openbox"));
    QFile rc(home + QStringLiteral("/openbox/rc.xml"));
    if (!rc.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    rc.write(config.toUtf8());
    rc.close();
    QProcess reconfigure;
    reconfigure.start(QStringLiteral("openbox"), {QStringLiteral("--reconfigure")});
    return reconfigure.waitForFinished(5000) && reconfigure.exitCode() == 0;
}

// The key code whose first keysym is `symbol`, or -1.
inline int keycodeOf(xcb_connection_t* connection, xcb_keysym_t symbol) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const auto cookie =
        xcb_get_keyboard_mapping(connection, setup->min_keycode, quint8(setup->max_keycode - setup->min_keycode + 1));
    xcb_get_keyboard_mapping_reply_t* reply = xcb_get_keyboard_mapping_reply(connection, cookie, nullptr);
    int keycode = -1;
    const xcb_keysym_t* symbols = xcb_get_keyboard_mapping_keysyms(reply);
    const int count = xcb_get_keyboard_mapping_keysyms_length(reply);
    for (int i = 0; i < count && keycode < 0; i += reply->keysyms_per_keycode)
        if (symbols[i] == symbol) keycode = setup->min_keycode + i / reply->keysyms_per_keycode;
    std::free(reply);
    return keycode;
}

// Changes the keyboard mapping the way a layout switch does: the keys that
// type two keysyms swap places. Restores the mapping when destroyed.
class ScopedSwappedKeys {
public:
    ScopedSwappedKeys(xcb_keysym_t first, xcb_keysym_t second) {
        m_connection = xcb_connect(nullptr, nullptr);
        const xcb_setup_t* setup = xcb_get_setup(m_connection);
        m_min = setup->min_keycode;
        const auto cookie = xcb_get_keyboard_mapping(m_connection, m_min, quint8(setup->max_keycode - m_min + 1));
        xcb_get_keyboard_mapping_reply_t* reply = xcb_get_keyboard_mapping_reply(m_connection, cookie, nullptr);
        m_perKeycode = reply->keysyms_per_keycode;
        const xcb_keysym_t* symbols = xcb_get_keyboard_mapping_keysyms(reply);
        m_original.assign(symbols, symbols + xcb_get_keyboard_mapping_keysyms_length(reply));
        std::free(reply);
        const int a = keycodeOf(m_connection, first), b = keycodeOf(m_connection, second);
        if (a < 0 || b < 0) return;
        m_low = std::min(a, b);
        m_high = std::max(a, b);
        std::vector<xcb_keysym_t> rows(m_original.begin() + row(m_low), m_original.begin() + row(m_high + 1));
        std::swap_ranges(rows.begin() + row(a) - row(m_low), rows.begin() + row(a) - row(m_low) + m_perKeycode,
                         rows.begin() + row(b) - row(m_low));
        apply(rows);
        m_swapped = true;
    }
    ~ScopedSwappedKeys() {
        if (m_swapped)
            apply(std::vector<xcb_keysym_t>(m_original.begin() + row(m_low), m_original.begin() + row(m_high + 1)));
        xcb_disconnect(m_connection);
    }
    ScopedSwappedKeys(const ScopedSwappedKeys&) = delete;
    ScopedSwappedKeys& operator=(const ScopedSwappedKeys&) = delete;

    bool swapped() const { return m_swapped; }

private:
    std::ptrdiff_t row(int keycode) const { return std::ptrdiff_t(keycode - m_min) * m_perKeycode; }
    void apply(const std::vector<xcb_keysym_t>& rows) {
        xcb_void_cookie_t cookie = xcb_change_keyboard_mapping_checked(m_connection, quint8(m_high - m_low + 1),
                                                                       xcb_keycode_t(m_low), m_perKeycode, rows.data());
        std::free(xcb_request_check(m_connection, cookie));
    }

    xcb_connection_t* m_connection = nullptr;
    int m_min = 8;
    quint8 m_perKeycode = 0;
    std::vector<xcb_keysym_t> m_original;
    int m_low = 0;
    int m_high = 0;
    bool m_swapped = false;
};

// A passive grab of one key with one exact modifier mask, held by a client of
// its own (as another program would) until destroyed.
class ScopedRawGrab {
public:
    ScopedRawGrab(xcb_keysym_t symbol, quint16 mask) : m_mask(mask) {
        int screenNumber = 0;
        m_connection = xcb_connect(nullptr, &screenNumber);
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
        for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&screens);
        m_root = screens.data->root;
        m_keycode = xcb_keycode_t(std::max(keycodeOf(m_connection, symbol), 0));
        if (m_keycode == 0) return;
        const auto grab =
            xcb_grab_key_checked(m_connection, 1, m_root, m_mask, m_keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        xcb_generic_error_t* error = xcb_request_check(m_connection, grab);
        m_grabbed = error == nullptr;
        std::free(error);
    }
    ~ScopedRawGrab() {
        if (m_grabbed) xcb_ungrab_key(m_connection, m_keycode, m_root, m_mask);
        syncAndDisconnect(m_connection);
    }
    ScopedRawGrab(const ScopedRawGrab&) = delete;
    ScopedRawGrab& operator=(const ScopedRawGrab&) = delete;

    bool grabbed() const { return m_grabbed; }

private:
    // Makes sure the server has handled every request before disconnecting.
    static void syncAndDisconnect(xcb_connection_t* connection) {
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
        xcb_disconnect(connection);
    }

    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = 0;
    xcb_keycode_t m_keycode = 0;
    quint16 m_mask = 0;
    bool m_grabbed = false;
};

// An X client of the test's own on the display DISPLAY names, with plain
// xcb: makes top-level windows as an application would, and reads what the
// window manager publishes as a pager would.
class X11Client {
public:
    X11Client() : m_connection(xcb_connect(nullptr, nullptr)) {
        m_screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
    }
    ~X11Client() {
        for (xcb_window_t window : m_windows) xcb_destroy_window(m_connection, window);
        sync();
        xcb_disconnect(m_connection);
    }
    X11Client(const X11Client&) = delete;
    X11Client& operator=(const X11Client&) = delete;

    xcb_connection_t* connection() const { return m_connection; }
    xcb_window_t root() const { return m_screen->root; }

    xcb_atom_t atom(const char* name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return value;
    }

    // A top-level application window of the given size that accepts
    // WM_DELETE_WINDOW, with the given process id (or none), once the window
    // manager has taken it.
    xcb_window_t createWindow(std::optional<uint32_t> pid, uint16_t width = 200, uint16_t height = 150) {
        const xcb_window_t window = xcb_generate_id(m_connection);
        const uint32_t events = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, root(), 10, 10, width, height, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, m_screen->root_visual, XCB_CW_EVENT_MASK, &events);
        const xcb_atom_t deleteWindow = atom("WM_DELETE_WINDOW");
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, atom("WM_PROTOCOLS"), XCB_ATOM_ATOM, 32, 1,
                            &deleteWindow);
        if (pid)
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32,
                                1, &*pid);
        m_windows.push_back(window);
        // A window manager may drop a map request while it is busy: it is
        // repeated until the window is managed.
        QDeadlineTimer nextMap;
        const bool managed = waitUntil([&] {
            if (nextMap.hasExpired()) {
                xcb_map_window(m_connection, window);
                xcb_flush(m_connection);
                nextMap.setRemainingTime(500);
            }
            return contains(property(root(), "_NET_CLIENT_LIST", XCB_ATOM_WINDOW), window);
        });
        EXPECT_TRUE(managed) << "the window manager did not take the window";
        // openbox gives a new window the focus a moment after it took it:
        // waiting for that keeps it from undoing the next focus change a test
        // asks for. (A window manager that does not focus new windows costs
        // this wait and nothing else.)
        waitUntil([&] { return activeWindow() == window; }, 2000);
        return window;
    }

    std::vector<uint32_t> property(xcb_window_t window, const char* name, xcb_atom_t type) {
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            m_connection, xcb_get_property(m_connection, 0, window, atom(name), type, 0, 1024), nullptr);
        std::vector<uint32_t> values;
        if (reply && reply->format == 32) {
            const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(reply));
            values.assign(data, data + xcb_get_property_value_length(reply) / 4);
        }
        std::free(reply);
        return values;
    }

    // A property's bytes as they are stored.
    QByteArray bytes(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) {
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            m_connection, xcb_get_property(m_connection, 0, window, property, type, 0, 1024), nullptr);
        QByteArray value;
        if (reply)
            value = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                               xcb_get_property_value_length(reply));
        std::free(reply);
        return value;
    }

    static bool contains(const std::vector<uint32_t>& values, uint32_t value) {
        return std::find(values.begin(), values.end(), value) != values.end();
    }

    bool isHidden(xcb_window_t window) {
        return contains(property(window, "_NET_WM_STATE", XCB_ATOM_ATOM), atom("_NET_WM_STATE_HIDDEN"));
    }
    std::optional<xcb_window_t> activeWindow() {
        const auto active = property(root(), "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW);
        if (active.empty() || active.front() == XCB_WINDOW_NONE) return std::nullopt;
        return active.front();
    }
    bool showingDesktop() {
        const auto value = property(root(), "_NET_SHOWING_DESKTOP", XCB_ATOM_CARDINAL);
        return !value.empty() && value.front() != 0;
    }

    // Asks the window manager to activate a window, as a taskbar would, and
    // waits until it is active.
    void activate(xcb_window_t window) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = atom("_NET_ACTIVE_WINDOW");
        event.data.data32[0] = 2;
        xcb_send_event(m_connection, 0, root(),
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
        xcb_flush(m_connection);
        EXPECT_TRUE(waitUntil([&] { return activeWindow() == window; })) << "the window did not become active";
    }

    // The windows the window manager asked to close (WM_DELETE_WINDOW) so far.
    const std::vector<xcb_window_t>& closeRequests() {
        const xcb_atom_t protocols = atom("WM_PROTOCOLS");
        const xcb_atom_t deleteWindow = atom("WM_DELETE_WINDOW");
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
                if (message->type == protocols && message->data.data32[0] == deleteWindow)
                    m_closeRequests.push_back(message->window);
            }
            std::free(event);
        }
        return m_closeRequests;
    }

    // Takes a selection, as the program that provides it would.
    xcb_window_t ownSelection(const char* name) {
        const xcb_window_t owner = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, owner, root(), -1, -1, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        m_windows.push_back(owner);
        xcb_set_selection_owner(m_connection, owner, atom(name), XCB_CURRENT_TIME);
        sync();
        return owner;
    }
    void releaseSelection(const char* name) {
        xcb_set_selection_owner(m_connection, XCB_WINDOW_NONE, atom(name), XCB_CURRENT_TIME);
        sync();
    }

    void sync() { std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr)); }

private:
    xcb_connection_t* m_connection;
    xcb_screen_t* m_screen = nullptr;
    std::vector<xcb_window_t> m_windows;
    std::vector<xcb_window_t> m_closeRequests;
};

// A test on the session's display and its window manager, with an X client of
// its own.
class SessionWindowsTest : public SessionDisplayTest {
protected:
    void SetUp() override {
        SessionDisplayTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        VANTREL_REQUIRE_DESKTOP_OR_SKIP(windowManagerIsRunning(), "no window manager runs on the display");
        client.emplace();
    }
    std::optional<X11Client> client;
};

// An X server of the test's own (Xvfb), optionally with a window manager
// (openbox unless another is named; fluxbox runs with its toolbar hidden),
// named by DISPLAY for its lifetime (and XDG_SESSION_TYPE unset), so that
// tests which minimize, close, grab or change the monitors never meet
// another test's windows.
class PrivateDisplay {
public:
    explicit PrivateDisplay(bool withWindowManager, const QString& windowManagerName = QStringLiteral("openbox"),
                            const QString& screenSize = QStringLiteral("800x600")) {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        const QString windowManager = QStandardPaths::findExecutable(windowManagerName);
        if (xvfb.isEmpty() || (withWindowManager && windowManager.isEmpty())) {
            m_problem = QStringLiteral("Xvfb and %1 are needed for the window tests").arg(windowManagerName);
            return;
        }
        // Unread output would fill the pipes and stall the server.
        m_server.setStandardErrorFile(QProcess::nullDevice());
        m_windowManager.setStandardOutputFile(QProcess::nullDevice());
        m_windowManager.setStandardErrorFile(QProcess::nullDevice());
        // -displayfd: the server picks a free display and writes its number once it is ready.
        // -noreset: without it the server resets whenever its last client leaves and
        // refuses the next connection for a moment.
        m_server.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                              QStringLiteral("0"), screenSize + QStringLiteral("x24"), QStringLiteral("-nolisten"),
                              QStringLiteral("tcp"), QStringLiteral("-noreset")});
        if (!m_server.waitForReadyRead(15000)) {
            m_problem = QStringLiteral("Xvfb did not start");
            return;
        }
        m_display = QStringLiteral(":") + QString::fromLatin1(m_server.readLine()).trimmed();
        m_variable.emplace("DISPLAY", m_display.toUtf8());
        if (!withWindowManager) return;
        QStringList arguments;
        if (windowManagerName == QLatin1String("openbox")) arguments << QStringLiteral("--sm-disable");
        if (windowManagerName == QLatin1String("fluxbox")) {
            // A configuration of its own: no toolbar or slit in the way. Its
            // wallpaper setter (fbsetbg) would open a message window without a
            // setter installed: a quiet one stands in for it.
            m_configuration = std::make_unique<QTemporaryDir>();
            const QString rc = m_configuration->filePath(QStringLiteral("init"));
            QFile file(rc);
            if (file.open(QIODevice::WriteOnly)) {
                file.write("session.screen0.toolbar.visible: false\n"
                           "session.screen0.slit.autoHide: true\n"
                           "session.screen0.workspaces: 4\n");
                file.close();
            }
            QFile setter(m_configuration->filePath(QStringLiteral("fbsetbg")));
            if (setter.open(QIODevice::WriteOnly)) setter.write("#!/bin/sh\nexit 0\n");
            setter.close();
            setter.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("PATH"),
                               m_configuration->path() + QLatin1Char(':') + environment.value(QStringLiteral("PATH")));
            m_windowManager.setProcessEnvironment(environment);
            arguments << QStringLiteral("-rc") << rc;
        }
        m_windowManager.start(windowManager, arguments);
        X11Client probe;
        if (!waitUntil(
                [&] { return !probe.property(probe.root(), "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW).empty(); },
                15000))
            m_problem = windowManagerName + QStringLiteral(" did not start");
    }
    ~PrivateDisplay() {
        for (QProcess* process : {&m_windowManager, &m_server}) {
            if (process->state() == QProcess::NotRunning) continue;
            process->terminate();
            if (!process->waitForFinished(3000)) process->kill();
            process->waitForFinished(1000);
        }
    }
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;

    // Why the display could not be had; empty when it runs.
    const QString& problem() const { return m_problem; }
    const QString& display() const { return m_display; }

private:
    QProcess m_server;
    QProcess m_windowManager;
    QString m_display;
    QString m_problem;
    std::unique_ptr<QTemporaryDir> m_configuration;
    ScopedEnv m_session{"XDG_SESSION_TYPE", std::nullopt};
    std::optional<ScopedEnv> m_variable;
};

// MARK: Frames measured from outside

inline QString toolOutput(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000)) return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

inline int xwininfoField(const QString& text, const char* label) {
    const QRegularExpression pattern(QStringLiteral("%1:\\s*(-?\\d+)").arg(QRegularExpression::escape(QLatin1String(label))));
    return pattern.match(text).captured(1).toInt();
}

// The visible frame of a client window, decorations and border included: the
// geometry xwininfo reports for its top-level ancestor (the window manager's
// frame). Nothing while the window is not managed or gone.
inline std::optional<QRect> measuredFrame(xcb_window_t window) {
    QString id = QStringLiteral("0x%1").arg(window, 0, 16);
    for (int depth = 0; depth < 8; ++depth) {
        const QString tree = toolOutput(QStringLiteral("xwininfo"), {QStringLiteral("-tree"), QStringLiteral("-id"), id});
        const QRegularExpressionMatch parent =
            QRegularExpression(QStringLiteral("Parent window id: (0x[0-9a-f]+)( \\(the root window\\))?")).match(tree);
        if (!parent.hasMatch()) return std::nullopt;
        if (!parent.captured(2).isEmpty()) break;
        id = parent.captured(1);
    }
    const QString info = toolOutput(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id});
    if (!info.contains(QLatin1String("Absolute upper-left X"))) return std::nullopt;
    const int border = xwininfoField(info, "Border width");
    return QRect(xwininfoField(info, "Absolute upper-left X") - border, xwininfoField(info, "Absolute upper-left Y") - border,
                 xwininfoField(info, "Width") + 2 * border, xwininfoField(info, "Height") + 2 * border);
}

inline bool within(const QRect& a, const QRect& b, int tolerance) {
    return std::abs(a.x() - b.x()) <= tolerance && std::abs(a.y() - b.y()) <= tolerance &&
           std::abs(a.width() - b.width()) <= tolerance && std::abs(a.height() - b.height()) <= tolerance;
}

// The measured frame is the expected one, within a pixel (window managers
// differ in where they put a one-pixel border).
inline ::testing::AssertionResult isNear(const QRect& measured, const QRect& expected) {
    if (within(measured, expected, 1)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "measured " << measured.x() << "," << measured.y() << " "
                                         << measured.width() << "x" << measured.height() << ", expected "
                                         << expected.x() << "," << expected.y() << " " << expected.width() << "x"
                                         << expected.height();
}

// Whether the window's own size plus the decorations the window manager
// publishes is the size of its frame: window managers move and size the
// frame and the window inside it one after the other.
inline bool fillsItsFrame(X11Client& client, xcb_window_t window, const QRect& frame) {
    const std::vector<uint32_t> extents = client.property(window, "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL);
    if (extents.size() < 4) return true;
    const QString info =
        toolOutput(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QStringLiteral("0x%1").arg(window, 0, 16)});
    return xwininfoField(info, "Width") + int(extents[0] + extents[1]) == frame.width() &&
           xwininfoField(info, "Height") + int(extents[2] + extents[3]) == frame.height();
}

}  // namespace vantrel::test
