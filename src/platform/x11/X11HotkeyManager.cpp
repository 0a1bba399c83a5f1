#include "platform/x11/X11HotkeyManager.h"

#include "kit/Logger.h"
#include "kit/VantrelError.h"
#include "platform/x11/X11KeySymbols.h"
#include "platform/x11/XcbConnection.h"

#include <QObject>

#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <limits>
#include <map>
#include <vector>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Hotkeys"), QStringLiteral("⌨️")});
    return logger;
}

const QString kCannotInstall = QStringLiteral("Cannot install Carbon event handler.");
const QString kCannotConvert = QStringLiteral("Cannot convert key combination to carbon keys");
const QString kAlreadyRegistered = QStringLiteral("Handler for these Carbon keys has already been registered.");
const QString kCannotRegister = QStringLiteral("Cannot register Carbon hotkey.");
const QString kCannotUnregister = QStringLiteral("Cannot unregister Carbon hotkey.");
const QString kCannotFindRegistration = QStringLiteral("Cannot find registration for the hotkey event.");

constexpr quint8 kBadAccess = 10;

// Registration ids are unique in the process, whichever manager hands them out.
std::atomic<quint32> g_lastHotKeyId{0};

HotkeyRegistrationId nextHotKeyId() {
    const quint32 previous = g_lastHotKeyId.fetch_add(1);
    if (previous == std::numeric_limits<quint32>::max()) qFatal("Hotkey registration ids are exhausted");
    return previous + 1;
}

struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

QString describeKeys(const CarbonKeys& keys) {
    return QStringLiteral("%1/0x%2").arg(keys.virtualKeyCode).arg(keys.modifierKeys, 0, 16);
}

}  // namespace

struct X11HotkeyManager::Impl {
    struct Registration {
        CarbonKeys keys;
        quint32 keysym = 0;
        quint16 mask = 0;
        // What is grabbed now: key codes, and the full modifier masks (with each
        // lock combination) they were grabbed with.
        std::vector<xcb_keycode_t> keycodes;
        std::vector<quint16> grabbedMasks;
        Handler handler;
    };

    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;
    xcb_keycode_t minKeycode = 8;
    xcb_keycode_t maxKeycode = 255;
    quint8 keysymsPerKeycode = 0;
    std::vector<xcb_keysym_t> keysyms;
    quint16 numLockMask = 0;
    quint16 scrollLockMask = 0;
    std::unique_ptr<XcbEventReader> reader;
    std::map<HotkeyRegistrationId, Registration> registrations;
    quint64 mappingChanges = 0;

    ~Impl() {
        reader.reset();
        if (connection) xcb_disconnect(connection);
    }

    xcb_keysym_t keysymAt(xcb_keycode_t keycode, int column) const {
        const size_t index = size_t(keycode - minKeycode) * keysymsPerKeycode + size_t(column);
        return index < keysyms.size() ? keysyms[index] : 0;
    }

    void readKeyboardMapping() {
        const auto cookie = xcb_get_keyboard_mapping(connection, minKeycode, quint8(maxKeycode - minKeycode + 1));
        XcbReply<xcb_get_keyboard_mapping_reply_t> reply(xcb_get_keyboard_mapping_reply(connection, cookie, nullptr));
        keysyms.clear();
        keysymsPerKeycode = 0;
        if (!reply) {
            log().error("Cannot read the keyboard mapping");
            return;
        }
        keysymsPerKeycode = reply->keysyms_per_keycode;
        const xcb_keysym_t* first = xcb_get_keyboard_mapping_keysyms(reply.get());
        keysyms.assign(first, first + xcb_get_keyboard_mapping_keysyms_length(reply.get()));
    }

