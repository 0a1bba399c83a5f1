#include "search/FileIndex.h"

#include "kit/DirectoryWatcher.h"
#include "kit/Logger.h"
#include "kit/UserDefaults.h"
#include "search/Normalization.h"

#include <QDir>
#include <QFile>

#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <unordered_set>
#include <utility>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("FileIndex"), QStringLiteral("🗄️")});
    return logger;
}

constexpr quint32 kNoEntry = 0xFFFFFFFFu;
// The first byte of every tree key: a whole-name key or a later-word key, so
// that all name matches are walked before any word match.
constexpr char kNameKey = '\x01';
constexpr char kWordKey = '\x02';
constexpr const char* kCacheTag = "CACHEDIR.TAG";

bool isHidden(const char* name) {
    return name[0] == '.';
}

bool isWordSeparator(char c) {
    switch (c) {
        case ' ':
        case '-':
        case '_':
        case '.':
        case '(':
        case ')':
        case '[':
        case ']':
        case '{':
        case '}':
        case ',':
        case '+':
            return true;
        default:
            return false;
    }
}

QByteArray childPath(const QByteArray& folder, const QByteArray& name) {
    QByteArray path;
    path.reserve(folder.size() + 1 + name.size());
    path += folder;
    if (!folder.endsWith('/')) path += '/';
    path += name;
    return path;
}

bool isAtOrBelow(const QByteArray& path, const QByteArray& folder) {
    if (path == folder) return true;
    if (folder.endsWith('/')) return path.startsWith(folder);
    return path.size() > folder.size() && path.startsWith(folder) && path[folder.size()] == '/';
}

void appendBigEndian(QByteArray& out, quint32 value) {
    out += static_cast<char>((value >> 24) & 0xFF);
    out += static_cast<char>((value >> 16) & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
    out += static_cast<char>(value & 0xFF);
}

// Calls visit(kind, folded text from a word start) for every tree key of a
// folded name: the whole name, then each later word of the display name.
template <typename Visit>
void forEachKeyText(const QByteArray& folded, Visit&& visit) {
    if (folded.isEmpty()) return;
    visit(kNameKey, 0);
    qsizetype displayEnd = folded.lastIndexOf('.');
    if (displayEnd <= 0) displayEnd = folded.size();
    for (qsizetype i = 1; i < displayEnd; ++i)
        if (isWordSeparator(folded[i - 1]) && !isWordSeparator(folded[i])) visit(kWordKey, i);
}

std::vector<QByteArray> treeKeys(const QByteArray& folded, quint32 id) {
    std::vector<QByteArray> keys;
    forEachKeyText(folded, [&](char kind, qsizetype from) {
        QByteArray key;
        key.reserve(folded.size() - from + 6);
        key += kind;
        key.append(folded.constData() + from, folded.size() - from);
        key += '\0';
        appendBigEndian(key, id);
        keys.push_back(std::move(key));
    });
    return keys;
}

}  // namespace

struct FileIndex::Snapshot {
    struct Folder {
        QByteArray path;               // native bytes, without a trailing slash (except "/")
        std::vector<quint32> entries;  // the live entries directly inside
        quint32 entry = kNoEntry;      // its own entry in the parent folder (none for a scope)
        bool live = true;
    };
    struct Entry {
        quint32 folder = 0;
        quint32 nameOffset = 0;
        quint16 nameLength = 0;
        bool isFolder = false;
        bool live = true;
    };

    std::vector<Folder> folders;
    QHash<QByteArray, quint32> folderByPath;
    std::vector<Entry> entries;
    QByteArray names;  // every entry's name, back to back
    RadixTree<quint32> tree;
    size_t liveEntries = 0;
    size_t liveFolders = 0;

    QByteArray nameOf(const Entry& entry) const {
        return QByteArray(names.constData() + entry.nameOffset, entry.nameLength);
    }
    QByteArray pathOf(const Entry& entry) const { return childPath(folders[entry.folder].path, nameOf(entry)); }

