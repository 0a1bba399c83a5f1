#pragma once

#include "core/api/Feature.h"

namespace vantrel {

// The installed applications and the desktop's settings panels: their search
// records come from the desktop (the platform's applications source, desktop
// entries followed as they change); root search opens them with "Open
// Application".
class ApplicationsFeature : public Feature {
public:
    QString name() const override { return QStringLiteral("applications"); }
    void registerWith(FeatureContext& context) override;
};

}  // namespace vantrel
