// The file manager and the colour scheme as the session bus offers them, with
// the test playing the file manager and, on a bus of its own, the desktop
// portal (the test session's bus may start the real one).
#include "DBusStandIn.h"
#include "platform/freedesktop/FreedesktopColorScheme.h"
#include "platform/freedesktop/FreedesktopFileManager.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QDBusConnection>
#include <QDBusVariant>
#include <QTimer>

#include <gtest/gtest.h>

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
    EXPECT_EQ(source.preferredColorScheme(), ColorScheme::dark);
    {
        std::lock_guard lock(mutex);
        scheme = 2;
        EXPECT_EQ(questions, QStringList{QStringLiteral("Read org.freedesktop.appearance color-scheme")});
    }
    EXPECT_EQ(source.preferredColorScheme(), ColorScheme::light);
    {
        std::lock_guard lock(mutex);
        scheme = 0;
    }
    EXPECT_EQ(source.preferredColorScheme(), std::nullopt);
}

TEST_F(PortalColorScheme, WithoutAPortalNorGnomeSettingsThereIsNoPreference) {
    EXPECT_EQ(FreedesktopColorScheme(bus.address()).preferredColorScheme(), std::nullopt);
}

}  // namespace
}  // namespace vantrel::test
