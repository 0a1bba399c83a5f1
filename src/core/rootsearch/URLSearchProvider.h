#pragma once

#include "search/Search.h"

#include <QStringList>

namespace vantrel {

class PackageRegistry;

// Offers the URL commands when the query holds a link anywhere (see
// LinkDetector), in the order "openInBrowser", "urlDecode", "urlEncode",
// "createQuicklinkWithURL"; nothing otherwise. Each result is the command's
// search record (key = command id, type command, subtitle = its package's
// name), built as the commands source builds it. A command missing from the
// registry is left out.
class URLSearchProvider : public SearchProvider {
public:
    explicit URLSearchProvider(const PackageRegistry& registry);

    std::vector<SearchItem> results(const QString& term) const override;

    static const QStringList& commandIds();

private:
    const PackageRegistry& m_registry;
};

}  // namespace vantrel
