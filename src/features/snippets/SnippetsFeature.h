#pragma once

#include "core/api/Feature.h"

namespace vantrel {

class FeatureContext;

// Snippets: saved texts searched and pasted from the launcher, and their
// keywords expanded as the user types in other applications.
class SnippetsFeature : public Feature {
public:
    SnippetsFeature();
    ~SnippetsFeature() override;

    QString name() const override { return QStringLiteral("snippets"); }
    void registerWith(FeatureContext& context) override;
    void start() override;

private:
    FeatureContext* m_context = nullptr;
};

}  // namespace vantrel
