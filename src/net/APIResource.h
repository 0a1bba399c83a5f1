#pragma once

#include "kit/Logger.h"
#include "kit/Signal.h"
#include "net/HTTPClient.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

namespace vantrel {

// Where an API call goes: a path below the service's base URL, or a URL of its own.
struct APIEndpoint {
    enum class Kind { relative, url };
    Kind kind = Kind::relative;
    QString path;
    QUrl absolute;

    static APIEndpoint relative(QString path) { return {Kind::relative, std::move(path), {}}; }
    static APIEndpoint url(QUrl url) { return {Kind::url, {}, std::move(url)}; }
    // The full URL for a base ("https://api.example.com" + "/user").
    QUrl resolved(const QUrl& base) const;
};

// Which part of a resource's policy one refresh uses.
enum class APIRefreshMode { cachingPolicy, localOnly, networkOnly };

// Where a resource reads the cache: on the caller's thread, or off it.
enum class APICacheRetrievalQueue { defaultQueue, backgroundQueue };

// The policy a refresh mode turns the resource's policy into (see the
// policy conversion of refreshes); logs the conversions it makes.
CachingPolicy convertedPolicy(const CachingPolicy& policy, APIRefreshMode mode);

// Asynchronous step run before each request of a resource or operation (the
// OAuth token refresh: it refreshes when needed and adds the token). It calls
// proceed with the request to send, or with the error that stops it.
using HTTPRequestAdapter =
    std::function<void(HTTPRequest request, std::function<void(const Result<HTTPRequest>& adapted)> proceed)>;

// The requests in flight in this process, so that identical ones are sent
// once: a second caller joins the first one's waiting list. Thread-safe.
class APITasks {
public:
    static APITasks& shared();

    // Sends the request through the client unless an identical one (same
    // method, URL, headers and body) is in flight; then the completion joins it
    // and "🥳: Successfully deduplicated request to: " + URL is logged.
    // Returns whether it joined.
    bool perform(HTTPClient& client, const HTTPRequest& request, const CachingPolicy& policy,
                 HTTPClient::RawCompletion completion);
    int inFlightCount() const;

    void addResource(const void* resource);
    void removeResource(const void* resource);
    int resourceCount() const;

    static QByteArray requestKey(const HTTPRequest& request);

private:
    mutable std::recursive_mutex m_lock;
    std::map<QByteArray, std::vector<HTTPClient::RawCompletion>> m_requests;
    std::set<const void*> m_resources;
};

namespace detail {
const Logger& apiLogger();
// Threads of their own for cache reads off the caller's thread, so that
// long work on the global pool never holds a cached value back.
Queue cacheReadQueue();
}  // namespace detail

// A value a view shows: each refresh publishes the cached value first (when
// the policy reads the cache) and then the network value; failures are
// offered to resultInterceptor first and published when it does not take
// them. Failed network attempts are retried numberOfRetries times,
// retryDelayMilliseconds apart; a refresh cancels a pending retry. Lives on
// the client's thread; hold it in a shared_ptr (make()).
template <typename T>
class APIResource : public std::enable_shared_from_this<APIResource<T>> {
public:
    struct Result {
        enum class Kind { network, local, failure };
        Kind kind = Kind::failure;
        std::optional<T> value;
        std::optional<HTTPError> error;

        bool isNetwork() const { return kind == Kind::network; }
        bool isLocal() const { return kind == Kind::local; }
        bool isFailure() const { return kind == Kind::failure; }
    };
    // Builds the request of a refresh (nothing: "No URLRequest given").
    using RequestFactory = std::function<std::optional<HTTPRequest>()>;
    // Returns true when it consumed the result (retry() sends the request again).
    using ResultInterceptor = std::function<bool(const Result& result, const std::function<void()>& retry)>;
    using RefreshHandler = std::function<void(APIRefreshMode mode)>;

    static std::shared_ptr<APIResource> make(HTTPClient& client, RequestFactory request, CachingPolicy policy,
                                             HTTPClient::Decode<T> decode) {
        return std::shared_ptr<APIResource>(
            new APIResource(client, std::move(request), std::move(policy), std::move(decode)));
    }
    ~APIResource() {
        if (m_retryTimer) m_retryTimer->stop();
        APITasks::shared().removeResource(this);
    }

