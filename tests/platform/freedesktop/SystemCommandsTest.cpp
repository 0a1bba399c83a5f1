// The system commands against real things: a trash on disk, stand-ins for the
// sound and Bluetooth tools on PATH, private D-Bus daemons with stand-ins for
// logind, the screen saver and the session manager, and private X servers with
// openbox and real windows.
#include "DBusStandIn.h"
#include "kit/VantrelError.h"
#include "platform/freedesktop/FreedesktopSystemActions.h"
#include "platform/freedesktop/SystemCommands.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <atomic>
#include <functional>
#include <mutex>
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

void writeFile(const QString& path, const QByteArray& contents, QFile::Permissions permissions = {}) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(contents);
    file.close();
    if (permissions) file.setPermissions(permissions);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// --- The catalogue -------------------------------------------------------------

TEST(SystemCommandsCatalogue, CarriesOutEveryCommandOfTheSystemPackage) {
    const QStringList expected{"toggleBluetooth",   "ejectAllDisks", "quitAllApps",     "showScreenSaver",
                               "toggleHiddenFiles", "logOutSystem",  "restartSystem",   "shutDownSystem",
                               "emptyTrash",        "appSwitcher",   "searchMenuItems", "setVolume0",
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

TEST(SystemCommandsCatalogue, CommandsWithoutALinuxCounterpartSaySo) {
    for (const QString& id : {QStringLiteral("appSwitcher"), QStringLiteral("searchMenuItems")}) {
        const QString reason = unavailableReason(id);
        EXPECT_TRUE(reason.contains(QLatin1String("is not available on this desktop"))) << reason.toStdString();
        EXPECT_EQ(failureOf(id), reason);
    }
}

// The same commands behind the platform interface the launcher uses.
TEST(SystemCommandsCatalogue, TheDesktopsSystemActionsAreTheseCommands) {
    FreedesktopSystemActions actions;
    EXPECT_EQ(actions.commandIds(), SystemCommands::commandIds());
    EXPECT_TRUE(actions.handles(QStringLiteral("lockScreen")));
    EXPECT_FALSE(actions.handles(QStringLiteral("formatDisk")));
    QString reason;
    EXPECT_FALSE(actions.isAvailable(QStringLiteral("appSwitcher"), &reason));
    EXPECT_EQ(reason, unavailableReason(QStringLiteral("appSwitcher")));
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

    // Puts a file (or folder, when contents is empty and folder is set) in a trash with its .trashinfo.
    void trashItem(const QString& trashFolder, const QString& name, const QByteArray& contents = "text") {
        writeFile(trashFolder + QStringLiteral("/files/") + name, contents);
        writeInfo(trashFolder, name);
    }
    void writeInfo(const QString& trashFolder, const QString& name) {
        writeFile(trashFolder + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo"),
                  "[Trash Info]\nPath=/home/user/" + name.toUtf8() + "\nDeletionDate=2026-12-01T10:00:00\n");
    }
    static QStringList entries(const QString& folder) {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
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
    writeFile(trash() + QStringLiteral("/directorysizes"), "4096 1700000000 Project\n");

    EXPECT_EQ(SystemCommands::run(QStringLiteral("emptyTrash")), QStringLiteral("Trash emptied"));
    EXPECT_EQ(entries(trash() + QStringLiteral("/files")), QStringList());
    EXPECT_EQ(entries(trash() + QStringLiteral("/info")), QStringList());
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
    writeFile(outside.path() + QStringLiteral("/keep/precious.txt"), "precious");
    ASSERT_TRUE(QFile::link(outside.path() + QStringLiteral("/keep"), trash() + QStringLiteral("/files/link-to-dir")));
    writeInfo(trash(), QStringLiteral("link-to-dir"));
    ASSERT_TRUE(QFile::link(outside.path() + QStringLiteral("/keep/precious.txt"),
                            trash() + QStringLiteral("/files/link-to-file")));
    writeInfo(trash(), QStringLiteral("link-to-file"));

    EXPECT_EQ(SystemCommands::run(QStringLiteral("emptyTrash")), QStringLiteral("Trash emptied"));
    EXPECT_EQ(entries(trash() + QStringLiteral("/files")), QStringList());
    EXPECT_EQ(entries(trash() + QStringLiteral("/info")), QStringList());
    EXPECT_EQ(readFile(outside.path() + QStringLiteral("/keep/precious.txt")), QByteArray("precious"));
}

TEST_F(EmptyTrash, DropsInfoFilesLeftWithoutTheirFile) {
    writeInfo(trash(), QStringLiteral("gone-long-ago.txt"));
    QDir().mkpath(trash() + QStringLiteral("/files"));
    EXPECT_EQ(SystemCommands::run(QStringLiteral("emptyTrash")), QStringLiteral("Trash emptied"));
    EXPECT_EQ(entries(trash() + QStringLiteral("/info")), QStringList());
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
    const QString uid = QString::number(getuid());
    const QString topTrash = volumes.path() + QStringLiteral("/.Trash-") + uid;
    trashItem(topTrash, QStringLiteral("from-usb-stick.txt"));
    // The shared .Trash folder (sticky, as the standard asks) with a folder per user.
    const QString shared = volumes.path() + QStringLiteral("/.Trash");
    QDir().mkpath(shared);
    ASSERT_EQ(chmod(QFile::encodeName(shared).constData(), 01777), 0);
    trashItem(shared + QLatin1Char('/') + uid, QStringLiteral("from-shared.txt"));

    EXPECT_EQ(SystemCommands::run(QStringLiteral("emptyTrash")), QStringLiteral("Trash emptied"));
    EXPECT_EQ(entries(topTrash + QStringLiteral("/files")), QStringList());
    EXPECT_EQ(entries(topTrash + QStringLiteral("/info")), QStringList());
    EXPECT_EQ(entries(shared + QLatin1Char('/') + uid + QStringLiteral("/files")), QStringList());
}

TEST_F(EmptyTrash, LeavesASharedTrashAloneUnlessItIsSticky) {
    // Without the sticky bit anyone could have planted the folder: the standard says to skip it.
    const QString shared = volumes.path() + QStringLiteral("/.Trash");
    const QString uid = QString::number(getuid());
    trashItem(shared + QLatin1Char('/') + uid, QStringLiteral("planted.txt"));
    ASSERT_EQ(chmod(QFile::encodeName(shared).constData(), 0777), 0);

    EXPECT_EQ(SystemCommands::run(QStringLiteral("emptyTrash")), QStringLiteral("Trash is already empty"));
    EXPECT_TRUE(QFileInfo::exists(shared + QLatin1Char('/') + uid + QStringLiteral("/files/planted.txt")));
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

    QString path() const { return m_dir.path(); }

    void addTool(const QString& name, const QByteArray& script) {
        writeFile(m_dir.path() + QLatin1Char('/') + name, "#!/bin/sh\n" + script,
                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    void setState(const QByteArray& state) { writeFile(m_dir.path() + QStringLiteral("/state"), state + '\n'); }
    QByteArray state() const { return readFile(m_dir.path() + QStringLiteral("/state")).trimmed(); }
    // The argument lines the tools were called with, one call a line.
    QList<QByteArray> calls() const {
        QList<QByteArray> lines = readFile(m_dir.path() + QStringLiteral("/calls")).split('\n');
        lines.removeAll(QByteArray());
        return lines;
    }

private:
    QTemporaryDir m_dir;
    ScopedEnv m_path;
};

TEST(ToolCommands, MissingToolsAreNamed) {
    ToolFolder tools;  // empty
    const QString volume = QStringLiteral("Changing the volume needs wpctl or pactl, neither is installed.");
    for (const char* id : {"setVolume0", "setVolume25", "setVolume50", "setVolume75", "setVolume100", "turnVolumeDown",
                           "turnVolumeUp", "toggleMute"}) {
        EXPECT_EQ(unavailableReason(QString::fromLatin1(id)), volume) << id;
        EXPECT_EQ(failureOf(QString::fromLatin1(id)), volume) << id;
    }
    const QString bluetooth = QStringLiteral("Toggling Bluetooth needs bluetoothctl or rfkill, neither is installed.");
    EXPECT_EQ(unavailableReason(QStringLiteral("toggleBluetooth")), bluetooth);
    EXPECT_EQ(failureOf(QStringLiteral("toggleBluetooth")), bluetooth);
    const QString displays = QStringLiteral("Sleeping the displays needs xset, which is not installed.");
    EXPECT_EQ(unavailableReason(QStringLiteral("sleepDisplays")), displays);
    EXPECT_EQ(failureOf(QStringLiteral("sleepDisplays")), displays);
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

TEST(VolumeCommandFailures, UnreadableOutputChangesNothing) {
    ToolFolder tools;
    tools.addTool(QStringLiteral("wpctl"),
                  "echo \"$*\" >> \"${0%/*}/calls\"\n"
                  "echo 'Could not connect to PipeWire'\n");
    EXPECT_EQ(failureOf(QStringLiteral("turnVolumeUp")),
              QStringLiteral("Cannot read the volume: wpctl printed \"Could not connect to PipeWire\"."));
    // Only the reading call was made.
    EXPECT_EQ(tools.calls(), QList<QByteArray>{"get-volume @DEFAULT_AUDIO_SINK@"});
}

TEST(VolumeCommandFailures, ToolErrorsAreQuoted) {
    ToolFolder tools;
    tools.addTool(QStringLiteral("pactl"), "echo 'Connection failure: Connection refused' >&2\nexit 1\n");
    EXPECT_EQ(failureOf(QStringLiteral("setVolume25")),
              QStringLiteral("Cannot change the volume: pactl failed: Connection failure: Connection refused"));
}

TEST(VolumeCommandFailures, AToolThatHangsIsStopped) {
    ToolFolder tools;
    tools.addTool(QStringLiteral("wpctl"), "exec /bin/sleep 60\n");
    EXPECT_EQ(failureOf(QStringLiteral("toggleMute")),
              QStringLiteral("Cannot change the volume: wpctl did not finish within 5 seconds."));
}

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

TEST(BluetoothCommand, NoAdapterIsSaid) {
    ToolFolder tools;
    tools.addTool(QStringLiteral("bluetoothctl"), "echo 'No default controller available'\n");
    EXPECT_EQ(failureOf(QStringLiteral("toggleBluetooth")),
              QStringLiteral("Cannot toggle Bluetooth: there is no Bluetooth adapter."));
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

TEST(SleepDisplaysCommand, AServerWithoutPowerManagementIsSaid) {
    ToolFolder tools;
    ScopedEnv display("DISPLAY", QByteArray(":99"));
    ScopedEnv session("XDG_SESSION_TYPE", std::nullopt);
    tools.addTool(QStringLiteral("xset"), "echo 'Server does not have the DPMS Extension'\n");
    EXPECT_EQ(failureOf(QStringLiteral("sleepDisplays")),
              QStringLiteral("Cannot sleep the displays: the X server has no display power management."));
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
        return readFile(QString::fromUtf8(g_get_user_config_dir()) + QStringLiteral("/glib-2.0/settings/keyfile"));
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

// --- D-Bus: logind, the screen saver, the session manager --------------------------------

// A dbus-daemon of the test's own, with no services: the stand-ins below are
// the only ones on it, so tests running at the same time never meet.
class PrivateBus {
public:
    PrivateBus() {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty()) {
            m_problem = QStringLiteral("dbus-daemon is not installed");
            return;
        }
        const QString config = m_dir.path() + QStringLiteral("/bus.conf");
        writeFile(config,
                  "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                  " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                  "<busconfig><type>session</type><listen>unix:path=" +
                      m_dir.path().toUtf8() +
                      "/bus</listen><auth>EXTERNAL</auth>"
                      "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                      "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        m_daemon.start(daemon, {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                                QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
        if (!m_daemon.waitForStarted(5000) || !m_daemon.waitForReadyRead(10000)) {
            m_problem =
                QStringLiteral("dbus-daemon did not start: ") + QString::fromLocal8Bit(m_daemon.readAllStandardError());
            return;
        }
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus() {
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(3000)) m_daemon.kill();
        m_daemon.waitForFinished(1000);
    }

    const QString& problem() const { return m_problem; }
    const QString& address() const { return m_address; }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
    QString m_problem;
};

std::optional<QVariantList> answer(QVariantList values = {}) {
    return values;
}

const QString kLogind = QStringLiteral("org.freedesktop.login1");
const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
const QString kScreenSaver = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kScreenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");

// Both buses are private ones; a test points one of them elsewhere when it needs to.
class BusCommands : public ::testing::Test {
protected:
    void SetUp() override {
        VANTREL_REQUIRE_DESKTOP_OR_SKIP(bus.problem().isEmpty(), bus.problem().toStdString());
        system.emplace("DBUS_SYSTEM_BUS_ADDRESS", bus.address().toUtf8());
        session.emplace("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());
    }
    void noSystemBus() { system.emplace("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + home.path().toUtf8() + "/no-bus"); }

    QTemporaryDir home;
    PrivateBus bus;
    std::optional<ScopedEnv> system;
    std::optional<ScopedEnv> session;
};

TEST_F(BusCommands, WithoutASystemBusPowerCommandsSaySo) {
    noSystemBus();
    const QString message = failureOf(QStringLiteral("restartSystem"));
    EXPECT_TRUE(message.startsWith(QLatin1String("Cannot restart this computer: the system bus cannot be reached (")))
        << message.toStdString();
    EXPECT_FALSE(SystemCommands::isAvailable(QStringLiteral("shutDownSystem")));
}

TEST_F(BusCommands, WithoutLogindPowerCommandsSaySo) {
    EXPECT_EQ(failureOf(QStringLiteral("shutDownSystem")),
              QStringLiteral("Cannot shut down this computer: the login manager (systemd-logind) is not running."));
    EXPECT_EQ(unavailableReason(QStringLiteral("sleep")),
              QStringLiteral("Cannot put this computer to sleep: the login manager (systemd-logind) is not running."));
}

TEST_F(BusCommands, ALogindThatDoesNotAnswerIsGivenUpOn) {
    FakeService logind(bus.address(), kLogind, kLogindPath, [](const QDBusMessage&) { return std::nullopt; });
    EXPECT_EQ(failureOf(QStringLiteral("restartSystem")),
              QStringLiteral("Cannot restart this computer: the login manager (systemd-logind) did not answer within 4 "
                             "seconds."));
    // It asked whether it may, and went no further.
    EXPECT_EQ(logind.calls(), QStringList{"/org/freedesktop/login1 org.freedesktop.login1.Manager.CanReboot()"});
}

struct PowerCase {
    const char* command;
    const char* query;
    const char* answer;
    const char* expected;    // the confirmation, or the error
    const char* actionCall;  // the call that carries it out, or empty
};

void PrintTo(const PowerCase& c, std::ostream* os) {
    *os << c.command << " " << c.answer;
}

class PowerCommands : public BusCommands, public ::testing::WithParamInterface<PowerCase> {};

TEST_P(PowerCommands, AskLogindFirstThenActInteractively) {
    const PowerCase& c = GetParam();
    FakeService logind(bus.address(), kLogind, kLogindPath, [&](const QDBusMessage& message) {
        if (message.member().startsWith(QLatin1String("Can"))) return answer({QString::fromLatin1(c.answer)});
        return answer();
    });
    QString result;
    try {
        result = SystemCommands::run(QString::fromLatin1(c.command));
    } catch (const VantrelError& error) {
        result = error.errorDescription();
    }
    EXPECT_EQ(result, QString::fromUtf8(c.expected));
    QStringList expectedCalls{QStringLiteral("/org/freedesktop/login1 org.freedesktop.login1.Manager.%1()")
                                  .arg(QString::fromLatin1(c.query))};
    if (*c.actionCall) expectedCalls << QString::fromLatin1(c.actionCall);
    EXPECT_EQ(logind.calls(), expectedCalls);
}

INSTANTIATE_TEST_SUITE_P(
    Logind, PowerCommands,
    ::testing::Values(PowerCase{"restartSystem", "CanReboot", "yes", "Restarting…",
                                "/org/freedesktop/login1 org.freedesktop.login1.Manager.Reboot(true)"},
                      PowerCase{"shutDownSystem", "CanPowerOff", "challenge", "Shutting down…",
                                "/org/freedesktop/login1 org.freedesktop.login1.Manager.PowerOff(true)"},
                      PowerCase{"sleep", "CanSuspend", "yes", "Going to sleep…",
                                "/org/freedesktop/login1 org.freedesktop.login1.Manager.Suspend(true)"},
                      PowerCase{"sleep", "CanSuspend", "na",
                                "Cannot put this computer to sleep: this system does not support it.", ""},
                      PowerCase{"restartSystem", "CanReboot", "no",
                                "Cannot restart this computer: you are not allowed to.", ""}),
    [](const auto& test) { return std::string(test.param.command) + "_" + test.param.answer; });

TEST_F(BusCommands, LockScreenLocksTheCurrentLogindSession) {
    FakeService logind(bus.address(), kLogind, kLogindPath, [](const QDBusMessage&) { return answer(); });
    EXPECT_TRUE(SystemCommands::isAvailable(QStringLiteral("lockScreen")));
    EXPECT_EQ(SystemCommands::run(QStringLiteral("lockScreen")), QStringLiteral("Screen locked"));
    EXPECT_EQ(logind.calls(),
              QStringList{"/org/freedesktop/login1/session/auto org.freedesktop.login1.Session.Lock()"});
}

TEST_F(BusCommands, LockScreenFallsBackToTheScreenSaver) {
    noSystemBus();
    FakeService screenSaver(bus.address(), kScreenSaver, kScreenSaverPath,
                            [](const QDBusMessage&) { return answer(); });
    EXPECT_EQ(SystemCommands::run(QStringLiteral("lockScreen")), QStringLiteral("Screen locked"));
    EXPECT_EQ(screenSaver.calls(), QStringList{"/org/freedesktop/ScreenSaver org.freedesktop.ScreenSaver.Lock()"});
}

TEST_F(BusCommands, LockScreenWithNothingToAskNamesWhatIsMissing) {
    noSystemBus();
    const QString message = failureOf(QStringLiteral("lockScreen"));
    EXPECT_TRUE(message.startsWith(QLatin1String("Cannot lock the screen: the system bus cannot be reached (")))
        << message.toStdString();
    EXPECT_TRUE(message.endsWith(QLatin1String("; the screen saver (org.freedesktop.ScreenSaver) is not running.")))
        << message.toStdString();
    EXPECT_FALSE(SystemCommands::isAvailable(QStringLiteral("lockScreen")));
}

TEST_F(BusCommands, ShowScreenSaverActivatesIt) {
    FakeService screenSaver(bus.address(), kScreenSaver, kScreenSaverPath,
                            [](const QDBusMessage&) { return answer({true}); });
    EXPECT_TRUE(SystemCommands::isAvailable(QStringLiteral("showScreenSaver")));
    EXPECT_EQ(SystemCommands::run(QStringLiteral("showScreenSaver")), QStringLiteral("Screen saver started"));
    EXPECT_EQ(screenSaver.calls(),
              QStringList{"/org/freedesktop/ScreenSaver org.freedesktop.ScreenSaver.SetActive(true)"});
}

TEST_F(BusCommands, ShowScreenSaverWithoutOneSaysSo) {
    ToolFolder emptyPath;  // no xdg-screensaver either
    EXPECT_EQ(failureOf(QStringLiteral("showScreenSaver")),
              QStringLiteral("Cannot start the screen saver: the screen saver (org.freedesktop.ScreenSaver) is not "
                             "running; xdg-screensaver is not installed."));
    EXPECT_FALSE(SystemCommands::isAvailable(QStringLiteral("showScreenSaver")));
}

TEST_F(BusCommands, LogOutGoesThroughTheDesktopSessionManager) {
    FakeService gnome(bus.address(), QStringLiteral("org.gnome.SessionManager"),
                      QStringLiteral("/org/gnome/SessionManager"), [](const QDBusMessage&) { return answer(); });
    FakeService logind(bus.address(), kLogind, kLogindPath, [](const QDBusMessage&) { return answer(); });
    EXPECT_EQ(SystemCommands::run(QStringLiteral("logOutSystem")), QStringLiteral("Logging out…"));
    // The desktop's own log-out (which lets applications save), not a hard end of the session.
    EXPECT_EQ(gnome.calls(), QStringList{"/org/gnome/SessionManager org.gnome.SessionManager.Logout(0)"});
    EXPECT_EQ(logind.calls(), QStringList());
}

TEST_F(BusCommands, LogOutEndsTheLogindSessionWithoutASessionManager) {
    FakeService logind(bus.address(), kLogind, kLogindPath, [](const QDBusMessage&) { return answer(); });
    EXPECT_EQ(SystemCommands::run(QStringLiteral("logOutSystem")), QStringLiteral("Logging out…"));
    EXPECT_EQ(logind.calls(),
              QStringList{"/org/freedesktop/login1/session/auto org.freedesktop.login1.Session.Terminate()"});
}

TEST_F(BusCommands, LogOutWithNothingToAskNamesWhatIsMissing) {
    EXPECT_EQ(failureOf(QStringLiteral("logOutSystem")),
              QStringLiteral("Cannot log out: no session manager (GNOME, KDE, Xfce, LXQt) is running; the login "
                             "manager (systemd-logind) is not running."));
}

// --- X11 windows ------------------------------------------------------------------------

// An X server of the test's own (Xvfb), optionally with openbox, so that the
// commands that minimize and close windows never touch another test's windows.
class PrivateDisplay {
public:
    explicit PrivateDisplay(bool withWindowManager) {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        const QString openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
        if (xvfb.isEmpty() || (withWindowManager && openbox.isEmpty())) {
            m_problem = QStringLiteral("Xvfb and openbox are needed for the window tests");
            return;
        }
        // Unread output would fill the pipes and stall the server.
        m_server.setStandardErrorFile(QProcess::nullDevice());
        m_windowManager.setStandardOutputFile(QProcess::nullDevice());
        m_windowManager.setStandardErrorFile(QProcess::nullDevice());
        // -displayfd: the server picks a free display and writes its number once it is ready.
        // -noreset: without it the server resets whenever its last client leaves and
        // refuses the next connection for a moment.
        m_server.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                              QStringLiteral("0"), QStringLiteral("800x600x24"), QStringLiteral("-nolisten"),
                              QStringLiteral("tcp"), QStringLiteral("-noreset")});
        if (!m_server.waitForReadyRead(15000)) {
            m_problem = QStringLiteral("Xvfb did not start");
            return;
        }
        m_display = QStringLiteral(":") + QString::fromLatin1(m_server.readLine()).trimmed();
        m_variable.emplace("DISPLAY", m_display.toUtf8());
        if (!withWindowManager) return;
        m_windowManager.start(openbox, {QStringLiteral("--sm-disable")});
        xcb_connection_t* connection = xcb_connect(m_display.toUtf8().constData(), nullptr);
        const char* kCheck = "_NET_SUPPORTING_WM_CHECK";
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        xcb_intern_atom_reply_t* check = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, uint16_t(strlen(kCheck)), kCheck), nullptr);
        const xcb_atom_t checkAtom = check->atom;
        free(check);
        const bool ready = waitUntil(
            [&] {
                xcb_get_property_reply_t* reply = xcb_get_property_reply(
                    connection, xcb_get_property(connection, 0, root, checkAtom, XCB_ATOM_WINDOW, 0, 1), nullptr);
                const bool found = reply && xcb_get_property_value_length(reply) == 4;
                free(reply);
                return found;
            },
            15000);
        xcb_disconnect(connection);
        if (!ready) m_problem = QStringLiteral("openbox did not start");
    }
    ~PrivateDisplay() {
        for (QProcess* process : {&m_windowManager, &m_server}) {
            if (process->state() == QProcess::NotRunning) continue;
            process->terminate();
            if (!process->waitForFinished(3000)) process->kill();
            process->waitForFinished(1000);
        }
    }

    const QString& problem() const { return m_problem; }
    const QString& display() const { return m_display; }

private:
    QProcess m_server;
    QProcess m_windowManager;
    QString m_display;
    QString m_problem;
    ScopedEnv m_session{"XDG_SESSION_TYPE", std::nullopt};
    std::optional<ScopedEnv> m_variable;
};

// The test's own X client: makes windows as an application would and looks
// at them as a pager would.
class XClient {
public:
    explicit XClient(const QString& display) : m_connection(xcb_connect(display.toUtf8().constData(), nullptr)) {
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    }
    ~XClient() { xcb_disconnect(m_connection); }

    xcb_atom_t atom(const char* name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t value = reply->atom;
        free(reply);
        return value;
    }

    // A top-level application window that accepts WM_DELETE_WINDOW, with the
    // given process id (or none).
    xcb_window_t createWindow(std::optional<uint32_t> pid) {
        const xcb_window_t window = xcb_generate_id(m_connection);
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, m_root, 10, 10, 200, 150, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        const xcb_atom_t deleteWindow = atom("WM_DELETE_WINDOW");
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, atom("WM_PROTOCOLS"), XCB_ATOM_ATOM, 32, 1,
                            &deleteWindow);
        if (pid) {
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32,
                                1, &*pid);
        }
        // A window manager that is still starting may drop the map request:
        // it is repeated until the window is managed.
        QDeadlineTimer nextMap;
        const bool managed = waitUntil([&] {
            if (nextMap.hasExpired()) {
                xcb_map_window(m_connection, window);
                xcb_flush(m_connection);
                nextMap.setRemainingTime(500);
            }
            return contains(property(m_root, "_NET_CLIENT_LIST", XCB_ATOM_WINDOW), window);
        });
        EXPECT_TRUE(managed) << "openbox did not take the window";
        return window;
    }

    std::vector<uint32_t> property(xcb_window_t window, const char* name, xcb_atom_t type) {
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            m_connection, xcb_get_property(m_connection, 0, window, atom(name), type, 0, 1024), nullptr);
        std::vector<uint32_t> values;
        if (reply && reply->format == 32) {
            const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(reply));
            values.assign(data, data + xcb_get_property_value_length(reply) / 4);
        }
        free(reply);
        return values;
    }

    static bool contains(const std::vector<uint32_t>& values, uint32_t value) {
        return std::find(values.begin(), values.end(), value) != values.end();
    }

    bool isHidden(xcb_window_t window) {
        return contains(property(window, "_NET_WM_STATE", XCB_ATOM_ATOM), atom("_NET_WM_STATE_HIDDEN"));
    }
    std::optional<xcb_window_t> activeWindow() {
        const auto active = property(m_root, "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW);
        return active.empty() ? std::nullopt : std::optional<xcb_window_t>(active.front());
    }
    uint32_t showingDesktop() {
        const auto value = property(m_root, "_NET_SHOWING_DESKTOP", XCB_ATOM_CARDINAL);
        return value.empty() ? 0 : value.front();
    }

    // Asks the window manager to activate a window, as a taskbar would.
    void activate(xcb_window_t window) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = atom("_NET_ACTIVE_WINDOW");
        event.data.data32[0] = 2;
        xcb_send_event(m_connection, 0, m_root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
        xcb_flush(m_connection);
        EXPECT_TRUE(waitUntil([&] { return activeWindow() == window; })) << "the window did not become active";
    }

    // The windows the window manager asked to close (WM_DELETE_WINDOW) so far.
    const std::vector<xcb_window_t>& closeRequests() {
        const xcb_atom_t protocols = atom("WM_PROTOCOLS");
        const xcb_atom_t deleteWindow = atom("WM_DELETE_WINDOW");
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
                if (message->type == protocols && message->data.data32[0] == deleteWindow) {
                    m_closeRequests.push_back(message->window);
                }
            }
            free(event);
        }
        return m_closeRequests;
    }

private:
    xcb_connection_t* m_connection;
    xcb_window_t m_root = 0;
    std::vector<xcb_window_t> m_closeRequests;
};

constexpr uint32_t kEditorPid = 4000001;  // pretend processes of other applications
constexpr uint32_t kBrowserPid = 4000002;

class WindowCommands : public ::testing::Test {
protected:
    void SetUp() override {
        VANTREL_REQUIRE_DESKTOP_OR_SKIP(desktop.problem().isEmpty(), desktop.problem().toStdString());
        client.emplace(desktop.display());
    }
    QString run(const char* id) { return SystemCommands::run(QString::fromLatin1(id)); }

    PrivateDisplay desktop{true};
    std::optional<XClient> client;
};

TEST_F(WindowCommands, ShowDesktopTogglesTheWindowManagersDesktopMode) {
    EXPECT_TRUE(SystemCommands::isAvailable(QStringLiteral("showDesktop")));
    client->createWindow(kEditorPid);
    EXPECT_EQ(run("showDesktop"), QStringLiteral("Showing the desktop"));
    EXPECT_TRUE(waitUntil([&] { return client->showingDesktop() == 1; }));
    EXPECT_EQ(run("showDesktop"), QStringLiteral("Windows shown again"));
    EXPECT_TRUE(waitUntil([&] { return client->showingDesktop() == 0; }));
}

TEST_F(WindowCommands, HideAllAppsKeepsTheFrontmostApplicationAndUnhideBringsTheRestBack) {
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

TEST_F(WindowCommands, WhenVantrelIsFrontmostTheTopmostOtherApplicationStays) {
    const xcb_window_t editor = client->createWindow(kEditorPid);
    const xcb_window_t browser = client->createWindow(kBrowserPid);
    const xcb_window_t own = client->createWindow(uint32_t(getpid()));
    client->activate(own);

    EXPECT_EQ(run("hideAllApps"), QStringLiteral("Hid 1 window"));
    EXPECT_TRUE(waitUntil([&] { return client->isHidden(editor); }));
    EXPECT_FALSE(client->isHidden(browser));
    EXPECT_FALSE(client->isHidden(own));
}

TEST_F(WindowCommands, QuitAllAppsAsksEveryOtherApplicationToClose) {
    const xcb_window_t editor = client->createWindow(kEditorPid);
    const xcb_window_t browser = client->createWindow(kBrowserPid);
    const xcb_window_t secondBrowser = client->createWindow(kBrowserPid);
    const xcb_window_t own = client->createWindow(uint32_t(getpid()));

    EXPECT_EQ(run("quitAllApps"), QStringLiteral("Asked 2 applications to quit"));
    EXPECT_TRUE(waitUntil([&] { return client->closeRequests().size() >= 3; }))
        << "the window manager passed on " << client->closeRequests().size() << " close requests";
    const std::vector<xcb_window_t> asked = client->closeRequests();
    EXPECT_TRUE(XClient::contains(asked, editor));
    EXPECT_TRUE(XClient::contains(asked, browser));
    EXPECT_TRUE(XClient::contains(asked, secondBrowser));
    EXPECT_FALSE(XClient::contains(asked, own));
}

TEST_F(WindowCommands, NothingToDoIsSaid) {
    EXPECT_EQ(run("quitAllApps"), QStringLiteral("No applications to quit"));
    EXPECT_EQ(run("hideAllApps"), QStringLiteral("No other windows to hide"));
    EXPECT_EQ(run("unhideAllApps"), QStringLiteral("No hidden windows"));
}

TEST(WindowCommandsUnavailable, WithoutAWindowManager) {
    PrivateDisplay bare(false);
    VANTREL_REQUIRE_DESKTOP_OR_SKIP(bare.problem().isEmpty(), bare.problem().toStdString());
    EXPECT_EQ(unavailableReason(QStringLiteral("showDesktop")),
              QStringLiteral("Showing the desktop is not available on this desktop: no window manager that follows "
                             "the EWMH conventions is running."));
    EXPECT_EQ(failureOf(QStringLiteral("hideAllApps")),
              QStringLiteral("Hiding applications is not available on this desktop: no window manager that follows "
                             "the EWMH conventions is running."));
}

TEST(WindowCommandsUnavailable, WithoutADisplay) {
    ScopedEnv display("DISPLAY", std::nullopt);
    ScopedEnv session("XDG_SESSION_TYPE", std::nullopt);
    EXPECT_EQ(failureOf(QStringLiteral("quitAllApps")),
              QStringLiteral("Quitting all applications is not available on this desktop: it needs an X11 display, and "
                             "DISPLAY is not set."));
    EXPECT_FALSE(SystemCommands::isAvailable(QStringLiteral("unhideAllApps")));
}

TEST(WindowCommandsUnavailable, InAWaylandSession) {
    ScopedEnv session("XDG_SESSION_TYPE", QByteArray("wayland"));
    EXPECT_EQ(unavailableReason(QStringLiteral("showDesktop")),
              QStringLiteral("Showing the desktop is not available on this desktop: it works only in an X11 session, "
                             "and this is a Wayland session."));
}

}  // namespace
}  // namespace vantrel::test
