#include "platform/freedesktop/DesktopLauncher.h"
#include "platform/freedesktop/DesktopEntry.h"

#include "kit/Logger.h"
#include "kit/VantrelError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <vector>

#include "platform/freedesktop/GioHeaders.h"

namespace vantrel {

namespace {

const Logger& logger() {
    static const Logger instance(Logger::Category{QStringLiteral("Launcher"), QStringLiteral("🚀")});
    return instance;
}

// Takes the message out of a GError and frees it.
QString takeMessage(GError*& error) {
    QString message = error ? QString::fromUtf8(error->message) : QStringLiteral("unknown error");
    g_clear_error(&error);
    return message;
}

// How a URL is named in a message: local files by their path.
QString describe(const QUrl& url) {
    return url.isLocalFile() ? url.toLocalFile() : url.toDisplayString();
}

void requireUsable(const QUrl& url, const QString& action) {
    if (!url.isValid() || url.scheme().isEmpty()) {
        throw VantrelError(
            QStringLiteral("Cannot %1 \"%2\": it is not a URL with a scheme.").arg(action, url.toDisplayString()));
    }
    if (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile())) {
        throw VantrelError(QStringLiteral("Cannot %1 %2: the file does not exist.").arg(action, url.toLocalFile()));
    }
}

}  // namespace

void DesktopLauncher::launch(const QString& desktopFilePath, const QList<QUrl>& urls) {
    if (!QFileInfo(desktopFilePath).isFile()) {
        throw VantrelError(QStringLiteral("Cannot launch %1: the file does not exist.").arg(desktopFilePath));
    }
    // Every URL is checked before anything starts.
    std::vector<QByteArray> encoded;
    for (const QUrl& url : urls) {
        requireUsable(url, QStringLiteral("pass"));
        encoded.push_back(url.toEncoded());
    }

    GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(QFile::encodeName(desktopFilePath).constData());
    if (!info) {
        throw VantrelError(QStringLiteral("Cannot launch %1: it is not the desktop entry of an application that can "
                                          "start here (it is malformed, of another type, hidden, or its program is "
                                          "missing).")
                               .arg(desktopFilePath));
    }
    const QString name = QString::fromUtf8(g_app_info_get_display_name(G_APP_INFO(info)));

    GList* uris = nullptr;
    for (QByteArray& uri : encoded) uris = g_list_append(uris, uri.data());
    GAppLaunchContext* context = g_app_launch_context_new();
    GError* error = nullptr;
    const gboolean launched = g_app_info_launch_uris(G_APP_INFO(info), uris, context, &error);
    g_list_free(uris);
    g_object_unref(context);
    g_object_unref(info);

    if (!launched) {
        const QString message = takeMessage(error);
        logger().error("Launching an application failed",
                       {{QStringLiteral("entry"), desktopFilePath}, {QStringLiteral("error"), message}});
        throw VantrelError(QStringLiteral("Cannot launch %1: %2").arg(name, message));
    }
    logger().info("Launched application",
                  {{QStringLiteral("entry"), desktopFilePath}, {QStringLiteral("urls"), QString::number(urls.size())}});
}

void DesktopLauncher::open(const QUrl& url) {
    requireUsable(url, QStringLiteral("open"));
    if (!url.isLocalFile()) {
        // GIO only says "Operation not supported" when no application takes the scheme.
        const QByteArray scheme = url.scheme().toUtf8();
        GAppInfo* handler = g_app_info_get_default_for_uri_scheme(scheme.constData());
        if (!handler) {
            throw VantrelError(QStringLiteral("Cannot open %1: no application is set to open %2 links.")
                                   .arg(describe(url), url.scheme()));
        }
        g_object_unref(handler);
    }
    GAppLaunchContext* context = g_app_launch_context_new();
    GError* error = nullptr;
    const gboolean opened = g_app_info_launch_default_for_uri(url.toEncoded().constData(), context, &error);
    g_object_unref(context);
    if (!opened) {
        const QString message = takeMessage(error);
        logger().error("Opening failed", {{QStringLiteral("url"), Logger::MetadataValue::privateValue(describe(url))},
                                          {QStringLiteral("error"), message}});
        throw VantrelError(QStringLiteral("Cannot open %1: %2").arg(describe(url), message));
    }
    logger().info("Opened", {{QStringLiteral("scheme"), url.scheme()}});
}

void DesktopLauncher::open(const QString& urlOrPath) {
    GioDesktopServices().openText(urlOrPath);
}

void GioDesktopServices::launch(const QString& desktopFilePath, const QList<QUrl>& urls) {
    DesktopLauncher::launch(desktopFilePath, urls);
}

void GioDesktopServices::open(const QUrl& url) {
    DesktopLauncher::open(url);
}

QString GioDesktopServices::applicationIconName(const QString& desktopFilePath, const QString& desktopId) const {
    const auto entry = DesktopEntry::load(desktopFilePath, desktopId, {});
    return entry ? entry->icon : QString();
}

}  // namespace vantrel
