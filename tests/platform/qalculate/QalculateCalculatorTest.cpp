#include "platform/qalculate/QalculateCalculator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace vantrel {
namespace {

QalculateCalculator& calculator() {
    static QalculateCalculator instance;
    return instance;
}

// Saturday 5 December 2026, 22:15.
const QDateTime fixedNow(QDate(2026, 12, 5), QTime(22, 15));

ParsedDate parsed(const QString& text) {
    auto date = QalculateCalculator::parseDate(text, fixedNow);
    EXPECT_TRUE(date.has_value()) << text.toStdString();
    return date.value_or(ParsedDate{});
}

// Polls until the predicate holds or 30 seconds have passed.
bool eventually(const std::function<bool()>& predicate) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// The engine is loaded once per process: these cases need it unloaded, which
// CTest gives them (every case runs in a process of its own).
#define REQUIRE_ENGINE_NOT_LOADED()                                                      \
    do {                                                                                 \
        if (QalculateCalculator::isEngineLoaded())                                       \
            GTEST_SKIP() << "an earlier case of this process loaded the engine already"; \
    } while (false)

TEST(QalculateCalculatorFirstUseTest, MakingTheCalculatorLoadsNothingAndTextsThatAreNoCalculationNeedNoEngine) {
    REQUIRE_ENGINE_NOT_LOADED();
    QalculateCalculator fresh;
    EXPECT_FALSE(QalculateCalculator::isEngineLoaded());
    std::atomic<int> loaded{0};
    // No digit, characters no calculation has, a conversion without a
    // quantity, nothing at all: answered `invalid` at once.
    for (const QString& text : {QStringLiteral("firefox"), QStringLiteral("hello world"), QStringLiteral("km to mi"),
                                QStringLiteral(""), QStringLiteral("   "), QStringLiteral("2 < 3 ; rm"),
                                QStringLiteral("2 \U0001F4A5 3"), QString(5000, QLatin1Char('x'))}) {
        const std::optional<CalculationAnswer> answer = fresh.calculateIfLoaded(text, [&] { ++loaded; });
        ASSERT_TRUE(answer) << text.left(40).toStdString();
        EXPECT_EQ(answer->kind, CalculationAnswer::Kind::invalid) << text.left(40).toStdString();
    }
    EXPECT_FALSE(QalculateCalculator::isEngineLoaded());
    EXPECT_EQ(loaded.load(), 0);
}

TEST(QalculateCalculatorFirstUseTest, TheFirstCalculationLoadsTheEngineInTheBackgroundThenIsAnswered) {
    REQUIRE_ENGINE_NOT_LOADED();
    QalculateCalculator fresh;
    std::atomic<int> loaded{0};
    // Not answered while the engine loads: the caller hears once it has.
    EXPECT_FALSE(fresh.calculateIfLoaded(QStringLiteral("3*4"), [&] { ++loaded; }));
    ASSERT_TRUE(eventually([&] { return loaded.load() == 1; }));
    EXPECT_TRUE(QalculateCalculator::isEngineLoaded());

    const std::optional<CalculationAnswer> answer =
        fresh.calculateIfLoaded(QStringLiteral("3*4"), [&] { ++loaded; });
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->kind, CalculationAnswer::Kind::math);
    EXPECT_EQ(answer->result, QStringLiteral("12"));
    const std::optional<CalculationAnswer> conversion =
        fresh.calculateIfLoaded(QStringLiteral("5 km to m"), [&] { ++loaded; });
    ASSERT_TRUE(conversion);
    EXPECT_EQ(conversion->kind, CalculationAnswer::Kind::unitConversion);
    EXPECT_EQ(conversion->result, QStringLiteral("5000 m"));
    // A loaded engine keeps no callback.
    EXPECT_EQ(loaded.load(), 1);
}

TEST(QalculateCalculatorFirstUseTest, CallersWaitingForOneLoadAllHearOnce) {
    REQUIRE_ENGINE_NOT_LOADED();
    QalculateCalculator first;
    QalculateCalculator second;
    std::atomic<int> heardFirst{0};
    std::atomic<int> heardSecond{0};
    const bool firstWaits = !first.calculateIfLoaded(QStringLiteral("1+1"), [&] { ++heardFirst; });
    first.prepare();
    const bool secondWaits = !second.calculateIfLoaded(QStringLiteral("2+2"), [&] { ++heardSecond; });
    EXPECT_TRUE(firstWaits);
    ASSERT_TRUE(eventually([&] { return QalculateCalculator::isEngineLoaded(); }));
    ASSERT_TRUE(eventually([&] { return heardFirst.load() == 1 && (!secondWaits || heardSecond.load() == 1); }));
    EXPECT_EQ(heardFirst.load(), 1);
    EXPECT_EQ(heardSecond.load(), secondWaits ? 1 : 0);
    EXPECT_EQ(second.calculate(QStringLiteral("2+2")).result, QStringLiteral("4"));
}

