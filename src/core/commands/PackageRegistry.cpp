#include "core/commands/PackageRegistry.h"

#include "core/commands/BuiltinPackages.h"
#include "kit/Logger.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "kit/VantrelError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>

#include <cmath>
#include <limits>
#include <mutex>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Packages"), QStringLiteral("📦")});
    return logger;
}

// The JSON value of a payload value; nothing for a value JSON cannot hold.
std::optional<QJsonValue> jsonValue(const QVariant& value) {
    switch (value.metaType().id()) {
        case QMetaType::UnknownType:
        case QMetaType::Nullptr:
            return QJsonValue(QJsonValue::Null);
        case QMetaType::Bool:
            return QJsonValue(value.toBool());
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Long:
        case QMetaType::LongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
            return QJsonValue(value.toLongLong());
        case QMetaType::ULong:
        case QMetaType::ULongLong:
            if (value.toULongLong() > static_cast<qulonglong>(std::numeric_limits<qint64>::max())) return std::nullopt;
            return QJsonValue(value.toLongLong());
        case QMetaType::Double:
        case QMetaType::Float: {
            const double number = value.toDouble();
            if (!std::isfinite(number)) return std::nullopt;
            return QJsonValue(number);
        }
        case QMetaType::QString:
            return QJsonValue(value.toString());
        case QMetaType::QStringList:
            return QJsonValue(QJsonArray::fromStringList(value.toStringList()));
        case QMetaType::QVariantList: {
            QJsonArray array;
            for (const QVariant& item : value.toList()) {
                auto converted = jsonValue(item);
                if (!converted) return std::nullopt;
                array.append(*converted);
            }
            return QJsonValue(array);
        }
        case QMetaType::QVariantMap: {
            QJsonObject object;
            const QVariantMap map = value.toMap();
            for (auto it = map.cbegin(); it != map.cend(); ++it) {
                auto converted = jsonValue(it.value());
                if (!converted) return std::nullopt;
                object.insert(it.key(), *converted);
            }
            return QJsonValue(object);
        }
        case QMetaType::QJsonValue:
            return value.toJsonValue();
        case QMetaType::QJsonObject:
            return QJsonValue(value.toJsonObject());
        case QMetaType::QJsonArray:
            return QJsonValue(value.toJsonArray());
        default:
            return std::nullopt;
    }
}

void reportTransformFailure(const QString& key, const char* type) {
    log().error(QStringLiteral("Cannot transform pakage configuration value at '") + key +
                QStringLiteral("' to targeted type '") + QString::fromUtf8(type) + QStringLiteral("'"));
}

}  // namespace

PackageRegistry::PackageRegistry(std::shared_ptr<PackageConfigurationRepository> configurations, bool developmentFlag,
                                 NotificationCenter* center)
    : m_configurations(std::move(configurations)),
      m_developmentFlag(developmentFlag),
      m_center(center ? center : &NotificationCenter::defaultCenter()),
      m_subscriptions(std::make_unique<QObject>()) {
    registerPackages();
    m_center->addObserver(QString(NotificationNames::packageConfigurationDidChange), m_subscriptions.get(),
                          [this](const Notification& notification) {
                              packageConfigurationDidChange(PackageIdentifier(notification.object.toString()));
                          });
    log().debug("Package registry created", {{QStringLiteral("packages"), QString::number(m_order.size())}});
}

PackageRegistry::~PackageRegistry() {
    m_subscriptions.reset();
    log().debug("Package registry released");
}

bool PackageRegistry::developmentFlagFromEnvironment() {
    return qgetenv("VANTREL_DEVELOPMENT") == "1";
}

// Never destroyed: commands handed out by it may be used until the process ends.
PackageRegistry& PackageRegistry::shared() {
    static PackageRegistry* registry =
        new PackageRegistry(std::make_shared<PackageConfigurationRepository>(), developmentFlagFromEnvironment());
    return *registry;
}

