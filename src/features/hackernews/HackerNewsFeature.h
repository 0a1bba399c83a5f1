#pragma once

#include "core/api/Feature.h"

#include <QString>
#include <QUrl>

#include <memory>

namespace vantrel {

class HTTPClient;
class PackageRegistry;

namespace hackernews {
class HackerNewsClient;
}

// The "media" package: "Hacker News", the top stories of the front page with
// open, open comments and copy link; `vantrel hackernews [--json]` and
// `vantrel run media_hackerNews` print them. The API and the site are the
// package's configuration ("apiURL", "siteURL"), so that a mirror or a local
// server can stand in.
class HackerNewsFeature : public Feature {
public:
    inline static const QString packageId = QStringLiteral("media");
    inline static const QString commandId = QStringLiteral("media_hackerNews");
    inline static const QString apiUrlKey = QStringLiteral("apiURL");
    inline static const QString siteUrlKey = QStringLiteral("siteURL");

    HackerNewsFeature();
    ~HackerNewsFeature() override;

    QString name() const override { return QStringLiteral("hackernews"); }
    void registerWith(FeatureContext& context) override;

    // The configured API and site (the public ones when nothing is set).
    static QUrl apiUrl(const PackageRegistry& registry);
    static QUrl siteUrl(const PackageRegistry& registry);

    // Made on first use (again when the configuration changed), over the
    // desktop's keychain; null when there is no keychain for the cache key.
    hackernews::HackerNewsClient* client(const PackageRegistry& registry);

private:
    std::unique_ptr<HTTPClient> m_http;
    std::unique_ptr<hackernews::HackerNewsClient> m_client;
};

}  // namespace vantrel
