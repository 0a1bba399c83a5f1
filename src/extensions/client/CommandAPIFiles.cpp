// "fs": files for extension commands, on the launcher's side. Paths are used
// as the kernel reads them (a ".." after a symbolic link leaves the link's
// target, not the link's folder); "~" and "~/" stand for the home folder.
// Symbolic links are reported as such and never followed by stat, exists,
// remove, rename or readDirectory; readTextFile and writeTextFile reach
// their target. Writes never leave half a file: the new contents go to a
// temporary file beside the destination, which then takes its place.
#include "extensions/client/CommandAPI.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel::extensions {

namespace {

std::optional<QString> pathArgument(const QJsonObject& arguments, const QString& key) {
    const QJsonValue value = arguments.value(key);
    if (!value.isString() || value.toString().isEmpty()) return std::nullopt;
    QString path = value.toString();
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/"))) path = QDir::homePath() + path.mid(1);
    return path;
}

VantrelError missingPath(const QString& key) {
    return VantrelError(key == QLatin1String("path") ? QStringLiteral("Missing or invalid path")
                                                     : QStringLiteral("Missing or invalid ") + key);
}

QByteArray native(const QString& path) { return QFile::encodeName(path); }

// The file system's own description, as the Part wants them passed on.
VantrelError systemError(const QString& what, const QString& path, int error) {
    return VantrelError(what + QStringLiteral(" at path: ") + path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error)));
}

bool lexists(const QString& path, struct stat* info = nullptr) {
    struct stat buffer {};
    return ::lstat(native(path).constData(), info ? info : &buffer) == 0;
}

// Removes a file, a link or a whole folder (links inside are removed, never followed).
bool removeItem(const QString& path, int* error) {
    struct stat info {};
    if (::lstat(native(path).constData(), &info) != 0) {
        *error = errno;
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        DIR* dir = ::opendir(native(path).constData());
        if (!dir) {
            *error = errno;
            return false;
        }
        QStringList names;
        while (const dirent* entry = ::readdir(dir)) {
            const QString name = QFile::decodeName(entry->d_name);
            if (name != QLatin1String(".") && name != QLatin1String("..")) names << name;
        }
        ::closedir(dir);
        for (const QString& name : names)
            if (!removeItem(path + QLatin1Char('/') + name, error)) return false;
        if (::rmdir(native(path).constData()) != 0) {
            *error = errno;
            return false;
        }
        return true;
    }
    if (::unlink(native(path).constData()) != 0) {
        *error = errno;
        return false;
    }
    return true;
}

