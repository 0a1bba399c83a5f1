#include "platform/x11/X11WindowClient.h"

#include "kit/Logger.h"
#include "kit/VantrelError.h"
#include "platform/x11/Ewmh.h"
#include "platform/x11/XcbConnection.h"

#include <QDeadlineTimer>
#include <QThread>

#include <xcb/randr.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>

#include <unistd.h>

namespace vantrel {

namespace {

constexpr uint32_t kAllDesktops = 0xFFFFFFFF;
// WM_SIZE_HINTS: the flags, then x, y, width, height, then the minimum and
// maximum sizes.
constexpr uint32_t kMinSizeFlag = 1u << 4;
constexpr uint32_t kMaxSizeFlag = 1u << 5;

bool contains(const std::vector<uint32_t>& list, uint32_t value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

Logger& log() {
    static Logger logger(Logger::Category{QStringLiteral("WindowManagement"), QStringLiteral("🪟")});
    return logger;
}

}  // namespace

std::unique_ptr<X11WindowClient> X11WindowClient::connect(QString* problem) {
    if (qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland")) {
        if (problem)
            *problem = QStringLiteral(
                "On Wayland the compositor places the windows and lets no other program move them; window layouts "
                "work in an X11 session.");
        return nullptr;
    }
    QString reason;
    std::unique_ptr<Ewmh> ewmh = Ewmh::connect(&reason);
    if (!ewmh) {
        if (problem) *problem = QStringLiteral("Windows cannot be placed on this desktop: %1.").arg(reason);
        return nullptr;
    }
    return std::make_unique<X11WindowClient>(std::move(ewmh));
}

std::shared_ptr<WindowClient> X11WindowClient::shared(QString* problem) {
    static std::mutex lock;
    static std::shared_ptr<WindowClient> client;
    std::lock_guard guard(lock);
    if (!client) client = connect(problem);
    return client;
}

X11WindowClient::X11WindowClient(std::unique_ptr<Ewmh> ewmh) : m_ewmh(std::move(ewmh)) {}

X11WindowClient::~X11WindowClient() = default;

bool X11WindowClient::isOwn(WindowId window) const {
    const XcbConnection& x = m_ewmh->connection();
    const std::vector<uint32_t> pid = x.property32(xcb_window_t(window), x.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL);
    return !pid.empty() && pid.front() == uint32_t(getpid());
}

bool X11WindowClient::exists(WindowId window) const {
    xcb_connection_t* c = m_ewmh->connection().get();
    xcb_get_window_attributes_reply_t* attributes =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, xcb_window_t(window)), nullptr);
    const bool found = attributes != nullptr;
    std::free(attributes);
    return found;
}

void X11WindowClient::rememberActiveWindow(quintptr ownWindow) {
    const std::optional<Ewmh::WindowId> active = m_ewmh->activeWindow();
    if (!active || *active == xcb_window_t(ownWindow) || isOwn(*active)) return;
    m_remembered = *active;
}

X11WindowClient::Extents X11WindowClient::extents(WindowId window, const char* property) const {
    const XcbConnection& x = m_ewmh->connection();
    const std::vector<uint32_t> values = x.property32(xcb_window_t(window), x.atom(property), XCB_ATOM_CARDINAL);
    if (values.size() < 4) return {};
    return {int(values[0]), int(values[1]), int(values[2]), int(values[3])};
}

std::vector<uint32_t> X11WindowClient::states(WindowId window) const {
    const XcbConnection& x = m_ewmh->connection();
    return x.property32(xcb_window_t(window), x.atom("_NET_WM_STATE"), XCB_ATOM_ATOM);
}

std::optional<QRect> X11WindowClient::frameOf(WindowId window) const {
    xcb_connection_t* c = m_ewmh->connection().get();
    const xcb_window_t id = xcb_window_t(window);
    xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr);
    xcb_translate_coordinates_reply_t* origin = xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, id, m_ewmh->connection().root(), 0, 0), nullptr);
    std::optional<QRect> frame;
    if (geometry && origin) {
        const Extents decorations = extents(window, "_NET_FRAME_EXTENTS");
        const Extents shadows = extents(window, "_GTK_FRAME_EXTENTS");
        frame = QRect(origin->dst_x - decorations.left + shadows.left, origin->dst_y - decorations.top + shadows.top,
                      geometry->width + decorations.left + decorations.right - shadows.left - shadows.right,
                      geometry->height + decorations.top + decorations.bottom - shadows.top - shadows.bottom);
    }
    std::free(geometry);
    std::free(origin);
    return frame;
}

