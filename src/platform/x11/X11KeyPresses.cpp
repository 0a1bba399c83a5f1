#include "platform/x11/X11KeyPresses.h"

#include "platform/x11/XcbConnection.h"

#include <xcb/xtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

namespace vantrel::X11KeyPresses {

xcb_keycode_t keycodeOf(xcb_connection_t* c, xcb_keysym_t keysym) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* raw =
        xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, setup->min_keycode, uint8_t(count)), nullptr);
    if (!raw) return 0;
    const std::unique_ptr<xcb_get_keyboard_mapping_reply_t, decltype(&std::free)> reply(raw, &std::free);
    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(reply.get());
    const int perCode = reply->keysyms_per_keycode;
    for (int code = 0; code < count; ++code)
        for (int column = 0; column < std::min(perCode, 2); ++column)
            if (keysyms[code * perCode + column] == keysym) return xcb_keycode_t(setup->min_keycode + code);
    return 0;
}

void chord(const XcbConnection& x, std::initializer_list<xcb_keycode_t> keys, int count) {
    const std::vector<xcb_keycode_t> codes(keys);
    for (int i = 0; i < count; ++i) {
        for (xcb_keycode_t code : codes)
            xcb_test_fake_input(x.get(), XCB_KEY_PRESS, code, XCB_CURRENT_TIME, x.root(), 0, 0, 0);
        for (auto code = codes.rbegin(); code != codes.rend(); ++code)
            xcb_test_fake_input(x.get(), XCB_KEY_RELEASE, *code, XCB_CURRENT_TIME, x.root(), 0, 0, 0);
    }
}

}  // namespace vantrel::X11KeyPresses
