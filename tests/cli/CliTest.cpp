// The vantrel executable as a user runs it: a real process over a private
// data folder with the file keyring.
#include "cli/CliTestSupport.h"
#include "support/SearchRecordTestSupport.h"

#include "data/SearchRepository.h"
#include "kit/Logger.h"

namespace vantrel::test {
namespace {

using CliTest = CliFixture;

TEST_F(CliTest, VersionAndHelp) {
    const ProcessRun version = run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith(QStringLiteral("vantrel "))) << version.out.toStdString();
    const ProcessRun help = run({"help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("doctor")));
    const ProcessRun unknown = run({"frobnicate"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("unknown command 'frobnicate'")));
}

TEST_F(CliTest, DoctorReportsTheOpenedEncryptedDatabase) {
    const ProcessRun doctor = run({"doctor"});
    EXPECT_EQ(doctor.exitCode, 0) << doctor.err.toStdString();
    EXPECT_TRUE(doctor.out.contains(home.root() + QStringLiteral("/data/vantrel"))) << doctor.out.toStdString();
    EXPECT_TRUE(doctor.out.contains(QStringLiteral("vantrel-enc.sqlite")));
    EXPECT_TRUE(doctor.out.contains(QStringLiteral("yes (encrypted, write-ahead log)")));
    EXPECT_TRUE(doctor.out.contains(QStringLiteral("34 of 34 applied")));
    EXPECT_TRUE(doctor.out.contains(QStringLiteral("Keyring backend:   file")));
    // A second run opens the same database.
    EXPECT_EQ(run({"doctor"}).exitCode, 0);
}

TEST_F(CliTest, SearchRanksStoredItemsAndVisitRaisesOne) {
    ASSERT_EQ(run({"doctor"}).exitCode, 0);
    {
        Logger::bootstrap(std::make_shared<NoopLogHandler>());
        SearchRepository(openDatabase())
            .update(SearchRecord::Source::system,
                    {appRecord(QStringLiteral("Safari")), appRecord(QStringLiteral("Sound Recorder")),
                     appRecord(QStringLiteral("Software"))},
                    SearchUpdateStrategy::source());
    }

    QJsonArray results;
    for (const auto& section : searchSections({"--no-load", "so"}))
        if (section.toObject()["id"].toString() == QStringLiteral("appsAndCommands"))
            results = section.toObject()["items"].toArray();
    ASSERT_EQ(results.size(), 2);
    EXPECT_EQ(results[0].toObject()["name"].toString(), QStringLiteral("Software"));
    EXPECT_EQ(results[0].toObject()["type"].toString(), QStringLiteral("systemApp"));
    EXPECT_EQ(results[0].toObject()["source"].toString(), QStringLiteral("system"));

    const ProcessRun visit = run({"visit", "/usr/share/applications/Sound Recorder.desktop", "--term", "so"});
    EXPECT_EQ(visit.exitCode, 0) << visit.err.toStdString();
    const ProcessRun again = run({"search", "--no-load", "so"});
    EXPECT_TRUE(again.out.startsWith(QStringLiteral("Results\n  Sound Recorder"))) << again.out.toStdString();

    // A typo one edit away is corrected; nothing found says so.
    EXPECT_TRUE(run({"search", "--no-load", "safarj"}).out.startsWith(QStringLiteral("Results\n  Safari")));
    // Nothing found leaves only the fallback searches, titled with the query.
    const QString nothing = run({"search", "--no-load", "qqqq"}).out;
    EXPECT_TRUE(nothing.startsWith(QStringLiteral("Search for \"qqqq\" in\n"))) << nothing.toStdString();
    EXPECT_FALSE(nothing.contains(QStringLiteral("Results")));
    EXPECT_EQ(run({"visit", "no-such-key"}).exitCode, 1);
    EXPECT_EQ(run({"search", "--limit", "x", "so"}).exitCode, 2);
}

}  // namespace
}  // namespace vantrel::test
