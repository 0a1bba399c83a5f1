// The desktop's own shortcut settings, written for real: GNOME's custom
// keybindings through GSettings with the installed schemas (keyfile backend,
// read back with the gsettings tool), KDE's global shortcuts through the real
// kglobalaccel service on the session's X server (pressed with xdotool), and
// the desktop portal of the test session, which offers no global shortcuts.
#include "platform/freedesktop/DBusStandIn.h"
#include "platform/shortcuts/DesktopShortcutsFactory.h"
#include "platform/shortcuts/GnomeShortcuts.h"
#include "platform/shortcuts/KdeShortcuts.h"
#include "platform/shortcuts/PortalGlobalShortcuts.h"
#include "platform/shortcuts/ShortcutKeys.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"
#include "support/X11TestSupport.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

KeyCombination keys(const char* stored) {
    return *KeyCombination::fromPersistentString(QString::fromLatin1(stored));
}

const KeyCombination kAltSpace = KeyCombination{ModifierKeys::option, KeyEquivalent(U' ')};

// MARK: Key forms

TEST(ShortcutKeysTest, CombinationsInEachDesktopsFormAndBack) {
    EXPECT_EQ(shortcutkeys::gtkAccelerator(kAltSpace), QStringLiteral("<Alt>space"));
    EXPECT_EQ(shortcutkeys::gtkAccelerator(keys("Control-Option-17")), QStringLiteral("<Control><Alt>t"));
    EXPECT_EQ(shortcutkeys::gtkAccelerator(keys("Shift-Command-122")), QStringLiteral("<Shift><Super>F1"));
    EXPECT_EQ(shortcutkeys::portalTrigger(keys("Control-Option-17")), QStringLiteral("CTRL+ALT+t"));
    EXPECT_EQ(shortcutkeys::portalTrigger(kAltSpace), QStringLiteral("ALT+space"));
    EXPECT_EQ(shortcutkeys::qtKey(kAltSpace), int(Qt::AltModifier) | Qt::Key_Space);

    for (const char* stored : {"Option-49", "Control-Option-17", "Shift-Command-122", "Control-123", "Option-27"}) {
        const KeyCombination combination = keys(stored);
        EXPECT_EQ(shortcutkeys::fromGtkAccelerator(*shortcutkeys::gtkAccelerator(combination)), combination) << stored;
        EXPECT_EQ(shortcutkeys::fromQtKey(*shortcutkeys::qtKey(combination)), combination) << stored;
    }
    // GTK writes the same keys in several ways.
    EXPECT_TRUE(shortcutkeys::sameGtkAccelerator(QStringLiteral("<Primary><Alt>T"), QStringLiteral("<Alt><Control>t")));
    EXPECT_FALSE(shortcutkeys::sameGtkAccelerator(QStringLiteral("<Alt>space"), QStringLiteral("<Super>space")));
    EXPECT_FALSE(shortcutkeys::fromGtkAccelerator(QStringLiteral("<Hyper>space")));
    EXPECT_FALSE(shortcutkeys::gtkAccelerator(KeyCombination{ModifierKeys::option, KeyEquivalent(U'§')}));
}

TEST(DesktopShortcutsFactoryTest, GnomeAndKdeSessionsGetTheirDesktopsSettingsOthersNone) {
    EXPECT_EQ(makeDesktopShortcuts(QStringLiteral("ubuntu:GNOME"))->desktopName(), QStringLiteral("GNOME"));
    EXPECT_EQ(makeDesktopShortcuts(QStringLiteral("GNOME"))->desktopName(), QStringLiteral("GNOME"));
    EXPECT_EQ(makeDesktopShortcuts(QStringLiteral("KDE"))->desktopName(), QStringLiteral("KDE Plasma"));
    EXPECT_EQ(makeDesktopShortcuts(QStringLiteral("XFCE")), nullptr);
    EXPECT_EQ(makeDesktopShortcuts(QString()), nullptr);
}

