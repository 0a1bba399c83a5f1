#include "platform/freedesktop/SystemCommandCapabilities.h"

#include "kit/VantrelError.h"
#include "platform/freedesktop/SystemCommandSupport.h"

namespace vantrel::systemcommands {

namespace {

struct PowerAction {
    const char* commandId;
    const char* query;   // "CanReboot"
    const char* method;  // "Reboot"
    const char* what;    // "restart this computer"
    const char* confirmation;
};

const PowerAction kPowerActions[] = {
    {"restartSystem", "CanReboot", "Reboot", "restart this computer", "Restarting…"},
    {"shutDownSystem", "CanPowerOff", "PowerOff", "shut down this computer", "Shutting down…"},
    {"sleep", "CanSuspend", "Suspend", "put this computer to sleep", "Going to sleep…"},
};

const PowerAction& powerAction(const QString& commandId) {
    for (const PowerAction& action : kPowerActions) {
        if (commandId == QLatin1String(action.commandId)) return action;
    }
    Q_UNREACHABLE();
}

// Why logind will not carry out the action, or empty when it will (perhaps
// after asking the user to authenticate).
QString powerActionProblem(const BusConnection& bus, const PowerAction& action) {
    const QString cannot = QStringLiteral("Cannot %1: ").arg(QString::fromLatin1(action.what));
    if (!bus.isConnected()) return cannot + bus.problem() + QLatin1Char('.');
    const QDBusMessage reply = bus.call(kLogindService, kLogindPath, kLogindManager, QString::fromLatin1(action.query));
    if (!succeeded(reply)) return cannot + kLoginManagerName + QLatin1Char(' ') + callProblem(reply) + QLatin1Char('.');
    const QString answer = reply.arguments().value(0).toString();
    if (answer == QLatin1String("yes") || answer == QLatin1String("challenge")) return {};
    if (answer == QLatin1String("na")) return cannot + QStringLiteral("this system does not support it.");
    if (answer == QLatin1String("no")) return cannot + QStringLiteral("you are not allowed to.");
    return cannot + QStringLiteral("%1 answered \"%2\".").arg(kLoginManagerName, answer);
}

}  // namespace

QString runPowerAction(const QString& commandId) {
    const PowerAction& action = powerAction(commandId);
    BusConnection bus(BusConnection::Kind::System);
    const QString problem = powerActionProblem(bus, action);
    if (!problem.isEmpty()) throw VantrelError(problem);
    // interactive = true: polkit may ask the user to authenticate.
    const QDBusMessage reply = bus.call(kLogindService, kLogindPath, kLogindManager, QString::fromLatin1(action.method),
                                        {true}, kInteractiveBusTimeoutMs);
    if (!succeeded(reply)) {
        throw VantrelError(QStringLiteral("Cannot %1: %2 %3.")
                               .arg(QString::fromLatin1(action.what), kLoginManagerName,
                                    callProblem(reply, kInteractiveBusTimeoutMs)));
    }
    logger().info("Power action requested", {{QStringLiteral("action"), QString::fromLatin1(action.method)}});
    return QString::fromUtf8(action.confirmation);
}

QString powerProblem(const QString& id) {
    BusConnection bus(BusConnection::Kind::System);
    return powerActionProblem(bus, powerAction(id));
}

}  // namespace vantrel::systemcommands
