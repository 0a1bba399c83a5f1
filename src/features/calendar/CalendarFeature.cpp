#include "features/calendar/CalendarFeature.h"

#include "core/api/FeatureContext.h"
#include "core/commands/ActionProviders.h"
#include "core/commands/PackageRegistry.h"
#include "core/rootsearch/NLPDateProvider.h"
#include "core/rootsearch/RootSearchController.h"
#include "features/calendar/ui/CalendarPreferencesPage.h"
#include "features/calendar/ui/CreateReminderView.h"
#include "features/calendar/ui/RemindersView.h"
#include "features/calendar/ui/ScheduleView.h"
#include "kit/Logger.h"
#include "kit/Queue.h"
#include "kit/VantrelError.h"
#include "platform/DesktopServices.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <cstdio>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Calendar"), QStringLiteral("📅")});
    return logger;
}

void printOut(const QString& text) {
    std::fputs(text.toUtf8().constData(), stdout);
}

void printErr(const QString& text) {
    std::fputs((QStringLiteral("vantrel: ") + text + QLatin1Char('\n')).toUtf8().constData(), stderr);
}

PackageIdentifier calendarPackage() {
    return PackageIdentifier(CalendarFeature::packageId);
}

// The actions of an event of the home view: join, then the schedule.
class EventActionProvider : public ActionProvider {
public:
    EventActionProvider(EventOccurrence event, FeatureContext* context) : m_event(std::move(event)), m_context(context) {}

    std::vector<MenuItem> menuItems() const override {
        std::vector<MenuItem> items;
        if (!m_event.joinUrl.isEmpty())
            items.push_back(MenuItem::make(QStringLiteral("joinMeeting"), QStringLiteral("Join Meeting"),
                                           [url = m_event.joinUrl] {
                                               openOnDesktop(url);
                                               return CommandOutcome::done();
                                           }));
        items.push_back(MenuItem::make(QStringLiteral("openSchedule"), QStringLiteral("Open My Schedule"), [] {
            return CommandOutcome::showView(CalendarFeature::scheduleCommandId);
        }));
        if (!m_event.joinUrl.isEmpty())
            items.push_back(MenuItem::make(QStringLiteral("copyMeetingLink"), QStringLiteral("Copy Meeting Link"),
                                           [url = m_event.joinUrl.toString()] {
                                               return CommandOutcome::copied(url,
                                                                             QStringLiteral("Copied Meeting Link"));
                                           }));
        (void)m_context;
        return items;
    }
    QString actionPanelTitle() const override { return m_event.title; }

private:
    EventOccurrence m_event;
    FeatureContext* m_context;
};

// MARK: Command line

