#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QUrl>

#include <functional>

class QTcpSocket;

namespace vantrel {

// The loopback end of a browser sign-in (RFC 8252): a one-request HTTP server
// on 127.0.0.1 with a port the system picks. The browser's GET of the
// redirect path is handed to onRedirect as the full URL; the page it gets
// back says whether the sign-in went through (answerWith). Other paths get a
// 404 and are not reported.
class LoopbackRedirectServer : public QObject {
    Q_OBJECT

public:
    explicit LoopbackRedirectServer(QString path = QStringLiteral("/oauth/callback"), QObject* parent = nullptr);
    ~LoopbackRedirectServer() override;

    // Listens on 127.0.0.1; false when no port could be had.
    bool listen(quint16 port = 0);
    void close();
    bool isListening() const { return m_server.isListening(); }
    // http://127.0.0.1:PORT/PATH
    QUrl redirectURL() const;

    // Called once per redirect that reaches the path.
    std::function<void(const QUrl& url)> onRedirect;
    // The page shown for the redirect in progress: call from onRedirect (or
    // later); without it the browser is told the sign-in is being finished.
    void answerWith(bool success, const QString& message);

private:
    void read(QTcpSocket* socket);
    void respond(QTcpSocket* socket, int status, const QByteArray& html);

    QString m_path;
    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_buffers;
    QTcpSocket* m_pending = nullptr;
};

}  // namespace vantrel