    // The modifier bits Num Lock and Scroll Lock are mapped to.
    void readModifierMapping() {
        numLockMask = 0;
        scrollLockMask = 0;
        const auto cookie = xcb_get_modifier_mapping(connection);
        XcbReply<xcb_get_modifier_mapping_reply_t> reply(xcb_get_modifier_mapping_reply(connection, cookie, nullptr));
        if (!reply) {
            log().error("Cannot read the modifier mapping");
            return;
        }
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply.get());
        const int perModifier = reply->keycodes_per_modifier;
        for (int modifier = 0; modifier < 8; ++modifier) {
            for (int i = 0; i < perModifier; ++i) {
                const xcb_keycode_t code = codes[modifier * perModifier + i];
                if (code == 0 || code < minKeycode || code > maxKeycode) continue;
                for (int column = 0; column < keysymsPerKeycode; ++column) {
                    const xcb_keysym_t symbol = keysymAt(code, column);
                    if (symbol == XK_Num_Lock) numLockMask |= quint16(1u << modifier);
                    if (symbol == XK_Scroll_Lock) scrollLockMask |= quint16(1u << modifier);
                }
            }
        }
    }

    // The keys that type the keysym in the current layout: those with it as
    // their first symbol, else those with it anywhere (a keypad digit behind
    // Num Lock).
    std::vector<xcb_keycode_t> keycodesFor(quint32 keysym) const {
        auto matches = [keysym](xcb_keysym_t symbol) {
            if (symbol == keysym) return true;
            // A layout may list a letter key by its capital only.
            return keysym >= XK_a && keysym <= XK_z && symbol == keysym - (XK_a - XK_A);
        };
        std::vector<xcb_keycode_t> codes;
        if (keysymsPerKeycode == 0) return codes;
        for (int code = minKeycode; code <= maxKeycode; ++code)
            if (matches(keysymAt(xcb_keycode_t(code), 0))) codes.push_back(xcb_keycode_t(code));
        if (!codes.empty()) return codes;
        for (int code = minKeycode; code <= maxKeycode; ++code)
            for (int column = 1; column < keysymsPerKeycode; ++column)
                if (matches(keysymAt(xcb_keycode_t(code), column))) {
                    codes.push_back(xcb_keycode_t(code));
                    break;
                }
        return codes;
    }

    quint16 ignoredMask() const { return quint16(X11KeySymbols::Mask::lock | numLockMask | scrollLockMask); }

    // Every combination of the lock modifiers, starting with none.
    std::vector<quint16> lockVariants() const {
        std::vector<quint16> locks;
        for (quint16 bit : {X11KeySymbols::Mask::lock, numLockMask, scrollLockMask})
            if (bit != 0 && std::find(locks.begin(), locks.end(), bit) == locks.end()) locks.push_back(bit);
        std::vector<quint16> variants;
        for (unsigned subset = 0; subset < (1u << locks.size()); ++subset) {
            quint16 mask = 0;
            for (size_t i = 0; i < locks.size(); ++i)
                if (subset & (1u << i)) mask |= locks[i];
            variants.push_back(mask);
        }
        return variants;
    }

    // Grabs every key code with every lock variant of the mask; on the first
    // refusal releases what it took and answers the X error code.
    std::optional<quint8> grab(Registration& registration) {
        std::vector<quint16> masks;
        for (quint16 variant : lockVariants()) masks.push_back(quint16(registration.mask | variant));
        std::vector<xcb_void_cookie_t> cookies;
        for (xcb_keycode_t code : registration.keycodes)
            for (quint16 mask : masks)
                cookies.push_back(
                    xcb_grab_key_checked(connection, 1, root, mask, code, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        std::optional<quint8> failure;
        for (const auto& cookie : cookies) {
            XcbReply<xcb_generic_error_t> error(xcb_request_check(connection, cookie));
            if (error && !failure) failure = error->error_code;
        }
        registration.grabbedMasks = masks;
        if (failure) {
            ungrab(registration);
            registration.keycodes.clear();
            registration.grabbedMasks.clear();
        }
        scheduleDrain();
        return failure;
    }

    // Releases the grabs; answers whether the server accepted every release.
    bool ungrab(const Registration& registration) {
        std::vector<xcb_void_cookie_t> cookies;
        for (xcb_keycode_t code : registration.keycodes)
            for (quint16 mask : registration.grabbedMasks)
                cookies.push_back(xcb_ungrab_key_checked(connection, code, root, mask));
        bool ok = true;
        for (const auto& cookie : cookies) {
            XcbReply<xcb_generic_error_t> error(xcb_request_check(connection, cookie));
            if (error) ok = false;
        }
        scheduleDrain();
        return ok;
    }

    // Replies may have pulled events into xcb's queue.
    void scheduleDrain() {
        if (reader) reader->drainSoon();
    }
    void handle(const xcb_generic_event_t& event);
    void keyPressed(const xcb_key_press_event_t& event);
    void mappingChanged();
};

void X11HotkeyManager::Impl::handle(const xcb_generic_event_t& event) {
    switch (event.response_type & 0x7f) {
        case XCB_KEY_PRESS:
            keyPressed(reinterpret_cast<const xcb_key_press_event_t&>(event));
            break;
        case XCB_MAPPING_NOTIFY: {
            const auto& notify = reinterpret_cast<const xcb_mapping_notify_event_t&>(event);
            if (notify.request == XCB_MAPPING_KEYBOARD || notify.request == XCB_MAPPING_MODIFIER) mappingChanged();
            break;
        }
        case 0: {
            const auto& error = reinterpret_cast<const xcb_generic_error_t&>(event);
            log().debug("X error on the hotkey connection",
                        {{QStringLiteral("code"), QString::number(error.error_code)},
                         {QStringLiteral("request"), QString::number(error.major_code)}});
            break;
        }
        default:
            break;
    }
}

void X11HotkeyManager::Impl::keyPressed(const xcb_key_press_event_t& event) {
    const quint16 state = quint16(event.state & X11KeySymbols::Mask::allModifiers & ~ignoredMask());
    std::optional<HotkeyRegistrationId> found;
    for (const auto& [id, registration] : registrations) {
        if (registration.mask != state) continue;
        if (std::find(registration.keycodes.begin(), registration.keycodes.end(), event.detail) ==
            registration.keycodes.end())
            continue;
        found = id;
        break;
    }
    if (!found) {
        log().error(kCannotFindRegistration, {{QStringLiteral("keycode"), QString::number(event.detail)},
                                              {QStringLiteral("state"), QString::number(event.state, 16)}});
        return;
    }
    // The handler may register or unregister hotkeys, this one included.
    const Handler handler = registrations.at(*found).handler;
    if (handler && !handler())
        log().debug("Hotkey handler let the press pass", {{QStringLiteral("id"), QString::number(*found)}});
}

void X11HotkeyManager::Impl::mappingChanged() {
    const auto previousKeysyms = keysyms;
    const quint16 previousNumLock = numLockMask;
    const quint16 previousScrollLock = scrollLockMask;
    readKeyboardMapping();
    readModifierMapping();
    if (keysyms == previousKeysyms && numLockMask == previousNumLock && scrollLockMask == previousScrollLock) return;
    ++mappingChanges;
    log().info("Keyboard mapping changed, renewing hotkey grabs",
               {{QStringLiteral("count"), QString::number(registrations.size())}});
    for (auto& [id, registration] : registrations) {
        ungrab(registration);
        registration.keycodes = keycodesFor(registration.keysym);
        registration.grabbedMasks.clear();
        if (registration.keycodes.empty()) {
            log().error(kCannotRegister, {{QStringLiteral("keys"), describeKeys(registration.keys)},
                                          {QStringLiteral("reason"), QStringLiteral("no key for it in the layout")}});
            continue;
        }
        if (const auto failure = grab(registration))
            log().error(kCannotRegister, {{QStringLiteral("keys"), describeKeys(registration.keys)},
                                          {QStringLiteral("xError"), QString::number(*failure)}});
    }
}

X11HotkeyManager::X11HotkeyManager(const QString& displayName) : d(std::make_unique<Impl>()) {
    int screenNumber = 0;
    const QByteArray name = displayName.toLocal8Bit();
    d->connection = xcb_connect(name.isEmpty() ? nullptr : name.constData(), &screenNumber);
    if (!d->connection || xcb_connection_has_error(d->connection)) {
        log().error(kCannotInstall,
                    {{QStringLiteral("display"),
                      displayName.isEmpty() ? QString::fromLocal8Bit(qgetenv("DISPLAY")) : displayName}});
        throw VantrelError(kCannotInstall);
    }
    const xcb_setup_t* setup = xcb_get_setup(d->connection);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) xcb_screen_next(&screens);
    if (screens.rem == 0) throw VantrelError(kCannotInstall);
    d->root = screens.data->root;
    d->minKeycode = setup->min_keycode;
    d->maxKeycode = setup->max_keycode;
    d->readKeyboardMapping();
    d->readModifierMapping();

    d->reader = std::make_unique<XcbEventReader>(d->connection,
                                                 [this](const xcb_generic_event_t& event) { d->handle(event); });
}

