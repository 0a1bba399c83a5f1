#include "platform/x11/X11KeyboardMonitor.h"

#include "platform/x11/X11KeyPresses.h"
#include "platform/x11/XcbConnection.h"

#include <QTimer>

#include <X11/keysym.h>
#include <xcb/xinput.h>
// xkb.h names a member "explicit".
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xcb/xtest.h>
#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <clocale>
#include <cstdlib>
#include <map>
#include <set>
#include <vector>

namespace vantrel {

namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> reply(T* raw) {
    return Reply<T>(raw, &std::free);
}

bool isModifierKeysym(xkb_keysym_t sym) {
    return (sym >= XKB_KEY_Shift_L && sym <= XKB_KEY_Hyper_R) || sym == XKB_KEY_ISO_Level3_Shift ||
           sym == XKB_KEY_ISO_Level5_Shift || sym == XKB_KEY_Mode_switch || sym == XKB_KEY_ISO_Next_Group ||
           sym == XKB_KEY_Num_Lock;
}

}  // namespace

struct X11KeyboardMonitor::Impl {
    QByteArray display;
    std::unique_ptr<XcbConnection> x;
    xcb_connection_t* c = nullptr;
    QString problem;
    uint8_t xinputOpcode = 0;
    int32_t keyboardId = -1;
    double delay = 0.5;

    xkb_context* context = nullptr;
    xkb_keymap* keymap = nullptr;
    xkb_state* state = nullptr;
    xkb_compose_table* composeTable = nullptr;
    xkb_compose_state* compose = nullptr;

    std::unique_ptr<XcbEventReader> reader;
    std::function<void(const GlobalInputEvent&)> handle;
    bool running = false;
    bool ignoring = false;
    // Key presses of ours not seen yet: left out when they come.
    int ownPresses = 0;
    std::set<uint32_t> down;

    // Key codes lent to keysyms the layout lacks, put back a moment after the
    // last use so that the application has translated its key by then.
    std::map<xcb_keycode_t, xcb_keysym_t> lent;
    QTimer restoreLent;

    ~Impl() {
        if (c) restoreMapping();
        if (compose) xkb_compose_state_unref(compose);
        if (composeTable) xkb_compose_table_unref(composeTable);
        if (state) xkb_state_unref(state);
        if (keymap) xkb_keymap_unref(keymap);
        if (context) xkb_context_unref(context);
    }

