#pragma once

#include "kit/KeyCombination.h"
#include "kit/VantrelError.h"

#include <QtGlobal>

#include <functional>

namespace vantrel {

using HotkeyRegistrationId = quint32;

// A key code and modifier mask as the desktop's key grabs take them: the
// virtual key code of the stored form and the X modifier mask.
struct CarbonKeys {
    quint32 virtualKeyCode = 0;
    quint32 modifierKeys = 0;

    // Nothing when the combination's key has no virtual key code.
    static std::optional<CarbonKeys> from(const KeyCombination& combination);
    bool operator==(const CarbonKeys&) const = default;
};

// Global hotkeys: a key combination that reaches us whichever window has the
// keyboard. Handlers run on the thread that owns the manager (the main
// thread); a handler answers whether it handled the press.
//
// Errors are thrown as VantrelError with these messages:
// "Cannot convert key combination to carbon keys", "Handler for these Carbon
// keys has already been registered.", "Cannot register Carbon hotkey." (the
// desktop refused the grab, usually because another program holds the
// combination) and "Cannot unregister Carbon hotkey.". A grab refused because
// another program holds the combination wraps the error `heldByAnotherProgram`.
class HotkeyManager {
public:
    using Handler = std::function<bool()>;

    virtual ~HotkeyManager() = default;

    virtual HotkeyRegistrationId observeKeyCombination(const KeyCombination& combination, Handler handler) = 0;
    virtual HotkeyRegistrationId observeCarbonKeys(const CarbonKeys& keys, Handler handler) = 0;
    // Releases the combination at once: another program may take it right after.
    virtual void unregister(HotkeyRegistrationId id) = 0;
    virtual bool isRegistered(HotkeyRegistrationId id) const = 0;

    static constexpr QLatin1String heldByAnotherProgram{"held by another program"};
    // Whether a registration failed because another program holds the keys.
    static bool isHeldByAnotherProgram(const std::exception& error) {
        for (const std::exception* at = &error; at;) {
            const auto* wrapped = dynamic_cast<const VantrelError*>(at);
            if (!wrapped) return false;
            if (wrapped->errorDescription() == heldByAnotherProgram) return true;
            at = wrapped->wrappedError();
        }
        return false;
    }
};

}  // namespace vantrel
