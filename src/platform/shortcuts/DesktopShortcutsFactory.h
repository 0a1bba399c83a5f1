#pragma once

#include "platform/DesktopShortcuts.h"

#include <QString>

#include <memory>

namespace vantrel {

// The custom shortcuts of the desktop `currentDesktop` names (the value of
// XDG_CURRENT_DESKTOP, e.g. "ubuntu:GNOME", "KDE"): GNOME's (also under
// Unity and Budgie, which keep them in the same settings) or KDE's; null for
// any other desktop.
std::shared_ptr<DesktopShortcuts> makeDesktopShortcuts(const QString& currentDesktop);

}  // namespace vantrel
