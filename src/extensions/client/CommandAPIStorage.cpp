// "app" local storage: every item of one extension in one JSON object,
// kept as a string in the user defaults.
#include "extensions/client/CommandAPI.h"

#include "kit/UserDefaults.h"

#include <QJsonDocument>
#include <QJsonParseError>

namespace vantrel::extensions {

QString CommandAPI::localStorageKey() const {
    const ExtensionId& id = m_package.id;
    return QStringLiteral("extension__extensions/") + (id.isDevelopment() ? id.name : id.id);
}

Result<QJsonObject> CommandAPI::readLocalStorage() const {
    const QVariant stored = UserDefaults::standard().value(localStorageKey());
    if (!stored.isValid()) return QJsonObject();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(stored.toString().toUtf8(), &error);
    if (stored.typeId() != QMetaType::QString || error.error != QJsonParseError::NoError || !document.isObject()) {
        return VantrelError(QStringLiteral("Invalid JSON"));
    }
    return document.object();
}

void CommandAPI::writeLocalStorage(const QJsonObject& values) {
    UserDefaults::standard().setValue(localStorageKey(), QString::fromUtf8(QJsonDocument(values).toJson(QJsonDocument::Compact)));
}

void CommandAPI::allLocalStorageItems(const Completion& completion) {
    Result<QJsonObject> values = readLocalStorage();
    if (values.isFailure()) {
        m_logger.error(QStringLiteral("Failed getting all items: ") + values.error().errorDescription());
        return completion(values.error());
    }
    completion(QJsonValue(values.value()));
}

void CommandAPI::getLocalStorageItem(const QJsonObject& arguments, const Completion& completion) {
    const QJsonValue key = arguments.value(QStringLiteral("key"));
    if (!key.isString()) return completion(VantrelError(QStringLiteral("Missing key")));
    Result<QJsonObject> values = readLocalStorage();
    if (values.isFailure()) return completion(VantrelError(QStringLiteral("Failed getting item")));
    completion(values.value().value(key.toString()));
}

void CommandAPI::setLocalStorageItem(const QJsonObject& arguments, const Completion& completion) {
    const QJsonValue key = arguments.value(QStringLiteral("key"));
    const QJsonValue value = arguments.value(QStringLiteral("value"));
    if (!key.isString() || value.isUndefined()) return completion(VantrelError(QStringLiteral("Missing key or value")));
    Result<QJsonObject> values = readLocalStorage();
    if (values.isFailure()) return completion(VantrelError(QStringLiteral("Failed setting item")));
    QJsonObject changed = values.value();
    changed.insert(key.toString(), value);
    writeLocalStorage(changed);
    completion(QJsonValue());
}

void CommandAPI::removeLocalStorageItem(const QJsonObject& arguments, const Completion& completion) {
    const QJsonValue key = arguments.value(QStringLiteral("key"));
    if (!key.isString()) return completion(VantrelError(QStringLiteral("Missing key")));
    Result<QJsonObject> values = readLocalStorage();
    if (values.isFailure()) return completion(VantrelError(QStringLiteral("Failed removing item")));
    QJsonObject changed = values.value();
    changed.remove(key.toString());
    writeLocalStorage(changed);
    completion(QJsonValue());
}

void CommandAPI::clearLocalStorage(const Completion& completion) {
    UserDefaults::standard().remove(localStorageKey());
    completion(QJsonValue());
}

}  // namespace vantrel::extensions
