#include "extensions/host/CommandHost.h"

#include "extensions/host/JSEnvironment.h"
#include "extensions/packages/ExtensionPaths.h"
#include "extensions/packages/PackageLoader.h"
#include "extensions/protocol/Messages.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QUrl>
#include <QUuid>

namespace vantrel::extensions {

CommandHost::CommandHost(Connection* connection, QObject* parent)
    : QObject(parent), m_connection(connection), m_logger({QStringLiteral("Command Host"), QStringLiteral("🧩")}) {
    connection->setRequestHandler([this](const QString& name, const QJsonObject& params, Connection::Responder respond) {
        handleRequest(name, params, std::move(respond));
    });
    connect(connection, &Connection::closed, this, &CommandHost::close);
    m_logger.info(QStringLiteral("Init"));
    connection->sendOneWay(launcherRequest::ping, {});
}

CommandHost::~CommandHost() { close(); }

void CommandHost::close() {
    if (m_closed) return;
    m_closed = true;
    {
        std::lock_guard lock(m_callbacksMutex);
        m_callbacks.clear();
    }
    m_engines.unloadAll();
    auto pending = std::move(m_pendingLoads);
    m_pendingLoads.clear();
    for (auto& [id, respond] : pending) respond(VantrelError(QStringLiteral("Command unloaded")));
    m_logger.info(QStringLiteral("Close"));
}

void CommandHost::handleRequest(const QString& name, const QJsonObject& params, Connection::Responder respond) {
    if (name == hostRequest::ping) {
        respond(QJsonValue(QStringLiteral("pong")));
    } else if (name == hostRequest::terminate) {
        m_logger.info(QStringLiteral("Terminating XPC..."));
        respond(QJsonValue(QStringLiteral("Terminating")));
        QMetaObject::invokeMethod(
            this,
            [this] {
                close();
                QCoreApplication::exit(0);
            },
            Qt::QueuedConnection);
    } else if (name == hostRequest::loadCommand) {
        load(params, std::move(respond));
    } else if (name == hostRequest::unloadCommand) {
        unload(params, std::move(respond));
    } else if (name == hostRequest::callback) {
        callback(params, std::move(respond));
    } else {
        respond(VantrelError(QStringLiteral("Unknown request: ") + name));
    }
}

void CommandHost::load(const QJsonObject& params, Connection::Responder respond) {
    const auto decoded = LoadCommandParams::fromJson(params);
    if (decoded.isFailure()) {
        respond(decoded.error());
        return;
    }
    ExtensionPackage package;
    try {
        package = ExtensionPackage::fromJson(decoded.value().package);
    } catch (const std::exception& error) {
        respond(VantrelError(QStringLiteral("Could not decode package: ") + VantrelError::describe(error)));
        return;
    }
    if (!package.launchCommand) {
        respond(VantrelError(QStringLiteral("Invalid launch command in package: ") + package.id.rawValue()));
        return;
    }
    const QString commandId = package.launchCommand->id.rawValue();
    m_logger.info(QStringLiteral("Loading command: ") + commandId);
    if (auto previous = m_pendingLoads.find(commandId); previous != m_pendingLoads.end()) {
        // Loaded again while the previous run still goes on: that run ends.
        Connection::Responder earlier = std::move(previous->second);
        m_pendingLoads.erase(previous);
        earlier(VantrelError(QStringLiteral("Command unloaded")));
    }
    removeCallbacks(commandId);
    m_pendingLoads[commandId] = std::move(respond);

    QPointer<CommandHost> self(this);
    PackageLoader::loadSources(package, [self, package, commandId](Result<CommandSources> sources) {
        QMetaObject::invokeMethod(
            self.data(),
            [self, package, commandId, sources = std::move(sources)] {
                if (!self || self->m_closed) return;
                if (sources.isFailure()) {
                    self->finishLoad(commandId, sources.error());
                    return;
                }
                const CommandSources& loaded = sources.value();
                const CommandScripts scripts{loaded.api, QUrl::fromLocalFile(ExtensionPaths::apiScript()).toString(), loaded.entryPoint,
                                             QUrl::fromLocalFile(package.commandScriptPath()).toString()};
                CommandHost* host = self.data();
                QPointer<Connection> connection = host->m_connection;
                auto apiHandler = [host, self, connection, commandId](JSEngine::APICall call, auto reply) {
                    DispatchMessageParams message{commandId, call.nameSpace, call.method, call.arguments, std::nullopt, call.callbackInfo};
                    if (call.callback) {
                        const QString callbackId = QUuid::createUuid().toString(QUuid::WithoutBraces);
                        message.callbackId = callbackId;
                        // Called on the js thread: the host outlives its engines.
                        const auto engine = host->m_engines.engine(commandId);
                        std::lock_guard lock(host->m_callbacksMutex);
                        host->m_callbacks[commandId][call.nameSpace + QLatin1Char('.') + call.method][callbackId] =
                            Callback{engine, *call.callback};
                    }
                    if (!connection) {
                        reply(VantrelError(QStringLiteral("Connection lost")));
                        return;
                    }
                    connection->sendRequest(launcherRequest::dispatchMessage, message.toJson(),
                                            [reply](Result<QJsonValue> result) { reply(std::move(result)); });
                };
                auto exceptionHandler = [connection, commandId](const JSException& exception) {
                    if (connection) {
                        connection->sendOneWay(launcherRequest::logException, LogExceptionParams{commandId, exception.toDictionary()}.toJson());
                    }
                };
                host->m_engines.initJSEnvironment(
                    commandId, package.launchCommand->id.fileBaseName(), environmentObject(package, loaded.envData), scripts, apiHandler,
                    exceptionHandler, [self, commandId](Result<bool> result) {
                        // On the js thread: the answer goes out from the main thread.
                        Result<QJsonValue> answer = result.isSuccess() ? Result<QJsonValue>(QJsonValue()) : Result<QJsonValue>(result.error());
                        QMetaObject::invokeMethod(
                            self.data(),
                            [self, commandId, answer] {
                                if (self) self->finishLoad(commandId, answer);
                            },
                            Qt::QueuedConnection);
                    });
            },
            Qt::QueuedConnection);
    });
}

void CommandHost::finishLoad(const QString& commandId, Result<QJsonValue> result) {
    const auto pending = m_pendingLoads.find(commandId);
    if (pending == m_pendingLoads.end()) return;
    Connection::Responder respond = std::move(pending->second);
    m_pendingLoads.erase(pending);
    if (result.isSuccess()) {
        m_logger.info(QStringLiteral("Command finished: ") + commandId);
    } else {
        m_logger.error(QStringLiteral("Command failed: ") + commandId, {{QStringLiteral("error"), result.error().errorDescription()}});
    }
    respond(std::move(result));
}

void CommandHost::unload(const QJsonObject& params, Connection::Responder respond) {
    const auto decoded = UnloadCommandParams::fromJson(params);
    if (decoded.isFailure()) {
        respond(decoded.error());
        return;
    }
    const QString& commandId = decoded.value().commandId;
    const QString prefix = QStringLiteral("Invalid command id: ");
    if (!commandId.contains(QStringLiteral("__")) || !ExtensionId::parse(commandId)) {
        respond(VantrelError(prefix + commandId));
        return;
    }
    removeCallbacks(commandId);
    m_engines.unload(commandId);
    finishLoad(commandId, VantrelError(QStringLiteral("Command unloaded")));
    m_logger.info(QStringLiteral("Unloaded command: ") + commandId);
    respond(QJsonValue());
}

void CommandHost::removeCallbacks(const QString& commandId) {
    std::lock_guard lock(m_callbacksMutex);
    m_callbacks.erase(commandId);
}

void CommandHost::callback(const QJsonObject& params, Connection::Responder respond) {
    const auto decoded = CallbackParams::fromJson(params);
    if (decoded.isFailure()) {
        respond(decoded.error());
        return;
    }
    const CallbackParams& event = decoded.value();
    Callback found;
    {
        std::lock_guard lock(m_callbacksMutex);
        auto& byCall = m_callbacks[event.commandId][event.nameSpace + QLatin1Char('.') + event.method];
        const auto entry = byCall.find(event.callbackId);
        if (entry == byCall.end()) {
            respond(QJsonValue());
            return;
        }
        found = entry->second;
        if (event.mode == CallbackMode::once) byCall.erase(entry);
    }
    auto engine = found.engine.lock();
    if (!engine) {
        respond(QJsonValue());
        return;
    }
    std::optional<QString> error;
    if (event.error) error = errorFromDictionary(*event.error).errorDescription();
    JSEngine* raw = engine.get();
    const bool once = event.mode == CallbackMode::once;
    raw->async([raw, handle = found.handle, event, error, once, respond = std::move(respond)] {
        raw->callback(handle, event.type, event.data, error, event.expectsAnswer, [respond](Result<QJsonValue> result) { respond(std::move(result)); });
        if (once) raw->releaseCallback(handle);
    });
}

}  // namespace vantrel::extensions
