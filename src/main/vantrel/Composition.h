#pragma once

#include "platform/Platform.h"

namespace vantrel {

// The desktop implementations this program runs on: freedesktop services,
// X11 hotkeys and windows, the libqalculate calculator. The only place that
// chooses them; main() installs the result before anything else runs, and
// again once the launcher's QApplication exists (for the X11 window system).
Platform composePlatform();

}  // namespace vantrel
