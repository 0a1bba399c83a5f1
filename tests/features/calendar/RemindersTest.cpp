// Tasks: read from iCalendar, created in the launcher's own task file,
// completed where they are stored, and the ones that fall due.
#include "features/calendar/CalendarFeature.h"
#include "features/calendar/CalendarService.h"
#include "support/CalendarFixtures.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

class RemindersTest : public ::testing::Test {
protected:
    ScopedXdgHome home;
    QTemporaryDir folder;
    const QDate today = QDate::currentDate();

    // No desktop store: only files.
    static CalendarService filesOnly(QStringList sources = {}) {
        return CalendarService(CalendarSettings{std::move(sources), false}, nullptr);
    }

    static const TaskItem* find(const ReminderList& list, const QString& title) {
        for (const TaskItem& task : list.tasks)
            if (task.title == title) return &task;
        return nullptr;
    }
};

TEST_F(RemindersTest, TasksOfAFileAreReadWithTheirDueDatesAndState) {
    const QString file = makeCalendarFile(QStringLiteral("tasks"), QDir(folder.path()).filePath("tasks.ics"), today);
    ASSERT_FALSE(file.isEmpty());
    const ReminderList list = filesOnly({file}).reminders();
    ASSERT_EQ(list.tasks.size(), 4u);
    // Open ones first, by due date, then those without; completed ones last.
    EXPECT_EQ(list.tasks[0].title, QStringLiteral("Send the report"));
    EXPECT_EQ(list.tasks[1].title, QStringLiteral("Pay rent"));
    EXPECT_EQ(list.tasks[2].title, QStringLiteral("Water the plants"));
    EXPECT_EQ(list.tasks[3].title, QStringLiteral("Book flights"));
    EXPECT_TRUE(list.tasks[3].completed);

    const TaskItem* report = find(list, QStringLiteral("Send the report"));
    ASSERT_TRUE(report && report->due);
    EXPECT_FALSE(report->dueIsDay);
    EXPECT_EQ(*report->due, QDateTime(today.addDays(1), QTime(9, 0), QTimeZone::utc()));
    const TaskItem* rent = find(list, QStringLiteral("Pay rent"));
    ASSERT_TRUE(rent && rent->due);
    EXPECT_TRUE(rent->dueIsDay);
    EXPECT_EQ(rent->dueDay(), today.addDays(3));
    EXPECT_EQ(*rent->alertTime(), QDateTime(today.addDays(3), QTime(9, 0)));
}

TEST_F(RemindersTest, ACreatedReminderGoesToTheLaunchersOwnFileAndCanBeCompleted) {
    const CalendarService service = filesOnly();
    const QDateTime due(today.addDays(2), QTime(17, 30));
    EXPECT_EQ(service.createReminder(QStringLiteral("  Call   the bank "), due, false), QStringLiteral("Reminders"));
    EXPECT_EQ(service.createReminder(QStringLiteral("Buy milk"), QDateTime(today.addDays(1), QTime(0, 0)), true),
              QStringLiteral("Reminders"));
    ASSERT_TRUE(QFile::exists(CalendarService::ownTaskFile()));

    ReminderList list = service.reminders();
    ASSERT_EQ(list.tasks.size(), 2u);
    const TaskItem* bank = find(list, QStringLiteral("Call the bank"));
    ASSERT_TRUE(bank && bank->due);
    EXPECT_EQ(*bank->due, due);
    const TaskItem* milk = find(list, QStringLiteral("Buy milk"));
    ASSERT_TRUE(milk);
    EXPECT_TRUE(milk->dueIsDay);
    EXPECT_EQ(milk->dueDay(), today.addDays(1));

    service.completeReminder(*bank);
    list = service.reminders();
    ASSERT_TRUE(find(list, QStringLiteral("Call the bank")));
    EXPECT_TRUE(find(list, QStringLiteral("Call the bank"))->completed);
    EXPECT_FALSE(find(list, QStringLiteral("Buy milk"))->completed);
    // The file is still iCalendar another program reads.
    const QByteArray text = readTestFile(CalendarService::ownTaskFile());
    EXPECT_TRUE(text.contains("STATUS:COMPLETED"));
    EXPECT_TRUE(text.contains("PERCENT-COMPLETE:100"));
}

TEST_F(RemindersTest, ATaskOfAFileTheUserAddedIsCompletedInThatFile) {
    const QString file = makeCalendarFile(QStringLiteral("tasks"), QDir(folder.path()).filePath("tasks.ics"), today);
    const CalendarService service = filesOnly({file});
    const ReminderList before = service.reminders();
    const TaskItem* plants = find(before, QStringLiteral("Water the plants"));
    ASSERT_TRUE(plants);
    service.completeReminder(*plants);
    EXPECT_TRUE(find(service.reminders(), QStringLiteral("Water the plants"))->completed);
    EXPECT_FALSE(QFile::exists(CalendarService::ownTaskFile()));
}

TEST_F(RemindersTest, BadInputIsRefusedWithASentence) {
    const CalendarService service = filesOnly();
    EXPECT_THROW(service.createReminder(QStringLiteral("   "), std::nullopt, false), std::exception);
    // The own task file broken by hand: creating does not overwrite it.
    writeTestFile(CalendarService::ownTaskFile(), "not a calendar");
    EXPECT_THROW(service.createReminder(QStringLiteral("x"), std::nullopt, false), std::exception);
    EXPECT_EQ(readTestFile(CalendarService::ownTaskFile()), QByteArray("not a calendar"));
    const ReminderList list = service.reminders();
    EXPECT_TRUE(list.tasks.empty());
    EXPECT_FALSE(list.notes.isEmpty());

    TaskItem gone;
    gone.uid = QStringLiteral("missing@vantrel.test");
    gone.title = QStringLiteral("Missing");
    gone.sourceKey = QStringLiteral("https://example.org/tasks.ics");
    EXPECT_THROW(service.completeReminder(gone), std::exception);
    EXPECT_THROW(ICalendarTasks::completeTask(ICalendarTasks::addTask({}, ICalendarTasks::makeTask("a", {}, false)),
                                              QStringLiteral("missing@vantrel.test")),
                 std::exception);
}

TEST_F(RemindersTest, OnlyOpenTasksThatFallDueInTheIntervalAreTold) {
    const QDateTime now(today, QTime(12, 0));
    std::vector<TaskItem> tasks(4);
    tasks[0].title = QStringLiteral("due now");
    tasks[0].due = now.addSecs(-10);
    tasks[1].title = QStringLiteral("due earlier");
    tasks[1].due = now.addSecs(-3600);
    tasks[2].title = QStringLiteral("done");
    tasks[2].due = now.addSecs(-10);
    tasks[2].completed = true;
    tasks[3].title = QStringLiteral("day");
    tasks[3].due = QDateTime(today, QTime(0, 0));
    tasks[3].dueIsDay = true;  // told at 9:00
    const std::vector<TaskItem> due = CalendarFeature::dueBetween(tasks, now.addSecs(-60), now);
    ASSERT_EQ(due.size(), 1u);
    EXPECT_EQ(due[0].title, QStringLiteral("due now"));
    const std::vector<TaskItem> morning =
        CalendarFeature::dueBetween(tasks, QDateTime(today, QTime(8, 59)), QDateTime(today, QTime(9, 0)));
    ASSERT_EQ(morning.size(), 1u);
    EXPECT_EQ(morning[0].title, QStringLiteral("day"));
}

}  // namespace
}  // namespace vantrel::test
