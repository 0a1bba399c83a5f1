// The tray icon on a desktop whose tray comes later: the session's X server
// has none until a real tray host (trayer) starts.
#include "support/TestEnvironment.h"
#include "support/X11TestSupport.h"

#include "ui/window/TrayIcon.h"

#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QSystemTrayIcon>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

TEST(TrayIconTest, TheIconGoesUpWhenATrayAppearsLater) {
    VANTREL_REQUIRE_X_DISPLAY();
    const QString trayer = QStandardPaths::findExecutable(QStringLiteral("trayer"));
    VANTREL_REQUIRE_DESKTOP_OR_SKIP(!trayer.isEmpty(), "trayer is not installed");
    VANTREL_REQUIRE_DESKTOP_OR_SKIP(!QSystemTrayIcon::isSystemTrayAvailable(), "a tray already runs on this display");

    TrayIcon tray;
    QSignalSpy shown(&tray, &TrayIcon::shown);
    tray.showWhenTrayAppears(std::chrono::milliseconds(100));
    EXPECT_FALSE(tray.isVisible());

    QProcess host;
    host.start(trayer, {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--widthtype"),
                        QStringLiteral("pixel"), QStringLiteral("--width"), QStringLiteral("64")});
    ASSERT_TRUE(host.waitForStarted(5000));
    EXPECT_TRUE(waitUntil([&] { return !shown.isEmpty(); }, 15000)) << "the icon did not go up";
    EXPECT_TRUE(tray.isVisible());
    EXPECT_EQ(shown.size(), 1);

    host.terminate();
    if (!host.waitForFinished(3000)) host.kill();
    host.waitForFinished(1000);
}

}  // namespace
}  // namespace vantrel::test
