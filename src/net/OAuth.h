#pragma once

#include "data/Keychain.h"
#include "kit/AppFlavor.h"
#include "kit/Promise.h"
#include "kit/Signal.h"
#include "net/APIResource.h"
#include "net/HTTPClient.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace vantrel {

class LoopbackRedirectServer;

// What a token endpoint hands out.
struct OAuthCredentials {
    QString accessToken;
    QString tokenType;
    std::optional<QString> refreshToken;
    std::optional<QString> idToken;
    std::optional<double> expiresIn;  // seconds from createdAt
    QDateTime createdAt;              // when the token response arrived
    std::optional<QString> scope;

    // Expired within the margin: expiresIn is set and createdAt + expiresIn
    // lies no more than margin seconds after now. Without expiresIn, never.
    bool isExpired(int marginSeconds, const QDateTime& now = QDateTime::currentDateTimeUtc()) const;

    QJsonObject toJson() const;
    // Token responses and stored sessions; createdAt defaults to now.
    static std::optional<OAuthCredentials> fromJson(const QJsonObject& json);
};

struct OAuthUser {
    std::optional<QString> id;
    std::optional<QString> name;
    std::optional<QString> email;
    std::optional<std::map<QString, QString>> custom;

    QJsonObject toJson() const;
    static std::optional<OAuthUser> fromJson(const QJsonObject& json);
};

// Stored whole, as JSON, in the keychain.
struct OAuthSession {
    OAuthCredentials credentials;
    std::optional<OAuthUser> user;
    std::optional<QString> version;

    QJsonObject toJson() const;
    static std::optional<OAuthSession> fromJson(const QJsonObject& json);
};

// A service's error body ("error", "error_description", "error_uri", "reason").
struct OAuthError {
    enum class ErrorType {
        invalidRequest,
        invalidClient,
        invalidGrant,
        invalidScope,
        unauthorizedClient,
        unsupportedGrantType,
        // Device flow answers (RFC 8628) and codes a service adds of its own.
        authorizationPending,
        slowDown,
        accessDenied,
        expiredToken,
        other,
    };
    ErrorType error = ErrorType::other;
    QString rawError;  // as the service wrote it
    std::optional<QString> errorDescription;
    std::optional<QString> errorUri;
    std::optional<QString> reason;

    // The sentence shown to the user: the description, else the reason, else the code.
    QString message() const;
    static std::optional<OAuthError> fromJson(const QByteArray& body);
};

// How the client proves itself at the token endpoint.
enum class OAuthAuthenticationKind { postBody, queryParamsWithBasicAuthHeader };

// A client id and secret, from the environment or the environment file.
struct OAuthClientCredentials {
    QString clientId;
    QString clientSecret;

    // "<PREFIX>_CLIENT_ID" and "<PREFIX>_CLIENT_SECRET" through lookup (the
    // process environment over $XDG_CONFIG_HOME/vantrel/environment). A
    // missing id, or a missing secret when one is required, fails with a
    // sentence naming the variable.
    static Result<OAuthClientCredentials> fromEnvironment(
        const QString& prefix, const std::function<std::optional<QString>(const QString& key)>& lookup,
        bool secretRequired = true);
};

// A device-flow sign-in in progress (RFC 8628): the code the user types at
// the verification page.
struct OAuthDeviceAuthorization {
    QString deviceCode;
    QString userCode;
    QUrl verificationURI;
    std::optional<QUrl> verificationURIComplete;
    int expiresIn = 900;
    int interval = 5;
};

// One service's OAuth 2.0 endpoints and client. Sign-in uses the
// authorization-code grant with PKCE (S256) unless usePKCE is off; the
// redirect comes back to a loopback address, a vantrel:// link or a fixed
// address, whichever redirectURL names. Lives on the client's thread.
class OAuthProvider {
public:
    struct State {
        QString id;
        QString flavor;  // "debug", "internal", "release"
        QJsonObject toJson() const;
        static std::optional<State> fromJson(const QJsonObject& json);
        static State make();
        bool operator==(const State&) const = default;
    };

    struct Endpoints {
        QUrl authorizeURL;
        QUrl tokenURL;
        QUrl redirectURL;
        std::optional<QUrl> deviceAuthorizationURL;  // RFC 8628
    };

    OAuthProvider(QString name, OAuthClientCredentials client, Endpoints endpoints,
                  OAuthAuthenticationKind authenticationKind, HTTPClient& http);
    virtual ~OAuthProvider();

    // The services built in. Endpoints come from the service's web address,
    // which tests and self-hosted installs point elsewhere.
    static std::shared_ptr<OAuthProvider> gitHub(OAuthClientCredentials client, HTTPClient& http,
                                                 const QUrl& webBase = QUrl(QStringLiteral("https://github.com")));
    static std::shared_ptr<OAuthProvider> gSuite(OAuthClientCredentials client, HTTPClient& http);
    static std::shared_ptr<OAuthProvider> linear(OAuthClientCredentials client, HTTPClient& http);
    static std::shared_ptr<OAuthProvider> zoom(OAuthClientCredentials client, HTTPClient& http);

