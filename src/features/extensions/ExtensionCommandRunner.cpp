#include "features/extensions/ExtensionCommandRunner.h"

#include "extensions/packages/ExtensionRegistry.h"
#include "kit/VantrelError.h"

namespace vantrel {

CommandOutcome runExtensionCommand(ExtensionRegistry& registry, const ExtensionCommand& command,
                                   const CommandRunContext& context) {
    (void)context;
    ExtensionPackage package;
    try {
        package = registry.package(command);
    } catch (const std::exception& error) {
        return CommandOutcome::failed(QStringLiteral("Could not load package"), VantrelError::describe(error));
    }
    return CommandOutcome::unavailable(
        QStringLiteral("Extension commands cannot run yet: the extension runtime is not built. '%1' is installed in %2")
            .arg(command.displayTitle(), package.folder()));
}

}  // namespace vantrel
