#pragma once

#include "extensions/packages/ExtensionId.h"
#include "extensions/packages/ExtensionManifest.h"
#include "extensions/packages/ExtensionRecords.h"

#include <optional>
#include <vector>

namespace vantrel {

// Where the registry keeps installed extensions and their commands. Every
// operation throws VantrelError (or a database error) on failure.
class ExtensionsStorage {
public:
    virtual ~ExtensionsStorage() = default;

    // Every extension with its installed commands.
    virtual std::vector<ExtensionDetails> extensions() = 0;
    // One extension by package id (its uuid, "dev" matching a development one
    // by name); nullopt when it is not there.
    virtual std::optional<ExtensionDetails> extension(const ExtensionId& packageId) = 0;
    // Up to `limit` installed commands.
    virtual std::vector<ExtensionCommand> commands(int limit) = 0;
    // The extension row of the package and one command row per manifest command
    // (matched by name to the installation's commands for their uuids).
    virtual void saveInstallation(const ExtensionManifest& manifest, const ExtensionInstallation& installation) = 0;
    // Removes the extension and its commands; false when it was not there.
    virtual bool deleteExtension(const ExtensionId& packageId) = 0;
    // Marks one command as no longer installed.
    virtual void uninstallCommand(const ExtensionId& commandId) = 0;
    // Stores the values of the extension's preferences (commandName empty) or
    // of one command's.
    virtual void storePreferences(const ExtensionId& packageId, const QString& commandName,
                                  const std::vector<ExtensionPreference>& preferences) = 0;
};

}  // namespace vantrel
