#include "core/rootsearch/NLPDateProvider.h"
#include "platform/qalculate/QalculateCalculator.h"
#include "support/CapturingLogHandler.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSet>

#include <atomic>

namespace vantrel::test {
namespace {

using Kind = NLPDateSuggestion::Kind;

// Saturday, 5 December 2026, 10:30 in the morning.
const QDateTime kNow(QDate(2026, 12, 5), QTime(10, 30));

// The real calculator, reading dates against the same fixed clock as the
// provider.
class FixedClockCalculator : public QalculateCalculator {
public:
    std::optional<ParsedDate> parseDate(const QString& text) override {
        return QalculateCalculator::parseDate(text, kNow);
    }
};

class NLPDateProviderTest : public testing::Test {
protected:
    void SetUp() override {
        NLPDateProviderOptions options;
        options.now = [] { return kNow; };
        provider = std::make_unique<NLPDateProvider>(std::make_shared<FixedClockCalculator>(), options,
                                                     [this] { indexed = true; });
        ASSERT_TRUE(waitUntil([this] { return indexed.load(); }));
    }

    QStringList queries(const QString& text) const {
        QStringList found;
        for (const NLPDateSuggestion& suggestion : provider->completions(text)) found << suggestion.query;
        return found;
    }

    ScopedLogCapture logs;
    std::atomic<bool> indexed{false};
    std::unique_ptr<NLPDateProvider> provider;
};

TEST_F(NLPDateProviderTest, indexesItsSuggestionsOnceAndSaysSo) {
    EXPECT_TRUE(provider->isIndexed());
    EXPECT_EQ(logs->messages().count(QStringLiteral("Index date completions")), 1);
    QSet<qint64> keys;
    for (const NLPDateSuggestion& suggestion : provider->suggestions()) keys.insert(suggestion.key);
    EXPECT_EQ(static_cast<size_t>(keys.size()), provider->suggestions().size());
}

TEST_F(NLPDateProviderTest, anEmptyTextOffersNowTodayTomorrowInOneWeekThenTheWeekdays) {
    const auto results = provider->results(QString());
    ASSERT_EQ(results.size(), 11u);
    QStringList titles;
    for (const auto& result : results) titles << result.title();
    EXPECT_EQ(titles,
              QStringList({"Today", "Today", "Tomorrow", "Saturday, 12 December, 10:30 AM", "Monday, 7 December, 2026",
                           "Tuesday, 8 December, 2026", "Wednesday, 9 December, 2026", "Thursday, 10 December, 2026",
                           "Friday, 11 December, 2026", "Saturday, 12 December, 2026", "Tomorrow"}));
    EXPECT_EQ(results[0].suggestionKind(), Kind(Kind::exactTime));
    EXPECT_EQ(results[0].date(), kNow);
    EXPECT_TRUE(results[0].hasTimeComponent());
    EXPECT_EQ(results[1].suggestionKind(), Kind(Kind::default_));
    EXPECT_EQ(results[1].date().date(), kNow.date());
    EXPECT_FALSE(results[1].hasTimeComponent());
    EXPECT_EQ(results[2].date().date(), QDate(2026, 12, 6));
    EXPECT_EQ(results[3].suggestionKind(), Kind(Kind::relativeDate));
    EXPECT_EQ(results[3].date(), kNow.addDays(7));
    for (size_t i = 4; i < results.size(); ++i) EXPECT_EQ(results[i].suggestionKind(), Kind(Kind::weekday));

    QStringList defaults;
    for (const auto& suggestion : provider->defaultSuggestions()) defaults << suggestion.query;
    EXPECT_EQ(defaults, QStringList({"now", "Today", "Tomorrow", "in 1 week", "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday", "Sunday"}));
}

TEST_F(NLPDateProviderTest, aDayWithAnOrdinalSuffixAndAMonthNameIsADayAndMonth) {
    for (const char* text : {"3rd march", "3rd March", "on 3 mar", "3. march", "3march"}) {
        const auto results = provider->results(QString::fromUtf8(text));
        ASSERT_FALSE(results.empty()) << text;
        EXPECT_EQ(results.front().suggestionKind(), Kind(Kind::dayMonth)) << text;
        EXPECT_EQ(results.front().date().date(), QDate(2027, 3, 3)) << text;
        EXPECT_EQ(results.front().title(), QStringLiteral("Wednesday, 3 March, 2027")) << text;
    }
}

TEST_F(NLPDateProviderTest, twoNumbersWithASeparatorAreDayAndMonth) {
    const struct {
        const char* text;
        QDate date;
    } rows[] = {{"12.05", QDate(2027, 5, 12)},     {"12.05.", QDate(2027, 5, 12)}, {"25/12", QDate(2026, 12, 25)},
                {"on 25-12", QDate(2026, 12, 25)}, {"1 1", QDate(2027, 1, 1)},     {"6.12", QDate(2026, 12, 6)}};
    for (const auto& row : rows) {
        const auto results = provider->results(QString::fromUtf8(row.text));
        ASSERT_FALSE(results.empty()) << row.text;
        EXPECT_EQ(results.front().suggestionKind(), Kind(Kind::dayMonth)) << row.text;
        EXPECT_EQ(results.front().date().date(), row.date) << row.text;
    }
    EXPECT_EQ(provider->results(QStringLiteral("6.12")).front().title(), QStringLiteral("Tomorrow"));
}

TEST_F(NLPDateProviderTest, impossibleDaysAndMonthsGiveNoDayAndMonth) {
    for (const char* text : {"31.02", "12.13", "32.01", "00.05", "3rd of", "5 weeks", "12.05.2027.1"}) {
        EXPECT_FALSE(provider->dayMonthSuggestion(QString::fromUtf8(text))) << text;
        for (const auto& result : provider->results(QString::fromUtf8(text)))
            EXPECT_NE(result.suggestionKind(), Kind(Kind::dayMonth)) << text;
    }
}

TEST_F(NLPDateProviderTest, aShortenedRelativeDateFindsItsSuggestion) {
    EXPECT_EQ(queries(QStringLiteral("in 2 w")), QStringList({"in 2 weeks"}));
    EXPECT_EQ(queries(QStringLiteral("In 2 W")), QStringList({"in 2 weeks"}));
    const auto results = provider->results(QStringLiteral("in 2 w"));
    ASSERT_FALSE(results.empty());
    EXPECT_EQ(results.front().suggestionKind(), Kind(Kind::relativeDate));
    EXPECT_EQ(results.front().date(), kNow.addDays(14));
    EXPECT_EQ(results.front().title(), QStringLiteral("Saturday, 19 December, 10:30 AM"));
}

TEST_F(NLPDateProviderTest, thereAre177RelativeDatesCountsOutermost) {
    static const QRegularExpression relative(QStringLiteral("^in \\d+ (day|week|month)s?$"));
    std::vector<NLPDateSuggestion> found;
    for (const auto& suggestion : provider->suggestions())
        if (relative.match(suggestion.query).hasMatch()) found.push_back(suggestion);
    ASSERT_EQ(found.size(), 177u);
    EXPECT_EQ(found[0].query, QStringLiteral("in 1 day"));
    EXPECT_EQ(found[1].query, QStringLiteral("in 1 week"));
    EXPECT_EQ(found[2].query, QStringLiteral("in 1 month"));
    EXPECT_EQ(found[3].query, QStringLiteral("in 2 days"));
    EXPECT_EQ(found[3].expression, QStringLiteral("now + 2 days"));
    EXPECT_EQ(found[176].query, QStringLiteral("in 59 months"));
    EXPECT_EQ(found[176].expression, QStringLiteral("now + 59 months"));
    for (const auto& suggestion : found) EXPECT_EQ(suggestion.kind, Kind(Kind::relativeDate));
}

TEST_F(NLPDateProviderTest, timesOfDayStartAtTheCurrentHourForTodayAndCoverAllOfTomorrow) {
    QStringList today;
    QStringList tomorrow;
    for (const auto& suggestion : provider->suggestions()) {
        if (suggestion.kind != Kind(Kind::exactTime)) continue;
        if (suggestion.title.startsWith(QStringLiteral("Today at "))) today << suggestion.query;
        if (suggestion.title.startsWith(QStringLiteral("Tomorrow at "))) tomorrow << suggestion.query;
    }
    ASSERT_EQ(today.size(), 14);
    EXPECT_EQ(today.front(), QStringLiteral("at 10:00"));
    EXPECT_EQ(today.back(), QStringLiteral("at 23:00"));
    ASSERT_EQ(tomorrow.size(), 24);
    EXPECT_EQ(tomorrow.front(), QStringLiteral("tomorrow at 00:00"));

    EXPECT_EQ(queries(QStringLiteral("today at 15")), QStringList({"at 15:00"}));
    EXPECT_EQ(queries(QStringLiteral("tomorrow at 9")), QStringList({"tomorrow at 09:00"}));
    const auto atNine = provider->results(QStringLiteral("tomorrow at 9"));
    ASSERT_FALSE(atNine.empty());
    EXPECT_EQ(atNine.front().date(), QDateTime(QDate(2026, 12, 6), QTime(9, 0)));
    EXPECT_TRUE(atNine.front().hasTimeComponent());
    EXPECT_EQ(atNine.front().title(), QStringLiteral("Tomorrow"));
    const auto atThree = provider->results(QStringLiteral("at 15"));
    ASSERT_FALSE(atThree.empty());
    EXPECT_EQ(atThree.front().date(), QDateTime(kNow.date(), QTime(15, 0)));
}

TEST_F(NLPDateProviderTest, fixedPhrasesMonthsAndWeekdays) {
    const struct {
        const char* text;
        QDate date;
        Kind kind;
    } rows[] = {
        {"next week", QDate(2026, 12, 12), Kind::relativeDate},
        {"next month", QDate(2027, 1, 5), Kind::relativeDate},
        {"next year", QDate(2027, 12, 5), Kind::relativeDate},
        {"in two", QDate(2026, 12, 19), Kind::relativeDate},
        {"two weeks", QDate(2026, 12, 19), Kind::relativeDate},
        {"yesterday", QDate(2026, 12, 4), Kind::default_},
        {"febr", QDate(2027, 2, 1), Kind::month},
        {"dec", QDate(2027, 12, 1), Kind::month},
        {"wed", QDate(2026, 12, 9), Kind::weekday},
        {"sat", QDate(2026, 12, 12), Kind::weekday},
    };
    for (const auto& row : rows) {
        const auto results = provider->results(QString::fromUtf8(row.text));
        ASSERT_FALSE(results.empty()) << row.text;
        EXPECT_EQ(results.front().date().date(), row.date) << row.text;
        EXPECT_EQ(results.front().suggestionKind(), row.kind) << row.text;
    }
    EXPECT_EQ(provider->results(QStringLiteral("yesterday")).front().title(), QStringLiteral("Yesterday"));
}

TEST_F(NLPDateProviderTest, aTextTheIndexDoesNotKnowIsReadAsADateItself) {
    const auto results = provider->results(QStringLiteral("next friday at 9pm"));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results.front().suggestionKind(), Kind::parsedDate(true));
    EXPECT_EQ(results.front().date(), QDateTime(QDate(2026, 12, 11), QTime(21, 0)));
    EXPECT_EQ(results.front().title(), QStringLiteral("Friday, 11 December, 9:00 PM"));
}

TEST_F(NLPDateProviderTest, textsThatAreNoDatesGiveNothing) {
    for (const char* text : {"zzzz", "hello world", "   ", "99.99", "in -1 days", "5 km to mi", "@@@", "in 60 days x"})
        EXPECT_TRUE(provider->results(QString::fromUtf8(text)).empty()) << text;
}

TEST_F(NLPDateProviderTest, aLongListIsCutAtTheMaximum) {
    EXPECT_EQ(queries(QStringLiteral("in")).size(), 178u);  // the 177 and "in two weeks"
    EXPECT_EQ(provider->results(QStringLiteral("in")).size(), 20u);
}

TEST(NLPDateProviderTitle, namesNearbyDaysAndFormatsTheOthers) {
    EXPECT_EQ(NLPDateProvider::title(kNow.addSecs(3600), true, kNow), QStringLiteral("Today"));
    EXPECT_EQ(NLPDateProvider::title(kNow.addDays(1), false, kNow), QStringLiteral("Tomorrow"));
    EXPECT_EQ(NLPDateProvider::title(kNow.addDays(-1), false, kNow), QStringLiteral("Yesterday"));
    EXPECT_EQ(NLPDateProvider::title(QDateTime(QDate(2026, 12, 7), QTime(9, 5)), true, kNow),
              QStringLiteral("Monday, 7 December, 9:05 AM"));
    EXPECT_EQ(NLPDateProvider::title(QDateTime(QDate(2027, 1, 1), QTime(0, 0)), false, kNow),
              QStringLiteral("Friday, 1 January, 2027"));
}

}  // namespace
}  // namespace vantrel::test
