#include "features/calendar/ui/ScheduleView.h"

#include "kit/Queue.h"
#include "platform/DesktopServices.h"

#include <QPointer>

namespace vantrel {

ScheduleView::ScheduleView(CalendarService service, const QString& initialQuery, int days, QWidget* parent)
    : ListView(viewTitle, parent), m_service(std::move(service)), m_days(days) {
    setSearchPlaceholder(QStringLiteral("Search events…"));
    setEmptyText(QStringLiteral("Loading your schedule…"));
    if (!initialQuery.isEmpty()) searchTextChanged(initialQuery);
    reload();
}

std::vector<MenuItem> ScheduleView::eventActions(const EventOccurrence& event, std::function<void()> refresh) {
    std::vector<MenuItem> actions;
    if (!event.joinUrl.isEmpty()) {
        actions.push_back(MenuItem::make(QStringLiteral("joinMeeting"), QStringLiteral("Join Meeting"),
                                         [url = event.joinUrl] {
                                             openOnDesktop(url);
                                             return CommandOutcome::done();
                                         }));
        actions.push_back(MenuItem::make(QStringLiteral("copyMeetingLink"), QStringLiteral("Copy Meeting Link"),
                                         [url = event.joinUrl.toString()] {
                                             return CommandOutcome::copied(url, QStringLiteral("Copied Meeting Link"));
                                         }));
    }
    actions.push_back(MenuItem::make(QStringLiteral("copyTitle"), QStringLiteral("Copy Title"),
                                     [title = event.title] {
                                         return CommandOutcome::copied(title, QStringLiteral("Copied Title"));
                                     }));
    if (refresh)
        actions.push_back(MenuItem::make(QStringLiteral("refresh"), QStringLiteral("Refresh"), [refresh] {
            refresh();
            return CommandOutcome::done();
        }));
    return actions;
}

void ScheduleView::reload() {
    if (m_loading) return;
    m_loading = true;
    const CalendarService service = m_service;
    const QDate today = QDate::currentDate();
    const QDateTime from(today, QTime(0, 0));
    const QDateTime to(today.addDays(m_days), QTime(0, 0));
    QPointer<ScheduleView> self(this);
    Queue::global().dispatch([service, from, to, self] {
        Schedule schedule = service.schedule(from, to);
        Queue::main().dispatch([self, schedule = std::move(schedule)]() mutable {
            if (self) self->present(std::move(schedule));
        });
    });
}

void ScheduleView::present(Schedule schedule) {
    m_loading = false;
    m_schedule = std::move(schedule);
    const QDate today = QDate::currentDate();
    std::vector<Section> sections;
    QPointer<ScheduleView> self(this);
    const auto refresh = [self] {
        if (self) self->reload();
    };
    for (const ScheduleDay& day : groupByDay(m_schedule.events, today, today.addDays(m_days - 1))) {
        if (day.events.empty()) continue;
        Section section{dayTitle(day.day, today), {}};
        for (const EventOccurrence& event : day.events) {
            Item item;
            item.id = event.uid + QLatin1Char('@') +
                      (event.allDay ? event.firstDay.toString(Qt::ISODate) : event.start.toString(Qt::ISODate)) +
                      QLatin1Char('/') + day.day.toString(Qt::ISODate);
            item.title = event.title;
            item.subtitle = timeRangeText(event, day.day);
            item.icon = ImageResource::named(QStringLiteral("calendar"));
            if (!event.joinUrl.isEmpty()) item.accessories.push_back({QStringLiteral("Join"), std::nullopt});
            if (!event.location.isEmpty() && event.location != event.joinUrl.toString())
                item.accessories.push_back({event.location, std::nullopt});
            item.accessories.push_back({event.sourceName, std::nullopt});
            item.keywords = {event.location, event.sourceName};
            item.actions = eventActions(event, refresh);
            section.items.push_back(std::move(item));
        }
        sections.push_back(std::move(section));
    }
    const std::vector<MenuItem> refreshAction{
        MenuItem::make(QStringLiteral("refresh"), QStringLiteral("Refresh"), [refresh] {
            refresh();
            return CommandOutcome::done();
        })};
    if (std::optional<Section> notes = couldNotReadSection(m_schedule.notes, 0, refreshAction))
        sections.push_back(std::move(*notes));
    setEmptyText(QStringLiteral("No events in the next %1 days").arg(m_days));
    setSections(std::move(sections));
    emit loaded();
}

}  // namespace vantrel
