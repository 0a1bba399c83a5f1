#include "features/extensions/ExtensionsStore.h"

#include "extensions/packages/ExtensionRegistry.h"
#include "kit/Logger.h"
#include "kit/VantrelError.h"
#include "net/HTTPClient.h"

#include <QDir>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSet>
#include <QTemporaryDir>
#include <QUuid>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("ExtensionsStore"), QStringLiteral("🛍️")});
    return logger;
}

bool isWebLink(const QUrl& url) {
    return url.isValid() && (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http")) &&
           !url.host().isEmpty();
}

// A name or id that can name a folder of its own.
bool isFolderName(const QString& text) {
    return !text.isEmpty() && !text.startsWith(QLatin1Char('.')) && !text.contains(QLatin1Char('/')) &&
           !text.contains(QLatin1Char('\\')) && !text.contains(ExtensionId::separator) &&
           !text.contains(QLatin1Char('\0')) && text != ExtensionId::developmentId;
}

// An id for a listing without one: the same for the same name, every time.
QString madeUpId(const QString& name) {
    static const QUuid space(QStringLiteral("8b0f4c9e-5a53-4a43-9d7c-6f0e2a3c1b57"));
    return QUuid::createUuidV5(space, name).toString(QUuid::WithoutBraces);
}

std::optional<QString> listingProblem(const QJsonValue& value, const QUrl& indexUrl, StoreListing& listing) {
    if (!value.isObject()) return QStringLiteral("is not an object");
    const QJsonObject object = value.toObject();
    for (const char* key : {"name", "title", "description", "download_url"}) {
        const QJsonValue field = object.value(QLatin1String(key));
        if (field.isUndefined() || field.isNull()) return QStringLiteral("has no '%1'").arg(QLatin1String(key));
        if (!field.isString() || field.toString().trimmed().isEmpty())
            return QStringLiteral("has an empty or non-text '%1'").arg(QLatin1String(key));
    }
    listing.name = object.value(QStringLiteral("name")).toString().trimmed();
    listing.title = object.value(QStringLiteral("title")).toString().trimmed();
    listing.description = object.value(QStringLiteral("description")).toString().trimmed();
    if (!isFolderName(listing.name)) return QStringLiteral("has an invalid 'name'");
    const QJsonValue id = object.value(QStringLiteral("id"));
    if (id.isString() && !id.toString().trimmed().isEmpty())
        listing.id = id.toString().trimmed();
    else if (id.isDouble())
        listing.id = QString::number(static_cast<qint64>(id.toDouble()));
    else
        listing.id = madeUpId(listing.name);
    if (!isFolderName(listing.id)) return QStringLiteral("has an invalid 'id'");
    listing.downloadUrl = indexUrl.resolved(QUrl(object.value(QStringLiteral("download_url")).toString().trimmed()));
    if (!isWebLink(listing.downloadUrl)) return QStringLiteral("has a 'download_url' that is not an http(s) link");
    const QString icon = object.value(QStringLiteral("icon")).toString().trimmed();
    if (!icon.isEmpty()) listing.icon = indexUrl.resolved(QUrl(icon));
    const QJsonValue author = object.value(QStringLiteral("author"));
    if (author.isString()) {
        listing.author = author.toString().trimmed();
    } else if (author.isObject()) {
        listing.authorUsername = author.toObject().value(QStringLiteral("username")).toString().trimmed();
        listing.author = author.toObject().value(QStringLiteral("name")).toString().trimmed();
        if (listing.author.isEmpty()) listing.author = listing.authorUsername;
    }
    const QString source = object.value(QStringLiteral("source_url")).toString().trimmed();
    if (!source.isEmpty()) listing.sourceUrl = indexUrl.resolved(QUrl(source));
    listing.updatedAt = QDateTime::fromString(object.value(QStringLiteral("updated_at")).toString(), Qt::ISODate);
    for (const QJsonValue& command : object.value(QStringLiteral("commands")).toArray()) {
        const QJsonObject fields = command.toObject();
        const QString name = fields.value(QStringLiteral("name")).toString();
        if (name.isEmpty()) continue;
        listing.commands.push_back({name, fields.value(QStringLiteral("title")).toString(name),
                                    fields.value(QStringLiteral("description")).toString()});
    }
    return std::nullopt;
}

}  // namespace

