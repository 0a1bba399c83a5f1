// Extension packages: decoding and writing a manifest, and unpacking a zip
// archive through libarchive with every entry checked.
//   build/bench/vantrel_extensions_packages_bench
// The archive is made once with `zip -qr` from a generated package (20
// scripts of 20 KB, 20 icons of 4 KB, one manifest with 20 commands).
#include "extensions/packages/ExtensionManifest.h"
#include "extensions/packages/ZipArchive.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace vantrel;

namespace {

QByteArray manifestText(int commands) {
    QJsonArray list;
    for (int i = 0; i < commands; ++i)
        list.append(QJsonObject{{QStringLiteral("name"), QStringLiteral("command%1").arg(i)},
                                {QStringLiteral("title"), QStringLiteral("Command %1").arg(i)},
                                {QStringLiteral("description"), QStringLiteral("Does thing number %1").arg(i)},
                                {QStringLiteral("keywords"), QJsonArray{QStringLiteral("one"), QStringLiteral("two")}},
                                {QStringLiteral("mode"), i % 2 ? QStringLiteral("view") : QStringLiteral("default")}});
    return QJsonDocument(QJsonObject{{QStringLiteral("name"), QStringLiteral("bench")},
                                     {QStringLiteral("title"), QStringLiteral("Bench")},
                                     {QStringLiteral("description"), QStringLiteral("A package to measure")},
                                     {QStringLiteral("icon"), QStringLiteral("icon.png")},
                                     {QStringLiteral("commands"), list},
                                     {QStringLiteral("scripts"), QJsonObject{{QStringLiteral("build"), QStringLiteral("node build.mjs")}}}})
        .toJson();
}

void BM_ManifestDecode(benchmark::State& state) {
    const QByteArray text = manifestText(int(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(ExtensionManifest::decode(text));
}
BENCHMARK(BM_ManifestDecode)->Arg(1)->Arg(20);

void BM_ManifestEncodeOrdered(benchmark::State& state) {
    const ExtensionManifest manifest = ExtensionManifest::decode(manifestText(int(state.range(0))));
    for (auto _ : state) benchmark::DoNotOptimize(manifest.encodeOrdered());
}
BENCHMARK(BM_ManifestEncodeOrdered)->Arg(1)->Arg(20);

void BM_UnpackPackageZip(benchmark::State& state) {
    QTemporaryDir work;
    const QString package = work.path() + QStringLiteral("/bench");
    QDir().mkpath(package + QStringLiteral("/assets"));
    const auto write = [](const QString& path, const QByteArray& data) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
    };
    bool ok = write(package + QStringLiteral("/package.json"), manifestText(20));
    for (int i = 0; i < 20; ++i) {
        ok = ok && write(package + QStringLiteral("/command%1.js").arg(i), QByteArray(20 * 1024, char('a' + i % 26)));
        ok = ok && write(package + QStringLiteral("/assets/icon%1.png").arg(i), QByteArray(4 * 1024, char(i)));
    }
    QProcess zip;
    zip.setWorkingDirectory(work.path());
    zip.start(QStringLiteral("zip"), {QStringLiteral("-qr"), QStringLiteral("bench.zip"), QStringLiteral("bench")});
    if (!ok || !zip.waitForFinished(60000) || zip.exitCode() != 0) {
        state.SkipWithError("could not make the archive with zip");
        return;
    }
    const QString archive = work.path() + QStringLiteral("/bench.zip");
    const ZipArchive unpacker;
    int round = 0;
    for (auto _ : state) {
        const QString destination = work.path() + QStringLiteral("/out%1").arg(round++);
        QDir().mkpath(destination);
        unpacker.extract(archive, destination);
        state.PauseTiming();
        QDir(destination).removeRecursively();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_UnpackPackageZip)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
