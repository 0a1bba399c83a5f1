// The "Search Menu Items" list over a real Qt application's menu bar, read
// through the session's accessibility bus: one row per enabled item, titled
// by its path, filtered by typing, and Return triggers the item in the
// application.
#include "features/menus/ui/MenuItemsView.h"
#include "platform/Platform.h"
#include "support/TestEnvironment.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

bool waitFor(const std::function<bool()>& condition, int timeoutMs = 15000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QTest::qWait(50);
    }
    return true;
}

class MenuItemsViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(platform().makeApplicationMenus);
        access = platform().makeApplicationMenus();
        log = folder.filePath(QStringLiteral("triggered.txt"));
        app.start(QStringLiteral(VANTREL_MENU_WINDOW), {log, QStringLiteral("Menu View Test")});
        ASSERT_TRUE(app.waitForStarted(5000));
        // The application publishes its menus a moment after it starts.
        ASSERT_TRUE(waitFor([&] {
            try {
                menus = access->menuItems(app.processId());
                return !menus.items.empty();
            } catch (const std::exception&) {
                return false;
            }
        })) << "the test application's menus never appeared on the accessibility bus";
    }
    void TearDown() override {
        app.kill();
        app.waitForFinished();
    }

    QTemporaryDir folder;
    QString log;
    QProcess app;
    std::shared_ptr<ApplicationMenus> access;
    ApplicationMenus::Menus menus;
};

TEST_F(MenuItemsViewTest, RowsAreTheEnabledItemsByPath) {
    MenuItemsView view(menus, access, {});
    QStringList titles;
    for (const ListView::Item* item : view.visibleItems()) titles << item->title;
    EXPECT_TRUE(titles.contains(QStringLiteral("File › Export › PDF"))) << titles.join(" | ").toStdString();
    EXPECT_TRUE(titles.contains(QStringLiteral("Edit › Paste")));
    // The disabled item is left out.
    EXPECT_FALSE(titles.contains(QStringLiteral("Edit › Copy")));
    view.searchTextChanged(QStringLiteral("png"));
    ASSERT_EQ(view.visibleItems().size(), 1u);
    EXPECT_EQ(view.visibleItems().front()->title, QStringLiteral("File › Export › PNG"));
}

TEST_F(MenuItemsViewTest, ReturnHidesTheLauncherAndTriggersTheItem) {
    bool hidden = false;
    MenuItemsView view(menus, access, [&] { hidden = true; });
    view.searchTextChanged(QStringLiteral("paste"));
    const ListView::Item* selected = view.selectedItem();
    ASSERT_TRUE(selected);
    EXPECT_EQ(selected->title, QStringLiteral("Edit › Paste"));
    const std::vector<MenuItem> actions = view.actions();
    ASSERT_FALSE(actions.empty());
    EXPECT_EQ(actions.front().title, QStringLiteral("Choose Menu Item"));
    EXPECT_EQ(actions.front().perform().kind, CommandOutcome::Kind::done);
    EXPECT_TRUE(hidden);
    EXPECT_TRUE(waitFor([&] {
        QFile file(log);
        return file.open(QIODevice::ReadOnly) && file.readAll() == "Edit/Paste\n";
    }));
}

}  // namespace
}  // namespace vantrel::test