QJsonObject StoreListing::toJson() const {
    QJsonArray commandList;
    for (const Command& command : commands)
        commandList.append(QJsonObject{{QStringLiteral("name"), command.name},
                                       {QStringLiteral("title"), command.title},
                                       {QStringLiteral("description"), command.description}});
    QJsonObject object{{QStringLiteral("id"), id},
                       {QStringLiteral("name"), name},
                       {QStringLiteral("title"), title},
                       {QStringLiteral("description"), description},
                       {QStringLiteral("author"), author},
                       {QStringLiteral("download_url"), downloadUrl.toString()},
                       {QStringLiteral("commands"), commandList}};
    if (!icon.isEmpty()) object.insert(QStringLiteral("icon"), icon.toString());
    if (!sourceUrl.isEmpty()) object.insert(QStringLiteral("source_url"), sourceUrl.toString());
    if (updatedAt.isValid()) object.insert(QStringLiteral("updated_at"), updatedAt.toString(Qt::ISODate));
    return object;
}

ExtensionsStore::ExtensionsStore(HTTPClient& http, ExtensionRegistry& registry) : m_http(http), m_registry(registry) {}

ExtensionsStore::~ExtensionsStore() { *m_alive = false; }

Result<StoreIndex> ExtensionsStore::parseIndex(const QByteArray& body, const QUrl& indexUrl) {
    if (body.size() > maxIndexBytes)
        return VantrelError(QStringLiteral("The extension index is larger than %1 MB").arg(maxIndexBytes / 1024 / 1024));
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        return VantrelError(QStringLiteral("The extension index is not valid JSON: ") + error.errorString());
    QJsonArray entries;
    if (document.isArray()) {
        entries = document.array();
    } else if (document.object().value(QStringLiteral("extensions")).isArray()) {
        entries = document.object().value(QStringLiteral("extensions")).toArray();
    } else if (document.object().value(QStringLiteral("data")).isArray()) {
        entries = document.object().value(QStringLiteral("data")).toArray();
    } else {
        return VantrelError(QStringLiteral("The extension index is not a list of extensions (a JSON array, or an "
                                           "object with an \"extensions\" array)"));
    }
    StoreIndex index;
    QSet<QString> names;
    QSet<QString> ids;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        StoreListing listing;
        std::optional<QString> problem = listingProblem(entries.at(i), indexUrl, listing);
        if (!problem && names.contains(listing.name)) problem = QStringLiteral("repeats the name of an earlier entry");
        if (!problem && ids.contains(listing.id)) problem = QStringLiteral("repeats the id of an earlier entry");
        if (problem) {
            const QString named = listing.name.isEmpty()
                                      ? entries.at(i).toObject().value(QStringLiteral("name")).toString()
                                      : listing.name;
            index.problems << QStringLiteral("Entry %1%2 %3")
                                  .arg(i + 1)
                                  .arg(named.isEmpty() ? QString() : QStringLiteral(" ('%1')").arg(named), *problem);
            continue;
        }
        names.insert(listing.name);
        ids.insert(listing.id);
        index.listings.push_back(std::move(listing));
    }
    for (const QString& problem : index.problems) log().warning(QStringLiteral("Left out of the index: ") + problem);
    return index;
}

void ExtensionsStore::fetchIndex(const QUrl& indexUrl, std::function<void(Result<StoreIndex>)> done) {
    if (!isWebLink(indexUrl)) {
        done(VantrelError(QStringLiteral("The extension index is not an http(s) link: '%1'").arg(indexUrl.toString())));
        return;
    }
    HTTPRequest request(indexUrl);
    request.setHeader(HTTPHeader::accept("application/json"));
    request.timeoutSeconds = timeoutSeconds;
    std::weak_ptr<bool> alive = m_alive;
    m_http.performRequest(request, CachingPolicy::noCache(), [indexUrl, alive, done](const HTTPResponse<QByteArray>& answer) {
        if (alive.expired()) return;
        if (!answer.isNetwork()) {
            done(VantrelError(QStringLiteral("Could not load the extension index: ") +
                              (answer.error ? answer.error->message : QStringLiteral("No HTTP data or response"))));
            return;
        }
        done(parseIndex(answer.value.value_or(QByteArray()), indexUrl));
    });
}

