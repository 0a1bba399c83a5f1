#pragma once

#include "data/Records.h"

#include <QString>

#include <optional>
#include <variant>
#include <vector>

namespace vantrel {

// One event of the global monitor as the parser sees it. Modifier keys pressed
// on their own are not events (the monitor never feeds them).
struct SnippetKeyEvent {
    enum class Kind { key, mouseDown };
    Kind kind = Kind::key;
    // What the key typed in the active layout (after dead keys and compose);
    // BackSpace types "\b". Empty for keys that type nothing (arrows, F1…).
    QString characters;
    // BackSpace or Delete: both take a character back.
    bool isDelete = false;
    bool isRepeat = false;
    bool shift = false;
    bool control = false;
    bool alt = false;
    bool super = false;
    // Seconds, on the clock of the event source.
    double timestamp = 0;

    static SnippetKeyEvent key(const QString& characters, double timestamp);
    static SnippetKeyEvent backSpace(double timestamp);
    static SnippetKeyEvent mouse(double timestamp);
};

// The timing of expansion, from the key-repeat delay d of the keyboard.
struct SnippetTimings {
    // max(d - 0.1, 0.1): between completing a keyword and inserting; also
    // how long a trailing space or punctuation confirms a match.
    double injectionDelay = 0.4;
    // 2 d: BackSpace within this time after a match reverts it.
    double revertWindow = 1.0;

    static SnippetTimings fromRepeatDelay(double seconds);
};

// Follows the user's typing and finds the keywords of snippets in it.
// A pure state machine: one event in, one result out; it never touches the
// desktop. Keywords match case-sensitively, as typed; a configured trigger
// character must precede them and is part of the text to remove.
class SnippetAliasParser {
public:
    struct Match {
        // The text to remove: the trigger, when there is one, and the keyword.
        QString alias;
        SnippetRecord snippet;
    };
    struct MatchState {
        std::optional<QChar> trigger;
        // Typed so far, without the trigger.
        QString alias;
        // Indexes into allSnippets() whose keyword starts with alias, in their order.
        std::vector<int> snippets;
    };
    struct PreviousMatch {
        Match match;
        bool isConfirmed = false;
        double timestamp = 0;
    };

    struct None {};
    struct PartialMatch {};
    struct Matched {
        Match match;
    };
    struct MatchConfirmed {
        Match match;
    };
    struct RevertMatch {
        Match match;
    };
    using Result = std::variant<None, PartialMatch, Matched, MatchConfirmed, RevertMatch>;

    // Snippets without a keyword are left out.
    explicit SnippetAliasParser(std::vector<SnippetRecord> snippets, std::optional<QChar> triggerCharacter = std::nullopt,
                                SnippetTimings timings = {});

    Result parse(const SnippetKeyEvent& event);
    // Forgets everything typed so far and the previous match.
    void reset();
    // Takes new snippets; the typing state is forgotten.
    void setSnippets(std::vector<SnippetRecord> snippets);

    const std::vector<SnippetRecord>& allSnippets() const { return m_allSnippets; }
    const std::optional<MatchState>& matchState() const { return m_matchState; }
    const std::optional<PreviousMatch>& previousMatch() const { return m_previousMatch; }
    std::optional<QChar> previousCharacter() const { return m_previousCharacter; }
    std::optional<QChar> triggerCharacter() const { return m_triggerCharacter; }
    const SnippetTimings& timings() const { return m_timings; }

    // Continues the typing state as if the user had typed `alias` (without the
    // trigger) and nothing else: used when a pending expansion is cancelled by
    // BackSpace, so that the keyword shortened by one can still be completed.
    void resumeTyping(const QString& alias);

    static bool isConfirmingCharacter(QChar character);

private:
    Result step(const SnippetKeyEvent& event);
    void narrow(MatchState& state) const;
    std::vector<int> everyCandidate() const;

    std::vector<SnippetRecord> m_allSnippets;
    std::optional<QChar> m_triggerCharacter;
    SnippetTimings m_timings;
    std::optional<MatchState> m_matchState;
    std::optional<QChar> m_previousCharacter;
    std::optional<PreviousMatch> m_previousMatch;
};

}  // namespace vantrel
