#include "features/about/ProgramDocuments.h"

#include "kit/VantrelError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vantrel::ProgramDocuments {

QStringList searchFolders() {
    QStringList folders;
    const QString overridden = qEnvironmentVariable("VANTREL_DOC_DIR");
    if (!overridden.isEmpty()) folders << overridden;
    const QString binary = QCoreApplication::applicationDirPath();
    if (!binary.isEmpty()) folders << QDir::cleanPath(binary + QStringLiteral("/../share/vantrel/doc"));
    return folders;
}

QString find(const QString& fileName) {
    for (const QString& folder : searchFolders()) {
        const QString path = QDir(folder).filePath(fileName);
        if (QFileInfo(path).isFile()) return path;
    }
    return {};
}

QString read(const QString& fileName) {
    const QString path = find(fileName);
    if (path.isEmpty())
        throw VantrelError(QStringLiteral("The program's %1 is not installed; looked in: %2")
                               .arg(fileName, searchFolders().join(QStringLiteral(", "))));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw VantrelError(QStringLiteral("Cannot read '%1': %2").arg(path, file.errorString()));
    // The documents are small; anything past a few megabytes is not ours.
    constexpr qint64 kMaxBytes = 4 * 1024 * 1024;
    if (file.size() > kMaxBytes) throw VantrelError(QStringLiteral("'%1' is too large to show").arg(path));
    return QString::fromUtf8(file.readAll());
}

}  // namespace vantrel::ProgramDocuments
