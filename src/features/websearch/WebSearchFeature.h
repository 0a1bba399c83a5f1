#pragma once

#include "core/api/Feature.h"
#include "features/websearch/WebSearch.h"

#include <QObject>

#include <memory>
#include <vector>

namespace vantrel {

class FeatureContext;

// Web searches: the fallback rows "Google" and "DuckDuckGo" offered below
// every query, and the searches the user added (a name and an address with
// "{Query}", kept in the package's configuration under "customWebSearches"),
// which become fallback rows too. Also `vantrel websearches add|list|remove`.
class WebSearchFeature : public Feature {
public:
    WebSearchFeature();
    ~WebSearchFeature() override;

    QString name() const override { return QStringLiteral("websearch"); }
    void registerWith(FeatureContext& context) override;

    // The built-in searches followed by the user's, as registered now.
    std::vector<WebSearch> webSearches() const;
    std::vector<CustomWebSearch> customWebSearches() const;
    // Stores the list (the fallbacks follow through the configuration change).
    bool setCustomWebSearches(const std::vector<CustomWebSearch>& searches) const;

    static constexpr QLatin1String customWebSearchesKey{"customWebSearches"};
    // "Search MDN" → "customWebSearch_search_mdn" (with a number when taken).
    static QString newCustomId(const QString& title, const std::vector<CustomWebSearch>& existing);

private:
    // Registers the fallbacks of the current list with the registry.
    void publish();

    FeatureContext* m_context = nullptr;
    std::shared_ptr<WebSearchesSource> m_source;
    std::unique_ptr<QObject> m_subscriptions;
};

}  // namespace vantrel
