// "net": an extension's HTTP requests go through the launcher's HTTP client
// (src/net, QtNetwork), never cached. The request id answers at once; the
// response follows as one "dataTask" event, whatever its status. Cancelling
// aborts the transfer and nothing is sent for it afterwards.
#include "extensions/client/CommandAPI.h"

#include "net/HTTPClient.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>

namespace vantrel::extensions {

struct CommandAPI::HTTPRequestTask {
    QString id;
    HTTPClient::Task task;
};

namespace {

std::optional<HTTPMethod> methodNamed(const QString& name) {
    if (name == QLatin1String("GET")) return HTTPMethod::get;
    if (name == QLatin1String("POST")) return HTTPMethod::post;
    if (name == QLatin1String("PUT")) return HTTPMethod::put;
    if (name == QLatin1String("PATCH")) return HTTPMethod::patch;
    if (name == QLatin1String("DELETE")) return HTTPMethod::delete_;
    if (name == QLatin1String("OPTIONS")) return HTTPMethod::options;
    return std::nullopt;
}

bool hasHeader(const std::vector<HTTPHeader>& headers, const QByteArray& name) {
    return std::any_of(headers.begin(), headers.end(),
                       [&](const HTTPHeader& header) { return header.name.compare(name, Qt::CaseInsensitive) == 0; });
}

// The extension's request object as the client's request; nullopt when it is
// not one (a method outside the six, no URL, headers that are not text…).
// jsonFailed is set when a "json" body cannot be written as JSON.
std::optional<HTTPRequest> decodeRequest(const QJsonValue& value, bool* jsonFailed) {
    if (!value.isObject()) return std::nullopt;
    const QJsonObject object = value.toObject();
    const auto method = methodNamed(object.value(QStringLiteral("method")).toString());
    const QJsonValue urlValue = object.value(QStringLiteral("url"));
    if (!method || !urlValue.isString()) return std::nullopt;
    const QUrl url(urlValue.toString(), QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty()) return std::nullopt;

    HTTPRequest request(url, *method);
    const QJsonValue headers = object.value(QStringLiteral("headers"));
    if (!headers.isUndefined() && !headers.isNull()) {
        if (!headers.isObject()) return std::nullopt;
        const QJsonObject fields = headers.toObject();
        for (auto it = fields.begin(); it != fields.end(); ++it) {
            if (!it.value().isString() || it.key().isEmpty()) return std::nullopt;
            request.headers.push_back({it.key().toUtf8(), it.value().toString().toUtf8()});
        }
    }
    const QJsonValue body = object.value(QStringLiteral("body"));
    if (!body.isUndefined() && !body.isNull()) {
        if (!body.isObject()) return std::nullopt;
        const QString type = body.toObject().value(QStringLiteral("type")).toString();
        const QJsonValue data = body.toObject().value(QStringLiteral("data"));
        if (type == QLatin1String("text")) {
            if (!data.isString()) return std::nullopt;
            request.body = data.toString().toUtf8();
        } else if (type == QLatin1String("json")) {
            if (data.isUndefined()) {
                *jsonFailed = true;
                return std::nullopt;
            }
            // Any JSON value, a bare number or string too.
            const QByteArray wrapped = QJsonDocument(QJsonArray{data}).toJson(QJsonDocument::Compact);
            request.body = wrapped.mid(1, wrapped.size() - 2);
            if (!hasHeader(request.headers, "Content-Type")) request.headers.push_back({"Content-Type", "application/json"});
        } else {
            return std::nullopt;
        }
    }
    request.everyStatusIsAnAnswer = true;
    return request;
}

QJsonObject responseObject(const QByteArray& body, const HTTPResponseInfo& info) {
    QJsonObject headers;
    for (const auto& [name, value] : info.headers) {
        const QString key = QString::fromLatin1(name);
        // Repeated fields are one field, their values joined as HTTP allows.
        headers.insert(key, headers.contains(key) ? headers.value(key).toString() + QStringLiteral(", ") + QString::fromUtf8(value)
                                                  : QString::fromUtf8(value));
    }
    return QJsonObject{{QStringLiteral("data"), QString::fromUtf8(body)},
                       {QStringLiteral("headers"), headers},
                       {QStringLiteral("size"), static_cast<double>(body.size())},
                       {QStringLiteral("status"), info.statusCode},
                       {QStringLiteral("url"), info.url.toString()}};
}

}  // namespace

void CommandAPI::resumeHTTPRequest(const QJsonObject& arguments, const Callback& callback, const Completion& completion) {
    bool jsonFailed = false;
    const std::optional<HTTPRequest> request = decodeRequest(arguments.value(QStringLiteral("request")), &jsonFailed);
    if (jsonFailed) return completion(VantrelError(QStringLiteral("Invalid JSON data")));
    if (!request) return completion(VantrelError(QStringLiteral("Invalid HTTP request")));
    if (!m_services.httpClient) return completion(VantrelError(QStringLiteral("Not available here: no HTTP client")));

    auto task = std::make_shared<HTTPRequestTask>();
    task->id = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    m_httpRequests.emplace(task->id, task);
    const std::weak_ptr<HTTPRequestTask> weak = task;
    // The completion runs on the main thread; a request that was cancelled,
    // or whose command has gone, was taken out of the table first.
    auto finished = [this, weak, callback](const HTTPResponse<QByteArray>& response) {
        const std::shared_ptr<HTTPRequestTask> running = weak.lock();
        if (!running) return;
        const auto found = m_httpRequests.find(running->id);
        if (found == m_httpRequests.end() || found->second != running) return;
        m_httpRequests.erase(found);
        if (response.kind == HTTPResponse<QByteArray>::Kind::cancelled) return;
        CallbackParameters event{QStringLiteral("dataTask"), CallbackMode::once, QJsonValue(), std::nullopt, {}};
        if (response.kind == HTTPResponse<QByteArray>::Kind::failure) {
            event.error = QStringLiteral("HTTP error: ") + (response.error ? response.error->message : QStringLiteral("the request failed"));
        } else if (response.response.statusCode == 0) {
            event.error = QStringLiteral("Invalid HTTP response");
        } else if (!response.value) {
            event.error = QStringLiteral("Missing HTTP response data");
        } else {
            event.data = responseObject(*response.value, response.response);
        }
        if (callback) callback(std::move(event));
    };
    // Answered with the id before the client can call back (its completions
    // come from the event loop).
    completion(QJsonValue(task->id));
    task->task = m_services.httpClient->dataTask(*request, CachingPolicy::noCache(), std::move(finished));
}

void CommandAPI::cancelHTTPRequest(const QJsonObject& arguments, const Completion& completion) {
    const QJsonValue id = arguments.value(QStringLiteral("id"));
    const auto found = id.isString() ? m_httpRequests.find(id.toString()) : m_httpRequests.end();
    if (found == m_httpRequests.end()) return completion(VantrelError(QStringLiteral("Invalid request ID")));
    const std::shared_ptr<HTTPRequestTask> task = found->second;
    m_httpRequests.erase(found);
    task->task.cancel();
    completion(QJsonValue());
}

}  // namespace vantrel::extensions

namespace vantrel::extensions {

void CommandAPI::cancelHTTPRequests() {
    // Taken out first: the cancelled tasks find nothing to answer.
    auto running = std::exchange(m_httpRequests, {});
    for (auto& [id, task] : running) task->task.cancel();
}

}  // namespace vantrel::extensions
