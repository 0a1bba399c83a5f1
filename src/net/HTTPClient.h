#pragma once

#include "kit/Promise.h"
#include "net/HTTP.h"
#include "net/HTTPCache.h"
#include "net/MultipartFormData.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace vantrel {

// All traffic to outside services. Lives on the thread that made it (the main
// thread in the launcher) and calls every completion there, from its event
// loop. Each task ends with exactly one final answer (network, failure or
// cancelled); a data task that reads the cache may answer `local` first.
//
// Rate limits are honoured: a 429, or a 403 carrying "Retry-After" or
// "X-RateLimit-Remaining: 0" with "X-RateLimit-Reset", is sent again once the
// server's wait is over, when that wait is at most maximumRateLimitWait;
// otherwise it fails as rateLimited with the wait in the message.
class HTTPClient : public QObject {
    Q_OBJECT

public:
    using RawCompletion = std::function<void(const HTTPResponse<QByteArray>& response)>;
    // Sees every request sent, and its answer or error (for logs).
    using Trace = std::function<void(const HTTPRequest& request, const std::optional<HTTPResponseInfo>& response,
                                     const std::optional<HTTPError>& error)>;
    template <typename T>
    using Decode = std::function<Result<T>(const QByteArray& data, const HTTPResponseInfo& response)>;

    // A running request; cancelling answers `cancelled` (never retried).
    class Task {
    public:
        Task() = default;
        void cancel() const;
        bool isFinished() const;
        bool isValid() const { return bool(m_state); }
        struct State;
        explicit Task(std::shared_ptr<State> state) : m_state(std::move(state)) {}

    private:
        std::shared_ptr<State> m_state;
    };

    // Where a download is saved.
    struct SaveLocation {
        enum class Kind { temporaryDirectory, url, downloadsDirectory };
        Kind kind = Kind::temporaryDirectory;
        std::optional<QString> fileName;  // temporaryDirectory: instead of the server's name
        QUrl url;                         // url: the file to write
        static SaveLocation temporaryDirectory(std::optional<QString> fileName = std::nullopt) {
            return {Kind::temporaryDirectory, std::move(fileName), {}};
        }
        static SaveLocation at(QUrl fileURL) { return {Kind::url, std::nullopt, std::move(fileURL)}; }
        static SaveLocation downloadsDirectory() { return {Kind::downloadsDirectory, std::nullopt, {}}; }
    };
    struct DownloadedFile {
        QString fileName;
        QUrl savedURL;
    };

    explicit HTTPClient(std::shared_ptr<HTTPCache> cache, QObject* parent = nullptr);
    ~HTTPClient() override;

    // A client of the launcher's own: its cache encrypted with the key kept
    // under the default keychain service, "Vantrel" as its user agent. None
    // without a keychain backend.
    static std::unique_ptr<HTTPClient> withEncryptedCache(std::shared_ptr<KeychainBackend> backend);

    HTTPCache& cache() const { return *m_cache; }
    const std::shared_ptr<HTTPCache>& sharedCache() const { return m_cache; }
    QNetworkAccessManager& session() const { return *m_session; }

    void setTrace(Trace trace) { m_trace = std::move(trace); }
    void setDefaultTimeoutSeconds(int seconds) { m_defaultTimeoutSeconds = seconds; }
    void setMaximumRateLimitWaitSeconds(int seconds) { m_maximumRateLimitWait = seconds; }
    int maximumRateLimitWaitSeconds() const { return m_maximumRateLimitWait; }
    // Headers added to every request that does not set them (User-Agent…).
    void setDefaultHeaders(std::vector<HTTPHeader> headers) { m_defaultHeaders = std::move(headers); }

    // Runs a request under a policy: returnLocalAndNetwork answers `local`
    // (when the cache has a fresh entry) and then `network`; returnLocalOnly
    // answers `local` with or without a value; the others go to the network.
    Task dataTask(const HTTPRequest& request, const CachingPolicy& policy, RawCompletion completion);

