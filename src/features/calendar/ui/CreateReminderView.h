#pragma once

#include "features/calendar/CalendarService.h"
#include "ui/toolkit/FormView.h"

namespace vantrel {

// "Create Reminder": a title and a due date in words ("tomorrow at 9",
// "friday", "in 2 weeks"), read by the date fields' phrase reader. The
// reminder goes to the desktop's default task list, or the launcher's own.
class CreateReminderView : public FormView {
    Q_OBJECT

public:
    inline static const QString viewTitle = QStringLiteral("Create Reminder");

    CreateReminderView(CalendarService service, const QString& initialTitle, QWidget* parent = nullptr);

private:
    CalendarService m_service;
};

}  // namespace vantrel
