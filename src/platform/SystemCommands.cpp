#include "platform/SystemCommands.h"

#include "kit/Logger.h"
#include "kit/VantrelError.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTimer>

#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/GioHeaders.h"

namespace vantrel {

namespace {

const Logger& logger() {
    static const Logger instance(Logger::Category{QStringLiteral("SystemCommands"), QStringLiteral("⚙️")});
    return instance;
}

// How long a command-line tool may take before it is stopped.
constexpr int kToolTimeoutMs = 5000;
// How long a D-Bus service may take to answer a question or a plain request.
constexpr int kBusTimeoutMs = 4000;
// Requests that may wait for the user to authenticate (polkit) get longer.
constexpr int kInteractiveBusTimeoutMs = 120000;
// How long ejecting the disks may take in all.
constexpr int kEjectTimeoutMs = 30000;
// One step of "Turn Volume Up/Down", in percent.
constexpr int kVolumeStep = 5;

QString seconds(int milliseconds) {
    return QString::number(milliseconds / 1000);
}

// --- Command-line tools --------------------------------------------------

QString findTool(const char* name) {
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

struct ToolOutput {
    int exitCode = 0;
    QString standardOutput;
    QString standardError;

    // The first non-empty line the tool wrote, error output first.
    QString message() const {
        for (const QString* text : {&standardError, &standardOutput}) {
            for (const QString& line : text->split(QLatin1Char('\n'))) {
                if (!line.trimmed().isEmpty()) return line.trimmed();
            }
        }
        return QStringLiteral("exit status %1").arg(exitCode);
    }
};

// Runs a tool directly (never through a shell) with no input, and stops it
// when it takes longer than the timeout.
ToolOutput runTool(const QString& program, const QStringList& arguments, int timeoutMs = kToolTimeoutMs) {
    const QString name = QFileInfo(program).fileName();
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    logger().debug("Running tool",
                   {{QStringLiteral("tool"), name}, {QStringLiteral("arguments"), arguments.join(' ')}});
    process.start();
    if (!process.waitForStarted(timeoutMs)) {
        throw VantrelError(QStringLiteral("Could not start %1: %2.").arg(name, process.errorString()));
    }
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        throw VantrelError(QStringLiteral("%1 did not finish within %2 seconds.").arg(name, seconds(timeoutMs)));
    }
    if (process.exitStatus() != QProcess::NormalExit) {
        throw VantrelError(QStringLiteral("%1 stopped unexpectedly.").arg(name));
    }
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

// Runs a tool that must succeed; a non-zero exit becomes "<what>: <tool> failed: <its message>".
ToolOutput runToolOrThrow(const QString& program, const QStringList& arguments, const QString& what) {
    ToolOutput output;
    try {
        output = runTool(program, arguments);
    } catch (const VantrelError& error) {
        throw VantrelError(QStringLiteral("%1: %2").arg(what, error.errorDescription()));
    }
    if (output.exitCode != 0) {
        throw VantrelError(
            QStringLiteral("%1: %2 failed: %3").arg(what, QFileInfo(program).fileName(), output.message()));
    }
    return output;
}

// --- D-Bus ---------------------------------------------------------------

const QString kLogindService = QStringLiteral("org.freedesktop.login1");
const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
const QString kLogindManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kLogindSession = QStringLiteral("org.freedesktop.login1.Session");
// logind resolves "auto" to the caller's session, or the user's display session.
const QString kCurrentSessionPath = QStringLiteral("/org/freedesktop/login1/session/auto");
const QString kLoginManagerName = QStringLiteral("the login manager (systemd-logind)");

// A private connection to the system or session bus, made for one command
// and closed afterwards. The bus address is read when the command runs, so a
// bus that appears (or moves) later is found.
class BusConnection {
public:
    enum class Kind { System, Session };

    explicit BusConnection(Kind kind)
        : m_kind(kind),
          m_name(QStringLiteral("vantrel-system-commands-%1").arg(s_counter.fetch_add(1))),
          m_connection(QStringLiteral("unconnected")) {
        const QString address = busAddress();
        if (address.isEmpty()) {
            m_problem = QStringLiteral("the session bus is not running (DBUS_SESSION_BUS_ADDRESS is not set)");
            return;
        }
        m_connection = QDBusConnection::connectToBus(address, m_name);
        if (!m_connection.isConnected()) {
            m_problem = QStringLiteral("the %1 bus cannot be reached (%2)")
                            .arg(m_kind == Kind::System ? QStringLiteral("system") : QStringLiteral("session"),
                                 m_connection.lastError().message());
        }
    }
    ~BusConnection() { QDBusConnection::disconnectFromBus(m_name); }
    BusConnection(const BusConnection&) = delete;
    BusConnection& operator=(const BusConnection&) = delete;

    bool isConnected() const { return m_problem.isEmpty(); }
    // Why there is no connection, as part of a sentence.
    const QString& problem() const { return m_problem; }

    QDBusMessage call(const QString& service, const QString& path, const QString& interface, const QString& method,
                      const QVariantList& arguments = {}, int timeoutMs = kBusTimeoutMs) const {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
        message.setArguments(arguments);
        return m_connection.call(message, QDBus::Block, timeoutMs);
    }

    // Whether a service is running on the bus or can be started by it.
    bool hasService(const QString& service) const {
        if (!isConnected()) return false;
        const auto ask = [&](const QString& method, const QVariantList& arguments) {
            return call(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                        QStringLiteral("org.freedesktop.DBus"), method, arguments);
        };
        const QDBusMessage owner = ask(QStringLiteral("NameHasOwner"), {service});
        if (owner.type() == QDBusMessage::ReplyMessage && owner.arguments().value(0).toBool()) return true;
        const QDBusMessage activatable = ask(QStringLiteral("ListActivatableNames"), {});
        return activatable.type() == QDBusMessage::ReplyMessage &&
               activatable.arguments().value(0).toStringList().contains(service);
    }

private:
    QString busAddress() const {
        if (m_kind == Kind::System) {
            const QString address = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
            return address.isEmpty() ? QStringLiteral("unix:path=/var/run/dbus/system_bus_socket") : address;
        }
        const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
        if (!address.isEmpty()) return address;
        // Desktops started by systemd put the session bus at a fixed place.
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (!runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"))) {
            return QStringLiteral("unix:path=%1/bus").arg(runtime);
        }
        return {};
    }

    static inline std::atomic<int> s_counter{0};
    Kind m_kind;
    QString m_name;
    QDBusConnection m_connection;
    QString m_problem;
};

bool succeeded(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ReplyMessage;
}

// What went wrong with a call, as the end of a sentence naming the service:
// "… is not running", "… did not answer within 4 seconds", "… refused: …".
QString callProblem(const QDBusMessage& reply, int timeoutMs = kBusTimeoutMs) {
    const QString name = reply.errorName();
    if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
        return QStringLiteral("is not running");
    }
    if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
        name == QLatin1String("org.freedesktop.DBus.Error.Timeout") ||
        name == QLatin1String("org.freedesktop.DBus.Error.TimedOut")) {
        return QStringLiteral("did not answer within %1 seconds").arg(seconds(timeoutMs));
    }
    if (name == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod") ||
        name == QLatin1String("org.freedesktop.DBus.Error.UnknownObject") ||
        name == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface")) {
        return QStringLiteral("does not offer this");
    }
    const QString message = reply.errorMessage().isEmpty() ? name : reply.errorMessage();
    return QStringLiteral("refused: %1").arg(message);
}

// --- logind: power and session --------------------------------------------

struct PowerAction {
    const char* commandId;
    const char* query;   // "CanReboot"
    const char* method;  // "Reboot"
    const char* what;    // "restart this computer"
    const char* confirmation;
};

const PowerAction kPowerActions[] = {
    {"restartSystem", "CanReboot", "Reboot", "restart this computer", "Restarting…"},
    {"shutDownSystem", "CanPowerOff", "PowerOff", "shut down this computer", "Shutting down…"},
    {"sleep", "CanSuspend", "Suspend", "put this computer to sleep", "Going to sleep…"},
};

const PowerAction& powerAction(const QString& commandId) {
    for (const PowerAction& action : kPowerActions) {
        if (commandId == QLatin1String(action.commandId)) return action;
    }
    Q_UNREACHABLE();
}

// Why logind will not carry out the action, or empty when it will (perhaps
// after asking the user to authenticate).
QString powerActionProblem(const BusConnection& bus, const PowerAction& action) {
    const QString cannot = QStringLiteral("Cannot %1: ").arg(QString::fromLatin1(action.what));
    if (!bus.isConnected()) return cannot + bus.problem() + QLatin1Char('.');
    const QDBusMessage reply = bus.call(kLogindService, kLogindPath, kLogindManager, QString::fromLatin1(action.query));
    if (!succeeded(reply)) return cannot + kLoginManagerName + QLatin1Char(' ') + callProblem(reply) + QLatin1Char('.');
    const QString answer = reply.arguments().value(0).toString();
    if (answer == QLatin1String("yes") || answer == QLatin1String("challenge")) return {};
    if (answer == QLatin1String("na")) return cannot + QStringLiteral("this system does not support it.");
    if (answer == QLatin1String("no")) return cannot + QStringLiteral("you are not allowed to.");
    return cannot + QStringLiteral("%1 answered \"%2\".").arg(kLoginManagerName, answer);
}

QString runPowerAction(const QString& commandId) {
    const PowerAction& action = powerAction(commandId);
    BusConnection bus(BusConnection::Kind::System);
    const QString problem = powerActionProblem(bus, action);
    if (!problem.isEmpty()) throw VantrelError(problem);
    // interactive = true: polkit may ask the user to authenticate.
    const QDBusMessage reply = bus.call(kLogindService, kLogindPath, kLogindManager, QString::fromLatin1(action.method),
                                        {true}, kInteractiveBusTimeoutMs);
    if (!succeeded(reply)) {
        throw VantrelError(QStringLiteral("Cannot %1: %2 %3.")
                               .arg(QString::fromLatin1(action.what), kLoginManagerName,
                                    callProblem(reply, kInteractiveBusTimeoutMs)));
    }
    logger().info("Power action requested", {{QStringLiteral("action"), QString::fromLatin1(action.method)}});
    return QString::fromUtf8(action.confirmation);
}

const QString kScreenSaverService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kScreenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString kScreenSaverName = QStringLiteral("the screen saver (org.freedesktop.ScreenSaver)");

QString lockScreen() {
    QStringList problems;
    {
        BusConnection system(BusConnection::Kind::System);
        if (system.isConnected()) {
            const QDBusMessage reply =
                system.call(kLogindService, kCurrentSessionPath, kLogindSession, QStringLiteral("Lock"));
            if (succeeded(reply)) return QStringLiteral("Screen locked");
            problems << kLoginManagerName + QLatin1Char(' ') + callProblem(reply);
        } else {
            problems << system.problem();
        }
    }
    BusConnection session(BusConnection::Kind::Session);
    if (session.isConnected()) {
        const QDBusMessage reply =
            session.call(kScreenSaverService, kScreenSaverPath, kScreenSaverService, QStringLiteral("Lock"));
        if (succeeded(reply)) return QStringLiteral("Screen locked");
        problems << kScreenSaverName + QLatin1Char(' ') + callProblem(reply);
    } else {
        problems << session.problem();
    }
    throw VantrelError(QStringLiteral("Cannot lock the screen: %1.").arg(problems.join(QStringLiteral("; "))));
}

QString showScreenSaver() {
    QStringList problems;
    {
        BusConnection session(BusConnection::Kind::Session);
        if (session.isConnected()) {
            const QDBusMessage reply = session.call(kScreenSaverService, kScreenSaverPath, kScreenSaverService,
                                                    QStringLiteral("SetActive"), {true});
            // The answer says whether it started; GNOME Shell answers nothing.
            const bool started = reply.arguments().isEmpty() || reply.arguments().constFirst().toBool();
            if (succeeded(reply) && started) return QStringLiteral("Screen saver started");
            problems << kScreenSaverName + QLatin1Char(' ') +
                            (succeeded(reply) ? QStringLiteral("refused to start") : callProblem(reply));
            // GNOME Shell also answers under its own name.
            const QDBusMessage gnome =
                session.call(QStringLiteral("org.gnome.ScreenSaver"), QStringLiteral("/org/gnome/ScreenSaver"),
                             QStringLiteral("org.gnome.ScreenSaver"), QStringLiteral("SetActive"), {true});
            if (succeeded(gnome)) return QStringLiteral("Screen saver started");
        } else {
            problems << session.problem();
        }
    }
    const QString tool = findTool("xdg-screensaver");
    if (tool.isEmpty()) {
        problems << QStringLiteral("xdg-screensaver is not installed");
        throw VantrelError(
            QStringLiteral("Cannot start the screen saver: %1.").arg(problems.join(QStringLiteral("; "))));
    }
    runToolOrThrow(tool, {QStringLiteral("activate")}, QStringLiteral("Cannot start the screen saver"));
    return QStringLiteral("Screen saver started");
}

// The session managers that can end the session with the desktop's own
// log-out (which lets applications save their work), in the order tried.
struct SessionManager {
    const char* service;
    const char* path;
    const char* interface;
    const char* method;
    std::function<QVariantList()> arguments;
};

const std::vector<SessionManager>& sessionManagers() {
    static const std::vector<SessionManager> managers = {
        // GNOME, Cinnamon, MATE, Budgie: mode 0 is the normal log-out, which may ask to confirm.
        {"org.gnome.SessionManager", "/org/gnome/SessionManager", "org.gnome.SessionManager", "Logout",
         [] { return QVariantList{QVariant::fromValue(uint(0))}; }},
        // KDE Plasma 5.25 and later: the log-out prompt.
        {"org.kde.LogoutPrompt", "/LogoutPrompt", "org.kde.LogoutPrompt", "promptLogout",
         [] { return QVariantList{}; }},
        // Older Plasma: confirm = yes, type = log out, mode = interactive.
        {"org.kde.ksmserver", "/KSMServer", "org.kde.KSMServerInterface", "logout",
         [] {
             return QVariantList{1, 0, 3};
         }},
        // Xfce: show the dialog, allow saving the session.
        {"org.xfce.SessionManager", "/org/xfce/SessionManager", "org.xfce.Session.Manager", "Logout",
         [] {
             return QVariantList{true, true};
         }},
        {"org.lxqt.session", "/LXQtSession", "org.lxqt.session", "logout", [] { return QVariantList{}; }},
    };
    return managers;
}

QString logOut() {
    QStringList problems;
    {
        BusConnection session(BusConnection::Kind::Session);
        if (session.isConnected()) {
            bool found = false;
            for (const SessionManager& manager : sessionManagers()) {
                const QString service = QString::fromLatin1(manager.service);
                if (!session.hasService(service)) continue;
                found = true;
                const QDBusMessage reply =
                    session.call(service, QString::fromLatin1(manager.path), QString::fromLatin1(manager.interface),
                                 QString::fromLatin1(manager.method), manager.arguments(), kInteractiveBusTimeoutMs);
                if (succeeded(reply)) return QStringLiteral("Logging out…");
                problems << QStringLiteral("the session manager %1 %2").arg(service, callProblem(reply));
            }
            if (!found) problems << QStringLiteral("no session manager (GNOME, KDE, Xfce, LXQt) is running");
        } else {
            problems << session.problem();
        }
    }
    BusConnection system(BusConnection::Kind::System);
    if (system.isConnected()) {
        const QDBusMessage reply =
            system.call(kLogindService, kCurrentSessionPath, kLogindSession, QStringLiteral("Terminate"));
        if (succeeded(reply)) return QStringLiteral("Logging out…");
        problems << kLoginManagerName + QLatin1Char(' ') + callProblem(reply);
    } else {
        problems << system.problem();
    }
    throw VantrelError(QStringLiteral("Cannot log out: %1.").arg(problems.join(QStringLiteral("; "))));
}

// --- Sound volume ---------------------------------------------------------

struct VolumeState {
    int percent = 0;
    bool muted = false;
};

// The default output of PipeWire (wpctl) or PulseAudio (pactl).
class Mixer {
public:
    static std::optional<Mixer> find() {
        if (QString wpctl = findTool("wpctl"); !wpctl.isEmpty()) return Mixer(Tool::Wpctl, wpctl);
        if (QString pactl = findTool("pactl"); !pactl.isEmpty()) return Mixer(Tool::Pactl, pactl);
        return std::nullopt;
    }
    static QString missing() {
        return QStringLiteral("Changing the volume needs wpctl or pactl, neither is installed.");
    }

