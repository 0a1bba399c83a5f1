// The system commands against real things: a trash on disk, stand-ins for the
// sound and Bluetooth tools on PATH, a private D-Bus daemon with stand-ins for
// logind, the screen saver and the session manager, and private X servers with
// openbox and real windows.
#include "DBusStandIn.h"
#include "kit/VantrelError.h"
#include "platform/freedesktop/FreedesktopSystemActions.h"
#include "platform/freedesktop/SystemCommands.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"
#include "support/X11TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

#include <sys/stat.h>
#include <unistd.h>

// GLib's headers use `signals` as an identifier, which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>
#pragma pop_macro("signals")

namespace vantrel::test {
namespace {

// The message a command fails with, or a note that it did not fail.
QString failureOf(const QString& commandId) {
    try {
        const QString result = SystemCommands::run(commandId);
        return QStringLiteral("(no error; it answered \"%1\")").arg(result);
    } catch (const VantrelError& error) {
        return error.errorDescription();
    }
}

QString unavailableReason(const QString& commandId) {
    QString reason;
    if (SystemCommands::isAvailable(commandId, &reason)) return QStringLiteral("(available)");
    return reason;
}

// What a command answers, or the message it fails with.
QString outcomeOf(const QString& commandId) {
    try {
        return SystemCommands::run(commandId);
    } catch (const VantrelError& error) {
        return error.errorDescription();
    }
}

// --- The catalogue -------------------------------------------------------------

TEST(SystemCommandsCatalogue, CarriesOutEveryCommandOfTheSystemPackage) {
    const QStringList expected{"toggleBluetooth",   "ejectAllDisks", "quitAllApps",     "showScreenSaver",
                               "toggleHiddenFiles", "logOutSystem",  "restartSystem",   "shutDownSystem",
                               "emptyTrash",        "setVolume0",
                               "setVolume25",       "setVolume50",   "setVolume75",     "setVolume100",
                               "showDesktop",       "unhideAllApps", "hideAllApps",     "toggleSystemAppearance",
                               "turnVolumeDown",    "turnVolumeUp",  "toggleMute",      "lockScreen",
                               "sleepDisplays",     "sleep"};
    EXPECT_EQ(SystemCommands::commandIds(), expected);
    for (const QString& id : expected) EXPECT_TRUE(SystemCommands::handles(id)) << id.toStdString();
    // Identifiers are exact.
    EXPECT_FALSE(SystemCommands::handles(QStringLiteral("EmptyTrash")));
    EXPECT_FALSE(SystemCommands::handles(QStringLiteral("setVolume10")));
}

TEST(SystemCommandsCatalogue, UnknownCommandIsRefusedByName) {
    EXPECT_EQ(failureOf(QStringLiteral("formatDisk")), QStringLiteral("There is no system command \"formatDisk\"."));
    EXPECT_EQ(unavailableReason(QStringLiteral("formatDisk")),
              QStringLiteral("There is no system command \"formatDisk\"."));
}

// "Switch Apps" and "Search Menu Items" belong to features of their own.
TEST(SystemCommandsCatalogue, SwitchingAppsAndMenusAreNotSystemCommands) {
    for (const QString& id : {QStringLiteral("appSwitcher"), QStringLiteral("searchMenuItems")})
        EXPECT_FALSE(SystemCommands::handles(id)) << id.toStdString();
}

// The same commands behind the platform interface the launcher uses.
TEST(SystemCommandsCatalogue, TheDesktopsSystemActionsAreTheseCommands) {
    FreedesktopSystemActions actions;
    EXPECT_EQ(actions.commandIds(), SystemCommands::commandIds());
    EXPECT_TRUE(actions.handles(QStringLiteral("lockScreen")));
    EXPECT_FALSE(actions.handles(QStringLiteral("formatDisk")));
    QString reason;
    EXPECT_FALSE(actions.isAvailable(QStringLiteral("formatDisk"), &reason));
    EXPECT_EQ(reason, unavailableReason(QStringLiteral("formatDisk")));
    try {
        actions.run(QStringLiteral("formatDisk"));
        ADD_FAILURE() << "an unknown command ran";
    } catch (const VantrelError& error) {
        EXPECT_EQ(error.errorDescription(), QStringLiteral("There is no system command \"formatDisk\"."));
    }
}

// --- Empty Trash ---------------------------------------------------------------

class EmptyTrash : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(volumes.isValid()); }

    QString trash() const { return home.root() + QStringLiteral("/data/Trash"); }
    QString shared() const { return volumes.path() + QStringLiteral("/.Trash"); }
    static QString uid() { return QString::number(getuid()); }

    // Puts a file in a trash with its .trashinfo.
    static void trashItem(const QString& trashFolder, const QString& name) {
        writeTestFile(trashFolder + QStringLiteral("/files/") + name, "text");
        writeInfo(trashFolder, name);
    }
    static void writeInfo(const QString& trashFolder, const QString& name) {
        writeTestFile(trashFolder + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo"),
                      "[Trash Info]\nPath=/home/user/" + name.toUtf8() + "\nDeletionDate=2026-12-01T10:00:00\n");
    }
    static QStringList entries(const QString& folder) {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }
    // Empties the trash, which answers that it did, and leaves trashFolder's files and info empty.
    static void expectEmptied(const QString& trashFolder) {
        EXPECT_EQ(SystemCommands::run(QStringLiteral("emptyTrash")), QStringLiteral("Trash emptied"));
        EXPECT_EQ(entries(trashFolder + QStringLiteral("/files")), QStringList());
        EXPECT_EQ(entries(trashFolder + QStringLiteral("/info")), QStringList());
    }

    ScopedXdgHome home;
    // No real volume is ever reached: the volumes are fixture folders.
    QTemporaryDir volumes;
    ScopedEnv volumeList{"VANTREL_TRASH_VOLUMES", volumes.path().toUtf8()};
};

