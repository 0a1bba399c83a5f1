#include "core/shell/AppRouter.h"

#include "kit/Logger.h"
#include "kit/VantrelError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrlQuery>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("AppRouter"), QStringLiteral("🧭")});
    return logger;
}

QString dataHome() {
    const QByteArray value = qgetenv("XDG_DATA_HOME");
    if (!value.isEmpty()) return QString::fromLocal8Bit(value);
    return QDir::home().filePath(QStringLiteral(".local/share"));
}

// Writes `contents` to `path` unless it already holds exactly that.
bool writeIfChanged(const QString& path, const QByteArray& contents) {
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == contents) return false;
    existing.close();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        throw VantrelError(QStringLiteral("Cannot create the folder of ") + path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size() || !file.commit())
        throw VantrelError(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    return true;
}

}  // namespace

AppRouter::AppRouter(Routes routes) : m_routes(std::move(routes)) {}

AppRouter::Result AppRouter::route(const QUrl& url, CommandOutcome* outcome) const {
    const auto unhandled = [&url] {
        log().warning("Unhandled Vantrel URL scheme call", {{QStringLiteral("url"), url.toString()}});
        return Result::unhandled;
    };
    if (!url.isValid() || url.scheme() != scheme) return unhandled();
    const QString host = url.host();
    // Split before decoding: a segment may hold an escaped slash (the id of a
    // script command is its path: vantrel://commands/vantrelScript_%2Fhome%2F…).
    QStringList path = url.path(QUrl::FullyEncoded).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (QString& segment : path) segment = QUrl::fromPercentEncoding(segment.toUtf8());
    const auto call = [&](const std::function<void()>& action) {
        if (!action || !path.isEmpty()) return unhandled();
        log().info("Routing Vantrel URL", {{QStringLiteral("url"), url.toString()}});
        action();
        return Result::handled;
    };
    if (host == QLatin1String("show")) return call(m_routes.showWindow);
    if (host == QLatin1String("hide")) return call(m_routes.hideWindow);
    if (host == QLatin1String("toggle")) return call(m_routes.toggleWindow);
    if (host == QLatin1String("preferences")) return call(m_routes.showPreferences);
    if (host == QLatin1String("commands") && path.size() == 1 && m_routes.runCommand) {
        const QStringList arguments =
            QUrlQuery(url).allQueryItemValues(QStringLiteral("arguments"), QUrl::FullyDecoded);
        log().info("Routing Vantrel URL", {{QStringLiteral("url"), url.toString()}});
        const CommandOutcome result = m_routes.runCommand(path.first(), arguments);
        if (outcome) *outcome = result;
        return Result::handled;
    }
    if (m_routes.featureRoute) {
        if (const std::optional<CommandOutcome> result = m_routes.featureRoute(url)) {
            log().info("Routing Vantrel URL", {{QStringLiteral("url"), url.toString()}});
            if (outcome) *outcome = *result;
            return Result::handled;
        }
    }
    return unhandled();
}

// MARK: DesktopIntegration

QString DesktopIntegration::desktopEntryPath() {
    return QDir(dataHome()).filePath(QStringLiteral("applications/vantrel.desktop"));
}

QString DesktopIntegration::iconPath() {
    return QDir(dataHome()).filePath(QStringLiteral("icons/hicolor/scalable/apps/vantrel.svg"));
}

QString DesktopIntegration::desktopEntryContents(const QString& executable) {
    QString program = executable;
    if (program.contains(QLatin1Char(' ')) || program.contains(QLatin1Char('"')))
        program = QLatin1Char('"') + program.replace(QLatin1Char('"'), QLatin1String("\\\\\"")) + QLatin1Char('"');
    return QStringLiteral(
               "[Desktop Entry]\n"
               "Type=Application\n"
               "Name=Vantrel\n"
               "GenericName=Launcher\n"
               "Comment=Find and open applications, commands and scripts from the keyboard\n"
               "Exec=%1 open %u\n"
               "Icon=vantrel\n"
               "Terminal=false\n"
               "Categories=Utility;\n"
               "MimeType=x-scheme-handler/vantrel;\n"
               "Keywords=launcher;search;run;\n"
               "StartupNotify=false\n")
        .arg(program);
}

QByteArray DesktopIntegration::iconSvg() {
    // The same drawing as resources/icons/vantrel.svg.
    return QByteArrayLiteral(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"128\" height=\"128\" viewBox=\"0 0 128 128\">\n"
        "  <defs>\n"
        "    <linearGradient id=\"bg\" x1=\"0\" y1=\"0\" x2=\"1\" y2=\"1\">\n"
        "      <stop offset=\"0\" stop-color=\"#5b6cff\"/>\n"
        "      <stop offset=\"1\" stop-color=\"#2a2f8f\"/>\n"
        "    </linearGradient>\n"
        "  </defs>\n"
        "  <rect x=\"8\" y=\"8\" width=\"112\" height=\"112\" rx=\"26\" fill=\"url(#bg)\"/>\n"
        "  <path d=\"M38 40 L64 88 L90 40\" fill=\"none\" stroke=\"#ffffff\" stroke-width=\"12\" "
        "stroke-linecap=\"round\" stroke-linejoin=\"round\"/>\n"
        "  <circle cx=\"64\" cy=\"40\" r=\"6\" fill=\"#ffd25a\"/>\n"
        "</svg>\n");
}

bool DesktopIntegration::install(const QString& executable) {
    bool changed = writeIfChanged(iconPath(), iconSvg());
    if (writeIfChanged(desktopEntryPath(), desktopEntryContents(executable).toUtf8())) {
        changed = true;
        log().info("Installed the desktop entry", {{QStringLiteral("path"), desktopEntryPath()}});
        const QString updater = QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
        if (!updater.isEmpty()) QProcess::startDetached(updater, {QFileInfo(desktopEntryPath()).absolutePath()});
    }
    return changed;
}

}  // namespace vantrel
