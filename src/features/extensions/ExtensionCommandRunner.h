#pragma once

#include "core/api/CommandOutcome.h"
#include "extensions/packages/ExtensionRecords.h"

#include <QStringList>

#include <optional>

namespace vantrel {

class ExtensionRegistry;
class LauncherPresenter;

// Runs an extension command chosen in root search (or by its hotkey or a
// link). The package is built first (manifest, launch command, preference
// values); one that cannot be built ends as the failure "Could not load
// package".
//   - "default": the command starts in the extension host and the window
//     hides; its toasts and HUDs reach the user through the presenter (the
//     HUD while the window is hidden), and a failure is told as "Could not
//     load command" with the error, at its place in the author's source.
//   - "view": command views are not part of this version: the outcome says so.
CommandOutcome runExtensionCommand(ExtensionRegistry& registry, const ExtensionCommand& command,
                                   const CommandRunContext& context, LauncherPresenter* presenter = nullptr);

// `vantrel run extension_<command id> [--json]`: runs a "default" command
// without the window, prints what it showed (toasts, HUDs, logs) as it
// happens, and ends 0 when it finished, 1 when it failed (the exception is
// printed with its original file, line and column). nullopt for arguments
// that name no extension command (another feature may take them).
std::optional<int> runExtensionCommandFromCommandLine(ExtensionRegistry& registry, const QStringList& arguments);

}  // namespace vantrel
