#pragma once

#include "kit/KeyEquivalent.h"

#include <QtGlobal>

#include <optional>
#include <vector>

namespace vantrel {

struct KeyCombination;

// Translation between the stored hotkey form and the X keyboard: the virtual
// key codes of the original keyboard tables (a = 0, space = 49, F1 = 122, …)
// to X keysyms and back, and our modifier set to the X modifier mask.
//
// Option is Alt (Mod1), Command is Super (Mod4), Control and Shift are
// themselves. The lock modifiers (Caps Lock, Num Lock, Scroll Lock) have no
// place in a hotkey; the hotkey manager ignores them.
namespace X11KeySymbols {

// The core protocol's modifier bits.
namespace Mask {
inline constexpr quint16 shift = 1u << 0;
inline constexpr quint16 lock = 1u << 1;
inline constexpr quint16 control = 1u << 2;
inline constexpr quint16 mod1 = 1u << 3;
inline constexpr quint16 mod2 = 1u << 4;
inline constexpr quint16 mod3 = 1u << 5;
inline constexpr quint16 mod4 = 1u << 6;
inline constexpr quint16 mod5 = 1u << 7;
inline constexpr quint16 allModifiers = 0xFF;
}  // namespace Mask

// The keysym of a virtual key code: lower-case letters, digits, punctuation of
// the main block, Return, Tab, space, BackSpace (delete, 51), Escape, F1–F20,
// arrows, Insert (help, 114), Delete (forward delete, 117), Home, End,
// Page Up/Down and the keypad. Nothing for a code without a key.
std::optional<quint32> keysym(quint32 virtualKeyCode);

// The virtual key code of a keysym. Upper-case letters and the shifted
// symbols of the US layout ("!" → the key of "1") answer the code of their
// key, as do the keypad's navigation keysyms (KP_Home → keypad 7) and
// ISO_Left_Tab. Nothing for a keysym no key of the table produces.
std::optional<quint32> virtualKeyCode(quint32 keysym);

// Every virtual key code the table knows, in ascending order.
std::vector<quint32> virtualKeyCodes();

// The keysym a combination's key is pressed as; nothing when its key has no
// virtual key code or the code has no keysym.
std::optional<quint32> keysym(const KeyCombination& combination);

// X modifier mask of a modifier set (Option → Mod1, Command → Mod4).
quint16 modifierMask(ModifierKeys modifiers);
// The modifier set of an X mask; the lock bits and Mod2, Mod3, Mod5 are ignored.
ModifierKeys modifierKeys(quint16 mask);

}  // namespace X11KeySymbols
}  // namespace vantrel
