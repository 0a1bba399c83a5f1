#include "app/LauncherSearch.h"

#include "app/ScriptVantrelCommand.h"
#include "app/VantrelCommandsSource.h"
#include "kit/UserDefaults.h"
#include "platform/ApplicationsSource.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimer>

namespace vantrel {

LauncherSearch::LauncherSearch(std::shared_ptr<SearchRepository> repository, PackageRegistry& registry,
                               const UserDefaults& defaults)
    : m_repository(std::move(repository)),
      m_registry(registry),
      m_search(std::make_unique<Search>(m_repository)),
      m_dynamicCommands(std::make_shared<VantrelDynamicCommandsSource>(registry)),
      m_scriptCommandsService(std::make_unique<ScriptCommandsService>(registry, &defaults)),
      m_scriptCommandsSource(std::make_shared<ScriptCommandsSource>(*m_scriptCommandsService)) {
    m_sources.push_back(std::make_shared<VantrelCommandsSource>(registry));
    m_sources.push_back(m_dynamicCommands);
    m_sources.push_back(std::shared_ptr<DataSource>(makeApplicationsSource(defaults)));
    m_sources.push_back(m_scriptCommandsSource);
    for (const auto& source : m_sources) m_search->addDataSource(source);

    ScriptCommandsService* service = m_scriptCommandsService.get();
    const PackageRegistry* lookup = &registry;
    m_scriptResolverToken = registry.addCommandResolver(
        [service, lookup](const CommandIdentifier& id) -> std::shared_ptr<const VantrelCommand> {
            if (!id.rawValue.startsWith(ScriptCommand::idPrefix)) return nullptr;
            auto command = service->command(id.rawValue);
            if (!command) return nullptr;
            return std::make_shared<ScriptVantrelCommand>(std::move(*command), lookup);
        });
}

LauncherSearch::~LauncherSearch() {
    m_registry.removeCommandResolver(m_scriptResolverToken);
}

bool LauncherSearch::loadDataSourcesAndWait(int timeoutMs) {
    // The completion may come after the wait gave up: it only touches shared state.
    auto finished = std::make_shared<bool>(false);
    QEventLoop loop;
    QPointer<QEventLoop> waiting(&loop);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    m_search->loadDataSources(kDataSourcesWaitingDuration, [finished, waiting] {
        *finished = true;
        if (waiting) waiting->quit();
    });
    if (!*finished) loop.exec();
    return *finished;
}

std::vector<SearchItem> LauncherSearch::items(const QString& query, SearchOptions options) {
    return m_search->items(query, options, m_registry.searchResultFilter());
}

}  // namespace vantrel
