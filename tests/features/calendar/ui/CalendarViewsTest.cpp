// "My Schedule", "My Reminders", "Create Reminder", "Search Contacts" and the
// two preference pages on the test session's display, run as root search
// runs them (the registry's commands), over files made by real tools.
#include "support/AppTestSupport.h"
#include "support/CalendarFixtures.h"
#include "support/RecordingPresenter.h"

#include "core/api/FeatureContext.h"
#include "core/commands/PackageRegistry.h"
#include "core/rootsearch/LauncherSearch.h"
#include "data/SearchRepository.h"
#include "features/calendar/CalendarFeature.h"
#include "features/calendar/ui/CalendarPreferencesPage.h"
#include "features/calendar/ui/CreateReminderView.h"
#include "features/calendar/ui/RemindersView.h"
#include "features/calendar/ui/ScheduleView.h"
#include "features/contacts/ContactsFeature.h"
#include "features/contacts/ui/ContactsPreferencesPage.h"
#include "features/contacts/ui/ContactsView.h"
#include "kit/UserDefaults.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>

namespace vantrel::test {
namespace {

class CalendarViewsTest : public RegistryFixture {
protected:
    void SetUp() override {
        RegistryFixture::SetUp();
        defaults = std::make_unique<UserDefaults>(home.root() + QStringLiteral("/calendar.conf"));
        launcher = std::make_unique<LauncherSearch>(std::make_shared<SearchRepository>(pool), *registry);
        context = std::make_unique<FeatureContext>(
            FeatureContext::Services{*registry, *launcher, *defaults, center, nullptr, &environment});
        std::vector<std::unique_ptr<Feature>> features;
        features.push_back(std::make_unique<CalendarFeature>());
        features.push_back(std::make_unique<ContactsFeature>());
        registerFeatures(*context, std::move(features));
        // The files only: the desktop's store has tests of its own.
        CalendarFeature::setUseDesktopCalendars(*registry, false);
        ContactsFeature::setUseDesktopAddressBooks(*registry, false);
    }

    void TearDown() override {
        shown.reset();
        context.reset();
        launcher.reset();
    }

    template <typename View>
    View* open(const char* commandId) {
        const auto command = registry->command(CommandIdentifier(commandId));
        EXPECT_TRUE(command);
        if (!command) return nullptr;
        const CommandOutcome outcome = command->run({});
        EXPECT_EQ(outcome.kind, CommandOutcome::Kind::showView) << outcome.message.toStdString();
        auto* view = qobject_cast<View*>(context->makeView(outcome));
        EXPECT_TRUE(view);
        if (!view) return nullptr;
        shown.reset(view);
        view->setPresenter(&presenter);
        view->resize(750, 420);
        view->show();
        view->viewDidAppear();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view));
        return view;
    }

    static QStringList titles(const ListView& view) {
        QStringList found;
        for (const auto* item : view.visibleItems()) found << item->title;
        return found;
    }

    QTemporaryDir folder;
    const QDate today = QDate::currentDate();
    LauncherEnvironment environment;
    RecordingPresenter presenter;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<LauncherSearch> launcher;
    std::unique_ptr<FeatureContext> context;
    std::unique_ptr<QWidget> shown;
};

TEST_F(CalendarViewsTest, MySchedulesListsTheWeekByDayAndAnEventsFirstActionJoinsItsMeeting) {
    const QString file = makeCalendarFile(QStringLiteral("schedule"), folder.filePath("s.ics"), today);
    ASSERT_TRUE(CalendarFeature::addSource(*registry, file));
    ScheduleView* view = open<ScheduleView>("calendar_schedule");
    ASSERT_TRUE(view);
    ASSERT_TRUE(waitUntil([&] { return !view->isLoading(); }, 20000));
    const QStringList rows = titles(*view);
    EXPECT_TRUE(rows.contains(QStringLiteral("Weekly sync")));
    EXPECT_TRUE(rows.contains(QStringLiteral("Company holiday")));
    EXPECT_EQ(rows.count(QStringLiteral("Conference trip")), 3);
    ASSERT_TRUE(view->selectItem(view->visibleItems().front()->id));
    const auto actions = view->actions();
    ASSERT_FALSE(actions.empty());
    EXPECT_EQ(actions.front().title, QStringLiteral("Join Meeting"));

    view->searchTextChanged(QStringLiteral("holiday"));
    EXPECT_EQ(titles(*view), QStringList{QStringLiteral("Company holiday")});
}

