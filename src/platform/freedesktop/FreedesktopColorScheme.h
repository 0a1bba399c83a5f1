#pragma once

#include "platform/ColorScheme.h"

#include <QString>

namespace vantrel {

// The desktop's colour scheme as the desktop portal's settings state it
// (org.freedesktop.appearance color-scheme, on the session bus), else as
// GNOME's settings state it (gsettings org.gnome.desktop.interface
// color-scheme). Each is given a quarter to half a second to answer.
class FreedesktopColorScheme : public ColorSchemeSource {
public:
    // busAddress: the bus the portal is asked on; empty: the session bus.
    explicit FreedesktopColorScheme(QString busAddress = {}) : m_busAddress(std::move(busAddress)) {}

    std::optional<ColorScheme> preferredColorScheme() const override;

private:
    QString m_busAddress;
};

}  // namespace vantrel
