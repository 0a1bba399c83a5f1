#pragma once

#include "core/api/CommandOutcome.h"
#include "data/Records.h"

#include <QHashFunctions>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vantrel {

class PackageRegistry;

// The id of a package ("default", "fileSearch"). Compared exactly: no
// normalisation, so "fileSearch" and "FileSearch" differ.
struct PackageIdentifier {
    QString rawValue;
    explicit PackageIdentifier(QString raw = {}) : rawValue(std::move(raw)) {}
    explicit PackageIdentifier(const char* raw) : rawValue(QString::fromUtf8(raw)) {}
    bool operator==(const PackageIdentifier&) const = default;
    auto operator<=>(const PackageIdentifier& other) const { return rawValue.compare(other.rawValue) <=> 0; }
};

// The id of a command ("jira_createIssue", "linear-createIssue"), compared exactly.
struct CommandIdentifier {
    QString rawValue;
    explicit CommandIdentifier(QString raw = {}) : rawValue(std::move(raw)) {}
    explicit CommandIdentifier(const char* raw) : rawValue(QString::fromUtf8(raw)) {}
    bool operator==(const CommandIdentifier&) const = default;
    auto operator<=>(const CommandIdentifier& other) const { return rawValue.compare(other.rawValue) <=> 0; }
};

inline size_t qHash(const PackageIdentifier& id, size_t seed = 0) noexcept {
    return qHash(id.rawValue, seed);
}
inline size_t qHash(const CommandIdentifier& id, size_t seed = 0) noexcept {
    return qHash(id.rawValue, seed);
}

// Who sees a command: everyone, or only development builds.
enum class VantrelCommandVisibility { public_ = 0, internal = 1, debug = 2 };
// "public", "internal", "debug".
QString rawValue(VantrelCommandVisibility visibility);

// What a fallback search opens.
enum class FallbackSearchType { command, application, browser };
QString rawValue(FallbackSearchType type);

struct QuickActionIdentifier {
    // The analytics category of a package.
    enum class Category { basic = 0, utility = 1, devTools = 2, thirdParty = 3, misc = 4 };
};
QString rawValue(QuickActionIdentifier::Category category);

// What fills a page of the preferences window: the package's own page or a
// command's page, built by the common provider or by one of the package's own.
struct PreferencesProvider {
    enum class Context { packagePreference, commandPreference };
    Context context = Context::packagePreference;
    PackageIdentifier packageId;
    std::optional<CommandIdentifier> commandId;
    bool isPackageSpecific = false;
};

// Something the search engine can visit: its record key, and an optional
// second identifier.
class SearchEntity {
public:
    virtual ~SearchEntity() = default;
    virtual QString searchIdentifier() const = 0;
    virtual std::optional<QString> secondarySearchIdentifier() const { return std::nullopt; }
};

class VantrelPackage;
class InputCommand;

// Anything runnable from root search.
class VantrelCommand : public SearchEntity {
public:
    // The owning package, looked up by packageId.
    virtual std::shared_ptr<const VantrelPackage> package() const = 0;
    virtual CommandIdentifier id() const = 0;
    virtual PackageIdentifier packageId() const = 0;
    virtual QString displayName() const = 0;
    virtual QString description() const { return {}; }
    virtual VantrelCommandVisibility visibility() const { return VantrelCommandVisibility::public_; }
    virtual QString primaryActionTitle() const { return QStringLiteral("Open Command"); }
    virtual ImageResource viewKindImage() const { return ImageResource::named(QStringLiteral("main-list-view-16")); }
    // True when running pushes a view in the launcher window; false for
    // commands that act and close.
    virtual bool isViewControllerRepresented() const = 0;
    virtual std::optional<IconSet> icon() const { return std::nullopt; }
    virtual QStringList searchKeywords() const { return {}; }
    // Offered by the URL provider when the query holds a link.
    virtual bool isURLCommand() const { return false; }
    // The argument fields the command takes in the search bar, as they are
    // for a row built for `searchText`; null for a command without arguments.
    virtual std::shared_ptr<const InputCommand> inputCommand(const QString& searchText = {}) const {
        (void)searchText;
        return nullptr;
    }
    virtual CommandOutcome run(const CommandRunContext& context) const = 0;

    QString searchIdentifier() const override { return id().rawValue; }
};

using CommandList = std::vector<std::shared_ptr<const VantrelCommand>>;