    VolumeState state() const {
        VolumeState result;
        if (m_tool == Tool::Wpctl) {
            // "Volume: 0.40" or "Volume: 0.40 [MUTED]"
            const ToolOutput output = run({QStringLiteral("get-volume"), QStringLiteral("@DEFAULT_AUDIO_SINK@")});
            static const QRegularExpression pattern(QStringLiteral("Volume:\\s*([0-9]+(?:\\.[0-9]+)?)"));
            const auto match = pattern.match(output.standardOutput);
            if (!match.hasMatch()) throw unreadable(output);
            result.percent = int(std::lround(match.captured(1).toDouble() * 100.0));
            result.muted = output.standardOutput.contains(QLatin1String("[MUTED]"));
            return result;
        }
        // "Volume: front-left: 26214 /  40% / -23.88 dB,   front-right: …"
        const ToolOutput volume = run({QStringLiteral("get-sink-volume"), QStringLiteral("@DEFAULT_SINK@")});
        static const QRegularExpression percent(QStringLiteral("([0-9]+)%"));
        const auto match = percent.match(volume.standardOutput);
        if (!match.hasMatch()) throw unreadable(volume);
        result.percent = match.captured(1).toInt();
        const ToolOutput mute = run({QStringLiteral("get-sink-mute"), QStringLiteral("@DEFAULT_SINK@")});
        result.muted = mute.standardOutput.contains(QLatin1String("yes"));
        return result;
    }