    bool connect() {
        if (c) return true;
        x = XcbConnection::open(display, &problem);
        if (!x) return false;
        c = x->get();
        const xcb_query_extension_reply_t* input = xcb_get_extension_data(c, &xcb_input_id);
        if (!input || !input->present) {
            problem = QStringLiteral("the X server has no XInput extension");
            return false;
        }
        xinputOpcode = input->major_opcode;
        auto version = reply(xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr));
        if (!version || version->major_version < 2) {
            problem = QStringLiteral("the X server's XInput is older than 2.0");
            return false;
        }
        const xcb_query_extension_reply_t* test = xcb_get_extension_data(c, &xcb_test_id);
        if (!test || !test->present) {
            problem = QStringLiteral("the X server has no XTEST extension");
            return false;
        }
        if (!xkb_x11_setup_xkb_extension(c, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                         XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr)) {
            problem = QStringLiteral("the X server has no XKB extension");
            return false;
        }
        keyboardId = xkb_x11_get_core_keyboard_device_id(c);
        context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        if (!context || keyboardId < 0 || !loadKeymap()) {
            problem = QStringLiteral("the keyboard's layout cannot be read");
            return false;
        }
        const char* locale = std::setlocale(LC_CTYPE, nullptr);
        if (!locale || QByteArray(locale) == "C") locale = std::getenv("LANG");
        if (locale) composeTable = xkb_compose_table_new_from_locale(context, locale, XKB_COMPOSE_COMPILE_NO_FLAGS);
        if (composeTable) compose = xkb_compose_state_new(composeTable, XKB_COMPOSE_STATE_NO_FLAGS);
        auto controls = reply(xcb_xkb_get_controls_reply(c, xcb_xkb_get_controls(c, XCB_XKB_ID_USE_CORE_KBD), nullptr));
        if (controls && controls->repeatDelay > 0) delay = controls->repeatDelay / 1000.0;
        // Keymap changes (another layout, a lent key code) reach every client as MappingNotify.
        const uint16_t events = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
        xcb_xkb_select_events(c, XCB_XKB_ID_USE_CORE_KBD, events, 0, events, 0xff, 0xff, nullptr);
        restoreLent.setSingleShot(true);
        QObject::connect(&restoreLent, &QTimer::timeout, &restoreLent, [this] { restoreMapping(); });
        return true;
    }

    bool loadKeymap() {
        xkb_keymap* newKeymap = xkb_x11_keymap_new_from_device(context, c, keyboardId, XKB_KEYMAP_COMPILE_NO_FLAGS);
        if (!newKeymap) return false;
        xkb_state* newState = xkb_x11_state_new_from_device(newKeymap, c, keyboardId);
        if (!newState) {
            xkb_keymap_unref(newKeymap);
            return false;
        }
        if (state) xkb_state_unref(state);
        if (keymap) xkb_keymap_unref(keymap);
        keymap = newKeymap;
        state = newState;
        return true;
    }

    void selectRaw(bool on) {
        struct {
            xcb_input_event_mask_t head;
            uint32_t mask;
        } mask{};
        mask.head.deviceid = XCB_INPUT_DEVICE_ALL_MASTER;
        mask.head.mask_len = 1;
        mask.mask = on ? (XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE |
                          XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS)
                       : 0;
        xcb_input_xi_select_events(c, x->root(), 1, &mask.head);
        xcb_flush(c);
    }

    void onEvent(const xcb_generic_event_t& event) {
        const uint8_t type = event.response_type & 0x7f;
        if (type == XCB_GE_GENERIC) {
            const auto& generic = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
            if (generic.extension != xinputOpcode) return;
            if (generic.event_type == XCB_INPUT_RAW_KEY_PRESS || generic.event_type == XCB_INPUT_RAW_KEY_RELEASE) {
                const auto& raw = reinterpret_cast<const xcb_input_raw_key_press_event_t&>(event);
                key(raw, generic.event_type == XCB_INPUT_RAW_KEY_PRESS);
            } else if (generic.event_type == XCB_INPUT_RAW_BUTTON_PRESS) {
                const auto& raw = reinterpret_cast<const xcb_input_raw_button_press_event_t&>(event);
                // Wheel steps (buttons 4 to 7) do not move the caret.
                if (ignoring || !running || (raw.detail >= 4 && raw.detail <= 7)) return;
                GlobalInputEvent input;
                input.kind = GlobalInputEvent::Kind::button;
                input.time = raw.time / 1000.0;
                handle(input);
            }
            return;
        }
        if (type == XCB_MAPPING_NOTIFY || (xkbEventBase() && type == xkbEventBase())) {
            if (lent.empty()) loadKeymap();
        }
    }

    uint8_t xkbEventBase() const {
        const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(c, &xcb_xkb_id);
        return xkb && xkb->present ? xkb->first_event : 0;
    }

    void key(const xcb_input_raw_key_press_event_t& raw, bool pressed) {
        const xkb_keycode_t code = raw.detail;
        if (!pressed) {
            down.erase(code);
            xkb_state_update_key(state, code, XKB_KEY_UP);
            return;
        }
        const bool repeat = down.count(code) > 0 || (raw.flags & XCB_INPUT_KEY_EVENT_FLAGS_KEY_REPEAT);
        down.insert(code);
        GlobalInputEvent input;
        input.time = raw.time / 1000.0;
        input.isRepeat = repeat;
        input.shift = xkb_state_mod_name_is_active(state, XKB_MOD_NAME_SHIFT, XKB_STATE_MODS_EFFECTIVE) > 0;
        input.control = xkb_state_mod_name_is_active(state, XKB_MOD_NAME_CTRL, XKB_STATE_MODS_EFFECTIVE) > 0;
        input.alt = xkb_state_mod_name_is_active(state, XKB_MOD_NAME_ALT, XKB_STATE_MODS_EFFECTIVE) > 0;
        input.super = xkb_state_mod_name_is_active(state, XKB_MOD_NAME_LOGO, XKB_STATE_MODS_EFFECTIVE) > 0;
        const xkb_keysym_t sym = xkb_state_key_get_one_sym(state, code);
        input.isModifier = isModifierKeysym(sym);
        input.isBackSpace = sym == XKB_KEY_BackSpace || sym == XKB_KEY_Delete || sym == XKB_KEY_KP_Delete;
        if (input.isBackSpace) {
            input.text = QStringLiteral("\b");
        } else if (!input.isModifier) {
            bool composed = false;
            if (compose && !repeat && xkb_compose_state_feed(compose, sym) == XKB_COMPOSE_FEED_ACCEPTED) {
                switch (xkb_compose_state_get_status(compose)) {
                case XKB_COMPOSE_COMPOSING:
                    input.composing = true;
                    composed = true;
                    break;
                case XKB_COMPOSE_COMPOSED: {
                    char buffer[64];
                    const int length = xkb_compose_state_get_utf8(compose, buffer, sizeof buffer);
                    input.text = QString::fromUtf8(buffer, qMax(0, length));
                    xkb_compose_state_reset(compose);
                    composed = true;
                    break;
                }
                case XKB_COMPOSE_CANCELLED:
                    xkb_compose_state_reset(compose);
                    composed = true;
                    break;
                case XKB_COMPOSE_NOTHING:
                    break;
                }
            }
            if (!composed) {
                char buffer[64];
                const int length = xkb_state_key_get_utf8(state, code, buffer, sizeof buffer);
                input.text = QString::fromUtf8(buffer, qMax(0, length));
                // Control characters (Return is "\r", Tab "\t") are kept; other C0 codes typed nothing.
                if (input.text.size() == 1 && input.text.front().unicode() < 0x20 && input.text != QStringLiteral("\r") &&
                    input.text != QStringLiteral("\t"))
                    input.text.clear();
            }
        }
        xkb_state_update_key(state, code, XKB_KEY_DOWN);
        if (ownPresses > 0) {
            --ownPresses;
            return;
        }
        if (ignoring || !running) return;
        handle(input);
    }

    // Runs `inject` (XTest requests on this connection), waits for the server
    // to have handled them, and reads the raw events they caused without
    // reporting them.
    bool quietly(int presses, const std::function<bool()>& inject) {
        ignoring = true;
        ownPresses += presses;
        const bool ok = inject();
        x->sync();
        if (reader) reader->drain();
        ignoring = false;
        return ok;
    }

    struct Placement {
        xcb_keycode_t code = 0;
        bool shift = false;
    };

    std::optional<Placement> place(xkb_keysym_t sym) const {
        const xkb_layout_index_t layout = xkb_state_serialize_layout(state, XKB_STATE_LAYOUT_EFFECTIVE);
        const xkb_keycode_t min = xkb_keymap_min_keycode(keymap);
        const xkb_keycode_t max = xkb_keymap_max_keycode(keymap);
        for (int level = 0; level < 2; ++level)
            for (xkb_keycode_t code = min; code <= max && code < 256; ++code) {
                const xkb_keysym_t* syms = nullptr;
                const int count = xkb_keymap_key_get_syms_by_level(keymap, code, layout, xkb_level_index_t(level), &syms);
                if (count == 1 && syms[0] == sym) {
                    // Level 2 must be the Shift level of this key's type.
                    if (level == 1 && xkb_keymap_num_levels_for_key(keymap, code, layout) < 2) continue;
                    return Placement{xcb_keycode_t(code), level == 1};
                }
            }
        return std::nullopt;
    }

    std::vector<xcb_keycode_t> spareCodes(size_t needed) const {
        std::vector<xcb_keycode_t> spare;
        const xcb_setup_t* setup = xcb_get_setup(c);
        const int count = setup->max_keycode - setup->min_keycode + 1;
        auto mapping = reply(xcb_get_keyboard_mapping_reply(
            c, xcb_get_keyboard_mapping(c, setup->min_keycode, uint8_t(count)), nullptr));
        if (!mapping) return spare;
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping.get());
        const int perCode = mapping->keysyms_per_keycode;
        for (int code = count - 1; code >= 0 && spare.size() < needed; --code) {
            const xcb_keycode_t keycode = xcb_keycode_t(setup->min_keycode + code);
            if (lent.count(keycode)) continue;
            bool empty = true;
            for (int column = 0; column < perCode; ++column) empty = empty && syms[code * perCode + column] == 0;
            if (empty) spare.push_back(keycode);
        }
        return spare;
    }

    void restoreMapping() {
        if (lent.empty()) return;
        for (const auto& [code, sym] : lent) {
            const xcb_keysym_t none[2] = {0, 0};
            xcb_change_keyboard_mapping(c, 1, code, 2, none);
        }
        lent.clear();
        xcb_flush(c);
    }

    bool type(const QString& text, QString* why) {
        struct Stroke {
            xcb_keycode_t code;
            bool shift;
        };
        std::vector<Stroke> strokes;
        std::map<xkb_keysym_t, xcb_keycode_t> borrowed;
        std::vector<xkb_keysym_t> missing;
        const auto codepoints = text.toUcs4();
        std::vector<xkb_keysym_t> syms;
        for (char32_t point : codepoints) {
            xkb_keysym_t sym = point == U'\n' ? XKB_KEY_Return : point == U'\t' ? XKB_KEY_Tab : xkb_utf32_to_keysym(point);
            syms.push_back(sym);
            if (sym == XKB_KEY_NoSymbol) continue;
            if (!place(sym) && std::find(missing.begin(), missing.end(), sym) == missing.end()) missing.push_back(sym);
        }
        if (!missing.empty()) {
            for (const auto& [code, sym] : lent)
                if (std::find(missing.begin(), missing.end(), sym) != missing.end()) borrowed[sym] = code;
            std::erase_if(missing, [&](xkb_keysym_t sym) { return borrowed.count(sym) > 0; });
            std::vector<xcb_keycode_t> spare = spareCodes(missing.size());
            if (spare.size() < missing.size()) {
                // Not enough free key codes: type in rounds instead of failing.
                restoreMapping();
                spare = spareCodes(missing.size());
            }
            for (size_t i = 0; i < missing.size() && i < spare.size(); ++i) {
                const xcb_keysym_t both[2] = {missing[i], missing[i]};
                xcb_change_keyboard_mapping(c, 1, spare[i], 2, both);
                lent[spare[i]] = missing[i];
                borrowed[missing[i]] = spare[i];
            }
            x->sync();
        }
        for (xkb_keysym_t sym : syms) {
            if (sym == XKB_KEY_NoSymbol) continue;
            if (const auto placement = place(sym)) {
                strokes.push_back({placement->code, placement->shift});
            } else if (borrowed.count(sym)) {
                strokes.push_back({borrowed[sym], false});
            } else if (why) {
                *why = QStringLiteral("The keyboard has no key left for some characters");
                return false;
            }
        }
        const xcb_keycode_t shift = X11KeyPresses::keycodeOf(c, XK_Shift_L);
        const bool shiftHeld = xkb_state_mod_name_is_active(state, XKB_MOD_NAME_SHIFT, XKB_STATE_MODS_EFFECTIVE) > 0;
        int presses = 0;
        for (const Stroke& stroke : strokes) presses += stroke.shift && shift ? 2 : 1;
        return quietly(presses, [&] {
            if (shiftHeld && shift) xcb_test_fake_input(c, XCB_KEY_RELEASE, shift, XCB_CURRENT_TIME, x->root(), 0, 0, 0);
            for (const Stroke& stroke : strokes) {
                if (stroke.shift && shift) {
                    X11KeyPresses::chord(*x, {shift, stroke.code});
                } else {
                    X11KeyPresses::chord(*x, {stroke.code});
                }
            }
            if (!lent.empty()) restoreLent.start(200);
            return true;
        });
    }
};

