#pragma once

#include "platform/WindowClient.h"

#include <QString>

#include <memory>
#include <optional>

namespace vantrel {

class Ewmh;

// The user's windows on an X11 desktop, through the hints and requests of
// the EWMH conventions: the active window (_NET_ACTIVE_WINDOW), the frame
// around it (_NET_FRAME_EXTENTS, and _GTK_FRAME_EXTENTS for windows that draw
// their own decorations and shadows), moves (_NET_MOVERESIZE_WINDOW, else a
// configure request), states (maximised, fullscreen) and desktops. A screen
// is a RandR monitor; its usable area is what _GTK_WORKAREAS_D<n> gives for
// it where the window manager publishes that, otherwise the monitor less the
// struts of docks and panels (_NET_WM_STRUT_PARTIAL, _NET_WM_STRUT).
//
// It speaks over a connection of its own, so it works in the launcher and in
// a command-line process alike.
class X11WindowClient : public WindowClient {
public:
    // Connects to $DISPLAY; null (and *problem, when given, a sentence
    // saying why) in a Wayland session, without a display or without a
    // window manager that follows the conventions.
    static std::unique_ptr<X11WindowClient> connect(QString* problem);
    // The client of this process: connected on first use and kept.
    static std::shared_ptr<WindowClient> shared(QString* problem);

    explicit X11WindowClient(std::unique_ptr<Ewmh> ewmh);
    ~X11WindowClient() override;
    X11WindowClient(const X11WindowClient&) = delete;
    X11WindowClient& operator=(const X11WindowClient&) = delete;

    void rememberActiveWindow(quintptr ownWindow) override;
    Window focusedWindow() override;
    std::vector<Screen> screens() override;
    void setFrame(const Window& window, const QRect& frame) override;
    void setFullscreen(const Window& window, bool fullscreen) override;
    Desktops desktops(const Window& window) override;
    void moveToDesktop(const Window& window, int desktop) override;
    std::vector<OpenWindow> openWindows(int iconSize) override;
    void activate(WindowId window) override;

    // The window's visible frame as it is now (nothing when it is gone).
    std::optional<QRect> frameOf(WindowId window) const;

private:
    struct Extents {
        int left = 0, right = 0, top = 0, bottom = 0;
    };
    bool isOwn(WindowId window) const;
    bool exists(WindowId window) const;
    Extents extents(WindowId window, const char* property) const;
    std::vector<uint32_t> states(WindowId window) const;

    std::unique_ptr<Ewmh> m_ewmh;
    std::optional<WindowId> m_remembered;
};

}  // namespace vantrel
