#include "ui/toolkit/RemoteImages.h"

#include "kit/Digest.h"
#include "kit/Logger.h"
#include "kit/Paths.h"

#include <QBuffer>
#include <QDateTime>
#include <QFileInfo>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Images"), QStringLiteral("🖼️")});
    return logger;
}

constexpr int kTransferTimeoutMs = 20000;

QImage decode(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    return reader.read();
}

QImage readCached(const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    return reader.read();
}

}  // namespace

RemoteImages& RemoteImages::shared() {
    static RemoteImages* images = new RemoteImages();
    return *images;
}

RemoteImages::RemoteImages(QObject* parent) : QObject(parent), m_network(new QNetworkAccessManager(this)) {
    m_network->setTransferTimeout(kTransferTimeoutMs);
}

bool RemoteImages::isRemote(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

QString RemoteImages::cacheFile(const QUrl& url) {
    return Paths::cacheDir() + QStringLiteral("/images/") + sha256Hex(url.toEncoded());
}

RemoteImages::State RemoteImages::state(const QUrl& url) const {
    if (m_images.contains(url)) return State::loaded;
    if (m_loading.contains(url)) return State::loading;
    if (m_failed.contains(url)) return State::failed;
    return State::none;
}

QImage RemoteImages::image(const QUrl& url) {
    if (const auto found = m_images.constFind(url); found != m_images.constEnd()) return *found;
    if (!isRemote(url) || m_failed.contains(url) || m_loading.contains(url)) return {};

    const QString path = cacheFile(url);
    const QFileInfo cached(path);
    if (cached.isFile()) {
        const QImage image = readCached(path);
        if (!image.isNull()) {
            m_images.insert(url, image);
            // A week-old copy stays on screen while a fresh one is fetched.
            if (cached.lastModified().daysTo(QDateTime::currentDateTime()) >= refreshAfterDays) fetch(url);
            return image;
        }
        log().warning("Cached image is unreadable, fetching it again", {{QStringLiteral("url"), url.toString()}});
    }
    fetch(url);
    return {};
}

void RemoteImages::fetch(const QUrl& url) {
    if (m_loading.contains(url)) return;
    m_loading.insert(url);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Vantrel"));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = m_network->get(request);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received <= maximumSize) return;
        reply->setProperty("vantrelTooLarge", true);
        reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, url] { finished(reply, url); });
}

void RemoteImages::finished(QNetworkReply* reply, const QUrl& url) {
    reply->deleteLater();
    m_loading.remove(url);
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError) {
        const bool tooLarge = reply->property("vantrelTooLarge").toBool();
        fail(url, tooLarge ? QStringLiteral("larger than %1 bytes").arg(maximumSize)
                           : (status > 0 ? QStringLiteral("HTTP status %1").arg(status) : reply->errorString()));
        return;
    }
    const QByteArray bytes = reply->readAll();
    const QImage image = decode(bytes);
    if (image.isNull()) {
        fail(url, QStringLiteral("the response is not an image (%1 bytes of '%2')")
                      .arg(bytes.size())
                      .arg(reply->header(QNetworkRequest::ContentTypeHeader).toString()));
        return;
    }

    const QString path = cacheFile(url);
    if (Paths::ensureDir(QFileInfo(path).absolutePath())) {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
            log().warning("Failed to keep a downloaded image",
                          {{QStringLiteral("url"), url.toString()}, {QStringLiteral("error"), file.errorString()}});
    }
    m_images.insert(url, image);
    log().debug("Image downloaded", {{QStringLiteral("url"), url.toString()}});
    emit imageArrived(url);
}

void RemoteImages::fail(const QUrl& url, const QString& reason) {
    // A copy from an earlier run stays in use when refreshing it failed.
    if (!m_images.contains(url)) m_failed.insert(url);
    log().error("Failed to load image", {{QStringLiteral("url"), url.toString()}, {QStringLiteral("error"), reason}});
    emit imageFailed(url, reason);
}

void RemoteImages::forgetSession() {
    m_images.clear();
    m_failed.clear();
}

}  // namespace vantrel
