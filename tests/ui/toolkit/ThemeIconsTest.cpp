// Theme choice and colours, and the icon loader with its fallbacks.
#include "kit/UserDefaults.h"
#include "support/TestEnvironment.h"
#include "ui/toolkit/Icons.h"
#include "ui/toolkit/Theme.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

using namespace vantrel;

namespace {

class ThemeTest : public ::testing::Test {
protected:
    void TearDown() override {
        UserDefaults::standard().remove(QStringLiteral("vantrelAppearance"));
        Theme::setCurrent(Theme::Appearance::light);
        Icons::clearCache();
    }
};

// The colour of most pixels of an image that are not transparent.
bool sameImage(const QPixmap& a, const QPixmap& b) {
    return a.toImage() == b.toImage();
}

int opaquePixels(const QPixmap& pixmap) {
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 128) ++count;
    return count;
}

}  // namespace

TEST_F(ThemeTest, TheAppearanceSettingWinsOverTheDesktop) {
    UserDefaults::standard().setValue(QStringLiteral("vantrelAppearance"), QStringLiteral("dark"));
    EXPECT_EQ(Theme::desktopAppearance(), Theme::Appearance::dark);
    UserDefaults::standard().setValue(QStringLiteral("vantrelAppearance"), QStringLiteral("light"));
    EXPECT_EQ(Theme::desktopAppearance(), Theme::Appearance::light);
}

TEST_F(ThemeTest, SystemOrUnknownSettingFollowsTheDesktopHints) {
    test::ScopedEnv gtk("GTK_THEME", QByteArray("Adwaita:dark"));
    for (const char* value : {"system", "purple", ""}) {
        UserDefaults::standard().setValue(QStringLiteral("vantrelAppearance"), QString::fromLatin1(value));
        // The test desktop states no colour scheme, so GTK_THEME decides.
        EXPECT_EQ(Theme::desktopAppearance(), Theme::Appearance::dark) << value;
    }
}

// The desktop of the test session: its portal states what GNOME's settings
// (dconf) say, and the theme follows without waiting for it.
class DesktopThemeTest : public ThemeTest {
protected:
    static bool setGnomeColorScheme(const QString& value) {
        QProcess process;
        process.start(QStringLiteral("gsettings"),
                      {QStringLiteral("set"), QStringLiteral("org.gnome.desktop.interface"),
                       QStringLiteral("color-scheme"), value});
        return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    }

    void SetUp() override {
        const bool portal = QDBusConnection::sessionBus().isConnected() &&
                            QDBusConnection::sessionBus().interface()->activatableServiceNames().value().contains(
                                QStringLiteral("org.freedesktop.portal.Desktop"));
        VANTREL_REQUIRE_DESKTOP_OR_SKIP(portal, "the session bus has no desktop portal");
        UserDefaults::standard().remove(QStringLiteral("vantrelAppearance"));
    }

    void TearDown() override {
        // The desktop states no preference again, and the theme knows it.
        if (setGnomeColorScheme(QStringLiteral("default"))) {
            Theme::setCurrent(Theme::Appearance::dark);
            Theme::refreshDesktopColorScheme();
            test::waitUntil([] { return !Theme::current().isDark(); }, 10000);
        }
        ThemeTest::TearDown();
    }
};

TEST_F(DesktopThemeTest, TheDesktopsColorSchemeArrivesWithoutWaitingAndRepaints) {
    test::ScopedEnv noGtkTheme("GTK_THEME", std::nullopt);
    Theme::refreshDesktopColorScheme();
    ASSERT_TRUE(test::waitUntil([] { return Theme::desktopAppearance() == Theme::Appearance::light; }, 10000));
    Theme::setCurrent(Theme::desktopAppearance());
    QObject window;
    int repaints = 0;
    Theme::appearanceChanged().connect(&window, [&] { ++repaints; });

    ASSERT_TRUE(setGnomeColorScheme(QStringLiteral("prefer-dark")));
    QElapsedTimer asked;
    asked.start();
    Theme::refreshDesktopColorScheme();
    // Nothing waited for the desktop.
    EXPECT_LT(asked.elapsed(), 100);
    EXPECT_FALSE(Theme::current().isDark());
    ASSERT_TRUE(test::waitUntil([] { return Theme::current().isDark(); }, 10000));
    EXPECT_EQ(repaints, 1);
    EXPECT_EQ(Theme::desktopAppearance(), Theme::Appearance::dark);
    // The launcher's own setting still wins.
    UserDefaults::standard().setValue(QStringLiteral("vantrelAppearance"), QStringLiteral("light"));
    EXPECT_EQ(Theme::desktopAppearance(), Theme::Appearance::light);
    UserDefaults::standard().remove(QStringLiteral("vantrelAppearance"));

    // A theme chosen on purpose (a preview) is not overridden by an answer.
    Theme::setCurrent(Theme::Appearance::light);
    ASSERT_TRUE(setGnomeColorScheme(QStringLiteral("prefer-light")));
    Theme::refreshDesktopColorScheme();
    ASSERT_TRUE(test::waitUntil([] { return Theme::desktopAppearance() == Theme::Appearance::light; }, 10000));
    Theme::setCurrent(Theme::Appearance::dark);
    ASSERT_TRUE(setGnomeColorScheme(QStringLiteral("prefer-dark")));
    Theme::refreshDesktopColorScheme();
    ASSERT_TRUE(test::waitUntil([] { return Theme::desktopAppearance() == Theme::Appearance::dark; }, 10000));
    EXPECT_TRUE(Theme::current().isDark());
    EXPECT_EQ(repaints, 1);
}

