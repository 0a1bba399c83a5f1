// What a copy is: the types fetched of an offer, then the first rule that
// applies (PNG, another image converted, a file, a link, a colour, text), and
// the offers that are never kept (marker types, secrets, binary data, white
// space, oversized text and images).
#include "features/clipboard/ClipboardContent.h"

#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

using Outcome = ClipboardClassification::Outcome;
using Kind = ClipboardContent::Kind;

ClipboardSnapshot offer(std::map<QString, QByteArray> data, QStringList extraTypes = {}) {
    ClipboardSnapshot snapshot;
    for (const auto& [type, bytes] : data) snapshot.types << type;
    snapshot.types << extraTypes;
    snapshot.data = std::move(data);
    return snapshot;
}

QByteArray imageBytes(const char* format, QSize size = {8, 4}) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

TEST(ClipboardClassifierTest, textsAreLinksColoursOrPlainText) {
    struct Case {
        QByteArray text;
        Kind kind;
        QString stored;
    };
    const Case cases[] = {
        {"hello world", Kind::text, QStringLiteral("hello world")},
        {"  indented\n", Kind::text, QStringLiteral("  indented\n")},
        {"https://example.org/x", Kind::link, QStringLiteral("https://example.org/x")},
        {"  https://example.org/x  ", Kind::link, QStringLiteral("https://example.org/x")},
        {"example.org", Kind::text, QStringLiteral("example.org")},
        {"see https://example.org/x", Kind::text, QStringLiteral("see https://example.org/x")},
        {"https://a.example https://b.example", Kind::text, QStringLiteral("https://a.example https://b.example")},
        {"#ff8800", Kind::color, QStringLiteral("#ff8800")},
        {"#FF880080", Kind::color, QStringLiteral("#FF880080")},
        {"#f80", Kind::text, QStringLiteral("#f80")},
        {"#ff880", Kind::text, QStringLiteral("#ff880")},
        {"rgb(255, 136, 0)", Kind::color, QStringLiteral("rgb(255, 136, 0)")},
        {"rgba(0,0,0,0.5)", Kind::color, QStringLiteral("rgba(0,0,0,0.5)")},
        {"hsl(120, 50%, 50%)", Kind::color, QStringLiteral("hsl(120, 50%, 50%)")},
        {"hsla(120, 50%, 50%, 0.3)", Kind::color, QStringLiteral("hsla(120, 50%, 50%, 0.3)")},
        {"rgb(300, 0, 0)", Kind::text, QStringLiteral("rgb(300, 0, 0)")},
        {"rebeccapurple", Kind::color, QStringLiteral("rebeccapurple")},
        {"Red", Kind::color, QStringLiteral("Red")},
        {"redish", Kind::text, QStringLiteral("redish")},
    };
    for (const Case& c : cases) {
        const ClipboardClassification result = ClipboardClassifier::classify(offer({{QStringLiteral("UTF8_STRING"), c.text}}));
        ASSERT_EQ(result.outcome, Outcome::content) << c.text.constData();
        EXPECT_EQ(int(result.content->kind), int(c.kind)) << c.text.constData();
        EXPECT_EQ(result.content->text, c.stored) << c.text.constData();
    }
}

TEST(ClipboardClassifierTest, aColourKeepsItsValue) {
    const auto color = ClipboardClassifier::parseColor(QStringLiteral("#ff8800"));
    ASSERT_TRUE(color);
    EXPECT_EQ(color->name(), QStringLiteral("#ff8800"));
    EXPECT_EQ(ClipboardClassifier::parseColor(QStringLiteral("#00000080"))->alpha(), 128);
    EXPECT_FALSE(ClipboardClassifier::parseColor(QStringLiteral("hsl(50%, 50%, 50%)")));
    EXPECT_FALSE(ClipboardClassifier::parseColor(QStringLiteral("rgb(1, 2)")));
    EXPECT_FALSE(ClipboardClassifier::parseColor(QString()));
}

