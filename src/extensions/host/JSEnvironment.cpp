#include "extensions/host/JSEnvironment.h"

#include "kit/Logger.h"

#include <QJsonDocument>

#ifndef VANTREL_VERSION
#define VANTREL_VERSION "0.0.0"
#endif

namespace vantrel::extensions {

QString vantrelVersion() { return QStringLiteral(VANTREL_VERSION); }

QJsonObject environmentObject(const ExtensionPackage& package, const std::optional<QByteArray>& envData) {
    QJsonObject vars;
    if (envData) {
        const QJsonDocument document = QJsonDocument::fromJson(*envData);
        if (document.isObject()) {
            vars = document.object();
        } else {
            static const Logger logger({QStringLiteral("JSEngine"), QStringLiteral("⚙️")});
            logger.error(QStringLiteral("Failed parsing env vars"));
        }
    }
    QJsonObject preferences;
    if (package.launchCommand && package.launchCommand->preferences) {
        for (const ExtensionPreference& preference : *package.launchCommand->preferences) {
            QJsonObject entry{{QStringLiteral("required"), preference.required},
                              {QStringLiteral("type"), ExtensionPreference::kindRawValue(preference.type)}};
            if (preference.value) entry.insert(QStringLiteral("value"), *preference.value);
            if (preference.defaultValue) entry.insert(QStringLiteral("default"), *preference.defaultValue);
            preferences.insert(preference.name, entry);
        }
    }
    return {{QStringLiteral("vantrelVersion"), vantrelVersion()},
            {QStringLiteral("extensionName"), package.id.name},
            {QStringLiteral("commandName"), package.launchCommand ? QJsonValue(package.launchCommand->id.fileBaseName()) : QJsonValue()},
            {QStringLiteral("preferences"), preferences},
            {QStringLiteral("vars"), vars}};
}

}  // namespace vantrel::extensions
