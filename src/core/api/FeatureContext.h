#pragma once

#include "core/api/CommandOutcome.h"
#include "core/api/Feature.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QWidget;

namespace vantrel {

class DataSource;
class LauncherPresenter;
class LauncherSearch;
class NotificationCenter;
class PackageRegistry;
class RootSearchController;
class SearchProvider;
class UserDefaults;
class VantrelCommand;
struct ImageResource;
struct ListItem;
struct SearchItem;
struct SearchRecord;

// What the core gives a feature to register with, and what the core's own
// parts (root search, the window, the link router, the command line, the
// global hotkeys) ask afterwards. Lives on the main thread, as long as the
// services it was made with; registrations it made in them (command
// resolvers) end with it.
class FeatureContext {
public:
    // The services a feature builds on. The root search controller exists
    // only where something shows root search (the launcher, `vantrel search`).
    struct Services {
        PackageRegistry& registry;
        LauncherSearch& search;
        UserDefaults& defaults;
        NotificationCenter& center;
        RootSearchController* rootSearch = nullptr;
        const LauncherEnvironment* environment = nullptr;
    };

    // MARK: What features register

    // Runs a command of the feature's packages: the outcome the window shows.
    using CommandHandler = std::function<CommandOutcome(const VantrelCommand&, const CommandRunContext&)>;
    // Describes a search result of the feature in root search (its kind, its
    // action provider with the feature's own data…); returns whether it did.
    using ItemResolver = std::function<bool(const SearchItem& result, const QString& searchText, ListItem& item)>;
    // The view a command pushes in the launcher window (a LauncherView of the
    // feature's ui/), for the outcome that asked for it.
    using ViewFactory = std::function<QWidget*(const CommandOutcome& outcome)>;
    // A page of the preferences window; made when the window first shows.
    struct PreferencePage {
        QString title;
        QString iconName;
        std::function<QWidget*()> make;
    };
    // Handles `vantrel://HOST/PATH…`; the outcome is what the link did.
    using RouteHandler = std::function<CommandOutcome(const QUrl& url)>;
    // `vantrel NAME ARGS…`: returns the exit status, or nothing when the
    // arguments are not the feature's (`vantrel run` asks every feature that
    // registered "run" before running a search result). Runs in a one-shot
    // process that is not the launcher, over the services of the context.
    using CliCommand = std::function<std::optional<int>(const QStringList& arguments)>;
    // A per-item hotkey of one of the feature's search records was pressed.
    using HotkeyHandler = std::function<void(const SearchRecord& record)>;

    explicit FeatureContext(Services services);
    ~FeatureContext();
    FeatureContext(const FeatureContext&) = delete;
    FeatureContext& operator=(const FeatureContext&) = delete;

    const Services& services() const { return m_services; }
    PackageRegistry& registry() const { return m_services.registry; }
    LauncherSearch& search() const { return m_services.search; }
    UserDefaults& defaults() const { return m_services.defaults; }
    NotificationCenter& center() const { return m_services.center; }
    RootSearchController* rootSearch() const { return m_services.rootSearch; }
    const LauncherEnvironment* environment() const { return m_services.environment; }
    // The window (null until it exists, and in one-shot commands).
    LauncherPresenter* presenter() const { return m_presenter; }
    void setPresenter(LauncherPresenter* presenter) { m_presenter = presenter; }

    // Search records the feature writes (added to the search engine in
    // registration order, after the core's own command sources).
    void addDataSource(std::shared_ptr<DataSource> source);
    // Results computed per query (links, fallbacks…), when root search shows.
    void addSearchProvider(std::shared_ptr<SearchProvider> provider);
    void addItemResolver(ItemResolver resolver);
    // Commands the registry does not list itself (script commands by id).
    void addCommandResolver(std::function<std::shared_ptr<const VantrelCommand>(const QString& commandId)> resolver);
    void addCommandHandler(const QString& commandId, CommandHandler handler);
    void addView(const QString& commandId, ViewFactory factory);
    // Views of commands the feature resolves itself (a script's output for the
    // script's id): the factory answers null for an outcome that is not its.
    void addViewResolver(ViewFactory factory);
    void addPreferencePage(PreferencePage page);
    // The host and path of the link: "scripts/reload" for vantrel://scripts/reload.
    void addRoute(const QString& route, RouteHandler handler);
    // A name several features register is asked of each, in registration
    // order, until one answers.
    void addCliCommand(const QString& name, CliCommand command);
    // Hotkeys of the search records of this type (SearchRecord::ContentType's raw value).
    void addHotkeyHandler(int recordType, HotkeyHandler handler);
    // Work for Feature::start's time: kept until the launcher starts features.
    void addFeature(std::unique_ptr<Feature> feature);

    // MARK: What the core asks

    // Null when no feature handles the command.
    const CommandHandler* commandHandler(const QString& commandId) const;
    QWidget* makeView(const CommandOutcome& outcome) const;
    const std::vector<PreferencePage>& preferencePages() const { return m_preferencePages; }
    // Null when nobody routes the link.
    const RouteHandler* route(const QUrl& url) const;
    const CliCommand* cliCommand(const QString& name) const;
    const HotkeyHandler* hotkeyHandler(int recordType) const;
    const std::vector<std::unique_ptr<Feature>>& features() const { return m_features; }
    // The registered feature that exports Api (its features/<name>/<Name>Api.h),
    // or null. Every feature is registered from Feature::start on.
    template <typename Api>
    Api* api() const {
        for (const auto& feature : m_features)
            if (auto* found = dynamic_cast<Api*>(feature.get())) return found;
        return nullptr;
    }
    // Calls start() of every feature, in registration order.
    void startFeatures();

private:
    Services m_services;
    LauncherPresenter* m_presenter = nullptr;
    // The ids whose handlers this context set in the registry (removed with it).
    QStringList m_handledCommandIds;
    std::map<QString, ViewFactory> m_views;
    std::vector<ViewFactory> m_viewResolvers;
    std::vector<PreferencePage> m_preferencePages;
    std::map<QString, RouteHandler> m_routes;
    std::map<QString, CliCommand> m_cliCommands;
    std::map<int, HotkeyHandler> m_hotkeyHandlers;
    std::vector<quint64> m_resolverTokens;
    std::vector<std::unique_ptr<Feature>> m_features;
};

// The titles of the preference pages the features registered, in order.
QStringList preferencePageTitles(const FeatureContext& context);

// Registers every feature of the list with the context (in list order) and
// keeps them there.
void registerFeatures(FeatureContext& context, std::vector<std::unique_ptr<Feature>> features);

}  // namespace vantrel
