#include "platform/freedesktop/FreedesktopFileManager.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>
#include <QUrl>

namespace vantrel {

namespace {

// Sends the call and hands its answer to `completion` through the event loop.
void ask(QDBusConnection bus, const QDBusMessage& call, FileManager::Completion completion) {
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, FreedesktopFileManager::replyTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [completion = std::move(completion)](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         if (!completion) return;
                         if (finished->isError())
                             completion(FileManager::Outcome::notAnswered, finished->error().message());
                         else
                             completion(FileManager::Outcome::shown, QString());
                     });
}

// False (answered unreachable through the event loop) without a session bus.
bool reachable(const QDBusConnection& bus, FileManager::Completion& completion) {
    if (bus.isConnected()) return true;
    QTimer::singleShot(0, [completion = std::move(completion)] {
        if (completion) completion(FileManager::Outcome::unreachable, QString());
    });
    return false;
}

}  // namespace

void FreedesktopFileManager::showItems(const QStringList& paths, Completion completion) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!reachable(bus, completion)) return;
    QStringList uris;
    for (const QString& path : paths) uris << QUrl::fromLocalFile(path).toString();
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    // The second argument is the startup id, for focus-stealing prevention: none.
    call << uris << QString();
    ask(bus, call, std::move(completion));
}

void FreedesktopFileManager::previewItem(const QString& path, Completion completion) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!reachable(bus, completion)) return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.gnome.NautilusPreviewer"), QStringLiteral("/org/gnome/NautilusPreviewer"),
        QStringLiteral("org.gnome.NautilusPreviewer"), QStringLiteral("ShowFile"));
    // The file, the window to stay above (none), and whether a second call closes it.
    call << QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) << 0 << false;
    ask(bus, call, std::move(completion));
}

}  // namespace vantrel
