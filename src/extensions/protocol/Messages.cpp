#include "extensions/protocol/Messages.h"

namespace vantrel::extensions {

namespace {

VantrelError invalid(const QString& request, const QString& key) {
    return VantrelError(QStringLiteral("Invalid %1 request: missing or invalid '%2'").arg(request, key));
}

// A required string member.
std::optional<QString> stringMember(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (!value.isString()) return std::nullopt;
    return value.toString();
}

}  // namespace

QJsonObject errorDictionary(const VantrelError& error) {
    return {{QStringLiteral("localized"), error.errorDescription()}, {QStringLiteral("debug"), error.debugDescription()}};
}

QJsonObject errorDictionary(const QString& localized) {
    return {{QStringLiteral("localized"), localized}, {QStringLiteral("debug"), localized}};
}

VantrelError errorFromDictionary(const QJsonValue& dictionary) {
    const QJsonValue localized = dictionary.toObject().value(QStringLiteral("localized"));
    if (!localized.isString()) return VantrelError(QStringLiteral("Unknown error"));
    return VantrelError(localized.toString());
}

QJsonObject LoadCommandParams::toJson() const { return {{QStringLiteral("package"), package}}; }

Result<LoadCommandParams> LoadCommandParams::fromJson(const QJsonObject& params) {
    const QJsonValue package = params.value(QStringLiteral("package"));
    if (!package.isObject()) return invalid(hostRequest::loadCommand, QStringLiteral("package"));
    return LoadCommandParams{package.toObject()};
}

QJsonObject UnloadCommandParams::toJson() const { return {{QStringLiteral("id"), commandId}}; }

Result<UnloadCommandParams> UnloadCommandParams::fromJson(const QJsonObject& params) {
    const auto id = stringMember(params, QStringLiteral("id"));
    if (!id) return invalid(hostRequest::unloadCommand, QStringLiteral("id"));
    return UnloadCommandParams{*id};
}

QString callbackModeName(CallbackMode mode) {
    return mode == CallbackMode::once ? QStringLiteral("once") : QStringLiteral("keepAlive");
}

std::optional<CallbackMode> parseCallbackMode(const QString& name) {
    if (name == QLatin1String("once")) return CallbackMode::once;
    if (name == QLatin1String("keepAlive")) return CallbackMode::keepAlive;
    return std::nullopt;
}

QJsonObject CallbackParams::toJson() const {
    QJsonObject object{{QStringLiteral("commandId"), commandId}, {QStringLiteral("namespace"), nameSpace},
                       {QStringLiteral("method"), method},       {QStringLiteral("id"), callbackId},
                       {QStringLiteral("type"), type},           {QStringLiteral("mode"), callbackModeName(mode)}};
    if (expectsAnswer) object.insert(QStringLiteral("expectsAnswer"), true);
    if (error) {
        object.insert(QStringLiteral("error"), *error);
    } else if (!data.isUndefined()) {
        object.insert(QStringLiteral("data"), data);
    }
    return object;
}

Result<CallbackParams> CallbackParams::fromJson(const QJsonObject& params) {
    CallbackParams out;
    const QString name = hostRequest::callback;
    const std::pair<QString, QString*> strings[] = {{QStringLiteral("commandId"), &out.commandId},
                                                    {QStringLiteral("namespace"), &out.nameSpace},
                                                    {QStringLiteral("method"), &out.method},
                                                    {QStringLiteral("id"), &out.callbackId},
                                                    {QStringLiteral("type"), &out.type}};
    for (const auto& [key, target] : strings) {
        const auto value = stringMember(params, key);
        if (!value) return invalid(name, key);
        *target = *value;
    }
    const auto mode = parseCallbackMode(params.value(QStringLiteral("mode")).toString());
    if (!mode) return invalid(name, QStringLiteral("mode"));
    out.mode = *mode;
    out.data = params.value(QStringLiteral("data"));
    out.expectsAnswer = params.value(QStringLiteral("expectsAnswer")).toBool(false);
    const QJsonValue error = params.value(QStringLiteral("error"));
    if (error.isObject()) {
        out.error = error.toObject();
    } else if (!error.isUndefined() && !error.isNull()) {
        return invalid(name, QStringLiteral("error"));
    }
    return out;
}

QJsonObject DispatchMessageParams::toJson() const {
    QJsonObject object{{QStringLiteral("commandId"), commandId},
                       {QStringLiteral("namespace"), nameSpace},
                       {QStringLiteral("method"), method},
                       {QStringLiteral("arguments"), arguments},
                       {QStringLiteral("callbackInfo"), callbackInfo}};
    if (callbackId) object.insert(QStringLiteral("callbackId"), *callbackId);
    return object;
}

Result<DispatchMessageParams> DispatchMessageParams::fromJson(const QJsonObject& params) {
    DispatchMessageParams out;
    const QString name = launcherRequest::dispatchMessage;
    const std::pair<QString, QString*> strings[] = {{QStringLiteral("commandId"), &out.commandId},
                                                    {QStringLiteral("namespace"), &out.nameSpace},
                                                    {QStringLiteral("method"), &out.method}};
    for (const auto& [key, target] : strings) {
        const auto value = stringMember(params, key);
        if (!value) return invalid(name, key);
        *target = *value;
    }
    const QJsonValue arguments = params.value(QStringLiteral("arguments"));
    if (!arguments.isObject() && !arguments.isUndefined()) return invalid(name, QStringLiteral("arguments"));
    out.arguments = arguments.toObject();
    const QJsonValue callbackId = params.value(QStringLiteral("callbackId"));
    if (callbackId.isString()) {
        out.callbackId = callbackId.toString();
    } else if (!callbackId.isUndefined() && !callbackId.isNull()) {
        return invalid(name, QStringLiteral("callbackId"));
    }
    out.callbackInfo = params.value(QStringLiteral("callbackInfo")).toObject();
    return out;
}

QJsonObject LogExceptionParams::toJson() const {
    return {{QStringLiteral("commandId"), commandId}, {QStringLiteral("exception"), exception}};
}

Result<LogExceptionParams> LogExceptionParams::fromJson(const QJsonObject& params) {
    const auto commandId = stringMember(params, QStringLiteral("commandId"));
    if (!commandId) return invalid(launcherRequest::logException, QStringLiteral("commandId"));
    const QJsonValue exception = params.value(QStringLiteral("exception"));
    if (!exception.isObject()) return invalid(launcherRequest::logException, QStringLiteral("exception"));
    return LogExceptionParams{*commandId, exception.toObject()};
}

}  // namespace vantrel::extensions