TEST_F(EmptyTrash, RemovesFilesFoldersAndTheirInfo) {
    trashItem(trash(), QStringLiteral("notes.txt"));
    trashItem(trash(), QStringLiteral("Project/src/deep/main.c"));
    writeInfo(trash(), QStringLiteral("Project"));
    trashItem(trash(), QStringLiteral(".hidden rc"));
    trashItem(trash(), QStringLiteral("naïve résumé.pdf"));
    writeTestFile(trash() + QStringLiteral("/directorysizes"), "4096 1700000000 Project\n");

    expectEmptied(trash());
    EXPECT_FALSE(QFileInfo::exists(trash() + QStringLiteral("/directorysizes")));
    // The trash itself stays usable.
    EXPECT_TRUE(QFileInfo(trash() + QStringLiteral("/files")).isDir());
    EXPECT_TRUE(QFileInfo(trash() + QStringLiteral("/info")).isDir());
}

TEST_F(EmptyTrash, RemovesReadOnlyEntriesAndNeverFollowsLinks) {
    // A trashed read-only folder holding a read-only file.
    trashItem(trash(), QStringLiteral("Locked/readonly.txt"));
    writeInfo(trash(), QStringLiteral("Locked"));
    QFile::setPermissions(trash() + QStringLiteral("/files/Locked/readonly.txt"), QFile::ReadOwner);
    QFile::setPermissions(trash() + QStringLiteral("/files/Locked"), QFile::ReadOwner | QFile::ExeOwner);
    // A folder that cannot even be listed.
    trashItem(trash(), QStringLiteral("Sealed/inside.txt"));
    writeInfo(trash(), QStringLiteral("Sealed"));
    QFile::setPermissions(trash() + QStringLiteral("/files/Sealed"), {});
    // Links to things outside the trash: the link goes, its target stays.
    QTemporaryDir outside;
    const QString precious = writeTestFile(outside.path() + QStringLiteral("/keep/precious.txt"), "precious");
    ASSERT_TRUE(QFile::link(outside.path() + QStringLiteral("/keep"), trash() + QStringLiteral("/files/link-to-dir")));
    writeInfo(trash(), QStringLiteral("link-to-dir"));
    ASSERT_TRUE(QFile::link(precious, trash() + QStringLiteral("/files/link-to-file")));
    writeInfo(trash(), QStringLiteral("link-to-file"));

    expectEmptied(trash());
    EXPECT_EQ(readTestFile(precious), QByteArray("precious"));
}

TEST_F(EmptyTrash, DropsInfoFilesLeftWithoutTheirFile) {
    writeInfo(trash(), QStringLiteral("gone-long-ago.txt"));
    QDir().mkpath(trash() + QStringLiteral("/files"));
    expectEmptied(trash());
}

TEST_F(EmptyTrash, SaysWhenThereWasNothingToEmpty) {
    // No trash folder at all, as on a new account.
    EXPECT_EQ(SystemCommands::run(QStringLiteral("emptyTrash")), QStringLiteral("Trash is already empty"));
    EXPECT_FALSE(QFileInfo::exists(trash()));
    // An empty trash.
    QDir().mkpath(trash() + QStringLiteral("/files"));
    QDir().mkpath(trash() + QStringLiteral("/info"));
    EXPECT_EQ(SystemCommands::run(QStringLiteral("emptyTrash")), QStringLiteral("Trash is already empty"));
    EXPECT_TRUE(SystemCommands::isAvailable(QStringLiteral("emptyTrash")));
}

TEST_F(EmptyTrash, EmptiesTheTrashesOfMountedVolumesToo) {
    const QString topTrash = volumes.path() + QStringLiteral("/.Trash-") + uid();
    trashItem(topTrash, QStringLiteral("from-usb-stick.txt"));
    // The shared .Trash folder (sticky, as the standard asks) with a folder per user.
    QDir().mkpath(shared());
    ASSERT_EQ(chmod(QFile::encodeName(shared()).constData(), 01777), 0);
    trashItem(shared() + QLatin1Char('/') + uid(), QStringLiteral("from-shared.txt"));

    expectEmptied(topTrash);
    EXPECT_EQ(entries(shared() + QLatin1Char('/') + uid() + QStringLiteral("/files")), QStringList());
}

TEST_F(EmptyTrash, LeavesASharedTrashAloneUnlessItIsSticky) {
    // Without the sticky bit anyone could have planted the folder: the standard says to skip it.
    trashItem(shared() + QLatin1Char('/') + uid(), QStringLiteral("planted.txt"));
    ASSERT_EQ(chmod(QFile::encodeName(shared()).constData(), 0777), 0);

    EXPECT_EQ(SystemCommands::run(QStringLiteral("emptyTrash")), QStringLiteral("Trash is already empty"));
    EXPECT_TRUE(QFileInfo::exists(shared() + QLatin1Char('/') + uid() + QStringLiteral("/files/planted.txt")));
}

