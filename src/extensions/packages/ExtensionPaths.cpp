#include "extensions/packages/ExtensionPaths.h"

#include "kit/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace vantrel::ExtensionPaths {

QString extensionsDir() {
    return Paths::dataDir() + QStringLiteral("/extensions");
}

QString resourcesDir() {
    const QString fromEnvironment = qEnvironmentVariable("VANTREL_RESOURCES_DIR");
    if (!fromEnvironment.isEmpty()) return QDir::cleanPath(fromEnvironment);
    if (QCoreApplication::instance()) {
        const QString installed =
            QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/vantrel"));
        if (QFileInfo(installed + QStringLiteral("/api")).isDir()) return installed;
    }
    return QStringLiteral(VANTREL_SOURCE_RESOURCES_DIR);
}

QString apiDir() {
    return resourcesDir() + QStringLiteral("/api");
}

QString apiScript() {
    return apiDir() + QStringLiteral("/index.js");
}

QString templatesDir() {
    return resourcesDir() + QStringLiteral("/templates");
}

}  // namespace vantrel::ExtensionPaths
