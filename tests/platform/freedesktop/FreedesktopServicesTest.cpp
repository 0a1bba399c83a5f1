// The file manager and the colour scheme as the session bus offers them, with
// the test playing the file manager and, on a bus of its own, the desktop
// portal (the test session's bus may start the real one).
#include "DBusStandIn.h"
#include "platform/freedesktop/FreedesktopColorScheme.h"
#include "platform/freedesktop/FreedesktopFileManager.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>
#include <QDBusVariant>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <optional>

namespace vantrel::test {
namespace {

const QString kFileManager = QStringLiteral("org.freedesktop.FileManager1");
const QString kFileManagerPath = QStringLiteral("/org/freedesktop/FileManager1");
const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");

class SessionBusServices : public ::testing::Test {
protected:
    void SetUp() override {
        VANTREL_REQUIRE_DESKTOP_OR_SKIP(QDBusConnection::sessionBus().isConnected() && !address.isEmpty(),
                                        "there is no session bus");
    }
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
};

// What the file manager answered, once it did.
struct Answer {
    std::optional<FileManager::Outcome> outcome;
    QString error;
    FileManager::Completion completion() {
        return [this](FileManager::Outcome answered, const QString& message) {
            outcome = answered;
            error = message;
        };
    }
};

TEST_F(SessionBusServices, TheFileManagerIsAskedToShowTheFilesAsURLs) {
    std::mutex mutex;
    QList<QVariantList> requests;
    FakeService fileManager(address, kFileManager, kFileManagerPath, [&](const QDBusMessage& message) {
        std::lock_guard lock(mutex);
        requests.append({message.member(), message.arguments().value(0).toStringList(), message.arguments().value(1)});
        return std::optional<QVariantList>(QVariantList{});
    });
    FreedesktopFileManager manager;
    Answer answer;
    manager.showItems({QStringLiteral("/tmp/my scripts/hello world.sh")}, answer.completion());
    ASSERT_TRUE(waitUntil([&] { return answer.outcome.has_value(); }));
    EXPECT_EQ(answer.outcome, FileManager::Outcome::shown);
    EXPECT_TRUE(answer.error.isEmpty()) << answer.error.toStdString();
    std::lock_guard lock(mutex);
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0][0].toString(), QStringLiteral("ShowItems"));
    EXPECT_EQ(requests[0][1].toStringList(), QStringList{QStringLiteral("file:///tmp/my scripts/hello world.sh")});
    // No startup id.
    EXPECT_EQ(requests[0][2].toString(), QString());
}

TEST_F(SessionBusServices, WithoutAFileManagerTheCallerLearnsWhy) {
    FreedesktopFileManager manager;
    Answer answer;
    manager.showItems({QStringLiteral("/tmp/hello.sh")}, answer.completion());
    ASSERT_TRUE(waitUntil([&] { return answer.outcome.has_value(); }));
    EXPECT_EQ(answer.outcome, FileManager::Outcome::notAnswered);
    EXPECT_TRUE(answer.error.contains(kFileManager)) << answer.error.toStdString();
}

TEST_F(SessionBusServices, APreviewerShowsTheFileItIsGiven) {
    std::mutex mutex;
    QList<QVariantList> requests;
    FakeService previewer(address, QStringLiteral("org.gnome.NautilusPreviewer"), QStringLiteral("/org/gnome/NautilusPreviewer"),
                          [&](const QDBusMessage& message) {
                              std::lock_guard lock(mutex);
                              requests.append(QVariantList{message.member()} + message.arguments());
                              return std::optional<QVariantList>(QVariantList{});
                          });
    FreedesktopFileManager manager;
    Answer answer;
    manager.previewItem(QStringLiteral("/tmp/clip board/a.png"), answer.completion());
    ASSERT_TRUE(waitUntil([&] { return answer.outcome.has_value(); }));
    EXPECT_EQ(answer.outcome, FileManager::Outcome::shown);
    std::lock_guard lock(mutex);
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].value(0).toString(), QStringLiteral("ShowFile"));
    EXPECT_EQ(requests[0].value(1).toString(), QStringLiteral("file:///tmp/clip%20board/a.png"));
}

TEST_F(SessionBusServices, WithoutAPreviewerTheCallerLearnsSo) {
    FreedesktopFileManager manager;
    Answer answer;
    manager.previewItem(QStringLiteral("/tmp/a.png"), answer.completion());
    ASSERT_TRUE(waitUntil([&] { return answer.outcome.has_value(); }));
    EXPECT_EQ(answer.outcome, FileManager::Outcome::notAnswered);
}