// MARK: GNOME

class GnomeShortcutsTest : public ::testing::Test {
protected:
    void SetUp() override {
        home = std::make_unique<ScopedXdgHome>();
        keyfile = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/glib-2.0/settings/keyfile");
        gnome = std::make_unique<GnomeShortcuts>(GnomeShortcuts::Options{keyfile});
        VANTREL_REQUIRE_DESKTOP_OR_SKIP(gnome->isAvailable(),
                                        "GNOME's media-keys schemas are not installed (scripts/install-deps)");
        VANTREL_REQUIRE_DESKTOP_OR_SKIP(!QStandardPaths::findExecutable(QStringLiteral("gsettings")).isEmpty(),
                                        "gsettings is not installed");
    }

    // What the gsettings tool reads from the same settings.
    QString gsettings(const QStringList& arguments) const {
        QProcess tool;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("keyfile"));
        tool.setProcessEnvironment(environment);
        tool.start(QStringLiteral("gsettings"), arguments);
        EXPECT_TRUE(tool.waitForFinished(10000));
        EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
        return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
    }
    QString custom(const QString& id, const QString& key) const {
        return gsettings({QStringLiteral("get"),
                          QString::fromLatin1(GnomeShortcuts::customKeybindingSchema) + QLatin1Char(':') +
                              GnomeShortcuts::pathOf(id),
                          key});
    }

    std::unique_ptr<ScopedXdgHome> home;
    QString keyfile;
    std::unique_ptr<GnomeShortcuts> gnome;
};

TEST_F(GnomeShortcutsTest, ABindingIsACustomShortcutThatTakesTheKeysFromTheWindowMenu) {
    // The user's own custom shortcut stays.
    const QString terminal = GnomeShortcuts::pathOf(QStringLiteral("custom0"));
    gsettings({QStringLiteral("set"), QString::fromLatin1(GnomeShortcuts::mediaKeysSchema),
               QStringLiteral("custom-keybindings"), QStringLiteral("['%1']").arg(terminal)});
    gsettings({QStringLiteral("set"), QString::fromLatin1(GnomeShortcuts::customKeybindingSchema) + ':' + terminal,
               QStringLiteral("binding"), QStringLiteral("<Primary><Alt>t")});

    // A stock GNOME opens the window menu on Alt+Space.
    const std::vector<ShortcutConflict> conflicts = gnome->conflicts(kAltSpace);
    ASSERT_EQ(conflicts.size(), 1u);
    EXPECT_EQ(conflicts.front(), (ShortcutConflict{QStringLiteral("Window manager"), QStringLiteral("activate-window-menu")}));

    const DesktopShortcut toggle{QStringLiteral("vantrel-toggle"), QStringLiteral("Toggle Vantrel"),
                                 {QStringLiteral("/opt/my apps/vantrel"), QStringLiteral("toggle")}, kAltSpace};
    gnome->bind(toggle);

    EXPECT_EQ(gsettings({QStringLiteral("get"), QString::fromLatin1(GnomeShortcuts::mediaKeysSchema),
                         QStringLiteral("custom-keybindings")}),
              QStringLiteral("['%1', '%2']").arg(terminal, GnomeShortcuts::pathOf(QStringLiteral("vantrel-toggle"))));
    EXPECT_EQ(custom(QStringLiteral("vantrel-toggle"), QStringLiteral("name")), QStringLiteral("'Toggle Vantrel'"));
    EXPECT_EQ(custom(QStringLiteral("vantrel-toggle"), QStringLiteral("binding")), QStringLiteral("'<Alt>space'"));
    EXPECT_EQ(custom(QStringLiteral("vantrel-toggle"), QStringLiteral("command")),
              QStringLiteral("\"'/opt/my apps/vantrel' toggle\""));
    EXPECT_EQ(gsettings({QStringLiteral("get"), QStringLiteral("org.gnome.desktop.wm.keybindings"),
                         QStringLiteral("activate-window-menu")}),
              QStringLiteral("@as []"));
    EXPECT_EQ(custom(QStringLiteral("custom0"), QStringLiteral("binding")), QStringLiteral("'<Primary><Alt>t'"));
    EXPECT_TRUE(gnome->conflicts(kAltSpace, QStringLiteral("vantrel-toggle")).empty());
    EXPECT_EQ(gnome->binding(QStringLiteral("vantrel-toggle")), toggle);

    // Bound again with other keys: replaced, listed once.
    DesktopShortcut moved = toggle;
    moved.keys = keys("Control-Option-49");
    gnome->bind(moved);
    EXPECT_EQ(gnome->binding(QStringLiteral("vantrel-toggle")), moved);
    EXPECT_EQ(gsettings({QStringLiteral("get"), QString::fromLatin1(GnomeShortcuts::mediaKeysSchema),
                         QStringLiteral("custom-keybindings")})
                  .count(QStringLiteral("vantrel-toggle")),
              1);
}

