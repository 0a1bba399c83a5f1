#include "features/snippets/TextInjectEngine.h"

#include "kit/VantrelError.h"
#include "platform/KeyboardMonitor.h"

namespace vantrel {

TextInjectEngine::TextInjectEngine(Dependencies dependencies, Mode mode)
    : m_dependencies(std::move(dependencies)), m_mode(mode) {
    m_restore.setSingleShot(true);
    QObject::connect(&m_restore, &QTimer::timeout, &m_context, [this] { restore(); });
}

TextInjectEngine::~TextInjectEngine() = default;

void TextInjectEngine::inject(const QString& text, const QString& replacing, qsizetype cursorFromEnd) {
    if (text.isEmpty() || text == replacing) return;
    KeyboardMonitor* keyboard = m_dependencies.keyboard.get();
    if (!keyboard) throw VantrelError(QStringLiteral("No keyboard to type with"));
    QString problem;
    const int count = int(replacing.toUcs4().size());
    if (!keyboard->press(KeyboardMonitor::Key::backSpace, count, &problem))
        throw VantrelError(QStringLiteral("Could not remove the keyword: ") + problem);
    const bool typed = m_mode == Mode::keyEvent || (m_mode == Mode::automatic && text.size() <= keyEventLimit);
    if (typed) {
        if (!keyboard->type(text, &problem))
            throw VantrelError(QStringLiteral("KeyEventInjector failed to inject text: ") + problem);
    } else {
        paste(text);
    }
    if (cursorFromEnd > 0) keyboard->press(KeyboardMonitor::Key::left, int(cursorFromEnd), &problem);
}

void TextInjectEngine::paste(const QString& text) {
    SystemClipboard* clipboard = m_dependencies.clipboard.get();
    if (!clipboard) throw VantrelError(QStringLiteral("ClipboardInjector failed to copy text to pasteboard: no clipboard"));
    m_restore.stop();
    if (!m_savedItems && !clipboard->ownsSelection()) {
        // What is there now, unless it is an earlier injection of ours.
        m_savedItems = m_dependencies.readClipboard ? m_dependencies.readClipboard() : std::vector<ClipboardFormat>{};
    }
    const std::vector<ClipboardFormat> formats{{QStringLiteral("text/plain"), text.toUtf8()},
                                               {m_dependencies.transientType, QByteArray()},
                                               {QString(injectedType), QByteArray()}};
    if (!clipboard->write(formats))
        throw VantrelError(QStringLiteral("ClipboardInjector failed to copy text to pasteboard: ") +
                           QStringLiteral("another application holds the clipboard"));
    m_restore.start(restoreDelayMs);
    const std::optional<ForeignApplication> target =
        m_dependencies.focusedApplication ? m_dependencies.focusedApplication() : std::nullopt;
    const bool terminal = target && m_dependencies.isTerminal && m_dependencies.isTerminal(*target);
    QString problem;
    if (!m_dependencies.keyboard->press(terminal ? KeyboardMonitor::Key::terminalPaste : KeyboardMonitor::Key::paste, 1,
                                        &problem))
        throw VantrelError(QStringLiteral("ClipboardInjector failed to paste: ") + problem);
}

void TextInjectEngine::restore() {
    std::optional<std::vector<ClipboardFormat>> saved = std::move(m_savedItems);
    m_savedItems.reset();
    SystemClipboard* clipboard = m_dependencies.clipboard.get();
    // The user copied something meanwhile: that stays.
    if (!clipboard || !clipboard->ownsSelection() || !saved || saved->empty()) return;
    std::vector<ClipboardFormat> formats = *saved;
    formats.push_back({m_dependencies.restoredType, QByteArray()});
    clipboard->write(formats);
}

}  // namespace vantrel
