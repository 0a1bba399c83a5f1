#include "ui/toolkit/KeyRecorder.h"

#include "platform/Platform.h"
#include "ui/toolkit/Theme.h"

#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <array>
#include <utility>

namespace vantrel {

namespace {

constexpr int kHorizontalPadding = 8;
constexpr int kKeycapSpacing = 4;
constexpr int kKeycapPadding = 6;
constexpr int kClearButtonSize = 14;

using QtKey = std::pair<int, char32_t>;

// Keys whose Qt code is not their character.
constexpr std::array kNamedKeys{
    QtKey{Qt::Key_Space, U' '},
    QtKey{Qt::Key_Return, U'\r'},
    QtKey{Qt::Key_Enter, U'\r'},
    QtKey{Qt::Key_Tab, U'\t'},
    QtKey{Qt::Key_Backtab, U'\t'},
    QtKey{Qt::Key_Backspace, U'\x7f'},
    QtKey{Qt::Key_Escape, U'\x1b'},
    QtKey{Qt::Key_Up, FunctionKey::upArrow},
    QtKey{Qt::Key_Down, FunctionKey::downArrow},
    QtKey{Qt::Key_Left, FunctionKey::leftArrow},
    QtKey{Qt::Key_Right, FunctionKey::rightArrow},
    QtKey{Qt::Key_Delete, FunctionKey::forwardDelete},
    QtKey{Qt::Key_Home, FunctionKey::home},
    QtKey{Qt::Key_End, FunctionKey::end},
    QtKey{Qt::Key_PageUp, FunctionKey::pageUp},
    QtKey{Qt::Key_PageDown, FunctionKey::pageDown},
    QtKey{Qt::Key_Help, FunctionKey::help},
    QtKey{Qt::Key_Insert, FunctionKey::help},
    // The shifted symbols of the US layout stand for their key.
    QtKey{Qt::Key_Exclam, U'1'},
    QtKey{Qt::Key_At, U'2'},
    QtKey{Qt::Key_NumberSign, U'3'},
    QtKey{Qt::Key_Dollar, U'4'},
    QtKey{Qt::Key_Percent, U'5'},
    QtKey{Qt::Key_AsciiCircum, U'6'},
    QtKey{Qt::Key_Ampersand, U'7'},
    QtKey{Qt::Key_Asterisk, U'8'},
    QtKey{Qt::Key_ParenLeft, U'9'},
    QtKey{Qt::Key_ParenRight, U'0'},
    QtKey{Qt::Key_Underscore, U'-'},
    QtKey{Qt::Key_Plus, U'='},
    QtKey{Qt::Key_BraceLeft, U'['},
    QtKey{Qt::Key_BraceRight, U']'},
    QtKey{Qt::Key_Colon, U';'},
    QtKey{Qt::Key_QuoteDbl, U'\''},
    QtKey{Qt::Key_Less, U','},
    QtKey{Qt::Key_Greater, U'.'},
    QtKey{Qt::Key_Question, U'/'},
    QtKey{Qt::Key_Bar, U'\\'},
    QtKey{Qt::Key_AsciiTilde, U'`'},
};

bool isModifierKey(int key) {
    switch (key) {
        case Qt::Key_Control:
        case Qt::Key_Shift:
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
        case Qt::Key_Meta:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
        case Qt::Key_Hyper_L:
        case Qt::Key_Hyper_R:
        case Qt::Key_CapsLock:
        case Qt::Key_NumLock:
        case Qt::Key_ScrollLock:
        case Qt::Key_Mode_switch:
            return true;
        default:
            return false;
    }
}

bool isFunctionKey(KeyEquivalent key) {
    return key.character() >= FunctionKey::f1 && key.character() <= FunctionKey::f1 + 11;
}

// How a key is written on its keycap; the keys without a glyph of their own
// (function keys, arrows, the navigation block) by their name.
QString keycapLabel(KeyEquivalent key) {
    const char32_t c = key.character();
    if (c >= FunctionKey::f1 && c <= FunctionKey::f1 + 11)
        return QStringLiteral("F%1").arg(int(c - FunctionKey::f1) + 1);
    switch (c) {
        case FunctionKey::upArrow:
            return QStringLiteral("↑");
        case FunctionKey::downArrow:
            return QStringLiteral("↓");
        case FunctionKey::leftArrow:
            return QStringLiteral("←");
        case FunctionKey::rightArrow:
            return QStringLiteral("→");
        case FunctionKey::forwardDelete:
            return QStringLiteral("Del");
        case FunctionKey::home:
            return QStringLiteral("Home");
        case FunctionKey::end:
            return QStringLiteral("End");
        case FunctionKey::pageUp:
            return QStringLiteral("PgUp");
        case FunctionKey::pageDown:
            return QStringLiteral("PgDn");
        case FunctionKey::help:
            return QStringLiteral("Ins");
        default:
            return key.displayText();
    }
}

QString keyName(const QKeyEvent& event) {
    QString name = QKeySequence(event.key()).toString(QKeySequence::NativeText);
    if (name.isEmpty() || event.key() == Qt::Key_unknown) name = event.text().trimmed();
    return name.isEmpty() ? QStringLiteral("This key") : name;
}

}  // namespace

const QString KeyRecorder::modifierRequiredMessage =
    QStringLiteral("At least one modifier should be included into a hotkey.");

KeyRecorder::KeyRecorder(QWidget* parent) : QWidget(parent), m_placeholder(QStringLiteral("Record Hotkey")) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(QStringLiteral("Hotkey"));
}

