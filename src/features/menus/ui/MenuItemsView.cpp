#include "features/menus/ui/MenuItemsView.h"

#include "features/menus/MenusFeature.h"

namespace vantrel {

MenuItemsView::MenuItemsView(ApplicationMenus::Menus menus, std::shared_ptr<ApplicationMenus> access,
                             BeforeActivate beforeActivate, QWidget* parent)
    : ListView(QStringLiteral("Search Menu Items"), parent) {
    setSearchPlaceholder(QStringLiteral("Search menu items…"));
    setEmptyText(QStringLiteral("No Menu Items"));
    std::vector<Item> items;
    int index = 0;
    for (const ApplicationMenus::Item& entry : menus.items) {
        if (!entry.enabled) continue;
        Item item;
        item.id = QString::number(index++);
        item.title = entry.path.join(MenusFeature::separator);
        item.keywords = entry.path;
        if (!entry.shortcut.isEmpty()) item.accessories.push_back({entry.shortcut, std::nullopt});
        item.actions.push_back(MenuItem::make(QStringLiteral("activate"), QStringLiteral("Choose Menu Item"),
                                              [access, beforeActivate, entry] {
                                                  if (beforeActivate) beforeActivate();
                                                  access->activate(entry);
                                                  return CommandOutcome::done();
                                              }));
        items.push_back(std::move(item));
    }
    setSections({{menus.applicationName, std::move(items)}});
}

}  // namespace vantrel
