#include "net/HTTPClient.h"

#include "kit/Logger.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>

namespace vantrel {

namespace {

const Logger& logger() {
    static const Logger instance(Logger::Category{QStringLiteral("HTTPClient"), QStringLiteral("🌐")});
    return instance;
}

constexpr int kMaximumRateLimitRetries = 3;

// What the server said about an error, when its body says it in JSON
// ("message", "error_description" or "error"); never an HTML page.
QString serverMessage(const QByteArray& body) {
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject()) return {};
    const QJsonObject object = document.object();
    for (const char* key : {"message", "error_description", "error"}) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isString() && !value.toString().isEmpty()) return value.toString().left(300);
    }
    return {};
}

HTTPError transportError(QNetworkReply::NetworkError code, const QString& detail, const QUrl& url) {
    HTTPError error;
    error.kind = HTTPError::Kind::transport;
    error.url = url;
    const QString host = url.host();
    switch (code) {
    case QNetworkReply::ConnectionRefusedError:
        error.message = QStringLiteral("Could not connect to the server: '%1' refused the connection").arg(host);
        break;
    case QNetworkReply::HostNotFoundError:
        error.message = QStringLiteral("Could not find the server: '%1'").arg(host);
        break;
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
        error.message = QStringLiteral("The request timed out: '%1'").arg(host);
        break;
    case QNetworkReply::SslHandshakeFailedError:
    case QNetworkReply::InsecureRedirectError:
        error.message = QStringLiteral("Could not make a secure connection to '%1': %2").arg(host, detail);
        break;
    case QNetworkReply::RemoteHostClosedError:
        error.message = QStringLiteral("The server closed the connection: '%1'").arg(host);
        break;
    default:
        error.message = QStringLiteral("The request failed: ") + detail;
        break;
    }
    return error;
}

// Seconds to wait before the same request may go again, from "Retry-After"
// (seconds or an HTTP date) or GitHub-style "X-RateLimit-Reset" (epoch
// seconds) when "X-RateLimit-Remaining" is "0". Nothing when the answer is
// not about a rate limit.
std::optional<int> rateLimitWait(const HTTPResponseInfo& info) {
    const int status = info.statusCode;
    if (status != 429 && status != 403) return std::nullopt;
    if (const auto retryAfter = info.header("Retry-After")) {
        bool ok = false;
        const int seconds = retryAfter->trimmed().toInt(&ok);
        if (ok) return std::max(0, seconds);
        const QDateTime date = QDateTime::fromString(QString::fromLatin1(retryAfter->trimmed()), Qt::RFC2822Date);
        if (date.isValid()) return int(std::max<qint64>(0, QDateTime::currentDateTimeUtc().secsTo(date)));
    }
    const auto remaining = info.header("X-RateLimit-Remaining");
    const auto reset = info.header("X-RateLimit-Reset");
    if (remaining && remaining->trimmed() == "0" && reset) {
        bool ok = false;
        const qint64 epoch = reset->trimmed().toLongLong(&ok);
        if (ok) return int(std::max<qint64>(0, epoch - QDateTime::currentSecsSinceEpoch()));
    }
    if (status == 429) return 60;
    return std::nullopt;
}

}  // namespace

struct HTTPClient::Task::State {
    HTTPRequest request;
    CachingPolicy policy;
    RawCompletion completion;
    QPointer<QNetworkReply> reply;
    QPointer<QTimer> retryTimer;
    QString bodyFile;
    int rateLimitRetries = 0;
    bool finished = false;
    bool cancelled = false;

    void finish(const HTTPResponse<QByteArray>& response) {
        if (finished) return;
        finished = true;
        if (!bodyFile.isEmpty()) QFile::remove(bodyFile);
        RawCompletion done = std::move(completion);
        completion = nullptr;
        if (done) done(response);
    }
};

void HTTPClient::Task::cancel() const {
    if (!m_state || m_state->finished) return;
    m_state->cancelled = true;
    if (m_state->retryTimer) m_state->retryTimer->stop();
    if (m_state->reply) {
        m_state->reply->abort();  // finished() follows and answers cancelled
        return;
    }
    m_state->finish(HTTPResponse<QByteArray>::cancelled());
}

bool HTTPClient::Task::isFinished() const { return !m_state || m_state->finished; }

HTTPClient::HTTPClient(std::shared_ptr<HTTPCache> cache, QObject* parent)
    : QObject(parent), m_cache(std::move(cache)), m_session(new QNetworkAccessManager(this)) {
    m_session->setAutoDeleteReplies(false);
}

