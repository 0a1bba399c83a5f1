#pragma once

#include "kit/KeyCombination.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vantrel {

// A key binding kept by the desktop itself that runs a command: what a user
// sets up under "Custom Shortcuts" in the desktop's keyboard settings. The
// desktop grabs the keys, so it works where the launcher's own grab cannot
// (the desktop holds the combination, or a Wayland session).
struct DesktopShortcut {
    // Stable name of the binding; binding it again replaces it.
    QString id;
    // What the desktop's settings show ("Toggle Vantrel").
    QString name;
    // The program and its arguments.
    QStringList command;
    KeyCombination keys;

    bool operator==(const DesktopShortcut&) const = default;
};

// One of the desktop's own bindings that uses a combination.
struct ShortcutConflict {
    // Who holds it, as the desktop's settings name it ("Window manager", "KRunner").
    QString owner;
    // The action ("activate-window-menu", "_launch").
    QString action;

    bool operator==(const ShortcutConflict&) const = default;
};

// The desktop's custom shortcuts: reads and writes the desktop's own
// keyboard settings (GNOME's custom keybindings, KDE's global shortcuts).
// Writing changes the user's desktop settings: callers ask the user first.
class DesktopShortcuts {
public:
    virtual ~DesktopShortcuts() = default;

    // The desktop as the user knows it ("GNOME", "KDE Plasma").
    virtual QString desktopName() const = 0;
    // Whether the desktop's settings can take a shortcut here and now.
    virtual bool isAvailable() const = 0;
    // The desktop's own bindings of the combination (other than `ignoringId`'s).
    virtual std::vector<ShortcutConflict> conflicts(const KeyCombination& keys,
                                                    const QString& ignoringId = {}) const = 0;
    // Writes the binding (replacing one of the same id) and frees its keys
    // from the bindings conflicts() lists, so that the desktop runs the
    // command on them. Throws VantrelError with a sentence for the user.
    virtual void bind(const DesktopShortcut& shortcut) = 0;
    // The binding of that id as the desktop has it now; nothing when none.
    virtual std::optional<DesktopShortcut> binding(const QString& id) const = 0;
};

}  // namespace vantrel
