#include "features/calendar/ICalendar.h"

#include "kit/VantrelError.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QTimeZone>
#include <QUuid>

#include <libical/ical.h>

#include <algorithm>
#include <memory>

namespace vantrel {

// MARK: Occurrences and tasks

QDate EventOccurrence::localFirstDay() const {
    return allDay ? firstDay : start.toLocalTime().date();
}

bool EventOccurrence::comesBefore(const EventOccurrence& a, const EventOccurrence& b) {
    const QDate dayA = a.localFirstDay();
    const QDate dayB = b.localFirstDay();
    if (dayA != dayB) return dayA < dayB;
    if (a.allDay != b.allDay) return a.allDay;
    if (!a.allDay && a.start != b.start) return a.start < b.start;
    return a.title < b.title;
}

QDate EventOccurrence::localLastDay() const {
    if (allDay) return endDay > firstDay ? endDay.addDays(-1) : firstDay;
    // An event that ends at midnight does not cover the day after.
    const QDateTime last = end > start ? end.addSecs(-1) : start;
    return last.toLocalTime().date();
}

bool EventOccurrence::sameOccurrence(const EventOccurrence& other) const {
    return uid == other.uid && allDay == other.allDay && (allDay ? firstDay == other.firstDay : start == other.start);
}

QDate TaskItem::dueDay() const {
    if (!due) return {};
    return dueIsDay ? due->date() : due->toLocalTime().date();
}

std::optional<QDateTime> TaskItem::alertTime() const {
    if (!due) return std::nullopt;
    if (dueIsDay) return QDateTime(due->date(), QTime(9, 0));
    return due;
}

namespace {

struct ComponentDeleter {
    void operator()(icalcomponent* component) const {
        if (component) icalcomponent_free(component);
    }
};
using ComponentPtr = std::unique_ptr<icalcomponent, ComponentDeleter>;

QString text(const char* value) {
    return value ? QString::fromUtf8(value) : QString();
}

QByteArray asText(icalcomponent* component) {
    char* written = icalcomponent_as_ical_string_r(component);
    QByteArray bytes(written ? written : "");
    if (written) icalmemory_free_buffer(written);
    return bytes;
}

// A date-time of the file as it stands: its wall-clock fields and what they
// are relative to.
struct Moment {
    icaltimetype wall = icaltime_null_time();
    icaltimezone* zone = nullptr;  // null: floating (the local zone) or a date
    bool isDate = false;
};

class TimeResolver {
public:
    TimeResolver(icalcomponent* calendar, QStringList& problems) : m_calendar(calendar), m_problems(problems) {}

    Moment resolve(icalproperty* property, icaltimetype wall) {
        Moment moment;
        moment.wall = wall;
        moment.isDate = wall.is_date != 0;
        if (moment.isDate) return moment;
        if (icaltime_is_utc(wall)) {
            moment.zone = icaltimezone_get_utc_timezone();
            return moment;
        }
        icalparameter* tzidParameter = property ? icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER) : nullptr;
        const char* tzid = tzidParameter ? icalparameter_get_tzid(tzidParameter) : nullptr;
        if (!tzid || !*tzid) return moment;  // floating
        moment.zone = zone(tzid);
        return moment;
    }

private:
    icaltimezone* zone(const char* tzid) {
        const QString key = QString::fromUtf8(tzid);
        if (auto found = m_zones.find(key); found != m_zones.end()) return found.value();
        icaltimezone* zone = m_calendar ? icalcomponent_get_timezone(m_calendar, tzid) : nullptr;
        if (!zone) zone = icaltimezone_get_builtin_timezone(tzid);
        if (!zone) zone = icaltimezone_get_builtin_timezone_from_tzid(tzid);
        if (!zone) {
            // Outlook names its zones ("W. Europe Standard Time"); Qt knows those as Windows ids.
            const QByteArray iana = QTimeZone::windowsIdToDefaultIanaId(QByteArray(tzid));
            if (!iana.isEmpty()) zone = icaltimezone_get_builtin_timezone(iana.constData());
        }
        if (!zone)
            m_problems << QStringLiteral("The time zone '%1' is unknown; its times are read as local times.").arg(key);
        m_zones.insert(key, zone);
        return zone;
    }

