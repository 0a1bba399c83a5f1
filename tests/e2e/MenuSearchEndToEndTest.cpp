// "Search Menu Items" against a real Qt application on the test session's X
// server, read over the session's accessibility bus (at-spi2-core): the menu
// bar is listed by path with shortcuts, and naming an item triggers it in the
// application. Without an accessibility bus the command says how to get one.
#include "e2e/LauncherProcess.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

const QString kMenuWindow = QStringLiteral(VANTREL_MENU_WINDOW);

class MenuSearchEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        VANTREL_REQUIRE_X_DISPLAY();
        VANTREL_REQUIRE_DESKTOP_OR_SKIP(windowManagerIsRunning(), "needs the window manager of scripts/test-session");
        ASSERT_TRUE(folder.isValid());
        log = folder.filePath(QStringLiteral("triggered.txt"));
        title = QStringLiteral("Menu Test %1").arg(QCoreApplication::applicationPid());
        app.start(kMenuWindow, {log, title});
        ASSERT_TRUE(app.waitForStarted(5000));
        ASSERT_TRUE(eventually([&] { return !windowId().isEmpty(); }, 15000)) << "the test application did not show";
        ASSERT_EQ(run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"), windowId()})
                      .exitCode,
                  0);
    }
    void TearDown() override {
        if (app.state() != QProcess::NotRunning) {
            app.kill();
            app.waitForFinished();
        }
    }

    QString windowId() const {
        const ProcessRun found =
            run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                            QStringLiteral("--name"), QStringLiteral("^") + title + QStringLiteral("$")});
        return found.out.split(QLatin1Char('\n')).value(0).trimmed();
    }

    // The application publishes itself on the bus a moment after it shows.
    QJsonObject menus() const {
        QJsonObject listed;
        eventually(
            [&] {
                const ProcessRun ran = run(kExecutable, {QStringLiteral("menus"), QStringLiteral("--json")}, 30000);
                listed = QJsonDocument::fromJson(ran.out.toUtf8()).object();
                return !listed.value(QStringLiteral("items")).toArray().isEmpty();
            },
            20000);
        return listed;
    }

    QTemporaryDir folder;
    ScopedEnv keyring{"VANTREL_KEYRING", QByteArray("file")};
    ScopedXdgHome home;
    QProcess app;
    QString log;
    QString title;
};

TEST_F(MenuSearchEndToEndTest, TheFrontApplicationsMenuBarIsListedByPath) {
    const QJsonObject listed = menus();
    QStringList paths;
    QJsonObject fresh;
    for (const QJsonValue& value : listed.value(QStringLiteral("items")).toArray()) {
        paths << value.toObject().value(QStringLiteral("path")).toString();
        if (paths.last() == QStringLiteral("File › New")) fresh = value.toObject();
    }
    EXPECT_TRUE(paths.contains(QStringLiteral("File › Export › PDF"))) << paths.join(" | ").toStdString();
    EXPECT_TRUE(paths.contains(QStringLiteral("File › Export › PNG")));
    EXPECT_TRUE(paths.contains(QStringLiteral("Edit › Paste")));
    EXPECT_EQ(fresh.value(QStringLiteral("shortcut")).toString(), QStringLiteral("Ctrl+N"));
    // Separators and submenus themselves are no items.
    EXPECT_FALSE(paths.contains(QStringLiteral("File › Export")));
    for (const QString& path : paths) EXPECT_FALSE(path.trimmed().isEmpty());
    for (const QJsonValue& value : listed.value(QStringLiteral("items")).toArray()) {
        if (value.toObject().value(QStringLiteral("path")).toString() == QStringLiteral("Edit › Copy")) {
            EXPECT_FALSE(value.toObject().value(QStringLiteral("enabled")).toBool());
        }
    }
}

TEST_F(MenuSearchEndToEndTest, NamingAnItemTriggersItInTheApplication) {
    ASSERT_FALSE(menus().isEmpty());
    const ProcessRun ran =
        run(kExecutable, {QStringLiteral("run"), QStringLiteral("searchMenuItems"), QStringLiteral("file > export > pdf")},
            30000);
    ASSERT_EQ(ran.exitCode, 0) << ran.err.toStdString();
    EXPECT_EQ(ran.out, QStringLiteral("File › Export › PDF"));
    EXPECT_TRUE(eventually([&] { return readFile(log) == QStringLiteral("File/Export/PDF\n"); })) << readFile(log).toStdString();
}

TEST_F(MenuSearchEndToEndTest, AnUnknownOrAmbiguousItemIsRefusedWithTheCandidates) {
    ASSERT_FALSE(menus().isEmpty());
    const ProcessRun unknown =
        run(kExecutable, {QStringLiteral("run"), QStringLiteral("searchMenuItems"), QStringLiteral("Print")}, 30000);
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("has no menu item \"Print\""))) << unknown.err.toStdString();
    const ProcessRun ambiguous =
        run(kExecutable, {QStringLiteral("run"), QStringLiteral("searchMenuItems"), QStringLiteral("P")}, 30000);
    EXPECT_EQ(ambiguous.exitCode, 1);
    EXPECT_TRUE(ambiguous.err.contains(QStringLiteral("\"File › Export › PDF\""))) << ambiguous.err.toStdString();
    EXPECT_TRUE(readFile(log).isEmpty());
}

// A session bus of its own, without the accessibility bus's service.
TEST_F(MenuSearchEndToEndTest, WithoutAnAccessibilityBusTheCommandSaysHowToGetOne) {
    const QString config = folder.filePath(QStringLiteral("bus.conf"));
    QFile file(config);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<busconfig><type>session</type><listen>unix:dir=" + folder.path().toUtf8() +
               "</listen><policy context=\"default\"><allow send_destination=\"*\"/><allow own=\"*\"/>"
               "<allow receive_sender=\"*\"/></policy></busconfig>");
    file.close();
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config, QStringLiteral("--print-address"),
                                               QStringLiteral("--nofork")});
    ASSERT_TRUE(bus.waitForStarted(5000));
    ASSERT_TRUE(eventually([&] { return bus.canReadLine() || bus.waitForReadyRead(50); }, 10000));
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();
    ASSERT_FALSE(address.isEmpty());
    QProcess menusRun;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    menusRun.setProcessEnvironment(environment);
    menusRun.start(kExecutable, {QStringLiteral("menus")});
    ASSERT_TRUE(menusRun.waitForFinished(30000));
    const QString said = QString::fromUtf8(menusRun.readAllStandardError());
    bus.kill();
    bus.waitForFinished();
    EXPECT_EQ(menusRun.exitCode(), 1);
    EXPECT_TRUE(said.contains(QStringLiteral("needs the accessibility bus (AT-SPI)"))) << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("at-spi2-core"))) << said.toStdString();
    EXPECT_FALSE(said.contains(QStringLiteral("not available")));
}

}  // namespace
}  // namespace vantrel::test
