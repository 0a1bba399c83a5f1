// The "Web Searches" preferences page on the test session's display: the
// built-in searches first, adding the user's own (checked first) and removing
// it again; the registry's fallbacks follow.
#include "support/AppTestSupport.h"

#include "core/api/FeatureContext.h"
#include "core/rootsearch/LauncherSearch.h"
#include "data/SearchRepository.h"
#include "features/websearch/WebSearchFeature.h"
#include "features/websearch/ui/WebSearchesPreferencesPage.h"
#include "kit/UserDefaults.h"

#include <QLineEdit>
#include <QListWidget>

namespace vantrel::test {
namespace {

class WebSearchesPreferencesPageTest : public RegistryFixture {
protected:
    void SetUp() override {
        RegistryFixture::SetUp();
        defaults = std::make_unique<UserDefaults>(home.root() + QStringLiteral("/websearch.conf"));
        launcher = std::make_unique<LauncherSearch>(std::make_shared<SearchRepository>(pool), *registry);
        context = std::make_unique<FeatureContext>(FeatureContext::Services{*registry, *launcher, *defaults, center});
        auto made = std::make_unique<WebSearchFeature>();
        feature = made.get();
        std::vector<std::unique_ptr<Feature>> features;
        features.push_back(std::move(made));
        registerFeatures(*context, std::move(features));
    }

    void TearDown() override {
        context.reset();
        launcher.reset();
    }

    static QStringList titles(const QListWidget* list) {
        QStringList result;
        for (int row = 0; row < list->count(); ++row) result << list->item(row)->text();
        return result;
    }

    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<LauncherSearch> launcher;
    std::unique_ptr<FeatureContext> context;
    WebSearchFeature* feature = nullptr;
};

TEST_F(WebSearchesPreferencesPageTest, AddsAndRemovesTheUsersOwnSearches) {
    WebSearchesPreferencesPage page(*feature);
    EXPECT_EQ(titles(page.searches()), (QStringList{"Google", "DuckDuckGo"}));

    page.nameEdit()->setText("MDN");
    page.linkEdit()->setText("https://developer.mozilla.org/search");
    EXPECT_FALSE(page.add());
    EXPECT_EQ(page.message(), QStringLiteral("The address needs a placeholder for the query, such as {Query}"));

    page.linkEdit()->setText("https://developer.mozilla.org/search?q={Query}");
    ASSERT_TRUE(page.add());
    EXPECT_EQ(titles(page.searches()), (QStringList{"Google", "DuckDuckGo", "MDN"}));
    ASSERT_TRUE(registry->fallbackSearchCommand(QStringLiteral("customWebSearch_mdn")));

    page.searches()->setCurrentRow(0);
    EXPECT_FALSE(page.removeSelected());
    page.searches()->setCurrentRow(2);
    ASSERT_TRUE(page.removeSelected());
    EXPECT_EQ(titles(page.searches()), (QStringList{"Google", "DuckDuckGo"}));
    EXPECT_FALSE(registry->fallbackSearchCommand(QStringLiteral("customWebSearch_mdn")));
}

}  // namespace
}  // namespace vantrel::test
