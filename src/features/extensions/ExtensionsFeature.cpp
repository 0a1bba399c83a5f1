#include "features/extensions/ExtensionsFeature.h"

#include "core/api/FeatureContext.h"
#include "core/api/LauncherPresenter.h"
#include "core/commands/PackageRegistry.h"
#include "core/rootsearch/LauncherSearch.h"
#include "data/SearchRepository.h"
#include "extensions/packages/ExtensionRegistry.h"
#include "extensions/packages/RepositoryExtensionsStorage.h"
#include "features/extensions/CreateExtensionForm.h"
#include "features/extensions/ExtensionCommandRunner.h"
#include "features/extensions/ExtensionCommandsSource.h"
#include "features/extensions/ExtensionsCli.h"
#include "features/extensions/ui/CreateExtensionView.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "search/Search.h"

namespace vantrel {

ExtensionsFeature::ExtensionsFeature() = default;

ExtensionsFeature::~ExtensionsFeature() {
    m_subscriptions.reset();
    m_source.reset();
}

void ExtensionsFeature::registerWith(FeatureContext& context) {
    auto repository = std::make_shared<ExtensionsRepository>(context.search().search().repository()->dbConnection);
    m_registry = std::make_unique<ExtensionRegistry>(std::make_shared<RepositoryExtensionsStorage>(std::move(repository)),
                                                     &context.center());
    ExtensionRegistry* registry = m_registry.get();
    m_source = std::make_unique<ExtensionCommandsSource>(
        *registry, &context.search().dynamicCommandsSource(), context.center(),
        [registry](const ExtensionCommand& command, const CommandRunContext& run) {
            return runExtensionCommand(*registry, command, run);
        });
    m_source->reload();

    // A change made by another process (`vantrel extensions install`) reaches
    // the running launcher as a configuration change of the commands' package.
    m_subscriptions = std::make_unique<QObject>();
    ExtensionCommandsSource* source = m_source.get();
    context.center().addObserver(QString(NotificationNames::packageConfigurationDidChange), m_subscriptions.get(),
                                 [registry, source](const Notification& notice) {
                                     if (notice.object.toString() != QLatin1String(ExtensionCommandsSource::packageId))
                                         return;
                                     registry->fetchCommands(ExtensionRegistry::commandsLimit);
                                     source->reload();
                                 });

    context.addCommandResolver([source](const QString& id) -> std::shared_ptr<const VantrelCommand> {
        if (!id.startsWith(ExtensionCommand::keyPrefix)) return nullptr;
        return source->command(id);
    });

    context.addCommandHandler(QString(CreateExtensionForm::commandId), [](const VantrelCommand&, const CommandRunContext&) {
        return CommandOutcome::showView(QString(CreateExtensionForm::commandId));
    });
    FeatureContext* shared = &context;
    context.addView(QString(CreateExtensionForm::commandId), [registry, shared](const CommandOutcome&) -> QWidget* {
        std::function<void(const QString&)> open;
        if (const LauncherEnvironment* environment = shared->environment(); environment && environment->openUrl)
            open = [openUrl = environment->openUrl](const QString& folder) { openUrl(QUrl::fromLocalFile(folder)); };
        return new CreateExtensionView(*registry, std::move(open));
    });

    context.addCliCommand(QStringLiteral("extensions"), [registry](const QStringList& arguments) {
        return std::optional<int>(extensions::extensionsCommand(*registry, arguments));
    });
}

}  // namespace vantrel
