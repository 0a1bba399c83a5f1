// The window layouts on real X servers: a plain X client window, a window
// manager (openbox, and fluxbox as a second one), the commands' service, and
// the frame measured from outside with xwininfo.
#include "features/windowmanagement/WindowPlacementSupport.h"

#include <algorithm>

#include <QCoreApplication>
#include <QProcess>

namespace vantrel::test {
namespace {

using A = WindowAction;

class WindowPlacement : public WindowPlacementFixture {
protected:
    // A plain application window of another process, active.
    xcb_window_t window(uint16_t width = 640, uint16_t height = 480) {
        const xcb_window_t created = client->createWindow(kOtherApplication, width, height);
        client->activate(created);
        return created;
    }

    CommandOutcome runAction(A action) { return service->resizeFocusedWindow(action); }

    void setProperty(xcb_window_t target, const char* name, xcb_atom_t type, const std::vector<uint32_t>& values) {
        xcb_change_property(client->connection(), XCB_PROP_MODE_REPLACE, target, client->atom(name), type, 32,
                            uint32_t(values.size()), values.data());
    }

    // A window whose properties are set before it is mapped, as applications
    // make dialogs and panels; once the window manager has taken it.
    xcb_window_t mappedWith(const std::function<void(xcb_window_t)>& describe, int16_t x = 100, int16_t y = 100,
                            uint16_t width = 400, uint16_t height = 300) {
        xcb_connection_t* c = client->connection();
        const xcb_window_t created = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, created, client->root(), x, y, width, height, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        setProperty(created, "_NET_WM_PID", XCB_ATOM_CARDINAL, {kOtherApplication});
        describe(created);
        xcb_map_window(c, created);
        client->sync();
        EXPECT_TRUE(waitUntil([&] {
            return X11Client::contains(client->property(client->root(), "_NET_CLIENT_LIST", XCB_ATOM_WINDOW),
                                       created);
        })) << "the window manager did not take the window";
        return created;
    }

    bool hasState(xcb_window_t target, const char* state) {
        return X11Client::contains(client->property(target, "_NET_WM_STATE", XCB_ATOM_ATOM), client->atom(state));
    }

    void askState(xcb_window_t target, uint32_t action, const char* first, const char* second = nullptr) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = target;
        event.type = client->atom("_NET_WM_STATE");
        event.data.data32[0] = action;
        event.data.data32[1] = client->atom(first);
        event.data.data32[2] = second ? client->atom(second) : 0;
        event.data.data32[3] = 2;
        xcb_send_event(client->connection(), 0, client->root(),
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
        client->sync();
    }

