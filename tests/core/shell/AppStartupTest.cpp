#include "core/shell/AppStartup.h"
#include "core/shell/LoginItem.h"
#include "kit/Paths.h"
#include "kit/UserDefaults.h"
#include "support/CapturingLogHandler.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <future>

namespace vantrel::test {
namespace {

// MARK: Environment

TEST(EnvironmentTest, ReadsTheFileAndTheProcessEnvironmentWins) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("environment"));
    writeTestFile(path,
                  "# credentials of this deployment\n"
                  "GITHUB_CLIENT_ID=from-file\n"
                  "export JIRA_CLIENT_ID = \"quoted value\"\n"
                  "\n"
                  "ZOOM_CLIENT_SECRET='single'\n"
                  "VANTREL_API_TOKEN=a=b=c\n");
    QProcessEnvironment process;
    process.insert(QStringLiteral("GITHUB_CLIENT_ID"), QStringLiteral("from-process"));
    process.insert(QStringLiteral("LINEAR_CLIENT_ID"), QStringLiteral("linear"));
    process.insert(QStringLiteral("UNRELATED"), QStringLiteral("ignored"));

    const Environment environment = Environment::load(process, path);
    EXPECT_EQ(environment.GITHUB_CLIENT_ID, QStringLiteral("from-process"));
    EXPECT_EQ(environment.JIRA_CLIENT_ID, QStringLiteral("quoted value"));
    EXPECT_EQ(environment.ZOOM_CLIENT_SECRET, QStringLiteral("single"));
    EXPECT_EQ(environment.VANTREL_API_TOKEN, QStringLiteral("a=b=c"));
    EXPECT_EQ(environment.LINEAR_CLIENT_ID, QStringLiteral("linear"));
    EXPECT_TRUE(environment.fileProblems.empty());
    EXPECT_EQ(environment.configuredKeys(), (QStringList{"VANTREL_API_TOKEN", "JIRA_CLIENT_ID", "GITHUB_CLIENT_ID",
                                                         "LINEAR_CLIENT_ID", "ZOOM_CLIENT_SECRET"}));
}

TEST(EnvironmentTest, KeepsEveryFieldInOrderAndAnswersByName) {
    EXPECT_EQ(Environment::keys().size(), 17);
    EXPECT_EQ(Environment::keys().first(), QStringLiteral("VANTREL_API_TOKEN"));
    EXPECT_EQ(Environment::keys().last(), QStringLiteral("CURRENCY_LAYER_API_TOKEN"));
    Environment environment;
    for (const QString& key : Environment::keys()) EXPECT_TRUE(environment.setValue(key, key.toLower()));
    for (const QString& key : Environment::keys()) EXPECT_EQ(environment.value(key), key.toLower());
    EXPECT_FALSE(environment.setValue(QStringLiteral("PATH"), QStringLiteral("/bin")));
    EXPECT_EQ(environment.value(QStringLiteral("PATH")), std::nullopt);
}

TEST(EnvironmentTest, MalformedLinesAreSkippedWithTheirNumberAndTheRestIsKept) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("environment"));
    writeTestFile(path,
                  "SEGMENT_WRITE_KEY=kept\n"
                  "this line has no equals sign\n"
                  "=novalue\n"
                  "NOT_A_FIELD=1\n"
                  "BAD KEY=2\n"
                  "ASANA_CLIENT_ID=also kept\n");
    const Environment environment = Environment::load(QProcessEnvironment(), path);
    EXPECT_EQ(environment.SEGMENT_WRITE_KEY, QStringLiteral("kept"));
    EXPECT_EQ(environment.ASANA_CLIENT_ID, QStringLiteral("also kept"));
    ASSERT_EQ(environment.fileProblems.size(), 4u);
    EXPECT_EQ(environment.fileProblems[0].line, 2);
    EXPECT_EQ(environment.fileProblems[0].reason, QStringLiteral("expected KEY=VALUE"));
    EXPECT_EQ(environment.fileProblems[1].line, 3);
    EXPECT_EQ(environment.fileProblems[2].reason, QStringLiteral("unknown key 'NOT_A_FIELD'"));
    EXPECT_EQ(environment.fileProblems[3].reason, QStringLiteral("'BAD KEY' is not a variable name"));
}

