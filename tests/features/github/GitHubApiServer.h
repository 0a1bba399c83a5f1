#pragma once

// The local GitHub API (tests/features/github/server/github-api.mjs) as a
// child process of the test: started on a free port of 127.0.0.1, steered
// through its standard input, its request log read from its output.
#include "GitHubTestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <memory>

namespace vantrel::test {

class GitHubApiServer {
public:
    GitHubApiServer() = default;
    ~GitHubApiServer() { stop(); }
    GitHubApiServer(const GitHubApiServer&) = delete;
    GitHubApiServer& operator=(const GitHubApiServer&) = delete;

    // Starts the server and waits until it listens.
    bool start(QString* problem) {
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::SeparateChannels);
        QObject::connect(m_process.get(), &QProcess::readyReadStandardOutput, [this] { readLines(); });
        const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
        if (node.isEmpty()) {
            *problem = QStringLiteral("node is not installed");
            return false;
        }
        m_process->start(node, {gitHubTestFile(QStringLiteral("server/github-api.mjs"))});
        if (!waitUntil([this] { return m_port != 0 || m_process->state() == QProcess::NotRunning; }, 30000) ||
            m_port == 0) {
            *problem = QStringLiteral("the GitHub API server did not start: ") +
                       QString::fromUtf8(m_process->readAllStandardError());
            return false;
        }
        return true;
    }

    // Ends the server (it exits when its standard input closes) and waits.
    void stop() {
        if (!m_process) return;
        if (m_process->state() != QProcess::NotRunning) {
            m_process->closeWriteChannel();
            if (!waitUntil([this] { return m_process->state() == QProcess::NotRunning; }, 10000)) {
                m_process->kill();
                m_process->waitForFinished(5000);
            }
        }
        m_process.reset();
    }

    bool isRunning() const { return m_process && m_process->state() == QProcess::Running; }
    int port() const { return m_port; }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port)); }

    // Sends a steering line and waits for its acknowledgement.
    bool command(const QJsonObject& command) {
        const int expected = ++m_sent;
        m_process->write(QJsonDocument(command).toJson(QJsonDocument::Compact) + '\n');
        return waitUntil([this, expected] { return m_acks >= expected; }, 10000);
    }

    // The requests it answered so far (each {"method", "path", "operation", "variables", "authorization"…}).
    const QList<QJsonObject>& requests() const { return m_requests; }
    int count(const QString& operationOrPath) const {
        int found = 0;
        for (const QJsonObject& request : m_requests)
            if (request.value(QStringLiteral("operation")).toString() == operationOrPath ||
                request.value(QStringLiteral("path")).toString() == operationOrPath)
                ++found;
        return found;
    }
    QJsonObject last(const QString& operationOrPath) const {
        for (auto it = m_requests.crbegin(); it != m_requests.crend(); ++it)
            if (it->value(QStringLiteral("operation")).toString() == operationOrPath ||
                it->value(QStringLiteral("path")).toString() == operationOrPath)
                return *it;
        return {};
    }
    // Lets the event loop read the log until the request count reaches n.
    bool waitForRequests(const QString& operationOrPath, int n, int timeoutMs = 10000) {
        return waitUntil([&] { return count(operationOrPath) >= n; }, timeoutMs);
    }

private:
    void readLines() {
        m_buffer += m_process->readAllStandardOutput();
        qsizetype end;
        while ((end = m_buffer.indexOf('\n')) >= 0) {
            const QJsonObject line = QJsonDocument::fromJson(m_buffer.left(end)).object();
            m_buffer.remove(0, end + 1);
            if (line.contains(QStringLiteral("listening"))) m_port = line.value(QStringLiteral("listening")).toInt();
            if (line.contains(QStringLiteral("ack"))) m_acks = line.value(QStringLiteral("ack")).toInt();
            if (line.contains(QStringLiteral("request"))) m_requests << line.value(QStringLiteral("request")).toObject();
        }
    }

    std::unique_ptr<QProcess> m_process;
    QByteArray m_buffer;
    int m_port = 0;
    int m_sent = 0;
    int m_acks = 0;
    QList<QJsonObject> m_requests;
};

}  // namespace vantrel::test
