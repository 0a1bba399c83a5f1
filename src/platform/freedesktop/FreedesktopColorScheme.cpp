#include "platform/freedesktop/FreedesktopColorScheme.h"

#include "kit/Logger.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <memory>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("ColorScheme"), QStringLiteral("🎨")});
    return logger;
}

// org.freedesktop.appearance color-scheme: 0 no preference, 1 dark, 2 light.
std::optional<ColorScheme> portalScheme(const QDBusMessage& reply) {
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

std::optional<ColorScheme> gsettingsScheme(const QByteArray& output) {
    const QString answer = QString::fromUtf8(output).trimmed();
    if (answer.contains(QLatin1String("prefer-dark"))) return ColorScheme::dark;
    if (answer.contains(QLatin1String("prefer-light"))) return ColorScheme::light;
    return std::nullopt;
}

// One question to the desktop: the portal first, then gsettings. It lives on
// the asking thread and deletes itself after answering once.
class ColorSchemeRequest : public QObject {
public:
    ColorSchemeRequest(QString busAddress, ColorSchemeSource::Answer answer)
        : m_busAddress(std::move(busAddress)), m_answer(std::move(answer)) {}

    void start() {
        QDBusConnection bus =
            m_busAddress.isEmpty()
                ? QDBusConnection::sessionBus()
                : QDBusConnection::connectToBus(m_busAddress, QStringLiteral("vantrel-color-scheme ") + m_busAddress);
        if (!bus.isConnected()) {
            askGsettings();
            return;
        }
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
            QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("Read"));
        call << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme");
        auto* watcher =
            new QDBusPendingCallWatcher(bus.asyncCall(call, FreedesktopColorScheme::kPortalTimeoutMs), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
            finished->deleteLater();
            const QDBusMessage reply = finished->reply();
            if (reply.type() == QDBusMessage::ReplyMessage) {
                // The portal answered; "no preference" is an answer too.
                finish(portalScheme(reply));
                return;
            }
            log().debug("The desktop portal gave no colour scheme", {{QStringLiteral("error"), reply.errorMessage()}});
            askGsettings();
        });
    }

private:
    void askGsettings() {
        const QString gsettings = QStandardPaths::findExecutable(QStringLiteral("gsettings"));
        if (gsettings.isEmpty()) {
            finish(std::nullopt);
            return;
        }
        auto* process = new QProcess(this);
        connect(process, &QProcess::finished, this, [this, process](int exitCode, QProcess::ExitStatus status) {
            finish(status == QProcess::NormalExit && exitCode == 0 ? gsettingsScheme(process->readAllStandardOutput())
                                                                  : std::nullopt);
        });
        connect(process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart) finish(std::nullopt);
        });
        QTimer::singleShot(FreedesktopColorScheme::kGsettingsTimeoutMs, this, [this, process] {
            if (process->state() == QProcess::NotRunning) return;
            log().warning("gsettings did not answer in time");
            finish(std::nullopt);
        });
        process->start(gsettings, {QStringLiteral("get"), QStringLiteral("org.gnome.desktop.interface"),
                                   QStringLiteral("color-scheme")});
    }

    void finish(std::optional<ColorScheme> scheme) {
        if (m_answered) return;
        m_answered = true;
        // The answer may start another request; this one goes once it is out.
        deleteLater();
        if (m_answer) m_answer(scheme);
    }

    QString m_busAddress;
    ColorSchemeSource::Answer m_answer;
    bool m_answered = false;
};

}  // namespace

void FreedesktopColorScheme::requestColorScheme(Answer answer) {
    auto* request = new ColorSchemeRequest(m_busAddress, std::move(answer));
    // Started from the event loop, so that the answer never comes before this returns.
    QTimer::singleShot(0, request, [request] { request->start(); });
}

}  // namespace vantrel