// A file manager that takes the call and never answers: the caller's event
// loop keeps running, and the request ends as not answered after the timeout.
TEST_F(SessionBusServices, ASilentFileManagerNeverHoldsUpTheEventLoop) {
    FakeService fileManager(address, kFileManager, kFileManagerPath,
                            [](const QDBusMessage&) { return std::optional<QVariantList>(); });
    FreedesktopFileManager manager;
    QStringList order;
    Answer answer;
    manager.showItems({QStringLiteral("/tmp/hello.sh")}, [&](FileManager::Outcome outcome, const QString& error) {
        order << QStringLiteral("answered");
        answer.completion()(outcome, error);
    });
    EXPECT_FALSE(answer.outcome.has_value());
    QTimer::singleShot(0, [&] { order << QStringLiteral("event loop ran"); });
    ASSERT_TRUE(waitUntil([&] { return answer.outcome.has_value(); }, FreedesktopFileManager::replyTimeoutMs + 5000));
    EXPECT_EQ(order, (QStringList{QStringLiteral("event loop ran"), QStringLiteral("answered")}));
    EXPECT_EQ(answer.outcome, FileManager::Outcome::notAnswered);
    EXPECT_FALSE(answer.error.isEmpty());
}

// The portal answers Read with the value wrapped in two variants.
std::optional<QVariantList> portalAnswer(uint scheme) {
    const QDBusVariant inner(QVariant::fromValue(scheme));
    return QVariantList{QVariant::fromValue(QDBusVariant(QVariant::fromValue(inner)))};
}

// What one request answered, and whether it answered before it returned.
struct ColorSchemeAnswer {
    bool answered = false;
    bool answeredBeforeReturning = false;
    int answers = 0;
    std::optional<ColorScheme> scheme;
    qint64 requestMs = 0;
};

// Asks, then runs the event loop until the answer came.
std::shared_ptr<ColorSchemeAnswer> ask(ColorSchemeSource& source, int timeoutMs = 10000) {
    auto answer = std::make_shared<ColorSchemeAnswer>();
    QElapsedTimer timer;
    timer.start();
    source.requestColorScheme([answer](std::optional<ColorScheme> scheme) {
        answer->answered = true;
        ++answer->answers;
        answer->scheme = scheme;
    });
    answer->requestMs = timer.elapsed();
    answer->answeredBeforeReturning = answer->answered;
    waitUntil([&] { return answer->answered; }, timeoutMs);
    return answer;
}

// `gsettings ARGUMENTS` with the backend the environment names (dconf when none).
bool gsettings(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("gsettings"), arguments);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool setGnomeColorScheme(const QString& value) {
    return gsettings({QStringLiteral("set"), QStringLiteral("org.gnome.desktop.interface"),
                      QStringLiteral("color-scheme"), value});
}

// On a bus of its own: the session bus of a desktop runs the real portal.
class PortalColorScheme : public ::testing::Test {
protected:
    void SetUp() override { VANTREL_REQUIRE_DESKTOP_OR_SKIP(bus.problem().isEmpty(), bus.problem().toStdString()); }
    PrivateBus bus;
    // No preference in GNOME's settings either (in memory here).
    ScopedEnv settings{"GSETTINGS_BACKEND", QByteArray("memory")};
};

TEST_F(PortalColorScheme, ThePortalsColorSchemeDecides) {
    uint scheme = 1;
    std::mutex mutex;
    QStringList questions;
    FakeService portal(bus.address(), kPortal, kPortalPath, [&](const QDBusMessage& message) {
        std::lock_guard lock(mutex);
        questions << message.member() + QLatin1Char(' ') + message.arguments().value(0).toString() + QLatin1Char(' ') +
                         message.arguments().value(1).toString();
        return portalAnswer(scheme);
    });
    FreedesktopColorScheme source(bus.address());
    const auto dark = ask(source);
    EXPECT_EQ(dark->scheme, ColorScheme::dark);
    EXPECT_FALSE(dark->answeredBeforeReturning);
    {
        std::lock_guard lock(mutex);
        scheme = 2;
        EXPECT_EQ(questions, QStringList{QStringLiteral("Read org.freedesktop.appearance color-scheme")});
    }
    EXPECT_EQ(ask(source)->scheme, ColorScheme::light);
    {
        std::lock_guard lock(mutex);
        scheme = 0;
    }
    const auto none = ask(source);
    EXPECT_TRUE(none->answered);
    EXPECT_EQ(none->scheme, std::nullopt);
    EXPECT_EQ(none->answers, 1);
}