    // "vantrel://oauth/redirect?packageName=NAME": the link a service that
    // accepts custom schemes sends the browser back to.
    static QUrl customSchemeRedirectURL(const QString& packageName);

    const QString& name() const { return m_name; }
    const OAuthClientCredentials& client() const { return m_client; }
    const Endpoints& endpoints() const { return m_endpoints; }
    void setRedirectURL(const QUrl& url) { m_endpoints.redirectURL = url; }
    OAuthAuthenticationKind authenticationKind() const { return m_authenticationKind; }
    bool usePKCE = true;
    // Whether the service accepts a vantrel:// redirect.
    bool allowsCustomScheme = false;

    // The authorize URL: "client_id", "redirect_uri", "scope", "state" (the
    // state as JSON text), "response_type" = "code", "audience" when given,
    // the PKCE challenge, then the extra items. "Failed to construct
    // authorization URL" when the endpoint is not a usable URL.
    Result<QUrl> makeAuthorizationURL(const QString& scope, const State& state,
                                      const std::optional<QString>& audience = std::nullopt,
                                      const QList<QPair<QString, QString>>& extraQueryItems = {});
    // Starts a sign-in: a new state (kept as currentState) and PKCE verifier, and the URL to open.
    Result<QUrl> beginAuthorization(const QString& scope, const std::optional<QString>& audience = std::nullopt,
                                    const QList<QPair<QString, QString>>& extraQueryItems = {});
    const std::optional<State>& currentState() const { return m_currentState; }

    // Finishes a sign-in from the redirect: checks code and state, then asks
    // the token endpoint. The state is used once.
    void handleRedirect(const QUrl& url, std::function<void(const Result<OAuthCredentials>&)> completion);
    // New credentials from the refresh token. Only one refresh runs at a
    // time: callers during one wait for its result.
    void refresh(const OAuthCredentials& credentials, std::function<void(const Result<OAuthCredentials>&)> completion);
    bool isRefreshing() const;

    // A POST to the token endpoint with the items form-encoded and the client
    // authenticated as authenticationKind says.
    Result<HTTPRequest> makeAccessTokenRequest(const QList<QPair<QString, QString>>& queryItems) const;

    // Device flow: asks for a user code, then polls the token endpoint at the
    // service's interval until the user has approved (or it expires).
    void startDeviceAuthorization(const QString& scope,
                                  std::function<void(const Result<OAuthDeviceAuthorization>&)> completion);
    void pollDeviceAuthorization(const OAuthDeviceAuthorization& authorization,
                                 std::function<void(const Result<OAuthCredentials>&)> completion);
    void cancelDeviceAuthorization();

private:
    void requestToken(const QList<QPair<QString, QString>>& items,
                      std::function<void(const Result<OAuthCredentials>&)> completion);
    void pollOnce(const OAuthDeviceAuthorization& authorization, int interval, const QDateTime& deadline,
                  std::function<void(const Result<OAuthCredentials>&)> completion);

    QString m_name;
    OAuthClientCredentials m_client;
    Endpoints m_endpoints;
    OAuthAuthenticationKind m_authenticationKind;
    HTTPClient* m_http;
    std::optional<State> m_currentState;
    QString m_codeVerifier;
    mutable std::mutex m_refreshLock;
    bool m_refreshing = false;
    std::vector<std::function<void(const Result<OAuthCredentials>&)>> m_refreshCompletions;
    std::unique_ptr<QObject> m_context;  // device-flow timers
};

// An integration's sign-in settings.
struct OAuthConfig {
    QString packageName;  // shown in toasts ("GitHub")
    QString version;      // bumping it forces a new sign-in
    CachingRealm cachingRealm;
    Keychain::Account keychainAccount;
    QString oAuthScope;
    std::optional<QString> oAuthAudience;
    QList<QPair<QString, QString>> oAuthExtraQueryItems;
    // Fetches the signed-in user with fresh credentials; without one the user
    // is read from the id token.
    std::function<void(const OAuthCredentials&, std::function<void(const Result<OAuthUser>&)>)> userHandler;
};

// Reads the user from an OpenID id token ("name" and "email" of its payload).
Result<OAuthUser> userFromIdToken(const std::optional<QString>& idToken);

// Opens a link in the user's browser: $BROWSER when set (a ':'-separated
// list of commands; "%s" stands for the link, else it is appended), else
// fallback (the desktop's default handler). Throws VantrelError when nothing opens it.
void openInBrowser(const QUrl& url, const std::function<void(const QUrl&)>& fallback);

