#include "features/scripts/ScriptCommandsService.h"

#include "core/commands/PackageRegistry.h"
#include "features/scripts/ScriptCommandTemplates.h"
#include "kit/DirectoryWatcher.h"
#include "kit/Logger.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "kit/Queue.h"
#include "kit/Throttler.h"
#include "kit/UserDefaults.h"
#include "kit/VantrelError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSaveFile>
#include <QThread>

#include <sys/stat.h>

#include <algorithm>

namespace vantrel {

const Logger& scriptCommandsLog() {
    static const Logger logger({QStringLiteral("Script Commands"), QStringLiteral("📜")});
    return logger;
}

namespace {

const Logger& log() {
    return scriptCommandsLog();
}

QString cleanDirectory(const QString& path) {
    return QDir::cleanPath(path);
}

ScriptDirectoryEvent convert(const DirectoryWatcher::Event& raw, const QStringList& watched) {
    using Kind = DirectoryWatcher::Event::Kind;
    ScriptDirectoryEvent event;
    const QString folder = QFile::decodeName(raw.folder);
    event.path = raw.name.isEmpty() ? folder : folder + QLatin1Char('/') + QFile::decodeName(raw.name);
    quint32 kind = 0;
    switch (raw.kind) {
        case Kind::created:
            kind = ScriptDirectoryEvent::itemCreated;
            break;
        case Kind::deleted:
        case Kind::folderGone:
            kind = ScriptDirectoryEvent::itemRemoved;
            break;
        case Kind::movedFrom:
        case Kind::movedTo:
            kind = ScriptDirectoryEvent::itemRenamed;
            break;
        case Kind::modified:
            kind = ScriptDirectoryEvent::itemModified;
            break;
        case Kind::overflow:
            // Lost events: treat it as a change of a watched directory, which reloads them all.
            kind = ScriptDirectoryEvent::itemModified;
            event.path = watched.value(0);
            break;
    }
    const bool isDirectory = raw.isFolder || raw.name.isEmpty();
    event.flags = kind | (isDirectory ? ScriptDirectoryEvent::itemIsDir : ScriptDirectoryEvent::itemIsFile);
    return event;
}

}  // namespace

// MARK: - ScriptDirectoryEvent

QString ScriptDirectoryEvent::description() const {
    QStringList parts;
    if (flags & itemCreated) parts << QStringLiteral("created");
    if (flags & itemRemoved) parts << QStringLiteral("removed");
    if (flags & itemRenamed) parts << QStringLiteral("renamed");
    if (flags & itemModified) parts << QStringLiteral("modified");
    if (flags & itemIsFile) parts << QStringLiteral("file");
    if (flags & itemIsDir) parts << QStringLiteral("directory");
    return path + QStringLiteral(" [") + parts.join(QStringLiteral(", ")) + QLatin1Char(']');
}

QString ScriptDirectoryEvent::describe(const std::vector<ScriptDirectoryEvent>& events) {
    QStringList parts;
    for (const auto& event : events) parts << event.description();
    return parts.join(QStringLiteral("; "));
}

// MARK: - Lifecycle

ScriptCommandsService::ScriptCommandsService(PackageRegistry& registry, const UserDefaults* defaults,
                                             NotificationCenter* center)
    : m_registry(registry),
      m_defaults(defaults),
      m_center(center ? center : &NotificationCenter::defaultCenter()),
      m_context(std::make_unique<QObject>()) {}

ScriptCommandsService::~ScriptCommandsService() {
    {
        // Waits for a reload running in the background.
        std::lock_guard lock(m_lifetime->mutex);
        m_lifetime->alive = false;
    }
    std::unique_ptr<DirectoryWatcher> watcher;
    std::unique_ptr<Throttler> throttler;
    {
        std::lock_guard lock(m_stateMutex);
        watcher = std::move(m_fileWatcher);
    }
    watcher.reset();
    {
        std::lock_guard lock(m_stateMutex);
        throttler = std::move(m_updateThrottler);
    }
    throttler.reset();
    m_context.reset();
}

void ScriptCommandsService::start() {
    {
        std::lock_guard lock(m_stateMutex);
        if (m_started) return;
        m_started = true;
    }
    {
        std::unique_lock lock(m_commandsMutex);
        if (!m_loadedCommands) m_loadedCommands = CommandMap{};
    }
    m_center->addObserver(QString(NotificationNames::packageConfigurationDidChange), m_context.get(),
                          [this](const Notification&) { configurationChanged(); });
    applyDirectories(readConfiguredDirectories(), false);
}

bool ScriptCommandsService::isStarted() const {
    std::lock_guard lock(m_stateMutex);
    return m_started;
}

// MARK: - Commands

std::vector<ScriptCommand> ScriptCommandsService::commands() const {
    std::vector<ScriptCommand> list;
    {
        std::shared_lock lock(m_commandsMutex);
        if (!m_loadedCommands) return list;
        list.reserve(m_loadedCommands->size());
        for (const auto& [id, command] : *m_loadedCommands) list.push_back(command);
    }
    std::stable_sort(list.begin(), list.end(), [](const ScriptCommand& a, const ScriptCommand& b) {
        const int byTitle = QString::localeAwareCompare(a.displayName, b.displayName);
        return byTitle != 0 ? byTitle < 0 : a.scriptPath < b.scriptPath;
    });
    return list;
}

std::optional<ScriptCommand> ScriptCommandsService::command(const QString& id) const {
    std::shared_lock lock(m_commandsMutex);
    if (!m_loadedCommands) return std::nullopt;
    const auto found = m_loadedCommands->find(id);
    if (found == m_loadedCommands->end()) return std::nullopt;
    return found->second;
}

void ScriptCommandsService::reloadAll() {
    // The stored list decides, not the one last seen: another process (the
    // command line) may have changed it.
    const QStringList directories =
        isStarted() ? useDirectories(readConfiguredDirectories()) : cleanDirectories(readConfiguredDirectories());
    std::lock_guard reloading(m_reloadMutex);
    CommandMap loaded = loadScriptCommands(directories, {});
    std::vector<ScriptCommand> list;
    for (const auto& [id, command] : loaded) list.push_back(command);
    {
        std::unique_lock lock(m_commandsMutex);
        m_loadedCommands = std::move(loaded);
    }
    notifyAboutScriptsCommandsChange(list, QSet<QString>(directories.begin(), directories.end()));
}

void ScriptCommandsService::reloadAllInBackground(std::function<void()> done) {
    std::weak_ptr<Lifetime> lifetime = m_lifetime;
    // Made here, where the context lives: the service may be destroyed while
    // the reload runs.
    const Queue back = Queue::object(m_context.get());
    Queue::global().dispatch([this, lifetime, back, done = std::move(done)] {
        {
            const auto alive = lifetime.lock();
            if (!alive) return;
            std::lock_guard lock(alive->mutex);
            if (!alive->alive) return;
            reloadAll();
        }
        if (done) back.dispatch(done);
    });
}

void ScriptCommandsService::reloadDirectories(const QStringList& directories) {
    reload(directories);
}

void ScriptCommandsService::reload(const QStringList& directories) {
    std::lock_guard reloading(m_reloadMutex);
    CommandMap current;
    {
        std::shared_lock lock(m_commandsMutex);
        if (m_loadedCommands) current = *m_loadedCommands;
    }
    CommandMap merged = loadScriptCommands(directories, std::move(current));
    std::vector<ScriptCommand> list;
    for (const auto& [id, command] : merged) list.push_back(command);
    {
        std::unique_lock lock(m_commandsMutex);
        m_loadedCommands = std::move(merged);
    }
    QSet<QString> watched;
    {
        std::lock_guard lock(m_stateMutex);
        watched = m_lastScriptDirectories;
    }
    notifyAboutScriptsCommandsChange(list, watched);
}

void ScriptCommandsService::notifyAboutScriptsCommandsChange(const std::vector<ScriptCommand>& newCommands,
                                                             std::optional<QSet<QString>> directories) {
    QSet<QString> hashes;
    for (const auto& command : newCommands) hashes.insert(command.metadataHash);
    {
        std::lock_guard lock(m_stateMutex);
        const bool sameDirectories = !directories || *directories == m_lastReloadedDirectories;
        if (hashes == m_lastReloadedScriptsMetadataHashes && sameDirectories) {
            log().info("Scripts metadata didn't change. Skipping UI reload.");
            return;
        }
        m_lastReloadedScriptsMetadataHashes = hashes;
        if (directories) m_lastReloadedDirectories = *directories;
    }
    log().info("Scripts metadata changed. Notifying about the change.");
    post(QString(NotificationNames::scriptCommandsChanged));
}

void ScriptCommandsService::post(const QString& name) {
    QObject* context = m_context.get();
    if (!context) return;
    NotificationCenter* center = m_center;
    if (QThread::currentThread() == context->thread()) {
        center->post(name);
        return;
    }
    Queue::object(context).dispatch([center, name] { center->post(name); });
}

// MARK: - Directories

QStringList ScriptCommandsService::readConfiguredDirectories() const {
    return m_registry
        .stringListValue(PackageIdentifier(QString(packageIdentifier)),
                         QString(PackageRegistry::scriptCommandsDirectoriesKey))
        .value_or(QStringList());
}

QStringList ScriptCommandsService::directories() const {
    return readConfiguredDirectories();
}

void ScriptCommandsService::configurationChanged() {
    applyDirectories(readConfiguredDirectories(), true);
}

QStringList ScriptCommandsService::cleanDirectories(const QStringList& configured) {
    QStringList directories;
    for (const QString& directory : configured) {
        const QString clean = cleanDirectory(directory);
        if (!directories.contains(clean)) directories << clean;
    }
    return directories;
}

QStringList ScriptCommandsService::useDirectories(const QStringList& configured, bool* changed) {
    const QStringList directories = cleanDirectories(configured);
    bool different = false;
    {
        std::lock_guard lock(m_stateMutex);
        const QSet<QString> set(directories.begin(), directories.end());
        different = set != m_lastScriptDirectories;
        if (different) {
            m_lastScriptDirectories = set;
            m_watchedDirectories = directories;
        }
    }
    if (different) watchDirectoriesIfNeeded();
    if (changed) *changed = different;
    return directories;
}

void ScriptCommandsService::applyDirectories(const QStringList& configured, bool reloadInBackground) {
    bool changed = false;
    useDirectories(configured, &changed);
    if (!changed) return;
    if (!reloadInBackground) {
        reloadAll();
        return;
    }
    reloadAllInBackground();
}

bool ScriptCommandsService::editDirectories(const std::function<bool(QStringList&)>& edit) {
    bool changed = false;
    const bool written = m_registry.setPackageConfiguration(
        PackageIdentifier(QString(packageIdentifier)), [&](QVariantMap& payload, bool&) {
            const QString key(PackageRegistry::scriptCommandsDirectoriesKey);
            QStringList directories = payload.value(key).toStringList();
            changed = edit(directories);
            payload.insert(key, directories);
        });
    return written && changed;
}

bool ScriptCommandsService::addDirectory(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) throw VantrelError(QStringLiteral("There is no folder at %1").arg(path));
    if (!info.isDir()) throw VantrelError(QStringLiteral("%1 is not a folder").arg(path));
    const QString absolute = cleanDirectory(info.absoluteFilePath());
    QStringList current;
    for (const QString& directory : directories()) current << cleanDirectory(directory);
    if (current.contains(absolute)) return false;
    generateTemplateIfEmpty(absolute);
    return editDirectories([&absolute](QStringList& directories) {
        for (const QString& directory : directories)
            if (cleanDirectory(directory) == absolute) return false;
        directories << absolute;
        return true;
    });
}

