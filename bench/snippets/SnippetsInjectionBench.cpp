// Keyword expansion on X11: how long typing a 50-character snippet takes,
// from the call to the last character in a focused Qt line edit (BackSpaces
// for a 4-character keyword first). Needs an X display:
//   scripts/test-session --run build/bench/vantrel_snippets_injection_bench
#include "platform/x11/X11KeyboardMonitor.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QLineEdit>

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
    X11KeyboardMonitor keyboard;
    QString problem;
    if (!keyboard.start([](const GlobalInputEvent&) {}, &problem)) {
        state.SkipWithError(problem.toStdString().c_str());
        return;
    }
    const QString text = QStringLiteral("Best regards, Ada Lovelace - Analytical Engine Co.").left(50);
    std::vector<double> latencies;
    for (auto _ : state) {
        edit.setText(QStringLiteral(";sig"));
        QElapsedTimer timer;
        timer.start();
        keyboard.press(KeyboardMonitor::Key::backSpace, 4, &problem);
        keyboard.type(text, &problem);
        if (!waitFor([&] { return edit.text() == text; }, 5000)) {
            state.SkipWithError("the text did not arrive");
            return;
        }
        latencies.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    state.counters["p50_ms"] = percentile(latencies, 0.5);
    state.counters["p99_ms"] = percentile(latencies, 0.99);
    state.counters["delay_s"] = std::max(keyboard.repeatDelay() - 0.1, 0.1);
}
BENCHMARK(BM_KeyEventInjection50)->Iterations(50)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
