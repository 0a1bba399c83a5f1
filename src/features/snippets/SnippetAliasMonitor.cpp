#include "features/snippets/SnippetAliasMonitor.h"

#include "features/snippets/SnippetPlaceholders.h"
#include "features/snippets/SnippetsService.h"
#include "kit/Logger.h"
#include "kit/VantrelError.h"
#include "platform/KeyboardMonitor.h"

#include <QGuiApplication>
#include <QClipboard>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Snippets"), QStringLiteral("✂️")});
    return logger;
}

}  // namespace

SnippetAliasMonitor::SnippetAliasMonitor(Options options) : m_options(std::move(options)) {
    m_injectRequest.setSingleShot(true);
    QObject::connect(&m_injectRequest, &QTimer::timeout, &m_context, [this] {
        if (!m_pending) return;
        SnippetAliasParser::Match match = std::move(*m_pending);
        m_pending.reset();
        inject(match);
    });
}

SnippetAliasMonitor::~SnippetAliasMonitor() { stop(); }

bool SnippetAliasMonitor::start(QString* problem) {
    if (m_started) return true;
    if (!m_options.keyboard) {
        // No keyboard to watch in this session: the caller says why.
        if (problem) problem->clear();
        return false;
    }
    QString why;
    if (!m_options.keyboard->start([this](const GlobalInputEvent& event) { handle(event); }, &why)) {
        log().error(QStringLiteral("The keyboard monitor failed to start: ") + why);
        if (problem) *problem = why;
        return false;
    }
    m_started = true;
    m_parser = std::make_unique<SnippetAliasParser>(std::vector<SnippetRecord>{}, m_options.triggerCharacter,
                                                    SnippetTimings::fromRepeatDelay(m_options.keyboard->repeatDelay()));
    refreshSnippetRecords();
    log().info("SnippetAliasMonitor start");
    return true;
}

void SnippetAliasMonitor::stop() {
    if (!m_started) return;
    m_started = false;
    m_injectRequest.stop();
    m_pending.reset();
    if (m_options.keyboard) m_options.keyboard->stop();
    m_parser.reset();
    log().info("SnippetAliasMonitor stop");
}

void SnippetAliasMonitor::refreshSnippetRecords() {
    if (!m_parser || !m_options.service) return;
    try {
        m_parser->setSnippets(m_options.service->withKeywords());
    } catch (const std::exception& failure) {
        log().error(QStringLiteral("Could not fetch snippet records: ") + VantrelError::describe(failure));
    }
}

void SnippetAliasMonitor::setTriggerCharacter(std::optional<QChar> trigger) {
    if (m_options.triggerCharacter == trigger) return;
    m_options.triggerCharacter = trigger;
    m_injectRequest.stop();
    m_pending.reset();
    m_inserted.reset();
    if (!m_parser) return;
    m_parser = std::make_unique<SnippetAliasParser>(m_parser->allSnippets(), trigger, m_parser->timings());
}

void SnippetAliasMonitor::setInjectionMode(TextInjectEngine::Mode mode) {
    if (m_options.injectionMode == mode) return;
    m_options.injectionMode = mode;
    if (m_engine) m_engine->setMode(mode);
}

TextInjectEngine& SnippetAliasMonitor::engine() {
    if (!m_engine) m_engine = std::make_unique<TextInjectEngine>(m_options.injection, m_options.injectionMode);
    return *m_engine;
}

