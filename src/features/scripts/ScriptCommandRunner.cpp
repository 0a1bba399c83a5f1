#include "features/scripts/ScriptCommandRunner.h"

#include "kit/Logger.h"
#include "kit/VantrelError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>

#include <sys/types.h>
#include <unistd.h>
#include <csignal>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Script Commands"), QStringLiteral("📜")});
    return logger;
}

QString describe(const ScriptCommand& command) {
    return command.displayName + QLatin1Char('(') + command.packageName + QStringLiteral(") ");
}

// The length of the UTF-8 sequence a lead byte starts; 0 for a byte that
// cannot start one.
int sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF, no
// cut-off sequence at the end.
bool isValidUtf8(const char* data, qsizetype size) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    qsizetype index = 0;
    while (index < size) {
        const unsigned char lead = bytes[index];
        if (lead < 0x80) {
            ++index;
            continue;
        }
        const int length = sequenceLength(lead);
        if (length == 0 || index + length > size) return false;
        for (int offset = 1; offset < length; ++offset)
            if ((bytes[index + offset] & 0xC0) != 0x80) return false;
        const unsigned char second = bytes[index + 1];
        if (lead == 0xE0 && second < 0xA0) return false;  // overlong
        if (lead == 0xED && second > 0x9F) return false;  // surrogate
        if (lead == 0xF0 && second < 0x90) return false;  // overlong
        if (lead == 0xF4 && second > 0x8F) return false;  // past U+10FFFF
        index += length;
    }
    return true;
}

// Where a trailing sequence that is still incomplete starts (it waits for the
// next chunk); the size when the data ends on a whole character.
qsizetype completePrefixLength(const QByteArray& data) {
    const qsizetype size = data.size();
    for (qsizetype back = 1; back <= 3 && back <= size; ++back) {
        const auto byte = static_cast<unsigned char>(data[size - back]);
        if ((byte & 0xC0) == 0x80) continue;
        const int length = sequenceLength(byte);
        return length > back ? size - back : size;
    }
    return size;
}

}  // namespace

ScriptCommandRunner::ScriptCommandRunner(ScriptCommand command, OutputHandler outputHandler, QObject* parent)
    : QObject(parent), m_command(std::move(command)), m_outputHandler(std::move(outputHandler)) {}

ScriptCommandRunner::~ScriptCommandRunner() {
    detachProcess();
}

QStringList ScriptCommandRunner::environment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString inherited = environment.value(QStringLiteral("PATH"));
    environment.insert(QStringLiteral("PATH"), environment.contains(QStringLiteral("PATH"))
                                                   ? QStringLiteral("/usr/local/bin:") + inherited
                                                   : QStringLiteral("/usr/local/bin"));
    environment.insert(QStringLiteral("LANG"), QLocale::system().name() + QStringLiteral(".UTF-8"));
    return environment.toStringList();
}

QString ScriptCommandRunner::workingDirectory(const ScriptCommand& command) {
    const QString scriptFolder = QFileInfo(command.scriptPath).absolutePath();
    if (!command.currentDirectoryPath) return scriptFolder;
    const QString& path = *command.currentDirectoryPath;
    // Absolute and home-relative paths are used exactly as written.
    if (path.startsWith(QLatin1Char('/')) || path.startsWith(QLatin1Char('~'))) return path;
    return QDir::cleanPath(scriptFolder + QLatin1Char('/') + path);
}

QString ScriptCommandRunner::decodeOutput(const QByteArray& bytes) {
    if (!isValidUtf8(bytes.constData(), bytes.size())) return {};
    return QString::fromUtf8(bytes);
}

bool ScriptCommandRunner::isRunning() const {
    return m_process && m_process->state() != QProcess::NotRunning;
}

void ScriptCommandRunner::run(const QStringList& arguments, Completion completion) {
    if (isRunning()) return;
    log().info(QStringLiteral("Will run ") + describe(m_command) + QStringLiteral("script. Mode: ") +
               ScriptCommand::rawValue(m_command.runMode));

    // The previous process is done; whatever it still had queued is dropped.
    detachProcess();
    m_output.clear();
    m_completion = std::move(completion);

    auto* process = new QProcess(this);
    m_process = process;
    process->setProgram(m_command.scriptPath);
    if (!arguments.isEmpty()) process->setArguments(arguments);
    process->setEnvironment(environment());
    process->setWorkingDirectory(workingDirectory(m_command));
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    if (m_ownProcessGroup) process->setChildProcessModifier([] { ::setpgid(0, 0); });

    connect(process, &QProcess::readyReadStandardOutput, this, [this, process] {
        if (process == m_process) readOutput();
    });
    connect(process, &QProcess::finished, this, [this, process](int exitCode, QProcess::ExitStatus status) {
        if (process == m_process) processFinished(exitCode, status == QProcess::CrashExit);
    });
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        if (process == m_process && error == QProcess::FailedToStart) launchFailed();
    });
    process->start(QIODevice::ReadOnly);
}