std::unique_ptr<HTTPClient> HTTPClient::withEncryptedCache(std::shared_ptr<KeychainBackend> backend) {
    if (!backend) return nullptr;
    auto client = std::make_unique<HTTPClient>(
        std::make_shared<HTTPCache>(Keychain(HTTPCache::defaultKeychainService(), std::move(backend))));
    client->setDefaultHeaders({HTTPHeader::userAgent("Vantrel")});
    return client;
}

HTTPClient::~HTTPClient() {
    // Whoever waits on a request (an APITasks entry, a resource) hears that
    // it ended, instead of waiting for ever.
    const auto running = std::move(m_running);
    for (const auto& weak : running)
        if (auto state = weak.lock()) {
            state->cancelled = true;
            state->finish(HTTPResponse<QByteArray>::cancelled());
        }
}

void HTTPClient::logFailedCacheDecoding(const QUrl& url, const QString& reason) {
    logger().warning("Failed decoding from cache", {{QStringLiteral("url"), Logger::MetadataValue::privateValue(url.toString())},
                                                    {QStringLiteral("reason"), reason}});
}

std::optional<HTTPCache::Entry> HTTPClient::cachedResponse(const HTTPRequest& request, const CachingPolicy& policy) const {
    if (!m_cache || !policy.readsCache()) return std::nullopt;
    return m_cache->response(request, policy);
}

HTTPClient::Task HTTPClient::dataTask(const HTTPRequest& request, const CachingPolicy& policy, RawCompletion completion) {
    if (policy.readsCache()) {
        std::optional<HTTPCache::Entry> entry = cachedResponse(request, policy);
        const bool localOnly = policy.kind == CachingPolicy::Kind::returnLocalOnly;
        if (entry || localOnly) {
            HTTPResponse<QByteArray> local =
                entry ? HTTPResponse<QByteArray>::local(entry->data, entry->response)
                      : HTTPResponse<QByteArray>::local(std::nullopt, HTTPResponseInfo{});
            if (localOnly) {
                auto state = std::make_shared<Task::State>();
                state->request = request;
                state->policy = policy;
                state->completion = std::move(completion);
                QTimer::singleShot(0, this, [state, local] { state->finish(local); });
                return Task(state);
            }
            // Posted before the network request starts, so it always comes first.
            QTimer::singleShot(0, this, [completion, local] { completion(local); });
        }
    }
    return performRequest(request, policy, std::move(completion));
}

HTTPClient::Task HTTPClient::performRequest(const HTTPRequest& request, const CachingPolicy& policy,
                                            RawCompletion completion) {
    auto state = std::make_shared<Task::State>();
    state->request = request;
    state->policy = policy;
    state->completion = std::move(completion);
    std::erase_if(m_running, [](const std::weak_ptr<Task::State>& weak) {
        auto live = weak.lock();
        return !live || live->finished;
    });
    m_running.push_back(state);
    send(state);
    return Task(state);
}

