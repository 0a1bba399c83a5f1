#pragma once

#include "features/scripts/ScriptCommand.h"
#include "kit/Promise.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QProcess;

namespace vantrel {

// Runs one script command as a child process: the script file itself is the
// program (its first line picks the interpreter), standard output and error
// share one channel, PATH starts with /usr/local/bin and LANG is the locale
// with ".UTF-8". With an output handler the output is streamed chunk by chunk;
// without one it is collected and handed to the completion. Completions and
// chunks arrive on the main thread. One process at a time: run() while one is
// running does nothing.
class ScriptCommandRunner : public QObject {
    Q_OBJECT

public:
    using OutputHandler = std::function<void(const QString& chunk)>;
    // Success: the output (streamed runs: what was left at the end). Failure:
    // the launch error, or the trimmed output / "Process terminated with status N".
    using Completion = std::function<void(const Result<QString>& result)>;

    explicit ScriptCommandRunner(ScriptCommand command, OutputHandler outputHandler = {}, QObject* parent = nullptr);
    ~ScriptCommandRunner() override;

    void run(const QStringList& arguments, Completion completion);
    // Interrupts the running process (SIGINT); the run then ends as the process decides.
    // A script in its own process group gets it with all its children, as a
    // terminal's interrupt key would send it (so a shell waiting for a child
    // ends as well).
    void cancel();
    // Whether the script starts in a process group of its own (the default).
    // The command-line tool keeps it in the terminal's group instead, so the
    // terminal's interrupt key reaches it directly.
    void setRunsInOwnProcessGroup(bool own) { m_ownProcessGroup = own; }
    bool isRunning() const;
    const ScriptCommand& command() const { return m_command; }

    // Collected output (no output handler) keeps at most its last this many
    // bytes, so that a runaway script cannot fill the memory; what came
    // before is dropped. A streamed run hands everything to the handler.
    static constexpr qsizetype collectedOutputLimit = 1024 * 1024;

    // The environment a script starts with: the launcher's own, PATH led by
    // /usr/local/bin, LANG the locale with ".UTF-8".
    static QStringList environment();
    // The folder a script starts in.
    static QString workingDirectory(const ScriptCommand& command);
    // The text of output bytes: nothing when they are not valid UTF-8.
    static QString decodeOutput(const QByteArray& bytes);

private:
    void readOutput();
    void flushStreamedOutput();
    void keepCollectedTail();
    void processFinished(int exitCode, bool crashed);
    void launchFailed();
    void complete(const Result<QString>& result);
    void detachProcess();

    ScriptCommand m_command;
    OutputHandler m_outputHandler;
    QProcess* m_process = nullptr;
    Completion m_completion;
    // Collected output, or streamed bytes not yet handed over (an incomplete
    // UTF-8 sequence at the end waits for the rest).
    QByteArray m_output;
    bool m_flushScheduled = false;
    bool m_ownProcessGroup = true;
};

}  // namespace vantrel
