#include "core/rootsearch/FallbackSearchProvider.h"

#include "core/commands/PackageRegistry.h"
#include "kit/Logger.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "kit/Queue.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>

namespace vantrel {

namespace {
const Logger& log() {
    static const Logger logger({QStringLiteral("Fallback Search"), QStringLiteral("🔎")});
    return logger;
}
}  // namespace

struct FallbackSearchProvider::Cache {
    mutable std::mutex mutex;
    std::vector<SearchItem> items;
    quint64 installedGeneration = 0;
    quint64 completed = 0;
    std::atomic<quint64> startedGeneration{0};
    // Rebuilds read the registry: the provider waits for the running ones
    // when it goes away, and those not started yet do nothing.
    bool alive = true;
    int running = 0;
    std::condition_variable finished;
};

FallbackSearchProvider::FallbackSearchProvider(const PackageRegistry& registry, NotificationCenter* center)
    : m_registry(registry), m_cache(std::make_shared<Cache>()), m_subscriptions(std::make_unique<QObject>()) {
    NotificationCenter& notifications = center ? *center : NotificationCenter::defaultCenter();
    notifications.addObserver(QString(NotificationNames::packageCommandsDidChange), m_subscriptions.get(),
                              [this](const Notification&) { reload(); });
    reload();
}

FallbackSearchProvider::~FallbackSearchProvider() {
    m_subscriptions.reset();
    std::unique_lock lock(m_cache->mutex);
    m_cache->alive = false;
    m_cache->finished.wait(lock, [this] { return m_cache->running == 0; });
}

void FallbackSearchProvider::reload() {
    const quint64 generation = ++m_cache->startedGeneration;
    std::weak_ptr<Cache> weakCache = m_cache;
    const PackageRegistry* registry = &m_registry;
    // The registry outlives its providers; its lookups are safe off the main thread.
    Queue::global().dispatch([weakCache, registry, generation] {
        const auto cache = weakCache.lock();
        if (!cache) return;
        {
            std::lock_guard lock(cache->mutex);
            if (!cache->alive) return;
            ++cache->running;
        }
        FallbackList enabled;
        for (const auto& fallback : registry->fallbackSearchCommands())
            if (registry->isEnabled(*fallback)) enabled.push_back(fallback);
        std::stable_sort(enabled.begin(), enabled.end(), [](const auto& a, const auto& b) {
            return a->fallbackSearchOrder() > b->fallbackSearchOrder();
        });
        std::vector<SearchItem> items;
        items.reserve(enabled.size());
        for (const auto& fallback : enabled) {
            SearchRecord record;
            record.key = fallback->id();
            record.type = SearchRecord::ContentType::fallbackSearch;
            record.source = SearchRecord::Source::provider;
            record.name = fallback->displayName();
            if (const auto package = registry->package(fallback->packageId())) record.category = package->displayName();
            items.push_back(SearchItem::fromRecord(std::move(record)));
        }
        std::lock_guard lock(cache->mutex);
        --cache->running;
        cache->finished.notify_all();
        if (generation < cache->installedGeneration) return;
        cache->installedGeneration = generation;
        cache->items = std::move(items);
        ++cache->completed;
        log().debug("Fallback searches cached", {{QStringLiteral("count"), QString::number(cache->items.size())}});
    });
}

std::vector<SearchItem> FallbackSearchProvider::results(const QString&) const {
    std::lock_guard lock(m_cache->mutex);
    return m_cache->items;
}

QStringList FallbackSearchProvider::cachedResults() const {
    QStringList ids;
    for (const SearchItem& item : results(QString())) ids << item.identifier();
    return ids;
}

quint64 FallbackSearchProvider::completedRebuilds() const {
    std::lock_guard lock(m_cache->mutex);
    return m_cache->completed;
}

}  // namespace vantrel