// A local time with its offset from UTC ("2026-12-07T10:00:00+01:00").
QString localIso(const QDateTime& instant) {
    const QDateTime local = instant.toLocalTime();
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

QJsonObject eventJson(const EventOccurrence& event) {
    QJsonObject object{
        {QStringLiteral("uid"), event.uid},
        {QStringLiteral("title"), event.title},
        {QStringLiteral("allDay"), event.allDay},
        {QStringLiteral("source"), event.sourceName},
    };
    if (event.allDay) {
        object.insert(QStringLiteral("start"), event.firstDay.toString(Qt::ISODate));
        object.insert(QStringLiteral("end"), event.endDay.toString(Qt::ISODate));
    } else {
        object.insert(QStringLiteral("start"), localIso(event.start));
        object.insert(QStringLiteral("end"), localIso(event.end));
    }
    if (!event.location.isEmpty()) object.insert(QStringLiteral("location"), event.location);
    if (!event.joinUrl.isEmpty()) object.insert(QStringLiteral("joinUrl"), event.joinUrl.toString());
    return object;
}

QJsonObject taskJson(const TaskItem& task) {
    QJsonObject object{
        {QStringLiteral("uid"), task.uid},
        {QStringLiteral("title"), task.title},
        {QStringLiteral("completed"), task.completed},
        {QStringLiteral("list"), task.sourceName},
        {QStringLiteral("priority"), task.priority},
    };
    if (task.due)
        object.insert(QStringLiteral("due"), task.dueIsDay ? task.due->date().toString(Qt::ISODate)
                                                           : localIso(*task.due));
    object.insert(QStringLiteral("dueIsDay"), task.dueIsDay);
    return object;
}

int usage(const char* text) {
    std::fputs(text, stderr);
    return 2;
}

constexpr const char* kCalendarUsage =
    "usage: vantrel calendar [--days N] [--json]\n"
    "       vantrel calendar add-source PATH|URL\n"
    "       vantrel calendar remove-source PATH|URL\n"
    "       vantrel calendar sources\n";

constexpr const char* kRemindersUsage =
    "usage: vantrel reminders [--all] [--json]\n"
    "       vantrel reminders add TEXT [--due WHEN]\n"
    "       vantrel reminders complete UID\n";

int runCalendar(PackageRegistry& registry, QStringList arguments) {
    const QString verb = arguments.value(0);
    if (verb == QLatin1String("add-source") || verb == QLatin1String("remove-source")) {
        if (arguments.size() != 2) return usage(kCalendarUsage);
        if (verb == QLatin1String("remove-source")) {
            if (!CalendarFeature::removeSource(registry, arguments[1])) {
                printErr(QStringLiteral("'%1' is not one of the calendar sources.").arg(arguments[1]));
                return 1;
            }
            printOut(QStringLiteral("Removed %1\n").arg(arguments[1]));
            return 0;
        }
        QString problem;
        const std::optional<QString> source = CalendarService::normalizeSource(arguments[1], &problem);
        if (!source) {
            printErr(problem);
            return 1;
        }
        const SourceText loaded = CalendarService::loadSource(*source, CalendarService::defaultFetchTimeoutMs);
        if (loaded.ok) {
            const CalendarContent content = ICalendarReader::read(loaded.text, loaded.name, QDateTime::currentDateTime(),
                                                                  QDateTime::currentDateTime());
            if (!content.readable) {
                printErr(QStringLiteral("%1: %2").arg(*source, content.problems.join(QLatin1Char(' '))));
                return 1;
            }
            for (const QString& note : content.problems) printErr(QStringLiteral("%1: %2").arg(*source, note));
        } else {
            // A link that is down today may answer tomorrow: it is kept.
            printErr(loaded.problem);
        }
        if (!CalendarFeature::addSource(registry, *source)) {
            printOut(QStringLiteral("%1 is already a calendar source\n").arg(*source));
            return 0;
        }
        printOut(QStringLiteral("Added %1\n").arg(*source));
        return 0;
    }
    if (verb == QLatin1String("sources")) {
        if (arguments.size() != 1) return usage(kCalendarUsage);
        for (const QString& source : CalendarFeature::settings(registry).sources) printOut(source + QLatin1Char('\n'));
        return 0;
    }
    bool json = false;
    int days = CalendarFeature::defaultDays;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--json")) {
            json = true;
        } else if (arguments[i] == QLatin1String("--days") && i + 1 < arguments.size()) {
            bool ok = false;
            days = arguments[++i].toInt(&ok);
            if (!ok || days < 1 || days > CalendarFeature::maxDays) {
                printErr(QStringLiteral("--days takes a number from 1 to %1.").arg(CalendarFeature::maxDays));
                return 2;
            }
        } else {
            return usage(kCalendarUsage);
        }
    }
    const QDate today = QDate::currentDate();
    const QDate lastDay = today.addDays(days - 1);
    const Schedule schedule = CalendarFeature::service(registry).schedule(QDateTime(today, QTime(0, 0)),
                                                                          QDateTime(lastDay.addDays(1), QTime(0, 0)));
    for (const QString& note : schedule.notes) printErr(note);
    const std::vector<ScheduleDay> grouped = groupByDay(schedule.events, today, lastDay);
    if (json) {
        QJsonArray daysJson;
        for (const ScheduleDay& day : grouped) {
            QJsonArray events;
            for (const EventOccurrence& event : day.events) events.append(eventJson(event));
            daysJson.append(QJsonObject{{QStringLiteral("date"), day.day.toString(Qt::ISODate)},
                                        {QStringLiteral("events"), events}});
        }
        const QJsonObject document{{QStringLiteral("days"), daysJson},
                                   {QStringLiteral("notes"), QJsonArray::fromStringList(schedule.notes)}};
        printOut(QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Indented)));
        return 0;
    }
    bool any = false;
    for (const ScheduleDay& day : grouped) {
        if (day.events.empty()) continue;
        any = true;
        printOut(dayTitle(day.day, today) + QStringLiteral(" (") + day.day.toString(Qt::ISODate) +
                 QStringLiteral(")\n"));
        for (const EventOccurrence& event : day.events) {
            QString line = QStringLiteral("  %1  %2").arg(timeRangeText(event, day.day), -13).arg(event.title);
            if (!event.location.isEmpty() && event.location != event.joinUrl.toString())
                line += QStringLiteral(" — ") + event.location;
            if (!event.joinUrl.isEmpty()) line += QStringLiteral("  ") + event.joinUrl.toString();
            printOut(line + QLatin1Char('\n'));
        }
    }
    if (!any) printOut(QStringLiteral("No events in the next %1 days.\n").arg(days));
    return 0;
}