std::optional<QString> KeyRecorder::persistentString() const {
    if (!m_combination) return std::nullopt;
    return m_combination->persistentString();
}

void KeyRecorder::setKeyCombination(const std::optional<KeyCombination>& combination) {
    m_combination = combination;
    m_message.clear();
    update();
}

void KeyRecorder::setPersistentString(const QString& text) {
    setKeyCombination(text.isEmpty() ? std::nullopt : KeyCombination::fromPersistentString(text));
}

void KeyRecorder::setPlaceholderText(const QString& text) {
    m_placeholder = text;
    update();
}

void KeyRecorder::startRecording() {
    if (!hasFocus()) setFocus(Qt::OtherFocusReason);
    m_heldModifiers = ModifierKeys();
    m_message.clear();
    if (!m_recording) {
        m_recording = true;
        emit recordingChanged(true);
    }
    update();
}

void KeyRecorder::stopRecording() {
    m_heldModifiers = ModifierKeys();
    if (m_recording) {
        m_recording = false;
        emit recordingChanged(false);
    }
    update();
}

void KeyRecorder::showMessage(const QString& message) {
    m_message = message;
    update();
}

QStringList KeyRecorder::keycapLabels(ModifierKeys modifiers) {
    const QString text = modifierDisplayText(modifiers);
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('+'));
}

QStringList KeyRecorder::keycapLabels(const KeyCombination& combination) {
    QStringList labels = keycapLabels(combination.modifierKeys);
    labels << keycapLabel(combination.keyEquivalent);
    return labels;
}

ModifierKeys KeyRecorder::modifierKeys(Qt::KeyboardModifiers modifiers) {
    ModifierKeys keys;
    if (modifiers & Qt::ControlModifier) keys.insert(ModifierKeys::control);
    if (modifiers & Qt::AltModifier) keys.insert(ModifierKeys::option);
    if (modifiers & Qt::ShiftModifier) keys.insert(ModifierKeys::shift);
    if (modifiers & Qt::MetaModifier) keys.insert(ModifierKeys::command);
    return keys;
}

std::optional<KeyEquivalent> KeyRecorder::keyEquivalent(const QKeyEvent& event) {
    if (event.nativeVirtualKey() != 0) {
        if (const auto& virtualKeyCode = platform().virtualKeyCodeForNativeKey)
            if (const auto code = virtualKeyCode(event.nativeVirtualKey()))
                if (const auto key = KeyCombination::keyEquivalentFor(*code)) return key;
    }
    const int key = event.key();
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return KeyEquivalent(U'a' + char32_t(key - Qt::Key_A));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return KeyEquivalent(FunctionKey::f1 + char32_t(key - Qt::Key_F1));
    for (const auto& [qtKey, character] : kNamedKeys)
        if (qtKey == key) return KeyEquivalent(character);
    // Digits and the unshifted punctuation are their own character.
    if (key > 0x20 && key < 0x7f) {
        const KeyEquivalent candidate{static_cast<char32_t>(key)};
        if (KeyCombination::virtualKeyCode(candidate)) return candidate;
    }
    return std::nullopt;
}

