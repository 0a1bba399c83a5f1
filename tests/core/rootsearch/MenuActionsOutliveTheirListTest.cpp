// An action of the action panel may rebuild the list that owns its provider
// ("Open Command" records a visit, and the visit reloads root search): the
// menu keeps the provider alive until the action has run.
#include "support/RootSearchTestSupport.h"

namespace vantrel::test {
namespace {

class MenuActionsTest : public RootSearchFixture {};

TEST_F(MenuActionsTest, AnActionWhoseListIsRebuiltRunsToTheEnd) {
    ASSERT_TRUE(start());
    type(QStringLiteral("Toggle Vantrel Appearance"));
    const ListItem* row = findItem(QStringLiteral("toggleVantrelAppearance"));
    ASSERT_TRUE(row);
    const std::weak_ptr<ActionProvider> provider = row->actionProvider;
    std::vector<MenuItem> menu = controller->menuItems(*row);
    ASSERT_FALSE(menu.empty());
    EXPECT_EQ(menu.front().title, QStringLiteral("Open Command"));
    // Every action holds the provider its function refers to, submenus included.
    const std::function<void(const std::vector<MenuItem>&)> expectKept = [&](const std::vector<MenuItem>& items) {
        for (const MenuItem& item : items) {
            EXPECT_EQ(item.keepAlive, provider.lock()) << item.title.toStdString();
            if (item.submenu()) expectKept(*item.submenu());
        }
    };
    expectKept(menu);

    // The list moves on before the action runs: the row and its provider are gone from it.
    type(QStringLiteral("something else entirely"));
    controller->reload();
    EXPECT_FALSE(findItem(QStringLiteral("toggleVantrelAppearance")));
    ASSERT_FALSE(provider.expired()) << "the menu keeps the provider of its actions";

    EXPECT_EQ(menu.front().perform().kind, CommandOutcome::Kind::done);
    menu.clear();
    EXPECT_TRUE(provider.expired());
}

}  // namespace
}  // namespace vantrel::test
