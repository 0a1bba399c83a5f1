// Every command of the package registry, run through the real executable as a
// user runs it (`vantrel run ID`): none may answer that it is "not available"
// or "coming soon". A command that cannot work in the test session (no
// system bus, no volume tool) must say why instead. The commands that end
// the session, throw things away or change every window on the screen run
// with VANTREL_DRY_RUN=1 and say what they would do. Disabled packages are
// switched on first, so that their commands run too.
#include "cli/CliTestSupport.h"

#include "core/commands/BuiltinCommandRunner.h"
#include "core/commands/PackageRegistry.h"
#include "data/PackageConfigurationRepository.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QSet>

namespace vantrel::test {
namespace {

// The outside services' commands wait for signing in (OAuth and the HTTP
// client); only GitHub's are built so far.
const QStringList kSignInPackages{"asana", "jira", "linear", "github", "gSuite", "zoom"};

// Commands the registry lists that have no counterpart on this desktop; they
// are left out of search, and `vantrel run` does not find them.
const QSet<QString> kNotInThisBuild{"windowBounceAnimation", "reportError", "dailyUpdateForm"};

class CliRegistryWalkTest : public CliFixture, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        // Links go to a recorder instead of a browser, and the update feed, the
        // news API and the extension index are a local port nobody listens on.
        recordOpenedLinks();
        const struct {
            const char* package;
            const char* key;
            const char* url;
        } unreachable[] = {{"default", "updatesFeedURL", "http://127.0.0.1:9/releases"},
                           {"media", "apiURL", "http://127.0.0.1:9/v0/"},
                           {"default", "extensionsStoreURL", "http://127.0.0.1:9/index.json"}};
        for (const auto& setting : unreachable) {
            const ProcessRun set = run({"config", "set", setting.package, setting.key,
                                        QStringLiteral("\"%1\"").arg(QLatin1String(setting.url))});
            ASSERT_EQ(set.exitCode, 0) << set.err.toStdString();
        }
    }

    static ProcessRun runDry(const QStringList& arguments) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("VANTREL_DRY_RUN"), QStringLiteral("1"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(VANTREL_EXECUTABLE), arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        ProcessRun result{process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                          QString::fromUtf8(process.readAllStandardError())};
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit)
            << "vantrel " << arguments.join(' ').toStdString() << " crashed:\n" << result.err.toStdString();
        return result;
    }
};

TEST_P(CliRegistryWalkTest, EveryCommandOfThePackageRunsOrSaysWhyNot) {
    const QString packageId = QString::fromLatin1(GetParam());
    std::vector<std::shared_ptr<const VantrelCommand>> commands;
    bool enabled = true;
    {
        auto pool = openDatabase();
        ASSERT_TRUE(pool);
        PackageRegistry registry(std::make_shared<PackageConfigurationRepository>(pool));
        const auto package = registry.package(PackageIdentifier(packageId));
        ASSERT_TRUE(package) << packageId.toStdString();
        for (const auto& command : package->commands()) commands.push_back(command);
        enabled = registry.isPackageEnabled(PackageIdentifier(packageId));
    }
    if (!enabled) {
        const ProcessRun on = run({"config", "set", packageId, "isEnabled", "true"});
        ASSERT_EQ(on.exitCode, 0) << on.err.toStdString();
    }
    const bool waitsForSignIn = kSignInPackages.contains(packageId);
    for (const auto& command : commands) {
        const QString id = command->id().rawValue;
        if (kNotInThisBuild.contains(id)) {
            EXPECT_EQ(builtinCommandAvailability(id), CommandAvailability::notInThisBuild) << id.toStdString();
            continue;
        }
        const ProcessRun ran = runDry({"run", id});
        const QString said = ran.out + ran.err;
        SCOPED_TRACE(id.toStdString() + ": " + said.toStdString());
        if (waitsForSignIn) continue;
        EXPECT_FALSE(said.contains(QLatin1String("not available"), Qt::CaseInsensitive));
        EXPECT_FALSE(said.contains(QLatin1String("coming soon"), Qt::CaseInsensitive));
        EXPECT_FALSE(said.contains(QLatin1String("nothing to run")));
        EXPECT_FALSE(said.contains(QLatin1String("is disabled")));
        EXPECT_FALSE(said.contains(QLatin1String("cannot run: ")));
        // Whatever it did or could not do, it said something.
        EXPECT_FALSE(said.trimmed().isEmpty());
    }
}

// The packages whose commands the registry lists itself (the others build
// theirs from the user's data: window layouts, web searches, scripts,
// quicklinks, preferences).
INSTANTIATE_TEST_SUITE_P(Packages, CliRegistryWalkTest,
                         ::testing::Values("default", "fileSearch", "clipboardHistory", "dictionary", "contacts",
                                           "browserBookmarks", "calendar", "reminders", "media", "floatingNotes",
                                           "snippets", "url", "systemCommands", "asana", "jira", "linear",
                                           "github", "gSuite", "zoom"),
                         [](const auto& param) { return std::string(param.param); });

// The safe mode says what the session-ending commands would do, and still
// says why one cannot work here.
TEST_F(CliRegistryWalkTest, DryRunSaysWhatDestructiveCommandsWouldDo) {
    const ProcessRun trash = runDry({"run", "emptyTrash"});
    EXPECT_EQ(trash.exitCode, 0) << trash.err.toStdString();
    EXPECT_EQ(trash.out.trimmed(), QStringLiteral("Dry run: would empty the trash"));
    const ProcessRun quit = runDry({"run", "quitAllApps"});
    EXPECT_EQ(quit.out.trimmed(), QStringLiteral("Dry run: would ask every application to quit"));
}

}  // namespace
}  // namespace vantrel::test
