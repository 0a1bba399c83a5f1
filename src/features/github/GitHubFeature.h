#pragma once

#include "core/api/Feature.h"

#include <QString>

namespace vantrel {

// The "github" package: the user's pull requests, issues, repositories,
// notifications and workflow runs, their details, and creating, merging,
// closing and reopening them, through GitHubAPI; `vantrel github …` on the
// command line.
class GitHubFeature : public Feature {
public:
    inline static const QString packageId = QStringLiteral("github");

    QString name() const override { return QStringLiteral("github"); }
    void registerWith(FeatureContext& context) override;
};

}  // namespace vantrel
