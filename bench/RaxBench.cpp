// Radix tree throughput over real-world name lists: building a tree, exact lookups, and
// the prefix completion pattern (seek ">=" a query, take up to 10 keys with that prefix).
//
// Inputs are read at run time from $VANTREL_BENCH_DATA, or the shared data folder given
// at build time: names-10k.txt, names-100k.txt (one name per line) and queries.txt (one
// query prefix per line). Names are ASCII lower-cased, as search keys are.
#include "rax/rax.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

std::string dataDir() {
    if (const char* env = std::getenv("VANTREL_BENCH_DATA"); env != nullptr && *env != '\0') return env;
    return VANTREL_BENCH_DATA_DIR;
}

std::string lowered(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

// The non-empty lines of a data file, lower-cased; read once per file.
const std::vector<std::string>& lines(const std::string& file) {
    static std::map<std::string, std::vector<std::string>> cache;
    auto found = cache.find(file);
    if (found != cache.end()) return found->second;
    std::vector<std::string>& out = cache[file];
    std::ifstream in(dataDir() + "/" + file);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) out.push_back(lowered(line));
    }
    return out;
}

const char* namesFile(int64_t count) {
    return count == 10000 ? "names-10k.txt" : "names-100k.txt";
}

const unsigned char* bytes(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

rax* buildTree(const std::vector<std::string>& names) {
    rax* t = raxNew();
    for (std::size_t k = 0; k < names.size(); ++k) {
        raxInsert(t, bytes(names[k]), names[k].size(), reinterpret_cast<void*>(k + 1), nullptr);
    }
    return t;
}

void BM_RaxInsert(benchmark::State& state) {
    const auto& names = lines(namesFile(state.range(0)));
    if (names.empty()) {
        state.SkipWithError("name list not found; set VANTREL_BENCH_DATA");
        return;
    }
    uint64_t nodes = 0;
    for (auto _ : state) {
        rax* t = buildTree(names);
        nodes = raxNodeCount(t);
        benchmark::DoNotOptimize(t);
        raxFree(t);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(names.size()));
    state.counters["nodes"] = static_cast<double>(nodes);
}
BENCHMARK(BM_RaxInsert)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_RaxFind(benchmark::State& state) {
    const auto& names = lines(namesFile(state.range(0)));
    if (names.empty()) {
        state.SkipWithError("name list not found; set VANTREL_BENCH_DATA");
        return;
    }
    rax* t = buildTree(names);
    for (auto _ : state) {
        for (const std::string& name : names) benchmark::DoNotOptimize(raxFind(t, bytes(name), name.size()));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(names.size()));
    raxFree(t);
}
BENCHMARK(BM_RaxFind)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// For every query: seek ">=" the query and take at most 10 keys that start with it.
void BM_RaxPrefixTop10(benchmark::State& state) {
    const auto& names = lines(namesFile(state.range(0)));
    const auto& queries = lines("queries.txt");
    if (names.empty() || queries.empty()) {
        state.SkipWithError("data files not found; set VANTREL_BENCH_DATA");
        return;
    }
    rax* t = buildTree(names);
    int64_t yielded = 0;
    for (auto _ : state) {
        yielded = 0;
        for (const std::string& query : queries) {
            raxIterator it;
            raxStart(&it, t);
            raxSeek(&it, ">=", bytes(query), query.size());
            for (int taken = 0; taken < 10 && raxNext(&it); ++taken) {
                if (it.key_len < query.size() || std::memcmp(it.key, query.data(), query.size()) != 0) break;
                benchmark::DoNotOptimize(it.data);
                ++yielded;
            }
            raxStop(&it);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(queries.size()));
    state.counters["keys/round"] = static_cast<double>(yielded);
    raxFree(t);
}
BENCHMARK(BM_RaxPrefixTop10)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

}  // namespace
