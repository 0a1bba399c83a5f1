#include "features/calendar/ui/RemindersView.h"

#include "kit/Queue.h"
#include "kit/VantrelError.h"

#include <QPointer>

namespace vantrel {

namespace {

const QString kCreateReminder = QStringLiteral("reminders_createReminder");

}  // namespace

RemindersView::RemindersView(CalendarService service, const QString& initialQuery, QWidget* parent)
    : ListView(viewTitle, parent), m_service(std::move(service)) {
    setSearchPlaceholder(QStringLiteral("Search reminders…"));
    setEmptyText(QStringLiteral("Loading your reminders…"));
    if (!initialQuery.isEmpty()) searchTextChanged(initialQuery);
    reload();
}

void RemindersView::reload() {
    if (m_busy) return;
    m_busy = true;
    const CalendarService service = m_service;
    QPointer<RemindersView> self(this);
    Queue::global().dispatch([service, self] {
        ReminderList list = service.reminders();
        Queue::main().dispatch([self, list = std::move(list)]() mutable {
            if (self) self->present(std::move(list));
        });
    });
}

void RemindersView::complete(const TaskItem& task) {
    m_busy = true;
    const CalendarService service = m_service;
    QPointer<RemindersView> self(this);
    Queue::global().dispatch([service, task, self] {
        QString problem;
        try {
            service.completeReminder(task);
        } catch (const std::exception& failure) {
            problem = VantrelError::describe(failure);
        }
        ReminderList list = service.reminders();
        Queue::main().dispatch([self, problem, list = std::move(list)]() mutable {
            if (!self) return;
            self->m_lastProblem = problem;
            if (!problem.isEmpty()) list.notes.prepend(problem);
            self->present(std::move(list));
        });
    });
}

void RemindersView::present(ReminderList list) {
    m_busy = false;
    m_list = std::move(list);
    const QDate today = QDate::currentDate();
    Section overdue{QStringLiteral("Overdue"), {}};
    Section dueToday{QStringLiteral("Today"), {}};
    Section upcoming{QStringLiteral("Upcoming"), {}};
    Section someday{QStringLiteral("No Due Date"), {}};
    QPointer<RemindersView> self(this);
    for (const TaskItem& task : m_list.tasks) {
        if (task.completed) continue;
        Item item;
        item.id = task.sourceKey + QLatin1Char('|') + task.uid;
        item.title = task.title;
        item.subtitle = task.sourceName;
        item.icon = ImageResource::emoji(QStringLiteral("☐"));
        if (task.due)
            item.accessories.push_back(
                {task.dueIsDay ? task.due->date().toString(QStringLiteral("d MMM"))
                               : task.due->toLocalTime().toString(QStringLiteral("d MMM HH:mm")),
                 std::nullopt});
        if (task.priority > 0 && task.priority < 5) item.accessories.push_back({QStringLiteral("!"), std::nullopt});
        item.keywords = {task.description};
        item.actions.push_back(MenuItem::make(QStringLiteral("completeReminder"), QStringLiteral("Complete Reminder"),
                                              [self, task] {
                                                  if (self) self->complete(task);
                                                  CommandOutcome outcome = CommandOutcome::done();
                                                  outcome.toastTitle = QStringLiteral("Completing reminder");
                                                  return outcome;
                                              }));
        item.actions.push_back(MenuItem::make(QStringLiteral("createReminder"), QStringLiteral("Create Reminder"),
                                              [] { return CommandOutcome::showView(kCreateReminder); }));
        item.actions.push_back(MenuItem::make(QStringLiteral("copyTitle"), QStringLiteral("Copy Title"),
                                              [title = task.title] {
                                                  return CommandOutcome::copied(title, QStringLiteral("Copied Title"));
                                              }));
        item.actions.push_back(MenuItem::make(QStringLiteral("refresh"), QStringLiteral("Refresh"), [self] {
            if (self) self->reload();
            return CommandOutcome::done();
        }));
        const QDate day = task.dueDay();
        if (!day.isValid())
            someday.items.push_back(std::move(item));
        else if (day < today || (!task.dueIsDay && *task.due < QDateTime::currentDateTime()))
            overdue.items.push_back(std::move(item));
        else if (day == today)
            dueToday.items.push_back(std::move(item));
        else
            upcoming.items.push_back(std::move(item));
    }
    std::vector<Section> sections{overdue, dueToday, upcoming, someday};
    if (std::optional<Section> notes = couldNotReadSection(m_list.notes)) sections.push_back(std::move(*notes));
    std::erase_if(sections, [](const Section& section) { return section.items.empty(); });
    setEmptyText(QStringLiteral("No open reminders"));
    setSections(std::move(sections));
    emit loaded();
}

}  // namespace vantrel
