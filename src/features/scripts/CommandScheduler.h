#pragma once

#include "features/scripts/ScriptCommand.h"
#include "features/scripts/TerminalOutputFormatter.h"
#include "kit/Settings.h"

#include <QDateTime>
#include <QJsonValue>
#include <QMetaType>
#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <shared_mutex>
#include <vector>

class QTimer;

namespace vantrel {

class NotificationCenter;
class ScriptCommandRunner;
class UserDefaults;

// What an inline command printed last time.
struct CommandOutput {
    // The output as stored: trimmed and cut to 140 characters, or the error text.
    QString stringValue;
    // stringValue with its escape sequences turned into styles.
    std::vector<TerminalTextRun> attributesStringValue;
    QDateTime ranAt;

    // The styled text without escape sequences.
    QString plainText() const;
};

struct CommandRun {
    ScriptCommand command;
    CommandOutput output;
};

// The stored runs: command id → {"output": text, "ranAt": seconds since 1970}.
struct StoredCommandRuns {
    std::map<QString, std::map<QString, QString>> runs;

    QJsonValue toJson() const;
    static std::optional<StoredCommandRuns> fromJson(const QJsonValue& value);
};

// Runs inline script commands that have a refresh time in the background, at
// their refresh length, keeps the last output of each in the settings (so it
// survives a restart) and posts "didRunScheduledCommand" with the CommandRun
// (a std::shared_ptr<const CommandRun> in the notification's object) after
// every run, successful or not. One run of a command at a time.
//
// The timer and the runs live on the main thread; the stored runs may be read
// from any thread.
class CommandScheduler : public QObject {
    Q_OBJECT

public:
    // The script commands to pick the refreshable ones from.
    using CommandsProvider = std::function<std::vector<ScriptCommand>()>;

    static constexpr QLatin1String realm{"commandScheduler"};
    static constexpr QLatin1String commandRunsKey{"commandRuns"};
    static constexpr int maximumOutputLength = 140;
    static constexpr double minimumInterval = 10.0;

    // defaults: the standard store when null; center: the default centre when null.
    explicit CommandScheduler(CommandsProvider commands, UserDefaults* defaults = nullptr,
                              NotificationCenter* center = nullptr, QObject* parent = nullptr);
    ~CommandScheduler() override;

    // The scheduler of the launcher, over the script commands of the script
    // commands service; created on first use, lives as long as the process.
    static CommandScheduler& shared();
    // Hands shared() its commands; to be called before its first use.
    static void setSharedCommandsProvider(CommandsProvider commands);

    // Picks the refreshable commands and (re)starts the timer; no timer when
    // there are none.
    void schedule();
    // The inline commands whose refresh time is not none.
    std::vector<ScriptCommand> refreshableCommands() const;

    // The stored last run of a command; nothing when there is none or the
    // stored entry is incomplete.
    std::optional<CommandRun> lastRun(const ScriptCommand& command) const;
    // Runs the command now unless it is running already.
    void run(const ScriptCommand& command);
    bool isRunning(const QString& commandId) const;

    // One timer tick: runs every refreshable command that is due.
    void tick();
    // Due when `now` is not earlier than (last run, or startedAt) + (length − tolerance).
    bool isDue(const ScriptCommand& command, const QDateTime& now) const;

    bool isScheduled() const;
    // Of the running timer (0 when there is none).
    double interval() const { return m_interval; }
    double tolerance() const { return m_tolerance; }
    QDateTime startedAt() const { return m_startedAt; }

private:
    StoredCommandRuns& cachedRunsLocked() const;
    void finishRun(const ScriptCommand& command, QString output, ScriptCommandRunner* runner);

    CommandsProvider m_commands;
    UserDefaults* m_defaults;
    NotificationCenter& m_center;
    CodableUserDefault<StoredCommandRuns> m_commandRuns;

    // Guards the cached runs and inProgressRuns: reads shared, writes exclusive.
    mutable std::shared_mutex m_runsMutex;
    mutable std::optional<StoredCommandRuns> m_cachedCommandRuns;
    std::set<QString> m_inProgressRuns;

    QTimer* m_timer = nullptr;
    QDateTime m_startedAt;
    double m_interval = 0;
    double m_tolerance = 0;
};

}  // namespace vantrel

Q_DECLARE_METATYPE(std::shared_ptr<const vantrel::CommandRun>)
