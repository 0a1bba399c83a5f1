#pragma once

#include "core/api/Feature.h"

#include <QString>

#include <memory>

namespace vantrel {

namespace github {
class GitHubServices;
}

// The "github" package: the user's pull requests, issues, repositories,
// notifications and workflow runs, their details, and creating, merging,
// closing and reopening them, through GitHubAPI; `vantrel github …` on the
// command line. The services (HTTP client, sign-in, API client) are made the
// first time a command needs them.
class GitHubFeature : public Feature {
public:
    inline static const QString packageId = QStringLiteral("github");

    GitHubFeature();
    ~GitHubFeature() override;

    QString name() const override { return QStringLiteral("github"); }
    void registerWith(FeatureContext& context) override;

    // Made on first use, over the desktop's keychain; null when there is no keychain.
    github::GitHubServices* services();

private:
    std::unique_ptr<github::GitHubServices> m_services;
};

}  // namespace vantrel
