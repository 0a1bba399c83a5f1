#include "search/FileTreeTestSupport.h"

#include "search/FileIndex.h"
#include "search/FileSearch.h"
#include "search/RecentDocuments.h"
#include "support/CapturingLogHandler.h"
#include "support/TestEnvironment.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QUrl>

#include <gtest/gtest.h>

#include <map>
#include <optional>

namespace vantrel {

void PrintTo(const ImageAttributes& image, std::ostream* os) {
    *os << image.width << "×" << image.height << " at " << image.resolutionWidth << "×" << image.resolutionHeight
        << " dpi";
}

}  // namespace vantrel

namespace vantrel::test {
namespace {

struct ParseCase {
    const char* term;
    const char* name;
    QStringList directories;  // "~" stands for the home folder
    QStringList matches;
};

TEST(FileSearchParameters, SplitsNamesFromFolders) {
    const QString home = QDir::homePath();
    const std::vector<ParseCase> cases = {
        {"report in ~/Documents", "report", {"~/Documents"}, {"report in ", "~/Documents"}},
        {"report in \"~/My Documents\"", "report", {"~/My Documents"}, {"report in ", "\"~/My Documents\""}},
        {"report", "report", {}, {}},
        {"", "", {}, {}},
        {"/tmp/reports", "", {"/tmp/reports"}, {"/tmp/reports"}},
        {"~", "", {"~"}, {"~"}},
        {"notes ~/work", "notes", {"~/work"}, {"~/work"}},
        {"domain in /srv/www/", "domain", {"/srv/www"}, {"domain in ", "/srv/www/"}},
        {"annual plan in ~/a/../b", "annual plan", {"~/b"}, {"annual plan in ", "~/a/../b"}},
        // "in" inside a word is no separator.
        {"main file", "main file", {}, {"main "}},
        {"main file in /srv", "main file", {"/srv"}, {"main file in ", "/srv"}},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.term);
        const FileSearch::Parameters parameters = FileSearch::parseParameters(QString::fromUtf8(c.term));
        QStringList directories;
        for (const QString& directory : c.directories)
            directories << (directory.startsWith(QLatin1Char('~')) ? QDir::cleanPath(home + directory.mid(1))
                                                                   : directory);
        EXPECT_EQ(parameters.name, QString::fromUtf8(c.name));
        EXPECT_EQ(parameters.directories, directories);
        EXPECT_EQ(parameters.matches, c.matches);
    }
}

TEST(FileSearchParameters, LogsWhatItParsed) {
    ScopedLogCapture logs;
    FileSearch::parseParameters("report in /srv/docs");
    EXPECT_TRUE(logs->contains("Parsed query: report, directories: [/srv/docs], matches: [report in , /srv/docs]"));
}

// A tree, an index over it and a search over the index; completions on the main thread.
class FileSearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree.file("Documents/report-2024.pdf", "%PDF-1.4 twelve");
        tree.file("Documents/Report final.odt");
        tree.file("Other/report-other.pdf");
        tree.file("Other/notes.txt");
        FileIndex::Options options;
        options.scopes = {tree.root()};
        options.watchChanges = false;
        index = std::make_shared<FileIndex>(options);
        index->build();
        search = std::make_unique<FileSearch>(index, tree.path("recently-used.xbel"));
    }

    // Runs one query to its completion.
    std::vector<FileModel> run(const QString& query, const QStringList& scopes = {}, int limit = 50) {
        std::optional<std::vector<FileModel>> result;
        search->findFiles(query, scopes, limit, [&](std::vector<FileModel> files) { result = std::move(files); });
        EXPECT_TRUE(waitUntil([&] { return result.has_value(); }));
        return result.value_or(std::vector<FileModel>{});
    }

    static QStringList paths(const std::vector<FileModel>& files) {
        QStringList list;
        for (const FileModel& file : files) list << file.path;
        return list;
    }

    void writeRecentDocuments(const QByteArray& xml) const { tree.file("recently-used.xbel", xml); }

    QByteArray bookmark(const QString& relative, const char* modified, const char* visited) const {
        return "<bookmark href=\"" + QUrl::fromLocalFile(tree.path(relative)).toEncoded() + "\" added=\"" + modified +
               "\" modified=\"" + modified + "\" visited=\"" + visited + "\"/>\n";
    }

    FileTree tree;
    std::shared_ptr<FileIndex> index;
    std::unique_ptr<FileSearch> search;
};