TEST(EnvironmentTest, AMissingFileIsNoProblemAndBinaryContentIsRefusedWhole) {
    QTemporaryDir dir;
    const Environment missing = Environment::load(QProcessEnvironment(), dir.filePath(QStringLiteral("none")));
    EXPECT_TRUE(missing.fileProblems.empty());
    EXPECT_TRUE(missing.configuredKeys().isEmpty());

    const QString path = dir.filePath(QStringLiteral("environment"));
    writeTestFile(path, QByteArray("GITHUB_CLIENT_ID=\xff\xfe\n", 20));
    QProcessEnvironment process;
    process.insert(QStringLiteral("GITHUB_CLIENT_SECRET"), QStringLiteral("still read"));
    const Environment binary = Environment::load(process, path);
    ASSERT_EQ(binary.fileProblems.size(), 1u);
    EXPECT_EQ(binary.fileProblems[0].reason, QStringLiteral("is not UTF-8 text"));
    EXPECT_TRUE(binary.GITHUB_CLIENT_ID.isEmpty());
    EXPECT_EQ(binary.GITHUB_CLIENT_SECRET, QStringLiteral("still read"));
}

TEST(EnvironmentTest, ConfiguringLogsWhichKeysArePresentButNeverTheirValues) {
    ScopedLogCapture capture;
    Environment environment;
    environment.GITHUB_CLIENT_SECRET = QStringLiteral("s3cret-value");
    environment.configure();
    const QString all = capture->lines().join(u'\n');
    EXPECT_TRUE(all.contains(QStringLiteral("GITHUB_CLIENT_SECRET")));
    EXPECT_FALSE(all.contains(QStringLiteral("s3cret-value")));
}

// MARK: Launch arguments

TEST(LaunchArgumentsTest, RecognisesEachMarkerAnywhereInTheArguments) {
    const LaunchArguments none = LaunchArguments::parse({QStringLiteral("--background")});
    EXPECT_TRUE(none.isInteractiveLaunch());
    EXPECT_FALSE(none.dataSourceChanged);

    const LaunchArguments login =
        LaunchArguments::parse({QStringLiteral("--background"), QStringLiteral("VANTREL_LAUNCHER")});
    EXPECT_TRUE(login.launchedAtLogin);
    EXPECT_FALSE(login.isInteractiveLaunch());

    const LaunchArguments updated = LaunchArguments::parse(
        {QStringLiteral("UPDATED_VERSION"), QStringLiteral("AUTOMATIC_UPDATE"), QStringLiteral("DATA_SOURCE_CHANGED")});
    EXPECT_TRUE(updated.updatedVersion);
    EXPECT_TRUE(updated.automaticUpdate);
    EXPECT_TRUE(updated.dataSourceChanged);
    EXPECT_FALSE(updated.launchedAtLogin);
    EXPECT_FALSE(updated.isInteractiveLaunch());

    // Only the exact words count.
    const LaunchArguments lower = LaunchArguments::parse({QStringLiteral("vantrel_launcher")});
    EXPECT_FALSE(lower.launchedAtLogin);
}

// MARK: Defaults, onboarding and install history

TEST(AppStartupTest, AFreshInstallationRegistersAltSpaceAndTheWindowDefaults) {
    ScopedXdgHome home;
    UserDefaults& defaults = UserDefaults::standard();
    AppStartup startup(defaults);
    EXPECT_TRUE(startup.isFirstLaunch());
    startup.registerDefaults();
    EXPECT_EQ(defaults.value(QStringLiteral("vantrelGlobalHotkey")).toString(), QStringLiteral("Option-49"));
    EXPECT_EQ(defaults.value(QStringLiteral("popToRootTimeout")).toInt(), 90);
    EXPECT_EQ(defaults.value(QStringLiteral("vantrelWindowPresentationMode")).toInt(), 0);
    EXPECT_EQ(startup.popToRootTimeoutSeconds(), 90);
}

