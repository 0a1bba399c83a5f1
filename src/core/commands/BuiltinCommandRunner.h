#pragma once

#include "core/commands/CommandModel.h"

#include <QString>

#include <optional>
#include <vector>

namespace vantrel {

// What each built-in command does on Linux when it runs.
enum class BuiltinBehaviour {
    systemCommand,  // the desktop action of SystemCommands
    urlEncode,      // percent-encodes the input text
    urlDecode,      // decodes percent-escapes of the input text
    openInBrowser,  // opens the input text as a link
    launcherHook,   // the running launcher registers its handler; elsewhere it fails saying so
    toggleAppearance,
    openDataFolder,  // opens the data folder in the file manager
    showView,        // the launcher window pushes the command's view
    unavailable,     // not built yet ("coming"): says in one sentence why it cannot run yet
    notInThisBuild,  // cannot work in this build at all (no update channel, no store): never listed
};

// Whether a command can be offered: what it can do in this build.
enum class CommandAvailability {
    available,       // runs (or its owner registered a handler)
    coming,          // listed with a "Coming soon" state, never suggested
    notInThisBuild,  // not listed at all
};

// Whether VANTREL_DRY_RUN is set (and not "0"): the system commands that end
// the session or throw things away (restart, shut down, sleep, log out, lock,
// quit all applications, empty trash, eject) or change every window on the
// screen (show desktop, hide and unhide apps, sleep displays, screen saver)
// then say what they would do ("Dry run: would empty the trash") instead of
// doing it, for runs that try every command. A command that cannot work here
// still says why.
bool isDryRun();

// The availability of a built-in command by its table entry alone (a
// command without an entry is available); PackageRegistry::availability
// also counts the handlers features register.
CommandAvailability builtinCommandAvailability(const QString& commandId);

struct BuiltinCommandBehaviour {
    QString commandId;
    BuiltinBehaviour behaviour;
    // unavailable: the sentence shown; launcherHook: what the hook does.
    QString sentence;
};

// The whole table, in registry order of the commands it covers.
const std::vector<BuiltinCommandBehaviour>& builtinCommandBehaviours();
std::optional<BuiltinCommandBehaviour> builtinCommandBehaviour(const QString& commandId);

// Runs a built-in command by its id: the handler its owner registered with
// the registry when there is one, its behaviour in the table otherwise.
// System commands report the desktop's error text as the failure message.
class PackageRegistry;
CommandOutcome runBuiltinCommand(const VantrelCommand& command, const CommandRunContext& context,
                                 const PackageRegistry* registry = nullptr);

// The user-defaults key toggled by "toggleVantrelAppearance": "light", "dark"
// or "system" (the default). Light and dark swap; system becomes dark.
inline constexpr QLatin1String vantrelAppearanceKey{"vantrelAppearance"};

// The text with every character outside the unreserved set percent-encoded (UTF-8).
QString urlEncoded(const QString& text);
// The text with its percent-escapes decoded; nothing when they do not form UTF-8.
std::optional<QString> urlDecoded(const QString& text);

}  // namespace vantrel