KeyRecorder::Interpretation KeyRecorder::interpret(const QKeyEvent& event, bool clearable) {
    const ModifierKeys modifiers = modifierKeys(event.modifiers());
    const int key = event.key();
    if (isModifierKey(key)) return Pending{modifiers};
    if (modifiers.isEmpty()) {
        if (key == Qt::Key_Escape) return Cancel{};
        if (clearable && (key == Qt::Key_Backspace || key == Qt::Key_Delete)) return Clear{};
    }
    const auto equivalent = keyEquivalent(event);
    if (!equivalent || !KeyCombination::virtualKeyCode(*equivalent))
        return Refusal{keyName(event) + QStringLiteral(" can't be part of a hotkey")};
    if (modifiers.isEmpty() && !isFunctionKey(*equivalent)) return Refusal{modifierRequiredMessage};
    return KeyCombination{modifiers, *equivalent};
}

bool KeyRecorder::event(QEvent* event) {
    if (m_recording) {
        // While recording every key belongs to the field: no shortcuts, no
        // focus change on Tab.
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();
            return true;
        }
        if (event->type() == QEvent::KeyPress) {
            keyPressEvent(static_cast<QKeyEvent*>(event));
            return true;
        }
    }
    return QWidget::event(event);
}

void KeyRecorder::keyPressEvent(QKeyEvent* event) {
    if (!m_recording) {
        const int key = event->key();
        if (event->modifiers() == Qt::NoModifier &&
            (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter)) {
            startRecording();
            event->accept();
            return;
        }
        if (m_clearable && event->modifiers() == Qt::NoModifier &&
            (key == Qt::Key_Backspace || key == Qt::Key_Delete) && m_combination) {
            m_combination.reset();
            m_message.clear();
            update();
            emit cleared();
            event->accept();
            return;
        }
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    const Interpretation result = interpret(*event, m_clearable);
    if (const auto* combination = std::get_if<KeyCombination>(&result)) {
        m_combination = *combination;
        m_message.clear();
        stopRecording();
        emit recorded(*combination);
    } else if (const auto* refusal = std::get_if<Refusal>(&result)) {
        m_heldModifiers = ModifierKeys();
        m_message = refusal->message;
        update();
        emit refused(refusal->message);
    } else if (std::holds_alternative<Cancel>(result)) {
        m_message.clear();
        stopRecording();
        emit cancelled();
    } else if (std::holds_alternative<Clear>(result)) {
        m_combination.reset();
        m_message.clear();
        stopRecording();
        emit cleared();
    } else if (const auto* pending = std::get_if<Pending>(&result)) {
        m_heldModifiers = pending->modifiers;
        m_message.clear();
        update();
    }
}

void KeyRecorder::keyReleaseEvent(QKeyEvent* event) {
    if (m_recording) {
        // The event's modifiers still include the released key.
        ModifierKeys held = modifierKeys(event->modifiers());
        switch (event->key()) {
            case Qt::Key_Control:
                held.remove(ModifierKeys::control);
                break;
            case Qt::Key_Alt:
                held.remove(ModifierKeys::option);
                break;
            case Qt::Key_Shift:
                held.remove(ModifierKeys::shift);
                break;
            case Qt::Key_Meta:
            case Qt::Key_Super_L:
            case Qt::Key_Super_R:
                held.remove(ModifierKeys::command);
                break;
            default:
                break;
        }
        m_heldModifiers = held;
        update();
        event->accept();
        return;
    }
    QWidget::keyReleaseEvent(event);
}

void KeyRecorder::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QRect clearRect(width() - kHorizontalPadding - kClearButtonSize, (height() - kClearButtonSize) / 2,
                          kClearButtonSize, kClearButtonSize);
    if (!m_recording && m_clearable && m_combination && clearRect.adjusted(-3, -3, 3, 3).contains(event->pos())) {
        m_combination.reset();
        m_message.clear();
        update();
        emit cleared();
        return;
    }
    if (m_recording) {
        m_message.clear();
        stopRecording();
        emit cancelled();
    } else {
        startRecording();
    }
    event->accept();
}