TEST(AppStartupTest, RegisteringDefaultsKeepsWhatTheUserChose) {
    ScopedXdgHome home;
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setValue(QStringLiteral("vantrelGlobalHotkey"), QStringLiteral("Control-Option-49"));
    defaults.setValue(QStringLiteral("popToRootTimeout"), 5);
    AppStartup startup(defaults);
    startup.registerDefaults();
    EXPECT_EQ(defaults.value(QStringLiteral("vantrelGlobalHotkey")).toString(), QStringLiteral("Control-Option-49"));
    EXPECT_EQ(startup.popToRootTimeoutSeconds(), 5);

    // A timeout that is no positive number falls back to the default.
    defaults.setValue(QStringLiteral("popToRootTimeout"), QStringLiteral("soon"));
    EXPECT_EQ(startup.popToRootTimeoutSeconds(), 90);
    defaults.setValue(QStringLiteral("popToRootTimeout"), -3);
    EXPECT_EQ(startup.popToRootTimeoutSeconds(), 90);
    // 0 is "never".
    defaults.setValue(QStringLiteral("popToRootTimeout"), 0);
    EXPECT_EQ(startup.popToRootTimeoutSeconds(), std::nullopt);
}

TEST(AppStartupTest, OnboardingMigrationSkipsOnboardingOnlyForAnEarlierInstallationAndOnlyOnce) {
    ScopedXdgHome home;
    UserDefaults& defaults = UserDefaults::standard();
    {
        // The very first launch: onboarding stays to be shown.
        ScopedLogCapture capture;
        AppStartup first(defaults);
        EXPECT_FALSE(first.runOnboardingMigration());
        EXPECT_FALSE(defaults.contains(QStringLiteral("onboardingSkipped")));
        EXPECT_EQ(defaults.value(QStringLiteral("didPerformCheckForPreOnboardingClients")).toString(),
                  QStringLiteral("true"));
        EXPECT_TRUE(first.shouldShowOnboarding(LaunchArguments::parse({})));
        EXPECT_EQ(defaults.value(QStringLiteral("showGettingStartedLink")).toString(), QStringLiteral("true"));
        // Started at login: never the onboarding window.
        EXPECT_FALSE(first.shouldShowOnboarding(LaunchArguments::parse({QStringLiteral("VANTREL_LAUNCHER")})));
    }
    ScopedXdgHome earlier;
    UserDefaults& old = UserDefaults::standard();
    old.setValue(QStringLiteral("appInstallationDate"), QStringLiteral("2025-01-02T03:04:05.000Z"));
    ScopedLogCapture capture;
    AppStartup second(old);
    EXPECT_FALSE(second.isFirstLaunch());
    EXPECT_TRUE(second.runOnboardingMigration());
    EXPECT_TRUE(capture->contains(
        QStringLiteral("It's not first launch of the client. Skipping onboarding and enabling Jira by default")));
    EXPECT_EQ(old.value(QStringLiteral("onboardingSkipped")).toString(), QStringLiteral("true"));
    EXPECT_FALSE(second.shouldShowOnboarding(LaunchArguments::parse({})));
    // The check runs once.
    capture->clear();
    EXPECT_FALSE(AppStartup(old).runOnboardingMigration());
    EXPECT_TRUE(capture->messages().isEmpty());
}

TEST(AppStartupTest, InstallHistoryKeepsTheFirstVersionAndDateAcrossLaunches) {
    ScopedXdgHome home;
    UserDefaults& defaults = UserDefaults::standard();
    const QDateTime installed(QDate(2026, 3, 1), QTime(10, 0), Qt::UTC);
    {
        ScopedLogCapture capture;
        AppStartup(defaults).recordInstallHistory(QStringLiteral("0.4.0"), {}, installed);
        EXPECT_TRUE(capture->contains(QStringLiteral("First known app version: 0.4.0")));
        EXPECT_TRUE(capture->contains(QStringLiteral("App installation date: 2026-03-01T10:00:00.000Z")));
    }
    ScopedLogCapture capture;
    AppStartup later(defaults);
    EXPECT_FALSE(later.isFirstLaunch());
    later.recordInstallHistory(QStringLiteral("0.5.0"), LaunchArguments::parse({QStringLiteral("UPDATED_VERSION")}),
                               installed.addDays(30));
    EXPECT_TRUE(capture->contains(QStringLiteral("First known app version: 0.4.0")));
    EXPECT_TRUE(capture->contains(QStringLiteral("App installation date: 2026-03-01T10:00:00.000Z")));
    EXPECT_EQ(defaults.value(QStringLiteral("lastAppUpdateDate")).toString(),
              QStringLiteral("2026-03-31T10:00:00.000Z"));
}