    // Publishes every Result; the connection ends with context.
    void subscribe(QObject* context, std::function<void(const Result&)> subscriber) {
        m_observable.connect(context, std::move(subscriber));
    }
    Signal<const Result&>& observable() { return m_observable; }

    void refresh(APIRefreshMode mode = APIRefreshMode::cachingPolicy) {
        if (m_retryTimer) m_retryTimer->stop();
        m_attempt = 0;
        if (refreshHandler) {
            refreshHandler(mode);
            return;
        }
        if (!m_request) {
            detail::apiLogger().warning("No refresh handler set", {{QStringLiteral("tag"), tag.value_or(QString())}});
            return;
        }
        perform(mode);
    }

    // The last value published (local or network).
    const std::optional<T>& latestValue() const { return m_latestValue; }
    // Replaces the value shown (optimistic updates) and publishes it as local.
    void setLocalValue(std::optional<T> value) {
        ++m_generation;
        m_latestValue = value;
        m_observable.publish(Result{Result::Kind::local, std::move(value), std::nullopt});
    }
    const CachingPolicy& cachingPolicy() const { return m_policy; }

    std::optional<QString> tag;
    unsigned numberOfRetries = 0;
    int retryDelayMilliseconds = 1000;
    APICacheRetrievalQueue cacheRetrievalQueue = APICacheRetrievalQueue::defaultQueue;
    ResultInterceptor resultInterceptor;
    HTTPRequestAdapter requestAdapter;
    // Replaces the resource's own refresh (a resource made of others). A
    // resource with neither this nor a request logs "No refresh handler set".
    RefreshHandler refreshHandler;

    // The resource's own refresh, for a refreshHandler that wants it.
    void perform(APIRefreshMode mode) {
        const CachingPolicy policy = convertedPolicy(m_policy, mode);
        const std::optional<HTTPRequest> request = m_request ? m_request() : std::nullopt;
        if (!request) {
            publishFailure(HTTPError{HTTPError::Kind::invalidRequest, QStringLiteral("No URLRequest given")});
            return;
        }
        if (policy.readsCache()) readCache(*request, policy);
        if (policy.kind == CachingPolicy::Kind::returnLocalOnly) return;
        performNetworkDataTask(*request, policy);
    }

private:
    APIResource(HTTPClient& client, RequestFactory request, CachingPolicy policy, HTTPClient::Decode<T> decode)
        : m_client(&client), m_request(std::move(request)), m_policy(std::move(policy)), m_decode(std::move(decode)),
          m_context(std::make_unique<QObject>()) {
        APITasks::shared().addResource(this);
    }

    // A read off the thread can finish after a newer value went out (the
    // network's, or an optimistic one): it is dropped then, so a view never
    // steps back to what the cache held before.
    void readCache(const HTTPRequest& request, const CachingPolicy& policy) {
        const bool localOnly = policy.kind == CachingPolicy::Kind::returnLocalOnly;
        const std::uint64_t generation = m_generation;
        auto deliver = [weak = this->weak_from_this(), localOnly, generation](std::optional<HTTPCache::Entry> entry) {
            auto self = weak.lock();
            if (!self) return;
            if (self->m_generation != generation) {
                detail::apiLogger().debug("Dropped a cached value read before a newer one was published",
                                          {{QStringLiteral("tag"), self->tag.value_or(QString())}});
                return;
            }
            std::optional<T> value;
            if (entry) {
                HTTPResponse<QByteArray> raw = HTTPResponse<QByteArray>::local(entry->data, entry->response);
                value = HTTPClient::decodeResponse<T>(raw, self->m_decode).value;
            }
            if (!value && !localOnly) return;
            if (value) self->m_latestValue = value;
            self->m_observable.publish(Result{Result::Kind::local, std::move(value), std::nullopt});
        };
        if (cacheRetrievalQueue == APICacheRetrievalQueue::backgroundQueue) {
            std::shared_ptr<HTTPCache> cache = m_client->sharedCache();
            // Made here, where the context lives: the resource may be gone
            // by the time the read ends.
            const Queue back = Queue::object(m_context.get());
            detail::cacheReadQueue()([cache, request, policy, back, deliver] {
                std::optional<HTTPCache::Entry> entry = cache->response(request, policy);
                back([deliver, entry] { deliver(entry); });
            });
            return;
        }
        deliver(m_client->cachedResponse(request, policy));
    }

