#include "extensions/packages/ExtensionRegistry.h"

#include "extensions/packages/ExtensionPaths.h"
#include "extensions/packages/PackageFiles.h"
#include "extensions/packages/PackageLoader.h"
#include "extensions/packages/PackagesLog.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "kit/Paths.h"
#include "kit/Queue.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUuid>

namespace vantrel {

namespace {

const Logger& log() {
    return packagesLog();
}

QString describe(const std::exception& error) {
    return VantrelError::describe(error);
}

// Runs `work`; a failure is logged as message + ": " + the error and passed on.
template <typename Work>
auto failingAs(const QString& message, Work work) -> decltype(work()) {
    try {
        return work();
    } catch (const VantrelError& error) {
        log().error(Logger::Message(message + QStringLiteral(": ") + error.errorDescription()));
        throw;
    } catch (const std::exception& error) {
        log().error(Logger::Message(message + QStringLiteral(": ") + describe(error)));
        throw VantrelError(describe(error));
    }
}

// Names that become folder names and parts of command ids must stay one
// plain path segment without the id separator.
void checkFolderName(const QString& name, const char* what) {
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')) || name.contains(QLatin1Char('/')) ||
        name.contains(QLatin1Char('\\')) || name.contains(ExtensionId::separator) || name.contains(QLatin1Char('\0')))
        throw VantrelError(QStringLiteral("Invalid %1: '%2'").arg(QString::fromLatin1(what), name));
}

void checkManifest(const ExtensionManifest& manifest) {
    checkFolderName(manifest.name, "extension name");
    for (const ExtensionManifest::Command& command : manifest.commands) {
        checkFolderName(command.name, "command name");
        if (command.name.contains(QLatin1Char('.'))) throw VantrelError(QStringLiteral("Invalid command name: '%1'").arg(command.name));
    }
}

// A hidden folder next to the packages, where a new copy is assembled before it
// takes the package's place.
QString makeStagingFolder() {
    const QString root = ExtensionPaths::extensionsDir();
    if (!Paths::ensureDir(root)) throw VantrelError(QStringLiteral("Could not create folder: ") + root);
    const QString staging = root + QStringLiteral("/.install-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (!QDir().mkdir(staging)) throw VantrelError(QStringLiteral("Could not create folder: ") + staging);
    return staging;
}

// Puts a staged copy in the package's folder, replacing what was there.
void moveIntoPlace(const QString& staging, const QString& destination) {
    const QString previous = destination + QStringLiteral(".previous-") + QUuid::createUuid().toString(QUuid::Id128);
    const bool hadPrevious = QFileInfo::exists(destination) || QFileInfo(destination).isSymLink();
    if (hadPrevious && !QDir().rename(destination, previous))
        throw VantrelError(QStringLiteral("Could not replace folder: ") + destination);
    if (!QDir().rename(staging, destination)) {
        if (hadPrevious) QDir().rename(previous, destination);
        throw VantrelError(QStringLiteral("Could not move package into place: ") + destination);
    }
    if (hadPrevious) PackageFiles::remove(previous);
}

class StagingGuard {
public:
    explicit StagingGuard(QString path) : m_path(std::move(path)) {}
    ~StagingGuard() {
        if (!m_path.isEmpty()) PackageFiles::remove(m_path);
    }
    void release() { m_path.clear(); }
    const QString& path() const { return m_path; }

private:
    QString m_path;
};

// The unpacked archive's package root: the folder itself when it holds the
// manifest, else its first entry (by name) that is not hidden.
QString packageRoot(const QString& unpacked, const QString& archivePath) {
    if (QFileInfo::exists(unpacked + QStringLiteral("/package.json"))) return unpacked;
    const QStringList entries = QDir(unpacked).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& entry : entries)
        if (entry != QLatin1String("__MACOSX")) return unpacked + QLatin1Char('/') + entry;
    throw VantrelError(QStringLiteral("Could not get archive path at: ") + archivePath);
}

// Unpacks the archive; unsafe entries say what they are, and anything that
// is not a readable zip has no package in it.
void unpack(const ZipArchive& archive, const QString& zipPath, const QString& destination) {
    try {
        archive.extract(zipPath, destination);
    } catch (const VantrelError& error) {
        if (error.errorDescription().startsWith(QLatin1String("Not a readable zip archive")))
            throw VantrelError(QStringLiteral("Could not get archive path at: ") + zipPath, error);
        throw;
    }
}

template <typename T, typename Work>
void runAsync(std::function<void(Result<T>)> completion, Work work, std::function<void()> onMain = {}) {
    Queue::global().dispatch([completion = std::move(completion), work = std::move(work), onMain = std::move(onMain)]() mutable {
        std::optional<Result<T>> result;
        try {
            result.emplace(work());
        } catch (const VantrelError& error) {
            result.emplace(error);
        } catch (const std::exception& error) {
            result.emplace(VantrelError(describe(error)));
        }
        Queue::main().dispatch([completion = std::move(completion), result = std::move(*result), onMain]() mutable {
            if (onMain && result.isSuccess()) onMain();
            if (completion) completion(std::move(result));
        });
    });
}

}  // namespace

