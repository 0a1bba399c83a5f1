#pragma once

#include "data/SearchRepository.h"
#include "kit/Promise.h"
#include "kit/Signal.h"
#include "kit/VantrelError.h"
#include "search/DataSourceLoader.h"
#include "search/Ranking.h"
#include "search/SearchIndex.h"
#include "search/SearchItem.h"

#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace vantrel {

// Adds results that do not come from the index (calculator, links, fallbacks…).
class SearchProvider {
public:
    virtual ~SearchProvider() = default;
    virtual std::vector<SearchItem> results(const QString& term) const = 0;
};

// A lookup that found nothing answers the closest name instead.
struct CorrectedItem {
    SearchItem item;
    QString name;  // the compared prefix of the lower-cased name
    qint64 levenshtein = 0;
};

// The search engine: prefix lookups with typo correction, suggestions and
// visits on the query side; on the loading side the data sources whose records
// it writes to the database and indexes. Its index, ranking, providers and
// data-source loader are created on first use and kept for its lifetime.
//
// Database writes and index rebuilds run one after the other on a background
// thread, in the order they were asked for; completions run on the main
// thread. Destroying the engine drops the work still waiting and waits for the
// work already running.
class Search {
public:
    explicit Search(std::shared_ptr<SearchRepository> repository, std::shared_ptr<SearchIndex> index = nullptr);
    ~Search();
    Search(const Search&) = delete;
    Search& operator=(const Search&) = delete;

    SearchIndex& searchIndex();
    Ranking& ranking();
    const std::shared_ptr<SearchRepository>& repository() const { return m_repository; }

    void addSearchProvider(std::shared_ptr<SearchProvider> provider);

    // Reads every installed record and rebuilds the index from it, on the
    // calling thread. When the records cannot be read the previous index stays.
    void indexAll(IndexingMode mode = IndexingMode::prefix, std::function<void()> completion = {});

    // MARK: Loading

    // Runs when a write and the rebuild after it are done; carries the write's
    // error when the records could not be stored (the rows stay as they were).
    using UpdateCompletion = std::function<void(const std::optional<VantrelError>& error)>;

    // The mode of the rebuilds that index() schedules (default prefix).
    IndexingMode indexingMode() const;
    void setIndexingMode(IndexingMode mode);
    // How long the rebuild after a source's own later update waits for more
    // updates, in seconds (default 0.5).
    double updateIndexingDelay() const;
    void setUpdateIndexingDelay(double seconds);

    DataSourceLoader& dataSourceLoader();
    // The source takes part in the next loadDataSources.
    void addDataSource(std::shared_ptr<DataSource> dataSource);

    // Loads every data source (at most once per waitingDuration seconds), writes
    // what loaded, also when some sources failed, and rebuilds the index; the
    // completion then runs on the main thread. A call within the waiting
    // duration of the previous load does nothing and never completes. Updates
    // the sources deliver later are written and indexed the same way.
    void loadDataSources(double waitingDuration, std::function<void()> completion = {});
    // Writes each update with its strategy, then rebuilds the index after
    // indexingDelay seconds (see index()).
    void updateDataSources(std::vector<DataSourceUpdate> updates, double indexingDelay,
                           UpdateCompletion completion = {});
    // Rebuilds the index from every installed record after delay seconds, once
    // the writes asked for before it are done. A call while a rebuild is still
    // waiting replaces it: a burst of calls gives one rebuild, after which
    // every caller's completion runs on the main thread.
    void index(double delay, std::function<void()> completion = {});
    // Deletes the rows flagged uninstalled; the completion gets how many.
    void removeUninstalledRecords(std::function<void(const Result<int>&)> completion = {});

    // The change publisher: published on the main thread each time an update
    // a source delivered on its own after loading (an application installed,
    // scripts edited, a package switched on) has gone to the table and the
    // index has been rebuilt after it. Connect and disconnect on the main
    // thread.
    Signal<>& recordsDidChange();

    std::vector<SearchItem> items(const QString& term, SearchOptions options = {},
                                  const SearchItemFilter& filter = {});
    std::vector<SearchItem> corrections(const QString& term, int maxLength = 20, int minDistance = 1,
                                        SearchOptions options = {}, const SearchItemFilter& filter = {});
    // The second stage of typo correction, when the whole-name correction
    // found nothing either: the records that have, for every typed word, a
    // name word within one edit (words of 4 to 7 characters) or two (longer
    // words), a swap of two neighbouring letters counting as one; shorter
    // typed words must start a name word. Ranked as items() ranks, with the
    // term as typed.
    std::vector<SearchItem> wordCorrections(const QString& term, SearchOptions options = {},
                                            const SearchItemFilter& filter = {});
    // limit must not be negative.
    std::vector<SearchItem> suggestions(int limit, const SearchItemFilter& filter = {});

    // The two parts of items() for the empty term, for callers that keep what
    // they make of it: every indexed row, unfiltered and unranked, and what
    // the providers add after them. While the rows stay the same (the same
    // table version) the same list is answered, so the pointer tells a caller
    // whether the rows changed. items(empty term) is the rows that pass the
    // filter followed by the provided ones, as long as some rows pass.
    std::shared_ptr<const std::vector<SearchItem>> emptyTermRows() { return allItems(); }
    std::vector<SearchItem> providedItems(const QString& term) const { return providerResults(term); }

    // Records a visit and posts "didUprankItemNotification" with the item's key.
    std::optional<SearchItem> visit(const SearchItem& item, Ranking::VisitKind kind = Ranking::VisitKind::defaultVisit,
                                    const std::optional<QString>& searchTerm = std::nullopt);

    SearchRecord setAlias(const std::optional<QString>& alias, const QString& key);
    SearchRecord setHotkey(const std::optional<QString>& hotkey, const QString& key);
    double addToFavorites(const QString& key);

    static constexpr int kCorrectionMaxLength = 20;
    static constexpr int kCorrectionMinDistance = 1;

private:
    struct Loading;

    std::vector<SearchItem> providerResults(const QString& term) const;
    // What the index answers for the empty term, unfiltered, and the same
    // ranked for the empty term: kept while the table's version stays, when
    // the index answers the empty term from the table.
    std::shared_ptr<const std::vector<SearchItem>> allItems();
    std::shared_ptr<const std::vector<SearchItem>> allItemsRanked();
    // Reads every installed record; logs and answers nothing when that fails.
    std::optional<std::vector<SearchRecord>> readAllRecords() const;
    void rebuildIndex(IndexingMode mode, std::function<void()> completion);
    void writeLoadedUpdate(const DataSourceUpdate& update, std::function<void()> completion);
    void writeLaterUpdate(const DataSourceUpdate& update);

    std::shared_ptr<SearchRepository> m_repository;
    std::once_flag m_indexOnce;
    std::shared_ptr<SearchIndex> m_index;
    std::once_flag m_rankingOnce;
    std::unique_ptr<Ranking> m_ranking;
    mutable std::mutex m_providersMutex;
    std::vector<std::shared_ptr<SearchProvider>> m_providers;
    std::shared_ptr<Loading> m_loading;
    struct EmptyTerm {
        quint64 version = 0;
        std::shared_ptr<const std::vector<SearchItem>> items;
        std::shared_ptr<const std::vector<SearchItem>> ranked;
    };
    std::mutex m_emptyTermMutex;
    EmptyTerm m_emptyTerm;
    std::once_flag m_loaderOnce;
    std::unique_ptr<DataSourceLoader> m_loader;
};

}  // namespace vantrel
