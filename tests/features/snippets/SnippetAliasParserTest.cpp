// The keyword parser fed with the events a user's typing makes.
#include "features/snippets/SnippetAliasParser.h"

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

using Parser = SnippetAliasParser;

SnippetRecord snippet(qint64 id, const QString& keyword, const QString& text = QStringLiteral("text")) {
    SnippetRecord record;
    record.id = id;
    record.name = keyword;
    record.text = text;
    if (!keyword.isEmpty()) record.alias = keyword;
    return record;
}

// Timings of a 0.5 s repeat delay: injection delay 0.4 s, revert window 1 s.
const SnippetTimings kTimings = SnippetTimings::fromRepeatDelay(0.5);

class Typist {
public:
    explicit Typist(Parser& parser) : m_parser(parser) {}
    // Types each character 10 ms after the previous one; the last result.
    Parser::Result type(const QString& text) {
        Parser::Result result = Parser::None{};
        for (QChar character : text) result = m_parser.parse(SnippetKeyEvent::key(QString(character), advance()));
        return result;
    }
    Parser::Result backSpace() { return m_parser.parse(SnippetKeyEvent::backSpace(advance())); }
    Parser::Result event(SnippetKeyEvent event) {
        event.timestamp = advance();
        return m_parser.parse(event);
    }
    void wait(double seconds) { m_now += seconds; }

private:
    double advance() { return m_now += 0.01; }
    Parser& m_parser;
    double m_now = 100;
};

template <typename Case>
const Case* as(const Parser::Result& result) {
    return std::get_if<Case>(&result);
}

TEST(SnippetAliasParserTest, keywordAfterABoundaryMatchesWithTheTypedKeyword) {
    Parser parser({snippet(1, QStringLiteral(";sig"), QStringLiteral("Best regards, Ada"))}, std::nullopt, kTimings);
    Typist typist(parser);
    EXPECT_TRUE(as<Parser::None>(typist.type(QStringLiteral("hello"))));
    EXPECT_TRUE(as<Parser::None>(typist.type(QStringLiteral(" "))));
    EXPECT_TRUE(as<Parser::PartialMatch>(typist.type(QStringLiteral(";si"))));
    const Parser::Result result = typist.type(QStringLiteral("g"));
    ASSERT_TRUE(as<Parser::Matched>(result));
    EXPECT_EQ(as<Parser::Matched>(result)->match.alias, QStringLiteral(";sig"));
    EXPECT_EQ(as<Parser::Matched>(result)->match.snippet.text, QStringLiteral("Best regards, Ada"));
    EXPECT_FALSE(parser.matchState());
    EXPECT_FALSE(parser.previousCharacter());
    ASSERT_TRUE(parser.previousMatch());
    EXPECT_FALSE(parser.previousMatch()->isConfirmed);
}

TEST(SnippetAliasParserTest, aKeywordAtTheVeryStartMatches) {
    Parser parser({snippet(1, QStringLiteral("addr"))}, std::nullopt, kTimings);
    Typist typist(parser);
    EXPECT_TRUE(as<Parser::Matched>(typist.type(QStringLiteral("addr"))));
}

TEST(SnippetAliasParserTest, aKeywordInsideAWordDoesNotStartWithoutTrigger) {
    Parser parser({snippet(1, QStringLiteral(";sig"))}, std::nullopt, kTimings);
    Typist typist(parser);
    EXPECT_TRUE(as<Parser::None>(typist.type(QStringLiteral("x;sig"))));
    EXPECT_FALSE(parser.previousMatch());

    Parser plain({snippet(2, QStringLiteral("sig"))}, std::nullopt, kTimings);
    Typist other(plain);
    EXPECT_TRUE(as<Parser::None>(other.type(QStringLiteral("design"))));
    EXPECT_TRUE(as<Parser::None>(other.type(QStringLiteral(" 7sig"))));
    // After punctuation a keyword starts again.
    EXPECT_TRUE(as<Parser::Matched>(other.type(QStringLiteral(".sig"))));
}

TEST(SnippetAliasParserTest, keywordsMatchCaseSensitively) {
    Parser parser({snippet(1, QStringLiteral("Sig"))}, std::nullopt, kTimings);
    Typist typist(parser);
    EXPECT_TRUE(as<Parser::None>(typist.type(QStringLiteral("sig"))));
    EXPECT_TRUE(as<Parser::Matched>(typist.type(QStringLiteral(" Sig"))));
}

