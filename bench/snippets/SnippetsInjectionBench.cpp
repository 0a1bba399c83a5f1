// Keyword expansion on X11, what follows the injection delay:
// - BM_KeyEventInjection50: the whole insertion of a 50-character snippet
//   through TextInjectEngine (the focused-element check on the accessibility
//   bus, BackSpaces for a 4-character keyword, the text typed through XTest),
//   from the call until a focused Qt line edit holds the text;
// - BM_FocusedElementLookup: the focused-element check alone, against another
//   process whose window is on the accessibility bus (the tests' text window).
// Needs an X display and the session bus:
//   scripts/test-session --run build/bench/vantrel_snippets_injection_bench
#include "features/snippets/TextInjectEngine.h"
#include "platform/freedesktop/AtSpiFocus.h"
#include "platform/x11/X11KeyboardMonitor.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace {

using namespace vantrel;

bool waitFor(const std::function<bool()>& condition, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
    }
    return true;
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

void BM_KeyEventInjection50(benchmark::State& state) {
    QLineEdit edit;
    edit.setWindowTitle(QStringLiteral("Injection bench"));
    edit.show();
    edit.activateWindow();
    edit.setFocus();
    if (!waitFor([&] { return edit.hasFocus() && QApplication::activeWindow() == &edit; }, 5000)) {
        state.SkipWithError("the line edit did not get the focus");
        return;
    }
    auto keyboard = std::make_shared<X11KeyboardMonitor>();
    QString problem;
    if (!keyboard->start([](const GlobalInputEvent&) {}, &problem)) {
        state.SkipWithError(problem.toStdString().c_str());
        return;
    }
    TextInjectEngine::Dependencies dependencies;
    dependencies.keyboard = keyboard;
    dependencies.accessibility = std::make_shared<AtSpiFocus>();
    // This process's window (not on the accessibility bus: the lookup finds no element).
    dependencies.focusedApplication = [] {
        ForeignApplication application;
        application.pid = QCoreApplication::applicationPid();
        return std::optional<ForeignApplication>(application);
    };
    TextInjectEngine engine(dependencies, TextInjectEngine::Mode::automatic);
    const QString text = QStringLiteral("Best regards, Ada Lovelace - Analytical Engine Co.").left(50);
    std::vector<double> latencies;
    for (auto _ : state) {
        edit.setText(QStringLiteral(";sig"));
        QElapsedTimer timer;
        timer.start();
        const std::optional<TextInjectEngine::Target> target = engine.target();
        if (!target) {
            state.SkipWithError("the line edit was refused as a target");
            return;
        }
        engine.inject(text, QStringLiteral(";sig"), *target);
        if (!waitFor([&] { return edit.text() == text; }, 5000)) {
            state.SkipWithError("the text did not arrive");
            return;
        }
        latencies.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    state.counters["p50_ms"] = percentile(latencies, 0.5);
    state.counters["p99_ms"] = percentile(latencies, 0.99);
    state.counters["delay_s"] = std::max(keyboard->repeatDelay() - 0.1, 0.1);
    state.counters["bus"] = dependencies.accessibility->isAvailable() ? 1 : 0;
}
BENCHMARK(BM_KeyEventInjection50)->Iterations(50)->Unit(benchmark::kMillisecond);

void BM_FocusedElementLookup(benchmark::State& state) {
    QTemporaryDir folder;
    QProcess window;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    window.setProcessEnvironment(environment);
    window.start(QStringLiteral(VANTREL_TEXT_WINDOW),
                 {folder.filePath(QStringLiteral("typed.txt")), QStringLiteral("Lookup bench target")});
    if (!window.waitForStarted()) {
        state.SkipWithError("the text window did not start");
        return;
    }
    AtSpiFocus accessibility;
    const qint64 pid = window.processId();
    if (!accessibility.isAvailable() || !waitFor([&] { return accessibility.focusedElement(pid) != nullptr; }, 10000)) {
        state.SkipWithError("the text window's field never showed on the accessibility bus");
        window.kill();
        window.waitForFinished();
        return;
    }
    std::vector<double> latencies;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const auto element = accessibility.focusedElement(pid);
        latencies.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (!element) {
            state.SkipWithError("the focused element was lost");
            break;
        }
    }
    window.kill();
    window.waitForFinished();
    if (latencies.empty()) return;
    state.counters["p50_ms"] = percentile(latencies, 0.5);
    state.counters["p99_ms"] = percentile(latencies, 0.99);
}
BENCHMARK(BM_FocusedElementLookup)->Iterations(100)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
