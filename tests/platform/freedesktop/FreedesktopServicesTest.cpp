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

#include <gtest/gtest.h>

#include <mutex>

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

TEST_F(SessionBusServices, TheFileManagerIsAskedToShowTheFilesAsURLs) {
    std::mutex mutex;
    QList<QVariantList> requests;
    FakeService fileManager(address, kFileManager, kFileManagerPath, [&](const QDBusMessage& message) {
        std::lock_guard lock(mutex);
        requests.append({message.member(), message.arguments().value(0).toStringList(), message.arguments().value(1)});
        return std::optional<QVariantList>(QVariantList{});
    });
    FreedesktopFileManager manager;
    QString error;
    EXPECT_EQ(manager.showItems({QStringLiteral("/tmp/my scripts/hello world.sh")}, &error),
              FileManager::Outcome::shown);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    std::lock_guard lock(mutex);
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0][0].toString(), QStringLiteral("ShowItems"));
    EXPECT_EQ(requests[0][1].toStringList(), QStringList{QStringLiteral("file:///tmp/my scripts/hello world.sh")});
    // No startup id.
    EXPECT_EQ(requests[0][2].toString(), QString());
}

TEST_F(SessionBusServices, WithoutAFileManagerTheCallerLearnsWhy) {
    FreedesktopFileManager manager;
    QString error;
    EXPECT_EQ(manager.showItems({QStringLiteral("/tmp/hello.sh")}, &error), FileManager::Outcome::notAnswered);
    EXPECT_TRUE(error.contains(kFileManager)) << error.toStdString();
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