    void setPercent(int percent) const {
        if (m_tool == Tool::Wpctl) {
            run({QStringLiteral("set-volume"), QStringLiteral("@DEFAULT_AUDIO_SINK@"),
                 QStringLiteral("%1%").arg(percent)});
        } else {
            run({QStringLiteral("set-sink-volume"), QStringLiteral("@DEFAULT_SINK@"),
                 QStringLiteral("%1%").arg(percent)});
        }
    }

    void setMuted(bool muted) const {
        const QString value = muted ? QStringLiteral("1") : QStringLiteral("0");
        if (m_tool == Tool::Wpctl) {
            run({QStringLiteral("set-mute"), QStringLiteral("@DEFAULT_AUDIO_SINK@"), value});
        } else {
            run({QStringLiteral("set-sink-mute"), QStringLiteral("@DEFAULT_SINK@"), value});
        }
    }

private:
    enum class Tool { Wpctl, Pactl };
    Mixer(Tool tool, QString path) : m_tool(tool), m_path(std::move(path)) {}

    ToolOutput run(const QStringList& arguments) const {
        return runToolOrThrow(m_path, arguments, QStringLiteral("Cannot change the volume"));
    }
    VantrelError unreadable(const ToolOutput& output) const {
        return VantrelError(QStringLiteral("Cannot read the volume: %1 printed \"%2\".")
                                .arg(QFileInfo(m_path).fileName(), output.standardOutput.trimmed()));
    }