void ScriptCommandRunner::cancel() {
    log().info(QStringLiteral("Will interrupt running script. Mode: ") + ScriptCommand::rawValue(m_command.runMode));
    if (!isRunning()) return;
    const qint64 pid = m_process->processId();
    if (pid <= 0) return;
    const auto target = static_cast<pid_t>(pid);
    // The group exists once the child has called setpgid; until then the
    // process alone gets the signal.
    if (m_ownProcessGroup && ::getpgid(target) == target)
        ::kill(-target, SIGINT);
    else
        ::kill(target, SIGINT);
}

void ScriptCommandRunner::readOutput() {
    m_output += m_process->readAll();
    if (m_outputHandler) {
        // Chunks that arrive within one turn of the event loop go out as one.
        if (!m_flushScheduled) {
            m_flushScheduled = true;
            QTimer::singleShot(0, this, [this] {
                m_flushScheduled = false;
                flushStreamedOutput();
            });
        }
        return;
    }
    // Trimmed in steps so that the copy is rare.
    if (m_output.size() > 2 * collectedOutputLimit) keepCollectedTail();
}

void ScriptCommandRunner::keepCollectedTail() {
    if (m_output.size() <= collectedOutputLimit) return;
    // The kept part starts on a whole character.
    qsizetype cut = m_output.size() - collectedOutputLimit;
    while (cut < m_output.size() && (static_cast<unsigned char>(m_output[cut]) & 0xC0) == 0x80) ++cut;
    m_output.remove(0, cut);
}

void ScriptCommandRunner::flushStreamedOutput() {
    if (!m_outputHandler || m_output.isEmpty()) return;
    const qsizetype complete = completePrefixLength(m_output);
    if (complete == 0) return;
    const QByteArray chunk = m_output.left(complete);
    m_output.remove(0, complete);
    const QString text = decodeOutput(chunk);
    if (!text.isEmpty()) m_outputHandler(text);
}

void ScriptCommandRunner::processFinished(int exitCode, bool crashed) {
    // A process killed by a signal reports the signal's number as its status.
    const int status = exitCode;
    m_output += m_process->readAll();
    if (m_outputHandler) {
        flushStreamedOutput();
        // An incomplete character at the very end can never be completed.
        m_output.clear();
        if (status == 0 && !crashed) {
            complete(QString());
            return;
        }
        complete(VantrelError(QStringLiteral("Process terminated with status ") + QString::number(status)));
        return;
    }
    keepCollectedTail();
    const QString text = decodeOutput(m_output);
    m_output.clear();
    if (status == 0 && !crashed) {
        complete(text);
        log().info(QStringLiteral("Script ") + describe(m_command) +
                   QStringLiteral("process successfully finished running"));
        return;
    }
    QString message = text.trimmed();
    if (message.isEmpty()) message = QStringLiteral("Process terminated with status ") + QString::number(status);
    complete(VantrelError(message));
}

void ScriptCommandRunner::launchFailed() {
    const QString reason = m_process->errorString();
    log().error("Cannot start script",
                {{QStringLiteral("path"), m_command.scriptPath}, {QStringLiteral("error"), reason}});
    m_output.clear();
    complete(VantrelError(reason));
}

void ScriptCommandRunner::complete(const Result<QString>& result) {
    Completion completion = std::move(m_completion);
    m_completion = nullptr;
    if (!completion) return;
    // Always later on the main thread, never from inside run().
    QMetaObject::invokeMethod(
        this, [completion = std::move(completion), result] { completion(result); }, Qt::QueuedConnection);
}

void ScriptCommandRunner::detachProcess() {
    QProcess* process = m_process;
    m_process = nullptr;
    if (!process) return;
    process->disconnect(this);
    if (process->state() == QProcess::NotRunning) {
        process->deleteLater();
        return;
    }
    // Letting go of the runner does not end its script: the process lives on
    // under the application and is cleaned up when it exits.
    if (QCoreApplication* app = QCoreApplication::instance()) {
        process->setParent(app);
        QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
        QObject::connect(process, &QProcess::readyReadStandardOutput, process, [process] { process->readAll(); });
        return;
    }
    process->kill();
    process->waitForFinished(1000);
    delete process;
}

}  // namespace vantrel
