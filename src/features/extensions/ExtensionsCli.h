#pragma once

#include <QStringList>

#include <functional>

namespace vantrel {

class ExtensionRegistry;

namespace extensions {

// `vantrel extensions install PATH | list [--json] | remove ID |
//  create --template T --name N --description D --dir LOCATION`.
// Returns the exit status (0 done, 1 failed, 2 wrong arguments). `changed` is
// called after every change of the installed commands (before the running
// launcher is told).
int extensionsCommand(ExtensionRegistry& registry, QStringList arguments, const std::function<void()>& changed = {});

}  // namespace extensions

}  // namespace vantrel
