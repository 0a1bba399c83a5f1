#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

namespace vantrel {

// Images behind http and https links (script icons …). Asking for one that is
// not here yet starts its download on the event loop and answers nothing; the
// caller shows a placeholder and repaints on imageArrived. Downloads never
// block the thread that asks. Every image that decodes is kept in memory and
// as a file under Paths::cacheDir()/images, so a later run reads it from disk
// without the network (a copy older than a week is shown and fetched again).
// A download that fails or whose body is not an image is logged, stays
// failed for the rest of the session and is not written to disk. Main thread only.
class RemoteImages : public QObject {
    Q_OBJECT

public:
    enum class State { none, loading, loaded, failed };

    static RemoteImages& shared();

    // Whether the link is one this class fetches (http or https).
    static bool isRemote(const QUrl& url);

    // The image when it is here (memory or the disk cache); otherwise starts
    // fetching it, once, and answers a null image.
    QImage image(const QUrl& url);
    State state(const QUrl& url) const;
    // Where the downloaded image of the link is kept.
    static QString cacheFile(const QUrl& url);

    // Forgets what this session loaded and which links failed (the files stay),
    // as a new run of the launcher would start.
    void forgetSession();

    // Downloads larger than this are given up.
    static constexpr qint64 maximumSize = 8 * 1024 * 1024;
    // A cached copy older than this is fetched again.
    static constexpr int refreshAfterDays = 7;

signals:
    void imageArrived(const QUrl& url);
    void imageFailed(const QUrl& url, const QString& reason);

private:
    explicit RemoteImages(QObject* parent = nullptr);
    void fetch(const QUrl& url);
    void finished(QNetworkReply* reply, const QUrl& url);
    void fail(const QUrl& url, const QString& reason);

    QNetworkAccessManager* m_network = nullptr;
    QHash<QUrl, QImage> m_images;
    QSet<QUrl> m_loading;
    QSet<QUrl> m_failed;
};

}  // namespace vantrel
