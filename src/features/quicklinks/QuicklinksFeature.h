#pragma once

#include "core/api/CommandOutcome.h"
#include "core/api/Feature.h"
#include "data/Records.h"

#include <QObject>
#include <QStringList>

#include <memory>

namespace vantrel {

class FeatureContext;
class QuicklinksService;
class QuicklinksSource;

// Quicklinks: saved links with a name, an optional placeholder argument and
// an optional application to open them with. Registers their search records,
// their rows and actions in root search, their hotkeys, "Create Quicklink",
// "createQuicklinkWithURL" (offered for a link in the search bar), "Delete All
// Quicklinks", the create/update/duplicate forms, the "Quicklinks"
// preferences page and `vantrel quicklinks …` / `vantrel run quicklink_<id>`.
class QuicklinksFeature : public Feature {
public:
    QuicklinksFeature();
    ~QuicklinksFeature() override;

    QString name() const override { return QStringLiteral("quicklinks"); }
    void registerWith(FeatureContext& context) override;

    // Null before registerWith.
    QuicklinksService* service() const { return m_service.get(); }
    QuicklinksSource* source() const { return m_source.get(); }

    // Opens the quicklink with these argument values (as typed), as its
    // primary action does; without a value for its placeholder the outcome
    // asks the window for it.
    CommandOutcome run(const QuicklinkRecord& link, const QStringList& values) const;

    static constexpr QLatin1String deleteAllCommandId{"deleteAllQuicklinks"};

private:
    FeatureContext* m_context = nullptr;
    std::unique_ptr<QuicklinksService> m_service;
    std::shared_ptr<QuicklinksSource> m_source;
    std::unique_ptr<QObject> m_subscriptions;
};

}  // namespace vantrel
