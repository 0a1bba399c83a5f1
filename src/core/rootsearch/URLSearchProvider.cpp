#include "core/rootsearch/URLSearchProvider.h"

#include "core/commands/PackageRegistry.h"
#include "core/commands/VantrelCommandsSource.h"
#include "core/commands/LinkDetector.h"

namespace vantrel {

URLSearchProvider::URLSearchProvider(const PackageRegistry& registry) : m_registry(registry) {}

const QStringList& URLSearchProvider::commandIds() {
    static const QStringList ids{QStringLiteral("openInBrowser"), QStringLiteral("urlDecode"),
                                 QStringLiteral("urlEncode"), QStringLiteral("createQuicklinkWithURL")};
    return ids;
}

std::vector<SearchItem> URLSearchProvider::results(const QString& term) const {
    if (!LinkDetector::containsLink(term)) return {};
    std::vector<SearchItem> items;
    for (const QString& id : commandIds()) {
        const auto command = m_registry.command(CommandIdentifier(id), true);
        if (!command) continue;
        auto package = command->package();
        if (!package) package = m_registry.package(command->packageId());
        items.push_back(SearchItem::fromRecord(VantrelCommandsSource::record(
            *command, package ? package->displayName() : QString(), SearchRecord::Source::provider)));
    }
    return items;
}

}  // namespace vantrel