TEST_F(ThemeTest, SwitchingChangesTheCurrentColours) {
    Theme::setCurrent(Theme::Appearance::dark);
    EXPECT_TRUE(Theme::current().isDark());
    const QColor darkWindow = Theme::current().windowBackground;
    Theme::setCurrent(Theme::Appearance::light);
    EXPECT_FALSE(Theme::current().isDark());
    EXPECT_LT(darkWindow.lightness(), 80);
    EXPECT_GT(Theme::current().windowBackground.lightness(), 230);
    // Text stays readable on its own window in both.
    for (const auto appearance : {Theme::Appearance::light, Theme::Appearance::dark}) {
        const Theme theme = Theme::make(appearance);
        EXPECT_GT(std::abs(theme.primaryText.lightness() - theme.windowBackground.lightness()), 150);
        EXPECT_EQ(theme.palette().color(QPalette::Window), theme.windowBackground);
        EXPECT_EQ(theme.palette().color(QPalette::Text), theme.primaryText);
    }
}

TEST_F(ThemeTest, NamedColoursAreTunedPerAppearance) {
    const Theme light = Theme::make(Theme::Appearance::light);
    const Theme dark = Theme::make(Theme::Appearance::dark);
    for (const char* name : {"terminalBlack", "terminalRed", "terminalGreen", "terminalYellow", "terminalBlue",
                             "terminalMagenta", "terminalCyan", "terminalWhite"}) {
        const QString key = QString::fromLatin1(name);
        EXPECT_NE(light.named(key), dark.named(key)) << name;
        // Every terminal colour can be read on the window it is shown on.
        EXPECT_GT(std::abs(light.named(key).lightness() - light.windowBackground.lightness()), 60) << name;
        EXPECT_GT(std::abs(dark.named(key).lightness() - dark.windowBackground.lightness()), 60) << name;
    }
    EXPECT_GT(light.named(QStringLiteral("terminalRed")).red(), light.named(QStringLiteral("terminalRed")).green());
    EXPECT_EQ(light.named(QStringLiteral("noSuchColour")), light.primaryText);
    EXPECT_EQ(dark.named(QStringLiteral("secondaryText")), dark.secondaryText);
    EXPECT_TRUE(light.monospaceFont.fixedPitch());
    EXPECT_EQ(light.searchFont.pixelSize(), 18);
    EXPECT_EQ(light.baseFont.pixelSize(), 14);
    EXPECT_EQ(light.smallFont.pixelSize(), 12);
}

using IconsTest = ThemeTest;

TEST_F(IconsTest, BuiltInNamesOfThePackagesHaveTheirOwnDrawings) {
    const QPixmap fallback = Icons::fallback(32);
    QList<QImage> seen;
    for (const char* name : {"command-clipboard-history-16", "command-file-search-16", "command-quicklinks-16",
                             "command-script-commands-16", "main-list-view-16", "calculator", "snippets",
                             "windowManagement", "system", "search", "settings", "folder"}) {
        const QPixmap pixmap = Icons::pixmap(ImageResource::named(QString::fromLatin1(name)), 32);
        ASSERT_FALSE(pixmap.isNull()) << name;
        EXPECT_EQ(pixmap.size(), QSize(32, 32)) << name;
        EXPECT_GT(opaquePixels(pixmap), 500) << name;
        EXPECT_FALSE(sameImage(pixmap, fallback)) << name;
        EXPECT_FALSE(seen.contains(pixmap.toImage())) << name << " looks like another icon";
        seen << pixmap.toImage();
    }
    EXPECT_TRUE(Icons::hasBuiltinIcon(QStringLiteral("command-snippets-16")));
    EXPECT_FALSE(Icons::hasBuiltinIcon(QStringLiteral("firefox")));
}

