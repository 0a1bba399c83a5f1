#pragma once

#include "kit/Promise.h"
#include "kit/VantrelError.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace vantrel {

class MultipartFormData;

// The verbs the client sends. The GraphQL cases go out as GET and POST and
// mark a request whose body (or query) is a GraphQL document.
enum class HTTPMethod { get, post, put, delete_, patch, getGraphQL, postGraphQL, options };

// "GET", "POST", "PUT", "DELETE", "PATCH", "OPTIONS" (GraphQL cases as GET and POST).
QByteArray httpVerb(HTTPMethod method);

// One request header.
struct HTTPHeader {
    QByteArray name;
    QByteArray value;

    static HTTPHeader contentType(const QByteArray& value) { return {"Content-Type", value}; }
    static HTTPHeader accept(const QByteArray& value) { return {"Accept", value}; }
    static HTTPHeader acceptCharset(const QByteArray& value) { return {"Accept-Charset", value}; }
    static HTTPHeader acceptLanguage(const QByteArray& value) { return {"Accept-Language", value}; }
    static HTTPHeader acceptEncoding(const QByteArray& value) { return {"Accept-Encoding", value}; }
    static HTTPHeader userAgent(const QByteArray& value) { return {"User-Agent", value}; }
    // "Authorization: Bearer TOKEN".
    static HTTPHeader authorization(const QString& bearerToken);
    // "Authorization: Basic base64(user:password)".
    static HTTPHeader authorization(const QString& username, const QString& password);

    bool operator==(const HTTPHeader&) const = default;
};

// How a request's parameters travel.
struct HTTPParameterEncoding {
    enum class Kind {
        queryString,        // URL query items (arrays repeat the name)
        jsonHTTPBody,       // a JSON object as the body
        multipartFormData,  // multipart/form-data: the form's parts, then the parameters as text parts
        formURLEncoded,     // application/x-www-form-urlencoded body (token requests)
    };
    Kind kind = Kind::queryString;
    std::shared_ptr<MultipartFormData> form;  // multipartFormData only

    static HTTPParameterEncoding queryString() { return {Kind::queryString, nullptr}; }
    static HTTPParameterEncoding jsonHTTPBody() { return {Kind::jsonHTTPBody, nullptr}; }
    static HTTPParameterEncoding multipartFormData(std::shared_ptr<MultipartFormData> form) {
        return {Kind::multipartFormData, std::move(form)};
    }
    static HTTPParameterEncoding formURLEncoded() { return {Kind::formURLEncoded, nullptr}; }
};

// The two status codes the client treats specially.
enum class HTTPStatusCode : int { noContent = 204, unauthorized = 401 };

// A request as callers describe it. Parameters are a JSON object; what the
// encoding cannot express (an object inside a query string) fails when the
// request is encoded ("Invalid API parameters: " + the parameters).
struct HTTPRequest {
    QUrl url;
    HTTPMethod method = HTTPMethod::get;
    std::vector<HTTPHeader> headers;
    QJsonObject parameters;
    HTTPParameterEncoding encoding;
    // Seconds before the request gives up (0: the client's default).
    int timeoutSeconds = 0;
    // A body sent as it is (its Content-Type among the headers); the
    // parameters then only go to the query string.
    std::optional<QByteArray> body;
    // Every HTTP status is an answer (`network`, never retried on rate
    // limits); only transport failures fail. For callers that show the
    // server's answer as it came (extension commands).
    bool everyStatusIsAnAnswer = false;

    HTTPRequest() = default;
    HTTPRequest(QUrl url, HTTPMethod method = HTTPMethod::get, std::vector<HTTPHeader> headers = {},
                QJsonObject parameters = {}, HTTPParameterEncoding encoding = HTTPParameterEncoding::queryString());

    // The value of a header (case-insensitive name), or nothing.
    std::optional<QByteArray> header(const QByteArray& name) const;
    // Replaces every header of that name.
    void setHeader(const HTTPHeader& header);
    void removeHeader(const QByteArray& name);
};

// The request as it goes on the wire: URL with its query, headers, and the
// body in memory or (multipart uploads) in a file streamed from disk.
struct EncodedHTTPRequest {
    QUrl url;
    QByteArray verb;
    std::vector<HTTPHeader> headers;
    QByteArray body;
    QString bodyFile;  // non-empty: the body is this file (removed when the request ends)
};

// Encodes parameters as the request says; failures: "Invalid API parameters: …",
// "Invalid multipart/form-data parameters: …", and the form's own append error.
Result<EncodedHTTPRequest> encodeHTTPRequest(const HTTPRequest& request);

