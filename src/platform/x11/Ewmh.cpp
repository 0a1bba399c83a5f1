#include "platform/x11/Ewmh.h"

#include "platform/x11/XcbConnection.h"

#include <algorithm>

namespace vantrel {

namespace {

constexpr uint32_t kIconicState = 3;  // WM_CHANGE_STATE: minimized
constexpr uint32_t kSourcePager = 2;  // the request comes from a pager or task bar, i.e. the user

bool contains(const std::vector<uint32_t>& list, uint32_t value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

}  // namespace

std::unique_ptr<Ewmh> Ewmh::connect(QString* problem) {
    if (qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland")) {
        *problem = QStringLiteral("it works only in an X11 session, and this is a Wayland session");
        return nullptr;
    }
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty()) {
        *problem = QStringLiteral("it needs an X11 display, and DISPLAY is not set");
        return nullptr;
    }
    std::shared_ptr<XcbConnection> connection = XcbConnection::open(display, problem);
    if (!connection) return nullptr;
    auto ewmh = std::make_unique<Ewmh>(std::move(connection));
    const XcbConnection& x = ewmh->connection();
    if (x.property32(x.root(), x.atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW).empty()) {
        *problem = QStringLiteral("no window manager that follows the EWMH conventions is running");
        return nullptr;
    }
    return ewmh;
}

Ewmh::Ewmh(std::shared_ptr<XcbConnection> connection) : m_connection(std::move(connection)) {}

Ewmh::~Ewmh() = default;

bool Ewmh::supports(const char* hint) const {
    const XcbConnection& x = *m_connection;
    return contains(x.property32(x.root(), x.atom("_NET_SUPPORTED"), XCB_ATOM_ATOM), x.atom(hint));
}

std::optional<Ewmh::WindowId> Ewmh::activeWindow() const {
    const XcbConnection& x = *m_connection;
    const std::vector<uint32_t> active = x.property32(x.root(), x.atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);
    if (active.empty() || active.front() == XCB_WINDOW_NONE) return std::nullopt;
    return active.front();
}

std::vector<Ewmh::Window> Ewmh::clientWindows() const {
    const XcbConnection& x = *m_connection;
    std::vector<uint32_t> ids = x.property32(x.root(), x.atom("_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW);
    if (ids.empty()) ids = x.property32(x.root(), x.atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW);
    const xcb_atom_t typeAtom = x.atom("_NET_WM_WINDOW_TYPE");
    const xcb_atom_t stateAtom = x.atom("_NET_WM_STATE");
    const xcb_atom_t pidAtom = x.atom("_NET_WM_PID");
    const xcb_atom_t normalType = x.atom("_NET_WM_WINDOW_TYPE_NORMAL");
    const xcb_atom_t hiddenState = x.atom("_NET_WM_STATE_HIDDEN");
    const xcb_atom_t skipTaskbar = x.atom("_NET_WM_STATE_SKIP_TASKBAR");

    // All requests first, then the replies: one round trip for the lot.
    struct Pending {
        xcb_get_property_cookie_t type, state, pid, transient;
    };
    std::vector<Pending> pending;
    pending.reserve(ids.size());
    for (uint32_t id : ids) {
        pending.push_back({x.requestProperty(id, typeAtom, XCB_ATOM_ATOM),
                           x.requestProperty(id, stateAtom, XCB_ATOM_ATOM),
                           x.requestProperty(id, pidAtom, XCB_ATOM_CARDINAL),
                           x.requestProperty(id, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW)});
    }
    std::vector<Window> windows;
    windows.reserve(ids.size());
    for (size_t i = 0; i < ids.size(); ++i) {
        const std::vector<uint32_t> types = x.readProperty32(pending[i].type);
        const std::vector<uint32_t> states = x.readProperty32(pending[i].state);
        const std::vector<uint32_t> pid = x.readProperty32(pending[i].pid);
        const bool transient = !x.readProperty32(pending[i].transient).empty();
        Window window;
        window.id = ids[i];
        window.pid = pid.empty() ? std::nullopt : std::optional<uint32_t>(pid.front());
        // No type means normal, unless the window belongs to another one.
        const bool isNormalType = types.empty() ? !transient : contains(types, normalType);
        window.normal = isNormalType && !contains(states, skipTaskbar);
        window.hidden = contains(states, hiddenState);
        windows.push_back(window);
    }
    return windows;
}

bool Ewmh::showingDesktop() const {
    const XcbConnection& x = *m_connection;
    const std::vector<uint32_t> current = x.property32(x.root(), x.atom("_NET_SHOWING_DESKTOP"), XCB_ATOM_CARDINAL);
    return !current.empty() && current.front() != 0;
}

void Ewmh::setShowingDesktop(bool showing) {
    const XcbConnection& x = *m_connection;
    x.sendToRoot(x.root(), x.atom("_NET_SHOWING_DESKTOP"), {showing ? 1u : 0u, 0, 0, 0, 0});
}

void Ewmh::close(WindowId window) {
    const XcbConnection& x = *m_connection;
    x.sendToRoot(window, x.atom("_NET_CLOSE_WINDOW"), {XCB_CURRENT_TIME, kSourcePager, 0, 0, 0});
}

void Ewmh::minimize(WindowId window) {
    const XcbConnection& x = *m_connection;
    x.sendToRoot(window, x.atom("WM_CHANGE_STATE"), {kIconicState, 0, 0, 0, 0});
}

void Ewmh::activate(WindowId window) {
    const XcbConnection& x = *m_connection;
    x.sendToRoot(window, x.atom("_NET_ACTIVE_WINDOW"), {kSourcePager, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0});
}

void Ewmh::sync() {
    m_connection->sync();
}

}  // namespace vantrel
