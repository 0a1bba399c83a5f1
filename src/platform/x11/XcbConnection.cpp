#include "platform/x11/XcbConnection.h"

#include <QtGui/qguiapplication_platform.h>
#include <QGuiApplication>
#include <QSocketNotifier>

#include <cstdlib>
#include <cstring>

namespace vantrel {

namespace {

// The screen a display name ("host:display.screen") points at; 0 without one.
int screenOfDisplayName(const QByteArray& display) {
    const int dot = display.lastIndexOf('.');
    if (dot > display.lastIndexOf(':')) return display.mid(dot + 1).toInt();
    return 0;
}

}  // namespace

std::shared_ptr<XcbConnection> XcbConnection::ofApplication() {
    // A plain QCoreApplication (the command line, engine tests) has no windows.
    auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!application || QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    auto* x11 = application->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection()) return nullptr;
    return std::shared_ptr<XcbConnection>(
        new XcbConnection(x11->connection(), screenOfDisplayName(qgetenv("DISPLAY")), false));
}

std::unique_ptr<XcbConnection> XcbConnection::open(const QByteArray& display, QString* problem) {
    const QByteArray name = display.isEmpty() ? qgetenv("DISPLAY") : display;
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(name.isEmpty() ? nullptr : name.constData(), &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        if (problem) *problem = QStringLiteral("the X display %1 cannot be reached").arg(QString::fromLocal8Bit(name));
        return nullptr;
    }
    std::unique_ptr<XcbConnection> result(new XcbConnection(connection, screenNumber, true));
    if (result->root() == XCB_WINDOW_NONE) {
        if (problem) *problem = QStringLiteral("the X display %1 has no such screen").arg(QString::fromLocal8Bit(name));
        return nullptr;
    }
    return result;
}

XcbConnection::XcbConnection(xcb_connection_t* connection, int screenNumber, bool owned)
    : m_connection(connection), m_screenNumber(screenNumber), m_owned(owned) {
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int i = 0; i < m_screenNumber && screens.rem; ++i) xcb_screen_next(&screens);
    if (screens.rem) m_root = screens.data->root;
}

XcbConnection::~XcbConnection() {
    if (m_owned) xcb_disconnect(m_connection);
}

xcb_atom_t XcbConnection::atom(const char* name, bool onlyIfExists) const {
    {
        std::lock_guard lock(m_atomsLock);
        if (auto found = m_atoms.find(name); found != m_atoms.end()) return found->second;
    }
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, onlyIfExists, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    if (value != XCB_ATOM_NONE) {
        std::lock_guard lock(m_atomsLock);
        m_atoms.emplace(name, value);
    }
    return value;
}

xcb_get_property_cookie_t XcbConnection::requestProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                                                         uint32_t length) const {
    return xcb_get_property(m_connection, 0, window, property, type, 0, length);
}

std::vector<uint32_t> XcbConnection::readProperty32(xcb_get_property_cookie_t cookie) const {
    std::vector<uint32_t> values;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(m_connection, cookie, nullptr);
    if (reply && reply->format == 32) {
        const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(reply));
        values.assign(data, data + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    return values;
}

QByteArray XcbConnection::readProperty8(xcb_get_property_cookie_t cookie) const {
    QByteArray bytes;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(m_connection, cookie, nullptr);
    if (reply && reply->format == 8)
        bytes = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)), xcb_get_property_value_length(reply));
    std::free(reply);
    return bytes;
}

bool XcbConnection::selectionOwned(const char* name) const {
    // A selection nobody has named yet has no owner either.
    const xcb_atom_t selection = atom(name, true);
    if (selection == XCB_ATOM_NONE) return false;
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(m_connection, xcb_get_selection_owner(m_connection, selection), nullptr);
    const bool owned = owner && owner->owner != XCB_WINDOW_NONE;
    std::free(owner);
    return owned;
}

void XcbConnection::sendToRoot(xcb_window_t window, xcb_atom_t type, const uint32_t (&data)[5]) const {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    for (int i = 0; i < 5; ++i) event.data.data32[i] = data[i];
    xcb_send_event(m_connection, 0, m_root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

void XcbConnection::flush() const {
    xcb_flush(m_connection);
}

void XcbConnection::sync() const {
    std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
}

// MARK: - XcbEventReader

XcbEventReader::XcbEventReader(xcb_connection_t* connection, Handler handle, std::function<void()> broken)
    : m_connection(connection),
      m_handle(std::move(handle)),
      m_broken(std::move(broken)),
      m_context(std::make_unique<QObject>()),
      m_notifier(std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection), QSocketNotifier::Read)) {
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_context.get(), [this] { drain(); });
    drainSoon();
}

XcbEventReader::~XcbEventReader() = default;

void XcbEventReader::drain() {
    if (!m_notifier) return;
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
        m_handle(*event);
        std::free(event);
    }
    if (xcb_connection_has_error(m_connection)) {
        m_notifier.reset();
        if (m_broken) m_broken();
    }
}

void XcbEventReader::drainSoon() {
    if (m_drainScheduled) return;
    m_drainScheduled = true;
    QMetaObject::invokeMethod(
        m_context.get(),
        [this] {
            m_drainScheduled = false;
            drain();
        },
        Qt::QueuedConnection);
}

}  // namespace vantrel
