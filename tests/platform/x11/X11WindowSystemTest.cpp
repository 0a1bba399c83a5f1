// The launcher window's dealings with the window manager and the compositor,
// against the test session's X server and openbox, over a connection of the
// test's own (as the application's would be).
#include "platform/x11/X11WindowSystem.h"
#include "platform/x11/XcbConnection.h"
#include "support/TestEnvironment.h"
#include "support/X11TestSupport.h"

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

class X11WindowSystemOnTheSessionDisplay : public SessionWindowsTest {
protected:
    void SetUp() override {
        SessionWindowsTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        QString problem;
        std::shared_ptr<XcbConnection> connection = XcbConnection::open({}, &problem);
        ASSERT_TRUE(connection) << problem.toStdString();
        windows.emplace(connection);
    }

    std::optional<X11WindowSystem> windows;
};

TEST_F(X11WindowSystemOnTheSessionDisplay, SeesACompositorWhileOneHoldsItsSelection) {
    const QByteArray selection = "_NET_WM_CM_S" + QByteArray::number(XcbConnection::open()->screenNumber());
    // The session runs openbox alone.
    EXPECT_FALSE(windows->compositorRunning());
    client->ownSelection(selection.constData());
    EXPECT_TRUE(windows->compositorRunning());
    client->releaseSelection(selection.constData());
    EXPECT_FALSE(windows->compositorRunning());
}

TEST_F(X11WindowSystemOnTheSessionDisplay, TellsWhereTheActiveWindowIsUnlessItIsOurs) {
    const xcb_window_t editor = client->createWindow(4000001, 320, 240);
    const xcb_window_t own = client->createWindow(std::nullopt);

    windows->requestActivation(editor);
    ASSERT_TRUE(waitUntil([&] { return client->activeWindow() == editor; })) << "the editor did not get the focus";
    const std::optional<QRect> geometry = windows->activeWindowGeometry(own);
    ASSERT_TRUE(geometry.has_value());
    EXPECT_EQ(geometry->size(), QSize(320, 240));
    // Its contents sit inside openbox's frame, on the screen.
    EXPECT_GE(geometry->x(), 0);
    EXPECT_GT(geometry->y(), 0);
    EXPECT_EQ(windows->activeWindowGeometry(editor), std::nullopt);

    windows->requestActivation(own);
    ASSERT_TRUE(waitUntil([&] { return client->activeWindow() == own; })) << "our window did not get the focus";
    EXPECT_EQ(windows->activeWindowGeometry(own), std::nullopt);
}

TEST_F(X11WindowSystemOnTheSessionDisplay, NamesTheWindowsClassForTheWindowManager) {
    const xcb_window_t own = client->createWindow(std::nullopt);
    windows->setWindowClass(own, "vantrel", "Vantrel");
    EXPECT_TRUE(waitUntil([&] {
        return client->bytes(own, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING) == QByteArray("vantrel\0Vantrel\0", 16);
    })) << client->bytes(own, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING).toStdString();
}

}  // namespace
}  // namespace vantrel::test
