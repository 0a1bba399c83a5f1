#pragma once

#include "extensions/packages/ExtensionPackage.h"
#include "extensions/packages/ExtensionRecords.h"
#include "extensions/packages/ExtensionsStorage.h"
#include "extensions/packages/ZipArchive.h"
#include "kit/Promise.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace vantrel {

class NotificationCenter;

// The installed extensions: installs them from zip archives, development
// folders and templates, lists their commands for root search and removes
// them. Every change that alters the set of commands drops the command cache
// and posts "didUpdateExtensionCommands" on the notification centre.
//
// Each operation comes twice: a synchronous form that throws VantrelError
// (what the command line uses), and a completion form that does the work on
// the global pool and completes exactly once on the main thread. Failures are
// logged at error level with the operation's message.
class ExtensionRegistry {
public:
    static constexpr int commandsLimit = 1000;

    explicit ExtensionRegistry(std::shared_ptr<ExtensionsStorage> storage, NotificationCenter* center = nullptr);
    ~ExtensionRegistry();
    ExtensionRegistry(const ExtensionRegistry&) = delete;
    ExtensionRegistry& operator=(const ExtensionRegistry&) = delete;

    // MARK: Reading

    // Every installed extension with its commands; empty (logged "Could not
    // fetch all extensions") when storage fails.
    std::vector<ExtensionDetails> fetchAllExtensions();
    // Logged "Could not fetch extension: " + the error when storage fails.
    std::optional<ExtensionDetails> fetchExtension(const ExtensionId& packageId);
    // From the cache, else fetchCommands(commandsLimit).
    std::vector<ExtensionCommand> commands();
    // Reads up to `limit` commands, rebuilds the cache; logged "Could not fetch
    // commands" (and empty) when storage fails.
    std::vector<ExtensionCommand> fetchCommands(int limit);
    // One command by its id (or package command key "extension_…").
    std::optional<ExtensionCommand> command(const ExtensionId& commandId);
    std::optional<ExtensionCommand> command(const QString& idOrKey);

    // The package of an installed command, ready for the extension host: its
    // manifest loaded from its folder and the command set as launch command,
    // with the stored preference values. Throws the cause (logged as "Could not
    // load package: " + the cause).
    ExtensionPackage package(const ExtensionCommand& command);

    // MARK: Installing

    // Installs a zip archive (the path's extension, lower-cased, must be "zip":
    // else "Package must be a zip archive"). The archive is unpacked into a
    // temporary folder; the package root is the folder holding "package.json",
    // else the first entry that is not hidden ("Could not get archive path at: "
    // + path when there is none). It replaces any copy in the package's folder
    // and is saved to storage. On any failure nothing is left in extensions/ and
    // a copy installed before stays. A failure is thrown as it is and logged
    // as "Could not install package: " + the error (likewise below).
    ExtensionPackage installPackage(const QString& zipPath, const ExtensionInstallation& installation);
    void installPackage(const QString& zipPath, const ExtensionInstallation& installation,
                        std::function<void(Result<ExtensionPackage>)> completion);

    // Installs a built development folder (its "package.json", "assets" and the
    // commands' scripts, taken from "dist" when the folder has one) as the
    // development package of its name. Failures: "Could not install package: "
    // + the cause.
    ExtensionPackage installDevelopmentFolder(const QString& folder);

    // An installation for a local archive: the uuid of the installed package
    // of the same name (so that a reinstall replaces it), else a new one.
    ExtensionInstallation localInstallation(const QString& zipPath, const QString& packageName);

    // Reads the manifest of a zip without installing it.
    ExtensionManifest manifestOfArchive(const QString& zipPath) const;

    // Removes the extension from storage and its folder (and the folder's
    // parent when it is named after the package and left empty). Failures:
    // "Could not uninstall package: " + the cause.
    void uninstallPackage(const ExtensionId& packageId);
    void uninstallPackage(const ExtensionId& packageId, std::function<void(Result<bool>)> completion);

    // Removes one command (unloading it first when it runs); the last command of
    // an extension takes the package folder with it. Failures: "Could not
    // uninstall command: " + the cause.
    void uninstallCommand(const ExtensionId& commandId);
    void uninstallCommand(const ExtensionId& commandId, std::function<void(Result<bool>)> completion);

    // Creates a development extension from a template (see templateIdentifiers)
    // in location/<name with white space and "/" replaced by "-">, and its
    // development package in extensions/. Answers the created folder.
    // Failures: "Could not install template: " + the cause.
    QString installTemplate(const QString& identifier, const QString& name, const QString& description,
                            const QString& location);
    void installTemplate(const QString& identifier, const QString& name, const QString& description,
                         const QString& location, std::function<void(Result<QString>)> completion);

    // The template identifiers (the folders of ExtensionPaths::templatesDir()), sorted.
    static QStringList templateIdentifiers();
    // "My Ext/2" -> "My-Ext-2".
    static QString templateFolderName(const QString& name);

    // Called with a command's id before it is uninstalled, to unload it when it
    // is running (the extension runtime sets it).
    void setCommandUnloader(std::function<void(const ExtensionId&)> unloader);

    // The limits archives are unpacked with.
    ZipArchive& archiveLimits() { return m_archive; }

private:
    ExtensionPackage doInstallPackage(const QString& zipPath, const ExtensionInstallation& installation);
    ExtensionPackage doInstallDevelopmentFolder(const QString& folder);
    void doUninstallPackage(const ExtensionId& packageId);
    void doUninstallCommand(const ExtensionId& commandId);
    QString doInstallTemplate(const QString& identifier, const QString& name, const QString& description,
                              const QString& location);
    void commandsDidChange();
    void saveDevelopmentPackage(const ExtensionManifest& manifest);

    std::shared_ptr<ExtensionsStorage> m_storage;
    NotificationCenter* m_center;
    std::recursive_mutex m_mutex;
    std::optional<QHash<QString, ExtensionCommand>> m_cache;
    std::function<void(const ExtensionId&)> m_unloader;
    ZipArchive m_archive;
};

}  // namespace vantrel