    quint32 addFolder(const QByteArray& path, quint32 entry) {
        const auto index = static_cast<quint32>(folders.size());
        folders.push_back({path, {}, entry, true});
        folderByPath.insert(path, index);
        ++liveFolders;
        return index;
    }
    quint32 addEntry(quint32 folder, const char* name, size_t length, bool isFolder) {
        const auto id = static_cast<quint32>(entries.size());
        entries.push_back({folder, static_cast<quint32>(names.size()), static_cast<quint16>(length), isFolder, true});
        names.append(name, static_cast<qsizetype>(length));
        folders[folder].entries.push_back(id);
        ++liveEntries;
        return id;
    }
    std::optional<quint32> findEntry(quint32 folder, const QByteArray& name) const {
        for (const quint32 id : folders[folder].entries)
            if (nameOf(entries[id]) == name) return id;
        return std::nullopt;
    }
};

// One scan of a folder tree into a snapshot of its own.
struct FileIndex::Scan {
    std::unique_ptr<Snapshot> snapshot = std::make_unique<Snapshot>();
    std::set<std::pair<dev_t, ino_t>> visited;
    DirectoryWatcher* watcher = nullptr;
    bool watchLimitReached = false;
    const std::atomic<bool>* stopping = nullptr;
    bool stopped = false;
};

struct FileIndex::WatchEvents {
    const std::vector<DirectoryWatcher::Event>& events;
};

QStringList FileIndex::scopesFromSettings(const UserDefaults& defaults) {
    QStringList scopes;
    for (const QString& scope : defaults.value(QString(scopesKey)).toStringList()) {
        const QString trimmed = scope.trimmed();
        if (trimmed.isEmpty()) continue;
        scopes << (trimmed.startsWith(QLatin1Char('~')) ? QDir::homePath() + trimmed.mid(1) : trimmed);
    }
    return scopes;
}

FileIndex::FileIndex() : FileIndex(Options()) {}

FileIndex::FileIndex(Options options) : m_options(std::move(options)), m_snapshot(std::make_unique<Snapshot>()) {
    QStringList scopes = m_options.scopes.isEmpty() ? QStringList{QDir::homePath()} : m_options.scopes;
    for (const QString& scope : scopes) {
        const QString clean = QDir::cleanPath(scope);
        if (clean.isEmpty() || m_scopes.contains(clean)) continue;
        m_scopes << clean;
        m_nativeScopes << QFile::encodeName(clean);
    }
    const QString cacheHome = qEnvironmentVariable("XDG_CACHE_HOME");
    m_cacheFolder = QFile::encodeName(QDir::cleanPath(!cacheHome.isEmpty() && QDir::isAbsolutePath(cacheHome)
                                                          ? cacheHome
                                                          : QDir::homePath() + QStringLiteral("/.cache")));
}

FileIndex::~FileIndex() {
    stopThreads();
    // The watcher's thread may be applying changes: stop it before the index goes.
    m_watcher.reset();
}

void FileIndex::stopThreads() {
    {
        std::lock_guard lock(m_stateMutex);
        m_stopping = true;
    }
    m_stateChanged.notify_all();
    if (m_buildThread.joinable()) m_buildThread.join();
    if (m_rescanThread.joinable()) m_rescanThread.join();
}

QByteArray FileIndex::foldedKey(const QByteArray& utf8) {
    bool ascii = true;
    for (const char c : utf8)
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii) {
        QByteArray lowered = utf8;
        for (char& c : lowered)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
        return lowered;
    }
    return foldedKey(QString::fromUtf8(utf8));
}