TEST_F(EmptyTrash, ItemsThatCannotBeRemovedKeepTheirInfoAndAreNamed) {
    if (geteuid() == 0) GTEST_SKIP() << "root may remove anything; this needs an ordinary user";
    trashItem(trash(), QStringLiteral("stuck.txt"));
    trashItem(trash(), QStringLiteral("stuck-too.txt"));
    // A trash whose files folder is read-only: nothing in it can go.
    QFile::setPermissions(trash() + QStringLiteral("/files"), QFile::ReadOwner | QFile::ExeOwner);

    const QString message = failureOf(QStringLiteral("emptyTrash"));
    QFile::setPermissions(trash() + QStringLiteral("/files"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_TRUE(message.startsWith(QLatin1String("2 items could not be removed from the trash")))
        << message.toStdString();
    EXPECT_TRUE(message.contains(QLatin1String("stuck.txt"))) << message.toStdString();
    // Nothing is lost: both files and their original locations are still there.
    EXPECT_EQ(entries(trash() + QStringLiteral("/files")).size(), 2);
    EXPECT_EQ(entries(trash() + QStringLiteral("/info")).size(), 2);
}

// --- Tools on PATH -----------------------------------------------------------------

// A folder that is the whole PATH for the test, with stand-in tools written
// as shell scripts that use only shell built-ins (nothing else is on PATH).
class ToolFolder {
public:
    ToolFolder() : m_path("PATH", m_dir.path().toUtf8()) {}

    void addTool(const QString& name, const QByteArray& script) {
        writeTestFile(m_dir.path() + QLatin1Char('/') + name, "#!/bin/sh\n" + script,
                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    void setState(const QByteArray& state) { writeTestFile(m_dir.path() + QStringLiteral("/state"), state + '\n'); }
    QByteArray state() const { return readTestFile(m_dir.path() + QStringLiteral("/state")).trimmed(); }
    // The argument lines the tools were called with, one call a line.
    QList<QByteArray> calls() const {
        QList<QByteArray> lines = readTestFile(m_dir.path() + QStringLiteral("/calls")).split('\n');
        lines.removeAll(QByteArray());
        return lines;
    }

private:
    QTemporaryDir m_dir;
    ScopedEnv m_path;
};

TEST(ToolCommands, MissingToolsAreNamed) {
    ToolFolder tools;  // empty
    const std::pair<QStringList, QString> missing[] = {
        {{"setVolume0", "setVolume25", "setVolume50", "setVolume75", "setVolume100", "turnVolumeDown", "turnVolumeUp",
          "toggleMute"},
         QStringLiteral("Changing the volume needs wpctl or pactl, neither is installed.")},
        {{"toggleBluetooth"}, QStringLiteral("Toggling Bluetooth needs bluetoothctl or rfkill, neither is installed.")},
        {{"sleepDisplays"}, QStringLiteral("Sleeping the displays needs xset, which is not installed.")},
    };
    for (const auto& [ids, message] : missing)
        for (const QString& id : ids) {
            EXPECT_EQ(unavailableReason(id), message) << id.toStdString();
            EXPECT_EQ(failureOf(id), message) << id.toStdString();
        }
}

// wpctl and pactl stand-ins sharing one state file: "<percent> <muted 0|1>".
const QByteArray kStateHeader =
    "dir=${0%/*}\n"
    "echo \"$*\" >> \"$dir/calls\"\n"
    "read level muted < \"$dir/state\"\n"
    "toggled() { if [ \"$muted\" = 1 ]; then echo 0; else echo 1; fi; }\n";

const QByteArray kFakeWpctl = kStateHeader +
                              "case \"$1\" in\n"
                              "get-volume)\n"
                              "  if [ \"$muted\" = 1 ]; then m=' [MUTED]'; else m=''; fi\n"
                              "  printf 'Volume: %d.%02d%s\\n' $((level / 100)) $((level % 100)) \"$m\" ;;\n"
                              "set-volume) echo \"${3%\\%} $muted\" > \"$dir/state\" ;;\n"
                              "set-mute)\n"
                              "  if [ \"$3\" = toggle ]; then muted=$(toggled); else muted=$3; fi\n"
                              "  echo \"$level $muted\" > \"$dir/state\" ;;\n"
                              "*) echo \"wpctl: unknown command $1\" >&2; exit 1 ;;\n"
                              "esac\n";

const QByteArray kFakePactl =
    kStateHeader +
    "case \"$1\" in\n"
    "get-sink-volume)\n"
    "  printf 'Volume: front-left: %d /  %d%% / -1.00 dB,   front-right: %d /  %d%% / -1.00 dB\\n"
    "        balance 0.00\\n' $((level * 655)) $level $((level * 655)) $level ;;\n"
    "get-sink-mute) if [ \"$muted\" = 1 ]; then echo 'Mute: yes'; else echo 'Mute: no'; fi ;;\n"
    "set-sink-volume) echo \"${3%\\%} $muted\" > \"$dir/state\" ;;\n"
    "set-sink-mute)\n"
    "  if [ \"$3\" = toggle ]; then muted=$(toggled); else muted=$3; fi\n"
    "  echo \"$level $muted\" > \"$dir/state\" ;;\n"
    "*) echo \"pactl: unknown command $1\" >&2; exit 1 ;;\n"
    "esac\n";

struct Mixer {
    const char* tool;
    QByteArray script;
};

void PrintTo(const Mixer& mixer, std::ostream* os) {
    *os << mixer.tool;
}

class VolumeCommands : public ::testing::TestWithParam<Mixer> {
protected:
    void SetUp() override { tools.addTool(QString::fromLatin1(GetParam().tool), GetParam().script); }
    QString run(const char* id) { return SystemCommands::run(QString::fromLatin1(id)); }
    ToolFolder tools;
};

TEST_P(VolumeCommands, SetLevelsAndUnmute) {
    tools.setState("40 1");
    EXPECT_TRUE(SystemCommands::isAvailable(QStringLiteral("setVolume75")));
    EXPECT_EQ(run("setVolume75"), QStringLiteral("Volume set to 75%"));
    // A level above zero is meant to be heard.
    EXPECT_EQ(tools.state(), QByteArray("75 0"));
    EXPECT_EQ(run("setVolume0"), QStringLiteral("Volume set to 0%"));
    EXPECT_EQ(tools.state(), QByteArray("0 0"));
    EXPECT_EQ(run("setVolume100"), QStringLiteral("Volume set to 100%"));
    EXPECT_EQ(tools.state(), QByteArray("100 0"));
}

TEST_P(VolumeCommands, StepsByFiveWithinZeroToHundred) {
    tools.setState("40 0");
    EXPECT_EQ(run("turnVolumeUp"), QStringLiteral("Volume 45%"));
    EXPECT_EQ(tools.state(), QByteArray("45 0"));
    EXPECT_EQ(run("turnVolumeDown"), QStringLiteral("Volume 40%"));

    tools.setState("98 0");
    EXPECT_EQ(run("turnVolumeUp"), QStringLiteral("Volume 100%"));
    EXPECT_EQ(run("turnVolumeUp"), QStringLiteral("Volume 100%"));
    EXPECT_EQ(tools.state(), QByteArray("100 0"));

    tools.setState("3 0");
    EXPECT_EQ(run("turnVolumeDown"), QStringLiteral("Volume 0%"));
    EXPECT_EQ(run("turnVolumeDown"), QStringLiteral("Volume 0%"));
    EXPECT_EQ(tools.state(), QByteArray("0 0"));

    // Amplified above 100% by another program: up does not cut it back.
    tools.setState("120 0");
    EXPECT_EQ(run("turnVolumeUp"), QStringLiteral("Volume 120%"));
    EXPECT_EQ(tools.state(), QByteArray("120 0"));
}

TEST_P(VolumeCommands, MuteTogglesAndUpUnmutes) {
    tools.setState("60 0");
    EXPECT_EQ(run("toggleMute"), QStringLiteral("Muted"));
    EXPECT_EQ(tools.state(), QByteArray("60 1"));
    EXPECT_EQ(run("turnVolumeDown"), QStringLiteral("Volume 55% (muted)"));
    EXPECT_EQ(tools.state(), QByteArray("55 1"));
    EXPECT_EQ(run("toggleMute"), QStringLiteral("Sound on, volume 55%"));
    EXPECT_EQ(tools.state(), QByteArray("55 0"));
    tools.setState("55 1");
    EXPECT_EQ(run("turnVolumeUp"), QStringLiteral("Volume 60%"));
    EXPECT_EQ(tools.state(), QByteArray("60 0"));
}

INSTANTIATE_TEST_SUITE_P(SoundServers, VolumeCommands,
                         ::testing::Values(Mixer{"wpctl", kFakeWpctl}, Mixer{"pactl", kFakePactl}),
                         [](const auto& test) { return std::string(test.param.tool); });

// A tool that fails, prints what it should not or hangs: the command says so
// in words, quoting the tool.
struct ToolFailure {
    const char* label;
    const char* tool;
    QByteArray script;
    const char* command;
    const char* message;
    QList<QByteArray> calls;  // the only calls made, when checked
};

void PrintTo(const ToolFailure& failure, std::ostream* os) {
    *os << failure.label;
}

class ToolFailures : public ::testing::TestWithParam<ToolFailure> {};

TEST_P(ToolFailures, AreSaidInWords) {
    const ToolFailure& c = GetParam();
    ToolFolder tools;
    ScopedEnv display("DISPLAY", QByteArray(":99"));  // for xset
    ScopedEnv session("XDG_SESSION_TYPE", std::nullopt);
    tools.addTool(QString::fromLatin1(c.tool), "echo \"$*\" >> \"${0%/*}/calls\"\n" + c.script);
    EXPECT_EQ(failureOf(QString::fromLatin1(c.command)), QString::fromUtf8(c.message));
    if (!c.calls.isEmpty()) {
        EXPECT_EQ(tools.calls(), c.calls);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tools, ToolFailures,
    ::testing::Values(
        // Only the reading call is made.
        ToolFailure{"UnreadableVolumeOutputChangesNothing",
                    "wpctl",
                    "echo 'Could not connect to PipeWire'\n",
                    "turnVolumeUp",
                    "Cannot read the volume: wpctl printed \"Could not connect to PipeWire\".",
                    {"get-volume @DEFAULT_AUDIO_SINK@"}},
        ToolFailure{"VolumeToolErrorsAreQuoted", "pactl", "echo 'Connection failure: Connection refused' >&2\nexit 1\n",
                    "setVolume25", "Cannot change the volume: pactl failed: Connection failure: Connection refused"},
        ToolFailure{"AVolumeToolThatHangsIsStopped", "wpctl", "exec /bin/sleep 60\n", "toggleMute",
                    "Cannot change the volume: wpctl did not finish within 5 seconds."},
        ToolFailure{"NoBluetoothAdapterIsSaid", "bluetoothctl", "echo 'No default controller available'\n",
                    "toggleBluetooth", "Cannot toggle Bluetooth: there is no Bluetooth adapter."},
        ToolFailure{"AServerWithoutDisplayPowerManagementIsSaid", "xset",
                    "echo 'Server does not have the DPMS Extension'\n", "sleepDisplays",
                    "Cannot sleep the displays: the X server has no display power management."}),
    [](const auto& test) { return std::string(test.param.label); });

TEST(BluetoothCommand, SwitchesThePowerWithBluetoothctl) {
    ToolFolder tools;
    tools.addTool(QStringLiteral("bluetoothctl"),
                  "dir=${0%/*}\n"
                  "echo \"$*\" >> \"$dir/calls\"\n"
                  "read powered < \"$dir/state\"\n"
                  "case \"$3\" in\n"
                  "show) printf 'Controller 00:1A:7D:DA:71:13 (public)\\n\\tName: laptop\\n\\tPowered: %s\\n' "
                  "\"$powered\" ;;\n"
                  "power) if [ \"$4\" = on ]; then echo yes > \"$dir/state\"; else echo no > \"$dir/state\"; fi\n"
                  "       echo \"Changing power $4 succeeded\" ;;\n"
                  "esac\n");
    tools.setState("yes");
    EXPECT_EQ(SystemCommands::run(QStringLiteral("toggleBluetooth")), QStringLiteral("Bluetooth off"));
    EXPECT_EQ(tools.state(), QByteArray("no"));
    EXPECT_EQ(SystemCommands::run(QStringLiteral("toggleBluetooth")), QStringLiteral("Bluetooth on"));
    EXPECT_EQ(tools.state(), QByteArray("yes"));
}

TEST(BluetoothCommand, FallsBackToRfkillWhenBluetoothdIsNotRunning) {
    ToolFolder tools;
    tools.addTool(QStringLiteral("bluetoothctl"), "echo 'Waiting to connect to bluetoothd...'\n");
    tools.addTool(QStringLiteral("rfkill"),
                  "dir=${0%/*}\n"
                  "echo \"$*\" >> \"$dir/calls\"\n"
                  "read soft hard < \"$dir/state\"\n"
                  "case \"$1\" in\n"
                  "list) printf '0: hci0: Bluetooth\\n\\tSoft blocked: %s\\n\\tHard blocked: %s\\n' $soft $hard ;;\n"
                  "block) echo \"yes $hard\" > \"$dir/state\" ;;\n"
                  "unblock) echo \"no $hard\" > \"$dir/state\" ;;\n"
                  "esac\n");
    tools.setState("yes no");
    EXPECT_EQ(SystemCommands::run(QStringLiteral("toggleBluetooth")), QStringLiteral("Bluetooth on"));
    EXPECT_EQ(tools.state(), QByteArray("no no"));
    EXPECT_EQ(SystemCommands::run(QStringLiteral("toggleBluetooth")), QStringLiteral("Bluetooth off"));
    EXPECT_EQ(tools.state(), QByteArray("yes no"));

    tools.setState("no yes");
    EXPECT_EQ(failureOf(QStringLiteral("toggleBluetooth")),
              QStringLiteral("Cannot toggle Bluetooth: Bluetooth is switched off by a hardware switch."));
    EXPECT_EQ(tools.state(), QByteArray("no yes"));
}

TEST(SleepDisplaysCommand, TurnsTheDisplaysOffAMomentLater) {
    ToolFolder tools;
    ScopedEnv display("DISPLAY", QByteArray(":99"));
    ScopedEnv session("XDG_SESSION_TYPE", std::nullopt);
    tools.addTool(QStringLiteral("xset"),
                  "echo \"$*\" >> \"${0%/*}/calls\"\n"
                  "[ \"$1\" = q ] && printf 'DPMS (Energy Star):\\n  DPMS is Enabled\\n'\n"
                  "exit 0\n");
    EXPECT_TRUE(SystemCommands::isAvailable(QStringLiteral("sleepDisplays")));
    EXPECT_EQ(SystemCommands::run(QStringLiteral("sleepDisplays")), QStringLiteral("Displays going to sleep"));
    // Not at once: the release of the key that ran the command would wake them.
    EXPECT_EQ(tools.calls(), QList<QByteArray>{"q"});
    EXPECT_TRUE(waitUntil([&] { return tools.calls().size() == 2; }));
    EXPECT_EQ(tools.calls(), (QList<QByteArray>{"q", "dpms force off"}));
}

// --- Desktop settings ---------------------------------------------------------------------

// GSettings on the keyfile backend: a real, stored backend that keeps its
// file under the test's XDG_CONFIG_HOME. GLib picks the backend once per
// process, so the tests skip when something chose another one earlier.
class DesktopSettings : public ::testing::Test {
protected:
    void SetUp() override {
        GSettingsBackend* backend = g_settings_backend_get_default();
        const bool keyfile = qstrcmp(G_OBJECT_TYPE_NAME(backend), "GKeyfileSettingsBackend") == 0;
        g_object_unref(backend);
        if (!keyfile) GTEST_SKIP() << "GSettings already uses another backend in this process";
    }

    static bool hasSchema(const char* id) {
        GSettingsSchema* schema = g_settings_schema_source_lookup(g_settings_schema_source_get_default(), id, TRUE);
        if (schema) g_settings_schema_unref(schema);
        return schema != nullptr;
    }
    static QByteArray keyfile() {
        return readTestFile(QString::fromUtf8(g_get_user_config_dir()) + QStringLiteral("/glib-2.0/settings/keyfile"));
    }

    ScopedEnv backend{"GSETTINGS_BACKEND", QByteArray("keyfile")};
};

TEST_F(DesktopSettings, ToggleHiddenFilesFlipsTheFileChooserSetting) {
    if (!hasSchema("org.gtk.Settings.FileChooser")) {
        EXPECT_TRUE(unavailableReason(QStringLiteral("toggleHiddenFiles"))
                        .contains(QLatin1String("org.gtk.Settings.FileChooser is not installed")));
        return;
    }
    GSettings* settings = g_settings_new("org.gtk.Settings.FileChooser");
    g_settings_set_boolean(settings, "show-hidden", FALSE);

    EXPECT_TRUE(SystemCommands::isAvailable(QStringLiteral("toggleHiddenFiles")));
    EXPECT_EQ(SystemCommands::run(QStringLiteral("toggleHiddenFiles")), QStringLiteral("Hidden files shown"));
    EXPECT_TRUE(g_settings_get_boolean(settings, "show-hidden"));
    EXPECT_TRUE(keyfile().contains("show-hidden=true")) << keyfile().toStdString();
    EXPECT_EQ(SystemCommands::run(QStringLiteral("toggleHiddenFiles")), QStringLiteral("Hidden files hidden"));
    EXPECT_FALSE(g_settings_get_boolean(settings, "show-hidden"));
    g_object_unref(settings);
}

TEST_F(DesktopSettings, ToggleSystemAppearanceSwitchesBetweenDarkAndDefault) {
    if (!hasSchema("org.gnome.desktop.interface")) {
        EXPECT_TRUE(unavailableReason(QStringLiteral("toggleSystemAppearance"))
                        .contains(QLatin1String("org.gnome.desktop.interface is not installed")));
        return;
    }
    GSettings* settings = g_settings_new("org.gnome.desktop.interface");
    const auto scheme = [&] {
        gchar* value = g_settings_get_string(settings, "color-scheme");
        QString text = QString::fromUtf8(value);
        g_free(value);
        return text;
    };
    g_settings_set_string(settings, "color-scheme", "prefer-light");

    EXPECT_EQ(SystemCommands::run(QStringLiteral("toggleSystemAppearance")), QStringLiteral("Dark appearance"));
    EXPECT_EQ(scheme(), QStringLiteral("prefer-dark"));
    EXPECT_TRUE(keyfile().contains("color-scheme='prefer-dark'")) << keyfile().toStdString();
    EXPECT_EQ(SystemCommands::run(QStringLiteral("toggleSystemAppearance")), QStringLiteral("Light appearance"));
    EXPECT_EQ(scheme(), QStringLiteral("default"));
    g_object_unref(settings);
}

// --- KDE Plasma: its configuration files -------------------------------------------------

class KdeSettings : public ::testing::Test {
protected:
    ScopedXdgHome home;
    ScopedEnv desktop{"XDG_CURRENT_DESKTOP", QByteArray("KDE")};
    ScopedEnv backend{"GSETTINGS_BACKEND", QByteArray("memory")};
    QString globals = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/kdeglobals");

    void write(const QString& path, const QByteArray& text) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }
};

TEST_F(KdeSettings, ToggleHiddenFilesFlipsTheFileDialogAndDolphin) {
    write(globals, "# written by Plasma\n[General]\nColorScheme=BreezeLight\n\n[KFileDialog Settings]\n"
                   "Show hidden files=false\nSort by=Name\n");
    EXPECT_TRUE(SystemCommands::isAvailable(QStringLiteral("toggleHiddenFiles")));
    EXPECT_EQ(SystemCommands::run(QStringLiteral("toggleHiddenFiles")), QStringLiteral("Hidden files shown"));
    EXPECT_EQ(QString::fromUtf8(readTestFile(globals)),
              QStringLiteral("# written by Plasma\n[General]\nColorScheme=BreezeLight\n\n[KFileDialog Settings]\n"
                             "Show hidden files=true\nSort by=Name\n"));
    const QString dolphin =
        qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/dolphin/view_properties/global/.directory");
    EXPECT_EQ(readTestFile(dolphin), QByteArray("[Settings]\nHiddenFilesShown=true\n"));
    EXPECT_EQ(SystemCommands::run(QStringLiteral("toggleHiddenFiles")), QStringLiteral("Hidden files hidden"));
    EXPECT_TRUE(readTestFile(globals).contains("Show hidden files=false\n"));
    EXPECT_TRUE(readTestFile(dolphin).contains("HiddenFilesShown=false"));
}

TEST_F(KdeSettings, WithoutAConfigurationFileOneIsWritten) {
    EXPECT_EQ(SystemCommands::run(QStringLiteral("toggleHiddenFiles")), QStringLiteral("Hidden files shown"));
    EXPECT_EQ(readTestFile(globals), QByteArray("[KFileDialog Settings]\nShow hidden files=true\n"));
}

TEST_F(KdeSettings, ToggleSystemAppearanceSwitchesTheColourScheme) {
    if (!QStandardPaths::findExecutable(QStringLiteral("plasma-apply-colorscheme")).isEmpty())
        GTEST_SKIP() << "Plasma's own tool would change this session's colours";
    // Lines that are no entries are kept as they are.
    write(globals, "[General]\nColorScheme=BreezeLight\nnot an entry\n[WM]\nactiveBackground=49,54,59\n");
    EXPECT_TRUE(SystemCommands::isAvailable(QStringLiteral("toggleSystemAppearance")));
    EXPECT_EQ(SystemCommands::run(QStringLiteral("toggleSystemAppearance")), QStringLiteral("Dark appearance"));
    EXPECT_EQ(readTestFile(globals),
              QByteArray("[General]\nColorScheme=BreezeDark\nnot an entry\n[WM]\nactiveBackground=49,54,59\n"));
    EXPECT_EQ(SystemCommands::run(QStringLiteral("toggleSystemAppearance")), QStringLiteral("Light appearance"));
    EXPECT_TRUE(readTestFile(globals).contains("ColorScheme=BreezeLight\n"));
}

// --- D-Bus: logind, the screen saver, the session manager --------------------------------

// The stand-ins a case puts on the private bus.
enum StandIns : unsigned {
    kNoService = 0,
    kLogind = 1,         // answers Can… with the case's answer, everything else at once
    kSilentLogind = 2,   // never answers
    kScreenSaver = 4,    // answers SetActive with true, everything else at once
    kSessionManager = 8  // GNOME's, answers at once
};

// Whether the command says it is available, checked after it ran.
enum class Availability { unchecked, available, unavailable, unavailableForThatReason };

struct BusCase {
    const char* label;
    const char* command;
    unsigned services;
    bool systemBus;       // false: the system bus cannot be reached
    const char* can;      // logind's answer to Can…
    const char* outcome;  // what the command answers or fails with; '*' stands for any text
    const char*
        calls;  // every call the stand-ins got (logind's, the screen saver's, the session manager's), ';' between
    Availability availability = Availability::unchecked;
};

void PrintTo(const BusCase& c, std::ostream* os) {
    *os << c.label;
}

bool matches(const QString& text, const QString& pattern) {
    const QStringList parts = pattern.split(QLatin1Char('*'));
    return parts.size() == 1 ? text == pattern : text.startsWith(parts.first()) && text.endsWith(parts.last());
}

// Both buses are the private one, or the system bus is one that cannot be
// reached; PATH is empty, so only the stand-ins can answer.
class BusCommands : public ::testing::TestWithParam<BusCase> {
protected:
    void SetUp() override {
        VANTREL_REQUIRE_DESKTOP_OR_SKIP(bus.problem().isEmpty(), bus.problem().toStdString());
        const QByteArray address = bus.address().toUtf8();
        system.emplace("DBUS_SYSTEM_BUS_ADDRESS",
                       GetParam().systemBus ? address : "unix:path=" + emptyPath.path().toUtf8() + "/no-bus");
        session.emplace("DBUS_SESSION_BUS_ADDRESS", address);
    }

    PrivateBus bus;  // found on PATH before it is emptied
    QTemporaryDir emptyPath;
    ScopedEnv path{"PATH", emptyPath.path().toUtf8()};
    std::optional<ScopedEnv> system;
    std::optional<ScopedEnv> session;
};

TEST_P(BusCommands, AskTheDesktopsServicesAndSayWhatIsMissing) {
    const BusCase& c = GetParam();
    const QString command = QString::fromLatin1(c.command);
    const QString can = QString::fromLatin1(c.can);
    std::vector<std::unique_ptr<FakeService>> services;
    const auto add = [&](unsigned which, const char* name, const char* path, FakeService::Handler handler) {
        if (c.services & which)
            services.push_back(std::make_unique<FakeService>(bus.address(), QString::fromLatin1(name),
                                                             QString::fromLatin1(path), std::move(handler)));
    };
    add(kLogind, "org.freedesktop.login1", "/org/freedesktop/login1", [can](const QDBusMessage& message) {
        return std::optional<QVariantList>(message.member().startsWith(QLatin1String("Can")) ? QVariantList{can}
                                                                                             : QVariantList{});
    });
    add(kSilentLogind, "org.freedesktop.login1", "/org/freedesktop/login1",
        [](const QDBusMessage&) { return std::nullopt; });
    add(kScreenSaver, "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", [](const QDBusMessage& message) {
        return std::optional<QVariantList>(message.member() == QLatin1String("SetActive") ? QVariantList{true}
                                                                                          : QVariantList{});
    });
    add(kSessionManager, "org.gnome.SessionManager", "/org/gnome/SessionManager", FakeService::answering());

    const QString outcome = outcomeOf(command);
    EXPECT_TRUE(matches(outcome, QString::fromUtf8(c.outcome))) << outcome.toStdString();
    QStringList calls;
    for (const auto& service : services) calls << service->calls();
    EXPECT_EQ(calls, QString::fromLatin1(c.calls).split(QLatin1Char(';'), Qt::SkipEmptyParts));
    if (c.availability == Availability::available || c.availability == Availability::unavailable) {
        EXPECT_EQ(SystemCommands::isAvailable(command), c.availability == Availability::available);
    }
    if (c.availability == Availability::unavailableForThatReason) {
        EXPECT_EQ(unavailableReason(command), outcome);
    }
}

#define MANAGER "/org/freedesktop/login1 org.freedesktop.login1.Manager."
#define SESSION "/org/freedesktop/login1/session/auto org.freedesktop.login1.Session."
#define SCREEN_SAVER "/org/freedesktop/ScreenSaver org.freedesktop.ScreenSaver."
using enum Availability;

INSTANTIATE_TEST_SUITE_P(
    Services, BusCommands,
    ::testing::Values(
        // Power: logind is asked whether it may, then told to act interactively.
        BusCase{"RestartAsksLogindThenReboots", "restartSystem", kLogind, true, "yes", "Restarting…",
                MANAGER "CanReboot();" MANAGER "Reboot(true)"},
        BusCase{"ShutDownAfterAChallengeStillPowersOff", "shutDownSystem", kLogind, true, "challenge", "Shutting down…",
                MANAGER "CanPowerOff();" MANAGER "PowerOff(true)"},
        BusCase{"SleepAsksLogindThenSuspends", "sleep", kLogind, true, "yes", "Going to sleep…",
                MANAGER "CanSuspend();" MANAGER "Suspend(true)"},
        BusCase{"SleepWhereItIsNotSupportedSaysSo", "sleep", kLogind, true, "na",
                "Cannot put this computer to sleep: this system does not support it.", MANAGER "CanSuspend()"},
        BusCase{"RestartThatIsNotAllowedSaysSo", "restartSystem", kLogind, true, "no",
                "Cannot restart this computer: you are not allowed to.", MANAGER "CanReboot()"},
        // It asked whether it may, and went no further.
        BusCase{"ALogindThatDoesNotAnswerIsGivenUpOn", "restartSystem", kSilentLogind, true, "",
                "Cannot restart this computer: the login manager (systemd-logind) did not answer within 4 seconds.",
                MANAGER "CanReboot()"},
        BusCase{"WithoutASystemBusPowerCommandsSaySo", "shutDownSystem", kNoService, false, "",
                "Cannot shut down this computer: the system bus cannot be reached (*", "", unavailableForThatReason},
        BusCase{"WithoutLogindShutDownSaysSo", "shutDownSystem", kNoService, true, "",
                "Cannot shut down this computer: the login manager (systemd-logind) is not running.", "",
                unavailableForThatReason},
        BusCase{"WithoutLogindSleepSaysSo", "sleep", kNoService, true, "",
                "Cannot put this computer to sleep: the login manager (systemd-logind) is not running.", "",
                unavailableForThatReason},
        // Locking and the screen saver.
        BusCase{"LockScreenLocksTheCurrentLogindSession", "lockScreen", kLogind, true, "yes", "Screen locked",
                SESSION "Lock()", available},
        BusCase{"LockScreenFallsBackToTheScreenSaver", "lockScreen", kScreenSaver, false, "", "Screen locked",
                SCREEN_SAVER "Lock()"},
        BusCase{"LockScreenWithNothingToAskNamesWhatIsMissing", "lockScreen", kNoService, false, "",
                "Cannot lock the screen: the system bus cannot be reached (*; the screen saver "
                "(org.freedesktop.ScreenSaver) is not running.",
                "", unavailable},
        BusCase{"ShowScreenSaverActivatesIt", "showScreenSaver", kScreenSaver, true, "", "Screen saver started",
                SCREEN_SAVER "SetActive(true)", available},
        BusCase{"ShowScreenSaverWithoutOneSaysSo", "showScreenSaver", kNoService, true, "",
                "Cannot start the screen saver: the screen saver (org.freedesktop.ScreenSaver) is not running; "
                "xdg-screensaver is not installed.",
                "", unavailable},
        // Logging out: the desktop's own log-out (which lets applications save), not a hard end of the session.
        BusCase{"LogOutGoesThroughTheDesktopSessionManager", "logOutSystem", kLogind | kSessionManager, true, "yes",
                "Logging out…", "/org/gnome/SessionManager org.gnome.SessionManager.Logout(0)"},
        BusCase{"LogOutEndsTheLogindSessionWithoutASessionManager", "logOutSystem", kLogind, true, "yes",
                "Logging out…", SESSION "Terminate()"},
        BusCase{"LogOutWithNothingToAskNamesWhatIsMissing", "logOutSystem", kNoService, true, "",
                "Cannot log out: no session manager (GNOME, KDE, Xfce, LXQt) is running; the login manager "
                "(systemd-logind) is not running.",
                ""}),
    [](const auto& test) { return std::string(test.param.label); });

#undef MANAGER
#undef SESSION
#undef SCREEN_SAVER

// --- X11 windows ------------------------------------------------------------------------

constexpr uint32_t kEditorPid = 4000001;  // pretend processes of other applications
constexpr uint32_t kBrowserPid = 4000002;

// A private display with openbox, so that the commands that minimize and
// close windows never touch another test's windows.
// On openbox and on fluxbox, each on a display of its own.
class WindowCommands : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        VANTREL_REQUIRE_DESKTOP_OR_SKIP(desktop.problem().isEmpty(), desktop.problem().toStdString());
        client.emplace();
    }
    QString run(const char* id) { return SystemCommands::run(QString::fromLatin1(id)); }

    PrivateDisplay desktop{true, QString::fromLatin1(GetParam())};
    std::optional<X11Client> client;
};

INSTANTIATE_TEST_SUITE_P(WindowManagers, WindowCommands, ::testing::Values("openbox", "fluxbox"),
                         [](const auto& param) { return std::string(param.param); });

// openbox has a desktop mode (_NET_SHOWING_DESKTOP); fluxbox has none, and
// the windows are minimized and brought back instead.
TEST_P(WindowCommands, ShowDesktopTogglesTheWindowManagersDesktopMode) {
    EXPECT_TRUE(SystemCommands::isAvailable(QStringLiteral("showDesktop")));
    const xcb_window_t editor = client->createWindow(kEditorPid);
    const xcb_window_t browser = client->createWindow(kBrowserPid);
    client->activate(browser);
    const bool desktopMode = std::string(GetParam()) == "openbox";
    EXPECT_EQ(run("showDesktop"), QStringLiteral("Showing the desktop"));
    if (desktopMode) {
        EXPECT_TRUE(waitUntil([&] { return client->showingDesktop(); }));
    } else {
        EXPECT_TRUE(waitUntil([&] { return client->isHidden(editor) && client->isHidden(browser); }));
    }
    EXPECT_EQ(run("showDesktop"), QStringLiteral("Windows shown again"));
    if (desktopMode) {
        EXPECT_TRUE(waitUntil([&] { return !client->showingDesktop(); }));
    } else {
        EXPECT_TRUE(waitUntil([&] { return !client->isHidden(editor) && !client->isHidden(browser); }));
        // The window that had the focus has it again.
        EXPECT_TRUE(waitUntil([&] { return client->activeWindow() == browser; }));
    }
}

TEST_P(WindowCommands, HideAllAppsKeepsTheFrontmostApplicationAndUnhideBringsTheRestBack) {
    const xcb_window_t editor = client->createWindow(kEditorPid);
    const xcb_window_t browser = client->createWindow(kBrowserPid);
    const xcb_window_t secondBrowser = client->createWindow(kBrowserPid);
    client->activate(browser);

    EXPECT_EQ(run("hideAllApps"), QStringLiteral("Hid 1 window"));
    EXPECT_TRUE(waitUntil([&] { return client->isHidden(editor); })) << "the editor was not minimized";
    // Both windows of the frontmost application stay.
    EXPECT_FALSE(client->isHidden(browser));
    EXPECT_FALSE(client->isHidden(secondBrowser));
    EXPECT_EQ(run("hideAllApps"), QStringLiteral("No other windows to hide"));

    EXPECT_EQ(run("unhideAllApps"), QStringLiteral("Restored 1 window"));
    EXPECT_TRUE(waitUntil([&] { return !client->isHidden(editor); })) << "the editor was not restored";
    // The focus goes back where it was.
    EXPECT_TRUE(waitUntil([&] { return client->activeWindow() == browser; }));
    EXPECT_EQ(run("unhideAllApps"), QStringLiteral("No hidden windows"));
}

TEST_P(WindowCommands, WhenVantrelIsFrontmostTheTopmostOtherApplicationStays) {
    const xcb_window_t editor = client->createWindow(kEditorPid);
    const xcb_window_t browser = client->createWindow(kBrowserPid);
    const xcb_window_t own = client->createWindow(uint32_t(getpid()));
    client->activate(own);

    EXPECT_EQ(run("hideAllApps"), QStringLiteral("Hid 1 window"));
    EXPECT_TRUE(waitUntil([&] { return client->isHidden(editor); }));
    EXPECT_FALSE(client->isHidden(browser));
    EXPECT_FALSE(client->isHidden(own));
}

TEST_P(WindowCommands, QuitAllAppsAsksEveryOtherApplicationToClose) {
    const xcb_window_t editor = client->createWindow(kEditorPid);
    const xcb_window_t browser = client->createWindow(kBrowserPid);
    const xcb_window_t secondBrowser = client->createWindow(kBrowserPid);
    const xcb_window_t own = client->createWindow(uint32_t(getpid()));

    EXPECT_EQ(run("quitAllApps"), QStringLiteral("Asked 2 applications to quit"));
    EXPECT_TRUE(waitUntil([&] { return client->closeRequests().size() >= 3; }))
        << "the window manager passed on " << client->closeRequests().size() << " close requests";
    const std::vector<xcb_window_t> asked = client->closeRequests();
    EXPECT_TRUE(X11Client::contains(asked, editor));
    EXPECT_TRUE(X11Client::contains(asked, browser));
    EXPECT_TRUE(X11Client::contains(asked, secondBrowser));
    EXPECT_FALSE(X11Client::contains(asked, own));
}

TEST_P(WindowCommands, NothingToDoIsSaid) {
    EXPECT_EQ(run("quitAllApps"), QStringLiteral("No applications to quit"));
    EXPECT_EQ(run("hideAllApps"), QStringLiteral("No other windows to hide"));
    EXPECT_EQ(run("unhideAllApps"), QStringLiteral("No hidden windows"));
}

TEST(WindowCommandsUnavailable, WithoutAWindowManager) {
    PrivateDisplay bare(false);
    VANTREL_REQUIRE_DESKTOP_OR_SKIP(bare.problem().isEmpty(), bare.problem().toStdString());
    EXPECT_EQ(unavailableReason(QStringLiteral("showDesktop")),
              QStringLiteral("Showing the desktop cannot work on this desktop: no window manager that follows "
                             "the EWMH conventions is running."));
    EXPECT_EQ(failureOf(QStringLiteral("hideAllApps")),
              QStringLiteral("Hiding applications cannot work on this desktop: no window manager that follows "
                             "the EWMH conventions is running."));
}

TEST(WindowCommandsUnavailable, WithoutADisplay) {
    ScopedEnv display("DISPLAY", std::nullopt);
    ScopedEnv session("XDG_SESSION_TYPE", std::nullopt);
    EXPECT_EQ(failureOf(QStringLiteral("quitAllApps")),
              QStringLiteral("Quitting all applications cannot work on this desktop: it needs an X11 display, and "
                             "DISPLAY is not set."));
    EXPECT_FALSE(SystemCommands::isAvailable(QStringLiteral("unhideAllApps")));
}

TEST(WindowCommandsUnavailable, InAWaylandSession) {
    ScopedEnv session("XDG_SESSION_TYPE", QByteArray("wayland"));
    EXPECT_EQ(unavailableReason(QStringLiteral("showDesktop")),
              QStringLiteral("Showing the desktop cannot work on this desktop: it works only in an X11 session, "
                             "and this is a Wayland session."));
}

}  // namespace
}  // namespace vantrel::test
