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

QT_BEGIN_NAMESPACE
inline void PrintTo(const QRect& rect, std::ostream* out) {
    *out << rect.x() << "," << rect.y() << " " << rect.width() << "x" << rect.height();
}
QT_END_NAMESPACE

namespace vantrel::test {

struct WindowManagerCase {
    const char* name;
    const char* program;
};

inline QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000)) return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

inline int field(const QString& text, const char* label) {
    const QRegularExpression pattern(QStringLiteral("%1:\\s*(-?\\d+)").arg(QRegularExpression::escape(QLatin1String(label))));
    return pattern.match(text).captured(1).toInt();
}

// The visible frame of a client window, decorations and border included: the
// geometry xwininfo reports for its top-level ancestor (the window manager's
// frame). Nothing while the window is not managed or gone.
inline std::optional<QRect> measuredFrame(xcb_window_t window) {
    QString id = QStringLiteral("0x%1").arg(window, 0, 16);
    for (int depth = 0; depth < 8; ++depth) {
        const QString tree = run(QStringLiteral("xwininfo"), {QStringLiteral("-tree"), QStringLiteral("-id"), id});
        const QRegularExpressionMatch parent =
            QRegularExpression(QStringLiteral("Parent window id: (0x[0-9a-f]+)( \\(the root window\\))?")).match(tree);
        if (!parent.hasMatch()) return std::nullopt;
        if (!parent.captured(2).isEmpty()) break;
        id = parent.captured(1);
    }
    const QString info = run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id});
    if (!info.contains(QLatin1String("Absolute upper-left X"))) return std::nullopt;
    const int border = field(info, "Border width");
    return QRect(field(info, "Absolute upper-left X") - border, field(info, "Absolute upper-left Y") - border,
                 field(info, "Width") + 2 * border, field(info, "Height") + 2 * border);
}

inline bool within(const QRect& a, const QRect& b, int tolerance) {
    return std::abs(a.x() - b.x()) <= tolerance && std::abs(a.y() - b.y()) <= tolerance &&
           std::abs(a.width() - b.width()) <= tolerance && std::abs(a.height() - b.height()) <= tolerance;
}

// The measured frame is the expected one, within a pixel (window managers
// differ in where they put a one-pixel border).
inline ::testing::AssertionResult isNear(const QRect& measured, const QRect& expected) {
    if (within(measured, expected, 1)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "measured " << measured.x() << "," << measured.y() << " "
                                         << measured.width() << "x" << measured.height() << ", expected "
                                         << expected.x() << "," << expected.y() << " " << expected.width() << "x"
                                         << expected.height();
}

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
    QRect settlesOn(xcb_window_t window, const QRect& expected) {
        QRect last;
        waitUntil(
            [&] {
                last = measuredFrame(window).value_or(QRect());
                return within(last, expected, 1);
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
