// The images of result rows: emoji in the colour emoji font, and pictures
// behind web links fetched from a local HTTP server in the background, kept
// on disk for the next run, with the placeholder while they come and when
// they fail.
#include "support/CapturingLogHandler.h"
#include "support/LocalHttpServer.h"
#include "support/TestEnvironment.h"

#include "ui/toolkit/Icons.h"
#include "ui/toolkit/RemoteImages.h"
#include "ui/toolkit/ResultList.h"
#include "ui/toolkit/Theme.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

QByteArray png(const QColor& colour) {
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Pixels whose colour is far from grey (a colour emoji, a coloured picture).
int colourfulPixels(const QImage& picture) {
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() > 128 && c.hsvSaturation() > 90 && c.value() > 60) ++count;
        }
    return count;
}

int opaquePixels(const QImage& picture) {
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 128) ++count;
    return count;
}

// Counts the paint events a widget gets.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return QObject::eventFilter(watched, event);
    }
};

class RowIconsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(cache.isValid());
        ASSERT_TRUE(server.listen());
        server.route(QStringLiteral("/red.png"), {200, "image/png", png(Qt::red)});
        server.route(QStringLiteral("/blue.png"), {200, "image/png", png(Qt::blue)});
        server.route(QStringLiteral("/page.png"), {200, "text/html", "<html><body>Not a picture</body></html>"});
        // Each test starts as a new run of the launcher, over its own cache folder.
        RemoteImages::shared().forgetSession();
        Icons::clearCache();
        Theme::setCurrent(Theme::Appearance::light);
    }

    void TearDown() override {
        RemoteImages::shared().forgetSession();
        Icons::clearCache();
    }

    static ImageResource link(const QUrl& url) { return ImageResource::url(url, QSize(20, 20)); }
    static QImage icon(const ImageResource& resource) { return Icons::pixmap(resource, 24).toImage(); }
    static QImage placeholder() { return icon(ImageResource::named(QStringLiteral("image"))); }

    bool loaded(const QUrl& url) const {
        return waitUntil([&] { return RemoteImages::shared().state(url) == RemoteImages::State::loaded; }, 10000);
    }
    bool failed(const QUrl& url) const {
        return waitUntil([&] { return RemoteImages::shared().state(url) == RemoteImages::State::failed; }, 10000);
    }

    QTemporaryDir cache;
    ScopedEnv cacheHome{"XDG_CACHE_HOME", cache.path().toUtf8()};
    LocalHttpServer server;
};

TEST_F(RowIconsTest, EmojiAreDrawnInColourNotAsTheGenericTile) {
    // The create form's default icon: a grey robot with red ears, filling its square.
    const QImage robot = icon(ImageResource::emoji(QStringLiteral("🤖")));
    EXPECT_GT(colourfulPixels(robot), 15);
    EXPECT_GT(opaquePixels(robot), 24 * 24 / 2);
    EXPECT_NE(robot, Icons::fallback(24).toImage());
    EXPECT_NE(robot, placeholder());
    const QImage apple = icon(ImageResource::emoji(QStringLiteral("🍎")));
    EXPECT_GT(colourfulPixels(apple), 24 * 24 / 4);
}

TEST_F(RowIconsTest, ALinkedPictureArrivesLaterWithoutBlockingAndTheRowRepaints) {
    const QUrl url = server.url(QStringLiteral("/red.png"));
    server.hold(QStringLiteral("/red.png"));

    // A row of root search with that picture, on screen.
    ListItem row;
    row.id = QStringLiteral("remote");
    row.title = QStringLiteral("Deploy Preview");
    row.kind = ListItem::Kind::command;
    row.icon = link(url);
    const std::vector<ListSection> sections{{QStringLiteral("results"), QStringLiteral("Results"), {row}}};
    ResultListView list;
    list.resize(600, 200);
    list.setSections(sections, 0);
    PaintCounter counter;
    list.viewport()->installEventFilter(&counter);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));

    // The server keeps the answer back: asking does not wait for it.
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(icon(link(url)), placeholder());
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(RemoteImages::shared().state(url), RemoteImages::State::loading);
    ASSERT_TRUE(waitUntil([&] { return server.requests(QStringLiteral("/red.png")) == 1; }));
    const int paintsBefore = counter.paints;

    server.release(QStringLiteral("/red.png"));
    ASSERT_TRUE(loaded(url));
    const QImage arrived = icon(link(url));
    EXPECT_EQ(arrived.pixelColor(12, 12), QColor(Qt::red));
    // The row is drawn again by itself, now with the picture.
    EXPECT_TRUE(waitUntil([&] { return counter.paints > paintsBefore; }));
    EXPECT_GT(colourfulPixels(list.grab().toImage()), 200);
    EXPECT_TRUE(QFileInfo(RemoteImages::cacheFile(url)).isFile());
    EXPECT_EQ(server.requests(QStringLiteral("/red.png")), 1);
}

TEST_F(RowIconsTest, AMissingPictureOrAPageThatIsNoPictureKeepsThePlaceholderAndIsLogged) {
    ScopedLogCapture logs;
    for (const QString& path : {QStringLiteral("/missing.png"), QStringLiteral("/page.png")}) {
        SCOPED_TRACE(path.toStdString());
        const QUrl url = server.url(path);
        EXPECT_EQ(icon(link(url)), placeholder());
        ASSERT_TRUE(failed(url));
        EXPECT_EQ(icon(link(url)), placeholder());
        EXPECT_FALSE(QFileInfo::exists(RemoteImages::cacheFile(url)));
        // Failed once, not asked again in this run.
        EXPECT_EQ(server.requests(path), 1);
    }
    const QString log = logs->lines().join(QLatin1Char('\n'));
    EXPECT_EQ(logs->messages().count(QStringLiteral("Failed to load image")), 2) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("HTTP status 404"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("not an image"))) << log.toStdString();
}

TEST_F(RowIconsTest, ANextRunTakesThePictureFromTheDiskWithoutTheNetwork) {
    const QUrl url = server.url(QStringLiteral("/blue.png"));
    EXPECT_EQ(icon(link(url)), placeholder());
    ASSERT_TRUE(loaded(url));
    ASSERT_EQ(server.requests(QStringLiteral("/blue.png")), 1);

    // A new run, with the server gone.
    server.close();
    RemoteImages::shared().forgetSession();
    Icons::clearCache();
    const QImage again = icon(link(url));
    EXPECT_EQ(again.pixelColor(12, 12), QColor(Qt::blue));
    EXPECT_EQ(RemoteImages::shared().state(url), RemoteImages::State::loaded);
    EXPECT_EQ(server.requests(QStringLiteral("/blue.png")), 1);

    // A cached file that is no picture (a broken disk) is fetched again, not shown.
    RemoteImages::shared().forgetSession();
    Icons::clearCache();
    writeTestFile(RemoteImages::cacheFile(url), "garbage");
    EXPECT_EQ(icon(link(url)), placeholder());
}

}  // namespace
}  // namespace vantrel::test
