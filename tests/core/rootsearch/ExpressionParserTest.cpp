#include "core/rootsearch/ExpressionParser.h"
#include "platform/qalculate/QalculateCalculator.h"

#include "support/CapturingLogHandler.h"
#include "support/TestEnvironment.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>
#include <vector>

namespace vantrel {
namespace {

// The first number in an answer such as "3.106855961 mi" or "€9.48".
std::optional<double> numberIn(const QString& text) {
    static const QRegularExpression number(QStringLiteral("-?\\d+(?:\\.\\d+)?(?:E[-+]?\\d+)?"));
    const auto match = number.match(text);
    if (!match.hasMatch()) return std::nullopt;
    return match.captured().toDouble();
}

ExpressionParser& realParser() {
    static ExpressionParser parser(std::make_shared<QalculateCalculator>());
    return parser;
}

// Words, names and sentences: never a calculator item.
class ExpressionParserPlainTextTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ExpressionParserPlainTextTest, GivesNoAnswer) {
    const auto output = realParser().parseInput(QString::fromUtf8(GetParam()));
    EXPECT_FALSE(output.has_value()) << "gave " << output->result.toStdString();
}

INSTANTIATE_TEST_SUITE_P(WordsNamesAndSentences, ExpressionParserPlainTextTest,
                         ::testing::Values("terminal", "hello world", "firefox", "5 kg to m", "vim", "settings", "open",
                                           "g", "e", "a b", "to", "in", "firefox 2", "pi", "min", "cal", "day", "week",
                                           "google chrome", "system monitor", "visual studio code", "top 10", "2", "42",
                                           "5 kg", "day 1", "iphone 15 pro", "windows 11", "what is 2 plus 2",
                                           "meeting at 5", "c++", "x + y", "2 +", "kg to m", "1/0", "hello-world",
                                           "open terminal", "ls -la", "git commit -m", "e-mail", "5 apples + 3",
                                           "2 * foo", "10 usd in apples", "3 ft in years", "sqrt(x)",
                                           "https://example.com/1", "user@mail.com", "1 = 1", "10 >= 2", "#1", "", " ",
                                           "1", "-5", "in 5 minutes", "5 km to", "1 to 2", "5 > 3", "->", "2 in", "7",
                                           "+"));

struct Case {
    const char* query;
    double expected;
    const char* unit;  // expected in the answer (empty: a bare number)
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << '"' << c.query << '"';
}

class ExpressionParserCalculationTest : public ::testing::TestWithParam<Case> {};

TEST_P(ExpressionParserCalculationTest, GivesItsAnswer) {
    const Case& c = GetParam();
    const auto output = realParser().parseInput(QString::fromUtf8(c.query));
    ASSERT_TRUE(output.has_value());
    const auto value = numberIn(output->result);
    ASSERT_TRUE(value.has_value()) << "gave " << output->result.toStdString();
    EXPECT_NEAR(*value, c.expected, std::abs(c.expected) * 1e-4 + 1e-9) << "gave " << output->result.toStdString();
    EXPECT_TRUE(output->result.contains(QString::fromUtf8(c.unit))) << "gave " << output->result.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Calculations, ExpressionParserCalculationTest,
    ::testing::Values(Case{"2*3", 6, ""}, Case{"5 km to mi", 3.10686, "mi"}, Case{"100 f to c", 37.7778, "°C"},
                      Case{"10 c to f", 50, "°F"}, Case{"0 celsius in fahrenheit", 32, "°F"},
                      Case{"sqrt(2)", 1.41421, ""}, Case{"15% of 80", 12, ""}, Case{"2^10", 1024, ""},
                      Case{"(1+2)*3", 9, ""}, Case{"1/3", 0.333333, ""}, Case{"3 ft in cm", 91.44, "cm"},
                      Case{"1 gb in mb", 1000, "MB"}, Case{"2 x 3", 6, ""}, Case{"10!", 3628800, ""},
                      Case{"10 mod 3", 1, ""}, Case{"1.5 + 2.25", 3.75, ""}, Case{"100 / 8", 12.5, ""},
                      Case{"-3 * 4", -12, ""}, Case{"2 * pi", 6.28319, ""}, Case{"50 km/h to mph", 31.0686, "mph"},
                      Case{"1 mile in km", 1.60934, "km"}, Case{"500 g to lb", 1.10231, "lb"},
                      Case{"1 l to ml", 1000, "mL"}, Case{"5 km + 300 m", 5.3, "km"},
                      Case{"2 hours to minutes", 120, "min"}, Case{"1e3 * 2", 2000, ""}, Case{"5 in to cm", 12.7, "cm"},
                      Case{"10 in in cm", 25.4, "cm"}, Case{"5 km -> mi", 3.10686, "mi"}, Case{"sin(90)", 1, ""}));

// Whatever the rates file says, ten dollars are a few euros, to the cent.
class ExpressionParserCurrencyTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ExpressionParserCurrencyTest, ConvertsWithTheShippedRates) {
    const auto output = realParser().parseInput(QString::fromUtf8(GetParam()));
    ASSERT_TRUE(output.has_value());
    const auto* conversion = std::get_if<ExpressionParser::UnitConversion>(&output->calculationType);
    ASSERT_NE(conversion, nullptr);
    EXPECT_EQ(conversion->unitType, ExpressionParser::Unit::currency);
    EXPECT_EQ(conversion->toUnit, "EUR");
    EXPECT_EQ(conversion->fromUnit, "USD");
    const auto value = numberIn(output->result);
    ASSERT_TRUE(value.has_value()) << output->result.toStdString();
    EXPECT_GT(*value, 5);
    EXPECT_LT(*value, 15);
    EXPECT_TRUE(output->result.contains(QRegularExpression(QStringLiteral("\\.\\d\\d\\b"))))
        << output->result.toStdString();
}

