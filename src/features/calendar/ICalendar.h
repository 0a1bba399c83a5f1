#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>
#include <vector>

namespace vantrel {

// One occurrence of an event, in the local time zone.
struct EventOccurrence {
    QString uid;
    QString title;
    QString location;
    QString description;
    // Timed events: start and end as instants (shown in local time).
    QDateTime start;
    QDateTime end;
    // All-day events: the first day and the day after the last.
    bool allDay = false;
    QDate firstDay;
    QDate endDay;
    // Where the event came from (a file, a link, a calendar of the desktop).
    QString sourceName;
    // The meeting link (Meet, Zoom, Teams, Jitsi, or any https link), if any.
    QUrl joinUrl;

    // The local days the occurrence covers (at least one).
    QDate localFirstDay() const;
    QDate localLastDay() const;
    bool sameOccurrence(const EventOccurrence& other) const;
    // Schedule order: by local first day, all-day events first, then by
    // start, then by title.
    static bool comesBefore(const EventOccurrence& a, const EventOccurrence& b);
};

// A task (VTODO).
struct TaskItem {
    QString uid;
    QString title;
    QString description;
    // The due time (an instant), or only a day.
    std::optional<QDateTime> due;
    bool dueIsDay = false;
    bool completed = false;
    // 1 (highest) … 9 (lowest); 0: none.
    int priority = 0;
    QString sourceName;
    // Where it is stored: the key of the source that can change it.
    QString sourceKey;

    // The local day it is due on, or an invalid date.
    QDate dueDay() const;
    // When to tell the user: the due instant, or 9:00 on the due day.
    std::optional<QDateTime> alertTime() const;
};

// What one iCalendar text holds within a window of time.
struct CalendarContent {
    std::vector<EventOccurrence> events;
    std::vector<TaskItem> tasks;
    // Sentences about what could not be read (the text is still used as far
    // as it could be read).
    QStringList problems;
    // False when the text is not iCalendar at all.
    bool readable = true;
};

// Reads iCalendar text: every event that touches [from, to) with recurrences
// (RRULE, RDATE, EXDATE and RECURRENCE-ID overrides) expanded, time zones
// (TZID with the file's VTIMEZONE or the system's zone database, UTC,
// floating times) resolved, and every task. A recurrence is walked only up
// to the window's end, and at most `maxOccurrencesWalked` steps per event, so
// a rule that never ends costs the window and no more.
class ICalendarReader {
public:
    static constexpr int maxOccurrencesWalked = 20000;
    // Texts beyond this are refused whole rather than parsed.
    static constexpr qsizetype maxTextBytes = 64 * 1024 * 1024;

    static CalendarContent read(const QByteArray& text, const QString& sourceName, const QDateTime& from,
                                const QDateTime& to);
};

// Editing the tasks of an iCalendar text (the launcher's own task file, or a
// file the user added).
namespace ICalendarTasks {

// A new VTODO, as a component text.
QByteArray makeTask(const QString& title, const std::optional<QDateTime>& due, bool dueIsDay, QString* uid = nullptr);
// The calendar text with the task component appended (a new calendar when
// `calendar` is empty). Throws VantrelError when `calendar` is not iCalendar.
QByteArray addTask(const QByteArray& calendar, const QByteArray& task);
// The calendar text with the task of that UID marked completed now. Throws
// VantrelError when there is no such task.
QByteArray completeTask(const QByteArray& calendar, const QString& uid);
// The component text of the task of that UID marked completed (for stores
// that take one component), or throws.
QByteArray completedTaskComponent(const QByteArray& calendar, const QString& uid);

}  // namespace ICalendarTasks

// The meeting link of an event: a Google Meet, Zoom, Microsoft Teams or Jitsi
// link found in the location, then the description; otherwise the first
// https link there.
QUrl findJoinUrl(const QString& location, const QString& description);

}  // namespace vantrel
