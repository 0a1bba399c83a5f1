// The sources of the schedule: files, links on a local HTTP server (with the
// copy kept for when the link is down), and the settings they are kept in.
#include "core/commands/PackageRegistry.h"
#include "features/calendar/CalendarFeature.h"
#include "features/calendar/CalendarService.h"
#include "support/CalendarFixtures.h"
#include "support/LocalHttpServer.h"
#include "support/TestEnvironment.h"

#include <QTemporaryDir>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <future>

namespace vantrel::test {
namespace {

class CalendarSourcesTest : public ::testing::Test {
protected:
    ScopedXdgHome home;
    QTemporaryDir folder;
    const QDate today = QDate::currentDate();

    // Runs the blocking read on another thread while this one serves HTTP.
    static Schedule scheduleServing(const CalendarService& service, const QDateTime& from, const QDateTime& to) {
        auto result = std::async(std::launch::async, [&] { return service.schedule(from, to); });
        EXPECT_TRUE(waitUntil([&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                              30000));
        return result.get();
    }

    static bool hasTitle(const Schedule& schedule, const QString& title) {
        return std::any_of(schedule.events.begin(), schedule.events.end(),
                           [&](const EventOccurrence& e) { return e.title == title; });
    }
};

TEST_F(CalendarSourcesTest, SourcesAreFilesOrLinksAndAnythingElseIsRefused) {
    const QString file = makeCalendarFile(QStringLiteral("schedule"), QDir(folder.path()).filePath("s.ics"), today);
    QString problem;
    EXPECT_EQ(CalendarService::normalizeSource(file, &problem), file);
    EXPECT_EQ(CalendarService::normalizeSource(QStringLiteral("webcal://example.org/cal.ics"), &problem),
              QStringLiteral("https://example.org/cal.ics"));
    EXPECT_EQ(CalendarService::normalizeSource(QStringLiteral("  https://example.org/a.ics "), &problem),
              QStringLiteral("https://example.org/a.ics"));
    EXPECT_FALSE(CalendarService::normalizeSource(folder.filePath("missing.ics"), &problem));
    EXPECT_TRUE(problem.contains(QStringLiteral("neither an existing file nor an http(s) link")));
    EXPECT_FALSE(CalendarService::normalizeSource(QStringLiteral("https://"), &problem));
    EXPECT_FALSE(CalendarService::normalizeSource(QString(), &problem));
}

TEST_F(CalendarSourcesTest, ALinkIsFetchedAndItsLastCopyIsUsedWhenItIsDown) {
    const QByteArray text = makeCalendarText(QStringLiteral("schedule"), QDir(folder.path()), today);
    LocalHttpServer server;
    ASSERT_TRUE(server.listen());
    server.route(QStringLiteral("/cal.ics"), {200, "text/calendar", text});
    const QString link = server.url(QStringLiteral("/cal.ics")).toString();
    const CalendarService service(CalendarSettings{{link}, false}, nullptr, 5000);
    const QDateTime from(today, QTime(0, 0));
    const QDateTime to = from.addDays(7);

    const Schedule fetched = scheduleServing(service, from, to);
    EXPECT_TRUE(hasTitle(fetched, QStringLiteral("Weekly sync")));
    EXPECT_TRUE(fetched.notes.isEmpty()) << fetched.notes.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(server.requests(QStringLiteral("/cal.ics")), 1);

    server.route(QStringLiteral("/cal.ics"), {500, "text/plain", "down"});
    const Schedule cached = scheduleServing(service, from, to);
    EXPECT_TRUE(hasTitle(cached, QStringLiteral("Weekly sync")));
    ASSERT_EQ(cached.notes.size(), 1);
    EXPECT_TRUE(cached.notes[0].contains(QStringLiteral("the server answered 500")));
    EXPECT_TRUE(cached.notes[0].contains(QStringLiteral("showing the copy fetched before")));

    // A link never fetched and not answering: a note, no events, in time.
    server.hold(QStringLiteral("/slow.ics"));
    const CalendarService slow(CalendarSettings{{server.url(QStringLiteral("/slow.ics")).toString()}, false}, nullptr, 500);
    const Schedule nothing = scheduleServing(slow, from, to);
    EXPECT_TRUE(nothing.events.empty());
    ASSERT_EQ(nothing.notes.size(), 1);
    EXPECT_TRUE(nothing.notes[0].contains(QStringLiteral("could not be fetched"))) << nothing.notes[0].toStdString();
    server.release(QStringLiteral("/slow.ics"));
}

TEST_F(CalendarSourcesTest, AMissingOrBrokenSourceIsNamedAndTheOthersStillShow) {
    const QString good = makeCalendarFile(QStringLiteral("schedule"), QDir(folder.path()).filePath("good.ics"), today);
    const QString broken = writeTestFile(folder.filePath("broken.ics"), "this is not iCalendar");
    const QString missing = folder.filePath("missing.ics");
    const CalendarService service(CalendarSettings{{broken, missing, good}, false}, nullptr);
    const Schedule schedule = service.schedule(QDateTime(today, QTime(0, 0)), QDateTime(today.addDays(7), QTime(0, 0)));
    EXPECT_TRUE(hasTitle(schedule, QStringLiteral("Company holiday")));
    ASSERT_EQ(schedule.notes.size(), 2) << schedule.notes.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(schedule.notes[0].startsWith(QStringLiteral("broken.ics: ")));
    EXPECT_TRUE(schedule.notes[1].contains(missing));
}

}  // namespace
}  // namespace vantrel::test