// Copies a file, a link (as a link) or a folder with what it holds. Files
// are written to a temporary file in the destination's folder and renamed.
bool copyItem(const QString& from, const QString& to, QString* failure) {
    struct stat info {};
    if (::lstat(native(from).constData(), &info) != 0) {
        *failure = errno == ENOENT ? QStringLiteral("File doesn't exist at path: ") + from : systemError(QStringLiteral("Cannot copy item"), from, errno).errorDescription();
        return false;
    }
    if (S_ISLNK(info.st_mode)) {
        QByteArray link(static_cast<int>(info.st_size) + 1, '\0');
        const ssize_t length = ::readlink(native(from).constData(), link.data(), link.size());
        if (length < 0) {
            *failure = systemError(QStringLiteral("Cannot copy item"), from, errno).errorDescription();
            return false;
        }
        link.truncate(static_cast<int>(length));
        if (::symlink(link.constData(), native(to).constData()) != 0) {
            *failure = systemError(QStringLiteral("Cannot copy item"), to, errno).errorDescription();
            return false;
        }
        return true;
    }
    if (S_ISDIR(info.st_mode)) {
        if (::mkdir(native(to).constData(), info.st_mode & 07777) != 0) {
            *failure = systemError(QStringLiteral("Cannot copy item"), to, errno).errorDescription();
            return false;
        }
        const QStringList names = QDir(from).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString& name : names)
            if (!copyItem(from + QLatin1Char('/') + name, to + QLatin1Char('/') + name, failure)) return false;
        return true;
    }
    if (!S_ISREG(info.st_mode)) {
        *failure = QStringLiteral("Unknown file type");
        return false;
    }
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly)) {
        *failure = QStringLiteral("Cannot read file at path: ") + from + QStringLiteral(": ") + source.errorString();
        return false;
    }
    QSaveFile target(to);
    target.setDirectWriteFallback(false);
    if (!target.open(QIODevice::WriteOnly)) {
        *failure = QStringLiteral("Cannot create file at path: ") + to + QStringLiteral(": ") + target.errorString();
        return false;
    }
    char buffer[64 * 1024];
    for (;;) {
        const qint64 read = source.read(buffer, sizeof buffer);
        if (read < 0) {
            *failure = QStringLiteral("Cannot read file at path: ") + from + QStringLiteral(": ") + source.errorString();
            target.cancelWriting();
            return false;
        }
        if (read == 0) break;
        if (target.write(buffer, read) != read) {
            *failure = QStringLiteral("Cannot write file at path: ") + to + QStringLiteral(": ") + target.errorString();
            target.cancelWriting();
            return false;
        }
    }
    target.setPermissions(QFile::permissions(from));
    if (!target.commit()) {
        *failure = QStringLiteral("Cannot write file at path: ") + to + QStringLiteral(": ") + target.errorString();
        return false;
    }
    return true;
}

QJsonValue dateValue(const QDateTime& date) {
    if (!date.isValid()) return QJsonValue();
    return date.toUTC().toString(Qt::ISODateWithMs);
}

}  // namespace

void CommandAPI::readTextFile(const QJsonObject& arguments, const Completion& completion) {
    const auto path = pathArgument(arguments, QStringLiteral("path"));
    if (!path) return completion(missingPath(QStringLiteral("path")));
    QFileInfo info(*path);
    if (!info.exists()) return completion(VantrelError(QStringLiteral("File doesn't exist at path: ") + *path));
    if (info.isDir()) return completion(systemError(QStringLiteral("Cannot read file"), *path, EISDIR));
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly)) {
        return completion(VantrelError(QStringLiteral("Cannot read file at path: ") + *path + QStringLiteral(": ") + file.errorString()));
    }
    const QByteArray bytes = file.readAll();
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError()) return completion(VantrelError(QStringLiteral("Cannot decode file at path: ") + *path));
    completion(QJsonValue(text));
}

