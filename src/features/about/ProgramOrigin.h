#pragma once

#include <QString>

namespace vantrel {

// Where the running program came from, for "Check For Updates": a program a
// self-updating package system installed (a distribution package, Flatpak,
// Snap) is updated by that system, so the launcher does not check itself.
//
// How it is told:
// - a build configured with -DVANTREL_DISTRIBUTION_PACKAGE=ON (what a
//   distribution's packaging sets) always counts as packaged;
// - $VANTREL_PACKAGED=1 or 0 overrides the detection (for packagers and tests);
// - inside a Flatpak sandbox (/.flatpak-info) or a Snap ($SNAP);
// - an executable under /usr (not /usr/local) or /opt that the system's
//   package database owns: `dpkg-query -S`, `rpm -qf` or `pacman -Qo` answers
//   for its path.
struct ProgramOrigin {
    // Empty when the program was not installed by a package system; else
    // that system's name ("a Debian package", "Flatpak").
    QString packageSystem;

    bool updatesItself() const { return !packageSystem.isEmpty(); }

    // The origin of the running executable.
    static ProgramOrigin current();
    // The origin of the executable at `path` (the build flag and the
    // environment included).
    static ProgramOrigin ofExecutable(const QString& path);
};

}  // namespace vantrel
