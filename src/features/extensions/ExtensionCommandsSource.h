#pragma once

#include "core/commands/CommandModel.h"
#include "extensions/packages/ExtensionRecords.h"

#include <QLatin1String>
#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace vantrel {

class ExtensionRegistry;
class NotificationCenter;
class VantrelDynamicCommandsSource;

// An installed extension command as a launcher command: its id is the package
// command key ("extension_" + raw command id), its title carries " [DEV]" for
// a development extension, its icon is the file its manifest names in the
// package's "assets" folder, and running it goes to runExtensionCommand.
class ExtensionVantrelCommand final : public VantrelCommand {
public:
    using Runner = std::function<CommandOutcome(const ExtensionCommand&, const CommandRunContext&)>;
    ExtensionVantrelCommand(ExtensionCommand command, std::shared_ptr<const VantrelPackage> package, Runner runner);

    const ExtensionCommand& extensionCommand() const { return m_command; }

    std::shared_ptr<const VantrelPackage> package() const override { return m_package; }
    CommandIdentifier id() const override { return CommandIdentifier(m_command.packageCommandKey()); }
    PackageIdentifier packageId() const override;
    QString displayName() const override { return m_command.displayTitle(); }
    QString description() const override { return m_command.description; }
    bool isViewControllerRepresented() const override { return m_command.mode == QLatin1String("view"); }
    std::optional<IconSet> icon() const override;
    QStringList searchKeywords() const override;
    CommandOutcome run(const CommandRunContext& context) const override;

    // The image of an extension icon file (an extension's own "extension" icon
    // when the file is missing).
    static IconSet iconFor(const QString& path);

private:
    ExtensionCommand m_command;
    std::shared_ptr<const VantrelPackage> m_package;
    Runner m_runner;
};

// The extension commands in root search. Reads the registry's commands and
// hands them to root search's dynamic commands source (records of the source
// `extensionCommands`, subtitle: the extension's title); reloads on
// "didUpdateExtensionCommands" and then posts "extensionCommandsSourceChanged".
class ExtensionCommandsSource {
public:
    static constexpr QLatin1String changedNotice{"extensionCommandsSourceChanged"};
    // The package the commands belong to for enabling and disabling them.
    static constexpr QLatin1String packageId{"packageCommands"};

    ExtensionCommandsSource(ExtensionRegistry& registry, VantrelDynamicCommandsSource* target,
                            NotificationCenter& center, ExtensionVantrelCommand::Runner runner);
    ~ExtensionCommandsSource();

    // Reads the commands again and publishes them.
    void reload();
    // The first read, before root search loads its sources: without any
    // installed command there is nothing to publish and nothing is posted.
    void loadInitial();
    // The command of a package command key, or null.
    std::shared_ptr<const ExtensionVantrelCommand> command(const QString& key) const;
    std::vector<std::shared_ptr<const ExtensionVantrelCommand>> commands() const;

private:
    void load(bool announceEmpty);

    ExtensionRegistry& m_registry;
    VantrelDynamicCommandsSource* m_target;
    NotificationCenter& m_center;
    ExtensionVantrelCommand::Runner m_runner;
    std::unique_ptr<QObject> m_subscriptions;
    mutable std::mutex m_mutex;
    std::map<QString, std::shared_ptr<const ExtensionVantrelCommand>> m_commands;
};

}  // namespace vantrel
