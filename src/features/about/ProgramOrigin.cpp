#include "features/about/ProgramOrigin.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace vantrel {

namespace {

// Whether the package database's tool names a package owning the file.
bool ownedBy(const char* tool, const QStringList& arguments) {
    const QString program = QStandardPaths::findExecutable(QString::fromLatin1(tool));
    if (program.isEmpty()) return false;
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(1000);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 &&
           !process.readAllStandardOutput().trimmed().isEmpty();
}

}  // namespace

ProgramOrigin ProgramOrigin::current() {
    return ofExecutable(QCoreApplication::applicationFilePath());
}

ProgramOrigin ProgramOrigin::ofExecutable(const QString& path) {
#ifdef VANTREL_DISTRIBUTION_PACKAGE
    (void)path;
    return {QStringLiteral("the distribution's package")};
#else
    const QByteArray forced = qgetenv("VANTREL_PACKAGED");
    if (forced == "1") return {QStringLiteral("the distribution's package")};
    if (forced == "0") return {};
    if (QFileInfo::exists(QStringLiteral("/.flatpak-info"))) return {QStringLiteral("Flatpak")};
    if (!qEnvironmentVariable("SNAP").isEmpty()) return {QStringLiteral("Snap")};
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty()) return {};
    const bool systemPlace = (canonical.startsWith(QLatin1String("/usr/")) &&
                              !canonical.startsWith(QLatin1String("/usr/local/"))) ||
                             canonical.startsWith(QLatin1String("/opt/"));
    if (!systemPlace) return {};
    // With /usr merged, dpkg may know the file by its old place (/bin/ls).
    const QString unmerged = canonical.startsWith(QLatin1String("/usr/")) ? canonical.mid(4) : canonical;
    if (ownedBy("dpkg-query", {QStringLiteral("-S"), canonical}) ||
        (unmerged != canonical && ownedBy("dpkg-query", {QStringLiteral("-S"), unmerged})))
        return {QStringLiteral("a Debian package")};
    if (ownedBy("rpm", {QStringLiteral("-qf"), canonical})) return {QStringLiteral("an RPM package")};
    if (ownedBy("pacman", {QStringLiteral("-Qo"), canonical})) return {QStringLiteral("a pacman package")};
    return {};
#endif
}

}  // namespace vantrel
