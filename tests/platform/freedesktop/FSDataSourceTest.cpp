// The folder-enumerating applications source: loading with timeouts and
// retries, watching the folders and delivering one folder at a time.
#include "kit/UserDefaults.h"
#include "platform/freedesktop/ApplicationsSource.h"
#include "platform/freedesktop/FSDataSource.h"
#include "platform/freedesktop/SystemSource.h"
#include "support/ApplicationFixture.h"
#include "support/CapturingLogHandler.h"

#include <QFile>
#include <QScopeGuard>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include <cstdio>

namespace vantrel::test {
namespace {

class FSDataSourceTest : public ::testing::Test {
protected:
    // Loads and waits until the folders are watched.
    std::vector<SearchRecord> loadAndWatch(FSDataSource& source) {
        deliveries.attach(source);
        source.load(deliveries.completion());
        EXPECT_TRUE(waitUntil([&] { return !deliveries.results().empty(); }));
        EXPECT_TRUE(waitUntil([&] { return loggedStartingWith(*capture, QStringLiteral("Started watching ")); }));
        return deliveries.results().empty() ? std::vector<SearchRecord>{} : deliveries.firstRecords();
    }

    // Waits for a partial update of folder whose fixture records have these names.
    bool waitForPartial(const QString& folder, const QStringList& names) {
        return waitUntil([&] {
            const auto records = deliveries.lastPartialFor(folder);
            return records && namesOf(below(*records, folders.root())) == names;
        });
    }

