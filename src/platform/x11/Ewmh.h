#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace vantrel {

class XcbConnection;

// The desktop's windows as a pager or task bar sees them, through the hints
// window managers publish on the root window (the managed windows, the active
// one, "showing the desktop"), and the requests they accept from pagers:
// close, minimize and activate a window, show the desktop.
//
// Requests are only sent; sync() waits until the server has taken them. What
// the window manager then does is up to it.
class Ewmh {
public:
    using WindowId = uint32_t;

    struct Window {
        WindowId id = 0;
        // The process that owns the window, when the window says.
        std::optional<uint32_t> pid;
        // An application window a user would call "a window" of the application
        // (no dialog, panel or window kept off the task bar).
        bool normal = false;
        // Minimized.
        bool hidden = false;
        // _NET_WM_NAME, else WM_NAME.
        QString title;
        // The class of WM_CLASS ("Gimp"), which desktop entries name as StartupWMClass.
        QString className;
    };

    // The window's icon of _NET_WM_ICON closest to `size` pixels (the smallest
    // one at least that large, else the largest), as ARGB pixels row by row;
    // nothing when the window has none.
    struct Icon {
        int width = 0;
        int height = 0;
        std::vector<uint32_t> argb;
    };
    std::optional<Icon> icon(WindowId window, int size) const;

    // Connects to $DISPLAY and checks that a window manager publishing these
    // hints is running. On failure returns nothing and *problem says why, as
    // the end of a sentence ("no window manager that follows the EWMH
    // conventions is running").
    static std::unique_ptr<Ewmh> connect(QString* problem);

    // On a connection that is already open (the application's own, say);
    // nothing is checked.
    explicit Ewmh(std::shared_ptr<XcbConnection> connection);
    ~Ewmh();
    Ewmh(const Ewmh&) = delete;
    Ewmh& operator=(const Ewmh&) = delete;

    const XcbConnection& connection() const { return *m_connection; }

    // Whether the window manager lists `hint` ("_NET_CLOSE_WINDOW") among the
    // hints it supports.
    bool supports(const char* hint) const;

    // The window that has the focus, if any.
    std::optional<WindowId> activeWindow() const;

    // The managed windows, bottom to top of the stacking order when the window
    // manager publishes it, else in the order they were mapped.
    std::vector<Window> clientWindows() const;

    // Whether the desktop is shown with every window out of the way.
    bool showingDesktop() const;
    void setShowingDesktop(bool showing);

    // Asks the window's application to close it, as a task bar's close button
    // does: the application may ask to save first.
    void close(WindowId window);
    // Asks the window manager to minimize the window.
    void minimize(WindowId window);
    // Asks the window manager to show the window and give it the focus, as a
    // pager does (which window managers with focus-stealing prevention accept).
    void activate(WindowId window);

    // Asks the window manager to place the window's outer frame at x, y
    // (its top-left corner) and to give the window itself the size width x
    // height, as a pager does (_NET_MOVERESIZE_WINDOW); without that hint,
    // a configure request of the window with the same numbers.
    void moveResize(WindowId window, int x, int y, int width, int height);
    // Adds, removes or toggles one or two states (_NET_WM_STATE_FULLSCREEN…).
    enum class StateChange : uint32_t { remove = 0, add = 1, toggle = 2 };
    void changeState(WindowId window, StateChange change, const char* state, const char* otherState = nullptr);
    // Moves the window to a desktop, counted from 0 (_NET_WM_DESKTOP).
    void moveToDesktop(WindowId window, uint32_t desktop);

    // A list of windows kept on the root window under `property`, for a
    // command that undoes in a later process what an earlier one did.
    std::vector<WindowId> windowList(const char* property) const;
    // Replaces the list (an empty one removes the property).
    void setWindowList(const char* property, const std::vector<WindowId>& windows);

    // Waits until the server has taken every request sent so far.
    void sync();

private:
    std::shared_ptr<XcbConnection> m_connection;
};

}  // namespace vantrel
