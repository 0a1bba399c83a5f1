#include "features/extensions/DesktopAppManager.h"

#include "kit/VantrelError.h"
#include "platform/DesktopServices.h"
#include "platform/FileManager.h"
#include "platform/Platform.h"
#include "platform/SystemClipboard.h"

#include <QClipboard>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QStandardPaths>

namespace vantrel {

namespace {

// The Name and Hidden keys of a desktop entry's main group.
struct EntryName {
    QString name;
    bool hidden = false;
};

EntryName readEntryName(const QString& path) {
    EntryName out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return out;
    bool inEntry = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            if (inEntry) break;
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inEntry) continue;
        if (line.startsWith(QLatin1String("Name="))) out.name = line.mid(5).trimmed();
        if (line == QLatin1String("Hidden=true")) out.hidden = true;
    }
    return out;
}

QUrl argumentUrl(const QString& argument) {
    if (argument.startsWith(QLatin1Char('/'))) return QUrl::fromLocalFile(argument);
    if (argument == QLatin1String("~") || argument.startsWith(QLatin1String("~/")))
        return QUrl::fromLocalFile(QDir::homePath() + argument.mid(1));
    return QUrl(argument, QUrl::StrictMode);
}

}  // namespace

void DesktopAppManager::openURL(const QUrl& url) { openOnDesktop(url); }

void DesktopAppManager::openFile(const QString& path) { openTextOnDesktop(path); }

QString DesktopAppManager::findApplication(const QString& name) {
    const std::shared_ptr<DesktopServices> desktop = platform().desktop;
    if (desktop) {
        const QString id = name.endsWith(QLatin1String(".desktop")) ? name : name + QStringLiteral(".desktop");
        if (const QString path = desktop->desktopFilePathForId(id); !path.isEmpty()) return path;
    }
    // The data folders in their order: the user's own entries come first.
    for (const QString& folder : QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation)) {
        QDirIterator entries(folder, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
        QStringList paths;
        while (entries.hasNext()) paths << entries.next();
        paths.sort();
        for (const QString& path : paths) {
            const EntryName entry = readEntryName(path);
            if (!entry.hidden && entry.name.compare(name, Qt::CaseInsensitive) == 0) return path;
        }
    }
    return {};
}

void DesktopAppManager::openApplication(const QString& name, const QStringList& arguments) {
    const QString path = findApplication(name);
    if (path.isEmpty()) throw VantrelError(QStringLiteral("No application named '%1'").arg(name));
    QList<QUrl> urls;
    for (const QString& argument : arguments) urls << argumentUrl(argument);
    launchOnDesktop(path, urls);
}

void DesktopAppManager::showInFileManager(const QStringList& paths, std::function<void(std::optional<QString> failure)> done) {
    const std::shared_ptr<FileManager> manager = platform().fileManager;
    if (paths.size() == 1 || !manager) {
        vantrel::showInFileManager(paths.first(), std::move(done));
        return;
    }
    manager->showItems(paths, [paths, done = std::move(done)](FileManager::Outcome outcome, const QString&) mutable {
        if (outcome == FileManager::Outcome::shown) return done(std::nullopt);
        // Without a file manager that answers, the first file's folder opens.
        vantrel::showInFileManager(paths.first(), std::move(done));
    });
}

SystemClipboard* DesktopAppManager::platformClipboard() {
    if (!m_clipboard && platform().makeClipboard) m_clipboard = platform().makeClipboard();
    return m_clipboard.get();
}

void DesktopAppManager::setClipboardText(const QString& text) {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        QGuiApplication::clipboard()->setText(text);
        return;
    }
    SystemClipboard* clipboard = platformClipboard();
    if (!clipboard || !clipboard->write({ClipboardFormat{QStringLiteral("text/plain"), text.toUtf8()}})) {
        throw VantrelError(QStringLiteral("Cannot write to the clipboard here"));
    }
}

void DesktopAppManager::clearClipboard() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        QGuiApplication::clipboard()->clear();
        return;
    }
    SystemClipboard* clipboard = platformClipboard();
    if (!clipboard || !clipboard->write({})) throw VantrelError(QStringLiteral("Cannot write to the clipboard here"));
}

}  // namespace vantrel
