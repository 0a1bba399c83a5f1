#pragma once

#include <QStringList>
#include <QUrl>

#include <functional>

namespace vantrel {

class ExtensionRegistry;
class ExtensionsStore;

namespace extensions {

// `vantrel extensions install PATH | list [--json] | remove ID |
//  create --template T --name N --description D --dir LOCATION`.
// Returns the exit status (0 done, 1 failed, 2 wrong arguments). `changed` is
// called after every change of the installed commands (before the running
// launcher is told).
int extensionsCommand(ExtensionRegistry& registry, QStringList arguments, const std::function<void()>& changed = {});

// `vantrel extensions store [--json]` (the index, installed ones marked, the
// entries left out on stderr) and `vantrel extensions store install NAME`
// (NAME: the listing's name or id). A null store fails with `problem`.
int storeCommand(ExtensionsStore* store, const QUrl& indexUrl, QStringList arguments, const QString& problem,
                 const std::function<void()>& changed = {});

}  // namespace extensions

}  // namespace vantrel
