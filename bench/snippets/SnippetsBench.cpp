// Keyword expansion: what one key event costs the parser with 1,000 keyword
// snippets. Runs without a display:
//   build/bench/vantrel_snippets_bench
#include "features/snippets/SnippetAliasParser.h"

#include <benchmark/benchmark.h>

#include <QString>

#include <algorithm>
#include <chrono>
#include <random>
#include <vector>

namespace {

using namespace vantrel;

std::vector<SnippetRecord> keywordSnippets(int count) {
    std::vector<SnippetRecord> snippets;
    std::mt19937 random(7);
    const QString letters = QStringLiteral("abcdefghijklmnopqrstuvwxyz");
    for (int i = 0; i < count; ++i) {
        SnippetRecord record;
        record.id = i + 1;
        record.name = QStringLiteral("Snippet %1").arg(i);
        record.text = QStringLiteral("Text of snippet %1").arg(i);
        // Keywords share prefixes, as real ones do (";addr", ";addr2", ";ad…").
        QString keyword = QStringLiteral(";");
        const int length = 2 + int(random() % 6);
        for (int c = 0; c < length; ++c) keyword += letters[int(random() % 6)];
        record.alias = keyword;
        snippets.push_back(record);
    }
    return snippets;
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

// Prose with keywords and near misses mixed in: every key is one parse.
void BM_SnippetParserKeyEvent(benchmark::State& state) {
    std::vector<SnippetRecord> snippets = keywordSnippets(int(state.range(0)));
    QString typing;
    for (int i = 0; i < 40; ++i)
        typing += QStringLiteral("hello world ") + *snippets[size_t(i * 13) % snippets.size()].alias +
                  QStringLiteral(" and ;abz x;abc ");
    SnippetAliasParser parser(snippets, std::nullopt, SnippetTimings::fromRepeatDelay(0.5));
    std::vector<double> latencies;
    double now = 0;
    for (auto _ : state) {
        for (QChar character : typing) {
            now += 1.0;  // every event outside the confirmation and revert windows
            const SnippetKeyEvent event = SnippetKeyEvent::key(QString(character), now);
            const auto start = std::chrono::steady_clock::now();
            benchmark::DoNotOptimize(parser.parse(event));
            latencies.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
    }
    state.counters["p50_ms"] = percentile(latencies, 0.50);
    state.counters["p99_ms"] = percentile(latencies, 0.99);
    state.counters["max_ms"] = percentile(latencies, 1.0);
    state.SetItemsProcessed(int64_t(latencies.size()));
}
BENCHMARK(BM_SnippetParserKeyEvent)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