TEST_F(FileSearchTest, FindsFilesByNamePrefixInTheNamedFolder) {
    ScopedLogCapture logs;
    const auto files = run(QStringLiteral("report in ") + tree.path("Documents"));
    EXPECT_EQ(paths(files),
              QStringList({tree.path("Documents/Report final.odt"), tree.path("Documents/report-2024.pdf")}));
    EXPECT_TRUE(logs->contains(QStringLiteral("Find file with query: name prefix \"report\" searchScopes: [") +
                               tree.path("Documents") + "]"));
    EXPECT_TRUE(logs->contains("Finished file index query with 2 records"));

    const FileModel& pdf = files[1];
    EXPECT_EQ(pdf.name, "report-2024.pdf");
    EXPECT_EQ(pdf.contentType, "application/pdf");
    EXPECT_TRUE(pdf.kind.has_value() && !pdf.kind->isEmpty());
    EXPECT_EQ(pdf.size, 15);
    ASSERT_TRUE(pdf.modifiedAt.has_value());
    EXPECT_LE(pdf.modifiedAt->secsTo(QDateTime::currentDateTime()), 600);
    EXPECT_FALSE(pdf.lastUsedAt.has_value());
}

TEST_F(FileSearchTest, RestrictsToTheGivenScopesAndHomeRelativeFolders) {
    EXPECT_EQ(paths(run("report", {tree.path("Other")})), QStringList({tree.path("Other/report-other.pdf")}));
    EXPECT_EQ(paths(run("report", {})).size(), 3);
    EXPECT_TRUE(run("report", {tree.path("Nowhere")}).empty());

    ScopedEnv home("HOME", QFile::encodeName(tree.root()));
    EXPECT_EQ(paths(run("notes in ~/Other")), QStringList({tree.path("Other/notes.txt")}));
    EXPECT_EQ(paths(run("notes ~/Documents")), QStringList());
    // The folder itself, then the file with "other" as a later word.
    const auto folder = run("other in ~");
    ASSERT_EQ(paths(folder), QStringList({tree.path("Other"), tree.path("Other/report-other.pdf")}));
    EXPECT_EQ(folder[0].contentType, "inode/directory");
    EXPECT_FALSE(folder[0].size.has_value());
}

TEST_F(FileSearchTest, TheLimitCapsTheResults) {
    for (int i = 0; i < 30; ++i) tree.file(QStringLiteral("Many/batch-%1.txt").arg(i));
    index->build();
    EXPECT_EQ(run("batch", {}, 5).size(), 5u);
    EXPECT_EQ(run("batch", {}, 100).size(), 30u);
    EXPECT_TRUE(run("batch", {}, 0).empty());
}

