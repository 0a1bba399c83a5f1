#pragma once

#include "extensions/client/CommandAPI.h"
#include "extensions/client/CommandPresenter.h"
#include "extensions/client/ExtensionHostClient.h"
#include "extensions/packages/ExtensionPackage.h"
#include "kit/Logger.h"

#include <QJsonObject>
#include <QObject>
#include <QStringList>

#include <map>
#include <memory>
#include <mutex>

namespace vantrel {
class HTTPClient;
}

namespace vantrel::extensions {

// The launcher's registry of running commands and the single entry of every
// script call: dispatchMessage finds the command's CommandAPI, checks the
// namespace and the method, and performs it. Drives the host through its
// client. Main thread.
class VantrelAPI : public QObject {
    Q_OBJECT
public:
    // Namespaces, in order, and every method with its namespace.
    static const QStringList& namespaces();
    static const std::map<QString, QString>& methods();

    explicit VantrelAPI(ExtensionHostClient* client, QObject* parent = nullptr);
    ~VantrelAPI() override;

    // The launcher's desktop side of "app" (opening, the clipboard); commands
    // loaded afterwards use it. Without it those methods fail.
    void configure(std::shared_ptr<AppManager> appManager);
    std::shared_ptr<AppManager> appManager() const { return m_appManager; }
    // The client the "net" methods send through (made with the API, no cache).
    HTTPClient& httpClient() const { return *m_httpClient; }

    // Loads the package's launch command in the host and runs it. completion
    // gets null once the command's function has finished, or the error: the
    // script's own, "Command unloaded", or "The extension host stopped while
    // the command ran" when the host died (the command is then reported as
    // interrupted). A package without a launch command fails with
    // "No launch command set in package: " + id.
    void loadCommand(const ExtensionPackage& package, std::shared_ptr<CommandPresenter> presenter,
                     std::function<void(Result<QJsonValue>)> completion);
    // Ends a running command (a script that never returns included).
    void unloadCommand(const QString& commandId, std::function<void(Result<QJsonValue>)> completion);

    void dispatchMessage(const QString& commandId, const QString& nameSpace, const QString& method, const QJsonObject& arguments,
                         CommandAPI::Callback callback, const QJsonObject& callbackInfo, std::function<void(Result<QJsonValue>)> completion);
    void logException(const QString& commandId, const JSException& exception);

    std::shared_ptr<CommandAPI> command(const QString& commandId) const;
    QStringList runningCommands() const;

    ExtensionHostClient* client() const { return m_client; }

signals:
    // A command that ran when the host died.
    void commandInterrupted(const QString& commandId);

private:
    void handleHostRequest(const QString& name, const QJsonObject& params, Connection::Responder respond);
    void handleHostOneWay(const QString& name, const QJsonObject& params);
    void removeCommand(const QString& commandId, const CommandAPI* api);

    ExtensionHostClient* m_client;
    std::shared_ptr<AppManager> m_appManager;
    HTTPClient* m_httpClient;
    mutable std::mutex m_mutex;
    std::map<QString, std::shared_ptr<CommandAPI>> m_commands;
    Logger m_logger;
};

}  // namespace vantrel::extensions
