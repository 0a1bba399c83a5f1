#include "kit/Paths.h"

#include <QDir>
#include <QFileInfo>

namespace vantrel::Paths {

namespace {

QString baseDir(const char* variable, const char* fallbackBelowHome) {
    const QString value = qEnvironmentVariable(variable);
    // The base-directory specification ignores relative paths.
    if (!value.isEmpty() && QDir::isAbsolutePath(value)) return QDir::cleanPath(value);
    return QDir::cleanPath(QDir::homePath() + QLatin1Char('/') + QLatin1String(fallbackBelowHome));
}

QString appDir(const char* variable, const char* fallbackBelowHome) {
    return baseDir(variable, fallbackBelowHome) + QLatin1Char('/') + QLatin1String(kAppFolder);
}

}  // namespace

QString dataDir() { return appDir("XDG_DATA_HOME", ".local/share"); }
QString cacheDir() { return appDir("XDG_CACHE_HOME", ".cache"); }
QString configDir() { return appDir("XDG_CONFIG_HOME", ".config"); }
QString stateDir() { return appDir("XDG_STATE_HOME", ".local/state"); }
QString settingsFile() { return configDir() + QStringLiteral("/vantrel.conf"); }
QString logFile() { return stateDir() + QStringLiteral("/vantrel.log"); }
QString databaseFile() { return dataDir() + QStringLiteral("/vantrel-enc.sqlite"); }
QString autostartDir() { return baseDir("XDG_CONFIG_HOME", ".config") + QStringLiteral("/autostart"); }

bool ensureDir(const QString& path) {
    QFileInfo info(path);
    if (info.isDir()) return true;
    if (info.exists()) return false;
    QDir dir;
    if (!dir.mkpath(path)) return false;
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return true;
}

}  // namespace vantrel::Paths
