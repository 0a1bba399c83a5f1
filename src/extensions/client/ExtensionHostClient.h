#pragma once

#include "extensions/protocol/Connection.h"
#include "extensions/protocol/Messages.h"
#include "kit/Logger.h"

#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QProcess>

#include <functional>
#include <vector>

namespace vantrel::extensions {

// Starts `vantrel-extension-host` on first use, connects to its socket in
// $XDG_RUNTIME_DIR and keeps it usable:
//   - interrupted: the host process ended (crashed, killed). Every pending
//     request fails with "Connection lost", interrupted() is emitted, and the
//     next request starts a new host.
//   - invalidated: the socket broke while the host lives on. Pending requests
//     fail the same way, invalidated() is emitted, and the next request
//     connects again.
// Requests of the host ("dispatchMessage", "logException", "ping") go to the
// handlers set here. Main thread only.
class ExtensionHostClient : public QObject {
    Q_OBJECT
public:
    enum class State { disconnected, starting, connected };
    using Reply = Connection::Reply;

    // hostExecutable: empty picks $VANTREL_EXTENSION_HOST, then the program
    // next to this one, then the one of the build.
    explicit ExtensionHostClient(QString hostExecutable = {}, QObject* parent = nullptr);
    ~ExtensionHostClient() override;

    void setRequestHandler(Connection::RequestHandler handler) { m_requestHandler = std::move(handler); }
    void setOneWayHandler(Connection::OneWayHandler handler) { m_oneWayHandler = std::move(handler); }

    // Sends one request, starting or reconnecting to the host first. reply is
    // called exactly once (with "Connection lost" when the host goes away).
    void request(const QString& name, const QJsonObject& params, Reply reply);

    void ping(Reply reply) { request(hostRequest::ping, {}, std::move(reply)); }
    void loadCommand(const QJsonObject& package, Reply reply) {
        request(hostRequest::loadCommand, LoadCommandParams{package}.toJson(), std::move(reply));
    }
    void unloadCommand(const QString& commandId, Reply reply) {
        request(hostRequest::unloadCommand, UnloadCommandParams{commandId}.toJson(), std::move(reply));
    }
    void callback(const CallbackParams& params, Reply reply) { request(hostRequest::callback, params.toJson(), std::move(reply)); }
    // Asks the host to exit (it answers "Terminating"); nothing is started for it.
    void terminate(Reply reply);
    // Ends the host process at once (SIGKILL) and waits for it.
    void kill();
    // Closes the socket only (the host lives on).
    void disconnect();

    State state() const { return m_state; }
    // The host's process id, 0 when none runs.
    qint64 hostPid() const;
    QString socketPath() const { return m_socketPath; }
    QString hostExecutable() const { return m_hostExecutable; }

    // How long a starting host may take to listen.
    static constexpr int kStartTimeoutMs = 10000;

signals:
    void connected();
    void interrupted();
    void invalidated();

private:
    void ensureConnected(std::function<void(Result<Connection*>)> then);
    void startHost();
    void connectSocket();
    void finishWaiting(Result<Connection*> result);
    void onProcessFinished();
    void onConnectionClosed();

    QString m_hostExecutable;
    QString m_socketPath;
    QPointer<QProcess> m_process;
    QPointer<Connection> m_connection;
    State m_state = State::disconnected;
    bool m_expectingExit = false;
    bool m_disconnecting = false;
    QByteArray m_stdout;
    std::vector<std::function<void(Result<Connection*>)>> m_waiters;
    Connection::RequestHandler m_requestHandler;
    Connection::OneWayHandler m_oneWayHandler;
    Logger m_logger;
};

}  // namespace vantrel::extensions
