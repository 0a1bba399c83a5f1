#pragma once

#include "core/api/Feature.h"

#include <QString>
#include <QUrl>

namespace vantrel {

class PackageRegistry;

// The launcher's own commands: "Manual" and "Changelog" (the Markdown shipped
// with the program, in the detail view), "Send Feedback" (the issue page with
// the version and the system filled in) and "Check For Updates" (the latest
// release of a feed, compared with this version). The feedback page and the
// feed are the "default" package's configuration ("feedbackURL",
// "updatesFeedURL"). "Check For Updates" is left out when a package manager
// that updates the program installed it (see ProgramOrigin).
class AboutFeature : public Feature {
public:
    inline static const QString packageId = QStringLiteral("default");
    inline static const QString manualCommandId = QStringLiteral("openVantrelManual");
    inline static const QString changelogCommandId = QStringLiteral("openVantrelChangelog");
    inline static const QString feedbackCommandId = QStringLiteral("sendFeedback");
    inline static const QString updatesCommandId = QStringLiteral("checkForUpdates");
    inline static const QString feedbackUrlKey = QStringLiteral("feedbackURL");
    inline static const QString updatesFeedKey = QStringLiteral("updatesFeedURL");
    // The pages used when the configuration names none: the build's
    // VANTREL_FEEDBACK_URL and VANTREL_UPDATES_FEED_URL (CMake cache
    // variables; placeholders of this source tree unless a build sets them).
    static QString defaultFeedbackUrl();
    static QString defaultUpdatesFeed();

    QString name() const override { return QStringLiteral("about"); }
    void registerWith(FeatureContext& context) override;

    // The issue page to open: the configured page with "body" set to the
    // version and a description of the system.
    static QUrl feedbackUrl(const PackageRegistry& registry);
    static QUrl updatesFeed(const PackageRegistry& registry);
};

}  // namespace vantrel
