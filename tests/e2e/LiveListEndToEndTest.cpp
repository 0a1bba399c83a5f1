// The running launcher keeps up with what changes while it runs: an
// application installed in the user's folder, a script directory added from
// the command line. `vantrel search` asks the running launcher, and the
// window's list reloads on its own.
#include "e2e/LauncherProcess.h"

#include "support/ScriptCommandTestSupport.h"

#include <QJsonDocument>

namespace vantrel::test {
namespace {

class LiveListEndToEndTest : public LauncherProcessTest {
protected:
    void SetUp() override {
        LauncherProcessTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        markWelcomeSeen();
    }

    // The titles `vantrel search --json QUERY` lists, over all sections.
    QStringList searchTitles(const QString& query, ProcessRun* output = nullptr) const {
        const ProcessRun search = run(kExecutable, {QStringLiteral("search"), QStringLiteral("--json"), query}, 60000);
        if (output) *output = search;
        QStringList titles;
        for (const QJsonValue& section : QJsonDocument::fromJson(search.out.toUtf8()).array())
            for (const QJsonValue& item : section.toObject().value(QStringLiteral("items")).toArray())
                titles << item.toObject().value(QStringLiteral("title")).toString();
        return titles;
    }

    // How many searches the running launcher answered so far.
    qsizetype answeredSearches() const {
        return logText().count(QStringLiteral("Request from another launcher {command: search}"));
    }
};

TEST_F(LiveListEndToEndTest, AnApplicationInstalledWhileTheLauncherRunsIsFoundAndListedWithoutARestart) {
    const QString name = QStringLiteral("Otter Lantern");
    startLauncher();
    const qint64 pid = status().value(QStringLiteral("pid")).toInteger();
    ProcessRun before;
    EXPECT_FALSE(searchTitles(QStringLiteral("Otter"), &before).contains(name));
    EXPECT_EQ(before.exitCode, 0) << before.err.toStdString();
    // The running launcher answered; nothing was loaded a second time.
    EXPECT_EQ(answeredSearches(), 1) << logText().toStdString();
    EXPECT_FALSE(before.err.contains(QStringLiteral("searching here")));

    // The window shows the query before the application exists.
    showWithHotkey();
    typeText(QStringLiteral("Otter"));
    ASSERT_TRUE(eventually([&] { return !listedRows().isEmpty() && !listedRows().contains(kAppName); }))
        << listedRows().join(QStringLiteral(", ")).toStdString();

    writeTestFile(applicationsFolder() + QStringLiteral("/otter-lantern.desktop"),
                  desktopEntry(name, QStringLiteral("/bin/true")));

    // The same launcher finds it, and the open window lists it, without a restart.
    EXPECT_TRUE(eventually([&] { return searchTitles(QStringLiteral("Otter")).contains(name); }, 20000))
        << logText().toStdString();
    EXPECT_TRUE(eventually([&] { return listedRows().contains(name); }, 20000))
        << listedRows().join(QStringLiteral(", ")).toStdString();
    EXPECT_TRUE(isKeyWindow());
    EXPECT_EQ(status().value(QStringLiteral("pid")).toInteger(), pid);

    // Uninstalled, it goes the same way.
    ASSERT_TRUE(QFile::remove(applicationsFolder() + QStringLiteral("/otter-lantern.desktop")));
    EXPECT_TRUE(eventually([&] { return !listedRows().contains(name); }, 20000));
}

TEST_F(LiveListEndToEndTest, AScriptDirectoryAddedFromTheCommandLineIsSearchableWithoutARestart) {
    const QString scripts = m_home->root() + QStringLiteral("/heron-scripts");
    ASSERT_TRUE(writeCommand(scripts + QStringLiteral("/heron.sh"), QStringLiteral("Heron Report")));
    startLauncher();
    ASSERT_FALSE(searchTitles(QStringLiteral("Heron")).contains(QStringLiteral("Heron Report")));

    const ProcessRun added = run(kExecutable, {QStringLiteral("scripts"), QStringLiteral("add-dir"), scripts});
    ASSERT_EQ(added.exitCode, 0) << added.err.toStdString();
    EXPECT_TRUE(added.err.isEmpty()) << added.err.toStdString();
    EXPECT_TRUE(eventually(
        [&] { return searchTitles(QStringLiteral("Heron")).contains(QStringLiteral("Heron Report")); }, 20000))
        << logText().toStdString();

    // A script written into the folder later is found through the folder watch.
    ASSERT_TRUE(writeCommand(scripts + QStringLiteral("/egret.sh"), QStringLiteral("Egret Summary")));
    EXPECT_TRUE(eventually(
        [&] { return searchTitles(QStringLiteral("Egret")).contains(QStringLiteral("Egret Summary")); }, 20000));

    // Removed from the command line, its scripts go.
    const ProcessRun removed = run(kExecutable, {QStringLiteral("scripts"), QStringLiteral("remove-dir"), scripts});
    ASSERT_EQ(removed.exitCode, 0) << removed.err.toStdString();
    EXPECT_TRUE(eventually(
        [&] { return !searchTitles(QStringLiteral("Heron")).contains(QStringLiteral("Heron Report")); }, 20000));
}

TEST_F(LiveListEndToEndTest, ReloadingScriptDirectoriesReadsWhatTheCommandLineStored) {
    const QString scripts = m_home->root() + QStringLiteral("/kestrel-scripts");
    ASSERT_TRUE(writeCommand(scripts + QStringLiteral("/kestrel.sh"), QStringLiteral("Kestrel Digest")));
    startLauncher();
    const qsizetype from = logText().size();
    // Stored by a process the launcher does not hear from: only the reload can find it.
    {
        ScopedEnv noLauncher("XDG_RUNTIME_DIR", (m_home->root() + QStringLiteral("/elsewhere")).toLocal8Bit());
        QDir().mkpath(m_home->root() + QStringLiteral("/elsewhere"));
        const ProcessRun added = run(kExecutable, {QStringLiteral("scripts"), QStringLiteral("add-dir"), scripts});
        ASSERT_EQ(added.exitCode, 0) << added.err.toStdString();
    }
    EXPECT_EQ(run(kExecutable, {QStringLiteral("open"), QStringLiteral("vantrel://scripts/reload")}).exitCode, 0);
    EXPECT_TRUE(eventually(
        [&] { return searchTitles(QStringLiteral("Kestrel")).contains(QStringLiteral("Kestrel Digest")); }, 20000))
        << logText().mid(from).toStdString();
    EXPECT_TRUE(logText().mid(from).contains(QStringLiteral("Scripts metadata changed. Notifying about the change.")));
}

}  // namespace
}  // namespace vantrel::test
