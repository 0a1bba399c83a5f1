#include "platform/freedesktop/DesktopLauncher.h"
#include "platform/freedesktop/DesktopEntry.h"

#include "kit/Logger.h"
#include "kit/VantrelError.h"

#include <QCollator>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QSet>

#include <algorithm>
#include <mutex>
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

// An application's desktop entry as "Open With" needs it.
struct InstalledApplication {
    DesktopApplication application;
    QStringList mimeTypes;
};

// What the user's mimeapps.list files add to and take from the types'
// applications, by type: desktop-file ids.
struct MimeAssociations {
    QHash<QString, QStringList> added;
    QHash<QString, QStringList> removed;
};

QStringList pathList(const char* variable, const QString& fallback) {
    QStringList folders;
    const QString value = qEnvironmentVariable(variable);
    for (const QString& folder : (value.isEmpty() ? fallback : value).split(QLatin1Char(':'), Qt::SkipEmptyParts))
        if (QDir::isAbsolutePath(folder)) folders << QDir::cleanPath(folder);
    return folders;
}

// The mimeapps.list files, highest precedence first: the user's
// configuration, the system's, then those beside the applications.
QStringList mimeappsFiles() {
    const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME").isEmpty()
                                   ? QDir::homePath() + QStringLiteral("/.config")
                                   : qEnvironmentVariable("XDG_CONFIG_HOME");
    QStringList desktops;
    for (const QString& desktop : DesktopEntry::currentDesktops()) desktops << desktop.toLower();
    QStringList files;
    for (const QString& folder : QStringList{configHome} + pathList("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"))) {
        for (const QString& desktop : desktops)
            files << folder + QLatin1Char('/') + desktop + QStringLiteral("-mimeapps.list");
        files << folder + QStringLiteral("/mimeapps.list");
    }
    for (const QString& folder : DesktopEntry::applicationDirectories())
        files << folder + QStringLiteral("/mimeapps.list");
    return files;
}

MimeAssociations readMimeAssociations() {
    MimeAssociations associations;
    for (const QString& path : mimeappsFiles()) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) continue;
        QHash<QString, QStringList>* group = nullptr;
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
            if (line.startsWith(QLatin1Char('['))) {
                group = line == QLatin1String("[Added Associations]")     ? &associations.added
                        : line == QLatin1String("[Removed Associations]") ? &associations.removed
                                                                          : nullptr;
                continue;
            }
            const qsizetype equals = line.indexOf(QLatin1Char('='));
            if (!group || equals <= 0) continue;
            (*group)[line.left(equals).trimmed()] += line.mid(equals + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        }
    }
    return associations;
}

