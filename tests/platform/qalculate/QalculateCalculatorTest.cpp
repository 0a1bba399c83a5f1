#include "platform/qalculate/QalculateCalculator.h"

#include <gtest/gtest.h>

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
