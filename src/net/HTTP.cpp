#include "net/HTTP.h"

#include "net/MultipartFormData.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrlQuery>
#include <QUuid>

namespace vantrel {

QByteArray httpVerb(HTTPMethod method) {
    switch (method) {
    case HTTPMethod::get:
    case HTTPMethod::getGraphQL:
        return "GET";
    case HTTPMethod::post:
    case HTTPMethod::postGraphQL:
        return "POST";
    case HTTPMethod::put:
        return "PUT";
    case HTTPMethod::delete_:
        return "DELETE";
    case HTTPMethod::patch:
        return "PATCH";
    case HTTPMethod::options:
        return "OPTIONS";
    }
    return "GET";
}

HTTPHeader HTTPHeader::authorization(const QString& bearerToken) {
    return {"Authorization", "Bearer " + bearerToken.toUtf8()};
}

HTTPHeader HTTPHeader::authorization(const QString& username, const QString& password) {
    return {"Authorization", "Basic " + (username + QLatin1Char(':') + password).toUtf8().toBase64()};
}

HTTPRequest::HTTPRequest(QUrl url_, HTTPMethod method_, std::vector<HTTPHeader> headers_, QJsonObject parameters_,
                         HTTPParameterEncoding encoding_)
    : url(std::move(url_)), method(method_), headers(std::move(headers_)), parameters(std::move(parameters_)),
      encoding(std::move(encoding_)) {}

std::optional<QByteArray> HTTPRequest::header(const QByteArray& name) const {
    for (const HTTPHeader& header : headers)
        if (header.name.compare(name, Qt::CaseInsensitive) == 0) return header.value;
    return std::nullopt;
}

void HTTPRequest::setHeader(const HTTPHeader& header) {
    removeHeader(header.name);
    headers.push_back(header);
}

void HTTPRequest::removeHeader(const QByteArray& name) {
    std::erase_if(headers, [&](const HTTPHeader& header) { return header.name.compare(name, Qt::CaseInsensitive) == 0; });
}

std::optional<QByteArray> HTTPResponseInfo::header(const QByteArray& name) const {
    for (const auto& [key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
    return std::nullopt;
}

HTTPError HTTPError::from(const VantrelError& error, Kind kind) {
    HTTPError result;
    result.kind = kind;
    result.message = error.errorDescription();
    return result;
}

namespace {

QString compact(const QJsonObject& parameters) {
    return QString::fromUtf8(QJsonDocument(parameters).toJson(QJsonDocument::Compact));
}

// A scalar as text; nothing for objects, arrays and null.
std::optional<QString> scalarText(const QJsonValue& value) {
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Double: {
        const double number = value.toDouble();
        if (number == double(qint64(number))) return QString::number(qint64(number));
        return QString::number(number, 'g', 17);
    }
    default:
        return std::nullopt;
    }
}

// Name-value pairs of flat parameters; arrays of scalars repeat the name.
std::optional<QList<QPair<QString, QString>>> flatItems(const QJsonObject& parameters) {
    QList<QPair<QString, QString>> items;
    for (auto it = parameters.begin(); it != parameters.end(); ++it) {
        if (it.value().isArray()) {
            for (const QJsonValue& element : it.value().toArray()) {
                const std::optional<QString> text = scalarText(element);
                if (!text) return std::nullopt;
                items.append({it.key(), *text});
            }
            continue;
        }
        const std::optional<QString> text = scalarText(it.value());
        if (!text) return std::nullopt;
        items.append({it.key(), *text});
    }
    return items;
}

QByteArray formEncoded(const QList<QPair<QString, QString>>& items) {
    QByteArray body;
    for (const auto& [name, value] : items) {
        if (!body.isEmpty()) body += '&';
        body += QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
    }
    return body;
}

}  // namespace

Result<EncodedHTTPRequest> encodeHTTPRequest(const HTTPRequest& request) {
    EncodedHTTPRequest encoded;
    encoded.url = request.url;
    encoded.verb = httpVerb(request.method);
    encoded.headers = request.headers;
    auto setDefault = [&](const QByteArray& name, const QByteArray& value) {
        for (const HTTPHeader& header : encoded.headers)
            if (header.name.compare(name, Qt::CaseInsensitive) == 0) return;
        encoded.headers.push_back({name, value});
    };

    // A body of the caller's own: the parameters, if any, go to the query.
    const HTTPParameterEncoding::Kind kind =
        request.body ? HTTPParameterEncoding::Kind::queryString : request.encoding.kind;
    if (request.body) encoded.body = *request.body;

    switch (kind) {
    case HTTPParameterEncoding::Kind::queryString: {
        if (request.parameters.isEmpty()) break;
        const auto items = flatItems(request.parameters);
        if (!items) return VantrelError(QStringLiteral("Invalid API parameters: ") + compact(request.parameters));
        QUrlQuery query(encoded.url);
        for (const auto& [name, value] : *items)
            query.addQueryItem(QString::fromLatin1(QUrl::toPercentEncoding(name)),
                               QString::fromLatin1(QUrl::toPercentEncoding(value)));
        encoded.url.setQuery(query);
        break;
    }
    case HTTPParameterEncoding::Kind::jsonHTTPBody:
        encoded.body = QJsonDocument(request.parameters).toJson(QJsonDocument::Compact);
        setDefault("Content-Type", "application/json");
        break;
    case HTTPParameterEncoding::Kind::formURLEncoded: {
        const auto items = flatItems(request.parameters);
        if (!items) return VantrelError(QStringLiteral("Invalid API parameters: ") + compact(request.parameters));
        encoded.body = formEncoded(*items);
        setDefault("Content-Type", "application/x-www-form-urlencoded");
        break;
    }
    case HTTPParameterEncoding::Kind::multipartFormData: {
        const auto items = flatItems(request.parameters);
        if (!items)
            return VantrelError(QStringLiteral("Invalid multipart/form-data parameters: ") + compact(request.parameters));
        // The caller's form is left as it is: the parameters join a copy.
        MultipartFormData form = request.encoding.form ? *request.encoding.form : MultipartFormData();
        for (const auto& [name, value] : *items) form.append(value.toUtf8(), name);
        if (form.bodyPartError()) return *form.bodyPartError();
        // Streamed to a file of its own, sent from there and removed afterwards.
        const QString path = QDir(QDir::tempPath())
                                 .filePath(QStringLiteral("vantrel-upload-") +
                                           QUuid::createUuid().toString(QUuid::WithoutBraces));
        try {
            form.writeEncodedData(path);
        } catch (const VantrelError& error) {
            QFile::remove(path);
            if (!error.errorDescription().contains(QLatin1String("OutputStream"))) return error;
            return VantrelError(QStringLiteral("Cannot create HTTPUpload"), error);
        }
        encoded.bodyFile = path;
        setDefault("Content-Type", form.contentType());
        break;
    }
    }
    return encoded;
}

}  // namespace vantrel
