#pragma once

#include "kit/Promise.h"
#include "kit/VantrelError.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>

namespace vantrel::extensions {

// The envelope of every message:
//   request   {"id": 7, "request": "loadCommand", "params": {...}}
//   one-way   {"request": "logException", "params": {...}}           (no id, never answered)
//   reply     {"id": 7, "result": <any JSON>}  or  {"id": 7, "error": {"localized": ..., "debug": ...}}
// Ids are chosen by the side that sends the request; each side counts its own.
namespace message {
inline const QString id = QStringLiteral("id");
inline const QString request = QStringLiteral("request");
inline const QString params = QStringLiteral("params");
inline const QString result = QStringLiteral("result");
inline const QString error = QStringLiteral("error");
}  // namespace message

// Requests from the launcher to the host.
namespace hostRequest {
inline const QString ping = QStringLiteral("ping");                    // -> "pong"
inline const QString terminate = QStringLiteral("terminate");          // -> "Terminating", then the host exits 0
inline const QString loadCommand = QStringLiteral("loadCommand");      // LoadCommandParams -> null
inline const QString unloadCommand = QStringLiteral("unloadCommand");  // UnloadCommandParams -> null
inline const QString callback = QStringLiteral("callback");            // CallbackParams -> the script's answer
}  // namespace hostRequest

// Requests from the host to the launcher.
namespace launcherRequest {
inline const QString dispatchMessage = QStringLiteral("dispatchMessage");  // DispatchMessageParams -> the value
inline const QString logException = QStringLiteral("logException");        // one-way, LogExceptionParams
inline const QString ping = QStringLiteral("ping");                        // one-way, no params
}  // namespace launcherRequest

// The form of an error on the wire: "localized" (what the user reads) and
// "debug" (with the wrapped errors).
QJsonObject errorDictionary(const VantrelError& error);
QJsonObject errorDictionary(const QString& localized);
// The error a dictionary describes; a value that is no such dictionary gives
// "Unknown error".
VantrelError errorFromDictionary(const QJsonValue& dictionary);

struct LoadCommandParams {
    QJsonObject package;  // the ExtensionPackage JSON with its launch command set

    QJsonObject toJson() const;
    static Result<LoadCommandParams> fromJson(const QJsonObject& params);
};

struct UnloadCommandParams {
    QString commandId;  // raw form of the command's ExtensionId

    QJsonObject toJson() const;
    static Result<UnloadCommandParams> fromJson(const QJsonObject& params);
};

// Callback modes as sent: "once" forgets the callback after the event,
// "keepAlive" keeps it for later events.
enum class CallbackMode { once, keepAlive };
QString callbackModeName(CallbackMode mode);
std::optional<CallbackMode> parseCallbackMode(const QString& name);

struct CallbackParams {
    QString commandId;
    QString nameSpace;  // namespace and method of the call that registered the callback
    QString method;
    QString callbackId;
    QString type;  // the event's kind
    QJsonValue data;
    CallbackMode mode = CallbackMode::once;
    std::optional<QJsonObject> error;  // an error dictionary instead of data
    bool expectsAnswer = false;         // the script answers through the event's "completion"

    QJsonObject toJson() const;
    static Result<CallbackParams> fromJson(const QJsonObject& params);
};

struct DispatchMessageParams {
    QString commandId;
    QString nameSpace;
    QString method;
    QJsonObject arguments;
    std::optional<QString> callbackId;  // set when the script passed a callback
    QJsonObject callbackInfo;

    QJsonObject toJson() const;
    static Result<DispatchMessageParams> fromJson(const QJsonObject& params);
};

struct LogExceptionParams {
    QString commandId;
    QJsonObject exception;  // the JSException dictionary form

    QJsonObject toJson() const;
    static Result<LogExceptionParams> fromJson(const QJsonObject& params);
};

}  // namespace vantrel::extensions
