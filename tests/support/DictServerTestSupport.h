#pragma once

// DICT servers for the dictionary's tests: the real dictd over the installed
// GCIDE and WordNet databases, started privately on a free port, and a
// server on 127.0.0.1 that misbehaves on purpose (silent, garbage, early close).
#include "support/TestEnvironment.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vantrel::test {

// dictd as its own process, with a configuration of its own; stopped with the object.
class PrivateDictd {
public:
    PrivateDictd() {
        // dictd changes to its own user when started as root: its folder must be writable for it.
        QFile::setPermissions(m_dir.path(), QFile::Permissions(0x7777));
    }
    ~PrivateDictd() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(5000)) m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    // Starts dictd and waits until it greets a client; false (with the reason
    // in `problem`) when dictd or its databases are not installed.
    bool start(QString* problem) {
        const QString executable = QStandardPaths::findExecutable(QStringLiteral("dictd"), {"/usr/sbin", "/usr/bin"});
        if (executable.isEmpty()) {
            *problem = QStringLiteral("dictd is not installed (scripts/install-deps installs it)");
            return false;
        }
        for (const char* file : {"gcide.index", "wn.index"})
            if (!QFile::exists(QStringLiteral("/usr/share/dictd/") + QLatin1String(file))) {
                *problem = QStringLiteral("/usr/share/dictd/%1 is missing (dict-gcide, dict-wn)").arg(file);
                return false;
            }
        const QString config = m_dir.filePath(QStringLiteral("dictd.conf"));
        writeTestFile(config,
                      "global {\n  listen_to 127.0.0.1\n}\n"
                      "access {\n  allow 127.0.0.1\n  allow localhost\n}\n"
                      "database gcide {\n  data \"/usr/share/dictd/gcide.dict.dz\"\n"
                      "  index \"/usr/share/dictd/gcide.index\"\n}\n"
                      "database wn {\n  data \"/usr/share/dictd/wn.dict.dz\"\n"
                      "  index \"/usr/share/dictd/wn.index\"\n}\n");
        // A free port may be taken between asking and binding: then another one.
        for (int attempt = 0; attempt < 5; ++attempt) {
            QTcpServer probe;
            if (!probe.listen(QHostAddress::LocalHost, 0)) continue;
            m_port = probe.serverPort();
            probe.close();
            m_process.setProcessChannelMode(QProcess::MergedChannels);
            m_process.start(executable, {"--config", config, "-p", QString::number(m_port), "-L",
                                         m_dir.filePath(QStringLiteral("dictd.log")), "--pid-file",
                                         m_dir.filePath(QStringLiteral("dictd.pid")), "-d", "nodetach"});
            if (!m_process.waitForStarted(10000)) continue;
            if (waitUntil([this] { return greets() || m_process.state() == QProcess::NotRunning; }, 20000) &&
                m_process.state() == QProcess::Running)
                return true;
            m_process.kill();
            m_process.waitForFinished(5000);
        }
        *problem = QStringLiteral("dictd did not start: ") + QString::fromUtf8(m_process.readAll()) +
                   QString::fromUtf8(readTestFile(m_dir.filePath(QStringLiteral("dictd.log"))));
        return false;
    }

    quint16 port() const { return m_port; }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }

private:
    bool greets() const {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_port);
        if (!socket.waitForConnected(500)) return false;
        const QDeadlineTimer deadline(2000);
        while (!socket.canReadLine() && !deadline.hasExpired()) socket.waitForReadyRead(100);
        return socket.readLine().startsWith("220");
    }

    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};

// A server on 127.0.0.1 that takes connections and answers each with
// `greeting` (nothing: it stays silent), then closes it when `closeAfter` says so.
class MisbehavingDictServer : public QObject {
public:
    explicit MisbehavingDictServer(QByteArray greeting, bool closeAfter = false)
        : m_greeting(std::move(greeting)), m_closeAfter(closeAfter) {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                ++m_connections;
                m_sockets << socket;
                if (!m_greeting.isEmpty()) socket->write(m_greeting);
                if (m_closeAfter) socket->disconnectFromHost();
            }
        });
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost, 0));
    }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(m_server.serverPort()); }
    quint16 port() const { return m_server.serverPort(); }
    int connections() const { return m_connections; }

private:
    QTcpServer m_server;
    QByteArray m_greeting;
    bool m_closeAfter;
    int m_connections = 0;
    QList<QPointer<QTcpSocket>> m_sockets;
};

}  // namespace vantrel::test
