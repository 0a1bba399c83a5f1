#pragma once

#include "platform/GlobalShortcutsPortal.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QVariantMap>

#include <optional>

namespace vantrel {

// The GlobalShortcuts interface of xdg-desktop-portal over D-Bus:
// CreateSession, then BindShortcuts on the session, each answered by the
// Response signal of its request object; presses arrive as Activated. The
// interface is there only when a portal back end implements it (KDE's and
// GNOME's do on Wayland; the GTK one does not), which the "version" property
// tells.
class PortalGlobalShortcuts : public QObject, public GlobalShortcutsPortal {
    Q_OBJECT

public:
    static constexpr const char* service = "org.freedesktop.portal.Desktop";
    static constexpr const char* path = "/org/freedesktop/portal/desktop";
    static constexpr const char* interface = "org.freedesktop.portal.GlobalShortcuts";

    // bus: default the session bus.
    explicit PortalGlobalShortcuts(std::optional<QDBusConnection> bus = std::nullopt, QObject* parent = nullptr);
    ~PortalGlobalShortcuts() override;

    void checkAvailability(Availability answer, int timeoutMs = 5000) override;
    void bind(const QString& id, const QString& description, const KeyCombination& preferred,
              std::function<void()> activated, Completion done) override;
    bool isBound() const override { return m_bound; }

private slots:
    void activatedSignal(const QDBusObjectPath& session, const QString& shortcutId, qulonglong timestamp,
                         const QVariantMap& options);

private:
    // Calls a portal method whose answer is the Response of a request object.
    void request(const QString& method, const QList<QVariant>& arguments, const QString& token,
                 std::function<void(uint response, const QVariantMap& results, const QString& error)> answered);
    QString requestPath(const QString& token) const;
    QString nextToken();

    QDBusConnection m_bus;
    QString m_session;
    QString m_shortcutId;
    std::function<void()> m_activated;
    bool m_bound = false;
    int m_tokens = 0;
};

}  // namespace vantrel
