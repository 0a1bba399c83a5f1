#include "platform/freedesktop/WaylandDataControl.h"

#include <wayland-client.h>

#include <cstring>

namespace vantrel {

namespace {

void global(void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
    auto* found = static_cast<WaylandDataControl*>(data);
    const QString name = QString::fromLatin1(interface);
    found->globals << name;
    if (std::strcmp(interface, "ext_data_control_manager_v1") == 0) found->extDataControl = true;
    if (std::strcmp(interface, "zwlr_data_control_manager_v1") == 0) found->wlrDataControl = true;
}

void globalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kListener{global, globalRemove};

}  // namespace

WaylandDataControl WaylandDataControl::probe() {
    WaylandDataControl found;
    wl_display* display = wl_display_connect(nullptr);
    if (!display) return found;
    found.connected = true;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kListener, &found);
    wl_display_roundtrip(display);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return found;
}

QString WaylandDataControl::sessionLimitation() {
    const bool wayland = qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland") ||
                         !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (!wayland) return {};
    const WaylandDataControl found = probe();
    if (!found.connected)
        return QStringLiteral("Clipboard history cannot reach the Wayland compositor; only copies made in X11 "
                              "applications are recorded.");
    if (found.hasDataControl())
        return QStringLiteral("Clipboard history watches this compositor's clipboard through %1. Wayland does not "
                              "say which application copied, so \"Ignore these applications\" applies only to X11 "
                              "applications, and pasting reaches only X11 applications (through XWayland).")
            .arg(found.extDataControl ? QStringLiteral("ext-data-control-v1")
                                      : QStringLiteral("zwlr_data_control_manager_v1"));
    return QStringLiteral("This compositor (GNOME's, for example) offers no clipboard access to other applications "
                          "(neither ext-data-control-v1 nor zwlr_data_control_manager_v1): clipboard history only "
                          "records copies made in X11 applications, and pasting into Wayland windows is not possible.");
}

}  // namespace vantrel