void PackageRegistry::registerPackages() {
    std::unique_lock lock(m_mutex);
    for (auto& package : makeBuiltinPackages(this, m_developmentFlag)) addPackageLocked(std::move(package));
    auto withURL = makeCreateQuicklinkWithURLCommand(this);
    _commands.insert(withURL->id(), withURL);
    const auto order = m_order;
    lock.unlock();
    for (const auto& package : order) reloadDisabledCommands(package->id());
}

void PackageRegistry::addPackageLocked(std::shared_ptr<const VantrelPackage> package) {
    ++m_changes;
    for (const auto& command : package->commands()) _commands.insert(command->id(), command);
    for (const auto& fallback : package->fallbackSearchCommands())
        _fallbackSearchCommands.insert(fallback->id(), fallback);
    _packages.insert(package->id(), package);
    m_order.push_back(std::move(package));
}

void PackageRegistry::replacePackageLocked(std::shared_ptr<const VantrelPackage> package) {
    ++m_changes;
    const auto old = _packages.value(package->id());
    if (old) {
        for (const auto& command : old->commands()) _commands.remove(command->id());
        for (const auto& fallback : old->fallbackSearchCommands()) _fallbackSearchCommands.remove(fallback->id());
    }
    for (const auto& command : package->commands()) _commands.insert(command->id(), command);
    for (const auto& fallback : package->fallbackSearchCommands())
        _fallbackSearchCommands.insert(fallback->id(), fallback);
    for (auto& entry : m_order)
        if (entry->id() == package->id()) entry = package;
    _packages.insert(package->id(), std::move(package));
}

// MARK: Lookups

std::shared_ptr<const VantrelPackage> PackageRegistry::package(const PackageIdentifier& id,
                                                               bool reportIfMissing) const {
    {
        std::shared_lock lock(m_mutex);
        if (auto found = _packages.value(id)) return found;
    }
    if (reportIfMissing)
        log().error(QStringLiteral("Package not found: ") + id.rawValue,
                    {{QStringLiteral("operation"), QStringLiteral("package(id:reportIfMissing:)")}});
    return nullptr;
}

std::shared_ptr<const VantrelCommand> PackageRegistry::command(const CommandIdentifier& id,
                                                               bool reportIfMissing) const {
    std::vector<CommandResolver> resolvers;
    {
        std::shared_lock lock(m_mutex);
        if (auto found = _commands.value(id)) return found;
        for (const auto& [token, resolver] : m_commandResolvers) resolvers.push_back(resolver);
    }
    // Outside the lock: a resolver may read the registry.
    for (const auto& resolver : resolvers)
        if (auto found = resolver(id)) return found;
    if (reportIfMissing)
        log().error(QStringLiteral("Command not found: ") + id.rawValue,
                    {{QStringLiteral("operation"), QStringLiteral("command(id:reportIfMissing:)")}});
    return nullptr;
}

quint64 PackageRegistry::addCommandResolver(CommandResolver resolver) {
    std::unique_lock lock(m_mutex);
    const quint64 token = m_nextResolverToken++;
    m_commandResolvers.emplace_back(token, std::move(resolver));
    ++m_changes;
    return token;
}

void PackageRegistry::setCommandHandler(const QString& commandId, CommandHandler handler) {
    m_commandHandlers[commandId] = std::move(handler);
    ++m_changes;
}

void PackageRegistry::removeCommandHandler(const QString& commandId) {
    if (m_commandHandlers.erase(commandId)) ++m_changes;
}

const PackageRegistry::CommandHandler* PackageRegistry::commandHandler(const QString& commandId) const {
    const auto found = m_commandHandlers.find(commandId);
    return found == m_commandHandlers.end() || !found->second ? nullptr : &found->second;
}

CommandAvailability PackageRegistry::availability(const QString& commandId) const {
    if (commandHandler(commandId)) return CommandAvailability::available;
    return builtinCommandAvailability(commandId);
}

