#pragma once

// A programmable HTTP/1.1 server on 127.0.0.1 for the network client's
// tests: each path has a handler that sees the whole request (method, query,
// headers, body) and answers status, headers and body. Requests are kept in
// order for the test to inspect; a path can be held back until released (as a
// slow server would), and an answer can be cut short (Content-Length larger
// than the bytes sent). One request per connection.
#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QPair>
#include <QPointer>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <QUrlQuery>

#include <functional>
#include <vector>

namespace vantrel::test {

class TestHttpServer : public QObject {
public:
    struct Request {
        QByteArray method;
        QString path;
        QUrlQuery query;
        QMap<QByteArray, QByteArray> headers;  // names in lower case
        QByteArray body;

        QByteArray header(const QByteArray& name) const { return headers.value(name.toLower()); }
        // The body as form items (application/x-www-form-urlencoded).
        QUrlQuery form() const { return QUrlQuery(QString::fromUtf8(body).replace(QLatin1Char('+'), QLatin1Char(' '))); }
    };
    struct Response {
        int status = 200;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers = {{"Content-Type", "application/json"}};
        // Sends half the body with the full Content-Length, then closes.
        bool truncated = false;
    };
    using Handler = std::function<Response(const Request&)>;

    TestHttpServer() {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    bool listen(quint16 port = 0) { return m_server.listen(QHostAddress::LocalHost, port); }
    void close() { m_server.close(); }
    quint16 port() const { return m_server.serverPort(); }
    QUrl url(const QString& pathAndQuery = QString()) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(pathAndQuery));
    }

    void on(const QString& path, Handler handler) { m_handlers.insert(path, std::move(handler)); }
    void reply(const QString& path, Response response) {
        on(path, [response](const Request&) { return response; });
    }
    void hold(const QString& path) { m_held.insert(path); }
    void release(const QString& path) {
        m_held.remove(path);
        const auto waiting = m_waiting.take(path);
        for (const auto& [socket, request] : waiting)
            if (socket) answer(socket, request);
    }
    int waitingCount(const QString& path) const { return int(m_waiting.value(path).size()); }
    // Held requests whose client is still connected (an aborted one is not).
    int connectedWaitingCount(const QString& path) const {
        int n = 0;
        for (const auto& [socket, request] : m_waiting.value(path))
            n += socket && socket->state() == QAbstractSocket::ConnectedState ? 1 : 0;
        return n;
    }

    const std::vector<Request>& requests() const { return m_requests; }
    int count(const QString& path) const {
        int n = 0;
        for (const Request& request : m_requests) n += request.path == path ? 1 : 0;
        return n;
    }
    std::vector<Request> requestsTo(const QString& path) const {
        std::vector<Request> found;
        for (const Request& request : m_requests)
            if (request.path == path) found.push_back(request);
        return found;
    }

private:
    void read(QTcpSocket* socket) {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0) return;
        Request request;
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        qsizetype length = 0;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon < 0) continue;
            const QByteArray name = lines[i].left(colon).trimmed().toLower();
            const QByteArray value = lines[i].mid(colon + 1).trimmed();
            request.headers.insert(name, value);
            if (name == "content-length") length = value.toLongLong();
        }
        if (buffer.size() < headerEnd + 4 + length) return;  // the body is still coming
        request.body = buffer.mid(headerEnd + 4, length);
        m_buffers.remove(socket);
        request.method = requestLine.value(0);
        const QUrl target = QUrl::fromEncoded(requestLine.value(1));
        request.path = target.path();
        request.query = QUrlQuery(target);
        m_requests.push_back(request);
        if (m_held.contains(request.path)) {
            m_waiting[request.path].append({QPointer<QTcpSocket>(socket), request});
            return;
        }
        answer(socket, request);
    }

    void answer(QTcpSocket* socket, const Request& request) {
        const auto found = m_handlers.constFind(request.path);
        const Response response = found != m_handlers.constEnd()
                                      ? (*found)(request)
                                      : Response{404, "{\"message\":\"Not Found\"}", {{"Content-Type", "application/json"}}};
        QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Status\r\n";
        for (const auto& [name, value] : response.headers) head += name + ": " + value + "\r\n";
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\nConnection: close\r\n\r\n";
        socket->write(head + (response.truncated ? response.body.left(response.body.size() / 2) : response.body));
        socket->flush();
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QString, Handler> m_handlers;
    QSet<QString> m_held;
    QHash<QString, QList<QPair<QPointer<QTcpSocket>, Request>>> m_waiting;
    QHash<QTcpSocket*, QByteArray> m_buffers;
    std::vector<Request> m_requests;
};

}  // namespace vantrel::test