    icalcomponent* m_calendar;
    QStringList& m_problems;
    QHash<QString, icaltimezone*> m_zones;
};

QDateTime instantOf(const Moment& moment) {
    const icaltimetype& t = moment.wall;
    if (!moment.zone) return QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second));
    return QDateTime::fromSecsSinceEpoch(qint64(icaltime_as_timet_with_zone(t, moment.zone)));
}

QDate dateOf(const icaltimetype& t) {
    return QDate(t.year, t.month, t.day);
}

// The wall-clock time of an instant in the moment's zone (for starting a
// recurrence walk near the window).
icaltimetype wallAt(const QDateTime& instant, const Moment& like) {
    if (like.isDate) {
        const QDate day = instant.toLocalTime().date();
        icaltimetype t = icaltime_null_date();
        t.year = day.year();
        t.month = day.month();
        t.day = day.day();
        return t;
    }
    if (!like.zone) {
        const QDateTime local = instant.toLocalTime();
        icaltimetype t = icaltime_null_time();
        t.year = local.date().year();
        t.month = local.date().month();
        t.day = local.date().day();
        t.hour = local.time().hour();
        t.minute = local.time().minute();
        t.second = local.time().second();
        return t;
    }
    return icaltime_from_timet_with_zone(time_t(instant.toSecsSinceEpoch()), 0, like.zone);
}

// A key that names one occurrence whatever the form it is written in.
qint64 occurrenceKey(const Moment& moment) {
    if (moment.isDate) return dateOf(moment.wall).toJulianDay();
    return instantOf(moment).toSecsSinceEpoch();
}

qint64 secondsPerStep(icalrecurrencetype_frequency frequency) {
    switch (frequency) {
        case ICAL_SECONDLY_RECURRENCE:
            return 1;
        case ICAL_MINUTELY_RECURRENCE:
            return 60;
        case ICAL_HOURLY_RECURRENCE:
            return 3600;
        case ICAL_DAILY_RECURRENCE:
            return 86400;
        case ICAL_WEEKLY_RECURRENCE:
            return 7 * 86400;
        case ICAL_MONTHLY_RECURRENCE:
            return 28 * 86400;
        case ICAL_YEARLY_RECURRENCE:
            return 365 * 86400;
        default:
            return 86400;
    }
}

class Expander {
public:
    Expander(icalcomponent* calendar, const QString& sourceName, const QDateTime& from, const QDateTime& to,
             CalendarContent& content)
        : m_times(calendar, content.problems),
          m_sourceName(sourceName),
          m_from(from),
          m_to(to),
          m_firstDay(from.toLocalTime().date()),
          m_lastDay(to.addSecs(-1).toLocalTime().date()),
          m_content(content) {}

    void addCalendar(icalcomponent* calendar) {
        // Overrides (RECURRENCE-ID) by UID, so a master skips what they replace.
        QHash<QString, QSet<qint64>> overridden;
        std::vector<icalcomponent*> masters;
        for (icalcomponent* event = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT); event;
             event = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT)) {
            icalproperty* rid = icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY);
            if (!rid) {
                masters.push_back(event);
                continue;
            }
            const Moment replaced = m_times.resolve(rid, icalproperty_get_recurrenceid(rid));
            overridden[text(icalcomponent_get_uid(event))].insert(occurrenceKey(replaced));
            if (icalcomponent_get_status(event) == ICAL_STATUS_CANCELLED) continue;
            addSingle(event);
        }
        for (icalcomponent* event : masters) {
            if (icalcomponent_get_status(event) == ICAL_STATUS_CANCELLED) continue;
            addMaster(event, overridden.value(text(icalcomponent_get_uid(event))));
        }
        for (icalcomponent* todo = icalcomponent_get_first_component(calendar, ICAL_VTODO_COMPONENT); todo;
             todo = icalcomponent_get_next_component(calendar, ICAL_VTODO_COMPONENT))
            addTask(todo);
    }

