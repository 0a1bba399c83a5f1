#pragma once

#include "platform/WindowSystem.h"

#include <memory>

namespace vantrel {

class Ewmh;
class XcbConnection;

// The window system of an X11 desktop, spoken to over the connection the
// windows live on.
class X11WindowSystem : public WindowSystem {
public:
    // On the connection Qt shows the application's windows on; nothing when
    // the application does not run on X11 (needs the QGuiApplication).
    static std::shared_ptr<X11WindowSystem> forApplication();

    explicit X11WindowSystem(std::shared_ptr<XcbConnection> connection);
    ~X11WindowSystem() override;
    X11WindowSystem(const X11WindowSystem&) = delete;
    X11WindowSystem& operator=(const X11WindowSystem&) = delete;

    // A compositor owns the selection _NET_WM_CM_S<screen>.
    bool compositorRunning() const override;
    std::optional<QRect> activeWindowGeometry(quintptr ownWindow) const override;
    void setWindowClass(quintptr window, const QByteArray& instanceName, const QByteArray& className) override;
    void requestActivation(quintptr window) override;

private:
    std::shared_ptr<XcbConnection> m_connection;
    std::unique_ptr<Ewmh> m_ewmh;
};

}  // namespace vantrel