bool ScriptCommandsService::removeDirectory(const QString& path) {
    const QString absolute = cleanDirectory(QFileInfo(path).absoluteFilePath());
    return editDirectories([&absolute](QStringList& directories) {
        const qsizetype removed = directories.removeIf(
            [&absolute](const QString& directory) { return cleanDirectory(directory) == absolute; });
        return removed > 0;
    });
}

QString ScriptCommandsService::templateFileText() {
    return ScriptCommandTemplateBuilder::templateFileText();
}

bool ScriptCommandsService::generateTemplateIfEmpty(const QString& directory) {
    const QDir folder(directory);
    if (!folder.exists() || !folder.isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        return false;
    const QString path = folder.filePath(QString(templateFileName));
    QSaveFile file(path);
    const QByteArray text = templateFileText().toUtf8();
    const bool written = file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit() &&
                         ::chmod(QFile::encodeName(path).constData(), 0755) == 0;
    if (!written) {
        log().error("Failed to generate template file",
                    {{QStringLiteral("path"), path}, {QStringLiteral("error"), file.errorString()}});
        return false;
    }
    log().info("Script command template generated", {{QStringLiteral("path"), path}});
    return true;
}

// MARK: - Loading

std::vector<ScriptCommand> ScriptCommandsService::parseScriptCommands(const QString& directory) {
    std::vector<ScriptCommand> commands;
    const QDir folder(directory);
    const QStringList names =
        folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        const QString path = directory + QLatin1Char('/') + name;
        if (name.startsWith(QLatin1Char('.')) || QFileInfo(path).isDir() || name.contains(QLatin1String(".template.")))
            continue;
        try {
            ScriptCommand command = ScriptCommand::parse(path);
            if (!QFileInfo(path).isExecutable() && ::chmod(QFile::encodeName(path).constData(), 0755) != 0)
                log().error(QStringLiteral("Unable to make file executable at ") + path);
            log().debug(QStringLiteral("Parsed script command: ") + command.displayName);
            commands.push_back(std::move(command));
        } catch (const std::exception& error) {
            log().error(QStringLiteral("Failed to parse script command at ") + path + QStringLiteral(": ") +
                        VantrelError::describe(error));
        }
    }
    return commands;
}

