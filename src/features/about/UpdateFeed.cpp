#include "features/about/UpdateFeed.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <memory>

namespace vantrel {

namespace {

std::optional<LatestRelease> releaseFrom(const QJsonObject& object, QString* problem) {
    const bool github = object.contains(QStringLiteral("tag_name"));
    const QJsonValue versionValue = object.value(github ? QStringLiteral("tag_name") : QStringLiteral("version"));
    if (!versionValue.isString()) {
        *problem = QStringLiteral("The update feed names no version (\"tag_name\" or \"version\").");
        return std::nullopt;
    }
    LatestRelease release;
    release.versionText = versionValue.toString().trimmed();
    const std::optional<Version> version = Version::parse(release.versionText);
    if (!version) {
        *problem = QStringLiteral("The update feed's version is not a version: '%1'").arg(release.versionText);
        return std::nullopt;
    }
    release.version = *version;
    const QUrl url(object.value(github ? QStringLiteral("html_url") : QStringLiteral("url")).toString());
    if (url.isValid() && (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http")))
        release.url = url;
    release.notes = object.value(github ? QStringLiteral("body") : QStringLiteral("notes")).toString();
    return release;
}

}  // namespace

QString UpdateCheck::summary(const Version& running) const {
    if (!problem.isEmpty()) return problem;
    if (!latest) return QStringLiteral("The update feed lists no release.");
    if (isNewer)
        return QStringLiteral("Vantrel %1 is available (this is %2).").arg(latest->version.toString(), running.toString());
    return QStringLiteral("Vantrel %1 is up to date.").arg(running.toString());
}

std::optional<LatestRelease> UpdateFeed::parse(const QByteArray& body, QString* problem) {
    QString ignored;
    QString& why = problem ? *problem : ignored;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError) {
        why = QStringLiteral("The update feed is not JSON: %1").arg(error.errorString());
        return std::nullopt;
    }
    if (document.isObject()) return releaseFrom(document.object(), &why);
    if (document.isArray()) {
        for (const QJsonValue& value : document.array()) {
            const QJsonObject object = value.toObject();
            if (object.value(QStringLiteral("draft")).toBool() || object.value(QStringLiteral("prerelease")).toBool())
                continue;
            QString skipped;
            if (auto release = releaseFrom(object, &skipped)) return release;
        }
        why = QStringLiteral("The update feed lists no release.");
        return std::nullopt;
    }
    why = QStringLiteral("The update feed is not a release or a list of releases.");
    return std::nullopt;
}

UpdateCheck UpdateFeed::check(const QByteArray& body, const Version& running) {
    UpdateCheck result;
    result.latest = parse(body, &result.problem);
    if (result.latest) result.isNewer = result.latest->version > running;
    return result;
}

void UpdateFeed::fetch(const QUrl& feed, const Version& running, std::function<void(UpdateCheck)> done,
                       int timeoutMs) {
    if (!feed.isValid() || (feed.scheme() != QLatin1String("https") && feed.scheme() != QLatin1String("http"))) {
        UpdateCheck failed;
        failed.problem = QStringLiteral("The update feed is not an http(s) link: '%1'").arg(feed.toString());
        QTimer::singleShot(0, [done = std::move(done), failed] { done(failed); });
        return;
    }
    auto* manager = new QNetworkAccessManager();
    QNetworkRequest request(feed);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setRawHeader("Accept", "application/json");
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Vantrel/%1").arg(running.toString()));
    QNetworkReply* reply = manager->get(request);
    auto finished = std::make_shared<bool>(false);
    const auto finish = [manager, finished, done](UpdateCheck result) {
        if (*finished) return;
        *finished = true;
        manager->deleteLater();
        done(std::move(result));
    };
    // Stops a feed that keeps sending without ending, or one that is too large.
    QObject::connect(reply, &QNetworkReply::downloadProgress, manager, [reply, finish](qint64 received, qint64) {
        if (received > UpdateFeed::kMaxBytes) {
            UpdateCheck failed;
            failed.problem = QStringLiteral("The update feed is larger than %1 bytes.").arg(UpdateFeed::kMaxBytes);
            finish(failed);
            reply->abort();
        }
    });
    QTimer::singleShot(timeoutMs, manager, [reply, finish, finished, timeoutMs] {
        if (*finished) return;
        UpdateCheck failed;
        failed.problem =
            QStringLiteral("The update feed did not answer within %1 seconds.").arg(timeoutMs / 1000.0);
        finish(failed);
        reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::finished, manager, [reply, running, finish] {
        reply->deleteLater();
        if (reply->error() != QNetworkReply::NoError) {
            UpdateCheck failed;
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            failed.problem = status ? QStringLiteral("The update feed answered HTTP %1.").arg(status)
                                    : QStringLiteral("The update feed cannot be reached: %1").arg(reply->errorString());
            finish(failed);
            return;
        }
        finish(UpdateFeed::check(reply->readAll(), running));
    });
}

UpdateCheck UpdateFeed::fetchAndWait(const QUrl& feed, const Version& running, int timeoutMs) {
    QEventLoop loop;
    std::optional<UpdateCheck> result;
    fetch(
        feed, running,
        [&](UpdateCheck check) {
            result = std::move(check);
            loop.quit();
        },
        timeoutMs);
    if (!result) loop.exec();
    return *result;
}

Version runningVersion() {
    return Version::parse(QStringLiteral(VANTREL_VERSION)).value_or(Version{});
}

}  // namespace vantrel
