#pragma once

// GIO's settings API. GLib's headers use `signals` as an identifier, which Qt
// defines as a keyword, so they are read without it.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gsettingsbackend.h>
#pragma pop_macro("signals")
