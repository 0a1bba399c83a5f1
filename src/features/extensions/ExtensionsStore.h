#pragma once

#include "extensions/packages/ExtensionPackage.h"
#include "extensions/packages/ExtensionRecords.h"
#include "kit/Promise.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vantrel {

class ExtensionRegistry;
class HTTPClient;

// One extension of a store index.
struct StoreListing {
    struct Command {
        QString name;
        QString title;
        QString description;
    };

    QString id;           // "id", else one made from the name (the installed folder's name)
    QString name;         // the package name its manifest must carry
    QString title;
    QString description;
    QUrl icon;            // may be empty
    QString author;       // "author" as text, or its "name" (else "username")
    QString authorUsername;
    QUrl downloadUrl;     // "download_url": the zip, relative links resolved against the index
    QUrl sourceUrl;       // "source_url", may be empty
    QDateTime updatedAt;  // "updated_at", may be invalid
    std::vector<Command> commands;

    QJsonObject toJson() const;
};

// A parsed index: the extensions it lists, and why entries were left out
// ("Entry 3 ('clock') has no 'download_url'").
struct StoreIndex {
    std::vector<StoreListing> listings;
    QStringList problems;
};

// The extension store: a JSON index (a list of extensions, or an object with
// the list under "extensions" or "data"), each with "name", "title",
// "description", "download_url" (required), "icon", "author", "id",
// "source_url", "updated_at" and "commands". Installing downloads the zip to
// a private temporary folder, checks that its manifest carries the listed
// name, and hands it to the registry's zip install; the download is removed
// whatever happens, and a failed install leaves nothing in extensions/.
class ExtensionsStore {
public:
    // Indexes larger than this are not read.
    static constexpr qint64 maxIndexBytes = 8 * 1024 * 1024;
    static constexpr int timeoutSeconds = 20;

    ExtensionsStore(HTTPClient& http, ExtensionRegistry& registry);
    ~ExtensionsStore();

    // Parses an index read from `indexUrl` (relative links resolve against it).
    // Fails when the whole index is unusable.
    static Result<StoreIndex> parseIndex(const QByteArray& body, const QUrl& indexUrl);

    // Reads and parses the index; completes once.
    void fetchIndex(const QUrl& indexUrl, std::function<void(Result<StoreIndex>)> done);
    Result<StoreIndex> fetchIndexAndWait(const QUrl& indexUrl);

    // The installed extension a listing stands for (same store id, or the same
    // name installed from a zip), if any.
    std::optional<ExtensionId> installedPackage(const StoreListing& listing) const;

    // Downloads and installs; completes once on the main thread. Failures:
    // "Failed to download the extension: …", "Failed to install extension: …".
    void install(const StoreListing& listing, std::function<void(Result<ExtensionPackage>)> done);
    Result<ExtensionPackage> installAndWait(const StoreListing& listing);
    // Removes the installed extension of a listing ("Failed to uninstall extension: …").
    void uninstall(const StoreListing& listing);

private:
    HTTPClient& m_http;
    ExtensionRegistry& m_registry;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace vantrel
