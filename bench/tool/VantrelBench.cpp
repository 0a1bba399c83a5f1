// vantrel-bench search --names FILE --queries FILE [--dump N] [--phases]
// vantrel-bench rootsearch --names FILE --queries FILE [--dump N]
//
// Loads every line of the names file as an application record into a fresh
// temporary encrypted database, indexes it with the radix-tree index, runs the
// full query path (lookup, database read, ranking) for every query after one
// warm-up pass, and prints
//   records=N build_ms=… p50_us=… p99_us=… max_us=… rss_kb=…
// With --dump N it first prints "QUERY<TAB>name1<TAB>name2…" with the first N
// ranked names of every query. With --phases it prints, after the build,
//   build_cpu_ms derive=… sort=… fill=… join=… corrections=…
// the thread CPU time of each phase of the index build (one figure per
// thread for the phases that run on several, joined by "+").
//
// rootsearch loads the names as applications plus the built-in commands, as
// the launcher has them, and times the whole root-search path (sections with
// their items, providers and the calculator) for every query, then the empty
// query (the home sections) 50 times after one warm-up; it prints the summary line above for
// the queries and one more starting with "home " for the empty query. With
// --dump N it first prints, for every query and then for the empty query, one
// line per section: "QUERY<TAB>section(count)<TAB>item…" with the first N items
// as id|title|subtitle|accessory|kind.
// With --per-query 1 rootsearch also prints, after the timed pass and before
// its summary line, "per-query<TAB>QUERY<TAB>wall_us<TAB>cpu_us" for every
// query (cpu_us: the thread's own CPU time, which leaves out preemption).
#include "../BenchSupport.h"
#include "../RootSearchSession.h"

#include "data/SearchRepository.h"
#include "kit/Logger.h"
#include "kit/Memory.h"
#include "search/RadixTreeIndex.h"
#include "search/Search.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

using namespace vantrel;

int usage() {
    std::fprintf(stderr, "usage: vantrel-bench search --names FILE --queries FILE [--dump N] [--phases]\n"
                         "       vantrel-bench rootsearch --names FILE --queries FILE [--dump N] [--per-query 1]\n");
    return 2;
}

struct Percentiles {
    qint64 p50 = 0;
    qint64 p99 = 0;
    qint64 max = 0;
};

Percentiles percentiles(std::vector<qint64> micros) {
    if (micros.empty()) return {};
    std::sort(micros.begin(), micros.end());
    auto at = [&](double p) {
        return micros[std::min(micros.size() - 1, static_cast<size_t>(p * static_cast<double>(micros.size() - 1) + 0.5))];
    };
    return {at(0.50), at(0.99), micros.back()};
}

void dumpSections(const QString& query, const std::vector<ListSection>& sections, int count) {
    for (const ListSection& section : sections) {
        QString line = query + QLatin1Char('\t') + section.id + QLatin1Char('(') +
                       QString::number(section.items.size()) + QLatin1Char(')');
        const size_t shown = std::min(section.items.size(), static_cast<size_t>(count));
        for (size_t i = 0; i < shown; ++i) {
            const ListItem& item = section.items[i];
            line += QLatin1Char('\t') + item.id + QLatin1Char('|') + item.title + QLatin1Char('|') + item.subtitle +
                    QLatin1Char('|') + item.accessory.value_or(QString()) + QLatin1Char('|') +
                    QString::number(static_cast<int>(item.kind));
        }
        std::printf("%s\n", line.toUtf8().constData());
    }
}

qint64 threadCpuNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<qint64>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

