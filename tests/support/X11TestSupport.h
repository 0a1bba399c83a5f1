#pragma once

// The X server of the test session, driven as a user would: key presses
// through xdotool, keyboard layout changes through the core protocol, and the
// window manager's own key bindings.
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <functional>
#include <memory>
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
        const int a = keycodeOf(first), b = keycodeOf(second);
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
    int keycodeOf(xcb_keysym_t symbol) const {
        for (size_t i = 0; i < m_original.size(); i += m_perKeycode)
            if (m_original[i] == symbol) return int(i / m_perKeycode) + m_min;
        return -1;
    }
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
        const xcb_setup_t* setup = xcb_get_setup(m_connection);
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
        for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&screens);
        m_root = screens.data->root;
        const xcb_keycode_t min = setup->min_keycode;
        const auto cookie = xcb_get_keyboard_mapping(m_connection, min, quint8(setup->max_keycode - min + 1));
        xcb_get_keyboard_mapping_reply_t* reply = xcb_get_keyboard_mapping_reply(m_connection, cookie, nullptr);
        const xcb_keysym_t* symbols = xcb_get_keyboard_mapping_keysyms(reply);
        const int count = xcb_get_keyboard_mapping_keysyms_length(reply);
        for (int i = 0; i < count; i += reply->keysyms_per_keycode)
            if (symbols[i] == symbol) {
                m_keycode = xcb_keycode_t(min + i / reply->keysyms_per_keycode);
                break;
            }
        std::free(reply);
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

}  // namespace vantrel::test
