#pragma once

#include "kit/KeyCombination.h"

#include <QString>

#include <functional>

namespace vantrel {

// The desktop portal's global shortcuts (org.freedesktop.portal.GlobalShortcuts):
// the way a Wayland session lets an application have a shortcut. The
// application names its shortcuts and a preferred trigger; the desktop asks
// the user, keeps the binding and reports each press while the application's
// session lasts.
//
// Everything answers asynchronously on the thread that made the object; no
// call blocks.
class GlobalShortcutsPortal {
public:
    using Availability = std::function<void(bool available, const QString& why)>;
    // Whether it worked; on failure a sentence for the user.
    using Completion = std::function<void(bool ok, const QString& message)>;

    virtual ~GlobalShortcutsPortal() = default;

    // Finds out whether a portal offers the interface; answers once, within
    // `timeoutMs` at the latest (no portal in time counts as none).
    virtual void checkAvailability(Availability answer, int timeoutMs = 5000) = 0;
    // Opens a session and binds one shortcut, the portal asking the user.
    // `activated` runs on each press of it afterwards.
    virtual void bind(const QString& id, const QString& description, const KeyCombination& preferred,
                      std::function<void()> activated, Completion done) = 0;
    // Whether a binding of this object's session is in place.
    virtual bool isBound() const = 0;
};

}  // namespace vantrel