int rootSearch(const QStringList& names, const QStringList& queries, int dump, bool perQuery) {
    QElapsedTimer build;
    build.start();
    const std::unique_ptr<bench::RootSearchSession> session = bench::RootSearchSession::make(names);
    if (!session) {
        std::fprintf(stderr, "vantrel-bench: cannot open the database\n");
        return 1;
    }
    const qint64 buildMs = build.elapsed();
    const size_t records = session->repository->table().size();
    RootSearchController& controller = *session->controller;
    if (dump > 0) {
        for (const QString& query : queries) {
            controller.searchTextDidChange(query);
            dumpSections(query, controller.sections(), dump);
        }
        controller.searchTextDidChange(QString());
        dumpSections(QString(), controller.sections(), dump);
    }
    for (const QString& query : queries) controller.searchTextDidChange(query);  // warm-up

    std::vector<qint64> micros;
    std::vector<qint64> cpuMicros;
    QElapsedTimer timer;
    for (const QString& query : queries) {
        const qint64 cpu = threadCpuNanoseconds();
        timer.start();
        controller.searchTextDidChange(query);
        micros.push_back(timer.nsecsElapsed() / 1000);
        cpuMicros.push_back((threadCpuNanoseconds() - cpu) / 1000);
    }
    if (perQuery) {
        for (qsizetype i = 0; i < queries.size(); ++i)
            std::printf("per-query\t%s\t%lld\t%lld\n", queries.at(i).toUtf8().constData(),
                        static_cast<long long>(micros[static_cast<size_t>(i)]),
                        static_cast<long long>(cpuMicros[static_cast<size_t>(i)]));
    }
    const Percentiles sections = percentiles(micros);
    std::printf("records=%zu build_ms=%lld p50_us=%lld p99_us=%lld max_us=%lld rss_kb=%ld\n", records,
                static_cast<long long>(buildMs), static_cast<long long>(sections.p50),
                static_cast<long long>(sections.p99), static_cast<long long>(sections.max), bench::residentKilobytes());

    controller.searchTextDidChange(QString());  // warm-up, as for the queries
    std::vector<qint64> home;
    size_t shown = 0;
    for (int i = 0; i < 50; ++i) {
        controller.searchTextDidChange(QStringLiteral("a"));
        timer.start();
        controller.searchTextDidChange(QString());
        home.push_back(timer.nsecsElapsed() / 1000);
        shown = 0;
        for (const ListSection& section : controller.sections()) shown += section.items.size();
    }
    const Percentiles empty = percentiles(home);
    std::printf("home items=%zu p50_us=%lld p99_us=%lld max_us=%lld rss_kb=%ld\n", shown,
                static_cast<long long>(empty.p50), static_cast<long long>(empty.p99),
                static_cast<long long>(empty.max), bench::residentKilobytes());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // The allocator set up as the launcher sets it.
    shareAllocatorArenas();
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    const QString command = arguments.value(0);
    if (command != QLatin1String("search") && command != QLatin1String("rootsearch")) return usage();
    QString namesPath, queriesPath;
    int dump = 0;
    bool perQuery = false;
    bool phases = false;
    for (qsizetype i = 1; i < arguments.size(); i += 2) {
        const QString& option = arguments.at(i);
        if (option == QLatin1String("--phases") && command == QLatin1String("search")) {
            phases = true;
            --i;
            continue;
        }
        if (i + 1 >= arguments.size()) return usage();
        if (option == QLatin1String("--names")) namesPath = arguments.at(i + 1);
        else if (option == QLatin1String("--queries")) queriesPath = arguments.at(i + 1);
        else if (option == QLatin1String("--dump")) dump = arguments.at(i + 1).toInt();
        else if (option == QLatin1String("--per-query") && command == QLatin1String("rootsearch"))
            perQuery = arguments.at(i + 1) == QLatin1String("1");
        else return usage();
    }
    if (namesPath.isEmpty() || queriesPath.isEmpty()) return usage();
    QStringList names = bench::readLines(namesPath);
    const QStringList queries = bench::readLines(queriesPath);
    if (names.isEmpty() || queries.isEmpty()) {
        std::fprintf(stderr, "vantrel-bench: cannot read names or queries\n");
        return 1;
    }
    if (command == QLatin1String("rootsearch")) {
        return rootSearch(names, queries, dump, perQuery);
    }

    const bench::TemporaryDatabase database;
    auto pool = database.open();
    if (!pool) {
        std::fprintf(stderr, "vantrel-bench: cannot open the database\n");
        return 1;
    }
    auto repository = std::make_shared<SearchRepository>(pool);
    {
        // The input rows and the copy the index is built from are the
        // benchmark's own; they are gone before the figures are taken, as a
        // launcher keeps neither.
        std::vector<SearchRecord> records;
        records.reserve(static_cast<size_t>(names.size()));
        for (qsizetype i = 0; i < names.size(); ++i) {
            SearchRecord record;
            record.key = QStringLiteral("/usr/share/applications/bench-%1.desktop").arg(i);
            record.type = SearchRecord::ContentType::systemApp;
            record.source = SearchRecord::Source::system;
            record.name = names.at(i);
            records.push_back(std::move(record));
        }
        repository->update(SearchRecord::Source::system, records, SearchUpdateStrategy::source());
        names.clear();
    }
    auto index = std::make_shared<RadixTreeIndex>(repository);
    qint64 buildMs = 0;
    size_t recordCount = 0;
    {
        const std::vector<SearchRecord> stored = repository->readAllSearchResults({}, std::numeric_limits<int>::max());
        recordCount = stored.size();
        QElapsedTimer build;
        build.start();
        index->index(stored, IndexingMode::prefix);
        buildMs = build.elapsed();
    }
    if (phases) {
        const IndexBuildCpu cpu = index->lastBuildCpu();
        auto list = [](const std::vector<qint64>& micros) {
            QStringList parts;
            for (qint64 us : micros) parts << QString::number(us / 1000);
            return parts.join(QLatin1Char('+')).toStdString();
        };
        std::printf("build_cpu_ms derive=%s sort=%s fill=%s join=%lld corrections=%lld\n", list(cpu.derive).c_str(),
                    list(cpu.sort).c_str(), list(cpu.fill).c_str(), static_cast<long long>(cpu.join / 1000),
                    static_cast<long long>(cpu.corrections / 1000));
    }

    Search search(repository, index);
    for (const QString& query : queries) search.items(query);  // warm-up

    if (dump > 0) {
        for (const QString& query : queries) {
            QStringList line{query};
            const std::vector<SearchItem> items = search.items(query);
            for (size_t i = 0; i < items.size() && i < static_cast<size_t>(dump); ++i) line << items[i].name();
            std::printf("%s\n", line.join(QLatin1Char('\t')).toUtf8().constData());
        }
    }

    std::vector<qint64> micros;
    micros.reserve(static_cast<size_t>(queries.size()));
    QElapsedTimer timer;
    for (const QString& query : queries) {
        timer.start();
        const std::vector<SearchItem> items = search.items(query);
        micros.push_back(timer.nsecsElapsed() / 1000);
    }
    std::sort(micros.begin(), micros.end());
    auto percentile = [&](double p) {
        const size_t at = std::min(micros.size() - 1, static_cast<size_t>(p * static_cast<double>(micros.size() - 1) + 0.5));
        return micros[at];
    };
    std::printf("records=%zu build_ms=%lld p50_us=%lld p99_us=%lld max_us=%lld rss_kb=%ld\n", recordCount,
                static_cast<long long>(buildMs), static_cast<long long>(percentile(0.50)),
                static_cast<long long>(percentile(0.99)), static_cast<long long>(micros.back()), bench::residentKilobytes());
    return 0;
}
