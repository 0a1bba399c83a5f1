#pragma once

#include "platform/HotkeyManager.h"

#include <QString>

#include <memory>

namespace vantrel {

// Global hotkeys on X11: every registration grabs its key on the root window,
// once for each combination of the lock modifiers (Caps Lock, Num Lock,
// Scroll Lock), so that a lit lock does not break the hotkey. A grab the
// server refuses (another client holds the combination) is "Cannot register
// Carbon hotkey.".
//
// The manager speaks to the X server over a connection of its own, read with
// a socket notifier on the creating thread's event loop, so it needs a
// QCoreApplication but no GUI. Key presses on the root window are matched by
// key code and modifiers (the lock bits masked off) and the registration's
// handler runs on that thread. When the keyboard mapping changes (another
// layout, xmodmap), key codes are looked up again and every grab is renewed.
//
// Create, use and destroy it on one thread.
class X11HotkeyManager : public HotkeyManager {
public:
    // Connects to `displayName` (empty: $DISPLAY). Throws VantrelError
    // "Cannot install Carbon event handler." when there is no X server.
    explicit X11HotkeyManager(const QString& displayName = QString());
    ~X11HotkeyManager() override;
    X11HotkeyManager(const X11HotkeyManager&) = delete;
    X11HotkeyManager& operator=(const X11HotkeyManager&) = delete;

    HotkeyRegistrationId observeKeyCombination(const KeyCombination& combination, Handler handler) override;
    HotkeyRegistrationId observeCarbonKeys(const CarbonKeys& keys, Handler handler) override;
    void unregister(HotkeyRegistrationId id) override;
    bool isRegistered(HotkeyRegistrationId id) const override;

    // Live registrations.
    qsizetype registrationCount() const;
    // The modifier bit Num Lock is mapped to (0 when none), as last read.
    quint16 numLockMask() const;
    // How many keyboard mapping changes have renewed the grabs so far.
    quint64 keyboardMappingChanges() const;

    // Handles whatever the server has sent (the socket notifier calls this;
    // tests may call it to avoid waiting for the event loop).
    void processPendingEvents();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace vantrel