// A search offered below the results when a query matches little or nothing.
class FallbackSearchCommand : public SearchEntity {
public:
    // The wrapped command's id followed by "_fallbackSearch" (the GitHub issue
    // and pull-request fallbacks keep their command id).
    virtual QString id() const = 0;
    virtual PackageIdentifier packageId() const = 0;
    // Nothing for a fallback that opens no command (always enabled).
    virtual std::optional<CommandIdentifier> commandId() const = 0;
    virtual QString displayName() const = 0;
    virtual FallbackSearchType searchType() const = 0;
    virtual std::optional<IconSet> icon() const { return std::nullopt; }
    // The owning package's tint colour.
    virtual std::optional<QString> iconTintColorName() const = 0;
    // False for every built-in fallback.
    virtual bool isExternal() const { return false; }
    virtual int fallbackSearchOrder() const { return 1; }
    virtual bool isEnabled() const { return true; }
    // Opens the wrapped command with the text as its initial query.
    virtual CommandOutcome run(const QString& searchText, const CommandRunContext& context) const = 0;

    QString searchIdentifier() const override { return id(); }
};

using FallbackList = std::vector<std::shared_ptr<const FallbackSearchCommand>>;

// A built-in package: a group of commands switched on and off together.
class VantrelPackage {
public:
    virtual ~VantrelPackage() = default;
    virtual PackageIdentifier id() const = 0;
    virtual QString displayName() const = 0;
    virtual QString description() const = 0;
    virtual std::optional<IconSet> icon() const { return std::nullopt; }
    virtual std::optional<QString> iconTintColorName() const { return std::nullopt; }
    virtual CommandList commands() const = 0;
    virtual FallbackList fallbackSearchCommands() const { return {}; }
    virtual bool isEnabledByDefault() const = 0;
    // True for packages that come from outside the application; no built-in
    // package does.
    virtual bool isExternal() const { return false; }
    virtual bool isHiddenInPreferences() const = 0;
    // The first command, or nothing for an empty list.
    virtual std::shared_ptr<const VantrelCommand> defaultCommand() const;
    virtual QuickActionIdentifier::Category analyticsCategory() const = 0;
    // Whether the package signs in to an outside service (the OAuth integrations).
    virtual bool hasPackagePreferencesAuthorizer() const { return false; }
    virtual PreferencesProvider packagePreferencesProvider() const;
    virtual PreferencesProvider commandPreferencesProvider(const CommandIdentifier& command, bool isEmbedded) const;

    // "builtin_package_" followed by the id: the package's configuration row.
    QString configurationId() const;
};

// A command that takes arguments typed in the search bar (script commands,
// quicklinks).
class CommandParameter {
public:
    virtual ~CommandParameter() = default;
    virtual QString placeholder() const = 0;
    virtual bool percentEncoded() const { return false; }
    virtual bool isOptional() const { return false; }
};

class InputCommand {
public:
    virtual ~InputCommand() = default;
    virtual QString id() const = 0;
    virtual std::vector<std::shared_ptr<const CommandParameter>> parameters() const = 0;
    virtual QString title() const = 0;
    virtual IconSet icon() const = 0;
    // Equal when the ids are equal.
    virtual bool isEqual(const InputCommand& other) const { return id() == other.id(); }
};

// The first required parameter whose value is empty (values in parameter
// order; a missing value counts as empty), or nothing when all are there.
std::optional<int> firstMissingArgument(const std::vector<std::shared_ptr<const CommandParameter>>& parameters,
                                        const QStringList& values);

// A list item standing for an input command, with the alias the user gave it.
class InputCommandItem {
public:
    virtual ~InputCommandItem() = default;
    virtual std::shared_ptr<const InputCommand> command() const = 0;
    virtual std::optional<QString> alias() const = 0;
};

// A command whose data is known only at run time (extension commands and
// other entries built while running).
struct VantrelPackageCommand final : VantrelCommand {
    std::shared_ptr<const VantrelPackage> packageValue;
    std::optional<CommandRecord> extensionCommand;
    std::optional<ExtensionRecord> extensionPackage;
    CommandIdentifier commandId;
    PackageIdentifier commandPackageId;
    QString name;
    QString commandDescription;
    VantrelCommandVisibility commandVisibility = VantrelCommandVisibility::public_;
    bool viewControllerRepresented = true;
    QStringList keywords;
    // What running it does; without one the command reports that it cannot run yet.
    std::function<CommandOutcome(const CommandRunContext&)> runner;

    std::shared_ptr<const VantrelPackage> package() const override { return packageValue; }
    CommandIdentifier id() const override { return commandId; }
    PackageIdentifier packageId() const override { return commandPackageId; }
    QString displayName() const override { return name; }
    QString description() const override { return commandDescription; }
    VantrelCommandVisibility visibility() const override { return commandVisibility; }
    bool isViewControllerRepresented() const override { return viewControllerRepresented; }
    QStringList searchKeywords() const override { return keywords; }
    CommandOutcome run(const CommandRunContext& context) const override;
};

// A command of a built-in package, described by its fixed data. It reaches
// its package through the registry that created it (never a strong
// reference), and runs through the table of built-in actions.
class BuiltinCommand final : public VantrelCommand {
public:
    struct Definition {
        QString id;
        QString packageId;
        QString displayName;
        QString description;
        VantrelCommandVisibility visibility = VantrelCommandVisibility::public_;
        bool isViewControllerRepresented = true;
        bool isURLCommand = false;
        QStringList searchKeywords;
        std::optional<IconSet> icon;
        // The placeholder of the command's one argument field; empty: it
        // takes none. The argument of a URL command may stay empty in a row
        // built for text that holds a link: the command then works on that text.
        QString argumentPlaceholder;
    };

