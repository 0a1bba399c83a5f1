#include "platform/freedesktop/SystemCommandCapabilities.h"

#include "kit/VantrelError.h"
#include "platform/freedesktop/SystemCommandSupport.h"

#include <QRegularExpression>

namespace vantrel::systemcommands {

QString toggleBluetooth() {
    const QString bluetoothctl = findTool("bluetoothctl");
    const QString rfkill = findTool("rfkill");
    if (bluetoothctl.isEmpty() && rfkill.isEmpty()) {
        throw VantrelError(QStringLiteral("Toggling Bluetooth needs bluetoothctl or rfkill, neither is installed."));
    }
    const QString what = QStringLiteral("Cannot toggle Bluetooth");
    QString bluetoothdProblem;
    if (!bluetoothctl.isEmpty()) {
        // --timeout: bluetoothctl otherwise waits forever for a missing bluetoothd.
        const ToolOutput shown =
            runTool(bluetoothctl, {QStringLiteral("--timeout"), QStringLiteral("2"), QStringLiteral("show")});
        static const QRegularExpression powered(QStringLiteral("Powered:\\s*(yes|no)"));
        const auto match = powered.match(shown.standardOutput);
        if (match.hasMatch()) {
            const bool on = match.captured(1) == QLatin1String("yes");
            runToolOrThrow(bluetoothctl,
                           {QStringLiteral("--timeout"), QStringLiteral("5"), QStringLiteral("power"),
                            on ? QStringLiteral("off") : QStringLiteral("on")},
                           what);
            return on ? QStringLiteral("Bluetooth off") : QStringLiteral("Bluetooth on");
        }
        const QString all = shown.standardOutput + shown.standardError;
        bluetoothdProblem = all.contains(QLatin1String("No default controller"), Qt::CaseInsensitive)
                                ? QStringLiteral("there is no Bluetooth adapter")
                                : QStringLiteral("the Bluetooth service (bluetoothd) is not running");
        if (rfkill.isEmpty()) throw VantrelError(QStringLiteral("%1: %2.").arg(what, bluetoothdProblem));
    }
    // rfkill: "0: hci0: Bluetooth\n\tSoft blocked: no\n\tHard blocked: no"
    const ToolOutput listed = runToolOrThrow(rfkill, {QStringLiteral("list"), QStringLiteral("bluetooth")}, what);
    if (!listed.standardOutput.contains(QLatin1String("Soft blocked"))) {
        throw VantrelError(QStringLiteral("%1: there is no Bluetooth adapter.").arg(what));
    }
    if (listed.standardOutput.contains(QLatin1String("Hard blocked: yes"))) {
        throw VantrelError(QStringLiteral("%1: Bluetooth is switched off by a hardware switch.").arg(what));
    }
    const bool blocked = listed.standardOutput.contains(QLatin1String("Soft blocked: yes"));
    runToolOrThrow(rfkill, {blocked ? QStringLiteral("unblock") : QStringLiteral("block"), QStringLiteral("bluetooth")},
                   what);
    return blocked ? QStringLiteral("Bluetooth on") : QStringLiteral("Bluetooth off");
}

QString bluetoothProblem() {
    return toolsProblem({"bluetoothctl", "rfkill"},
                        QStringLiteral("Toggling Bluetooth needs bluetoothctl or rfkill, neither is installed."));
}

}  // namespace vantrel::systemcommands