ExtensionRegistry::ExtensionRegistry(std::shared_ptr<ExtensionsStorage> storage, NotificationCenter* center)
    : m_storage(std::move(storage)), m_center(center ? center : &NotificationCenter::defaultCenter()) {
    log().debug("Init");
}

ExtensionRegistry::~ExtensionRegistry() {
    log().debug("Deinit");
}

void ExtensionRegistry::setCommandUnloader(std::function<void(const ExtensionId&)> unloader) {
    std::lock_guard lock(m_mutex);
    m_unloader = std::move(unloader);
}

void ExtensionRegistry::commandsDidChange() {
    {
        std::lock_guard lock(m_mutex);
        m_cache.reset();
    }
    m_center->post(QString(NotificationNames::didUpdateExtensionCommands));
}

// MARK: Reading

std::vector<ExtensionDetails> ExtensionRegistry::fetchAllExtensions() {
    std::lock_guard lock(m_mutex);
    try {
        return m_storage->extensions();
    } catch (const std::exception& error) {
        log().error("Could not fetch all extensions", {{QStringLiteral("error"), describe(error)}});
        return {};
    }
}

std::optional<ExtensionDetails> ExtensionRegistry::fetchExtension(const ExtensionId& packageId) {
    std::lock_guard lock(m_mutex);
    try {
        return m_storage->extension(packageId);
    } catch (const std::exception& error) {
        log().error(Logger::Message(QStringLiteral("Could not fetch extension: ") + describe(error)));
        return std::nullopt;
    }
}

std::vector<ExtensionCommand> ExtensionRegistry::fetchCommands(int limit) {
    std::lock_guard lock(m_mutex);
    std::vector<ExtensionCommand> list;
    try {
        list = m_storage->commands(limit);
    } catch (const std::exception& error) {
        log().error("Could not fetch commands", {{QStringLiteral("error"), describe(error)}});
        return {};
    }
    QHash<QString, ExtensionCommand> cache;
    for (const ExtensionCommand& command : list) cache.insert(command.packageCommandKey(), command);
    m_cache = std::move(cache);
    return list;
}

std::vector<ExtensionCommand> ExtensionRegistry::commands() {
    std::lock_guard lock(m_mutex);
    if (!m_cache) return fetchCommands(commandsLimit);
    std::vector<ExtensionCommand> list;
    list.reserve(size_t(m_cache->size()));
    for (const ExtensionCommand& command : *m_cache) list.push_back(command);
    std::sort(list.begin(), list.end(), [](const ExtensionCommand& a, const ExtensionCommand& b) {
        return a.packageCommandKey() < b.packageCommandKey();
    });
    return list;
}

