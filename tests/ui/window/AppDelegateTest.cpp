// The launcher's start-up, requests and inactivity reset, in-process with a
// real database, window and single-instance socket.
#include "core/shell/InstanceChannel.h"
#include "features/Features.h"
#include "kit/UserDefaults.h"
#include "support/CapturingLogHandler.h"
#include "support/TestEnvironment.h"
#include "support/X11TestSupport.h"
#include "ui/toolkit/KeyRecorder.h"
#include "ui/toolkit/LauncherView.h"
#include "ui/toolkit/NoticeBanner.h"
#include "ui/toolkit/SearchBar.h"
#include "ui/window/AppDelegate.h"
#include "ui/window/MainWindow.h"
#include "ui/window/TrayIcon.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <future>

namespace vantrel::test {
namespace {

class PlainView : public LauncherView {
public:
    QString title() const override { return QStringLiteral("Command"); }
};

class AppDelegateTest : public ::testing::Test {
protected:
    void SetUp() override {
        VANTREL_REQUIRE_DESKTOP_OR_SKIP(QGuiApplication::platformName() == QLatin1String("xcb"),
                                        "needs the X server of scripts/test-session");
        m_home = std::make_unique<ScopedXdgHome>();
        m_keyring = std::make_unique<ScopedEnv>("VANTREL_KEYRING", QByteArray("file"));
        m_socket = m_runtime.filePath(QStringLiteral("launcher.socket"));
        // A returning user: the welcome of a first start was seen.
        UserDefaults::standard().setValue(QStringLiteral("vantrelWelcomeShown"), true);
    }

    void TearDown() override {
        m_delegate.reset();
        m_keyring.reset();
        m_home.reset();
    }

    AppDelegate& start() {
        AppDelegate::Options options;
        options.startHidden = true;
        options.socketPath = m_socket;
        options.makeFeatures = makeFeatures;
        m_delegate = std::make_unique<AppDelegate>(options);
        m_delegate->applicationWillFinishLaunching();
        QString error;
        EXPECT_TRUE(m_delegate->applicationDidFinishLaunching(&error)) << error.toStdString();
        return *m_delegate;
    }

    InstanceReply request(const QString& command, const QString& argument = {}) {
        return m_delegate->handleInstanceRequest({command, argument});
    }

