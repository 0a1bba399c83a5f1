#pragma once

#include "extensions/packages/ExtensionId.h"
#include "extensions/packages/ExtensionManifest.h"
#include "extensions/packages/ExtensionPreference.h"

#include <QDateTime>
#include <QJsonObject>
#include <QLatin1String>
#include <QString>

#include <optional>
#include <set>
#include <vector>

namespace vantrel {

// An installed extension, as root search and the preferences list it.
struct Extension {
    std::optional<QString> uuid;  // the store id; absent or "dev" for a development extension
    QString name;
    QString title;
    QString icon;
    std::optional<QDateTime> version;

    bool isDevelopment() const { return !uuid || *uuid == ExtensionId::developmentId; }
    ExtensionId packageId() const { return ExtensionId(name, uuid.value_or(QString(ExtensionId::developmentId))); }
    friend bool operator==(const Extension&, const Extension&) = default;
};

// One command of an installed extension.
struct ExtensionCommand {
    static constexpr QLatin1String keyPrefix{"extension_"};
    static constexpr QLatin1String developmentSuffix{" [DEV]"};

    Extension extension;
    std::optional<QString> uuid;
    QString name;
    QString title;
    QString description;
    std::optional<QString> icon;
    std::optional<QString> keywords;  // as stored: words joined with ","
    QString mode;

    // extension name + "." + command name, "__", the extension's uuid or "dev".
    ExtensionId commandId() const { return ExtensionId::command(extension.packageId(), name); }
    // "extension_" + the raw command id: the command's id in root search.
    QString packageCommandKey() const { return keyPrefix + commandId().rawValue(); }
    // The title, with " [DEV]" for a development extension.
    QString displayTitle() const;
    // The icon file in the package's "assets" folder (the command's, else the
    // extension's); empty when neither names one.
    QString iconPath() const;
    std::optional<ExtensionCommandKind> kind() const { return extensionCommandKindFromRawValue(mode); }

    // The command id of a package command key; nullopt for any other text.
    static std::optional<ExtensionId> commandIdFromKey(const QString& key);

    friend bool operator==(const ExtensionCommand&, const ExtensionCommand&) = default;
};

struct ExtensionCommandDetails {
    ExtensionCommand command;
    std::optional<std::vector<ExtensionPreference>> preferences;
    friend bool operator==(const ExtensionCommandDetails&, const ExtensionCommandDetails&) = default;
};

struct ExtensionDetails {
    Extension extension;
    std::optional<std::vector<ExtensionPreference>> preferences;
    std::vector<ExtensionCommandDetails> commands;

    // The form `vantrel extensions list --json` prints.
    QJsonObject toJson() const;
    friend bool operator==(const ExtensionDetails&, const ExtensionDetails&) = default;
};

// What installing a package from the store (or a local archive) records.
struct ExtensionInstallation {
    struct Command {
        QString uuid;
        QString name;
        friend auto operator<=>(const Command&, const Command&) = default;
    };

    QString packageURL;  // the zip file
    QString uuid;        // the store id
    QString username;    // the author
    std::set<Command> commands;
    QDateTime version;
};

}  // namespace vantrel
