#include "features/scripts/CommandScheduler.h"

#include "features/scripts/ScriptCommandRunner.h"
#include "kit/Logger.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "kit/Queue.h"
#include "kit/UserDefaults.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Command Scheduler"), QStringLiteral("⏰")});
    return logger;
}

const QString outputKey = QStringLiteral("output");
const QString ranAtKey = QStringLiteral("ranAt");

CommandOutput makeOutput(QString text, QDateTime ranAt) {
    TerminalOutputFormatter formatter;
    formatter.terminalString = text;
    CommandOutput output;
    output.attributesStringValue = formatter.styledRuns();
    output.stringValue = std::move(text);
    output.ranAt = std::move(ranAt);
    return output;
}

// Seconds since 1970 as decimal text, to the millisecond.
QString secondsText(const QDateTime& date) {
    return QString::number(static_cast<double>(date.toMSecsSinceEpoch()) / 1000.0, 'f', 3);
}

struct SharedProvider {
    std::mutex mutex;
    CommandScheduler::CommandsProvider commands;
};

SharedProvider& sharedProvider() {
    static SharedProvider provider;
    return provider;
}

}  // namespace

QString CommandOutput::plainText() const {
    QString text;
    for (const TerminalTextRun& run : attributesStringValue) text += run.text;
    return text;
}

QJsonValue StoredCommandRuns::toJson() const {
    QJsonObject object;
    for (const auto& [id, entry] : runs) {
        QJsonObject values;
        for (const auto& [key, value] : entry) values.insert(key, value);
        object.insert(id, values);
    }
    return object;
}

std::optional<StoredCommandRuns> StoredCommandRuns::fromJson(const QJsonValue& value) {
    if (!value.isObject()) return std::nullopt;
    StoredCommandRuns stored;
    const QJsonObject object = value.toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        // An entry that is not a dictionary of texts is left out; the others stay.
        if (!it.value().isObject()) continue;
        std::map<QString, QString> entry;
        const QJsonObject values = it.value().toObject();
        for (auto field = values.begin(); field != values.end(); ++field)
            if (field.value().isString()) entry[field.key()] = field.value().toString();
        stored.runs[it.key()] = std::move(entry);
    }
    return stored;
}

CommandScheduler::CommandScheduler(CommandsProvider commands, UserDefaults* defaults, NotificationCenter* center,
                                   QObject* parent)
    : QObject(parent),
      m_commands(std::move(commands)),
      m_defaults(defaults),
      m_center(center ? *center : NotificationCenter::defaultCenter()),
      m_commandRuns(QString(commandRunsKey), UserDefaultsRealm(QString(realm)), StoredCommandRuns{}, defaults),
      m_startedAt(QDateTime::currentDateTimeUtc()) {
    QPointer<CommandScheduler> self(this);
    m_center.addObserver(QString(NotificationNames::scriptCommandsChanged), this, [self](const Notification&) {
        log().info("Rescheduling after script commands changed");
        Queue::main().dispatch([self] {
            if (self) self->schedule();
        });
    });
}

CommandScheduler::~CommandScheduler() {
    m_center.removeObserver(this);
}

CommandScheduler& CommandScheduler::shared() {
    static CommandScheduler* scheduler = [] {
        auto* made = new CommandScheduler([] {
            CommandsProvider commands;
            {
                std::lock_guard lock(sharedProvider().mutex);
                commands = sharedProvider().commands;
            }
            return commands ? commands() : std::vector<ScriptCommand>{};
        });
        // Lives as long as the process; the application ends it with its children.
        if (QCoreApplication* app = QCoreApplication::instance()) made->setParent(app);
        return made;
    }();
    return *scheduler;
}

void CommandScheduler::setSharedCommandsProvider(CommandsProvider commands) {
    std::lock_guard lock(sharedProvider().mutex);
    sharedProvider().commands = std::move(commands);
}

std::vector<ScriptCommand> CommandScheduler::refreshableCommands() const {
    std::vector<ScriptCommand> refreshable;
    if (!m_commands) return refreshable;
    for (ScriptCommand& command : m_commands())
        if (command.runMode == ScriptCommand::RunMode::inline_ && !command.refreshTime.isNone() &&
            command.refreshTime.lengthInSeconds())
            refreshable.push_back(std::move(command));
    return refreshable;
}