TEST(SnippetAliasParserTest, candidatesNarrowWithEveryKeyAndTheFirstExactOneWins) {
    Parser parser({snippet(1, QStringLiteral("ab")), snippet(2, QStringLiteral("abc")), snippet(3, QStringLiteral("ax")),
                   snippet(4, QString()), snippet(5, QStringLiteral("ab"), QStringLiteral("second"))},
                  std::nullopt, kTimings);
    EXPECT_EQ(parser.allSnippets().size(), 4U) << "snippets without keyword are not held";
    Typist typist(parser);
    typist.type(QStringLiteral("a"));
    ASSERT_TRUE(parser.matchState());
    EXPECT_EQ(parser.matchState()->snippets.size(), 4U);
    const Parser::Result result = typist.type(QStringLiteral("b"));
    ASSERT_TRUE(as<Parser::Matched>(result));
    EXPECT_EQ(as<Parser::Matched>(result)->match.snippet.id, 1);
}

TEST(SnippetAliasParserTest, aKeyThatLeavesNoCandidateEndsTheState) {
    Parser parser({snippet(1, QStringLiteral(";sig"))}, std::nullopt, kTimings);
    Typist typist(parser);
    EXPECT_TRUE(as<Parser::PartialMatch>(typist.type(QStringLiteral(";s"))));
    EXPECT_TRUE(as<Parser::None>(typist.type(QStringLiteral("x"))));
    EXPECT_FALSE(parser.matchState());
    // "x" is a letter: "ig" does not start anything, and neither does ";sig" right after it.
    EXPECT_TRUE(as<Parser::None>(typist.type(QStringLiteral(";sig"))));
}

TEST(SnippetAliasParserTest, backSpaceWhileTypingShortensTheKeyword) {
    Parser parser({snippet(1, QStringLiteral(";sig"))}, std::nullopt, kTimings);
    Typist typist(parser);
    EXPECT_TRUE(as<Parser::PartialMatch>(typist.type(QStringLiteral(";sx"))) == nullptr);
    typist.type(QStringLiteral(" "));
    EXPECT_TRUE(as<Parser::PartialMatch>(typist.type(QStringLiteral(";si"))));
    EXPECT_TRUE(as<Parser::PartialMatch>(typist.backSpace()));
    EXPECT_EQ(parser.matchState()->alias, QStringLiteral(";s"));
    EXPECT_TRUE(as<Parser::Matched>(typist.type(QStringLiteral("ig"))));
}

TEST(SnippetAliasParserTest, backSpaceToAnEmptyKeywordEndsTheState) {
    Parser parser({snippet(1, QStringLiteral(";sig"))}, std::nullopt, kTimings);
    Typist typist(parser);
    typist.type(QStringLiteral(";"));
    EXPECT_TRUE(as<Parser::None>(typist.backSpace()));
    EXPECT_FALSE(parser.matchState());
}

TEST(SnippetAliasParserTest, withATriggerOnlyTheTriggerStartsAKeywordEvenInsideAWord) {
    Parser parser({snippet(1, QStringLiteral("sig"))}, QChar(u'/'), kTimings);
    Typist typist(parser);
    EXPECT_TRUE(as<Parser::None>(typist.type(QStringLiteral(" sig"))));
    const Parser::Result result = typist.type(QStringLiteral("word/sig"));
    ASSERT_TRUE(as<Parser::Matched>(result));
    EXPECT_EQ(as<Parser::Matched>(result)->match.alias, QStringLiteral("/sig"));
}

TEST(SnippetAliasParserTest, aSpaceWithinTheInjectionDelayConfirmsTheMatch) {
    Parser parser({snippet(1, QStringLiteral(";sig"))}, std::nullopt, kTimings);
    Typist typist(parser);
    ASSERT_TRUE(as<Parser::Matched>(typist.type(QStringLiteral(";sig"))));
    const Parser::Result result = typist.type(QStringLiteral(" "));
    ASSERT_TRUE(as<Parser::MatchConfirmed>(result));
    EXPECT_EQ(as<Parser::MatchConfirmed>(result)->match.alias, QStringLiteral(";sig "));
    EXPECT_TRUE(parser.previousMatch()->isConfirmed);
    // A second space is an ordinary key.
    EXPECT_TRUE(as<Parser::None>(typist.type(QStringLiteral(" "))));
}

