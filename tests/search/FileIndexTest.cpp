#include "search/FileTreeTestSupport.h"

#include "search/FileIndex.h"
#include "support/CapturingLogHandler.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <unistd.h>

namespace vantrel::test {
namespace {

FileIndex::Options staticOptions(const QString& scope) {
    FileIndex::Options options;
    options.scopes = {scope};
    options.watchChanges = false;
    return options;
}

QStringList find(const FileIndex& index, const QString& query, int limit = 100) {
    return sortedHitNames(index.itemsWithPrefix(query, limit));
}

TEST(FileIndexMatching, APrefixOfTheNameOrOfALaterWordMatches) {
    FileTree tree;
    tree.file("report-2024.pdf");
    tree.file("docs/Report final.odt");
    tree.file("docs/final report.odt");
    tree.file("docs/reports.txt");
    tree.file("docs/unrelated.txt");
    tree.file("pdf-guide.txt");
    tree.file("my_report_draft.md");
    FileIndex index(staticOptions(tree.root()));
    index.build();

    EXPECT_EQ(find(index, "report"), QStringList({"Report final.odt", "final report.odt", "my_report_draft.md",
                                                  "report-2024.pdf", "reports.txt"}));
    EXPECT_EQ(find(index, "REPORT F"), QStringList({"Report final.odt"}));
    EXPECT_EQ(find(index, "report-20"), QStringList({"report-2024.pdf"}));
    // The extension is not a word of its own.
    EXPECT_EQ(find(index, "pdf"), QStringList({"pdf-guide.txt"}));
    EXPECT_EQ(find(index, "eport"), QStringList());
    EXPECT_EQ(find(index, "docs"), QStringList({"docs"}));
}

TEST(FileIndexMatching, IgnoresCaseDiacriticsAndWidth) {
    FileTree tree;
    tree.file("Résumé.pdf");
    tree.file("ＲＥＳＵＭＥ.txt");
    tree.file("resume-old.doc");
    tree.file("Crème Brûlée.txt");
    tree.file("Straße.txt");
    FileIndex index(staticOptions(tree.root()));
    index.build();

    const QStringList resumes{"resume-old.doc", "Résumé.pdf", "ＲＥＳＵＭＥ.txt"};
    QStringList expected = resumes;
    expected.sort();
    EXPECT_EQ(find(index, "resume"), expected);
    EXPECT_EQ(find(index, "RÉSU"), expected);
    EXPECT_EQ(find(index, "ｒｅｓ"), expected);
    EXPECT_EQ(find(index, "brulee"), QStringList({"Crème Brûlée.txt"}));
    EXPECT_EQ(find(index, "strasse"), QStringList({"Straße.txt"}));
}

TEST(FileIndexMatching, NameMatchesComeBeforeWordMatchesAndTheLimitHolds) {
    FileTree tree;
    for (int i = 0; i < 20; ++i) tree.file(QStringLiteral("notes %1.txt").arg(i, 2, 10, QLatin1Char('0')));
    tree.file("old notes.txt");
    FileIndex index(staticOptions(tree.root()));
    index.build();

    const auto hits = index.itemsWithPrefix("notes", 5);
    ASSERT_EQ(hits.size(), 5u);
    EXPECT_EQ(hits.front().name, "notes 00.txt");
    EXPECT_EQ(index.itemsWithPrefix("notes", 100).back().name, "old notes.txt");
    EXPECT_EQ(index.itemsWithPrefix("notes", 100).size(), 21u);
    EXPECT_TRUE(index.itemsWithPrefix("notes", 0).empty());
    EXPECT_TRUE(index.itemsWithPrefix("", 10).empty());
    EXPECT_TRUE(index.itemsWithPrefix("   ", 10).empty());
}

TEST(FileIndexMatching, HitsCarryPathsAndFolderFlagsAndHonourTheScopeFilter) {
    FileTree tree;
    tree.file("Projects/alpha/plan.txt");
    tree.file("Archive/plan-old.txt");
    FileIndex index(staticOptions(tree.root()));
    index.build();

    const auto folders = index.itemsWithPrefix("projects", 10);
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_TRUE(folders[0].isFolder);
    EXPECT_EQ(folders[0].path, tree.path("Projects"));

    const QByteArray projects = QFile::encodeName(tree.path("Projects"));
    const auto inProjects = index.itemsWithPrefix(
        "plan", 10, [&](const QByteArray& folder) { return folder == projects || folder.startsWith(projects + '/'); });
    EXPECT_EQ(hitPaths(inProjects), QStringList({tree.path("Projects/alpha/plan.txt")}));
    EXPECT_EQ(index.entryCount(), 5u);  // Projects, alpha, plan.txt, Archive, plan-old.txt
}

TEST(FileIndexScanning, SkipsHiddenEntriesAndCacheFolders) {
    FileTree tree;
    ScopedEnv cacheHome("XDG_CACHE_HOME", QFile::encodeName(tree.path("cachehome")));
    tree.file("docs/report.txt");
    tree.file(".report-hidden.txt");
    tree.file(".config/report-settings.txt");
    tree.file("build/CACHEDIR.TAG", "Signature: 8a477f597d28d172789f06886806bc55\n");
    tree.file("build/report-object.o");
    tree.file("cachehome/report-cached.txt");
    FileIndex index(staticOptions(tree.root()));
    index.build();

    EXPECT_EQ(find(index, "report"), QStringList({"report.txt"}));
    EXPECT_EQ(find(index, "build"), QStringList());
    EXPECT_EQ(find(index, "cachehome"), QStringList());
    EXPECT_EQ(find(index, "CACHEDIR"), QStringList());
}

TEST(FileIndexScanning, NeverFollowsSymlinkedFoldersAndReadsEachFolderOnce) {
    FileTree tree;
    FileTree outside;
    outside.file("secret-plan.txt");
    tree.file("a/b/plan.txt");
    tree.link(tree.path("a"), "a/b/loop");  // a link back up the tree
    tree.link(".", "a/self");
    tree.link(outside.root(), "elsewhere");
    tree.link(tree.path("missing"), "dangling");
    FileIndex::Options options = staticOptions(tree.root());
    options.scopes << tree.path("a");  // an overlapping scope
    FileIndex index(options);
    index.build();

    EXPECT_EQ(find(index, "plan"), QStringList({"plan.txt"}));
    // The links themselves are entries.
    EXPECT_EQ(find(index, "loop"), QStringList({"loop"}));
    EXPECT_EQ(find(index, "elsewhere"), QStringList({"elsewhere"}));
    EXPECT_EQ(find(index, "dangling"), QStringList({"dangling"}));
    EXPECT_EQ(index.folderCount(), 3u);  // root, a, a/b
}

TEST(FileIndexScanning, UnreadableFoldersOddNamesAndMissingScopesAreSkipped) {
    FileTree tree;
    tree.file("open/report-open.txt");
    tree.file("locked/report-locked.txt");
    tree.file(QString::fromUtf8("weird\xe2\x80\x8b name\n.txt"));
    // A name that is not valid UTF-8.
    const QByteArray rawName = QFile::encodeName(tree.root()) + "/bytes-\xff\xfe.bin";
    FILE* raw = std::fopen(rawName.constData(), "w");
    ASSERT_NE(raw, nullptr);
    std::fclose(raw);
    // QDir cannot name it to remove it with the tree: it goes by its bytes.
    struct RemovedByItsBytes {
        QByteArray path;
        ~RemovedByItsBytes() { ::unlink(path.constData()); }
    } const removeRaw{rawName};
    const bool privileged = ::geteuid() == 0;
    ASSERT_TRUE(QFile::setPermissions(tree.path("locked"), QFileDevice::Permissions()));

    FileIndex::Options options = staticOptions(tree.root());
    options.scopes << tree.path("does-not-exist");
    FileIndex index(options);
    index.build();
    QFile::setPermissions(tree.path("locked"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    EXPECT_TRUE(index.isReady());
    EXPECT_TRUE(find(index, "report").contains("report-open.txt"));
    if (!privileged) {
        EXPECT_FALSE(find(index, "report").contains("report-locked.txt"));
    }
    EXPECT_EQ(find(index, "weird").size(), 1);
    EXPECT_EQ(find(index, "bytes-").size(), 1);
}

// Changes on disk reach the index without a rebuild.
class FileIndexWatching : public ::testing::Test {
protected:
    void SetUp() override {
        tree.file("notes/todo.txt");
        tree.file("old/inner/deep-report.txt");
        FileIndex::Options options;
        options.scopes = {tree.root()};
        index = std::make_unique<FileIndex>(options);
        std::atomic<bool> built{false};
        index->start([&built] { built = true; });
        ASSERT_TRUE(waitUntil([&] { return built.load(); }));
        ASSERT_FALSE(index->isRescanningPeriodically());
    }

    bool eventually(const QString& query, const QStringList& paths) {
        return waitUntil([&] { return hitPaths(index->itemsWithPrefix(query, 100)) == paths; });
    }

    FileTree tree;
    std::unique_ptr<FileIndex> index;
};

TEST_F(FileIndexWatching, PicksUpCreatedAndDeletedFiles) {
    tree.file("notes/new-report.txt");
    EXPECT_TRUE(eventually("new-rep", {tree.path("notes/new-report.txt")}));
    ASSERT_TRUE(QFile::remove(tree.path("notes/new-report.txt")));
    EXPECT_TRUE(eventually("new-rep", {}));
    // Hidden newcomers stay out.
    tree.file("notes/.new-hidden.txt");
    tree.file("notes/new-visible.txt");
    EXPECT_TRUE(eventually("new-", {tree.path("notes/new-visible.txt")}));
}

TEST_F(FileIndexWatching, FollowsNewAndRenamedFolders) {
    // A folder made and filled at once: its contents arrive with it.
    tree.file("fresh/sub/inside-new.txt");
    EXPECT_TRUE(eventually("inside-new", {tree.path("fresh/sub/inside-new.txt")}));
    tree.file("fresh/sub/later.txt");
    EXPECT_TRUE(eventually("later", {tree.path("fresh/sub/later.txt")}));

    ASSERT_TRUE(QDir().rename(tree.path("old"), tree.path("renamed")));
    EXPECT_TRUE(eventually("deep-report", {tree.path("renamed/inner/deep-report.txt")}));
    EXPECT_TRUE(eventually("old", {}));
    // The renamed folder is still followed.
    tree.file("renamed/inner/after-move.txt");
    EXPECT_TRUE(eventually("after-move", {tree.path("renamed/inner/after-move.txt")}));
    ASSERT_TRUE(QDir(tree.path("renamed")).removeRecursively());
    EXPECT_TRUE(eventually("deep-report", {}));
    EXPECT_TRUE(eventually("renamed", {}));
}

TEST_F(FileIndexWatching, FoldersMovedOutLeaveAndAFolderThatBecomesACacheDrops) {
    FileTree elsewhere;
    ASSERT_TRUE(QDir().rename(tree.path("old"), elsewhere.path("moved-out")));
    EXPECT_TRUE(eventually("deep-report", {}));

    tree.file("notes/CACHEDIR.TAG", "Signature: 8a477f597d28d172789f06886806bc55\n");
    EXPECT_TRUE(eventually("todo", {}));
    EXPECT_TRUE(eventually("notes", {}));
}

TEST(FileIndexWatchingScopes, AScopeMovedAwayEmptiesTheIndex) {
    FileTree tree;
    tree.file("scope/kept/a-file.txt");
    FileIndex::Options options;
    options.scopes = {tree.path("scope")};
    FileIndex index(options);
    index.build();
    ASSERT_EQ(index.itemsWithPrefix("a-file", 10).size(), 1u);

    ASSERT_TRUE(QDir().rename(tree.path("scope"), tree.path("moved")));
    EXPECT_TRUE(waitUntil([&] { return index.entryCount() == 0; }));
    EXPECT_TRUE(index.itemsWithPrefix("a-file", 10).empty());
}

TEST(FileIndexWatchLimit, FallsBackToPeriodicRescansAndLogsOnce) {
    ScopedLogCapture logs;
    FileTree tree;
    tree.file("one/two/three/four/deep.txt");
    FileIndex::Options options;
    options.scopes = {tree.root()};
    options.watchLimit = 2;
    options.rescanInterval = std::chrono::milliseconds(100);
    FileIndex index(options);
    index.build();

    EXPECT_TRUE(index.isRescanningPeriodically());
    EXPECT_EQ(index.watchedFolderCount(), 2u);
    // A change in a folder that could not be watched arrives with a rescan.
    tree.file("one/two/three/four/arrived.txt");
    EXPECT_TRUE(waitUntil([&] { return index.itemsWithPrefix("arrived", 10).size() == 1; }));
    const quint64 builds = index.buildCount();
    EXPECT_TRUE(waitUntil([&] { return index.buildCount() >= builds + 2; }));

    const QStringList warnings = logs->messages().filter("File watch limit reached");
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_EQ(warnings[0], "File watch limit reached after 2 folders; rescanning the file index every 0.1 s");
}

}  // namespace
}  // namespace vantrel::test
