#include "extensions/packages/ExtensionId.h"

#include "extensions/packages/PackagesLog.h"

namespace vantrel {

std::optional<ExtensionId> ExtensionId::parse(const QString& raw) {
    const QStringList parts = raw.split(separator);
    if (parts.size() != 2) {
        packagesLog().error(Logger::Message(QStringLiteral("Invalid package command id: ") + raw));
        return std::nullopt;
    }
    return ExtensionId(parts[0], parts[1]);
}

ExtensionId ExtensionId::command(const ExtensionId& package, const QString& commandName) {
    return ExtensionId(package.name + QLatin1Char('.') + commandName, package.id);
}

QString ExtensionId::fileBaseName() const {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.mid(dot + 1);
}

ExtensionId ExtensionId::packageId() const {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? *this : ExtensionId(name.left(dot), id);
}

std::optional<ExtensionId> ExtensionId::fromJson(const QJsonValue& value) {
    if (!value.isString()) return std::nullopt;
    return parse(value.toString());
}

}  // namespace vantrel
