// File search in the real launcher: a file in the home folder is found by
// name in the "File Search" view, reached through the command or through the
// fallback row of a query nothing else matches, and opened by the desktop's
// handler for its type (a fixture type in the shared MIME database, a
// fixture application made its default) — driven with xdotool.
#include "e2e/LauncherProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

class FileSearchEndToEndTest : public LauncherProcessTest {
protected:
    void SetUp() override {
        LauncherProcessTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        markWelcomeSeen();
        VANTREL_REQUIRE_DESKTOP_OR_SKIP(
            !QStandardPaths::findExecutable(QStringLiteral("update-mime-database")).isEmpty(),
            "update-mime-database (shared-mime-info) is not installed");
        const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
        const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");

        // A type of our own, known by its extension.
        writeTestFile(dataHome + QStringLiteral("/mime/packages/vantrel-fixture.xml"),
                      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                      "  <mime-type type=\"text/x-vantrel-fixture\">\n"
                      "    <comment>Vantrel fixture document</comment>\n"
                      "    <sub-class-of type=\"text/plain\"/>\n"
                      "    <glob pattern=\"*.vantrelfixture\"/>\n"
                      "  </mime-type>\n"
                      "</mime-info>\n");
        const ProcessRun updated =
            run(QStringLiteral("update-mime-database"), {dataHome + QStringLiteral("/mime")}, 60000);
        ASSERT_EQ(updated.exitCode, 0) << updated.err.toStdString();

        // The application for it: writes the path it got into the marker.
        m_marker = m_home->root() + QStringLiteral("/opened.marker");
        const QString opener =
            writeTestFile(m_home->root() + QStringLiteral("/open-fixture.sh"),
                          "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + m_marker.toUtf8() + ".tmp\"\nmv \"" +
                              m_marker.toUtf8() + ".tmp\" \"" + m_marker.toUtf8() + "\"\n",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        writeTestFile(dataHome + QStringLiteral("/applications/vantrel-fixture-opener.desktop"),
                      "[Desktop Entry]\nType=Application\nName=Fixture Opener\nExec=" + opener.toUtf8() +
                          " %f\nMimeType=text/x-vantrel-fixture;\nNoDisplay=true\n");
        writeTestFile(configHome + QStringLiteral("/mimeapps.list"),
                      "[Default Applications]\ntext/x-vantrel-fixture=vantrel-fixture-opener.desktop\n");

        // The file, in the home folder the launcher indexes, under a name no
        // other file of the session has.
        const QString unique = QStringLiteral("%1x%2").arg(QCoreApplication::applicationPid()).arg(++s_files);
        m_name = QStringLiteral("quokkaledger%1").arg(unique);
        m_folder = QDir::homePath() + QStringLiteral("/vantrel-e2e-files-") + unique;
        m_file = writeTestFile(m_folder + QStringLiteral("/Accounts/") + m_name + QStringLiteral(".vantrelfixture"),
                               "fixture\n");
    }

    void TearDown() override {
        LauncherProcessTest::TearDown();
        if (!m_folder.isEmpty()) QDir(m_folder).removeRecursively();
    }

    // Starts the launcher and waits for its file index.
    void startWithFileIndex() {
        const qsizetype from = logText().size();
        startLauncher();
        ASSERT_TRUE(
            eventually([&] { return logText().mid(from).contains(QStringLiteral("File index ready with")); }, 60000))
            << logText().toStdString();
    }

    // With the file search view on top: the fixture file is found, chosen
    // with Return and opened by its application.
    void findAndOpenTheFile(const QString& query) {
        ASSERT_TRUE(eventually([&] { return searchText() == query; })) << searchText().toStdString();
        ASSERT_TRUE(eventually([&] { return selectedItem() == m_file; }, 15000))
            << "selected: " << selectedItem().toStdString();
        pressKeys(QStringLiteral("Return"));
        ASSERT_TRUE(eventually([&] { return QFile::exists(m_marker); }, 15000)) << logText().toStdString();
        EXPECT_EQ(readFile(m_marker), m_file + QLatin1Char('\n'));
        // Opened, the window goes.
        EXPECT_TRUE(eventually([&] { return !isVisible(); }));
    }

    QString m_marker;
    QString m_name;
    QString m_folder;
    QString m_file;
    static inline int s_files = 0;
};

TEST_F(FileSearchEndToEndTest, TheFileSearchCommandFindsAFileInTheHomeFolderAndOpensIt) {
    startWithFileIndex();
    showWithHotkey();
    typeText(QStringLiteral("file search"));
    ASSERT_TRUE(eventually([&] { return selectedItem() == QLatin1String("fileSearch"); }))
        << selectedItem().toStdString();
    pressKeys(QStringLiteral("Return"));
    ASSERT_TRUE(eventually([&] { return topView() == QLatin1String("File Search"); })) << topView().toStdString();
    // The view starts with an empty search bar.
    EXPECT_EQ(searchText(), QString());

    // A prefix of its name is enough.
    const QString typed = m_name.left(m_name.size() - 2);
    typeText(typed);
    findAndOpenTheFile(typed);
}

TEST_F(FileSearchEndToEndTest, TheFallbackOpensFileSearchWithTheQueryAndTheFileIsOpened) {
    startWithFileIndex();
    showWithHotkey();
    // Nothing in root search has this name: the fallbacks are all there is,
    // file search first.
    typeText(m_name);
    ASSERT_TRUE(eventually([&] { return selectedItem() == QLatin1String("fileSearch_fallbackSearch"); }))
        << selectedItem().toStdString();
    pressKeys(QStringLiteral("Return"));
    ASSERT_TRUE(eventually([&] { return topView() == QLatin1String("File Search"); })) << topView().toStdString();
    findAndOpenTheFile(m_name);
}

}  // namespace
}  // namespace vantrel::test
