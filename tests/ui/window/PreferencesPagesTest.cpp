// The preferences commands open their page by its title, the pages features
// add included.
#include "support/AppTestSupport.h"

#include "data/SearchRepository.h"
#include "kit/UserDefaults.h"
#include "ui/window/PreferencesWindow.h"

#include <QListWidget>

namespace vantrel::test {
namespace {

class PreferencesPagesTest : public RegistryFixture {};

TEST_F(PreferencesPagesTest, APageIsShownByItsTitle) {
    UserDefaults defaults(home.root() + QStringLiteral("/pages.conf"));
    PreferencesWindow window(*registry, std::make_shared<SearchRepository>(pool), defaults);
    window.addPage(QStringLiteral("Script Commands"), ImageResource::named(QStringLiteral("script")), new QWidget);
    const auto current = [&] {
        return window.sidebar()->currentItem() ? window.sidebar()->currentItem()->text() : QString();
    };

    EXPECT_TRUE(window.showPageTitled(QStringLiteral("Script Commands")));
    EXPECT_EQ(current(), "Script Commands");
    EXPECT_TRUE(window.showPageTitled(QStringLiteral("Extensions")));
    EXPECT_EQ(window.currentPage(), PreferencesWindow::Page::extensions);
    EXPECT_TRUE(window.showPageTitled(QStringLiteral("General")));
    EXPECT_EQ(window.currentPage(), PreferencesWindow::Page::general);
    EXPECT_FALSE(window.showPageTitled(QStringLiteral("Nowhere")));
    EXPECT_EQ(current(), "General");
}

}  // namespace
}  // namespace vantrel::test