// One integration's session: sign-in, status, refresh and sign-out, and the
// interceptors its API resources use. Lives on the client's thread.
class OAuthController : public QObject {
    Q_OBJECT

public:
    enum class Status { authorized, notAuthorized, invalidSession, versionChanged };
    struct OAuthStatus {
        Status status = Status::notAuthorized;
        std::optional<OAuthSession> session;  // authorized only
    };
    // How the browser comes back to us.
    enum class RedirectKind { loopback, customScheme };

    static constexpr int kRefreshMarginSeconds = 60;

    OAuthController(OAuthConfig config, std::shared_ptr<OAuthProvider> provider, Keychain keychain, HTTPClient& http,
                    QObject* parent = nullptr);
    ~OAuthController() override;

    const OAuthConfig& config() const { return m_config; }
    OAuthProvider& provider() const { return *m_provider; }

    // Reads the keychain and classifies the session (remembered until it changes).
    OAuthStatus status();
    void resetStatus();
    bool isAuthorized() { return status().status == Status::authorized; }

    // Opens the browser on the authorize URL and waits for the redirect:
    // loopback starts a one-shot server on 127.0.0.1 (random port) and uses
    // it as redirect_uri; customScheme uses the provider's vantrel:// address
    // (handleURL receives it). The completion gets the stored session.
    void authorize(std::function<void(const Result<OAuthSession>&)> completion,
                   RedirectKind kind = RedirectKind::loopback);
    // The redirect of a sign-in in progress (a vantrel:// link): finishes it.
    // Returns false when no sign-in waits for one.
    bool handleRedirectURL(const QUrl& url);
    // The device flow: showCode tells the user where to go and what to type.
    void authorizeWithDevice(std::function<void(const OAuthDeviceAuthorization&)> showCode,
                             std::function<void(const Result<OAuthSession>&)> completion);
    void cancelAuthorization();
    bool isAuthorizing() const { return bool(m_pendingCompletion); }
    // The loopback address of the sign-in in progress (empty otherwise).
    QUrl loopbackRedirectURL() const;

    // Token request from the redirect, user, keychain; logs "✅ Received OAuth credentials".
    void completeAuthorization(const QUrl& redirectURL, std::function<void(const Result<OAuthSession>&)> completion);

    // Credentials for a request: refreshed first when they expire within the margin.
    void validCredentials(std::function<void(const Result<OAuthCredentials>&)> completion);

    // A GET with "Authorization: Bearer …" and "Accept".
    HTTPClient::Task makeRequest(const QUrl& url, const OAuthCredentials& credentials,
                                 HTTPClient::RawCompletion completion);

    // For API resources and operations: refreshes the token when needed and
    // attaches it ("Authorization: Bearer …").
    HTTPRequestAdapter tokenRefreshInterceptor();
    // Takes a 401 on a stored session: logs "Intercepted invalid token
    // error.", forgets the session (once) and announces tokenInvalidated;
    // the failure is then published as tokenInvalid.
    template <typename T>
    typename APIResource<T>::ResultInterceptor invalidTokenErrorInterceptor(std::weak_ptr<APIResource<T>> resource) {
        QPointer<OAuthController> self(this);
        return [self, resource](const typename APIResource<T>::Result& result, const std::function<void()>&) {
            if (!self || !result.isFailure() || !result.error || !result.error->isUnauthorized()) return false;
            HTTPError error = *result.error;
            self->takeInvalidToken(error);
            if (auto strong = resource.lock())
                strong->observable().publish(
                    typename APIResource<T>::Result{APIResource<T>::Result::Kind::failure, std::nullopt, error});
            return true;
        };
    }
    // The same for operations and direct requests: true when the error was a
    // 401 on a stored session (error becomes tokenInvalid).
    bool takeInvalidToken(HTTPError& error);

    // Removes the realm's cached answers, deletes the keychain item, resets the status.
    void signOut();

    // Opens links; defaults to openInBrowser with no fallback.
    void setBrowserOpener(std::function<void(const QUrl&)> opener) { m_openBrowser = std::move(opener); }

    // The status changed (sign-in, sign-out, refresh, invalid token).
    Signal<> statusChanged;
    // The stored session was refused: the sign-in view and the toast
    // "Authorization failed for " + packageName should show.
    Signal<const QString&> tokenInvalidated;

private:
    void finishAuthorization(const Result<OAuthSession>& result);
    void storeSession(const OAuthSession& session);

    OAuthConfig m_config;
    std::shared_ptr<OAuthProvider> m_provider;
    Keychain m_keychain;
    HTTPClient* m_http;
    std::optional<OAuthStatus> m_cachedStatus;
    std::function<void(const Result<OAuthSession>&)> m_pendingCompletion;
    std::unique_ptr<LoopbackRedirectServer> m_loopback;
    std::function<void(const QUrl&)> m_openBrowser;
    bool m_invalidated = false;
};

// The message of the toast shown when a stored session was refused.
QString tokenInvalidatedToastTitle(const QString& packageName);  // "Authorization failed for " + name
QString tokenInvalidatedToastMessage();                          // "Please connect your account again"

}  // namespace vantrel
