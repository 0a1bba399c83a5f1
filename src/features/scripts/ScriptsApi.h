#pragma once

#include "features/scripts/ScriptCommand.h"
#include "kit/Signal.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace vantrel {

// What other features may know of script commands: the loaded commands and
// when they change. Found with FeatureContext::api<ScriptsApi>() once every
// feature has registered (from Feature::start on). Main thread only.
class ScriptsApi {
public:
    virtual ~ScriptsApi() = default;

    // The loaded script commands, in no particular order.
    virtual std::vector<ScriptCommand> scriptCommands() const = 0;
    virtual std::optional<ScriptCommand> scriptCommand(const QString& id) const = 0;
    // The script directories of the configuration.
    virtual QStringList scriptDirectories() const = 0;
    // Published after the loaded commands changed (added, removed, edited).
    virtual Signal<>& scriptCommandsChanged() = 0;
};

}  // namespace vantrel
