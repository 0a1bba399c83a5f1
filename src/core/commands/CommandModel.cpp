#include "core/commands/CommandModel.h"

#include "core/commands/BuiltinCommandRunner.h"
#include "core/commands/LinkDetector.h"
#include "core/commands/PackageRegistry.h"

namespace vantrel {

QString rawValue(VantrelCommandVisibility visibility) {
    switch (visibility) {
        case VantrelCommandVisibility::public_:
            return QStringLiteral("public");
        case VantrelCommandVisibility::internal:
            return QStringLiteral("internal");
        case VantrelCommandVisibility::debug:
            return QStringLiteral("debug");
    }
    return {};
}

QString rawValue(FallbackSearchType type) {
    switch (type) {
        case FallbackSearchType::command:
            return QStringLiteral("command");
        case FallbackSearchType::application:
            return QStringLiteral("application");
        case FallbackSearchType::browser:
            return QStringLiteral("browser");
    }
    return {};
}

QString rawValue(QuickActionIdentifier::Category category) {
    switch (category) {
        case QuickActionIdentifier::Category::basic:
            return QStringLiteral("basic");
        case QuickActionIdentifier::Category::utility:
            return QStringLiteral("utility");
        case QuickActionIdentifier::Category::devTools:
            return QStringLiteral("devTools");
        case QuickActionIdentifier::Category::thirdParty:
            return QStringLiteral("thirdParty");
        case QuickActionIdentifier::Category::misc:
            return QStringLiteral("misc");
    }
    return {};
}

QString CommandRunContext::inputText() const {
    for (const QString& argument : arguments)
        if (!argument.trimmed().isEmpty()) return argument.trimmed();
    return searchText.trimmed();
}

CommandOutcome CommandOutcome::done(QString hudText, std::optional<QString> resultText) {
    CommandOutcome outcome;
    outcome.kind = Kind::done;
    outcome.hudText = std::move(hudText);
    outcome.resultText = std::move(resultText);
    return outcome;
}

CommandOutcome CommandOutcome::failed(QString title, QString message) {
    CommandOutcome outcome;
    outcome.kind = Kind::failed;
    outcome.title = std::move(title);
    outcome.message = std::move(message);
    return outcome;
}

CommandOutcome CommandOutcome::handled() {
    CommandOutcome outcome;
    outcome.kind = Kind::handled;
    return outcome;
}

CommandOutcome CommandOutcome::unavailable(QString message) {
    CommandOutcome outcome;
    outcome.kind = Kind::unavailable;
    outcome.title = QStringLiteral("Not available");
    outcome.message = std::move(message);
    return outcome;
}

CommandOutcome CommandOutcome::copied(QString text, QString toastTitle) {
    CommandOutcome outcome;
    outcome.resultText = std::move(text);
    outcome.toastTitle = std::move(toastTitle);
    return outcome;
}

CommandOutcome CommandOutcome::showView(QString commandId, QString initialQuery, QStringList arguments) {
    CommandOutcome outcome;
    outcome.kind = Kind::showView;
    outcome.commandId = std::move(commandId);
    outcome.initialQuery = std::move(initialQuery);
    outcome.arguments = std::move(arguments);
    return outcome;
}

CommandOutcome CommandOutcome::showPreferences(QString commandId) {
    CommandOutcome outcome;
    outcome.kind = Kind::showPreferences;
    outcome.commandId = std::move(commandId);
    return outcome;
}

CommandOutcome CommandOutcome::showArguments(QString commandId, QStringList arguments) {
    CommandOutcome outcome;
    outcome.kind = Kind::showArguments;
    outcome.commandId = std::move(commandId);
    outcome.arguments = std::move(arguments);
    return outcome;
}

MenuItem MenuItem::make(QString id, QString title, Run run, ActionType type) {
    MenuItem item;
    item.id = std::move(id);
    item.title = std::move(title);
    item.action = std::move(run);
    item.actionType = type;
    return item;
}

CommandOutcome MenuItem::perform() const {
    const Run* run = std::get_if<Run>(&action);
    if (!run || !*run) return CommandOutcome::done();
    // Copies: the action may free this item (a reload of the list) and, but
    // for keepAlive, the provider its function refers to.
    const std::shared_ptr<const void> owner = keepAlive;
    const Run running = *run;
    return running();
}

void MenuItem::keepAliveWhileRunning(const std::shared_ptr<const void>& owner) {
    keepAlive = owner;
    if (auto* items = std::get_if<std::vector<MenuItem>>(&action))
        for (MenuItem& item : *items) item.keepAliveWhileRunning(owner);
}

std::shared_ptr<const VantrelCommand> VantrelPackage::defaultCommand() const {
    const CommandList list = commands();
    if (list.empty()) return nullptr;
    return list.front();
}

PreferencesProvider VantrelPackage::packagePreferencesProvider() const {
    return PreferencesProvider{PreferencesProvider::Context::packagePreference, id(), std::nullopt, false};
}

PreferencesProvider VantrelPackage::commandPreferencesProvider(const CommandIdentifier& command, bool) const {
    return PreferencesProvider{PreferencesProvider::Context::commandPreference, id(), command, false};
}

QString VantrelPackage::configurationId() const {
    return PackageRegistry::configurationId(id());
}

CommandOutcome VantrelPackageCommand::run(const CommandRunContext& context) const {
    if (runner) return runner(context);
    return CommandOutcome::unavailable(
        QStringLiteral("Extension commands cannot run yet: the extension runtime is "
                       "not part of this build."));
}

BuiltinCommand::BuiltinCommand(Definition definition, const PackageRegistry* registry)
    : m_definition(std::move(definition)), m_registry(registry) {}

std::shared_ptr<const VantrelPackage> BuiltinCommand::package() const {
    if (!m_registry) return nullptr;
    return m_registry->package(packageId(), true);
}

namespace {

class BuiltinParameter final : public CommandParameter {
public:
    BuiltinParameter(QString placeholder, bool optional)
        : m_placeholder(std::move(placeholder)), m_optional(optional) {}
    QString placeholder() const override { return m_placeholder; }
    bool isOptional() const override { return m_optional; }

private:
    QString m_placeholder;
    bool m_optional;
};

class BuiltinInputCommand final : public InputCommand {
public:
    BuiltinInputCommand(const BuiltinCommand::Definition& definition, bool optional)
        : m_id(definition.id),
          m_title(definition.displayName),
          m_icon(definition.icon.value_or(IconSet{ImageResource::named(QStringLiteral("command-16")), std::nullopt})),
          m_parameter(std::make_shared<BuiltinParameter>(definition.argumentPlaceholder, optional)) {}
    QString id() const override { return m_id; }
    std::vector<std::shared_ptr<const CommandParameter>> parameters() const override { return {m_parameter}; }
    QString title() const override { return m_title; }
    IconSet icon() const override { return m_icon; }

private:
    QString m_id;
    QString m_title;
    IconSet m_icon;
    std::shared_ptr<const CommandParameter> m_parameter;
};

}  // namespace

std::optional<int> firstMissingArgument(const std::vector<std::shared_ptr<const CommandParameter>>& parameters,
                                        const QStringList& values) {
    for (std::size_t index = 0; index < parameters.size(); ++index) {
        const auto& parameter = parameters[index];
        if (!parameter || parameter->isOptional()) continue;
        const auto position = static_cast<qsizetype>(index);
        if (position >= values.size() || values[position].isEmpty()) return static_cast<int>(index);
    }
    return std::nullopt;
}

std::shared_ptr<const InputCommand> BuiltinCommand::inputCommand(const QString& searchText) const {
    if (m_definition.argumentPlaceholder.isEmpty()) return nullptr;
    const bool defaultsToText = m_definition.isURLCommand && LinkDetector::containsLink(searchText);
    return std::make_shared<BuiltinInputCommand>(m_definition, defaultsToText);
}

CommandOutcome BuiltinCommand::run(const CommandRunContext& context) const {
    return runBuiltinCommand(*this, context, m_registry);
}

BuiltinFallbackSearchCommand::BuiltinFallbackSearchCommand(Definition definition, const PackageRegistry* registry)
    : m_definition(std::move(definition)), m_registry(registry) {}

std::optional<CommandIdentifier> BuiltinFallbackSearchCommand::commandId() const {
    if (!m_definition.commandId) return std::nullopt;
    return CommandIdentifier(*m_definition.commandId);
}

std::optional<QString> BuiltinFallbackSearchCommand::iconTintColorName() const {
    if (!m_registry) return std::nullopt;
    const auto owner = m_registry->package(packageId(), true);
    return owner ? owner->iconTintColorName() : std::nullopt;
}

CommandOutcome BuiltinFallbackSearchCommand::run(const QString& searchText, const CommandRunContext& context) const {
    const auto wrapped = commandId();
    if (!wrapped) return CommandOutcome::done();
    const auto command = m_registry ? m_registry->command(*wrapped, true) : nullptr;
    if (!command) return CommandOutcome::failed(QStringLiteral("Cannot run fallback search"), wrapped->rawValue);
    CommandRunContext withQuery = context;
    withQuery.searchText = searchText;
    CommandOutcome outcome = command->run(withQuery);
    if (outcome.kind == CommandOutcome::Kind::showView) outcome.initialQuery = searchText;
    return outcome;
}

BuiltinPackage::BuiltinPackage(Definition definition, CommandList commands, FallbackList fallbacks)
    : m_definition(std::move(definition)), m_commands(std::move(commands)), m_fallbacks(std::move(fallbacks)) {}

PreferencesProvider BuiltinPackage::commandPreferencesProvider(const CommandIdentifier& command,
                                                               bool isEmbedded) const {
    PreferencesProvider provider = VantrelPackage::commandPreferencesProvider(command, isEmbedded);
    provider.isPackageSpecific = m_definition.hasOwnCommandPreferences;
    return provider;
}

}  // namespace vantrel