    ApplicationFolders folders;
    ScopedLogCapture capture;
    Deliveries deliveries;
};

TEST_F(FSDataSourceTest, LoadsEveryScopeAndLogsTheSearch) {
    ApplicationFolders::write(folders.homeApplications(), QStringLiteral("mine.desktop"),
                              ApplicationFolders::app("Mine"));
    ApplicationFolders::write(folders.system1(), QStringLiteral("vendor/tool.desktop"),
                              ApplicationFolders::app("Tool"));
    ApplicationFolders::write(folders.system2(), QStringLiteral("other.desktop"), ApplicationFolders::app("Other"));
    const QString extra = folders.root() + QStringLiteral("/extra");
    ApplicationFolders::write(extra, QStringLiteral("extra.desktop"), ApplicationFolders::app("Extra"));

    FSDataSource source(5.0, 3, [extra] { return QStringList{extra}; });
    EXPECT_EQ(source.searchScopes().mid(0, 3),
              (QStringList{folders.homeApplications(), folders.system1(), folders.system2()}));
    EXPECT_EQ(source.searchScopes().last(), extra);
    EXPECT_EQ(source.userScopes(), QStringList{extra});

    const auto records = loadAndWatch(source);
    EXPECT_EQ(namesOf(below(records, folders.root())), (QStringList{"Extra", "Mine", "Other", "Tool"}));
    EXPECT_TRUE(source.didLoad());
    EXPECT_TRUE(capture->contains(QStringLiteral("Searching records with timeout: 5.0, attempt: 1")));
    // The four fixture folders and the "vendor" subfolder.
    EXPECT_TRUE(
        loggedStartingWith(*capture, QStringLiteral("Search finished with %1 records in ").arg(records.size())));
    EXPECT_TRUE(
        capture->contains(QStringLiteral("Started watching %1 search scopes").arg(source.searchScopes().size())));
    const QStringList watched = source.watchedDirectories();
    for (const QString& folder : {folders.homeApplications(), folders.system1(), folders.system1() + "/vendor",
                                  folders.system2(), extra, folders.root() + "/sys1"})
        EXPECT_TRUE(watched.contains(folder)) << folder.toStdString();
    EXPECT_TRUE(source.parentDirectories().contains(folders.root() + QStringLiteral("/sys2")));
    EXPECT_TRUE(deliveries.full().empty());
}

TEST_F(FSDataSourceTest, NewAndRemovedFilesArriveAsPartialUpdatesOfTheirFolder) {
    ApplicationFolders::write(folders.system1(), QStringLiteral("first.desktop"), ApplicationFolders::app("First"));
    ApplicationFolders::write(folders.system2(), QStringLiteral("untouched.desktop"),
                              ApplicationFolders::app("Untouched"));
    FSDataSource source(5.0, 3);
    loadAndWatch(source);

    // Copied in from elsewhere, as an installer would.
    const QString staged =
        ApplicationFolders::write(folders.root(), QStringLiteral("staged.desktop"), ApplicationFolders::app("Second"));
    const QString installed = folders.system1() + QStringLiteral("/second.desktop");
    ASSERT_TRUE(QFile::copy(staged, installed));
    ASSERT_TRUE(waitForPartial(folders.system1(), (QStringList{"First", "Second"})));
    EXPECT_TRUE(capture->contains(QStringLiteral("Start updating records, updateStrategy: ") +
                                  SearchUpdateStrategy::sourceWithPath(folders.system1()).description()));
    EXPECT_TRUE(capture->contains(QStringLiteral("Search records (update)")));
    EXPECT_TRUE(capture->contains(QStringLiteral("Found 2 updated records")));

    // A file in a new subfolder.
    ApplicationFolders::write(folders.system1(), QStringLiteral("sub/third.desktop"), ApplicationFolders::app("Third"));
    ASSERT_TRUE(waitForPartial(folders.system1(), (QStringList{"First", "Second", "Third"})));

    ASSERT_TRUE(QFile::remove(installed));
    ASSERT_TRUE(waitForPartial(folders.system1(), (QStringList{"First", "Third"})));

    // Only the changed folder was read again; no full reload.
    EXPECT_TRUE(deliveries.full().empty());
    EXPECT_FALSE(deliveries.lastPartialFor(folders.system2()).has_value());
    EXPECT_EQ(capture->messages().count(QStringLiteral("Searching records with timeout: 5.0, attempt: 1")), 1);
}

TEST_F(FSDataSourceTest, ShadowedEntryReturnsWhenTheHigherOneIsRemoved) {
    const QString vendor = ApplicationFolders::write(folders.system2(), QStringLiteral("editor.desktop"),
                                                     ApplicationFolders::app("Vendor Editor"));
    FSDataSource source(5.0, 3);
    const auto loaded = loadAndWatch(source);
    EXPECT_EQ(namesOf(below(loaded, folders.root())), QStringList{"Vendor Editor"});

    // The user's own copy hides the vendor's: both folders are delivered.
    const QString mine = ApplicationFolders::write(folders.homeApplications(), QStringLiteral("editor.desktop"),
                                                   ApplicationFolders::app("My Editor"));
    ASSERT_TRUE(waitForPartial(folders.homeApplications(), QStringList{"My Editor"}));
    ASSERT_TRUE(waitForPartial(folders.system2(), QStringList{}));

    deliveries.clearPartial();
    ASSERT_TRUE(QFile::remove(mine));
    ASSERT_TRUE(waitForPartial(folders.homeApplications(), QStringList{}));
    ASSERT_TRUE(waitForPartial(folders.system2(), QStringList{"Vendor Editor"}));
    EXPECT_EQ(deliveries.lastPartialFor(folders.system2())->front().key, vendor);
}

TEST_F(FSDataSourceTest, AFileReplacedWithNewContentArrivesChanged) {
    ApplicationFolders::write(folders.system1(), QStringLiteral("kept.desktop"), ApplicationFolders::app("Kept"));
    const QString path = ApplicationFolders::write(folders.system1(), QStringLiteral("viewer.desktop"),
                                                   ApplicationFolders::app("Viewer"));
    FSDataSource source(5.0, 3);
    loadAndWatch(source);

    // Replaced the way package managers do: a new file renamed over the old.
    const auto replace = [&](const QByteArray& contents) {
        const QString staged = ApplicationFolders::write(folders.root(), QStringLiteral("staged.desktop"), contents);
        return ::rename(QFile::encodeName(staged).constData(), QFile::encodeName(path).constData()) == 0;
    };
    ASSERT_TRUE(replace(ApplicationFolders::app("Image Viewer", "Keywords=photo;picture;\n")));
    ASSERT_TRUE(waitForPartial(folders.system1(), (QStringList{"Image Viewer", "Kept"})));
    const auto records = deliveries.lastPartialFor(folders.system1());
    const auto viewer = std::find_if(records->begin(), records->end(),
                                     [&](const SearchRecord& record) { return record.key == path; });
    ASSERT_NE(viewer, records->end());
    ASSERT_TRUE(viewer->keywords);
    EXPECT_TRUE(viewer->keywords->contains(QStringLiteral("photo")));

    // Broken by the next version: left out, the rest still delivered.
    ASSERT_TRUE(replace("[Desktop Entry]\nType=Application\nExec=fixture-app\n"));
    ASSERT_TRUE(waitForPartial(folders.system1(), QStringList{"Kept"}));
    EXPECT_TRUE(loggedStartingWith(*capture, QStringLiteral("Skipping %1: unparsable").arg(path)));

    // Fixed again.
    ASSERT_TRUE(replace(ApplicationFolders::app("Viewer")));
    ASSERT_TRUE(waitForPartial(folders.system1(), (QStringList{"Kept", "Viewer"})));
    EXPECT_TRUE(deliveries.full().empty());
}

TEST_F(FSDataSourceTest, AFolderUncoveredByAChangeAboveIsDeliveredAsItIsNow) {
    ApplicationFolders::write(folders.system2(), QStringLiteral("editor.desktop"),
                              ApplicationFolders::app("Vendor Editor"));
    ApplicationFolders::write(folders.system2(), QStringLiteral("shell.desktop"), ApplicationFolders::app("Shell"));
    const QString mine = ApplicationFolders::write(folders.homeApplications(), QStringLiteral("editor.desktop"),
                                                   ApplicationFolders::app("My Editor"));
    FSDataSource source(5.0, 3);
    const auto loaded = loadAndWatch(source);
    EXPECT_EQ(namesOf(below(loaded, folders.root())), (QStringList{"My Editor", "Shell"}));

    // A change above that hides or uncovers nothing leaves the folders below alone.
    ApplicationFolders::write(folders.homeApplications(), QStringLiteral("notes.desktop"),
                              ApplicationFolders::app("Notes"));
    ASSERT_TRUE(waitForPartial(folders.homeApplications(), (QStringList{"My Editor", "Notes"})));
    EXPECT_FALSE(deliveries.lastPartialFor(folders.system2()).has_value());

    // The vendor's file changed while it was hidden (a rename keeps the id).
    const QString staged = ApplicationFolders::write(folders.root(), QStringLiteral("staged.desktop"),
                                                     ApplicationFolders::app("Vendor Editor 2"));
    ASSERT_EQ(::rename(QFile::encodeName(staged).constData(),
                       QFile::encodeName(folders.system2() + QStringLiteral("/editor.desktop")).constData()),
              0);
    ASSERT_TRUE(waitForPartial(folders.system2(), QStringList{"Shell"}));

    deliveries.clearPartial();
    ASSERT_TRUE(QFile::remove(mine));
    ASSERT_TRUE(waitForPartial(folders.homeApplications(), QStringList{"Notes"}));
    ASSERT_TRUE(waitForPartial(folders.system2(), (QStringList{"Shell", "Vendor Editor 2"})));
}

TEST_F(FSDataSourceTest, ScopeCreatedAfterTheLoadIsWatched) {
    ApplicationFolders late(/*createHomeApplications=*/false);
    FSDataSource source(5.0, 3);
    loadAndWatch(source);
    EXPECT_FALSE(source.watchedDirectories().contains(late.homeApplications()));

    ApplicationFolders::write(late.homeApplications(), QStringLiteral("new.desktop"),
                              ApplicationFolders::app("Newcomer"));
    ASSERT_TRUE(waitUntil([&] {
        const auto records = deliveries.lastPartialFor(late.homeApplications());
        return records && namesOf(*records) == QStringList{"Newcomer"};
    }));
    EXPECT_TRUE(waitUntil([&] { return source.watchedDirectories().contains(late.homeApplications()); }));

    // And it keeps being followed.
    ApplicationFolders::write(late.homeApplications(), QStringLiteral("next.desktop"), ApplicationFolders::app("Next"));
    ASSERT_TRUE(waitUntil([&] {
        const auto records = deliveries.lastPartialFor(late.homeApplications());
        return records && namesOf(*records) == (QStringList{"Newcomer", "Next"});
    }));
    EXPECT_TRUE(deliveries.full().empty());
}

TEST_F(FSDataSourceTest, BrokenFileWrittenLaterIsSkippedAndTheRestDelivered) {
    FSDataSource source(5.0, 3);
    loadAndWatch(source);
    const QString broken = ApplicationFolders::write(folders.system1(), QStringLiteral("broken.desktop"),
                                                     "[Desktop Entry]\nType=Application\nExec=fixture-app\n");
    ApplicationFolders::write(folders.system1(), QStringLiteral("fine.desktop"), ApplicationFolders::app("Fine"));
    ASSERT_TRUE(waitForPartial(folders.system1(), QStringList{"Fine"}));
    EXPECT_TRUE(loggedStartingWith(*capture, QStringLiteral("Skipping %1: unparsable").arg(broken)));
}

TEST_F(FSDataSourceTest, RefreshDeliversEverythingAgain) {
    ApplicationFolders::write(folders.system1(), QStringLiteral("one.desktop"), ApplicationFolders::app("One"));
    FSDataSource source(5.0, 3);
    loadAndWatch(source);
    ApplicationFolders::write(folders.system2(), QStringLiteral("two.desktop"), ApplicationFolders::app("Two"));

    source.refresh({});
    ASSERT_TRUE(waitUntil([&] { return !deliveries.full().empty(); }));
    const DataSourceUpdate update = deliveries.full().front();
    EXPECT_EQ(update.strategy, SearchUpdateStrategy::source());
    EXPECT_EQ(namesOf(below(update.records.at(SearchRecord::Source::system), folders.root())),
              (QStringList{"One", "Two"}));
    EXPECT_TRUE(capture->contains(QStringLiteral("Refreshing data source: system")));
}

class FSDataSourceTimeoutTest : public FSDataSourceTest {
protected:
    // Declare after the source: lets held attempts go before it is destroyed.
    auto releaseOnExit() {
        return qScopeGuard([this] {
            for (auto& gate : gates) gate.open();
        });
    }
    // Attempts listed in `held` wait for their gate; the others run at once.
    void holdAttempts(FSDataSource& source, std::vector<int> held) {
        source.setEnumerationHook([this, held](int attempt) {
            if (std::find(held.begin(), held.end(), attempt) != held.end()) gates[static_cast<size_t>(attempt)].wait();
        });
    }
    std::array<Gate, 8> gates;
};

TEST_F(FSDataSourceTimeoutTest, RetriesWithDoubledTimeoutsThenFails) {
    ApplicationFolders::write(folders.system1(), QStringLiteral("slow.desktop"), ApplicationFolders::app("Slow"));
    FSDataSource source(0.05, 3);
    const auto release = releaseOnExit();
    holdAttempts(source, {1, 2, 3});
    deliveries.attach(source);
    source.load(deliveries.completion());

    ASSERT_TRUE(waitUntil([&] { return !deliveries.results().empty(); }));
    const auto error = deliveries.firstError();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), DataSourceError::Kind::timeout);
    EXPECT_EQ(error->detail(), QStringLiteral("system"));
    const QStringList expected = {
        QStringLiteral("Searching records with timeout: 0.05, attempt: 1"),
        QStringLiteral("Timed out after attempt 1 and 0.05"),
        QStringLiteral("Searching records with timeout: 0.1, attempt: 2"),
        QStringLiteral("Timed out after attempt 2 and 0.1"),
        QStringLiteral("Searching records with timeout: 0.2, attempt: 3"),
        QStringLiteral("Timed out after 0.2, no retry attempts left"),
    };
    EXPECT_EQ(loggedAmong(*capture, expected), expected);
    EXPECT_FALSE(source.didLoad());