void HTTPClient::send(const std::shared_ptr<Task::State>& state) {
    const HTTPRequest& request = state->request;
    logger().info(QStringLiteral("Network request ") + request.url.toString(QUrl::RemoveQuery | QUrl::RemoveUserInfo));

    Result<EncodedHTTPRequest> encoded = encodeHTTPRequest(request);
    if (encoded.isFailure()) {
        HTTPError error = HTTPError::from(encoded.error());
        error.url = request.url;
        if (m_trace) m_trace(request, std::nullopt, error);
        QTimer::singleShot(0, this, [state, error] { state->finish(HTTPResponse<QByteArray>::failure(error)); });
        return;
    }
    const EncodedHTTPRequest& wire = encoded.value();
    if (!wire.url.isValid() || wire.url.scheme().isEmpty()) {
        HTTPError error{HTTPError::Kind::invalidRequest, QStringLiteral("No URLRequest given"), 0, {}, request.url};
        if (!wire.bodyFile.isEmpty()) QFile::remove(wire.bodyFile);
        QTimer::singleShot(0, this, [state, error] { state->finish(HTTPResponse<QByteArray>::failure(error)); });
        return;
    }

    QNetworkRequest networkRequest(wire.url);
    for (const HTTPHeader& header : m_defaultHeaders)
        if (!request.header(header.name)) networkRequest.setRawHeader(header.name, header.value);
    for (const HTTPHeader& header : wire.headers) networkRequest.setRawHeader(header.name, header.value);
    const int timeout = request.timeoutSeconds > 0 ? request.timeoutSeconds : m_defaultTimeoutSeconds;
    networkRequest.setTransferTimeout(timeout * 1000);

    QNetworkReply* reply = nullptr;
    if (!wire.bodyFile.isEmpty()) {
        state->bodyFile = wire.bodyFile;
        auto* file = new QFile(wire.bodyFile);
        if (!file->open(QIODevice::ReadOnly)) {
            delete file;
            HTTPError error{HTTPError::Kind::invalidRequest, QStringLiteral("Cannot create HTTPUpload"), 0, {}, request.url};
            QTimer::singleShot(0, this, [state, error] { state->finish(HTTPResponse<QByteArray>::failure(error)); });
            return;
        }
        networkRequest.setHeader(QNetworkRequest::ContentLengthHeader, file->size());
        reply = m_session->sendCustomRequest(networkRequest, wire.verb, file);
        file->setParent(reply);
    } else if (wire.verb == "GET" && wire.body.isEmpty()) {
        reply = m_session->get(networkRequest);
    } else {
        reply = m_session->sendCustomRequest(networkRequest, wire.verb, wire.body);
    }
    state->reply = reply;

    connect(reply, &QNetworkReply::finished, this, [this, state, reply] {
        reply->deleteLater();
        state->reply = nullptr;
        const HTTPRequest& sent = state->request;
        HTTPResponseInfo info;
        info.url = reply->url();
        const QVariant statusAttribute = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        info.statusCode = statusAttribute.isValid() ? statusAttribute.toInt() : 0;
        for (const auto& pair : reply->rawHeaderPairs()) info.headers.append({pair.first, pair.second});
        const QByteArray body = reply->readAll();

        if (state->cancelled) {
            if (m_trace) m_trace(sent, std::nullopt, *HTTPResponse<QByteArray>::cancelled().error);
            state->finish(HTTPResponse<QByteArray>::cancelled());
            return;
        }
        // Network, proxy and protocol failures (a body cut short, a TLS
        // failure…) count whatever status line came before them; the other
        // codes Qt gives stand for HTTP statuses (400 is a "protocol
        // invalid operation"), judged below by the status itself.
        const int code = int(reply->error());
        const bool transportFailure = (code > 0 && code < 200) || code == QNetworkReply::ProtocolFailure;
        if (info.statusCode == 0 || transportFailure) {
            HTTPError error = reply->error() != QNetworkReply::NoError
                                  ? transportError(reply->error(), reply->errorString(), sent.url)
                                  : HTTPError{HTTPError::Kind::transport, QStringLiteral("No HTTP data or response"), 0,
                                              {}, sent.url};
            logger().error("Request failed", {{QStringLiteral("error"), error.message}});
            if (m_trace) m_trace(sent, std::nullopt, error);
            state->finish(HTTPResponse<QByteArray>::failure(error));
            return;
        }

        if (sent.everyStatusIsAnAnswer) {
            if (m_trace) m_trace(sent, info, std::nullopt);
            state->finish(HTTPResponse<QByteArray>::network(body, info));
            return;
        }
        if (const std::optional<int> wait = rateLimitWait(info)) {
            if (*wait <= m_maximumRateLimitWait && state->rateLimitRetries < kMaximumRateLimitRetries) {
                ++state->rateLimitRetries;
                logger().warning(QStringLiteral("Rate limited; sending again in seconds: ") + QString::number(*wait));
                if (m_trace) m_trace(sent, info, std::nullopt);
                auto* timer = new QTimer(this);
                timer->setSingleShot(true);
                state->retryTimer = timer;
                connect(timer, &QTimer::timeout, this, [this, state, timer] {
                    timer->deleteLater();
                    if (!state->finished) send(state);
                });
                timer->start(*wait * 1000);
                return;
            }
            HTTPError error{HTTPError::Kind::rateLimited,
                            QStringLiteral("Rate limit reached: try again in %1 seconds").arg(*wait), info.statusCode,
                            body, sent.url, *wait};
            if (m_trace) m_trace(sent, info, error);
            state->finish(HTTPResponse<QByteArray>::failure(error));
            return;
        }

        if (info.statusCode < 200 || info.statusCode >= 300) {
            HTTPError error;
            error.kind = info.statusCode == int(HTTPStatusCode::unauthorized) ? HTTPError::Kind::unauthorized
                                                                               : HTTPError::Kind::status;
            error.statusCode = info.statusCode;
            error.body = body;
            error.url = sent.url;
            const QString said = serverMessage(body);
            error.message = QStringLiteral("Request failed with status %1").arg(info.statusCode);
            if (!said.isEmpty()) error.message += QStringLiteral(": ") + said;
            logger().error("Request failed", {{QStringLiteral("status"), QString::number(info.statusCode)}});
            if (m_trace) m_trace(sent, info, error);
            state->finish(HTTPResponse<QByteArray>::failure(error));
            return;
        }

        if (m_trace) m_trace(sent, info, std::nullopt);
        if (m_cache && state->policy.storesResponses()) {
            try {
                m_cache->storeResponse(info, body, sent, state->policy);
            } catch (const std::exception& error) {
                logger().error("Could not store response", {{QStringLiteral("error"), VantrelError::describe(error)}});
            }
        }
        state->finish(HTTPResponse<QByteArray>::network(body, info));
    });
}