TEST(QalculateCalculatorFirstUseTest, PrepareLoadsTheEngineAheadOfItsFirstUse) {
    REQUIRE_ENGINE_NOT_LOADED();
    QalculateCalculator fresh;
    fresh.prepare();
    ASSERT_TRUE(eventually([&] { return QalculateCalculator::isEngineLoaded(); }));
    const std::optional<CalculationAnswer> answer = fresh.calculateIfLoaded(QStringLiteral("20 c to f"), {});
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->unitType, CalculationAnswer::UnitType::temperature);
    EXPECT_EQ(answer->result, QStringLiteral("68 °F"));
}

TEST(QalculateCalculatorFirstUseTest, AWaitingFirstCalculationIsAnsweredAsBefore) {
    REQUIRE_ENGINE_NOT_LOADED();
    QalculateCalculator fresh;
    EXPECT_EQ(fresh.calculate(QStringLiteral("7*6")).result, QStringLiteral("42"));
    EXPECT_TRUE(QalculateCalculator::isEngineLoaded());
}

TEST(QalculateCalculatorFirstUseTest, AFirstTypedDateLoadsTheEngineAndIsRead) {
    REQUIRE_ENGINE_NOT_LOADED();
    QalculateCalculator fresh;
    // A phrase is read without the engine; an ISO date needs it.
    EXPECT_TRUE(fresh.parseDate(QStringLiteral("tomorrow")));
    EXPECT_FALSE(QalculateCalculator::isEngineLoaded());
    const std::optional<ParsedDate> date = fresh.parseDate(QStringLiteral("2027-01-15"));
    ASSERT_TRUE(date);
    EXPECT_EQ(date->date.date(), QDate(2027, 1, 15));
    EXPECT_TRUE(QalculateCalculator::isEngineLoaded());
}

TEST(QalculateCalculatorTest, AnswerKinds) {
    EXPECT_EQ(calculator().calculate("2*3").kind, CalculationAnswer::Kind::math);
    EXPECT_EQ(calculator().calculate("15% of 80").kind, CalculationAnswer::Kind::math);
    EXPECT_EQ(calculator().calculate("sqrt(16)").kind, CalculationAnswer::Kind::expression);
    EXPECT_EQ(calculator().calculate("2 km + 3 m").kind, CalculationAnswer::Kind::expression);
    EXPECT_EQ(calculator().calculate("5 km to mi").kind, CalculationAnswer::Kind::unitConversion);
    EXPECT_EQ(calculator().calculate("terminal").kind, CalculationAnswer::Kind::invalid);
    EXPECT_EQ(calculator().calculate("5 kg to m").kind, CalculationAnswer::Kind::invalid);

    const CalculationAnswer answer = calculator().calculate("sqrt(16)");
    EXPECT_EQ(answer.result, "4");
    EXPECT_EQ(answer.unformattedResult, "4");
    ASSERT_TRUE(answer.expressionMetadata);
    EXPECT_TRUE(answer.expressionMetadata->contains("16"));
}

TEST(QalculateCalculatorTest, StringValueIsTheAnswerOfARealCalculation) {
    EXPECT_EQ(calculator().stringValue("6 / 4"), QString("1.5"));
    EXPECT_FALSE(calculator().stringValue("hello world"));
    EXPECT_FALSE(calculator().customizationDescription().isEmpty());
}

TEST(QalculateCalculatorTest, PathologicalQueriesReturnInsteadOfHanging) {
    // Either an answer or nothing, but the call comes back.
    for (const QString& query : {QStringLiteral("2^2^2^2^2^2"), QStringLiteral("99999999!"),
                                 QStringLiteral("((((((((((1+1))))))))))^99999999")}) {
        const CalculationAnswer answer = calculator().calculate(query);
        if (answer.kind != CalculationAnswer::Kind::invalid) {
            EXPECT_FALSE(answer.result.isEmpty()) << query.toStdString();
        }
    }
}

TEST(QalculateCalculatorTest, ConcurrentCallersShareTheEngineSafely) {
    std::vector<std::thread> threads;
    std::vector<QString> results(4);
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&results, i] {
            for (int n = 0; n < 50; ++n)
                results[i] = calculator().calculate(QStringLiteral("%1 * 2").arg(i + 1)).result;
        });
    }
    for (auto& thread : threads) thread.join();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(results[i], QString::number((i + 1) * 2));
}