// Every application entry of the applications folders (one per desktop-file
// id, the earliest folder's), read again when a folder changed or a few
// seconds have passed.
std::vector<InstalledApplication> installedApplications() {
    static std::mutex mutex;
    static std::vector<InstalledApplication> cached;
    static QStringList cachedSignature;
    static QElapsedTimer age;
    constexpr qint64 maxAgeMs = 5000;

    const QStringList folders = DesktopEntry::applicationDirectories();
    QStringList signature;
    for (const QString& folder : folders)
        signature << folder + QLatin1Char('@') + QString::number(QFileInfo(folder).lastModified().toMSecsSinceEpoch());
    std::lock_guard lock(mutex);
    if (age.isValid() && age.elapsed() < maxAgeMs && signature == cachedSignature) return cached;

    const QStringList locales = DesktopEntry::systemLocales();
    std::vector<InstalledApplication> applications;
    QSet<QString> seen;
    for (const QString& folder : folders) {
        QDirIterator files(folder, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            const QString id = DesktopEntry::desktopFileId(folder, path);
            if (id.isEmpty() || seen.contains(id)) continue;
            seen.insert(id);  // an earlier folder's entry hides later ones, even a hidden one
            if (QFileInfo(path).size() > 1024 * 1024) continue;
            const auto entry = DesktopEntry::load(path, id, locales);
            if (!entry || entry->hidden || entry->type != QLatin1String("Application") || entry->exec.isEmpty())
                continue;
            if (!entry->tryExec.isEmpty() && !DesktopEntry::executableOnPath(entry->tryExec)) continue;
            InstalledApplication installed;
            installed.application.id = id;
            installed.application.name = entry->name;
            installed.application.desktopFilePath = path;
            installed.application.iconName = entry->icon;
            installed.mimeTypes = entry->mimeTypes;
            applications.push_back(std::move(installed));
        }
    }
    cached = applications;
    cachedSignature = signature;
    age.start();
    return applications;
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

QString GioDesktopServices::desktopFilePathForId(const QString& desktopId) const {
    if (desktopId.isEmpty() || desktopId.contains(QLatin1String(".."))) return {};
    QString id = desktopId;
    if (!id.endsWith(QLatin1String(".desktop"))) id += QStringLiteral(".desktop");
    // Read from the folders themselves (GIO's own list is cached for the
    // life of the process): "a-b.desktop" may also live at "a/b.desktop".
    QString nested = id;
    nested.replace(QLatin1Char('-'), QLatin1Char('/'));
    for (const QString& folder : DesktopEntry::applicationDirectories())
        for (const QString& candidate : {id, nested})
            if (QFileInfo(folder + QLatin1Char('/') + candidate).isFile()) return folder + QLatin1Char('/') + candidate;
    return {};
}

QString GioDesktopServices::applicationIconName(const QString& desktopFilePath, const QString& desktopId) const {
    const auto entry = DesktopEntry::load(desktopFilePath, desktopId, {});
    return entry ? entry->icon : QString();
}

std::vector<DesktopApplication> GioDesktopServices::applicationsForMimeType(const QString& mimeType) const {
    std::vector<DesktopApplication> applications;
    if (mimeType.isEmpty()) return applications;

    // The type by its canonical name, and the types it is a kind of (except
    // "any data", which every file is and which says nothing of its own).
    static const QMimeDatabase database;
    const QMimeType type = database.mimeTypeForName(mimeType);
    const QString canonical = type.isValid() ? type.name() : mimeType;
    QStringList ancestors = type.isValid() ? type.allAncestors() : QStringList();
    ancestors.removeAll(QStringLiteral("application/octet-stream"));
    QStringList aliases = type.isValid() ? type.aliases() : QStringList();
    aliases << mimeType;

    const MimeAssociations associations = readMimeAssociations();
    const QStringList names = QStringList(aliases) << canonical;
    const auto removed = [&](const QString& id) {
        for (const QString& name : names)
            if (associations.removed.value(name).contains(id)) return true;
        return false;
    };

    // The desktop's default, as opening the file picks it.
    const QByteArray typeName = canonical.toUtf8();
    GAppInfo* preferred = g_app_info_get_default_for_type(typeName.constData(), FALSE);
    const QString defaultId = preferred ? QString::fromUtf8(g_app_info_get_id(preferred)) : QString();
    if (preferred) g_object_unref(preferred);

    enum Rank { preferredRank, exactRank, ancestorRank };
    std::vector<std::pair<Rank, DesktopApplication>> found;
    for (const InstalledApplication& installed : installedApplications()) {
        const QString& id = installed.application.id;
        Rank rank = ancestorRank;
        bool matches = false;
        for (const QString& declared : installed.mimeTypes) {
            if (declared == canonical || aliases.contains(declared)) {
                matches = true;
                rank = exactRank;
                break;
            }
            if (ancestors.contains(declared)) matches = true;
        }
        if (!matches && associations.added.value(canonical).contains(id)) {
            matches = true;
            rank = exactRank;
        }
        if (id == defaultId) {
            matches = true;
            rank = preferredRank;
        } else if (!matches || removed(id)) {
            continue;
        }
        DesktopApplication application = installed.application;
        application.isDefault = rank == preferredRank;
        found.emplace_back(rank, std::move(application));
    }

    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    std::stable_sort(found.begin(), found.end(), [&](const auto& a, const auto& b) {
        if (a.first != b.first) return a.first < b.first;
        return collator.compare(a.second.name, b.second.name) < 0;
    });
    for (auto& [rank, application] : found) applications.push_back(std::move(application));
    return applications;
}

}  // namespace vantrel
