#pragma once

#include "kit/VantrelError.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <optional>

// Strict reading of JSON objects for the package model: a required key that is
// missing, or any present key of the wrong type, throws a VantrelError naming
// the key's path ("commands[0].mode"). A null value counts as absent.
namespace vantrel::JsonFields {

QString path(const QString& where, const QString& key);
QString indexPath(const QString& where, qsizetype index);

[[noreturn]] void missing(const QString& where, const QString& key);
[[noreturn]] void wrongType(const QString& where, const QString& key, const char* expected);

bool has(const QJsonObject& object, const QString& key);

QString requiredString(const QJsonObject& object, const QString& key, const QString& where);
std::optional<QString> optionalString(const QJsonObject& object, const QString& key, const QString& where);
bool requiredBool(const QJsonObject& object, const QString& key, const QString& where);
QJsonObject requiredObject(const QJsonObject& object, const QString& key, const QString& where);
QJsonArray requiredArray(const QJsonObject& object, const QString& key, const QString& where);
std::optional<QJsonArray> optionalArray(const QJsonObject& object, const QString& key, const QString& where);
std::optional<QStringList> optionalStringArray(const QJsonObject& object, const QString& key, const QString& where);
QStringList requiredStringArray(const QJsonObject& object, const QString& key, const QString& where);
// An element of an array that must be an object.
QJsonObject objectAt(const QJsonArray& array, qsizetype index, const QString& where);

}  // namespace vantrel::JsonFields
