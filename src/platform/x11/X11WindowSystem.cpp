#include "platform/x11/X11WindowSystem.h"

#include "platform/x11/Ewmh.h"
#include "platform/x11/XcbConnection.h"

#include <cstdlib>

namespace vantrel {

std::shared_ptr<X11WindowSystem> X11WindowSystem::forApplication() {
    std::shared_ptr<XcbConnection> connection = XcbConnection::ofApplication();
    if (!connection) return nullptr;
    return std::make_shared<X11WindowSystem>(std::move(connection));
}

X11WindowSystem::X11WindowSystem(std::shared_ptr<XcbConnection> connection)
    : m_connection(std::move(connection)), m_ewmh(std::make_unique<Ewmh>(m_connection)) {}

X11WindowSystem::~X11WindowSystem() = default;

bool X11WindowSystem::compositorRunning() const {
    const QByteArray selection = "_NET_WM_CM_S" + QByteArray::number(m_connection->screenNumber());
    return m_connection->selectionOwned(selection.constData());
}

std::optional<QRect> X11WindowSystem::activeWindowGeometry(quintptr ownWindow) const {
    if (m_connection->root() == XCB_WINDOW_NONE) return std::nullopt;
    const std::optional<Ewmh::WindowId> active = m_ewmh->activeWindow();
    if (!active || *active == xcb_window_t(ownWindow)) return std::nullopt;
    xcb_connection_t* connection = m_connection->get();
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, *active), nullptr);
    xcb_translate_coordinates_reply_t* origin = xcb_translate_coordinates_reply(
        connection, xcb_translate_coordinates(connection, *active, m_connection->root(), 0, 0), nullptr);
    std::optional<QRect> found;
    if (geometry && origin) found = QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
    std::free(geometry);
    std::free(origin);
    return found;
}

void X11WindowSystem::setWindowClass(quintptr window, const QByteArray& instanceName, const QByteArray& className) {
    // Both names, each ending in a zero byte.
    QByteArray value = instanceName;
    value.append('\0').append(className).append('\0');
    xcb_change_property(m_connection->get(), XCB_PROP_MODE_REPLACE, xcb_window_t(window), XCB_ATOM_WM_CLASS,
                        XCB_ATOM_STRING, 8, uint32_t(value.size()), value.constData());
    m_connection->flush();
}

void X11WindowSystem::requestActivation(quintptr window) {
    if (m_connection->root() == XCB_WINDOW_NONE) return;
    m_ewmh->activate(Ewmh::WindowId(window));
    m_connection->flush();
}

}  // namespace vantrel
