#pragma once

#include "kit/KeyEquivalent.h"

#include <QString>
#include <QtGlobal>

#include <optional>

namespace vantrel {

// Characters that stand for keys without a glyph of their own, as key
// equivalents carry them (the private-use code points of the original key
// tables): arrows, function keys and the navigation block.
namespace FunctionKey {
inline constexpr char32_t upArrow = 0xF700;
inline constexpr char32_t downArrow = 0xF701;
inline constexpr char32_t leftArrow = 0xF702;
inline constexpr char32_t rightArrow = 0xF703;
// F1 is f1, F2 is f1 + 1, … F12 is f1 + 11.
inline constexpr char32_t f1 = 0xF704;
inline constexpr char32_t forwardDelete = 0xF728;
inline constexpr char32_t home = 0xF729;
inline constexpr char32_t end = 0xF72B;
inline constexpr char32_t pageUp = 0xF72C;
inline constexpr char32_t pageDown = 0xF72D;
inline constexpr char32_t help = 0xF746;
}  // namespace FunctionKey

// Modifiers plus one key: a hotkey of the launcher or of a search record.
//
// Its stored text form names the modifiers that are set, always in the order
// "Shift", "Control", "Option", "Command", followed by the key's virtual key
// code as a decimal number, joined by "-": Alt+Space is "Option-49". The key
// codes are those of the original keyboard tables (a = 0, s = 1, d = 2, …,
// space = 49, return = 36); mapping them to X keysyms is the platform's job.
struct KeyCombination {
    ModifierKeys modifierKeys;
    KeyEquivalent keyEquivalent;

    // Nothing when the key has no virtual key code.
    std::optional<QString> persistentString() const;
    // The combination a stored text names; nothing for unknown modifier names,
    // a repeated modifier, a missing or non-decimal key code, or a key code
    // without a key equivalent.
    static std::optional<KeyCombination> fromPersistentString(const QString& text);

    // The virtual key code of a key equivalent: lower-case letters, digits,
    // the punctuation of the main block, space, return, tab, escape, delete
    // (backspace, also written as U+0008), the arrows, F1–F12, forward delete,
    // home, end, page up and down, help.
    static std::optional<quint32> virtualKeyCode(KeyEquivalent key);
    // The key equivalent of a virtual key code (delete answers U+007F).
    static std::optional<KeyEquivalent> keyEquivalentFor(quint32 virtualKeyCode);

    // "Alt+Space", the Linux way of showing it.
    QString displayText() const { return KeyboardShortcut{modifierKeys, keyEquivalent}.displayText(); }

    bool operator==(const KeyCombination&) const = default;
};

}  // namespace vantrel