// What came back (or, for a cached answer, what came back when it was stored).
struct HTTPResponseInfo {
    int statusCode = 0;
    QUrl url;
    QList<QPair<QByteArray, QByteArray>> headers;
    // When the answer was stored in the cache (cached answers only).
    std::optional<QDateTime> storedAt;

    std::optional<QByteArray> header(const QByteArray& name) const;
};

// Why a request failed. message is a sentence for the user (the toast's
// message); the other fields let callers tell the cases apart.
struct HTTPError {
    enum class Kind {
        transport,     // connection refused, DNS, TLS, timeout…
        status,        // the server answered with an error status
        unauthorized,  // 401
        rateLimited,   // 403/429 with retry headers, waiting longer than allowed
        decoding,      // the body did not decode into the value
        invalidRequest,
        cancelled,
        tokenInvalid,  // a signed-in service refused the stored session
    };
    Kind kind = Kind::transport;
    QString message;
    int statusCode = 0;
    QByteArray body;
    QUrl url;
    // Seconds the server asked us to wait (rate limiting).
    std::optional<int> retryAfterSeconds;

    bool isUnauthorized() const { return kind == Kind::unauthorized || statusCode == 401; }
    VantrelError toError() const { return VantrelError(message); }
    static HTTPError from(const VantrelError& error, Kind kind = Kind::invalidRequest);
};

// One answer to a data task: fresh from the network, from the cache, a
// failure, or cancelled.
template <typename T>
struct HTTPResponse {
    enum class Kind { network, local, failure, cancelled };
    Kind kind = Kind::failure;
    std::optional<T> value;
    HTTPResponseInfo response;
    std::optional<HTTPError> error;

    static HTTPResponse network(T value, HTTPResponseInfo info) {
        return {Kind::network, std::move(value), std::move(info), std::nullopt};
    }
    static HTTPResponse local(std::optional<T> value, HTTPResponseInfo info) {
        return {Kind::local, std::move(value), std::move(info), std::nullopt};
    }
    static HTTPResponse failure(HTTPError error) { return {Kind::failure, std::nullopt, {}, std::move(error)}; }
    static HTTPResponse cancelled() {
        return {Kind::cancelled, std::nullopt, {}, HTTPError{HTTPError::Kind::cancelled, QStringLiteral("Cancelled")}};
    }

    bool isNetwork() const { return kind == Kind::network; }
    bool isLocal() const { return kind == Kind::local; }
    bool isFailure() const { return kind == Kind::failure; }
    bool isCancelled() const { return kind == Kind::cancelled; }
};

// A separate cache, one per service account.
using CachingRealm = QString;
inline const CachingRealm kDefaultCachingRealm = QStringLiteral("vantrel-default");

// Whether and how long answers are kept and given back.
struct CachingPolicy {
    enum class Kind { returnLocalAndNetwork, returnLocalOnly, returnNetworkOnly, noCache };
    Kind kind = Kind::noCache;
    // How old a cached answer may be and still be given back (local kinds).
    std::chrono::seconds expiresIn{0};
    std::optional<CachingRealm> realm;

    static CachingPolicy returnLocalAndNetwork(std::chrono::seconds expiresIn,
                                               std::optional<CachingRealm> realm = std::nullopt) {
        return {Kind::returnLocalAndNetwork, expiresIn, std::move(realm)};
    }
    static CachingPolicy returnLocalOnly(std::chrono::seconds expiresIn,
                                         std::optional<CachingRealm> realm = std::nullopt) {
        return {Kind::returnLocalOnly, expiresIn, std::move(realm)};
    }
    static CachingPolicy returnNetworkOnly(std::optional<CachingRealm> realm = std::nullopt) {
        return {Kind::returnNetworkOnly, std::chrono::seconds{0}, std::move(realm)};
    }
    static CachingPolicy noCache() { return {Kind::noCache, std::chrono::seconds{0}, std::nullopt}; }

    // The realm, or the default one.
    CachingRealm effectiveRealm() const { return realm.value_or(kDefaultCachingRealm); }
    bool readsCache() const { return kind == Kind::returnLocalAndNetwork || kind == Kind::returnLocalOnly; }
    bool storesResponses() const { return kind != Kind::noCache; }
    bool operator==(const CachingPolicy&) const = default;
};

// Size and place of one realm's cache.
struct CacheConfig {
    qint64 memoryCapacityMegabytes = 5;
    qint64 diskCapacityMegabytes = 10;
    // The folder that holds the realm's "urlcache<realm>" folder; nothing: the
    // launcher's cache folder.
    std::optional<QString> directory;
};

}  // namespace vantrel