HTTPClient::Task HTTPClient::upload(const HTTPRequest& request, std::shared_ptr<MultipartFormData> form,
                                    RawCompletion completion) {
    HTTPRequest upload = request;
    if (upload.method == HTTPMethod::get) upload.method = HTTPMethod::post;
    upload.encoding = HTTPParameterEncoding::multipartFormData(std::move(form));
    return performRequest(upload, CachingPolicy::noCache(), std::move(completion));
}

namespace {

QString fileNameFromDisposition(const QByteArray& disposition) {
    static const QRegularExpression extended(QStringLiteral("filename\\*\\s*=\\s*([^']*)'[^']*'([^;]+)"),
                                             QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression plain(QStringLiteral("filename\\s*=\\s*(\"([^\"]*)\"|[^;]+)"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QString text = QString::fromLatin1(disposition);
    QString name;
    if (const auto match = extended.match(text); match.hasMatch())
        name = QUrl::fromPercentEncoding(match.captured(2).trimmed().toLatin1());
    else if (const auto matchPlain = plain.match(text); matchPlain.hasMatch())
        name = matchPlain.captured(2).isEmpty() ? matchPlain.captured(1).trimmed() : matchPlain.captured(2);
    // Only a name, never a path.
    return QFileInfo(name).fileName();
}

}  // namespace

HTTPClient::Task HTTPClient::download(const HTTPRequest& request, const SaveLocation& saveLocation,
                                      bool shouldOverwriteExistingFile,
                                      std::function<void(const Result<DownloadedFile>&)> completion) {
    return performRequest(request, CachingPolicy::noCache(), [saveLocation, shouldOverwriteExistingFile,
                                                              completion](const HTTPResponse<QByteArray>& response) {
        if (!response.isNetwork() || !response.value) {
            completion(response.error ? response.error->toError()
                                      : VantrelError(QStringLiteral("No HTTP location or response")));
            return;
        }
        QString name;
        if (const auto disposition = response.response.header("Content-Disposition"))
            name = fileNameFromDisposition(*disposition);
        if (name.isEmpty()) name = QFileInfo(response.response.url.path()).fileName();
        if (name.isEmpty()) name = QStringLiteral("download");
        QString path;
        switch (saveLocation.kind) {
        case SaveLocation::Kind::temporaryDirectory:
            path = QDir(QDir::tempPath()).filePath(saveLocation.fileName.value_or(name));
            break;
        case SaveLocation::Kind::url:
            if (!saveLocation.url.isLocalFile()) {
                completion(VantrelError(QStringLiteral("No HTTP location or response")));
                return;
            }
            path = saveLocation.url.toLocalFile();
            break;
        case SaveLocation::Kind::downloadsDirectory: {
            QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
            if (folder.isEmpty()) folder = QDir::home().filePath(QStringLiteral("Downloads"));
            QDir().mkpath(folder);
            path = QDir(folder).filePath(name);
            break;
        }
        }
        if (QFileInfo::exists(path) && !shouldOverwriteExistingFile) {
            completion(VantrelError(QStringLiteral("Cannot move downloaded file"),
                                    VantrelError(QStringLiteral("A file already exists: ") + path)));
            return;
        }
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(*response.value) != response.value->size() ||
            !file.commit()) {
            completion(VantrelError(QStringLiteral("Cannot move downloaded file"), VantrelError(file.errorString())));
            return;
        }
        logger().info(QStringLiteral("Moved downloaded file to: ") + path);
        completion(DownloadedFile{QFileInfo(path).fileName(), QUrl::fromLocalFile(path)});
    });
}

Result<QJsonDocument> decodeJSONDocument(const QByteArray& data, const HTTPResponseInfo& response) {
    if (response.statusCode == int(HTTPStatusCode::noContent) || data.trimmed().isEmpty()) return QJsonDocument();
    QJsonParseError error{};
    QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError)
        return VantrelError(QStringLiteral("Cannot decode JSON: ") + error.errorString());
    return document;
}

Result<QByteArray> decodeRawData(const QByteArray& data, const HTTPResponseInfo&) { return data; }

}  // namespace vantrel
