#include "platform/freedesktop/AtSpiMenus.h"

#include "kit/Logger.h"
#include "kit/VantrelError.h"

#include <QDBusConnection>
#include <QDBusMessage>

#include <atspi/atspi.h>

#include <functional>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Menus"), QStringLiteral("📋")});
    return logger;
}

const QString kHowToEnable = QStringLiteral(
    "Install at-spi2-core and turn accessibility on (GNOME: gsettings set org.gnome.desktop.interface "
    "toolkit-accessibility true; Qt applications also read QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1), then start the "
    "application again.");

using Accessible = std::shared_ptr<AtspiAccessible>;

Accessible own(AtspiAccessible* object) {
    return Accessible(object, [](AtspiAccessible* o) {
        if (o) g_object_unref(o);
    });
}

// Calls that fail answer their empty value; the error is dropped.
struct ErrorSink {
    GError* error = nullptr;
    ~ErrorSink() { clear(); }
    GError** operator&() {
        clear();
        return &error;
    }
    void clear() {
        if (error) g_error_free(error);
        error = nullptr;
    }
    bool failed() const { return error != nullptr; }
    QString message() const { return error ? QString::fromUtf8(error->message) : QString(); }
};

QString takeString(gchar* text) {
    QString result = QString::fromUtf8(text);
    g_free(text);
    return result;
}

QString nameOf(AtspiAccessible* object) {
    ErrorSink error;
    return takeString(atspi_accessible_get_name(object, &error)).trimmed();
}

AtspiRole roleOf(AtspiAccessible* object) {
    ErrorSink error;
    return atspi_accessible_get_role(object, &error);
}

int childCount(AtspiAccessible* object) {
    ErrorSink error;
    const int count = atspi_accessible_get_child_count(object, &error);
    return error.failed() ? 0 : count;
}

Accessible childAt(AtspiAccessible* object, int index) {
    ErrorSink error;
    return own(atspi_accessible_get_child_at_index(object, index, &error));
}

bool hasState(AtspiAccessible* object, AtspiStateType state) {
    AtspiStateSet* set = atspi_accessible_get_state_set(object);
    if (!set) return false;
    const bool has = atspi_state_set_contains(set, state);
    g_object_unref(set);
    return has;
}

bool isMenuRole(AtspiRole role) {
    switch (role) {
        case ATSPI_ROLE_MENU:
        case ATSPI_ROLE_MENU_ITEM:
        case ATSPI_ROLE_CHECK_MENU_ITEM:
        case ATSPI_ROLE_RADIO_MENU_ITEM:
        case ATSPI_ROLE_POPUP_MENU:
            return true;
        default:
            return false;
    }
}

QString shortcutOf(AtspiAccessible* object) {
    AtspiAction* action = atspi_accessible_get_action_iface(object);
    if (!action) return {};
    ErrorSink error;
    const QString binding = takeString(atspi_action_get_key_binding(action, 0, &error));
    g_object_unref(action);
    return AtSpiMenus::readableShortcut(binding);
}

void ensureInitialised() {
    static const bool initialised = [] {
        atspi_init();
        atspi_set_timeout(AtSpiMenus::kCallTimeoutMs, AtSpiMenus::kCallTimeoutMs);
        return true;
    }();
    (void)initialised;
}

// The first menu bar within a few levels of the application's windows.
Accessible findMenuBar(const Accessible& application) {
    std::vector<std::pair<Accessible, int>> queue{{application, 0}};
    int visited = 0;
    for (size_t next = 0; next < queue.size() && visited < 2000; ++next, ++visited) {
        const auto [node, depth] = queue[next];
        if (roleOf(node.get()) == ATSPI_ROLE_MENU_BAR) return node;
        if (depth >= 6) continue;
        const int count = childCount(node.get());
        for (int i = 0; i < count && i < 200; ++i)
            if (Accessible child = childAt(node.get(), i)) queue.emplace_back(std::move(child), depth + 1);
    }
    return nullptr;
}

void collect(const Accessible& node, QStringList path, int depth, std::vector<ApplicationMenus::Item>& items) {
    if (depth > AtSpiMenus::kMaxDepth || int(items.size()) >= AtSpiMenus::kMaxItems) return;
    const int count = childCount(node.get());
    for (int i = 0; i < count && int(items.size()) < AtSpiMenus::kMaxItems; ++i) {
        Accessible child = childAt(node.get(), i);
        if (!child) continue;
        const AtspiRole role = roleOf(child.get());
        if (!isMenuRole(role)) continue;
        const QString name = nameOf(child.get());
        QStringList childPath = path;
        // A popup under an item of the same title adds nothing to the path.
        if (!name.isEmpty() && (childPath.isEmpty() || childPath.last() != name)) childPath << name;
        if (childCount(child.get()) > 0) {
            collect(child, childPath, depth + 1, items);
            continue;
        }
        if (role == ATSPI_ROLE_MENU || role == ATSPI_ROLE_POPUP_MENU || name.isEmpty()) continue;
        ApplicationMenus::Item item;
        item.path = childPath;
        item.shortcut = shortcutOf(child.get());
        item.enabled = hasState(child.get(), ATSPI_STATE_ENABLED) || hasState(child.get(), ATSPI_STATE_SENSITIVE);
        item.handle = std::static_pointer_cast<const void>(std::shared_ptr<AtspiAccessible>(child));
        items.push_back(std::move(item));
    }
}

}  // namespace