private:
    struct Shape {
        Moment start;
        qint64 durationSeconds = 0;  // timed events
        qint64 durationDays = 1;     // all-day events
        bool valid = false;
    };

    Shape shapeOf(icalcomponent* event) {
        Shape shape;
        icalproperty* dtstart = icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY);
        if (!dtstart) return shape;
        shape.start = m_times.resolve(dtstart, icalproperty_get_dtstart(dtstart));
        if (icaltime_is_null_time(shape.start.wall) || !icaltime_is_valid_time(shape.start.wall)) return shape;
        shape.valid = true;
        if (icalproperty* dtend = icalcomponent_get_first_property(event, ICAL_DTEND_PROPERTY)) {
            const Moment end = m_times.resolve(dtend, icalproperty_get_dtend(dtend));
            if (shape.start.isDate) {
                shape.durationDays = std::max<qint64>(1, dateOf(shape.start.wall).daysTo(dateOf(end.wall)));
            } else if (end.isDate) {
                shape.durationSeconds = 0;
            } else {
                shape.durationSeconds = std::max<qint64>(0, instantOf(shape.start).secsTo(instantOf(end)));
            }
        } else if (icalproperty* duration = icalcomponent_get_first_property(event, ICAL_DURATION_PROPERTY)) {
            const int seconds = icaldurationtype_as_int(icalproperty_get_duration(duration));
            if (shape.start.isDate)
                shape.durationDays = std::max<qint64>(1, seconds / 86400);
            else
                shape.durationSeconds = std::max(0, seconds);
        }
        return shape;
    }

    EventOccurrence base(icalcomponent* event) const {
        EventOccurrence occurrence;
        occurrence.uid = text(icalcomponent_get_uid(event));
        occurrence.title = text(icalcomponent_get_summary(event)).trimmed();
        if (occurrence.title.isEmpty()) occurrence.title = QStringLiteral("Untitled event");
        occurrence.location = text(icalcomponent_get_location(event)).trimmed();
        occurrence.description = text(icalcomponent_get_description(event)).trimmed();
        occurrence.sourceName = m_sourceName;
        occurrence.joinUrl = findJoinUrl(occurrence.location, occurrence.description);
        // A conference link the calendar server attached (Google's X-GOOGLE-CONFERENCE, URL).
        if (occurrence.joinUrl.isEmpty()) {
            for (icalproperty* property = icalcomponent_get_first_property(event, ICAL_ANY_PROPERTY); property;
                 property = icalcomponent_get_next_property(event, ICAL_ANY_PROPERTY)) {
                const QString name = text(icalproperty_get_property_name(property));
                if (name == QLatin1String("X-GOOGLE-CONFERENCE") || name == QLatin1String("URL")) {
                    const QUrl url(text(icalproperty_get_value_as_string(property)));
                    if (url.isValid() && url.scheme() == QLatin1String("https")) {
                        occurrence.joinUrl = url;
                        break;
                    }
                }
            }
        }
        return occurrence;
    }

    // The occurrence starting at `start`, when it touches the window.
    std::optional<EventOccurrence> occurrenceAt(const EventOccurrence& prototype, const Shape& shape,
                                                const Moment& start) const {
        EventOccurrence occurrence = prototype;
        if (shape.start.isDate) {
            occurrence.allDay = true;
            occurrence.firstDay = dateOf(start.wall);
            occurrence.endDay = occurrence.firstDay.addDays(shape.durationDays);
            if (occurrence.firstDay > m_lastDay || occurrence.endDay <= m_firstDay) return std::nullopt;
            return occurrence;
        }
        occurrence.start = instantOf(start);
        occurrence.end = occurrence.start.addSecs(shape.durationSeconds);
        const bool touches = shape.durationSeconds > 0 ? occurrence.start < m_to && occurrence.end > m_from
                                                        : occurrence.start >= m_from && occurrence.start < m_to;
        if (!touches) return std::nullopt;
        return occurrence;
    }

    bool pastWindow(const Shape& shape, const Moment& start) const {
        if (shape.start.isDate) return dateOf(start.wall) > m_lastDay;
        return instantOf(start) >= m_to;
    }

    void addSingle(icalcomponent* event) {
        const Shape shape = shapeOf(event);
        if (!shape.valid) {
            noteUnreadable(event);
            return;
        }
        if (auto occurrence = occurrenceAt(base(event), shape, shape.start)) m_content.events.push_back(*occurrence);
    }

    void addMaster(icalcomponent* event, const QSet<qint64>& overridden) {
        const Shape shape = shapeOf(event);
        if (!shape.valid) {
            noteUnreadable(event);
            return;
        }
        const EventOccurrence prototype = base(event);
        QSet<qint64> excluded = overridden;
        for (icalproperty* exdate = icalcomponent_get_first_property(event, ICAL_EXDATE_PROPERTY); exdate;
             exdate = icalcomponent_get_next_property(event, ICAL_EXDATE_PROPERTY)) {
            Moment moment = m_times.resolve(exdate, icalproperty_get_exdate(exdate));
            // An all-day series excludes days; a date-time there names the same day.
            if (shape.start.isDate && !moment.isDate) {
                moment.isDate = true;
                moment.wall.is_date = 1;
            }
            excluded.insert(occurrenceKey(moment));
        }
        QSet<qint64> emitted;
        auto add = [&](const Moment& start) {
            const qint64 key = occurrenceKey(start);
            if (excluded.contains(key) || emitted.contains(key)) return;
            emitted.insert(key);
            if (auto occurrence = occurrenceAt(prototype, shape, start)) m_content.events.push_back(*occurrence);
        };

        icalproperty* rruleProperty = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY);
        bool hasRdate = false;
        for (icalproperty* rdate = icalcomponent_get_first_property(event, ICAL_RDATE_PROPERTY); rdate;
             rdate = icalcomponent_get_next_property(event, ICAL_RDATE_PROPERTY)) {
            const icaldatetimeperiodtype value = icalproperty_get_rdate(rdate);
            const icaltimetype when = icaltime_is_null_time(value.time) ? value.period.start : value.time;
            if (icaltime_is_null_time(when)) continue;
            hasRdate = true;
            Moment moment = m_times.resolve(rdate, when);
            if (!moment.zone && !moment.isDate) moment.zone = shape.start.zone;
            add(moment);
        }
        if (!rruleProperty) {
            add(shape.start);
            (void)hasRdate;
            return;
        }
        const icalrecurrencetype rule = icalproperty_get_rrule(rruleProperty);
        icalrecur_iterator* iterator = icalrecur_iterator_new(rule, shape.start.wall);
        if (!iterator) {
            m_content.problems << QStringLiteral("The repeat rule of '%1' cannot be read; only its first time is shown.")
                                      .arg(prototype.title);
            add(shape.start);
            return;
        }
        // A long way from the first time to the window: start the walk near the
        // window (a rule with COUNT must be counted from its start).
        const QDateTime firstStart = instantOf(shape.start);
        const qint64 stepSeconds = secondsPerStep(rule.freq) * std::max<short>(1, rule.interval);
        // Back by the event's length (an occurrence that started before the
        // window may still run into it) and a day for zone offsets.
        const qint64 lead = (shape.start.isDate ? shape.durationDays * 86400 : shape.durationSeconds) + 86400;
        if (rule.count == 0 && firstStart.secsTo(m_from) / stepSeconds > maxWalkBeforeJump) {
            icaltimetype jump = wallAt(m_from.addSecs(-lead), shape.start);
            if (!icalrecur_iterator_set_start(iterator, jump)) {
                icalrecur_iterator_free(iterator);
                iterator = icalrecur_iterator_new(rule, shape.start.wall);
            } else {
                // The series' own first time when it lies in the window.
                add(shape.start);
            }
        }
        int steps = 0;
        bool reachedEnd = false;
        for (; steps < ICalendarReader::maxOccurrencesWalked; ++steps) {
            icaltimetype next = icalrecur_iterator_next(iterator);
            if (icaltime_is_null_time(next)) {
                reachedEnd = true;
                break;
            }
            Moment moment = shape.start;
            moment.wall = next;
            moment.wall.is_date = shape.start.isDate ? 1 : 0;
            moment.wall.zone = shape.start.wall.zone;
            if (pastWindow(shape, moment)) {
                reachedEnd = true;
                break;
            }
            add(moment);
        }
        icalrecur_iterator_free(iterator);
        if (!reachedEnd)
            m_content.problems << QStringLiteral("'%1' repeats too often to list: only its first %2 times were read.")
                                      .arg(prototype.title)
                                      .arg(ICalendarReader::maxOccurrencesWalked);
    }

    void addTask(icalcomponent* todo) {
        TaskItem task;
        task.uid = text(icalcomponent_get_uid(todo));
        task.title = text(icalcomponent_get_summary(todo)).trimmed();
        if (task.title.isEmpty()) task.title = QStringLiteral("Untitled reminder");
        task.description = text(icalcomponent_get_description(todo)).trimmed();
        task.sourceName = m_sourceName;
        task.completed = icalcomponent_get_status(todo) == ICAL_STATUS_COMPLETED ||
                         icalcomponent_get_first_property(todo, ICAL_COMPLETED_PROPERTY) != nullptr;
        if (icalproperty* percent = icalcomponent_get_first_property(todo, ICAL_PERCENTCOMPLETE_PROPERTY))
            task.completed = task.completed || icalproperty_get_percentcomplete(percent) >= 100;
        if (icalproperty* priority = icalcomponent_get_first_property(todo, ICAL_PRIORITY_PROPERTY))
            task.priority = std::clamp(icalproperty_get_priority(priority), 0, 9);
        if (icalproperty* due = icalcomponent_get_first_property(todo, ICAL_DUE_PROPERTY)) {
            const Moment moment = m_times.resolve(due, icalproperty_get_due(due));
            if (!icaltime_is_null_time(moment.wall) && icaltime_is_valid_time(moment.wall)) {
                task.dueIsDay = moment.isDate;
                task.due = moment.isDate ? QDateTime(dateOf(moment.wall), QTime(0, 0)) : instantOf(moment);
            }
        }
        m_content.tasks.push_back(std::move(task));
    }

    void noteUnreadable(icalcomponent* event) {
        m_content.problems << QStringLiteral("The event '%1' has no readable start and is left out.")
                                  .arg(text(icalcomponent_get_summary(event)));
    }

    // Steps a walk may take before reaching the window before it jumps instead.
    static constexpr qint64 maxWalkBeforeJump = 2000;

    TimeResolver m_times;
    QString m_sourceName;
    QDateTime m_from;
    QDateTime m_to;
    QDate m_firstDay;
    QDate m_lastDay;
    CalendarContent& m_content;
};

