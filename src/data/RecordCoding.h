#pragma once

#include "data/SQLite.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>
#include <vector>

// Small conversions shared by the record types: between row values (as the
// SQLite layer reads them) and the optional fields of the records.
namespace vantrel::RecordCoding {

inline bool isNull(const QVariant& value) { return !value.isValid() || value.isNull(); }

inline std::optional<QString> optionalString(const QVariant& value) {
    if (isNull(value)) return std::nullopt;
    return value.toString();
}

inline QString string(const QVariant& value) { return isNull(value) ? QString() : value.toString(); }

inline std::optional<QDateTime> optionalDate(const QVariant& value) {
    const QDateTime date = DatabaseDate::fromVariant(value);
    if (!date.isValid()) return std::nullopt;
    return date;
}

// A missing or unreadable date reads as the start of 1970 rather than an
// invalid date, so that records always carry a comparable point in time.
inline QDateTime date(const QVariant& value) {
    const QDateTime parsed = DatabaseDate::fromVariant(value);
    return parsed.isValid() ? parsed : QDateTime::fromMSecsSinceEpoch(0, Qt::UTC);
}

inline std::optional<qint64> optionalInt(const QVariant& value) {
    if (isNull(value)) return std::nullopt;
    return value.toLongLong();
}

inline std::optional<double> optionalDouble(const QVariant& value) {
    if (isNull(value)) return std::nullopt;
    return value.toDouble();
}

inline std::optional<QByteArray> optionalBytes(const QVariant& value) {
    if (isNull(value)) return std::nullopt;
    return value.toByteArray();
}

// Booleans are stored as 0/1; text such as '0' or 'true' reads as expected.
inline bool boolean(const QVariant& value, bool fallback = false) {
    if (isNull(value)) return fallback;
    if (value.metaType().id() == QMetaType::QString) {
        const QString text = value.toString().trimmed().toLower();
        return !(text.isEmpty() || text == QLatin1String("0") || text == QLatin1String("false"));
    }
    return value.toLongLong() != 0;
}

template <typename T>
QVariant toVariant(const std::optional<T>& value) {
    return value ? QVariant::fromValue(*value) : QVariant();
}

// "?, ?, ?" for `count` placeholders.
inline QString placeholders(qsizetype count) {
    QStringList marks;
    marks.reserve(count);
    for (qsizetype i = 0; i < count; ++i) marks << QStringLiteral("?");
    return marks.join(QStringLiteral(", "));
}

// "INSERT INTO table (a, b) VALUES (?, ?)"
inline QString insertStatement(QLatin1String table, const QStringList& columns) {
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(table, columns.join(QStringLiteral(", ")), placeholders(columns.size()));
}

// "UPDATE table SET a = ?, b = ? WHERE id = ?"
inline QString updateByIdStatement(QLatin1String table, const QStringList& columns) {
    QStringList assignments;
    assignments.reserve(columns.size());
    for (const QString& column : columns) assignments << column + QStringLiteral(" = ?");
    return QStringLiteral("UPDATE %1 SET %2 WHERE id = ?").arg(table, assignments.join(QStringLiteral(", ")));
}

template <typename Record>
std::vector<Record> recordsFrom(const std::vector<Row>& rows) {
    std::vector<Record> records;
    records.reserve(rows.size());
    for (const Row& row : rows) records.push_back(Record::fromRow(row));
    return records;
}

}  // namespace vantrel::RecordCoding
