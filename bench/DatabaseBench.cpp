// The encrypted database: opening (key derivation included), batched writes,
// point reads and name-prefix queries on a search table of 10k rows.
//   ./dev bench --benchmark_filter=Database
#include "BenchSupport.h"


#include <benchmark/benchmark.h>

namespace {

using namespace vantrel;

struct BenchDatabase : bench::TemporaryDatabase {
    static void fill(DatabasePool& pool, int rows) {
        pool.write([&](Connection& db) {
            auto insert = db.prepare(QStringLiteral(
                "INSERT INTO search (key, type, source, name, keywords) VALUES (?, 'systemApp', 'system', ?, ?)"));
            for (int i = 0; i < rows; ++i) {
                insert.reset();
                insert.bind({QStringLiteral("app.%1").arg(i), QStringLiteral("Application %1").arg(i),
                             QStringLiteral("tool utility %1").arg(i % 97)});
                insert.step();
            }
        });
    }
};

void BM_DatabaseOpenExisting(benchmark::State& state) {
    BenchDatabase bench;
    { bench.open(); }
    for (auto _ : state) {
        auto pool = bench.open();
        benchmark::DoNotOptimize(pool);
    }
}
BENCHMARK(BM_DatabaseOpenExisting)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_DatabaseInsertBatch(benchmark::State& state) {
    BenchDatabase bench;
    auto pool = bench.open();
    for (auto _ : state) BenchDatabase::fill(*pool, static_cast<int>(state.range(0)));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DatabaseInsertBatch)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_DatabasePointRead(benchmark::State& state) {
    BenchDatabase bench;
    auto pool = bench.open();
    BenchDatabase::fill(*pool, 10000);
    qint64 id = 1;
    for (auto _ : state) {
        auto name = pool->read([&](Connection& db) {
            return db.scalar(QStringLiteral("SELECT name FROM search WHERE id = ?"), {id});
        });
        benchmark::DoNotOptimize(name);
        id = id % 10000 + 1;
    }
}
BENCHMARK(BM_DatabasePointRead)->Unit(benchmark::kMicrosecond);

void BM_DatabaseFullTextPrefix(benchmark::State& state) {
    BenchDatabase bench;
    auto pool = bench.open();
    BenchDatabase::fill(*pool, 10000);
    for (auto _ : state) {
        auto rows = pool->read([&](Connection& db) {
            return db.query(QStringLiteral("SELECT rowid FROM search_fts WHERE search_fts MATCH 'appl*' "
                                           "ORDER BY rank LIMIT 50"));
        });
        benchmark::DoNotOptimize(rows);
    }
}
BENCHMARK(BM_DatabaseFullTextPrefix)->Unit(benchmark::kMicrosecond);

}  // namespace

