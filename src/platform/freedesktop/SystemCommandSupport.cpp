#include "platform/freedesktop/SystemCommandSupport.h"

#include "kit/VantrelError.h"

#include <QProcess>
#include <QStandardPaths>

namespace vantrel::systemcommands {

const Logger& logger() {
    static const Logger instance(Logger::Category{QStringLiteral("SystemCommands"), QStringLiteral("⚙️")});
    return instance;
}

QString seconds(int milliseconds) {
    return QString::number(milliseconds / 1000);
}

// --- Command-line tools --------------------------------------------------

QString findTool(const char* name) {
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

ToolOutput runTool(const QString& program, const QStringList& arguments, int timeoutMs) {
    const QString name = QFileInfo(program).fileName();
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    logger().debug("Running tool",
                   {{QStringLiteral("tool"), name}, {QStringLiteral("arguments"), arguments.join(' ')}});
    process.start();
    if (!process.waitForStarted(timeoutMs)) {
        throw VantrelError(QStringLiteral("Could not start %1: %2.").arg(name, process.errorString()));
    }
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        throw VantrelError(QStringLiteral("%1 did not finish within %2 seconds.").arg(name, seconds(timeoutMs)));
    }
    if (process.exitStatus() != QProcess::NormalExit) {
        throw VantrelError(QStringLiteral("%1 stopped unexpectedly.").arg(name));
    }
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

ToolOutput runToolOrThrow(const QString& program, const QStringList& arguments, const QString& what) {
    ToolOutput output;
    try {
        output = runTool(program, arguments);
    } catch (const VantrelError& error) {
        throw VantrelError(QStringLiteral("%1: %2").arg(what, error.errorDescription()));
    }
    if (output.exitCode != 0) {
        throw VantrelError(
            QStringLiteral("%1: %2 failed: %3").arg(what, QFileInfo(program).fileName(), output.message()));
    }
    return output;
}

QString toolsProblem(std::initializer_list<const char*> tools, const QString& missing) {
    for (const char* tool : tools) {
        if (!findTool(tool).isEmpty()) return {};
    }
    return missing;
}

// --- D-Bus ---------------------------------------------------------------

bool succeeded(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ReplyMessage;
}

QString callProblem(const QDBusMessage& reply, int timeoutMs) {
    const QString name = reply.errorName();
    if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
        return QStringLiteral("is not running");
    }
    if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
        name == QLatin1String("org.freedesktop.DBus.Error.Timeout") ||
        name == QLatin1String("org.freedesktop.DBus.Error.TimedOut")) {
        return QStringLiteral("did not answer within %1 seconds").arg(seconds(timeoutMs));
    }
    if (name == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod") ||
        name == QLatin1String("org.freedesktop.DBus.Error.UnknownObject") ||
        name == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface")) {
        return QStringLiteral("does not offer this");
    }
    const QString message = reply.errorMessage().isEmpty() ? name : reply.errorMessage();
    return QStringLiteral("refused: %1").arg(message);
}

}  // namespace vantrel::systemcommands