    // The slow answer still counts when it comes: a full update, then the watch.
    gates[1].open();
    ASSERT_TRUE(waitUntil([&] { return !deliveries.full().empty(); }));
    EXPECT_EQ(namesOf(below(deliveries.full().front().records.at(SearchRecord::Source::system), folders.root())),
              QStringList{"Slow"});
    EXPECT_TRUE(loggedStartingWith(*capture, QStringLiteral("Search finished after timeout with ")));
    EXPECT_TRUE(source.didLoad());
    EXPECT_EQ(deliveries.results().size(), 1u);
}

TEST_F(FSDataSourceTimeoutTest, ASecondAttemptThatFinishesInTimeCompletesTheLoad) {
    ApplicationFolders::write(folders.system1(), QStringLiteral("app.desktop"), ApplicationFolders::app("App"));
    auto source = std::make_unique<FSDataSource>(0.05, 3);
    holdAttempts(*source, {1});
    const auto records = loadAndWatch(*source);
    EXPECT_EQ(namesOf(below(records, folders.root())), QStringList{"App"});
    EXPECT_TRUE(capture->contains(QStringLiteral("Timed out after attempt 1 and 0.05")));
    EXPECT_FALSE(loggedStartingWith(*capture, QStringLiteral("Timed out after 0.")));

    // The first attempt, let go late, changes nothing.
    gates[1].open();
    source.reset();  // waits for the worker
    EXPECT_EQ(deliveries.results().size(), 1u);
    EXPECT_TRUE(deliveries.full().empty());
}