Result<StoreIndex> ExtensionsStore::fetchIndexAndWait(const QUrl& indexUrl) {
    std::optional<Result<StoreIndex>> answer;
    QEventLoop loop;
    fetchIndex(indexUrl, [&](Result<StoreIndex> result) {
        answer = std::move(result);
        loop.quit();
    });
    if (!answer) loop.exec();
    return std::move(*answer);
}

std::optional<ExtensionId> ExtensionsStore::installedPackage(const StoreListing& listing) const {
    for (const ExtensionDetails& details : m_registry.fetchAllExtensions()) {
        const Extension& extension = details.extension;
        if (extension.isDevelopment()) continue;
        if (*extension.uuid == listing.id || extension.name == listing.name) return extension.packageId();
    }
    return std::nullopt;
}

void ExtensionsStore::install(const StoreListing& listing, std::function<void(Result<ExtensionPackage>)> done) {
    auto folder = std::make_shared<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/vantrel-store-XXXXXX"));
    if (!folder->isValid()) {
        done(VantrelError(QStringLiteral("Failed to download the extension: could not create a temporary folder")));
        return;
    }
    const QString zipPath = folder->filePath(listing.name + QStringLiteral(".zip"));
    HTTPRequest request(listing.downloadUrl);
    request.timeoutSeconds = 120;
    std::weak_ptr<bool> alive = m_alive;
    log().info(QStringLiteral("Downloading extension: ") + listing.name);
    m_http.download(request, HTTPClient::SaveLocation::at(QUrl::fromLocalFile(zipPath)), true,
                    [this, alive, folder, zipPath, listing, done](const Result<HTTPClient::DownloadedFile>& file) {
        if (alive.expired()) return;
        if (file.isFailure()) {
            folder->remove();
            done(VantrelError(QStringLiteral("Failed to download the extension: ") + file.error().errorDescription()));
            return;
        }
        ExtensionInstallation installation;
        installation.packageURL = zipPath;
        installation.uuid = listing.id;
        installation.username = listing.authorUsername;
        installation.version = listing.updatedAt.isValid() ? listing.updatedAt : QDateTime::currentDateTimeUtc();
        // The archive must hold the extension the index promised.
        try {
            const ExtensionManifest manifest = m_registry.manifestOfArchive(zipPath);
            if (manifest.name != listing.name)
                throw VantrelError(QStringLiteral("the archive holds the extension '%1', not '%2'").arg(manifest.name, listing.name));
        } catch (const std::exception& error) {
            folder->remove();
            done(VantrelError(QStringLiteral("Failed to install extension: ") + VantrelError::describe(error)));
            return;
        }
        // A copy installed from a zip under another id is replaced, not doubled.
        if (const std::optional<ExtensionId> installed = installedPackage(listing); installed && installed->id != listing.id)
            installation.uuid = installed->id;
        m_registry.installPackage(zipPath, installation, [folder, done](Result<ExtensionPackage> result) {
            // The download goes now, not whenever this completion is destroyed.
            folder->remove();
            if (result.isFailure()) {
                done(VantrelError(QStringLiteral("Failed to install extension: ") + result.error().errorDescription()));
                return;
            }
            done(std::move(result));
        });
    });
}

Result<ExtensionPackage> ExtensionsStore::installAndWait(const StoreListing& listing) {
    std::optional<Result<ExtensionPackage>> answer;
    QEventLoop loop;
    install(listing, [&](Result<ExtensionPackage> result) {
        answer = std::move(result);
        loop.quit();
    });
    if (!answer) loop.exec();
    return std::move(*answer);
}

void ExtensionsStore::uninstall(const StoreListing& listing) {
    const std::optional<ExtensionId> installed = installedPackage(listing);
    if (!installed) throw VantrelError(QStringLiteral("Failed to uninstall extension: '%1' is not installed").arg(listing.title));
    try {
        m_registry.uninstallPackage(*installed);
    } catch (const std::exception& error) {
        throw VantrelError(QStringLiteral("Failed to uninstall extension: ") + VantrelError::describe(error));
    }
}

}  // namespace vantrel
