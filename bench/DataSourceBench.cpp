// The loading side of the search engine at 10k records named after the shared
// corpus: one full update through Search::updateDataSources (the write in one
// transaction on the pool's writer, then the index rebuilt from every stored
// row), timed until its completion runs on the main thread.
//   First: into an empty database (every row inserted).
//   Again: the same records once more (every row compared, nothing changes),
//          what each start-up load does.
//   ./dev bench --benchmark_filter=DataSource
// VANTREL_BENCH_DATA points at another folder with names-10k.txt.
#include "BenchSupport.h"

#include "data/SearchRepository.h"
#include "search/DataSource.h"
#include "search/Search.h"

#include <QEventLoop>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <optional>

namespace {

using namespace vantrel;

QString namesFile() {
    const char* env = std::getenv("VANTREL_BENCH_DATA");
    const QString dir = env && *env ? QString::fromLocal8Bit(env) : QStringLiteral(VANTREL_BENCH_DATA_DIR);
    return dir + QStringLiteral("/names-10k.txt");
}

DataSourceUpdate corpusUpdate() {
    DataSourceUpdate update;
    std::vector<SearchRecord>& records = update.records[SearchRecord::Source::system];
    qint64 n = 0;
    for (const QString& name : bench::readLines(namesFile())) {
        SearchRecord record;
        record.key = QStringLiteral("/usr/share/applications/bench-%1.desktop").arg(++n);
        record.type = SearchRecord::ContentType::systemApp;
        record.source = SearchRecord::Source::system;
        record.name = name;
        record.path = record.key;
        records.push_back(std::move(record));
    }
    return update;
}

// One fresh encrypted database with a search engine over it.
struct Engine {
    bench::TemporaryDatabase database;
    std::shared_ptr<SearchRepository> repository;
    std::unique_ptr<Search> search;

    bool open() {
        auto pool = database.open();
        if (!pool) return false;
        repository = std::make_shared<SearchRepository>(pool);
        search = std::make_unique<Search>(repository);
        return true;
    }

    // Writes the update and waits (in the event loop) until the rebuilt index answers.
    bool update(const DataSourceUpdate& update) {
        QEventLoop loop;
        bool failed = false;
        search->updateDataSources({update}, 0, [&](const std::optional<VantrelError>& error) {
            failed = error.has_value();
            loop.quit();
        });
        loop.exec();
        return !failed;
    }
};

void BM_DataSourceUpdateFirst(benchmark::State& state) {
    const DataSourceUpdate update = corpusUpdate();
    if (update.recordCount() == 0) {
        state.SkipWithError("names file not found (set VANTREL_BENCH_DATA)");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        auto engine = std::make_unique<Engine>();
        if (!engine->open()) {
            state.SkipWithError("database could not be opened");
            return;
        }
        state.ResumeTiming();
        if (!engine->update(update)) {
            state.SkipWithError("update failed");
            return;
        }
        state.PauseTiming();
        engine.reset();
        state.ResumeTiming();
    }
    state.counters["records"] = static_cast<double>(update.recordCount());
}
BENCHMARK(BM_DataSourceUpdateFirst)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_DataSourceUpdateAgain(benchmark::State& state) {
    const DataSourceUpdate update = corpusUpdate();
    Engine engine;
    if (update.recordCount() == 0 || !engine.open() || !engine.update(update)) {
        state.SkipWithError("names file or database not available (set VANTREL_BENCH_DATA)");
        return;
    }
    for (auto _ : state) {
        if (!engine.update(update)) {
            state.SkipWithError("update failed");
            return;
        }
    }
    state.counters["records"] = static_cast<double>(update.recordCount());
}
BENCHMARK(BM_DataSourceUpdateAgain)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