QString AtSpiMenus::busProblem() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return QStringLiteral("Searching menu items needs the session bus, which is not running. ") + kHowToEnable;
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                                       QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().value(0).toString().isEmpty())
        return QStringLiteral("Searching menu items needs the accessibility bus (AT-SPI), which is not running "
                              "on this desktop (%1). ")
                   .arg(reply.errorMessage().isEmpty() ? QStringLiteral("no answer from org.a11y.Bus")
                                                       : reply.errorMessage()) +
               kHowToEnable;
    return {};
}

QString AtSpiMenus::readableShortcut(const QString& binding) {
    // AT-SPI (GTK): "mnemonic;full path;accelerator", the last one empty when
    // the item has none; Qt: the shortcut alone ("Ctrl+S").
    const QStringList parts = binding.split(QLatin1Char(';'));
    const QString shortcut = (parts.size() == 3 ? parts.at(2) : parts.size() == 1 ? parts.at(0) : QString()).trimmed();
    if (!shortcut.contains(QLatin1Char('<'))) return shortcut.size() > 1 ? shortcut : QString();
    QStringList keys;
    QString rest = shortcut;
    while (rest.startsWith(QLatin1Char('<'))) {
        const qsizetype end = rest.indexOf(QLatin1Char('>'));
        if (end < 0) return {};
        const QString modifier = rest.mid(1, end - 1).toLower();
        rest = rest.mid(end + 1);
        if (modifier == QLatin1String("control") || modifier == QLatin1String("primary") ||
            modifier == QLatin1String("ctrl"))
            keys << QStringLiteral("Ctrl");
        else if (modifier == QLatin1String("shift"))
            keys << QStringLiteral("Shift");
        else if (modifier == QLatin1String("alt") || modifier == QLatin1String("mod1"))
            keys << QStringLiteral("Alt");
        else if (modifier == QLatin1String("super") || modifier == QLatin1String("meta"))
            keys << QStringLiteral("Super");
    }
    if (rest.isEmpty()) return {};
    keys << (rest.size() == 1 ? rest.toUpper() : rest);
    return keys.join(QLatin1Char('+'));
}

ApplicationMenus::Menus AtSpiMenus::menuItems(qint64 pid) {
    if (const QString problem = busProblem(); !problem.isEmpty()) throw VantrelError(problem);
    ensureInitialised();
    const Accessible desktop = own(atspi_get_desktop(0));
    if (!desktop) throw VantrelError(QStringLiteral("The accessibility registry does not answer. ") + kHowToEnable);
    Accessible application;
    const int count = childCount(desktop.get());
    for (int i = 0; i < count && !application; ++i) {
        Accessible candidate = childAt(desktop.get(), i);
        if (!candidate) continue;
        ErrorSink error;
        if (qint64(atspi_accessible_get_process_id(candidate.get(), &error)) == pid && !error.failed())
            application = candidate;
    }
    if (!application)
        throw VantrelError(QStringLiteral("The application in front (process %1) does not publish its menus to "
                                          "the accessibility bus. ")
                               .arg(pid) +
                           kHowToEnable);
    Menus menus;
    menus.applicationName = nameOf(application.get());
    const Accessible menuBar = findMenuBar(application);
    if (!menuBar)
        throw VantrelError(QStringLiteral("%1 has no menu bar to search.")
                               .arg(menus.applicationName.isEmpty() ? QStringLiteral("The application")
                                                                    : menus.applicationName));
    collect(menuBar, {}, 0, menus.items);
    log().info("Read menu items",
               {{QStringLiteral("application"), menus.applicationName},
                {QStringLiteral("count"), QString::number(menus.items.size())}});
    return menus;
}

void AtSpiMenus::activate(const Item& item) {
    auto* object = static_cast<AtspiAccessible*>(const_cast<void*>(item.handle.get()));
    if (!object) throw VantrelError(QStringLiteral("This menu item can no longer be found."));
    AtspiAction* action = atspi_accessible_get_action_iface(object);
    if (!action)
        throw VantrelError(QStringLiteral("The menu item '%1' cannot be triggered.").arg(item.path.join(QStringLiteral(" › "))));
    ErrorSink error;
    const gboolean done = atspi_action_do_action(action, 0, &error);
    g_object_unref(action);
    if (!done || error.failed())
        throw VantrelError(QStringLiteral("The application did not trigger '%1'%2")
                               .arg(item.path.join(QStringLiteral(" › ")),
                                    error.failed() ? QStringLiteral(": ") + error.message() : QStringLiteral(".")));
}

}  // namespace vantrel
