#pragma once

#include "core/api/Feature.h"
#include "features/windowmanagement/WindowAction.h"

#include <memory>

namespace vantrel {

class FeatureContext;
class WindowManagementService;
struct ImageResource;

// Window management: one command per layout of the "windowManagement"
// package ("Left Half", "Next Display"…), each acting on the window the user
// was in. Running one hides the launcher first; failures come back as the
// failure toast, shown in the HUD while the launcher is hidden. Registers the
// commands and their handlers, the "Window Management" preferences page (the
// gap) and `vantrel run` of these commands through a running launcher.
class WindowManagementFeature : public Feature {
public:
    WindowManagementFeature();
    ~WindowManagementFeature() override;

    QString name() const override { return QStringLiteral("windowmanagement"); }
    void registerWith(FeatureContext& context) override;

    // Null before registerWith.
    WindowManagementService* service() const { return m_service.get(); }

    // The icon of an action's command: a drawing of the screen with the
    // region the action gives the window ("window-layout-0-0-6-12": left,
    // top, right, bottom in twelfths of the screen).
    static ImageResource icon(WindowAction action);

private:
    std::unique_ptr<WindowManagementService> m_service;
};

}  // namespace vantrel
