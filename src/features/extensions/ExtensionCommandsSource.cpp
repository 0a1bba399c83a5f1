#include "features/extensions/ExtensionCommandsSource.h"

#include "core/commands/VantrelCommandsSource.h"
#include "extensions/packages/ExtensionRegistry.h"
#include "kit/Logger.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"

#include <QFileInfo>
#include <QUrl>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Extensions"), QStringLiteral("🧩")});
    return logger;
}

// One installed extension as a package of commands (its title is the
// commands' subtitle in root search).
class ExtensionVantrelPackage final : public VantrelPackage {
public:
    explicit ExtensionVantrelPackage(Extension extension) : m_extension(std::move(extension)) {}
    // Held weakly: each command holds its package.
    void setCommands(const CommandList& commands) {
        m_commands.assign(commands.begin(), commands.end());
    }

    PackageIdentifier id() const override { return PackageIdentifier(QString(ExtensionCommandsSource::packageId)); }
    QString displayName() const override { return m_extension.title; }
    QString description() const override { return {}; }
    std::optional<IconSet> icon() const override {
        return ExtensionVantrelCommand::iconFor(
            ExtensionPackage::folderFor(m_extension.packageId()) + QStringLiteral("/assets/") + m_extension.icon);
    }
    CommandList commands() const override {
        CommandList list;
        for (const auto& weak : m_commands)
            if (auto command = weak.lock()) list.push_back(std::move(command));
        return list;
    }
    bool isEnabledByDefault() const override { return true; }
    bool isExternal() const override { return true; }
    bool isHiddenInPreferences() const override { return true; }
    QuickActionIdentifier::Category analyticsCategory() const override {
        return QuickActionIdentifier::Category::thirdParty;
    }

private:
    Extension m_extension;
    std::vector<std::weak_ptr<const VantrelCommand>> m_commands;
};

}  // namespace

ExtensionVantrelCommand::ExtensionVantrelCommand(ExtensionCommand command, std::shared_ptr<const VantrelPackage> package,
                                                 Runner runner)
    : m_command(std::move(command)), m_package(std::move(package)), m_runner(std::move(runner)) {}

PackageIdentifier ExtensionVantrelCommand::packageId() const {
    return PackageIdentifier(QString(ExtensionCommandsSource::packageId));
}

IconSet ExtensionVantrelCommand::iconFor(const QString& path) {
    if (!path.isEmpty() && QFileInfo(path).isFile())
        return IconSet{ImageResource::url(QUrl::fromLocalFile(path)), std::nullopt};
    return IconSet{ImageResource::named(QStringLiteral("extension")), std::nullopt};
}

std::optional<IconSet> ExtensionVantrelCommand::icon() const {
    return iconFor(m_command.iconPath());
}

QStringList ExtensionVantrelCommand::searchKeywords() const {
    QStringList words{m_command.extension.title};
    if (m_command.keywords) words += m_command.keywords->split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return words;
}

CommandOutcome ExtensionVantrelCommand::run(const CommandRunContext& context) const {
    if (!m_runner) return CommandOutcome::unavailable(QStringLiteral("Extension commands cannot run here"));
    return m_runner(m_command, context);
}

ExtensionCommandsSource::ExtensionCommandsSource(ExtensionRegistry& registry, VantrelDynamicCommandsSource* target,
                                                 NotificationCenter& center, ExtensionVantrelCommand::Runner runner)
    : m_registry(registry),
      m_target(target),
      m_center(center),
      m_runner(std::move(runner)),
      m_subscriptions(std::make_unique<QObject>()) {
    m_center.addObserver(QString(NotificationNames::didUpdateExtensionCommands), m_subscriptions.get(),
                         [this](const Notification&) { reload(); });
}

ExtensionCommandsSource::~ExtensionCommandsSource() = default;

void ExtensionCommandsSource::reload() {
    load(true);
}

void ExtensionCommandsSource::loadInitial() {
    load(false);
}

void ExtensionCommandsSource::load(bool announceEmpty) {
    std::map<QString, std::shared_ptr<ExtensionVantrelPackage>> packages;
    std::map<QString, std::shared_ptr<const ExtensionVantrelCommand>> made;
    std::map<QString, CommandList> byPackage;
    std::vector<std::shared_ptr<const VantrelPackageCommand>> listed;
    for (const ExtensionCommand& command : m_registry.commands()) {
        const QString packageKey = command.extension.packageId().rawValue();
        auto& package = packages[packageKey];
        if (!package) package = std::make_shared<ExtensionVantrelPackage>(command.extension);
        auto made_command = std::make_shared<const ExtensionVantrelCommand>(command, package, m_runner);
        made[command.packageCommandKey()] = made_command;
        byPackage[packageKey].push_back(made_command);

        // What the search records are made of.
        auto entry = std::make_shared<VantrelPackageCommand>();
        entry->packageValue = package;
        entry->commandId = made_command->id();
        entry->commandPackageId = made_command->packageId();
        entry->name = made_command->displayName();
        entry->commandDescription = command.description;
        entry->viewControllerRepresented = made_command->isViewControllerRepresented();
        entry->keywords = made_command->searchKeywords();
        std::weak_ptr<const ExtensionVantrelCommand> weak = made_command;
        entry->runner = [weak](const CommandRunContext& context) {
            if (const auto alive = weak.lock()) return alive->run(context);
            return CommandOutcome::unavailable(QStringLiteral("The extension command was removed"));
        };
        listed.push_back(std::move(entry));
    }
    for (auto& [key, package] : packages) package->setCommands(byPackage[key]);
    if (!announceEmpty && made.empty()) return;
    {
        std::lock_guard lock(m_mutex);
        m_commands = std::move(made);
    }
    log().debug("Extension commands", {{QStringLiteral("count"), QString::number(listed.size())}});
    if (m_target) m_target->setCommands(std::move(listed));
    m_center.post(QString(changedNotice));
}

std::shared_ptr<const ExtensionVantrelCommand> ExtensionCommandsSource::command(const QString& key) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_commands.find(key);
    return found == m_commands.end() ? nullptr : found->second;
}

std::vector<std::shared_ptr<const ExtensionVantrelCommand>> ExtensionCommandsSource::commands() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::shared_ptr<const ExtensionVantrelCommand>> list;
    for (const auto& [key, command] : m_commands) list.push_back(command);
    return list;
}

}  // namespace vantrel