TEST_F(FileSearchTest, ANewQueryCancelsThePreviousOne) {
    bool firstCompleted = false;
    std::optional<std::vector<FileModel>> second;
    search->findFiles("report", {}, 50, [&](std::vector<FileModel>) { firstCompleted = true; });
    search->findFiles("notes", {}, 50, [&](std::vector<FileModel> files) { second = std::move(files); });
    ASSERT_TRUE(waitUntil([&] { return second.has_value(); }));
    EXPECT_EQ(paths(*second), QStringList({tree.path("Other/notes.txt")}));
    // The queue is serial: anything the first query had posted came before the second's answer.
    QCoreApplication::processEvents();
    EXPECT_FALSE(firstCompleted);

    bool cancelledCompleted = false;
    search->findFiles("report", {}, 50, [&](std::vector<FileModel>) { cancelledCompleted = true; });
    search->cancel();
    std::optional<std::vector<FileModel>> third;
    search->findFiles("report-o", {}, 50, [&](std::vector<FileModel> files) { third = std::move(files); });
    ASSERT_TRUE(waitUntil([&] { return third.has_value(); }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(cancelledCompleted);
    EXPECT_EQ(third->size(), 1u);
}

TEST_F(FileSearchTest, AFileGoneSinceIndexingIsLeftOutWithALogLine) {
    ScopedLogCapture logs;
    ASSERT_TRUE(QFile::remove(tree.path("Other/notes.txt")));
    EXPECT_TRUE(run("notes").empty());
    EXPECT_TRUE(logs->contains("Could not copy file metadata attributes"));
    EXPECT_TRUE(logs->contains("Finished file index query with 0 records"));
}

TEST_F(FileSearchTest, AnEmptyNameListsRecentlyUsedDocumentsMostRecentFirst) {
    tree.file("Documents/older.txt");
    tree.file("Documents/newest.txt");
    tree.file("Documents/visited.txt");
    writeRecentDocuments(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<xbel version=\"1.0\" xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\">\n" +
        bookmark("Documents/older.txt", "2024-01-01T10:00:00.000000Z", "2024-01-01T10:00:00.000000Z") +
        bookmark("Documents/newest.txt", "2024-05-01T10:00:00.123456Z", "2024-05-01T10:00:00Z") +
        // Visited later than modified: the visit counts.
        bookmark("Documents/visited.txt", "2023-01-01T10:00:00Z", "2024-03-01T10:00:00Z") +
        bookmark("Documents/deleted.txt", "2025-01-01T10:00:00Z", "2025-01-01T10:00:00Z") +
        bookmark("Other/notes.txt", "2024-04-01T10:00:00Z", "2024-04-01T10:00:00Z") +
        "<bookmark href=\"https://example.org/page\" modified=\"2025-02-01T10:00:00Z\"/>\n"
        "<bookmark href=\"file:///\" modified=\"2025-02-01T10:00:00Z\"/>\n"
        "</xbel>\n");

    const auto all = run("", {tree.root()});
    EXPECT_EQ(paths(all), QStringList({tree.path("Documents/newest.txt"), tree.path("Other/notes.txt"),
                                       tree.path("Documents/visited.txt"), tree.path("Documents/older.txt")}));
    ASSERT_TRUE(all[0].lastUsedAt.has_value());
    EXPECT_EQ(*all[0].lastUsedAt, QDateTime(QDate(2024, 5, 1), QTime(10, 0, 0, 123), Qt::UTC));

    EXPECT_EQ(paths(run("  ", {tree.root()}, 2)),
              QStringList({tree.path("Documents/newest.txt"), tree.path("Other/notes.txt")}));
    EXPECT_EQ(paths(run("", {tree.path("Documents")}, 1)), QStringList({tree.path("Documents/newest.txt")}));
    EXPECT_EQ(paths(run(tree.path("Other"))), QStringList({tree.path("Other/notes.txt")}));
}

TEST_F(FileSearchTest, MalformedOrMissingRecentDocumentsGiveAnEmptyList) {
    tree.file("Documents/older.txt");
    const QByteArray good =
        "<xbel version=\"1.0\">" + bookmark("Documents/older.txt", "2024-01-01T10:00:00Z", "") + "</xbel>";
    const std::vector<QByteArray> broken = {
        good.left(good.size() - 4),                    // cut off
        "<xbel><bookmark href=\"file:///x\"></xbel>",  // tags do not nest
        "<html><bookmark href=\"file:///etc/hostname\"/></html>",
        "not xml at all",
        good + "<trailing/>",
        QByteArray("\x00\x01\x02", 3),
    };
    for (const QByteArray& xml : broken) {
        SCOPED_TRACE(xml.toStdString());
        ScopedLogCapture logs;
        writeRecentDocuments(xml);
        EXPECT_TRUE(run("").empty());
        EXPECT_EQ(logs->messages().filter("Could not read recently used documents: ").size(), 1);
    }

    writeRecentDocuments("");
    EXPECT_TRUE(run("").empty());
    ASSERT_TRUE(QFile::remove(tree.path("recently-used.xbel")));
    EXPECT_TRUE(run("").empty());

    writeRecentDocuments(good);
    EXPECT_EQ(paths(run("")), QStringList({tree.path("Documents/older.txt")}));
}

// MARK: Images

// An image file's bytes as this build writes them, at a resolution in dots per inch.
QByteArray encodedImage(int width, int height, const char* format, double dotsPerInch) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    image.setDotsPerMeterX(qRound(dotsPerInch / 0.0254));
    image.setDotsPerMeterY(qRound(dotsPerInch / 0.0254));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format)) << format;
    return bytes;
}

// The PNG without its pHYs chunk: a file that records no resolution.
QByteArray withoutPhysicalSize(const QByteArray& png) {
    QByteArray out = png.left(8);
    for (qsizetype at = 8; at + 8 <= png.size();) {
        const auto length = qsizetype(quint32(quint8(png[at])) << 24 | quint32(quint8(png[at + 1])) << 16 |
                                      quint32(quint8(png[at + 2])) << 8 | quint32(quint8(png[at + 3])));
        if (png.mid(at + 4, 4) != "pHYs") out += png.mid(at, 12 + length);
        at += 12 + length;
    }
    return out;
}

// The JPEG with an EXIF segment saying it is shown turned by 90° (orientation 6).
QByteArray turnedJpeg(const QByteArray& jpeg) {
    const QByteArray exif = QByteArray("Exif\0\0", 6) + QByteArray("MM\0\x2a\0\0\0\x08", 8) +  // TIFF header
                            QByteArray("\0\x01", 2) +                                          // one entry:
                            QByteArray("\x01\x12\0\x03\0\0\0\x01\0\x06\0\0", 12) +             // Orientation = 6
                            QByteArray("\0\0\0\0", 4);                                         // no next IFD
    const auto length = quint16(exif.size() + 2);
    QByteArray segment("\xff\xe1", 2);
    segment += char(length >> 8);
    segment += char(length & 0xff);
    return jpeg.left(2) + segment + exif + jpeg.mid(2);
}

