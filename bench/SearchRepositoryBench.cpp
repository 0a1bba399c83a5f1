// The search repository: writing 10k fresh records into an empty table,
// reloading the same 10k (every row matched, nothing changed), and reading
// 1000 records by id as the index does after a lookup.
//   ./dev bench --benchmark_filter=SearchRepository
#include "BenchSupport.h"

#include "data/SearchRepository.h"


#include <benchmark/benchmark.h>

namespace {

using namespace vantrel;

struct BenchSearchDatabase : bench::TemporaryDatabase {
    std::shared_ptr<DatabasePool> pool = open();

    void clear() const {
        pool->write([](Connection& db) { db.execute(QStringLiteral("DELETE FROM search")); });
    }
};

std::vector<SearchRecord> applications(int count) {
    std::vector<SearchRecord> records;
    records.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        SearchRecord record;
        record.key = QStringLiteral("/usr/share/applications/app%1.desktop").arg(i);
        record.type = SearchRecord::ContentType::systemApp;
        record.source = SearchRecord::Source::system;
        record.name = QStringLiteral("Application %1").arg(i);
        record.path = record.key;
        record.keywords = QStringLiteral("tool utility group%1").arg(i % 97);
        record.category = QStringLiteral("Utilities");
        records.push_back(std::move(record));
    }
    return records;
}

void BM_SearchRepositoryUpdateIntoEmptyTable(benchmark::State& state) {
    BenchSearchDatabase bench;
    SearchRepository repository(bench.pool);
    const auto records = applications(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        bench.clear();
        state.ResumeTiming();
        benchmark::DoNotOptimize(repository.update(SearchRecord::Source::system, records, SearchUpdateStrategy::all()));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SearchRepositoryUpdateIntoEmptyTable)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_SearchRepositoryReloadSameRecords(benchmark::State& state) {
    BenchSearchDatabase bench;
    SearchRepository repository(bench.pool);
    const auto records = applications(static_cast<int>(state.range(0)));
    repository.update(SearchRecord::Source::system, records, SearchUpdateStrategy::all());
    for (auto _ : state)
        benchmark::DoNotOptimize(repository.update(SearchRecord::Source::system, records, SearchUpdateStrategy::all()));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SearchRepositoryReloadSameRecords)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_SearchRepositoryReadSearchResults(benchmark::State& state) {
    BenchSearchDatabase bench;
    SearchRepository repository(bench.pool);
    repository.update(SearchRecord::Source::system, applications(10000), SearchUpdateStrategy::all());
    QList<qint64> ids;
    for (const SearchRecord& record : repository.readAllSearchResults({}, 10000)) ids << *record.id;
    QList<qint64> wanted;
    for (qsizetype i = 0; i < state.range(0); ++i) wanted << ids.at((i * 7) % ids.size());
    for (auto _ : state) benchmark::DoNotOptimize(repository.readSearchResults(wanted, 1000));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SearchRepositoryReadSearchResults)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
