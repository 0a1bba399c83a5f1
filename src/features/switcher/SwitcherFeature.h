#pragma once

#include "core/api/Feature.h"
#include "platform/WindowClient.h"

#include <QString>

#include <memory>
#include <vector>

namespace vantrel {

// "Switch Apps" (`appSwitcher`): the open application windows of the desktop,
// the most recently used first, with their titles and icons; Return brings
// one to the front. On the command line, `vantrel windows [--json]` lists
// them and `vantrel run appSwitcher TITLE-OR-ID` activates one.
class SwitcherFeature : public Feature {
public:
    inline static const QString commandId = QStringLiteral("appSwitcher");

    QString name() const override { return QStringLiteral("switcher"); }
    void registerWith(FeatureContext& context) override;

    // The window `query` names: its id (decimal or 0x hex), else the one
    // whose title is the query (any case), else the only one whose title
    // contains it. Throws VantrelError with a sentence otherwise.
    static WindowClient::OpenWindow find(const std::vector<WindowClient::OpenWindow>& windows, const QString& query);
};

}  // namespace vantrel
