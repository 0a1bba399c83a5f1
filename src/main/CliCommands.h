#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace vantrel::cli {

// `vantrel scripts add-dir DIR | remove-dir DIR | list`.
int scriptsCommand(const QStringList& arguments);

// `vantrel run ID [ARG…]` for a script command ("vantrelScript_…" id, or the
// path of a script in one of the script directories): runs it as the compact
// mode would and prints its output. Nothing when ID is no script command.
std::optional<int> runScriptCommand(const QString& id, const QStringList& arguments);

// Whether these arguments start or talk to the launcher: no command, or
// toggle / show / hide / open URL.
bool isLauncherInvocation(int argc, char** argv);
// The launcher: the running instance gets the request, or this process
// becomes the launcher (window, tray, hotkeys). Creates its own QApplication.
int runLauncher(int argc, char** argv);

}  // namespace vantrel::cli
