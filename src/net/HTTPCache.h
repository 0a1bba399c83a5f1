#pragma once

#include "data/Keychain.h"
#include "net/HTTP.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace vantrel {

// The response cache, one cache per realm. Entries are files of their own
// under "<directory>/urlcache<realm>/", each encrypted whole (AES-256-GCM, a
// fresh nonce per entry) with one key that is made on first need and kept in
// the keychain under the account "urlcache_key". A recent slice of each realm
// is also kept in memory. An entry that does not decrypt (tampered, cut
// short, another key) is deleted and counts as missing; no cache failure
// ever fails a request. Safe to use from any thread.
class HTTPCache {
public:
    using ConfigFactory = std::function<CacheConfig(const CachingRealm& realm)>;

    struct Entry {
        QByteArray data;
        HTTPResponseInfo response;  // storedAt is set
    };

    struct RealmStats {
        int entries = 0;
        qint64 memoryBytes = 0;
        qint64 diskBytes = 0;
    };

    static constexpr const char* kKeyAccount = "urlcache_key";

    // The keychain holding the key; configFactory answers each realm's size
    // and folder (nothing: 5 MB in memory, 10 MB on disk under the cache folder).
    explicit HTTPCache(Keychain keychain, ConfigFactory configFactory = {});
    ~HTTPCache();
    HTTPCache(const HTTPCache&) = delete;
    HTTPCache& operator=(const HTTPCache&) = delete;

    // The keychain service the key lives under by default: the application's
    // name, or the process name without one.
    static QString defaultKeychainService();

    // The key of a request: everything but its "Authorization" header and
    // its method, so that entries survive a new token.
    static QByteArray cacheKey(const HTTPRequest& request);

    // Stores an answer under the policy's realm (nothing for noCache).
    void storeResponse(const HTTPResponseInfo& response, const QByteArray& data, const HTTPRequest& request,
                       const CachingPolicy& policy);
    // The stored answer, when the policy reads the cache and the entry is
    // younger than expiresIn; returnNetworkOnly reads without an age limit.
    std::optional<Entry> response(const HTTPRequest& request, const CachingPolicy& policy);

    // Removes every answer of the realm, and forgets the realm.
    void removeAllResponses(const CachingRealm& realm);
    void forgetRealm(const CachingRealm& realm);

    // The folder of a realm's entries.
    QString directory(const CachingRealm& realm) const;
    std::map<CachingRealm, RealmStats> stats();
    // Logs each realm's use, or "Stats: all cache realms empty".
    void logCacheStats();

    // Makes the key when the keychain has none (done lazily otherwise).
    void createEncyptionKeyIfNeeded();

private:
    struct Realm;
    Realm& realm(const CachingRealm& name);
    std::optional<QByteArray> key(bool create);
    static QString fileName(const QByteArray& cacheKey);

    Keychain m_keychain;
    ConfigFactory m_configFactory;
    std::recursive_mutex m_lock;
    std::map<CachingRealm, std::unique_ptr<Realm>> m_realms;
    std::optional<QByteArray> m_key;
};

}  // namespace vantrel
