// Extension views on an X display: from the JSON of a render to the list
// painted on screen, and a patch that changes one item's title.
//   scripts/test-session --run build/bench/vantrel_extensions_views_bench
// "Render to painted" covers building the typed tree from the render's JSON
// (1,000 items with an action each), the controller applying it, the toolkit
// list taking the rows and the first paint of the list's viewport.
#include "extensions/views/ViewModel.h"
#include "features/extensions/ui/ExtensionCommandView.h"
#include "ui/toolkit/ListView.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QListView>
#include <QPaintEvent>

#include <benchmark/benchmark.h>

using namespace vantrel;
namespace views = vantrel::extensions::views;

namespace {

QJsonObject renderArguments(int count, const QString& changedTitle = {}, int changedIndex = -1) {
    QJsonArray items;
    for (int i = 0; i < count; ++i) {
        const QString title = i == changedIndex ? changedTitle : QStringLiteral("Item number %1").arg(i);
        items.append(QJsonObject{{"kind", "listViewItem"},
                                 {"nodeId", QStringLiteral("i%1").arg(i)},
                                 {"path", QStringLiteral("/body/0/sections/0/items/%1").arg(i)},
                                 {"title", title},
                                 {"subtitle", "subtitle"},
                                 {"accessoryTitle", "accessory"},
                                 {"index", "some index words"},
                                 {"actions", QJsonObject{{"sections", QJsonArray{QJsonObject{{"items", QJsonArray{QJsonObject{
                                                 {"id", QStringLiteral("a%1").arg(i)}, {"title", "Open"}, {"onAction", "open"}}}}}}}}}});
    }
    const QJsonObject list{{"kind", "listView"}, {"nodeId", "list"}, {"path", "/body/0"}, {"navigationTitle", "Bench"},
                           {"sections", QJsonArray{QJsonObject{{"kind", "listViewSection"}, {"nodeId", "s"},
                                                               {"path", "/body/0/sections/0"}, {"items", items}}}}};
    const QJsonObject root{{"kind", "commandView"}, {"nodeId", "root"}, {"path", ""}, {"body", QJsonArray{list}},
                           {"selectedView", QJsonObject{{"value", "list"}, {"id", "view"}}}};
    QJsonArray patch;
    if (changedIndex >= 0)
        patch.append(QJsonObject{{"op", "replace"},
                                 {"path", QStringLiteral("/body/0/sections/0/items/%1/title").arg(changedIndex)},
                                 {"value", changedTitle}});
    return {{"model", root}, {"patch", patch}};
}

// Records what the list's viewport paints.
class PaintRecorder : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            painted = true;
            region += static_cast<QPaintEvent*>(event)->region();
        }
        return QObject::eventFilter(watched, event);
    }
    bool painted = false;
    QRegion region;
};

QWidget* viewportOf(const ExtensionCommandView& view) {
    LauncherView* inner = view.currentView();
    auto* list = inner ? inner->findChild<QListView*>() : nullptr;
    return list ? list->viewport() : nullptr;
}

bool waitForPaint(PaintRecorder& recorder) {
    QDeadlineTimer deadline(5000);
    while (!recorder.painted && !deadline.hasExpired()) QApplication::processEvents(QEventLoop::AllEvents, 5);
    return recorder.painted;
}

const views::CommandViewController::EventSender kNoScript = [](const QString&, const QJsonValue&, auto) {};

void BM_RenderToPainted(benchmark::State& state) {
    const QJsonObject arguments = renderArguments(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        auto view = std::make_unique<ExtensionCommandView>(ExtensionCommandView::Options{"bench", "Bench", std::nullopt, {}});
        view->resize(750, 475);
        view->show();
        QApplication::processEvents();
        state.ResumeTiming();

        view->controller().render(views::VantrelViewState::build(arguments, QUrl()), kNoScript);
        view->controller().flush();
        PaintRecorder recorder;
        QWidget* viewport = viewportOf(*view);
        if (!viewport) {
            state.SkipWithError("no list after the render");
            return;
        }
        viewport->installEventFilter(&recorder);
        viewport->update();
        if (!waitForPaint(recorder)) {
            state.SkipWithError("the list was not painted");
            return;
        }

        state.PauseTiming();
        view.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_RenderToPainted)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_OneTitlePatch(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    ExtensionCommandView view(ExtensionCommandView::Options{"bench", "Bench", std::nullopt, {}});
    view.resize(750, 475);
    view.show();
    view.controller().render(views::VantrelViewState::build(renderArguments(count), QUrl()), kNoScript);
    view.controller().flush();
    QApplication::processEvents();
    QWidget* viewport = viewportOf(view);
    if (!viewport) {
        state.SkipWithError("no list after the render");
        return;
    }
    // Two trees that differ from the shown one in the title of the second row.
    const QJsonObject first = renderArguments(count, QStringLiteral("Renamed A"), 1);
    const QJsonObject second = renderArguments(count, QStringLiteral("Renamed B"), 1);
    int round = 0;
    double paintedHeight = 0;
    for (auto _ : state) {
        PaintRecorder recorder;
        viewport->installEventFilter(&recorder);
        view.controller().render(views::VantrelViewState::build(++round % 2 ? first : second, QUrl()), kNoScript);
        view.controller().flush();
        if (!waitForPaint(recorder)) {
            state.SkipWithError("the changed row was not painted");
            return;
        }
        viewport->removeEventFilter(&recorder);
        paintedHeight += recorder.region.boundingRect().height();
    }
    state.counters["painted_px"] = paintedHeight / static_cast<double>(state.iterations());
    state.counters["viewport_px"] = viewport->height();
}
BENCHMARK(BM_OneTitlePatch)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(50);

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