int countParseErrors(icalcomponent* component) {
    int count = icalcomponent_count_properties(component, ICAL_XLICERROR_PROPERTY);
    for (icalcomponent* child = icalcomponent_get_first_component(component, ICAL_ANY_COMPONENT); child;
         child = icalcomponent_get_next_component(component, ICAL_ANY_COMPONENT))
        count += countParseErrors(child);
    return count;
}

std::vector<icalcomponent*> calendarsIn(icalcomponent* root) {
    std::vector<icalcomponent*> calendars;
    if (!root) return calendars;
    if (icalcomponent_isa(root) == ICAL_VCALENDAR_COMPONENT) {
        calendars.push_back(root);
    } else if (icalcomponent_isa(root) == ICAL_XROOT_COMPONENT) {
        for (icalcomponent* child = icalcomponent_get_first_component(root, ICAL_VCALENDAR_COMPONENT); child;
             child = icalcomponent_get_next_component(root, ICAL_VCALENDAR_COMPONENT))
            calendars.push_back(child);
    }
    return calendars;
}

// The END lines a text cut off in the middle lacks (a download that broke
// off, a file written half): what was complete before is still read.
QByteArray missingEnds(const QByteArray& text) {
    QList<QByteArray> open;
    for (QByteArray line : text.split('\n')) {
        line = line.trimmed().toUpper();
        if (line.startsWith("BEGIN:"))
            open.append(line.mid(6));
        else if (line.startsWith("END:") && !open.isEmpty() && open.last() == line.mid(4))
            open.removeLast();
    }
    QByteArray ends;
    while (!open.isEmpty()) ends += "\r\nEND:" + open.takeLast();
    return ends.isEmpty() ? ends : ends + "\r\n";
}