    Tool m_tool;
    QString m_path;
};

QString describeVolume(const VolumeState& state) {
    return state.muted ? QStringLiteral("Volume %1% (muted)").arg(state.percent)
                       : QStringLiteral("Volume %1%").arg(state.percent);
}

QString runVolumeCommand(const QString& commandId) {
    const std::optional<Mixer> mixer = Mixer::find();
    if (!mixer) throw VantrelError(Mixer::missing());

    static const QRegularExpression setLevel(QStringLiteral("^setVolume([0-9]+)$"));
    if (const auto match = setLevel.match(commandId); match.hasMatch()) {
        const int level = match.captured(1).toInt();
        mixer->setPercent(level);
        // A level above zero is meant to be heard.
        if (level > 0) mixer->setMuted(false);
        return QStringLiteral("Volume set to %1%").arg(level);
    }
    const VolumeState current = mixer->state();
    if (commandId == QLatin1String("toggleMute")) {
        mixer->setMuted(!current.muted);
        return current.muted ? QStringLiteral("Sound on, volume %1%").arg(current.percent) : QStringLiteral("Muted");
    }
    const bool up = commandId == QLatin1String("turnVolumeUp");
    int level = current.percent;
    if (up) {
        // Never lowers a level that someone amplified above 100%.
        if (level < 100) level = std::min(100, level + kVolumeStep);
    } else {
        level = std::max(0, level - kVolumeStep);
    }
    if (level != current.percent) mixer->setPercent(level);
    if (up && current.muted) mixer->setMuted(false);
    return describeVolume({level, up ? false : current.muted});
}

// --- Bluetooth --------------------------------------------------------------

QString toggleBluetooth() {
    const QString bluetoothctl = findTool("bluetoothctl");
    const QString rfkill = findTool("rfkill");
    if (bluetoothctl.isEmpty() && rfkill.isEmpty()) {
        throw VantrelError(QStringLiteral("Toggling Bluetooth needs bluetoothctl or rfkill, neither is installed."));
    }
    const QString what = QStringLiteral("Cannot toggle Bluetooth");
    QString bluetoothdProblem;
    if (!bluetoothctl.isEmpty()) {
        // --timeout: bluetoothctl otherwise waits forever for a missing bluetoothd.
        const ToolOutput shown =
            runTool(bluetoothctl, {QStringLiteral("--timeout"), QStringLiteral("2"), QStringLiteral("show")});
        static const QRegularExpression powered(QStringLiteral("Powered:\\s*(yes|no)"));
        const auto match = powered.match(shown.standardOutput);
        if (match.hasMatch()) {
            const bool on = match.captured(1) == QLatin1String("yes");
            runToolOrThrow(bluetoothctl,
                           {QStringLiteral("--timeout"), QStringLiteral("5"), QStringLiteral("power"),
                            on ? QStringLiteral("off") : QStringLiteral("on")},
                           what);
            return on ? QStringLiteral("Bluetooth off") : QStringLiteral("Bluetooth on");
        }
        const QString all = shown.standardOutput + shown.standardError;
        bluetoothdProblem = all.contains(QLatin1String("No default controller"), Qt::CaseInsensitive)
                                ? QStringLiteral("there is no Bluetooth adapter")
                                : QStringLiteral("the Bluetooth service (bluetoothd) is not running");
        if (rfkill.isEmpty()) throw VantrelError(QStringLiteral("%1: %2.").arg(what, bluetoothdProblem));
    }
    // rfkill: "0: hci0: Bluetooth\n\tSoft blocked: no\n\tHard blocked: no"
    const ToolOutput listed = runToolOrThrow(rfkill, {QStringLiteral("list"), QStringLiteral("bluetooth")}, what);
    if (!listed.standardOutput.contains(QLatin1String("Soft blocked"))) {
        throw VantrelError(QStringLiteral("%1: there is no Bluetooth adapter.").arg(what));
    }
    if (listed.standardOutput.contains(QLatin1String("Hard blocked: yes"))) {
        throw VantrelError(QStringLiteral("%1: Bluetooth is switched off by a hardware switch.").arg(what));
    }
    const bool blocked = listed.standardOutput.contains(QLatin1String("Soft blocked: yes"));
    runToolOrThrow(rfkill, {blocked ? QStringLiteral("unblock") : QStringLiteral("block"), QStringLiteral("bluetooth")},
                   what);
    return blocked ? QStringLiteral("Bluetooth on") : QStringLiteral("Bluetooth off");
}

// --- Desktop settings (GSettings) ------------------------------------------

// One GSettings key of a schema that may not be installed.
class DesktopSetting {
public:
    DesktopSetting(const char* schemaId, const char* key) : m_key(key) {
        GSettingsSchemaSource* source = g_settings_schema_source_get_default();
        GSettingsSchema* schema = source ? g_settings_schema_source_lookup(source, schemaId, TRUE) : nullptr;
        if (!schema) {
            m_problem = QStringLiteral("the settings schema %1 is not installed").arg(QString::fromLatin1(schemaId));
            return;
        }
        const bool hasKey = g_settings_schema_has_key(schema, key);
        g_settings_schema_unref(schema);
        if (!hasKey) {
            m_problem = QStringLiteral("the settings schema %1 has no key %2")
                            .arg(QString::fromLatin1(schemaId), QString::fromLatin1(key));
            return;
        }
        m_settings = g_settings_new(schemaId);
        GSettingsBackend* backend = nullptr;
        g_object_get(m_settings, "backend", &backend, nullptr);
        // The in-memory backend keeps nothing and tells no other program.
        const bool keepsNothing = backend && qstrcmp(G_OBJECT_TYPE_NAME(backend), "GMemorySettingsBackend") == 0;
        if (backend) g_object_unref(backend);
        if (keepsNothing)
            m_problem = QStringLiteral("desktop settings are not stored on this system (dconf is missing)");
    }
    ~DesktopSetting() {
        if (m_settings) g_object_unref(m_settings);
    }
    DesktopSetting(const DesktopSetting&) = delete;
    DesktopSetting& operator=(const DesktopSetting&) = delete;

    bool isUsable() const { return m_problem.isEmpty(); }
    const QString& problem() const { return m_problem; }

    bool boolean() const { return g_settings_get_boolean(m_settings, m_key); }
    void setBoolean(bool value) { write(g_settings_set_boolean(m_settings, m_key, value)); }
    QString string() const {
        gchar* value = g_settings_get_string(m_settings, m_key);
        QString result = QString::fromUtf8(value);
        g_free(value);
        return result;
    }
    void setString(const QString& value) {
        write(g_settings_set_string(m_settings, m_key, value.toUtf8().constData()));
    }

private:
    void write(gboolean accepted) {
        if (!accepted)
            throw VantrelError(
                QStringLiteral("The desktop settings refused a change of %1.").arg(QString::fromLatin1(m_key)));
        // Hands the change to dconf before the command reports it.
        g_settings_sync();
    }