void PackageRegistry::removeCommandResolver(quint64 token) {
    std::unique_lock lock(m_mutex);
    if (std::erase_if(m_commandResolvers, [token](const auto& entry) { return entry.first == token; })) ++m_changes;
}

bool PackageRegistry::listsCommand(const CommandIdentifier& id) const {
    std::shared_lock lock(m_mutex);
    return _commands.contains(id);
}

std::shared_ptr<const FallbackSearchCommand> PackageRegistry::fallbackSearchCommand(const QString& id) const {
    std::shared_lock lock(m_mutex);
    return _fallbackSearchCommands.value(id);
}

std::vector<std::shared_ptr<const VantrelPackage>> PackageRegistry::packages() const {
    std::shared_lock lock(m_mutex);
    return m_order;
}

CommandList PackageRegistry::commands() const {
    CommandList list;
    for (const auto& package : packages()) {
        const CommandList own = package->commands();
        list.insert(list.end(), own.begin(), own.end());
    }
    return list;
}

FallbackList PackageRegistry::fallbackSearchCommands() const {
    FallbackList list;
    for (const auto& package : packages()) {
        const FallbackList own = package->fallbackSearchCommands();
        list.insert(list.end(), own.begin(), own.end());
    }
    return list;
}

bool PackageRegistry::setPackageCommands(const PackageIdentifier& id, CommandList commands) {
    for (const auto& command : commands) {
        if (command->packageId() != id) {
            log().error("Command belongs to another package",
                        {{QStringLiteral("package"), id.rawValue},
                         {QStringLiteral("command"), command->id().rawValue},
                         {QStringLiteral("commandPackage"), command->packageId().rawValue}});
            return false;
        }
    }
    {
        std::unique_lock lock(m_mutex);
        const auto old = std::dynamic_pointer_cast<const BuiltinPackage>(_packages.value(id));
        if (!old) return false;
        replacePackageLocked(
            std::make_shared<BuiltinPackage>(old->definition(), std::move(commands), old->fallbackSearchCommands()));
    }
    m_center->post(QString(NotificationNames::packageCommandsDidChange), id.rawValue);
    return true;
}

bool PackageRegistry::setPackageFallbackSearchCommands(const PackageIdentifier& id, FallbackList fallbacks) {
    {
        std::unique_lock lock(m_mutex);
        const auto old = std::dynamic_pointer_cast<const BuiltinPackage>(_packages.value(id));
        if (!old) return false;
        replacePackageLocked(
            std::make_shared<BuiltinPackage>(old->definition(), old->commands(), std::move(fallbacks)));
    }
    m_center->post(QString(NotificationNames::packageCommandsDidChange), id.rawValue);
    return true;
}

// MARK: Configuration

QString PackageRegistry::configurationId(const PackageIdentifier& id) {
    return QStringLiteral("builtin_package_") + id.rawValue;
}

PackageRegistry::StoredConfiguration PackageRegistry::readConfiguration(const PackageIdentifier& id) const {
    StoredConfiguration result;
    result.configuration.id = configurationId(id);
    const auto registered = package(id);
    result.configuration.isEnabled = registered ? registered->isEnabledByDefault() : false;
    if (!m_configurations || !m_configurations->dbConnection) return result;

    const QString rowId = configurationId(id);
    std::optional<PackageConfigurationRecord> row;
    std::optional<QString> payloadText;
    try {
        row = m_configurations->read(rowId);
        // The record reads a payload that is not a JSON object as empty; tell
        // those apart from a stored empty object.
        if (row && row->jsonPayload.isEmpty()) {
            payloadText = m_configurations->dbConnection->read([&](Connection& db) {
                return db
                    .scalar(QStringLiteral("SELECT jsonPayload FROM vantrelPackageConfiguration WHERE id = ?"), {rowId})
                    .toString();
            });
        }
    } catch (const std::exception& error) {
        log().error("Cannot read package configuration",
                    {{QStringLiteral("id"), rowId}, {QStringLiteral("error"), VantrelError::describe(error)}});
        return result;
    }
    if (!row) return result;
    result.stored = true;
    result.configuration = *row;
    if (payloadText && !payloadText->trimmed().isEmpty()) {
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(payloadText->toUtf8(), &parseError);
        if (parseError.error != QJsonParseError::NoError) {
            log().error("Cannot decode configuration payload",
                        {{QStringLiteral("id"), rowId}, {QStringLiteral("error"), parseError.errorString()}});
        } else if (!document.isObject()) {
            log().error("Cannot transform package configuration payload to a dictionary",
                        {{QStringLiteral("id"), rowId}});
        }
    }
    return result;
}

