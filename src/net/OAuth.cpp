#include "net/OAuth.h"

#include "kit/Digest.h"
#include "kit/Logger.h"
#include "kit/Paths.h"
#include "net/LoopbackRedirectServer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>
#include <QUrlQuery>
#include <QUuid>

#include <algorithm>

namespace vantrel {

namespace {

const Logger& logger() {
    static const Logger instance(Logger::Category{QStringLiteral("OAuth"), QStringLiteral("🔐")});
    return instance;
}

std::optional<QString> optionalString(const QJsonObject& json, const char* key) {
    const QJsonValue value = json.value(QLatin1String(key));
    if (!value.isString()) return std::nullopt;
    return value.toString();
}

QByteArray base64URL(const QByteArray& bytes) {
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

// Percent-encodes everything but the unreserved characters of RFC 3986.
QString encodeQuery(const QList<QPair<QString, QString>>& items) {
    QString query;
    for (const auto& [name, value] : items) {
        if (!query.isEmpty()) query += QLatin1Char('&');
        query += QString::fromLatin1(QUrl::toPercentEncoding(name)) + QLatin1Char('=') +
                 QString::fromLatin1(QUrl::toPercentEncoding(value));
    }
    return query;
}

QDateTime parseDate(const QJsonValue& value) {
    if (value.isDouble()) return QDateTime::fromMSecsSinceEpoch(qint64(value.toDouble() * 1000.0), Qt::UTC);
    if (value.isString()) {
        QDateTime date = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
        if (date.isValid()) return date.toUTC();
    }
    return {};
}

}  // namespace

// MARK: Records

bool OAuthCredentials::isExpired(int marginSeconds, const QDateTime& now) const {
    if (!expiresIn) return false;
    const QDateTime expiry = createdAt.addMSecs(qint64(*expiresIn * 1000.0));
    return now.secsTo(expiry) <= marginSeconds;
}

QJsonObject OAuthCredentials::toJson() const {
    QJsonObject json{{QStringLiteral("access_token"), accessToken},
                     {QStringLiteral("token_type"), tokenType},
                     {QStringLiteral("createdAt"), createdAt.toUTC().toString(Qt::ISODateWithMs)}};
    if (refreshToken) json.insert(QStringLiteral("refresh_token"), *refreshToken);
    if (idToken) json.insert(QStringLiteral("id_token"), *idToken);
    if (expiresIn) json.insert(QStringLiteral("expires_in"), *expiresIn);
    if (scope) json.insert(QStringLiteral("scope"), *scope);
    return json;
}

std::optional<OAuthCredentials> OAuthCredentials::fromJson(const QJsonObject& json) {
    OAuthCredentials credentials;
    const QJsonValue token = json.value(QStringLiteral("access_token"));
    if (!token.isString() || token.toString().isEmpty()) return std::nullopt;
    credentials.accessToken = token.toString();
    credentials.tokenType = json.value(QStringLiteral("token_type")).toString(QStringLiteral("bearer"));
    credentials.refreshToken = optionalString(json, "refresh_token");
    credentials.idToken = optionalString(json, "id_token");
    const QJsonValue expiresIn = json.value(QStringLiteral("expires_in"));
    if (expiresIn.isDouble()) credentials.expiresIn = expiresIn.toDouble();
    if (expiresIn.isString()) {
        bool ok = false;
        const double seconds = expiresIn.toString().toDouble(&ok);
        if (ok) credentials.expiresIn = seconds;
    }
    credentials.createdAt = parseDate(json.value(QStringLiteral("createdAt")));
    if (!credentials.createdAt.isValid()) credentials.createdAt = QDateTime::currentDateTimeUtc();
    credentials.scope = optionalString(json, "scope");
    return credentials;
}

QJsonObject OAuthUser::toJson() const {
    QJsonObject json;
    if (id) json.insert(QStringLiteral("id"), *id);
    if (name) json.insert(QStringLiteral("name"), *name);
    if (email) json.insert(QStringLiteral("email"), *email);
    if (custom) {
        QJsonObject values;
        for (const auto& [key, value] : *custom) values.insert(key, value);
        json.insert(QStringLiteral("custom"), values);
    }
    return json;
}

std::optional<OAuthUser> OAuthUser::fromJson(const QJsonObject& json) {
    OAuthUser user;
    user.id = optionalString(json, "id");
    if (!user.id && json.value(QStringLiteral("id")).isDouble())
        user.id = QString::number(qint64(json.value(QStringLiteral("id")).toDouble()));
    user.name = optionalString(json, "name");
    user.email = optionalString(json, "email");
    const QJsonValue custom = json.value(QStringLiteral("custom"));
    if (custom.isObject()) {
        std::map<QString, QString> values;
        const QJsonObject object = custom.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!it.value().isString()) return std::nullopt;
            values[it.key()] = it.value().toString();
        }
        user.custom = std::move(values);
    } else if (!custom.isUndefined() && !custom.isNull()) {
        return std::nullopt;
    }
    return user;
}

QJsonObject OAuthSession::toJson() const {
    QJsonObject json{{QStringLiteral("credentials"), credentials.toJson()}};
    if (user) json.insert(QStringLiteral("user"), user->toJson());
    if (version) json.insert(QStringLiteral("version"), *version);
    return json;
}