QByteArray FileIndex::foldedKey(const QString& text) {
    bool ascii = true;
    for (const QChar c : text)
        if (c.unicode() >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii) return foldedKey(text.toLatin1());
    // Width and diacritics first, then full case folding ("ß" is "ss").
    const QString stripped = foldedForSearchKeys(text);
    icu::UnicodeString folded(reinterpret_cast<const UChar*>(stripped.utf16()), static_cast<int32_t>(stripped.size()));
    folded.foldCase(U_FOLD_CASE_DEFAULT);
    std::string utf8;
    folded.toUTF8String(utf8);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()))
        .normalized(QString::NormalizationForm_C)
        .toUtf8();
}

bool FileIndex::isExcluded(const QByteArray& path) const {
    return path == m_cacheFolder;
}

void FileIndex::scanFolder(Scan& scan, const QByteArray& path, quint32 parentEntry, bool isScope) const {
    if (scan.stopping && scan.stopping->load()) {
        scan.stopped = true;
        return;
    }
    // A scope may itself be a link; nothing below one is followed.
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (isScope ? 0 : O_NOFOLLOW));
    if (fd < 0) {
        log().debug(QStringLiteral("Could not read folder: ") + QFile::decodeName(path),
                    {{"error", ::strerror(errno)}});
        return;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !scan.visited.insert({info.st_dev, info.st_ino}).second) {
        ::close(fd);
        return;
    }
    // Watch before reading, so nothing created in between is missed.
    if (scan.watcher && !scan.watchLimitReached &&
        scan.watcher->addFolder(path) == DirectoryWatcher::AddResult::limitReached)
        scan.watchLimitReached = true;

    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    Snapshot& snapshot = *scan.snapshot;
    const quint32 folder = snapshot.addFolder(path, parentEntry);
    std::vector<std::pair<QByteArray, quint32>> subfolders;
    while (const dirent* item = ::readdir(dir)) {
        const char* name = item->d_name;
        if (isHidden(name)) continue;  // also "." and ".."
        bool isFolder = item->d_type == DT_DIR;
        if (item->d_type == DT_UNKNOWN) {
            struct stat child {};
            if (::fstatat(::dirfd(dir), name, &child, AT_SYMLINK_NOFOLLOW) != 0) continue;
            isFolder = S_ISDIR(child.st_mode);
        }
        const size_t length = std::strlen(name);
        QByteArray subfolder;
        if (isFolder) {
            subfolder = childPath(path, QByteArray(name, static_cast<qsizetype>(length)));
            if (isExcluded(subfolder)) continue;
            const QByteArray tag = QByteArray(name, static_cast<qsizetype>(length)) + '/' + kCacheTag;
            if (::faccessat(::dirfd(dir), tag.constData(), F_OK, AT_SYMLINK_NOFOLLOW) == 0) continue;
        }
        const quint32 entry = snapshot.addEntry(folder, name, length, isFolder);
        if (isFolder) subfolders.emplace_back(std::move(subfolder), entry);
    }
    ::closedir(dir);
    for (const auto& [subfolder, entry] : subfolders) {
        scanFolder(scan, subfolder, entry, false);
        if (scan.stopped) return;
    }
}

