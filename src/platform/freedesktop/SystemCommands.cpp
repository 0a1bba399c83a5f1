#include "platform/freedesktop/SystemCommands.h"

#include "kit/VantrelError.h"
#include "platform/freedesktop/SystemCommandCapabilities.h"
#include "platform/freedesktop/SystemCommandSupport.h"

#include <functional>
#include <utility>
#include <vector>

namespace vantrel {

using namespace systemcommands;

namespace {

// --- The command table --------------------------------------------------------------

struct Command {
    QString id;
    std::function<QString()> run;
    // Why the command can do nothing here, as a sentence; empty when it can.
    std::function<QString()> problem;
};

const std::vector<Command>& commands() {
    static const std::vector<Command> table = [] {
        std::vector<Command> list;
        const auto add = [&](const char* id, std::function<QString()> run, std::function<QString()> problem) {
            list.push_back({QString::fromLatin1(id), std::move(run), std::move(problem)});
        };
        const auto always = [] { return QString(); };
        const auto windowCommand = [&](const char* id, QString (*run)()) {
            const QString commandId = QString::fromLatin1(id);
            add(id, run, [commandId] { return windowProblem(commandId); });
        };
        const auto powerCommand = [&](const char* id) {
            const QString commandId = QString::fromLatin1(id);
            add(
                id, [commandId] { return runPowerAction(commandId); }, [commandId] { return powerProblem(commandId); });
        };
        const auto volumeCommand = [&](const char* id) {
            const QString commandId = QString::fromLatin1(id);
            add(
                id, [commandId] { return runVolumeCommand(commandId); }, volumeProblem);
        };

        // In the order of the registry's "systemCommands" package; "Switch Apps"
        // and "Search Menu Items" are features of their own (switcher, menus).
        add("toggleBluetooth", toggleBluetooth, bluetoothProblem);
        add("ejectAllDisks", ejectAllDisks, always);
        windowCommand("quitAllApps", quitAllApps);
        add("showScreenSaver", showScreenSaver, screenSaverProblem);
        add("toggleHiddenFiles", toggleHiddenFiles, hiddenFilesProblem);
        add("logOutSystem", logOut, logOutProblem);
        powerCommand("restartSystem");
        powerCommand("shutDownSystem");
        add("emptyTrash", emptyTrash, always);
        for (const char* id : {"setVolume0", "setVolume25", "setVolume50", "setVolume75", "setVolume100"}) {
            volumeCommand(id);
        }
        windowCommand("showDesktop", showDesktop);
        windowCommand("unhideAllApps", unhideAllApps);
        windowCommand("hideAllApps", hideAllApps);
        add("toggleSystemAppearance", toggleSystemAppearance, appearanceProblem);
        volumeCommand("turnVolumeDown");
        volumeCommand("turnVolumeUp");
        volumeCommand("toggleMute");
        add("lockScreen", lockScreen, lockScreenProblem);
        add("sleepDisplays", sleepDisplays, sleepDisplaysProblem);
        powerCommand("sleep");
        return list;
    }();
    return table;
}

const Command* findCommand(const QString& commandId) {
    for (const Command& command : commands()) {
        if (command.id == commandId) return &command;
    }
    return nullptr;
}

}  // namespace

const QStringList& SystemCommands::commandIds() {
    static const QStringList ids = [] {
        QStringList list;
        for (const Command& command : commands()) list << command.id;
        return list;
    }();
    return ids;
}

bool SystemCommands::handles(const QString& commandId) {
    return findCommand(commandId) != nullptr;
}

bool SystemCommands::isAvailable(const QString& commandId, QString* reason) {
    const Command* command = findCommand(commandId);
    QString problem =
        command ? command->problem() : QStringLiteral("There is no system command \"%1\".").arg(commandId);
    if (reason) *reason = problem;
    return problem.isEmpty();
}

QString SystemCommands::run(const QString& commandId) {
    const Command* command = findCommand(commandId);
    if (!command) throw VantrelError(QStringLiteral("There is no system command \"%1\".").arg(commandId));
    try {
        QString confirmation = command->run();
        logger().info("Ran system command", {{QStringLiteral("command"), commandId}});
        return confirmation;
    } catch (const VantrelError& error) {
        logger().warning("System command failed",
                         {{QStringLiteral("command"), commandId}, {QStringLiteral("error"), error.errorDescription()}});
        throw;
    }
}

}  // namespace vantrel