    QTemporaryDir m_runtime;
    QString m_socket;
    std::unique_ptr<ScopedXdgHome> m_home;
    std::unique_ptr<ScopedEnv> m_keyring;
    std::unique_ptr<AppDelegate> m_delegate;
};

TEST_F(AppDelegateTest, AStartRegistersTheDefaultsAndAnswersOnItsSocket) {
    ScopedLogCapture capture;
    AppDelegate& delegate = start();
    ASSERT_TRUE(delegate.mainWindow());
    EXPECT_FALSE(delegate.mainWindow()->isVisible());
    UserDefaults& defaults = UserDefaults::standard();
    EXPECT_EQ(defaults.value(QStringLiteral("vantrelGlobalHotkey")).toString(), QStringLiteral("Option-49"));
    EXPECT_EQ(defaults.value(QStringLiteral("popToRootTimeout")).toInt(), 90);
    EXPECT_EQ(defaults.value(QStringLiteral("vantrelWindowPresentationMode")).toInt(), 0);
    EXPECT_FALSE(capture->messages().filter(QStringLiteral("Tray ready in ")).isEmpty());
    EXPECT_FALSE(capture->messages().filter(QStringLiteral("Launcher started in ")).isEmpty());

    // Another process reaches it.
    auto reply = std::async(std::launch::async, [this] {
        return InstanceClient(m_socket).send({QStringLiteral("show"), {}}, 5000);
    });
    ASSERT_TRUE(waitUntil([&] { return reply.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    const auto answer = reply.get();
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->ok);
    EXPECT_TRUE(waitUntil([&] { return delegate.mainWindow()->isVisible(); }));
}

TEST_F(AppDelegateTest, AFirstStartShowsTheWindowWithAWelcomeThatNamesTheHotkey) {
    UserDefaults::standard().setValue(QStringLiteral("vantrelWelcomeShown"), false);
    AppDelegate& delegate = start();
    ASSERT_TRUE(waitUntil([&] { return delegate.mainWindow()->isVisible(); }));
    const auto notice = delegate.mainWindow()->notice();
    ASSERT_TRUE(notice);
    if (notice->id == QLatin1String("hotkeyUnavailable")) GTEST_SKIP() << "Alt+Space is held on this display";
    EXPECT_EQ(notice->id, QStringLiteral("welcome"));
    EXPECT_EQ(delegate.mainWindow()->noticeBanner()->title(), QStringLiteral("Welcome to Vantrel"));
    EXPECT_TRUE(delegate.mainWindow()->noticeBanner()->isVisible());
    EXPECT_TRUE(notice->message.startsWith(QStringLiteral("Press Alt+Space")));
    const QJsonObject status = request(QStringLiteral("status")).values;
    EXPECT_EQ(status.value(QStringLiteral("notice")).toObject().value(QStringLiteral("id")).toString(),
              QStringLiteral("welcome"));
    EXPECT_TRUE(UserDefaults::standard().value(QStringLiteral("vantrelWelcomeShown")).toBool());
    // Put away, it is read.
    delegate.hideWindow();
    EXPECT_FALSE(delegate.mainWindow()->notice());
    EXPECT_FALSE(request(QStringLiteral("status")).values.contains(QStringLiteral("notice")));
}

TEST_F(AppDelegateTest, ChoosingAnotherHotkeyOpensTheRecorderAndATakenOneKeepsTheWorkingHotkey) {
    VANTREL_REQUIRE_X_DISPLAY();
    ScopedDisplayLock display;
    AppDelegate& delegate = start();
    const QVariant before = UserDefaults::standard().value(QStringLiteral("vantrelGlobalHotkey"));
    ScopedRawGrab terminal(XK_t, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1);
    ASSERT_TRUE(terminal.grabbed());

    delegate.chooseHotkey();
    QWidget* preferences = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->findChild<KeyRecorder*>(QStringLiteral("vantrelHotkey"))) preferences = widget;
    ASSERT_TRUE(preferences);
    auto* recorder = preferences->findChild<KeyRecorder*>(QStringLiteral("vantrelHotkey"));
    EXPECT_TRUE(preferences->isVisible());
    ASSERT_TRUE(recorder->isRecording());
    QTest::keyClick(recorder, Qt::Key_T, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(recorder->message(), QStringLiteral("Ctrl+Alt+T is used by another application"));
    EXPECT_EQ(recorder->persistentString(), QStringLiteral("Option-49"));
    EXPECT_EQ(UserDefaults::standard().value(QStringLiteral("vantrelGlobalHotkey")), before);

    // A free one is taken.
    QTest::mouseClick(recorder, Qt::LeftButton);
    QTest::keyClick(recorder, Qt::Key_J, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_TRUE(recorder->message().isEmpty());
    EXPECT_EQ(UserDefaults::standard().value(QStringLiteral("vantrelGlobalHotkey")).toString(),
              QStringLiteral("Control-Option-38"));
    EXPECT_EQ(request(QStringLiteral("status")).values.value(QStringLiteral("hotkey")).toString(),
              QStringLiteral("Control-Option-38"));
}

TEST_F(AppDelegateTest, ASecondLauncherOnTheSameSocketDoesNotStart) {
    start();
    auto second = std::async(std::launch::async, [this] { return InstanceClient(m_socket).isRunning(); });
    ASSERT_TRUE(waitUntil([&] { return second.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_TRUE(second.get());
    InstanceServer other(m_socket);
    // The running one answers, so the socket is not taken over.
    QString error;
    auto listening = std::async(std::launch::async, [&] { return other.listen(&error); });
    ASSERT_TRUE(waitUntil([&] { return listening.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_FALSE(listening.get());
    EXPECT_TRUE(error.startsWith(QStringLiteral("Another launcher is running")));
}

TEST_F(AppDelegateTest, RequestsShowHideAndReportTheWindowAndRefuseWhatTheyCannotDo) {
    AppDelegate& delegate = start();
    EXPECT_TRUE(request(QStringLiteral("toggle")).ok);
    EXPECT_TRUE(delegate.mainWindow()->isVisible());
    EXPECT_TRUE(request(QStringLiteral("status")).values.value(QStringLiteral("visible")).toBool());
    EXPECT_TRUE(request(QStringLiteral("hide")).ok);
    EXPECT_FALSE(delegate.mainWindow()->isVisible());
    EXPECT_FALSE(request(QStringLiteral("status")).values.value(QStringLiteral("visible")).toBool());

    const InstanceReply web = request(QStringLiteral("open"), QStringLiteral("https://example.com"));
    EXPECT_FALSE(web.ok);
    EXPECT_EQ(web.message, QStringLiteral("Not a vantrel:// link: https://example.com"));
    const InstanceReply unknown = request(QStringLiteral("open"), QStringLiteral("vantrel://nowhere"));
    EXPECT_FALSE(unknown.ok);
    const InstanceReply badHotkey = request(QStringLiteral("set-hotkey"), QStringLiteral("Option-"));
    EXPECT_FALSE(badHotkey.ok);
    EXPECT_EQ(badHotkey.message, QStringLiteral("Not a key combination: Option-"));
    EXPECT_EQ(UserDefaults::standard().value(QStringLiteral("vantrelGlobalHotkey")).toString(),
              QStringLiteral("Option-49"));

    // A command by its link; one that is not there is a failure with its id.
    const InstanceReply missing = request(QStringLiteral("open"), QStringLiteral("vantrel://commands/noSuchCommand"));
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.message, QStringLiteral("Command not found: noSuchCommand"));
    const InstanceReply encoded =
        request(QStringLiteral("open"), QStringLiteral("vantrel://commands/urlEncode?arguments=a%20b"));
    EXPECT_TRUE(encoded.ok) << encoded.message.toStdString();
    EXPECT_EQ(encoded.message, QStringLiteral("a%20b"));
}

TEST_F(AppDelegateTest, AfterInactivityAHiddenWindowGoesBackToRootThenEmptiesItsSearchBar) {
    UserDefaults::standard().setValue(QStringLiteral("popToRootTimeout"), 1);
    AppDelegate& delegate = start();
    MainWindow& window = *delegate.mainWindow();
    delegate.showWindow();
    ASSERT_TRUE(waitUntil([&] { return window.isVisible(); }));
    QTest::keyClicks(window.searchBar()->textField(), QStringLiteral("zeb"));
    ASSERT_TRUE(waitUntil([&] { return window.searchBar()->text() == QLatin1String("zeb"); }));
    window.pushView(new PlainView);
    ASSERT_FALSE(window.isAtRoot());

    ScopedLogCapture capture;
    delegate.hideWindow();
    EXPECT_TRUE(
        waitUntil([&] { return capture->contains(QStringLiteral("Clearing to root due to inactivity")); }, 4000));
    EXPECT_TRUE(window.isAtRoot());
    // The text typed at the root is still there: only a second round clears it.
    EXPECT_EQ(window.searchBar()->text(), QStringLiteral("zeb"));

    delegate.showWindow();
    delegate.hideWindow();
    EXPECT_TRUE(
        waitUntil([&] { return capture->contains(QStringLiteral("Clearing search bar due to inactivity")); }, 4000));
    EXPECT_TRUE(window.searchBar()->text().isEmpty());
}

TEST_F(AppDelegateTest, AWindowShownAgainBeforeTheTimeoutKeepsItsState) {
    UserDefaults::standard().setValue(QStringLiteral("popToRootTimeout"), 1);
    AppDelegate& delegate = start();
    MainWindow& window = *delegate.mainWindow();
    window.pushView(new PlainView);
    ScopedLogCapture capture;
    delegate.hideWindow();
    delegate.showWindow();
    QTest::qWait(1500);
    EXPECT_FALSE(window.isAtRoot());
    EXPECT_FALSE(capture->contains(QStringLiteral("Clearing to root due to inactivity")));
}

TEST(TrayIconTest, OffersOpenPreferencesAndQuitAndHasAnIcon) {
    TrayIcon tray;
    QStringList titles;
    for (QAction* action : tray.menu()->actions())
        if (!action->isSeparator()) titles << action->text();
    EXPECT_EQ(titles, (QStringList{QStringLiteral("Open Vantrel"), QStringLiteral("Preferences…"),
                                   QStringLiteral("Quit Vantrel")}));
    bool quit = false;
    QObject::connect(&tray, &TrayIcon::quitRequested, [&] { quit = true; });
    tray.menu()->actions().last()->trigger();
    EXPECT_TRUE(quit);
    EXPECT_FALSE(TrayIcon::applicationIcon().isNull());
    EXPECT_FALSE(TrayIcon::applicationIcon().pixmap(32).isNull());
}

}  // namespace
}  // namespace vantrel::test
