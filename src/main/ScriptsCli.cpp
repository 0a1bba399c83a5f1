#include "main/CliCommands.h"

#include <cstdio>

namespace vantrel::cli {

int scriptsCommand(const QStringList&) {
    std::fprintf(stderr, "vantrel: scripts is not built yet\n");
    return 2;
}

}  // namespace vantrel::cli