X11KeyboardMonitor::X11KeyboardMonitor(const QByteArray& display) : d(std::make_unique<Impl>()) {
    d->display = display;
}

X11KeyboardMonitor::~X11KeyboardMonitor() {
    stop();
}

bool X11KeyboardMonitor::start(std::function<void(const GlobalInputEvent&)> handle, QString* problem) {
    if (!d->connect()) {
        if (problem) *problem = QStringLiteral("Keywords cannot be watched: ") + d->problem;
        return false;
    }
    d->handle = std::move(handle);
    if (!d->reader)
        d->reader = std::make_unique<XcbEventReader>(d->c, [this](const xcb_generic_event_t& event) { d->onEvent(event); });
    d->selectRaw(true);
    d->running = true;
    return true;
}

void X11KeyboardMonitor::stop() {
    if (!d->running) return;
    d->running = false;
    if (d->c) d->selectRaw(false);
}

bool X11KeyboardMonitor::isRunning() const {
    return d->running;
}

double X11KeyboardMonitor::repeatDelay() const {
    if (!d->connect()) return 0.5;
    return d->delay;
}

bool X11KeyboardMonitor::press(Key key, int count, QString* problem) {
    if (!d->connect()) {
        if (problem) *problem = d->problem;
        return false;
    }
    if (count <= 0) return true;
    const auto code = [this](xcb_keysym_t sym) { return X11KeyPresses::keycodeOf(d->c, sym); };
    const xcb_keycode_t control = code(XK_Control_L);
    const xcb_keycode_t shift = code(XK_Shift_L);
    xcb_keycode_t main = 0;
    switch (key) {
    case Key::backSpace: main = code(XK_BackSpace); break;
    case Key::left: main = code(XK_Left); break;
    case Key::right: main = code(XK_Right); break;
    case Key::paste:
    case Key::terminalPaste: main = code(XK_v); break;
    }
    if (!main || ((key == Key::paste || key == Key::terminalPaste) && !control) || (key == Key::terminalPaste && !shift)) {
        if (problem) *problem = QStringLiteral("The keyboard has no key for this");
        return false;
    }
    const int presses = count * (key == Key::paste ? 2 : key == Key::terminalPaste ? 3 : 1);
    return d->quietly(presses, [&] {
        if (key == Key::paste) {
            X11KeyPresses::chord(*d->x, {control, main}, count);
        } else if (key == Key::terminalPaste) {
            X11KeyPresses::chord(*d->x, {control, shift, main}, count);
        } else {
            X11KeyPresses::chord(*d->x, {main}, count);
        }
        return true;
    });
}

bool X11KeyboardMonitor::type(const QString& text, QString* problem) {
    if (!d->connect()) {
        if (problem) *problem = d->problem;
        return false;
    }
    return d->type(text, problem);
}

}  // namespace vantrel