void SnippetAliasMonitor::handle(const GlobalInputEvent& input) {
    if (!m_parser) return;
    if (input.kind == GlobalInputEvent::Kind::button) {
        m_parser->reset();
        m_injectRequest.stop();
        m_pending.reset();
        m_inserted.reset();
        return;
    }
    // Modifiers alone and the first keys of a compose sequence type nothing yet.
    if (input.isModifier || input.composing) return;
    // Typing in the launcher's own window (its search bar, a form) is not
    // typing in another application: nothing there is expanded.
    if (m_options.ownWindowFocused && m_options.ownWindowFocused()) {
        m_parser->reset();
        m_injectRequest.stop();
        m_pending.reset();
        m_inserted.reset();
        return;
    }
    SnippetKeyEvent event;
    event.characters = input.text;
    event.isDelete = input.isBackSpace;
    event.isRepeat = input.isRepeat;
    event.shift = input.shift;
    event.control = input.control;
    event.alt = input.alt;
    event.super = input.super;
    event.timestamp = input.time;
    const SnippetAliasParser::Result result = m_parser->parse(event);
    if (const auto* matched = std::get_if<SnippetAliasParser::Matched>(&result)) {
        m_pending = matched->match;
        m_pendingSuffix.clear();
        m_inserted.reset();
        m_injectRequest.start(int(m_parser->timings().injectionDelay * 1000));
    } else if (const auto* confirmed = std::get_if<SnippetAliasParser::MatchConfirmed>(&result)) {
        // The confirming key reached the application after the keyword: it is
        // removed with it and typed again after the snippet.
        if (m_pending) {
            m_pendingSuffix = confirmed->match.alias.mid(m_pending->alias.size());
            m_pending->alias = confirmed->match.alias;
        }
    } else if (const auto* revert = std::get_if<SnippetAliasParser::RevertMatch>(&result)) {
        revertInject(revert->match);
    } else {
        if (m_pending) {
            // The user typed on before the insertion: the keyword is no longer
            // right before the caret, and BackSpaces would eat the new keys.
            m_injectRequest.stop();
            m_pending.reset();
            m_pendingSuffix.clear();
        }
        // Typing went on: BackSpace no longer reverts the last insertion.
        if (!m_parser->previousMatch()) m_inserted.reset();
    }
}

void SnippetAliasMonitor::inject(const SnippetAliasParser::Match& match) {
    TextInjectEngine& engine = this->engine();
    QString refused;
    const std::optional<TextInjectEngine::Target> target = engine.target(&refused);
    if (!target) {
        m_pendingSuffix.clear();
        log().info(QStringLiteral("Snippet not expanded: ") + refused);
        return;
    }
    SnippetPlaceholderContext context;
    context.clipboardText = [] {
        const QClipboard* clipboard = QGuiApplication::clipboard();
        return clipboard ? clipboard->text() : QString();
    };
    ExpandedSnippet expanded = expandSnippetPlaceholders(match.snippet.text, context);
    expanded.text += m_pendingSuffix;
    if (expanded.cursorFromEnd > 0) expanded.cursorFromEnd += m_pendingSuffix.size();
    m_pendingSuffix.clear();
    try {
        engine.inject(expanded.text, match.alias, *target, expanded.cursorFromEnd);
        m_inserted = Inserted{match, expanded.text, expanded.cursorFromEnd};
    } catch (const std::exception& failure) {
        log().error(QStringLiteral("Snippet injection failed: ") + VantrelError::describe(failure));
        return;
    }
    if (m_options.expanded) m_options.expanded(match.snippet);
}

void SnippetAliasMonitor::revertInject(const SnippetAliasParser::Match& match) {
    if (m_pending) {
        // Not inserted yet: the BackSpace shortened the keyword as typed.
        m_injectRequest.stop();
        m_pending.reset();
        m_pendingSuffix.clear();
        QString alias = match.alias;
        if (m_options.triggerCharacter && alias.startsWith(*m_options.triggerCharacter)) alias.remove(0, 1);
        alias.chop(1);
        m_parser->resumeTyping(alias);
        return;
    }
    if (!m_inserted) return;
    const Inserted inserted = std::move(*m_inserted);
    m_inserted.reset();
    // The BackSpace took the character before the caret: the last one, or,
    // when {cursor} moved the caret back, the one right before it.
    QString shown = inserted.text;
    const qsizetype taken = shown.size() - inserted.cursorFromEnd - 1;
    if (taken >= 0) shown.remove(taken, 1);
    const qsizetype caretBeforeEnd = inserted.cursorFromEnd;
    const int delay = int(m_parser->timings().injectionDelay * 1000);
    QTimer::singleShot(delay, &m_context, [this, shown, match, caretBeforeEnd] {
        TextInjectEngine& engine = this->engine();
        QString refused;
        const std::optional<TextInjectEngine::Target> target = engine.target(&refused);
        if (!target) {
            log().info(QStringLiteral("Snippet not reverted: ") + refused);
            return;
        }
        try {
            engine.inject(match.alias, shown, *target, 0, caretBeforeEnd);
        } catch (const std::exception& failure) {
            log().error(QStringLiteral("Snippet injection failed: ") + VantrelError::describe(failure));
        }
    });
}

}  // namespace vantrel
