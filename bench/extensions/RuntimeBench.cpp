// The extension runtime with the real host process and JavaScriptCore:
//   build/bench/vantrel_extensions_runtime_bench [rounds]
// prints
//   - host start to first command running: from asking for a command with no
//     host running to the command's first statement reaching the launcher;
//   - a no-op API round trip, p50/p99: script -> launcher ("debug.ping") ->
//     script, timed in the launcher between one call and the next of a
//     script that awaits 2,000 pings in a row;
//   - RSS of the idle host, and per running command (20 commands that wait
//     forever, RSS growth / 20).
// Progress goes to stderr as it happens, each table row is printed as soon
// as it is measured, and every wait has a deadline that names what did not
// come (the whole run gives up after 10 minutes), so a busy machine makes it
// slow, never silent.
#include "extensions/client/CommandPresenter.h"
#include "extensions/client/ExtensionHostClient.h"
#include "extensions/client/VantrelAPI.h"
#include "extensions/packages/ExtensionPackage.h"
#include "extensions/packages/ExtensionPaths.h"
#include "extensions/packages/PackageLoader.h"
#include "kit/Logger.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <functional>
#include <vector>

using namespace vantrel;
using namespace vantrel::extensions;

namespace {

class Presenter : public CommandPresenter {
public:
    std::function<void(const QString&)> onLog;
    void showToast(const QString&, const QString&, const std::optional<QString>&) override {}
    void hideToast() override {}
    void changeToast(const std::optional<QString>&, const std::optional<QString>&, const std::optional<QString>&) override {}
    void log(const QString&, const QString& text) override {
        if (onLog) onLog(text);
    }
    void showException(const JSException& exception) override { std::fprintf(stderr, "exception: %s\n", qPrintable(exception.description())); }
};

ExtensionPackage writeCommand(const QString& name, const QByteArray& script) {
    const QJsonObject manifest{{QStringLiteral("name"), name},
                               {QStringLiteral("title"), name},
                               {QStringLiteral("description"), QStringLiteral("bench")},
                               {QStringLiteral("icon"), QStringLiteral("icon.png")},
                               {QStringLiteral("commands"), QJsonArray{QJsonObject{{QStringLiteral("name"), QStringLiteral("command")},
                                                                                    {QStringLiteral("title"), QStringLiteral("c")},
                                                                                    {QStringLiteral("description"), QStringLiteral("c")},
                                                                                    {QStringLiteral("mode"), QStringLiteral("default")}}}}};
    const QString folder = ExtensionPaths::extensionsDir() + QLatin1Char('/') + name;
    QDir().mkpath(folder);
    QFile manifestFile(folder + QStringLiteral("/package.json"));
    manifestFile.open(QIODevice::WriteOnly);
    manifestFile.write(QJsonDocument(manifest).toJson());
    manifestFile.close();
    QFile scriptFile(folder + QStringLiteral("/command.js"));
    scriptFile.open(QIODevice::WriteOnly);
    scriptFile.write(script);
    scriptFile.close();
    ExtensionPackage package(ExtensionId(name, QStringLiteral("dev")));
    package.manifest = PackageLoader::loadManifest(package.folder());
    package.launchCommand = ExtensionLaunchCommand{ExtensionId::command(package.id, QStringLiteral("command")), std::nullopt};
    return package;
}

void progress(const char* format, ...) __attribute__((format(printf, 1, 2)));
void progress(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

// Runs the event loop until done() or the deadline; says what it waited for when it gave up.
bool waitFor(const char* what, const std::function<bool()>& done, int timeoutMs = 60000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) {
            progress("gave up after %d s waiting for %s", timeoutMs / 1000, what);
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(p * static_cast<double>(values.size())))];
}

