#include "features/snippets/SnippetAliasParser.h"

#include <algorithm>

namespace vantrel {

SnippetKeyEvent SnippetKeyEvent::key(const QString& characters, double timestamp) {
    SnippetKeyEvent event;
    event.characters = characters;
    event.timestamp = timestamp;
    return event;
}

SnippetKeyEvent SnippetKeyEvent::backSpace(double timestamp) {
    SnippetKeyEvent event = key(QStringLiteral("\b"), timestamp);
    event.isDelete = true;
    return event;
}

SnippetKeyEvent SnippetKeyEvent::mouse(double timestamp) {
    SnippetKeyEvent event;
    event.kind = Kind::mouseDown;
    event.timestamp = timestamp;
    return event;
}

SnippetTimings SnippetTimings::fromRepeatDelay(double seconds) {
    SnippetTimings timings;
    timings.injectionDelay = std::max(seconds - 0.1, 0.1);
    timings.revertWindow = 2 * seconds;
    return timings;
}

SnippetAliasParser::SnippetAliasParser(std::vector<SnippetRecord> snippets, std::optional<QChar> triggerCharacter,
                                       SnippetTimings timings)
    : m_triggerCharacter(triggerCharacter), m_timings(timings) {
    setSnippets(std::move(snippets));
}

void SnippetAliasParser::setSnippets(std::vector<SnippetRecord> snippets) {
    snippets.erase(std::remove_if(snippets.begin(), snippets.end(),
                                  [](const SnippetRecord& record) { return !record.alias || record.alias->isEmpty(); }),
                   snippets.end());
    m_allSnippets = std::move(snippets);
    reset();
}

void SnippetAliasParser::reset() {
    m_matchState.reset();
    m_previousCharacter.reset();
    m_previousMatch.reset();
}

bool SnippetAliasParser::isConfirmingCharacter(QChar character) {
    const char16_t code = character.unicode();
    if ((code >= 0x0A && code <= 0x0D) || code == 0x2028 || code == 0x2029 || code == 0x85) return true;
    return character.isSpace() || character.isPunct();
}

std::vector<int> SnippetAliasParser::everyCandidate() const {
    std::vector<int> all(m_allSnippets.size());
    for (size_t i = 0; i < all.size(); ++i) all[i] = int(i);
    return all;
}

void SnippetAliasParser::narrow(MatchState& state) const {
    auto& candidates = state.snippets;
    candidates.erase(std::remove_if(candidates.begin(), candidates.end(),
                                    [&](int index) { return !m_allSnippets[size_t(index)].alias->startsWith(state.alias); }),
                     candidates.end());
}

void SnippetAliasParser::resumeTyping(const QString& alias) {
    m_previousMatch.reset();
    if (alias.isEmpty() && !m_triggerCharacter) {
        m_matchState.reset();
        return;
    }
    MatchState state{m_triggerCharacter, alias, everyCandidate()};
    narrow(state);
    if (state.snippets.empty()) {
        m_matchState.reset();
    } else {
        m_matchState = std::move(state);
    }
    if (!alias.isEmpty()) {
        m_previousCharacter = alias.back();
    } else {
        m_previousCharacter = m_triggerCharacter;
    }
}

SnippetAliasParser::Result SnippetAliasParser::parse(const SnippetKeyEvent& event) {
    if (event.kind == SnippetKeyEvent::Kind::mouseDown || event.characters.isEmpty() || event.isRepeat) {
        reset();
        return None{};
    }
    if (m_previousMatch && event.timestamp > m_previousMatch->timestamp + m_timings.revertWindow) m_previousMatch.reset();

    // Chords never type into a keyword: Super always, Ctrl and Alt unless they
    // hold BackSpace (Ctrl+BackSpace still takes text back).
    if (event.super || ((event.control || event.alt) && !event.isDelete)) {
        m_previousCharacter.reset();
        if (m_matchState) return PartialMatch{};
        return None{};
    }

    Result result = step(event);
    if (std::holds_alternative<Matched>(result)) {
        m_previousCharacter.reset();
    } else {
        m_previousCharacter = event.characters.front();
    }
    return result;
}

SnippetAliasParser::Result SnippetAliasParser::step(const SnippetKeyEvent& event) {
    if (m_previousMatch) {
        PreviousMatch& previous = *m_previousMatch;
        if (event.isDelete && event.timestamp <= previous.timestamp + m_timings.revertWindow) {
            Match match = previous.match;
            m_matchState.reset();
            m_previousMatch.reset();
            return RevertMatch{std::move(match)};
        }
        if (!previous.isConfirmed && event.timestamp <= previous.timestamp + m_timings.injectionDelay) {
            const QChar typed = event.characters.front();
            if (!event.isDelete && isConfirmingCharacter(typed) && !(m_triggerCharacter && typed == *m_triggerCharacter)) {
                previous.isConfirmed = true;
                previous.timestamp = event.timestamp;
                previous.match.alias += event.characters;
                return MatchConfirmed{previous.match};
            }
        }
    }
    m_previousMatch.reset();

    if (!m_matchState) {
        if (m_triggerCharacter) {
            if (event.isDelete || event.characters != QString(*m_triggerCharacter)) return None{};
            m_matchState = MatchState{m_triggerCharacter, QString(), everyCandidate()};
        } else {
            if (m_previousCharacter && (m_previousCharacter->isLetter() || m_previousCharacter->isDigit()))
                return None{};
            if (event.isDelete) return None{};
            m_matchState = MatchState{std::nullopt, event.characters, everyCandidate()};
        }
    } else if (event.isDelete) {
        m_matchState->alias.chop(1);
        if (m_matchState->alias.isEmpty()) {
            m_matchState.reset();
            return None{};
        }
        // A shorter alias may match snippets dropped earlier.
        m_matchState->snippets = everyCandidate();
    } else {
        m_matchState->alias += event.characters;
    }

    narrow(*m_matchState);
    if (m_matchState->snippets.empty()) {
        m_matchState.reset();
        return None{};
    }

    for (int index : m_matchState->snippets) {
        const SnippetRecord& candidate = m_allSnippets[size_t(index)];
        if (*candidate.alias != m_matchState->alias) continue;
        Match match;
        if (m_matchState->trigger) match.alias = QString(*m_matchState->trigger);
        match.alias += m_matchState->alias;
        match.snippet = candidate;
        m_matchState.reset();
        m_previousMatch = PreviousMatch{match, false, event.timestamp};
        return Matched{std::move(match)};
    }
    return PartialMatch{};
}

}  // namespace vantrel
