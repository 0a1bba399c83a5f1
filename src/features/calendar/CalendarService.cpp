#include "features/calendar/CalendarService.h"

#include "kit/Paths.h"
#include "kit/VantrelError.h"

#include <QCryptographicHash>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QTimer>

#include <algorithm>

namespace vantrel {

namespace {

const QString kOwnSource = QStringLiteral("own");
const QString kFilePrefix = QStringLiteral("file:");
const QString kStorePrefix = QStringLiteral("eds:");
// A file larger than this is not read (the reader refuses it anyway).
constexpr qint64 kMaxFileBytes = ICalendarReader::maxTextBytes;

QString cachedCopyPath(const QString& link) {
    const QByteArray digest = QCryptographicHash::hash(link.toUtf8(), QCryptographicHash::Sha1).toHex();
    return QDir(Paths::cacheDir()).filePath(QStringLiteral("calendars/") + QString::fromLatin1(digest) +
                                            QStringLiteral(".ics"));
}

SourceText readFile(const QString& path) {
    SourceText source;
    source.name = QFileInfo(path).fileName();
    QFile file(path);
    if (!file.exists()) {
        source.problem = QStringLiteral("%1: the file does not exist.").arg(path);
        return source;
    }
    if (file.size() > kMaxFileBytes) {
        source.problem = QStringLiteral("%1: the file is larger than %2 MB and is not read.")
                             .arg(path)
                             .arg(kMaxFileBytes / (1024 * 1024));
        return source;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        source.problem = QStringLiteral("%1: %2.").arg(path, file.errorString());
        return source;
    }
    source.text = file.readAll();
    source.ok = true;
    return source;
}

void writeFile(const QString& path, const QByteArray& text) {
    Paths::ensureDir(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        throw VantrelError(QStringLiteral("Could not write %1: %2").arg(path, file.errorString()));
}

SourceText fetchLink(const QString& link, int timeoutMs) {
    SourceText source;
    const QUrl url(link);
    source.name = url.host() + url.path();
    QNetworkAccessManager network;
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Vantrel"));
    request.setTransferTimeout(timeoutMs);
    QNetworkReply* reply = network.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::downloadProgress, &loop, [reply](qint64 received, qint64) {
        if (received > kMaxFileBytes) reply->abort();
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, reply, &QNetworkReply::abort);
    deadline.start(timeoutMs);
    if (!reply->isFinished()) loop.exec();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() == QNetworkReply::NoError && status >= 200 && status < 300) {
        source.text = reply->readAll();
        source.ok = true;
        // Kept for the times the link cannot be reached.
        try {
            writeFile(cachedCopyPath(link), source.text);
        } catch (const std::exception&) {
        }
    } else {
        const QString why = reply->error() == QNetworkReply::OperationCanceledError
                                ? QStringLiteral("no answer within %1 s").arg(timeoutMs / 1000.0)
                            : status >= 300 ? QStringLiteral("the server answered %1").arg(status)
                                            : reply->errorString();
        source.problem = QStringLiteral("%1 could not be fetched (%2)").arg(link, why);
        QFile cached(cachedCopyPath(link));
        if (cached.open(QIODevice::ReadOnly)) {
            source.text = cached.readAll();
            source.ok = true;
            source.problem += QStringLiteral("; showing the copy fetched before.");
        } else {
            source.problem += QLatin1Char('.');
        }
    }
    reply->deleteLater();
    return source;
}

bool openFirst(const TaskItem& a, const TaskItem& b) {
    if (a.completed != b.completed) return !a.completed;
    if (a.due.has_value() != b.due.has_value()) return a.due.has_value();
    if (a.due && *a.due != *b.due) return *a.due < *b.due;
    if (a.priority != b.priority) return (a.priority == 0 ? 10 : a.priority) < (b.priority == 0 ? 10 : b.priority);
    return a.title < b.title;
}

}  // namespace

CalendarService::CalendarService(CalendarSettings settings, std::shared_ptr<PersonalDataStore> store,
                                 int fetchTimeoutMs)
    : m_settings(std::move(settings)), m_store(std::move(store)), m_fetchTimeoutMs(fetchTimeoutMs) {}

QString CalendarService::ownTaskFile() {
    return QDir(Paths::dataDir()).filePath(QStringLiteral("reminders.ics"));
}

bool CalendarService::isLink(const QString& source) {
    return source.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
           source.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

std::optional<QString> CalendarService::normalizeSource(const QString& pathOrUrl, QString* problem) {
    QString source = pathOrUrl.trimmed();
    if (source.startsWith(QLatin1String("webcal://"), Qt::CaseInsensitive))
        source = QStringLiteral("https://") + source.mid(9);
    if (isLink(source)) {
        const QUrl url(source, QUrl::StrictMode);
        if (!url.isValid() || url.host().isEmpty()) {
            if (problem) *problem = QStringLiteral("'%1' is not a valid link.").arg(pathOrUrl);
            return std::nullopt;
        }
        return url.toString();
    }
    if (source.startsWith(QLatin1String("file://"))) source = QUrl(source).toLocalFile();
    if (source.startsWith(QLatin1String("~/"))) source = QDir::homePath() + source.mid(1);
    const QFileInfo file(source);
    if (source.isEmpty() || !file.exists()) {
        if (problem) *problem = QStringLiteral("'%1' is neither an existing file nor an http(s) link.").arg(pathOrUrl);
        return std::nullopt;
    }
    return file.absoluteFilePath();
}

SourceText CalendarService::loadSource(const QString& source, int fetchTimeoutMs) {
    return isLink(source) ? fetchLink(source, fetchTimeoutMs) : readFile(source);
}

std::shared_ptr<PersonalDataStore> CalendarService::usableStore(QStringList* notes) const {
    if (!m_settings.useDesktopCalendars || !m_store) return nullptr;
    const QString problem = m_store->problem();
    if (!problem.isEmpty()) {
        if (notes) notes->append(problem);
        return nullptr;
    }
    return m_store;
}

QString CalendarService::desktopProblem() const {
    if (!m_settings.useDesktopCalendars) return QStringLiteral("The desktop's calendars are switched off.");
    if (!m_store) return QStringLiteral("This desktop has no calendar store.");
    return m_store->problem();
}

Schedule CalendarService::schedule(const QDateTime& from, const QDateTime& to) const {
    Schedule schedule;
    auto take = [&](const QString& name, const QByteArray& text) {
        CalendarContent content = ICalendarReader::read(text, name, from, to);
        for (const QString& problem : content.problems) schedule.notes << name + QStringLiteral(": ") + problem;
        std::move(content.events.begin(), content.events.end(), std::back_inserter(schedule.events));
    };
    for (const QString& source : m_settings.sources) {
        const SourceText loaded = loadSource(source, m_fetchTimeoutMs);
        if (!loaded.problem.isEmpty()) schedule.notes << loaded.problem;
        if (loaded.ok) take(loaded.name, loaded.text);
    }
    if (const auto store = usableStore(&schedule.notes)) {
        try {
            for (const PersonalDataStore::Collection& calendar : store->collections(PersonalDataStore::Kind::events)) {
                try {
                    take(calendar.name, store->events(calendar.uid, from, to));
                } catch (const std::exception& failure) {
                    schedule.notes << calendar.name + QStringLiteral(": ") + VantrelError::describe(failure);
                }
            }
        } catch (const std::exception& failure) {
            schedule.notes << VantrelError::describe(failure);
        }
    }
    std::stable_sort(schedule.events.begin(), schedule.events.end(), &EventOccurrence::comesBefore);
    return schedule;
}

ReminderList CalendarService::reminders() const {
    ReminderList list;
    const QDateTime now = QDateTime::currentDateTime();
    auto take = [&](const QString& name, const QString& key, const QByteArray& text) {
        CalendarContent content = ICalendarReader::read(text, name, now, now);
        for (const QString& problem : content.problems) list.notes << name + QStringLiteral(": ") + problem;
        for (TaskItem& task : content.tasks) {
            task.sourceKey = key;
            list.tasks.push_back(std::move(task));
        }
    };
    if (QFileInfo::exists(ownTaskFile())) {
        const SourceText own = readFile(ownTaskFile());
        if (own.ok)
            take(QStringLiteral("Reminders"), kOwnSource, own.text);
        else
            list.notes << own.problem;
    }
    for (const QString& source : m_settings.sources) {
        const SourceText loaded = loadSource(source, m_fetchTimeoutMs);
        if (!loaded.problem.isEmpty()) list.notes << loaded.problem;
        if (loaded.ok) take(loaded.name, isLink(source) ? source : kFilePrefix + source, loaded.text);
    }
    if (const auto store = usableStore(&list.notes)) {
        try {
            for (const PersonalDataStore::Collection& taskList : store->collections(PersonalDataStore::Kind::tasks)) {
                try {
                    take(taskList.name, kStorePrefix + taskList.uid, store->tasks(taskList.uid));
                } catch (const std::exception& failure) {
                    list.notes << taskList.name + QStringLiteral(": ") + VantrelError::describe(failure);
                }
            }
        } catch (const std::exception& failure) {
            list.notes << VantrelError::describe(failure);
        }
    }
    std::stable_sort(list.tasks.begin(), list.tasks.end(), openFirst);
    return list;
}

QString CalendarService::createReminder(const QString& title, const std::optional<QDateTime>& due,
                                        bool dueIsDay) const {
    const QString trimmed = title.simplified();
    if (trimmed.isEmpty()) throw VantrelError(QStringLiteral("A reminder needs a title."));
    const QByteArray task = ICalendarTasks::makeTask(trimmed, due, dueIsDay);
    QStringList ignored;
    if (const auto store = usableStore(&ignored)) {
        std::vector<PersonalDataStore::Collection> lists;
        try {
            lists = store->collections(PersonalDataStore::Kind::tasks);
        } catch (const std::exception&) {
        }
        for (const PersonalDataStore::Collection& list : lists) {
            if (!list.writable) continue;
            store->saveComponent(list.uid, task);
            return list.name;
        }
    }
    QByteArray existing;
    if (QFileInfo::exists(ownTaskFile())) {
        const SourceText own = readFile(ownTaskFile());
        if (!own.ok) throw VantrelError(own.problem);
        existing = own.text;
    }
    writeFile(ownTaskFile(), ICalendarTasks::addTask(existing, task));
    return QStringLiteral("Reminders");
}

void CalendarService::completeReminder(const TaskItem& task) const {
    if (task.sourceKey.startsWith(kStorePrefix)) {
        if (!m_store) throw VantrelError(QStringLiteral("The desktop's task lists are not available."));
        const QString uid = task.sourceKey.mid(kStorePrefix.size());
        m_store->saveComponent(uid, ICalendarTasks::completedTaskComponent(m_store->tasks(uid), task.uid));
        return;
    }
    QString path;
    if (task.sourceKey == kOwnSource)
        path = ownTaskFile();
    else if (task.sourceKey.startsWith(kFilePrefix))
        path = task.sourceKey.mid(kFilePrefix.size());
    else
        throw VantrelError(
            QStringLiteral("'%1' comes from a subscribed link, which cannot be changed from here.").arg(task.title));
    const SourceText file = readFile(path);
    if (!file.ok) throw VantrelError(file.problem);
    writeFile(path, ICalendarTasks::completeTask(file.text, task.uid));
}

std::vector<ScheduleDay> groupByDay(const std::vector<EventOccurrence>& events, const QDate& firstDay,
                                    const QDate& lastDay) {
    std::vector<ScheduleDay> days;
    for (QDate day = firstDay; day.isValid() && day <= lastDay; day = day.addDays(1)) days.push_back({day, {}});
    for (const EventOccurrence& event : events) {
        const QDate from = std::max(event.localFirstDay(), firstDay);
        const QDate to = std::min(event.localLastDay(), lastDay);
        for (QDate day = from; day <= to; day = day.addDays(1)) days[size_t(firstDay.daysTo(day))].events.push_back(event);
    }
    return days;
}

QString timeRangeText(const EventOccurrence& event, const QDate& day) {
    if (event.allDay) return QStringLiteral("All day");
    const QDateTime start = event.start.toLocalTime();
    const QDateTime end = event.end.toLocalTime();
    const QString format = QStringLiteral("HH:mm");
    const bool startsToday = start.date() == day;
    const bool endsToday = end.date() == day || (end.time() == QTime(0, 0) && end.date() == day.addDays(1));
    if (!startsToday && !endsToday) return QStringLiteral("All day");
    if (!startsToday) return QStringLiteral("Until ") + end.toString(format);
    if (end <= start) return start.toString(format);
    if (!endsToday) return QStringLiteral("From ") + start.toString(format);
    return start.toString(format) + QChar(0x2013) + end.toString(format);
}

QString dayTitle(const QDate& day, const QDate& today) {
    if (day == today) return QStringLiteral("Today");
    if (day == today.addDays(1)) return QStringLiteral("Tomorrow");
    return QLocale(QLocale::English).toString(day, QStringLiteral("dddd, d MMMM"));
}

}  // namespace vantrel
