#pragma once

#include "features/snippets/SnippetAliasParser.h"
#include "features/snippets/TextInjectEngine.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>

namespace vantrel {

class KeyboardMonitor;
class SnippetsService;
struct GlobalInputEvent;

// Expands keywords as the user types them anywhere: feeds the desktop's key
// and button presses to the parser, inserts a completed keyword's snippet
// after the injection delay, and puts the keyword back on BackSpace.
class SnippetAliasMonitor {
public:
    struct Options {
        SnippetsService* service = nullptr;
        std::shared_ptr<KeyboardMonitor> keyboard;
        TextInjectEngine::Dependencies injection;
        TextInjectEngine::Mode injectionMode = TextInjectEngine::Mode::automatic;
        std::optional<QChar> triggerCharacter;
        // Whether one of this process's windows has the keyboard: keys typed
        // into the launcher itself are not watched.
        std::function<bool()> ownWindowFocused;
        // The accessed date of a snippet that was expanded.
        std::function<void(const SnippetRecord& snippet)> expanded;
    };

    explicit SnippetAliasMonitor(Options options);
    ~SnippetAliasMonitor();

    // False with the reason (a sentence) when the keyboard cannot be watched.
    bool start(QString* problem = nullptr);
    void stop();
    bool isStarted() const { return m_started; }
    void refreshSnippetRecords();
    // Settings that apply from the next key on (the typing so far is forgotten).
    void setTriggerCharacter(std::optional<QChar> trigger);
    void setInjectionMode(TextInjectEngine::Mode mode);
    std::optional<QChar> triggerCharacter() const { return m_options.triggerCharacter; }
    TextInjectEngine::Mode injectionMode() const { return m_options.injectionMode; }

    const SnippetAliasParser* parser() const { return m_parser.get(); }
    // Feeds one event as if the monitor had seen it.
    void handle(const GlobalInputEvent& event);

private:
    void inject(const SnippetAliasParser::Match& match);
    void revertInject(const SnippetAliasParser::Match& match);
    TextInjectEngine& engine();

    Options m_options;
    bool m_started = false;
    std::unique_ptr<SnippetAliasParser> m_parser;
    std::unique_ptr<TextInjectEngine> m_engine;
    QObject m_context;
    // The pending insertion and what it will replace.
    QTimer m_injectRequest;
    std::optional<SnippetAliasParser::Match> m_pending;
    QString m_pendingSuffix;
    // The last insertion: what was typed and what replaced it.
    struct Inserted {
        SnippetAliasParser::Match match;
        QString text;
        // Where {cursor} left the caret: this many characters before the end.
        qsizetype cursorFromEnd = 0;
    };
    std::optional<Inserted> m_inserted;
};

}  // namespace vantrel
