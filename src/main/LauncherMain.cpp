#include "main/CliCommands.h"

namespace vantrel::cli {

bool isLauncherInvocation(int, char**) { return false; }

int runLauncher(int, char**) { return 2; }

}  // namespace vantrel::cli
