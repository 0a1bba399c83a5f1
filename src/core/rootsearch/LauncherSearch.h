#pragma once

#include "core/commands/PackageRegistry.h"
#include "core/commands/VantrelCommandsSource.h"
#include "search/DataSource.h"
#include "search/Search.h"

#include <QString>

#include <memory>
#include <vector>

namespace vantrel {

// The search engine as the launcher runs it: the search table of the
// encrypted database, filled by the built-in commands and the dynamic
// commands, then by the data sources the features add (the installed
// applications, the script commands…), with the registry's disabled-command
// filter on every query.
class LauncherSearch {
public:
    // Full loads of the data sources are at least this many seconds apart.
    static constexpr double kDataSourcesWaitingDuration = 5.0;

    LauncherSearch(std::shared_ptr<SearchRepository> repository, PackageRegistry& registry);
    ~LauncherSearch();
    LauncherSearch(const LauncherSearch&) = delete;
    LauncherSearch& operator=(const LauncherSearch&) = delete;

    Search& search() { return *m_search; }
    PackageRegistry& registry() { return m_registry; }
    const std::vector<std::shared_ptr<DataSource>>& dataSources() const { return m_sources; }
    VantrelDynamicCommandsSource& dynamicCommandsSource() { return *m_dynamicCommands; }
    // Adds a source after the ones already there (before the first load).
    void addDataSource(std::shared_ptr<DataSource> source);

    // Loads every data source (respecting the waiting duration), writes their
    // records and rebuilds the index, running the event loop of this thread
    // until that is done or timeoutMs have passed. Returns whether it finished.
    bool loadDataSourcesAndWait(int timeoutMs = 30000);

    // The ranked results for the query, without disabled commands.
    std::vector<SearchItem> items(const QString& query, SearchOptions options = {});

private:
    std::shared_ptr<SearchRepository> m_repository;
    PackageRegistry& m_registry;
    std::unique_ptr<Search> m_search;
    std::vector<std::shared_ptr<DataSource>> m_sources;
    std::shared_ptr<VantrelDynamicCommandsSource> m_dynamicCommands;
};

}  // namespace vantrel
