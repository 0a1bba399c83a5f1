#pragma once

#include <QByteArray>
#include <QHash>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace vantrel {

// Watches folders for entries created, deleted and moved, with inotify. Each
// folder is watched on its own (the caller decides which sub-folders to add,
// so a tree is watched by adding its folders); removeTree drops a folder and
// every watched folder below it. Paths are the file system's own bytes.
//
// Events are read on a thread of the watcher's own and handed, in batches, to
// the handler on that thread. The handler may add and remove folders.
//
// Changes to the content or the attributes of entries (`modified`) are reported
// only when asked for with reportModifications() before folders are added.
class DirectoryWatcher {
public:
    struct Event {
        enum class Kind { created, deleted, movedFrom, movedTo, folderGone, overflow, modified };
        Kind kind = Kind::created;
        QByteArray folder;  // the watched folder (empty for overflow)
        QByteArray name;    // the entry inside it (empty for folderGone and overflow)
        bool isFolder = false;
        uint32_t cookie = 0;  // pairs a movedFrom with its movedTo
    };
    using Handler = std::function<void(const std::vector<Event>&)>;

    enum class AddResult { added, limitReached, failed };

    // watchLimit: at most this many folders are watched, as if the kernel's
    // limit (fs.inotify.max_user_watches) were reached there.
    explicit DirectoryWatcher(Handler handler, std::optional<size_t> watchLimit = std::nullopt);
    ~DirectoryWatcher();
    DirectoryWatcher(const DirectoryWatcher&) = delete;
    DirectoryWatcher& operator=(const DirectoryWatcher&) = delete;

    // Also report entries written, closed after writing or given new attributes
    // (kind `modified`) in folders added from now on.
    void reportModifications(bool enabled) { m_reportsModifications = enabled; }

    // Whether inotify could be set up at all.
    bool isValid() const { return m_fd >= 0; }

    // Watching a folder that is already watched (also under another path, after
    // a move) keeps one watch under the new path. limitReached stands for
    // ENOSPC from inotify_add_watch (or the injected limit).
    AddResult addFolder(const QByteArray& path);
    void removeFolder(const QByteArray& path);
    // The folder and every watched folder below it.
    void removeTree(const QByteArray& path);
    // Drops every watch whose folder the predicate rejects.
    void retainOnly(const std::function<bool(const QByteArray&)>& keep);

    size_t watchCount() const;
    bool isWatching(const QByteArray& path) const;

private:
    void run();
    void removeWatchLocked(int wd);

    Handler m_handler;
    std::optional<size_t> m_watchLimit;
    int m_fd = -1;
    int m_wakeFd = -1;
    mutable std::mutex m_mutex;
    QHash<int, QByteArray> m_pathByWatch;
    QHash<QByteArray, int> m_watchByPath;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_reportsModifications{false};
    std::thread m_thread;
};

}  // namespace vantrel
