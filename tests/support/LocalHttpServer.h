#pragma once

// A small HTTP/1.1 server on 127.0.0.1 for the code that downloads: it answers
// GET requests from a table of paths, counts them, and can hold a path's
// answer back until the test releases it. One request per connection.
#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

namespace vantrel::test {

class LocalHttpServer : public QObject {
public:
    struct Response {
        int status = 200;
        QByteArray contentType = "application/octet-stream";
        QByteArray body;
    };

    LocalHttpServer() {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { read(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    void close() { m_server.close(); }

    void route(const QString& path, Response response) { m_routes.insert(path, std::move(response)); }
    // Requests of the path wait for release() (as a slow server would make them).
    void hold(const QString& path) { m_held.insert(path); }
    void release(const QString& path) {
        m_held.remove(path);
        const QList<QPointer<QTcpSocket>> waiting = m_waiting.take(path);
        for (const QPointer<QTcpSocket>& socket : waiting)
            if (socket) answer(socket, path);
    }

    QUrl url(const QString& path) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }
    int requests(const QString& path) const { return m_requests.value(path); }

private:
    void read(QTcpSocket* socket) {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        if (!buffer.contains("\r\n\r\n")) return;
        const QList<QByteArray> requestLine = buffer.left(buffer.indexOf("\r\n")).split(' ');
        m_buffers.remove(socket);
        const QString path = requestLine.size() >= 2 ? QString::fromUtf8(requestLine[1]) : QString();
        ++m_requests[path];
        if (m_held.contains(path)) {
            m_waiting[path] << QPointer<QTcpSocket>(socket);
            return;
        }
        answer(socket, path);
    }

    void answer(QTcpSocket* socket, const QString& path) {
        const auto found = m_routes.constFind(path);
        const Response response = found != m_routes.constEnd() ? *found : Response{404, "text/plain", "Not Found"};
        QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) +
                          (response.status == 200 ? " OK" : " Error") + "\r\nContent-Type: " + response.contentType +
                          "\r\nContent-Length: " + QByteArray::number(response.body.size()) +
                          "\r\nConnection: close\r\n\r\n";
        socket->write(head + response.body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QString, Response> m_routes;
    QSet<QString> m_held;
    QHash<QString, QList<QPointer<QTcpSocket>>> m_waiting;
    QHash<QTcpSocket*, QByteArray> m_buffers;
    QHash<QString, int> m_requests;
};

}  // namespace vantrel::test
