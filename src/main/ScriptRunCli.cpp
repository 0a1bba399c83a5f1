#include "main/CliCommands.h"

namespace vantrel::cli {

std::optional<int> runScriptCommand(const QString&, const QStringList&) { return std::nullopt; }

}  // namespace vantrel::cli