WindowClient::Window X11WindowClient::focusedWindow() {
    const XcbConnection& x = m_ewmh->connection();
    std::optional<WindowId> target;
    if (const auto active = m_ewmh->activeWindow(); active && !isOwn(*active)) target = *active;
    if (!target && m_remembered && exists(*m_remembered)) target = m_remembered;
    if (!target) throw VantrelError(QStringLiteral("Cannot get focused window"));

    const xcb_window_t id = xcb_window_t(*target);
    const auto typeCookie = x.requestProperty(id, x.atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM);
    const auto transientCookie = x.requestProperty(id, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW);
    const auto hintsCookie = x.requestProperty(id, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 18);
    const auto allowedCookie = x.requestProperty(id, x.atom("_NET_WM_ALLOWED_ACTIONS"), XCB_ATOM_ATOM);
    const std::vector<uint32_t> types = x.readProperty32(typeCookie);
    const std::vector<uint32_t> transient = x.readProperty32(transientCookie);
    const std::vector<uint32_t> hints = x.readProperty32(hintsCookie);
    const std::vector<uint32_t> allowed = x.readProperty32(allowedCookie);
    const std::vector<uint32_t> state = states(id);

    // The desktop and the panels are not windows a user would arrange.
    if (contains(types, x.atom("_NET_WM_WINDOW_TYPE_DESKTOP")) || contains(types, x.atom("_NET_WM_WINDOW_TYPE_DOCK")))
        throw VantrelError(QStringLiteral("Cannot get focused window"));

    const std::optional<QRect> frame = frameOf(id);
    if (!frame) throw VantrelError(QStringLiteral("Cannot get focused window"));

    Window window;
    window.id = id;
    window.frame = *frame;
    const bool hasParent =
        !transient.empty() && transient.front() != XCB_WINDOW_NONE && transient.front() != x.root();
    window.sheet = hasParent && contains(state, x.atom("_NET_WM_STATE_MODAL"));
    window.systemDialog = !hasParent && contains(types, x.atom("_NET_WM_WINDOW_TYPE_DIALOG"));
    if (hints.size() >= 9 && (hints[0] & kMinSizeFlag) && (hints[0] & kMaxSizeFlag))
        window.resizable = !(hints[5] == hints[7] && hints[6] == hints[8]);
    window.canToggleFullscreen = m_ewmh->supports("_NET_WM_STATE_FULLSCREEN") &&
                                 (allowed.empty() || contains(allowed, x.atom("_NET_WM_ACTION_FULLSCREEN")));
    window.fullscreen = contains(state, x.atom("_NET_WM_STATE_FULLSCREEN"));
    return window;
}

