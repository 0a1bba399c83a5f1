#pragma once

#include "core/commands/BuiltinCommandRunner.h"
#include "core/commands/CommandModel.h"
#include "data/PackageConfigurationRepository.h"
#include "data/Records.h"
#include "search/SearchItem.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <vector>

namespace vantrel {

class NotificationCenter;

// The per-package settings row: "builtin_package_<id>", whether the package
// is on, and its payload of package-specific settings.
using VantrelPackageConfiguration = PackageConfigurationRecord;

// Every built-in package and its commands and fallback searches, in
// registration order, and the configuration that switches them on and off.
//
// The registry is built and changed on the main thread; its lookups may be
// called from any thread. Configuration rows are read through the
// configuration repository; a change made through setPackageConfiguration()
// (or posted by anyone as "vantrel_PackageConfigurationDidChange" with the
// package id) is read back, and "vantrel_PackageCommandsDidChange" tells the
// commands sources to rebuild their records.
class PackageRegistry {
public:
    // developmentFlag appends the debug package (26 packages instead of 25).
    explicit PackageRegistry(std::shared_ptr<PackageConfigurationRepository> configurations,
                             bool developmentFlag = false, NotificationCenter* center = nullptr);
    ~PackageRegistry();
    PackageRegistry(const PackageRegistry&) = delete;
    PackageRegistry& operator=(const PackageRegistry&) = delete;

    // The registry of the application, built on first access over the shared
    // database; the debug package is there when VANTREL_DEVELOPMENT is "1".
    static PackageRegistry& shared();
    static bool developmentFlagFromEnvironment();

    bool developmentFlag() const { return m_developmentFlag; }

    // MARK: Lookups

    std::shared_ptr<const VantrelPackage> package(const PackageIdentifier& id, bool reportIfMissing = false) const;
    std::shared_ptr<const VantrelCommand> command(const CommandIdentifier& id, bool reportIfMissing = false) const;
    std::shared_ptr<const FallbackSearchCommand> fallbackSearchCommand(const QString& id) const;
    // Whether a registered package lists the command (command resolvers not asked).
    bool listsCommand(const CommandIdentifier& id) const;

    // In registration order; commands and fallbacks in the order of their
    // packages and, within a package, the package's own order.
    std::vector<std::shared_ptr<const VantrelPackage>> packages() const;
    CommandList commands() const;
    FallbackList fallbackSearchCommands() const;

    // Gives a package whose commands come from its own data (window layouts,
    // web searches, script commands, quicklinks, preferences commands) its
    // current list, and posts "vantrel_PackageCommandsDidChange". Returns false
    // (and changes nothing) for an unknown package or a command whose packageId
    // names another package.
    bool setPackageCommands(const PackageIdentifier& id, CommandList commands);
    bool setPackageFallbackSearchCommands(const PackageIdentifier& id, FallbackList fallbacks);

    // Commands that no package lists but command(id) answers (script
    // commands): a resolver is asked when no package command has the id.
    // Returns a token for removeCommandResolver().
    using CommandResolver = std::function<std::shared_ptr<const VantrelCommand>(const CommandIdentifier&)>;
    quint64 addCommandResolver(CommandResolver resolver);
    void removeCommandResolver(quint64 token);

    // What a built-in command does when it runs, given by the feature (or the
    // core part) that owns it. A command without a handler runs its built-in
    // behaviour (see BuiltinCommandRunner). Main thread only.
    using CommandHandler = std::function<CommandOutcome(const VantrelCommand&, const CommandRunContext&)>;
    void setCommandHandler(const QString& commandId, CommandHandler handler);
    void removeCommandHandler(const QString& commandId);
    // Null when nobody handles the command.
    const CommandHandler* commandHandler(const QString& commandId) const;
    // What the command can do in this build: a registered handler makes it
    // available, otherwise its built-in behaviour decides.
    CommandAvailability availability(const QString& commandId) const;

    // Counts the changes of what the lookups above answer: packages, their
    // commands and fallbacks, command resolvers and handlers. Equal counts
    // mean equal answers, apart from what a command resolver answers itself.
    quint64 changeCount() const { return m_changes.load(); }

    // MARK: Configuration

    static QString configurationId(const PackageIdentifier& id);

    // The stored row; without one, a row made up with the package's
    // isEnabledByDefault (false for an unregistered id) and an empty payload.
    VantrelPackageConfiguration configuration(const PackageIdentifier& id) const;
    bool isPackageEnabled(const PackageIdentifier& id) const;
    // The owning package is enabled and the command is not listed under
    // "disabledCommands" of its payload.
    bool isEnabled(const VantrelCommand& command) const;
    bool isEnabled(const CommandIdentifier& commandId, const PackageIdentifier& packageId) const;
    // A fallback without a command is always enabled; otherwise as its command.
    bool isEnabled(const FallbackSearchCommand& fallback) const;
    // Whether some package lists the command under "disabledCommands".
    bool isCommandDisabled(const CommandIdentifier& commandId) const;
    // The cached "disabledCommands" of each package that has any.
    QHash<PackageIdentifier, QSet<CommandIdentifier>> packageDisabledCommands() const;