    const char* m_key;
    GSettings* m_settings = nullptr;
    QString m_problem;
};

// GTK 3 and GTK 4 file choosers (and the file managers built on them) keep
// the choice in schemas of their own.
constexpr const char* kFileChooserSchemas[] = {"org.gtk.Settings.FileChooser", "org.gtk.gtk4.Settings.FileChooser"};
constexpr const char* kShowHiddenKey = "show-hidden";
constexpr const char* kInterfaceSchema = "org.gnome.desktop.interface";
constexpr const char* kColorSchemeKey = "color-scheme";

QString hiddenFilesProblem() {
    DesktopSetting primary(kFileChooserSchemas[0], kShowHiddenKey);
    if (primary.isUsable()) return {};
    return QStringLiteral("Toggling hidden files is not available on this desktop: %1.").arg(primary.problem());
}

QString toggleHiddenFiles() {
    if (const QString problem = hiddenFilesProblem(); !problem.isEmpty()) throw VantrelError(problem);
    DesktopSetting primary(kFileChooserSchemas[0], kShowHiddenKey);
    const bool show = !primary.boolean();
    primary.setBoolean(show);
    DesktopSetting gtk4(kFileChooserSchemas[1], kShowHiddenKey);
    if (gtk4.isUsable()) gtk4.setBoolean(show);
    return show ? QStringLiteral("Hidden files shown") : QStringLiteral("Hidden files hidden");
}

QString appearanceProblem() {
    DesktopSetting setting(kInterfaceSchema, kColorSchemeKey);
    if (setting.isUsable()) return {};
    return QStringLiteral("Toggling the system appearance is not available on this desktop: %1.")
        .arg(setting.problem());
}

QString toggleSystemAppearance() {
    if (const QString problem = appearanceProblem(); !problem.isEmpty()) throw VantrelError(problem);
    DesktopSetting setting(kInterfaceSchema, kColorSchemeKey);
    const bool dark = setting.string() != QLatin1String("prefer-dark");
    setting.setString(dark ? QStringLiteral("prefer-dark") : QStringLiteral("default"));
    return dark ? QStringLiteral("Dark appearance") : QStringLiteral("Light appearance");
}

// --- Trash -------------------------------------------------------------------

// Removes a file, link or whole folder without following links. Folders
// without write or search permission (read-only trashed folders) are opened
// up first. Returns the first error, or empty.
QString removeTree(const QByteArray& path) {
    struct stat info {};
    if (lstat(path.constData(), &info) != 0) {
        return errno == ENOENT ? QString() : QString::fromLocal8Bit(std::strerror(errno));
    }
    if (!S_ISDIR(info.st_mode)) {
        if (unlink(path.constData()) == 0 || errno == ENOENT) return {};
        return QString::fromLocal8Bit(std::strerror(errno));
    }
    if ((info.st_mode & S_IRWXU) != S_IRWXU) chmod(path.constData(), info.st_mode | S_IRWXU);
    QString firstError;
    if (DIR* folder = opendir(path.constData())) {
        std::vector<QByteArray> children;
        while (const dirent* entry = readdir(folder)) {
            if (qstrcmp(entry->d_name, ".") == 0 || qstrcmp(entry->d_name, "..") == 0) continue;
            children.push_back(path + '/' + entry->d_name);
        }
        closedir(folder);
        for (const QByteArray& child : children) {
            const QString error = removeTree(child);
            if (firstError.isEmpty() && !error.isEmpty()) firstError = error;
        }
    } else {
        return QString::fromLocal8Bit(std::strerror(errno));
    }
    if (rmdir(path.constData()) == 0 || errno == ENOENT) return {};
    return firstError.isEmpty() ? QString::fromLocal8Bit(std::strerror(errno)) : firstError;
}

QStringList entryNames(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

struct TrashResult {
    int removed = 0;
    QStringList failures;  // "name: reason"
};

// Empties one trash folder (with files/ and info/ inside). A file's
// .trashinfo goes only after the file itself, so nothing that stays behind
// loses its original location.
void emptyTrashFolder(const QString& trash, TrashResult& result) {
    const QString files = trash + QStringLiteral("/files");
    const QString info = trash + QStringLiteral("/info");
    for (const QString& name : entryNames(files)) {
        const QString error = removeTree(QFile::encodeName(files + QLatin1Char('/') + name));
        if (!error.isEmpty()) {
            result.failures << QStringLiteral("%1: %2").arg(name, error);
            continue;
        }
        ++result.removed;
        QFile::remove(info + QLatin1Char('/') + name + QStringLiteral(".trashinfo"));
    }
    // What is left in info/ describes files that are gone.
    for (const QString& name : entryNames(info)) {
        const QString original = name.endsWith(QLatin1String(".trashinfo")) ? name.chopped(10) : name;
        if (QFileInfo::exists(files + QLatin1Char('/') + original)) continue;
        if (removeTree(QFile::encodeName(info + QLatin1Char('/') + name)).isEmpty()) ++result.removed;
    }
    // The cached sizes of trashed folders.
    QFile::remove(trash + QStringLiteral("/directorysizes"));
}

// The top folders of the mounted volumes that may hold a trash of their own.
// VANTREL_TRASH_VOLUMES (folders separated by ':') replaces the mount table,
// so that tests never reach the real volumes.
QStringList volumeTops() {
    if (qEnvironmentVariableIsSet("VANTREL_TRASH_VOLUMES")) {
        return qEnvironmentVariable("VANTREL_TRASH_VOLUMES").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    }
    QStringList tops;
    GList* mounts = g_unix_mounts_get(nullptr);
    for (GList* item = mounts; item; item = item->next) {
        auto* mount = static_cast<GUnixMountEntry*>(item->data);
        // Skips /, /proc, /home and the like: what is trashed there goes to the home trash.
        if (g_unix_mount_is_system_internal(mount)) continue;
        tops << QString::fromLocal8Bit(g_unix_mount_get_mount_path(mount));
    }
    g_list_free_full(mounts, reinterpret_cast<GDestroyNotify>(g_unix_mount_free));
    return tops;
}

bool isOwnFolder(const QString& path, bool requireSticky = false) {
    struct stat info {};
    if (lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    if (requireSticky) return (info.st_mode & S_ISVTX) != 0;
    return info.st_uid == getuid();
}

// The home trash and the trash folders of mounted volumes that belong to
// this user: $topdir/.Trash/$uid (only inside a sticky .Trash that is no link)
// and $topdir/.Trash-$uid.
QStringList trashFolders() {
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty()) dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    QStringList folders{dataHome + QStringLiteral("/Trash")};

    const QString uid = QString::number(getuid());
    for (const QString& top : volumeTops()) {
        const QString shared = top + QStringLiteral("/.Trash");
        if (isOwnFolder(shared, true) && isOwnFolder(shared + QLatin1Char('/') + uid)) {
            folders << shared + QLatin1Char('/') + uid;
        }
        if (isOwnFolder(top + QStringLiteral("/.Trash-") + uid)) folders << top + QStringLiteral("/.Trash-") + uid;
    }
    folders.removeDuplicates();
    return folders;
}

QString emptyTrash() {
    TrashResult result;
    const QStringList folders = trashFolders();
    for (const QString& folder : folders) {
        if (QFileInfo(folder).isDir()) emptyTrashFolder(folder, result);
    }
    logger().info("Emptied the trash", {{QStringLiteral("removed"), QString::number(result.removed)},
                                        {QStringLiteral("failed"), QString::number(result.failures.size())},
                                        {QStringLiteral("folders"), folders.join(QStringLiteral(", "))}});
    if (!result.failures.isEmpty()) {
        const qsizetype count = result.failures.size();
        throw VantrelError(QStringLiteral("%1 %2 could not be removed from the trash (%3).")
                               .arg(count)
                               .arg(count == 1 ? QStringLiteral("item") : QStringLiteral("items"),
                                    result.failures.mid(0, 3).join(QStringLiteral("; "))));
    }
    return result.removed == 0 ? QStringLiteral("Trash is already empty") : QStringLiteral("Trash emptied");
}

// --- Disks -------------------------------------------------------------------

QString mountName(GMount* mount) {
    gchar* name = g_mount_get_name(mount);
    QString result = QString::fromUtf8(name);
    g_free(name);
    return result;
}

// Removable disks and network shares: what a user calls "a disk" to eject.
bool isEjectable(GMount* mount) {
    if (g_mount_is_shadowed(mount)) return false;
    if (g_mount_can_eject(mount)) return true;
    if (!g_mount_can_unmount(mount)) return false;
    GDrive* drive = g_mount_get_drive(mount);
    if (!drive) {
        // No drive: a network share counts, a local folder does not.
        GFile* root = g_mount_get_root(mount);
        const bool native = g_file_is_native(root);
        g_object_unref(root);
        return !native;
    }
    const bool removable = g_drive_is_removable(drive) || g_drive_is_media_removable(drive);
    g_object_unref(drive);
    return removable;
}

struct EjectJob {
    QString name;
    bool eject = false;  // else unmount
    bool done = false;
    QString error;
};

QString ejectAllDisks() {
    // The operations report back on a main context of our own, run here until they end.
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    GCancellable* cancellable = g_cancellable_new();

    GVolumeMonitor* monitor = g_volume_monitor_get();
    GList* mounts = g_volume_monitor_get_mounts(monitor);
    std::vector<std::unique_ptr<EjectJob>> jobs;
    for (GList* item = mounts; item; item = item->next) {
        auto* mount = static_cast<GMount*>(item->data);
        if (!isEjectable(mount)) continue;
        auto job = std::make_unique<EjectJob>();
        job->name = mountName(mount);
        job->eject = g_mount_can_eject(mount);
        GMountOperation* operation = g_mount_operation_new();
        const auto finished = [](GObject* source, GAsyncResult* asyncResult, gpointer data) {
            auto* ejectJob = static_cast<EjectJob*>(data);
            GError* error = nullptr;
            auto* finishedMount = G_MOUNT(source);
            const gboolean ok = ejectJob->eject
                                    ? g_mount_eject_with_operation_finish(finishedMount, asyncResult, &error)
                                    : g_mount_unmount_with_operation_finish(finishedMount, asyncResult, &error);
            if (!ok) ejectJob->error = error ? QString::fromUtf8(error->message) : QStringLiteral("unknown error");
            g_clear_error(&error);
            ejectJob->done = true;
        };
        if (job->eject) {
            g_mount_eject_with_operation(mount, G_MOUNT_UNMOUNT_NONE, operation, cancellable, finished, job.get());
        } else {
            g_mount_unmount_with_operation(mount, G_MOUNT_UNMOUNT_NONE, operation, cancellable, finished, job.get());
        }
        g_object_unref(operation);
        jobs.push_back(std::move(job));
    }
    g_list_free_full(mounts, g_object_unref);

    const auto allDone = [&] {
        return std::all_of(jobs.begin(), jobs.end(), [](const auto& job) { return job->done; });
    };
    const qint64 deadline = QDateTime::currentMSecsSinceEpoch() + kEjectTimeoutMs;
    while (!allDone() && QDateTime::currentMSecsSinceEpoch() < deadline) {
        if (!g_main_context_iteration(context, FALSE)) g_usleep(5000);
    }
    if (!allDone()) {
        g_cancellable_cancel(cancellable);
        // Cancelled operations still report back; wait for them so no callback outlives its job.
        while (!allDone()) g_main_context_iteration(context, TRUE);
    }
    g_object_unref(cancellable);
    g_object_unref(monitor);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);

    if (jobs.empty()) return QStringLiteral("No disks to eject");
    QStringList failures;
    for (const auto& job : jobs) {
        if (!job->error.isEmpty()) failures << QStringLiteral("%1: %2").arg(job->name, job->error);
    }
    const qsizetype ejected = qsizetype(jobs.size()) - failures.size();
    logger().info("Ejected disks", {{QStringLiteral("ejected"), QString::number(ejected)},
                                    {QStringLiteral("failed"), QString::number(failures.size())}});
    if (!failures.isEmpty()) {
        throw VantrelError(QStringLiteral("Could not eject %1.").arg(failures.join(QStringLiteral("; "))));
    }
    return ejected == 1 ? QStringLiteral("Ejected %1").arg(jobs.front()->name)
                        : QStringLiteral("Ejected %1 disks").arg(ejected);
}

// --- X11 windows (EWMH) --------------------------------------------------------

constexpr uint32_t kIconicState = 3;           // ICCCM WM_CHANGE_STATE
constexpr uint32_t kSourcePager = 2;           // EWMH source indication: a pager or taskbar, i.e. the user
constexpr uint32_t kMaxPropertyLength = 8192;  // in 32-bit units

class X11Desktop {
public:
    struct Window {
        xcb_window_t id = 0;
        std::optional<uint32_t> pid;
        bool normal = false;  // an application window a user would call "a window" of the app
        bool hidden = false;  // minimized
    };