VantrelPackageConfiguration PackageRegistry::configuration(const PackageIdentifier& id) const {
    return readConfiguration(id).configuration;
}

bool PackageRegistry::isPackageEnabled(const PackageIdentifier& id) const {
    return configuration(id).isEnabled;
}

bool PackageRegistry::isEnabled(const CommandIdentifier& commandId, const PackageIdentifier& packageId) const {
    if (!isPackageEnabled(packageId)) return false;
    std::shared_lock lock(m_mutex);
    return !m_packageDisabledCommands.value(packageId).contains(commandId);
}

bool PackageRegistry::isEnabled(const VantrelCommand& command) const {
    return isEnabled(command.id(), command.packageId());
}

bool PackageRegistry::isEnabled(const FallbackSearchCommand& fallback) const {
    const auto commandId = fallback.commandId();
    if (!commandId) return true;
    return isEnabled(*commandId, fallback.packageId());
}

bool PackageRegistry::isCommandDisabled(const CommandIdentifier& commandId) const {
    std::shared_lock lock(m_mutex);
    for (const auto& disabled : m_packageDisabledCommands)
        if (disabled.contains(commandId)) return true;
    return false;
}

QHash<PackageIdentifier, QSet<CommandIdentifier>> PackageRegistry::packageDisabledCommands() const {
    std::shared_lock lock(m_mutex);
    return m_packageDisabledCommands;
}

SearchItemFilter PackageRegistry::searchResultFilter() const {
    // Script commands belong to this package without being listed by it.
    static const PackageIdentifier scriptCommandsPackage(QStringLiteral("scriptCommands"));
    return [this](const SearchItem& item) {
        const SearchRecord* record = item.record();
        if (!record) return true;
        switch (record->type) {
            case SearchRecord::ContentType::scriptCommand: {
                std::shared_lock lock(m_mutex);
                if (m_disabledPackages.contains(scriptCommandsPackage)) return false;
                for (const auto& disabled : m_packageDisabledCommands)
                    if (disabled.contains(CommandIdentifier(record->key))) return false;
                return true;
            }
            case SearchRecord::ContentType::command:
            case SearchRecord::ContentType::extensionCommand:
            case SearchRecord::ContentType::quicklink:
                return !isCommandDisabled(CommandIdentifier(record->key));
            default:
                return true;
        }
    };
}

void PackageRegistry::reloadDisabledCommands(const PackageIdentifier& id) {
    const StoredConfiguration stored = readConfiguration(id);
    QSet<CommandIdentifier> disabled;
    const QJsonValue list = stored.configuration.jsonPayload.value(disabledCommandsKey);
    if (list.isArray()) {
        for (const QJsonValue& entry : list.toArray())
            if (entry.isString()) disabled.insert(CommandIdentifier(entry.toString()));
    } else if (!list.isUndefined()) {
        reportTransformFailure(disabledCommandsKey, "[String]");
    }
    std::unique_lock lock(m_mutex);
    if (stored.configuration.isEnabled)
        m_disabledPackages.remove(id);
    else
        m_disabledPackages.insert(id);
    if (disabled.isEmpty())
        m_packageDisabledCommands.remove(id);
    else
        m_packageDisabledCommands.insert(id, std::move(disabled));
    ++m_configurationChanges;
}

void PackageRegistry::packageConfigurationDidChange(const PackageIdentifier& id) {
    reloadDisabledCommands(id);
    m_center->post(QString(NotificationNames::packageCommandsDidChange), id.rawValue);
}

