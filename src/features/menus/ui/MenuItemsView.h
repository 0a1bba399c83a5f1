#pragma once

#include "platform/ApplicationMenus.h"
#include "ui/toolkit/ListView.h"

#include <functional>
#include <memory>

namespace vantrel {

// The list of "Search Menu Items": one row per menu item of the application
// the user came from, titled by its path ("File › Export › PDF") with its
// shortcut at the right; Return hides the launcher and triggers the item.
class MenuItemsView : public ListView {
    Q_OBJECT

public:
    using BeforeActivate = std::function<void()>;

    MenuItemsView(ApplicationMenus::Menus menus, std::shared_ptr<ApplicationMenus> access,
                  BeforeActivate beforeActivate, QWidget* parent = nullptr);
};

}  // namespace vantrel
