#pragma once

#include "extensions/packages/ExtensionId.h"
#include "extensions/packages/ExtensionManifest.h"
#include "extensions/packages/ExtensionPreference.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QUrl>

#include <optional>
#include <vector>

namespace vantrel {

// The command of a package to start, with the current values of its
// preferences. JSON keys "id" (raw command id), "preferences".
struct ExtensionLaunchCommand {
    ExtensionId id;
    std::optional<std::vector<ExtensionPreference>> preferences;

    QJsonObject toJson() const;
    // Strict: throws VantrelError naming what is wrong.
    static ExtensionLaunchCommand fromJson(const QJsonObject& object);
    friend bool operator==(const ExtensionLaunchCommand&, const ExtensionLaunchCommand&) = default;
};

// One extension package: its id, its folder and, once loaded, its manifest
// and the command to start. JSON keys "id", "url" (a file URL), "manifest",
// "launchCommand": the form the extension host receives.
struct ExtensionPackage {
    ExtensionId id;
    QUrl url;
    std::optional<ExtensionManifest> manifest;
    std::optional<ExtensionLaunchCommand> launchCommand;

    ExtensionPackage() = default;
    // The package of that id in its folder (folderFor), nothing loaded.
    explicit ExtensionPackage(ExtensionId packageId);

    // extensions/<uuid> for an installed package, extensions/<name> for a
    // development one (id "dev").
    static QString folderFor(const ExtensionId& packageId);
    QString folder() const { return url.toLocalFile(); }
    QString manifestPath() const { return folder() + QStringLiteral("/package.json"); }
    QString assetsFolder() const { return folder() + QStringLiteral("/assets"); }
    // "<file base name>.js" of the launch command, "index.js" without one.
    QString commandScriptPath() const;

    QJsonObject toJson() const;
    QByteArray encode() const;
    // Strict: throws VantrelError naming what is wrong.
    static ExtensionPackage fromJson(const QJsonObject& object);
    static ExtensionPackage decode(const QByteArray& json);

    friend bool operator==(const ExtensionPackage&, const ExtensionPackage&) = default;
};

// A file to read for a command, and whether the load fails without it.
struct CommandSourceFile {
    QUrl url;
    bool isRequired = true;

    QJsonObject toJson() const;
    static CommandSourceFile fromJson(const QJsonObject& object);
    friend bool operator==(const CommandSourceFile&, const CommandSourceFile&) = default;
};

// What a command's engine evaluates: the API script, the command's script and
// the command's environment as JSON. JSON keys "api", "entryPoint",
// "envData" (the bytes in base64, absent when there are none).
struct CommandSources {
    QString api;
    QString entryPoint;
    std::optional<QByteArray> envData;

    QJsonObject toJson() const;
    static CommandSources fromJson(const QJsonObject& object);
    friend bool operator==(const CommandSources&, const CommandSources&) = default;
};

}  // namespace vantrel
