// The GIO-based applications source: what g_app_info_get_all() lists, read
// with our own rules, and the changes GAppInfoMonitor reports.
#include "platform/freedesktop/SystemSource.h"
#include "support/ApplicationFixture.h"
#include "support/CapturingLogHandler.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>

// GLib's headers use `signals` as an identifier, which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

namespace vantrel::test {
namespace {

// GIO reads the XDG folders once per process, on its first use: the test that
// needs fixture folders runs in a child process of its own.
constexpr const char* kChildVariable = "VANTREL_GIO_APPINFO_CHILD";

TEST(SystemSource, FindsEntriesThroughGioAndFollowsChanges) {
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kChildVariable), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=SystemSourceInFreshProcess.*")});
    ASSERT_TRUE(child.waitForFinished(90000));
    const QString output = QString::fromUtf8(child.readAll());
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
}

TEST(SystemSourceInFreshProcess, ListsFixtureEntriesAndFollowsTheMonitor) {
    if (!qEnvironmentVariableIsSet(kChildVariable)) GTEST_SKIP() << "runs as a child of SystemSource.*";

    ApplicationFolders folders;
    ScopedLogCapture capture;
    ApplicationFolders::write(folders.homeApplications(), QStringLiteral("editor.desktop"),
                              ApplicationFolders::app("Editor", "Name[de]=Bearbeiter\nKeywords[de]=Text;\n"));
    ApplicationFolders::write(folders.system1(), QStringLiteral("editor.desktop"),
                              ApplicationFolders::app("Vendor Editor"));
    ApplicationFolders::write(folders.system1(), QStringLiteral("hidden.desktop"),
                              ApplicationFolders::app("Invisible", "NoDisplay=true\n"));
    ApplicationFolders::write(folders.system2(), QStringLiteral("gnome-power-panel.desktop"),
                              "[Desktop Entry]\nType=Application\nName=Power\nExec=settings-panel power\n"
                              "Categories=Settings;\nX-GNOME-Settings-Panel=power\nNoDisplay=true\n");
    // GIO itself drops entries whose program is not installed.
    ApplicationFolders::write(folders.system2(), QStringLiteral("ghost.desktop"),
                              "[Desktop Entry]\nType=Application\nName=Ghost\nExec=ghost-app\n");
    // Every file GIO lists is read again with our rules: one GIO accepts but
    // we cannot read is skipped with its warning.
    const QString broken =
        ApplicationFolders::write(folders.system2(), QStringLiteral("broken.desktop"),
                                  "[Desktop Entry]\nType=Application\nName=Broken\nExec=fixture-app\n"
                                  "[Desktop Entry]\nComment=Again\n");
    const QString extra = folders.root() + QStringLiteral("/extra");
    ApplicationFolders::write(extra, QStringLiteral("extra.desktop"), ApplicationFolders::app("Extra"));

    // The premise of the live updates: GAppInfoMonitor, asked for on the main
    // thread, signals there because Qt's loop runs the default GLib context.
    std::atomic<int> mainThreadSignals{0};
    std::atomic<int> otherThreadSignals{0};
    GAppInfoMonitor* monitor = g_app_info_monitor_get();
    struct Counters {
        std::atomic<int>* main;
        std::atomic<int>* other;
    } counters{&mainThreadSignals, &otherThreadSignals};
    const gulong handler = g_signal_connect(monitor, "changed", G_CALLBACK(+[](GAppInfoMonitor*, gpointer data) {
                                                auto* c = static_cast<Counters*>(data);
                                                if (QThread::currentThread() == QCoreApplication::instance()->thread())
                                                    ++*c->main;
                                                else
                                                    ++*c->other;
                                            }),
                                            &counters);
    const auto disconnect = qScopeGuard([&] {
        g_signal_handler_disconnect(monitor, handler);
        g_object_unref(monitor);
    });

    Deliveries deliveries;
    SystemSource source(5.0, 3, [extra] { return QStringList{extra}; });
    deliveries.attach(source);
    source.load(deliveries.completion());
    ASSERT_TRUE(waitUntil([&] { return !deliveries.results().empty(); }, 20000));
    const auto records = deliveries.firstRecords();
    const auto mine = below(records, folders.root());
    EXPECT_EQ(namesOf(mine), (QStringList{"Bearbeiter", "Extra", "Power"}));
    EXPECT_EQ(findNamed(mine, QStringLiteral("Bearbeiter"))->key, folders.homeApplications() + "/editor.desktop");
    EXPECT_EQ(findNamed(mine, QStringLiteral("Bearbeiter"))->keywords, QStringLiteral("Text"));
    EXPECT_EQ(findNamed(mine, QStringLiteral("Power"))->type, SearchRecord::ContentType::prefPane);
    EXPECT_TRUE(capture->contains(QStringLiteral("Query records with timeout: 5.0, attempt: 1")));
    EXPECT_TRUE(
        capture->contains(QStringLiteral("Finished initial GIO app-info query with %1 records").arg(records.size())));
    EXPECT_TRUE(loggedStartingWith(*capture, QStringLiteral("Skipping %1: unparsable").arg(broken)));
    ASSERT_TRUE(waitUntil([&] { return source.isObservingUpdates(); }));
    EXPECT_TRUE(capture->contains(QStringLiteral("Observe GIO app-info updates")));

    // A newly installed entry arrives as a full update.
    ApplicationFolders::write(folders.system1(), QStringLiteral("added.desktop"), ApplicationFolders::app("Added"));
    ASSERT_TRUE(waitUntil(
        [&] {
            for (const DataSourceUpdate& update : deliveries.full())
                if (findNamed(update.records.at(SearchRecord::Source::system), QStringLiteral("Added"))) return true;
            return false;
        },
        20000));
    EXPECT_EQ(deliveries.full().back().strategy, SearchUpdateStrategy::source());
    EXPECT_TRUE(capture->contains(QStringLiteral("GIO app-info index updated")));
    EXPECT_TRUE(capture->contains(QStringLiteral("Fetch GIO app-info records (update)")));
    EXPECT_TRUE(loggedStartingWith(*capture, QStringLiteral("Updated GIO app-info query with ")));
    EXPECT_GT(mainThreadSignals.load(), 0);
    EXPECT_EQ(otherThreadSignals.load(), 0);

    // Removing the user's copy uncovers the vendor's.
    ASSERT_TRUE(QFile::remove(folders.homeApplications() + "/editor.desktop"));
    ASSERT_TRUE(waitUntil(
        [&] {
            const auto full = deliveries.full();
            return !full.empty() &&
                   findNamed(full.back().records.at(SearchRecord::Source::system), QStringLiteral("Vendor Editor"));
        },
        20000));

    // Refresh asks GIO again.
    const size_t before = deliveries.full().size();
    source.refresh({});
    ASSERT_TRUE(waitUntil([&] { return deliveries.full().size() > before; }, 20000));
    EXPECT_TRUE(capture->contains(QStringLiteral("Query GIO app-info records (refresh)")));

    source.stopQueryAndUpdates();
    ASSERT_TRUE(waitUntil([&] { return !source.isObservingUpdates(); }));
    EXPECT_TRUE(capture->contains(QStringLiteral("Stop GIO app-info query and updates if needed")));
}

TEST(SystemSource, QueryThatNeverAnswersTimesOutAfterEveryRetry) {
    ScopedLogCapture capture;
    Deliveries deliveries;
    Gate gate;
    SystemSource source(0.05, 3);
    const auto release = qScopeGuard([&] { gate.open(); });
    // Every attempt hangs; abandoned attempts never ask GIO once let go.
    source.setQueryHook([&](int) { gate.wait(); });
    source.load(deliveries.completion());

    ASSERT_TRUE(waitUntil([&] { return !deliveries.results().empty(); }));
    const auto error = deliveries.firstError();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), DataSourceError::Kind::timeout);
    const QStringList expected = {
        QStringLiteral("Query records with timeout: 0.05, attempt: 1"),
        QStringLiteral("GIO app-info query timed out after attempt 1 and 0.05"),
        QStringLiteral("Query records with timeout: 0.1, attempt: 2"),
        QStringLiteral("GIO app-info query timed out after attempt 2 and 0.1"),
        QStringLiteral("Query records with timeout: 0.2, attempt: 3"),
        QStringLiteral("GIO app-info query timed out after 0.2, no retry attempts left"),
        QStringLiteral("Could not run GIO app-info diagnostics"),
    };
    EXPECT_EQ(loggedAmong(*capture, expected), expected);
    EXPECT_FALSE(source.didLoad());
}

}  // namespace
}  // namespace vantrel::test
