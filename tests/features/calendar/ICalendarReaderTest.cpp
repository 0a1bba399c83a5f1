// Reading iCalendar files: recurrences with their exceptions, all-day events,
// time zones from the file, the zone database and UTC, and what happens with
// files that are broken, huge or repeat without end.
#include "features/calendar/CalendarService.h"
#include "features/calendar/ICalendar.h"
#include "support/CalendarFixtures.h"

#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <algorithm>

namespace vantrel::test {
namespace {

class ICalendarReaderTest : public ::testing::Test {
protected:
    QTemporaryDir folder;
    const QDate today = QDate::currentDate();

    QDateTime startOf(const QDate& day) const { return QDateTime(day, QTime(0, 0)); }

    CalendarContent readSchedule(int days) {
        const QByteArray text = makeCalendarText(QStringLiteral("schedule"), QDir(folder.path()), today);
        EXPECT_FALSE(text.isEmpty());
        return ICalendarReader::read(text, QStringLiteral("schedule.ics"), startOf(today), startOf(today.addDays(days)));
    }

    static std::vector<EventOccurrence> titled(const CalendarContent& content, const QString& title) {
        std::vector<EventOccurrence> found;
        std::copy_if(content.events.begin(), content.events.end(), std::back_inserter(found),
                     [&](const EventOccurrence& event) { return event.title == title; });
        return found;
    }
};

TEST_F(ICalendarReaderTest, AWeeklyEventRepeatsAtItsOwnZonesTimeSkippingExdatesAndTakingOverrides) {
    const CalendarContent content = readSchedule(22);
    EXPECT_TRUE(content.readable);
    EXPECT_TRUE(content.problems.isEmpty()) << content.problems.join(QLatin1Char('\n')).toStdString();

    // The file's own VTIMEZONE ("Custom/Berlin Office") has Berlin's rules.
    const QTimeZone berlin("Europe/Berlin");
    const QDate tomorrow = today.addDays(1);
    const std::vector<EventOccurrence> weekly = titled(content, QStringLiteral("Weekly sync"));
    ASSERT_EQ(weekly.size(), 1u) << "tomorrow only: the next week is excluded, the one after is moved";
    EXPECT_EQ(weekly[0].start, QDateTime(tomorrow, QTime(10, 0), berlin));
    EXPECT_EQ(weekly[0].end, QDateTime(tomorrow, QTime(11, 0), berlin));
    EXPECT_FALSE(weekly[0].allDay);
    EXPECT_EQ(weekly[0].location, QStringLiteral("Room 4"));
    // The meeting link wins over the other link of the description.
    EXPECT_EQ(weekly[0].joinUrl, QUrl(QStringLiteral("https://meet.google.com/abc-defg-hij")));

    const std::vector<EventOccurrence> moved = titled(content, QStringLiteral("Weekly sync (moved)"));
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(moved[0].start, QDateTime(tomorrow.addDays(14), QTime(15, 0), berlin));
    EXPECT_EQ(moved[0].uid, weekly[0].uid);
}

TEST_F(ICalendarReaderTest, AllDayEventsKeepTheirDaysAndLongOnesCoverEachDay) {
    const CalendarContent content = readSchedule(7);
    const std::vector<EventOccurrence> holiday = titled(content, QStringLiteral("Company holiday"));
    ASSERT_EQ(holiday.size(), 1u);
    EXPECT_TRUE(holiday[0].allDay);
    EXPECT_EQ(holiday[0].firstDay, today.addDays(2));
    EXPECT_EQ(holiday[0].endDay, today.addDays(3));
    EXPECT_EQ(holiday[0].localLastDay(), today.addDays(2));

    const std::vector<ScheduleDay> days = groupByDay(content.events, today, today.addDays(6));
    ASSERT_EQ(days.size(), 7u);
    for (int offset = 0; offset < 7; ++offset) {
        const auto& events = days[size_t(offset)].events;
        const bool trip = std::any_of(events.begin(), events.end(),
                                      [](const EventOccurrence& e) { return e.title == QLatin1String("Conference trip"); });
        EXPECT_EQ(trip, offset >= 4 && offset <= 6) << "day +" << offset;
    }
    EXPECT_EQ(timeRangeText(holiday[0], today.addDays(2)), QStringLiteral("All day"));
}

TEST_F(ICalendarReaderTest, UtcZoneDatabaseAndFloatingTimesBecomeTheRightInstants) {
    const CalendarContent content = readSchedule(7);
    const std::vector<EventOccurrence> utc = titled(content, QStringLiteral("Call with Tokyo"));
    ASSERT_EQ(utc.size(), 1u);
    EXPECT_EQ(utc[0].start, QDateTime(today.addDays(2), QTime(12, 0), QTimeZone::utc()));
    EXPECT_EQ(utc[0].start.secsTo(utc[0].end), 30 * 60);
    EXPECT_EQ(utc[0].joinUrl.host(), QStringLiteral("us02web.zoom.us"));

    const std::vector<EventOccurrence> newYork = titled(content, QStringLiteral("New York standup"));
    ASSERT_EQ(newYork.size(), 1u);
    EXPECT_EQ(newYork[0].start, QDateTime(today.addDays(3), QTime(9, 0), QTimeZone("America/New_York")));
    EXPECT_EQ(newYork[0].joinUrl.host(), QStringLiteral("teams.microsoft.com"));

    const std::vector<EventOccurrence> floating = titled(content, QStringLiteral("Morning run"));
    ASSERT_EQ(floating.size(), 1u);
    EXPECT_EQ(floating[0].start, QDateTime(today.addDays(5), QTime(8, 0)));

    EXPECT_TRUE(titled(content, QStringLiteral("Cancelled meeting")).empty());
}

TEST_F(ICalendarReaderTest, EventsAreInTimeOrderWithAllDayOnesFirstEachDay) {
    const CalendarContent content = readSchedule(7);
    ASSERT_GE(content.events.size(), 5u);
    for (size_t i = 1; i < content.events.size(); ++i) {
        const EventOccurrence& a = content.events[i - 1];
        const EventOccurrence& b = content.events[i];
        ASSERT_LE(a.localFirstDay(), b.localFirstDay());
        if (a.localFirstDay() == b.localFirstDay() && !a.allDay && !b.allDay) {
            EXPECT_LE(a.start, b.start);
        }
        if (a.localFirstDay() == b.localFirstDay()) {
            EXPECT_FALSE(!a.allDay && b.allDay);
        }
    }
}

TEST_F(ICalendarReaderTest, ARuleThatNeverEndsIsExpandedOnlyOverTheWindow) {
    const QByteArray text = makeCalendarText(QStringLiteral("endless"), QDir(folder.path()));
    ASSERT_FALSE(text.isEmpty());
    // One day of an every-minute rule started in 2000: 1440 times, read quickly
    // because the walk starts near the window.
    CalendarContent day = ICalendarReader::read(text, QStringLiteral("endless.ics"), startOf(today), startOf(today.addDays(1)));
    EXPECT_EQ(titled(day, QStringLiteral("Every minute forever")).size(), 1440u);
    EXPECT_EQ(titled(day, QStringLiteral("Daily since 1990")).size(), 1u);
    EXPECT_TRUE(day.problems.isEmpty()) << day.problems.join(QLatin1Char('\n')).toStdString();

    // Thirty days would be 43200 times: the walk stops at its bound and says so.
    CalendarContent month =
        ICalendarReader::read(text, QStringLiteral("endless.ics"), startOf(today), startOf(today.addDays(30)));
    const size_t minutes = titled(month, QStringLiteral("Every minute forever")).size();
    EXPECT_GT(minutes, 0u);
    EXPECT_LE(minutes, size_t(ICalendarReader::maxOccurrencesWalked));
    EXPECT_EQ(titled(month, QStringLiteral("Daily since 1990")).size(), 30u);
    ASSERT_EQ(month.problems.size(), 1);
    EXPECT_TRUE(month.problems[0].contains(QStringLiteral("'Every minute forever' repeats too often")))
        << month.problems[0].toStdString();
}

TEST_F(ICalendarReaderTest, AMalformedFileKeepsWhatCanBeReadAndSaysWhatCouldNot) {
    const QByteArray text = makeCalendarText(QStringLiteral("malformed"), QDir(folder.path()));
    ASSERT_FALSE(text.isEmpty());
    const QDate day(2026, 1, 5);
    const CalendarContent content =
        ICalendarReader::read(text, QStringLiteral("malformed.ics"), startOf(day), startOf(day.addDays(1)));
    EXPECT_TRUE(content.readable);
    ASSERT_EQ(titled(content, QStringLiteral("Readable event")).size(), 1u);
    EXPECT_TRUE(titled(content, QStringLiteral("Broken date")).empty());
    EXPECT_FALSE(content.problems.isEmpty());
    EXPECT_TRUE(content.problems.join(QLatin1Char(' ')).contains(QStringLiteral("'No start' has no readable start")))
        << content.problems.join(QLatin1Char('\n')).toStdString();
}

TEST_F(ICalendarReaderTest, TextThatIsNotICalendarIsRefusedWhole) {
    for (const QByteArray& text : {QByteArray(), QByteArray("hello world"), QByteArray("BEGIN:VCARD\r\nFN:x\r\nEND:VCARD\r\n"),
                                   QByteArray("\0\1\2BEGIN:VCALENDAR", 19), QByteArray("BEGIN:VCALENDAR")}) {
        const CalendarContent content =
            ICalendarReader::read(text, QStringLiteral("x.ics"), startOf(today), startOf(today.addDays(7)));
        EXPECT_TRUE(content.events.empty());
        if (!content.readable) {
            EXPECT_FALSE(content.problems.isEmpty());
        }
    }
    const CalendarContent plain =
        ICalendarReader::read("just text", QStringLiteral("x.ics"), startOf(today), startOf(today.addDays(7)));
    EXPECT_FALSE(plain.readable);
    EXPECT_TRUE(plain.problems.value(0).contains(QStringLiteral("not an iCalendar file")));
}

TEST_F(ICalendarReaderTest, ATenMegabyteCalendarIsReadWhole) {
    int inFirstWeek = 0;
    const QByteArray text = hugeCalendar(today, 10 * 1024 * 1024, &inFirstWeek);
    ASSERT_GE(text.size(), 10 * 1024 * 1024);
    const CalendarContent content =
        ICalendarReader::read(text, QStringLiteral("huge.ics"), startOf(today), startOf(today.addDays(7)));
    EXPECT_TRUE(content.readable);
    EXPECT_TRUE(content.problems.isEmpty());
    EXPECT_EQ(int(content.events.size()), inFirstWeek);
}

TEST_F(ICalendarReaderTest, MeetingLinksArePreferredToOtherLinks) {
    struct Case {
        const char* location;
        const char* description;
        const char* expected;
    };
    const Case cases[] = {
        {"https://meet.google.com/xyz-abcd-efg", "", "https://meet.google.com/xyz-abcd-efg"},
        {"Room 1", "see https://example.org/doc and https://acme.zoom.us/j/987?pwd=x.", "https://acme.zoom.us/j/987?pwd=x"},
        {"", "Join https://meet.jit.si/VantrelStandup now", "https://meet.jit.si/VantrelStandup"},
        {"", "https://teams.live.com/meet/9312345", "https://teams.live.com/meet/9312345"},
        {"Office", "Notes at https://example.org/notes", "https://example.org/notes"},
        {"Office", "http://plain.example.org only", ""},
        {"", "", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(findJoinUrl(QString::fromUtf8(c.location), QString::fromUtf8(c.description)).toString(),
                  QString::fromUtf8(c.expected))
            << c.description;
}

}  // namespace
}  // namespace vantrel::test
