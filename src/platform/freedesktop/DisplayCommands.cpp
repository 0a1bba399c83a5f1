#include "platform/freedesktop/SystemCommandCapabilities.h"

#include "kit/VantrelError.h"
#include "platform/freedesktop/SystemCommandSupport.h"

#include <QCoreApplication>
#include <QTimer>

namespace vantrel::systemcommands {

namespace {

// Why the displays cannot sleep here; otherwise *xset is the tool that sends them.
QString sleepDisplaysProblem(QString* xset) {
    const QString tool = findTool("xset");
    if (tool.isEmpty()) return QStringLiteral("Sleeping the displays needs xset, which is not installed.");
    if (qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland")) {
        return QStringLiteral("Sleeping the displays cannot work in a Wayland session.");
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        return QStringLiteral("Sleeping the displays cannot work on this desktop: DISPLAY is not set.");
    }
    if (xset) *xset = tool;
    return {};
}

}  // namespace

QString sleepDisplaysProblem() {
    return sleepDisplaysProblem(nullptr);
}

QString sleepDisplays() {
    QString xset;
    if (const QString problem = sleepDisplaysProblem(&xset); !problem.isEmpty()) throw VantrelError(problem);
    const ToolOutput query = runToolOrThrow(xset, {QStringLiteral("q")}, QStringLiteral("Cannot sleep the displays"));
    if (query.standardOutput.contains(QLatin1String("does not have the DPMS Extension"))) {
        throw VantrelError(QStringLiteral("Cannot sleep the displays: the X server has no display power management."));
    }
    const QStringList arguments{QStringLiteral("dpms"), QStringLiteral("force"), QStringLiteral("off")};
    // The release of the key that ran the command would wake the displays
    // again, so they go to sleep a moment later.
    if (QCoreApplication::instance()) {
        QTimer::singleShot(500, QCoreApplication::instance(), [xset, arguments] {
            try {
                runToolOrThrow(xset, arguments, QStringLiteral("Cannot sleep the displays"));
            } catch (const VantrelError& error) {
                logger().error(error.errorDescription());
            }
        });
    } else {
        runToolOrThrow(xset, arguments, QStringLiteral("Cannot sleep the displays"));
    }
    return QStringLiteral("Displays going to sleep");
}

}  // namespace vantrel::systemcommands
