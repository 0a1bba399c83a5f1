#include "extensions/protocol/JSException.h"

namespace vantrel::extensions {

QJsonObject JSException::toDictionary() const {
    QJsonObject out{{QStringLiteral("name"), name}};
    if (message) out.insert(QStringLiteral("message"), *message);
    if (location) {
        out.insert(QStringLiteral("sourceURL"), location->source);
        out.insert(QStringLiteral("line"), static_cast<qint64>(location->line));
        out.insert(QStringLiteral("column"), static_cast<qint64>(location->column));
        if (location->end) {
            out.insert(QStringLiteral("endLine"), static_cast<qint64>(location->end->first));
            out.insert(QStringLiteral("endColumn"), static_cast<qint64>(location->end->second));
        }
    }
    if (stack) out.insert(QStringLiteral("stack"), *stack);
    return out;
}

JSException JSException::fromDictionary(const QJsonObject& dictionary) {
    JSException out;
    const QJsonValue name = dictionary.value(QStringLiteral("name"));
    if (name.isString()) out.name = name.toString();
    const QJsonValue message = dictionary.value(QStringLiteral("message"));
    if (message.isString()) out.message = message.toString();
    const QJsonValue source = dictionary.value(QStringLiteral("sourceURL"));
    const QJsonValue line = dictionary.value(QStringLiteral("line"));
    const QJsonValue column = dictionary.value(QStringLiteral("column"));
    if (source.isString() && line.isDouble() && column.isDouble()) {
        Location location{source.toString(), line.toInteger(), column.toInteger(), std::nullopt};
        const QJsonValue endLine = dictionary.value(QStringLiteral("endLine"));
        const QJsonValue endColumn = dictionary.value(QStringLiteral("endColumn"));
        if (endLine.isDouble() && endColumn.isDouble()) location.end = std::make_pair(endLine.toInteger(), endColumn.toInteger());
        out.location = std::move(location);
    }
    const QJsonValue stack = dictionary.value(QStringLiteral("stack"));
    if (stack.isString()) out.stack = stack.toString();
    return out;
}

QString JSException::title() const {
    if (!message || message->isEmpty()) return name;
    return name + QStringLiteral(": ") + *message;
}

QString JSException::position() const {
    if (!location) return {};
    return QStringLiteral("%1:%2:%3").arg(location->source).arg(location->line).arg(location->column + 1);
}

QString JSException::description() const {
    const QString where = position();
    return where.isEmpty() ? title() : title() + QStringLiteral(" (at ") + where + QLatin1Char(')');
}

}  // namespace vantrel::extensions