TEST_F(GnomeShortcutsTest, AnotherCustomShortcutOnTheKeysIsAConflictAndGivesThemUp) {
    const QString terminal = GnomeShortcuts::pathOf(QStringLiteral("custom0"));
    gsettings({QStringLiteral("set"), QString::fromLatin1(GnomeShortcuts::mediaKeysSchema),
               QStringLiteral("custom-keybindings"), QStringLiteral("['%1']").arg(terminal)});
    gsettings({QStringLiteral("set"), QString::fromLatin1(GnomeShortcuts::customKeybindingSchema) + ':' + terminal,
               QStringLiteral("name"), QStringLiteral("Terminal")});
    gsettings({QStringLiteral("set"), QString::fromLatin1(GnomeShortcuts::customKeybindingSchema) + ':' + terminal,
               QStringLiteral("binding"), QStringLiteral("<Primary><Alt>t")});
    const KeyCombination ctrlAltT = keys("Control-Option-17");
    EXPECT_EQ(gnome->conflicts(ctrlAltT),
              (std::vector<ShortcutConflict>{{QStringLiteral("Custom shortcut"), QStringLiteral("Terminal")}}));
    gnome->bind({QStringLiteral("vantrel-toggle"), QStringLiteral("Toggle Vantrel"), {QStringLiteral("vantrel"), QStringLiteral("toggle")}, ctrlAltT});
    EXPECT_EQ(custom(QStringLiteral("custom0"), QStringLiteral("binding")), QStringLiteral("''"));
    EXPECT_EQ(custom(QStringLiteral("vantrel-toggle"), QStringLiteral("binding")), QStringLiteral("'<Control><Alt>t'"));
}

TEST_F(GnomeShortcutsTest, WhatCannotBeBoundIsRefusedAndNothingIsWritten) {
    const DesktopShortcut unnamed{QStringLiteral("vantrel-toggle"), QStringLiteral("Toggle Vantrel"),
                                  {QStringLiteral("vantrel"), QStringLiteral("toggle")},
                                  KeyCombination{ModifierKeys::option, KeyEquivalent(U'§')}};
    try {
        gnome->bind(unnamed);
        FAIL() << "a key GNOME has no name for was bound";
    } catch (const VantrelError& error) {
        EXPECT_EQ(error.errorDescription(), QStringLiteral("GNOME cannot bind this combination: Alt+§"));
    }
    EXPECT_THROW(gnome->bind({QStringLiteral("vantrel-toggle"), QStringLiteral("Toggle Vantrel"), {}, kAltSpace}),
                 VantrelError);
    EXPECT_FALSE(gnome->binding(QStringLiteral("vantrel-toggle")));
    EXPECT_EQ(gsettings({QStringLiteral("get"), QString::fromLatin1(GnomeShortcuts::mediaKeysSchema),
                         QStringLiteral("custom-keybindings")}),
              QStringLiteral("@as []"));
    // The window menu keeps its keys.
    EXPECT_EQ(gsettings({QStringLiteral("get"), QStringLiteral("org.gnome.desktop.wm.keybindings"),
                         QStringLiteral("activate-window-menu")}),
              QStringLiteral("['<Alt>space']"));
}