TEST_F(CalendarViewsTest, MyRemindersCompletesTheSelectedReminderInItsFile) {
    const QString file = makeCalendarFile(QStringLiteral("tasks"), folder.filePath("t.ics"), today);
    ASSERT_TRUE(CalendarFeature::addSource(*registry, file));
    RemindersView* view = open<RemindersView>("reminders_myReminders");
    ASSERT_TRUE(view);
    ASSERT_TRUE(waitUntil([&] { return !view->isBusy(); }, 20000));
    EXPECT_EQ(titles(*view), (QStringList{"Send the report", "Pay rent", "Water the plants"}));
    ASSERT_TRUE(view->selectItem(view->visibleItems()[1]->id));
    const auto actions = view->actions();
    ASSERT_FALSE(actions.empty());
    EXPECT_EQ(actions.front().title, QStringLiteral("Complete Reminder"));
    actions.front().perform();
    ASSERT_TRUE(waitUntil([&] { return !view->isBusy() && !titles(*view).contains(QStringLiteral("Pay rent")); }, 20000));
    EXPECT_TRUE(view->lastProblem().isEmpty()) << view->lastProblem().toStdString();
    EXPECT_TRUE(readTestFile(file).contains("STATUS:COMPLETED"));
}

TEST_F(CalendarViewsTest, CreateReminderRefusesADateItCannotReadAndWritesTheReminder) {
    CreateReminderView* view = open<CreateReminderView>("reminders_createReminder");
    ASSERT_TRUE(view);
    view->setValue(QStringLiteral("title"), QStringLiteral("Renew passport"));
    view->setValue(QStringLiteral("due"), QStringLiteral("blorpday"));
    EXPECT_EQ(view->submit().kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(view->validationMessage(QStringLiteral("due")), QStringLiteral("This is not a date Vantrel can read"));
    view->setValue(QStringLiteral("due"), QStringLiteral("tomorrow at 9"));
    const CommandOutcome outcome = view->submit();
    EXPECT_EQ(outcome.kind, CommandOutcome::Kind::done) << outcome.message.toStdString();
    EXPECT_EQ(outcome.hudText, QStringLiteral("Reminder added to Reminders"));
    const ReminderList list = CalendarFeature::service(*registry).reminders();
    ASSERT_EQ(list.tasks.size(), 1u);
    EXPECT_EQ(list.tasks[0].title, QStringLiteral("Renew passport"));
    EXPECT_EQ(*list.tasks[0].due, QDateTime(today.addDays(1), QTime(9, 0)));
}

TEST_F(CalendarViewsTest, SearchContactsFiltersAndOffersMailFirst) {
    ASSERT_TRUE(ContactsFeature::addSource(*registry, fixturesFolder() + QStringLiteral("/contacts/contacts.vcf")));
    ContactsView* view = open<ContactsView>("contacts_search");
    ASSERT_TRUE(view);
    ASSERT_TRUE(waitUntil([&] { return !view->isLoading(); }, 20000));
    EXPECT_EQ(titles(*view).size(), 4);
    view->searchTextChanged(QStringLiteral("navy"));
    ASSERT_EQ(titles(*view), QStringList{QStringLiteral("Grace Hopper")});
    ASSERT_TRUE(view->selectItem(view->visibleItems().front()->id));
    EXPECT_EQ(view->actions().front().title, QStringLiteral("Compose Mail to grace@navy.example"));
}

TEST_F(CalendarViewsTest, ThePreferencePagesAddAndRemoveSources) {
    ASSERT_GE(context->preferencePages().size(), 2u);
    CalendarPreferencesPage calendar(*registry);
    calendar.newSource()->setText(folder.filePath("missing.ics"));
    EXPECT_FALSE(calendar.addFromField());
    EXPECT_TRUE(calendar.message()->text().contains(QStringLiteral("neither an existing file")));
    const QString file = makeCalendarFile(QStringLiteral("schedule"), folder.filePath("p.ics"), today);
    calendar.newSource()->setText(file);
    EXPECT_TRUE(calendar.addFromField());
    EXPECT_EQ(CalendarFeature::settings(*registry).sources, QStringList{file});
    calendar.sourceList()->setCurrentRow(0);
    EXPECT_TRUE(calendar.removeSelected());
    EXPECT_TRUE(CalendarFeature::settings(*registry).sources.isEmpty());
    EXPECT_FALSE(calendar.desktopSwitch()->isChecked());
    calendar.desktopSwitch()->setChecked(true);
    EXPECT_TRUE(CalendarFeature::settings(*registry).useDesktopCalendars);

    ContactsPreferencesPage contacts(*registry);
    contacts.newSource()->setText(fixturesFolder() + QStringLiteral("/contacts"));
    EXPECT_TRUE(contacts.addFromField());
    EXPECT_EQ(ContactsFeature::settings(*registry).sources.size(), 1);
}

}  // namespace
}  // namespace vantrel::test