// MARK: Login item

TEST(LoginItemTest, InstallsAnAutostartEntryOnceAndRespectsItsRemoval) {
    ScopedXdgHome home;
    UserDefaults& defaults = UserDefaults::standard();
    const QString program = QStringLiteral("/opt/vantrel/bin/vantrel");
    EXPECT_FALSE(LoginItem::isEnabled());
    EXPECT_TRUE(LoginItem::installOnce(defaults, program));
    EXPECT_EQ(LoginItem::entryPath(), home.root() + QStringLiteral("/config/autostart/vantrel.desktop"));
    EXPECT_TRUE(LoginItem::isEnabled());
    const QString entry = QString::fromUtf8(readTestFile(LoginItem::entryPath()));
    EXPECT_TRUE(entry.startsWith(QStringLiteral("[Desktop Entry]\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nExec=/opt/vantrel/bin/vantrel --background VANTREL_LAUNCHER\n")));
    EXPECT_EQ(defaults.value(QStringLiteral("vantrelLoginItemAutoInstalled")).toString(), QStringLiteral("true"));

    // The user turned it off: the next start leaves it off.
    LoginItem::setEnabled(false, program);
    EXPECT_FALSE(QFile::exists(LoginItem::entryPath()));
    EXPECT_FALSE(LoginItem::installOnce(defaults, program));
    EXPECT_FALSE(LoginItem::isEnabled());
    // And the preferences window turns it back on.
    LoginItem::setEnabled(true, program);
    EXPECT_TRUE(LoginItem::isEnabled());
}

TEST(LoginItemTest, ProgramPathsWithSpacesAndQuotesAreQuotedForTheExecLine) {
    const QString entry = LoginItem::entryContents(QStringLiteral("/home/me/My Apps/van\"trel 100%"));
    EXPECT_TRUE(
        entry.contains(QStringLiteral("\nExec=\"/home/me/My Apps/van\\\\\"trel 100%%\" --background "
                                      "VANTREL_LAUNCHER\n")))
        << entry.toStdString();
}

