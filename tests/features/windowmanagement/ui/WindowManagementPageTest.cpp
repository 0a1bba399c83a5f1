// The "Window Management" preferences page: the gap it stores and the note it
// shows where windows cannot be placed.
#include "support/AppTestSupport.h"
#include "support/ScopedPlatform.h"
#include "support/TestEnvironment.h"
#include "support/X11TestSupport.h"

#include "features/windowmanagement/ui/WindowManagementPage.h"
#include "kit/NotificationNames.h"
#include "platform/x11/X11WindowClient.h"

#include <QComboBox>

namespace vantrel::test {
namespace {

class WindowManagementPageTest : public RegistryFixture {
protected:
    // The desktop's real client, made anew for each page (not the process's shared one).
    ScopedPlatform desktop{[](Platform& platform) {
        platform.windowClient = [](QString* problem) {
            return std::shared_ptr<WindowClient>(X11WindowClient::connect(problem));
        };
    }};
};

TEST_F(WindowManagementPageTest, OffersTheGapsAndStoresTheChosenOne) {
    registry->setPackageConfiguration(PackageIdentifier("windowManagement"), [](QVariantMap& payload, bool&) {
        payload.insert(QStringLiteral("gap"), QStringLiteral("large"));
    });
    QStringList notices;
    QObject observer;
    center.addObserver(QString(NotificationNames::packageConfigurationDidChange), &observer,
                       [&](const Notification& notification) { notices << notification.object.toString(); });
    WindowManagementPage page(*registry);
    QComboBox* gaps = page.gapChooser();
    QStringList labels;
    for (int i = 0; i < gaps->count(); ++i) labels << gaps->itemText(i);
    EXPECT_EQ(labels, (QStringList{"None", "Small (14px)", "Medium (32px)", "Large (64px)", "Extra Large (128px)"}));
    EXPECT_EQ(gaps->currentText(), QStringLiteral("Large (64px)"));

    gaps->setCurrentIndex(gaps->findText(QStringLiteral("Medium (32px)")));
    EXPECT_EQ(registry->stringValue(PackageIdentifier("windowManagement"), QStringLiteral("gap")),
              std::optional<QString>(QStringLiteral("medium")));
    EXPECT_EQ(notices, QStringList{QStringLiteral("windowManagement")});
}

TEST_F(WindowManagementPageTest, AnUnknownStoredGapShowsNone) {
    writeRow(QStringLiteral("windowManagement"), true, QStringLiteral("{\"gap\": \"huge\"}"));
    WindowManagementPage page(*registry);
    EXPECT_EQ(page.gapChooser()->currentText(), QStringLiteral("None"));
}

TEST_F(WindowManagementPageTest, OnX11ThereIsNoNote) {
    // An X server with a window manager of the test's own, up before the page asks.
    const PrivateDisplay display(true);
    ASSERT_TRUE(display.problem().isEmpty()) << display.problem().toStdString();
    WindowManagementPage page(*registry);
    EXPECT_TRUE(page.note().isEmpty()) << page.note().toStdString();
}

TEST_F(WindowManagementPageTest, InAWaylandSessionANoteSaysTheCompositorPlacesWindows) {
    const ScopedEnv wayland("XDG_SESSION_TYPE", QByteArray("wayland"));
    WindowManagementPage page(*registry);
    EXPECT_TRUE(page.note().startsWith(QStringLiteral("On Wayland the compositor places the windows")))
        << page.note().toStdString();
}

}  // namespace
}  // namespace vantrel::test
