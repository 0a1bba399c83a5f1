// Index-key derivation over real-world name lists: searchKeys and fuzzyKeys for every
// name, normalizedForSearch alone (ASCII names and a set of non-ASCII ones), and a
// trie built from the keys with fuzzy lookups of the query list.
//
// Inputs are read at run time from $VANTREL_BENCH_DATA, or the shared data folder given
// at build time: names-10k.txt, names-100k.txt (one name per line) and queries.txt.
#include "search/CorrectionIndex.h"
#include "search/Normalization.h"
#include "search/SearchKeys.h"
#include "search/Trie.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdlib>
#include <map>

namespace {

QString benchDataDir() {
    if (const char* env = std::getenv("VANTREL_BENCH_DATA"); env != nullptr && *env != '\0')
        return QString::fromLocal8Bit(env);
    return QStringLiteral(VANTREL_BENCH_DATA_DIR);
}

// The non-empty lines of a data file as they are (case kept); read once per file.
const QStringList& dataLines(const QString& file) {
    static std::map<QString, QStringList> cache;
    auto found = cache.find(file);
    if (found != cache.end()) return found->second;
    QStringList& out = cache[file];
    QFile in(benchDataDir() + u'/' + file);
    if (in.open(QIODevice::ReadOnly)) {
        for (const QString& line : QString::fromUtf8(in.readAll()).split(u'\n')) {
            const QString trimmed = line.endsWith(u'\r') ? line.chopped(1) : line;
            if (!trimmed.isEmpty()) out.append(trimmed);
        }
    }
    return out;
}

const QStringList& names(int64_t count) {
    return dataLines(count == 10000 ? QStringLiteral("names-10k.txt") : QStringLiteral("names-100k.txt"));
}

bool checkLoaded(benchmark::State& state, const QStringList& list) {
    if (!list.isEmpty()) return true;
    state.SkipWithError("benchmark data not found; set VANTREL_BENCH_DATA");
    return false;
}

void BM_SearchKeysAllNames(benchmark::State& state) {
    const QStringList& list = names(state.range(0));
    if (!checkLoaded(state, list)) return;
    const QSet<QString> noKeywords;
    qint64 keys = 0;
    for (auto _ : state) {
        keys = 0;
        for (const QString& name : list) {
            const QSet<QString> result = vantrel::searchKeys(name, noKeywords);
            keys += result.size();
        }
        benchmark::DoNotOptimize(keys);
    }
    state.counters["names"] = double(list.size());
    state.counters["keys"] = double(keys);
    state.counters["keys_per_name"] = double(keys) / double(list.size());
    state.counters["names_per_s"] =
        benchmark::Counter(double(list.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_SearchKeysAllNames)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The typo-correction tables an index build makes beside the prefix keys.
void BM_CorrectionIndexBuild(benchmark::State& state) {
    const QStringList& list = names(state.range(0));
    if (!checkLoaded(state, list)) return;
    std::vector<vantrel::SearchRecord> records;
    records.reserve(size_t(list.size()));
    for (qsizetype i = 0; i < list.size(); ++i) {
        vantrel::SearchRecord record;
        record.id = i + 1;
        record.name = list.at(i);
        records.push_back(std::move(record));
    }
    size_t words = 0;
    for (auto _ : state) {
        const vantrel::CorrectionIndex index(records);
        words = index.wordCount();
        benchmark::DoNotOptimize(words);
    }
    state.counters["words"] = double(words);
}
BENCHMARK(BM_CorrectionIndexBuild)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_FuzzyKeysAllNames(benchmark::State& state) {
    const QStringList& list = names(state.range(0));
    if (!checkLoaded(state, list)) return;
    const QSet<QString> noKeywords;
    for (auto _ : state) {
        qint64 keys = 0;
        for (const QString& name : list) keys += vantrel::fuzzyKeys(name, noKeywords).size();
        benchmark::DoNotOptimize(keys);
    }
    state.counters["names_per_s"] =
        benchmark::Counter(double(list.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_FuzzyKeysAllNames)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_NormalizedForSearchAllNames(benchmark::State& state) {
    const QStringList& list = names(state.range(0));
    if (!checkLoaded(state, list)) return;
    for (auto _ : state) {
        for (const QString& name : list) benchmark::DoNotOptimize(vantrel::normalizedForSearch(name));
    }
    state.counters["names_per_s"] =
        benchmark::Counter(double(list.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_NormalizedForSearchAllNames)->Arg(10000)->Unit(benchmark::kMillisecond);

// Names outside ASCII take the transliterator rather than the ASCII shortcut.
void BM_NormalizedForSearchNonAscii(benchmark::State& state) {
    const QStringList list{QStringLiteral(u"Café Crème"), QStringLiteral(u"Кинотеатр Москва"),
                           QStringLiteral(u"Ελληνικά Νέα"), QStringLiteral(u"Straße Grüße"),
                           QStringLiteral(u"Ｆｕｌｌ Ｗｉｄｔｈ"), QStringLiteral(u"日本語入力"),
                           QStringLiteral(u"Ørsted Åland"), QStringLiteral(u"한국어 사전")};
    for (auto _ : state) {
        for (const QString& name : list) benchmark::DoNotOptimize(vantrel::normalizedForSearch(name));
    }
    state.counters["names_per_s"] =
        benchmark::Counter(double(list.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_NormalizedForSearchNonAscii)->Unit(benchmark::kMicrosecond);

void BM_TrieBuildFromSearchKeys(benchmark::State& state) {
    const QStringList& list = names(state.range(0));
    if (!checkLoaded(state, list)) return;
    QList<QSet<QString>> keySets;
    keySets.reserve(list.size());
    for (const QString& name : list) keySets.append(vantrel::searchKeys(name, {}));
    for (auto _ : state) {
        vantrel::Trie trie;
        for (qsizetype id = 0; id < keySets.size(); ++id)
            for (const QString& key : keySets[id]) trie.insert(key, id, false);
        benchmark::DoNotOptimize(trie.root().children.size());
    }
}
BENCHMARK(BM_TrieBuildFromSearchKeys)->Arg(10000)->Unit(benchmark::kMillisecond);

// Fuzzy mode: one key per name with masks, then every query of queries.txt.
void BM_TrieFuzzySearchQueries(benchmark::State& state) {
    const QStringList& list = names(state.range(0));
    const QStringList& queries = dataLines(QStringLiteral("queries.txt"));
    if (!checkLoaded(state, list) || !checkLoaded(state, queries)) return;
    vantrel::Trie trie;
    for (qsizetype id = 0; id < list.size(); ++id)
        for (const QString& key : vantrel::fuzzyKeys(list[id], {})) trie.insert(key, id, true);
    QStringList normalizedQueries;
    for (const QString& query : queries) normalizedQueries.append(vantrel::normalizedForSearch(query));
    qint64 matches = 0;
    for (auto _ : state) {
        matches = 0;
        for (const QString& query : normalizedQueries) matches += trie.fuzzySearch(query).size();
        benchmark::DoNotOptimize(matches);
    }
    state.counters["matches"] = double(matches);
    state.counters["queries_per_s"] =
        benchmark::Counter(double(normalizedQueries.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_TrieFuzzySearchQueries)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
