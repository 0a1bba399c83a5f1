#pragma once

#include "app/ScriptCommand.h"
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
    void cancel();
    bool isRunning() const;
    const ScriptCommand& command() const { return m_command; }

private:
    ScriptCommand m_command;
    OutputHandler m_outputHandler;
    QProcess* m_process = nullptr;
};

}  // namespace vantrel
