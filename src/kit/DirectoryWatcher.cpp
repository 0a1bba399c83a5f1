#include "kit/DirectoryWatcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vantrel {

namespace {

constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF |
                                IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK;
constexpr uint32_t kModificationMask = IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB;

bool isBelow(const QByteArray& path, const QByteArray& folder) {
    if (folder.endsWith('/')) return path.startsWith(folder);
    return path.size() > folder.size() && path.startsWith(folder) && path[folder.size()] == '/';
}

}  // namespace

DirectoryWatcher::DirectoryWatcher(Handler handler, std::optional<size_t> watchLimit)
    : m_handler(std::move(handler)), m_watchLimit(watchLimit) {
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_fd < 0 || m_wakeFd < 0) {
        if (m_fd >= 0) ::close(m_fd);
        if (m_wakeFd >= 0) ::close(m_wakeFd);
        m_fd = m_wakeFd = -1;
        return;
    }
    m_thread = std::thread([this] { run(); });
}

DirectoryWatcher::~DirectoryWatcher() {
    if (m_fd < 0) return;
    m_stopping = true;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
    if (m_thread.joinable()) m_thread.join();
    ::close(m_fd);
    ::close(m_wakeFd);
}

DirectoryWatcher::AddResult DirectoryWatcher::addFolder(const QByteArray& path) {
    if (m_fd < 0) return AddResult::failed;
    std::lock_guard lock(m_mutex);
    const uint32_t mask = kWatchMask | (m_reportsModifications ? kModificationMask : 0u);
    const int wd = inotify_add_watch(m_fd, path.constData(), mask);
    if (wd < 0) return errno == ENOSPC ? AddResult::limitReached : AddResult::failed;
    const auto known = m_pathByWatch.constFind(wd);
    if (known != m_pathByWatch.constEnd()) {
        // The same folder again, possibly under a new path after a move.
        if (*known != path) {
            m_watchByPath.remove(*known);
            m_pathByWatch.insert(wd, path);
            m_watchByPath.insert(path, wd);
        }
        return AddResult::added;
    }
    if (m_watchLimit && static_cast<size_t>(m_pathByWatch.size()) >= *m_watchLimit) {
        inotify_rm_watch(m_fd, wd);
        return AddResult::limitReached;
    }
    if (const auto previous = m_watchByPath.constFind(path); previous != m_watchByPath.constEnd()) {
        // Another folder now lives under this path.
        removeWatchLocked(*previous);
    }
    m_pathByWatch.insert(wd, path);
    m_watchByPath.insert(path, wd);
    return AddResult::added;
}

void DirectoryWatcher::removeWatchLocked(int wd) {
    inotify_rm_watch(m_fd, wd);
    const QByteArray path = m_pathByWatch.take(wd);
    if (m_watchByPath.value(path, -1) == wd) m_watchByPath.remove(path);
}

void DirectoryWatcher::removeFolder(const QByteArray& path) {
    std::lock_guard lock(m_mutex);
    if (const auto found = m_watchByPath.constFind(path); found != m_watchByPath.constEnd()) removeWatchLocked(*found);
}

void DirectoryWatcher::removeTree(const QByteArray& path) {
    retainOnly([&path](const QByteArray& folder) { return folder != path && !isBelow(folder, path); });
}

void DirectoryWatcher::retainOnly(const std::function<bool(const QByteArray&)>& keep) {
    std::lock_guard lock(m_mutex);
    std::vector<int> dropped;
    for (auto it = m_pathByWatch.constBegin(); it != m_pathByWatch.constEnd(); ++it)
        if (!keep(it.value())) dropped.push_back(it.key());
    for (const int wd : dropped) removeWatchLocked(wd);
}

size_t DirectoryWatcher::watchCount() const {
    std::lock_guard lock(m_mutex);
    return static_cast<size_t>(m_pathByWatch.size());
}

bool DirectoryWatcher::isWatching(const QByteArray& path) const {
    std::lock_guard lock(m_mutex);
    return m_watchByPath.contains(path);
}

void DirectoryWatcher::run() {
    alignas(inotify_event) char buffer[64 * 1024];
    pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    while (!m_stopping) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (m_stopping) return;
        if (!(fds[0].revents & POLLIN)) continue;

        std::vector<Event> events;
        for (;;) {
            const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
            if (length <= 0) break;
            std::lock_guard lock(m_mutex);
            for (ssize_t offset = 0; offset < length;) {
                const auto* raw = reinterpret_cast<const inotify_event*>(buffer + offset);
                offset += static_cast<ssize_t>(sizeof(inotify_event) + raw->len);
                if (raw->mask & IN_Q_OVERFLOW) {
                    events.push_back({Event::Kind::overflow, {}, {}, false, 0});
                    continue;
                }
                const auto found = m_pathByWatch.constFind(raw->wd);
                if (found == m_pathByWatch.constEnd()) continue;
                const QByteArray folder = *found;
                if (raw->mask & IN_IGNORED) {
                    // The kernel dropped the watch (folder deleted or unmounted).
                    m_pathByWatch.remove(raw->wd);
                    if (m_watchByPath.value(folder, -1) == raw->wd) m_watchByPath.remove(folder);
                    continue;
                }
                if (raw->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
                    events.push_back({Event::Kind::folderGone, folder, {}, true, 0});
                    continue;
                }
                Event event;
                event.folder = folder;
                event.name = QByteArray(raw->name, static_cast<qsizetype>(::strnlen(raw->name, raw->len)));
                event.isFolder = (raw->mask & IN_ISDIR) != 0;
                event.cookie = raw->cookie;
                if (raw->mask & IN_CREATE)
                    event.kind = Event::Kind::created;
                else if (raw->mask & IN_DELETE)
                    event.kind = Event::Kind::deleted;
                else if (raw->mask & IN_MOVED_FROM)
                    event.kind = Event::Kind::movedFrom;
                else if (raw->mask & IN_MOVED_TO)
                    event.kind = Event::Kind::movedTo;
                else if (raw->mask & kModificationMask)
                    event.kind = Event::Kind::modified;
                else
                    continue;
                events.push_back(std::move(event));
            }
        }
        if (!events.empty() && m_handler) m_handler(events);
    }
}

}  // namespace vantrel
