#include "platform/shortcuts/PortalGlobalShortcuts.h"

#include "kit/Logger.h"
#include "platform/shortcuts/ShortcutKeys.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QTimer>

#include <memory>

namespace vantrel::portal {

// One shortcut as the portal takes it: "(sa{sv})".
struct Shortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const Shortcut& shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Shortcut& shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

// Receives the Response signal of one request object.
class Request : public QObject {
    Q_OBJECT

public:
    using Answer = std::function<void(uint, const QVariantMap&)>;
    Request(Answer answer, QObject* parent) : QObject(parent), m_answer(std::move(answer)) {}

public slots:
    void response(uint code, const QVariantMap& results) {
        if (m_answer) {
            auto answer = std::move(m_answer);
            m_answer = nullptr;
            answer(code, results);
        }
        deleteLater();
    }

private:
    Answer m_answer;
};

}  // namespace vantrel::portal

Q_DECLARE_METATYPE(vantrel::portal::Shortcut)

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Portal"), QStringLiteral("⌨️")});
    return logger;
}

void registerTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<portal::Shortcut>();
        qDBusRegisterMetaType<QList<portal::Shortcut>>();
        return true;
    }();
    (void)registered;
}

QString responseText(uint code) {
    return code == 1 ? QStringLiteral("The request was cancelled") : QStringLiteral("The portal refused the request");
}

}  // namespace

PortalGlobalShortcuts::PortalGlobalShortcuts(std::optional<QDBusConnection> bus, QObject* parent)
    : QObject(parent), m_bus(bus ? *bus : QDBusConnection::sessionBus()) {
    registerTypes();
}

PortalGlobalShortcuts::~PortalGlobalShortcuts() = default;

void PortalGlobalShortcuts::checkAvailability(Availability answer, int timeoutMs) {
    if (!m_bus.isConnected()) {
        answer(false, QStringLiteral("No session bus"));
        return;
    }
    QDBusMessage message =
        QDBusMessage::createMethodCall(QString::fromLatin1(service), QString::fromLatin1(path),
                                       QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    message.setArguments({QString::fromLatin1(interface), QStringLiteral("version")});
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, timeoutMs), this);
    auto shared = std::make_shared<Availability>(std::move(answer));
    // The bus answers within the timeout with a reply or an error.
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [shared](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *call;
        if (reply.isError()) {
            log().info("The desktop portal offers no global shortcuts",
                       {{QStringLiteral("reason"), reply.error().message()}});
            (*shared)(false, reply.error().message());
            return;
        }
        const uint version = reply.value().variant().toUInt();
        log().info("The desktop portal offers global shortcuts", {{QStringLiteral("version"), QString::number(version)}});
        (*shared)(version >= 1, version >= 1 ? QString() : QStringLiteral("Unknown portal version"));
    });
}

QString PortalGlobalShortcuts::nextToken() {
    return QStringLiteral("vantrel%1_%2").arg(quintptr(this) & 0xffff).arg(++m_tokens);
}

QString PortalGlobalShortcuts::requestPath(const QString& token) const {
    QString sender = m_bus.baseService();
    if (sender.startsWith(QLatin1Char(':'))) sender.remove(0, 1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}

void PortalGlobalShortcuts::request(
    const QString& method, const QList<QVariant>& arguments, const QString& token,
    std::function<void(uint response, const QVariantMap& results, const QString& error)> answered) {
    auto shared = std::make_shared<decltype(answered)>(std::move(answered));
    // Subscribed before the call, so that a quick Response is not missed.
    auto* request = new portal::Request(
        [shared](uint code, const QVariantMap& results) { (*shared)(code, results, QString()); }, this);
    const QString objectPath = requestPath(token);
    m_bus.connect(QString::fromLatin1(service), objectPath, QStringLiteral("org.freedesktop.portal.Request"),
                  QStringLiteral("Response"), request, SLOT(response(uint, QVariantMap)));
    QDBusMessage message = QDBusMessage::createMethodCall(QString::fromLatin1(service), QString::fromLatin1(path),
                                                          QString::fromLatin1(interface), method);
    message.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, shared, request, objectPath](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                if (!call->isError()) return;
                m_bus.disconnect(QString::fromLatin1(service), objectPath,
                                 QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"), request,
                                 SLOT(response(uint, QVariantMap)));
                request->deleteLater();
                (*shared)(2, {}, call->error().message());
            });
}

void PortalGlobalShortcuts::bind(const QString& id, const QString& description, const KeyCombination& preferred,
                                 std::function<void()> activated, Completion done) {
    auto finished = std::make_shared<Completion>(std::move(done));
    m_activated = std::move(activated);
    m_shortcutId = id;
    const QString sessionToken = nextToken();
    const QString createToken = nextToken();
    const QVariantMap options{{QStringLiteral("handle_token"), createToken},
                              {QStringLiteral("session_handle_token"), sessionToken}};
    request(QStringLiteral("CreateSession"), {options}, createToken,
            [this, id, description, preferred, finished](uint code, const QVariantMap& results, const QString& error) {
                if (code != 0) {
                    (*finished)(false, error.isEmpty() ? responseText(code) : error);
                    return;
                }
                m_session = results.value(QStringLiteral("session_handle")).toString();
                if (m_session.isEmpty()) {
                    (*finished)(false, QStringLiteral("The portal gave no session"));
                    return;
                }
                m_bus.connect(QString::fromLatin1(service), QString::fromLatin1(path), QString::fromLatin1(interface),
                              QStringLiteral("Activated"), this,
                              SLOT(activatedSignal(QDBusObjectPath, QString, qulonglong, QVariantMap)));
                QVariantMap properties{{QStringLiteral("description"), description}};
                if (const auto trigger = shortcutkeys::portalTrigger(preferred))
                    properties.insert(QStringLiteral("preferred_trigger"), *trigger);
                const QList<portal::Shortcut> shortcuts{{id, properties}};
                const QString bindToken = nextToken();
                request(QStringLiteral("BindShortcuts"),
                        {QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(shortcuts), QString(),
                         QVariantMap{{QStringLiteral("handle_token"), bindToken}}},
                        bindToken, [this, finished](uint bound, const QVariantMap&, const QString& failure) {
                            m_bound = bound == 0;
                            log().info(m_bound ? "Bound the toggle through the desktop portal"
                                               : "The desktop portal did not bind the toggle",
                                       {{QStringLiteral("response"), QString::number(bound)}});
                            (*finished)(m_bound, m_bound ? QString()
                                                         : (failure.isEmpty() ? responseText(bound) : failure));
                        });
            });
}

void PortalGlobalShortcuts::activatedSignal(const QDBusObjectPath& session, const QString& shortcutId, qulonglong,
                                            const QVariantMap&) {
    if (session.path() != m_session || shortcutId != m_shortcutId) return;
    if (m_activated) m_activated();
}

}  // namespace vantrel

#include "PortalGlobalShortcuts.moc"
