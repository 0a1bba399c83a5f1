// Web searches as fallback rows in root search, over the real stack: the two
// built-in ones with their order, the address they open for a query (spaces
// and "#" encoded), the use recorded, and the searches the user adds.
#include "support/RootSearchTestSupport.h"

#include "features/websearch/WebSearch.h"
#include "features/websearch/WebSearchFeature.h"

namespace vantrel::test {
namespace {

class WebSearchFeatureTest : public RootSearchFixture {
protected:
    void SetUp() override {
        RootSearchFixture::SetUp();
        environment.openUrl = [this](const QUrl& url) { opened << QString::fromUtf8(url.toEncoded()); };
    }

    bool startSearch() {
        repository = std::make_shared<SearchRepository>(pool);
        launcher = std::make_unique<LauncherSearch>(repository, *registry);
        controller = std::make_unique<RootSearchController>(*launcher, nullptr, *defaults, &center);
        controller->setEnvironment(&environment);
        fallbackProvider = std::make_shared<FallbackSearchProvider>(*registry, &center);
        controller->addSearchProvider(fallbackProvider);
        features = std::make_unique<FeatureContext>(
            FeatureContext::Services{*registry, *launcher, *defaults, center, controller.get(), &environment});
        registerFeatures(*features, makeFeatures());
        webSearches = features->api<WebSearchFeature>();
        if (!webSearches) return false;
        if (!waitUntil([this] { return fallbackProvider->completedRebuilds() > 0; }, 10000)) return false;
        controller->configureSearchDataSources();
        return waitUntil([this] { return logs->contains(QStringLiteral("Data Sources updated, isKeyWindow: false")); },
                         30000);
    }

    QStringList fallbackTitles() const {
        QStringList titles;
        if (const ListSection* section = controller->section(QString(RootSearchController::fallbackSectionId)))
            for (const ListItem& item : section->items) titles << item.title;
        return titles;
    }

    LauncherEnvironment environment;
    QStringList opened;
    WebSearchFeature* webSearches = nullptr;
};

TEST_F(WebSearchFeatureTest, AQueryThatMatchesNothingOffersGoogleThenDuckDuckGo) {
    ASSERT_TRUE(startSearch());
    type(QStringLiteral("qqzzxv hello"));
    const QStringList titles = fallbackTitles();
    ASSERT_TRUE(titles.contains(QStringLiteral("Google"))) << titles.join(", ").toStdString();
    ASSERT_TRUE(titles.contains(QStringLiteral("DuckDuckGo")));
    EXPECT_LT(titles.indexOf(QStringLiteral("Google")), titles.indexOf(QStringLiteral("DuckDuckGo")));
    const auto google = registry->fallbackSearchCommand(QString(WebSearch::googleId));
    const auto duck = registry->fallbackSearchCommand(QString(WebSearch::duckDuckGoId));
    ASSERT_TRUE(google && duck);
    EXPECT_EQ(google->fallbackSearchOrder(), 101);
    EXPECT_EQ(duck->fallbackSearchOrder(), 100);
}

TEST_F(WebSearchFeatureTest, ChoosingAFallbackOpensTheEncodedAddressAndRecordsTheUse) {
    ASSERT_TRUE(startSearch());
    type(QStringLiteral("hello world"));
    ASSERT_TRUE(controller->selectItem(QString(WebSearch::googleId)));
    EXPECT_EQ(controller->chooseSelectedItem().kind, CommandOutcome::Kind::done);
    ASSERT_TRUE(controller->selectItem(QString(WebSearch::duckDuckGoId)));
    controller->chooseSelectedItem();
    type(QStringLiteral("c# tips & tricks"));
    ASSERT_TRUE(controller->selectItem(QString(WebSearch::googleId)));
    controller->chooseSelectedItem();
    EXPECT_EQ(opened, (QStringList{"https://www.google.com/search?q=hello%20world", "https://duckduckgo.com/?q=hello%20world",
                                   "https://www.google.com/search?q=c%23%20tips%20&%20tricks"}));
    EXPECT_TRUE(waitUntil([&] {
        const auto row = repository->record(QString(WebSearch::googleId));
        return row && row->frecencyDate && row->searchTerms && row->searchTerms->contains(QStringLiteral("hello world"));
    }));
}

TEST_F(WebSearchFeatureTest, SearchesTheUserAddsBecomeFallbacksAndBadOnesAreRefused) {
    ASSERT_TRUE(startSearch());
    EXPECT_EQ(CustomWebSearch::validationMessage("MDN", "https://developer.mozilla.org/search"),
              QStringLiteral("The address needs a placeholder for the query, such as {Query}"));
    EXPECT_EQ(CustomWebSearch::validationMessage("", "https://x.org/?q={Query}"),
              QStringLiteral("Name can not be empty. Please provide a name."));
    EXPECT_EQ(CustomWebSearch::validationMessage("X", "nowhere {Query}"), QStringLiteral("Please provide a valid link"));

    ASSERT_TRUE(webSearches->setCustomWebSearches(
        {{"customWebSearch_mdn", "MDN", "https://developer.mozilla.org/en-US/search?q={Query}&topic={Query}"}}));
    ASSERT_TRUE(waitUntil([&] {
        type(QStringLiteral("flexbox gap"));
        return fallbackTitles().contains(QStringLiteral("MDN"));
    }));
    ASSERT_TRUE(controller->selectItem(QStringLiteral("customWebSearch_mdn")));
    controller->chooseSelectedItem();
    EXPECT_EQ(opened, QStringList{"https://developer.mozilla.org/en-US/search?q=flexbox%20gap&topic=flexbox%20gap"});

    // A stored entry that is not whole is skipped, the others stay.
    registry->setPackageConfiguration(PackageIdentifier(QStringLiteral("webSearches")), [](QVariantMap& payload, bool&) {
        payload.insert(QStringLiteral("customWebSearches"),
                       QVariantList{QVariantMap{{"id", "broken"}, {"title", "Broken"}},
                                    QVariantMap{{"id", "customWebSearch_wiki"},
                                                {"title", "Wiki"},
                                                {"url", "https://en.wikipedia.org/w/index.php?search={Query}"}}});
    });
    QStringList ids;
    for (const WebSearch& search : webSearches->webSearches()) ids << search.id;
    EXPECT_EQ(ids, (QStringList{QString(WebSearch::googleId), QString(WebSearch::duckDuckGoId), "customWebSearch_wiki"}));
}

}  // namespace
}  // namespace vantrel::test
