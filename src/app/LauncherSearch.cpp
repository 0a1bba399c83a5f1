#include "app/LauncherSearch.h"

#include "app/VantrelCommandsSource.h"
#include "kit/UserDefaults.h"
#include "platform/ApplicationsSource.h"

#include <QEventLoop>
#include <QTimer>

namespace vantrel {

LauncherSearch::LauncherSearch(std::shared_ptr<SearchRepository> repository, PackageRegistry& registry,
                               const UserDefaults& defaults)
    : m_repository(std::move(repository)),
      m_registry(registry),
      m_search(std::make_unique<Search>(m_repository)),
      m_dynamicCommands(std::make_shared<VantrelDynamicCommandsSource>(registry)) {
    m_sources.push_back(std::make_shared<VantrelCommandsSource>(registry));
    m_sources.push_back(m_dynamicCommands);
    m_sources.push_back(std::shared_ptr<DataSource>(makeApplicationsSource(defaults)));
    for (const auto& source : m_sources) m_search->addDataSource(source);
}

LauncherSearch::~LauncherSearch() = default;

bool LauncherSearch::loadDataSourcesAndWait(int timeoutMs) {
    QEventLoop loop;
    bool finished = false;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    m_search->loadDataSources(kDataSourcesWaitingDuration, [&finished, &loop] {
        finished = true;
        loop.quit();
    });
    if (!finished) loop.exec();
    return finished;
}

std::vector<SearchItem> LauncherSearch::items(const QString& query, SearchOptions options) {
    return m_search->items(query, options, m_registry.searchResultFilter());
}

}  // namespace vantrel