void CommandAPI::writeTextFile(const QJsonObject& arguments, const Completion& completion) {
    const auto path = pathArgument(arguments, QStringLiteral("path"));
    if (!path) return completion(missingPath(QStringLiteral("path")));
    const QJsonValue data = arguments.value(QStringLiteral("data"));
    if (!data.isString()) return completion(VantrelError(QStringLiteral("Cannot encode data")));
    const bool append = arguments.value(QStringLiteral("options")).toObject().value(QStringLiteral("append")).toBool(false);

    // The folder as the kernel resolves it (links and ".." included); a
    // missing one is made first, with its own missing parents.
    const qsizetype slash = path->lastIndexOf(QLatin1Char('/'));
    const QString base = slash < 0 ? *path : path->mid(slash + 1);
    const QString folder = slash < 0 ? QStringLiteral(".") : slash == 0 ? QStringLiteral("/") : path->left(slash);
    if (base.isEmpty() || base == QLatin1String(".") || base == QLatin1String("..")) {
        return completion(systemError(QStringLiteral("Cannot open file for writing"), *path, EISDIR));
    }
    struct stat folderInfo {};
    const bool folderExists = ::stat(native(folder).constData(), &folderInfo) == 0;
    if ((folderExists && !S_ISDIR(folderInfo.st_mode)) || (!folderExists && !QDir().mkpath(folder))) {
        return completion(VantrelError(QStringLiteral("Cannot create intermediate directories for path: ") + *path));
    }
    char resolvedFolder[PATH_MAX];
    if (!::realpath(native(folder).constData(), resolvedFolder)) {
        return completion(VantrelError(QStringLiteral("Cannot create intermediate directories for path: ") + *path));
    }
    QString target = QFile::decodeName(resolvedFolder) + QLatin1Char('/') + base;
    // A link is written through: its target gets the new contents.
    if (QFileInfo(target).isSymLink()) {
        char resolved[PATH_MAX];
        const QString linked = ::realpath(native(target).constData(), resolved) ? QFile::decodeName(resolved) : QFileInfo(target).symLinkTarget();
        if (!linked.isEmpty()) target = linked;
    }
    const QFileInfo info(target);
    if (info.isDir()) return completion(systemError(QStringLiteral("Cannot open file for writing"), *path, EISDIR));
    QByteArray contents;
    if (append && info.exists()) {
        QFile existing(target);
        if (!existing.open(QIODevice::ReadOnly)) {
            return completion(VantrelError(QStringLiteral("Cannot open file for writing at path: ") + *path));
        }
        contents = existing.readAll();
    }
    contents += data.toString().toUtf8();

    QSaveFile file(target);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) {
        return completion(VantrelError((info.exists() ? QStringLiteral("Cannot open file for writing at path: ")
                                                      : QStringLiteral("Cannot create file at path: ")) +
                                       *path));
    }
    if (file.write(contents) != contents.size() || !file.commit()) {
        return completion(VantrelError(QStringLiteral("Cannot open file for writing at path: ") + *path + QStringLiteral(": ") + file.errorString()));
    }
    completion(QJsonValue());
}

void CommandAPI::exists(const QJsonObject& arguments, const Completion& completion) {
    const auto path = pathArgument(arguments, QStringLiteral("path"));
    if (!path) return completion(missingPath(QStringLiteral("path")));
    completion(QJsonValue(lexists(*path)));
}

void CommandAPI::copy(const QJsonObject& arguments, const Completion& completion) {
    const auto from = pathArgument(arguments, QStringLiteral("fromPath"));
    if (!from) return completion(missingPath(QStringLiteral("fromPath")));
    const auto to = pathArgument(arguments, QStringLiteral("toPath"));
    if (!to) return completion(missingPath(QStringLiteral("toPath")));
    const bool overwrite = arguments.value(QStringLiteral("options")).toObject().value(QStringLiteral("overwrite")).toBool(false);
    if (!lexists(*from)) return completion(VantrelError(QStringLiteral("File doesn't exist at path: ") + *from));
    if (lexists(*to)) {
        if (!overwrite) {
            return completion(VantrelError(QStringLiteral("Item already exists and overwrite option is disabled at path: ") + *to));
        }
        int error = 0;
        if (!removeItem(*to, &error)) return completion(systemError(QStringLiteral("Cannot remove item"), *to, error));
    }
    QString failure;
    if (!copyItem(*from, *to, &failure)) {
        // A folder copied half way is taken away again.
        int ignored = 0;
        if (QFileInfo(*from).isDir() && !QFileInfo(*from).isSymLink()) removeItem(*to, &ignored);
        return completion(VantrelError(failure));
    }
    completion(QJsonValue());
}

void CommandAPI::rename(const QJsonObject& arguments, const Completion& completion) {
    const auto from = pathArgument(arguments, QStringLiteral("oldPath"));
    if (!from) return completion(missingPath(QStringLiteral("oldPath")));
    const auto to = pathArgument(arguments, QStringLiteral("newPath"));
    if (!to) return completion(missingPath(QStringLiteral("newPath")));
    if (!lexists(*from)) return completion(VantrelError(QStringLiteral("File doesn't exist at path: ") + *from));
    // Like moving an item: an existing destination is never replaced.
    if (lexists(*to)) return completion(systemError(QStringLiteral("Cannot rename item"), *to, EEXIST));
    if (::rename(native(*from).constData(), native(*to).constData()) != 0) {
        return completion(systemError(QStringLiteral("Cannot rename item"), *from, errno));
    }
    completion(QJsonValue());
}

