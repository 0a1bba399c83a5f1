#pragma once

#include "platform/ApplicationMenus.h"

namespace vantrel {

// ApplicationMenus over AT-SPI 2 (libatspi): the application is found among
// the accessibility registry's applications by its process id, its menu bar
// among its first levels of descendants, and the menus are walked from there
// (bounded in depth and in the number of items, each call bounded in time).
//
// Without an accessibility bus (no org.a11y.Bus on the session bus) or when
// the application publishes nothing, menuItems() says so and how to turn it
// on. Main thread only (libatspi is not thread-safe).
class AtSpiMenus : public ApplicationMenus {
public:
    // How long one accessibility call may take.
    static constexpr int kCallTimeoutMs = 2000;
    static constexpr int kMaxItems = 4000;
    static constexpr int kMaxDepth = 8;

    Menus menuItems(qint64 pid) override;
    void activate(const Item& item) override;

    // Why menus cannot be read on this desktop (as a sentence saying how to
    // enable it); empty when the accessibility bus answers.
    static QString busProblem();
    // "<Primary><Shift>s" (GTK's form) → "Ctrl+Shift+S"; Qt's "Ctrl+S" stays.
    static QString readableShortcut(const QString& binding);
};

}  // namespace vantrel
