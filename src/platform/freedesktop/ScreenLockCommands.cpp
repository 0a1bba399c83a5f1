#include "platform/freedesktop/SystemCommandCapabilities.h"

#include "kit/VantrelError.h"
#include "platform/freedesktop/SystemCommandSupport.h"

namespace vantrel::systemcommands {

namespace {

const QString kScreenSaverService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kScreenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString kScreenSaverName = QStringLiteral("the screen saver (org.freedesktop.ScreenSaver)");

}  // namespace

QString lockScreen() {
    QStringList problems;
    {
        BusConnection system(BusConnection::Kind::System);
        if (system.isConnected()) {
            const QDBusMessage reply =
                system.call(kLogindService, kCurrentSessionPath, kLogindSession, QStringLiteral("Lock"));
            if (succeeded(reply)) return QStringLiteral("Screen locked");
            problems << kLoginManagerName + QLatin1Char(' ') + callProblem(reply);
        } else {
            problems << system.problem();
        }
    }
    BusConnection session(BusConnection::Kind::Session);
    if (session.isConnected()) {
        const QDBusMessage reply =
            session.call(kScreenSaverService, kScreenSaverPath, kScreenSaverService, QStringLiteral("Lock"));
        if (succeeded(reply)) return QStringLiteral("Screen locked");
        problems << kScreenSaverName + QLatin1Char(' ') + callProblem(reply);
    } else {
        problems << session.problem();
    }
    throw VantrelError(QStringLiteral("Cannot lock the screen: %1.").arg(problems.join(QStringLiteral("; "))));
}

QString showScreenSaver() {
    QStringList problems;
    {
        BusConnection session(BusConnection::Kind::Session);
        if (session.isConnected()) {
            const QDBusMessage reply = session.call(kScreenSaverService, kScreenSaverPath, kScreenSaverService,
                                                    QStringLiteral("SetActive"), {true});
            // The answer says whether it started; GNOME Shell answers nothing.
            const bool started = reply.arguments().isEmpty() || reply.arguments().constFirst().toBool();
            if (succeeded(reply) && started) return QStringLiteral("Screen saver started");
            problems << kScreenSaverName + QLatin1Char(' ') +
                            (succeeded(reply) ? QStringLiteral("refused to start") : callProblem(reply));
            // GNOME Shell also answers under its own name.
            const QDBusMessage gnome =
                session.call(QStringLiteral("org.gnome.ScreenSaver"), QStringLiteral("/org/gnome/ScreenSaver"),
                             QStringLiteral("org.gnome.ScreenSaver"), QStringLiteral("SetActive"), {true});
            if (succeeded(gnome)) return QStringLiteral("Screen saver started");
        } else {
            problems << session.problem();
        }
    }
    const QString tool = findTool("xdg-screensaver");
    if (tool.isEmpty()) {
        problems << QStringLiteral("xdg-screensaver is not installed");
        throw VantrelError(
            QStringLiteral("Cannot start the screen saver: %1.").arg(problems.join(QStringLiteral("; "))));
    }
    runToolOrThrow(tool, {QStringLiteral("activate")}, QStringLiteral("Cannot start the screen saver"));
    return QStringLiteral("Screen saver started");
}

QString lockScreenProblem() {
    BusConnection system(BusConnection::Kind::System);
    if (system.hasService(kLogindService)) return {};
    BusConnection session(BusConnection::Kind::Session);
    if (session.hasService(kScreenSaverService)) return {};
    return QStringLiteral("Locking the screen cannot work here: neither %1 nor %2 is running.")
        .arg(kLoginManagerName, kScreenSaverName);
}

QString screenSaverProblem() {
    BusConnection session(BusConnection::Kind::Session);
    if (session.hasService(kScreenSaverService) || session.hasService(QStringLiteral("org.gnome.ScreenSaver"))) {
        return {};
    }
    if (!findTool("xdg-screensaver").isEmpty()) return {};
    return QStringLiteral(
               "Starting the screen saver cannot work here: %1 is not running and xdg-screensaver is not "
               "installed.")
        .arg(kScreenSaverName);
}

}  // namespace vantrel::systemcommands
