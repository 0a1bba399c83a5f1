#pragma once

#include "features/calendar/CalendarService.h"
#include "ui/toolkit/ListView.h"

namespace vantrel {

// "My Reminders": open tasks by due date (overdue, today, upcoming, without
// a date); Return completes the selected one where it is stored.
class RemindersView : public ListView {
    Q_OBJECT

public:
    inline static const QString viewTitle = QStringLiteral("My Reminders");

    RemindersView(CalendarService service, const QString& initialQuery, QWidget* parent = nullptr);

    void reload();
    bool isBusy() const { return m_busy; }
    const ReminderList& reminders() const { return m_list; }
    // The last failure of completing a reminder (empty when it went well).
    QString lastProblem() const { return m_lastProblem; }

    // Completes the reminder in the background, then reloads.
    void complete(const TaskItem& task);

signals:
    void loaded();

private:
    void present(ReminderList list);

    CalendarService m_service;
    bool m_busy = false;
    ReminderList m_list;
    QString m_lastProblem;
};

}  // namespace vantrel
