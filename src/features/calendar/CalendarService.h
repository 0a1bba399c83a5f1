#pragma once

#include "features/calendar/ICalendar.h"
#include "platform/PersonalData.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace vantrel {

// What the calendar reads: the user's iCalendar files and links (the
// "calendar" package's "sources"), and the desktop's calendars and task lists
// unless "useDesktopCalendars" is false.
struct CalendarSettings {
    QStringList sources;
    bool useDesktopCalendars = true;
};

struct Schedule {
    std::vector<EventOccurrence> events;
    // Sentences about sources that could not be read (each names its source)
    // and about the desktop's calendars being unavailable.
    QStringList notes;
};

struct ReminderList {
    std::vector<TaskItem> tasks;  // open first, by due date; then completed ones
    QStringList notes;
};

// One source's text, or why there is none.
struct SourceText {
    QString name;
    QByteArray text;
    QString problem;
    bool ok = false;
};

// Reads and writes events and tasks across every source. Blocking: the
// launcher calls it off the main thread. Links are fetched with the timeout
// given; the last copy that was fetched is used when a link cannot be reached.
class CalendarService {
public:
    static constexpr int defaultFetchTimeoutMs = 10000;

    CalendarService(CalendarSettings settings, std::shared_ptr<PersonalDataStore> store,
                    int fetchTimeoutMs = defaultFetchTimeoutMs);

    // Events that touch [from, to), every source merged, in time order.
    Schedule schedule(const QDateTime& from, const QDateTime& to) const;
    ReminderList reminders() const;
    // Writes a new task into the desktop's default task list when there is a
    // writable one, else into the launcher's own task file; returns the name
    // of the list it went to. Throws VantrelError.
    QString createReminder(const QString& title, const std::optional<QDateTime>& due, bool dueIsDay) const;
    // Marks the task completed where it is stored. Throws VantrelError (a
    // subscribed link cannot be changed).
    void completeReminder(const TaskItem& task) const;

    // Why the desktop's store is not used, or empty.
    QString desktopProblem() const;

    // The launcher's own task file (under its data folder).
    static QString ownTaskFile();
    // A source as it is stored: an absolute file path, or an http(s) link
    // (webcal:// is read as https://). Nothing, and *problem saying why, for
    // a file that does not exist or text that is neither.
    static std::optional<QString> normalizeSource(const QString& pathOrUrl, QString* problem);
    static SourceText loadSource(const QString& source, int fetchTimeoutMs);
    static bool isLink(const QString& source);

private:
    std::shared_ptr<PersonalDataStore> usableStore(QStringList* notes) const;

    CalendarSettings m_settings;
    std::shared_ptr<PersonalDataStore> m_store;
    int m_fetchTimeoutMs;
};

// Events grouped by local day, each day of [firstDay, lastDay] present (an
// event over several days is listed on each of them).
struct ScheduleDay {
    QDate day;
    std::vector<EventOccurrence> events;
};
std::vector<ScheduleDay> groupByDay(const std::vector<EventOccurrence>& events, const QDate& firstDay,
                                    const QDate& lastDay);

// "10:00–11:00", "All day", or "Until 12:00" on the last day of a long event.
QString timeRangeText(const EventOccurrence& event, const QDate& day);
// "Today", "Tomorrow" or "Monday, 7 December".
QString dayTitle(const QDate& day, const QDate& today);

}  // namespace vantrel
