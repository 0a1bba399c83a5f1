// `vantrel calendar`, `vantrel reminders` and `vantrel contacts` as a user
// runs them: files added with add-source, read in the local time zone of the
// process (several zones here), links on a local HTTP server, bad input.
#include "cli/CliTestSupport.h"
#include "support/CalendarFixtures.h"
#include "support/LocalHttpServer.h"

#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QUuid>

namespace vantrel::test {
namespace {

class CliCalendarTest : public CliFixture {
protected:
    QTemporaryDir folder;

    // Runs vantrel with extra environment while this process keeps serving
    // its test servers.
    static ProcessRun runWith(const QStringList& arguments, const QMap<QString, QString>& environment = {}) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (auto it = environment.begin(); it != environment.end(); ++it) env.insert(it.key(), it.value());
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(VANTREL_EXECUTABLE), arguments);
        EXPECT_TRUE(waitUntil([&] { return process.state() == QProcess::NotRunning; }, 60000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    static QJsonObject json(const ProcessRun& run) {
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return QJsonDocument::fromJson(run.out.toUtf8()).object();
    }

    // The date of each event of `vantrel calendar --json` by title (the first day it is listed on).
    static QMap<QString, QStringList> daysByTitle(const QJsonObject& schedule) {
        QMap<QString, QStringList> days;
        for (const QJsonValue& day : schedule[QStringLiteral("days")].toArray())
            for (const QJsonValue& event : day[QStringLiteral("events")].toArray())
                days[event[QStringLiteral("title")].toString()] << day[QStringLiteral("date")].toString();
        return days;
    }

    static QJsonObject eventTitled(const QJsonObject& schedule, const QString& title) {
        for (const QJsonValue& day : schedule[QStringLiteral("days")].toArray())
            for (const QJsonValue& event : day[QStringLiteral("events")].toArray())
                if (event[QStringLiteral("title")].toString() == title) return event.toObject();
        return {};
    }
};

TEST_F(CliCalendarTest, AnAddedFileListsAWeeklyAndAnAllDayEventOnTheirDaysInEachTimeZone) {
    // UTC, then zones east and west, one (Auckland, UTC+13 in December) where
    // the 12:00 UTC call falls on the next day.
    for (const QString zone : {"UTC", "Europe/Berlin", "Asia/Kolkata", "America/Los_Angeles", "Pacific/Auckland"}) {
        SCOPED_TRACE(zone.toStdString());
        const QTimeZone timeZone(zone.toUtf8());
        const QDate today = QDateTime::currentDateTimeUtc().toTimeZone(timeZone).date();
        const QString file = makeCalendarFile(QStringLiteral("schedule"),
                                              QDir(folder.path()).filePath(QString(zone).replace('/', '_') + ".ics"), today);
        ASSERT_FALSE(file.isEmpty());
        const ProcessRun added = run({"calendar", "add-source", file});
        ASSERT_EQ(added.exitCode, 0) << added.err.toStdString();
        EXPECT_EQ(added.out, QStringLiteral("Added %1\n").arg(file));

        const QJsonObject schedule = json(runWith({"calendar", "--days", "7", "--json"}, {{"TZ", zone}}));
        ASSERT_EQ(schedule[QStringLiteral("days")].toArray().size(), 7);
        EXPECT_EQ(schedule[QStringLiteral("days")][0][QStringLiteral("date")].toString(), today.toString(Qt::ISODate));
        const QMap<QString, QStringList> days = daysByTitle(schedule);

        // 10:00 in Berlin, tomorrow in the zone's calendar (also in Los Angeles:
        // 01:00 the same day, and Auckland: 22:00 the same day).
        const QDateTime weeklyStart(today.addDays(1), QTime(10, 0), QTimeZone("Europe/Berlin"));
        EXPECT_EQ(days.value(QStringLiteral("Weekly sync")),
                  QStringList{weeklyStart.toTimeZone(timeZone).date().toString(Qt::ISODate)});
        const QJsonObject weekly = eventTitled(schedule, QStringLiteral("Weekly sync"));
        EXPECT_EQ(QDateTime::fromString(weekly[QStringLiteral("start")].toString(), Qt::ISODate), weeklyStart);
        EXPECT_EQ(weekly[QStringLiteral("joinUrl")].toString(), QStringLiteral("https://meet.google.com/abc-defg-hij"));

        // All-day: the same calendar day wherever the reader is.
        EXPECT_EQ(days.value(QStringLiteral("Company holiday")), QStringList{today.addDays(2).toString(Qt::ISODate)});
        EXPECT_TRUE(eventTitled(schedule, QStringLiteral("Company holiday"))[QStringLiteral("allDay")].toBool());
        EXPECT_EQ(days.value(QStringLiteral("Conference trip")),
                  (QStringList{today.addDays(4).toString(Qt::ISODate), today.addDays(5).toString(Qt::ISODate),
                               today.addDays(6).toString(Qt::ISODate)}));

        const QDateTime call(today.addDays(2), QTime(12, 0), QTimeZone::utc());
        EXPECT_EQ(days.value(QStringLiteral("Call with Tokyo")),
                  QStringList{call.toTimeZone(timeZone).date().toString(Qt::ISODate)});
        if (zone == QLatin1String("Pacific/Auckland")) {
            EXPECT_EQ(days.value(QStringLiteral("Call with Tokyo")), QStringList{today.addDays(3).toString(Qt::ISODate)});
        }
        EXPECT_FALSE(days.contains(QStringLiteral("Cancelled meeting")));

        ASSERT_EQ(run({"calendar", "remove-source", file}).exitCode, 0);
    }
}

TEST_F(CliCalendarTest, TheTextListIsGroupedByDayWithTimesAndJoinLinks) {
    const QDate today = QDate::currentDate();
    const QString file = makeCalendarFile(QStringLiteral("schedule"), folder.filePath("s.ics"), today);
    ASSERT_EQ(run({"calendar", "add-source", file}).exitCode, 0);
    const ProcessRun listed = runWith({"calendar", "--days", "3"}, {{"TZ", "UTC"}});
    ASSERT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    EXPECT_TRUE(listed.out.startsWith(QStringLiteral("Tomorrow (%1)\n").arg(today.addDays(1).toString(Qt::ISODate))))
        << listed.out.toStdString();
    EXPECT_TRUE(listed.out.contains(QStringLiteral("All day        Company holiday\n"))) << listed.out.toStdString();
    EXPECT_TRUE(listed.out.contains(QStringLiteral("12:00–12:30    Call with Tokyo  https://us02web.zoom.us/j/123456789?pwd=abc")))
        << listed.out.toStdString();
    EXPECT_FALSE(listed.out.contains(QStringLiteral("New York standup")));
}

TEST_F(CliCalendarTest, SourcesAreCheckedWhenAddedAndListed) {
    const QString broken = writeTestFile(folder.filePath("notes.ics"), "this is not a calendar");
    const ProcessRun notCalendar = run({"calendar", "add-source", broken});
    EXPECT_EQ(notCalendar.exitCode, 1);
    EXPECT_TRUE(notCalendar.err.contains(QStringLiteral("not an iCalendar file"))) << notCalendar.err.toStdString();

    const ProcessRun missing = run({"calendar", "add-source", folder.filePath("missing.ics")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("neither an existing file nor an http(s) link")));

    const ProcessRun notThere = run({"calendar", "remove-source", folder.filePath("never-added.ics")});
    EXPECT_EQ(notThere.exitCode, 1);
    EXPECT_TRUE(notThere.err.contains(QStringLiteral("is not one of the calendar sources")));

    const QString malformed = makeCalendarFile(QStringLiteral("malformed"), folder.filePath("malformed.ics"));
    const ProcessRun partly = run({"calendar", "add-source", malformed});
    EXPECT_EQ(partly.exitCode, 0) << partly.err.toStdString();
    EXPECT_TRUE(partly.err.contains(QStringLiteral("could not be read"))) << partly.err.toStdString();
    EXPECT_EQ(run({"calendar", "sources"}).out, malformed + QLatin1Char('\n'));
    EXPECT_EQ(run({"calendar", "add-source", malformed}).out, malformed + QStringLiteral(" is already a calendar source\n"));

    EXPECT_EQ(run({"calendar", "--days", "0"}).exitCode, 2);
    EXPECT_EQ(run({"calendar", "--days", "many"}).exitCode, 2);
    EXPECT_EQ(run({"calendar", "--bogus"}).exitCode, 2);
    EXPECT_EQ(run({"calendar", "add-source"}).exitCode, 2);
}

TEST_F(CliCalendarTest, ALinkIsReadAndItsCopyServesWhileItIsDown) {
    const QByteArray text = makeCalendarText(QStringLiteral("schedule"), QDir(folder.path()), QDate::currentDate());
    LocalHttpServer server;
    ASSERT_TRUE(server.listen());
    server.route(QStringLiteral("/team.ics"), {200, "text/calendar", text});
    const QString link = server.url(QStringLiteral("/team.ics")).toString();
    const ProcessRun added = runWith({"calendar", "add-source", link});
    ASSERT_EQ(added.exitCode, 0) << added.err.toStdString();
    EXPECT_TRUE(daysByTitle(json(runWith({"calendar", "--json"}))).contains(QStringLiteral("Company holiday")));

    server.route(QStringLiteral("/team.ics"), {404, "text/plain", "gone"});
    const ProcessRun down = runWith({"calendar", "--json"});
    EXPECT_TRUE(daysByTitle(json(down)).contains(QStringLiteral("Company holiday")));
    EXPECT_TRUE(down.err.contains(QStringLiteral("(the server answered 404); showing the copy fetched before")))
        << down.err.toStdString();
}

TEST_F(CliCalendarTest, WithoutTheDesktopsCalendarServiceTheCommandsSaySoAndReadTheFiles) {
    const QString file = makeCalendarFile(QStringLiteral("schedule"), folder.filePath("s.ics"), QDate::currentDate());
    ASSERT_EQ(run({"calendar", "add-source", file}).exitCode, 0);
    const QMap<QString, QString> noBus{{"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus"}};
    const ProcessRun schedule = runWith({"calendar", "--json"}, noBus);
    EXPECT_TRUE(daysByTitle(json(schedule)).contains(QStringLiteral("Weekly sync")));
    EXPECT_TRUE(schedule.err.contains(QStringLiteral("Evolution Data Server cannot be reached"))) << schedule.err.toStdString();

    const ProcessRun added = runWith({"reminders", "add", "Offline", "task"}, noBus);
    EXPECT_EQ(added.exitCode, 0) << added.err.toStdString();
    EXPECT_EQ(added.out, QStringLiteral("Added \"Offline task\" to Reminders\n"));
    EXPECT_TRUE(added.err.contains(QStringLiteral("Evolution Data Server")));
    const ProcessRun contacts = runWith({"contacts", "nobody"}, noBus);
    EXPECT_TRUE(contacts.err.contains(QStringLiteral("Evolution Data Server cannot be reached")));
}

TEST_F(CliCalendarTest, ARemindersDueDateIsReadFromWordsAndItCanBeCompleted) {
    // The desktop's task list outlives this test's folders: the titles are this run's own.
    const QString tag = QUuid::createUuid().toString(QUuid::Id128).left(8);
    const QString milkTitle = QStringLiteral("Buy milk ") + tag;
    const QString tripTitle = QStringLiteral("Plan trip ") + tag;
    const QDate tomorrow = QDate::currentDate().addDays(1);
    const ProcessRun added = run({"reminders", "add", "Buy", "milk", tag, "--due", "tomorrow at 9"});
    ASSERT_EQ(added.exitCode, 0) << added.err.toStdString();
    EXPECT_TRUE(added.out.startsWith(QStringLiteral("Added \"%1\" to ").arg(milkTitle))) << added.out.toStdString();
    EXPECT_TRUE(added.out.endsWith(QStringLiteral(", due %1 09:00\n").arg(tomorrow.toString(Qt::ISODate))))
        << added.out.toStdString();
    ASSERT_EQ(run({"reminders", "add", tripTitle, "--due", "friday"}).exitCode, 0);

    const QJsonObject listed = json(run({"reminders", "--json"}));
    QJsonObject milk;
    QJsonObject trip;
    for (const QJsonValue& task : listed[QStringLiteral("reminders")].toArray()) {
        if (task[QStringLiteral("title")] == milkTitle) milk = task.toObject();
        if (task[QStringLiteral("title")] == tripTitle) trip = task.toObject();
    }
    ASSERT_FALSE(milk.isEmpty()) << QJsonDocument(listed).toJson().toStdString();
    EXPECT_EQ(QDateTime::fromString(milk[QStringLiteral("due")].toString(), Qt::ISODate),
              QDateTime(tomorrow, QTime(9, 0)));
    EXPECT_FALSE(milk[QStringLiteral("dueIsDay")].toBool());
    ASSERT_FALSE(trip.isEmpty());
    EXPECT_TRUE(trip[QStringLiteral("dueIsDay")].toBool());
    EXPECT_EQ(QDate::fromString(trip[QStringLiteral("due")].toString(), Qt::ISODate).dayOfWeek(), 5);

    const ProcessRun completed = run({"reminders", "complete", milk[QStringLiteral("uid")].toString()});
    EXPECT_EQ(completed.exitCode, 0) << completed.err.toStdString();
    EXPECT_EQ(completed.out, QStringLiteral("Completed \"%1\"\n").arg(milkTitle));
    EXPECT_FALSE(run({"reminders"}).out.contains(milkTitle));
    EXPECT_TRUE(run({"reminders", "--all"}).out.contains(QStringLiteral("[x] ") + milkTitle));
    ASSERT_EQ(run({"reminders", "complete", trip[QStringLiteral("uid")].toString()}).exitCode, 0);

    const ProcessRun badDate = run({"reminders", "add", "Something", "--due", "blorpday"});
    EXPECT_EQ(badDate.exitCode, 1);
    EXPECT_TRUE(badDate.err.contains(QStringLiteral("'blorpday' is not a date")));
    EXPECT_EQ(run({"reminders", "add"}).exitCode, 2);
    EXPECT_EQ(run({"reminders", "add", "x", "--due"}).exitCode, 2);
    EXPECT_EQ(run({"reminders", "complete", "no-such-uid"}).exitCode, 1);
}

TEST_F(CliCalendarTest, ContactsAreFoundInAnAddedFolderAndBrokenCardsAreNamed) {
    const QString contacts = QDir::cleanPath(fixturesFolder() + QStringLiteral("/contacts"));
    ASSERT_EQ(run({"contacts", "add-source", contacts}).exitCode, 0);
    const ProcessRun ada = run({"contacts", "ada", "--json"});
    ASSERT_EQ(ada.exitCode, 0) << ada.err.toStdString();
    const QJsonArray found = QJsonDocument::fromJson(ada.out.toUtf8()).object()[QStringLiteral("contacts")].toArray();
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(found[0][QStringLiteral("name")].toString(), QStringLiteral("Ada Lovelace"));
    EXPECT_EQ(found[0][QStringLiteral("emails")][0][QStringLiteral("address")].toString(),
              QStringLiteral("ada@analytical.example"));
    EXPECT_TRUE(ada.err.contains(contacts + QStringLiteral("/broken-encoding.vcf: card 2 (Bad Bytes) was skipped")))
        << ada.err.toStdString();

    const ProcessRun text = run({"contacts", "müller"});
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_EQ(text.out, QStringLiteral("Jürgen Müller  <juergen@mueller.example>  +49 30 1234567\n"));

    const ProcessRun nobody = run({"contacts", "zzzz"});
    EXPECT_EQ(nobody.exitCode, 1);
    EXPECT_EQ(nobody.out, QStringLiteral("No contact matches \"zzzz\".\n"));
    EXPECT_EQ(run({"contacts"}).exitCode, 2);
    EXPECT_EQ(run({"contacts", "add-source", folder.filePath("nope")}).exitCode, 1);
}

}  // namespace
}  // namespace vantrel::test