std::optional<OAuthSession> OAuthSession::fromJson(const QJsonObject& json) {
    const QJsonValue credentialsValue = json.value(QStringLiteral("credentials"));
    if (!credentialsValue.isObject()) return std::nullopt;
    const QJsonObject credentialsJson = credentialsValue.toObject();
    // A stored session always says when its token came; without it the
    // expiry cannot be judged.
    if (!parseDate(credentialsJson.value(QStringLiteral("createdAt"))).isValid()) return std::nullopt;
    std::optional<OAuthCredentials> credentials = OAuthCredentials::fromJson(credentialsJson);
    if (!credentials) return std::nullopt;
    OAuthSession session;
    session.credentials = *credentials;
    const QJsonValue user = json.value(QStringLiteral("user"));
    if (user.isObject()) {
        session.user = OAuthUser::fromJson(user.toObject());
        if (!session.user) return std::nullopt;
    }
    session.version = optionalString(json, "version");
    return session;
}

QString OAuthError::message() const {
    if (errorDescription && !errorDescription->isEmpty()) return *errorDescription;
    if (reason && !reason->isEmpty()) return *reason;
    return rawError;
}

std::optional<OAuthError> OAuthError::fromJson(const QByteArray& body) {
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject()) return std::nullopt;
    const QJsonObject json = document.object();
    const QJsonValue error = json.value(QStringLiteral("error"));
    if (!error.isString() || error.toString().isEmpty()) return std::nullopt;
    OAuthError result;
    result.rawError = error.toString();
    static const std::map<QString, ErrorType> types{
        {QStringLiteral("invalid_request"), ErrorType::invalidRequest},
        {QStringLiteral("invalid_client"), ErrorType::invalidClient},
        {QStringLiteral("invalid_grant"), ErrorType::invalidGrant},
        {QStringLiteral("invalid_scope"), ErrorType::invalidScope},
        {QStringLiteral("unauthorized_client"), ErrorType::unauthorizedClient},
        {QStringLiteral("unsupported_grant_type"), ErrorType::unsupportedGrantType},
        {QStringLiteral("authorization_pending"), ErrorType::authorizationPending},
        {QStringLiteral("slow_down"), ErrorType::slowDown},
        {QStringLiteral("access_denied"), ErrorType::accessDenied},
        {QStringLiteral("expired_token"), ErrorType::expiredToken},
    };
    const auto found = types.find(result.rawError);
    result.error = found != types.end() ? found->second : ErrorType::other;
    result.errorDescription = optionalString(json, "error_description");
    result.errorUri = optionalString(json, "error_uri");
    result.reason = optionalString(json, "reason");
    return result;
}

Result<OAuthClientCredentials> OAuthClientCredentials::fromEnvironment(
    const QString& prefix, const std::function<std::optional<QString>(const QString& key)>& lookup,
    bool secretRequired) {
    const QString file = QDir(Paths::configDir()).filePath(QStringLiteral("environment"));
    auto value = [&](const QString& key) -> QString {
        if (!lookup) return {};
        return lookup(key).value_or(QString()).trimmed();
    };
    const QString idKey = prefix + QStringLiteral("_CLIENT_ID");
    const QString secretKey = prefix + QStringLiteral("_CLIENT_SECRET");
    OAuthClientCredentials credentials{value(idKey), value(secretKey)};
    if (credentials.clientId.isEmpty())
        return VantrelError(QStringLiteral("Missing OAuth client id: set %1 in the environment or in %2").arg(idKey, file));
    if (secretRequired && credentials.clientSecret.isEmpty())
        return VantrelError(
            QStringLiteral("Missing OAuth client secret: set %1 in the environment or in %2").arg(secretKey, file));
    return credentials;
}