// MARK: KDE

// The real kglobalaccel on a bus of the test's own, grabbing on the session's
// X server (which the test holds).
class KdeShortcutsTest : public SessionDisplayTest {
protected:
    void SetUp() override {
        SessionDisplayTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("kglobalaccel5"));
        VANTREL_REQUIRE_DESKTOP_OR_SKIP(!daemon.isEmpty(), "kglobalaccel5 is not installed (scripts/install-deps)");
        ASSERT_TRUE(bus.problem().isEmpty()) << bus.problem().toStdString();
        home = std::make_unique<ScopedXdgHome>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        service.setProcessEnvironment(environment);
        service.setProcessChannelMode(QProcess::MergedChannels);
        service.setStandardOutputFile(home->root() + QStringLiteral("/kglobalaccel.log"));
        service.start(daemon, {});
        ASSERT_TRUE(service.waitForStarted(5000));
        connection.emplace(QDBusConnection::connectToBus(bus.address(), QStringLiteral("kde-shortcuts-test")));
        ASSERT_TRUE(connection->isConnected());
        ASSERT_TRUE(waitUntil(
            [&] { return connection->interface()->isServiceRegistered(QString::fromLatin1(KdeShortcuts::service)); },
            15000))
            << readTestFile(home->root() + QStringLiteral("/kglobalaccel.log")).toStdString();
        kde = std::make_unique<KdeShortcuts>(KdeShortcuts::Options{*connection, {}, 5000});
    }

    void TearDown() override {
        kde.reset();
        if (service.state() != QProcess::NotRunning) {
            service.terminate();
            if (!service.waitForFinished(5000)) service.kill();
            service.waitForFinished(1000);
        }
        connection.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("kde-shortcuts-test"));
        home.reset();
    }

    // Calls the service as another application would.
    QDBusMessage callService(const QString& method, const QList<QVariant>& arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(QString::fromLatin1(KdeShortcuts::service),
                                                              QStringLiteral("/kglobalaccel"),
                                                              QStringLiteral("org.kde.KGlobalAccel"), method);
        message.setArguments(arguments);
        return connection->call(message, QDBus::Block, 5000);
    }

    PrivateBus bus;
    QProcess service;
    std::optional<QDBusConnection> connection;
    std::unique_ptr<ScopedXdgHome> home;
    std::unique_ptr<KdeShortcuts> kde;
};

TEST_F(KdeShortcutsTest, ABoundCommandRunsOnThePressAndTakesTheKeysFromTheirHolder) {
    ASSERT_TRUE(kde->isAvailable());
    const KeyCombination ctrlAltK = keys("Control-Option-40");
    const QString marker = home->root() + QStringLiteral("/pressed");
    const DesktopShortcut toggle{QStringLiteral("vantrel-toggle"), QStringLiteral("Toggle Vantrel"),
                                 {QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                                  QStringLiteral("echo pressed >> '%1'").arg(marker)},
                                 ctrlAltK};
    EXPECT_TRUE(kde->conflicts(ctrlAltK).empty());
    kde->bind(toggle);

    EXPECT_EQ(kde->binding(QStringLiteral("vantrel-toggle")), toggle);
    EXPECT_TRUE(QFile::exists(kde->entryPath(QStringLiteral("vantrel-toggle"))));
    // The service grabbed the keys and runs the command.
    pressKeys(QStringLiteral("ctrl+alt+k"));
    EXPECT_TRUE(waitUntil([&] { return readTestFile(marker) == "pressed\n"; }, 10000))
        << readTestFile(home->root() + QStringLiteral("/kglobalaccel.log")).toStdString();

    // Another component asks for the same keys: they are ours.
    EXPECT_EQ(kde->conflicts(ctrlAltK, QStringLiteral("vantrel-toggle")).size(), 0u);
    EXPECT_EQ(kde->conflicts(ctrlAltK).size(), 1u);
}

