// The desktop's calendars: Evolution Data Server's factories, started by the
// test session's D-Bus, with a calendar, a task list and an address book made
// here, written and read back through the launcher's code.
#include "features/calendar/CalendarService.h"
#include "features/contacts/ContactsService.h"
#include "platform/PersonalData.h"
#include "platform/Platform.h"
#include "support/TestEnvironment.h"

#include <QTimeZone>
#include <QUuid>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

class DesktopCalendarTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(platform().personalData) << "the desktop composition installs the store";
        store = platform().personalData();
        const QString problem = store->problem();
        if (!problem.isEmpty()) {
            if (desktopRequired()) FAIL() << problem.toStdString();
            GTEST_SKIP() << problem.toStdString();
        }
    }

    std::shared_ptr<PersonalDataStore> store;
    const QString tag = QUuid::createUuid().toString(QUuid::Id128).left(8);
};

TEST_F(DesktopCalendarTest, AnEventWrittenToANewCalendarIsReadBackInTheSchedule) {
    const QString uid = store->createCollection(PersonalDataStore::Kind::events, QStringLiteral("Vantrel test ") + tag);
    ASSERT_FALSE(uid.isEmpty());
    const QDate tomorrow = QDate::currentDate().addDays(1);
    const QByteArray event = "BEGIN:VEVENT\r\nUID:eds-" + tag.toUtf8() +
                             "@vantrel.test\r\nDTSTAMP:20240101T000000Z\r\n"
                             "DTSTART;TZID=Europe/Berlin:" +
                             tomorrow.toString(QStringLiteral("yyyyMMdd")).toUtf8() +
                             "T100000\r\nDTEND;TZID=Europe/Berlin:" + tomorrow.toString(QStringLiteral("yyyyMMdd")).toUtf8() +
                             "T110000\r\nRRULE:FREQ=DAILY;COUNT=3\r\nSUMMARY:Desktop planning " + tag.toUtf8() +
                             "\r\nLOCATION:https://meet.jit.si/vantrel-" + tag.toUtf8() + "\r\nEND:VEVENT\r\n";
    store->saveComponent(uid, event);

    const std::vector<PersonalDataStore::Collection> calendars = store->collections(PersonalDataStore::Kind::events);
    EXPECT_TRUE(std::any_of(calendars.begin(), calendars.end(),
                            [&](const PersonalDataStore::Collection& c) { return c.uid == uid; }));

    const CalendarService service(CalendarSettings{{}, true}, store);
    const QDateTime from(QDate::currentDate(), QTime(0, 0));
    const Schedule schedule = service.schedule(from, from.addDays(7));
    std::vector<EventOccurrence> ours;
    for (const EventOccurrence& occurrence : schedule.events)
        if (occurrence.title == QStringLiteral("Desktop planning ") + tag) ours.push_back(occurrence);
    ASSERT_EQ(ours.size(), 3u) << schedule.notes.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(ours[0].start, QDateTime(tomorrow, QTime(10, 0), QTimeZone("Europe/Berlin")));
    EXPECT_EQ(ours[2].start, QDateTime(tomorrow.addDays(2), QTime(10, 0), QTimeZone("Europe/Berlin")));
    EXPECT_EQ(ours[0].joinUrl.host(), QStringLiteral("meet.jit.si"));
    EXPECT_EQ(ours[0].sourceName, QStringLiteral("Vantrel test ") + tag);
}

TEST_F(DesktopCalendarTest, AReminderIsCreatedInTheDesktopsTaskListAndCompletedThere) {
    const CalendarService service(CalendarSettings{{}, true}, store);
    const QString title = QStringLiteral("Desktop reminder ") + tag;
    const QString list = service.createReminder(title, QDateTime(QDate::currentDate().addDays(1), QTime(9, 0)), false);
    EXPECT_FALSE(list.isEmpty());
    EXPECT_NE(list, QStringLiteral("Reminders")) << "a writable desktop task list comes first";

    auto findOurs = [&]() -> std::optional<TaskItem> {
        for (const TaskItem& task : service.reminders().tasks)
            if (task.title == title) return task;
        return std::nullopt;
    };
    const std::optional<TaskItem> created = findOurs();
    ASSERT_TRUE(created);
    EXPECT_FALSE(created->completed);
    EXPECT_EQ(created->sourceName, list);
    service.completeReminder(*created);
    const std::optional<TaskItem> completed = findOurs();
    ASSERT_TRUE(completed);
    EXPECT_TRUE(completed->completed);
}

TEST_F(DesktopCalendarTest, AContactOfANewAddressBookIsFound) {
    const QString uid = store->createCollection(PersonalDataStore::Kind::contacts, QStringLiteral("Vantrel book ") + tag);
    const QString family = QStringLiteral("Tester") + tag;
    store->saveContact(uid, "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Dana " + family.toUtf8() + "\r\nN:" + family.toUtf8() +
                                ";Dana;;;\r\nEMAIL;TYPE=WORK:dana-" + tag.toUtf8() +
                                "@example.org\r\nTEL;TYPE=CELL:+1 555 0100\r\nEND:VCARD\r\n");
    const ContactsService contacts(ContactsSettings{{}, true}, store);
    const ContactSearch found = contacts.search(family);
    ASSERT_EQ(found.contacts.size(), 1u) << found.notes.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(found.contacts[0].name, QStringLiteral("Dana ") + family);
    ASSERT_EQ(found.contacts[0].emails.size(), 1u);
    EXPECT_EQ(found.contacts[0].emails[0].value, QStringLiteral("dana-") + tag + QStringLiteral("@example.org"));
    ASSERT_EQ(found.contacts[0].phones.size(), 1u);
}

}  // namespace
}  // namespace vantrel::test