    static bool xrandr(const QStringList& arguments) {
        QProcess process;
        process.start(QStringLiteral("xrandr"), arguments);
        return process.waitForFinished(10000) && process.exitCode() == 0;
    }
};

// The usable area is the whole 1600 x 1000 screen; the small gap is 14, 7
// towards a neighbouring region.
TEST_P(WindowPlacement, LayoutsPutTheFrameOnTheirRectangleWithTheSmallGap) {
    const xcb_window_t target = window();
    const struct {
        A action;
        QRect expected;
    } steps[] = {
        {A::leftHalf, {14, 14, 779, 972}},
        {A::rightHalf, {807, 14, 779, 972}},
        {A::topRightQuarter, {807, 14, 779, 479}},
        {A::firstThird, {14, 14, 512, 972}},
        {A::lastTwoThird, {541, 14, 1045, 972}},
        // The current size, centred in the screen less the gap.
        {A::center, {277, 14, 1045, 972}},
        {A::maximize, {14, 14, 1572, 972}},
        // 60 % of the screen, centred, without the gap.
        {A::reasonableSize, {320, 200, 960, 600}},
        // Back to the frame before the last action.
        {A::restore, {14, 14, 1572, 972}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(rawValue(step.action).toStdString());
        const CommandOutcome outcome = runAction(step.action);
        ASSERT_EQ(outcome.kind, CommandOutcome::Kind::done) << outcome.title.toStdString() << ": "
                                                             << outcome.message.toStdString();
        EXPECT_TRUE(isNear(settlesOn(target, step.expected), step.expected));
    }
}

// A window that draws its own decorations and a 20-pixel shadow around them
// (undecorated by the window manager): the shadow is not part of the frame
// that lands on the layout.
TEST_P(WindowPlacement, TheInvisibleShadowOfClientSideDecorationsIsLeftOut) {
    const int shadow = 20;
    const xcb_window_t target = mappedWith([&](xcb_window_t created) {
        setProperty(created, "_MOTIF_WM_HINTS", client->atom("_MOTIF_WM_HINTS"), {2, 0, 0, 0, 0});
        setProperty(created, "_GTK_FRAME_EXTENTS", XCB_ATOM_CARDINAL,
                    {uint32_t(shadow), uint32_t(shadow), uint32_t(shadow), uint32_t(shadow)});
    });
    client->activate(target);
    ASSERT_EQ(runAction(A::topLeftQuarter).kind, CommandOutcome::Kind::done);
    const QRect visible(14, 14, 779, 479);
    const QRect withShadow = visible.adjusted(-shadow, -shadow, shadow, shadow);
    EXPECT_TRUE(isNear(settlesOn(target, withShadow), withShadow));
}

// A window manager that does not take _NET_MOVERESIZE_WINDOW gets a
// configure request of the window instead (its list of supported hints is
// shortened here, as such a window manager would publish it).
TEST_P(WindowPlacement, WithoutMoveResizeRequestsTheWindowIsConfigured) {
    std::vector<uint32_t> supported = client->property(client->root(), "_NET_SUPPORTED", XCB_ATOM_ATOM);
    const xcb_atom_t moveResize = client->atom("_NET_MOVERESIZE_WINDOW");
    ASSERT_TRUE(X11Client::contains(supported, moveResize));
    supported.erase(std::remove(supported.begin(), supported.end(), moveResize), supported.end());
    setProperty(client->root(), "_NET_SUPPORTED", XCB_ATOM_ATOM, supported);
    client->sync();
    const xcb_window_t target = window();
    ASSERT_EQ(runAction(A::bottomHalf).kind, CommandOutcome::Kind::done);
    EXPECT_TRUE(isNear(settlesOn(target, {14, 507, 1572, 479}), {14, 507, 1572, 479}));
}

TEST_P(WindowPlacement, AnActionThatGivesTheCurrentFrameLeavesTheWindowAndItsHistoryAlone) {
    const xcb_window_t target = window();
    const QRect before = *measuredFrame(target);
    ASSERT_EQ(runAction(A::leftHalf).kind, CommandOutcome::Kind::done);
    ASSERT_TRUE(isNear(settlesOn(target, {14, 14, 779, 972}), {14, 14, 779, 972}));
    ASSERT_EQ(runAction(A::leftHalf).kind, CommandOutcome::Kind::done);
    ASSERT_EQ(service->history().size(), 1u);
    EXPECT_TRUE(within(service->history().begin()->second.toRect(), before, 1));
}

TEST_P(WindowPlacement, NextDisplayMovesTheWindowToTheOtherMonitorScaled) {
    // Two monitors on the one screen: 1000 x 1000 on the left, 600 x 800 beside it.
    ASSERT_TRUE(xrandr({QStringLiteral("--setmonitor"), QStringLiteral("Left"),
                        QStringLiteral("1000/264x1000/264+0+0"), QStringLiteral("screen")}));
    ASSERT_TRUE(xrandr({QStringLiteral("--setmonitor"), QStringLiteral("Right"),
                        QStringLiteral("600/158x800/211+1000+0"), QStringLiteral("none")}));
    const xcb_window_t target = window();
    ASSERT_EQ(runAction(A::leftHalf).kind, CommandOutcome::Kind::done);
    ASSERT_TRUE(isNear(settlesOn(target, {14, 14, 479, 972}), {14, 14, 479, 972}));

    // 479 x 972 scaled by 600/1000 and 800/1000, centred on the right monitor.
    ASSERT_EQ(runAction(A::nextDisplay).kind, CommandOutcome::Kind::done);
    EXPECT_TRUE(isNear(settlesOn(target, {1156, 11, 287, 777}), {1156, 11, 287, 777}));
    // And back, the other way round (the list wraps).
    ASSERT_EQ(runAction(A::previousDisplay).kind, CommandOutcome::Kind::done);
    EXPECT_TRUE(isNear(settlesOn(target, {261, 14, 478, 971}), {261, 14, 478, 971}));
}

TEST_P(WindowPlacement, MaximizeStopsBelowADockReservingTheTop) {
    const uint32_t top = 40;
    mappedWith(
        [&](xcb_window_t dock) {
            setProperty(dock, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM, {client->atom("_NET_WM_WINDOW_TYPE_DOCK")});
            setProperty(dock, "_NET_WM_STRUT_PARTIAL", XCB_ATOM_CARDINAL, {0, 0, top, 0, 0, 0, 0, 0, 0, 1599, 0, 0});
            setProperty(dock, "_NET_WM_STRUT", XCB_ATOM_CARDINAL, {0, 0, top, 0});
        },
        0, 0, 1600, uint16_t(top));
    const xcb_window_t target = window();
    ASSERT_EQ(runAction(A::maximize).kind, CommandOutcome::Kind::done);
    EXPECT_TRUE(isNear(settlesOn(target, {14, 54, 1572, 932}), {14, 54, 1572, 932}));
}

// Window managers that know better than the struts (mutter) publish each
// monitor's work area; it is used as it stands.
TEST_P(WindowPlacement, TheWorkAreasTheWindowManagerPublishesPerMonitorAreUsed) {
    const auto desktop = client->property(client->root(), "_NET_CURRENT_DESKTOP", XCB_ATOM_CARDINAL);
    const QByteArray name = "_GTK_WORKAREAS_D" + QByteArray::number(desktop.empty() ? 0 : desktop.front());
    setProperty(client->root(), name.constData(), XCB_ATOM_CARDINAL, {0, 30, 1600, 970});
    const xcb_window_t target = window();
    ASSERT_EQ(runAction(A::maximize).kind, CommandOutcome::Kind::done);
    EXPECT_TRUE(isNear(settlesOn(target, {14, 44, 1572, 942}), {14, 44, 1572, 942}));
}

TEST_P(WindowPlacement, AMaximisedWindowIsTakenOutOfThatStateAndPlaced) {
    const xcb_window_t target = window();
    askState(target, 1, "_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_MAXIMIZED_HORZ");
    ASSERT_TRUE(waitUntil([&] {
        return hasState(target, "_NET_WM_STATE_MAXIMIZED_VERT") && hasState(target, "_NET_WM_STATE_MAXIMIZED_HORZ");
    })) << "the window manager did not maximise the window";

    ASSERT_EQ(runAction(A::leftHalf).kind, CommandOutcome::Kind::done);
    EXPECT_TRUE(isNear(settlesOn(target, {14, 14, 779, 972}), {14, 14, 779, 972}));
    EXPECT_FALSE(hasState(target, "_NET_WM_STATE_MAXIMIZED_VERT"));
    EXPECT_FALSE(hasState(target, "_NET_WM_STATE_MAXIMIZED_HORZ"));
}

TEST_P(WindowPlacement, ADialogWithoutParentIsRefusedAsASystemDialog) {
    const xcb_window_t dialog = mappedWith([&](xcb_window_t created) {
        setProperty(created, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM, {client->atom("_NET_WM_WINDOW_TYPE_DIALOG")});
    });
    client->activate(dialog);
    const QRect before = *measuredFrame(dialog);
    const CommandOutcome outcome = runAction(A::leftHalf);
    EXPECT_EQ(outcome.kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(outcome.title, QStringLiteral("Cannot resize window"));
    EXPECT_EQ(outcome.message, QStringLiteral("Cannot resize system dialogs"));
    EXPECT_TRUE(isNear(measuredFrame(dialog).value_or(QRect()), before));
}

TEST_P(WindowPlacement, AModalWindowOfAnotherIsRefusedAsASheet) {
    const xcb_window_t parent = window();
    const xcb_window_t sheet = mappedWith([&](xcb_window_t created) {
        setProperty(created, "WM_TRANSIENT_FOR", XCB_ATOM_WINDOW, {parent});
        setProperty(created, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM, {client->atom("_NET_WM_WINDOW_TYPE_DIALOG")});
        setProperty(created, "_NET_WM_STATE", XCB_ATOM_ATOM, {client->atom("_NET_WM_STATE_MODAL")});
    });
    client->activate(sheet);
    const CommandOutcome outcome = runAction(A::moveLeft);
    EXPECT_EQ(outcome.kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(outcome.title, QStringLiteral("Cannot move window"));
    EXPECT_EQ(outcome.message, QStringLiteral("Cannot resize sheets"));
}

TEST_P(WindowPlacement, AWindowOfFixedSizeIsNotResizable) {
    const xcb_window_t fixed = mappedWith([&](xcb_window_t created) {
        // WM_SIZE_HINTS with the minimum and maximum size both 400 x 300.
        std::vector<uint32_t> hints(18, 0);
        hints[0] = (1u << 4) | (1u << 5);
        hints[5] = hints[7] = 400;
        hints[6] = hints[8] = 300;
        setProperty(created, "WM_NORMAL_HINTS", XCB_ATOM_WM_SIZE_HINTS, hints);
    });
    client->activate(fixed);
    const CommandOutcome outcome = runAction(A::rightHalf);
    EXPECT_EQ(outcome.kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(outcome.message, QStringLiteral("Focused window is not resizable"));
}

TEST_P(WindowPlacement, WindowsMoveBetweenDesktopsUntilTheFirstAndTheLast) {
    const xcb_window_t target = window();
    const auto desktopOf = [&] {
        const auto value = client->property(target, "_NET_WM_DESKTOP", XCB_ATOM_CARDINAL);
        return value.empty() ? -1 : int(value.front());
    };
    const auto count = client->property(client->root(), "_NET_NUMBER_OF_DESKTOPS", XCB_ATOM_CARDINAL);
    ASSERT_FALSE(count.empty());
    ASSERT_GE(count.front(), 2u);
    ASSERT_TRUE(waitUntil([&] { return desktopOf() == 0; }));

    const CommandOutcome first = runAction(A::previousDesktop);
    EXPECT_EQ(first.kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(first.title, QStringLiteral("Cannot move window"));
    EXPECT_EQ(first.message, QStringLiteral("Cannot move space to the left"));

    ASSERT_EQ(runAction(A::nextDesktop).kind, CommandOutcome::Kind::done);
    EXPECT_TRUE(waitUntil([&] { return desktopOf() == 1; })) << desktopOf();
}

TEST_P(WindowPlacement, FullscreenIsToggled) {
    const xcb_window_t target = window();
    ASSERT_EQ(runAction(A::toggleFullscreen).kind, CommandOutcome::Kind::done);
    ASSERT_TRUE(waitUntil([&] { return hasState(target, "_NET_WM_STATE_FULLSCREEN"); }));
    EXPECT_TRUE(isNear(settlesOn(target, {0, 0, 1600, 1000}), {0, 0, 1600, 1000}));
    ASSERT_EQ(runAction(A::toggleFullscreen).kind, CommandOutcome::Kind::done);
    EXPECT_TRUE(waitUntil([&] { return !hasState(target, "_NET_WM_STATE_FULLSCREEN"); }));
}

TEST_P(WindowPlacement, TheGapFollowsThePackageConfiguration) {
    const xcb_window_t target = window();
    setGap(QStringLiteral("large"));
    ASSERT_EQ(runAction(A::leftHalf).kind, CommandOutcome::Kind::done);
    EXPECT_TRUE(isNear(settlesOn(target, {64, 64, 704, 872}), {64, 64, 704, 872}));
    setGap(QStringLiteral("none"));
    ASSERT_EQ(runAction(A::leftHalf).kind, CommandOutcome::Kind::done);
    EXPECT_TRUE(isNear(settlesOn(target, {0, 0, 800, 1000}), {0, 0, 800, 1000}));
}

TEST_P(WindowPlacement, WhileTheLauncherIsInFrontTheWindowRememberedWhenItOpenedIsArranged) {
    const xcb_window_t target = window();
    QString problem;
    const std::shared_ptr<WindowClient> windows(X11WindowClient::connect(&problem));
    ASSERT_TRUE(windows) << problem.toStdString();
    windows->rememberActiveWindow(0);
    // A window of this very process (the launcher) takes the focus.
    const xcb_window_t launcher = client->createWindow(uint32_t(QCoreApplication::applicationPid()), 300, 200);
    client->activate(launcher);
    EXPECT_EQ(windows->focusedWindow().id, target);
}

TEST_P(WindowPlacement, WithoutAnActiveWindowThereIsNothingToArrange) {
    const CommandOutcome outcome = runAction(A::leftHalf);
    EXPECT_EQ(outcome.kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(outcome.message, QStringLiteral("Cannot get focused window"));
}

INSTANTIATE_TEST_SUITE_P(WindowManagers, WindowPlacement, ::testing::ValuesIn(kWindowManagers), windowManagerName);

}  // namespace
}  // namespace vantrel::test