TEST_F(IconsTest, ThemeIconsAndFilesAreLoaded) {
    // Adwaita (installed with the build dependencies) has a calculator.
    const QPixmap themed = Icons::applicationIcon(QStringLiteral("accessories-calculator"), 32);
    ASSERT_FALSE(themed.isNull());
    EXPECT_EQ(themed.deviceIndependentSize().toSize(), QSize(32, 32));
    EXPECT_FALSE(sameImage(themed, Icons::fallback(32)));

    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("red.png"));
    QImage red(40, 20, QImage::Format_ARGB32);
    red.fill(QColor(255, 0, 0));
    ASSERT_TRUE(red.save(png));
    const QImage loaded = Icons::applicationIcon(png, 20).toImage();
    EXPECT_EQ(loaded.size(), QSize(20, 20));
    // Kept in proportion: a band across the middle, transparent above and below.
    EXPECT_EQ(loaded.pixelColor(10, 10), QColor(255, 0, 0));
    EXPECT_EQ(qAlpha(loaded.pixel(10, 1)), 0);

    const QString svg = test::writeTestFile(
        dir.filePath(QStringLiteral("blue.svg")),
        R"(<svg xmlns="http://www.w3.org/2000/svg" width="8" height="8"><rect width="8" height="8" fill="#0000ff"/></svg>)");
    const QImage vector = Icons::pixmap(ImageResource::named(svg), 48).toImage();
    EXPECT_EQ(vector.size(), QSize(48, 48));
    EXPECT_EQ(vector.pixelColor(24, 24), QColor(0, 0, 255));

    const QImage fromUrl = Icons::pixmap(ImageResource::url(QUrl::fromLocalFile(png)), 20).toImage();
    EXPECT_EQ(fromUrl.pixelColor(10, 10), QColor(255, 0, 0));
}

TEST_F(IconsTest, UnknownMissingAndRemoteImagesFallBack) {
    const QPixmap fallback = Icons::fallback(24);
    EXPECT_TRUE(sameImage(Icons::applicationIcon(QStringLiteral("no-such-application-icon-xyz"), 24), fallback));
    EXPECT_TRUE(sameImage(Icons::applicationIcon(QStringLiteral("/nonexistent/icon.png"), 24), fallback));
    EXPECT_TRUE(sameImage(Icons::pixmap(ImageResource::named(QStringLiteral("no-such-thing")), 24), fallback));
    // An unknown icon of our own kind still reads as a command.
    const QPixmap command = Icons::pixmap(ImageResource::named(QStringLiteral("command-unknown-16")), 24);
    EXPECT_TRUE(sameImage(command, Icons::pixmap(ImageResource::named(QStringLiteral("command")), 24)));

    QTemporaryDir dir;
    const QString broken = test::writeTestFile(dir.filePath(QStringLiteral("broken.png")), "not an image at all");
    EXPECT_TRUE(sameImage(Icons::applicationIcon(broken, 24), fallback));

    const QPixmap remote = Icons::pixmap(ImageResource::url(QUrl(QStringLiteral("http://127.0.0.1:1/a.png"))), 24);
    const QPixmap placeholder = Icons::pixmap(ImageResource::named(QStringLiteral("image")), 24);
    EXPECT_TRUE(sameImage(remote, placeholder));
    EXPECT_EQ(Icons::pixmap(ImageResource::named(QStringLiteral("search")), 0).isNull(), true);
}

TEST_F(IconsTest, ThemedEmojiAndHighDensity) {
    const ImageResource themed = ImageResource::themed(ImageResource::named(QStringLiteral("calculator")),
                                                       ImageResource::named(QStringLiteral("folder")));
    Theme::setCurrent(Theme::Appearance::light);
    EXPECT_TRUE(
        sameImage(Icons::pixmap(themed, 24), Icons::pixmap(ImageResource::named(QStringLiteral("calculator")), 24)));
    Theme::setCurrent(Theme::Appearance::dark);
    EXPECT_TRUE(
        sameImage(Icons::pixmap(themed, 24), Icons::pixmap(ImageResource::named(QStringLiteral("folder")), 24)));

    const QPixmap emoji = Icons::pixmap(ImageResource::emoji(QStringLiteral("★")), 24);
    EXPECT_EQ(emoji.size(), QSize(24, 24));
    EXPECT_GT(opaquePixels(emoji), 10);

    const QPixmap sharp = Icons::pixmap(ImageResource::named(QStringLiteral("search")), 16, 2.0);
    EXPECT_EQ(sharp.size(), QSize(32, 32));
    EXPECT_EQ(sharp.devicePixelRatio(), 2.0);
    EXPECT_EQ(sharp.deviceIndependentSize().toSize(), QSize(16, 16));

    const QPixmap tinted = Icons::tinted(Icons::pixmap(ImageResource::named(QStringLiteral("search")), 16), Qt::red);
    const QImage tintedImage = tinted.toImage();
    EXPECT_EQ(tintedImage.pixelColor(8, 8).rgb(), QColor(Qt::red).rgb());
}