    // Connects to $DISPLAY; on failure returns nothing and *problem says why.
    static std::unique_ptr<X11Desktop> connect(QString* problem) {
        if (qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland")) {
            *problem = QStringLiteral("it works only in an X11 session, and this is a Wayland session");
            return nullptr;
        }
        const QByteArray display = qgetenv("DISPLAY");
        if (display.isEmpty()) {
            *problem = QStringLiteral("it needs an X11 display, and DISPLAY is not set");
            return nullptr;
        }
        int screenNumber = 0;
        xcb_connection_t* connection = xcb_connect(display.constData(), &screenNumber);
        if (xcb_connection_has_error(connection)) {
            xcb_disconnect(connection);
            *problem = QStringLiteral("the X display %1 cannot be reached").arg(QString::fromLocal8Bit(display));
            return nullptr;
        }
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
        for (int i = 0; i < screenNumber && screens.rem; ++i) xcb_screen_next(&screens);
        if (!screens.rem) {
            xcb_disconnect(connection);
            *problem = QStringLiteral("the X display %1 has no such screen").arg(QString::fromLocal8Bit(display));
            return nullptr;
        }
        auto desktop = std::unique_ptr<X11Desktop>(new X11Desktop(connection, screens.data->root));
        if (desktop->property(desktop->root(), "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW).empty()) {
            *problem = QStringLiteral("no window manager that follows the EWMH conventions is running");
            return nullptr;
        }
        return desktop;
    }

    ~X11Desktop() { xcb_disconnect(m_connection); }
    X11Desktop(const X11Desktop&) = delete;
    X11Desktop& operator=(const X11Desktop&) = delete;

    xcb_window_t root() const { return m_root; }

    xcb_atom_t atom(const char* name) {
        if (auto found = m_atoms.find(name); found != m_atoms.end()) return found->second;
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(reply);
        m_atoms.emplace(name, value);
        return value;
    }

    std::vector<uint32_t> property(xcb_window_t window, const char* name, xcb_atom_t type) {
        return read(get(window, atom(name), type));
    }

    // Whether the window manager lists the hint in _NET_SUPPORTED.
    bool supports(const char* hint) {
        const std::vector<uint32_t> supported = property(m_root, "_NET_SUPPORTED", XCB_ATOM_ATOM);
        return std::find(supported.begin(), supported.end(), atom(hint)) != supported.end();
    }

    std::optional<xcb_window_t> activeWindow() {
        const std::vector<uint32_t> active = property(m_root, "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW);
        if (active.empty() || active.front() == XCB_WINDOW_NONE) return std::nullopt;
        return active.front();
    }

    // The managed windows, bottom to top of the stacking order.
    std::vector<Window> clientWindows() {
        std::vector<uint32_t> ids = property(m_root, "_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW);
        if (ids.empty()) ids = property(m_root, "_NET_CLIENT_LIST", XCB_ATOM_WINDOW);
        const xcb_atom_t typeAtom = atom("_NET_WM_WINDOW_TYPE");
        const xcb_atom_t stateAtom = atom("_NET_WM_STATE");
        const xcb_atom_t pidAtom = atom("_NET_WM_PID");
        const xcb_atom_t normalType = atom("_NET_WM_WINDOW_TYPE_NORMAL");
        const xcb_atom_t hiddenState = atom("_NET_WM_STATE_HIDDEN");
        const xcb_atom_t skipTaskbar = atom("_NET_WM_STATE_SKIP_TASKBAR");

        // All requests first, then the replies: one round trip for the lot.
        struct Pending {
            xcb_get_property_cookie_t type, state, pid, transient;
        };
        std::vector<Pending> pending;
        pending.reserve(ids.size());
        for (uint32_t id : ids) {
            pending.push_back({get(id, typeAtom, XCB_ATOM_ATOM), get(id, stateAtom, XCB_ATOM_ATOM),
                               get(id, pidAtom, XCB_ATOM_CARDINAL),
                               get(id, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW)});
        }
        std::vector<Window> windows;
        windows.reserve(ids.size());
        for (size_t i = 0; i < ids.size(); ++i) {
            const std::vector<uint32_t> types = read(pending[i].type);
            const std::vector<uint32_t> states = read(pending[i].state);
            const std::vector<uint32_t> pid = read(pending[i].pid);
            const bool transient = !read(pending[i].transient).empty();
            const auto has = [](const std::vector<uint32_t>& list, xcb_atom_t value) {
                return std::find(list.begin(), list.end(), value) != list.end();
            };
            Window window;
            window.id = ids[i];
            window.pid = pid.empty() ? std::nullopt : std::optional<uint32_t>(pid.front());
            // No type means normal, unless the window belongs to another one (ICCCM).
            const bool isNormalType = types.empty() ? !transient : has(types, normalType);
            window.normal = isNormalType && !has(states, skipTaskbar);
            window.hidden = has(states, hiddenState);
            windows.push_back(window);
        }
        return windows;
    }

    // A client message to the root window, as EWMH asks of pagers.
    void sendToRoot(xcb_window_t window, const char* type, std::array<uint32_t, 5> data) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = atom(type);
        for (size_t i = 0; i < data.size(); ++i) event.data.data32[i] = data[i];
        xcb_send_event(m_connection, 0, m_root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
    }

    // Waits until the server has taken every request sent so far.
    void sync() { free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr)); }

private:
    X11Desktop(xcb_connection_t* connection, xcb_window_t root) : m_connection(connection), m_root(root) {}

    xcb_get_property_cookie_t get(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) {
        return xcb_get_property(m_connection, 0, window, property, type, 0, kMaxPropertyLength);
    }

    std::vector<uint32_t> read(xcb_get_property_cookie_t cookie) {
        std::vector<uint32_t> values;
        xcb_get_property_reply_t* reply = xcb_get_property_reply(m_connection, cookie, nullptr);
        if (reply && reply->format == 32) {
            const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(reply));
            values.assign(data, data + xcb_get_property_value_length(reply) / 4);
        }
        free(reply);
        return values;
    }

    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    std::map<std::string, xcb_atom_t> m_atoms;
};

// The EWMH hints a window command needs from the window manager.
const char* requiredHint(const QString& commandId) {
    if (commandId == QLatin1String("showDesktop")) return "_NET_SHOWING_DESKTOP";
    if (commandId == QLatin1String("quitAllApps")) return "_NET_CLOSE_WINDOW";
    if (commandId == QLatin1String("unhideAllApps")) return "_NET_ACTIVE_WINDOW";
    return "_NET_CLIENT_LIST";
}

QString windowCommandSentence(const QString& commandId) {
    if (commandId == QLatin1String("showDesktop")) return QStringLiteral("Showing the desktop");
    if (commandId == QLatin1String("quitAllApps")) return QStringLiteral("Quitting all applications");
    if (commandId == QLatin1String("hideAllApps")) return QStringLiteral("Hiding applications");
    return QStringLiteral("Unhiding applications");
}

// Connects and checks the window manager's support; throws when the command cannot work here.
std::unique_ptr<X11Desktop> windowDesktop(const QString& commandId, QString* problem = nullptr) {
    QString reason;
    std::unique_ptr<X11Desktop> desktop = X11Desktop::connect(&reason);
    if (desktop && !desktop->supports(requiredHint(commandId))) {
        reason =
            QStringLiteral("the window manager does not support %1").arg(QString::fromLatin1(requiredHint(commandId)));
        desktop.reset();
    }
    if (!desktop) {
        const QString sentence =
            QStringLiteral("%1 is not available on this desktop: %2.").arg(windowCommandSentence(commandId), reason);
        if (problem) {
            *problem = sentence;
            return nullptr;
        }
        throw VantrelError(sentence);
    }
    return desktop;
}

const uint32_t kOwnPid = uint32_t(getpid());

bool isOwn(const X11Desktop::Window& window) {
    return window.pid == kOwnPid;
}

QString countOf(qsizetype count, const char* singular, const char* plural) {
    return QStringLiteral("%1 %2").arg(count).arg(QString::fromLatin1(count == 1 ? singular : plural));
}

QString showDesktop() {
    auto desktop = windowDesktop(QStringLiteral("showDesktop"));
    const std::vector<uint32_t> current = desktop->property(desktop->root(), "_NET_SHOWING_DESKTOP", XCB_ATOM_CARDINAL);
    const bool showing = !current.empty() && current.front() != 0;
    desktop->sendToRoot(desktop->root(), "_NET_SHOWING_DESKTOP", {showing ? 0u : 1u, 0, 0, 0, 0});
    desktop->sync();
    return showing ? QStringLiteral("Windows shown again") : QStringLiteral("Showing the desktop");
}

// Asks every application window except Vantrel's own to close, the way a
// taskbar's close button does: applications may ask to save first.
QString quitAllApps() {
    auto desktop = windowDesktop(QStringLiteral("quitAllApps"));
    QSet<qint64> applications;
    for (const X11Desktop::Window& window : desktop->clientWindows()) {
        if (!window.normal || isOwn(window)) continue;
        desktop->sendToRoot(window.id, "_NET_CLOSE_WINDOW", {XCB_CURRENT_TIME, kSourcePager, 0, 0, 0});
        // Windows without a process id count as applications of their own.
        applications.insert(window.pid ? qint64(*window.pid) : -qint64(window.id));
    }
    desktop->sync();
    if (applications.isEmpty()) return QStringLiteral("No applications to quit");
    logger().info("Asked applications to quit", {{QStringLiteral("count"), QString::number(applications.size())}});
    return QStringLiteral("Asked %1 to quit").arg(countOf(applications.size(), "application", "applications"));
}

// Minimizes every application window except those of the frontmost
// application: the one with the active window, or, when that is Vantrel's
// own, the one whose window is topmost.
QString hideAllApps() {
    auto desktop = windowDesktop(QStringLiteral("hideAllApps"));
    const std::vector<X11Desktop::Window> windows = desktop->clientWindows();
    const std::optional<xcb_window_t> active = desktop->activeWindow();

    const X11Desktop::Window* front = nullptr;
    for (const auto& window : windows) {
        if (active && window.id == *active && !isOwn(window)) front = &window;
    }
    if (!front) {
        for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
            if (it->normal && !it->hidden && !isOwn(*it)) {
                front = &*it;
                break;
            }
        }
    }
    const auto isFront = [&](const X11Desktop::Window& window) {
        if (!front) return false;
        if (window.id == front->id) return true;
        return front->pid && window.pid == front->pid;
    };
    qsizetype hidden = 0;
    for (const auto& window : windows) {
        if (!window.normal || window.hidden || isOwn(window) || isFront(window)) continue;
        desktop->sendToRoot(window.id, "WM_CHANGE_STATE", {kIconicState, 0, 0, 0, 0});
        ++hidden;
    }
    desktop->sync();
    if (hidden == 0) return QStringLiteral("No other windows to hide");
    return QStringLiteral("Hid %1").arg(countOf(hidden, "window", "windows"));
}