std::optional<ExtensionCommand> ExtensionRegistry::command(const ExtensionId& commandId) {
    for (const ExtensionCommand& command : commands())
        if (command.commandId() == commandId) return command;
    return std::nullopt;
}

std::optional<ExtensionCommand> ExtensionRegistry::command(const QString& idOrKey) {
    const QString raw = idOrKey.startsWith(ExtensionCommand::keyPrefix) ? idOrKey.mid(ExtensionCommand::keyPrefix.size()) : idOrKey;
    const std::optional<ExtensionId> id = ExtensionId::parse(raw);
    if (!id) return std::nullopt;
    return command(*id);
}

ExtensionPackage ExtensionRegistry::package(const ExtensionCommand& command) {
    return failingAs(QStringLiteral("Could not load package"), [&] {
        ExtensionPackage package(command.extension.packageId());
        package.manifest = PackageLoader::loadManifest(package.folder());
        ExtensionLaunchCommand launch;
        launch.id = command.commandId();
        // The declared preferences, with the values the user stored.
        std::vector<ExtensionPreference> preferences;
        const std::optional<ExtensionDetails> details = fetchExtension(command.extension.packageId());
        const auto withValues = [](std::vector<ExtensionPreference> declared,
                                   const std::optional<std::vector<ExtensionPreference>>& stored) {
            if (stored)
                for (ExtensionPreference& preference : declared)
                    for (const ExtensionPreference& value : *stored)
                        if (value.name == preference.name && value.value) preference.value = value.value;
            return declared;
        };
        if (package.manifest->preferences)
            for (ExtensionPreference& p : withValues(*package.manifest->preferences, details ? details->preferences : std::nullopt))
                preferences.push_back(std::move(p));
        if (const ExtensionManifest::Command* declared = package.manifest->command(command.name)) {
            std::optional<std::vector<ExtensionPreference>> stored;
            if (details)
                for (const ExtensionCommandDetails& c : details->commands)
                    if (c.command.name == command.name) stored = c.preferences;
            if (declared->preferences)
                for (ExtensionPreference& p : withValues(*declared->preferences, stored)) preferences.push_back(std::move(p));
        } else {
            throw VantrelError(QStringLiteral("The manifest has no command '%1'").arg(command.name));
        }
        launch.preferences = std::move(preferences);
        package.launchCommand = std::move(launch);
        return package;
    });
}

// MARK: Installing

ExtensionManifest ExtensionRegistry::manifestOfArchive(const QString& zipPath) const {
    QTemporaryDir unpacked(QDir::tempPath() + QStringLiteral("/vantrel-extension-XXXXXX"));
    if (!unpacked.isValid()) throw VantrelError(QStringLiteral("Could not create a temporary folder"));
    unpack(m_archive, zipPath, unpacked.path());
    return PackageLoader::loadManifest(packageRoot(unpacked.path(), zipPath));
}

ExtensionInstallation ExtensionRegistry::localInstallation(const QString& zipPath, const QString& packageName) {
    ExtensionInstallation installation;
    installation.packageURL = zipPath;
    installation.version = QDateTime::currentDateTimeUtc();
    for (const ExtensionDetails& details : fetchAllExtensions())
        if (details.extension.name == packageName && !details.extension.isDevelopment()) {
            installation.uuid = *details.extension.uuid;
            return installation;
        }
    installation.uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    return installation;
}