std::vector<WindowClient::Screen> X11WindowClient::screens() {
    const XcbConnection& x = m_ewmh->connection();
    xcb_connection_t* c = x.get();
    std::vector<Screen> screens;

    xcb_get_geometry_reply_t* rootGeometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, x.root()), nullptr);
    const QRect whole = rootGeometry ? QRect(0, 0, rootGeometry->width, rootGeometry->height) : QRect();
    std::free(rootGeometry);

    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c, &xcb_randr_id);
    if (randr && randr->present) {
        xcb_randr_get_monitors_reply_t* monitors =
            xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, x.root(), 1), nullptr);
        if (monitors) {
            for (auto it = xcb_randr_get_monitors_monitors_iterator(monitors); it.rem;
                 xcb_randr_monitor_info_next(&it)) {
                Screen screen;
                screen.geometry = QRect(it.data->x, it.data->y, it.data->width, it.data->height);
                xcb_get_atom_name_reply_t* name =
                    xcb_get_atom_name_reply(c, xcb_get_atom_name(c, it.data->name), nullptr);
                if (name)
                    screen.name = QString::fromLatin1(xcb_get_atom_name_name(name), xcb_get_atom_name_name_length(name));
                std::free(name);
                // The primary monitor comes first, as the system lists screens.
                if (it.data->primary)
                    screens.insert(screens.begin(), screen);
                else
                    screens.push_back(screen);
            }
            std::free(monitors);
        }
    }
    if (screens.empty() && whole.isValid()) screens.push_back({QStringLiteral("screen"), whole, whole});

    // The work areas per monitor, where the window manager publishes them.
    const std::vector<uint32_t> current = x.property32(x.root(), x.atom("_NET_CURRENT_DESKTOP"), XCB_ATOM_CARDINAL);
    const QByteArray workAreasName = "_GTK_WORKAREAS_D" + QByteArray::number(current.empty() ? 0 : current.front());
    const xcb_atom_t workAreasAtom = x.atom(workAreasName.constData(), true);
    std::vector<QRect> workAreas;
    if (workAreasAtom != XCB_ATOM_NONE) {
        const std::vector<uint32_t> values = x.property32(x.root(), workAreasAtom, XCB_ATOM_CARDINAL);
        for (size_t i = 0; i + 3 < values.size(); i += 4)
            workAreas.emplace_back(int(values[i]), int(values[i + 1]), int(values[i + 2]), int(values[i + 3]));
    }

    // Otherwise: each monitor less the space docks and panels reserve on it.
    struct Strut {
        QRect left, right, top, bottom;
    };
    std::vector<Strut> struts;
    if (workAreas.empty()) {
        std::vector<uint32_t> clients = x.property32(x.root(), x.atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW);
        std::vector<std::pair<xcb_get_property_cookie_t, xcb_get_property_cookie_t>> cookies;
        for (uint32_t client : clients)
            cookies.emplace_back(x.requestProperty(client, x.atom("_NET_WM_STRUT_PARTIAL"), XCB_ATOM_CARDINAL, 12),
                                 x.requestProperty(client, x.atom("_NET_WM_STRUT"), XCB_ATOM_CARDINAL, 4));
        for (const auto& [partialCookie, plainCookie] : cookies) {
            std::vector<uint32_t> partial = x.readProperty32(partialCookie);
            const std::vector<uint32_t> plain = x.readProperty32(plainCookie);
            if (partial.size() < 12 && plain.size() >= 4) {
                partial = {plain[0], plain[1], plain[2], plain[3], 0, uint32_t(whole.height() - 1), 0,
                           uint32_t(whole.height() - 1), 0, uint32_t(whole.width() - 1), 0, uint32_t(whole.width() - 1)};
            }
            if (partial.size() < 12) continue;
            const auto span = [](uint32_t start, uint32_t end) { return int(end) - int(start) + 1; };
            Strut strut;
            if (partial[0]) strut.left = QRect(0, int(partial[4]), int(partial[0]), span(partial[4], partial[5]));
            if (partial[1])
                strut.right = QRect(whole.width() - int(partial[1]), int(partial[6]), int(partial[1]),
                                    span(partial[6], partial[7]));
            if (partial[2]) strut.top = QRect(int(partial[8]), 0, span(partial[8], partial[9]), int(partial[2]));
            if (partial[3])
                strut.bottom = QRect(int(partial[10]), whole.height() - int(partial[3]), span(partial[10], partial[11]),
                                     int(partial[3]));
            struts.push_back(strut);
        }
    }

    for (Screen& screen : screens) {
        QRect area = screen.geometry;
        if (!workAreas.empty()) {
            QRect best;
            for (const QRect& workArea : workAreas) {
                const QRect part = workArea.intersected(screen.geometry);
                if (part.width() * part.height() > best.width() * best.height()) best = part;
            }
            if (best.isValid()) area = best;
        } else {
            // Edges in "one past the last pixel" form, so widths stay exact.
            int left = area.x(), top = area.y(), right = area.x() + area.width(), bottom = area.y() + area.height();
            for (const Strut& strut : struts) {
                if (strut.left.isValid() && strut.left.intersects(screen.geometry))
                    left = std::max(left, strut.left.x() + strut.left.width());
                if (strut.right.isValid() && strut.right.intersects(screen.geometry))
                    right = std::min(right, strut.right.x());
                if (strut.top.isValid() && strut.top.intersects(screen.geometry))
                    top = std::max(top, strut.top.y() + strut.top.height());
                if (strut.bottom.isValid() && strut.bottom.intersects(screen.geometry))
                    bottom = std::min(bottom, strut.bottom.y());
            }
            area = QRect(left, top, std::max(0, right - left), std::max(0, bottom - top));
        }
        screen.usableArea = area;
    }
    return screens;
}