void CommandAPI::remove(const QJsonObject& arguments, const Completion& completion) {
    const auto path = pathArgument(arguments, QStringLiteral("path"));
    if (!path) return completion(missingPath(QStringLiteral("path")));
    if (!lexists(*path)) return completion(VantrelError(QStringLiteral("File doesn't exist at path: ") + *path));
    int error = 0;
    if (!removeItem(*path, &error)) return completion(systemError(QStringLiteral("Cannot remove item"), *path, error));
    completion(QJsonValue());
}

void CommandAPI::stat(const QJsonObject& arguments, const Completion& completion) {
    const auto path = pathArgument(arguments, QStringLiteral("path"));
    if (!path) return completion(missingPath(QStringLiteral("path")));
    struct stat info {};
    if (!lexists(*path, &info)) return completion(VantrelError(QStringLiteral("File doesn't exist at path: ") + *path));
    QString type;
    if (S_ISREG(info.st_mode)) {
        type = QStringLiteral("File");
    } else if (S_ISDIR(info.st_mode)) {
        type = QStringLiteral("Directory");
    } else if (S_ISLNK(info.st_mode)) {
        type = QStringLiteral("Symlink");
    } else {
        return completion(VantrelError(QStringLiteral("Unknown file type")));
    }
    const QFileInfo file(*path);
    // The link's own times, not its target's.
    const QDateTime modified = QDateTime::fromSecsSinceEpoch(info.st_mtim.tv_sec).addMSecs(info.st_mtim.tv_nsec / 1000000);
    const QDateTime created = file.isSymLink() ? QDateTime() : file.birthTime();
    completion(QJsonValue(QJsonObject{{QStringLiteral("fileType"), type},
                                      {QStringLiteral("size"), static_cast<double>(info.st_size)},
                                      {QStringLiteral("creationDate"), dateValue(created)},
                                      {QStringLiteral("modificationDate"), dateValue(modified)},
                                      {QStringLiteral("isFile"), type == QLatin1String("File")},
                                      {QStringLiteral("isDirectory"), type == QLatin1String("Directory")},
                                      {QStringLiteral("isSymlink"), type == QLatin1String("Symlink")}}));
}

void CommandAPI::makeDirectory(const QJsonObject& arguments, const Completion& completion) {
    const auto path = pathArgument(arguments, QStringLiteral("path"));
    if (!path) return completion(missingPath(QStringLiteral("path")));
    struct stat info {};
    if (lexists(*path, &info) && !S_ISDIR(info.st_mode)) {
        return completion(systemError(QStringLiteral("Cannot create directory"), *path, EEXIST));
    }
    if (!QDir().mkpath(*path)) return completion(VantrelError(QStringLiteral("Cannot create directory at path: ") + *path));
    completion(QJsonValue());
}

void CommandAPI::readDirectory(const QJsonObject& arguments, const Completion& completion) {
    const auto path = pathArgument(arguments, QStringLiteral("path"));
    if (!path) return completion(missingPath(QStringLiteral("path")));
    if (!QFileInfo::exists(*path) && !lexists(*path)) return completion(VantrelError(QStringLiteral("File doesn't exist at path: ") + *path));
    DIR* dir = ::opendir(native(*path).constData());
    if (!dir) return completion(systemError(QStringLiteral("Cannot read directory"), *path, errno));
    QStringList names;
    while (const dirent* entry = ::readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name != QLatin1String(".") && name != QLatin1String("..")) names << name;
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    completion(QJsonValue(QJsonArray::fromStringList(names)));
}

}  // namespace vantrel::extensions
