#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class QTcpSocket;
class QTimer;

namespace vantrel {

// Where a DICT server answers: "host", "host:port" or "dict://host:port".
struct DictServer {
    static constexpr quint16 defaultPort = 2628;
    QString host = QStringLiteral("localhost");
    quint16 port = defaultPort;

    static std::optional<DictServer> parse(const QString& text);
    QString toString() const;
};

// One definition: the text a dictionary holds for the word.
struct DictDefinition {
    QString word;
    QString database;
    QString databaseName;
    QString text;
};

// What a lookup found: the definitions of every database that had the word,
// or (when none had it) the words the server matched instead. `error` is set
// when the lookup could not finish: it is a sentence for the user.
struct DictLookup {
    QString word;
    std::vector<DictDefinition> definitions;
    QStringList suggestions;
    QString error;

    bool failed() const { return !error.isEmpty(); }
};

// A client of the DICT protocol (RFC 2229) for one lookup: DEFINE against
// every database ("*"); when nothing is found, MATCH with the Levenshtein
// strategy (the server's default strategy where "lev" is unknown) for
// suggestions. The whole exchange runs on the event loop and ends within the
// timeout: a server that is down, never answers or answers something that is
// not DICT ends it with an error, never a hang.
class DictClient : public QObject {
    Q_OBJECT

public:
    static constexpr int defaultTimeoutMs = 5000;
    // At most this much text is read from a server (a server that floods ends the lookup).
    static constexpr qsizetype maximumResponseBytes = 8 * 1024 * 1024;
    static constexpr int maximumSuggestions = 12;

    explicit DictClient(DictServer server, int timeoutMs = defaultTimeoutMs, QObject* parent = nullptr);
    ~DictClient() override;

    // Starts a lookup; `finished` follows once, also for an empty word.
    void lookup(const QString& word);
    // Runs a lookup to its end on a local event loop.
    static DictLookup lookupAndWait(const DictServer& server, const QString& word,
                                    int timeoutMs = defaultTimeoutMs);

signals:
    void finished(const vantrel::DictLookup& result);

private:
    enum class Stage { connecting, banner, define, definitionText, match, matchText, quitting, done };

    void readLines();
    void handleLine(const QByteArray& line);
    void handleStatus(int code, const QString& text);
    void send(const QByteArray& command);
    void sendMatch();
    void fail(const QString& error);
    void finish();

    DictServer m_server;
    int m_timeoutMs;
    QTcpSocket* m_socket = nullptr;
    QTimer* m_timer = nullptr;
    Stage m_stage = Stage::connecting;
    QByteArray m_buffer;
    qsizetype m_received = 0;
    QString m_strategy;
    DictDefinition m_current;
    QStringList m_currentLines;
    DictLookup m_result;
    bool m_finished = false;
};

// Quotes a word for a DICT command line ("house", "ice cream").
QByteArray dictQuoted(const QString& word);

}  // namespace vantrel
