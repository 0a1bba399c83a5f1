#pragma once

#include <QString>

namespace vantrel {

class UserDefaults;

// Starting the launcher at login: an XDG autostart entry,
// `$XDG_CONFIG_HOME/autostart/vantrel.desktop`, that runs the launcher in the
// background with the "VANTREL_LAUNCHER" argument.
class LoginItem {
public:
    static constexpr QLatin1String autoInstalledKey{"vantrelLoginItemAutoInstalled"};
    static constexpr QLatin1String launcherArgument{"VANTREL_LAUNCHER"};

    static QString entryPath();
    // What the entry runs for the program at `executable` (an absolute path):
    // the installed command "vantrel" when that is on PATH and is this
    // program, so the entry outlives a move of the build; else the path.
    static QString launchCommand(const QString& executable);
    // The entry running `command` (launchCommand's answer).
    static QString entryContents(const QString& command);
    // The program the entry runs now (its Exec's first word); empty without one.
    static QString entryProgram();
    // Whether an autostart entry exists and is not switched off (Hidden=true,
    // X-GNOME-Autostart-enabled=false).
    static bool isEnabled();
    // Writes or removes the entry; throws VantrelError when that fails.
    static void setEnabled(bool enabled, const QString& executable);

    // Installs the entry the first time the launcher starts and remembers that
    // in "vantrelLoginItemAutoInstalled", so a user who removed it keeps it
    // removed. Only on the main thread ("Installing login items on non-main
    // thread" otherwise). Returns whether it installed now.
    static bool installOnce(UserDefaults& defaults, const QString& executable);
    // Rewrites an enabled entry whose program is gone (moved, uninstalled,
    // no longer on PATH) to run `executable`. Returns whether it did.
    static bool repairIfStale(const QString& executable);
};

}  // namespace vantrel