TEST_F(PortalColorScheme, WithoutAPortalNorGnomeSettingsThereIsNoPreference) {
    FreedesktopColorScheme source(bus.address());
    const auto answer = ask(source);
    EXPECT_TRUE(answer->answered);
    EXPECT_EQ(answer->scheme, std::nullopt);
}

// A portal that never answers holds up nobody: the request returns at once,
// the event loop goes on, and the answer comes when the portal's time is up.
TEST_F(PortalColorScheme, APortalThatDoesNotAnswerKeepsNobodyWaiting) {
    FakeService portal(bus.address(), kPortal, kPortalPath, [](const QDBusMessage&) { return std::nullopt; });
    FreedesktopColorScheme source(bus.address());
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(50);
    QElapsedTimer waited;
    waited.start();
    const auto answer = ask(source, FreedesktopColorScheme::kPortalTimeoutMs + 5000);
    EXPECT_LT(answer->requestMs, 100);
    EXPECT_FALSE(answer->answeredBeforeReturning);
    ASSERT_TRUE(answer->answered);
    EXPECT_GE(waited.elapsed(), FreedesktopColorScheme::kPortalTimeoutMs - 100);
    // GNOME's settings (in memory) state nothing either.
    EXPECT_EQ(answer->scheme, std::nullopt);
    // The loop ran all along.
    EXPECT_GE(ticks, FreedesktopColorScheme::kPortalTimeoutMs / 50 / 2);
}

// Without a portal, GNOME's own settings answer (a settings file here, written
// and read by the real gsettings).
TEST_F(PortalColorScheme, WithoutAPortalGnomeSettingsAnswer) {
    ScopedEnv keyfile("GSETTINGS_BACKEND", QByteArray("keyfile"));
    ASSERT_TRUE(setGnomeColorScheme(QStringLiteral("prefer-dark")));
    FreedesktopColorScheme source(bus.address());
    EXPECT_EQ(ask(source)->scheme, ColorScheme::dark);
    ASSERT_TRUE(setGnomeColorScheme(QStringLiteral("prefer-light")));
    EXPECT_EQ(ask(source)->scheme, ColorScheme::light);
}

// The session bus of the test session starts the real desktop portal, whose
// GTK backend states what GNOME's settings (dconf) say.
class SessionPortalColorScheme : public SessionBusServices {
protected:
    void SetUp() override {
        SessionBusServices::SetUp();
        if (IsSkipped()) return;
        const QStringList activatable =
            QDBusConnection::sessionBus().interface()->activatableServiceNames().value();
        VANTREL_REQUIRE_DESKTOP_OR_SKIP(activatable.contains(kPortal), "the session bus has no desktop portal");
    }
    void TearDown() override {
        ScopedEnv dconf("GSETTINGS_BACKEND", std::nullopt);
        gsettings({QStringLiteral("reset"), QStringLiteral("org.gnome.desktop.interface"),
                   QStringLiteral("color-scheme")});
    }
};

TEST_F(SessionPortalColorScheme, TheRealPortalAnswersWithoutBlocking) {
    {
        ScopedEnv dconf("GSETTINGS_BACKEND", std::nullopt);
        ASSERT_TRUE(setGnomeColorScheme(QStringLiteral("prefer-dark")));
    }
    // Our own gsettings would read an empty memory backend: only the portal can say dark.
    ScopedEnv memory("GSETTINGS_BACKEND", QByteArray("memory"));
    FreedesktopColorScheme source;
    const auto dark = ask(source);
    EXPECT_FALSE(dark->answeredBeforeReturning);
    EXPECT_LT(dark->requestMs, 100);
    EXPECT_EQ(dark->scheme, ColorScheme::dark);
    {
        ScopedEnv dconf("GSETTINGS_BACKEND", std::nullopt);
        ASSERT_TRUE(setGnomeColorScheme(QStringLiteral("default")));
    }
    const auto none = ask(source);
    EXPECT_TRUE(none->answered);
    EXPECT_EQ(none->scheme, std::nullopt);
}

}  // namespace
}  // namespace vantrel::test
