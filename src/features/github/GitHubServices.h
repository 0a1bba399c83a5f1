#pragma once

#include "features/github/GitHubAPI.h"

#include <QString>

#include <memory>
#include <optional>

namespace vantrel {
class KeychainBackend;
}

namespace vantrel::github {

// The integration's objects for one process: the HTTP client over the
// encrypted response cache, the OAuth provider and controller (GitHub's
// sign-in at GITHUB_SERVER_URL, the client from GITHUB_CLIENT_ID and
// GITHUB_CLIENT_SECRET in the environment or the environment file), and the
// API client at GITHUB_API_URL. Main thread.
class GitHubServices {
public:
    // Over the desktop's keychain (the Secret Service, or the file keyring).
    static std::unique_ptr<GitHubServices> make(std::shared_ptr<KeychainBackend> backend);
    ~GitHubServices();

    HTTPClient& http() const { return *m_http; }
    OAuthController& auth() const { return *m_auth; }
    GitHubAPI& api() const { return *m_api; }
    // Why sign-in cannot start (the missing variable), when it cannot.
    const std::optional<QString>& clientProblem() const { return m_clientProblem; }

private:
    GitHubServices() = default;

    std::unique_ptr<HTTPClient> m_http;
    std::shared_ptr<OAuthController> m_auth;
    std::unique_ptr<GitHubAPI> m_api;
    std::optional<QString> m_clientProblem;
};

}  // namespace vantrel::github
