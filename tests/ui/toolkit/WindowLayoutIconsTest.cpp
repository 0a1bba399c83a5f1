// The icons of the window layouts: a screen with the layout's region filled
// in the accent colour, drawn from the region in the icon's name.
#include "ui/toolkit/Icons.h"
#include "ui/toolkit/Theme.h"

#include <QImage>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

// Pixels of the accent colour in a column band of the picture (fractions of its width).
int accentPixels(const QImage& picture, double from, double to) {
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    const QColor accent = Theme::current().accent;
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = int(from * image.width()); x < int(to * image.width()); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() > 200 && std::abs(c.red() - accent.red()) < 8 && std::abs(c.green() - accent.green()) < 8 &&
                std::abs(c.blue() - accent.blue()) < 8)
                ++count;
        }
    return count;
}

TEST(WindowLayoutIcons, FillTheRegionOfTheLayoutAndNothingElse) {
    Icons::clearCache();
    const QImage leftHalf = Icons::pixmap(ImageResource::named(QStringLiteral("window-layout-0-0-6-12")), 32).toImage();
    ASSERT_EQ(leftHalf.size(), QSize(32, 32));
    EXPECT_GT(accentPixels(leftHalf, 0.1, 0.45), 100);
    EXPECT_EQ(accentPixels(leftHalf, 0.55, 1.0), 0);

    const QImage lastThird = Icons::pixmap(ImageResource::named(QStringLiteral("window-layout-8-0-12-12")), 32).toImage();
    EXPECT_EQ(accentPixels(lastThird, 0.0, 0.6), 0);
    EXPECT_GT(accentPixels(lastThird, 0.7, 0.95), 50);
}

TEST(WindowLayoutIcons, AMalformedRegionFallsBackToTheGenericIcon) {
    const QPixmap generic = Icons::fallback(32);
    for (const char* name : {"window-layout-0-0-6", "window-layout-0-0-6-13", "window-layout-a-0-6-12"}) {
        const QPixmap drawn = Icons::pixmap(ImageResource::named(QString::fromLatin1(name)), 32);
        EXPECT_FALSE(drawn.isNull()) << name;
        EXPECT_EQ(accentPixels(drawn.toImage(), 0, 1), accentPixels(generic.toImage(), 0, 1)) << name;
    }
}

}  // namespace
}  // namespace vantrel::test
