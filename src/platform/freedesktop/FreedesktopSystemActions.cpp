#include "platform/freedesktop/FreedesktopSystemActions.h"

#include "platform/freedesktop/SystemCommands.h"

namespace vantrel {

QStringList FreedesktopSystemActions::commandIds() const {
    return SystemCommands::commandIds();
}

bool FreedesktopSystemActions::isAvailable(const QString& commandId, QString* reason) const {
    return SystemCommands::isAvailable(commandId, reason);
}

QString FreedesktopSystemActions::run(const QString& commandId) {
    return SystemCommands::run(commandId);
}

}  // namespace vantrel