TEST_F(KdeShortcutsTest, KeysAnotherComponentHoldsAreAConflictAndAreTakenOver) {
    const KeyCombination ctrlAltK = keys("Control-Option-40");
    // A component of another application holding Ctrl+Alt+K.
    const QStringList runner{QStringLiteral("runner"), QStringLiteral("run"), QStringLiteral("Runner"),
                             QStringLiteral("Run Command")};
    callService(QStringLiteral("doRegister"), {runner});
    const QDBusMessage set = callService(QStringLiteral("setShortcut"),
                                         {runner, QVariant::fromValue(QList<int>{*shortcutkeys::qtKey(ctrlAltK)}), 6u});
    ASSERT_NE(set.type(), QDBusMessage::ErrorMessage) << set.errorMessage().toStdString();

    EXPECT_EQ(kde->conflicts(ctrlAltK),
              (std::vector<ShortcutConflict>{{QStringLiteral("Runner"), QStringLiteral("Run Command")}}));
    kde->bind({QStringLiteral("vantrel-toggle"), QStringLiteral("Toggle Vantrel"),
               {QStringLiteral("/bin/true")}, ctrlAltK});
    EXPECT_EQ(kde->binding(QStringLiteral("vantrel-toggle"))->keys, ctrlAltK);
    const QDBusMessage runnerKeys = callService(QStringLiteral("shortcut"), {runner});
    EXPECT_EQ(qdbus_cast<QList<int>>(runnerKeys.arguments().value(0)), QList<int>());
}

TEST_F(KdeShortcutsTest, WithoutTheServiceNothingIsBoundAndTheReasonIsClear) {
    service.terminate();
    ASSERT_TRUE(service.waitForFinished(5000));
    ASSERT_TRUE(waitUntil(
        [&] { return !connection->interface()->isServiceRegistered(QString::fromLatin1(KdeShortcuts::service)); }));
    EXPECT_FALSE(kde->isAvailable());
    try {
        kde->bind({QStringLiteral("vantrel-toggle"), QStringLiteral("Toggle Vantrel"), {QStringLiteral("/bin/true")},
                   kAltSpace});
        FAIL() << "bound without the service";
    } catch (const VantrelError& error) {
        EXPECT_EQ(error.errorDescription(), QStringLiteral("KDE's global shortcuts service is not running"));
    }
    EXPECT_FALSE(kde->binding(QStringLiteral("vantrel-toggle")));
}

// MARK: The desktop portal

// The test session's portal (xdg-desktop-portal with the GTK back end, which
// implements no global shortcuts): the check says so quickly, and neither it
// nor a bind attempt keeps the event loop waiting.
TEST(PortalGlobalShortcutsTest, WithoutAGlobalShortcutsBackEndTheCheckAndABindFailCleanlyWithoutBlocking) {
    VANTREL_REQUIRE_DESKTOP_OR_SKIP(qgetenv("VANTREL_TEST_SESSION_INNER") == "1" &&
                                        QDBusConnection::sessionBus().isConnected(),
                                    "needs the session bus of scripts/test-session");
    PortalGlobalShortcuts portal;
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);

    std::optional<bool> available;
    QString why;
    QElapsedTimer elapsed;
    elapsed.start();
    portal.checkAvailability([&](bool offered, const QString& reason) {
        available = offered;
        why = reason;
    });
    // The answer never comes synchronously, and the loop keeps turning meanwhile.
    EXPECT_FALSE(available);
    ASSERT_TRUE(waitUntil([&] { return available.has_value(); }, 10000));
    EXPECT_FALSE(*available);
    EXPECT_TRUE(why.contains(QStringLiteral("org.freedesktop.portal.GlobalShortcuts"))) << why.toStdString();
    EXPECT_GE(ticks, int(elapsed.elapsed() / 20) / 2);

    std::optional<bool> bound;
    QString message;
    portal.bind(QStringLiteral("toggle"), QStringLiteral("Show and hide Vantrel"), kAltSpace, [] {},
                [&](bool ok, const QString& text) {
                    bound = ok;
                    message = text;
                });
    ASSERT_TRUE(waitUntil([&] { return bound.has_value(); }, 10000));
    EXPECT_FALSE(*bound);
    EXPECT_FALSE(message.isEmpty());
    EXPECT_FALSE(portal.isBound());
}