ScriptCommandsService::CommandMap ScriptCommandsService::loadScriptCommands(const QStringList& directories,
                                                                            CommandMap loadedCommands) {
    if (directories.isEmpty()) return loadedCommands;
    QSet<QString> folders;
    for (const QString& directory : directories) folders.insert(cleanDirectory(directory));
    std::erase_if(loadedCommands, [&folders](const auto& entry) {
        return folders.contains(QFileInfo(entry.second.scriptPath).absolutePath());
    });
    for (const QString& directory : directories)
        for (ScriptCommand& command : parseScriptCommands(cleanDirectory(directory)))
            loadedCommands.insert_or_assign(command.id, std::move(command));
    log().info(QStringLiteral("Parsed script files in directories: ") + directories.join(QStringLiteral(", ")));
    return loadedCommands;
}

// MARK: - Watching

bool ScriptCommandsService::isWatching() const {
    std::lock_guard lock(m_stateMutex);
    return m_fileWatcher != nullptr;
}

void ScriptCommandsService::watchDirectoriesIfNeeded() {
    std::unique_ptr<DirectoryWatcher> previous;
    QStringList directories;
    {
        std::lock_guard lock(m_stateMutex);
        previous = std::move(m_fileWatcher);
        directories = m_watchedDirectories;
    }
    // Outside the lock: the old watcher's thread may be waiting for it.
    previous.reset();
    if (directories.isEmpty()) {
        log().info("Stopped watching script directories");
        return;
    }
    auto watcher =
        std::make_unique<DirectoryWatcher>([this, directories](const std::vector<DirectoryWatcher::Event>& raw) {
            std::vector<ScriptDirectoryEvent> events;
            events.reserve(raw.size());
            for (const auto& event : raw) events.push_back(convert(event, directories));
            directoryEventsReceived(events);
        });
    watcher->reportModifications(true);
    for (const QString& directory : directories) watcher->addFolder(QFile::encodeName(directory));
    log().info("Started watching script directories",
               {{QStringLiteral("directories"), directories.join(QStringLiteral(", "))}});
    std::lock_guard lock(m_stateMutex);
    m_fileWatcher = std::move(watcher);
}

