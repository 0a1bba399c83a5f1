#pragma once

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
    };

    TextInjectEngine(Dependencies dependencies, Mode mode);
    ~TextInjectEngine();

    // Throws VantrelError when a step fails.
    void inject(const QString& text, const QString& replacing, qsizetype cursorFromEnd = 0);

    bool restorePending() const { return m_restore.isActive(); }

private:
    void paste(const QString& text);
    void restore();

    Dependencies m_dependencies;
    Mode m_mode;
    QObject m_context;
    QTimer m_restore;
    std::optional<std::vector<ClipboardFormat>> m_savedItems;
};

}  // namespace vantrel
