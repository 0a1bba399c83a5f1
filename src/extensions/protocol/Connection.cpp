#include "extensions/protocol/Connection.h"

#include "extensions/protocol/Messages.h"

#include <QLocalSocket>
#include <QMetaObject>
#include <QThread>

#include <atomic>

namespace vantrel::extensions {

namespace {

// Runs work on the object's thread: at once when already there.
template <typename Work>
void onThreadOf(QObject* object, Work work) {
    if (QThread::currentThread() == object->thread()) {
        work();
    } else {
        QMetaObject::invokeMethod(object, std::move(work), Qt::QueuedConnection);
    }
}

}  // namespace

Connection::Connection(QLocalSocket* socket, QString peer, QObject* parent)
    : QObject(parent),
      m_socket(socket),
      m_peer(std::move(peer)),
      m_logger({QStringLiteral("Extension Connection"), QStringLiteral("🔌")}) {
    m_socket->setParent(this);
    connect(m_socket, &QLocalSocket::readyRead, this, &Connection::onReadyRead);
    connect(m_socket, &QLocalSocket::disconnected, this, &Connection::onDisconnected);
    connect(m_socket, &QLocalSocket::errorOccurred, this, [this](QLocalSocket::LocalSocketError error) {
        if (error == QLocalSocket::PeerClosedError) return;  // disconnected() follows
        if (m_socket->state() != QLocalSocket::ConnectedState) onDisconnected();
    });
    if (m_socket->bytesAvailable() > 0) QMetaObject::invokeMethod(this, &Connection::onReadyRead, Qt::QueuedConnection);
}

Connection::~Connection() {
    m_closed = true;
    failPending();
}

bool Connection::isOpen() const { return !m_closed && m_socket->state() == QLocalSocket::ConnectedState; }

void Connection::sendRequest(const QString& name, const QJsonObject& params, Reply reply) {
    onThreadOf(this, [this, name, params, reply = std::move(reply)]() mutable {
        if (!isOpen()) {
            reply(VantrelError(QStringLiteral("Connection lost")));
            return;
        }
        const qint64 id = m_nextId++;
        m_pending.emplace(id, std::move(reply));
        write({{message::id, id}, {message::request, name}, {message::params, params}});
    });
}

void Connection::sendOneWay(const QString& name, const QJsonObject& params) {
    onThreadOf(this, [this, name, params] {
        if (isOpen()) write({{message::request, name}, {message::params, params}});
    });
}

void Connection::close() {
    onThreadOf(this, [this] {
        if (m_closed) return;
        m_closed = true;
        m_socket->disconnectFromServer();
        failPending();
        emit closed();
    });
}

void Connection::write(const QJsonObject& message) {
    const QByteArray frame = encodeFrame(message);
    if (frame.isEmpty()) {
        // Too large to send: answer it here rather than breaking the stream.
        m_logger.error(QStringLiteral("Message to %1 exceeds the frame limit of %2 bytes").arg(m_peer).arg(kMaxFrameSize));
        const QJsonValue id = message.value(message::id);
        if (message.contains(message::request) && id.isDouble()) {
            const auto pending = m_pending.find(id.toInteger());
            if (pending != m_pending.end()) {
                Reply reply = std::move(pending->second);
                m_pending.erase(pending);
                reply(VantrelError(QStringLiteral("Message too large")));
            }
        } else if (id.isDouble()) {
            write({{message::id, id}, {message::error, errorDictionary(QStringLiteral("Message too large"))}});
        }
        return;
    }
    m_socket->write(frame);
    m_socket->flush();
}

void Connection::onReadyRead() {
    if (m_closed) return;
    const auto messages = m_reader.feed(m_socket->readAll());
    for (const QJsonObject& message : messages) {
        if (m_closed) return;
        handleMessage(message);
    }
    if (m_reader.failed()) drop(m_reader.failureDescription());
}

void Connection::onDisconnected() {
    if (m_closed) return;
    if (m_socket->bytesAvailable() > 0) onReadyRead();
    if (m_closed) return;
    m_reader.finish();
    if (m_reader.failed()) {
        drop(m_reader.failureDescription());
        return;
    }
    m_logger.info(QStringLiteral("Connection to %1 closed").arg(m_peer));
    m_failure = QStringLiteral("Connection closed");
    m_closed = true;
    failPending();
    emit closed();
}

void Connection::drop(const QString& failure) {
    if (m_closed) return;
    m_logger.error(QStringLiteral("Dropping connection to %1: %2").arg(m_peer, failure));
    m_failure = failure;
    m_closed = true;
    m_socket->abort();
    failPending();
    emit closed();
}

void Connection::failPending() {
    auto pending = std::move(m_pending);
    m_pending.clear();
    for (auto& [id, reply] : pending) reply(VantrelError(QStringLiteral("Connection lost")));
}

void Connection::handleMessage(const QJsonObject& message) {
    const QJsonValue id = message.value(message::id);
    const QJsonValue request = message.value(message::request);
    if (request.isString()) {
        const QJsonValue params = message.value(message::params);
        if (!params.isObject() && !params.isUndefined()) {
            drop(QStringLiteral("Request '%1' has params that are not an object").arg(request.toString()));
            return;
        }
        if (id.isUndefined()) {
            if (m_oneWayHandler) m_oneWayHandler(request.toString(), params.toObject());
            return;
        }
        if (!id.isDouble()) {
            drop(QStringLiteral("Request '%1' has an id that is not a number").arg(request.toString()));
            return;
        }
        const qint64 requestId = id.toInteger();
        QPointer<Connection> self(this);
        auto answered = std::make_shared<std::atomic_bool>(false);
        Responder respond = [self, requestId, answered](Result<QJsonValue> result) {
            if (answered->exchange(true)) return;
            if (!self) return;
            QJsonObject reply{{message::id, requestId}};
            if (result.isSuccess()) {
                reply.insert(message::result, result.value());
            } else {
                reply.insert(message::error, errorDictionary(result.error()));
            }
            Connection* connection = self.data();
            onThreadOf(connection, [self, reply] {
                if (self && self->isOpen()) self->write(reply);
            });
        };
        if (m_requestHandler) {
            m_requestHandler(request.toString(), params.toObject(), std::move(respond));
        } else {
            respond(VantrelError(QStringLiteral("Unknown request: ") + request.toString()));
        }
        return;
    }
    if (!id.isDouble()) {
        drop(QStringLiteral("Message is neither a request nor a reply"));
        return;
    }
    const auto pending = m_pending.find(id.toInteger());
    if (pending == m_pending.end()) {
        m_logger.warning(QStringLiteral("Reply from %1 to an unknown request id %2").arg(m_peer).arg(id.toInteger()));
        return;
    }
    Reply reply = std::move(pending->second);
    m_pending.erase(pending);
    if (message.contains(message::error)) {
        reply(errorFromDictionary(message.value(message::error)));
    } else {
        reply(message.value(message::result));
    }
}

}  // namespace vantrel::extensions