void X11WindowClient::setFrame(const Window& window, const QRect& frame) {
    const XcbConnection& x = m_ewmh->connection();
    const WindowId id = window.id;
    // A maximised (or fullscreen) window ignores moves: it leaves that state
    // first.
    const std::vector<uint32_t> state = states(id);
    const bool maximised = contains(state, x.atom("_NET_WM_STATE_MAXIMIZED_VERT")) ||
                           contains(state, x.atom("_NET_WM_STATE_MAXIMIZED_HORZ"));
    const bool fullscreen = contains(state, x.atom("_NET_WM_STATE_FULLSCREEN"));
    if (maximised)
        m_ewmh->changeState(id, Ewmh::StateChange::remove, "_NET_WM_STATE_MAXIMIZED_VERT",
                            "_NET_WM_STATE_MAXIMIZED_HORZ");
    if (fullscreen) m_ewmh->changeState(id, Ewmh::StateChange::remove, "_NET_WM_STATE_FULLSCREEN");

    // The outer frame's corner, and the size of the window inside it.
    Extents decorations = extents(id, "_NET_FRAME_EXTENTS");
    Extents shadows = extents(id, "_GTK_FRAME_EXTENTS");
    const auto place = [&] {
        const int width = frame.width() - decorations.left - decorations.right + shadows.left + shadows.right;
        const int height = frame.height() - decorations.top - decorations.bottom + shadows.top + shadows.bottom;
        m_ewmh->moveResize(xcb_window_t(id), frame.x() - shadows.left, frame.y() - shadows.top, width, height);
        m_ewmh->connection().flush();
    };
    place();
    if (maximised || fullscreen) {
        // Leaving the state may change the decorations (a maximised window
        // often has no border), and the window manager publishes the new
        // extents when it gets to it: until the frame lands, a change of
        // extents asks again with the new ones.
        const auto same = [](const Extents& a, const Extents& b) {
            return a.left == b.left && a.right == b.right && a.top == b.top && a.bottom == b.bottom;
        };
        QDeadlineTimer deadline(500);
        while (!deadline.hasExpired() && frameOf(id) != std::optional<QRect>(frame)) {
            const Extents nowDecorations = extents(id, "_NET_FRAME_EXTENTS");
            const Extents nowShadows = extents(id, "_GTK_FRAME_EXTENTS");
            if (!same(nowDecorations, decorations) || !same(nowShadows, shadows)) {
                decorations = nowDecorations;
                shadows = nowShadows;
                place();
            }
            QThread::msleep(2);
        }
    }
    log().debug(QStringLiteral("Asked to place window %1 at %2,%3 %4x%5")
                    .arg(id)
                    .arg(frame.x())
                    .arg(frame.y())
                    .arg(frame.width())
                    .arg(frame.height()));
}

void X11WindowClient::setFullscreen(const Window& window, bool fullscreen) {
    m_ewmh->changeState(xcb_window_t(window.id),
                        fullscreen ? Ewmh::StateChange::add : Ewmh::StateChange::remove, "_NET_WM_STATE_FULLSCREEN");
    m_ewmh->connection().flush();
}

WindowClient::Desktops X11WindowClient::desktops(const Window& window) {
    const XcbConnection& x = m_ewmh->connection();
    Desktops desktops;
    const std::vector<uint32_t> count = x.property32(x.root(), x.atom("_NET_NUMBER_OF_DESKTOPS"), XCB_ATOM_CARDINAL);
    if (!count.empty()) desktops.count = int(count.front());
    const std::vector<uint32_t> current =
        x.property32(xcb_window_t(window.id), x.atom("_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL);
    if (!current.empty() && current.front() != kAllDesktops) desktops.current = int(current.front());
    return desktops;
}

void X11WindowClient::moveToDesktop(const Window& window, int desktop) {
    m_ewmh->moveToDesktop(xcb_window_t(window.id), uint32_t(desktop));
    m_ewmh->connection().flush();
}

std::vector<WindowClient::OpenWindow> X11WindowClient::openWindows(int iconSize) {
    const std::optional<Ewmh::WindowId> active = m_ewmh->activeWindow();
    const std::vector<Ewmh::Window> stack = m_ewmh->clientWindows();
    std::vector<OpenWindow> windows;
    // The top of the stacking order is the window used last.
    for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
        if (!it->normal) continue;
        OpenWindow window;
        window.id = it->id;
        window.title = it->title;
        window.applicationClass = it->className;
        if (it->pid) window.pid = *it->pid;
        window.active = active && *active == it->id;
        window.minimized = it->hidden;
        if (iconSize > 0) {
            if (auto icon = m_ewmh->icon(it->id, iconSize)) {
                window.iconWidth = icon->width;
                window.iconHeight = icon->height;
                window.iconArgb.assign(icon->argb.begin(), icon->argb.end());
            }
        }
        windows.push_back(std::move(window));
    }
    // Minimized windows sit at the bottom of the stack but were not
    // necessarily used least recently; the active one always leads.
    std::stable_partition(windows.begin(), windows.end(), [](const OpenWindow& window) { return window.active; });
    return windows;
}

void X11WindowClient::activate(WindowId window) {
    if (!exists(window)) throw VantrelError(QStringLiteral("The window is no longer open."));
    m_ewmh->activate(xcb_window_t(window));
    m_ewmh->sync();
}

}  // namespace vantrel