TEST(QalculateCalculatorTest, DaysInWords) {
    ParsedDate date = parsed("now");
    EXPECT_EQ(date.date, fixedNow);
    EXPECT_TRUE(date.hasTimeComponent);

    date = parsed("today");
    EXPECT_EQ(date.date.date(), QDate(2026, 12, 5));
    EXPECT_FALSE(date.hasTimeComponent);
    EXPECT_EQ(date.stringValue, "Saturday, 5 December, 2026");

    date = parsed("Tomorrow");
    EXPECT_EQ(date.date.date(), QDate(2026, 12, 6));
    EXPECT_FALSE(date.hasTimeComponent);

    EXPECT_EQ(parsed("yesterday").date.date(), QDate(2026, 12, 4));
    EXPECT_EQ(parsed("monday").date.date(), QDate(2026, 12, 7));
    EXPECT_EQ(parsed("next friday").date.date(), QDate(2026, 12, 11));
    // The same weekday as today means next week's.
    EXPECT_EQ(parsed("saturday").date.date(), QDate(2026, 12, 12));
    EXPECT_EQ(parsed("next month").date.date(), QDate(2027, 1, 5));
    EXPECT_EQ(parsed("next week").date.date(), QDate(2026, 12, 12));
    EXPECT_EQ(parsed("next year").date.date(), QDate(2027, 12, 5));
}

TEST(QalculateCalculatorTest, RelativeDates) {
    ParsedDate date = parsed("now + 1 week");
    EXPECT_EQ(date.date, fixedNow.addDays(7));
    EXPECT_EQ(parsed("now + 14 days").date, fixedNow.addDays(14));
    EXPECT_EQ(parsed("now + 12 months").date.date(), QDate(2027, 12, 5));
    EXPECT_EQ(parsed("in 3 days").date.date(), QDate(2026, 12, 8));
    EXPECT_EQ(parsed("in two weeks").date.date(), QDate(2026, 12, 19));
    EXPECT_EQ(parsed("in 59 months").date.date(), QDate(2031, 11, 5));
    EXPECT_EQ(parsed("today - 2 days").date.date(), QDate(2026, 12, 3));
    EXPECT_EQ(parsed("3 days ago").date.date(), QDate(2026, 12, 2));
}

TEST(QalculateCalculatorTest, DayAndMonth) {
    ParsedDate date = parsed("25 december");
    EXPECT_EQ(date.date.date(), QDate(2026, 12, 25));
    EXPECT_FALSE(date.hasTimeComponent);
    EXPECT_EQ(parsed("25th december").date.date(), QDate(2026, 12, 25));
    EXPECT_EQ(parsed("december 25").date.date(), QDate(2026, 12, 25));
    // A day already past this year is next year's.
    EXPECT_EQ(parsed("1 march").date.date(), QDate(2027, 3, 1));
    EXPECT_EQ(parsed("3 dec 2030").date.date(), QDate(2030, 12, 3));
    EXPECT_EQ(parsed("31.12.").date.date(), QDate(2026, 12, 31));
    EXPECT_EQ(parsed("24/12/2027").date.date(), QDate(2027, 12, 24));
}

TEST(QalculateCalculatorTest, TimesOfDay) {
    ParsedDate date = parsed("tomorrow at 9");
    EXPECT_EQ(date.date, QDateTime(QDate(2026, 12, 6), QTime(9, 0)));
    EXPECT_TRUE(date.hasTimeComponent);
    EXPECT_EQ(date.stringValue, "Sunday, 6 December, 9:00 AM");
    EXPECT_EQ(parsed("Tomorrow at 9pm").date, QDateTime(QDate(2026, 12, 6), QTime(21, 0)));
    EXPECT_EQ(parsed("today at 17:30").date, QDateTime(QDate(2026, 12, 5), QTime(17, 30)));
    EXPECT_EQ(parsed("at 08:00").date, QDateTime(QDate(2026, 12, 5), QTime(8, 0)));
    EXPECT_EQ(parsed("monday at noon").date, QDateTime(QDate(2026, 12, 7), QTime(12, 0)));
    EXPECT_EQ(parsed("25 december 10am").date, QDateTime(QDate(2026, 12, 25), QTime(10, 0)));
}

TEST(QalculateCalculatorTest, WhatIsNoDate) {
    for (const QString& text : {QStringLiteral(""), QStringLiteral("terminal"), QStringLiteral("at 25:00"),
                                QStringLiteral("tomorrow at lunch"), QStringLiteral("31 februar"),
                                QStringLiteral("32.1."), QStringLiteral("in many days"), QStringLiteral("at")}) {
        EXPECT_FALSE(QalculateCalculator::parseDate(text, fixedNow)) << text.toStdString();
        EXPECT_FALSE(calculator().parseDate(text)) << text.toStdString();
    }
}

TEST(QalculateCalculatorTest, EngineReadsIsoDates) {
    const auto date = calculator().parseDate("2027-01-15");
    ASSERT_TRUE(date);
    EXPECT_EQ(date->date.date(), QDate(2027, 1, 15));
    EXPECT_FALSE(date->hasTimeComponent);
    EXPECT_EQ(date->stringValue, "Friday, 15 January, 2027");
    // The live clock answers the words too.
    const auto tomorrow = calculator().parseDate("tomorrow");
    ASSERT_TRUE(tomorrow);
    EXPECT_EQ(tomorrow->date.date(), QDate::currentDate().addDays(1));
}

}  // namespace
}  // namespace vantrel