TEST(ClipboardClassifierTest, whiteSpaceAndEmptyOffersGiveNothing) {
    EXPECT_EQ(ClipboardClassifier::classify(offer({{QStringLiteral("UTF8_STRING"), " \n\t "}})).outcome, Outcome::nothing);
    EXPECT_EQ(ClipboardClassifier::classify(offer({{QStringLiteral("UTF8_STRING"), ""}})).outcome, Outcome::nothing);
    EXPECT_EQ(ClipboardClassifier::classify(offer({}, {QStringLiteral("application/x-unknown")})).outcome,
              Outcome::nothing);
}

TEST(ClipboardClassifierTest, binaryDataOfferedAsTextIsRejected) {
    QByteArray garbage;
    for (int i = 0; i < 512; ++i) garbage.append(char((i * 73 + 5) % 256));
    EXPECT_EQ(ClipboardClassifier::classify(offer({{QStringLiteral("text/plain"), garbage}})).outcome, Outcome::rejected);
    // Valid UTF-8 that is not text: NUL bytes and control characters.
    EXPECT_EQ(ClipboardClassifier::classify(offer({{QStringLiteral("UTF8_STRING"), QByteArray("ab\0cd", 5)}})).outcome,
              Outcome::rejected);
    EXPECT_EQ(ClipboardClassifier::classify(offer({{QStringLiteral("UTF8_STRING"), "ab\x01\x02\x03"}})).outcome,
              Outcome::rejected);
    // Latin-1 STRING is read as Latin-1.
    const auto latin = ClipboardClassifier::classify(offer({{QStringLiteral("STRING"), "caf\xe9"}}));
    ASSERT_EQ(latin.outcome, Outcome::content);
    EXPECT_EQ(latin.content->text, QStringLiteral("café"));
}

TEST(ClipboardClassifierTest, textLongerThanTheLimitIsTooLong) {
    const ClipboardLimits limits;
    const auto atLimit =
        ClipboardClassifier::classify(offer({{QStringLiteral("UTF8_STRING"), QByteArray(32768, 'a')}}), limits);
    EXPECT_EQ(atLimit.outcome, Outcome::content);
    const auto over = ClipboardClassifier::classify(offer({{QStringLiteral("UTF8_STRING"), QByteArray(40000, 'a')}}), limits);
    EXPECT_EQ(over.outcome, Outcome::textTooLong);
    EXPECT_EQ(over.size, 40000);
    // Not even fetched: the watcher reports the size only.
    ClipboardSnapshot huge;
    huge.types << QStringLiteral("UTF8_STRING");
    huge.oversized[QStringLiteral("UTF8_STRING")] = 100 * 1024 * 1024;
    EXPECT_EQ(ClipboardClassifier::classify(huge).outcome, Outcome::textTooLong);
}

TEST(ClipboardClassifierTest, imagesArePngFirstAndOtherTypesAreConvertedToPng) {
    const QByteArray png = imageBytes("PNG");
    const auto fromPng = ClipboardClassifier::classify(
        offer({{QStringLiteral("image/png"), png}, {QStringLiteral("image/bmp"), imageBytes("BMP")}}));
    ASSERT_EQ(fromPng.outcome, Outcome::content);
    EXPECT_EQ(int(fromPng.content->kind), int(Kind::image));
    EXPECT_EQ(fromPng.content->imageData, png);
    for (const char* format : {"BMP", "JPEG", "TIFF"}) {
        const QString type = QStringLiteral("image/") + QString::fromLatin1(format).toLower();
        const auto converted = ClipboardClassifier::classify(offer({{type, imageBytes(format)}}));
        if (converted.outcome == Outcome::rejected) continue;  // no reader for the format in this Qt
        ASSERT_EQ(converted.outcome, Outcome::content) << format;
        EXPECT_TRUE(converted.content->imageData.startsWith("\x89PNG")) << format;
        EXPECT_EQ(QImage::fromData(converted.content->imageData).size(), QSize(8, 4)) << format;
    }
    // The item's text names the image.
    const auto named = ClipboardClassifier::classify(
        offer({{QStringLiteral("image/png"), png}, {QStringLiteral("UTF8_STRING"), "diagram.png"}}));
    EXPECT_EQ(named.content->text, QStringLiteral("diagram.png"));
}

