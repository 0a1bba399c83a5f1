#include "core/shell/InstanceChannel.h"

#include "kit/Logger.h"
#include "kit/Paths.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>

#include <cstdio>

#include <unistd.h>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Instance"), QStringLiteral("🔌")});
    return logger;
}

constexpr qint64 kMaxLineLength = 64 * 1024;
// An answer may carry a long list (the sections of a search).
constexpr qint64 kMaxReplyLength = 16 * 1024 * 1024;

std::optional<QJsonObject> parseObject(const QByteArray& line, QString* error) {
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(line.trimmed(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        if (error) *error = QStringLiteral("The message is not JSON: ") + parseError.errorString();
        return std::nullopt;
    }
    if (!document.isObject()) {
        if (error) *error = QStringLiteral("The message is not a JSON object");
        return std::nullopt;
    }
    return document.object();
}

}  // namespace

// MARK: Messages

const QStringList& InstanceRequest::commands() {
    static const QStringList names{
        QStringLiteral("toggle"),     QStringLiteral("show"),   QStringLiteral("hide"),
        QStringLiteral("activate"),   QStringLiteral("open"),   QStringLiteral("set-hotkey"),
        QStringLiteral("status"),     QStringLiteral("quit"),   QStringLiteral("search"),
        QStringLiteral("configuration-changed")};
    return names;
}

bool InstanceRequest::takesArgument(const QString& command) {
    return command == QLatin1String("open") || command == QLatin1String("set-hotkey") ||
           command == QLatin1String("configuration-changed");
}

QByteArray InstanceRequest::encode() const {
    QJsonObject object{{QStringLiteral("command"), command}};
    if (!argument.isEmpty()) object.insert(QStringLiteral("argument"), argument);
    if (!options.isEmpty()) object.insert(QStringLiteral("options"), options);
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<InstanceRequest> InstanceRequest::decode(const QByteArray& line, QString* error) {
    const auto object = parseObject(line, error);
    if (!object) return std::nullopt;
    const QJsonValue command = object->value(QStringLiteral("command"));
    if (!command.isString()) {
        if (error) *error = QStringLiteral("The message names no command");
        return std::nullopt;
    }
    if (!commands().contains(command.toString())) {
        if (error) *error = QStringLiteral("Unknown command '%1'").arg(command.toString());
        return std::nullopt;
    }
    const QJsonValue argument = object->value(QStringLiteral("argument"));
    if (!argument.isUndefined() && !argument.isString()) {
        if (error) *error = QStringLiteral("The argument is not text");
        return std::nullopt;
    }
    const QJsonValue options = object->value(QStringLiteral("options"));
    if (!options.isUndefined() && !options.isObject()) {
        if (error) *error = QStringLiteral("The options are not an object");
        return std::nullopt;
    }
    InstanceRequest request{command.toString(), argument.toString(), options.toObject()};
    if (takesArgument(request.command) && request.argument.isEmpty()) {
        if (error) *error = QStringLiteral("The command '%1' needs an argument").arg(request.command);
        return std::nullopt;
    }
    return request;
}

QByteArray InstanceReply::encode() const {
    QJsonObject object = values;
    object.insert(QStringLiteral("ok"), ok);
    if (!message.isEmpty()) object.insert(QStringLiteral("message"), message);
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<InstanceReply> InstanceReply::decode(const QByteArray& line, QString* error) {
    auto object = parseObject(line, error);
    if (!object) return std::nullopt;
    const QJsonValue ok = object->take(QStringLiteral("ok"));
    if (!ok.isBool()) {
        if (error) *error = QStringLiteral("The answer has no 'ok'");
        return std::nullopt;
    }
    InstanceReply reply;
    reply.ok = ok.toBool();
    reply.message = object->take(QStringLiteral("message")).toString();
    reply.values = *object;
    return reply;
}

// MARK: Server

InstanceServer::InstanceServer(QString socketPath, QObject* parent)
    : QObject(parent), m_path(socketPath.isEmpty() ? defaultSocketPath() : std::move(socketPath)) {}

InstanceServer::~InstanceServer() {
    if (m_server) m_server->close();  // removes the socket file
}

QString InstanceServer::defaultSocketPath() {
    const QString name = QStringLiteral("vantrel-%1.socket").arg(::getuid());
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(QString::fromLocal8Bit(runtime)).exists())
        return QDir(QString::fromLocal8Bit(runtime)).filePath(name);
    Paths::ensureDir(Paths::stateDir());
    return QDir(Paths::stateDir()).filePath(name);
}

bool InstanceServer::isListening() const {
    return m_server && m_server->isListening();
}

bool InstanceServer::listen(QString* error) {
    if (isListening()) return true;
    if (InstanceClient(m_path).isRunning()) {
        if (error) *error = QStringLiteral("Another launcher is running on ") + m_path;
        return false;
    }
    if (QFile::exists(m_path)) {
        log().info("Removing a socket left behind by a launcher that is gone", {{QStringLiteral("path"), m_path}});
        QLocalServer::removeServer(m_path);
    }
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_path)) {
        if (error) *error = QStringLiteral("Cannot listen on %1: %2").arg(m_path, m_server->errorString());
        delete m_server;
        m_server = nullptr;
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, &InstanceServer::accept);
    log().info("Listening for other launchers", {{QStringLiteral("path"), m_path}});
    return true;
}