// A portal with a GlobalShortcuts back end, played by the test: no desktop
// that implements one (KDE's, GNOME's) can run here. It answers as the
// portal does, each request with a Response signal on the request's object.
class PortalStandIn : public QDBusVirtualObject {
public:
    uint bindResponse = 0;
    QStringList calls;
    QString session;

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        calls << message.member();
        if (message.member() == QLatin1String("Get")) {
            connection.send(message.createReply(QVariant::fromValue(QDBusVariant(1u))));
            return true;
        }
        const QVariantMap options = qdbus_cast<QVariantMap>(message.arguments().constLast());
        QString sender = message.service();
        sender.remove(0, 1).replace(QLatin1Char('.'), QLatin1Char('_'));
        const QString request = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                                    .arg(sender, options.value(QStringLiteral("handle_token")).toString());
        connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        QDBusMessage response =
            QDBusMessage::createSignal(request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        if (message.member() == QLatin1String("CreateSession")) {
            session = QStringLiteral("/org/freedesktop/portal/desktop/session/%1/%2")
                          .arg(sender, options.value(QStringLiteral("session_handle_token")).toString());
            response << 0u << QVariantMap{{QStringLiteral("session_handle"), session}};
        } else {
            calls.back() += QLatin1Char(' ') + message.signature() + QLatin1Char(' ') +
                            qvariant_cast<QDBusObjectPath>(message.arguments().value(0)).path();
            response << bindResponse << QVariantMap();
        }
        connection.send(response);
        return true;
    }

    void press(const QDBusConnection& connection, const QString& sessionPath, const QString& id) {
        QDBusMessage activated = QDBusMessage::createSignal(QString::fromLatin1(PortalGlobalShortcuts::path),
                                                            QString::fromLatin1(PortalGlobalShortcuts::interface),
                                                            QStringLiteral("Activated"));
        activated << QVariant::fromValue(QDBusObjectPath(sessionPath)) << id << qulonglong(0) << QVariantMap();
        connection.send(activated);
    }
};

