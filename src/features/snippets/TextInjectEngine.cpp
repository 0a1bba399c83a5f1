#include "features/snippets/TextInjectEngine.h"

#include "kit/Logger.h"
#include "kit/VantrelError.h"
#include "platform/KeyboardMonitor.h"

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Snippets"), QStringLiteral("✂️")});
    return logger;
}

}  // namespace

TextInjectEngine::TextInjectEngine(Dependencies dependencies, Mode mode)
    : m_dependencies(std::move(dependencies)), m_mode(mode) {
    m_restore.setSingleShot(true);
    QObject::connect(&m_restore, &QTimer::timeout, &m_context, [this] { restore(); });
}

TextInjectEngine::~TextInjectEngine() = default;

std::optional<TextInjectEngine::Target> TextInjectEngine::target(QString* reason) const {
    Target target;
    target.application = m_dependencies.focusedApplication ? m_dependencies.focusedApplication() : std::nullopt;
    if (!m_dependencies.accessibility) return target;
    std::optional<qint64> pid;
    if (target.application) pid = target.application->pid;
    target.element = m_dependencies.accessibility->focusedElement(pid);
    if (!target.element) return target;
    const auto refuse = [reason](const QString& why) -> std::optional<Target> {
        if (reason) *reason = why;
        return std::nullopt;
    };
    if (target.element->isPassword()) return refuse(QStringLiteral("the focused field is a password field"));
    if (!target.element->isEnabled()) return refuse(QStringLiteral("the focused element is disabled"));
    if (!target.element->isEditableText())
        return refuse(QStringLiteral("the focused element takes no text (") + target.element->role() + QLatin1Char(')'));
    return target;
}

void TextInjectEngine::inject(const QString& text, const QString& replacing, const Target& target,
                              qsizetype cursorFromEnd, qsizetype caretBeforeEnd) {
    if (text.isEmpty() || text == replacing) return;
    KeyboardMonitor* keyboard = m_dependencies.keyboard.get();
    if (!keyboard) throw VantrelError(QStringLiteral("No keyboard to type with"));
    QString problem;
    if (caretBeforeEnd > 0 && !keyboard->press(KeyboardMonitor::Key::right, int(caretBeforeEnd), &problem))
        throw VantrelError(QStringLiteral("Could not move the caret: ") + problem);
    remove(replacing.toUcs4().size(), target);
    const bool typed = m_mode == Mode::keyEvent || (m_mode == Mode::automatic && text.size() <= keyEventLimit);
    if (typed) {
        if (!keyboard->type(text, &problem))
            throw VantrelError(QStringLiteral("KeyEventInjector failed to inject text: ") + problem);
    } else {
        paste(text, target);
    }
    if (cursorFromEnd > 0) keyboard->press(KeyboardMonitor::Key::left, int(cursorFromEnd), &problem);
}

void TextInjectEngine::remove(qsizetype count, const Target& target) {
    KeyboardMonitor* keyboard = m_dependencies.keyboard.get();
    QString problem;
    if (count >= selectionThreshold && target.element) {
        // One BackSpace for the whole selected keyword.
        if (target.element->selectBeforeCaret(int(count), &problem)) {
            if (!keyboard->press(KeyboardMonitor::Key::backSpace, 1, &problem))
                throw VantrelError(QStringLiteral("Could not remove the keyword: ") + problem);
            log().info(QStringLiteral("Removed %1 characters by selecting them").arg(count));
            return;
        }
        log().warning(QStringLiteral("TextInjectEngine failed to set selected text: ") + problem);
    }
    if (!keyboard->press(KeyboardMonitor::Key::backSpace, int(count), &problem))
        throw VantrelError(QStringLiteral("Could not remove the keyword: ") + problem);
}

void TextInjectEngine::paste(const QString& text, const Target& target) {
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
    const bool terminal =
        target.application && m_dependencies.isTerminal && m_dependencies.isTerminal(*target.application);
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
