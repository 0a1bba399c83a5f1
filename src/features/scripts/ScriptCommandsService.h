#pragma once

#include "features/scripts/ScriptCommand.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <vector>

namespace vantrel {

class DirectoryWatcher;
class Logger;
class NotificationCenter;
class PackageRegistry;
class Throttler;
class UserDefaults;

// The log of everything about script commands.
const Logger& scriptCommandsLog();

// One change the directory watcher reported: a path and what happened to it.
struct ScriptDirectoryEvent {
    enum Flag : quint32 {
        itemCreated = 0x100,
        itemRemoved = 0x200,
        itemRenamed = 0x800,
        itemModified = 0x1000,
        itemIsFile = 0x10000,
        itemIsDir = 0x20000,
    };
    QString path;
    quint32 flags = 0;

    bool concernsFile() const { return flags & itemIsFile; }
    bool concernsDirectory() const { return flags & itemIsDir; }
    // "/scripts/a.sh [created, file]"
    QString description() const;
    static QString describe(const std::vector<ScriptDirectoryEvent>& events);
};

// Finds the script commands of the user's script directories, keeps them
// loaded and follows the directories for changes.
//
// The directories are the package configuration of "scriptCommands" (payload
// key "scriptCommandsDirectories"). start() loads them all and watches them;
// a change of the list (through addDirectory/removeDirectory or anyone
// writing the configuration) reloads everything, a change inside a directory
// reloads that directory after at most one second. Whenever the metadata of
// the loaded commands changed, "vantrel_scriptCommandsChanged" is posted on
// the thread that created the service; editing only the body of a script
// posts nothing.
//
// The loaded commands may be read from any thread.
class ScriptCommandsService {
public:
    using CommandMap = std::map<QString, ScriptCommand>;

    static constexpr QLatin1String packageIdentifier{"scriptCommands"};
    static constexpr QLatin1String improvedTrackingFlagKey{"improvedScriptDirectoriesTrackingEnabled"};
    static constexpr QLatin1String templateFileName{"script-command.template.sh"};
    static constexpr QLatin1String directoriesDescription{
        "Directories added here will be watched for changes and reflected in Vantrel immediately"};
    static constexpr double updateInterval = 1.0;

    // defaults: where the tracking flag is read (the standard store when null);
    // center: where the registry posts configuration changes and where the
    // change is posted (the default centre when null).
    explicit ScriptCommandsService(PackageRegistry& registry, const UserDefaults* defaults = nullptr,
                                   NotificationCenter* center = nullptr);
    ~ScriptCommandsService();
    ScriptCommandsService(const ScriptCommandsService&) = delete;
    ScriptCommandsService& operator=(const ScriptCommandsService&) = delete;

    // The first call reads the directories, loads them and starts watching
    // them and the configuration; later calls do nothing. Any thread.
    void start();
    bool isStarted() const;

    // MARK: Commands

    // Sorted by title (then path); empty before start().
    std::vector<ScriptCommand> commands() const;
    std::optional<ScriptCommand> command(const QString& id) const;

    // Reads the configured directories again (restarting the watcher when
    // they changed) and reparses every one of them now, on the calling thread.
    void reloadAll();
    // The same on a background thread; `done` (optional) then runs on the
    // thread that created the service. The change notice is posted there too.
    void reloadAllInBackground(std::function<void()> done = {});
    // Reparses these directories now, on the calling thread.
    void reloadDirectories(const QStringList& directories);

    // MARK: Directories

    // The configured directories, as stored.
    QStringList directories() const;
    // Stores the folder's absolute path in the configuration; an empty folder
    // gets the template file first. Throws VantrelError when the path is no
    // folder. Returns false when it was configured already.
    bool addDirectory(const QString& path);
    // Returns false when the folder was not configured.
    bool removeDirectory(const QString& path);

    // Writes "script-command.template.sh" (mode 0755) into the folder when the
    // folder has no entries at all. Returns whether it was written.
    static bool generateTemplateIfEmpty(const QString& directory);
    // The text of that file.
    static QString templateFileText();

    // MARK: Loading

    // Every script command directly inside the folder (no sub-folders); hidden
    // files, folders and templates are skipped, files that fail to parse are
    // logged and skipped, files not executable by the user are made so.
    static std::vector<ScriptCommand> parseScriptCommands(const QString& directory);
    // Drops the commands of these directories from `loadedCommands`, parses
    // them again and merges the result in (a new command wins over one with
    // the same id).
    static CommandMap loadScriptCommands(const QStringList& directories, CommandMap loadedCommands);

    // MARK: Watching

    // (Re)starts watching the current directories, or stops with none.
    void watchDirectoriesIfNeeded();
    bool isWatching() const;
    // What the watcher reported; reloads the affected directories through the
    // one-second throttler. Called on the watcher's thread; tests call it too.
    void directoryEventsReceived(const std::vector<ScriptDirectoryEvent>& events);
    // The directories that the events require to be reloaded (empty: none),
    // after filtering out what does not concern the scripts when `filter`.
    static QStringList directoriesToReload(const std::vector<ScriptDirectoryEvent>& events,
                                           const QStringList& watchedDirectories, bool filter);

    // Posts "vantrel_scriptCommandsChanged" when the metadata hashes of the
    // commands differ from the last ones seen, or (when given) the set of
    // directories they were loaded from does.
    void notifyAboutScriptsCommandsChange(const std::vector<ScriptCommand>& newCommands,
                                          std::optional<QSet<QString>> directories = std::nullopt);

private:
    struct Lifetime {
        std::mutex mutex;
        bool alive = true;
    };

    QStringList readConfiguredDirectories() const;
    static QStringList cleanDirectories(const QStringList& configured);
    // Makes the (cleaned) list the one watched; restarts the watcher when the
    // set changed (and says so in `changed`). Returns the cleaned list.
    QStringList useDirectories(const QStringList& configured, bool* changed = nullptr);
    void configurationChanged();
    void applyDirectories(const QStringList& directories, bool reloadInBackground);
    void reload(const QStringList& directories);
    void scheduleReload(const QStringList& directories);
    bool improvedTrackingEnabled() const;
    void post(const QString& name);
    bool editDirectories(const std::function<bool(QStringList&)>& edit);

    PackageRegistry& m_registry;
    const UserDefaults* m_defaults;
    NotificationCenter* m_center;
    std::unique_ptr<QObject> m_context;
    std::shared_ptr<Lifetime> m_lifetime = std::make_shared<Lifetime>();

    mutable std::shared_mutex m_commandsMutex;
    std::optional<CommandMap> m_loadedCommands;

    // Held while a reload reads, merges and writes back, so two reloads never
    // lose each other's result.
    std::mutex m_reloadMutex;

    // Guards what follows.
    mutable std::mutex m_stateMutex;
    QSet<QString> m_lastReloadedScriptsMetadataHashes;
    // The directories of the last change notice.
    QSet<QString> m_lastReloadedDirectories;
    bool m_started = false;
    QSet<QString> m_lastScriptDirectories;
    QStringList m_watchedDirectories;
    std::unique_ptr<DirectoryWatcher> m_fileWatcher;
    std::unique_ptr<Throttler> m_updateThrottler;
    QSet<QString> m_pendingDirectories;
};

}  // namespace vantrel
