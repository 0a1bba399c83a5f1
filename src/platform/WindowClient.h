#pragma once

#include <QRect>
#include <QString>
#include <QtGlobal>

#include <optional>
#include <vector>

namespace vantrel {

// The user's windows as the window-management commands see them: the window
// the user was in, its frame and screen, and the requests that move, resize,
// make fullscreen or send it to another desktop. Rectangles are in device
// pixels of the whole desktop, y growing downwards.
//
// Failures the user must read are thrown as VantrelError with a fixed
// sentence ("Cannot get focused window"). Requests are handed to the window
// manager, which carries them out a moment later. Main thread only.
class WindowClient {
public:
    using WindowId = quint64;

    struct Window {
        WindowId id = 0;
        // The visible frame: the window manager's decorations included, the
        // invisible shadow margins of client-side decorations left out.
        QRect frame;
        // A modal window that belongs to another window.
        bool sheet = false;
        // A dialog that belongs to no window.
        bool systemDialog = false;
        // False when the window's minimum and maximum sizes are equal.
        bool resizable = true;
        // Whether the window manager lets this window go fullscreen.
        bool canToggleFullscreen = true;
        bool fullscreen = false;
    };

    struct Screen {
        QString name;
        QRect geometry;
        // Without the space panels and docks reserve.
        QRect usableArea;
    };

    // The desktops of the window manager and the one the window is on
    // (nothing when it shows on every desktop or does not say).
    struct Desktops {
        int count = 0;
        std::optional<int> current;
    };

    // A window of the desktop as a switcher lists it.
    struct OpenWindow {
        WindowId id = 0;
        QString title;
        // The application's window class ("firefox"), for its desktop entry.
        QString applicationClass;
        std::optional<quint32> pid;
        bool active = false;
        bool minimized = false;
        // The window's own icon (ARGB pixels row by row), when it has one.
        int iconWidth = 0;
        int iconHeight = 0;
        std::vector<quint32> iconArgb;
    };

    virtual ~WindowClient() = default;

    // The application windows (no panels, docks or dialogs of other windows),
    // the most recently used first; icons of about `iconSize` pixels when asked
    // for (0: none).
    virtual std::vector<OpenWindow> openWindows(int iconSize) = 0;
    // Shows the window and gives it the focus, as a pager does.
    virtual void activate(WindowId window) = 0;

    // Called as the launcher opens, before it takes the focus: the window
    // the user is in is the one the commands act on while the launcher (the
    // process's own window `ownWindow`) is in front.
    virtual void rememberActiveWindow(quintptr ownWindow) = 0;

    // The window the user is in: the active one, or the one remembered when
    // the launcher opened while the launcher is in front. Throws "Cannot get
    // focused window" when there is none.
    virtual Window focusedWindow() = 0;

    // The screens in the system's order (the monitors), with their usable areas.
    virtual std::vector<Screen> screens() = 0;

    // Places the window's visible frame on `frame`, taking it out of the
    // maximised state first.
    virtual void setFrame(const Window& window, const QRect& frame) = 0;

    virtual void setFullscreen(const Window& window, bool fullscreen) = 0;

    virtual Desktops desktops(const Window& window) = 0;
    virtual void moveToDesktop(const Window& window, int desktop) = 0;
};

}  // namespace vantrel
