// The window manager's view of the desktop's windows, and the requests a
// pager sends it, against the test session's X server and openbox.
#include "platform/x11/Ewmh.h"
#include "platform/x11/XcbConnection.h"
#include "support/TestEnvironment.h"
#include "support/X11TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vantrel::test {
namespace {

constexpr uint32_t kEditorPid = 4000001;  // pretend processes of other applications
constexpr uint32_t kBrowserPid = 4000002;

class EwmhOnTheSessionDisplay : public SessionWindowsTest {
protected:
    void SetUp() override {
        SessionWindowsTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        QString problem;
        ewmh = Ewmh::connect(&problem);
        ASSERT_TRUE(ewmh) << problem.toStdString();
    }

    const Ewmh::Window* find(const std::vector<Ewmh::Window>& windows, xcb_window_t id) {
        const auto found = std::find_if(windows.begin(), windows.end(), [&](const auto& w) { return w.id == id; });
        return found == windows.end() ? nullptr : &*found;
    }

    std::unique_ptr<Ewmh> ewmh;
};

TEST_F(EwmhOnTheSessionDisplay, KnowsWhatTheWindowManagerSupports) {
    EXPECT_TRUE(ewmh->supports("_NET_ACTIVE_WINDOW"));
    EXPECT_TRUE(ewmh->supports("_NET_CLOSE_WINDOW"));
    EXPECT_FALSE(ewmh->supports("_VANTREL_NO_SUCH_HINT"));
}

TEST_F(EwmhOnTheSessionDisplay, ListsApplicationWindowsWithTheirProcessesInStackingOrder) {
    const xcb_window_t editor = client->createWindow(kEditorPid);
    const xcb_window_t anonymous = client->createWindow(std::nullopt);
    const std::vector<Ewmh::Window> windows = ewmh->clientWindows();
    const Ewmh::Window* editorWindow = find(windows, editor);
    const Ewmh::Window* anonymousWindow = find(windows, anonymous);
    ASSERT_NE(editorWindow, nullptr);
    ASSERT_NE(anonymousWindow, nullptr);
    EXPECT_EQ(editorWindow->pid, kEditorPid);
    EXPECT_TRUE(editorWindow->normal);
    EXPECT_FALSE(editorWindow->hidden);
    EXPECT_EQ(anonymousWindow->pid, std::nullopt);
    // The window mapped last is on top.
    EXPECT_LT(editorWindow, anonymousWindow);
}

TEST_F(EwmhOnTheSessionDisplay, MinimizesAndActivatesWindows) {
    const xcb_window_t editor = client->createWindow(kEditorPid);
    const xcb_window_t browser = client->createWindow(kBrowserPid);

    ewmh->activate(editor);
    ewmh->sync();
    // Both views agree; openbox may pass through "no active window" on the way.
    EXPECT_TRUE(waitUntil([&] { return ewmh->activeWindow() == editor && client->activeWindow() == editor; }))
        << "the editor did not get the focus";

    ewmh->minimize(browser);
    ewmh->sync();
    EXPECT_TRUE(waitUntil([&] { return client->isHidden(browser); })) << "the browser was not minimized";
    EXPECT_TRUE(waitUntil([&] {
        const std::vector<Ewmh::Window> windows = ewmh->clientWindows();
        const Ewmh::Window* window = find(windows, browser);
        return window && window->hidden;
    }));

    ewmh->activate(browser);
    ewmh->sync();
    EXPECT_TRUE(waitUntil([&] { return !client->isHidden(browser) && ewmh->activeWindow() == browser; }))
        << "the browser was not restored";
}

TEST_F(EwmhOnTheSessionDisplay, AsksTheApplicationToCloseItsWindow) {
    const xcb_window_t editor = client->createWindow(kEditorPid);
    const xcb_window_t browser = client->createWindow(kBrowserPid);
    ewmh->close(editor);
    ewmh->sync();
    EXPECT_TRUE(waitUntil([&] { return !client->closeRequests().empty(); })) << "no close request arrived";
    EXPECT_EQ(client->closeRequests(), std::vector<xcb_window_t>{editor});
    EXPECT_FALSE(X11Client::contains(client->closeRequests(), browser));
}

TEST_F(EwmhOnTheSessionDisplay, ShowsTheDesktopAndTheWindowsAgain) {
    client->createWindow(kEditorPid);
    ASSERT_FALSE(ewmh->showingDesktop());
    ewmh->setShowingDesktop(true);
    ewmh->sync();
    EXPECT_TRUE(waitUntil([&] { return client->showingDesktop(); }));
    EXPECT_TRUE(ewmh->showingDesktop());
    ewmh->setShowingDesktop(false);
    ewmh->sync();
    EXPECT_TRUE(waitUntil([&] { return !client->showingDesktop(); }));
    EXPECT_FALSE(ewmh->showingDesktop());
}

// Where Ewmh cannot connect, it says why: without a display, in a Wayland
// session, and with a display that cannot be reached.
struct Unavailable {
    const char* label;
    const char* display;  // nullptr: as it is; "": unset
    const char* session;  // nullptr: unset
    const char* problem;
};

class EwmhUnavailable : public ::testing::TestWithParam<Unavailable> {};

TEST_P(EwmhUnavailable, SaysWhy) {
    const Unavailable& c = GetParam();
    std::optional<ScopedEnv> display;
    if (c.display) display.emplace("DISPLAY", *c.display ? std::optional<QByteArray>(c.display) : std::nullopt);
    ScopedEnv session("XDG_SESSION_TYPE", c.session ? std::optional<QByteArray>(c.session) : std::nullopt);
    QString problem;
    EXPECT_EQ(Ewmh::connect(&problem), nullptr);
    EXPECT_EQ(problem, QString::fromLatin1(c.problem));
}

INSTANTIATE_TEST_SUITE_P(
    Sessions, EwmhUnavailable,
    ::testing::Values(Unavailable{"WithoutADisplay", "", nullptr, "it needs an X11 display, and DISPLAY is not set"},
                      Unavailable{"InAWaylandSession", nullptr, "wayland",
                                  "it works only in an X11 session, and this is a Wayland session"},
                      Unavailable{"ADisplayThatCannotBeReached", ":4741", nullptr,
                                  "the X display :4741 cannot be reached"}),
    [](const auto& test) { return std::string(test.param.label); });

}  // namespace
}  // namespace vantrel::test
