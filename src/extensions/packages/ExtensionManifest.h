#pragma once

#include "extensions/packages/ExtensionPreference.h"

#include <QByteArray>
#include <QJsonObject>
#include <QLatin1String>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace vantrel {

// How a command of an extension runs.
enum class ExtensionCommandKind {
    defaultKind,  // "default": runs without a view
    view,         // "view": opens a command view
};
QString extensionCommandKindRawValue(ExtensionCommandKind kind);
std::optional<ExtensionCommandKind> extensionCommandKindFromRawValue(const QString& raw);

// The "package.json" of an extension.
//
// Decoding is strict: a missing required key or a value of the wrong type fails
// the whole manifest; unknown keys are ignored and values are not validated
// further (they are kept in otherKeys). Writing keeps the declaration order of
// the keys (name, title, description, icon, keywords, license, commands,
// preferences, debug, devDependencies, then the others by name; the same for
// the keys of commands and preferences).
struct ExtensionManifest {
    // A key combination as a manifest writes it: {"modifiers": [...], "key": "r"}
    // (turned into a key combination where it is shown).
    struct KeyboardShortcut {
        QStringList modifiers;
        QString key;
        friend bool operator==(const KeyboardShortcut&, const KeyboardShortcut&) = default;
    };

    struct Command {
        QString name;  // also the base name of the command's script
        QString title;
        QString description;
        std::optional<QString> icon;  // a file in "assets"
        std::optional<QStringList> keywords;
        QString mode;  // "default" or "view"
        std::optional<std::vector<ExtensionPreference>> preferences;

        std::optional<ExtensionCommandKind> kind() const { return extensionCommandKindFromRawValue(mode); }
        static Command fromJson(const QJsonObject& object, const QString& where);
        QJsonObject toJson(bool orderedKeys = false) const;
        friend bool operator==(const Command&, const Command&) = default;
    };

    struct Debug {
        KeyboardShortcut reloadShortcut;
        friend bool operator==(const Debug&, const Debug&) = default;
    };

    // A coding key with an order: its text is prefix + "%02d" of order + 1 +
    // name ("__vtl__01title" for order 0), or the bare name without a prefix.
    struct Key {
        qint64 order = 0;
        QString name;
        std::optional<QString> prefix;
        QString stringValue() const;
    };
    static constexpr QLatin1String orderedKeyPrefix{"__vtl__"};

    QString name;
    QString title;
    QString description;
    QString icon;
    std::optional<QStringList> keywords;
    std::optional<QString> license;
    std::vector<Command> commands;
    std::optional<std::vector<ExtensionPreference>> preferences;
    std::optional<Debug> debug;
    std::optional<QMap<QString, QString>> devDependencies;
    // Every other key of the file ("scripts", "dependencies"…), kept as it was
    // so that writing the manifest back loses nothing; written after the keys
    // above, by name.
    QJsonObject otherKeys;

    // Throws VantrelError "Could not decode manifest: " + what is wrong.
    static ExtensionManifest decode(const QByteArray& json);
    static ExtensionManifest fromJson(const QJsonObject& object);

    // The JSON object with plain key names (what crosses the process boundary).
    QJsonObject toJson() const;
    // The manifest file's text: pretty printed, keys in declaration order,
    // slashes not escaped, no ordering prefix left in it.
    QByteArray encodeOrdered() const;

    const Command* command(const QString& commandName) const;

    friend bool operator==(const ExtensionManifest&, const ExtensionManifest&) = default;
};

}  // namespace vantrel
