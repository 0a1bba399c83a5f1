#include "platform/freedesktop/FreedesktopColorScheme.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>
#include <QStandardPaths>

namespace vantrel {

namespace {

// org.freedesktop.appearance color-scheme: 0 no preference, 1 dark, 2 light.
std::optional<ColorScheme> portalColorScheme(const QString& busAddress) {
    QDBusConnection bus = busAddress.isEmpty() ? QDBusConnection::sessionBus()
                                               : QDBusConnection::connectToBus(
                                                     busAddress, QStringLiteral("vantrel-color-scheme ") + busAddress);
    if (!bus.isConnected()) return std::nullopt;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("Read"));
    call << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme");
    const QDBusMessage reply = bus.call(call, QDBus::Block, 250);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
    QVariant value = reply.arguments().constFirst();
    // Read wraps the value in one variant more than ReadOne does.
    for (int depth = 0; depth < 3 && value.canConvert<QDBusVariant>(); ++depth) {
        value = value.value<QDBusVariant>().variant();
    }
    bool ok = false;
    const uint scheme = value.toUInt(&ok);
    if (!ok) return std::nullopt;
    if (scheme == 1) return ColorScheme::dark;
    if (scheme == 2) return ColorScheme::light;
    return std::nullopt;
}

std::optional<ColorScheme> gsettingsColorScheme() {
    const QString gsettings = QStandardPaths::findExecutable(QStringLiteral("gsettings"));
    if (gsettings.isEmpty()) return std::nullopt;
    QProcess process;
    process.start(gsettings, {QStringLiteral("get"), QStringLiteral("org.gnome.desktop.interface"),
                              QStringLiteral("color-scheme")});
    if (!process.waitForFinished(500)) {
        process.kill();
        process.waitForFinished(200);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) return std::nullopt;
    const QString answer = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    if (answer.contains(QLatin1String("prefer-dark"))) return ColorScheme::dark;
    if (answer.contains(QLatin1String("prefer-light"))) return ColorScheme::light;
    return std::nullopt;
}

}  // namespace

std::optional<ColorScheme> FreedesktopColorScheme::preferredColorScheme() const {
    if (auto portal = portalColorScheme(m_busAddress)) return portal;
    return gsettingsColorScheme();
}

}  // namespace vantrel