int runReminders(PackageRegistry& registry, QStringList arguments) {
    const QString verb = arguments.value(0);
    const CalendarService service = CalendarFeature::service(registry);
    if (verb == QLatin1String("add")) {
        arguments.removeFirst();
        QString due;
        const qsizetype dueAt = arguments.indexOf(QStringLiteral("--due"));
        if (dueAt >= 0) {
            if (dueAt + 1 >= arguments.size()) return usage(kRemindersUsage);
            due = arguments[dueAt + 1];
            arguments.remove(dueAt, 2);
        }
        const QString title = arguments.join(QLatin1Char(' ')).simplified();
        if (title.isEmpty()) return usage(kRemindersUsage);
        std::optional<QDateTime> when;
        bool isDay = false;
        if (!due.isEmpty()) {
            when = CalendarFeature::parseDue(due, &isDay);
            if (!when) {
                printErr(QStringLiteral("'%1' is not a date (try \"tomorrow at 9\", \"friday\", \"in 2 weeks\").")
                             .arg(due));
                return 1;
            }
        }
        const QString problem = service.desktopProblem();
        if (!problem.isEmpty()) printErr(problem);
        try {
            const QString list = service.createReminder(title, when, isDay);
            QString line = QStringLiteral("Added \"%1\" to %2").arg(title, list);
            if (when)
                line += QStringLiteral(", due ") +
                        (isDay ? when->date().toString(Qt::ISODate) : when->toString(QStringLiteral("yyyy-MM-dd HH:mm")));
            printOut(line + QLatin1Char('\n'));
            return 0;
        } catch (const std::exception& failure) {
            printErr(VantrelError::describe(failure));
            return 1;
        }
    }
    if (verb == QLatin1String("complete")) {
        if (arguments.size() != 2) return usage(kRemindersUsage);
        const ReminderList list = service.reminders();
        for (const TaskItem& task : list.tasks) {
            if (task.uid != arguments[1]) continue;
            try {
                service.completeReminder(task);
                printOut(QStringLiteral("Completed \"%1\"\n").arg(task.title));
                return 0;
            } catch (const std::exception& failure) {
                printErr(VantrelError::describe(failure));
                return 1;
            }
        }
        printErr(QStringLiteral("There is no reminder '%1'.").arg(arguments[1]));
        return 1;
    }
    bool json = false;
    bool all = false;
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--json"))
            json = true;
        else if (argument == QLatin1String("--all"))
            all = true;
        else
            return usage(kRemindersUsage);
    }
    const ReminderList list = service.reminders();
    for (const QString& note : list.notes) printErr(note);
    std::vector<TaskItem> shown;
    for (const TaskItem& task : list.tasks)
        if (all || !task.completed) shown.push_back(task);
    if (json) {
        QJsonArray tasks;
        for (const TaskItem& task : shown) tasks.append(taskJson(task));
        const QJsonObject document{{QStringLiteral("reminders"), tasks},
                                   {QStringLiteral("notes"), QJsonArray::fromStringList(list.notes)}};
        printOut(QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Indented)));
        return 0;
    }
    if (shown.empty()) printOut(QStringLiteral("No open reminders.\n"));
    for (const TaskItem& task : shown) {
        QString line = QStringLiteral("%1 %2").arg(task.completed ? QStringLiteral("[x]") : QStringLiteral("[ ]"), task.title);
        if (task.due)
            line += QStringLiteral("  (due ") +
                    (task.dueIsDay ? task.due->date().toString(Qt::ISODate)
                                   : task.due->toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"))) +
                    QLatin1Char(')');
        line += QStringLiteral("  [%1]").arg(task.sourceName);
        printOut(line + QLatin1Char('\n'));
    }
    return 0;
}

}  // namespace

