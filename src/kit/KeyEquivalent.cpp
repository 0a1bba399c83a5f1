#include "kit/KeyEquivalent.h"

#include <QStringList>

namespace vantrel {

std::optional<KeyEquivalent> KeyEquivalent::fromString(const QString& text) {
    const QList<uint> codePoints = text.toUcs4();
    if (codePoints.size() != 1) return std::nullopt;
    return KeyEquivalent(static_cast<char32_t>(codePoints.front()));
}

QString KeyEquivalent::toString() const {
    const char32_t units[] = {m_character};
    return QString::fromUcs4(units, 1);
}

QString KeyEquivalent::displayText() const {
    switch (m_character) {
        case U' ':
            return QStringLiteral("Space");
        case U'\r':
        case U'\n':
            return QStringLiteral("Return");
        case U'\t':
            return QStringLiteral("Tab");
        case U'\x1b':
            return QStringLiteral("Esc");
        case U'\b':
        case U'\x7f':
            return QStringLiteral("Backspace");
        default:
            return toString().toUpper();
    }
}

QString modifierDisplayText(ModifierKeys modifiers) {
    QStringList parts;
    if (modifiers.contains(ModifierKeys::control)) parts << QStringLiteral("Ctrl");
    if (modifiers.contains(ModifierKeys::option)) parts << QStringLiteral("Alt");
    if (modifiers.contains(ModifierKeys::shift)) parts << QStringLiteral("Shift");
    if (modifiers.contains(ModifierKeys::command)) parts << QStringLiteral("Super");
    return parts.join(QLatin1Char('+'));
}

QString KeyboardShortcut::displayText() const {
    const QString mods = modifierDisplayText(modifiers);
    return mods.isEmpty() ? key.displayText() : mods + QLatin1Char('+') + key.displayText();
}

}  // namespace vantrel
