#include "features/hackernews/HackerNewsFeature.h"

#include "core/api/FeatureContext.h"
#include "core/commands/PackageRegistry.h"
#include "data/Keychain.h"
#include "features/hackernews/HackerNewsAPI.h"
#include "features/hackernews/HackerNewsCli.h"
#include "features/hackernews/ui/HackerNewsView.h"
#include "net/HTTPClient.h"
#include "platform/Platform.h"

namespace vantrel {

namespace {

QUrl configuredUrl(const PackageRegistry& registry, const QString& key, const QString& fallback) {
    const std::optional<QString> value = registry.stringValue(PackageIdentifier(HackerNewsFeature::packageId), key);
    const QString text = value ? value->trimmed() : QString();
    return QUrl(text.isEmpty() ? fallback : text);
}

const QString kNoKeychain = QStringLiteral("There is no keychain on this desktop to keep the cache key in");

}  // namespace

HackerNewsFeature::HackerNewsFeature() = default;

HackerNewsFeature::~HackerNewsFeature() {
    m_client.reset();
    m_http.reset();
}

QUrl HackerNewsFeature::apiUrl(const PackageRegistry& registry) {
    return configuredUrl(registry, apiUrlKey, hackernews::HackerNewsClient::defaultApiURL);
}

QUrl HackerNewsFeature::siteUrl(const PackageRegistry& registry) {
    return configuredUrl(registry, siteUrlKey, hackernews::HackerNewsClient::defaultSiteURL);
}

hackernews::HackerNewsClient* HackerNewsFeature::client(const PackageRegistry& registry) {
    if (!m_http) {
        m_http = HTTPClient::withEncryptedCache(platform().makeKeychainBackend ? platform().makeKeychainBackend() : nullptr);
        if (!m_http) return nullptr;
        m_http->setDefaultTimeoutSeconds(hackernews::kTimeoutSeconds);
    }
    const QUrl api = apiUrl(registry);
    const QUrl site = siteUrl(registry);
    hackernews::HackerNewsClient probe(*m_http, api, site);
    if (!m_client || m_client->apiBase() != probe.apiBase() || m_client->siteBase() != probe.siteBase())
        m_client = std::make_unique<hackernews::HackerNewsClient>(*m_http, api, site);
    return m_client.get();
}

void HackerNewsFeature::registerWith(FeatureContext& context) {
    PackageRegistry* registry = &context.registry();
    context.addCommandHandler(commandId, [this, registry](const VantrelCommand&, const CommandRunContext&) {
        if (!client(*registry)) return CommandOutcome::failed(QStringLiteral("Failed loading Hacker News"), kNoKeychain);
        return CommandOutcome::showView(commandId);
    });
    context.addView(commandId, [this, registry](const CommandOutcome&) -> QWidget* {
        hackernews::HackerNewsClient* shared = client(*registry);
        if (!shared) return nullptr;
        return new hackernews::HackerNewsView(*shared);
    });
    const auto cli = [this, registry](QStringList arguments) -> int {
        hackernews::HackerNewsClient* shared = client(*registry);
        return hackernews::runCli(shared, arguments, shared ? QString() : kNoKeychain);
    };
    context.addCliCommand(QStringLiteral("hackernews"),
                          [cli](const QStringList& arguments) -> std::optional<int> { return cli(arguments); });
    // `vantrel run media_hackerNews [--json]` prints the list as `vantrel hackernews` does.
    context.addCliCommand(QStringLiteral("run"), [cli](const QStringList& arguments) -> std::optional<int> {
        if (arguments.value(0) != commandId) return std::nullopt;
        return cli(arguments.mid(1));
    });
}

}  // namespace vantrel
