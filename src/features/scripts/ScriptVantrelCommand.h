#pragma once

#include "core/commands/CommandModel.h"
#include "features/scripts/ScriptCommand.h"

#include <functional>
#include <memory>
#include <vector>

namespace vantrel {

class PackageRegistry;

// One argument field of a script command.
class ScriptCommandParameter final : public CommandParameter {
public:
    explicit ScriptCommandParameter(ScriptCommand::Argument argument) : m_argument(std::move(argument)) {}
    QString placeholder() const override { return m_argument.placeholder; }
    bool percentEncoded() const override { return m_argument.percentEncoded.value_or(false); }
    bool isOptional() const override { return m_argument.optional.value_or(false); }

private:
    ScriptCommand::Argument m_argument;
};

namespace detail {
// The two interfaces name their id and icon alike with different types; each
// side answers its own from the script command.
class ScriptCommandAsVantrelCommand : public VantrelCommand {
public:
    CommandIdentifier id() const final { return CommandIdentifier(scriptCommand().id); }
    std::optional<IconSet> icon() const final { return scriptCommand().icon; }
    virtual const ScriptCommand& scriptCommand() const = 0;
};
class ScriptCommandAsInputCommand : public InputCommand {
public:
    QString id() const final { return scriptCommand().id; }
    IconSet icon() const final { return scriptCommand().icon; }
    virtual const ScriptCommand& scriptCommand() const = 0;
};
}  // namespace detail

// A script command as a command of root search (package "scriptCommands"),
// and as an input command whose parameters are the script's arguments. It
// runs through the runner it is given (the launcher's, which shows the
// outcome in its window); without one run() only says where to run it.
class ScriptVantrelCommand final : public detail::ScriptCommandAsVantrelCommand,
                                   public detail::ScriptCommandAsInputCommand {
public:
    // Runs the script with the given argument values.
    using Runner = std::function<CommandOutcome(const ScriptCommand& command, const QStringList& arguments)>;

    ScriptVantrelCommand(ScriptCommand command, const PackageRegistry* registry, Runner runner = {});

    const ScriptCommand& scriptCommand() const override { return m_command; }
    CommandIdentifier commandId() const { return CommandIdentifier(m_command.id); }

    // VantrelCommand
    std::shared_ptr<const VantrelPackage> package() const override;
    PackageIdentifier packageId() const override;
    QString displayName() const override { return m_command.displayName; }
    QString description() const override { return m_command.description.value_or(QString()); }
    QString primaryActionTitle() const override { return QStringLiteral("Run Script"); }
    bool isViewControllerRepresented() const override {
        return m_command.runMode == ScriptCommand::RunMode::fullOutput;
    }
    QStringList searchKeywords() const override;
    // Itself, for a script with arguments.
    std::shared_ptr<const InputCommand> inputCommand(const QString& searchText = {}) const override;
    CommandOutcome run(const CommandRunContext& context) const override;

    // InputCommand
    std::vector<std::shared_ptr<const CommandParameter>> parameters() const override;
    QString title() const override { return m_command.displayName; }

private:
    ScriptCommand m_command;
    const PackageRegistry* m_registry;
    Runner m_runner;
};

}  // namespace vantrel
