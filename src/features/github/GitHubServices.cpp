#include "features/github/GitHubServices.h"

#include "core/shell/AppStartup.h"
#include "data/Keychain.h"

namespace vantrel::github {

std::unique_ptr<GitHubServices> GitHubServices::make(std::shared_ptr<KeychainBackend> backend) {
    std::unique_ptr<GitHubServices> services(new GitHubServices);
    services->m_http = HTTPClient::withEncryptedCache(backend);

    const Environment environment = Environment::current();
    const auto lookup = [environment](const QString& key) -> std::optional<QString> {
        const std::optional<QString> value = environment.value(key);
        if (value && !value->trimmed().isEmpty()) return value->trimmed();
        const QString fromProcess = qEnvironmentVariable(key.toUtf8().constData()).trimmed();
        if (!fromProcess.isEmpty()) return fromProcess;
        return std::nullopt;
    };
    OAuthClientCredentials client;
    const Result<OAuthClientCredentials> credentials =
        OAuthClientCredentials::fromEnvironment(QStringLiteral("GITHUB"), lookup, false);
    if (credentials.isFailure())
        services->m_clientProblem = credentials.error().errorDescription();
    else
        client = credentials.value();

    const QUrl apiBase = GitHubAPI::apiBaseURL();
    auto provider = OAuthProvider::gitHub(client, *services->m_http, GitHubAPI::webBaseURL(apiBase));
    services->m_auth = std::make_shared<OAuthController>(
        GitHubAPI::makeOAuthConfig(*services->m_http, apiBase), provider,
        Keychain(QString::fromLatin1(Keychain::kDefaultService), std::move(backend)), *services->m_http);
    services->m_api = std::make_unique<GitHubAPI>(*services->m_http, services->m_auth, apiBase);
    return services;
}

GitHubServices::~GitHubServices() {
    // The API's resources hold the controller's interceptors: they go first.
    m_api.reset();
    m_auth.reset();
}

}  // namespace vantrel::github
