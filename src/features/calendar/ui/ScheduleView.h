#pragma once

#include "features/calendar/CalendarService.h"
#include "ui/toolkit/ListView.h"

namespace vantrel {

// "My Schedule": the events of today and the coming days, one section per
// day; Return joins an event's meeting when it has a link. Loads in the
// background; what could not be read is listed at the end.
class ScheduleView : public ListView {
    Q_OBJECT

public:
    inline static const QString viewTitle = QStringLiteral("My Schedule");

    ScheduleView(CalendarService service, const QString& initialQuery, int days = 7, QWidget* parent = nullptr);

    void reload();
    bool isLoading() const { return m_loading; }
    const Schedule& schedule() const { return m_schedule; }

    // The rows of one event (for tests and the home view's actions).
    static std::vector<MenuItem> eventActions(const EventOccurrence& event, std::function<void()> refresh);

signals:
    void loaded();

private:
    void present(Schedule schedule);

    CalendarService m_service;
    int m_days;
    bool m_loading = false;
    Schedule m_schedule;
};

}  // namespace vantrel
