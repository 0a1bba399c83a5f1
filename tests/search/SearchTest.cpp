// The query side of the engine end to end: index lookup, database read,
// ranking, typo correction, providers and visits.
#include "search/SearchEngineTestSupport.h"

#include "data/Frecency.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"

namespace vantrel::test {
namespace {

class FixedProvider : public SearchProvider {
public:
    class Result : public SearchResult {
    public:
        explicit Result(QString name) : m_name(std::move(name)) {}
        QString identifier() const override { return QStringLiteral("provider:") + m_name; }
        QString name() const override { return m_name; }
        std::optional<QDateTime> frecencyDate() const override { return std::nullopt; }
        SearchRecord::ContentType type() const override { return SearchRecord::ContentType::fallbackSearch; }
        std::optional<QString> alias() const override { return std::nullopt; }
        std::optional<QString> searchTerms() const override { return std::nullopt; }

    private:
        QString m_name;
    };
    std::vector<SearchItem> results(const QString& term) const override {
        return {SearchItem(std::make_shared<Result>(QStringLiteral("Search the web for ") + term))};
    }
};

class SearchTest : public SearchEngineFixture {};

TEST_F(SearchTest, QueryFindsRanksAndAppendsProviderResults) {
    load({appRecord("Safari"), appRecord("Sound Settings"), commandRecord("builtin_command_search", "Search Files")});
    search->addSearchProvider(std::make_shared<FixedProvider>());
    EXPECT_EQ(namesOf(search->items("sa")), (QStringList{"Safari", "Search the web for sa"}));
    // Transliterated before the lookup.
    EXPECT_EQ(namesOf(search->items("SÄF")).front(), QStringLiteral("Safari"));
    const QStringList s = namesOf(search->items("s"));
    EXPECT_EQ(s.size(), 4);
    EXPECT_EQ(s.front(), QStringLiteral("Search Files"));  // a command before applications
}

TEST_F(SearchTest, EmptyQueryListsEverythingUnranked) {
    load({appRecord("Zed"), appRecord("Alpha")});
    search->addSearchProvider(std::make_shared<FixedProvider>());
    const QStringList all = namesOf(search->items(""));
    EXPECT_EQ(all.size(), 3);
    EXPECT_EQ(all.back(), QStringLiteral("Search the web for "));
}

TEST_F(SearchTest, OneTypoAwayIsCorrectedTwoIsNot) {
    load({appRecord("Safari"), appRecord("Terminal")});
    search->addSearchProvider(std::make_shared<FixedProvider>());
    EXPECT_EQ(namesOf(search->items("sfari")), (QStringList{"Safari", "Search the web for sfari"}));
    EXPECT_EQ(namesOf(search->items("safarj")).front(), QStringLiteral("Safari"));
    EXPECT_EQ(namesOf(search->items("sfarj")), QStringList{"Search the web for sfarj"});
    // A filter applies to corrections too.
    EXPECT_TRUE(search->items("sfari", {}, [](const SearchItem& i) { return i.name() != "Safari"; }).size() == 1);
}

TEST_F(SearchTest, VisitRaisesFrecencyRemembersTheTermAndAnnounces) {
    load({appRecord("Files"), appRecord("Firefox")});
    QStringList announced;
    QObject observer;
    NotificationCenter::defaultCenter().addObserver(QString(NotificationNames::didUprankItem), &observer,
                                                    [&](const Notification& n) { announced << n.object.toString(); });

    const SearchItem firefox = itemNamed("Firefox");
    auto visited = search->visit(firefox, Ranking::VisitKind::defaultVisit, QStringLiteral("  Fi,re  "));
    ASSERT_TRUE(visited);
    const SearchRecord* record = visited->record();
    ASSERT_TRUE(record && record->frecencyDate && record->openedAt);
    EXPECT_NEAR(Frecency::score(*record->frecencyDate, QDateTime::currentDateTimeUtc()), 101.0, 0.01);
    EXPECT_EQ(record->searchTerms, QStringLiteral("fire"));
    EXPECT_EQ(announced, QStringList{firefox.identifier()});

    auto again =
        search->visit(*visited, Ranking::VisitKind::defaultVisit, QStringLiteral("a search term longer than twenty"));
    ASSERT_TRUE(again);
    EXPECT_NEAR(Frecency::score(*again->record()->frecencyDate, QDateTime::currentDateTimeUtc()), 201.0, 0.05);
    EXPECT_EQ(again->record()->searchTerms, QStringLiteral("fire,a search term longer"));

    // The visited item now comes first for a query both match.
    EXPECT_EQ(namesOf(search->items("fi")).front(), QStringLiteral("Firefox"));
    // An item without a stored row is not visited.
    EXPECT_FALSE(search->visit(SearchItem(std::make_shared<FixedProvider::Result>("x"))));
}

TEST_F(SearchTest, TermsUsedToOpenAnItemLiftItWithTheOption) {
    load({appRecord("Files"), appRecord("Fiddle")});
    const SearchItem files = itemNamed("Files");
    const SearchItem fiddle = itemNamed("Fiddle");
    for (int i = 0; i < 3; ++i)
        search->visit(itemNamed("Files"), Ranking::VisitKind::defaultVisit, QStringLiteral("doc"));
    for (int i = 0; i < 3; ++i)
        search->visit(itemNamed("Fiddle"), Ranking::VisitKind::defaultVisit, QStringLiteral("fi"));
    EXPECT_EQ(namesOf(search->items("fi", SearchOptions{SearchOptions::rankBySearchTerms})).front(),
              QStringLiteral("Fiddle"));
}

TEST_F(SearchTest, AliasAndFavoritesPassThrough) {
    load({appRecord("Terminal"), appRecord("Term")});
    EXPECT_EQ(namesOf(search->items("term")).front(), QStringLiteral("Term"));
    const SearchItem terminal = itemNamed("Terminal");
    search->setAlias(QStringLiteral("term"), terminal.identifier());
    // The alias is read back from the database with the lookup: an exact alias
    // beats an exact name.
    EXPECT_EQ(namesOf(search->items("term")).front(), QStringLiteral("Terminal"));
    EXPECT_GT(search->addToFavorites(terminal.identifier()), 0);
    EXPECT_THROW(search->setAlias(QStringLiteral("x"), QStringLiteral("nope")), VantrelError);
}

TEST_F(SearchTest, SuggestionsAreTheTopRankedItems) {
    load({appRecord("Alpha"), appRecord("Beta"), appRecord("Gamma")});
    search->visit(itemNamed("Gamma"));
    EXPECT_EQ(namesOf(search->suggestions(2)), (QStringList{"Gamma", "Alpha"}));
    EXPECT_TRUE(search->suggestions(0).empty());
}

TEST_F(SearchTest, SuggestionsFollowEveryChangeOfTheRowsAndMatchAFullRanking) {
    load({appRecord("Alpha"), appRecord("Beta"), appRecord("Gamma"), appRecord("Delta")});
    EXPECT_EQ(namesOf(search->suggestions(2)), (QStringList{"Alpha", "Beta"}));
    // A visit, an alias and a reload change the order; each is seen at once.
    search->visit(itemNamed("Delta"));
    EXPECT_EQ(namesOf(search->suggestions(2)), (QStringList{"Delta", "Alpha"}));
    search->setAlias(QStringLiteral("a"), itemNamed("Alpha").identifier());
    EXPECT_EQ(namesOf(search->suggestions(3)), (QStringList{"Delta", "Beta", "Gamma"}));
    repository->update(SearchRecord::Source::system, {appRecord("Alpha"), appRecord("Gamma"), appRecord("Delta")},
                       SearchUpdateStrategy::source());
    EXPECT_EQ(namesOf(search->suggestions(4)), (QStringList{"Delta", "Gamma", "Alpha"}));
    // A filter keeps the order of what it lets through; the empty query lists
    // every installed row, in id order.
    const SearchItemFilter noDelta = [](const SearchItem& item) { return item.name() != QLatin1String("Delta"); };
    EXPECT_EQ(namesOf(search->suggestions(2, noDelta)), (QStringList{"Gamma", "Alpha"}));
    EXPECT_EQ(namesOf(search->items(QString())), (QStringList{"Alpha", "Gamma", "Delta"}));
    EXPECT_EQ(namesOf(search->items(QString(), {}, noDelta)), (QStringList{"Alpha", "Gamma"}));
    // The same as ranking every row for the empty query.
    EXPECT_EQ(namesOf(search->suggestions(10)), namesOf(search->ranking().rank(search->items(QString()), QString())));
}

TEST_F(SearchTest, UninstalledRecordsAreNotFound) {
    load({appRecord("Safari"), appRecord("Sudoku")});
    repository->update(SearchRecord::Source::system, {appRecord("Safari")}, SearchUpdateStrategy::source());
    search->indexAll();
    EXPECT_EQ(namesOf(search->items("su")), QStringList{});
    EXPECT_EQ(namesOf(search->items("sa")), QStringList{"Safari"});
}

}  // namespace
}  // namespace vantrel::test
