#include "platform/freedesktop/SystemCommandCapabilities.h"

#include "kit/VantrelError.h"
#include "platform/freedesktop/SystemCommandSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/freedesktop/GioHeaders.h"

namespace vantrel::systemcommands {

namespace {

// Removes a file, link or whole folder without following links. Folders
// without write or search permission (read-only trashed folders) are opened
// up first. Returns the first error, or empty.
QString removeTree(const QByteArray& path) {
    struct stat info {};
    if (lstat(path.constData(), &info) != 0) {
        return errno == ENOENT ? QString() : QString::fromLocal8Bit(std::strerror(errno));
    }
    if (!S_ISDIR(info.st_mode)) {
        if (unlink(path.constData()) == 0 || errno == ENOENT) return {};
        return QString::fromLocal8Bit(std::strerror(errno));
    }
    if ((info.st_mode & S_IRWXU) != S_IRWXU) chmod(path.constData(), info.st_mode | S_IRWXU);
    QString firstError;
    if (DIR* folder = opendir(path.constData())) {
        std::vector<QByteArray> children;
        while (const dirent* entry = readdir(folder)) {
            if (qstrcmp(entry->d_name, ".") == 0 || qstrcmp(entry->d_name, "..") == 0) continue;
            children.push_back(path + '/' + entry->d_name);
        }
        closedir(folder);
        for (const QByteArray& child : children) {
            const QString error = removeTree(child);
            if (firstError.isEmpty() && !error.isEmpty()) firstError = error;
        }
    } else {
        return QString::fromLocal8Bit(std::strerror(errno));
    }
    if (rmdir(path.constData()) == 0 || errno == ENOENT) return {};
    return firstError.isEmpty() ? QString::fromLocal8Bit(std::strerror(errno)) : firstError;
}

QStringList entryNames(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

struct TrashResult {
    int removed = 0;
    QStringList failures;  // "name: reason"
};

// Empties one trash folder (with files/ and info/ inside). A file's
// .trashinfo goes only after the file itself, so nothing that stays behind
// loses its original location.
void emptyTrashFolder(const QString& trash, TrashResult& result) {
    const QString files = trash + QStringLiteral("/files");
    const QString info = trash + QStringLiteral("/info");
    for (const QString& name : entryNames(files)) {
        const QString error = removeTree(QFile::encodeName(files + QLatin1Char('/') + name));
        if (!error.isEmpty()) {
            result.failures << QStringLiteral("%1: %2").arg(name, error);
            continue;
        }
        ++result.removed;
        QFile::remove(info + QLatin1Char('/') + name + QStringLiteral(".trashinfo"));
    }
    // What is left in info/ describes files that are gone.
    for (const QString& name : entryNames(info)) {
        const QString original = name.endsWith(QLatin1String(".trashinfo")) ? name.chopped(10) : name;
        if (QFileInfo::exists(files + QLatin1Char('/') + original)) continue;
        if (removeTree(QFile::encodeName(info + QLatin1Char('/') + name)).isEmpty()) ++result.removed;
    }
    // The cached sizes of trashed folders.
    QFile::remove(trash + QStringLiteral("/directorysizes"));
}

// The top folders of the mounted volumes that may hold a trash of their own.
// VANTREL_TRASH_VOLUMES (folders separated by ':') replaces the mount table,
// so that tests never reach the real volumes.
QStringList volumeTops() {
    if (qEnvironmentVariableIsSet("VANTREL_TRASH_VOLUMES")) {
        return qEnvironmentVariable("VANTREL_TRASH_VOLUMES").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    }
    QStringList tops;
    GList* mounts = g_unix_mounts_get(nullptr);
    for (GList* item = mounts; item; item = item->next) {
        auto* mount = static_cast<GUnixMountEntry*>(item->data);
        // Skips /, /proc, /home and the like: what is trashed there goes to the home trash.
        if (g_unix_mount_is_system_internal(mount)) continue;
        tops << QString::fromLocal8Bit(g_unix_mount_get_mount_path(mount));
    }
    g_list_free_full(mounts, reinterpret_cast<GDestroyNotify>(g_unix_mount_free));
    return tops;
}

bool isOwnFolder(const QString& path, bool requireSticky = false) {
    struct stat info {};
    if (lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    if (requireSticky) return (info.st_mode & S_ISVTX) != 0;
    return info.st_uid == getuid();
}

// The home trash and the trash folders of mounted volumes that belong to
// this user: $topdir/.Trash/$uid (only inside a sticky .Trash that is no link)
// and $topdir/.Trash-$uid.
QStringList trashFolders() {
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty()) dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    QStringList folders{dataHome + QStringLiteral("/Trash")};

    const QString uid = QString::number(getuid());
    for (const QString& top : volumeTops()) {
        const QString shared = top + QStringLiteral("/.Trash");
        if (isOwnFolder(shared, true) && isOwnFolder(shared + QLatin1Char('/') + uid)) {
            folders << shared + QLatin1Char('/') + uid;
        }
        if (isOwnFolder(top + QStringLiteral("/.Trash-") + uid)) folders << top + QStringLiteral("/.Trash-") + uid;
    }
    folders.removeDuplicates();
    return folders;
}

}  // namespace

QString emptyTrash() {
    TrashResult result;
    const QStringList folders = trashFolders();
    for (const QString& folder : folders) {
        if (QFileInfo(folder).isDir()) emptyTrashFolder(folder, result);
    }
    logger().info("Emptied the trash", {{QStringLiteral("removed"), QString::number(result.removed)},
                                        {QStringLiteral("failed"), QString::number(result.failures.size())},
                                        {QStringLiteral("folders"), folders.join(QStringLiteral(", "))}});
    if (!result.failures.isEmpty()) {
        const qsizetype count = result.failures.size();
        throw VantrelError(QStringLiteral("%1 %2 could not be removed from the trash (%3).")
                               .arg(count)
                               .arg(count == 1 ? QStringLiteral("item") : QStringLiteral("items"),
                                    result.failures.mid(0, 3).join(QStringLiteral("; "))));
    }
    return result.removed == 0 ? QStringLiteral("Trash is already empty") : QStringLiteral("Trash emptied");
}

}  // namespace vantrel::systemcommands
