#include "extensions/packages/ExtensionPreference.h"

#include "extensions/packages/ExtensionManifest.h"
#include "extensions/packages/JsonFields.h"
#include "extensions/packages/PackagesLog.h"
#include "kit/VantrelError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QStringDecoder>

namespace vantrel {

namespace {

QString key(bool ordered, qint64 order, const char* name) {
    ExtensionManifest::Key key{order, QString::fromLatin1(name), std::nullopt};
    if (ordered) key.prefix = QString(ExtensionManifest::orderedKeyPrefix);
    return key.stringValue();
}

}  // namespace

QString ExtensionPreference::kindRawValue(Kind kind) {
    return kind == Kind::password ? QStringLiteral("password") : QStringLiteral("textfield");
}

std::optional<ExtensionPreference::Kind> ExtensionPreference::kindFromRawValue(const QString& raw) {
    if (raw == QLatin1String("textfield")) return Kind::textfield;
    if (raw == QLatin1String("password")) return Kind::password;
    return std::nullopt;
}

ExtensionPreference ExtensionPreference::fromJson(const QJsonObject& object, const QString& where) {
    using namespace JsonFields;
    ExtensionPreference preference;
    preference.name = requiredString(object, QStringLiteral("name"), where);
    const QString type = requiredString(object, QStringLiteral("type"), where);
    const std::optional<Kind> kind = kindFromRawValue(type);
    if (!kind)
        throw VantrelError(QStringLiteral("Key '%1' must be \"textfield\" or \"password\"")
                               .arg(path(where, QStringLiteral("type"))));
    preference.type = *kind;
    preference.required = requiredBool(object, QStringLiteral("required"), where);
    preference.title = requiredString(object, QStringLiteral("title"), where);
    preference.description = requiredString(object, QStringLiteral("description"), where);
    preference.placeholder = optionalString(object, QStringLiteral("placeholder"), where);
    preference.link = optionalString(object, QStringLiteral("link"), where);
    preference.defaultValue = optionalString(object, QStringLiteral("default"), where);
    preference.value = optionalString(object, QStringLiteral("value"), where);
    return preference;
}

QJsonObject ExtensionPreference::toJson(bool orderedKeys) const {
    QJsonObject object;
    object.insert(key(orderedKeys, 0, "name"), name);
    object.insert(key(orderedKeys, 1, "type"), kindRawValue(type));
    object.insert(key(orderedKeys, 2, "required"), required);
    object.insert(key(orderedKeys, 3, "title"), title);
    object.insert(key(orderedKeys, 4, "description"), description);
    if (placeholder) object.insert(key(orderedKeys, 5, "placeholder"), *placeholder);
    if (link) object.insert(key(orderedKeys, 6, "link"), *link);
    if (defaultValue) object.insert(key(orderedKeys, 7, "default"), *defaultValue);
    if (value) object.insert(key(orderedKeys, 8, "value"), *value);
    return object;
}

std::optional<std::vector<ExtensionPreference>> ExtensionPreference::fromJSON(const QByteArray& text) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString decoded = decoder.decode(text);
    if (decoder.hasError()) throw VantrelError(QStringLiteral("Invalid extension preferences data"));
    try {
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(decoded.toUtf8(), &parseError);
        if (parseError.error != QJsonParseError::NoError) throw VantrelError(parseError.errorString());
        if (!document.isArray()) throw VantrelError(QStringLiteral("Expected an array of preferences"));
        const QJsonArray array = document.array();
        std::vector<ExtensionPreference> preferences;
        preferences.reserve(size_t(array.size()));
        for (qsizetype i = 0; i < array.size(); ++i)
            preferences.push_back(fromJson(JsonFields::objectAt(array, i, QString()), JsonFields::indexPath({}, i)));
        return preferences;
    } catch (const std::exception& error) {
        packagesLog().error("Could not decode extension preferences",
                            {{QStringLiteral("error"), VantrelError::describe(error)}});
        return std::nullopt;
    }
}

std::optional<QString> ExtensionPreference::jsonString(const std::vector<ExtensionPreference>& preferences) {
    QJsonArray array;
    for (const ExtensionPreference& preference : preferences) array.append(preference.toJson());
    const QByteArray bytes = QJsonDocument(array).toJson(QJsonDocument::Compact);
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        packagesLog().error("Could not encode extension preferences",
                            {{QStringLiteral("error"), QStringLiteral("Invalid extension preferences JSON string")}});
        return std::nullopt;
    }
    return text;
}

}  // namespace vantrel
