#include "extensions/packages/RepositoryExtensionsStorage.h"

#include "data/SearchRecord.h"
#include "kit/VantrelError.h"

namespace vantrel {

namespace {

std::optional<std::vector<ExtensionPreference>> preferencesFrom(const std::optional<QString>& text) {
    if (!text || text->isEmpty()) return std::nullopt;
    return ExtensionPreference::fromJSON(text->toUtf8());
}

std::optional<QString> preferencesText(const std::optional<std::vector<ExtensionPreference>>& preferences) {
    if (!preferences) return std::nullopt;
    return ExtensionPreference::jsonString(*preferences);
}

}  // namespace

RepositoryExtensionsStorage::RepositoryExtensionsStorage(std::shared_ptr<ExtensionsRepository> repository)
    : m_repository(std::move(repository)) {}

ExtensionDetails RepositoryExtensionsStorage::details(const ExtensionInfo& info) {
    ExtensionDetails details;
    const ExtensionRecord& record = info.extension;
    details.extension = Extension{record.uuid, record.name, record.title, record.icon, record.version};
    details.preferences = preferencesFrom(record.preferences);
    for (const CommandRecord& row : info.commands) {
        if (!row.installed) continue;
        ExtensionCommandDetails command;
        command.command = ExtensionCommand{details.extension, row.uuid,     row.name,     row.title,
                                           row.description,   row.icon,     row.keywords, row.mode};
        command.preferences = preferencesFrom(row.preferences);
        details.commands.push_back(std::move(command));
    }
    return details;
}

std::optional<ExtensionInfo> RepositoryExtensionsStorage::find(const ExtensionId& packageId) const {
    if (!packageId.isDevelopment()) return m_repository->extension(ExtensionRequest{packageId.name, packageId.id});
    for (ExtensionInfo& info : m_repository->extensions())
        if (info.extension.name == packageId.name && info.extension.uuid.value_or(QString(ExtensionId::developmentId)) ==
                                                         QString(ExtensionId::developmentId))
            return std::move(info);
    return std::nullopt;
}

std::vector<ExtensionDetails> RepositoryExtensionsStorage::extensions() {
    std::vector<ExtensionDetails> list;
    for (const ExtensionInfo& info : m_repository->extensions()) list.push_back(details(info));
    return list;
}

std::optional<ExtensionDetails> RepositoryExtensionsStorage::extension(const ExtensionId& packageId) {
    const std::optional<ExtensionInfo> info = find(packageId);
    if (!info) return std::nullopt;
    return details(*info);
}

std::vector<ExtensionCommand> RepositoryExtensionsStorage::commands(int limit) {
    std::vector<ExtensionCommand> list;
    for (const ExtensionInfo& info : m_repository->extensions()) {
        for (ExtensionCommandDetails& command : details(info).commands) {
            if (int(list.size()) >= limit) return list;
            list.push_back(std::move(command.command));
        }
    }
    return list;
}

void RepositoryExtensionsStorage::saveInstallation(const ExtensionManifest& manifest,
                                                   const ExtensionInstallation& installation) {
    const ExtensionId packageId(manifest.name, installation.uuid);
    const std::optional<ExtensionInfo> existing = find(packageId);
    const QDateTime now = QDateTime::currentDateTimeUtc();

    ExtensionRecord extension;
    if (existing) extension.id = existing->extension.id;
    extension.uuid = installation.uuid;
    extension.name = manifest.name;
    extension.title = manifest.title;
    extension.description = manifest.description;
    extension.icon = manifest.icon;
    if (manifest.keywords) extension.keywords = SearchRecord::joinKeywords(*manifest.keywords);
    extension.license = manifest.license;
    if (!installation.username.isEmpty()) extension.username = installation.username;
    // Values the user already gave survive a reinstall.
    std::optional<std::vector<ExtensionPreference>> preferences = manifest.preferences;
    const auto keepValues = [](std::optional<std::vector<ExtensionPreference>>& declared,
                               const std::optional<QString>& storedText) {
        const auto stored = preferencesFrom(storedText);
        if (!declared || !stored) return;
        for (ExtensionPreference& preference : *declared)
            for (const ExtensionPreference& old : *stored)
                if (old.name == preference.name && old.value) preference.value = old.value;
    };
    if (existing) keepValues(preferences, existing->extension.preferences);
    extension.preferences = preferencesText(preferences);
    if (installation.version.isValid()) extension.version = installation.version;
    extension.updatedAt = now;

    std::vector<CommandRecord> commands;
    for (const ExtensionManifest::Command& command : manifest.commands) {
        CommandRecord row;
        row.name = command.name;
        row.title = command.title;
        row.description = command.description;
        row.icon = command.icon;
        if (command.keywords) row.keywords = SearchRecord::joinKeywords(*command.keywords);
        row.mode = command.mode;
        row.installed = installation.commands.empty();
        for (const ExtensionInstallation::Command& chosen : installation.commands) {
            if (chosen.name != command.name) continue;
            row.uuid = chosen.uuid;
            row.installed = true;
        }
        std::optional<std::vector<ExtensionPreference>> commandPreferences = command.preferences;
        if (existing)
            for (const CommandRecord& old : existing->commands)
                if (old.name == command.name) keepValues(commandPreferences, old.preferences);
        row.preferences = preferencesText(commandPreferences);
        row.updatedAt = now;
        commands.push_back(std::move(row));
    }
    m_repository->saveExtension(extension, commands);
}

bool RepositoryExtensionsStorage::deleteExtension(const ExtensionId& packageId) {
    const std::optional<ExtensionInfo> existing = find(packageId);
    if (!existing || !existing->extension.id) return false;
    return m_repository->deleteExtension(*existing->extension.id);
}

void RepositoryExtensionsStorage::uninstallCommand(const ExtensionId& commandId) {
    const std::optional<ExtensionInfo> existing = find(commandId.packageId());
    if (!existing) throw VantrelError(QStringLiteral("No extension for command: ") + commandId.rawValue());
    std::vector<CommandRecord> commands = existing->commands;
    bool found = false;
    bool anyLeft = false;
    for (CommandRecord& command : commands) {
        if (command.name == commandId.fileBaseName()) {
            found = command.installed;
            command.installed = false;
        }
        anyLeft = anyLeft || command.installed;
    }
    if (!found) throw VantrelError(QStringLiteral("No installed command: ") + commandId.rawValue());
    if (!anyLeft) {
        m_repository->deleteExtension(*existing->extension.id);
        return;
    }
    m_repository->saveExtension(existing->extension, commands);
}

void RepositoryExtensionsStorage::storePreferences(const ExtensionId& packageId, const QString& commandName,
                                                   const std::vector<ExtensionPreference>& preferences) {
    std::optional<ExtensionInfo> existing = find(packageId);
    if (!existing) throw VantrelError(QStringLiteral("No extension: ") + packageId.rawValue());
    const std::optional<QString> text = ExtensionPreference::jsonString(preferences);
    if (!text) throw VantrelError(QStringLiteral("Invalid extension preferences JSON string"));
    if (commandName.isEmpty()) {
        existing->extension.preferences = text;
    } else {
        bool found = false;
        for (CommandRecord& command : existing->commands)
            if (command.name == commandName) {
                command.preferences = text;
                found = true;
            }
        if (!found) throw VantrelError(QStringLiteral("No command: ") + commandName);
    }
    m_repository->saveExtension(existing->extension, existing->commands);
}

}  // namespace vantrel
