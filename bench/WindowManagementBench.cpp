// Window layouts: the calculation alone, and a command until the window is
// placed — the service asks the window manager to move a test window and the
// clock stops when the window's frame is where the layout puts it. Needs
// $DISPLAY with a window manager; run it inside scripts/test-session --run.
#include "BenchSupport.h"

#include "core/commands/PackageRegistry.h"
#include "data/PackageConfigurationRepository.h"
#include "features/windowmanagement/WindowCalculation.h"
#include "features/windowmanagement/WindowManagementService.h"
#include "kit/NotificationCenter.h"
#include "platform/x11/X11WindowClient.h"

#include <QDeadlineTimer>
#include <QThread>

#include <benchmark/benchmark.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {

using namespace vantrel;

void BM_WindowCalculationAllLayouts(benchmark::State& state) {
    const WindowCalculationEngine engine;
    const QRectF screen(0, 27, 1919, 1053);
    const QRectF window(100, 100, 800, 600);
    for (auto _ : state)
        for (const WindowAction action : allWindowActions())
            benchmark::DoNotOptimize(
                engine.resize(window, 14, screen, QRectF(-1920, 0, 1920, 1080), std::nullopt, window, action));
}
BENCHMARK(BM_WindowCalculationAllLayouts)->Unit(benchmark::kMicrosecond);

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return value;
}

// One run of "Left Half" or "Right Half" from the service's entry point until
// the window's frame has landed (the window manager has done it).
void BM_WindowManagementCommandToWindowPlaced(benchmark::State& state) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        state.SkipWithError("needs an X display with a window manager");
        return;
    }
    bench::TemporaryDatabase database;
    const auto pool = database.open();
    NotificationCenter center;
    PackageRegistry registry(std::make_shared<PackageConfigurationRepository>(pool), false, &center);
    registry.setPackageConfiguration(PackageIdentifier("windowManagement"), [](QVariantMap& payload, bool&) {
        payload.insert(QStringLiteral("gap"), QStringLiteral("small"));
    });
    QString problem;
    std::shared_ptr<X11WindowClient> observer(X11WindowClient::connect(&problem));
    if (!observer) {
        state.SkipWithError(problem.toStdString().c_str());
        return;
    }
    WindowManagementService service(registry, center, [](QString* why) {
        return std::shared_ptr<WindowClient>(X11WindowClient::connect(why));
    });

    // A plain window of another application, active.
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 50, 50, 640, 480, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, 0, nullptr);
    const uint32_t pid = 4300001;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
    xcb_map_window(c, window);
    xcb_client_message_event_t activate{};
    activate.response_type = XCB_CLIENT_MESSAGE;
    activate.format = 32;
    activate.window = window;
    activate.type = atom(c, "_NET_ACTIVE_WINDOW");
    activate.data.data32[0] = 2;
    const auto focused = [&] {
        try {
            return observer->focusedWindow().id == window;
        } catch (const std::exception&) {
            return false;
        }
    };
    QDeadlineTimer deadline(10000);
    while (!focused() && !deadline.hasExpired()) {
        xcb_send_event(c, 0, screen->root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&activate));
        xcb_flush(c);
        QThread::msleep(20);
    }
    if (!focused()) {
        state.SkipWithError("the window manager did not activate the test window");
        xcb_disconnect(c);
        return;
    }

    const WindowCalculationEngine engine;
    const QRectF area(observer->screens().front().usableArea);
    bool right = false;
    int late = 0;
    for (auto _ : state) {
        const WindowAction action = right ? WindowAction::rightHalf : WindowAction::leftHalf;
        right = !right;
        const QRect expected = engine.resize(QRectF(0, 0, 10, 10), 14, area, {}, {}, {}, action)->toRect();
        service.perform(action);
        QDeadlineTimer placed(2000);
        while (observer->frameOf(window) != std::optional<QRect>(expected) && !placed.hasExpired()) {
        }
        if (placed.hasExpired()) ++late;
    }
    if (late) state.SkipWithError("the window did not land on the layout within 2 s");
    xcb_destroy_window(c, window);
    xcb_flush(c);
    xcb_disconnect(c);
}
BENCHMARK(BM_WindowManagementCommandToWindowPlaced)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