void KeyRecorder::focusOutEvent(QFocusEvent* event) {
    if (m_recording) {
        stopRecording();
        emit cancelled();
    }
    QWidget::focusOutEvent(event);
}

QSize KeyRecorder::sizeHint() const {
    const QFontMetrics metrics(Theme::current().baseFont);
    return {180, metrics.height() + 14};
}

QSize KeyRecorder::minimumSizeHint() const {
    const QFontMetrics metrics(Theme::current().baseFont);
    return {90, metrics.height() + 10};
}

void KeyRecorder::paintEvent(QPaintEvent* /*event*/) {
    const Theme& theme = Theme::current();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const bool active = m_recording || hasFocus();
    painter.setPen(QPen(m_recording ? theme.accent : (active ? theme.accent.lighter(130) : theme.fieldBorder),
                        m_recording ? 1.5 : 1.0));
    painter.setBrush(theme.fieldBackground);
    painter.drawRoundedRect(frame, 6, 6);

    QRect content = rect().adjusted(kHorizontalPadding, 0, -kHorizontalPadding, 0);
    const QFont textFont = theme.baseFont;

    if (!m_message.isEmpty()) {
        painter.setFont(theme.smallFont);
        painter.setPen(theme.failure);
        const QString text = QFontMetrics(theme.smallFont).elidedText(m_message, Qt::ElideRight, content.width());
        painter.drawText(content, Qt::AlignVCenter | Qt::AlignLeft, text);
        return;
    }

    QStringList caps;
    QString trailing;
    if (m_recording) {
        caps = keycapLabels(m_heldModifiers);
        trailing = caps.isEmpty() ? QStringLiteral("Press a hotkey…") : QStringLiteral("…");
    } else if (m_combination) {
        caps = keycapLabels(*m_combination);
    } else {
        trailing = m_placeholder;
    }

    const QFontMetrics capMetrics(theme.smallFont);
    const int capHeight = std::min(capMetrics.height() + 6, height() - 6);
    int x = content.left();
    painter.setFont(theme.smallFont);
    for (const QString& label : caps) {
        const int capWidth = std::max(capMetrics.horizontalAdvance(label) + 2 * kKeycapPadding, capHeight);
        const QRectF cap(x, (height() - capHeight) / 2.0, capWidth, capHeight);
        painter.setPen(Qt::NoPen);
        painter.setBrush(theme.keycapBackground);
        painter.drawRoundedRect(cap, 4, 4);
        painter.setPen(theme.keycapText);
        painter.drawText(cap, Qt::AlignCenter, label);
        x += capWidth + kKeycapSpacing;
    }
    if (!trailing.isEmpty()) {
        painter.setFont(textFont);
        painter.setPen(m_recording ? theme.secondaryText : theme.placeholderText);
        const QRect textRect(x, 0, content.right() - x, height());
        painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft,
                         QFontMetrics(textFont).elidedText(trailing, Qt::ElideRight, textRect.width()));
    }

    if (!m_recording && m_clearable && m_combination) {
        const QRectF clearRect(width() - kHorizontalPadding - kClearButtonSize, (height() - kClearButtonSize) / 2.0,
                               kClearButtonSize, kClearButtonSize);
        painter.setPen(Qt::NoPen);
        painter.setBrush(theme.tertiaryText);
        painter.drawEllipse(clearRect);
        painter.setPen(QPen(theme.fieldBackground, 1.5, Qt::SolidLine, Qt::RoundCap));
        const QRectF cross = clearRect.adjusted(4.5, 4.5, -4.5, -4.5);
        painter.drawLine(cross.topLeft(), cross.bottomRight());
        painter.drawLine(cross.topRight(), cross.bottomLeft());
    }
}

}  // namespace vantrel
