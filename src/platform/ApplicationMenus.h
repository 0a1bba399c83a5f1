#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace vantrel {

// The menu bar of another application, read through the desktop's
// accessibility interface (AT-SPI on Linux, which GTK and Qt applications
// publish to), and its items triggered as if clicked.
class ApplicationMenus {
public:
    struct Item {
        // The titles from the menu bar down: {"File", "Export", "PDF"}.
        QStringList path;
        // The keyboard shortcut the application shows ("Ctrl+S"); may be empty.
        QString shortcut;
        bool enabled = true;
        // What activate() needs to find the item again (opaque).
        std::shared_ptr<const void> handle;
    };

    struct Menus {
        QString applicationName;
        std::vector<Item> items;
    };

    virtual ~ApplicationMenus() = default;

    // The menu items of the application that owns the process `pid`, leaves
    // only (a submenu is listed by its items). Throws VantrelError with a
    // sentence the user can read (why and how to enable it) when the
    // accessibility bus is missing, or the application publishes no menu bar.
    virtual Menus menuItems(qint64 pid) = 0;

    // Triggers the item (throws VantrelError when it is gone or refuses).
    virtual void activate(const Item& item) = 0;
};

}  // namespace vantrel