void FileIndex::build() {
    std::lock_guard update(m_updateMutex);
    if (m_stopping) return;
    if (m_options.watchChanges && !m_watcher) {
        m_watcher = std::make_unique<DirectoryWatcher>(
            [this](const std::vector<DirectoryWatcher::Event>& events) { applyEvents(WatchEvents{events}); },
            m_options.watchLimit);
        if (!m_watcher->isValid()) {
            log().warning("Could not start following file changes; rescanning periodically");
            m_watcher.reset();
            noteWatchLimit();
        }
    }

    Scan scan;
    scan.watcher = m_watcher.get();
    scan.stopping = &m_stopping;
    for (const QByteArray& scope : m_nativeScopes) {
        scanFolder(scan, scope, kNoEntry, true);
        if (scan.stopped) return;
    }

    // All tree keys into one buffer, sorted, then loaded in one pass.
    Snapshot& fresh = *scan.snapshot;
    struct KeyRef {
        quint32 offset;
        quint32 length;
        quint32 id;
    };
    QByteArray keyBytes;
    keyBytes.reserve(fresh.names.size() * 3 + static_cast<qsizetype>(fresh.entries.size()) * 12);
    std::vector<KeyRef> keys;
    keys.reserve(fresh.entries.size() * 2);
    for (quint32 id = 0; id < fresh.entries.size(); ++id) {
        const QByteArray folded = foldedKey(fresh.nameOf(fresh.entries[id]));
        forEachKeyText(folded, [&](char kind, qsizetype from) {
            const auto offset = static_cast<quint32>(keyBytes.size());
            keyBytes += kind;
            keyBytes.append(folded.constData() + from, folded.size() - from);
            keyBytes += '\0';
            appendBigEndian(keyBytes, id);
            keys.push_back({offset, static_cast<quint32>(keyBytes.size()) - offset, id});
        });
    }
    const char* base = keyBytes.constData();
    std::sort(keys.begin(), keys.end(), [base](const KeyRef& a, const KeyRef& b) {
        const int order = std::memcmp(base + a.offset, base + b.offset, std::min(a.length, b.length));
        return order != 0 ? order < 0 : a.length < b.length;
    });
    fresh.tree.loadSorted(keys.size(), [&](size_t i) {
        return std::tuple<const unsigned char*, size_t, quint32>(
            reinterpret_cast<const unsigned char*>(base + keys[i].offset), keys[i].length, keys[i].id);
    });

    std::unique_ptr<Snapshot> previous = std::move(scan.snapshot);
    {
        std::unique_lock lock(m_lock);
        m_snapshot.swap(previous);
    }
    previous.reset();  // freed outside the lock
    if (m_watcher) {
        // Folders gone or excluded since the last build are no longer watched.
        m_watcher->retainOnly([this](const QByteArray& folder) {
            std::shared_lock lock(m_lock);
            return m_snapshot->folderByPath.contains(folder);
        });
    }
    log().info(QStringLiteral("Indexed %1 files in %2 folders").arg(fresh.liveEntries).arg(fresh.liveFolders));
    if (scan.watchLimitReached) noteWatchLimit();
    ++m_buildCount;
    {
        std::lock_guard lock(m_stateMutex);
        m_ready = true;
    }
    m_stateChanged.notify_all();
}

void FileIndex::start(std::function<void()> completion) {
    std::lock_guard lock(m_stateMutex);
    if (m_buildThread.joinable() || m_stopping) return;
    m_buildThread = std::thread([this, completion = std::move(completion)] {
        build();
        if (completion && !m_stopping) completion();
    });
}

bool FileIndex::waitUntilReady(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_stateMutex);
    return m_stateChanged.wait_for(lock, timeout, [this] { return m_ready.load() || m_stopping.load(); }) &&
           m_ready.load();
}

void FileIndex::noteWatchLimit() {
    std::call_once(m_limitLogged, [this] {
        const size_t watched = m_watcher ? m_watcher->watchCount() : 0;
        log().warning(QStringLiteral("File watch limit reached after %1 folders; rescanning the file index every %2 s")
                          .arg(watched)
                          .arg(static_cast<double>(m_options.rescanInterval.count()) / 1000.0));
        m_periodicRescan = true;
        startPeriodicRescan();
    });
}

void FileIndex::startPeriodicRescan() {
    std::lock_guard lock(m_stateMutex);
    if (m_rescanThread.joinable() || m_stopping) return;
    m_rescanThread = std::thread([this] {
        for (;;) {
            {
                std::unique_lock wait(m_stateMutex);
                if (m_stateChanged.wait_for(wait, m_options.rescanInterval, [this] { return m_stopping.load(); }))
                    return;
            }
            build();
        }
    });
}