ExtensionPackage ExtensionRegistry::doInstallPackage(const QString& zipPath, const ExtensionInstallation& installation) {
    if (QFileInfo(zipPath).suffix().toLower() != QLatin1String("zip")) {
        log().error("Could not install package: Package must be a zip archive");
        throw VantrelError(QStringLiteral("Package must be a zip archive"));
    }
    log().info("Installing package", {{QStringLiteral("archive"), zipPath}});
    ExtensionPackage installed = failingAs(QStringLiteral("Could not install package"), [&] {
        checkFolderName(installation.uuid, "extension id");
        QTemporaryDir unpacked(QDir::tempPath() + QStringLiteral("/vantrel-extension-XXXXXX"));
        if (!unpacked.isValid()) throw VantrelError(QStringLiteral("Could not create a temporary folder"));
        unpack(m_archive, zipPath, unpacked.path());
        const QString root = packageRoot(unpacked.path(), zipPath);
        const ExtensionManifest manifest = PackageLoader::loadManifest(root);
        checkManifest(manifest);

        ExtensionPackage package(ExtensionId(manifest.name, installation.uuid));
        StagingGuard staging(makeStagingFolder());
        PackageFiles::copy(root, staging.path());
        {
            std::lock_guard lock(m_mutex);
            m_storage->saveInstallation(manifest, installation);
            m_cache.reset();
        }
        moveIntoPlace(staging.path(), package.folder());
        staging.release();
        package.manifest = manifest;
        return package;
    });
    log().info("Installed package", {{QStringLiteral("id"), installed.id.rawValue()}});
    return installed;
}

ExtensionPackage ExtensionRegistry::doInstallDevelopmentFolder(const QString& folder) {
    log().info("Installing package", {{QStringLiteral("folder"), folder}});
    ExtensionPackage installed = failingAs(QStringLiteral("Could not install package"), [&] {
        const ExtensionManifest manifest = PackageLoader::loadManifest(folder);
        checkManifest(manifest);
        const QString built = QFileInfo(folder + QStringLiteral("/dist")).isDir() ? folder + QStringLiteral("/dist") : folder;
        for (const ExtensionManifest::Command& command : manifest.commands) {
            const QString script = built + QLatin1Char('/') + command.name + QStringLiteral(".js");
            if (!QFileInfo(script).isFile())
                throw VantrelError(QStringLiteral("The script of command '%1' is not built: %2").arg(command.name, script));
        }
        ExtensionPackage package(ExtensionId(manifest.name, QString(ExtensionId::developmentId)));
        StagingGuard staging(makeStagingFolder());
        PackageFiles::copy(folder + QStringLiteral("/package.json"), staging.path() + QStringLiteral("/package.json"));
        if (QFileInfo(folder + QStringLiteral("/assets")).isDir())
            PackageFiles::copy(folder + QStringLiteral("/assets"), staging.path() + QStringLiteral("/assets"));
        const QDir scripts(built);
        for (const QString& name : scripts.entryList({QStringLiteral("*.js"), QStringLiteral("*.js.map")}, QDir::Files))
            PackageFiles::copy(scripts.filePath(name), staging.path() + QLatin1Char('/') + name);
        saveDevelopmentPackage(manifest);
        moveIntoPlace(staging.path(), package.folder());
        staging.release();
        package.manifest = manifest;
        return package;
    });
    return installed;
}

void ExtensionRegistry::saveDevelopmentPackage(const ExtensionManifest& manifest) {
    ExtensionInstallation installation;
    installation.uuid = QString(ExtensionId::developmentId);
    installation.version = QDateTime::currentDateTimeUtc();
    std::lock_guard lock(m_mutex);
    m_storage->saveInstallation(manifest, installation);
    m_cache.reset();
}

// MARK: Uninstalling

