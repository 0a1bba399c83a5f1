#pragma once

// What the system command files of this folder share: the log category, how
// long things may take, running command-line tools and calling D-Bus
// services. Not for use outside platform/freedesktop.
#include "kit/Logger.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <atomic>
#include <initializer_list>

namespace vantrel::systemcommands {

const Logger& logger();

// How long a command-line tool may take before it is stopped.
constexpr int kToolTimeoutMs = 5000;
// How long a D-Bus service may take to answer a question or a plain request.
constexpr int kBusTimeoutMs = 4000;
// Requests that may wait for the user to authenticate (polkit) get longer.
constexpr int kInteractiveBusTimeoutMs = 120000;

// Whole seconds, for sentences ("within 4 seconds").
QString seconds(int milliseconds);

// --- Command-line tools --------------------------------------------------

// The tool's path on PATH; empty when it is not installed.
QString findTool(const char* name);

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
// when it takes longer than the timeout. Throws VantrelError when it cannot
// start, takes too long or crashes.
ToolOutput runTool(const QString& program, const QStringList& arguments, int timeoutMs = kToolTimeoutMs);

// Runs a tool that must succeed; a non-zero exit becomes "<what>: <tool> failed: <its message>".
ToolOutput runToolOrThrow(const QString& program, const QStringList& arguments, const QString& what);

// Empty when one of the tools is installed, else `missing`.
QString toolsProblem(std::initializer_list<const char*> tools, const QString& missing);

// --- D-Bus ---------------------------------------------------------------

inline const QString kLogindService = QStringLiteral("org.freedesktop.login1");
inline const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
inline const QString kLogindManager = QStringLiteral("org.freedesktop.login1.Manager");
inline const QString kLogindSession = QStringLiteral("org.freedesktop.login1.Session");
// logind resolves "auto" to the caller's session, or the user's display session.
inline const QString kCurrentSessionPath = QStringLiteral("/org/freedesktop/login1/session/auto");
inline const QString kLoginManagerName = QStringLiteral("the login manager (systemd-logind)");

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

bool succeeded(const QDBusMessage& reply);

// What went wrong with a call, as the end of a sentence naming the service:
// "… is not running", "… did not answer within 4 seconds", "… refused: …".
QString callProblem(const QDBusMessage& reply, int timeoutMs = kBusTimeoutMs);

}  // namespace vantrel::systemcommands