// Both applications sources refuse a refresh before their first load.
struct Unloaded {
    const char* label;
    std::function<std::unique_ptr<DataSource>()> make;
};

void PrintTo(const Unloaded& source, std::ostream* os) {
    *os << source.label;
}

class RefreshBeforeTheFirstLoad : public ::testing::TestWithParam<Unloaded> {};

TEST_P(RefreshBeforeTheFirstLoad, IsRefused) {
    ScopedLogCapture capture;
    Deliveries deliveries;
    const std::unique_ptr<DataSource> source = GetParam().make();
    deliveries.attach(*source);
    source->refresh(deliveries.completion());
    ASSERT_EQ(deliveries.results().size(), 1u);
    const auto error = deliveries.firstError();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), DataSourceError::Kind::notReady);
    EXPECT_TRUE(capture->contains(QStringLiteral("Performed refresh when data source system was not yet ready")));
    EXPECT_TRUE(deliveries.full().empty());
    const auto* fs = dynamic_cast<const FSDataSource*>(source.get());
    EXPECT_FALSE(fs ? fs->didLoad() : dynamic_cast<const SystemSource&>(*source).didLoad());
}

INSTANTIATE_TEST_SUITE_P(
    ApplicationsSources, RefreshBeforeTheFirstLoad,
    ::testing::Values(Unloaded{"FSDataSource", [] { return std::make_unique<FSDataSource>(5.0, 3); }},
                      Unloaded{"SystemSource", [] { return std::make_unique<SystemSource>(5.0, 3); }}),
    [](const auto& test) { return std::string(test.param.label); });

TEST(ApplicationsSource, ChosenByTheUserDefault) {
    ScopedXdgHome home;
    UserDefaults defaults(home.root() + QStringLiteral("/vantrel.conf"));
    {
        const auto source = makeApplicationsSource(defaults);
        const auto* fs = dynamic_cast<FSDataSource*>(source.get());
        ASSERT_NE(fs, nullptr);
        EXPECT_EQ(fs->numberOfRetries(), 3);
        EXPECT_DOUBLE_EQ(fs->timeout(), 5.0);
        EXPECT_EQ(source->source(), SearchRecord::Source::system);
    }
    defaults.setValue(kFindAppsViaSpotlightKey, true);
    {
        const auto source = makeApplicationsSource(defaults);
        const auto* system = dynamic_cast<SystemSource*>(source.get());
        ASSERT_NE(system, nullptr);
        EXPECT_EQ(system->numberOfRetries(), 3);
        EXPECT_DOUBLE_EQ(system->timeout(), 5.0);
    }
}

}  // namespace
}  // namespace vantrel::test