void FileIndex::applyEvents(const WatchEvents& batch) {
    std::unique_lock update(m_updateMutex);
    if (m_stopping) return;
    QString rebuild;  // why the whole index is read again, if it is
    bool limitReached = false;

    // Removes an entry and, for a folder, everything below it. Runs under the write lock.
    auto removeEntry = [this](Snapshot& s, quint32 id) {
        Snapshot::Entry& entry = s.entries[id];
        if (!entry.live) return;
        const QByteArray path = s.pathOf(entry);
        for (const QByteArray& key : treeKeys(foldedKey(s.nameOf(entry)), id)) s.tree.remove(key);
        entry.live = false;
        --s.liveEntries;
        auto& siblings = s.folders[entry.folder].entries;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), id), siblings.end());
        if (!entry.isFolder) return;
        std::vector<quint32> below;
        for (auto it = s.folderByPath.constBegin(); it != s.folderByPath.constEnd(); ++it)
            if (isAtOrBelow(it.key(), path)) below.push_back(it.value());
        for (const quint32 folder : below) {
            Snapshot::Folder& f = s.folders[folder];
            for (const quint32 child : f.entries) {
                Snapshot::Entry& e = s.entries[child];
                for (const QByteArray& key : treeKeys(foldedKey(s.nameOf(e)), child)) s.tree.remove(key);
                e.live = false;
                --s.liveEntries;
            }
            f.entries.clear();
            f.live = false;
            --s.liveFolders;
            s.folderByPath.remove(f.path);
        }
        if (m_watcher) m_watcher->removeTree(path);
    };

    for (const DirectoryWatcher::Event& event : batch.events) {
        using Kind = DirectoryWatcher::Event::Kind;
        if (event.kind == Kind::overflow) {
            rebuild = QStringLiteral("file change events were lost");
            continue;
        }
        if (event.kind == Kind::folderGone) {
            if (m_nativeScopes.contains(event.folder)) rebuild = QStringLiteral("a search scope was moved or deleted");
            continue;
        }
        if (isHidden(event.name.constData())) continue;
        std::optional<quint32> folder;
        {
            std::shared_lock lock(m_lock);
            if (const auto found = m_snapshot->folderByPath.constFind(event.folder);
                found != m_snapshot->folderByPath.constEnd())
                folder = *found;
        }
        if (!folder) continue;

        if (event.kind == Kind::deleted || event.kind == Kind::movedFrom) {
            std::unique_lock lock(m_lock);
            if (const auto id = m_snapshot->findEntry(*folder, event.name)) removeEntry(*m_snapshot, *id);
            continue;
        }

        // Created or moved in.
        if (event.name == kCacheTag) {
            // The folder became a cache: it leaves the index.
            std::unique_lock lock(m_lock);
            const quint32 entry = m_snapshot->folders[*folder].entry;
            if (entry != kNoEntry) removeEntry(*m_snapshot, entry);
            continue;
        }
        const QByteArray path = childPath(event.folder, event.name);
        struct stat info {};
        if (::lstat(path.constData(), &info) != 0) continue;
        const bool isFolder = S_ISDIR(info.st_mode);
        if (isFolder && (isExcluded(path) || ::access((path + '/' + kCacheTag).constData(), F_OK) == 0)) continue;
        {
            std::shared_lock lock(m_lock);
            if (m_snapshot->findEntry(*folder, event.name)) continue;
        }
        // A new folder is read outside the lock, then merged in.
        Scan scan;
        if (isFolder) {
            scan.watcher = m_watcher.get();
            scan.stopping = &m_stopping;
            scanFolder(scan, path, kNoEntry, false);
            limitReached = limitReached || scan.watchLimitReached;
        }
        std::unique_lock lock(m_lock);
        Snapshot& s = *m_snapshot;
        auto insertKeys = [&s](quint32 id) {
            for (const QByteArray& key : treeKeys(foldedKey(s.nameOf(s.entries[id])), id)) s.tree.insert(key, id);
        };
        const quint32 entry =
            s.addEntry(*folder, event.name.constData(), static_cast<size_t>(event.name.size()), isFolder);
        insertKeys(entry);
        const Snapshot& part = *scan.snapshot;
        if (!isFolder || part.folders.empty()) continue;
        std::vector<quint32> folderMap(part.folders.size());
        std::vector<quint32> entryMap(part.entries.size(), kNoEntry);
        for (quint32 f = 0; f < part.folders.size(); ++f) {
            const quint32 own = f == 0 ? entry : entryMap[part.folders[f].entry];
            folderMap[f] = s.addFolder(part.folders[f].path, own);
            for (const quint32 child : part.folders[f].entries) {
                const Snapshot::Entry& e = part.entries[child];
                entryMap[child] =
                    s.addEntry(folderMap[f], part.names.constData() + e.nameOffset, e.nameLength, e.isFolder);
                insertKeys(entryMap[child]);
            }
        }
    }
    if (limitReached) noteWatchLimit();
    {
        // Removed entries stay behind as unused slots until the next build;
        // rebuild once they outnumber the live ones.
        std::shared_lock lock(m_lock);
        const size_t unused = m_snapshot->entries.size() - m_snapshot->liveEntries;
        if (rebuild.isEmpty() && unused > std::max<size_t>(10000, m_snapshot->liveEntries))
            rebuild = QStringLiteral("compacting removed entries");
    }
    if (!rebuild.isEmpty()) {
        update.unlock();
        log().info(QStringLiteral("Rebuilding the file index: ") + rebuild);
        build();
    }
}