TEST_F(FileSearchTest, ImagesCarryTheirPixelSizeAndResolutionFromTheirHeader) {
    const QByteArray png = encodedImage(300, 200, "PNG", 144);
    tree.file("Pictures/shot-wide.png", png);
    tree.file("Pictures/shot-plain.png", withoutPhysicalSize(png));
    const QByteArray jpeg = encodedImage(640, 480, "JPEG", 300);
    tree.file("Pictures/shot-photo.jpg", jpeg);
    tree.file("Pictures/shot-turned.jpg", turnedJpeg(jpeg));
    tree.file("Pictures/shot-broken.png", "this is no image");
    tree.file("Pictures/shot-vector.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\" height=\"20\"/>");
    index->build();

    std::map<QString, std::optional<ImageAttributes>> found;
    for (const FileModel& file : run("shot")) found[file.name] = file.imageAttributes;
    ASSERT_EQ(found.size(), 6u);
    EXPECT_EQ(found["shot-wide.png"], (ImageAttributes{300, 200, 144, 144}));
    EXPECT_EQ(found["shot-plain.png"], (ImageAttributes{300, 200, 72, 72}));
    EXPECT_EQ(found["shot-photo.jpg"], (ImageAttributes{640, 480, 300, 300}));
    // Shown upright, the turned photo is taller than wide.
    EXPECT_EQ(found["shot-turned.jpg"], (ImageAttributes{480, 640, 300, 300}));
    // Not an image after all, or no pixels of its own: found, without image attributes.
    EXPECT_EQ(found["shot-broken.png"], std::nullopt);
    EXPECT_EQ(found["shot-vector.svg"], std::nullopt);
    // Other files have none.
    EXPECT_EQ(run("notes").at(0).imageAttributes, std::nullopt);
}

// MARK: Streaming

TEST_F(FileSearchTest, StreamedResultsArriveInBatchesAndEndOnce) {
    for (int i = 0; i < 40; ++i) tree.file(QStringLiteral("Many/batch-%1.txt").arg(i, 2, 10, QLatin1Char('0')));
    index->build();

    std::vector<std::vector<FileModel>> batches;
    int finishedCount = 0;
    search->streamFiles("batch", {}, 100, [&](std::vector<FileModel> files, bool finished) {
        batches.push_back(std::move(files));
        if (finished) ++finishedCount;
    });
    ASSERT_TRUE(waitUntil([&] { return finishedCount > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(finishedCount, 1);
    ASSERT_GE(batches.size(), 2u);
    // The first batch comes before the rest is read; together they are findFiles' answer.
    EXPECT_GE(batches.front().size(), 1u);
    EXPECT_LE(batches.front().size(), size_t(FileSearch::firstBatchSize));
    QStringList streamed;
    for (const auto& batch : batches) streamed += paths(batch);
    EXPECT_EQ(streamed, paths(run("batch", {}, 100)));
    EXPECT_EQ(streamed.size(), 40);
}

TEST_F(FileSearchTest, ANewQueryDropsTheBatchesOfTheRunningOne) {
    for (int i = 0; i < 40; ++i) tree.file(QStringLiteral("Many/batch-%1.txt").arg(i));
    index->build();
    int oldBatches = 0;
    QStringList newest;
    bool finishedNewest = false;
    search->streamFiles("batch", {}, 100, [&](std::vector<FileModel>, bool) { ++oldBatches; });
    search->streamFiles("notes", {}, 100, [&](std::vector<FileModel> files, bool finished) {
        newest += paths(files);
        finishedNewest = finished;
    });
    ASSERT_TRUE(waitUntil([&] { return finishedNewest; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(oldBatches, 0);
    EXPECT_EQ(newest, QStringList({tree.path("Other/notes.txt")}));
}

TEST(RecentDocumentsFile, LivesInTheDataHomeAndReadsNestedFolders) {
    ScopedXdgHome home;
    EXPECT_EQ(RecentDocuments::defaultFile(), qEnvironmentVariable("XDG_DATA_HOME") + "/recently-used.xbel");
    QFile file(RecentDocuments::defaultFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        "<xbel version=\"1.0\"><folder><title>t</title>"
        "<bookmark href=\"file:///tmp/a%20b.txt\" visited=\"2024-01-01T00:00:00Z\"><info/></bookmark>"
        "</folder><bookmark href=\"file:///tmp/a%20b.txt\" modified=\"2024-02-01T00:00:00Z\"/></xbel>");
    file.close();
    const auto documents = RecentDocuments::read(RecentDocuments::defaultFile());
    ASSERT_EQ(documents.size(), 1u);
    EXPECT_EQ(documents[0].path, "/tmp/a b.txt");
    EXPECT_EQ(documents[0].lastUsedAt, QDateTime(QDate(2024, 2, 1), QTime(0, 0), Qt::UTC));
}

}  // namespace
}  // namespace vantrel::test
