#pragma once

#include "extensions/packages/ExtensionManifest.h"
#include "extensions/packages/ExtensionPackage.h"
#include "kit/Promise.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace vantrel {

// Reads what a package is made of: its manifest and the scripts a command
// runs. The synchronous forms throw VantrelError; the completion forms call
// their completion exactly once, on the thread that finished the work.
class PackageLoader {
public:
    // "package.json" in the folder, decoded strictly. Fails with
    // "Could not load URL: " + the file when it cannot be read, and with
    // "Could not decode manifest: " + what is wrong when it does not decode.
    static ExtensionManifest loadManifest(const QString& packageFolder);
    static void loadManifest(const QString& packageFolder, std::function<void(Result<ExtensionManifest>)> completion);

    // The files' contents in input order, read concurrently (one task per file
    // on the global pool, joined before the completion). A required file that
    // cannot be read fails the whole load with "Could not load data for URL: "
    // + the file; an optional one yields nullopt. A failure is logged as
    // "Could not load files: " + the error.
    static std::vector<std::optional<QByteArray>> loadFiles(const std::vector<CommandSourceFile>& files);
    static void loadFiles(const std::vector<CommandSourceFile>& files,
                          std::function<void(Result<std::vector<std::optional<QByteArray>>>)> completion);

    // For a package with a launch command: the API script (ExtensionPaths::apiScript)
    // and the command's script ("<file base name>.js" in the package folder),
    // both required, with the command's environment data (environmentData).
    // Fails with "Could not load sources: " + the cause; a package without a
    // launch command fails with "Could not load sources: No launch command".
    static CommandSources loadSources(const ExtensionPackage& package);
    static void loadSources(const ExtensionPackage& package, std::function<void(Result<CommandSources>)> completion);

    // The "vars" the command's environment gets, as a JSON object:
    // {"assetsPath": the package's assets folder,
    //  "supportPath": a folder the command may keep its own files in,
    //                 Paths::dataDir()/extension-support/<package name>}.
    static QByteArray environmentData(const ExtensionPackage& package);
};

}  // namespace vantrel
