#include "extensions/packages/PackageLoader.h"

#include "extensions/packages/ExtensionPaths.h"
#include "extensions/packages/PackagesLog.h"
#include "kit/Paths.h"
#include "kit/Queue.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <thread>

namespace vantrel {

namespace {

template <typename T, typename Work>
void completeWith(std::function<void(Result<T>)> completion, Work work) {
    if (!completion) return;
    std::optional<Result<T>> result;
    try {
        result.emplace(work());
    } catch (const VantrelError& error) {
        result.emplace(error);
    } catch (const std::exception& error) {
        result.emplace(VantrelError(VantrelError::describe(error)));
    }
    completion(std::move(*result));
}

}  // namespace

ExtensionManifest PackageLoader::loadManifest(const QString& packageFolder) {
    const QString path = packageFolder + QStringLiteral("/package.json");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw VantrelError(QStringLiteral("Could not load URL: ") + path);
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) throw VantrelError(QStringLiteral("Could not load URL: ") + path);
    return ExtensionManifest::decode(data);
}

void PackageLoader::loadManifest(const QString& packageFolder, std::function<void(Result<ExtensionManifest>)> completion) {
    Queue::global().dispatch([packageFolder, completion = std::move(completion)]() mutable {
        completeWith<ExtensionManifest>(std::move(completion), [&] { return loadManifest(packageFolder); });
    });
}

std::vector<std::optional<QByteArray>> PackageLoader::loadFiles(const std::vector<CommandSourceFile>& files) {
    // One reader per file, joined before returning: no pool thread waits on
    // work queued behind it.
    std::vector<std::optional<QByteArray>> contents(files.size());
    std::vector<char> failed(files.size(), 0);
    {
        std::vector<std::jthread> readers;
        readers.reserve(files.size());
        for (size_t index = 0; index < files.size(); ++index) {
            readers.emplace_back([&files, &contents, &failed, index] {
                const CommandSourceFile& file = files[index];
                QFile reader(file.url.toLocalFile());
                if (file.url.isLocalFile() && reader.open(QIODevice::ReadOnly)) {
                    QByteArray data = reader.readAll();
                    if (reader.error() == QFileDevice::NoError) {
                        contents[index] = std::move(data);
                        return;
                    }
                }
                failed[index] = 1;
            });
        }
    }
    for (size_t index = 0; index < files.size(); ++index) {
        if (!failed[index] || !files[index].isRequired) continue;
        const QUrl& url = files[index].url;
        const VantrelError error(QStringLiteral("Could not load data for URL: ") +
                                 (url.isLocalFile() ? url.toLocalFile() : url.toString()));
        packagesLog().error(Logger::Message(QStringLiteral("Could not load files: ") + error.errorDescription()));
        throw error;
    }
    return contents;
}

void PackageLoader::loadFiles(const std::vector<CommandSourceFile>& files,
                              std::function<void(Result<std::vector<std::optional<QByteArray>>>)> completion) {
    Queue::global().dispatch([files, completion = std::move(completion)]() mutable {
        completeWith<std::vector<std::optional<QByteArray>>>(std::move(completion), [&] { return loadFiles(files); });
    });
}

QByteArray PackageLoader::environmentData(const ExtensionPackage& package) {
    const QJsonObject vars{
        {QStringLiteral("assetsPath"), package.assetsFolder()},
        {QStringLiteral("supportPath"), Paths::dataDir() + QStringLiteral("/extension-support/") + package.id.name},
    };
    return QJsonDocument(vars).toJson(QJsonDocument::Compact);
}

CommandSources PackageLoader::loadSources(const ExtensionPackage& package) {
    try {
        if (!package.launchCommand) throw VantrelError(QStringLiteral("No launch command"));
        const std::vector<std::optional<QByteArray>> contents =
            loadFiles({{QUrl::fromLocalFile(ExtensionPaths::apiScript()), true},
                       {QUrl::fromLocalFile(package.commandScriptPath()), true}});
        CommandSources sources;
        sources.api = QString::fromUtf8(*contents[0]);
        sources.entryPoint = QString::fromUtf8(*contents[1]);
        sources.envData = environmentData(package);
        return sources;
    } catch (const std::exception& error) {
        const QString message = QStringLiteral("Could not load sources: ") + VantrelError::describe(error);
        packagesLog().error(Logger::Message(message));
        throw VantrelError(message);
    }
}

void PackageLoader::loadSources(const ExtensionPackage& package, std::function<void(Result<CommandSources>)> completion) {
    Queue::global().dispatch([package, completion = std::move(completion)]() mutable {
        completeWith<CommandSources>(std::move(completion), [&] { return loadSources(package); });
    });
}

}  // namespace vantrel
