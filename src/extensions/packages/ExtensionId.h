#pragma once

#include <QHashFunctions>
#include <QJsonValue>
#include <QLatin1String>
#include <QString>

#include <functional>
#include <optional>

namespace vantrel {

// The identity of an extension package or of one of its commands: a name and
// an id, compared field by field.
//   package: name = the manifest "name", id = the store uuid, or "dev" for a
//            development extension;
//   command: name = extension name + "." + command name, id as its package's.
// Raw form (also the JSON form): name + "__" + id.
struct ExtensionId {
    QString name;
    QString id;

    static constexpr QLatin1String separator{"__"};
    static constexpr QLatin1String developmentId{"dev"};

    ExtensionId() = default;
    ExtensionId(QString name, QString id) : name(std::move(name)), id(std::move(id)) {}

    // Splits the raw form at "__"; anything but exactly two parts is rejected
    // (logged at error level as "Invalid package command id: " + raw).
    static std::optional<ExtensionId> parse(const QString& raw);
    // The id of a command of this package.
    static ExtensionId command(const ExtensionId& package, const QString& commandName);

    QString rawValue() const { return name + separator + id; }
    bool isDevelopment() const { return id == developmentId; }
    // The text after the last "." of the name (the whole name without one): the
    // base name of a command's script file.
    QString fileBaseName() const;
    // For a command id, its package's id (the name before the last "."); a
    // package id answers itself.
    ExtensionId packageId() const;

    QJsonValue toJson() const { return rawValue(); }
    // A string that parses; nullopt otherwise.
    static std::optional<ExtensionId> fromJson(const QJsonValue& value);

    friend bool operator==(const ExtensionId&, const ExtensionId&) = default;
    friend auto operator<=>(const ExtensionId& a, const ExtensionId& b) {
        if (const int byName = QString::compare(a.name, b.name); byName != 0) return byName <=> 0;
        return QString::compare(a.id, b.id) <=> 0;
    }
};

inline size_t qHash(const ExtensionId& key, size_t seed = 0) noexcept {
    return qHashMulti(seed, key.name, key.id);
}

}  // namespace vantrel

template <>
struct std::hash<vantrel::ExtensionId> {
    size_t operator()(const vantrel::ExtensionId& key) const noexcept { return vantrel::qHash(key); }
};
