#include "extensions/packages/PackageFiles.h"

#include "kit/VantrelError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace vantrel::PackageFiles {

void copy(const QString& source, const QString& destination) {
    const QFileInfo info(source);
    if (info.isSymLink()) {
        // The link as written: a relative target stays relative.
        char target[4096];
        const ssize_t length = ::readlink(QFile::encodeName(source).constData(), target, sizeof target - 1);
        if (length < 0 || ::symlink(QByteArray(target, length).constData(), QFile::encodeName(destination).constData()) != 0)
            throw VantrelError(QStringLiteral("Could not copy link: ") + source);
        return;
    }
    if (info.isDir()) {
        if (!QDir().mkpath(destination)) throw VantrelError(QStringLiteral("Could not create folder: ") + destination);
        const QDir folder(source);
        for (const QString& name :
             folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name))
            copy(folder.filePath(name), destination + QLatin1Char('/') + name);
        return;
    }
    if (!info.isFile()) throw VantrelError(QStringLiteral("Not a file or folder: ") + source);
    if (!QFile::copy(source, destination)) throw VantrelError(QStringLiteral("Could not copy file: ") + source);
}

bool remove(const QString& path) {
    const QFileInfo info(path);
    if (info.isSymLink() || (info.exists() && !info.isDir())) return QFile::remove(path);
    if (!info.exists()) return true;
    return QDir(path).removeRecursively();
}

}  // namespace vantrel::PackageFiles