INSTANTIATE_TEST_SUITE_P(TenDollars, ExpressionParserCurrencyTest,
                         ::testing::Values("10 usd in eur", "10 USD to EUR", "$10 to €"));

TEST(ExpressionParserTest, CalculationTypesAndConversionParts) {
    auto output = realParser().parseInput("5 km to mi");
    ASSERT_TRUE(output);
    const auto* conversion = std::get_if<ExpressionParser::UnitConversion>(&output->calculationType);
    ASSERT_NE(conversion, nullptr);
    EXPECT_EQ(conversion->quantity, "5");
    EXPECT_EQ(conversion->fromUnit, "km");
    EXPECT_EQ(conversion->toUnit, "mi");
    EXPECT_EQ(conversion->unitType, ExpressionParser::Unit::other);
    ASSERT_TRUE(output->expressionMetadata);
    EXPECT_TRUE(output->expressionMetadata->contains("kilometers")) << output->expressionMetadata->toStdString();
    EXPECT_EQ(numberIn(output->unformattedResult), numberIn(output->result));
    EXPECT_FALSE(output->unformattedResult.contains("mi"));

    output = realParser().parseInput("100 f to c");
    ASSERT_TRUE(output);
    conversion = std::get_if<ExpressionParser::UnitConversion>(&output->calculationType);
    ASSERT_NE(conversion, nullptr);
    EXPECT_EQ(conversion->unitType, ExpressionParser::Unit::temperature);
    EXPECT_EQ(conversion->fromUnit, "°F");
    EXPECT_EQ(conversion->toUnit, "°C");

    output = realParser().parseInput("2*3");
    ASSERT_TRUE(output);
    EXPECT_TRUE(std::holds_alternative<ExpressionParser::Math>(output->calculationType));
    EXPECT_EQ(output->result, "6");
    EXPECT_EQ(output->unformattedResult, "6");

    output = realParser().parseInput("sqrt(2)");
    ASSERT_TRUE(output);
    EXPECT_TRUE(std::holds_alternative<ExpressionParser::Expression>(output->calculationType));
}

TEST(ExpressionParserTest, QuestionAndAnswerTextsPerCalculationType) {
    ExpressionParser::Output output;
    output.result = "6";
    output.calculationType = ExpressionParser::Math{};
    EXPECT_EQ(ExpressionParser::questionAndAnswer("2*3", output), "2*3 = 6");
    output.result = "1.414213562";
    output.calculationType = ExpressionParser::Expression{};
    EXPECT_EQ(ExpressionParser::questionAndAnswer("sqrt(2)", output), "sqrt(2) is 1.414213562");
    output.calculationType = ExpressionParser::Unknown{};
    EXPECT_EQ(ExpressionParser::questionAndAnswer("sqrt(2)", output), "sqrt(2) is 1.414213562");

    const auto conversion = realParser().parseInput("5 km to mi");
    ASSERT_TRUE(conversion);
    EXPECT_EQ(ExpressionParser::questionAndAnswer("5 km to mi", *conversion), "5 km equals " + conversion->result);
}

// A back end of the test's own: answers what it is told and holds the rate
// refresh until the test finishes it.
class ScriptedCalculator : public Calculating {
public:
    QString customizationDescription() const override { return "scripted"; }
    void refreshCurrencyRates(std::function<void(std::optional<QString>)> completion) override {
        ++refreshCount;
        pending = std::move(completion);
    }
    CalculationAnswer calculate(const QString&) override { return answer; }
    std::optional<QString> stringValue(const QString&) override { return answer.result; }
    std::optional<ParsedDate> parseDate(const QString&) override { return std::nullopt; }

