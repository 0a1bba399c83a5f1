#pragma once

#include "core/api/CommandOutcome.h"
#include "extensions/packages/ExtensionRecords.h"

namespace vantrel {

class ExtensionRegistry;

// Runs an extension command chosen in root search (or by its hotkey or a
// link): mode "default" starts it without a view, "view" opens its command
// view. The package is built first (manifest, launch command, preference
// values); one that cannot be built ends as the failure "Could not load
// package".
//
// The extension host that runs the scripts is not part of this build yet:
// until it is, a package that loads is answered with `unavailable` and a
// message saying so.
CommandOutcome runExtensionCommand(ExtensionRegistry& registry, const ExtensionCommand& command,
                                   const CommandRunContext& context);

}  // namespace vantrel