ComponentPtr parse(const QByteArray& text, bool* completed = nullptr) {
    // libical reads up to the first NUL.
    QByteArray terminated = text;
    terminated.replace('\0', ' ');
    const QByteArray ends = missingEnds(terminated);
    if (completed) *completed = !ends.isEmpty();
    terminated += ends;
    return ComponentPtr(icalparser_parse_string(terminated.constData()));
}

}  // namespace

CalendarContent ICalendarReader::read(const QByteArray& text, const QString& sourceName, const QDateTime& from,
                                      const QDateTime& to) {
    CalendarContent content;
    if (text.size() > maxTextBytes) {
        content.readable = false;
        content.problems << QStringLiteral("The calendar is larger than %1 MB and is not read.")
                                .arg(maxTextBytes / (1024 * 1024));
        return content;
    }
    if (!text.contains("BEGIN:VCALENDAR")) {
        content.readable = false;
        content.problems << QStringLiteral("This is not an iCalendar file (it has no BEGIN:VCALENDAR).");
        return content;
    }
    bool cutOff = false;
    const ComponentPtr root = parse(text, &cutOff);
    const std::vector<icalcomponent*> calendars = calendarsIn(root.get());
    if (calendars.empty()) {
        content.readable = false;
        content.problems << QStringLiteral("The iCalendar text could not be read.");
        return content;
    }
    if (cutOff) content.problems << QStringLiteral("The calendar ends before its last item is complete.");
    if (const int errors = countParseErrors(root.get()); errors > 0)
        content.problems << QStringLiteral("%1 lines of the calendar could not be read and were skipped.").arg(errors);
    for (icalcomponent* calendar : calendars) {
        Expander expander(calendar, sourceName, from, to, content);
        expander.addCalendar(calendar);
    }
    std::stable_sort(content.events.begin(), content.events.end(), &EventOccurrence::comesBefore);
    return content;
}

