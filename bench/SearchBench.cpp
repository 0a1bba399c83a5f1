// The search engine at 10k and 100k records named after the shared corpora:
// building the radix-tree index (time, keys, nodes, resident memory) and the
// whole query path Search::items (index lookup, database read, ranking) over
// the 200 short queries, with p50 and p99 per query.
//   ./dev bench --benchmark_filter=Search
// VANTREL_BENCH_DATA points at another folder with names-10k.txt,
// names-100k.txt and queries.txt.
#include "BenchSupport.h"

#include "data/SearchRepository.h"
#include "search/RadixTreeIndex.h"
#include "search/Search.h"

#include <QElapsedTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

namespace {

using namespace vantrel;

QString dataFile(const char* name) {
    const char* env = std::getenv("VANTREL_BENCH_DATA");
    const QString dir = env && *env ? QString::fromLocal8Bit(env) : QStringLiteral(VANTREL_BENCH_DATA_DIR);
    return dir + QLatin1Char('/') + QLatin1String(name);
}

QString namesFile(int64_t count) { return dataFile(count >= 100000 ? "names-100k.txt" : "names-10k.txt"); }

std::vector<SearchRecord> records(int64_t count) {
    std::vector<SearchRecord> out;
    qint64 id = 0;
    for (const QString& name : bench::readLines(namesFile(count))) {
        SearchRecord record;
        record.id = ++id;
        record.key = QStringLiteral("/usr/share/applications/bench-%1.desktop").arg(id);
        record.type = SearchRecord::ContentType::systemApp;
        record.source = SearchRecord::Source::system;
        record.name = name;
        out.push_back(std::move(record));
    }
    return out;
}

void BM_SearchIndexBuild(benchmark::State& state) {
    const std::vector<SearchRecord> input = records(state.range(0));
    if (input.empty()) {
        state.SkipWithError("names file not found (set VANTREL_BENCH_DATA)");
        return;
    }
    quint64 keys = 0, distinct = 0, bytes = 0;
    long rssGrowth = 0;
    for (auto _ : state) {
        const long before = bench::residentKilobytes();
        auto table = RadixTreeIndex::buildKeys(input);
        rssGrowth = bench::residentKilobytes() - before;
        keys = table->pairCount();
        distinct = table->keyCount();
        bytes = table->memoryBytes();
        benchmark::DoNotOptimize(table);
    }
    state.counters["records"] = static_cast<double>(input.size());
    state.counters["keys"] = static_cast<double>(keys);
    state.counters["distinct_keys"] = static_cast<double>(distinct);
    state.counters["table_bytes"] = static_cast<double>(bytes);
    state.counters["rss_growth_kb"] = static_cast<double>(rssGrowth);
}
BENCHMARK(BM_SearchIndexBuild)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(2);

// One encrypted database per corpus size, filled and indexed once.
struct Corpus {
    bench::TemporaryDatabase database;
    std::shared_ptr<SearchRepository> repository;
    std::unique_ptr<Search> search;
};

Corpus* corpus(int64_t count) {
    static std::map<int64_t, std::unique_ptr<Corpus>> corpora;
    auto& slot = corpora[count];
    if (slot) return slot.get();
    auto made = std::make_unique<Corpus>();
    auto pool = made->database.open();
    if (!pool) return nullptr;
    made->repository = std::make_shared<SearchRepository>(pool);
    std::vector<SearchRecord> input = records(count);
    for (SearchRecord& record : input) record.id.reset();
    made->repository->update(SearchRecord::Source::system, input, SearchUpdateStrategy::source());
    made->search = std::make_unique<Search>(made->repository);
    made->search->indexAll();
    slot = std::move(made);
    return slot.get();
}

void BM_SearchItems(benchmark::State& state) {
    const QStringList queries = bench::readLines(dataFile("queries.txt"));
    Corpus* c = corpus(state.range(0));
    if (!c || queries.isEmpty()) {
        state.SkipWithError("corpus or queries not found (set VANTREL_BENCH_DATA)");
        return;
    }
    for (const QString& query : queries) c->search->items(query);  // warm-up
    std::vector<qint64> micros;
    QElapsedTimer timer;
    for (auto _ : state) {
        for (const QString& query : queries) {
            timer.start();
            auto items = c->search->items(query);
            micros.push_back(timer.nsecsElapsed() / 1000);
            benchmark::DoNotOptimize(items);
        }
    }
    std::sort(micros.begin(), micros.end());
    auto percentile = [&](double p) {
        return static_cast<double>(micros[std::min(micros.size() - 1, static_cast<size_t>(p * (micros.size() - 1) + 0.5))]);
    };
    state.counters["p50_us"] = percentile(0.50);
    state.counters["p99_us"] = percentile(0.99);
    state.counters["max_us"] = static_cast<double>(micros.back());
    state.counters["queries"] = static_cast<double>(micros.size());
}
BENCHMARK(BM_SearchItems)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
