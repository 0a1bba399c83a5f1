#pragma once

#include "extensions/host/JSEngines.h"
#include "extensions/protocol/Connection.h"
#include "kit/Logger.h"

#include <QObject>
#include <QPointer>

#include <map>
#include <memory>
#include <mutex>

namespace vantrel::extensions {

// The host's side of one launcher connection: loads and unloads commands in
// their engines, forwards every script call to the launcher
// ("dispatchMessage"), reports uncaught exceptions ("logException") and
// delivers the launcher's events to the callbacks scripts registered.
//
// Requests it answers: "ping" -> "pong"; "terminate" -> "Terminating", then
// the process exits 0; "loadCommand"; "unloadCommand"; "callback".
//
// A "loadCommand" is answered when the command's function has finished (or
// failed); a command unloaded before then is answered "Command unloaded".
class CommandHost : public QObject {
    Q_OBJECT
public:
    explicit CommandHost(Connection* connection, QObject* parent = nullptr);
    ~CommandHost() override;

    // Drops every callback and engine. Runs when the connection ends.
    void close();

    std::size_t loadedCommands() const { return m_engines.count(); }

private:
    struct Callback {
        std::weak_ptr<JSEngine> engine;
        JSEngine::CallbackHandle handle = 0;
    };

    void handleRequest(const QString& name, const QJsonObject& params, Connection::Responder respond);
    void load(const QJsonObject& params, Connection::Responder respond);
    void unload(const QJsonObject& params, Connection::Responder respond);
    void callback(const QJsonObject& params, Connection::Responder respond);
    void finishLoad(const QString& commandId, Result<QJsonValue> result);
    void removeCallbacks(const QString& commandId);

    QPointer<Connection> m_connection;
    JSEngines m_engines;
    Logger m_logger;

    // command id -> "namespace.method" of the registering call -> callback id.
    std::mutex m_callbacksMutex;
    std::map<QString, std::map<QString, std::map<QString, Callback>>> m_callbacks;

    // Loads not answered yet, by command id (main thread only).
    std::map<QString, Connection::Responder> m_pendingLoads;
    bool m_closed = false;
};

}  // namespace vantrel::extensions