// Restores every minimized application window, then gives the focus back to
// the window that had it.
QString unhideAllApps() {
    auto desktop = windowDesktop(QStringLiteral("unhideAllApps"));
    const std::optional<xcb_window_t> active = desktop->activeWindow();
    qsizetype restored = 0;
    bool activeWasHidden = false;
    for (const auto& window : desktop->clientWindows()) {
        if (!window.normal || !window.hidden) continue;
        if (active && window.id == *active) activeWasHidden = true;
        desktop->sendToRoot(window.id, "_NET_ACTIVE_WINDOW", {kSourcePager, XCB_CURRENT_TIME, 0, 0, 0});
        ++restored;
    }
    if (restored > 0 && active && !activeWasHidden) {
        desktop->sendToRoot(*active, "_NET_ACTIVE_WINDOW", {kSourcePager, XCB_CURRENT_TIME, 0, 0, 0});
    }
    desktop->sync();
    if (restored == 0) return QStringLiteral("No hidden windows");
    return QStringLiteral("Restored %1").arg(countOf(restored, "window", "windows"));
}

// --- Displays ------------------------------------------------------------------

QString sleepDisplaysProblem(QString* xset = nullptr) {
    const QString tool = findTool("xset");
    if (tool.isEmpty()) return QStringLiteral("Sleeping the displays needs xset, which is not installed.");
    if (qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland")) {
        return QStringLiteral("Sleeping the displays is not available in a Wayland session.");
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        return QStringLiteral("Sleeping the displays is not available on this desktop: DISPLAY is not set.");
    }
    if (xset) *xset = tool;
    return {};
}