bool PackageRegistry::setPackageConfiguration(const PackageIdentifier& id, const ConfigurationEdit& edit) {
    const StoredConfiguration stored = readConfiguration(id);
    QVariantMap payload = stored.configuration.jsonPayload.toVariantMap();
    bool isEnabled = stored.configuration.isEnabled;
    if (edit) edit(payload, isEnabled);

    const auto encoded = jsonValue(QVariant(payload));
    if (!encoded || !encoded->isObject()) {
        log().error("Cannot encode configuration payload", {{QStringLiteral("id"), configurationId(id)}});
        return false;
    }
    VantrelPackageConfiguration record;
    record.id = configurationId(id);
    record.isEnabled = isEnabled;
    record.jsonPayload = encoded->toObject();
    try {
        if (!m_configurations || !m_configurations->dbConnection)
            throw VantrelError(QStringLiteral("There is no database to store the configuration in"));
        m_configurations->save(record);
    } catch (const std::exception& error) {
        log().error("Cannot save package configuration",
                    {{QStringLiteral("id"), record.id}, {QStringLiteral("error"), VantrelError::describe(error)}});
        return false;
    }
    ++m_configurationChanges;
    log().info(QStringLiteral("Package Configuration Changed for Package: ") + id.rawValue);
    m_center->post(QString(NotificationNames::packageConfigurationDidChange), id.rawValue);
    return true;
}

bool PackageRegistry::setPackageEnabled(const PackageIdentifier& id, bool enabled) {
    return setPackageConfiguration(id, [enabled](QVariantMap&, bool& isEnabled) { isEnabled = enabled; });
}

std::optional<QJsonValue> PackageRegistry::payloadValue(const PackageIdentifier& id, const QString& key) const {
    const QJsonValue value = configuration(id).jsonPayload.value(key);
    if (value.isUndefined() || value.isNull()) return std::nullopt;
    return value;
}

std::optional<bool> PackageRegistry::boolValue(const PackageIdentifier& id, const QString& key) const {
    const auto value = payloadValue(id, key);
    if (!value) return std::nullopt;
    if (!value->isBool()) {
        reportTransformFailure(key, "Bool");
        return std::nullopt;
    }
    return value->toBool();
}

std::optional<qint64> PackageRegistry::integerValue(const PackageIdentifier& id, const QString& key) const {
    const auto value = payloadValue(id, key);
    if (!value) return std::nullopt;
    const double number = value->toDouble();
    if (!value->isDouble() || number != std::floor(number) || std::abs(number) > 9007199254740992.0) {
        reportTransformFailure(key, "Int");
        return std::nullopt;
    }
    return static_cast<qint64>(number);
}

std::optional<double> PackageRegistry::doubleValue(const PackageIdentifier& id, const QString& key) const {
    const auto value = payloadValue(id, key);
    if (!value) return std::nullopt;
    if (!value->isDouble()) {
        reportTransformFailure(key, "Double");
        return std::nullopt;
    }
    return value->toDouble();
}

std::optional<QString> PackageRegistry::stringValue(const PackageIdentifier& id, const QString& key) const {
    const auto value = payloadValue(id, key);
    if (!value) return std::nullopt;
    if (!value->isString()) {
        reportTransformFailure(key, "String");
        return std::nullopt;
    }
    return value->toString();
}

std::optional<QStringList> PackageRegistry::stringListValue(const PackageIdentifier& id, const QString& key) const {
    const auto value = payloadValue(id, key);
    if (!value) return std::nullopt;
    QStringList list;
    bool ok = value->isArray();
    if (ok) {
        for (const QJsonValue& entry : value->toArray()) {
            if (!entry.isString()) {
                ok = false;
                break;
            }
            list << entry.toString();
        }
    }
    if (!ok) {
        reportTransformFailure(key, "[String]");
        return std::nullopt;
    }
    return list;
}

}  // namespace vantrel
