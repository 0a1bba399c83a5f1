#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace vantrel::cli {

// Whether these arguments start or talk to the launcher: no command, or
// toggle / show / hide / open URL.
bool isLauncherInvocation(int argc, char** argv);
// The launcher: the running instance gets the request, or this process
// becomes the launcher (window, tray, hotkeys). Creates its own QApplication.
int runLauncher(int argc, char** argv);

}  // namespace vantrel::cli