TEST(ClipboardClassifierTest, brokenAndOversizedImagesAreNotKept) {
    EXPECT_EQ(ClipboardClassifier::classify(offer({{QStringLiteral("image/png"), "not a png"}})).outcome, Outcome::rejected);
    ClipboardLimits small;
    small.imageDataSizeLimit = 10;
    const auto over = ClipboardClassifier::classify(offer({{QStringLiteral("image/png"), imageBytes("PNG")}}), small);
    EXPECT_EQ(over.outcome, Outcome::imageTooLarge);
    ClipboardSnapshot huge;
    huge.types << QStringLiteral("image/png");
    huge.oversized[QStringLiteral("image/png")] = 25 * 1024 * 1024;
    const auto unread = ClipboardClassifier::classify(huge);
    EXPECT_EQ(unread.outcome, Outcome::imageTooLarge);
    EXPECT_EQ(unread.size, 25 * 1024 * 1024);
}

TEST(ClipboardClassifierTest, filesComeFromUriListsAndGnomesCopiedFiles) {
    const auto uriList = ClipboardClassifier::classify(
        offer({{QStringLiteral("text/uri-list"), "# comment\r\nfile:///tmp/a%20b.txt\r\nfile:///tmp/last.pdf\r\n"},
               {QStringLiteral("UTF8_STRING"), "/tmp/a b.txt"}}));
    ASSERT_EQ(uriList.outcome, Outcome::content);
    EXPECT_EQ(int(uriList.content->kind), int(Kind::file));
    EXPECT_EQ(uriList.content->filePath, QStringLiteral("/tmp/last.pdf"));
    const auto gnome = ClipboardClassifier::classify(
        offer({{QStringLiteral("x-special/gnome-copied-files"), "copy\nfile:///home/u/report.odt"}}));
    ASSERT_EQ(gnome.outcome, Outcome::content);
    EXPECT_EQ(gnome.content->filePath, QStringLiteral("/home/u/report.odt"));
    // Remote URIs are links to fetch, not files: the text decides.
    const auto remote = ClipboardClassifier::classify(offer(
        {{QStringLiteral("text/uri-list"), "https://example.org/a"}, {QStringLiteral("UTF8_STRING"), "https://example.org/a"}}));
    EXPECT_EQ(int(remote.content->kind), int(Kind::link));
}

TEST(ClipboardClassifierTest, richTextIsKeptBesideThePlainText) {
    const auto html = ClipboardClassifier::classify(
        offer({{QStringLiteral("UTF8_STRING"), "bold move"}, {QStringLiteral("text/html"), "<b>bold</b> move"}}));
    ASSERT_EQ(html.outcome, Outcome::content);
    EXPECT_EQ(html.content->text, QStringLiteral("bold move"));
    EXPECT_EQ(html.content->richText, QByteArray("<b>bold</b> move"));
    // UTF-16 HTML (some browsers) is kept as UTF-8.
    const QByteArray utf16 = QByteArray("\xff\xfe", 2) +
                             QByteArray(reinterpret_cast<const char*>(u"<i>x</i>"), 8 * 2);
    const auto wide =
        ClipboardClassifier::classify(offer({{QStringLiteral("UTF8_STRING"), "x y"}, {QStringLiteral("text/html"), utf16}}));
    EXPECT_EQ(wide.content->richText, QByteArray("<i>x</i>"));
    const auto rtf = ClipboardClassifier::classify(
        offer({{QStringLiteral("UTF8_STRING"), "plain words"}, {QStringLiteral("text/rtf"), "{\\rtf1 plain words}"}}));
    EXPECT_EQ(rtf.content->richText, QByteArray("{\\rtf1 plain words}"));
}

