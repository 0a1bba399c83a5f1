// Frecency arithmetic and the order in which root search lists results.
#include "search/SearchEngineTestSupport.h"

#include "data/Frecency.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"

#include <cmath>
#include <numbers>

namespace vantrel::test {
namespace {

const QDateTime kNow = QDateTime::fromString(QStringLiteral("2026-03-01T12:00:00.000Z"), Qt::ISODateWithMs);

TEST(FrecencyTest, VisitsAddScoreThatHalvesEveryTenDays) {
    const QDateTime once = Frecency::addingVisit(kNow, kNow, kNow);
    EXPECT_NEAR(Frecency::score(once, kNow), 101.0, 1e-6);
    // ln 101 / λ days ahead: about 66.6 days.
    EXPECT_NEAR(kNow.msecsTo(once) / Frecency::kMillisecondsPerDay, std::log(101.0) / (std::numbers::ln2 / 10), 1e-6);
    EXPECT_NEAR(kNow.msecsTo(once) / Frecency::kMillisecondsPerDay, 66.58, 0.01);

    const QDateTime twice = Frecency::addingVisit(kNow, once, kNow);
    EXPECT_NEAR(Frecency::score(twice, kNow), 201.0, 1e-6);

    EXPECT_NEAR(Frecency::score(once, kNow.addDays(10)), 50.5, 1e-6);
    // A visit made ten days ago is worth half.
    EXPECT_NEAR(Frecency::score(Frecency::addingVisit(kNow.addDays(-10), kNow, kNow), kNow), 51.0, 1e-6);
}

TEST(FrecencyTest, RemovingMoreThanWasThereFallsInfinitelyFarBack) {
    const QDateTime once = Frecency::addingVisit(kNow, kNow, kNow);
    const QDateTime removed = Frecency::removingVisit(kNow, once, kNow);
    EXPECT_NEAR(Frecency::score(removed, kNow), 1.0, 1e-6);
    const QDateTime gone = Frecency::removingVisit(kNow, removed, kNow);
    EXPECT_EQ(gone, Frecency::farPast());
    EXPECT_EQ(Frecency::score(gone, kNow), 0.0);
    EXPECT_LT(gone, kNow.addYears(-1000));
    // A later visit starts again from nothing.
    EXPECT_NEAR(Frecency::score(Frecency::addingVisit(kNow, gone, kNow), kNow), 100.0, 1e-6);
}

TEST(FrecencyTest, OnlyOneHundredPointsNameAVisitTransition) {
    EXPECT_EQ(Frecency::visitTransition(100.0), Frecency::VisitTransition::defaultVisit);
    EXPECT_EQ(Frecency::visitTransition(99.0), std::nullopt);
    EXPECT_EQ(Frecency::rawValue(Frecency::VisitTransition::defaultVisit), 100.0);
}

// Items built in memory: the chain reads only what each item carries.
SearchItem item(const QString& name, SearchRecord::ContentType type = SearchRecord::ContentType::systemApp,
                std::optional<QDateTime> frecency = std::nullopt, std::optional<QString> alias = std::nullopt,
                std::optional<QString> terms = std::nullopt) {
    SearchRecord record;
    record.key = name;
    record.name = name;
    record.type = type;
    record.frecencyDate = frecency;
    record.alias = alias;
    record.searchTerms = terms;
    return SearchItem::fromRecord(record);
}

QStringList ranked(const std::vector<SearchItem>& items, const QString& term, SearchOptions options = {}) {
    return namesOf(Ranking(nullptr).rank(items, term, options));
}

QDateTime withScore(double score) {
    return Frecency::date(score, QDateTime::currentDateTimeUtc());
}

TEST(RankingTest, ExactAliasBeatsExactNameWhichBeatsFrecency) {
    EXPECT_EQ(
        ranked({item("Term"), item("Terminal", SearchRecord::ContentType::systemApp, withScore(500), "term")}, "term"),
        (QStringList{"Terminal", "Term"}));
    EXPECT_EQ(ranked({item("Terminator", SearchRecord::ContentType::systemApp, withScore(500)), item("Term")}, "term"),
              (QStringList{"Term", "Terminator"}));
}

TEST(RankingTest, SearchTermsRaiseTheScoreOfItemsOpenedWithThatQuery) {
    const QDateTime same = withScore(50);
    const std::vector<SearchItem> items{
        item("Files", SearchRecord::ContentType::systemApp, same, std::nullopt, "doc,x"),
        item("Documents", SearchRecord::ContentType::systemApp, same, std::nullopt, "fi,fi,fi")};
    SearchOptions options{SearchOptions::rankBySearchTerms};
    EXPECT_EQ(ranked(items, "fi", options), (QStringList{"Documents", "Files"}));
    const auto score = Ranking::visitScore(items[1].result(), "fi", QDateTime::currentDateTimeUtc());
    ASSERT_TRUE(score);
    EXPECT_NEAR(*score, std::pow(50.0, 1.6), 1.0);
    // Without the option, equal frecency falls through to the prefix.
    EXPECT_EQ(ranked(items, "fi"), (QStringList{"Files", "Documents"}));
}

TEST(RankingTest, ANonMatchingAliasRanksBelowNoAliasWhateverTheFrecency) {
    EXPECT_EQ(ranked({item("Alpha", SearchRecord::ContentType::systemApp, withScore(900), "zz"), item("Beta")}, "x"),
              (QStringList{"Beta", "Alpha"}));
}

TEST(RankingTest, FrecencyThenPrefixThenCommandsBeforeApplicationsThenName) {
    EXPECT_EQ(ranked({item("Notes"), item("Notepad", SearchRecord::ContentType::systemApp, withScore(2))}, "no"),
              (QStringList{"Notepad", "Notes"}));
    EXPECT_EQ(ranked({item("Open Notes"), item("Notes")}, "no"), (QStringList{"Notes", "Open Notes"}));
    const auto order = Ranking(nullptr).rank({item("Lock App"), item("Lock Screen", SearchRecord::ContentType::command),
                                              item("Lock Pane", SearchRecord::ContentType::prefPane)},
                                             "lock");
    EXPECT_EQ(order.front().result().type(), SearchRecord::ContentType::command);
    EXPECT_EQ(
        ranked({item("Zed", SearchRecord::ContentType::command), item("Alpha", SearchRecord::ContentType::command)},
               "q"),
        (QStringList{"Alpha", "Zed"}));
    // The name is only lower-cased: ‘cafe’ is not a prefix of ‘café noir’.
    EXPECT_EQ(ranked({item("Café Noir"), item("Cafeteria")}, "cafe"), (QStringList{"Cafeteria", "Café Noir"}));
}

TEST(RankingTest, EqualItemsKeepTheirOrder) {
    const QDateTime same = withScore(10);
    EXPECT_EQ(ranked({item("b", SearchRecord::ContentType::systemApp, same, std::nullopt, "q"),
                      item("a", SearchRecord::ContentType::systemApp, same, std::nullopt, "q")},
                     "q", SearchOptions{SearchOptions::rankBySearchTerms}),
              (QStringList{"b", "a"}));
}

// rank() sorts on answers worked out once per item; the order is the one the
// comparison chain gives pair by pair, for every mix of what decides it: exact
// and other aliases, visit scores, frecency dates (equal ones, the far past,
// an invalid one), prefixes, kinds, and names that tie on their first four
// characters, differ only in case or length, or are not ASCII.
TEST(RankingTest, RankingFollowsTheChainForEveryMix) {
    QStringList names{"ab",    "abcd",   "abcde",  "abcd1", "ABCD",  "abcD",   "Ab",     "b",    "",
                      "Éclair", "éclair", "ábc",    "abc d", "abc",   "zz top", "Ab\u00a0c", "abcdé", "ab cd",
                      "x",      "Aa",     "aA",     "a",     "Ωmega", "abc\u0301", "\U0001F600 smile",
                      "\uFFFD mark", "AB[", "ab_",  "AB@"};
    names << QString();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const std::vector<std::optional<QDateTime>> dates{std::nullopt,       now.addDays(3), now.addDays(3),
                                                      now.addDays(-40),   Frecency::farPast(), QDateTime(),
                                                      now.addDays(400)};
    const std::vector<std::optional<QString>> aliases{std::nullopt, std::nullopt, QStringLiteral("ab"),
                                                      QStringLiteral("zz"), QString()};
    const std::vector<std::optional<QString>> terms{std::nullopt, QStringLiteral("ab,ab"), QStringLiteral("x,ab"),
                                                    QString()};
    const std::vector<SearchRecord::ContentType> types{
        SearchRecord::ContentType::systemApp, SearchRecord::ContentType::command, SearchRecord::ContentType::prefPane,
        SearchRecord::ContentType::scriptCommand, SearchRecord::ContentType::quicklink};
    std::vector<SearchItem> items;
    quint32 seed = 7;
    auto next = [&seed](size_t bound) {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<size_t>((seed >> 8) % bound);
    };
    for (int i = 0; i < 600; ++i)
        items.push_back(item(names[static_cast<qsizetype>(next(static_cast<size_t>(names.size())))],
                             types[next(types.size())], dates[next(dates.size())], aliases[next(aliases.size())],
                             terms[next(terms.size())]));
    for (const QString& term : QStringList{"ab", "abcd", "", "x", "éclair", "zz", "ab[", QString()}) {
        for (const SearchOptions options : {SearchOptions{}, SearchOptions{SearchOptions::rankBySearchTerms}}) {
            std::vector<Ranking::RankableItem> reference;
            for (const SearchItem& each : items) reference.push_back(Ranking::rankable(each, term, options, now));
            std::stable_sort(reference.begin(), reference.end(), [&](const auto& a, const auto& b) {
                return Ranking::isOrderedBefore(a, b, term);
            });
            const std::vector<SearchItem> order = Ranking(nullptr).rank(items, term, options);
            ASSERT_EQ(order.size(), reference.size());
            for (size_t i = 0; i < order.size(); ++i)
                ASSERT_EQ(order[i].shared(), reference[i].item.shared())
                    << "term '" << term.toStdString() << "' options " << options.rawValue << " at " << i << ": "
                    << order[i].name().toStdString() << " / " << reference[i].item.name().toStdString();
        }
    }
}

}  // namespace
}  // namespace vantrel::test
