// The file index over a generated home-like tree of 200,000 files (nested
// folders of about 50 files each, some names with accents, full-width or
// non-Latin letters): a full build (time, entries, keys, resident memory
// growth), prefix lookups in the index, and whole file searches (lookup plus
// the file metadata of each hit), with p50 and p99 per query.
//   ./dev bench --benchmark_filter=FileIndex
#include "BenchSupport.h"

#include "kit/Queue.h"
#include "search/FileIndex.h"
#include "search/FileSearch.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <future>
#include <memory>

namespace {

using namespace vantrel;

constexpr int kFiles = 200000;
constexpr int kFilesPerFolder = 50;

const QStringList& words() {
    static const QStringList list = {
        "report", "invoice", "notes",    "budget", "photo",   "holiday",      "draft",  "meeting", "project", "summary",
        "plan",   "letter",  "contract", "backup", "screen",  "scan",         "recipe", "travel",  "music",   "video",
        "thesis", "slides",  "design",   "sketch", "archive", "export",       "import", "data",    "results", "minutes",
        "Résumé", "Müller",  "Ångström", "café",   "Straße",  "Ｒｅｐｏｒｔ", "Отчёт",  "写真",    "Crème",   "naïve"};
    return list;
}

const QStringList& extensions() {
    static const QStringList list = {"pdf", "odt", "txt", "jpg", "png", "md", "xlsx", "docx", "mp3", "zip"};
    return list;
}

// A home-like tree, written once per process: 20 top folders, 10 below each,
// 20 below those, and 50 files in each of the 4,000 leaf folders.
struct GeneratedTree {
    QTemporaryDir dir;
    int files = 0;

