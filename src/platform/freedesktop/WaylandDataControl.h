#pragma once

#include <QString>
#include <QStringList>

namespace vantrel {

// Which clipboard protocols a Wayland compositor offers other clients: the
// data-control protocols let an application that has no window focused see
// and set the clipboard (KDE and wlroots compositors offer one; GNOME's
// offers neither).
struct WaylandDataControl {
    // Whether a Wayland compositor answered at all.
    bool connected = false;
    bool extDataControl = false;   // ext_data_control_manager_v1
    bool wlrDataControl = false;   // zwlr_data_control_manager_v1
    // Every global the compositor lists, for the log.
    QStringList globals;

    bool hasDataControl() const { return extDataControl || wlrDataControl; }

    // Asks the compositor of $WAYLAND_DISPLAY (one round trip).
    static WaylandDataControl probe();

    // The sentence for the log and the preferences when clipboard history
    // cannot see every copy in this session; empty in an X11 session.
    static QString sessionLimitation();
};

}  // namespace vantrel
