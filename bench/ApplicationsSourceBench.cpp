// Full loads of the applications sources: a generated folder of 2,000 desktop
// entries and this machine's own folders.
#include "kit/Logger.h"
#include "platform/freedesktop/DesktopEntry.h"
#include "platform/freedesktop/FSDataSource.h"
#include "platform/freedesktop/SystemSource.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <future>
#include <memory>

namespace vantrel::bench {
namespace {

// 2,000 entries below one applications folder, a tenth of them in vendor
// subfolders, with localized names, keywords and generic names; a few are
// NoDisplay or for another desktop, as on a real system.
struct GeneratedApplications {
    QTemporaryDir dir;
    QString folder = dir.path() + QStringLiteral("/share/applications");

    explicit GeneratedApplications(int count) {
        QDir().mkpath(folder);
        for (int i = 0; i < count; ++i) {
            const QString relative = i % 10 == 0 ? QStringLiteral("vendor%1/app%2.desktop").arg(i % 7).arg(i)
                                                 : QStringLiteral("org.example.App%1.desktop").arg(i);
            const QString path = folder + QLatin1Char('/') + relative;
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly)) continue;
            QByteArray text = "[Desktop Entry]\nType=Application\n";
            text += "Name=Application " + QByteArray::number(i) + "\n";
            text += "Name[de]=Anwendung " + QByteArray::number(i) + "\n";
            text += "Name[fr]=Application n\xc2\xb0" + QByteArray::number(i) + "\n";
            text += "GenericName=Example Tool\nGenericName[de]=Beispielwerkzeug\n";
            text += "Comment=Does example things number " + QByteArray::number(i) + "\n";
            text += "Keywords=example;tool;number" + QByteArray::number(i) + ";\n";
            text += "Exec=/bin/sh -c true %U\nIcon=example\nTerminal=false\n";
            text += "Categories=Utility;Development;\nMimeType=text/plain;text/x-example;\n";
            if (i % 50 == 0) text += "NoDisplay=true\n";
            if (i % 97 == 0) text += "OnlyShowIn=KDE;\n";
            text += "\n[Desktop Action new-window]\nName=New Window\nExec=/bin/sh -c true --new-window\n";
            file.write(text);
        }
    }
};

void BM_FSDataSourceSearchGenerated2000(benchmark::State& state) {
    Logger::bootstrap(std::make_shared<NoopLogHandler>());
    GeneratedApplications generated(2000);
    FSDataSource source(5.0, 3);
    size_t records = 0;
    for (auto _ : state) {
        const auto result = source.searchRecords(QStringList{generated.folder});
        records = result.records.size();
        benchmark::DoNotOptimize(result.records.data());
    }
    state.counters["records"] = static_cast<double>(records);
}
BENCHMARK(BM_FSDataSourceSearchGenerated2000)->Unit(benchmark::kMillisecond);

// The whole load() path: the worker thread, the timeout and the completion.
void BM_FSDataSourceLoadGenerated2000(benchmark::State& state) {
    Logger::bootstrap(std::make_shared<NoopLogHandler>());
    GeneratedApplications generated(2000);
    const QByteArray previousDirs = qgetenv("XDG_DATA_DIRS");
    qputenv("XDG_DATA_DIRS", (generated.dir.path() + QStringLiteral("/share")).toUtf8());
    size_t records = 0;
    for (auto _ : state) {
        FSDataSource source(5.0, 3);
        std::promise<size_t> done;
        source.load([&done](DataSource::LoadResult result) {
            const auto* list = std::get_if<std::vector<SearchRecord>>(&result);
            done.set_value(list ? list->size() : 0);
        });
        records = done.get_future().get();
    }
    qputenv("XDG_DATA_DIRS", previousDirs);
    state.counters["records"] = static_cast<double>(records);
}
BENCHMARK(BM_FSDataSourceLoadGenerated2000)->Unit(benchmark::kMillisecond);

void BM_FSDataSourceSearchThisMachine(benchmark::State& state) {
    Logger::bootstrap(std::make_shared<NoopLogHandler>());
    FSDataSource source(5.0, 3);
    const QStringList scopes = DesktopEntry::applicationDirectories();
    size_t records = 0;
    int directories = 0;
    for (auto _ : state) {
        const auto result = source.searchRecords(scopes);
        records = result.records.size();
        directories = result.directoryCount;
        benchmark::DoNotOptimize(result.records.data());
    }
    state.counters["records"] = static_cast<double>(records);
    state.counters["directories"] = directories;
}
BENCHMARK(BM_FSDataSourceSearchThisMachine)->Unit(benchmark::kMillisecond);

void BM_SystemSourceFetchThisMachine(benchmark::State& state) {
    Logger::bootstrap(std::make_shared<NoopLogHandler>());
    SystemSource source(5.0, 3);
    size_t records = 0;
    for (auto _ : state) {
        const auto list = source.fetchRecords();
        records = list.size();
        benchmark::DoNotOptimize(list.data());
    }
    state.counters["records"] = static_cast<double>(records);
}
BENCHMARK(BM_SystemSourceFetchThisMachine)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vantrel::bench
