#pragma once

#include "platform/AccessibleFocus.h"
#include "platform/SystemClipboard.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vantrel {

class KeyboardMonitor;

// Puts text into the focused application in place of what the user typed:
// BackSpaces remove the typed text, then the new text is typed as key
// presses or, when long, pasted through the clipboard, whose earlier content
// is put back afterwards.
class TextInjectEngine {
public:
    enum class Mode { automatic, clipboard, keyEvent };
    // Texts of at most this many characters are typed in automatic mode.
    static constexpr qsizetype keyEventLimit = 120;
    static constexpr int restoreDelayMs = 300;
    // Keywords of at least this many characters are selected and removed
    // with one BackSpace where the focused element lets its text be selected.
    static constexpr int selectionThreshold = 51;
    static constexpr QLatin1String injectedType{"org.vantrel.clipboardInjected"};

    struct Dependencies {
        std::shared_ptr<KeyboardMonitor> keyboard;
        std::shared_ptr<SystemClipboard> clipboard;
        // Every format on the clipboard now (empty when nothing is).
        std::function<std::vector<ClipboardFormat>()> readClipboard;
        // The application that has the focus, for its paste keys.
        std::function<std::optional<ForeignApplication>()> focusedApplication;
        std::function<bool(const ForeignApplication&)> isTerminal;
        // Marker types other clipboard readers skip.
        QString transientType;
        QString restoredType;
        // The focused element of the application typed into (may be null:
        // then no element is ever known).
        std::shared_ptr<AccessibleFocus> accessibility;
    };

    // Where typed text goes: the focused window's application and, when the
    // accessibility bus knows it, its focused element.
    struct Target {
        std::optional<ForeignApplication> application;
        std::shared_ptr<FocusedElement> element;
    };

    TextInjectEngine(Dependencies dependencies, Mode mode);
    ~TextInjectEngine();

    // The target of an insertion now, or nothing (and why, in *reason) when
    // the focused element must not be typed into: a password field, a
    // disabled element, or one that takes no text. An application whose
    // focused element is unknown may be typed into.
    std::optional<Target> target(QString* reason = nullptr) const;

    // Removes `replacing` before the caret and puts `text` in its place; the
    // caret then ends `cursorFromEnd` characters before the end of `text`.
    // With `caretBeforeEnd`, the caret is first moved right by that many
    // characters (to the end of an earlier insertion that left it inside).
    // Throws VantrelError when a step fails.
    void inject(const QString& text, const QString& replacing, const Target& target, qsizetype cursorFromEnd = 0,
                qsizetype caretBeforeEnd = 0);

    // A pending clipboard restore still happens.
    void setMode(Mode mode) { m_mode = mode; }
    Mode mode() const { return m_mode; }

    bool restorePending() const { return m_restore.isActive(); }

private:
    void remove(qsizetype count, const Target& target);
    void paste(const QString& text, const Target& target);
    void restore();

    Dependencies m_dependencies;
    Mode m_mode;
    QObject m_context;
    QTimer m_restore;
    std::optional<std::vector<ClipboardFormat>> m_savedItems;
};

}  // namespace vantrel
