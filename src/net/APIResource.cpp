#include "net/APIResource.h"

#include <QThreadPool>

namespace vantrel {

namespace detail {
const Logger& apiLogger() {
    static const Logger instance(Logger::Category{QStringLiteral("APIResource"), QStringLiteral("📡")});
    return instance;
}
Queue cacheReadQueue() {
    static QThreadPool* pool = [] {
        auto* made = new QThreadPool();
        made->setMaxThreadCount(2);
        return made;
    }();
    return Queue([](Queue::Work work) { pool->start(std::move(work)); });
}

}  // namespace detail

QUrl APIEndpoint::resolved(const QUrl& base) const {
    if (kind == Kind::url) return absolute;
    QUrl url = base;
    QString basePath = url.path();
    while (basePath.endsWith(QLatin1Char('/'))) basePath.chop(1);
    const int query = path.indexOf(QLatin1Char('?'));
    const QString pathPart = query >= 0 ? path.left(query) : path;
    url.setPath(basePath + (pathPart.startsWith(QLatin1Char('/')) ? pathPart : QLatin1Char('/') + pathPart));
    if (query >= 0) url.setQuery(path.mid(query + 1));
    return url;
}

CachingPolicy convertedPolicy(const CachingPolicy& policy, APIRefreshMode mode) {
    using Kind = CachingPolicy::Kind;
    switch (mode) {
    case APIRefreshMode::cachingPolicy:
        return policy;
    case APIRefreshMode::localOnly:
        switch (policy.kind) {
        case Kind::returnLocalAndNetwork:
        case Kind::returnLocalOnly:
            return CachingPolicy::returnLocalOnly(policy.expiresIn, policy.realm);
        case Kind::returnNetworkOnly:
            detail::apiLogger().debug("Converting .returnNetworkOnly policy to .returnLocalOnly with default expiresIn");
            return CachingPolicy::returnLocalOnly(std::chrono::seconds{0}, policy.realm);
        case Kind::noCache:
            detail::apiLogger().debug(
                "Converting .noCache policy to .returnLocalOnly with default expiresIn and realm");
            return CachingPolicy::returnLocalOnly(std::chrono::seconds{0}, kDefaultCachingRealm);
        }
        break;
    case APIRefreshMode::networkOnly:
        if (policy.kind == Kind::noCache) {
            detail::apiLogger().debug("Converting .noCache policy to .returnNetworkOnly with default realm");
            return CachingPolicy::returnNetworkOnly(kDefaultCachingRealm);
        }
        return CachingPolicy::returnNetworkOnly(policy.realm);
    }
    return policy;
}

APITasks& APITasks::shared() {
    static APITasks instance;
    return instance;
}

QByteArray APITasks::requestKey(const HTTPRequest& request) {
    QByteArray key = httpVerb(request.method) + ' ' + HTTPCache::cacheKey(request);
    if (const auto authorization = request.header("Authorization")) key += "\nauthorization: " + *authorization;
    return key;
}

bool APITasks::perform(HTTPClient& client, const HTTPRequest& request, const CachingPolicy& policy,
                       HTTPClient::RawCompletion completion) {
    // Requests of different clients are never merged.
    const QByteArray key = QByteArray::number(quintptr(&client), 16) + ' ' + requestKey(request);
    {
        std::lock_guard lock(m_lock);
        auto found = m_requests.find(key);
        if (found != m_requests.end()) {
            found->second.push_back(std::move(completion));
            detail::apiLogger().info(QStringLiteral("🥳: Successfully deduplicated request to: ") +
                                     request.url.toString(QUrl::RemoveQuery | QUrl::RemoveUserInfo));
            return true;
        }
        m_requests[key].push_back(std::move(completion));
    }
    client.performRequest(request, policy, [this, key](const HTTPResponse<QByteArray>& response) {
        std::vector<HTTPClient::RawCompletion> waiting;
        {
            std::lock_guard lock(m_lock);
            auto found = m_requests.find(key);
            if (found != m_requests.end()) {
                waiting = std::move(found->second);
                m_requests.erase(found);
            }
        }
        for (const auto& done : waiting)
            if (done) done(response);
    });
    return false;
}

int APITasks::inFlightCount() const {
    std::lock_guard lock(m_lock);
    return int(m_requests.size());
}

void APITasks::addResource(const void* resource) {
    std::lock_guard lock(m_lock);
    m_resources.insert(resource);
}

void APITasks::removeResource(const void* resource) {
    std::lock_guard lock(m_lock);
    m_resources.erase(resource);
}

int APITasks::resourceCount() const {
    std::lock_guard lock(m_lock);
    return int(m_resources.size());
}

}  // namespace vantrel
