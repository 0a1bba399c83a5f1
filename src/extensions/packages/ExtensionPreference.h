#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QLatin1String>
#include <QString>

#include <optional>
#include <vector>

namespace vantrel {

// A preference an extension or one of its commands declares, and the value the
// user gave it. JSON keys, in this order: "name", "type", "required",
// "title", "description", "placeholder", "link", "default", "value".
struct ExtensionPreference {
    enum class Kind { textfield, password };
    // Where the preference was declared.
    enum class Source { extension, command };

    QString name;
    Kind type = Kind::textfield;
    bool required = false;
    QString title;
    QString description;
    std::optional<QString> placeholder;
    std::optional<QString> link;
    std::optional<QString> defaultValue;  // "default"
    std::optional<QString> value;

    static QString kindRawValue(Kind kind);
    static std::optional<Kind> kindFromRawValue(const QString& raw);

    // Strict: throws VantrelError naming the key that is missing or mistyped.
    static ExtensionPreference fromJson(const QJsonObject& object, const QString& where = QString());
    // `orderedKeys`: keys carry the ordering prefix of the manifest writer.
    QJsonObject toJson(bool orderedKeys = false) const;

    // An array of preferences stored as one JSON text (the "preferences"
    // column of extensions and commands). Text that is not UTF-8 throws
    // "Invalid extension preferences data"; JSON that does not decode is
    // logged ("Could not decode extension preferences") and yields nullopt.
    static std::optional<std::vector<ExtensionPreference>> fromJSON(const QByteArray& text);
    // The JSON text of the array; nullopt (logged "Could not encode extension
    // preferences") when it cannot be written.
    static std::optional<QString> jsonString(const std::vector<ExtensionPreference>& preferences);

    friend bool operator==(const ExtensionPreference&, const ExtensionPreference&) = default;
};

}  // namespace vantrel