TEST(SnippetAliasParserTest, punctuationAndNewlinesConfirmButLettersAndTheTriggerDoNot) {
    for (const QString& confirming : {QStringLiteral("."), QStringLiteral("\r"), QString(QChar(0x2028)), QStringLiteral("!")}) {
        Parser parser({snippet(1, QStringLiteral("sig"))}, std::nullopt, kTimings);
        Typist typist(parser);
        typist.type(QStringLiteral("sig"));
        EXPECT_TRUE(as<Parser::MatchConfirmed>(typist.type(confirming))) << confirming.toStdString();
    }
    Parser parser({snippet(1, QStringLiteral("sig"))}, std::nullopt, kTimings);
    Typist typist(parser);
    typist.type(QStringLiteral("sig"));
    EXPECT_FALSE(as<Parser::MatchConfirmed>(typist.type(QStringLiteral("a"))));

    Parser triggered({snippet(1, QStringLiteral("sig"))}, QChar(u'/'), kTimings);
    Typist other(triggered);
    other.type(QStringLiteral("/sig"));
    EXPECT_TRUE(as<Parser::PartialMatch>(other.type(QStringLiteral("/"))))
        << "the trigger starts the next keyword instead of confirming";
}

TEST(SnippetAliasParserTest, aSpaceAfterTheInjectionDelayIsNotAConfirmation) {
    Parser parser({snippet(1, QStringLiteral(";sig"))}, std::nullopt, kTimings);
    Typist typist(parser);
    typist.type(QStringLiteral(";sig"));
    typist.wait(0.5);
    EXPECT_TRUE(as<Parser::None>(typist.type(QStringLiteral(" "))));
    EXPECT_FALSE(parser.previousMatch());
}

TEST(SnippetAliasParserTest, backSpaceRightAfterAMatchRevertsIt) {
    Parser parser({snippet(1, QStringLiteral(";sig"), QStringLiteral("Best regards, Ada"))}, std::nullopt, kTimings);
    Typist typist(parser);
    typist.type(QStringLiteral(";sig"));
    typist.wait(0.6);  // the expansion happened meanwhile
    const Parser::Result result = typist.backSpace();
    ASSERT_TRUE(as<Parser::RevertMatch>(result));
    EXPECT_EQ(as<Parser::RevertMatch>(result)->match.alias, QStringLiteral(";sig"));
    EXPECT_FALSE(parser.previousMatch());
    EXPECT_FALSE(parser.matchState());
    // Only once.
    EXPECT_TRUE(as<Parser::None>(typist.backSpace()));
}

TEST(SnippetAliasParserTest, backSpaceWithShiftControlOrAltStillReverts) {
    for (int modifier = 0; modifier < 3; ++modifier) {
        Parser parser({snippet(1, QStringLiteral(";sig"))}, std::nullopt, kTimings);
        Typist typist(parser);
        typist.type(QStringLiteral(";sig"));
        SnippetKeyEvent event = SnippetKeyEvent::backSpace(0);
        (modifier == 0 ? event.shift : modifier == 1 ? event.control : event.alt) = true;
        EXPECT_TRUE(as<Parser::RevertMatch>(typist.event(event))) << modifier;
    }
}

TEST(SnippetAliasParserTest, backSpaceAfterTheRevertWindowRevertsNothing) {
    Parser parser({snippet(1, QStringLiteral(";sig"))}, std::nullopt, kTimings);
    Typist typist(parser);
    typist.type(QStringLiteral(";sig"));
    typist.wait(1.1);
    EXPECT_TRUE(as<Parser::None>(typist.backSpace()));
}

TEST(SnippetAliasParserTest, backSpaceAfterAConfirmationRevertsTheConfirmedText) {
    Parser parser({snippet(1, QStringLiteral(";sig"))}, std::nullopt, kTimings);
    Typist typist(parser);
    typist.type(QStringLiteral(";sig "));
    const Parser::Result result = typist.backSpace();
    ASSERT_TRUE(as<Parser::RevertMatch>(result));
    EXPECT_EQ(as<Parser::RevertMatch>(result)->match.alias, QStringLiteral(";sig "));
}

