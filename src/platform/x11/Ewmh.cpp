#include "platform/x11/Ewmh.h"

#include "platform/x11/XcbConnection.h"

#include <QList>

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

std::optional<Ewmh::Icon> Ewmh::icon(WindowId window, int size) const {
    const XcbConnection& x = *m_connection;
    // Up to a few 256-pixel icons.
    const std::vector<uint32_t> data = x.property32(window, x.atom("_NET_WM_ICON"), XCB_ATOM_CARDINAL, 1u << 18);
    std::optional<Icon> best;
    for (size_t at = 0; at + 2 <= data.size();) {
        const uint64_t width = data[at], height = data[at + 1];
        const uint64_t pixels = width * height;
        if (width == 0 || height == 0 || width > 1024 || height > 1024 || at + 2 + pixels > data.size()) break;
        const bool better = !best || (best->width < size ? static_cast<int>(width) > best->width
                                                         : static_cast<int>(width) >= size &&
                                                               static_cast<int>(width) < best->width);
        if (better) {
            Icon icon;
            icon.width = static_cast<int>(width);
            icon.height = static_cast<int>(height);
            icon.argb.assign(data.begin() + static_cast<std::ptrdiff_t>(at + 2),
                             data.begin() + static_cast<std::ptrdiff_t>(at + 2 + pixels));
            best = std::move(icon);
        }
        at += 2 + pixels;
    }
    return best;
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
    const xcb_atom_t netNameAtom = x.atom("_NET_WM_NAME");
    const xcb_atom_t utf8Atom = x.atom("UTF8_STRING");

    // All requests first, then the replies: one round trip for the lot.
    struct Pending {
        xcb_get_property_cookie_t type, state, pid, transient, netName, name, wmClass;
    };
    std::vector<Pending> pending;
    pending.reserve(ids.size());
    for (uint32_t id : ids) {
        pending.push_back({x.requestProperty(id, typeAtom, XCB_ATOM_ATOM),
                           x.requestProperty(id, stateAtom, XCB_ATOM_ATOM),
                           x.requestProperty(id, pidAtom, XCB_ATOM_CARDINAL),
                           x.requestProperty(id, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW),
                           x.requestProperty(id, netNameAtom, utf8Atom, 1024),
                           x.requestProperty(id, XCB_ATOM_WM_NAME, XCB_ATOM_ANY, 1024),
                           x.requestProperty(id, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 256)});
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
        const QByteArray netName = x.readProperty8(pending[i].netName);
        const QByteArray name = x.readProperty8(pending[i].name);
        window.title = netName.isEmpty() ? QString::fromLocal8Bit(name) : QString::fromUtf8(netName);
        // WM_CLASS is "instance\0class\0".
        const QList<QByteArray> classes = x.readProperty8(pending[i].wmClass).split('\0');
        if (classes.size() >= 2) window.className = QString::fromLatin1(classes[1]);
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

std::vector<Ewmh::WindowId> Ewmh::windowList(const char* property) const {
    const XcbConnection& x = *m_connection;
    std::vector<WindowId> windows;
    for (const uint32_t id : x.property32(x.root(), x.atom(property), XCB_ATOM_WINDOW)) windows.push_back(id);
    return windows;
}

void Ewmh::setWindowList(const char* property, const std::vector<WindowId>& windows) {
    const XcbConnection& x = *m_connection;
    if (windows.empty()) {
        xcb_delete_property(x.get(), x.root(), x.atom(property));
        return;
    }
    const std::vector<uint32_t> ids(windows.begin(), windows.end());
    xcb_change_property(x.get(), XCB_PROP_MODE_REPLACE, x.root(), x.atom(property), XCB_ATOM_WINDOW, 32,
                        uint32_t(ids.size()), ids.data());
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

void Ewmh::moveResize(WindowId window, int x, int y, int width, int height) {
    const XcbConnection& x11 = *m_connection;
    const uint32_t w = uint32_t(std::max(width, 1));
    const uint32_t h = uint32_t(std::max(height, 1));
    if (supports("_NET_MOVERESIZE_WINDOW")) {
        // North-west gravity: x and y are the frame's corner; bits 8-11 say
        // which of x, y, width and height are given, 12-13 who asks.
        constexpr uint32_t kNorthWestGravity = 1;
        const uint32_t flags = kNorthWestGravity | (0xFu << 8) | (kSourcePager << 12);
        x11.sendToRoot(window, x11.atom("_NET_MOVERESIZE_WINDOW"), {flags, uint32_t(x), uint32_t(y), w, h});
        return;
    }
    const uint32_t values[] = {uint32_t(x), uint32_t(y), w, h};
    xcb_configure_window(x11.get(), window,
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                             XCB_CONFIG_WINDOW_HEIGHT,
                         values);
}

void Ewmh::changeState(WindowId window, StateChange change, const char* state, const char* otherState) {
    const XcbConnection& x = *m_connection;
    x.sendToRoot(window, x.atom("_NET_WM_STATE"),
                 {uint32_t(change), x.atom(state), otherState ? x.atom(otherState) : uint32_t(XCB_ATOM_NONE),
                  kSourcePager, 0});
}

void Ewmh::moveToDesktop(WindowId window, uint32_t desktop) {
    const XcbConnection& x = *m_connection;
    x.sendToRoot(window, x.atom("_NET_WM_DESKTOP"), {desktop, kSourcePager, 0, 0, 0});
}

void Ewmh::sync() {
    m_connection->sync();
}

}  // namespace vantrel
