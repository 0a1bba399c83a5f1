#include "platform/shortcuts/ShortcutKeys.h"

#include <QStringList>
#include <Qt>

#include <array>

namespace vantrel::shortcutkeys {

namespace {

struct NamedKey {
    char32_t character;
    const char* name;  // the X keysym name GTK and the portal use
    int qt;
};

// Every key the stored hotkey form can hold (letters and digits are handled
// on their own).
const std::array kNamedKeys{
    NamedKey{U' ', "space", Qt::Key_Space},
    NamedKey{U'\r', "Return", Qt::Key_Return},
    NamedKey{U'\t', "Tab", Qt::Key_Tab},
    NamedKey{U'\x1b', "Escape", Qt::Key_Escape},
    NamedKey{U'\x7f', "BackSpace", Qt::Key_Backspace},
    NamedKey{U'-', "minus", Qt::Key_Minus},
    NamedKey{U'=', "equal", Qt::Key_Equal},
    NamedKey{U'[', "bracketleft", Qt::Key_BracketLeft},
    NamedKey{U']', "bracketright", Qt::Key_BracketRight},
    NamedKey{U';', "semicolon", Qt::Key_Semicolon},
    NamedKey{U'\'', "apostrophe", Qt::Key_Apostrophe},
    NamedKey{U',', "comma", Qt::Key_Comma},
    NamedKey{U'.', "period", Qt::Key_Period},
    NamedKey{U'/', "slash", Qt::Key_Slash},
    NamedKey{U'\\', "backslash", Qt::Key_Backslash},
    NamedKey{U'`', "grave", Qt::Key_QuoteLeft},
    NamedKey{FunctionKey::upArrow, "Up", Qt::Key_Up},
    NamedKey{FunctionKey::downArrow, "Down", Qt::Key_Down},
    NamedKey{FunctionKey::leftArrow, "Left", Qt::Key_Left},
    NamedKey{FunctionKey::rightArrow, "Right", Qt::Key_Right},
    NamedKey{FunctionKey::forwardDelete, "Delete", Qt::Key_Delete},
    NamedKey{FunctionKey::home, "Home", Qt::Key_Home},
    NamedKey{FunctionKey::end, "End", Qt::Key_End},
    NamedKey{FunctionKey::pageUp, "Page_Up", Qt::Key_PageUp},
    NamedKey{FunctionKey::pageDown, "Page_Down", Qt::Key_PageDown},
    NamedKey{FunctionKey::help, "Insert", Qt::Key_Insert},
};

char32_t normalCharacter(char32_t c) {
    if (c == U'\b') return U'\x7f';
    if (c == U'\n' || c == 0x03) return U'\r';
    if (c >= U'A' && c <= U'Z') return c - U'A' + U'a';
    return c;
}

std::optional<QString> keyName(KeyEquivalent key) {
    const char32_t c = normalCharacter(key.character());
    if ((c >= U'a' && c <= U'z') || (c >= U'0' && c <= U'9')) return QString(QChar(char16_t(c)));
    if (c >= FunctionKey::f1 && c <= FunctionKey::f1 + 11) return QStringLiteral("F%1").arg(int(c - FunctionKey::f1) + 1);
    for (const NamedKey& named : kNamedKeys)
        if (named.character == c) return QString::fromLatin1(named.name);
    return std::nullopt;
}

std::optional<KeyEquivalent> keyNamed(const QString& name) {
    if (name.size() == 1) {
        const QChar c = name.at(0).toLower();
        if ((c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('0') && c <= QLatin1Char('9')))
            return KeyEquivalent(c.unicode());
    }
    if (name.size() >= 2 && (name.front() == QLatin1Char('F') || name.front() == QLatin1Char('f'))) {
        bool ok = false;
        const int number = name.mid(1).toInt(&ok);
        if (ok && number >= 1 && number <= 12) return KeyEquivalent(FunctionKey::f1 + char32_t(number - 1));
    }
    for (const NamedKey& named : kNamedKeys)
        if (name.compare(QLatin1String(named.name), Qt::CaseInsensitive) == 0) return KeyEquivalent(named.character);
    return std::nullopt;
}

// The modifiers and key of an accelerator, or nothing.
std::optional<KeyCombination> parseAccelerator(const QString& text) {
    ModifierKeys modifiers;
    int at = 0;
    while (at < text.size() && text.at(at) == QLatin1Char('<')) {
        const int close = text.indexOf(QLatin1Char('>'), at);
        if (close < 0) return std::nullopt;
        const QString name = text.mid(at + 1, close - at - 1).toLower();
        if (name == QLatin1String("control") || name == QLatin1String("ctrl") || name == QLatin1String("ctl") ||
            name == QLatin1String("primary"))
            modifiers.insert(ModifierKeys::control);
        else if (name == QLatin1String("alt") || name == QLatin1String("mod1"))
            modifiers.insert(ModifierKeys::option);
        else if (name == QLatin1String("shift") || name == QLatin1String("shft"))
            modifiers.insert(ModifierKeys::shift);
        else if (name == QLatin1String("super") || name == QLatin1String("mod4"))
            modifiers.insert(ModifierKeys::command);
        else
            return std::nullopt;
        at = close + 1;
    }
    const auto key = keyNamed(text.mid(at));
    if (!key) return std::nullopt;
    return KeyCombination{modifiers, *key};
}

}  // namespace

std::optional<QString> gtkAccelerator(const KeyCombination& combination) {
    const auto key = keyName(combination.keyEquivalent);
    if (!key) return std::nullopt;
    QString text;
    const ModifierKeys modifiers = combination.modifierKeys;
    if (modifiers.contains(ModifierKeys::control)) text += QLatin1String("<Control>");
    if (modifiers.contains(ModifierKeys::option)) text += QLatin1String("<Alt>");
    if (modifiers.contains(ModifierKeys::shift)) text += QLatin1String("<Shift>");
    if (modifiers.contains(ModifierKeys::command)) text += QLatin1String("<Super>");
    return text + *key;
}

std::optional<KeyCombination> fromGtkAccelerator(const QString& accelerator) {
    return parseAccelerator(accelerator.trimmed());
}

bool sameGtkAccelerator(const QString& a, const QString& b) {
    const auto first = parseAccelerator(a.trimmed());
    const auto second = parseAccelerator(b.trimmed());
    if (!first || !second) return false;
    return first->modifierKeys == second->modifierKeys &&
           normalCharacter(first->keyEquivalent.character()) == normalCharacter(second->keyEquivalent.character());
}

std::optional<int> qtKey(const KeyCombination& combination) {
    const char32_t c = normalCharacter(combination.keyEquivalent.character());
    int key = 0;
    if (c >= U'a' && c <= U'z')
        key = Qt::Key_A + int(c - U'a');
    else if (c >= U'0' && c <= U'9')
        key = Qt::Key_0 + int(c - U'0');
    else if (c >= FunctionKey::f1 && c <= FunctionKey::f1 + 11)
        key = Qt::Key_F1 + int(c - FunctionKey::f1);
    else
        for (const NamedKey& named : kNamedKeys)
            if (named.character == c) key = named.qt;
    if (key == 0) return std::nullopt;
    const ModifierKeys modifiers = combination.modifierKeys;
    if (modifiers.contains(ModifierKeys::control)) key |= int(Qt::ControlModifier);
    if (modifiers.contains(ModifierKeys::option)) key |= int(Qt::AltModifier);
    if (modifiers.contains(ModifierKeys::shift)) key |= int(Qt::ShiftModifier);
    if (modifiers.contains(ModifierKeys::command)) key |= int(Qt::MetaModifier);
    return key;
}

std::optional<KeyCombination> fromQtKey(int combined) {
    ModifierKeys modifiers;
    if (combined & int(Qt::ControlModifier)) modifiers.insert(ModifierKeys::control);
    if (combined & int(Qt::AltModifier)) modifiers.insert(ModifierKeys::option);
    if (combined & int(Qt::ShiftModifier)) modifiers.insert(ModifierKeys::shift);
    if (combined & int(Qt::MetaModifier)) modifiers.insert(ModifierKeys::command);
    const int key = combined & ~int(Qt::KeyboardModifierMask);
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return KeyCombination{modifiers, KeyEquivalent(U'a' + char32_t(key - Qt::Key_A))};
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return KeyCombination{modifiers, KeyEquivalent(U'0' + char32_t(key - Qt::Key_0))};
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
        return KeyCombination{modifiers, KeyEquivalent(FunctionKey::f1 + char32_t(key - Qt::Key_F1))};
    for (const NamedKey& named : kNamedKeys)
        if (named.qt == key) return KeyCombination{modifiers, KeyEquivalent(named.character)};
    return std::nullopt;
}

std::optional<QString> portalTrigger(const KeyCombination& combination) {
    const auto key = keyName(combination.keyEquivalent);
    if (!key) return std::nullopt;
    QStringList parts;
    const ModifierKeys modifiers = combination.modifierKeys;
    if (modifiers.contains(ModifierKeys::control)) parts << QStringLiteral("CTRL");
    if (modifiers.contains(ModifierKeys::option)) parts << QStringLiteral("ALT");
    if (modifiers.contains(ModifierKeys::shift)) parts << QStringLiteral("SHIFT");
    if (modifiers.contains(ModifierKeys::command)) parts << QStringLiteral("LOGO");
    parts << *key;
    return parts.join(QLatin1Char('+'));
}

}  // namespace vantrel::shortcutkeys