void CommandScheduler::schedule() {
    const std::vector<ScriptCommand> commands = refreshableCommands();
    if (m_timer) {
        m_timer->stop();
        m_timer->deleteLater();
        m_timer = nullptr;
    }
    m_interval = 0;
    m_tolerance = 0;
    if (commands.empty()) {
        log().info("No refreshable commands available", {{QStringLiteral("operation"), QStringLiteral("schedule()")}});
        return;
    }
    double shortest = *commands.front().refreshTime.lengthInSeconds();
    for (const ScriptCommand& command : commands) shortest = std::min(shortest, *command.refreshTime.lengthInSeconds());
    m_interval = std::max(minimumInterval, shortest);
    m_tolerance = m_interval * 0.1;
    m_startedAt = QDateTime::currentDateTimeUtc();

    m_timer = new QTimer(this);
    // A coarse timer may fire a little early or late (about 5%), well inside the tolerance.
    m_timer->setTimerType(Qt::CoarseTimer);
    const double intervalMs = std::min(m_interval * 1000.0, static_cast<double>(std::numeric_limits<int>::max()));
    m_timer->setInterval(static_cast<int>(intervalMs));
    connect(m_timer, &QTimer::timeout, this, &CommandScheduler::tick);
    m_timer->start();
    log().info(QStringLiteral("Scheduled command runs with interval: ") + QString::number(m_interval) +
               QStringLiteral("s and tolerance: ") + QString::number(m_tolerance) + QStringLiteral("s"));
}

bool CommandScheduler::isScheduled() const {
    return m_timer && m_timer->isActive();
}

void CommandScheduler::tick() {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const ScriptCommand& command : refreshableCommands())
        if (isDue(command, now)) run(command);
}

bool CommandScheduler::isDue(const ScriptCommand& command, const QDateTime& now) const {
    const std::optional<double> length = command.refreshTime.lengthInSeconds();
    if (!length) return false;
    const std::optional<CommandRun> last = lastRun(command);
    const QDateTime base = last ? last->output.ranAt : m_startedAt;
    const double wait = *length - m_tolerance;
    const QDateTime next = base.addMSecs(static_cast<qint64>(std::llround(wait * 1000.0)));
    return now >= next;
}

StoredCommandRuns& CommandScheduler::cachedRunsLocked() const {
    if (!m_cachedCommandRuns) m_cachedCommandRuns = m_commandRuns.value();
    return *m_cachedCommandRuns;
}

std::optional<CommandRun> CommandScheduler::lastRun(const ScriptCommand& command) const {
    QString output;
    QString ranAt;
    {
        // The first read fills the cache, which needs the exclusive lock once.
        std::shared_lock readLock(m_runsMutex);
        if (!m_cachedCommandRuns) {
            readLock.unlock();
            std::unique_lock writeLock(m_runsMutex);
            cachedRunsLocked();
        }
    }
    {
        std::shared_lock readLock(m_runsMutex);
        const auto& runs = m_cachedCommandRuns->runs;
        const auto entry = runs.find(command.id);
        if (entry == runs.end()) return std::nullopt;
        const auto storedOutput = entry->second.find(outputKey);
        const auto storedRanAt = entry->second.find(ranAtKey);
        if (storedOutput == entry->second.end() || storedRanAt == entry->second.end()) return std::nullopt;
        output = storedOutput->second;
        ranAt = storedRanAt->second;
    }
    bool ok = false;
    const double seconds = ranAt.toDouble(&ok);
    if (!ok || !std::isfinite(seconds)) return std::nullopt;
    const QDateTime date = QDateTime::fromMSecsSinceEpoch(std::llround(seconds * 1000.0), Qt::UTC);
    return CommandRun{command, makeOutput(std::move(output), date)};
}

bool CommandScheduler::isRunning(const QString& commandId) const {
    std::shared_lock lock(m_runsMutex);
    return m_inProgressRuns.count(commandId) > 0;
}

void CommandScheduler::run(const ScriptCommand& command) {
    {
        std::unique_lock lock(m_runsMutex);
        if (!m_inProgressRuns.insert(command.id).second) return;
    }
    auto* runner = new ScriptCommandRunner(command, {}, this);
    QPointer<CommandScheduler> self(this);
    runner->run({}, [self, command, runner](const Result<QString>& result) {
        if (!self) return;
        if (result.isSuccess()) {
            self->finishRun(command, result.value().trimmed().left(maximumOutputLength), runner);
            return;
        }
        const QString description = result.error().errorDescription();
        log().error(QStringLiteral("Could not run command: ") + description,
                    {{QStringLiteral("operation"), QStringLiteral("runFailed(command:error:completion:)")}});
        self->finishRun(command, description, runner);
    });
}

void CommandScheduler::finishRun(const ScriptCommand& command, QString output, ScriptCommandRunner* runner) {
    runner->deleteLater();
    const QDateTime ranAt = QDateTime::currentDateTimeUtc();
    auto commandRun = std::make_shared<const CommandRun>(CommandRun{command, makeOutput(output, ranAt)});
    {
        std::unique_lock lock(m_runsMutex);
        StoredCommandRuns& runs = cachedRunsLocked();
        runs.runs[command.id] = {{outputKey, output}, {ranAtKey, secondsText(ranAt)}};
        m_commandRuns.setValue(runs);
        m_inProgressRuns.erase(command.id);
    }
    m_center.post(QString(NotificationNames::didRunScheduledCommand), QVariant::fromValue(commandRun));
}

}  // namespace vantrel
