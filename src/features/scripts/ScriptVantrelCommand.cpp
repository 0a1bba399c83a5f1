#include "features/scripts/ScriptVantrelCommand.h"

#include "core/commands/PackageRegistry.h"

namespace vantrel {

ScriptVantrelCommand::ScriptVantrelCommand(ScriptCommand command, const PackageRegistry* registry, Runner runner)
    : m_command(std::move(command)), m_registry(registry), m_runner(std::move(runner)) {}

std::shared_ptr<const VantrelPackage> ScriptVantrelCommand::package() const {
    return m_registry ? m_registry->package(packageId()) : nullptr;
}

PackageIdentifier ScriptVantrelCommand::packageId() const {
    return PackageIdentifier(QStringLiteral("scriptCommands"));
}

QStringList ScriptVantrelCommand::searchKeywords() const {
    return m_command.packageName.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

std::shared_ptr<const InputCommand> ScriptVantrelCommand::inputCommand(const QString&) const {
    if (m_command.arguments.empty()) return nullptr;
    return std::make_shared<ScriptVantrelCommand>(*this);
}

CommandOutcome ScriptVantrelCommand::run(const CommandRunContext& context) const {
    if (m_runner) return m_runner(m_command, context.arguments);
    return CommandOutcome::unavailable(
        QStringLiteral("\"%1\" is a script command: run it from the launcher window or with `vantrel run %2`")
            .arg(m_command.displayName, m_command.id));
}

std::vector<std::shared_ptr<const CommandParameter>> ScriptVantrelCommand::parameters() const {
    std::vector<std::shared_ptr<const CommandParameter>> list;
    for (const auto& argument : m_command.arguments) list.push_back(std::make_shared<ScriptCommandParameter>(argument));
    return list;
}

}  // namespace vantrel
