#pragma once

#include "search/Search.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace vantrel {

class NotificationCenter;
class PackageRegistry;

// Supplies the fallback searches offered below the results: for any query,
// the registry's fallback commands that pass its enabled test, as items of
// type fallbackSearch (key = the fallback's id, name = its display name).
//
// Order: higher fallbackSearchOrder first (file search 200, contacts and the
// dictionary 101, the rest 1); fallbacks of equal order keep the registry's
// order (the order of their packages, then the package's own order).
//
// The list is cached: it is rebuilt on the global thread pool when the
// provider is created and on every "vantrel_PackageCommandsDidChange", and
// swapped in whole when a rebuild is done; a rebuild that finishes after a
// later one is dropped. results() answers from the cache and never blocks on
// a rebuild.
class FallbackSearchProvider : public SearchProvider {
public:
    explicit FallbackSearchProvider(const PackageRegistry& registry, NotificationCenter* center = nullptr);
    ~FallbackSearchProvider() override;

    std::vector<SearchItem> results(const QString& term) const override;

    // The ids of the cached fallbacks, in order.
    QStringList cachedResults() const;
    // How many rebuilds have been swapped in (0 until the first is done).
    quint64 completedRebuilds() const;

    // Starts a rebuild.
    void reload();

private:
    struct Cache;
    const PackageRegistry& m_registry;
    std::shared_ptr<Cache> m_cache;
    std::unique_ptr<QObject> m_subscriptions;
};

}  // namespace vantrel