Result<OAuthUser> userFromIdToken(const std::optional<QString>& idToken) {
    if (!idToken || idToken->isEmpty()) return VantrelError(QStringLiteral("No idToken given"));
    const QStringList segments = idToken->split(QLatin1Char('.'));
    if (segments.size() < 2 || segments[1].isEmpty()) return VantrelError(QStringLiteral("Could not decode JWT"));
    const QByteArray::FromBase64Result decoded = QByteArray::fromBase64Encoding(
        segments[1].toLatin1(), QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    if (!decoded) return VantrelError(QStringLiteral("Could not decode JWT"));
    const QJsonDocument payload = QJsonDocument::fromJson(*decoded);
    if (!payload.isObject()) return VantrelError(QStringLiteral("Could not decode payload"));
    OAuthUser user;
    user.name = optionalString(payload.object(), "name");
    user.email = optionalString(payload.object(), "email");
    user.id = optionalString(payload.object(), "sub");
    if (!user.name && !user.email) return VantrelError(QStringLiteral("User data missing in idToken"));
    return user;
}

void openInBrowser(const QUrl& url, const std::function<void(const QUrl&)>& fallback) {
    const QString link = QString::fromUtf8(url.toEncoded());
    const QString browser = QProcessEnvironment::systemEnvironment().value(QStringLiteral("BROWSER"));
    for (const QString& command : browser.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        QStringList arguments = QProcess::splitCommand(command);
        if (arguments.isEmpty()) continue;
        const QString program = arguments.takeFirst();
        bool substituted = false;
        for (QString& argument : arguments) {
            if (!argument.contains(QLatin1String("%s"))) continue;
            argument.replace(QLatin1String("%s"), link);
            substituted = true;
        }
        if (!substituted) arguments << link;
        if (QProcess::startDetached(program, arguments)) {
            logger().info("Opened the browser from BROWSER", {{QStringLiteral("program"), program}});
            return;
        }
        logger().warning("A BROWSER command did not start", {{QStringLiteral("program"), program}});
    }
    if (fallback) {
        fallback(url);
        return;
    }
    if (QProcess::startDetached(QStringLiteral("xdg-open"), {link})) return;
    throw VantrelError(QStringLiteral("Cannot open the browser: set BROWSER or a default web browser"));
}

QString tokenInvalidatedToastTitle(const QString& packageName) {
    return QStringLiteral("Authorization failed for ") + packageName;
}

QString tokenInvalidatedToastMessage() { return QStringLiteral("Please connect your account again"); }

// MARK: Provider

QJsonObject OAuthProvider::State::toJson() const {
    return {{QStringLiteral("id"), id}, {QStringLiteral("flavor"), flavor}};
}

std::optional<OAuthProvider::State> OAuthProvider::State::fromJson(const QJsonObject& json) {
    const QJsonValue id = json.value(QStringLiteral("id"));
    const QJsonValue flavor = json.value(QStringLiteral("flavor"));
    if (!id.isString() || !flavor.isString()) return std::nullopt;
    return State{id.toString(), flavor.toString()};
}

OAuthProvider::State OAuthProvider::State::make() {
    return State{QUuid::createUuid().toString(QUuid::WithoutBraces), appFlavorRawValue(currentAppFlavor())};
}

QUrl OAuthProvider::customSchemeRedirectURL(const QString& packageName) {
    QUrl url(QStringLiteral("vantrel://oauth/redirect"));
    url.setQuery(encodeQuery({{QStringLiteral("packageName"), packageName}}));
    return url;
}

OAuthProvider::OAuthProvider(QString name, OAuthClientCredentials client, Endpoints endpoints,
                             OAuthAuthenticationKind authenticationKind, HTTPClient& http)
    : m_name(std::move(name)), m_client(std::move(client)), m_endpoints(std::move(endpoints)),
      m_authenticationKind(authenticationKind), m_http(&http), m_context(std::make_unique<QObject>()) {
    if (m_endpoints.redirectURL.isEmpty()) m_endpoints.redirectURL = customSchemeRedirectURL(m_name);
}

OAuthProvider::~OAuthProvider() = default;

std::shared_ptr<OAuthProvider> OAuthProvider::gitHub(OAuthClientCredentials client, HTTPClient& http,
                                                     const QUrl& webBase) {
    const APIEndpoint authorize = APIEndpoint::relative(QStringLiteral("/login/oauth/authorize"));
    const APIEndpoint token = APIEndpoint::relative(QStringLiteral("/login/oauth/access_token"));
    const APIEndpoint device = APIEndpoint::relative(QStringLiteral("/login/device/code"));
    Endpoints endpoints{authorize.resolved(webBase), token.resolved(webBase), {}, device.resolved(webBase)};
    return std::make_shared<OAuthProvider>(QStringLiteral("GitHub"), std::move(client), std::move(endpoints),
                                           OAuthAuthenticationKind::postBody, http);
}

std::shared_ptr<OAuthProvider> OAuthProvider::gSuite(OAuthClientCredentials client, HTTPClient& http) {
    Endpoints endpoints{QUrl(QStringLiteral("https://accounts.google.com/o/oauth2/v2/auth")),
                        QUrl(QStringLiteral("https://oauth2.googleapis.com/token")),
                        {},
                        QUrl(QStringLiteral("https://oauth2.googleapis.com/device/code"))};
    return std::make_shared<OAuthProvider>(QStringLiteral("G Suite"), std::move(client), std::move(endpoints),
                                           OAuthAuthenticationKind::postBody, http);
}

std::shared_ptr<OAuthProvider> OAuthProvider::linear(OAuthClientCredentials client, HTTPClient& http) {
    Endpoints endpoints{QUrl(QStringLiteral("https://linear.app/oauth/authorize")),
                        QUrl(QStringLiteral("https://api.linear.app/oauth/token")), {}, std::nullopt};
    auto provider = std::make_shared<OAuthProvider>(QStringLiteral("Linear"), std::move(client), std::move(endpoints),
                                                    OAuthAuthenticationKind::postBody, http);
    provider->allowsCustomScheme = true;
    return provider;
}

std::shared_ptr<OAuthProvider> OAuthProvider::zoom(OAuthClientCredentials client, HTTPClient& http) {
    Endpoints endpoints{QUrl(QStringLiteral("https://zoom.us/oauth/authorize")),
                        QUrl(QStringLiteral("https://zoom.us/oauth/token")), {}, std::nullopt};
    return std::make_shared<OAuthProvider>(QStringLiteral("Zoom"), std::move(client), std::move(endpoints),
                                           OAuthAuthenticationKind::queryParamsWithBasicAuthHeader, http);
}

Result<QUrl> OAuthProvider::makeAuthorizationURL(const QString& scope, const State& state,
                                                 const std::optional<QString>& audience,
                                                 const QList<QPair<QString, QString>>& extraQueryItems) {
    QUrl url = m_endpoints.authorizeURL;
    if (!url.isValid() || url.host().isEmpty() ||
        (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http")))
        return VantrelError(QStringLiteral("Failed to construct authorization URL"));
    QList<QPair<QString, QString>> items{
        {QStringLiteral("client_id"), m_client.clientId},
        {QStringLiteral("redirect_uri"), QString::fromUtf8(m_endpoints.redirectURL.toEncoded())},
        {QStringLiteral("scope"), scope},
        {QStringLiteral("state"), QString::fromUtf8(QJsonDocument(state.toJson()).toJson(QJsonDocument::Compact))},
        {QStringLiteral("response_type"), QStringLiteral("code")},
    };
    if (audience) items.append({QStringLiteral("audience"), *audience});
    if (usePKCE && !m_codeVerifier.isEmpty()) {
        const QByteArray challenge =
            base64URL(QCryptographicHash::hash(m_codeVerifier.toLatin1(), QCryptographicHash::Sha256));
        items.append({QStringLiteral("code_challenge"), QString::fromLatin1(challenge)});
        items.append({QStringLiteral("code_challenge_method"), QStringLiteral("S256")});
    }
    items += extraQueryItems;
    QString query = url.query(QUrl::FullyEncoded);
    if (!query.isEmpty()) query += QLatin1Char('&');
    url.setQuery(query + encodeQuery(items), QUrl::StrictMode);
    if (!url.isValid()) return VantrelError(QStringLiteral("Failed to construct authorization URL"));
    return url;
}

Result<QUrl> OAuthProvider::beginAuthorization(const QString& scope, const std::optional<QString>& audience,
                                               const QList<QPair<QString, QString>>& extraQueryItems) {
    m_currentState = State::make();
    m_codeVerifier.clear();
    if (usePKCE) {
        try {
            m_codeVerifier = QString::fromLatin1(base64URL(secureRandomBytes(32)));
        } catch (const VantrelError& error) {
            return error;
        }
    }
    return makeAuthorizationURL(scope, *m_currentState, audience, extraQueryItems);
}

void OAuthProvider::handleRedirect(const QUrl& url, std::function<void(const Result<OAuthCredentials>&)> completion) {
    auto fail = [&](const QString& message) {
        logger().error(message);
        completion(VantrelError(message));
    };
    if (!url.isValid() || url.scheme().isEmpty()) {
        fail(QStringLiteral("Cannot handle redirect URL to finish authorization"));
        return;
    }
    // The query is form-encoded: '+' stands for a space.
    const QUrlQuery query(url.query(QUrl::FullyEncoded).replace(QLatin1Char('+'), QStringLiteral("%20")));
    if (query.hasQueryItem(QStringLiteral("error")) && !query.hasQueryItem(QStringLiteral("code"))) {
        // The user said no, or the service refused the request.
        QJsonObject body{{QStringLiteral("error"), query.queryItemValue(QStringLiteral("error"), QUrl::FullyDecoded)}};
        if (query.hasQueryItem(QStringLiteral("error_description")))
            body.insert(QStringLiteral("error_description"),
                        query.queryItemValue(QStringLiteral("error_description"), QUrl::FullyDecoded));
        const std::optional<OAuthError> error = OAuthError::fromJson(QJsonDocument(body).toJson());
        m_currentState.reset();
        fail(error ? error->message() : QStringLiteral("Cannot extract code after redirect"));
        return;
    }
    const QString code = query.queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded);
    if (code.isEmpty()) {
        fail(QStringLiteral("Cannot extract code after redirect"));
        return;
    }
    if (!query.hasQueryItem(QStringLiteral("state"))) {
        fail(QStringLiteral("Cannot extract state after redirect"));
        return;
    }
    const QString stateText = query.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded);
    const QJsonDocument stateJson = QJsonDocument::fromJson(stateText.toUtf8());
    const std::optional<State> state = stateJson.isObject() ? State::fromJson(stateJson.object()) : std::nullopt;
    if (!state) {
        fail(QStringLiteral("Unable to decode state"));
        return;
    }
    if (!m_currentState) {
        fail(QStringLiteral("No state passed with request"));
        return;
    }
    if (*state != *m_currentState) {
        fail(QStringLiteral("State from redirect doesn't match state from request"));
        return;
    }
    // One redirect per sign-in: the state is spent.
    m_currentState.reset();
    QList<QPair<QString, QString>> items{
        {QStringLiteral("grant_type"), QStringLiteral("authorization_code")},
        {QStringLiteral("code"), code},
        {QStringLiteral("redirect_uri"), QString::fromUtf8(m_endpoints.redirectURL.toEncoded())},
    };
    if (usePKCE && !m_codeVerifier.isEmpty()) items.append({QStringLiteral("code_verifier"), m_codeVerifier});
    m_codeVerifier.clear();
    requestToken(items, std::move(completion));
}

Result<HTTPRequest> OAuthProvider::makeAccessTokenRequest(const QList<QPair<QString, QString>>& queryItems) const {
    const QUrl url = m_endpoints.tokenURL;
    if (!url.isValid() || url.host().isEmpty())
        return VantrelError(QStringLiteral("Could not create URL components for: ") + url.toString());
    if (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http"))
        return VantrelError(QStringLiteral("Invalid components URL"));
    QJsonObject parameters;
    for (const auto& [name, value] : queryItems) parameters.insert(name, value);
    HTTPRequest request(url, HTTPMethod::post, {HTTPHeader::accept("application/json")}, {},
                        HTTPParameterEncoding::formURLEncoded());
    if (m_authenticationKind == OAuthAuthenticationKind::postBody) {
        parameters.insert(QStringLiteral("client_id"), m_client.clientId);
        if (!m_client.clientSecret.isEmpty()) parameters.insert(QStringLiteral("client_secret"), m_client.clientSecret);
    } else {
        request.setHeader(HTTPHeader::authorization(m_client.clientId, m_client.clientSecret));
    }
    request.parameters = parameters;
    request.timeoutSeconds = 30;
    return request;
}

void OAuthProvider::requestToken(const QList<QPair<QString, QString>>& items,
                                 std::function<void(const Result<OAuthCredentials>&)> completion) {
    Result<HTTPRequest> request = makeAccessTokenRequest(items);
    if (request.isFailure()) {
        completion(request.error());
        return;
    }
    m_http->performRequest(request.value(), CachingPolicy::noCache(), [completion](const HTTPResponse<QByteArray>& response) {
        const QByteArray body = response.value ? *response.value : response.error ? response.error->body : QByteArray();
        const int status = response.isNetwork() ? response.response.statusCode
                                                : response.error ? response.error->statusCode : 0;
        if (response.isNetwork() && status == 200) {
            const QJsonDocument document = QJsonDocument::fromJson(body);
            if (document.isObject()) {
                if (std::optional<OAuthCredentials> credentials = OAuthCredentials::fromJson(document.object())) {
                    credentials->createdAt = QDateTime::currentDateTimeUtc();
                    completion(*credentials);
                    return;
                }
            }
        }
        if (const std::optional<OAuthError> error = OAuthError::fromJson(body)) {
            logger().error("Token request failed", {{QStringLiteral("error"), error->rawError}});
            completion(VantrelError(error->message()));
            return;
        }
        if (response.isCancelled()) {
            completion(VantrelError(QStringLiteral("Cancelled")));
            return;
        }
        const QString detail = response.error ? response.error->message
                                              : QStringLiteral("Request failed with status %1").arg(status);
        logger().error("Token request failed", {{QStringLiteral("error"), detail}});
        completion(VantrelError(QStringLiteral("The sign-in failed: ") + detail));
    });
}

void OAuthProvider::refresh(const OAuthCredentials& credentials,
                            std::function<void(const Result<OAuthCredentials>&)> completion) {
    if (!credentials.refreshToken || credentials.refreshToken->isEmpty()) {
        completion(VantrelError(QStringLiteral("No OAuth refresh token available")));
        return;
    }
    {
        std::lock_guard lock(m_refreshLock);
        m_refreshCompletions.push_back(std::move(completion));
        if (m_refreshing) {
            logger().info("🥳 Already ongoing token refresh – deduplicating request");
            return;
        }
        m_refreshing = true;
    }
    logger().info("Refreshing token");
    const QString oldRefreshToken = *credentials.refreshToken;
    requestToken({{QStringLiteral("grant_type"), QStringLiteral("refresh_token")},
                  {QStringLiteral("refresh_token"), oldRefreshToken}},
                 [this, oldRefreshToken](const Result<OAuthCredentials>& result) {
                     std::vector<std::function<void(const Result<OAuthCredentials>&)>> waiting;
                     {
                         std::lock_guard lock(m_refreshLock);
                         waiting = std::move(m_refreshCompletions);
                         m_refreshCompletions.clear();
                         m_refreshing = false;
                     }
                     logger().info(QStringLiteral("Available token refresh completions: ") +
                                   QString::number(waiting.size()));
                     Result<OAuthCredentials> delivered = result;
                     if (result.isSuccess() && !result.value().refreshToken) {
                         // Services that keep the refresh token send no new one.
                         OAuthCredentials kept = result.value();
                         kept.refreshToken = oldRefreshToken;
                         delivered = kept;
                     }
                     for (const auto& done : waiting) done(delivered);
                 });
}

bool OAuthProvider::isRefreshing() const {
    std::lock_guard lock(m_refreshLock);
    return m_refreshing;
}

void OAuthProvider::startDeviceAuthorization(const QString& scope,
                                             std::function<void(const Result<OAuthDeviceAuthorization>&)> completion) {
    if (!m_endpoints.deviceAuthorizationURL || !m_endpoints.deviceAuthorizationURL->isValid()) {
        completion(VantrelError(QStringLiteral("This service offers no device sign-in: ") + m_name));
        return;
    }
    HTTPRequest request(*m_endpoints.deviceAuthorizationURL, HTTPMethod::post, {HTTPHeader::accept("application/json")},
                        QJsonObject{{QStringLiteral("client_id"), m_client.clientId}, {QStringLiteral("scope"), scope}},
                        HTTPParameterEncoding::formURLEncoded());
    m_http->performRequest(request, CachingPolicy::noCache(), [completion](const HTTPResponse<QByteArray>& response) {
        const QByteArray body = response.value ? *response.value : response.error ? response.error->body : QByteArray();
        if (response.isNetwork()) {
            const QJsonObject json = QJsonDocument::fromJson(body).object();
            OAuthDeviceAuthorization authorization;
            authorization.deviceCode = json.value(QStringLiteral("device_code")).toString();
            authorization.userCode = json.value(QStringLiteral("user_code")).toString();
            authorization.verificationURI = QUrl(json.value(QStringLiteral("verification_uri")).toString());
            if (json.contains(QStringLiteral("verification_uri_complete")))
                authorization.verificationURIComplete =
                    QUrl(json.value(QStringLiteral("verification_uri_complete")).toString());
            authorization.expiresIn = json.value(QStringLiteral("expires_in")).toInt(900);
            authorization.interval = std::max(1, json.value(QStringLiteral("interval")).toInt(5));
            if (!authorization.deviceCode.isEmpty() && !authorization.userCode.isEmpty() &&
                authorization.verificationURI.isValid()) {
                completion(authorization);
                return;
            }
        }
        if (const std::optional<OAuthError> error = OAuthError::fromJson(body)) {
            completion(VantrelError(error->message()));
            return;
        }
        completion(VantrelError(QStringLiteral("The sign-in failed: ") +
                                (response.error ? response.error->message : QStringLiteral("Unexpected device code answer"))));
    });
}

void OAuthProvider::pollDeviceAuthorization(const OAuthDeviceAuthorization& authorization,
                                            std::function<void(const Result<OAuthCredentials>&)> completion) {
    const QDateTime deadline = QDateTime::currentDateTimeUtc().addSecs(authorization.expiresIn);
    pollOnce(authorization, authorization.interval, deadline, std::move(completion));
}

void OAuthProvider::cancelDeviceAuthorization() { m_context = std::make_unique<QObject>(); }

void OAuthProvider::pollOnce(const OAuthDeviceAuthorization& authorization, int interval, const QDateTime& deadline,
                             std::function<void(const Result<OAuthCredentials>&)> completion) {
    QPointer<QObject> context(m_context.get());
    // The service refuses (slow_down) a poll that comes before the interval
    // is over: a coarse timer may fire a little early.
    QTimer::singleShot(interval * 1000, Qt::PreciseTimer, m_context.get(), [this, context, authorization, interval, deadline, completion] {
        if (!context) return;
        if (QDateTime::currentDateTimeUtc() > deadline) {
            completion(VantrelError(QStringLiteral("The sign-in code expired: start again")));
            return;
        }
        Result<HTTPRequest> request = makeAccessTokenRequest(
            {{QStringLiteral("grant_type"), QStringLiteral("urn:ietf:params:oauth:grant-type:device_code")},
             {QStringLiteral("device_code"), authorization.deviceCode}});
        if (request.isFailure()) {
            completion(request.error());
            return;
        }
        m_http->performRequest(request.value(), CachingPolicy::noCache(),
                               [this, context, authorization, interval, deadline,
                                completion](const HTTPResponse<QByteArray>& response) {
                                   if (!context) return;
                                   const QByteArray body = response.value   ? *response.value
                                                           : response.error ? response.error->body
                                                                            : QByteArray();
                                   const QJsonDocument document = QJsonDocument::fromJson(body);
                                   if (response.isNetwork() && document.isObject())
                                       if (auto credentials = OAuthCredentials::fromJson(document.object())) {
                                           credentials->createdAt = QDateTime::currentDateTimeUtc();
                                           completion(*credentials);
                                           return;
                                       }
                                   if (const auto error = OAuthError::fromJson(body)) {
                                       if (error->error == OAuthError::ErrorType::authorizationPending) {
                                           pollOnce(authorization, interval, deadline, completion);
                                           return;
                                       }
                                       if (error->error == OAuthError::ErrorType::slowDown) {
                                           // Five seconds more from now on, or what the service asks for.
                                           const int told = document.object().value(QStringLiteral("interval")).toInt(0);
                                           pollOnce(authorization, std::max(interval + 5, told), deadline, completion);
                                           return;
                                       }
                                       completion(VantrelError(error->message()));
                                       return;
                                   }
                                   completion(VantrelError(
                                       QStringLiteral("The sign-in failed: ") +
                                       (response.error ? response.error->message
                                                       : QStringLiteral("Unexpected token answer"))));
                               });
    });
}

// MARK: Controller

OAuthController::OAuthController(OAuthConfig config, std::shared_ptr<OAuthProvider> provider, Keychain keychain,
                                 HTTPClient& http, QObject* parent)
    : QObject(parent), m_config(std::move(config)), m_provider(std::move(provider)), m_keychain(std::move(keychain)),
      m_http(&http) {}

OAuthController::~OAuthController() {
    if (m_loopback) m_loopback->close();
}

OAuthController::OAuthStatus OAuthController::status() {
    if (m_cachedStatus) return *m_cachedStatus;
    OAuthStatus result;
    std::optional<QByteArray> stored;
    try {
        stored = m_keychain.fetchValue(m_config.keychainAccount);
    } catch (const VantrelError& error) {
        logger().error("Cannot read OAuth status", {{QStringLiteral("error"), error.errorDescription()}});
        result.status = Status::invalidSession;
        m_cachedStatus = result;
        return result;
    }
    if (!stored) {
        logger().info("No OAuthSession found in Keychain", {{QStringLiteral("package"), m_config.packageName}});
        result.status = Status::notAuthorized;
    } else {
        const QJsonDocument document = QJsonDocument::fromJson(*stored);
        const std::optional<OAuthSession> session =
            document.isObject() ? OAuthSession::fromJson(document.object()) : std::nullopt;
        if (!session) {
            logger().error("Cannot read OAuth status", {{QStringLiteral("package"), m_config.packageName}});
            result.status = Status::invalidSession;
        } else if (session->version.value_or(QString()) != m_config.version) {
            result.status = Status::versionChanged;
        } else {
            result.status = Status::authorized;
            result.session = session;
        }
    }
    m_cachedStatus = result;
    return result;
}

void OAuthController::resetStatus() { m_cachedStatus.reset(); }

QUrl OAuthController::loopbackRedirectURL() const {
    return m_loopback && m_loopback->isListening() ? m_loopback->redirectURL() : QUrl();
}

void OAuthController::authorize(std::function<void(const Result<OAuthSession>&)> completion, RedirectKind kind) {
    if (m_pendingCompletion) finishAuthorization(VantrelError(QStringLiteral("Another sign-in started")));
    m_pendingCompletion = std::move(completion);
    if (kind == RedirectKind::loopback) {
        m_loopback = std::make_unique<LoopbackRedirectServer>();
        if (!m_loopback->listen()) {
            finishAuthorization(VantrelError(QStringLiteral("Cannot listen for the sign-in redirect on 127.0.0.1")));
            return;
        }
        QPointer<OAuthController> self(this);
        m_loopback->onRedirect = [self](const QUrl& url) {
            if (self) self->handleRedirectURL(url);
        };
        m_provider->setRedirectURL(m_loopback->redirectURL());
    } else {
        m_loopback.reset();
        m_provider->setRedirectURL(OAuthProvider::customSchemeRedirectURL(m_config.packageName));
    }
    Result<QUrl> url =
        m_provider->beginAuthorization(m_config.oAuthScope, m_config.oAuthAudience, m_config.oAuthExtraQueryItems);
    if (url.isFailure()) {
        finishAuthorization(url.error());
        return;
    }
    try {
        if (m_openBrowser)
            m_openBrowser(url.value());
        else
            openInBrowser(url.value(), {});
    } catch (const VantrelError& error) {
        finishAuthorization(error);
    }
}

bool OAuthController::handleRedirectURL(const QUrl& url) {
    if (!m_pendingCompletion) return false;
    QPointer<OAuthController> self(this);
    completeAuthorization(url, [self](const Result<OAuthSession>& result) {
        if (self) self->finishAuthorization(result);
    });
    return true;
}

void OAuthController::authorizeWithDevice(std::function<void(const OAuthDeviceAuthorization&)> showCode,
                                          std::function<void(const Result<OAuthSession>&)> completion) {
    if (m_pendingCompletion) finishAuthorization(VantrelError(QStringLiteral("Another sign-in started")));
    m_pendingCompletion = std::move(completion);
    QPointer<OAuthController> self(this);
    m_provider->startDeviceAuthorization(
        m_config.oAuthScope, [self, showCode](const Result<OAuthDeviceAuthorization>& authorization) {
            if (!self) return;
            if (authorization.isFailure()) {
                self->finishAuthorization(authorization.error());
                return;
            }
            if (showCode) showCode(authorization.value());
            self->m_provider->pollDeviceAuthorization(
                authorization.value(), [self](const Result<OAuthCredentials>& credentials) {
                    if (!self) return;
                    if (credentials.isFailure()) {
                        self->finishAuthorization(credentials.error());
                        return;
                    }
                    auto store = [self, credentials = credentials.value()](const Result<OAuthUser>& user) {
                        if (!self) return;
                        if (user.isFailure()) {
                            self->finishAuthorization(user.error());
                            return;
                        }
                        OAuthSession session{credentials, user.value(), self->m_config.version};
                        try {
                            self->storeSession(session);
                        } catch (const VantrelError& error) {
                            self->finishAuthorization(error);
                            return;
                        }
                        logger().info("✅ Received OAuth credentials");
                        self->finishAuthorization(session);
                    };
                    if (self->m_config.userHandler)
                        self->m_config.userHandler(credentials.value(), store);
                    else
                        store(userFromIdToken(credentials.value().idToken));
                });
        });
}

void OAuthController::cancelAuthorization() {
    m_provider->cancelDeviceAuthorization();
    if (m_pendingCompletion) finishAuthorization(VantrelError(QStringLiteral("The sign-in was cancelled")));
}

void OAuthController::finishAuthorization(const Result<OAuthSession>& result) {
    if (m_loopback) {
        m_loopback->answerWith(result.isSuccess(), result.isSuccess() ? QString() : result.error().errorDescription());
        // Closed from the event loop: the browser's page is still being written.
        LoopbackRedirectServer* server = m_loopback.release();
        server->onRedirect = nullptr;
        QTimer::singleShot(0, server, [server] {
            server->close();
            server->deleteLater();
        });
    }
    auto completion = std::move(m_pendingCompletion);
    m_pendingCompletion = nullptr;
    if (completion) completion(result);
}

void OAuthController::completeAuthorization(const QUrl& redirectURL,
                                            std::function<void(const Result<OAuthSession>&)> completion) {
    QPointer<OAuthController> self(this);
    m_provider->handleRedirect(redirectURL, [self, completion](const Result<OAuthCredentials>& credentials) {
        if (!self) return;
        if (credentials.isFailure()) {
            completion(credentials.error());
            return;
        }
        auto store = [self, completion, credentials = credentials.value()](const Result<OAuthUser>& user) {
            if (!self) return;
            if (user.isFailure()) {
                logger().error("No OAuth user available", {{QStringLiteral("error"), user.error().errorDescription()}});
                completion(VantrelError(QStringLiteral("No OAuth user available"), user.error()));
                return;
            }
            OAuthSession session{credentials, user.value(), self->m_config.version};
            try {
                self->storeSession(session);
            } catch (const VantrelError& error) {
                completion(error);
                return;
            }
            logger().info("✅ Received OAuth credentials");
            completion(session);
        };
        if (self->m_config.userHandler)
            self->m_config.userHandler(credentials.value(), store);
        else
            store(userFromIdToken(credentials.value().idToken));
    });
}

void OAuthController::storeSession(const OAuthSession& session) {
    m_keychain.saveItem(QJsonDocument(session.toJson()).toJson(QJsonDocument::Compact), m_config.keychainAccount);
    m_cachedStatus = OAuthStatus{Status::authorized, session};
    m_invalidated = false;
    statusChanged.publish();
}

void OAuthController::validCredentials(std::function<void(const Result<OAuthCredentials>&)> completion) {
    const OAuthStatus current = status();
    if (current.status != Status::authorized || !current.session) {
        completion(VantrelError(QStringLiteral("Not signed in: ") + m_config.packageName));
        return;
    }
    const OAuthCredentials credentials = current.session->credentials;
    if (!credentials.isExpired(kRefreshMarginSeconds)) {
        completion(credentials);
        return;
    }
    logger().info("Initiating OAuth token refresh");
    QPointer<OAuthController> self(this);
    m_provider->refresh(credentials, [self, completion](const Result<OAuthCredentials>& refreshed) {
        if (!self) return;
        if (refreshed.isFailure()) {
            completion(refreshed.error());
            return;
        }
        // Every request that waited on the same refresh gets here; the
        // session is written once.
        const OAuthStatus now = self->status();
        const bool alreadyStored = now.session && now.session->credentials.accessToken == refreshed.value().accessToken;
        if (!alreadyStored && now.session) {
            OAuthSession session = *now.session;
            session.credentials = refreshed.value();
            try {
                self->storeSession(session);
            } catch (const VantrelError& error) {
                completion(error);
                return;
            }
            logger().info("✅ Refreshed OAuth credentials");
        }
        completion(refreshed.value());
    });
}

HTTPClient::Task OAuthController::makeRequest(const QUrl& url, const OAuthCredentials& credentials,
                                              HTTPClient::RawCompletion completion) {
    HTTPRequest request(url, HTTPMethod::get,
                        {HTTPHeader::authorization(credentials.accessToken), HTTPHeader::accept("application/json")});
    return m_http->performRequest(request, CachingPolicy::noCache(), std::move(completion));
}

HTTPRequestAdapter OAuthController::tokenRefreshInterceptor() {
    QPointer<OAuthController> self(this);
    return [self](HTTPRequest request, std::function<void(const Result<HTTPRequest>&)> proceed) {
        if (!self) {
            proceed(VantrelError(QStringLiteral("Not signed in")));
            return;
        }
        self->validCredentials([request, proceed](const Result<OAuthCredentials>& credentials) mutable {
            if (credentials.isFailure()) {
                proceed(credentials.error());
                return;
            }
            request.setHeader(HTTPHeader::authorization(credentials.value().accessToken));
            proceed(request);
        });
    };
}

bool OAuthController::takeInvalidToken(HTTPError& error) {
    if (!error.isUnauthorized()) return false;
    logger().info("Intercepted invalid token error.");
    error.kind = HTTPError::Kind::tokenInvalid;
    error.message = tokenInvalidatedToastTitle(m_config.packageName) + QStringLiteral(": ") +
                    tokenInvalidatedToastMessage();
    if (m_invalidated) return true;
    const OAuthStatus current = status();
    if (current.status != Status::authorized) return true;
    m_invalidated = true;
    try {
        m_keychain.deleteItem(m_config.keychainAccount);
    } catch (const VantrelError& failure) {
        logger().error("Cannot forget the refused session", {{QStringLiteral("error"), failure.errorDescription()}});
    }
    m_cachedStatus = OAuthStatus{Status::notAuthorized, std::nullopt};
    statusChanged.publish();
    tokenInvalidated.publish(m_config.packageName);
    return true;
}

void OAuthController::signOut() {
    if (m_http->sharedCache() && !m_config.cachingRealm.isEmpty()) {
        m_http->cache().removeAllResponses(m_config.cachingRealm);
        m_http->cache().forgetRealm(m_config.cachingRealm);
    }
    try {
        m_keychain.deleteItem(m_config.keychainAccount);
    } catch (const VantrelError& error) {
        logger().error("Cannot delete the OAuth session", {{QStringLiteral("error"), error.errorDescription()}});
    }
    m_cachedStatus = OAuthStatus{Status::notAuthorized, std::nullopt};
    statusChanged.publish();
}

}  // namespace vantrel
