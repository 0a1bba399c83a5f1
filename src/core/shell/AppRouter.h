#pragma once

#include "core/api/CommandOutcome.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

namespace vantrel {

// Routes the launcher's own links, `vantrel://…`, to what they name:
//   vantrel://show, vantrel://hide, vantrel://toggle     the launcher window
//   vantrel://preferences                                the preferences window
//   vantrel://commands/<commandId>[?arguments=A&arguments=B]
//                                                        runs a command (or opens its view, or
//                                                        asks for arguments it was not given);
//                                                        slashes of the id (script commands) as %2F
//   vantrel://HOST/…                                     what a feature registered for HOST
//                                                        (vantrel://scripts/reload…)
// Anything else is logged ("Unhandled Vantrel URL scheme call") and ignored.
class AppRouter {
public:
    static constexpr QLatin1String scheme{"vantrel"};

    struct Routes {
        std::function<void()> showWindow;
        std::function<void()> hideWindow;
        std::function<void()> toggleWindow;
        std::function<void()> showPreferences;
        std::function<CommandOutcome(const QString& commandId, const QStringList& arguments)> runCommand;
        // The links features registered: nothing when none handles the link.
        std::function<std::optional<CommandOutcome>(const QUrl& url)> featureRoute;
    };

    enum class Result { handled, unhandled };

    explicit AppRouter(Routes routes);

    // Routes one link; `outcome` gets what a command run ended with.
    Result route(const QUrl& url, CommandOutcome* outcome = nullptr) const;

private:
    Routes m_routes;
};

// Registers the launcher as the handler of `vantrel://` links and puts its
// icon in the icon theme: writes `$XDG_DATA_HOME/applications/vantrel.desktop`
// (Exec: this program with "open %u") and
// `$XDG_DATA_HOME/icons/hicolor/scalable/apps/vantrel.svg` when they are
// missing or differ, then runs `update-desktop-database` when it is installed.
class DesktopIntegration {
public:
    static QString desktopEntryPath();
    static QString iconPath();
    static QString desktopEntryContents(const QString& executable);
    static QByteArray iconSvg();
    // Returns whether something was written; throws VantrelError when writing fails.
    static bool install(const QString& executable);
};

}  // namespace vantrel
