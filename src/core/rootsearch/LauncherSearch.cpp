#include "core/rootsearch/LauncherSearch.h"

#include "core/commands/VantrelCommandsSource.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimer>

namespace vantrel {

LauncherSearch::LauncherSearch(std::shared_ptr<SearchRepository> repository, PackageRegistry& registry)
    : m_repository(std::move(repository)),
      m_registry(registry),
      m_search(std::make_unique<Search>(m_repository)),
      m_dynamicCommands(std::make_shared<VantrelDynamicCommandsSource>(registry)) {
    addDataSource(std::make_shared<VantrelCommandsSource>(registry));
    addDataSource(m_dynamicCommands);
}

LauncherSearch::~LauncherSearch() = default;

void LauncherSearch::addDataSource(std::shared_ptr<DataSource> source) {
    m_sources.push_back(source);
    m_search->addDataSource(std::move(source));
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
