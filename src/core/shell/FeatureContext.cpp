#include "core/api/FeatureContext.h"

#include "core/commands/PackageRegistry.h"
#include "core/rootsearch/LauncherSearch.h"
#include "core/rootsearch/RootSearchController.h"
#include "kit/Logger.h"

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Features"), QStringLiteral("🧩")});
    return logger;
}

}  // namespace

FeatureContext::FeatureContext(Services services) : m_services(services) {}

FeatureContext::~FeatureContext() {
    for (const quint64 token : m_resolverTokens) m_services.registry.removeCommandResolver(token);
    for (const QString& commandId : m_handledCommandIds) m_services.registry.removeCommandHandler(commandId);
}

void FeatureContext::addDataSource(std::shared_ptr<DataSource> source) {
    m_services.search.addDataSource(std::move(source));
}

void FeatureContext::addSearchProvider(std::shared_ptr<SearchProvider> provider) {
    if (m_services.rootSearch) m_services.rootSearch->addSearchProvider(std::move(provider));
}

void FeatureContext::addItemResolver(ItemResolver resolver) {
    if (m_services.rootSearch) m_services.rootSearch->addItemResolver(std::move(resolver));
}

void FeatureContext::addCommandResolver(
    std::function<std::shared_ptr<const VantrelCommand>(const QString& commandId)> resolver) {
    m_resolverTokens.push_back(m_services.registry.addCommandResolver(
        [resolver = std::move(resolver)](const CommandIdentifier& id) { return resolver(id.rawValue); }));
}

void FeatureContext::addCommandHandler(const QString& commandId, CommandHandler handler) {
    if (!m_handledCommandIds.contains(commandId)) m_handledCommandIds << commandId;
    m_services.registry.setCommandHandler(commandId, std::move(handler));
}

void FeatureContext::addView(const QString& commandId, ViewFactory factory) {
    m_views[commandId] = std::move(factory);
}

void FeatureContext::addViewResolver(ViewFactory factory) {
    m_viewResolvers.push_back(std::move(factory));
}

void FeatureContext::addPreferencePage(PreferencePage page) {
    m_preferencePages.push_back(std::move(page));
}

void FeatureContext::addRoute(const QString& route, RouteHandler handler) {
    m_routes[route] = std::move(handler);
}

void FeatureContext::addCliCommand(const QString& name, CliCommand command) {
    // Several features may answer one name ("run"): each is asked in
    // registration order until one takes the arguments.
    const auto found = m_cliCommands.find(name);
    if (found == m_cliCommands.end() || !found->second) {
        m_cliCommands[name] = std::move(command);
        return;
    }
    found->second = [first = std::move(found->second), next = std::move(command)](const QStringList& arguments) {
        if (const std::optional<int> status = first(arguments)) return status;
        return next(arguments);
    };
}

void FeatureContext::addHotkeyHandler(int recordType, HotkeyHandler handler) {
    m_hotkeyHandlers[recordType] = std::move(handler);
}

void FeatureContext::addFeature(std::unique_ptr<Feature> feature) {
    m_features.push_back(std::move(feature));
}

const FeatureContext::CommandHandler* FeatureContext::commandHandler(const QString& commandId) const {
    return m_services.registry.commandHandler(commandId);
}

QWidget* FeatureContext::makeView(const CommandOutcome& outcome) const {
    const auto found = m_views.find(outcome.commandId);
    if (found != m_views.end() && found->second) return found->second(outcome);
    for (const ViewFactory& resolver : m_viewResolvers)
        if (QWidget* view = resolver(outcome)) return view;
    return nullptr;
}

const FeatureContext::RouteHandler* FeatureContext::route(const QUrl& url) const {
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/'))) path.chop(1);
    const auto found = m_routes.find(url.host() + path);
    return found == m_routes.end() || !found->second ? nullptr : &found->second;
}

const FeatureContext::CliCommand* FeatureContext::cliCommand(const QString& name) const {
    const auto found = m_cliCommands.find(name);
    return found == m_cliCommands.end() || !found->second ? nullptr : &found->second;
}

const FeatureContext::HotkeyHandler* FeatureContext::hotkeyHandler(int recordType) const {
    const auto found = m_hotkeyHandlers.find(recordType);
    return found == m_hotkeyHandlers.end() || !found->second ? nullptr : &found->second;
}

void FeatureContext::startFeatures() {
    for (const auto& feature : m_features) {
        log().debug(QStringLiteral("Starting feature ") + feature->name());
        feature->start();
    }
}

QStringList preferencePageTitles(const FeatureContext& context) {
    QStringList titles;
    for (const FeatureContext::PreferencePage& page : context.preferencePages()) titles << page.title;
    return titles;
}

void registerFeatures(FeatureContext& context, std::vector<std::unique_ptr<Feature>> features) {
    for (auto& feature : features) {
        feature->registerWith(context);
        context.addFeature(std::move(feature));
    }
}

}  // namespace vantrel
