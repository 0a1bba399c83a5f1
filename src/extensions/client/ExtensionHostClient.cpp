#include "extensions/client/ExtensionHostClient.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>

#include <atomic>

namespace vantrel::extensions {

namespace {

QString findHostExecutable() {
    const QString fromEnvironment = qEnvironmentVariable("VANTREL_EXTENSION_HOST");
    if (!fromEnvironment.isEmpty()) return fromEnvironment;
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/vantrel-extension-host");
    if (QFileInfo(beside).isExecutable()) return beside;
#ifdef VANTREL_EXTENSION_HOST_BUILD_PATH
    return QStringLiteral(VANTREL_EXTENSION_HOST_BUILD_PATH);
#else
    return beside;
#endif
}

QString newSocketPath() {
    static std::atomic_int counter{0};
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::tempPath();
    return QStringLiteral("%1/vantrel-extension-host-%2-%3.sock").arg(folder).arg(QCoreApplication::applicationPid()).arg(++counter);
}

}  // namespace

ExtensionHostClient::ExtensionHostClient(QString hostExecutable, QObject* parent)
    : QObject(parent),
      m_hostExecutable(hostExecutable.isEmpty() ? findHostExecutable() : std::move(hostExecutable)),
      m_logger({QStringLiteral("Extension Client"), QStringLiteral("🧩")}) {}

ExtensionHostClient::~ExtensionHostClient() {
    m_expectingExit = true;
    if (m_connection) m_connection->close();
    kill();
}

qint64 ExtensionHostClient::hostPid() const {
    return m_process && m_process->state() != QProcess::NotRunning ? m_process->processId() : 0;
}

void ExtensionHostClient::request(const QString& name, const QJsonObject& params, Reply reply) {
    ensureConnected([name, params, reply = std::move(reply)](Result<Connection*> connection) mutable {
        if (connection.isFailure()) {
            reply(connection.error());
            return;
        }
        connection.value()->sendRequest(name, params, std::move(reply));
    });
}

void ExtensionHostClient::terminate(Reply reply) {
    if (!m_connection || !m_connection->isOpen()) {
        reply(QJsonValue(QStringLiteral("Terminating")));
        return;
    }
    m_expectingExit = true;
    m_connection->sendRequest(hostRequest::terminate, {}, std::move(reply));
}

void ExtensionHostClient::kill() {
    if (!m_process) return;
    m_expectingExit = true;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

void ExtensionHostClient::disconnect() {
    if (!m_connection) return;
    m_disconnecting = true;
    m_connection->close();
}

void ExtensionHostClient::ensureConnected(std::function<void(Result<Connection*>)> then) {
    if (m_state == State::connected && m_connection && m_connection->isOpen()) {
        then(m_connection.data());
        return;
    }
    m_waiters.push_back(std::move(then));
    if (m_state == State::starting) return;
    m_state = State::starting;
    if (m_process && m_process->state() == QProcess::Running) {
        connectSocket();  // the host lives: only the socket broke
    } else {
        startHost();
    }
}

void ExtensionHostClient::startHost() {
    if (m_process) {
        m_process->disconnect(this);
        m_process->deleteLater();
    }
    m_socketPath = newSocketPath();
    m_stdout.clear();
    m_expectingExit = false;
    auto* process = new QProcess(this);
    m_process = process;
    process->setProgram(m_hostExecutable);
    process->setArguments({QStringLiteral("--socket"), m_socketPath});
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(process, &QProcess::readyReadStandardOutput, this, [this, process] {
        if (process != m_process) return;
        m_stdout += process->readAllStandardOutput();
        if (m_state == State::starting && m_stdout.contains("ready\n")) connectSocket();
    });
    connect(process, &QProcess::finished, this, [this, process] {
        if (process == m_process) onProcessFinished();
    });
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        if (process != m_process || error != QProcess::FailedToStart) return;
        m_logger.error(QStringLiteral("Could not start the extension host: ") + process->errorString(),
                       {{QStringLiteral("program"), m_hostExecutable}});
        m_state = State::disconnected;
        finishWaiting(VantrelError(QStringLiteral("Could not start the extension host: ") + process->errorString()));
    });
    QTimer::singleShot(kStartTimeoutMs, process, [this, process] {
        if (process != m_process || m_state != State::starting) return;
        m_logger.error(QStringLiteral("The extension host did not start in time"));
        m_expectingExit = true;
        process->kill();
        m_state = State::disconnected;
        finishWaiting(VantrelError(QStringLiteral("The extension host did not start")));
    });
    m_logger.info(QStringLiteral("Starting the extension host"), {{QStringLiteral("socket"), m_socketPath}});
    process->start();
}

