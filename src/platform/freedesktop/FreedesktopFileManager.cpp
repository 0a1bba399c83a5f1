#include "platform/freedesktop/FreedesktopFileManager.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QUrl>

namespace vantrel {

FileManager::Outcome FreedesktopFileManager::showItems(const QStringList& paths, QString* error) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return Outcome::unreachable;
    QStringList uris;
    for (const QString& path : paths) uris << QUrl::fromLocalFile(path).toString();
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    // The second argument is the startup id, for focus-stealing prevention: none.
    call << uris << QString();
    const QDBusMessage reply = bus.call(call, QDBus::Block, 3000);
    if (reply.type() == QDBusMessage::ReplyMessage) return Outcome::shown;
    if (error) *error = reply.errorMessage();
    return Outcome::notAnswered;
}

}  // namespace vantrel