    BuiltinCommand(Definition definition, const PackageRegistry* registry);

    const Definition& definition() const { return m_definition; }

    std::shared_ptr<const VantrelPackage> package() const override;
    CommandIdentifier id() const override { return CommandIdentifier(m_definition.id); }
    PackageIdentifier packageId() const override { return PackageIdentifier(m_definition.packageId); }
    QString displayName() const override { return m_definition.displayName; }
    QString description() const override { return m_definition.description; }
    VantrelCommandVisibility visibility() const override { return m_definition.visibility; }
    bool isViewControllerRepresented() const override { return m_definition.isViewControllerRepresented; }
    std::optional<IconSet> icon() const override { return m_definition.icon; }
    QStringList searchKeywords() const override { return m_definition.searchKeywords; }
    bool isURLCommand() const override { return m_definition.isURLCommand; }
    std::shared_ptr<const InputCommand> inputCommand(const QString& searchText = {}) const override;
    CommandOutcome run(const CommandRunContext& context) const override;

private:
    Definition m_definition;
    const PackageRegistry* m_registry;
};

// A fallback search that opens a command of a package with the query.
class BuiltinFallbackSearchCommand final : public FallbackSearchCommand {
public:
    struct Definition {
        QString id;
        QString packageId;
        std::optional<QString> commandId;
        QString displayName;
        FallbackSearchType searchType = FallbackSearchType::command;
        int fallbackSearchOrder = 1;
        std::optional<IconSet> icon;
    };

    BuiltinFallbackSearchCommand(Definition definition, const PackageRegistry* registry);

    QString id() const override { return m_definition.id; }
    PackageIdentifier packageId() const override { return PackageIdentifier(m_definition.packageId); }
    std::optional<CommandIdentifier> commandId() const override;
    QString displayName() const override { return m_definition.displayName; }
    FallbackSearchType searchType() const override { return m_definition.searchType; }
    std::optional<IconSet> icon() const override { return m_definition.icon; }
    std::optional<QString> iconTintColorName() const override;
    int fallbackSearchOrder() const override { return m_definition.fallbackSearchOrder; }
    CommandOutcome run(const QString& searchText, const CommandRunContext& context) const override;

private:
    Definition m_definition;
    const PackageRegistry* m_registry;
};

// A package described by its fixed data. Packages whose commands are built
// from their own data (window layouts, web searches, script commands,
// quicklinks, preferences commands) start empty and receive their lists
// through the registry (PackageRegistry::setPackageCommands).
class BuiltinPackage final : public VantrelPackage {
public:
    struct Definition {
        QString id;
        QString displayName;
        QString description;
        bool isEnabledByDefault = true;
        bool isHiddenInPreferences = false;
        QuickActionIdentifier::Category category = QuickActionIdentifier::Category::utility;
        std::optional<QString> iconTintColorName;
        std::optional<IconSet> icon;
        bool hasAuthorizer = false;
        bool hasOwnCommandPreferences = false;
    };

    BuiltinPackage(Definition definition, CommandList commands, FallbackList fallbacks);

    const Definition& definition() const { return m_definition; }

    PackageIdentifier id() const override { return PackageIdentifier(m_definition.id); }
    QString displayName() const override { return m_definition.displayName; }
    QString description() const override { return m_definition.description; }
    std::optional<IconSet> icon() const override { return m_definition.icon; }
    std::optional<QString> iconTintColorName() const override { return m_definition.iconTintColorName; }
    CommandList commands() const override { return m_commands; }
    FallbackList fallbackSearchCommands() const override { return m_fallbacks; }
    bool isEnabledByDefault() const override { return m_definition.isEnabledByDefault; }
    bool isHiddenInPreferences() const override { return m_definition.isHiddenInPreferences; }
    QuickActionIdentifier::Category analyticsCategory() const override { return m_definition.category; }
    bool hasPackagePreferencesAuthorizer() const override { return m_definition.hasAuthorizer; }
    PreferencesProvider commandPreferencesProvider(const CommandIdentifier& command, bool isEmbedded) const override;

private:
    Definition m_definition;
    CommandList m_commands;
    FallbackList m_fallbacks;
};

}  // namespace vantrel

template <>
struct std::hash<vantrel::PackageIdentifier> {
    size_t operator()(const vantrel::PackageIdentifier& id) const noexcept { return vantrel::qHash(id); }
};
template <>
struct std::hash<vantrel::CommandIdentifier> {
    size_t operator()(const vantrel::CommandIdentifier& id) const noexcept { return vantrel::qHash(id); }
};