QString sleepDisplays() {
    QString xset;
    if (const QString problem = sleepDisplaysProblem(&xset); !problem.isEmpty()) throw VantrelError(problem);
    const ToolOutput query = runToolOrThrow(xset, {QStringLiteral("q")}, QStringLiteral("Cannot sleep the displays"));
    if (query.standardOutput.contains(QLatin1String("does not have the DPMS Extension"))) {
        throw VantrelError(QStringLiteral("Cannot sleep the displays: the X server has no display power management."));
    }
    const QStringList arguments{QStringLiteral("dpms"), QStringLiteral("force"), QStringLiteral("off")};
    // The release of the key that ran the command would wake the displays
    // again, so they go to sleep a moment later.
    if (QCoreApplication::instance()) {
        QTimer::singleShot(500, QCoreApplication::instance(), [xset, arguments] {
            try {
                runToolOrThrow(xset, arguments, QStringLiteral("Cannot sleep the displays"));
            } catch (const VantrelError& error) {
                logger().error(error.errorDescription());
            }
        });
    } else {
        runToolOrThrow(xset, arguments, QStringLiteral("Cannot sleep the displays"));
    }
    return QStringLiteral("Displays going to sleep");
}

// --- The command table --------------------------------------------------------------

struct Command {
    QString id;
    std::function<QString()> run;
    // Why the command can do nothing here, as a sentence; empty when it can.
    std::function<QString()> problem;
};

QString toolsProblem(std::initializer_list<const char*> tools, const QString& missing) {
    for (const char* tool : tools) {
        if (!findTool(tool).isEmpty()) return {};
    }
    return missing;
}

QString windowProblem(const QString& id) {
    QString problem;
    windowDesktop(id, &problem);
    return problem;
}

QString powerProblem(const QString& id) {
    BusConnection bus(BusConnection::Kind::System);
    return powerActionProblem(bus, powerAction(id));
}

QString lockScreenProblem() {
    BusConnection system(BusConnection::Kind::System);
    if (system.hasService(kLogindService)) return {};
    BusConnection session(BusConnection::Kind::Session);
    if (session.hasService(kScreenSaverService)) return {};
    return QStringLiteral("Locking the screen is not available: neither %1 nor %2 is running.")
        .arg(kLoginManagerName, kScreenSaverName);
}

QString screenSaverProblem() {
    BusConnection session(BusConnection::Kind::Session);
    if (session.hasService(kScreenSaverService) || session.hasService(QStringLiteral("org.gnome.ScreenSaver"))) {
        return {};
    }
    if (!findTool("xdg-screensaver").isEmpty()) return {};
    return QStringLiteral(
               "Starting the screen saver is not available: %1 is not running and xdg-screensaver is not "
               "installed.")
        .arg(kScreenSaverName);
}

QString logOutProblem() {
    BusConnection session(BusConnection::Kind::Session);
    for (const SessionManager& manager : sessionManagers()) {
        if (session.hasService(QString::fromLatin1(manager.service))) return {};
    }
    BusConnection system(BusConnection::Kind::System);
    if (system.hasService(kLogindService)) return {};
    return QStringLiteral("Logging out is not available: no session manager is running and %1 cannot be reached.")
        .arg(kLoginManagerName);
}

const std::vector<Command>& commands() {
    static const std::vector<Command> table = [] {
        std::vector<Command> list;
        const auto add = [&](const char* id, std::function<QString()> run, std::function<QString()> problem) {
            list.push_back({QString::fromLatin1(id), std::move(run), std::move(problem)});
        };
        const auto always = [] { return QString(); };
        const auto unavailable = [](QString sentence) {
            return std::pair<std::function<QString()>, std::function<QString()>>(
                [sentence]() -> QString { throw VantrelError(sentence); }, [sentence] { return sentence; });
        };

        const auto windowCommand = [&](const char* id, QString (*run)()) {
            const QString commandId = QString::fromLatin1(id);
            add(id, run, [commandId] { return windowProblem(commandId); });
        };
        const auto powerCommand = [&](const char* id) {
            const QString commandId = QString::fromLatin1(id);
            add(
                id, [commandId] { return runPowerAction(commandId); }, [commandId] { return powerProblem(commandId); });
        };
        const auto volumeCommand = [&](const char* id) {
            const QString commandId = QString::fromLatin1(id);
            add(
                id, [commandId] { return runVolumeCommand(commandId); },
                [] {
                    return toolsProblem({"wpctl", "pactl"}, Mixer::missing());
                });
        };

        // In the order of the registry's "systemCommands" package.
        add("toggleBluetooth", toggleBluetooth, [] {
            return toolsProblem(
                {"bluetoothctl", "rfkill"},
                QStringLiteral("Toggling Bluetooth needs bluetoothctl or rfkill, neither is installed."));
        });
        add("ejectAllDisks", ejectAllDisks, always);
        windowCommand("quitAllApps", quitAllApps);
        add("showScreenSaver", showScreenSaver, screenSaverProblem);
        add("toggleHiddenFiles", toggleHiddenFiles, hiddenFilesProblem);
        add("logOutSystem", logOut, logOutProblem);
        powerCommand("restartSystem");
        powerCommand("shutDownSystem");
        add("emptyTrash", emptyTrash, always);
        {
            auto [run, problem] = unavailable(QStringLiteral(
                "Switching apps is not available on this desktop: use the window manager's own switcher (usually "
                "Alt+Tab)."));
            add("appSwitcher", run, problem);
        }
        {
            auto [run, problem] = unavailable(
                QStringLiteral("Searching menu items is not available on this desktop: applications here do not "
                               "publish their menus to other programs."));
            add("searchMenuItems", run, problem);
        }
        for (const char* id : {"setVolume0", "setVolume25", "setVolume50", "setVolume75", "setVolume100"}) {
            volumeCommand(id);
        }
        windowCommand("showDesktop", showDesktop);
        windowCommand("unhideAllApps", unhideAllApps);
        windowCommand("hideAllApps", hideAllApps);
        add("toggleSystemAppearance", toggleSystemAppearance, appearanceProblem);
        volumeCommand("turnVolumeDown");
        volumeCommand("turnVolumeUp");
        volumeCommand("toggleMute");
        add("lockScreen", lockScreen, lockScreenProblem);
        add("sleepDisplays", sleepDisplays, [] { return sleepDisplaysProblem(); });
        powerCommand("sleep");
        return list;
    }();
    return table;
}

const Command* findCommand(const QString& commandId) {
    for (const Command& command : commands()) {
        if (command.id == commandId) return &command;
    }
    return nullptr;
}

}  // namespace

const QStringList& SystemCommands::commandIds() {
    static const QStringList ids = [] {
        QStringList list;
        for (const Command& command : commands()) list << command.id;
        return list;
    }();
    return ids;
}

bool SystemCommands::handles(const QString& commandId) {
    return findCommand(commandId) != nullptr;
}

bool SystemCommands::isAvailable(const QString& commandId, QString* reason) {
    const Command* command = findCommand(commandId);
    QString problem =
        command ? command->problem() : QStringLiteral("There is no system command \"%1\".").arg(commandId);
    if (reason) *reason = problem;
    return problem.isEmpty();
}

QString SystemCommands::run(const QString& commandId) {
    const Command* command = findCommand(commandId);
    if (!command) throw VantrelError(QStringLiteral("There is no system command \"%1\".").arg(commandId));
    try {
        QString confirmation = command->run();
        logger().info("Ran system command", {{QStringLiteral("command"), commandId}});
        return confirmation;
    } catch (const VantrelError& error) {
        logger().warning("System command failed",
                         {{QStringLiteral("command"), commandId}, {QStringLiteral("error"), error.errorDescription()}});
        throw;
    }
}

}  // namespace vantrel