void ExtensionRegistry::doUninstallPackage(const ExtensionId& packageId) {
    log().info(Logger::Message(QStringLiteral("Uninstalling package: ") + packageId.rawValue()));
    failingAs(QStringLiteral("Could not uninstall package"), [&] {
        const QString folder = ExtensionPackage::folderFor(packageId);
        bool existed = false;
        {
            std::lock_guard lock(m_mutex);
            if (m_unloader) {
                if (const std::optional<ExtensionDetails> details = m_storage->extension(packageId))
                    for (const ExtensionCommandDetails& command : details->commands) m_unloader(command.command.commandId());
            }
            existed = m_storage->deleteExtension(packageId);
            m_cache.reset();
        }
        const QFileInfo info(folder);
        existed = existed || info.exists();
        if (!existed) throw VantrelError(QStringLiteral("No extension with id: ") + packageId.rawValue());
        if (!PackageFiles::remove(folder)) throw VantrelError(QStringLiteral("Could not remove folder: ") + folder);
        const QDir parent = info.absoluteDir();
        if (parent.dirName() == packageId.name && parent.isEmpty()) QDir().rmdir(parent.absolutePath());
        return 0;
    });
}

void ExtensionRegistry::doUninstallCommand(const ExtensionId& commandId) {
    log().info(Logger::Message(QStringLiteral("Uninstalling command: ") + commandId.rawValue()));
    failingAs(QStringLiteral("Could not uninstall command"), [&] {
        std::lock_guard lock(m_mutex);
        std::vector<ExtensionCommand> siblings;
        bool found = false;
        for (const ExtensionCommand& command : commands()) {
            if (command.extension.packageId() != commandId.packageId()) continue;
            siblings.push_back(command);
            found = found || command.commandId() == commandId;
        }
        if (!found) throw VantrelError(QStringLiteral("No installed command: ") + commandId.rawValue());
        if (m_unloader) m_unloader(commandId);
        if (siblings.size() == 1) {
            const QString folder = ExtensionPackage::folderFor(commandId.packageId());
            if (!PackageFiles::remove(folder)) throw VantrelError(QStringLiteral("Could not remove folder: ") + folder);
            const QDir parent = QFileInfo(folder).absoluteDir();
            if (parent.dirName() == commandId.packageId().name && parent.isEmpty()) QDir().rmdir(parent.absolutePath());
        }
        m_storage->uninstallCommand(commandId);
        m_cache.reset();
        return 0;
    });
}

// MARK: Templates

QStringList ExtensionRegistry::templateIdentifiers() {
    return QDir(ExtensionPaths::templatesDir()).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

QString ExtensionRegistry::templateFolderName(const QString& name) {
    static const QRegularExpression separators(QStringLiteral("[\\s/]"));
    QString folder = name;
    folder.replace(separators, QStringLiteral("-"));
    return folder;
}

QString ExtensionRegistry::doInstallTemplate(const QString& identifier, const QString& name,
                                             const QString& description, const QString& location) {
    log().info("Installing template", {{QStringLiteral("template"), identifier}, {QStringLiteral("name"), name}});
    const QString created = failingAs(QStringLiteral("Could not install template"), [&] {
        if (identifier.isEmpty()) throw VantrelError(QStringLiteral("Empty template identifier"));
        if (name.isEmpty()) throw VantrelError(QStringLiteral("A name is required to install a template"));
        const QString templateFolder = ExtensionPaths::templatesDir() + QLatin1Char('/') + identifier;
        if (identifier.contains(QLatin1Char('/')) || identifier.startsWith(QLatin1Char('.')) ||
            !QFileInfo(templateFolder).isDir())
            throw VantrelError(QStringLiteral("There is no template with identifier '") + identifier + QLatin1Char('\''));
        const QString apiFolder = ExtensionPaths::apiDir();
        if (!QFileInfo(apiFolder).isDir()) throw VantrelError(QStringLiteral("The TypeScript API wasn't found"));

        const QString folderName = templateFolderName(name);
        checkFolderName(folderName, "extension name");
        const QString development = QDir(location).absolutePath() + QLatin1Char('/') + folderName;
        PackageFiles::remove(development);
        if (!QDir().mkpath(development)) throw VantrelError(QStringLiteral("Could not create folder: ") + development);
        const QDir source(templateFolder);
        const QStringList entries =
            source.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString& entry : entries) PackageFiles::copy(source.filePath(entry), development + QLatin1Char('/') + entry);

        ExtensionManifest manifest = PackageLoader::loadManifest(templateFolder);
        manifest.name = folderName;
        manifest.title = name;
        manifest.description = description;
        QMap<QString, QString> dependencies = manifest.devDependencies.value_or(QMap<QString, QString>());
        dependencies.insert(QStringLiteral("@types/vantrel-commands"), QStringLiteral("file:") + apiFolder);
        manifest.devDependencies = dependencies;
        const QByteArray text = manifest.encodeOrdered();

        const auto writeManifest = [&](const QString& folder, const QString& where) {
            QFile file(folder + QStringLiteral("/package.json"));
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size() || !file.flush())
                throw VantrelError(QStringLiteral("The ") + QStringLiteral("package.json") +
                                   QStringLiteral(" file couldn't be created in the ") + where);
        };
        writeManifest(development, QStringLiteral("development folder"));

        const ExtensionPackage package(ExtensionId(folderName, QString(ExtensionId::developmentId)));
        const QString config = package.folder();
        PackageFiles::remove(config);
        if (!QDir().mkpath(config)) throw VantrelError(QStringLiteral("Could not create folder: ") + config);
        for (const QString& entry : entries) {
            if (entry == QLatin1String("package.json")) continue;
            PackageFiles::copy(source.filePath(entry), config + QLatin1Char('/') + entry);
        }
        writeManifest(config, QStringLiteral("Vantrel config folder"));
        saveDevelopmentPackage(manifest);
        return development;
    });
    return created;
}

