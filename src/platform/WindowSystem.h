#pragma once

#include <QByteArray>
#include <QRect>
#include <QtGlobal>

#include <optional>

namespace vantrel {

// The launcher window's place among the desktop's windows: what the window
// manager and compositor are doing, and what the launcher asks of them.
// Windows are named by their native id (QWidget::winId()). Call it from the
// thread the windows live on.
class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // Whether a compositor runs, so that translucent pixels show what lies
    // below the window (without one they show black).
    virtual bool compositorRunning() const = 0;

    // Where the active window is, in device pixels of the whole desktop (its
    // contents, without the window manager's frame); nothing when no window
    // is active, or when the active window is `ownWindow`.
    virtual std::optional<QRect> activeWindowGeometry(quintptr ownWindow) const = 0;

    // Sets the instance and class name the window manager and task bars know
    // the window by.
    virtual void setWindowClass(quintptr window, const QByteArray& instanceName, const QByteArray& className) = 0;

    // Asks the window manager to give the window the focus the way pagers do,
    // which window managers with focus-stealing prevention accept.
    virtual void requestActivation(quintptr window) = 0;
};

}  // namespace vantrel