    void performNetworkDataTask(const HTTPRequest& request, const CachingPolicy& policy) {
        auto weak = this->weak_from_this();
        auto send = [weak, policy](const HTTPRequest& adapted) {
            auto self = weak.lock();
            if (!self) return;
            APITasks::shared().perform(*self->m_client, adapted, policy,
                                       [weak, policy](const HTTPResponse<QByteArray>& raw) {
                                           if (auto strong = weak.lock()) strong->finish(raw, policy);
                                       });
        };
        if (!requestAdapter) {
            send(request);
            return;
        }
        requestAdapter(request, [weak, send](const vantrel::Result<HTTPRequest>& adapted) {
            auto self = weak.lock();
            if (!self) return;
            if (adapted.isFailure()) {
                self->deliverFailure(HTTPError::from(adapted.error()), {});
                return;
            }
            send(adapted.value());
        });
    }

    void finish(const HTTPResponse<QByteArray>& raw, const CachingPolicy& policy) {
        if (raw.isCancelled()) return;
        HTTPResponse<T> decoded = HTTPClient::decodeResponse<T>(raw, m_decode);
        if (decoded.isNetwork()) {
            ++m_generation;
            m_latestValue = decoded.value;
            m_observable.publish(Result{Result::Kind::network, std::move(decoded.value), std::nullopt});
            return;
        }
        auto weak = this->weak_from_this();
        deliverFailure(*decoded.error, [weak, policy] {
            if (auto self = weak.lock()) self->performNetworkOnly(policy);
        });
    }

    void performNetworkOnly(const CachingPolicy& policy) {
        const std::optional<HTTPRequest> request = m_request ? m_request() : std::nullopt;
        if (!request) {
            publishFailure(HTTPError{HTTPError::Kind::invalidRequest, QStringLiteral("No URLRequest given")});
            return;
        }
        performNetworkDataTask(*request, policy);
    }

    void deliverFailure(const HTTPError& error, std::function<void()> retry) {
        const Result result{Result::Kind::failure, std::nullopt, error};
        if (resultInterceptor && resultInterceptor(result, retry ? retry : [] {})) return;
        const bool retryable = retry && error.kind != HTTPError::Kind::unauthorized &&
                               error.kind != HTTPError::Kind::tokenInvalid &&
                               error.kind != HTTPError::Kind::cancelled;
        if (retryable && m_attempt < numberOfRetries) {
            ++m_attempt;
            detail::apiLogger().info(QStringLiteral("Retrying request"),
                                     {{QStringLiteral("tag"), tag.value_or(QString())},
                                      {QStringLiteral("attempt"), QString::number(m_attempt)}});
            if (!m_retryTimer) {
                m_retryTimer = new QTimer(m_context.get());
                m_retryTimer->setSingleShot(true);
            }
            m_retryTimer->disconnect();
            QObject::connect(m_retryTimer, &QTimer::timeout, m_context.get(), retry);
            m_retryTimer->start(retryDelayMilliseconds);
            return;
        }
        publishFailure(error);
    }

    void publishFailure(const HTTPError& error) {
        m_observable.publish(Result{Result::Kind::failure, std::nullopt, error});
    }

    HTTPClient* m_client;
    RequestFactory m_request;
    CachingPolicy m_policy;
    HTTPClient::Decode<T> m_decode;
    std::unique_ptr<QObject> m_context;
    QTimer* m_retryTimer = nullptr;
    unsigned m_attempt = 0;
    Signal<const Result&> m_observable;
    std::optional<T> m_latestValue;
    // Counts the values published from the network or set locally; a cache
    // read started under an older count is stale when it finishes.
    std::uint64_t m_generation = 0;
};

// A local change shown before a write is confirmed, and how to take it back.
struct OptimisticUpdate {
    std::function<void()> refreshHandler;
    std::function<void()> rollbackHandler;
};

// A write (merge, close, create…): optimistic updates are applied before the
// request goes out; on failure (after numberOfRetries further attempts) every
// rollback runs in order and then the failure handlers; on success the
// success handlers. Keeps itself alive until it has finished.
template <typename T>
class APIOperation : public std::enable_shared_from_this<APIOperation<T>> {
public:
    enum class Mode { defaultMode, download };
    using ResultInterceptor = std::function<bool(const HTTPError& error, const std::function<void()>& retry)>;

