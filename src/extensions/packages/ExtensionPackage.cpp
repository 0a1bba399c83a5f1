#include "extensions/packages/ExtensionPackage.h"

#include "extensions/packages/ExtensionPaths.h"
#include "extensions/packages/JsonFields.h"
#include "kit/VantrelError.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace vantrel {

namespace {

using namespace JsonFields;

QUrl urlFrom(const QString& text, const QString& key) {
    // A file URL, or a plain absolute path.
    const QUrl url = text.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(text) : QUrl(text, QUrl::StrictMode);
    if (!url.isValid() || !url.isLocalFile())
        throw VantrelError(QStringLiteral("Key '%1' must be a file URL").arg(key));
    return url;
}

ExtensionId idFrom(const QJsonObject& object, const QString& where) {
    const QString raw = requiredString(object, QStringLiteral("id"), where);
    const std::optional<ExtensionId> id = ExtensionId::parse(raw);
    if (!id) throw VantrelError(QStringLiteral("Key '%1' is not an extension id: %2").arg(path(where, QStringLiteral("id")), raw));
    return *id;
}

}  // namespace

QJsonObject ExtensionLaunchCommand::toJson() const {
    QJsonObject object;
    object.insert(QStringLiteral("id"), id.toJson());
    if (preferences) {
        QJsonArray array;
        for (const ExtensionPreference& preference : *preferences) array.append(preference.toJson());
        object.insert(QStringLiteral("preferences"), array);
    }
    return object;
}

ExtensionLaunchCommand ExtensionLaunchCommand::fromJson(const QJsonObject& object) {
    const QString where = QStringLiteral("launchCommand");
    ExtensionLaunchCommand command;
    command.id = idFrom(object, where);
    if (const std::optional<QJsonArray> array = optionalArray(object, QStringLiteral("preferences"), where)) {
        const QString base = path(where, QStringLiteral("preferences"));
        std::vector<ExtensionPreference> preferences;
        for (qsizetype i = 0; i < array->size(); ++i)
            preferences.push_back(ExtensionPreference::fromJson(objectAt(*array, i, base), indexPath(base, i)));
        command.preferences = std::move(preferences);
    }
    return command;
}

ExtensionPackage::ExtensionPackage(ExtensionId packageId)
    : id(std::move(packageId)), url(QUrl::fromLocalFile(folderFor(id))) {}

QString ExtensionPackage::folderFor(const ExtensionId& packageId) {
    return ExtensionPaths::extensionsDir() + QLatin1Char('/') + (packageId.isDevelopment() ? packageId.name : packageId.id);
}

QString ExtensionPackage::commandScriptPath() const {
    const QString base = launchCommand ? launchCommand->id.fileBaseName() : QStringLiteral("index");
    return folder() + QLatin1Char('/') + base + QStringLiteral(".js");
}

QJsonObject ExtensionPackage::toJson() const {
    QJsonObject object;
    object.insert(QStringLiteral("id"), id.toJson());
    object.insert(QStringLiteral("url"), url.toString(QUrl::FullyEncoded));
    if (manifest) object.insert(QStringLiteral("manifest"), manifest->toJson());
    if (launchCommand) object.insert(QStringLiteral("launchCommand"), launchCommand->toJson());
    return object;
}

QByteArray ExtensionPackage::encode() const {
    return QJsonDocument(toJson()).toJson(QJsonDocument::Compact);
}

ExtensionPackage ExtensionPackage::fromJson(const QJsonObject& object) {
    ExtensionPackage package;
    package.id = idFrom(object, QString());
    package.url = urlFrom(requiredString(object, QStringLiteral("url"), QString()), QStringLiteral("url"));
    if (has(object, QStringLiteral("manifest"))) {
        try {
            package.manifest = ExtensionManifest::fromJson(requiredObject(object, QStringLiteral("manifest"), QString()));
        } catch (const VantrelError& error) {
            throw VantrelError(QStringLiteral("manifest: ") + error.errorDescription());
        }
    }
    if (has(object, QStringLiteral("launchCommand")))
        package.launchCommand =
            ExtensionLaunchCommand::fromJson(requiredObject(object, QStringLiteral("launchCommand"), QString()));
    return package;
}

ExtensionPackage ExtensionPackage::decode(const QByteArray& json) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) throw VantrelError(parseError.errorString());
    if (!document.isObject()) throw VantrelError(QStringLiteral("A package must be a JSON object"));
    return fromJson(document.object());
}

QJsonObject CommandSourceFile::toJson() const {
    return {{QStringLiteral("url"), url.toString(QUrl::FullyEncoded)}, {QStringLiteral("isRequired"), isRequired}};
}

CommandSourceFile CommandSourceFile::fromJson(const QJsonObject& object) {
    return {urlFrom(requiredString(object, QStringLiteral("url"), QString()), QStringLiteral("url")),
            requiredBool(object, QStringLiteral("isRequired"), QString())};
}

QJsonObject CommandSources::toJson() const {
    QJsonObject object{{QStringLiteral("api"), api}, {QStringLiteral("entryPoint"), entryPoint}};
    if (envData) object.insert(QStringLiteral("envData"), QString::fromLatin1(envData->toBase64()));
    return object;
}

CommandSources CommandSources::fromJson(const QJsonObject& object) {
    CommandSources sources;
    sources.api = requiredString(object, QStringLiteral("api"), QString());
    sources.entryPoint = requiredString(object, QStringLiteral("entryPoint"), QString());
    if (const std::optional<QString> env = optionalString(object, QStringLiteral("envData"), QString())) {
        const auto decoded = QByteArray::fromBase64Encoding(env->toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded) throw VantrelError(QStringLiteral("Key 'envData' must be base64"));
        sources.envData = *decoded;
    }
    return sources;
}

}  // namespace vantrel