TEST(LoginItemTest, TheEntryRunsTheInstalledCommandWhenItIsThisProgram) {
    ScopedXdgHome home;
    // A program of our own, and `vantrel` on PATH pointing at it.
    const QString program = writeTestFile(home.root() + QStringLiteral("/opt/vantrel"), "#!/bin/sh\n",
                                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString bin = home.root() + QStringLiteral("/bin");
    ASSERT_TRUE(QDir().mkpath(bin));
    const ScopedEnv noCommand("PATH", bin.toLocal8Bit());
    EXPECT_EQ(LoginItem::launchCommand(program), program);
    ASSERT_TRUE(QFile::link(program, bin + QStringLiteral("/vantrel")));
    EXPECT_EQ(LoginItem::launchCommand(program), QStringLiteral("vantrel"));
    LoginItem::setEnabled(true, program);
    EXPECT_EQ(LoginItem::entryProgram(), QStringLiteral("vantrel"));
    // Another program of the same name is not this one.
    EXPECT_EQ(LoginItem::launchCommand(QStringLiteral("/usr/lib/other/vantrel")),
              QStringLiteral("/usr/lib/other/vantrel"));
}

TEST(LoginItemTest, AnEntryWhoseProgramIsGoneIsRewrittenAndOthersAreLeftAlone) {
    ScopedXdgHome home;
    const ScopedEnv path("PATH", home.root().toLocal8Bit());
    const QString program = writeTestFile(home.root() + QStringLiteral("/new place/vantrel"), "#!/bin/sh\n",
                                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Nothing to repair without an entry.
    EXPECT_FALSE(LoginItem::repairIfStale(program));
    EXPECT_FALSE(QFile::exists(LoginItem::entryPath()));

    writeTestFile(LoginItem::entryPath(), "[Desktop Entry]\nType=Application\n"
                                          "Exec=\"/old place/vantrel\" --background VANTREL_LAUNCHER\n");
    EXPECT_EQ(LoginItem::entryProgram(), QStringLiteral("/old place/vantrel"));
    EXPECT_TRUE(LoginItem::repairIfStale(program));
    EXPECT_EQ(LoginItem::entryProgram(), program);
    EXPECT_TRUE(LoginItem::isEnabled());
    // Now it is fine.
    EXPECT_FALSE(LoginItem::repairIfStale(program));

    // A command no longer on PATH counts as gone too.
    writeTestFile(LoginItem::entryPath(), "[Desktop Entry]\nType=Application\nExec=vantrel --background\n");
    EXPECT_TRUE(LoginItem::repairIfStale(program));
    EXPECT_EQ(LoginItem::entryProgram(), program);

    // Switched off by the user, or pointing at a program that is there: untouched.
    const QByteArray off = "[Desktop Entry]\nType=Application\nExec=/gone/vantrel\nHidden=true\n";
    writeTestFile(LoginItem::entryPath(), off);
    EXPECT_FALSE(LoginItem::repairIfStale(program));
    EXPECT_EQ(readTestFile(LoginItem::entryPath()), off);
    const QByteArray shell = "[Desktop Entry]\nType=Application\nExec=/bin/sh -c vantrel\n";
    writeTestFile(LoginItem::entryPath(), shell);
    EXPECT_FALSE(LoginItem::repairIfStale(program));
    EXPECT_EQ(readTestFile(LoginItem::entryPath()), shell);
}

TEST(LoginItemTest, AnEntrySwitchedOffByTheDesktopCountsAsDisabled) {
    ScopedXdgHome home;
    writeTestFile(LoginItem::entryPath(), "[Desktop Entry]\nType=Application\nExec=vantrel\nHidden=true\n");
    EXPECT_FALSE(LoginItem::isEnabled());
    writeTestFile(LoginItem::entryPath(),
                  "[Desktop Entry]\nType=Application\nExec=vantrel\nX-GNOME-Autostart-enabled=false\n");
    EXPECT_FALSE(LoginItem::isEnabled());
}

TEST(LoginItemTest, RefusesARelativeProgramPathAndInstallingOffTheMainThread) {
    ScopedXdgHome home;
    EXPECT_THROW(LoginItem::setEnabled(true, QStringLiteral("vantrel")), std::exception);
    EXPECT_FALSE(QFile::exists(LoginItem::entryPath()));

    ScopedLogCapture capture;
    UserDefaults& defaults = UserDefaults::standard();
    const bool installed = std::async(std::launch::async, [&] {
                               return LoginItem::installOnce(defaults, QStringLiteral("/usr/bin/vantrel"));
                           }).get();
    EXPECT_FALSE(installed);
    EXPECT_TRUE(capture->contains(QStringLiteral("Installing login items on non-main thread")));
    EXPECT_FALSE(QFile::exists(LoginItem::entryPath()));
    EXPECT_FALSE(defaults.contains(QStringLiteral("vantrelLoginItemAutoInstalled")));
}

TEST(LoginItemTest, AnUnwritableAutostartFolderIsLoggedAndNotMarkedInstalled) {
    ScopedXdgHome home;
    // A file where the folder should be.
    writeTestFile(Paths::autostartDir(), "not a folder");
    ScopedLogCapture capture;
    UserDefaults& defaults = UserDefaults::standard();
    EXPECT_FALSE(LoginItem::installOnce(defaults, QStringLiteral("/usr/bin/vantrel")));
    EXPECT_FALSE(defaults.contains(QStringLiteral("vantrelLoginItemAutoInstalled")));
    EXPECT_FALSE(capture->messages().filter(QStringLiteral("Cannot install the login item")).isEmpty());
}

}  // namespace
}  // namespace vantrel::test