TEST(ClipboardClassifierTest, markedOffersAreIgnoredAndNotEvenFetched) {
    for (const QString& marker :
         {QStringLiteral("org.nspasteboard.TransientType"), QStringLiteral("org.nspasteboard.ConcealedType"),
          QStringLiteral("org.nspasteboard.AutoGeneratedType"), QString(ClipboardTypes::restored)}) {
        const QStringList types{QStringLiteral("UTF8_STRING"), marker};
        EXPECT_TRUE(ClipboardClassifier::fetches(types).empty()) << marker.toStdString();
        EXPECT_EQ(ClipboardClassifier::classify(offer({{QStringLiteral("UTF8_STRING"), "password"}}, {marker})).outcome,
                  Outcome::ignored);
    }
    const auto secret = ClipboardClassifier::classify(offer(
        {{QStringLiteral("UTF8_STRING"), "hunter2"}, {QStringLiteral("x-kde-passwordManagerHint"), "secret"}}));
    EXPECT_EQ(secret.outcome, Outcome::ignored);
    // The hint is fetched first, and small.
    const auto fetched = ClipboardClassifier::fetches({QStringLiteral("UTF8_STRING"), QStringLiteral("x-kde-passwordManagerHint")});
    ASSERT_FALSE(fetched.empty());
    EXPECT_EQ(fetched.front().type, QStringLiteral("x-kde-passwordManagerHint"));
    EXPECT_LE(fetched.front().maxBytes, 64);
}

TEST(ClipboardClassifierTest, fetchesTakeOneTextOneImageAndTheFileAndRichTypesWithinTheLimits) {
    const auto fetched = ClipboardClassifier::fetches({QStringLiteral("TARGETS"), QStringLiteral("STRING"),
                                                       QStringLiteral("UTF8_STRING"), QStringLiteral("image/bmp"),
                                                       QStringLiteral("image/png"), QStringLiteral("text/html"),
                                                       QStringLiteral("text/uri-list")});
    QStringList types;
    for (const ClipboardFetch& fetch : fetched) types << fetch.type;
    EXPECT_EQ(types, (QStringList{QStringLiteral("image/png"), QStringLiteral("text/uri-list"),
                                  QStringLiteral("UTF8_STRING"), QStringLiteral("text/html")}));
    EXPECT_EQ(fetched[0].maxBytes, 20971520);
    EXPECT_EQ(fetched[2].maxBytes, 32768 * 4);
}

TEST(ClipboardClassifierTest, formatsPutARecordBackMarkedAsOurs) {
    ClipboardRecord text;
    text.text = QStringLiteral("héllo");
    text.richTextData = QByteArray("<b>héllo</b>");
    const auto formats = ClipboardClassifier::formatsFor(text, {}, true);
    std::map<QString, QByteArray> byType;
    for (const ClipboardFormat& format : formats) byType[format.type] = format.data;
    EXPECT_EQ(byType[QStringLiteral("text/plain")], QStringLiteral("héllo").toUtf8());
    EXPECT_EQ(byType[QStringLiteral("text/html")], QByteArray("<b>héllo</b>"));
    EXPECT_TRUE(byType.count(QString(ClipboardTypes::restored)));
    EXPECT_EQ(ClipboardClassifier::formatsFor(text, {}, false).size(), 2u);

    ClipboardRecord file;
    file.category = ClipboardRecord::Category::file;
    file.text = QStringLiteral("/tmp/a b.txt");
    file.filePath = file.text;
    byType.clear();
    for (const ClipboardFormat& format : ClipboardClassifier::formatsFor(file, {})) byType[format.type] = format.data;
    EXPECT_EQ(byType[QStringLiteral("text/uri-list")], QByteArray("file:///tmp/a%20b.txt\r\n"));
    EXPECT_EQ(byType[QStringLiteral("x-special/gnome-copied-files")], QByteArray("copy\nfile:///tmp/a%20b.txt"));
}

}  // namespace
}  // namespace vantrel::test
