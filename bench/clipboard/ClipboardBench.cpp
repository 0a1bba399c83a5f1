// Clipboard history: how long a copy takes to be recorded, what the watcher
// costs while nothing is copied, and how quickly "Clipboard History" opens over
// a full history. Needs an X display; run it inside the test session:
//   scripts/test-session --run build/bench/vantrel_clipboard_bench
#include "../BenchSupport.h"

#include "data/ClipboardRepository.h"
#include "features/clipboard/ClipboardActions.h"
#include "features/clipboard/ClipboardHistory.h"
#include "features/clipboard/ui/ClipboardHistoryView.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "platform/freedesktop/WaylandClipboard.h"
#include "platform/x11/X11Clipboard.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace {

using namespace vantrel;

bool waitFor(const std::function<bool()>& condition, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Context switches of every thread of this process: each is a wake-up.
qint64 contextSwitches() {
    qint64 total = 0;
    for (const QString& task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile status(QStringLiteral("/proc/self/task/%1/status").arg(task));
        if (!status.open(QIODevice::ReadOnly)) continue;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("voluntary_ctxt_switches:") || line.startsWith("nonvoluntary_ctxt_switches:"))
                total += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
    }
    return total;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[index];
}

struct History {
    bench::TemporaryDatabase database;
    std::shared_ptr<DatabasePool> pool = database.open();
    NotificationCenter center;
    std::unique_ptr<ClipboardHistory> history;

    explicit History(std::shared_ptr<SystemClipboard> clipboard = nullptr) {
        ClipboardHistory::Options options;
        options.repository = std::make_shared<ClipboardRepository>(pool);
        options.center = &center;
        options.clipboard = std::move(clipboard);
        options.imageDirectory = database.dir.path() + QStringLiteral("/Clipboard");
        history = std::make_unique<ClipboardHistory>(std::move(options));
    }
};

// From the moment another client takes the clipboard with a new text to the
// record being stored and announced: XFixes notice, TARGETS, the text,
// classification and the database write. 200 copies per run; the figures are
// the percentiles of those.
void BM_ClipboardCopyToRecorded(benchmark::State& state) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        state.SkipWithError("needs an X display");
        return;
    }
    auto watcher = std::make_shared<X11Clipboard>();
    History setup(watcher);
    X11Clipboard copier;  // the other application, on a connection of its own
    int recorded = 0;
    QObject observer;
    setup.center.addObserver(QString(NotificationNames::didChangeClipboardHistory), &observer,
                             [&](const Notification&) { ++recorded; });
    setup.history->start();
    std::vector<double> latencies;
    int copy = 0;
    for (auto _ : state) {
        latencies.clear();
        for (int i = 0; i < 200; ++i) {
            const int before = recorded;
            QElapsedTimer timer;
            timer.start();
            copier.write({{QStringLiteral("text/plain"), QStringLiteral("copy number %1").arg(++copy).toUtf8()}});
            if (!waitFor([&] { return recorded > before; }, 5000)) {
                state.SkipWithError("a copy was not recorded within 5 s");
                return;
            }
            latencies.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
    }
    state.counters["p50_ms"] = percentile(latencies, 0.50);
    state.counters["p99_ms"] = percentile(latencies, 0.99);
    state.counters["max_ms"] = percentile(latencies, 1.0);
}
BENCHMARK(BM_ClipboardCopyToRecorded)->Unit(benchmark::kMillisecond)->Iterations(1);

// The same on Wayland, through the compositor's data-control protocol:
// selection event, the text read through a pipe, classification and the
// database write. Needs a compositor that offers data control
// (bench/clipboard/with-sway.sh starts a headless sway for it).
void BM_ClipboardCopyToRecordedWayland(benchmark::State& state) {
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        state.SkipWithError("needs WAYLAND_DISPLAY (run bench/clipboard/with-sway.sh)");
        return;
    }
    auto watcher = std::make_shared<WaylandClipboard>();
    WaylandClipboard copier;  // the other application, on a connection of its own
    QString problem;
    if (!watcher->isAvailable(&problem) || !copier.isAvailable()) {
        static std::string why;
        why = problem.toStdString();
        state.SkipWithError(why.c_str());
        return;
    }
    History setup(watcher);
    int recorded = 0;
    QObject observer;
    setup.center.addObserver(QString(NotificationNames::didChangeClipboardHistory), &observer,
                             [&](const Notification&) { ++recorded; });
    setup.history->start();
    std::vector<double> latencies;
    int copy = 0;
    for (auto _ : state) {
        latencies.clear();
        for (int i = 0; i < 200; ++i) {
            const int before = recorded;
            QElapsedTimer timer;
            timer.start();
            copier.write({{QStringLiteral("text/plain"), QStringLiteral("copy number %1").arg(++copy).toUtf8()}});
            if (!waitFor([&] { return recorded > before; }, 5000)) {
                state.SkipWithError("a copy was not recorded within 5 s");
                return;
            }
            latencies.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
    }
    state.counters["p50_ms"] = percentile(latencies, 0.50);
    state.counters["p99_ms"] = percentile(latencies, 0.99);
    state.counters["max_ms"] = percentile(latencies, 1.0);
}
BENCHMARK(BM_ClipboardCopyToRecordedWayland)->Unit(benchmark::kMillisecond)->Iterations(1);

// The watcher while nothing is copied: the process's wake-ups over 5 seconds
// of an idle event loop, with the watcher on.
void BM_ClipboardIdleWakeups(benchmark::State& state) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        state.SkipWithError("needs an X display");
        return;
    }
    auto watcher = std::make_shared<X11Clipboard>();
    History setup(watcher);
    setup.history->start();
    waitFor([] { return false; }, 200);  // settle
    qint64 wakeups = 0;
    for (auto _ : state) {
        const qint64 before = contextSwitches();
        QEventLoop loop;
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
        // The one wake-up of the single shot that ends the wait, and its context switch, stay in.
        wakeups = contextSwitches() - before;
    }
    state.counters["wakeups_in_5s"] = double(wakeups);
    state.counters["xfixes"] = watcher->usesSelectionEvents() ? 1 : 0;
}
BENCHMARK(BM_ClipboardIdleWakeups)->Unit(benchmark::kMillisecond)->Iterations(1);

// "Clipboard History" over a full history (4096 records of a line or a
// paragraph): made, filled and shown.
void BM_ClipboardHistoryViewOpens(benchmark::State& state) {
    History setup;
    ClipboardRepository writer(setup.pool);
    setup.pool->write([&](Connection& db) {
        for (int i = 0; i < 4096; ++i) {
            const QString text = i % 4 == 0 ? QStringLiteral("A longer paragraph that was copied %1 ").arg(i).repeated(8)
                                            : QStringLiteral("copied line %1").arg(i);
            db.execute(QStringLiteral("INSERT INTO clipboard (text, createdAt, lastModifiedAt, copyCount, isPinned, "
                                      "category) VALUES (?, ?, ?, 1, ?, 'text')"),
                       {text, QDateTime::currentDateTimeUtc().addSecs(-i), QDateTime::currentDateTimeUtc().addSecs(-i),
                        i % 500 == 0});
        }
    });
    ClipboardActions actions(*setup.history, [] { return nullptr; });
    for (auto _ : state) {
        ClipboardHistoryView view(*setup.history, actions, QString(), &setup.center);
        view.resize(800, 450);
        view.show();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(view.visibleItems().size());
    }
}
BENCHMARK(BM_ClipboardHistoryViewOpens)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
