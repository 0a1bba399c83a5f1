// The calculator as typing drives it: every keystroke of root search asks the
// expression parser whether the query is a calculation. A mix of calculations and of
// words, names and sentences that must be turned down; reports the per-query
// latency (p50, p99, max) over the whole mix.
#include "core/rootsearch/ExpressionParser.h"
#include "platform/qalculate/QalculateCalculator.h"

#include <benchmark/benchmark.h>

#include <QStringList>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

namespace {

const QStringList& queries() {
    static const QStringList list = {
        // calculations
        "2*3", "5 km to mi", "100 f to c", "10 usd in eur", "sqrt(2)", "15% of 80", "2^10", "(1+2)*3", "1/3",
        "3 ft in cm", "1 gb in mb", "10 c to f", "1.5 + 2.25", "50 km/h to mph", "10!", "2 * pi",
        // what is typed on the way to them
        "5 k", "5 km", "5 km t", "5 km to", "10 us", "10 usd i", "sqrt(", "(1+2",
        // not calculations
        "terminal", "hello world", "firefox", "5 kg to m", "vim", "settings", "open", "g", "e", "a b", "firefox 2",
        "google chrome", "system monitor", "visual studio code", "what is 2 plus 2", "top 10", "meeting at 5", "ls -la",
        "windows 11", "iphone 15 pro"};
    return list;
}

void recordPercentiles(benchmark::State& state, std::vector<double>& micros) {
    if (micros.empty()) return;
    std::sort(micros.begin(), micros.end());
    auto at = [&](double fraction) { return micros[std::min(micros.size() - 1, size_t(fraction * micros.size()))]; };
    state.counters["p50_us"] = at(0.50);
    state.counters["p99_us"] = at(0.99);
    state.counters["max_us"] = micros.back();
}

void BM_CalculatorTypingMix(benchmark::State& state) {
    vantrel::ExpressionParser parser(std::make_shared<vantrel::QalculateCalculator>());
    for (const QString& query : queries())  // warm-up: engine creation, definitions
        parser.parseInput(query);
    std::vector<double> micros;
    for (auto _ : state) {
        for (const QString& query : queries()) {
            const auto start = std::chrono::steady_clock::now();
            auto output = parser.parseInput(query);
            const auto end = std::chrono::steady_clock::now();
            benchmark::DoNotOptimize(output);
            micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
        }
    }
    recordPercentiles(state, micros);
    state.SetItemsProcessed(int64_t(state.iterations()) * queries().size());
}
BENCHMARK(BM_CalculatorTypingMix)->Unit(benchmark::kMillisecond);

void BM_CalculatorRejectsWords(benchmark::State& state) {
    vantrel::QalculateCalculator calculator;
    const QStringList words = {"terminal", "hello world", "firefox", "settings", "visual studio code"};
    for (auto _ : state) {
        for (const QString& word : words) benchmark::DoNotOptimize(calculator.calculate(word));
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * words.size());
}
BENCHMARK(BM_CalculatorRejectsWords)->Unit(benchmark::kMicrosecond);

void BM_DateParse(benchmark::State& state) {
    vantrel::QalculateCalculator calculator;
    const QStringList texts = {"tomorrow at 9", "now + 1 week", "monday", "25 december", "in 3 days", "2027-01-15"};
    for (auto _ : state) {
        for (const QString& text : texts) benchmark::DoNotOptimize(calculator.parseDate(text));
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * texts.size());
}
BENCHMARK(BM_DateParse)->Unit(benchmark::kMicrosecond);

}  // namespace
