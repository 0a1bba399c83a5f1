// Root search at 10k applications (names from the shared corpus) plus the
// built-in commands: the whole path from a search-text change to the list of
// sections (engine lookup and ranking, the link and fallback providers, the
// calculator, building the items and their action providers), per query of
// queries.txt, with p50 and p99; and the home screen (empty query).
//   ./dev bench --benchmark_filter=RootSearch
// VANTREL_BENCH_DATA points at another folder with names-10k.txt and queries.txt.
#include "RootSearchSession.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

using namespace vantrel;

QString dataFile(const char* name) {
    const char* env = std::getenv("VANTREL_BENCH_DATA");
    const QString dir = env && *env ? QString::fromLocal8Bit(env) : QStringLiteral(VANTREL_BENCH_DATA_DIR);
    return dir + QLatin1Char('/') + QLatin1String(name);
}

// One database with the 10k applications and the built-in commands, indexed
// once, and a controller over it with every provider and the calculator.
using Session = bench::RootSearchSession;

Session* session() {
    static std::unique_ptr<Session> made;
    if (!made) made = Session::make(bench::readLines(dataFile("names-10k.txt")));
    return made.get();
}

void report(benchmark::State& state, std::vector<qint64>& micros) {
    std::sort(micros.begin(), micros.end());
    auto percentile = [&](double p) {
        return static_cast<double>(
            micros[std::min(micros.size() - 1, static_cast<size_t>(p * (micros.size() - 1) + 0.5))]);
    };
    state.counters["p50_us"] = percentile(0.50);
    state.counters["p99_us"] = percentile(0.99);
    state.counters["max_us"] = static_cast<double>(micros.back());
    state.counters["queries"] = static_cast<double>(micros.size());
}

void BM_RootSearchSections(benchmark::State& state) {
    QStringList queries = bench::readLines(dataFile("queries.txt"));
    // A few calculations and a link, as typed in the launcher.
    queries << QStringLiteral("2*3") << QStringLiteral("5 km to mi") << QStringLiteral("15% of 80")
            << QStringLiteral("open https://example.org/docs");
    Session* s = session();
    if (!s || queries.isEmpty()) {
        state.SkipWithError("corpus or queries not found (set VANTREL_BENCH_DATA)");
        return;
    }
    RootSearchController& controller = state.range(0) ? *s->controller : *s->withoutCalculator;
    for (const QString& query : queries) controller.searchTextDidChange(query);  // warm-up
    std::vector<qint64> micros;
    size_t sections = 0;
    QElapsedTimer timer;
    for (auto _ : state) {
        for (const QString& query : queries) {
            timer.start();
            controller.searchTextDidChange(query);
            micros.push_back(timer.nsecsElapsed() / 1000);
            sections += controller.sections().size();
        }
    }
    benchmark::DoNotOptimize(sections);
    report(state, micros);
    state.counters["records"] = 10000;
}
// Argument: 1 with the calculator, 0 without.
BENCHMARK(BM_RootSearchSections)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_RootSearchHome(benchmark::State& state) {
    Session* s = session();
    if (!s) {
        state.SkipWithError("corpus not found (set VANTREL_BENCH_DATA)");
        return;
    }
    std::vector<qint64> micros;
    QElapsedTimer timer;
    for (auto _ : state) {
        s->controller->searchTextDidChange(QStringLiteral("a"));
        timer.start();
        s->controller->searchTextDidChange(QString());
        micros.push_back(timer.nsecsElapsed() / 1000);
        benchmark::DoNotOptimize(s->controller->sections().size());
    }
    report(state, micros);
}
BENCHMARK(BM_RootSearchHome)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