// MARK: The public forms: the work, then the notice

ExtensionPackage ExtensionRegistry::installPackage(const QString& zipPath, const ExtensionInstallation& installation) {
    ExtensionPackage package = doInstallPackage(zipPath, installation);
    commandsDidChange();
    return package;
}

void ExtensionRegistry::installPackage(const QString& zipPath, const ExtensionInstallation& installation,
                                       std::function<void(Result<ExtensionPackage>)> completion) {
    runAsync<ExtensionPackage>(
        std::move(completion), [this, zipPath, installation] { return doInstallPackage(zipPath, installation); },
        [this] { commandsDidChange(); });
}

ExtensionPackage ExtensionRegistry::installDevelopmentFolder(const QString& folder) {
    ExtensionPackage package = doInstallDevelopmentFolder(folder);
    commandsDidChange();
    return package;
}

void ExtensionRegistry::uninstallPackage(const ExtensionId& packageId) {
    doUninstallPackage(packageId);
    commandsDidChange();
}

void ExtensionRegistry::uninstallPackage(const ExtensionId& packageId, std::function<void(Result<bool>)> completion) {
    runAsync<bool>(
        std::move(completion),
        [this, packageId] {
            doUninstallPackage(packageId);
            return true;
        },
        [this] { commandsDidChange(); });
}

void ExtensionRegistry::uninstallCommand(const ExtensionId& commandId) {
    doUninstallCommand(commandId);
    commandsDidChange();
}

void ExtensionRegistry::uninstallCommand(const ExtensionId& commandId, std::function<void(Result<bool>)> completion) {
    runAsync<bool>(
        std::move(completion),
        [this, commandId] {
            doUninstallCommand(commandId);
            return true;
        },
        [this] { commandsDidChange(); });
}

QString ExtensionRegistry::installTemplate(const QString& identifier, const QString& name, const QString& description,
                                           const QString& location) {
    QString folder = doInstallTemplate(identifier, name, description, location);
    commandsDidChange();
    return folder;
}

void ExtensionRegistry::installTemplate(const QString& identifier, const QString& name, const QString& description,
                                        const QString& location, std::function<void(Result<QString>)> completion) {
    runAsync<QString>(
        std::move(completion),
        [this, identifier, name, description, location] { return doInstallTemplate(identifier, name, description, location); },
        [this] { commandsDidChange(); });
}

}  // namespace vantrel
