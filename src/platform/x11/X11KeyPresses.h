#pragma once

#include <xcb/xcb.h>

#include <initializer_list>

namespace vantrel {

class XcbConnection;

// Synthesised key presses through XTest, shared by everything that types or
// pastes into other applications.
namespace X11KeyPresses {

// The first key code whose unshifted or shifted keysym is `keysym` in the
// core keyboard mapping; 0 when no key has it.
xcb_keycode_t keycodeOf(xcb_connection_t* connection, xcb_keysym_t keysym);

// Presses the keys in order and releases them in reverse (a chord such as
// Control, Shift, V), `count` times. Not flushed.
void chord(const XcbConnection& connection, std::initializer_list<xcb_keycode_t> keys, int count = 1);

}  // namespace X11KeyPresses
}  // namespace vantrel
