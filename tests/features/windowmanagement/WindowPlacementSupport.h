#pragma once

// A private X server with a window manager, a test window on it, and the
// window's frame measured from outside, as xwininfo reports it.
#include "core/commands/PackageRegistry.h"
#include "data/PackageConfigurationRepository.h"
#include "features/windowmanagement/WindowManagementService.h"
#include "kit/NotificationCenter.h"
#include "platform/x11/X11WindowClient.h"
#include "support/DatabaseTestSupport.h"
#include "support/X11TestSupport.h"

#include <QProcess>
#include <QRect>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <ostream>


namespace vantrel::test {

struct WindowManagerCase {
    const char* name;
    const char* program;
};

// A display of 1600 x 1000 with the case's window manager, the package
// registry over a database of its own, and the service acting on that
// display through a client of its own.
class WindowPlacementFixture : public DatabaseFixture, public ::testing::WithParamInterface<WindowManagerCase> {
protected:
    static constexpr uint32_t kOtherApplication = 4100001;

    void SetUp() override {
        display.emplace(true, QString::fromLatin1(GetParam().program), QStringLiteral("1600x1000"));
        VANTREL_REQUIRE_DESKTOP_OR_SKIP(display->problem().isEmpty(), display->problem().toStdString());
        pool = open();
        ASSERT_TRUE(pool);
        registry = std::make_unique<PackageRegistry>(std::make_shared<PackageConfigurationRepository>(pool), false,
                                                     &center);
        setGap(QStringLiteral("small"));
        service = std::make_unique<WindowManagementService>(*registry, center, [](QString* problem) {
            return std::shared_ptr<WindowClient>(X11WindowClient::connect(problem));
        });
        client.emplace();
    }

    void setGap(const QString& gap) {
        registry->setPackageConfiguration(PackageIdentifier("windowManagement"), [&](QVariantMap& payload, bool&) {
            payload.insert(QStringLiteral("gap"), gap);
        });
    }

    // Waits until the window's frame is `expected` (within a pixel) and
    // answers the last frame measured.
    // Waits until the window's frame is `expected` (within a pixel), with
    // the window inside it resized too (window managers move the frame and
    // the window one after the other), and answers the last frame measured.
    QRect settlesOn(xcb_window_t window, const QRect& expected) {
        QRect last;
        waitUntil(
            [&] {
                last = measuredFrame(window).value_or(QRect());
                return within(last, expected, 1) && fillsItsFrame(*client, window, last);
            },
            5000);
        return last;
    }


    std::optional<PrivateDisplay> display;
    std::shared_ptr<DatabasePool> pool;
    NotificationCenter center;
    std::unique_ptr<PackageRegistry> registry;
    std::unique_ptr<WindowManagementService> service;
    std::optional<X11Client> client;
};

inline std::string windowManagerName(const ::testing::TestParamInfo<WindowManagerCase>& info) {
    return info.param.name;
}

inline const WindowManagerCase kWindowManagers[] = {{"Openbox", "openbox"}, {"Fluxbox", "fluxbox"}};

}  // namespace vantrel::test
