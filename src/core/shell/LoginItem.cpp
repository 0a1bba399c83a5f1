#include "core/shell/LoginItem.h"

#include "kit/DesktopExec.h"
#include "kit/Logger.h"
#include "kit/Paths.h"
#include "kit/Settings.h"
#include "kit/UserDefaults.h"
#include "kit/VantrelError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("LoginItem"), QStringLiteral("🔑")});
    return logger;
}

bool isOnMainThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

}  // namespace

QString LoginItem::entryPath() {
    return QDir(Paths::autostartDir()).filePath(QStringLiteral("vantrel.desktop"));
}

QString LoginItem::launchCommand(const QString& executable) {
    const QString installed = QStandardPaths::findExecutable(QStringLiteral("vantrel"));
    if (!installed.isEmpty()) {
        const QString ours = QFileInfo(executable).canonicalFilePath();
        if (!ours.isEmpty() && QFileInfo(installed).canonicalFilePath() == ours) return QStringLiteral("vantrel");
    }
    return executable;
}

QString LoginItem::entryContents(const QString& executable) {
    return QStringLiteral(
               "[Desktop Entry]\n"
               "Type=Application\n"
               "Name=Vantrel\n"
               "Comment=Keyboard launcher\n"
               "Exec=%1 --background %2\n"
               "Icon=vantrel\n"
               "Terminal=false\n"
               "NoDisplay=true\n"
               "X-GNOME-Autostart-enabled=true\n")
        .arg(desktopExecArgument(executable), QString(launcherArgument));
}

bool LoginItem::isEnabled() {
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QStringList lines = QString::fromUtf8(file.read(1024 * 1024)).split(QLatin1Char('\n'));
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line == QLatin1String("Hidden=true") || line == QLatin1String("X-GNOME-Autostart-enabled=false"))
            return false;
    }
    return true;
}

void LoginItem::setEnabled(bool enabled, const QString& executable) {
    const QString path = entryPath();
    if (!enabled) {
        if (QFile::exists(path) && !QFile::remove(path))
            throw VantrelError(QStringLiteral("Cannot remove the autostart entry: ") + path);
        log().info("Login item removed", {{QStringLiteral("path"), path}});
        return;
    }
    if (!QDir::isAbsolutePath(executable))
        throw VantrelError(QStringLiteral("The launcher's path is not absolute: ") + executable);
    if (!Paths::ensureDir(Paths::autostartDir()))
        throw VantrelError(QStringLiteral("Cannot create the autostart folder: ") + Paths::autostartDir());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw VantrelError(QStringLiteral("Cannot write the autostart entry: ") + file.errorString());
    file.write(entryContents(launchCommand(executable)).toUtf8());
    if (!file.commit()) throw VantrelError(QStringLiteral("Cannot write the autostart entry: ") + file.errorString());
    log().info("Login item installed", {{QStringLiteral("path"), path}});
}

bool LoginItem::installOnce(UserDefaults& defaults, const QString& executable) {
    if (!isOnMainThread()) {
        log().error("Installing login items on non-main thread");
        return false;
    }
    const UserDefaultsValue<bool> installed(QString(autoInstalledKey), false, &defaults);
    if (installed.value()) return false;
    try {
        setEnabled(true, executable);
    } catch (const std::exception& error) {
        log().error(QStringLiteral("Cannot install the login item: ") + VantrelError::describe(error));
        return false;
    }
    installed.setValue(true);
    return true;
}

QString LoginItem::entryProgram() {
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly)) return {};
    for (const QString& raw : QString::fromUtf8(file.read(1024 * 1024)).split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (!line.startsWith(QLatin1String("Exec="))) continue;
        // The key file's own escapes first, then the Exec quoting.
        QString value = line.mid(5);
        value.replace(QLatin1String("\\\\"), QLatin1String("\\"));
        if (!value.startsWith(QLatin1Char('"')))
            return value.section(QLatin1Char(' '), 0, 0).replace(QLatin1String("%%"), QLatin1String("%"));
        QString program;
        for (qsizetype i = 1; i < value.size(); ++i) {
            const QChar c = value.at(i);
            if (c == QLatin1Char('\\') && i + 1 < value.size()) {
                program += value.at(++i);
            } else if (c == QLatin1Char('"')) {
                break;
            } else {
                program += c;
            }
        }
        return program.replace(QLatin1String("%%"), QLatin1String("%"));
    }
    return {};
}

bool LoginItem::repairIfStale(const QString& executable) {
    if (!QFile::exists(entryPath()) || !isEnabled() || executable.isEmpty()) return false;
    const QString program = entryProgram();
    const bool present = QDir::isAbsolutePath(program) ? QFileInfo(program).isExecutable()
                                                       : !program.isEmpty() && !QStandardPaths::findExecutable(program).isEmpty();
    if (present) return false;
    try {
        setEnabled(true, executable);
    } catch (const std::exception& error) {
        log().error(QStringLiteral("Cannot repair the login item: ") + VantrelError::describe(error));
        return false;
    }
    log().info("Repaired the login item: its program is gone",
               {{QStringLiteral("was"), program}, {QStringLiteral("now"), launchCommand(executable)}});
    return true;
}

}  // namespace vantrel
