#pragma once

#include <QByteArray>
#include <QString>

#include <xcb/xcb.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class QObject;
class QSocketNotifier;

namespace vantrel {

// A connection to an X server with what every X11 component needs of it
// first: the root window of its screen and atoms by name (each asked of the
// server once, then remembered).
//
// It is either the application's own connection, the one Qt shows its windows
// on (which stays Qt's: it is never closed here), or a connection of its own,
// closed when this object goes. Requests on one connection may come from any
// thread; the atom cache is shared under a lock.
class XcbConnection {
public:
    // Properties are read up to this many 32-bit values.
    static constexpr uint32_t kMaxPropertyLength = 8192;

    // The connection Qt's windows live on, when the application shows them on
    // X11; nothing when it runs on another platform or has no QGuiApplication.
    static std::shared_ptr<XcbConnection> ofApplication();

    // A connection of its own to `display` (empty: $DISPLAY). On failure
    // returns nothing and *problem (if given) says why, as the end of a
    // sentence ("the X display :5 cannot be reached").
    static std::unique_ptr<XcbConnection> open(const QByteArray& display = {}, QString* problem = nullptr);

    ~XcbConnection();
    XcbConnection(const XcbConnection&) = delete;
    XcbConnection& operator=(const XcbConnection&) = delete;

    xcb_connection_t* get() const { return m_connection; }
    // The screen the connection was made for, and its root window
    // (XCB_WINDOW_NONE when the server has no such screen).
    int screenNumber() const { return m_screenNumber; }
    xcb_window_t root() const { return m_root; }

    // The atom called `name`. With onlyIfExists, XCB_ATOM_NONE while no client
    // has created it (that answer is not remembered, so the atom is found once
    // it exists). XCB_ATOM_NONE as well when the server does not answer.
    xcb_atom_t atom(const char* name, bool onlyIfExists = false) const;

    // Asks for a property of up to `length` 32-bit values; the answer is read
    // with readProperty32, so that many requests can share one round trip.
    xcb_get_property_cookie_t requestProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                                              uint32_t length = kMaxPropertyLength) const;
    // The values of a 32-bit property (windows, atoms, cardinals); empty when
    // it is not set, has another type or format, or the window is gone.
    std::vector<uint32_t> readProperty32(xcb_get_property_cookie_t cookie) const;
    std::vector<uint32_t> property32(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                                     uint32_t length = kMaxPropertyLength) const {
        return readProperty32(requestProperty(window, property, type, length));
    }

    // The bytes of an 8-bit property (texts), whatever its type; empty when
    // it is not set or the window is gone.
    QByteArray readProperty8(xcb_get_property_cookie_t cookie) const;

    // Whether some client owns the selection called `name`.
    bool selectionOwned(const char* name) const;

    // A client message of format 32 about `window`, sent to the root window
    // the way window managers expect requests from pagers and applications.
    void sendToRoot(xcb_window_t window, xcb_atom_t type, const uint32_t (&data)[5]) const;

    // Hands the requests sent so far to the server.
    void flush() const;
    // Waits until the server has handled every request sent so far.
    void sync() const;

private:
    XcbConnection(xcb_connection_t* connection, int screenNumber, bool owned);

    xcb_connection_t* m_connection;
    int m_screenNumber;
    bool m_owned;
    xcb_window_t m_root = XCB_WINDOW_NONE;
    mutable std::mutex m_atomsLock;
    mutable std::map<std::string, xcb_atom_t> m_atoms;
};

// Reads the events of a connection on the event loop of the thread that made
// it: when its socket has data, and on the next turn after requests whose
// replies may have pulled events into xcb's own queue, where the socket
// notifier does not see them (drainSoon). Each event goes to `handle`; a
// broken connection is reported once to `broken` and read no more.
class XcbEventReader {
public:
    using Handler = std::function<void(const xcb_generic_event_t& event)>;

    XcbEventReader(xcb_connection_t* connection, Handler handle, std::function<void()> broken = {});
    ~XcbEventReader();
    XcbEventReader(const XcbEventReader&) = delete;
    XcbEventReader& operator=(const XcbEventReader&) = delete;

    // Reads what is queued now.
    void drain();
    // Reads what is queued on the next turn of the event loop.
    void drainSoon();
    // Lives as long as the reader: the receiver of timers and queued calls
    // that must end with it.
    QObject* context() const { return m_context.get(); }

private:
    xcb_connection_t* m_connection;
    Handler m_handle;
    std::function<void()> m_broken;
    std::unique_ptr<QObject> m_context;
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_drainScheduled = false;
};

}  // namespace vantrel
