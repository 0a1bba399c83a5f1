#include "extensions/packages/JsonFields.h"

namespace vantrel::JsonFields {

QString path(const QString& where, const QString& key) {
    return where.isEmpty() ? key : where + QLatin1Char('.') + key;
}

QString indexPath(const QString& where, qsizetype index) {
    return where + QLatin1Char('[') + QString::number(index) + QLatin1Char(']');
}

void missing(const QString& where, const QString& key) {
    throw VantrelError(QStringLiteral("Missing key '%1'").arg(path(where, key)));
}

void wrongType(const QString& where, const QString& key, const char* expected) {
    throw VantrelError(
        QStringLiteral("Key '%1' must be %2").arg(path(where, key), QString::fromLatin1(expected)));
}

bool has(const QJsonObject& object, const QString& key) {
    const auto found = object.constFind(key);
    return found != object.constEnd() && !found->isNull() && !found->isUndefined();
}

QString requiredString(const QJsonObject& object, const QString& key, const QString& where) {
    if (!has(object, key)) missing(where, key);
    const QJsonValue value = object.value(key);
    if (!value.isString()) wrongType(where, key, "a string");
    return value.toString();
}

std::optional<QString> optionalString(const QJsonObject& object, const QString& key, const QString& where) {
    if (!has(object, key)) return std::nullopt;
    const QJsonValue value = object.value(key);
    if (!value.isString()) wrongType(where, key, "a string");
    return value.toString();
}

bool requiredBool(const QJsonObject& object, const QString& key, const QString& where) {
    if (!has(object, key)) missing(where, key);
    const QJsonValue value = object.value(key);
    if (!value.isBool()) wrongType(where, key, "a boolean");
    return value.toBool();
}

QJsonObject requiredObject(const QJsonObject& object, const QString& key, const QString& where) {
    if (!has(object, key)) missing(where, key);
    const QJsonValue value = object.value(key);
    if (!value.isObject()) wrongType(where, key, "an object");
    return value.toObject();
}

QJsonArray requiredArray(const QJsonObject& object, const QString& key, const QString& where) {
    if (!has(object, key)) missing(where, key);
    const QJsonValue value = object.value(key);
    if (!value.isArray()) wrongType(where, key, "an array");
    return value.toArray();
}

std::optional<QJsonArray> optionalArray(const QJsonObject& object, const QString& key, const QString& where) {
    if (!has(object, key)) return std::nullopt;
    const QJsonValue value = object.value(key);
    if (!value.isArray()) wrongType(where, key, "an array");
    return value.toArray();
}

namespace {

QStringList strings(const QJsonArray& array, const QString& where, const QString& key) {
    QStringList list;
    list.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        if (!array[i].isString()) wrongType(where, indexPath(key, i), "a string");
        list << array[i].toString();
    }
    return list;
}

}  // namespace

std::optional<QStringList> optionalStringArray(const QJsonObject& object, const QString& key, const QString& where) {
    const std::optional<QJsonArray> array = optionalArray(object, key, where);
    if (!array) return std::nullopt;
    return strings(*array, where, key);
}

QStringList requiredStringArray(const QJsonObject& object, const QString& key, const QString& where) {
    return strings(requiredArray(object, key, where), where, key);
}

QJsonObject objectAt(const QJsonArray& array, qsizetype index, const QString& where) {
    const QJsonValue value = array.at(index);
    if (!value.isObject())
        throw VantrelError(QStringLiteral("Key '%1' must be an object").arg(indexPath(where, index)));
    return value.toObject();
}

}  // namespace vantrel::JsonFields
