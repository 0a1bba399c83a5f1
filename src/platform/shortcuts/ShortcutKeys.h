#pragma once

#include "kit/KeyCombination.h"

#include <QString>

#include <optional>

namespace vantrel::shortcutkeys {

// A key combination in the forms the desktops store it.

// GTK's accelerator text, as GNOME's keyboard settings keep it:
// "<Control><Alt>t", "<Super>space". Nothing for a key without a name.
std::optional<QString> gtkAccelerator(const KeyCombination& combination);
// The combination an accelerator names ("<Primary><Alt>T" included); nothing
// for modifiers or keys it does not know.
std::optional<KeyCombination> fromGtkAccelerator(const QString& accelerator);
// Whether two accelerator texts name the same keys, however they are written
// ("<Ctrl><Alt>t" and "<Alt><Primary>T").
bool sameGtkAccelerator(const QString& a, const QString& b);

// Qt's key code with its modifier bits (what QKeySequence holds), as KDE's
// global shortcuts take it; nothing for a key Qt has no code for.
std::optional<int> qtKey(const KeyCombination& combination);
std::optional<KeyCombination> fromQtKey(int key);

// The trigger text in the XDG shortcuts format the desktop portal takes
// ("CTRL+ALT+t", "LOGO+space").
std::optional<QString> portalTrigger(const KeyCombination& combination);

}  // namespace vantrel::shortcutkeys