void ExtensionHostClient::connectSocket() {
    auto* socket = new QLocalSocket(this);
    connect(socket, &QLocalSocket::connected, this, [this, socket] {
        socket->disconnect(this);
        auto* connection = new Connection(socket, QStringLiteral("extension host"), this);
        connection->setRequestHandler([this](const QString& name, const QJsonObject& params, Connection::Responder respond) {
            if (m_requestHandler) {
                m_requestHandler(name, params, std::move(respond));
            } else {
                respond(VantrelError(QStringLiteral("Unknown request: ") + name));
            }
        });
        connection->setOneWayHandler([this](const QString& name, const QJsonObject& params) {
            if (m_oneWayHandler) m_oneWayHandler(name, params);
        });
        connect(connection, &Connection::closed, this, [this, connection] {
            if (connection == m_connection) onConnectionClosed();
            connection->deleteLater();
        });
        m_connection = connection;
        m_state = State::connected;
        m_logger.info(QStringLiteral("Connect"));
        emit connected();
        finishWaiting(connection);
    });
    connect(socket, &QLocalSocket::errorOccurred, this, [this, socket](QLocalSocket::LocalSocketError) {
        if (socket->state() == QLocalSocket::ConnectedState) return;
        socket->disconnect(this);
        socket->deleteLater();
        m_logger.error(QStringLiteral("Could not connect to the extension host: ") + socket->errorString());
        m_state = State::disconnected;
        finishWaiting(VantrelError(QStringLiteral("Could not connect to the extension host: ") + socket->errorString()));
    });
    socket->connectToServer(m_socketPath);
}

void ExtensionHostClient::finishWaiting(Result<Connection*> result) {
    auto waiters = std::move(m_waiters);
    m_waiters.clear();
    for (auto& waiter : waiters) waiter(result);
}

void ExtensionHostClient::onConnectionClosed() {
    m_connection = nullptr;
    m_state = State::disconnected;
    const bool ours = m_disconnecting;
    m_disconnecting = false;
    if (m_expectingExit || ours) {
        m_logger.info(QStringLiteral("Disconnect"));
        return;
    }
    if (m_process && m_process->state() == QProcess::Running) {
        m_logger.error(QStringLiteral("Connection invalidated"));
        emit invalidated();
    }
}

void ExtensionHostClient::onProcessFinished() {
    const bool expected = m_expectingExit;
    if (m_connection) {
        QPointer<Connection> connection = m_connection;
        m_connection = nullptr;
        connection->close();
    }
    m_state = State::disconnected;
    finishWaiting(VantrelError(QStringLiteral("The extension host stopped")));
    QFile::remove(m_socketPath);
    if (expected) {
        m_logger.info(QStringLiteral("The extension host exited"));
        return;
    }
    m_logger.error(QStringLiteral("Connection interrupted"),
                   {{QStringLiteral("exitCode"), QString::number(m_process ? m_process->exitCode() : -1)},
                    {QStringLiteral("crashed"), m_process && m_process->exitStatus() == QProcess::CrashExit ? "true" : "false"}});
    emit interrupted();
}

}  // namespace vantrel::extensions