    void finish(std::optional<QString> error) {
        auto completion = std::move(pending);
        pending = nullptr;
        completion(std::move(error));
    }

    CalculationAnswer answer;
    int refreshCount = 0;
    std::function<void(std::optional<QString>)> pending;
};

TEST(ExpressionParserTest, TwoRefreshesWhileOneRunsMakeOneBackEndRefreshAndTwoCompletionsInOrder) {
    test::ScopedLogCapture logs;
    auto calculator = std::make_shared<ScriptedCalculator>();
    ExpressionParser parser(calculator);
    std::vector<std::pair<int, bool>> calls;
    parser.refreshCurrencies([&](auto error) { calls.emplace_back(1, error.has_value()); });
    EXPECT_TRUE(parser.isRefreshingCurrencies());
    parser.refreshCurrencies([&](auto error) { calls.emplace_back(2, error.has_value()); });
    EXPECT_EQ(calculator->refreshCount, 1);

    calculator->finish(std::nullopt);
    ASSERT_TRUE(test::waitUntil([&] { return calls.size() == 2; }));
    EXPECT_EQ(calls, (std::vector<std::pair<int, bool>>{{1, false}, {2, false}}));
    EXPECT_FALSE(parser.isRefreshingCurrencies());
    const auto messages = logs->messages();
    EXPECT_TRUE(std::any_of(messages.begin(), messages.end(), [](const QString& message) {
        return message.startsWith("Currency rates successfully refreshed at ") &&
               message.size() > QStringLiteral("Currency rates successfully refreshed at ").size();
    }));

    // A later request starts a new refresh; its failure reaches every caller.
    parser.refreshCurrencies([&](auto error) {
        calls.emplace_back(3, error == ExpressionParser::ExpressionParserError::currenciesRefreshError);
    });
    EXPECT_EQ(calculator->refreshCount, 2);
    calculator->finish(QStringLiteral("offline"));
    ASSERT_TRUE(test::waitUntil([&] { return calls.size() == 3; }));
    EXPECT_EQ(calls.back(), std::make_pair(3, true));
    EXPECT_TRUE(logs->contains("Failed refreshing currency rates"));
}

TEST(ExpressionParserTest, FailedRateDownloadIsReportedAndKeepsTheRates) {
    // Every download goes through a proxy on a closed loopback port: curl fails
    // at once and nothing leaves the machine.
    test::ScopedEnv noProxy("no_proxy", std::nullopt);
    test::ScopedEnv noProxyUpper("NO_PROXY", std::nullopt);
    test::ScopedEnv httpsProxy("https_proxy", QByteArray("http://127.0.0.1:9"));
    test::ScopedEnv httpsProxyUpper("HTTPS_PROXY", QByteArray("http://127.0.0.1:9"));
    test::ScopedEnv httpProxy("http_proxy", QByteArray("http://127.0.0.1:9"));
    test::ScopedEnv allProxy("ALL_PROXY", QByteArray("http://127.0.0.1:9"));
    test::ScopedLogCapture logs;
    const auto before = realParser().parseInput("10 usd in eur");
    ASSERT_TRUE(before);

    std::optional<std::optional<ExpressionParser::ExpressionParserError>> outcome;
    realParser().refreshCurrencies([&](auto error) { outcome = error; });
    ASSERT_TRUE(test::waitUntil([&] { return outcome.has_value(); }, 30000));
    EXPECT_EQ(*outcome, ExpressionParser::ExpressionParserError::currenciesRefreshError);
    EXPECT_TRUE(logs->contains("Failed refreshing currency rates"));
    EXPECT_FALSE(realParser().isRefreshingCurrencies());

    const auto after = realParser().parseInput("10 usd in eur");
    ASSERT_TRUE(after);
    EXPECT_EQ(after->result, before->result);
}

TEST(ExpressionParserTest, IncompatibleUnitsErrorIsShownWithoutItsPrefix) {
    auto calculator = std::make_shared<ScriptedCalculator>();
    ExpressionParser parser(calculator);
    calculator->answer.kind = CalculationAnswer::Kind::unitConversion;
    calculator->answer.result = "Error: incompatible units";
    const auto output = parser.parseInput("5 kg to m");
    ASSERT_TRUE(output);
    EXPECT_EQ(output->result, "incompatible units");

    calculator->answer.kind = CalculationAnswer::Kind::invalid;
    calculator->answer.result = "something";
    EXPECT_FALSE(parser.parseInput("5 kg to m"));
}

}  // namespace
}  // namespace vantrel