void InstanceServer::accept() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        if (socket->bytesAvailable() > 0) readFrom(socket);
    }
}

void InstanceServer::readFrom(QLocalSocket* socket) {
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kMaxLineLength) {
            socket->write(InstanceReply{false, QStringLiteral("The message is too long"), {}}.encode());
            socket->disconnectFromServer();
        }
        return;
    }
    const QByteArray line = socket->readLine(kMaxLineLength);
    QString error;
    InstanceReply reply;
    if (const auto request = InstanceRequest::decode(line, &error)) {
        log().info("Request from another launcher", {{QStringLiteral("command"), request->command}});
        reply = m_handler ? m_handler(*request) : InstanceReply{false, QStringLiteral("Not ready yet"), {}};
    } else {
        log().warning(QStringLiteral("Ignored a message from another launcher: ") + error);
        reply = InstanceReply{false, error, {}};
    }
    socket->write(reply.encode());
    socket->flush();
    socket->disconnectFromServer();
}

// MARK: Client

InstanceClient::InstanceClient(QString socketPath)
    : m_path(socketPath.isEmpty() ? InstanceServer::defaultSocketPath() : std::move(socketPath)) {}

bool InstanceClient::isRunning(int timeoutMs) const {
    if (!QFile::exists(m_path)) return false;
    QLocalSocket socket;
    socket.connectToServer(m_path);
    const bool connected = socket.waitForConnected(timeoutMs);
    socket.abort();
    return connected;
}

std::optional<InstanceReply> InstanceClient::send(const InstanceRequest& request, int timeoutMs, QString* error) const {
    const QDeadlineTimer deadline(timeoutMs);
    if (!QFile::exists(m_path)) {
        if (error) *error = QStringLiteral("No launcher is running");
        return std::nullopt;
    }
    QLocalSocket socket;
    socket.connectToServer(m_path);
    if (!socket.waitForConnected(int(deadline.remainingTime()))) {
        if (error) *error = QStringLiteral("No launcher is running");
        return std::nullopt;
    }
    socket.write(request.encode());
    if (!socket.waitForBytesWritten(int(deadline.remainingTime()))) {
        if (error) *error = QStringLiteral("The launcher did not take the request: ") + socket.errorString();
        return std::nullopt;
    }
    QByteArray answer;
    while (!answer.contains('\n')) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(int(qMax<qint64>(deadline.remainingTime(), 0)))) {
            answer += socket.readAll();
            if (answer.contains('\n')) break;
            if (error) *error = QStringLiteral("The launcher did not answer in time");
            return std::nullopt;
        }
        answer += socket.readAll();
        if (answer.size() > kMaxReplyLength) break;
    }
    return InstanceReply::decode(answer.left(answer.indexOf('\n') + 1), error);
}

std::optional<int> InstanceClient::runCommand(const QString& commandId, int timeoutMs) const {
    if (!isRunning()) return std::nullopt;
    QString error;
    const auto reply =
        send({QStringLiteral("open"), QStringLiteral("vantrel://commands/") + commandId, {}}, timeoutMs, &error);
    if (!reply) {
        std::fprintf(stderr, "vantrel: the running launcher did not answer (%s)\n", error.toUtf8().constData());
        return 1;
    }
    if (!reply->ok) {
        std::fprintf(stderr, "vantrel: %s\n", reply->message.toUtf8().constData());
        return 1;
    }
    return 0;
}

}  // namespace vantrel
