// `vantrel files`: the file index over a folder tree, queried as the file
// search command does.
#include "cli/CliTestSupport.h"

namespace vantrel::test {
namespace {

class CliFilesTest : public CliFixture {
protected:
    QString tree = home.root() + QStringLiteral("/tree");

    void SetUp() override {
        for (const char* path : {"Documents/report-2024.pdf", "Documents/Résumé final.odt", "Documents/notes.txt",
                                 "Music/report-song.ogg", ".hidden/report-secret.txt"})
            writeTestFile(tree + QLatin1Char('/') + QString::fromUtf8(path), "x");
    }

    QStringList files(const QStringList& arguments) {
        const ProcessRun found = run(QStringList{"files", "--scope", tree} + arguments);
        EXPECT_EQ(found.exitCode, 0) << found.err.toStdString();
        QStringList lines = found.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (QString& line : lines) line = line.mid(tree.size() + 1);
        lines.sort();
        return lines;
    }
};

TEST_F(CliFilesTest, FindsFilesByNamePrefixInTheAskedFolder) {
    EXPECT_EQ(files({"report"}), (QStringList{"Documents/report-2024.pdf", "Music/report-song.ogg"}));
    EXPECT_EQ(files({"report", "in", tree + QStringLiteral("/Documents")}), QStringList{"Documents/report-2024.pdf"});
    // Case, diacritics and later words of the name.
    EXPECT_EQ(files({"RESUME"}), QStringList{"Documents/Résumé final.odt"});
    EXPECT_EQ(files({"final"}), QStringList{"Documents/Résumé final.odt"});
    // Hidden folders are not indexed; nothing found prints nothing.
    EXPECT_TRUE(files({"report-secret"}).isEmpty());
}

TEST_F(CliFilesTest, TheEmptyQueryListsRecentlyUsedDocuments) {
    writeTestFile(qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/recently-used.xbel"),
                  QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xbel version=\"1.0\">\n"
                                 "<bookmark href=\"file://%1/Documents/notes.txt\" added=\"2026-01-01T10:00:00Z\" "
                                 "modified=\"2026-01-02T10:00:00Z\" visited=\"2026-01-02T10:00:00Z\"/>\n"
                                 "<bookmark href=\"file://%1/Documents/gone.txt\" added=\"2026-01-01T10:00:00Z\" "
                                 "modified=\"2026-01-03T10:00:00Z\" visited=\"2026-01-03T10:00:00Z\"/>\n</xbel>\n")
                      .arg(tree)
                      .toUtf8());
    EXPECT_EQ(files({}), QStringList{"Documents/notes.txt"});
}

}  // namespace
}  // namespace vantrel::test
