#pragma once

#include "extensions/protocol/Frame.h"
#include "kit/Logger.h"
#include "kit/Promise.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QPointer>

#include <functional>
#include <map>

class QLocalSocket;

namespace vantrel::extensions {

// One end of the launcher–host socket: sends requests and matches their
// replies by id, and hands the requests of the other side to a handler. Both
// processes use it.
//
// Threading: the connection lives on the thread that made it (the main
// thread). send*, respond and close may be called from any thread; they are
// carried over to that thread.
//
// Bad input: a truncated, oversized or non-JSON frame, or a message without
// the envelope's keys, is logged and the connection is dropped; it never
// throws. Every pending reply then completes once with "Connection lost".
class Connection : public QObject {
    Q_OBJECT
public:
    using Reply = std::function<void(Result<QJsonValue>)>;
    // Answers one request; call it exactly once, from any thread.
    using Responder = std::function<void(Result<QJsonValue>)>;
    using RequestHandler = std::function<void(const QString& name, const QJsonObject& params, Responder respond)>;
    using OneWayHandler = std::function<void(const QString& name, const QJsonObject& params)>;

    // Takes the socket (reparented to this). peer names the other side in logs.
    Connection(QLocalSocket* socket, QString peer, QObject* parent = nullptr);
    ~Connection() override;

    void setRequestHandler(RequestHandler handler) { m_requestHandler = std::move(handler); }
    void setOneWayHandler(OneWayHandler handler) { m_oneWayHandler = std::move(handler); }

    // reply is called exactly once, on the connection's thread: with the
    // answer, or with "Connection lost" when the connection ends first.
    void sendRequest(const QString& name, const QJsonObject& params, Reply reply);
    void sendOneWay(const QString& name, const QJsonObject& params);
    bool isOpen() const;
    void close();

    // Why the connection ended; empty while open or after an orderly close.
    QString failure() const { return m_failure; }

signals:
    void closed();

private:
    void onReadyRead();
    void onDisconnected();
    void handleMessage(const QJsonObject& message);
    void write(const QJsonObject& message);
    void drop(const QString& failure);
    void failPending();

    QLocalSocket* m_socket = nullptr;
    QString m_peer;
    FrameReader m_reader;
    RequestHandler m_requestHandler;
    OneWayHandler m_oneWayHandler;
    std::map<qint64, Reply> m_pending;
    qint64 m_nextId = 1;
    bool m_closed = false;
    QString m_failure;
    Logger m_logger;
};

}  // namespace vantrel::extensions