bool ScriptCommandsService::improvedTrackingEnabled() const {
    const UserDefaults& defaults = m_defaults ? *m_defaults : UserDefaults::standard();
    // A flag that was never set is off: events then reload without filtering.
    return defaults.value(QString(improvedTrackingFlagKey)).toBool();
}

QStringList ScriptCommandsService::directoriesToReload(const std::vector<ScriptDirectoryEvent>& events,
                                                       const QStringList& watchedDirectories, bool filter) {
    QSet<QString> watched;
    for (const QString& directory : watchedDirectories) watched.insert(cleanDirectory(directory));
    std::vector<ScriptDirectoryEvent> kept;
    constexpr quint32 changes = ScriptDirectoryEvent::itemModified | ScriptDirectoryEvent::itemCreated |
                                ScriptDirectoryEvent::itemRemoved | ScriptDirectoryEvent::itemRenamed;
    for (const auto& event : events) {
        if (filter) {
            if (QFileInfo(event.path).fileName().startsWith(QLatin1Char('.'))) continue;
            if (event.concernsFile() && !watched.contains(QFileInfo(event.path).absolutePath())) {
                log().debug(QStringLiteral("Filtering out file event: ") + event.description());
                continue;
            }
            if (event.concernsDirectory() && !watched.contains(cleanDirectory(event.path))) {
                log().debug(QStringLiteral("Filtering out directory event: ") + event.description());
                continue;
            }
            if (!(event.flags & changes)) continue;
        }
        kept.push_back(event);
    }
    if (kept.empty()) {
        log().info("No events after filtering out. Skipping reload.");
        return {};
    }
    QStringList directories;
    const bool anyDirectory =
        std::any_of(kept.begin(), kept.end(), [](const auto& event) { return event.concernsDirectory(); });
    if (anyDirectory) {
        for (const QString& directory : watchedDirectories) directories << cleanDirectory(directory);
    } else {
        for (const auto& event : kept) {
            const QString parent = QFileInfo(event.path).absolutePath();
            if (!directories.contains(parent)) directories << parent;
        }
    }
    log().info(QStringLiteral("FileWatcher changed: ") + ScriptDirectoryEvent::describe(kept) +
               QStringLiteral(", uniqueDirectories: ") + directories.join(QStringLiteral(", ")));
    return directories;
}

