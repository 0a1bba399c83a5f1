#include "platform/freedesktop/SystemCommandCapabilities.h"

#include "kit/VantrelError.h"
#include "platform/freedesktop/SystemCommandSupport.h"

#include <functional>
#include <vector>

namespace vantrel::systemcommands {

namespace {

// The session managers that can end the session with the desktop's own
// log-out (which lets applications save their work), in the order tried.
struct SessionManager {
    const char* service;
    const char* path;
    const char* interface;
    const char* method;
    std::function<QVariantList()> arguments;
};

const std::vector<SessionManager>& sessionManagers() {
    static const std::vector<SessionManager> managers = {
        // GNOME, Cinnamon, MATE, Budgie: mode 0 is the normal log-out, which may ask to confirm.
        {"org.gnome.SessionManager", "/org/gnome/SessionManager", "org.gnome.SessionManager", "Logout",
         [] { return QVariantList{QVariant::fromValue(uint(0))}; }},
        // KDE Plasma 5.25 and later: the log-out prompt.
        {"org.kde.LogoutPrompt", "/LogoutPrompt", "org.kde.LogoutPrompt", "promptLogout",
         [] { return QVariantList{}; }},
        // Older Plasma: confirm = yes, type = log out, mode = interactive.
        {"org.kde.ksmserver", "/KSMServer", "org.kde.KSMServerInterface", "logout",
         [] {
             return QVariantList{1, 0, 3};
         }},
        // Xfce: show the dialog, allow saving the session.
        {"org.xfce.SessionManager", "/org/xfce/SessionManager", "org.xfce.Session.Manager", "Logout",
         [] {
             return QVariantList{true, true};
         }},
        {"org.lxqt.session", "/LXQtSession", "org.lxqt.session", "logout", [] { return QVariantList{}; }},
    };
    return managers;
}

}  // namespace

QString logOut() {
    QStringList problems;
    {
        BusConnection session(BusConnection::Kind::Session);
        if (session.isConnected()) {
            bool found = false;
            for (const SessionManager& manager : sessionManagers()) {
                const QString service = QString::fromLatin1(manager.service);
                if (!session.hasService(service)) continue;
                found = true;
                const QDBusMessage reply =
                    session.call(service, QString::fromLatin1(manager.path), QString::fromLatin1(manager.interface),
                                 QString::fromLatin1(manager.method), manager.arguments(), kInteractiveBusTimeoutMs);
                if (succeeded(reply)) return QStringLiteral("Logging out…");
                problems << QStringLiteral("the session manager %1 %2").arg(service, callProblem(reply));
            }
            if (!found) problems << QStringLiteral("no session manager (GNOME, KDE, Xfce, LXQt) is running");
        } else {
            problems << session.problem();
        }
    }
    BusConnection system(BusConnection::Kind::System);
    if (system.isConnected()) {
        const QDBusMessage reply =
            system.call(kLogindService, kCurrentSessionPath, kLogindSession, QStringLiteral("Terminate"));
        if (succeeded(reply)) return QStringLiteral("Logging out…");
        problems << kLoginManagerName + QLatin1Char(' ') + callProblem(reply);
    } else {
        problems << system.problem();
    }
    throw VantrelError(QStringLiteral("Cannot log out: %1.").arg(problems.join(QStringLiteral("; "))));
}

QString logOutProblem() {
    BusConnection session(BusConnection::Kind::Session);
    for (const SessionManager& manager : sessionManagers()) {
        if (session.hasService(QString::fromLatin1(manager.service))) return {};
    }
    BusConnection system(BusConnection::Kind::System);
    if (system.hasService(kLogindService)) return {};
    return QStringLiteral("Logging out cannot work here: no session manager is running and %1 cannot be reached.")
        .arg(kLoginManagerName);
}

}  // namespace vantrel::systemcommands
