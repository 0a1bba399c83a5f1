#include "features/quicklinks/QuicklinkIcons.h"

#include "features/quicklinks/QuicklinkLink.h"
#include "kit/UrlEncoding.h"
#include "platform/DesktopServices.h"
#include "platform/Platform.h"

#include <QHash>
#include <QMimeDatabase>
#include <QMutex>
#include <QUrlQuery>

namespace vantrel {

namespace {

QString bareHost(QString host) {
    host = host.toLower();
    if (host.startsWith(QLatin1String("www."))) host.remove(0, 4);
    return host;
}

// Hosts whose favicon is not worth asking for (local and private names).
bool hasNoFavicon(const QString& host) {
    return host == QLatin1String("localhost") || host.endsWith(QLatin1String(".local")) ||
           host.endsWith(QLatin1String(".localhost")) || !host.contains(QLatin1Char('.'));
}

// The icon name of the desktop's default application for a kind of link
// ("x-scheme-handler/https", "inode/directory"), looked up once per kind.
QString defaultApplicationIcon(const QString& mimeType) {
    static QMutex mutex;
    static QHash<QString, QString> cache;
    {
        QMutexLocker lock(&mutex);
        if (cache.contains(mimeType)) return cache.value(mimeType);
    }
    QString icon;
    if (const auto& desktop = platform().desktop)
        for (const DesktopApplication& application : desktop->applicationsForMimeType(mimeType))
            if (application.isDefault) {
                icon = application.iconName;
                break;
            }
    QMutexLocker lock(&mutex);
    cache.insert(mimeType, icon);
    return icon;
}

}  // namespace

std::optional<QString> builtinHostIcon(const QString& host) {
    static const QHash<QString, QString> icons{
        {QStringLiteral("google.com"), QStringLiteral("search")},
        {QStringLiteral("duckduckgo.com"), QStringLiteral("search")},
        {QStringLiteral("calendar.google.com"), QStringLiteral("calendar")},
        {QStringLiteral("en.wikipedia.org"), QStringLiteral("dictionary")},
        {QStringLiteral("wikipedia.org"), QStringLiteral("dictionary")},
    };
    const auto found = icons.constFind(bareHost(host));
    if (found == icons.constEnd()) return std::nullopt;
    return *found;
}

QUrl faviconServiceUrl(const QString& host) {
    QString service = qEnvironmentVariable("VANTREL_FAVICON_SERVICE");
    if (service.isEmpty()) service = QStringLiteral("https://www.google.com/s2/favicons");
    return QUrl(service + QStringLiteral("?domain=") + percentEncodedForQuery(host) + QStringLiteral("&sz=64"));
}

ImageResource quicklinkIcon(const QuicklinkRecord& link) {
    // The link as it would open with its placeholder's name as the value.
    QStringList values;
    if (const auto placeholder = quicklinkPlaceholder(link.urlString))
        values << percentEncodedForQuery(placeholder->isEmpty() ? QStringLiteral("query") : *placeholder);
    const std::optional<QuicklinkTarget> target = buildQuicklink(link.urlString, values);
    const auto& desktop = platform().desktop;
    if (target && !target->isFilePath && target->url.scheme().startsWith(QLatin1String("http")) &&
        !target->url.host().isEmpty() && link.applicationID.isEmpty()) {
        if (const auto builtin = builtinHostIcon(target->url.host())) return ImageResource::named(*builtin);
        if (!hasNoFavicon(target->url.host())) return ImageResource::url(faviconServiceUrl(target->url.host()));
    }
    if (!link.applicationID.isEmpty() && desktop) {
        const QString file = desktop->desktopFilePathForId(link.applicationID);
        const QString icon = file.isEmpty() ? QString() : desktop->applicationIconName(file, link.applicationID);
        if (!icon.isEmpty()) return ImageResource::named(icon);
    }
    if (target) {
        QString kind;
        if (target->isFilePath) {
            static const QMimeDatabase database;
            kind = database.mimeTypeForFile(target->text).name();
        } else {
            kind = QStringLiteral("x-scheme-handler/") + target->url.scheme();
        }
        if (const QString icon = defaultApplicationIcon(kind); !icon.isEmpty()) return ImageResource::named(icon);
    }
    return ImageResource::named(QStringLiteral("quicklinks"));
}

}  // namespace vantrel
