#include "extensions/packages/ExtensionManifest.h"

#include "extensions/packages/JsonFields.h"
#include "kit/VantrelError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

namespace vantrel {

namespace {

using namespace JsonFields;

QString key(bool ordered, qint64 order, const char* name) {
    ExtensionManifest::Key key{order, QString::fromLatin1(name), std::nullopt};
    if (ordered) key.prefix = QString(ExtensionManifest::orderedKeyPrefix);
    return key.stringValue();
}

std::optional<std::vector<ExtensionPreference>> preferencesFrom(const QJsonObject& object, const QString& where) {
    const std::optional<QJsonArray> array = optionalArray(object, QStringLiteral("preferences"), where);
    if (!array) return std::nullopt;
    const QString base = path(where, QStringLiteral("preferences"));
    std::vector<ExtensionPreference> preferences;
    preferences.reserve(size_t(array->size()));
    for (qsizetype i = 0; i < array->size(); ++i)
        preferences.push_back(ExtensionPreference::fromJson(objectAt(*array, i, base), indexPath(base, i)));
    return preferences;
}

QJsonArray preferencesJson(const std::vector<ExtensionPreference>& preferences, bool ordered) {
    QJsonArray array;
    for (const ExtensionPreference& preference : preferences) array.append(preference.toJson(ordered));
    return array;
}

QJsonObject manifestJson(const ExtensionManifest& manifest, bool ordered) {
    QJsonObject object;
    object.insert(key(ordered, 0, "name"), manifest.name);
    object.insert(key(ordered, 1, "title"), manifest.title);
    object.insert(key(ordered, 2, "description"), manifest.description);
    object.insert(key(ordered, 3, "icon"), manifest.icon);
    if (manifest.keywords) object.insert(key(ordered, 4, "keywords"), QJsonArray::fromStringList(*manifest.keywords));
    if (manifest.license) object.insert(key(ordered, 5, "license"), *manifest.license);
    QJsonArray commands;
    for (const ExtensionManifest::Command& command : manifest.commands) commands.append(command.toJson(ordered));
    object.insert(key(ordered, 6, "commands"), commands);
    if (manifest.preferences) object.insert(key(ordered, 7, "preferences"), preferencesJson(*manifest.preferences, ordered));
    if (manifest.debug) {
        QJsonObject shortcut;
        shortcut.insert(key(ordered, 0, "modifiers"), QJsonArray::fromStringList(manifest.debug->reloadShortcut.modifiers));
        shortcut.insert(key(ordered, 1, "key"), manifest.debug->reloadShortcut.key);
        QJsonObject debug;
        debug.insert(key(ordered, 0, "reloadShortcut"), shortcut);
        object.insert(key(ordered, 8, "debug"), debug);
    }
    if (manifest.devDependencies) {
        QJsonObject dependencies;
        for (auto it = manifest.devDependencies->cbegin(); it != manifest.devDependencies->cend(); ++it)
            dependencies.insert(it.key(), it.value());
        object.insert(key(ordered, 9, "devDependencies"), dependencies);
    }
    for (auto it = manifest.otherKeys.constBegin(); it != manifest.otherKeys.constEnd(); ++it) {
        ExtensionManifest::Key other{98, it.key(), std::nullopt};
        if (ordered) other.prefix = QString(ExtensionManifest::orderedKeyPrefix);
        object.insert(other.stringValue(), it.value());
    }
    return object;
}

}  // namespace

QString extensionCommandKindRawValue(ExtensionCommandKind kind) {
    return kind == ExtensionCommandKind::view ? QStringLiteral("view") : QStringLiteral("default");
}

std::optional<ExtensionCommandKind> extensionCommandKindFromRawValue(const QString& raw) {
    if (raw == QLatin1String("default")) return ExtensionCommandKind::defaultKind;
    if (raw == QLatin1String("view")) return ExtensionCommandKind::view;
    return std::nullopt;
}

QString ExtensionManifest::Key::stringValue() const {
    if (!prefix) return name;
    return *prefix + QString::asprintf("%02d", int(order + 1)) + name;
}

ExtensionManifest::Command ExtensionManifest::Command::fromJson(const QJsonObject& object, const QString& where) {
    Command command;
    command.name = requiredString(object, QStringLiteral("name"), where);
    command.title = requiredString(object, QStringLiteral("title"), where);
    command.description = requiredString(object, QStringLiteral("description"), where);
    command.icon = optionalString(object, QStringLiteral("icon"), where);
    command.keywords = optionalStringArray(object, QStringLiteral("keywords"), where);
    command.mode = requiredString(object, QStringLiteral("mode"), where);
    command.preferences = preferencesFrom(object, where);
    return command;
}

QJsonObject ExtensionManifest::Command::toJson(bool orderedKeys) const {
    QJsonObject object;
    object.insert(key(orderedKeys, 0, "name"), name);
    object.insert(key(orderedKeys, 1, "title"), title);
    object.insert(key(orderedKeys, 2, "description"), description);
    if (icon) object.insert(key(orderedKeys, 3, "icon"), *icon);
    if (keywords) object.insert(key(orderedKeys, 4, "keywords"), QJsonArray::fromStringList(*keywords));
    object.insert(key(orderedKeys, 5, "mode"), mode);
    if (preferences) object.insert(key(orderedKeys, 6, "preferences"), preferencesJson(*preferences, orderedKeys));
    return object;
}

ExtensionManifest ExtensionManifest::fromJson(const QJsonObject& object) {
    const QString where;
    ExtensionManifest manifest;
    manifest.name = requiredString(object, QStringLiteral("name"), where);
    manifest.title = requiredString(object, QStringLiteral("title"), where);
    manifest.description = requiredString(object, QStringLiteral("description"), where);
    manifest.icon = requiredString(object, QStringLiteral("icon"), where);
    manifest.keywords = optionalStringArray(object, QStringLiteral("keywords"), where);
    manifest.license = optionalString(object, QStringLiteral("license"), where);
    const QJsonArray commands = requiredArray(object, QStringLiteral("commands"), where);
    for (qsizetype i = 0; i < commands.size(); ++i)
        manifest.commands.push_back(
            Command::fromJson(objectAt(commands, i, QStringLiteral("commands")), indexPath(QStringLiteral("commands"), i)));
    manifest.preferences = preferencesFrom(object, where);
    if (has(object, QStringLiteral("debug"))) {
        const QJsonObject debug = requiredObject(object, QStringLiteral("debug"), where);
        const QJsonObject shortcut = requiredObject(debug, QStringLiteral("reloadShortcut"), QStringLiteral("debug"));
        const QString at = QStringLiteral("debug.reloadShortcut");
        manifest.debug = Debug{{requiredStringArray(shortcut, QStringLiteral("modifiers"), at),
                                requiredString(shortcut, QStringLiteral("key"), at)}};
    }
    if (has(object, QStringLiteral("devDependencies"))) {
        const QJsonObject dependencies = requiredObject(object, QStringLiteral("devDependencies"), where);
        QMap<QString, QString> map;
        for (auto it = dependencies.constBegin(); it != dependencies.constEnd(); ++it) {
            if (!it.value().isString())
                wrongType(QStringLiteral("devDependencies"), it.key(), "a string");
            map.insert(it.key(), it.value().toString());
        }
        manifest.devDependencies = std::move(map);
    }
    static const QStringList known{QStringLiteral("name"),     QStringLiteral("title"),       QStringLiteral("description"),
                                   QStringLiteral("icon"),     QStringLiteral("keywords"),    QStringLiteral("license"),
                                   QStringLiteral("commands"), QStringLiteral("preferences"), QStringLiteral("debug"),
                                   QStringLiteral("devDependencies")};
    for (auto it = object.constBegin(); it != object.constEnd(); ++it)
        if (!known.contains(it.key())) manifest.otherKeys.insert(it.key(), it.value());
    return manifest;
}

ExtensionManifest ExtensionManifest::decode(const QByteArray& json) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        throw VantrelError(QStringLiteral("Could not decode manifest: ") + parseError.errorString() +
                           QStringLiteral(" at offset ") + QString::number(parseError.offset));
    if (!document.isObject()) throw VantrelError(QStringLiteral("Could not decode manifest: the top level is not an object"));
    try {
        return fromJson(document.object());
    } catch (const VantrelError& error) {
        throw VantrelError(QStringLiteral("Could not decode manifest: ") + error.errorDescription());
    }
}

QJsonObject ExtensionManifest::toJson() const {
    return manifestJson(*this, false);
}

QByteArray ExtensionManifest::encodeOrdered() const {
    // QJsonObject keeps its keys sorted, so keys carrying their position sort in
    // declaration order; the positions are taken out of the text afterwards.
    QByteArray text = QJsonDocument(manifestJson(*this, true)).toJson(QJsonDocument::Indented);
    static const QRegularExpression positions(QStringLiteral("__vtl__[0-9]{2}"));
    return QString::fromUtf8(text).remove(positions).toUtf8();
}

const ExtensionManifest::Command* ExtensionManifest::command(const QString& commandName) const {
    for (const Command& command : commands)
        if (command.name == commandName) return &command;
    return nullptr;
}

}  // namespace vantrel
