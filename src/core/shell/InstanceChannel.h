#pragma once

#include <QJsonObject>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QLocalServer;
class QLocalSocket;

namespace vantrel {

// One request to the running launcher, sent as one line of JSON:
// {"command": "toggle"} or {"command": "open", "argument": "vantrel://show"},
// {"command": "search", "argument": "fire", "options": {"limit": 5}}.
struct InstanceRequest {
    QString command;
    QString argument;
    // What else the command takes ("search": "limit").
    QJsonObject options;

    // The commands the running launcher understands.
    static const QStringList& commands();
    // Commands that need an argument ("open" a URL, "set-hotkey" a stored
    // combination, "configuration-changed" the package id).
    static bool takesArgument(const QString& command);

    QByteArray encode() const;
    // The request in one line; nothing (and the reason in `error`) when the
    // line is not JSON, not an object, or names no known command.
    static std::optional<InstanceRequest> decode(const QByteArray& line, QString* error = nullptr);
};

// The answer: whether it was done, a sentence, and whatever else the command reports.
struct InstanceReply {
    bool ok = false;
    QString message;
    QJsonObject values;

    QByteArray encode() const;
    static std::optional<InstanceReply> decode(const QByteArray& line, QString* error = nullptr);
};

// The one launcher of a user session: a local socket the running launcher
// listens on and a second `vantrel` talks to. The socket lives in
// `$XDG_RUNTIME_DIR/vantrel-<uid>.socket`, or in the XDG state folder without
// a runtime folder, so separate sessions (and tests) never meet.
class InstanceServer : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<InstanceReply(const InstanceRequest&)>;

    // An empty path: defaultSocketPath().
    explicit InstanceServer(QString socketPath = {}, QObject* parent = nullptr);
    ~InstanceServer() override;

    static QString defaultSocketPath();

    // Starts listening. False (with the reason) when another launcher answers
    // on the socket; a socket left behind by a launcher that is gone is removed.
    bool listen(QString* error = nullptr);
    bool isListening() const;
    QString socketPath() const { return m_path; }
    void setHandler(Handler handler) { m_handler = std::move(handler); }

private:
    void accept();
    void readFrom(QLocalSocket* socket);

    QString m_path;
    QLocalServer* m_server = nullptr;
    Handler m_handler;
};

// Sends one request to the running launcher and waits for its answer.
class InstanceClient {
public:
    explicit InstanceClient(QString socketPath = {});
    // Whether a launcher answers on the socket.
    bool isRunning(int timeoutMs = 500) const;
    // The reply; nothing (and why in `error`) when none is running or it did not answer in time.
    std::optional<InstanceReply> send(const InstanceRequest& request, int timeoutMs = 5000,
                                      QString* error = nullptr) const;

    // `vantrel run COMMAND_ID` of a command the running launcher carries out
    // (its windows, its remembered state): hands it over as the link
    // vantrel://commands/COMMAND_ID. Nothing when no launcher runs; else the
    // exit status, the reason on standard error when it failed.
    std::optional<int> runCommand(const QString& commandId, int timeoutMs = 10000) const;

private:
    QString m_path;
};

}  // namespace vantrel
