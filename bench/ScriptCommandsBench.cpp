// Reading script command metadata: one file, and whole script directories.
#include "BenchSupport.h"

#include "features/scripts/ScriptCommand.h"
#include "features/scripts/ScriptCommandsService.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <sys/stat.h>

namespace vantrel::bench {
namespace {

QByteArray scriptWithEveryKey(int index) {
    return QStringLiteral(
               "#!/bin/bash\n\n"
               "# @vantrel.schemaVersion 1\n"
               "# @vantrel.title Script number %1\n"
               "# @vantrel.mode compact\n"
               "# @vantrel.packageName Bench Scripts\n"
               "# @vantrel.icon 🤖\n"
               "# @vantrel.refreshTime 5m\n"
               "# @vantrel.needsConfirmation false\n"
               "# @vantrel.argument1 { \"type\": \"text\", \"placeholder\": \"Query\" }\n"
               "# @vantrel.argument2 { \"type\": \"text\", \"placeholder\": \"Extra\", \"optional\": true }\n"
               "# @vantrel.description Does thing %1\n\n"
               "for i in 1 2 3; do\n  echo \"line $i\"\ndone\n")
        .arg(index)
        .toUtf8();
}

void writeScripts(const QString& folder, int count) {
    for (int i = 0; i < count; ++i) {
        const QString path = folder + QStringLiteral("/script-%1.sh").arg(i);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) return;
        file.write(scriptWithEveryKey(i));
        file.close();
        ::chmod(QFile::encodeName(path).constData(), 0755);
    }
}

void BM_ScriptCommandParse(benchmark::State& state) {
    Logger::bootstrap(std::make_shared<NoopLogHandler>());
    QTemporaryDir dir;
    writeScripts(dir.path(), 1);
    const QString path = dir.path() + QStringLiteral("/script-0.sh");
    for (auto _ : state) benchmark::DoNotOptimize(ScriptCommand::parse(path));
}
BENCHMARK(BM_ScriptCommandParse)->Unit(benchmark::kMicrosecond);

void BM_ScriptCommandsLoadDirectory(benchmark::State& state) {
    Logger::bootstrap(std::make_shared<NoopLogHandler>());
    QTemporaryDir dir;
    const int count = static_cast<int>(state.range(0));
    writeScripts(dir.path(), count);
    for (auto _ : state) {
        const auto loaded = ScriptCommandsService::loadScriptCommands({dir.path()}, {});
        if (static_cast<int>(loaded.size()) != count) state.SkipWithError("not every script loaded");
        benchmark::DoNotOptimize(loaded);
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_ScriptCommandsLoadDirectory)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vantrel::bench