// MARK: Tasks

namespace ICalendarTasks {

namespace {

icaltimetype utcNow() {
    return icaltime_from_timet_with_zone(time(nullptr), 0, icaltimezone_get_utc_timezone());
}

ComponentPtr parseCalendar(const QByteArray& calendar) {
    ComponentPtr root = parse(calendar);
    if (!root || icalcomponent_isa(root.get()) != ICAL_VCALENDAR_COMPONENT)
        throw VantrelError(QStringLiteral("The task file is not an iCalendar file."));
    return root;
}

icalcomponent* findTask(icalcomponent* calendar, const QString& uid) {
    for (icalcomponent* todo = icalcomponent_get_first_component(calendar, ICAL_VTODO_COMPONENT); todo;
         todo = icalcomponent_get_next_component(calendar, ICAL_VTODO_COMPONENT))
        if (text(icalcomponent_get_uid(todo)) == uid) return todo;
    throw VantrelError(QStringLiteral("There is no reminder '%1' here any more.").arg(uid));
}

void markCompleted(icalcomponent* todo) {
    const icaltimetype now = utcNow();
    icalcomponent_set_status(todo, ICAL_STATUS_COMPLETED);
    for (const icalproperty_kind kind :
         {ICAL_COMPLETED_PROPERTY, ICAL_PERCENTCOMPLETE_PROPERTY, ICAL_LASTMODIFIED_PROPERTY, ICAL_DTSTAMP_PROPERTY}) {
        while (icalproperty* old = icalcomponent_get_first_property(todo, kind)) {
            icalcomponent_remove_property(todo, old);
            icalproperty_free(old);
        }
    }
    icalcomponent_add_property(todo, icalproperty_new_completed(now));
    icalcomponent_add_property(todo, icalproperty_new_percentcomplete(100));
    icalcomponent_add_property(todo, icalproperty_new_lastmodified(now));
    icalcomponent_add_property(todo, icalproperty_new_dtstamp(now));
}

}  // namespace

QByteArray makeTask(const QString& title, const std::optional<QDateTime>& due, bool dueIsDay, QString* uid) {
    const QString newUid = QUuid::createUuid().toString(QUuid::WithoutBraces) + QStringLiteral("@vantrel");
    if (uid) *uid = newUid;
    ComponentPtr todo(icalcomponent_new(ICAL_VTODO_COMPONENT));
    const icaltimetype now = utcNow();
    icalcomponent_add_property(todo.get(), icalproperty_new_uid(newUid.toUtf8().constData()));
    icalcomponent_add_property(todo.get(), icalproperty_new_dtstamp(now));
    icalcomponent_add_property(todo.get(), icalproperty_new_created(now));
    icalcomponent_add_property(todo.get(), icalproperty_new_summary(title.toUtf8().constData()));
    icalcomponent_add_property(todo.get(), icalproperty_new_status(ICAL_STATUS_NEEDSACTION));
    if (due && due->isValid()) {
        icaltimetype when;
        if (dueIsDay) {
            when = icaltime_null_date();
            when.year = due->date().year();
            when.month = due->date().month();
            when.day = due->date().day();
        } else {
            when = icaltime_from_timet_with_zone(time_t(due->toSecsSinceEpoch()), 0, icaltimezone_get_utc_timezone());
        }
        icalcomponent_add_property(todo.get(), icalproperty_new_due(when));
    }
    return asText(todo.get());
}

QByteArray addTask(const QByteArray& calendar, const QByteArray& task) {
    ComponentPtr root;
    if (calendar.trimmed().isEmpty()) {
        root.reset(icalcomponent_new(ICAL_VCALENDAR_COMPONENT));
        icalcomponent_add_property(root.get(), icalproperty_new_version("2.0"));
        icalcomponent_add_property(root.get(), icalproperty_new_prodid("-//Vantrel//Reminders//EN"));
    } else {
        root = parseCalendar(calendar);
    }
    ComponentPtr todo = parse(task);
    if (!todo || icalcomponent_isa(todo.get()) != ICAL_VTODO_COMPONENT)
        throw VantrelError(QStringLiteral("The reminder to add is not a VTODO."));
    icalcomponent_add_component(root.get(), todo.release());
    return asText(root.get());
}

QByteArray completeTask(const QByteArray& calendar, const QString& uid) {
    ComponentPtr root = parseCalendar(calendar);
    markCompleted(findTask(root.get(), uid));
    return asText(root.get());
}

QByteArray completedTaskComponent(const QByteArray& calendar, const QString& uid) {
    ComponentPtr root = parseCalendar(calendar);
    icalcomponent* todo = findTask(root.get(), uid);
    markCompleted(todo);
    return asText(todo);
}

}  // namespace ICalendarTasks

// MARK: Meeting links

QUrl findJoinUrl(const QString& location, const QString& description) {
    static const QRegularExpression link(QStringLiteral(R"(https?://[^\s<>"'\\]+)"),
                                         QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression meeting(
        QStringLiteral(R"(^https://(meet\.google\.com/|([a-z0-9-]+\.)?zoom\.us/(j|my|w|s)/|teams\.microsoft\.com/l/meetup-join/|)"
                       R"(teams\.live\.com/meet/|meet\.jit\.si/|([a-z0-9-]+\.)*jitsi[a-z0-9.-]*/))"),
        QRegularExpression::CaseInsensitiveOption);
    QStringList links;
    for (const QString& field : {location, description})
        for (auto match = link.globalMatch(field); match.hasNext();) {
            QString found = match.next().captured(0);
            while (!found.isEmpty() && QStringLiteral(".,;)>]").contains(found.back())) found.chop(1);
            links << found;
        }
    for (const QString& candidate : links)
        if (meeting.match(candidate).hasMatch()) return QUrl(candidate);
    for (const QString& candidate : links)
        if (candidate.startsWith(QLatin1String("https://"), Qt::CaseInsensitive)) return QUrl(candidate);
    return {};
}

}  // namespace vantrel
