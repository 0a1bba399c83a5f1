#pragma once

#include "platform/Platform.h"

namespace vantrel {

// The implementations of a freedesktop desktop (GIO, D-Bus services, desktop
// entries); the X11 window system is added where the session runs on X11.
Platform freedesktopPlatform();

}  // namespace vantrel
