#include "platform/freedesktop/FreedesktopFileManager.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>
#include <QUrl>

namespace vantrel {

void FreedesktopFileManager::showItems(const QStringList& paths, Completion completion) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        // Answered through the event loop all the same.
        QTimer::singleShot(0, [completion = std::move(completion)] {
            if (completion) completion(Outcome::unreachable, QString());
        });
        return;
    }
    QStringList uris;
    for (const QString& path : paths) uris << QUrl::fromLocalFile(path).toString();
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    // The second argument is the startup id, for focus-stealing prevention: none.
    call << uris << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, replyTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [completion = std::move(completion)](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         if (!completion) return;
                         if (finished->isError())
                             completion(Outcome::notAnswered, finished->error().message());
                         else
                             completion(Outcome::shown, QString());
                     });
}

}  // namespace vantrel
