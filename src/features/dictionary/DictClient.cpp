#include "features/dictionary/DictClient.h"

#include <QEventLoop>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

namespace vantrel {

std::optional<DictServer> DictServer::parse(const QString& text) {
    QString value = text.trimmed();
    if (value.isEmpty()) return std::nullopt;
    if (!value.contains(QLatin1String("://"))) value.prepend(QLatin1String("dict://"));
    const QUrl url(value, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("dict") || url.host().isEmpty()) return std::nullopt;
    if (!url.path().isEmpty() && url.path() != QLatin1String("/")) return std::nullopt;
    DictServer server;
    server.host = url.host();
    const int port = url.port(defaultPort);
    if (port <= 0 || port > 65535) return std::nullopt;
    server.port = static_cast<quint16>(port);
    return server;
}

QString DictServer::toString() const {
    return host + QLatin1Char(':') + QString::number(port);
}

QByteArray dictQuoted(const QString& word) {
    // DICT has no escapes inside quotes: quotes and line breaks cannot be sent.
    QString clean = word.simplified();
    clean.remove(QLatin1Char('"'));
    clean.remove(QLatin1Char('\\'));
    return '"' + clean.toUtf8() + '"';
}

DictClient::DictClient(DictServer server, int timeoutMs, QObject* parent)
    : QObject(parent), m_server(std::move(server)), m_timeoutMs(timeoutMs) {}

DictClient::~DictClient() = default;

void DictClient::lookup(const QString& word) {
    m_result = DictLookup{};
    m_result.word = word.simplified();
    m_finished = false;
    m_stage = Stage::connecting;
    m_strategy = QStringLiteral("lev");
    m_buffer.clear();
    m_received = 0;
    if (m_result.word.isEmpty()) {
        // Reported from the event loop, like every other ending.
        QTimer::singleShot(0, this, [this] { fail(QStringLiteral("There is no word to look up.")); });
        return;
    }
    delete m_socket;
    m_socket = new QTcpSocket(this);
    delete m_timer;
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] {
        fail(QStringLiteral("The dictionary server at %1 did not answer within %2 seconds.")
                 .arg(m_server.toString())
                 .arg(QString::number(m_timeoutMs / 1000.0)));
    });
    connect(m_socket, &QTcpSocket::readyRead, this, &DictClient::readLines);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (m_finished) return;
        if (error == QAbstractSocket::RemoteHostClosedError && m_stage == Stage::quitting) return finish();
        if (error == QAbstractSocket::RemoteHostClosedError) {
            // What came before the close is still read.
            readLines();
            if (m_finished) return;
            return fail(QStringLiteral("The dictionary server at %1 closed the connection before it answered.")
                            .arg(m_server.toString()));
        }
        fail(QStringLiteral("Cannot reach the dictionary server at %1: %2. Install dictd with its dictionaries "
                            "(dict-gcide, dict-wn) or set another server in the Dictionary preferences.")
                 .arg(m_server.toString(), m_socket->errorString()));
    });
    m_timer->start(m_timeoutMs);
    m_socket->connectToHost(m_server.host, m_server.port);
    m_stage = Stage::banner;
}

DictLookup DictClient::lookupAndWait(const DictServer& server, const QString& word, int timeoutMs) {
    DictClient client(server, timeoutMs);
    DictLookup result;
    QEventLoop loop;
    connect(&client, &DictClient::finished, &loop, [&](const DictLookup& lookup) {
        result = lookup;
        loop.quit();
    });
    client.lookup(word);
    if (!client.m_finished) loop.exec();
    return result;
}

void DictClient::send(const QByteArray& command) {
    m_socket->write(command + "\r\n");
}

void DictClient::sendMatch() {
    m_stage = Stage::match;
    send("MATCH * " + m_strategy.toLatin1() + ' ' + dictQuoted(m_result.word));
}

void DictClient::readLines() {
    if (m_finished || !m_socket) return;
    const QByteArray chunk = m_socket->readAll();
    m_received += chunk.size();
    if (m_received > maximumResponseBytes)
        return fail(QStringLiteral("The dictionary server at %1 sent more than %2 MB; the lookup was stopped.")
                        .arg(m_server.toString())
                        .arg(maximumResponseBytes / (1024 * 1024)));
    m_buffer += chunk;
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = m_buffer.indexOf('\n', start);
        if (end < 0) break;
        QByteArray line = m_buffer.mid(start, end - start);
        if (line.endsWith('\r')) line.chop(1);
        start = end + 1;
        handleLine(line);
        if (m_finished) return;
    }
    m_buffer.remove(0, start);
}