// MARK: Running in the launcher

struct CalendarFeature::Running {
    QTimer homeTimer;
    QTimer dueTimer;
    QDateTime lastDueCheck;
    QSet<QString> told;
    bool homeBusy = false;
    bool dueBusy = false;
};

CalendarFeature::CalendarFeature() = default;
CalendarFeature::~CalendarFeature() = default;

CalendarSettings CalendarFeature::settings(const PackageRegistry& registry) {
    CalendarSettings settings;
    settings.sources = registry.stringListValue(calendarPackage(), sourcesKey).value_or(QStringList());
    settings.useDesktopCalendars = registry.boolValue(calendarPackage(), desktopKey).value_or(true);
    return settings;
}

bool CalendarFeature::addSource(PackageRegistry& registry, const QString& source) {
    QStringList sources = settings(registry).sources;
    if (sources.contains(source)) return false;
    sources << source;
    return registry.setPackageConfiguration(calendarPackage(), [&](QVariantMap& payload, bool&) {
        payload.insert(sourcesKey, sources);
    });
}

bool CalendarFeature::removeSource(PackageRegistry& registry, const QString& source) {
    QStringList sources = settings(registry).sources;
    QString problem;
    const QString normalized = CalendarService::normalizeSource(source, &problem).value_or(source);
    const qsizetype removed = sources.removeAll(source) + (normalized != source ? sources.removeAll(normalized) : 0);
    if (removed == 0) return false;
    return registry.setPackageConfiguration(calendarPackage(), [&](QVariantMap& payload, bool&) {
        payload.insert(sourcesKey, sources);
    });
}

void CalendarFeature::setUseDesktopCalendars(PackageRegistry& registry, bool use) {
    registry.setPackageConfiguration(calendarPackage(), [&](QVariantMap& payload, bool&) {
        payload.insert(desktopKey, use);
    });
}

CalendarService CalendarFeature::service(const PackageRegistry& registry) {
    std::shared_ptr<PersonalDataStore> store = platform().personalData ? platform().personalData() : nullptr;
    return CalendarService(settings(registry), std::move(store));
}

std::optional<QDateTime> CalendarFeature::parseDue(const QString& text, bool* isDay) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || !platform().makeCalculator) return std::nullopt;
    NLPDateProvider provider(platform().makeCalculator());
    // The phrases ("tomorrow at", "in 2 weeks") are indexed in the background.
    const QDeadlineTimer deadline(10000);
    while (!provider.isIndexed() && !deadline.hasExpired()) {
        if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    const std::vector<NLPDateProviderResult> results = provider.results(trimmed);
    if (results.empty()) return std::nullopt;
    const NLPDateProviderResult& first = results.front();
    const bool day = !first.hasTimeComponent() && first.suggestionKind().value != NLPDateSuggestion::Kind::exactTime;
    if (isDay) *isDay = day;
    return day ? QDateTime(first.date().date(), QTime(0, 0)) : first.date();
}

std::vector<TaskItem> CalendarFeature::dueBetween(const std::vector<TaskItem>& tasks, const QDateTime& after,
                                                  const QDateTime& until) {
    std::vector<TaskItem> due;
    for (const TaskItem& task : tasks) {
        if (task.completed) continue;
        const std::optional<QDateTime> alert = task.alertTime();
        if (alert && *alert > after && *alert <= until) due.push_back(task);
    }
    return due;
}