long rssKilobytes(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
    QCoreApplication app(argc, argv);
    Logger::bootstrap(std::make_shared<NoopLogHandler>());
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;

    // The whole run has a deadline of its own.
    QTimer::singleShot(10 * 60 * 1000, &app, [] {
        progress("the benchmark did not finish in 10 minutes");
        std::_Exit(2);
    });

    // Host start to first command running.
    const ExtensionPackage starter = writeCommand(QStringLiteral("starter"), "module.exports = () => { console.log('running'); };\n");
    std::vector<double> starts;
    for (int i = 0; i < rounds; ++i) {
        progress("host start %d/%d", i + 1, rounds);
        ExtensionHostClient client;
        VantrelAPI api(&client);
        auto presenter = std::make_shared<Presenter>();
        bool running = false;
        bool finished = false;
        presenter->onLog = [&](const QString&) { running = true; };
        QElapsedTimer timer;
        timer.start();
        api.loadCommand(starter, presenter, [&](Result<QJsonValue> result) {
            if (result.isFailure()) progress("starter failed: %s", qPrintable(result.error().errorDescription()));
            finished = true;
        });
        if (!waitFor("the first command to run", [&] { return running; })) return 1;
        starts.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        // The command ends before its host goes.
        if (!waitFor("the first command to end", [&] { return finished; })) return 1;
    }
    std::printf("| Case | p50 | p99 | max | target |\n|---|---|---|---|---|\n");
    std::printf("| host start to first command running (%d starts) | %.1f ms | %.1f ms | %.1f ms | ≤ 150 ms |\n", rounds,
                percentile(starts, 0.5), percentile(starts, 0.99), percentile(starts, 1.0));
    std::fflush(stdout);

    ExtensionHostClient client;
    VantrelAPI api(&client);

    // No-op API round trips, timed between consecutive calls in the launcher.
    constexpr int kPings = 2000;
    const ExtensionPackage pinger = writeCommand(
        QStringLiteral("pinger"),
        "const api = require('vantrel-commands');\n"
        "module.exports = async () => { for (let i = 0; i < 2000; i++) await api.call('debug', 'ping', {}); };\n");
    std::vector<qint64> arrivals;
    arrivals.reserve(kPings);
    QElapsedTimer clock;
    clock.start();
    client.setRequestHandler([&](const QString& name, const QJsonObject& params, Connection::Responder respond) {
        const auto call = DispatchMessageParams::fromJson(params);
        if (name != launcherRequest::dispatchMessage || call.isFailure()) {
            respond(VantrelError(QStringLiteral("Unknown request: ") + name));
            return;
        }
        arrivals.push_back(clock.nsecsElapsed());
        api.dispatchMessage(call.value().commandId, call.value().nameSpace, call.value().method, call.value().arguments,
                            [](CommandAPI::CallbackParameters) {}, call.value().callbackInfo,
                            [respond](Result<QJsonValue> result) { respond(std::move(result)); });
    });
    progress("%d pings", kPings);
    bool pinged = false;
    api.loadCommand(pinger, std::make_shared<Presenter>(), [&](Result<QJsonValue> result) {
        if (result.isFailure()) std::fprintf(stderr, "pinger failed: %s\n", qPrintable(result.error().errorDescription()));
        pinged = true;
    });
    if (!waitFor("the pings to end", [&] { return pinged; }, 300000)) return 1;
    if (arrivals.size() < 2) {
        progress("only %zu pings arrived", arrivals.size());
        return 1;
    }
    std::vector<double> trips;
    for (std::size_t i = 1; i < arrivals.size(); ++i) trips.push_back(static_cast<double>(arrivals[i] - arrivals[i - 1]) / 1e6);

    std::printf("| no-op API round trip, script → launcher → script (%zu trips) | %.3f ms | %.3f ms | %.3f ms | p99 ≤ 1 ms |\n",
                trips.size(), percentile(trips, 0.5), percentile(trips, 0.99), percentile(trips, 1.0));
    std::fflush(stdout);

    // RSS: idle, then with commands that wait forever.
    progress("memory: %d waiting commands", 20);
    const qint64 pid = client.hostPid();
    const long idle = rssKilobytes(pid);
    constexpr int kWaiting = 20;
    int started = 0;
    for (int i = 0; i < kWaiting; ++i) {
        auto presenter = std::make_shared<Presenter>();
        presenter->onLog = [&](const QString&) { ++started; };
        api.loadCommand(writeCommand(QStringLiteral("waiter%1").arg(i),
                                     "module.exports = () => { console.log('waiting'); return new Promise(() => {}); };\n"),
                        presenter, [](Result<QJsonValue>) {});
    }
    if (!waitFor("the waiting commands to start", [&] { return started == kWaiting; })) return 1;
    const long loaded = rssKilobytes(pid);
    std::printf("\n| Memory | RSS | target |\n|---|---|---|\n");
    std::printf("| idle host (started, one command run and unloaded) | %.1f MB | ≤ 40 MB |\n", idle / 1024.0);
    std::printf("| per running command (%d waiting commands) | %.2f MB | ≤ 10 MB |\n", kWaiting, (loaded - idle) / 1024.0 / kWaiting);
    client.kill();
    return 0;
}
