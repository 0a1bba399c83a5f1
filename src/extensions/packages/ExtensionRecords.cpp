#include "extensions/packages/ExtensionRecords.h"

#include "extensions/packages/ExtensionPackage.h"

#include <QFileInfo>
#include <QJsonArray>

namespace vantrel {

QString ExtensionCommand::displayTitle() const {
    return extension.isDevelopment() ? title + developmentSuffix : title;
}

QString ExtensionCommand::iconPath() const {
    const QString file = icon && !icon->isEmpty() ? *icon : extension.icon;
    if (file.isEmpty()) return {};
    return ExtensionPackage::folderFor(extension.packageId()) + QStringLiteral("/assets/") + file;
}

std::optional<ExtensionId> ExtensionCommand::commandIdFromKey(const QString& key) {
    if (!key.startsWith(keyPrefix)) return std::nullopt;
    return ExtensionId::parse(key.mid(keyPrefix.size()));
}

QJsonObject ExtensionDetails::toJson() const {
    QJsonObject object;
    object.insert(QStringLiteral("id"), extension.packageId().rawValue());
    object.insert(QStringLiteral("name"), extension.name);
    object.insert(QStringLiteral("title"), extension.title);
    object.insert(QStringLiteral("development"), extension.isDevelopment());
    object.insert(QStringLiteral("folder"), ExtensionPackage::folderFor(extension.packageId()));
    if (extension.version) object.insert(QStringLiteral("version"), extension.version->toString(Qt::ISODate));
    QJsonArray list;
    for (const ExtensionCommandDetails& details : commands) {
        const ExtensionCommand& command = details.command;
        QJsonObject entry;
        entry.insert(QStringLiteral("id"), command.commandId().rawValue());
        entry.insert(QStringLiteral("key"), command.packageCommandKey());
        entry.insert(QStringLiteral("name"), command.name);
        entry.insert(QStringLiteral("title"), command.displayTitle());
        entry.insert(QStringLiteral("description"), command.description);
        entry.insert(QStringLiteral("mode"), command.mode);
        list.append(entry);
    }
    object.insert(QStringLiteral("commands"), list);
    return object;
}

}  // namespace vantrel
