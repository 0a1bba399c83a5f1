#include "support/AppTestSupport.h"

#include "core/rootsearch/SuggestionsProvider.h"
#include "data/SearchRepository.h"
#include "search/Search.h"

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

class SuggestionsProviderTest : public RegistryFixture {
protected:
    void SetUp() override {
        RegistryFixture::SetUp();
        repository = std::make_shared<SearchRepository>(pool);
        search = std::make_unique<Search>(repository);
    }

    void storeCommands(const QStringList& ids) {
        std::vector<SearchRecord> records;
        for (const QString& id : ids)
            records.push_back(commandRecord(id, registry->command(CommandIdentifier(id))->displayName()));
        repository->update(SearchRecord::Source::package, records, SearchUpdateStrategy::source());
        search->indexAll();
    }

    CommandList commands(const QStringList& ids) const {
        CommandList list;
        for (const QString& id : ids) list.push_back(registry->command(CommandIdentifier(id)));
        return list;
    }

    static QStringList ids(const std::vector<SuggestionsProvider::Suggestion>& suggestions) {
        QStringList out;
        for (const auto& suggestion : suggestions) out << suggestion.id;
        return out;
    }

    std::shared_ptr<SearchRepository> repository;
    std::unique_ptr<Search> search;
};

TEST_F(SuggestionsProviderTest, AtMostFiveWithTheVisitedFirst) {
    storeCommands({"fileSearch", "clipboardHistory", "createSnippet", "searchSnippets", "createQuicklink", "emptyTrash",
                   "lockScreen"});
    search->visit(SearchItem::fromRecord(*repository->record(QStringLiteral("lockScreen"))));
    SuggestionsProvider provider(*search, {}, &center);

    const auto suggestions = provider.suggestions(registry->searchResultFilter());

    ASSERT_EQ(suggestions.size(), 5u);
    EXPECT_EQ(suggestions.front().id, QStringLiteral("lockScreen"));
    EXPECT_EQ(provider.searchSuggestionIds().size(), 5);
}

TEST_F(SuggestionsProviderTest, PackageSuggestionsFillUpToFiveWithoutRepeats) {
    storeCommands({"fileSearch", "clipboardHistory"});
    SuggestionsProvider provider(
        *search,
        [this] {
            return commands({"clipboardHistory", "createSnippet", "searchSnippets", "createQuicklink", "emptyTrash"});
        },
        &center);

    const QStringList suggested = ids(provider.suggestions(registry->searchResultFilter()));

    ASSERT_EQ(suggested.size(), 5);
    EXPECT_EQ(suggested.mid(2), QStringList({"createSnippet", "searchSnippets", "createQuicklink"}));
    EXPECT_EQ(suggested.count(QStringLiteral("clipboardHistory")), 1);
}

TEST_F(SuggestionsProviderTest, PackageSuggestionsAreReadAgainWhenPackageCommandsChange) {
    int reads = 0;
    SuggestionsProvider provider(
        *search,
        [this, &reads] {
            ++reads;
            return commands({"createSnippet"});
        },
        &center);
    EXPECT_EQ(reads, 1);
    center.post(QStringLiteral("vantrel_PackageCommandsDidChange"), QStringLiteral("snippets"));
    EXPECT_EQ(reads, 2);
    EXPECT_EQ(ids(provider.suggestions({})), QStringList({"createSnippet"}));
    EXPECT_TRUE(provider.suggestions({}, 0).empty());
}

}  // namespace
}  // namespace vantrel::test
