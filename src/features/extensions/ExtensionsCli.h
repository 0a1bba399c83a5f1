#pragma once

#include <QStringList>

namespace vantrel {

class ExtensionRegistry;

namespace extensions {

// `vantrel extensions install PATH | list [--json] | remove ID |
//  create --template T --name N --description D --dir LOCATION`.
// Returns the exit status (0 done, 1 failed, 2 wrong arguments).
int extensionsCommand(ExtensionRegistry& registry, QStringList arguments);

}  // namespace extensions

}  // namespace vantrel
