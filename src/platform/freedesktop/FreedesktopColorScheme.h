#pragma once

#include "platform/ColorScheme.h"

namespace vantrel {

// The desktop's colour scheme as the desktop portal's settings state it
// (org.freedesktop.appearance color-scheme, on the session bus), else as
// GNOME's settings state it (gsettings org.gnome.desktop.interface
// color-scheme). Each is given a quarter to half a second to answer.
class FreedesktopColorScheme : public ColorSchemeSource {
public:
    std::optional<ColorScheme> preferredColorScheme() const override;
};

}  // namespace vantrel
