// Script output at volume: styling a megabyte of coloured terminal output,
// and the runner taking in a script that prints tens of megabytes, collected
// (memory stays bounded by the kept tail) or streamed to a handler.
#include "BenchSupport.h"

#include "features/scripts/ScriptCommandRunner.h"
#include "features/scripts/TerminalOutputFormatter.h"

#include <benchmark/benchmark.h>

#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <optional>

namespace {

using vantrel::Result;
using vantrel::ScriptCommand;
using vantrel::ScriptCommandRunner;
using vantrel::TerminalOutputFormatter;

// About `bytes` of output in the style of a build log: coloured words,
// 256 and true colours, erase-line sequences and links.
QString colouredOutput(qsizetype bytes) {
    const QString esc = QString(QChar(0x1B));
    QString text;
    text.reserve(bytes + 256);
    for (int line = 0; text.size() < bytes; ++line) {
        text += esc + QStringLiteral("[1;32m[ OK ]") + esc + QStringLiteral("[0m step ") + QString::number(line) +
                QStringLiteral(" ") + esc + QStringLiteral("[38;5;208mwarning") + esc + QStringLiteral("[0m in ") +
                esc + QStringLiteral("[4msrc/file") + QString::number(line % 97) + QStringLiteral(".cpp") + esc +
                QStringLiteral("[24m ") + esc + QStringLiteral("[38;2;18;52;86mdetails") + esc + QStringLiteral("[m") +
                esc + QStringLiteral("[K see https://example.com/build/") + QString::number(line) + QLatin1Char('\n');
    }
    return text;
}

void BM_FormatColouredOutput(benchmark::State& state) {
    const QString raw = colouredOutput(1024 * 1024);
    std::size_t runs = 0;
    for (auto _ : state) {
        TerminalOutputFormatter formatter;
        formatter.append(raw);
        const auto styled = formatter.styledRuns();
        runs = styled.size();
        benchmark::DoNotOptimize(styled.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * raw.size());
    state.counters["runs"] = static_cast<double>(runs);
}
BENCHMARK(BM_FormatColouredOutput)->Unit(benchmark::kMillisecond);

struct RunawayScript {
    QTemporaryDir dir;
    ScriptCommand command;

    explicit RunawayScript(qint64 megabytes) {
        const QString path = dir.filePath(QStringLiteral("runaway.sh"));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray("#!/bin/sh\nhead -c ") + QByteArray::number(megabytes * 1024 * 1024) +
                   " /dev/zero | tr '\\0' 'x'\n");
        file.close();
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
        command.id = QStringLiteral("vantrelScript_") + path;
        command.scriptPath = path;
        command.displayName = QStringLiteral("Runaway");
        command.packageName = QStringLiteral("Bench");
    }
};

// Runs to the end while sampling the resident memory; answers the peak growth in kB.
long runSampling(ScriptCommandRunner& runner, std::optional<Result<QString>>& result) {
    const long baseline = vantrel::bench::residentKilobytes();
    long peak = baseline;
    QEventLoop loop;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] { peak = std::max(peak, vantrel::bench::residentKilobytes()); });
    sampler.start(5);
    runner.run({}, [&](const Result<QString>& outcome) {
        result = outcome;
        loop.quit();
    });
    if (!result) loop.exec();
    peak = std::max(peak, vantrel::bench::residentKilobytes());
    return peak - baseline;
}

void BM_CollectRunawayOutput(benchmark::State& state) {
    vantrel::Logger::bootstrap(std::make_shared<vantrel::NoopLogHandler>());
    const qint64 megabytes = state.range(0);
    RunawayScript script(megabytes);
    long peakGrowth = 0;
    qsizetype kept = 0;
    for (auto _ : state) {
        ScriptCommandRunner runner(script.command);
        std::optional<Result<QString>> result;
        peakGrowth = std::max(peakGrowth, runSampling(runner, result));
        if (!result || result->isFailure()) {
            state.SkipWithError("the script failed");
            return;
        }
        kept = result->value().size();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * megabytes * 1024 * 1024);
    state.counters["kept_bytes"] = static_cast<double>(kept);
    state.counters["peak_rss_growth_kB"] = static_cast<double>(peakGrowth);
}
BENCHMARK(BM_CollectRunawayOutput)->Arg(64)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_StreamRunawayOutput(benchmark::State& state) {
    vantrel::Logger::bootstrap(std::make_shared<vantrel::NoopLogHandler>());
    const qint64 megabytes = state.range(0);
    RunawayScript script(megabytes);
    long peakGrowth = 0;
    qint64 chunks = 0;
    for (auto _ : state) {
        qint64 received = 0;
        chunks = 0;
        ScriptCommandRunner runner(script.command, [&](const QString& chunk) {
            received += chunk.size();
            ++chunks;
        });
        std::optional<Result<QString>> result;
        peakGrowth = std::max(peakGrowth, runSampling(runner, result));
        if (!result || result->isFailure() || received != megabytes * 1024 * 1024) {
            state.SkipWithError("the script failed or output went missing");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * megabytes * 1024 * 1024);
    state.counters["chunks"] = static_cast<double>(chunks);
    state.counters["peak_rss_growth_kB"] = static_cast<double>(peakGrowth);
}
BENCHMARK(BM_StreamRunawayOutput)->Arg(64)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
