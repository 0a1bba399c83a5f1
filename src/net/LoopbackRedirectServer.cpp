#include "net/LoopbackRedirectServer.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

namespace vantrel {

namespace {

constexpr int kMaximumRequestBytes = 64 * 1024;

QByteArray page(const QString& title, const QString& message) {
    return "<!doctype html><html><head><meta charset=\"utf-8\"><title>" + title.toHtmlEscaped().toUtf8() +
           "</title></head><body style=\"font-family:sans-serif;margin:4em\"><h1>" + title.toHtmlEscaped().toUtf8() +
           "</h1><p>" + message.toHtmlEscaped().toUtf8() + "</p></body></html>";
}

}  // namespace

LoopbackRedirectServer::LoopbackRedirectServer(QString path, QObject* parent)
    : QObject(parent), m_path(std::move(path)) {
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                m_buffers.remove(socket);
                if (m_pending == socket) m_pending = nullptr;
                socket->deleteLater();
            });
        }
    });
}

LoopbackRedirectServer::~LoopbackRedirectServer() { close(); }

bool LoopbackRedirectServer::listen(quint16 port) { return m_server.listen(QHostAddress::LocalHost, port); }

void LoopbackRedirectServer::close() {
    if (m_pending) answerWith(false, QStringLiteral("The sign-in was cancelled."));
    m_server.close();
}

QUrl LoopbackRedirectServer::redirectURL() const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(m_path));
}

void LoopbackRedirectServer::read(QTcpSocket* socket) {
    QByteArray& buffer = m_buffers[socket];
    buffer += socket->readAll();
    if (buffer.size() > kMaximumRequestBytes) {
        m_buffers.remove(socket);
        respond(socket, 431, page(QStringLiteral("Request too large"), QString()));
        return;
    }
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0) return;
    const QList<QByteArray> requestLine = buffer.left(buffer.indexOf("\r\n")).split(' ');
    m_buffers.remove(socket);
    if (requestLine.size() < 3 || requestLine[0] != "GET") {
        respond(socket, 405, page(QStringLiteral("Not allowed"), QString()));
        return;
    }
    const QUrl target = QUrl::fromEncoded(requestLine[1]);
    if (target.path() != m_path) {
        respond(socket, 404, page(QStringLiteral("Not found"), QString()));
        return;
    }
    QUrl full = redirectURL();
    full.setQuery(target.query(QUrl::FullyEncoded), QUrl::StrictMode);
    if (m_pending) answerWith(false, QStringLiteral("Another sign-in took its place."));
    m_pending = socket;
    if (onRedirect) onRedirect(full);
    // No answer yet: the page waits for the token request, up to a point.
    if (m_pending == socket) {
        QPointer<QTcpSocket> waiting(socket);
        QTimer::singleShot(30000, this, [this, waiting] {
            if (waiting && m_pending == waiting.data())
                answerWith(true, QStringLiteral("Return to Vantrel to finish signing in."));
        });
    }
}

void LoopbackRedirectServer::answerWith(bool success, const QString& message) {
    QTcpSocket* socket = m_pending;
    m_pending = nullptr;
    if (!socket) return;
    respond(socket, success ? 200 : 400,
            page(success ? QStringLiteral("Signed in to Vantrel") : QStringLiteral("Sign-in failed"),
                 message.isEmpty() ? QStringLiteral("You can close this tab and return to Vantrel.") : message));
}

void LoopbackRedirectServer::respond(QTcpSocket* socket, int status, const QByteArray& html) {
    const QByteArray reason = status == 200 ? "OK" : status == 404 ? "Not Found" : "Bad Request";
    socket->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reason +
                  "\r\nContent-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\nContent-Length: " +
                  QByteArray::number(html.size()) + "\r\nConnection: close\r\n\r\n" + html);
    socket->disconnectFromHost();
}

}  // namespace vantrel