void DictClient::handleLine(const QByteArray& line) {
    if (m_stage == Stage::definitionText || m_stage == Stage::matchText) {
        if (line == ".") {
            if (m_stage == Stage::definitionText) {
                m_current.text = m_currentLines.join(QLatin1Char('\n'));
                m_result.definitions.push_back(m_current);
                m_stage = Stage::define;
            } else {
                m_stage = Stage::match;
            }
            m_currentLines.clear();
            return;
        }
        // A leading dot of a text line is doubled on the wire.
        const QString text = QString::fromUtf8(line.startsWith("..") ? line.mid(1) : line);
        if (m_stage == Stage::definitionText) {
            m_currentLines << text;
        } else {
            // `database "word"`
            static const QRegularExpression matchLine(QStringLiteral("^\\S+\\s+\"([^\"]*)\"\\s*$"));
            const auto found = matchLine.match(text);
            if (!found.hasMatch()) return fail(QStringLiteral("The dictionary server at %1 answered with a match "
                                                              "list that is not DICT.")
                                                   .arg(m_server.toString()));
            const QString suggestion = found.captured(1);
            const qsizetype known = m_result.suggestions.indexOf(
                QRegularExpression(QRegularExpression::escape(suggestion),
                                   QRegularExpression::CaseInsensitiveOption | QRegularExpression::DontCaptureOption));
            if (known >= 0) {
                // One spelling per word: the one written like the word looked up.
                if (m_result.word == m_result.word.toLower() && suggestion == suggestion.toLower())
                    m_result.suggestions[known] = suggestion;
            } else if (m_result.suggestions.size() < maximumSuggestions) {
                m_result.suggestions << suggestion;
            }
        }
        return;
    }
    static const QRegularExpression status(QStringLiteral("^([1-5][0-9][0-9])(?:\\s(.*))?$"));
    const auto found = status.match(QString::fromUtf8(line));
    if (!found.hasMatch())
        return fail(QStringLiteral("The server at %1 does not speak the DICT protocol (it answered \"%2\").")
                        .arg(m_server.toString(), QString::fromUtf8(line.left(60)).toHtmlEscaped()));
    handleStatus(found.captured(1).toInt(), found.captured(2));
}

void DictClient::handleStatus(int code, const QString& text) {
    switch (m_stage) {
        case Stage::banner:
            if (code != 220) break;
            m_stage = Stage::define;
            send("DEFINE * " + dictQuoted(m_result.word));
            return;
        case Stage::define:
            if (code == 150) return;
            if (code == 151) {
                // `"word" database "database description"`
                static const QRegularExpression header(
                    QStringLiteral("^\"([^\"]*)\"\\s+(\\S+)\\s*(?:\"([^\"]*)\"|(.*))$"));
                const auto found = header.match(text);
                m_current = DictDefinition{};
                m_current.word = found.hasMatch() ? found.captured(1) : m_result.word;
                m_current.database = found.hasMatch() ? found.captured(2) : QString();
                m_current.databaseName = found.hasMatch()
                                             ? (found.captured(3).isEmpty() ? found.captured(4) : found.captured(3))
                                             : QString();
                if (m_current.databaseName.isEmpty()) m_current.databaseName = m_current.database;
                m_stage = Stage::definitionText;
                return;
            }
            if (code == 250) return finish();
            if (code == 552) return sendMatch();
            break;
        case Stage::match:
            if (code == 152) {
                m_stage = Stage::matchText;
                return;
            }
            if (code == 250 || code == 552) return finish();
            if (code == 551 && m_strategy != QLatin1String(".")) {
                m_strategy = QStringLiteral(".");
                return sendMatch();
            }
            if (code == 551) return finish();
            break;
        default:
            break;
    }
    if (code >= 400)
        return fail(QStringLiteral("The dictionary server at %1 refused the lookup: %2 %3")
                        .arg(m_server.toString())
                        .arg(code)
                        .arg(text));
    fail(QStringLiteral("The dictionary server at %1 answered something unexpected: %2 %3")
             .arg(m_server.toString())
             .arg(code)
             .arg(text));
}

void DictClient::fail(const QString& error) {
    if (m_finished) return;
    m_result.error = error;
    m_result.definitions.clear();
    m_result.suggestions.clear();
    finish();
}

void DictClient::finish() {
    if (m_finished) return;
    m_finished = true;
    m_stage = Stage::done;
    if (m_timer) m_timer->stop();
    if (m_socket) {
        m_socket->disconnect(this);
        if (m_socket->state() == QAbstractSocket::ConnectedState && !m_result.failed()) {
            send("QUIT");
            m_socket->flush();
        }
        m_socket->abort();
    }
    emit finished(m_result);
}

}  // namespace vantrel