    // The filter root search passes with every query: it drops a result whose
    // id a package lists under "disabledCommands", and every script command
    // while the "scriptCommands" package is switched off.
    SearchItemFilter searchResultFilter() const;

    // Reads the row (or the made-up one), lets `edit` change the decoded
    // payload and `isEnabled`, writes it back, logs
    // "Package Configuration Changed for Package: <id>" and posts
    // "vantrel_PackageConfigurationDidChange" with the id as object. A payload
    // that cannot be written as JSON is logged "Cannot encode configuration
    // payload" and leaves the row as it was; returns whether it was written.
    using ConfigurationEdit = std::function<void(QVariantMap& payload, bool& isEnabled)>;
    bool setPackageConfiguration(const PackageIdentifier& id, const ConfigurationEdit& edit);
    bool setPackageEnabled(const PackageIdentifier& id, bool isEnabled);

    // Typed payload values; a value of another type is logged "Cannot transform
    // pakage configuration value at '<key>' to targeted type '<type>'" and
    // reads as absent.
    std::optional<bool> boolValue(const PackageIdentifier& id, const QString& key) const;
    std::optional<qint64> integerValue(const PackageIdentifier& id, const QString& key) const;
    std::optional<double> doubleValue(const PackageIdentifier& id, const QString& key) const;
    std::optional<QString> stringValue(const PackageIdentifier& id, const QString& key) const;
    std::optional<QStringList> stringListValue(const PackageIdentifier& id, const QString& key) const;

    // Counts the changes of the configuration the registry has read (a
    // package switched on or off, its "disabledCommands"), and of the rows
    // written through setPackageConfiguration(): the filter and isEnabled()
    // answer the same while it stays.
    quint64 configurationChangeCount() const { return m_configurationChanges.load(); }

    // Payload keys.
    static constexpr QLatin1String disabledCommandsKey{"disabledCommands"};
    static constexpr QLatin1String snippetsDirectPasteKey{"snippetsDirectPaste"};
    static constexpr QLatin1String snippetsKeywordsEnabledKey{"snippetsKeywordsEnabled"};
    static constexpr QLatin1String clipboardHistoryDirectPasteKey{"clipboardHistoryDirectPaste"};
    static constexpr QLatin1String scriptCommandsDirectoriesKey{"scriptCommandsDirectories"};
    static constexpr QLatin1String linearCreateIssuePersistProjectKey{"linearCreateIssuePersistProject"};

private:
    struct StoredConfiguration {
        VantrelPackageConfiguration configuration;
        bool stored = false;
    };

    std::map<QString, CommandHandler> m_commandHandlers;

    void registerPackages();
    void addPackageLocked(std::shared_ptr<const VantrelPackage> package);
    void replacePackageLocked(std::shared_ptr<const VantrelPackage> package);
    // The row as stored, its payload decoded (failures logged, payload empty).
    StoredConfiguration readConfiguration(const PackageIdentifier& id) const;
    void reloadDisabledCommands(const PackageIdentifier& id);
    void packageConfigurationDidChange(const PackageIdentifier& id);
    std::optional<QJsonValue> payloadValue(const PackageIdentifier& id, const QString& key) const;

    std::shared_ptr<PackageConfigurationRepository> m_configurations;
    bool m_developmentFlag;
    NotificationCenter* m_center;
    // Owns the notification subscription: destroyed with the registry.
    std::unique_ptr<QObject> m_subscriptions;

    mutable std::shared_mutex m_mutex;
    std::vector<std::shared_ptr<const VantrelPackage>> m_order;
    QHash<PackageIdentifier, std::shared_ptr<const VantrelPackage>> _packages;
    QHash<CommandIdentifier, std::shared_ptr<const VantrelCommand>> _commands;
    QHash<QString, std::shared_ptr<const FallbackSearchCommand>> _fallbackSearchCommands;
    QHash<PackageIdentifier, QSet<CommandIdentifier>> m_packageDisabledCommands;
    // The packages switched off, as last read with their disabled commands:
    // the search filter asks for every result and must not read the database.
    QSet<PackageIdentifier> m_disabledPackages;
    std::vector<std::pair<quint64, CommandResolver>> m_commandResolvers;
    quint64 m_nextResolverToken = 1;
    std::atomic<quint64> m_changes{1};
    std::atomic<quint64> m_configurationChanges{1};
};

}  // namespace vantrel
