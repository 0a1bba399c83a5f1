#include "kit/Settings.h"

namespace vantrel {

QString compositeKey(const std::optional<UserDefaultsRealm>& realm, const UserDefaultsKey& key) {
    if (!realm) return key.rawValue;
    return realm->rawValue + QLatin1Char('_') + key.rawValue;
}

namespace detail {

QString compactJsonText(const QJsonValue& value) {
    // QJsonDocument holds only objects and arrays: wrap the value in an array
    // and cut the brackets off again.
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(wrapped.mid(1, wrapped.size() - 2));
}

std::optional<QJsonValue> parseJsonText(const QString& text) {
    if (text.trimmed().isEmpty()) return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray("[") + text.toUtf8() + QByteArray("]"), &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) return std::nullopt;
    const QJsonArray array = document.array();
    if (array.size() != 1) return std::nullopt;
    return array.at(0);
}

}  // namespace detail

}  // namespace vantrel