    static std::shared_ptr<APIOperation> make(HTTPClient& client, HTTPRequest request, HTTPClient::Decode<T> decode) {
        return std::shared_ptr<APIOperation>(new APIOperation(client, std::move(request), std::move(decode)));
    }

    void addOptimisticUpdate(OptimisticUpdate update) { m_optimisticUpdates.push_back(std::move(update)); }
    void onSuccess(std::function<void(const T&)> handler) { m_successHandlers.push_back(std::move(handler)); }
    void onFailure(std::function<void(const HTTPError&)> handler) { m_failureHandlers.push_back(std::move(handler)); }

    unsigned numberOfRetries = 0;
    int retryDelayMilliseconds = 1000;
    ResultInterceptor resultInterceptor;
    HTTPRequestAdapter requestAdapter;
    Mode mode = Mode::defaultMode;
    HTTPClient::SaveLocation saveLocation;  // download mode

    // Applies the optimistic updates and sends the write.
    void perform() {
        m_keepAlive = this->shared_from_this();
        for (const OptimisticUpdate& update : m_optimisticUpdates)
            if (update.refreshHandler) update.refreshHandler();
        attempt();
    }
    void cancel() { m_currentTask.cancel(); }
    bool isFinished() const { return !m_keepAlive; }

private:
    APIOperation(HTTPClient& client, HTTPRequest request, HTTPClient::Decode<T> decode)
        : m_client(&client), m_request(std::move(request)), m_decode(std::move(decode)),
          m_context(std::make_unique<QObject>()) {}

    void attempt() {
        auto send = [this](const HTTPRequest& request) {
            m_currentTask = m_client->performRequest(request, CachingPolicy::noCache(),
                                                     [this](const HTTPResponse<QByteArray>& raw) { finish(raw); });
        };
        if (!requestAdapter) {
            send(m_request);
            return;
        }
        requestAdapter(m_request, [this, send](const vantrel::Result<HTTPRequest>& adapted) {
            if (adapted.isFailure()) {
                fail(HTTPError::from(adapted.error()));
                return;
            }
            send(adapted.value());
        });
    }

    void finish(const HTTPResponse<QByteArray>& raw) {
        if (raw.isCancelled()) {
            fail(*HTTPResponse<QByteArray>::cancelled().error);
            return;
        }
        HTTPResponse<T> decoded = HTTPClient::decodeResponse<T>(raw, m_decode);
        if (decoded.isNetwork()) {
            for (const auto& handler : m_successHandlers) handler(*decoded.value);
            done();
            return;
        }
        const HTTPError error = *decoded.error;
        if (resultInterceptor && resultInterceptor(error, [this] { attempt(); })) return;
        const bool retryable = error.kind != HTTPError::Kind::unauthorized &&
                               error.kind != HTTPError::Kind::tokenInvalid &&
                               error.kind != HTTPError::Kind::cancelled;
        if (retryable && m_attempt < numberOfRetries) {
            ++m_attempt;
            QTimer::singleShot(retryDelayMilliseconds, m_context.get(), [this] { attempt(); });
            return;
        }
        fail(error);
    }

    void fail(const HTTPError& error) {
        for (const OptimisticUpdate& update : m_optimisticUpdates)
            if (update.rollbackHandler) update.rollbackHandler();
        for (const auto& handler : m_failureHandlers) handler(error);
        done();
    }

    void done() {
        // Released from the event loop: the handlers may still be on the stack.
        auto self = std::move(m_keepAlive);
        QTimer::singleShot(0, m_client, [self] {});
    }

    HTTPClient* m_client;
    HTTPRequest m_request;
    HTTPClient::Decode<T> m_decode;
    std::unique_ptr<QObject> m_context;
    std::vector<OptimisticUpdate> m_optimisticUpdates;
    std::vector<std::function<void(const T&)>> m_successHandlers;
    std::vector<std::function<void(const HTTPError&)>> m_failureHandlers;
    HTTPClient::Task m_currentTask;
    unsigned m_attempt = 0;
    std::shared_ptr<APIOperation> m_keepAlive;
};

}  // namespace vantrel
