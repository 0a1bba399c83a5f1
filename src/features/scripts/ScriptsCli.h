#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace vantrel {
class ScriptCommandsService;
}

// The scripts' command-line subcommands, registered by ScriptsFeature.
namespace vantrel::scripts {

// `vantrel scripts add-dir DIR | remove-dir DIR | dirs | list [--json]`.
int scriptsCommand(ScriptCommandsService& service, const QStringList& arguments);

// `vantrel run ID [ARG…]` for a script command ("vantrelScript_…" id, or the
// path of a script in one of the script directories): runs it as the compact
// mode would and prints its output. Nothing when ID is no script command.
std::optional<int> runScriptCommand(const ScriptCommandsService& service, const QString& id,
                                    const QStringList& arguments);

}  // namespace vantrel::scripts
