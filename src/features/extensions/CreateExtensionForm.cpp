#include "features/extensions/CreateExtensionForm.h"

#include "extensions/packages/ExtensionRegistry.h"
#include "kit/VantrelError.h"

#include <QDir>
#include <QFileInfo>

namespace vantrel::CreateExtensionForm {

QStringList templates() {
    return ExtensionRegistry::templateIdentifiers();
}

QString initialTemplate(const QStringList& list) {
    if (list.contains(QString(defaultTemplate))) return QString(defaultTemplate);
    return list.value(0);
}

QString expandedLocation(const QString& location) {
    const QString trimmed = location.trimmed();
    if (trimmed == QLatin1String("~")) return QDir::homePath();
    if (trimmed.startsWith(QLatin1String("~/"))) return QDir::homePath() + trimmed.mid(1);
    return trimmed;
}

std::optional<QString> nameError(const QString& name) {
    if (name.trimmed().isEmpty()) return QStringLiteral("Name cannot be empty.");
    return std::nullopt;
}

std::optional<QString> locationError(const QString& location) {
    if (location.trimmed().isEmpty()) return QStringLiteral("A folder location must be provided.");
    const QString path = expandedLocation(location);
    const QFileInfo info(path);
    if (!QDir::isAbsolutePath(path) || path.contains(QChar(u'\0')) || (info.exists() && !info.isDir()))
        return QStringLiteral("The given location is invalid.");
    return std::nullopt;
}

Result create(ExtensionRegistry& registry, const QString& templateId, const QString& name, const QString& description,
              const QString& location) {
    const QString failureTitle = QStringLiteral("Unable to create extension from template");
    if (const auto error = nameError(name)) return {false, failureTitle, *error, {}};
    if (const auto error = locationError(location)) return {false, failureTitle, *error, {}};
    try {
        const QString folder = registry.installTemplate(templateId, name.trimmed(), description, expandedLocation(location));
        return {true, QStringLiteral("Succesfully created extension '") + name.trimmed() + QLatin1Char('\''), folder, folder};
    } catch (const std::exception& error) {
        return {false, failureTitle, VantrelError::describe(error), {}};
    }
}

}  // namespace vantrel::CreateExtensionForm
