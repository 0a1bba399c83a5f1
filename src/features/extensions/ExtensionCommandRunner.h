#pragma once

#include "core/api/CommandOutcome.h"
#include "extensions/packages/ExtensionRecords.h"

#include <QStringList>

#include <optional>

namespace vantrel {

class ExtensionRegistry;
class LauncherPresenter;
class LauncherView;

// Runs an extension command chosen in root search (or by its hotkey or a
// link). The package is built first (manifest, launch command, preference
// values); one that cannot be built ends as the failure "Could not load
// package".
//   - "default": the command starts in the extension host and the window
//     hides; its toasts and HUDs reach the user through the presenter (the
//     HUD while the window is hidden), and a failure is told as "Could not
//     load command" with the error, at its place in the author's source.
//   - "view": the outcome pushes the command's view (extensionCommandView).
CommandOutcome runExtensionCommand(ExtensionRegistry& registry, const ExtensionCommand& command,
                                   const CommandRunContext& context, LauncherPresenter* presenter = nullptr);

// The window's view of a "view" command ("extension_<command id>"): loads the
// command, whose renders then show in it; closing the view unloads it.
// Null for keys of no view command.
LauncherView* extensionCommandView(ExtensionRegistry& registry, const QString& key, LauncherPresenter* presenter);

// `vantrel run extension_<command id> [--json | --view-json]`: a command with a
// view prints its view once the first render settled (an outline of kinds
// and titles, or the typed model as JSON with --view-json) and ends.
// `vantrel run extension_<command id> [--json]`: runs a "default" command
// without the window, prints what it showed (toasts, HUDs, logs) as it
// happens, and ends 0 when it finished, 1 when it failed (the exception is
// printed with its original file, line and column). nullopt for arguments
// that name no extension command (another feature may take them).
std::optional<int> runExtensionCommandFromCommandLine(ExtensionRegistry& registry, const QStringList& arguments);

}  // namespace vantrel
