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
#include "features/extensions/ExtensionsStore.h"
#include "features/extensions/ui/CreateExtensionView.h"
#include "features/extensions/ui/ExtensionsStoreView.h"
#include "data/Keychain.h"
#include "net/HTTPClient.h"
#include "platform/Platform.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "core/commands/VantrelCommandsSource.h"
#include "kit/VantrelError.h"
#include "search/Search.h"
#include "ui/toolkit/LauncherView.h"

#include <QEventLoop>
#include <QTimer>

namespace vantrel {

namespace {

// The commands' records go to the search table now (a one-shot command line
// process ends before the background rebuild would write them), so that the
// next `vantrel search` finds exactly what is installed.
void publish(FeatureContext& context, ExtensionCommandsSource& source) {
    const QSet<CommandIdentifier> disabled =
        context.registry().packageDisabledCommands().value(PackageIdentifier(QString(ExtensionCommandsSource::packageId)));
    DataSourceUpdate update;
    std::vector<SearchRecord>& records = update.records[SearchRecord::Source::extensionCommands];
    for (const auto& command : source.commands())
        if (!disabled.contains(command->id()))
            records.push_back(VantrelCommandsSource::record(*command, command->package()->displayName(),
                                                            SearchRecord::Source::extensionCommands));
    update.strategy = SearchUpdateStrategy::source();
    QEventLoop loop;
    std::optional<bool> written;
    context.search().search().updateDataSources({update}, 0, [&](const std::optional<VantrelError>& error) {
        QMetaObject::invokeMethod(
            &loop,
            [&, failed = error.has_value()] {
                written = !failed;
                loop.quit();
            },
            Qt::QueuedConnection);
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    if (!written) loop.exec();
}

}  // namespace

ExtensionsFeature::ExtensionsFeature() = default;

ExtensionsFeature::~ExtensionsFeature() {
    m_store.reset();
    m_http.reset();
    m_subscriptions.reset();
    m_source.reset();
}

#ifndef VANTREL_EXTENSIONS_STORE_URL
#define VANTREL_EXTENSIONS_STORE_URL "https://extensions.vantrel.org/index.json"
#endif

QString ExtensionsFeature::defaultStoreIndex() { return QStringLiteral(VANTREL_EXTENSIONS_STORE_URL); }

QUrl ExtensionsFeature::storeIndexUrl(const PackageRegistry& registry) {
    const std::optional<QString> value = registry.stringValue(PackageIdentifier(storePackageId), storeIndexKey);
    const QString text = value ? value->trimmed() : QString();
    return QUrl(text.isEmpty() ? defaultStoreIndex() : text);
}

ExtensionsStore* ExtensionsFeature::store() {
    if (!m_store && m_registry) {
        m_http = HTTPClient::withEncryptedCache(platform().makeKeychainBackend ? platform().makeKeychainBackend() : nullptr);
        if (!m_http) return nullptr;
        m_store = std::make_unique<ExtensionsStore>(*m_http, *m_registry);
    }
    return m_store.get();
}

void ExtensionsFeature::registerWith(FeatureContext& context) {
    auto repository = std::make_shared<ExtensionsRepository>(context.search().search().repository()->dbConnection);
    m_registry = std::make_unique<ExtensionRegistry>(std::make_shared<RepositoryExtensionsStorage>(std::move(repository)),
                                                     &context.center());
    ExtensionRegistry* registry = m_registry.get();
    FeatureContext* runContext = &context;
    m_source = std::make_unique<ExtensionCommandsSource>(
        *registry, &context.search().dynamicCommandsSource(), context.center(),
        [registry, runContext](const ExtensionCommand& command, const CommandRunContext& run) {
            return runExtensionCommand(*registry, command, run, runContext->presenter());
        });
    m_source->loadInitial();

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

    context.addViewResolver([registry, shared](const CommandOutcome& outcome) -> QWidget* {
        return extensionCommandView(*registry, outcome.commandId, shared->presenter());
    });

    const QString noKeychain = QStringLiteral("There is no keychain on this desktop to keep the download cache key in");
    PackageRegistry* packages = &context.registry();
    context.addCommandHandler(storeCommandId, [this, noKeychain](const VantrelCommand&, const CommandRunContext& run) {
        if (!store()) return CommandOutcome::failed(QStringLiteral("Failed loading extensions"), noKeychain);
        return CommandOutcome::showView(storeCommandId, run.inputText());
    });
    context.addView(storeCommandId, [this, packages, registry, source](const CommandOutcome&) -> QWidget* {
        ExtensionsStore* current = store();
        if (!current) return nullptr;
        return new ExtensionsStoreView(*current, storeIndexUrl(*packages), [registry, source] {
            registry->fetchCommands(ExtensionRegistry::commandsLimit);
            source->reload();
        });
    });

    const auto changed = [registry, source, shared] {
        registry->fetchCommands(ExtensionRegistry::commandsLimit);
        source->reload();
        publish(*shared, *source);
    };
    // `vantrel run extensionsStore [--json]` lists the store as `vantrel extensions store` does.
    context.addCliCommand(QStringLiteral("run"), [this, registry, packages, noKeychain, changed](const QStringList& arguments) {
        if (arguments.value(0) == storeCommandId)
            return std::optional<int>(
                extensions::storeCommand(store(), storeIndexUrl(*packages), arguments.mid(1), noKeychain, changed));
        return runExtensionCommandFromCommandLine(*registry, arguments);
    });
    context.addCliCommand(QStringLiteral("extensions"), [this, registry, packages, noKeychain, changed](const QStringList& arguments) {
        if (arguments.value(0) == QLatin1String("store"))
            return std::optional<int>(
                extensions::storeCommand(store(), storeIndexUrl(*packages), arguments.mid(1), noKeychain, changed));
        return std::optional<int>(extensions::extensionsCommand(*registry, arguments, changed));
    });
}

}  // namespace vantrel
