#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace vantrel {

// A set of modifier keys over a signed 64-bit raw value. The bits are the
// stored form wherever a shortcut is saved: control 1, option 2, shift 4,
// command 8. On Linux option is shown as Alt and command as Super.
class ModifierKeys {
public:
    constexpr ModifierKeys() = default;
    constexpr explicit ModifierKeys(qint64 rawValue) : m_rawValue(rawValue) {}

    static const ModifierKeys control;
    static const ModifierKeys option;
    static const ModifierKeys shift;
    static const ModifierKeys command;

    constexpr qint64 rawValue() const { return m_rawValue; }
    constexpr bool isEmpty() const { return m_rawValue == 0; }
    // True when every key of `keys` is in this set.
    constexpr bool contains(ModifierKeys keys) const { return (m_rawValue & keys.m_rawValue) == keys.m_rawValue; }
    constexpr void insert(ModifierKeys keys) { m_rawValue |= keys.m_rawValue; }
    constexpr void remove(ModifierKeys keys) { m_rawValue &= ~keys.m_rawValue; }

    constexpr ModifierKeys operator|(ModifierKeys other) const { return ModifierKeys(m_rawValue | other.m_rawValue); }
    constexpr ModifierKeys operator&(ModifierKeys other) const { return ModifierKeys(m_rawValue & other.m_rawValue); }
    constexpr ModifierKeys& operator|=(ModifierKeys other) {
        m_rawValue |= other.m_rawValue;
        return *this;
    }
    constexpr bool operator==(const ModifierKeys&) const = default;

private:
    qint64 m_rawValue = 0;
};

inline constexpr ModifierKeys ModifierKeys::control{1};
inline constexpr ModifierKeys ModifierKeys::option{2};
inline constexpr ModifierKeys ModifierKeys::shift{4};
inline constexpr ModifierKeys ModifierKeys::command{8};

// The one character that, with modifiers, makes a keyboard shortcut.
class KeyEquivalent {
public:
    constexpr explicit KeyEquivalent(char32_t character) : m_character(character) {}

    // A key equivalent from text holding exactly one Unicode code point.
    static std::optional<KeyEquivalent> fromString(const QString& text);

    constexpr char32_t character() const { return m_character; }
    QString toString() const;
    // How the key is shown to the user: upper-case for letters, names such as
    // "Space", "Return", "Tab", "Esc" and "Backspace" for keys without a glyph.
    QString displayText() const;

    constexpr bool operator==(const KeyEquivalent&) const = default;

private:
    char32_t m_character;
};

// Modifiers plus a key, shown the Linux way: "Ctrl+Alt+Shift+Super+K".
struct KeyboardShortcut {
    ModifierKeys modifiers;
    KeyEquivalent key;

    QString displayText() const;
    bool operator==(const KeyboardShortcut&) const = default;
};

// "Ctrl+Alt+Shift+Super" for the keys in the set, in that order; empty for none.
QString modifierDisplayText(ModifierKeys modifiers);

}  // namespace vantrel