void ScriptCommandsService::directoryEventsReceived(const std::vector<ScriptDirectoryEvent>& events) {
    log().info(QStringLiteral("FileWatcher directory changed. Events: ") + ScriptDirectoryEvent::describe(events));
    QStringList watched;
    {
        std::lock_guard lock(m_stateMutex);
        watched = m_watchedDirectories;
    }
    const QStringList directories = directoriesToReload(events, watched, improvedTrackingEnabled());
    if (!directories.isEmpty()) scheduleReload(directories);
}

void ScriptCommandsService::scheduleReload(const QStringList& directories) {
    Throttler* throttler = nullptr;
    {
        std::lock_guard lock(m_stateMutex);
        for (const QString& directory : directories) m_pendingDirectories.insert(directory);
        if (!m_updateThrottler) m_updateThrottler = std::make_unique<Throttler>(updateInterval, false, m_context.get());
        throttler = m_updateThrottler.get();
    }
    std::weak_ptr<Lifetime> lifetime = m_lifetime;
    throttler->throttle([this, lifetime] {
        QStringList pending;
        {
            std::lock_guard lock(m_stateMutex);
            pending = QStringList(m_pendingDirectories.begin(), m_pendingDirectories.end());
            m_pendingDirectories.clear();
        }
        if (pending.isEmpty()) return;
        pending.sort();
        Queue::global().dispatch([this, lifetime, pending] {
            const auto alive = lifetime.lock();
            if (!alive) return;
            std::lock_guard lock(alive->mutex);
            if (alive->alive) reload(pending);
        });
    });
}

}  // namespace vantrel
