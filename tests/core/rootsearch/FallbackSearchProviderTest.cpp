#include "support/AppTestSupport.h"

#include "core/rootsearch/FallbackSearchProvider.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

class FallbackSearchProviderTest : public RegistryFixture {
protected:
    void SetUp() override {
        RegistryFixture::SetUp();
        provider = std::make_shared<FallbackSearchProvider>(*registry, &center);
    }

    // Waits for the cache to hold exactly these ids.
    void expectCached(const QStringList& ids) {
        EXPECT_TRUE(waitUntil([&] { return provider->cachedResults() == ids; }))
            << "cached: " << provider->cachedResults().join(", ").toStdString();
    }

    void setDisabledCommands(const char* packageId, const QStringList& commands) {
        ASSERT_TRUE(registry->setPackageConfiguration(PackageIdentifier(packageId), [&](QVariantMap& payload, bool&) {
            payload.insert(QString(PackageRegistry::disabledCommandsKey), commands);
        }));
    }

    std::shared_ptr<FallbackSearchProvider> provider;
    const QString fileSearch{"fileSearch_fallbackSearch"};
    const QString dictionary{"dictionary_defineWord_fallbackSearch"};
    const QString contacts{"contacts_search_fallbackSearch"};
};

TEST_F(FallbackSearchProviderTest, offersTheEnabledFallbacksForAnyQuery) {
    expectCached({fileSearch, dictionary});
    for (const char* query : {"", "a", "something that matches nothing"}) {
        const auto items = provider->results(QString::fromUtf8(query));
        ASSERT_EQ(items.size(), 2u) << query;
        EXPECT_EQ(items[0].identifier(), fileSearch);
        EXPECT_EQ(items[0].name(), QStringLiteral("File Search"));
        EXPECT_EQ(items[0].result().type(), SearchRecord::ContentType::fallbackSearch);
        EXPECT_EQ(items[1].name(), QStringLiteral("Define Word"));
        EXPECT_EQ(items[1].result().type(), SearchRecord::ContentType::fallbackSearch);
    }
}

TEST_F(FallbackSearchProviderTest, aDisabledFallbackIsNotOfferedAndComesBackWhenReEnabled) {
    expectCached({fileSearch, dictionary});
    setDisabledCommands("dictionary", {"dictionary_defineWord"});
    expectCached({fileSearch});
    setDisabledCommands("dictionary", {});
    expectCached({fileSearch, dictionary});

    ASSERT_TRUE(registry->setPackageEnabled(PackageIdentifier("fileSearch"), false));
    expectCached({dictionary});
    ASSERT_TRUE(registry->setPackageEnabled(PackageIdentifier("fileSearch"), true));
    expectCached({fileSearch, dictionary});
}

TEST_F(FallbackSearchProviderTest, higherFallbackOrderComesFirstThenRegistryOrder) {
    // Registry order: fileSearch (200), jira (1), linear (1), github (1, 1, 1),
    // gSuite (1), dictionary (101), contacts (101).
    for (const char* id : {"contacts", "jira", "github", "linear", "gSuite"})
        ASSERT_TRUE(registry->setPackageEnabled(PackageIdentifier(id), true));
    expectCached({fileSearch, dictionary, contacts, "jira_searchIssues_fallbackSearch",
                  "linear-searchIssues_fallbackSearch", "github-searchRepositories_fallbackSearch",
                  "github-searchIssues", "github-searchPullRequests", "gSuite_searchFiles_fallbackSearch"});
}

TEST_F(FallbackSearchProviderTest, aFallbackWithoutACommandIsAlwaysOffered) {
    expectCached({fileSearch, dictionary});
    BuiltinFallbackSearchCommand::Definition web;
    web.id = QStringLiteral("webSearch_duckduckgo");
    web.packageId = QStringLiteral("webSearches");
    web.displayName = QStringLiteral("DuckDuckGo");
    web.searchType = FallbackSearchType::browser;
    web.fallbackSearchOrder = 100;
    ASSERT_TRUE(registry->setPackageFallbackSearchCommands(
        PackageIdentifier("webSearches"), {std::make_shared<BuiltinFallbackSearchCommand>(web, registry.get())}));
    expectCached({fileSearch, dictionary, web.id});
    // Its package being switched off does not matter.
    ASSERT_TRUE(registry->setPackageEnabled(PackageIdentifier("webSearches"), false));
    EXPECT_TRUE(waitUntil([&] { return provider->completedRebuilds() >= 3; }));
    expectCached({fileSearch, dictionary, web.id});
}

TEST_F(FallbackSearchProviderTest, aDestroyedProviderNoLongerListens) {
    expectCached({fileSearch, dictionary});
    provider.reset();
    ASSERT_TRUE(registry->setPackageEnabled(PackageIdentifier("contacts"), true));
    EXPECT_EQ(center.observerCount(QStringLiteral("vantrel_PackageCommandsDidChange")), 0);
}

}  // namespace
}  // namespace vantrel::test
