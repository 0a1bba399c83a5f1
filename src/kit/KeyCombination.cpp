#include "kit/KeyCombination.h"

#include <QHash>
#include <QStringList>

#include <array>
#include <utility>

namespace vantrel {

namespace {

using KeyCode = std::pair<char32_t, quint32>;

// The virtual key codes of the original US keyboard layout.
constexpr std::array kKeyCodes{
    KeyCode{U'a', 0},
    KeyCode{U's', 1},
    KeyCode{U'd', 2},
    KeyCode{U'f', 3},
    KeyCode{U'h', 4},
    KeyCode{U'g', 5},
    KeyCode{U'z', 6},
    KeyCode{U'x', 7},
    KeyCode{U'c', 8},
    KeyCode{U'v', 9},
    KeyCode{U'b', 11},
    KeyCode{U'q', 12},
    KeyCode{U'w', 13},
    KeyCode{U'e', 14},
    KeyCode{U'r', 15},
    KeyCode{U'y', 16},
    KeyCode{U't', 17},
    KeyCode{U'1', 18},
    KeyCode{U'2', 19},
    KeyCode{U'3', 20},
    KeyCode{U'4', 21},
    KeyCode{U'6', 22},
    KeyCode{U'5', 23},
    KeyCode{U'=', 24},
    KeyCode{U'9', 25},
    KeyCode{U'7', 26},
    KeyCode{U'-', 27},
    KeyCode{U'8', 28},
    KeyCode{U'0', 29},
    KeyCode{U']', 30},
    KeyCode{U'o', 31},
    KeyCode{U'u', 32},
    KeyCode{U'[', 33},
    KeyCode{U'i', 34},
    KeyCode{U'p', 35},
    KeyCode{U'\r', 36},
    KeyCode{U'l', 37},
    KeyCode{U'j', 38},
    KeyCode{U'\'', 39},
    KeyCode{U'k', 40},
    KeyCode{U';', 41},
    KeyCode{U'\\', 42},
    KeyCode{U',', 43},
    KeyCode{U'/', 44},
    KeyCode{U'n', 45},
    KeyCode{U'm', 46},
    KeyCode{U'.', 47},
    KeyCode{U'\t', 48},
    KeyCode{U' ', 49},
    KeyCode{U'`', 50},
    KeyCode{U'\x7f', 51},
    KeyCode{U'\x1b', 53},
    KeyCode{FunctionKey::f1 + 4, 96},
    KeyCode{FunctionKey::f1 + 5, 97},
    KeyCode{FunctionKey::f1 + 6, 98},
    KeyCode{FunctionKey::f1 + 2, 99},
    KeyCode{FunctionKey::f1 + 7, 100},
    KeyCode{FunctionKey::f1 + 8, 101},
    KeyCode{FunctionKey::f1 + 10, 103},
    KeyCode{FunctionKey::f1 + 9, 109},
    KeyCode{FunctionKey::f1 + 11, 111},
    KeyCode{FunctionKey::help, 114},
    KeyCode{FunctionKey::home, 115},
    KeyCode{FunctionKey::pageUp, 116},
    KeyCode{FunctionKey::forwardDelete, 117},
    KeyCode{FunctionKey::f1 + 3, 118},
    KeyCode{FunctionKey::end, 119},
    KeyCode{FunctionKey::f1 + 1, 120},
    KeyCode{FunctionKey::pageDown, 121},
    KeyCode{FunctionKey::f1, 122},
    KeyCode{FunctionKey::leftArrow, 123},
    KeyCode{FunctionKey::rightArrow, 124},
    KeyCode{FunctionKey::downArrow, 125},
    KeyCode{FunctionKey::upArrow, 126},
};

struct ModifierName {
    ModifierKeys key;
    QLatin1String name;
};

// The order of the stored form.
constexpr std::array kModifierNames{
    ModifierName{ModifierKeys::shift, QLatin1String("Shift")},
    ModifierName{ModifierKeys::control, QLatin1String("Control")},
    ModifierName{ModifierKeys::option, QLatin1String("Option")},
    ModifierName{ModifierKeys::command, QLatin1String("Command")},
};

}  // namespace

std::optional<quint32> KeyCombination::virtualKeyCode(KeyEquivalent key) {
    const char32_t character = key.character() == U'\b' ? U'\x7f' : key.character();
    for (const auto& [keyCharacter, code] : kKeyCodes)
        if (keyCharacter == character) return code;
    return std::nullopt;
}

std::optional<KeyEquivalent> KeyCombination::keyEquivalentFor(quint32 virtualKeyCode) {
    for (const auto& [keyCharacter, code] : kKeyCodes)
        if (code == virtualKeyCode) return KeyEquivalent(keyCharacter);
    return std::nullopt;
}

std::optional<QString> KeyCombination::persistentString() const {
    const auto code = virtualKeyCode(keyEquivalent);
    if (!code) return std::nullopt;
    QStringList parts;
    for (const ModifierName& modifier : kModifierNames)
        if (modifierKeys.contains(modifier.key)) parts << modifier.name;
    parts << QString::number(*code);
    return parts.join(QLatin1Char('-'));
}

std::optional<KeyCombination> KeyCombination::fromPersistentString(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('-'));
    const QString& codeText = parts.back();
    if (codeText.isEmpty()) return std::nullopt;
    for (const QChar c : codeText)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
    bool ok = false;
    const uint code = codeText.toUInt(&ok, 10);
    if (!ok) return std::nullopt;
    const auto key = keyEquivalentFor(code);
    if (!key) return std::nullopt;

    ModifierKeys modifiers;
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        bool known = false;
        for (const ModifierName& modifier : kModifierNames) {
            if (parts[i] != modifier.name) continue;
            if (modifiers.contains(modifier.key)) return std::nullopt;
            modifiers.insert(modifier.key);
            known = true;
        }
        if (!known) return std::nullopt;
    }
    return KeyCombination{modifiers, *key};
}

}  // namespace vantrel