std::vector<FileIndex::Hit> FileIndex::itemsWithPrefix(const QString& query, int limit, const FolderFilter& inScope,
                                                       const std::atomic<bool>* cancelled) const {
    std::vector<Hit> hits;
    if (limit <= 0) return hits;
    QByteArray folded = foldedKey(query);
    folded.replace('\0', QByteArray());
    if (folded.isEmpty()) return hits;

    std::shared_lock lock(m_lock);
    const Snapshot& s = *m_snapshot;
    std::vector<qint8> folderInScope(s.folders.size(), -1);
    std::unordered_set<quint32> seen;
    std::vector<quint32> ids;
    size_t visited = 0;
    bool stop = false;
    for (const char kind : {kNameKey, kWordKey}) {
        if (stop || ids.size() >= static_cast<size_t>(limit)) break;
        s.tree.forEachWithPrefix(kind + folded, [&](const char*, size_t, quint32 id) {
            if (cancelled && (++visited & 255) == 0 && cancelled->load()) {
                stop = true;
                return false;
            }
            const Snapshot::Entry& entry = s.entries[id];
            if (!entry.live) return true;
            qint8& allowed = folderInScope[entry.folder];
            if (allowed < 0) allowed = !inScope || inScope(s.folders[entry.folder].path) ? 1 : 0;
            if (!allowed || !seen.insert(id).second) return true;
            ids.push_back(id);
            return ids.size() < static_cast<size_t>(limit);
        });
    }
    if (stop) return hits;
    hits.reserve(ids.size());
    for (const quint32 id : ids) {
        const Snapshot::Entry& entry = s.entries[id];
        hits.push_back({id, QFile::decodeName(s.pathOf(entry)), QFile::decodeName(s.nameOf(entry)), entry.isFolder});
    }
    return hits;
}

size_t FileIndex::entryCount() const {
    std::shared_lock lock(m_lock);
    return m_snapshot->liveEntries;
}

size_t FileIndex::folderCount() const {
    std::shared_lock lock(m_lock);
    return m_snapshot->liveFolders;
}

quint64 FileIndex::keyCount() const {
    std::shared_lock lock(m_lock);
    return m_snapshot->tree.count();
}

size_t FileIndex::watchedFolderCount() const {
    return m_watcher ? m_watcher->watchCount() : 0;
}

}  // namespace vantrel
