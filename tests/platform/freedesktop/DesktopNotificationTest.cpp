// Desktop notifications over org.freedesktop.Notifications, shown by a real
// notification server (dunst, started by the session bus on the first call)
// and read back from its history.
#include "platform/freedesktop/EvolutionDataStore.h"
#include "support/TestEnvironment.h"

#include <QProcess>
#include <QStandardPaths>
#include <QUuid>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

QString dunstctl(const QStringList& arguments) {
    QProcess control;
    control.start(QStringLiteral("dunstctl"), arguments);
    if (!control.waitForFinished(10000)) return {};
    return QString::fromUtf8(control.readAllStandardOutput());
}

TEST(DesktopNotificationTest, ANotificationReachesTheDesktopsNotificationServer) {
    if (QStandardPaths::findExecutable(QStringLiteral("dunst")).isEmpty() || qEnvironmentVariableIsEmpty("DISPLAY")) {
        if (desktopRequired()) FAIL() << "dunst (scripts/install-deps) and the session's display are needed";
        GTEST_SKIP() << "no notification server here";
    }
    const QString summary = QStringLiteral("Pay rent ") + QUuid::createUuid().toString(QUuid::Id128).left(8);
    QString problem;
    ASSERT_TRUE(showDesktopNotification(summary, QStringLiteral("Due at 09:00"), &problem)) << problem.toStdString();
    // Closed notifications move to the server's history.
    EXPECT_TRUE(waitUntil(
        [&] {
            dunstctl({QStringLiteral("close-all")});
            return dunstctl({QStringLiteral("history")}).contains(summary);
        },
        10000));
}

}  // namespace
}  // namespace vantrel::test