TEST(SnippetAliasParserTest, superControlAndAltChordsNeverExtendAKeyword) {
    for (int modifier = 0; modifier < 3; ++modifier) {
        Parser parser({snippet(1, QStringLiteral("sig"))}, std::nullopt, kTimings);
        Typist typist(parser);
        typist.type(QStringLiteral("si"));
        SnippetKeyEvent chord = SnippetKeyEvent::key(QStringLiteral("g"), 0);
        (modifier == 0 ? chord.super : modifier == 1 ? chord.control : chord.alt) = true;
        EXPECT_TRUE(as<Parser::PartialMatch>(typist.event(chord))) << modifier;
        EXPECT_EQ(parser.matchState()->alias, QStringLiteral("si")) << "the state is left as it was";
        EXPECT_FALSE(parser.previousCharacter());
    }
    Parser parser({snippet(1, QStringLiteral("sig"))}, std::nullopt, kTimings);
    Typist typist(parser);
    for (QChar character : QStringLiteral("sig")) {
        SnippetKeyEvent chord = SnippetKeyEvent::key(QString(character), 0);
        chord.super = true;
        EXPECT_TRUE(as<Parser::None>(typist.event(chord)));
    }
}

TEST(SnippetAliasParserTest, mouseClicksRepeatsAndKeysWithoutCharactersReset) {
    Parser parser({snippet(1, QStringLiteral("sig"))}, std::nullopt, kTimings);
    Typist typist(parser);
    typist.type(QStringLiteral("si"));
    EXPECT_TRUE(as<Parser::None>(typist.event(SnippetKeyEvent::mouse(0))));
    EXPECT_FALSE(parser.matchState());

    typist.type(QStringLiteral(" si"));
    SnippetKeyEvent repeat = SnippetKeyEvent::key(QStringLiteral("i"), 0);
    repeat.isRepeat = true;
    EXPECT_TRUE(as<Parser::None>(typist.event(repeat)));
    EXPECT_FALSE(parser.matchState());

    typist.type(QStringLiteral(" si"));
    EXPECT_TRUE(as<Parser::None>(typist.event(SnippetKeyEvent::key(QString(), 0))));  // an arrow key
    EXPECT_FALSE(parser.matchState());
    EXPECT_TRUE(as<Parser::Matched>(typist.type(QStringLiteral("sig"))));
    EXPECT_TRUE(as<Parser::None>(typist.event(SnippetKeyEvent::mouse(0))));
    EXPECT_FALSE(parser.previousMatch()) << "a click forgets the match: BackSpace no longer reverts";
}

TEST(SnippetAliasParserTest, composedCharactersAreMatchedAsTyped) {
    Parser parser({snippet(1, QStringLiteral("café"))}, std::nullopt, kTimings);
    Typist typist(parser);
    typist.type(QStringLiteral("caf"));
    EXPECT_TRUE(as<Parser::Matched>(typist.event(SnippetKeyEvent::key(QStringLiteral("é"), 0))));
}

TEST(SnippetAliasParserTest, resumingWithAShortenedKeywordLetsItBeCompletedAgain) {
    Parser parser({snippet(1, QStringLiteral(";sig"))}, std::nullopt, kTimings);
    Typist typist(parser);
    typist.type(QStringLiteral(";sig"));
    parser.resumeTyping(QStringLiteral(";si"));
    EXPECT_FALSE(parser.previousMatch());
    EXPECT_TRUE(as<Parser::Matched>(typist.type(QStringLiteral("g"))));
}

TEST(SnippetAliasParserTest, timingsFollowTheRepeatDelay) {
    const SnippetTimings normal = SnippetTimings::fromRepeatDelay(0.66);
    EXPECT_DOUBLE_EQ(normal.injectionDelay, 0.56);
    EXPECT_DOUBLE_EQ(normal.revertWindow, 1.32);
    EXPECT_DOUBLE_EQ(SnippetTimings::fromRepeatDelay(0.15).injectionDelay, 0.1);
}

}  // namespace
}  // namespace vantrel::test
