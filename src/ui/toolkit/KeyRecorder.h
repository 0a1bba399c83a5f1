#pragma once

#include "kit/KeyCombination.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <optional>
#include <variant>

class QKeyEvent;

namespace vantrel {

// A field that records a hotkey. It shows the combination as keycaps
// ("Alt" "Space"); a click (or Return/Space while focused) starts recording,
// the next combination with at least one modifier (or a function key alone)
// is taken, Escape cancels and Backspace/Delete clears. A key that cannot be
// stored (no virtual key code) or a plain key without a modifier is refused
// with a sentence shown in the field.
class KeyRecorder : public QWidget {
    Q_OBJECT

public:
    // What a key press means while recording.
    struct Refusal {
        QString message;
    };
    struct Cancel {};
    struct Clear {};
    // A modifier alone: keep recording, show what is held.
    struct Pending {
        ModifierKeys modifiers;
    };
    using Interpretation = std::variant<KeyCombination, Refusal, Cancel, Clear, Pending>;

    static const QString modifierRequiredMessage;

    explicit KeyRecorder(QWidget* parent = nullptr);

    std::optional<KeyCombination> keyCombination() const { return m_combination; }
    // The stored text form of the combination ("Option-49"); nothing when empty.
    std::optional<QString> persistentString() const;
    // Shows a combination without emitting anything.
    void setKeyCombination(const std::optional<KeyCombination>& combination);
    // Shows the combination a stored text names (empty or unreadable: none).
    void setPersistentString(const QString& text);

    // Whether Backspace/Delete may empty the field (not for the launcher's own hotkey).
    void setClearable(bool clearable) { m_clearable = clearable; }
    bool isClearable() const { return m_clearable; }
    void setPlaceholderText(const QString& text);
    QString placeholderText() const { return m_placeholder; }

    void startRecording();
    void stopRecording();
    bool isRecording() const { return m_recording; }
    // The sentence of the last refused key; empty once something else happened.
    QString message() const { return m_message; }
    // Shows a sentence in the field (for example a validation failure from
    // whoever stores the combination).
    void showMessage(const QString& message);

    // The keycap labels of a combination, modifiers first: {"Ctrl", "Shift", "K"}.
    static QStringList keycapLabels(const KeyCombination& combination);
    static QStringList keycapLabels(ModifierKeys modifiers);
    // The key of a Qt key event as a key equivalent, through the native keysym
    // when the platform gives one, else the Qt key (US layout for the shifted
    // symbols). Nothing for a key the hotkey tables do not know.
    static std::optional<KeyEquivalent> keyEquivalent(const QKeyEvent& event);
    static ModifierKeys modifierKeys(Qt::KeyboardModifiers modifiers);
    // What the recorder does with this key press.
    static Interpretation interpret(const QKeyEvent& event, bool clearable = true);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // A combination was recorded (already shown in the field).
    void recorded(const vantrel::KeyCombination& combination);
    void cleared();
    void cancelled();
    void refused(const QString& message);
    void recordingChanged(bool recording);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool event(QEvent* event) override;

private:
    std::optional<KeyCombination> m_combination;
    ModifierKeys m_heldModifiers;
    QString m_placeholder;
    QString m_message;
    bool m_recording = false;
    bool m_clearable = true;
};

}  // namespace vantrel
