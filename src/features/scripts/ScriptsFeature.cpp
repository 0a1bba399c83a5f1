#include "features/scripts/ScriptsFeature.h"

#include "core/api/FeatureContext.h"
#include "core/api/LauncherPresenter.h"
#include "core/commands/PackageRegistry.h"
#include "core/rootsearch/LauncherSearch.h"
#include "core/rootsearch/RootSearchController.h"
#include "data/SearchRecord.h"
#include "features/files/FilesApi.h"
#include "features/scripts/CommandScheduler.h"
#include "features/scripts/ScriptCommandActionProvider.h"
#include "features/scripts/ScriptCommandsService.h"
#include "features/scripts/ScriptCommandsSource.h"
#include "features/scripts/ScriptVantrelCommand.h"
#include "features/scripts/ScriptsCli.h"
#include "features/scripts/ui/CreateScriptCommandView.h"
#include "features/scripts/ui/ScriptDirectoriesPage.h"
#include "features/scripts/ui/ScriptOutputView.h"
#include "kit/Logger.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("ScriptCommands"), QStringLiteral("📜")});
    return logger;
}

}  // namespace

ScriptsFeature::ScriptsFeature() = default;

ScriptsFeature::~ScriptsFeature() {
    if (m_started) {
        // The shared scheduler outlives this launcher: it forgets our commands.
        CommandScheduler::setSharedCommandsProvider({});
        CommandScheduler::shared().schedule();
    }
    m_subscriptions.reset();
    m_items.reset();
    // The search engine may hold the source longer than the service lives.
    if (m_source) m_source->detach();
}

void ScriptsFeature::registerWith(FeatureContext& context) {
    m_context = &context;
    // The service hears the registry's configuration changes and announces
    // its own on the context's centre, where the source and we listen.
    m_service = std::make_unique<ScriptCommandsService>(context.registry(), &context.defaults(), &context.center());
    m_source = std::make_shared<ScriptCommandsSource>(*m_service, &context.center());
    context.addDataSource(m_source);

    ScriptCommandsService* service = m_service.get();
    const PackageRegistry* registry = &context.registry();
    // The service announces its changes on the centre; the feature's typed
    // signal carries them to whoever asked for ScriptsApi.
    m_subscriptions = std::make_unique<QObject>();
    context.center().addObserver(QString(NotificationNames::scriptCommandsChanged), m_subscriptions.get(),
                                 [this](const Notification&) { m_scriptCommandsChanged.publish(); });
    context.addCommandResolver([this, service, registry](const QString& id) -> std::shared_ptr<const VantrelCommand> {
        if (!id.startsWith(ScriptCommand::idPrefix)) return nullptr;
        auto command = service->command(id);
        if (!command) return nullptr;
        return std::make_shared<ScriptVantrelCommand>(
            std::move(*command), registry,
            [this](const ScriptCommand& script, const QStringList& arguments) { return run(script, arguments); });
    });

    // Parsing every folder takes its time: it runs in the background, and the
    // change notice that follows comes back to the main thread.
    context.addCommandHandler(QStringLiteral("reloadScriptCommands"),
                              [service](const VantrelCommand&, const CommandRunContext&) {
                                  service->reloadAllInBackground();
                                  return CommandOutcome::done();
                              });
    context.addRoute(QStringLiteral("scripts/reload"), [service](const QUrl&) {
        service->reloadAllInBackground();
        return CommandOutcome::done();
    });
    const FeatureContext* shared = &context;
    context.addView(QStringLiteral("createScriptCommand"), [service, shared](const CommandOutcome&) -> QWidget* {
        auto* view = new CreateScriptCommandView(service->directories().value(0));
        view->setEnvironment(shared->environment());
        return view;
    });
    // The full output of a script run ("fullOutput" mode), for the script's id.
    context.addViewResolver([service](const CommandOutcome& outcome) -> QWidget* {
        if (!outcome.commandId.startsWith(ScriptCommand::idPrefix)) return nullptr;
        const auto command = service->command(outcome.commandId);
        if (!command) return nullptr;
        return new ScriptOutputView(*command, outcome.arguments);
    });
    NotificationCenter* center = &context.center();
    context.addPreferencePage(
        {QStringLiteral("Script Commands"), QStringLiteral("script"),
         [service, center]() -> QWidget* { return new ScriptDirectoriesPage(*service, nullptr, center); }});
    context.addCliCommand(QStringLiteral("scripts"), [service](const QStringList& arguments) -> std::optional<int> {
        return scripts::scriptsCommand(*service, arguments);
    });
    context.addCliCommand(QStringLiteral("run"), [service](const QStringList& arguments) -> std::optional<int> {
        if (arguments.isEmpty()) return std::nullopt;
        return scripts::runScriptCommand(*service, arguments.first(), arguments.mid(1));
    });
    context.addHotkeyHandler(int(SearchRecord::ContentType::scriptCommand),
                             [this](const SearchRecord& record) { runFromHotkey(record.key); });
}

void ScriptsFeature::start() {
    if (!m_service || m_started) return;
    m_started = true;
    ScriptCommandsService* service = m_service.get();
    CommandScheduler::setSharedCommandsProvider([service] { return service->commands(); });
    if (RootSearchController* controller = m_context->rootSearch())
        m_items = installScriptCommandItems(
            *controller, [service](const QString& id) { return service->command(id); }, m_context->presenter(), nullptr,
            nullptr, openWithChooser());
    m_service->start();
    // Once now; afterwards the scheduler follows "vantrel_scriptCommandsChanged" itself.
    CommandScheduler::shared().schedule();
}

ScriptCommandActionProvider::OpenWithMenu ScriptsFeature::openWithChooser() const {
    FilesApi* files = m_context ? m_context->api<FilesApi>() : nullptr;
    if (!files) return {};
    return
        [files](const QString& path, LauncherPresenter* presenter) { return files->openWithMenuItem(path, presenter); };
}

std::vector<ScriptCommand> ScriptsFeature::scriptCommands() const {
    return m_service ? m_service->commands() : std::vector<ScriptCommand>{};
}

std::optional<ScriptCommand> ScriptsFeature::scriptCommand(const QString& id) const {
    return m_service ? m_service->command(id) : std::nullopt;
}

QStringList ScriptsFeature::scriptDirectories() const {
    return m_service ? m_service->directories() : QStringList();
}

CommandOutcome ScriptsFeature::run(const ScriptCommand& command, const QStringList& arguments) const {
    const ScriptVantrelCommand input(command, nullptr);
    if (firstMissingArgument(input.parameters(), arguments)) {
        log().info("Asking for the arguments of a script", {{QStringLiteral("id"), command.id}});
        return CommandOutcome::showArguments(command.id, arguments);
    }
    ScriptCommandActionProvider provider(
        command, m_context ? &m_context->search().search() : nullptr, QString(), [arguments] { return arguments; },
        m_context ? m_context->presenter() : nullptr);
    return provider.runScript();
}

void ScriptsFeature::runFromHotkey(const QString& key) const {
    const auto command = m_service ? m_service->command(key) : std::nullopt;
    if (!command) {
        log().warning("No script command for the hotkey", {{QStringLiteral("key"), key}});
        return;
    }
    LauncherPresenter* presenter = m_context->presenter();
    const CommandOutcome outcome = run(*command, {});
    if (presenter && outcome.kind != CommandOutcome::Kind::done) presenter->handleOutcome(outcome);
}

}  // namespace vantrel