void CalendarFeature::registerWith(FeatureContext& context) {
    m_context = &context;
    PackageRegistry* registry = &context.registry();
    for (const QString& id : {scheduleCommandId, remindersCommandId, createReminderCommandId})
        context.addCommandHandler(id, [id](const VantrelCommand&, const CommandRunContext& run) {
            return CommandOutcome::showView(id, run.inputText());
        });
    context.addView(scheduleCommandId, [registry](const CommandOutcome& outcome) -> QWidget* {
        return new ScheduleView(service(*registry), outcome.initialQuery);
    });
    context.addView(remindersCommandId, [registry](const CommandOutcome& outcome) -> QWidget* {
        return new RemindersView(service(*registry), outcome.initialQuery);
    });
    context.addView(createReminderCommandId, [registry](const CommandOutcome& outcome) -> QWidget* {
        return new CreateReminderView(service(*registry), outcome.initialQuery);
    });
    context.addPreferencePage({QStringLiteral("Calendar"), QStringLiteral("calendar"),
                               [registry] { return new CalendarPreferencesPage(*registry); }});
    context.addCliCommand(QStringLiteral("calendar"), [registry](const QStringList& arguments) -> std::optional<int> {
        return runCalendar(*registry, arguments);
    });
    context.addCliCommand(QStringLiteral("reminders"), [registry](const QStringList& arguments) -> std::optional<int> {
        return runReminders(*registry, arguments);
    });
}

void CalendarFeature::start() {
    if (!m_context) return;
    m_running = std::make_shared<Running>();
    m_running->lastDueCheck = QDateTime::currentDateTime();
    m_running->homeTimer.setInterval(60 * 1000);
    QObject::connect(&m_running->homeTimer, &QTimer::timeout, [this] { refreshHome(); });
    m_running->homeTimer.start();
    m_running->dueTimer.setInterval(30 * 1000);
    QObject::connect(&m_running->dueTimer, &QTimer::timeout, [this] { checkDueReminders(); });
    m_running->dueTimer.start();
    refreshHome();
}

void CalendarFeature::refreshHome() {
    RootSearchController* rootSearch = m_context ? m_context->rootSearch() : nullptr;
    if (!rootSearch || m_running->homeBusy) return;
    m_running->homeBusy = true;
    const CalendarService calendar = service(m_context->registry());
    std::weak_ptr<Running> running = m_running;
    FeatureContext* context = m_context;
    Queue::global().dispatch([calendar, running, context] {
        const QDateTime now = QDateTime::currentDateTime();
        const Schedule schedule = calendar.schedule(now.addSecs(-10 * 60), now.addSecs(10 * 60));
        Queue::main().dispatch([schedule, running, context] {
            const auto alive = running.lock();
            if (!alive) return;
            alive->homeBusy = false;
            std::vector<CalendarEvent> events;
            for (const EventOccurrence& occurrence : schedule.events) {
                if (occurrence.allDay) continue;
                CalendarEvent event;
                event.id = QStringLiteral("calendarEvent-") + occurrence.uid + QLatin1Char('-') +
                           QString::number(occurrence.start.toSecsSinceEpoch());
                event.title = occurrence.title;
                event.startDate = occurrence.start;
                if (!occurrence.location.isEmpty()) event.location = occurrence.location;
                event.actions = std::make_shared<EventActionProvider>(occurrence, context);
                events.push_back(std::move(event));
            }
            if (RootSearchController* home = context->rootSearch()) home->setLastEvents(std::move(events));
        });
    });
}

void CalendarFeature::checkDueReminders() {
    if (!m_context || !platform().notify || m_running->dueBusy) return;
    m_running->dueBusy = true;
    const CalendarService calendar = service(m_context->registry());
    std::weak_ptr<Running> running = m_running;
    const QDateTime after = m_running->lastDueCheck;
    Queue::global().dispatch([calendar, running, after] {
        const QDateTime now = QDateTime::currentDateTime();
        const std::vector<TaskItem> due = dueBetween(calendar.reminders().tasks, after, now);
        Queue::main().dispatch([due, running, now] {
            const auto alive = running.lock();
            if (!alive) return;
            alive->dueBusy = false;
            alive->lastDueCheck = now;
            for (const TaskItem& task : due) {
                const QString key = task.sourceKey + QLatin1Char('|') + task.uid;
                if (alive->told.contains(key)) continue;
                alive->told.insert(key);
                QString problem;
                const QString body = task.dueIsDay ? QStringLiteral("Due today")
                                                   : QStringLiteral("Due at ") + task.due->toLocalTime().toString(
                                                                                     QStringLiteral("HH:mm"));
                if (!platform().notify(task.title, body, &problem))
                    log().warning(QStringLiteral("Could not tell that a reminder is due: ") + problem);
            }
        });
    });
}

}  // namespace vantrel
