#pragma once

// GIO for the platform sources. GLib's headers use `signals` as an
// identifier, which Qt defines as a keyword, so they are read without it.
#pragma push_macro("signals")
#undef signals
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <gio/gunixmounts.h>
#pragma pop_macro("signals")