    template <typename T>
    Task dataTask(const HTTPRequest& request, const CachingPolicy& policy, Decode<T> decodeData,
                  std::function<void(const HTTPResponse<T>&)> completion) {
        return dataTask(request, policy, [decodeData = std::move(decodeData), completion = std::move(completion)](
                                             const HTTPResponse<QByteArray>& raw) {
            completion(decodeResponse<T>(raw, decodeData));
        });
    }

    // The network part: sends the request, stores a success under the policy.
    // Logs "Network request " + URL.
    Task performRequest(const HTTPRequest& request, const CachingPolicy& policy, RawCompletion completion);

    // The cache part alone (a miss, an expired or an unreadable entry: nothing).
    std::optional<HTTPCache::Entry> cachedResponse(const HTTPRequest& request, const CachingPolicy& policy) const;

    // A multipart/form-data upload: the body is written to a temporary file and streamed from it.
    Task upload(const HTTPRequest& request, std::shared_ptr<MultipartFormData> form, RawCompletion completion);

    // Saves the answer's body to a file; its name from "Content-Disposition",
    // else from the URL. Failures: "No HTTP location or response", "Cannot
    // move downloaded file".
    Task download(const HTTPRequest& request, const SaveLocation& saveLocation, bool shouldOverwriteExistingFile,
                  std::function<void(const Result<DownloadedFile>&)> completion);

    // Turns a raw answer into a decoded one: a cached body that does not
    // decode is logged "Failed decoding from cache" and given as `local`
    // without a value; a network body that does not decode is a failure.
    template <typename T>
    static HTTPResponse<T> decodeResponse(const HTTPResponse<QByteArray>& raw, const Decode<T>& decodeData) {
        switch (raw.kind) {
        case HTTPResponse<QByteArray>::Kind::cancelled:
            return HTTPResponse<T>::cancelled();
        case HTTPResponse<QByteArray>::Kind::failure:
            return HTTPResponse<T>::failure(*raw.error);
        case HTTPResponse<QByteArray>::Kind::local: {
            if (!raw.value) return HTTPResponse<T>::local(std::nullopt, raw.response);
            Result<T> decoded = decodeData(*raw.value, raw.response);
            if (decoded.isFailure()) {
                logFailedCacheDecoding(raw.response.url, decoded.error().errorDescription());
                return HTTPResponse<T>::local(std::nullopt, raw.response);
            }
            return HTTPResponse<T>::local(std::move(decoded).value(), raw.response);
        }
        case HTTPResponse<QByteArray>::Kind::network: {
            Result<T> decoded = decodeData(raw.value.value_or(QByteArray()), raw.response);
            if (decoded.isFailure()) {
                HTTPError error{HTTPError::Kind::decoding, decoded.error().errorDescription(), raw.response.statusCode,
                                raw.value.value_or(QByteArray()), raw.response.url};
                return HTTPResponse<T>::failure(std::move(error));
            }
            return HTTPResponse<T>::network(std::move(decoded).value(), raw.response);
        }
        }
        return HTTPResponse<T>::cancelled();
    }

private:
    static void logFailedCacheDecoding(const QUrl& url, const QString& reason);
    void send(const std::shared_ptr<Task::State>& state);

    std::shared_ptr<HTTPCache> m_cache;
    QNetworkAccessManager* m_session;
    // Tasks not finished yet: a client that goes away answers them cancelled.
    std::vector<std::weak_ptr<Task::State>> m_running;
    Trace m_trace;
    std::vector<HTTPHeader> m_defaultHeaders;
    int m_defaultTimeoutSeconds = 30;
    int m_maximumRateLimitWait = 60;
};

// Decoders for the common bodies. JSON: a 204 or an empty body is a null
// document; anything that does not parse fails with "Cannot decode JSON: "
// and the parser's reason (so an HTML error page or a body cut short fails).
Result<QJsonDocument> decodeJSONDocument(const QByteArray& data, const HTTPResponseInfo& response);
Result<QByteArray> decodeRawData(const QByteArray& data, const HTTPResponseInfo& response);

}  // namespace vantrel