X11HotkeyManager::~X11HotkeyManager() {
    for (auto& [id, registration] : d->registrations) d->ungrab(registration);
    if (d->connection) xcb_flush(d->connection);
}

HotkeyRegistrationId X11HotkeyManager::observeKeyCombination(const KeyCombination& combination, Handler handler) {
    const auto keys = CarbonKeys::from(combination);
    if (!keys) {
        log().error(kCannotConvert, {{QStringLiteral("combination"), combination.displayText()}});
        throw VantrelError(kCannotConvert);
    }
    return observeCarbonKeys(*keys, std::move(handler));
}

HotkeyRegistrationId X11HotkeyManager::observeCarbonKeys(const CarbonKeys& keys, Handler handler) {
    const auto keysym = X11KeySymbols::keysym(keys.virtualKeyCode);
    if (!keysym || keys.modifierKeys > X11KeySymbols::Mask::allModifiers) {
        log().error(kCannotConvert, {{QStringLiteral("keys"), describeKeys(keys)}});
        throw VantrelError(kCannotConvert);
    }
    for (const auto& [id, registration] : d->registrations)
        if (registration.keys == keys) {
            log().error(kAlreadyRegistered, {{QStringLiteral("keys"), describeKeys(keys)}});
            throw VantrelError(kAlreadyRegistered);
        }

    Impl::Registration registration;
    registration.keys = keys;
    registration.keysym = *keysym;
    registration.mask = quint16(keys.modifierKeys);
    registration.handler = std::move(handler);
    registration.keycodes = d->keycodesFor(*keysym);
    if (registration.keycodes.empty()) {
        log().error(kCannotRegister, {{QStringLiteral("keys"), describeKeys(keys)},
                                      {QStringLiteral("reason"), QStringLiteral("no key for it in the layout")}});
        throw VantrelError(kCannotRegister);
    }
    if (const auto failure = d->grab(registration)) {
        const QString reason = *failure == kBadAccess ? QString(HotkeyManager::heldByAnotherProgram)
                                                      : QStringLiteral("X error %1").arg(*failure);
        log().error(kCannotRegister, {{QStringLiteral("keys"), describeKeys(keys)}, {QStringLiteral("reason"), reason}});
        throw VantrelError(kCannotRegister, VantrelError(reason));
    }
    const HotkeyRegistrationId id = nextHotKeyId();
    d->registrations.emplace(id, std::move(registration));
    log().debug("Registered hotkey",
                {{QStringLiteral("id"), QString::number(id)}, {QStringLiteral("keys"), describeKeys(keys)}});
    return id;
}

void X11HotkeyManager::unregister(HotkeyRegistrationId id) {
    const auto it = d->registrations.find(id);
    if (it == d->registrations.end()) {
        log().error(kCannotUnregister, {{QStringLiteral("id"), QString::number(id)}});
        throw VantrelError(kCannotUnregister);
    }
    const Impl::Registration registration = std::move(it->second);
    d->registrations.erase(it);
    if (!d->ungrab(registration)) {
        log().error(kCannotUnregister, {{QStringLiteral("id"), QString::number(id)}});
        throw VantrelError(kCannotUnregister);
    }
}

bool X11HotkeyManager::isRegistered(HotkeyRegistrationId id) const {
    return d->registrations.contains(id);
}

qsizetype X11HotkeyManager::registrationCount() const {
    return qsizetype(d->registrations.size());
}

quint16 X11HotkeyManager::numLockMask() const {
    return d->numLockMask;
}

quint64 X11HotkeyManager::keyboardMappingChanges() const {
    return d->mappingChanges;
}

void X11HotkeyManager::processPendingEvents() {
    d->reader->drain();
}

}  // namespace vantrel
