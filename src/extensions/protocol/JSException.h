#pragma once

#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <optional>
#include <utility>

namespace vantrel::extensions {

// An uncaught JavaScript error, with its place translated to the original
// source when the script carries a source map.
struct JSException {
    struct Location {
        QString source;  // script URL, or the original file after translation
        std::int64_t line = 0;
        std::int64_t column = 0;
        std::optional<std::pair<std::int64_t, std::int64_t>> end;  // line, column
    };

    QString name = QStringLiteral("Error");
    std::optional<QString> message;
    std::optional<Location> location;
    std::optional<QString> stack;

    // "name", "message", "sourceURL", "line", "column", "endLine",
    // "endColumn", "stack"; absent values are left out.
    QJsonObject toDictionary() const;
    static JSException fromDictionary(const QJsonObject& dictionary);

    // "TypeError: x is undefined" (name alone without a message).
    QString title() const;
    // "src/index.ts:12:7" (column counted from 1, as editors show it); empty without a location.
    QString position() const;
    // The title, then " (at <position>)" when there is one.
    QString description() const;
};

}  // namespace vantrel::extensions
