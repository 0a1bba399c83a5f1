#pragma once

#include "platform/ColorScheme.h"

#include <QString>

namespace vantrel {

// The desktop's colour scheme as the desktop portal's settings state it
// (org.freedesktop.appearance color-scheme, on the session bus), else as
// GNOME's settings state it (gsettings org.gnome.desktop.interface
// color-scheme). Both are asked without blocking: the portal's reply and the
// gsettings process are waited for by the event loop, each for at most
// kPortalTimeoutMs / kGsettingsTimeoutMs.
class FreedesktopColorScheme : public ColorSchemeSource {
public:
    // The portal may have to be started by the bus first.
    static constexpr int kPortalTimeoutMs = 2000;
    static constexpr int kGsettingsTimeoutMs = 2000;

    // busAddress: the bus the portal is asked on; empty: the session bus.
    explicit FreedesktopColorScheme(QString busAddress = {}) : m_busAddress(std::move(busAddress)) {}

    void requestColorScheme(Answer answer) override;

private:
    QString m_busAddress;
};

}  // namespace vantrel