    GeneratedTree() {
        QRandomGenerator random(42);
        const QStringList& w = words();
        auto pick = [&] { return w[static_cast<int>(random.bounded(static_cast<quint32>(w.size())))]; };
        auto fileName = [&](int n) {
            QString name;
            switch (random.bounded(4)) {
                case 0:
                    name = pick() + QLatin1Char('-') + QString::number(2000 + random.bounded(30));
                    break;
                case 1:
                    name = pick() + QLatin1Char(' ') + pick();
                    break;
                case 2:
                    name = pick() + QLatin1Char('_') + pick() + QLatin1Char('_') + QString::number(n);
                    break;
                default:
                    name = pick().toUpper().left(1) + pick().mid(1) + QString::number(n);
                    break;
            }
            return name + QStringLiteral(" %1.").arg(n) + extensions()[n % extensions().size()];
        };
        const QByteArray root = QFile::encodeName(dir.path());
        int n = 0;
        for (int a = 0; a < 20 && n < kFiles; ++a) {
            const QByteArray top = root + '/' + QFile::encodeName(pick() + QStringLiteral(" %1").arg(a));
            ::mkdir(top.constData(), 0700);
            for (int b = 0; b < 10 && n < kFiles; ++b) {
                const QByteArray middle = top + '/' + QFile::encodeName(pick() + QString::number(b));
                ::mkdir(middle.constData(), 0700);
                for (int c = 0; c < 20 && n < kFiles; ++c) {
                    const QByteArray leaf = middle + '/' + QFile::encodeName(pick() + QStringLiteral("-%1").arg(c));
                    ::mkdir(leaf.constData(), 0700);
                    for (int f = 0; f < kFilesPerFolder && n < kFiles; ++f, ++n) {
                        const QByteArray path = leaf + '/' + QFile::encodeName(fileName(n));
                        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
                        if (fd >= 0) ::close(fd);
                    }
                }
            }
        }
        files = n;
    }
};

GeneratedTree& tree() {
    static GeneratedTree instance;
    return instance;
}

FileIndex::Options options() {
    FileIndex::Options result;
    result.scopes = {tree().dir.path()};
    result.watchChanges = false;
    return result;
}

// Short prefixes as typed: one to five letters of every word, in several spellings.
QStringList prefixes() {
    QStringList list;
    for (const QString& word : words()) {
        for (int length = 1; length <= std::min<qsizetype>(5, word.size()); ++length) list << word.left(length);
        list << word.toUpper().left(3);
    }
    list << "resu"
         << "muller"
         << "angs"
         << "strass"
         << "zzz"
         << "report-20"
         << "notes 1";
    return list;
}

struct Percentiles {
    std::vector<qint64> micros;
    void report(benchmark::State& state) {
        std::sort(micros.begin(), micros.end());
        auto at = [&](double p) {
            return static_cast<double>(
                micros[std::min(micros.size() - 1, static_cast<size_t>(p * (micros.size() - 1) + 0.5))]);
        };
        state.counters["p50_us"] = at(0.50);
        state.counters["p99_us"] = at(0.99);
        state.counters["max_us"] = static_cast<double>(micros.back());
        state.counters["queries"] = static_cast<double>(micros.size());
    }
};

void BM_FileIndexBuild(benchmark::State& state) {
    Logger::bootstrap(std::make_shared<NoopLogHandler>());
    tree();
    long rssGrowth = 0, rssKept = 0;
    size_t entries = 0, folders = 0;
    quint64 keys = 0;
    for (auto _ : state) {
        ::malloc_trim(0);
        const long before = bench::residentKilobytes();
        auto index = std::make_unique<FileIndex>(options());
        index->build();
        // The first run shows the growth; later ones reuse the freed pages.
        rssGrowth = std::max(rssGrowth, bench::residentKilobytes() - before);
        // What the index keeps once the build's scratch buffers are given back.
        ::malloc_trim(0);
        rssKept = std::max(rssKept, bench::residentKilobytes() - before);
        entries = index->entryCount();
        folders = index->folderCount();
        keys = index->keyCount();
        state.PauseTiming();
        index.reset();
        state.ResumeTiming();
    }
    state.counters["entries"] = static_cast<double>(entries);
    state.counters["folders"] = static_cast<double>(folders);
    state.counters["keys"] = static_cast<double>(keys);
    state.counters["rss_growth_kb"] = static_cast<double>(rssGrowth);
    state.counters["rss_kept_kb"] = static_cast<double>(rssKept);
}
BENCHMARK(BM_FileIndexBuild)->Unit(benchmark::kMillisecond)->Iterations(3);

FileIndex& builtIndex() {
    static std::shared_ptr<FileIndex> index = [] {
        Logger::bootstrap(std::make_shared<NoopLogHandler>());
        tree();
        auto made = std::make_shared<FileIndex>(options());
        made->build();
        return made;
    }();
    return *index;
}

// Index lookups alone, limit 50 (a screenful and more), optionally within one top folder.
void BM_FileIndexPrefixQuery(benchmark::State& state) {
    FileIndex& index = builtIndex();
    const QStringList queries = prefixes();
    FileIndex::FolderFilter filter;
    if (state.range(0)) {
        const QByteArray root = QFile::encodeName(tree().dir.path());
        const QByteArray hit = QFile::encodeName(index.itemsWithPrefix(words().front(), 1).front().path);
        const QByteArray top = hit.left(hit.indexOf('/', root.size() + 1));
        filter = [top](const QByteArray& folder) { return folder == top || folder.startsWith(top + '/'); };
    }
    Percentiles latency;
    size_t hits = 0;
    QElapsedTimer timer;
    for (auto _ : state) {
        for (const QString& query : queries) {
            timer.start();
            const auto found = index.itemsWithPrefix(query, 50, filter);
            latency.micros.push_back(timer.nsecsElapsed() / 1000);
            hits += found.size();
            benchmark::DoNotOptimize(found);
        }
    }
    latency.report(state);
    state.counters["hits_per_query"] = static_cast<double>(hits) / static_cast<double>(latency.micros.size());
}
BENCHMARK(BM_FileIndexPrefixQuery)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);

// findFiles end to end: parsing, lookup and the metadata of every hit.
void BM_FileSearchFindFiles(benchmark::State& state) {
    builtIndex();
    static std::shared_ptr<FileIndex> shared(&builtIndex(), [](FileIndex*) {});
    FileSearch search(shared);
    const QStringList queries = prefixes();
    Percentiles latency;
    QElapsedTimer timer;
    for (auto _ : state) {
        for (const QString& query : queries) {
            std::promise<size_t> done;
            timer.start();
            search.findFiles(
                query, {}, static_cast<int>(state.range(0)),
                [&done](std::vector<FileModel> files) { done.set_value(files.size()); }, Queue::immediate());
            benchmark::DoNotOptimize(done.get_future().get());
            latency.micros.push_back(timer.nsecsElapsed() / 1000);
        }
    }
    latency.report(state);
}
BENCHMARK(BM_FileSearchFindFiles)->Arg(20)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