TEST(PortalGlobalShortcutsTest, APortalThatOffersThemBindsTheToggleAndReportsItsPresses) {
    PrivateBus bus;
    ASSERT_TRUE(bus.problem().isEmpty()) << bus.problem().toStdString();
    PortalStandIn standIn;
    QDBusConnection portalSide = QDBusConnection::connectToBus(bus.address(), QStringLiteral("portal-side"));
    ASSERT_TRUE(portalSide.registerVirtualObject(QString::fromLatin1(PortalGlobalShortcuts::path), &standIn,
                                                 QDBusConnection::SubPath));
    ASSERT_TRUE(portalSide.registerService(QString::fromLatin1(PortalGlobalShortcuts::service)));
    const QDBusConnection appSide = QDBusConnection::connectToBus(bus.address(), QStringLiteral("app-side"));
    {
        PortalGlobalShortcuts portal(appSide);
        std::optional<bool> available;
        portal.checkAvailability([&](bool offered, const QString&) { available = offered; });
        ASSERT_TRUE(waitUntil([&] { return available.has_value(); }));
        EXPECT_TRUE(*available);

        int presses = 0;
        std::optional<bool> bound;
        portal.bind(QStringLiteral("toggle"), QStringLiteral("Show and hide Vantrel"), kAltSpace, [&] { ++presses; },
                    [&](bool ok, const QString&) { bound = ok; });
        ASSERT_TRUE(waitUntil([&] { return bound.has_value(); })) << standIn.calls.join(u',').toStdString();
        EXPECT_TRUE(*bound);
        EXPECT_TRUE(portal.isBound());
        ASSERT_EQ(standIn.calls.size(), 3);
        EXPECT_EQ(standIn.calls.at(1), QStringLiteral("CreateSession"));
        EXPECT_EQ(standIn.calls.at(2), QStringLiteral("BindShortcuts oa(sa{sv})sa{sv} ") + standIn.session);

        const QString ours = standIn.session;
        standIn.press(portalSide, ours, QStringLiteral("toggle"));
        ASSERT_TRUE(waitUntil([&] { return presses == 1; }));

        // Another session's or another shortcut's presses are not ours. A
        // second session's press, sent last, arrives after them.
        PortalGlobalShortcuts other(appSide);
        int otherPresses = 0;
        std::optional<bool> otherBound;
        other.bind(QStringLiteral("toggle"), QStringLiteral("Other"), kAltSpace, [&] { ++otherPresses; },
                   [&](bool ok, const QString&) { otherBound = ok; });
        ASSERT_TRUE(waitUntil([&] { return otherBound.has_value(); }));
        ASSERT_NE(standIn.session, ours);
        standIn.press(portalSide, ours + QStringLiteral("x"), QStringLiteral("toggle"));
        standIn.press(portalSide, ours, QStringLiteral("other"));
        standIn.press(portalSide, standIn.session, QStringLiteral("toggle"));
        ASSERT_TRUE(waitUntil([&] { return otherPresses == 1; }));
        EXPECT_EQ(presses, 1);

        // The user declines in the portal's dialog.
        standIn.bindResponse = 1;
        PortalGlobalShortcuts declined(appSide);
        std::optional<QString> message;
        declined.bind(QStringLiteral("toggle"), QStringLiteral("Show and hide Vantrel"), kAltSpace, [] {},
                      [&](bool ok, const QString& text) { message = ok ? QString() : text; });
        ASSERT_TRUE(waitUntil([&] { return message.has_value(); }));
        EXPECT_EQ(*message, QStringLiteral("The request was cancelled"));
        EXPECT_FALSE(declined.isBound());
    }
    portalSide.unregisterObject(QString::fromLatin1(PortalGlobalShortcuts::path), QDBusConnection::UnregisterTree);
    QDBusConnection::disconnectFromBus(QStringLiteral("portal-side"));
    QDBusConnection::disconnectFromBus(QStringLiteral("app-side"));
}

TEST(PortalGlobalShortcutsTest, AnUnansweredCheckCountsAsNoPortalWithinItsTime) {
    PrivateBus bus;
    ASSERT_TRUE(bus.problem().isEmpty()) << bus.problem().toStdString();
    // A portal that takes calls and never answers.
    FakeService silent(bus.address(), QString::fromLatin1(PortalGlobalShortcuts::service),
                       QString::fromLatin1(PortalGlobalShortcuts::path),
                       [](const QDBusMessage&) { return std::optional<QVariantList>(); });
    const QDBusConnection connection = QDBusConnection::connectToBus(bus.address(), QStringLiteral("portal-check"));
    {
        PortalGlobalShortcuts portal(connection);
        std::optional<bool> available;
        QElapsedTimer elapsed;
        elapsed.start();
        portal.checkAvailability([&](bool offered, const QString&) { available = offered; }, 300);
        ASSERT_TRUE(waitUntil([&] { return available.has_value(); }, 5000));
        EXPECT_FALSE(*available);
        EXPECT_LT(elapsed.elapsed(), 3000);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("portal-check"));
}

}  // namespace
}  // namespace vantrel::test
