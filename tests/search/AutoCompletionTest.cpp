// Filtering a list view's own items as the user types, with each strategy.
#include "search/SearchTestPrinters.h"
#include "support/DatabaseTestSupport.h"

#include "search/AutoCompletion.h"

#include <QDateTime>

#include <atomic>
#include <memory>
#include <stdexcept>

namespace vantrel::test {
namespace {

struct ListItem {
    QString title;
    QStringList words;
    std::optional<QDateTime> date;

    QString name() const { return title; }
    QStringList keywords() const { return words; }
    std::optional<QDateTime> frecencyDate() const { return date; }
};

static_assert(AutoCompletionItem<ListItem>);

QDateTime day(int n) {
    return QDateTime(QDate(2024, 1, 1).addDays(n), QTime(12, 0), Qt::UTC);
}

ListItem item(const char* name, std::optional<int> dayNumber = std::nullopt, QStringList keywords = {}) {
    ListItem result{QString::fromUtf8(name), std::move(keywords), std::nullopt};
    if (dayNumber) result.date = day(*dayNumber);
    return result;
}

QStringList names(const std::vector<ListItem>& items) {
    QStringList list;
    for (const ListItem& entry : items) list << entry.title;
    return list;
}

// Frecency first, then prefix and name, as the applications list orders.
RankingRules<ListItem> frecencyThenPrefix() {
    return RankingRules<ListItem>(
        {std::make_shared<FrecencyRule<ListItem>>(1.0), std::make_shared<PrefixRule<ListItem>>(0.5)});
}

// Updates and waits for the completion on the main thread.
void updateAndWait(AutoCompletion<ListItem>& completion, std::vector<ListItem> items) {
    bool done = false;
    completion.update(std::move(items), [&] { done = true; });
    ASSERT_TRUE(waitUntil([&] { return done; }, 60000));
}

std::vector<ListItem> sampleItems() {
    return {item("Contacts"),          item("Calculator"),
            item("Calendar", 3),       item("Clock Calibration", 9),
            item("Time Calculations"), item("Files", std::nullopt, {"nautilus"}),
            item("Café Noir")};
}

// MARK: Radix and trie strategies

enum class Kind { radix, trie };

class IndexedAutoCompletionTest : public ::testing::TestWithParam<Kind> {
protected:
    AutoCompletionStrategy<ListItem> strategy() const {
        return GetParam() == Kind::radix ? AutoCompletionStrategy<ListItem>::radix()
                                         : AutoCompletionStrategy<ListItem>::trie();
    }
    std::unique_ptr<AutoCompletion<ListItem>> make(RankingRules<ListItem> ranking = frecencyThenPrefix()) const {
        return std::make_unique<AutoCompletion<ListItem>>(strategy(), std::move(ranking));
    }
};

TEST_P(IndexedAutoCompletionTest, AnswersNothingBeforeTheFirstUpdate) {
    auto completion = make();
    EXPECT_TRUE(completion->completions(QString()).empty());
    EXPECT_TRUE(completion->completions(QString(), true).empty());
    EXPECT_TRUE(completion->completions(QStringLiteral("cal")).empty());
}

TEST_P(IndexedAutoCompletionTest, UpdateCompletesOnTheMainThreadAfterwards) {
    auto completion = make();
    bool done = false;
    completion->update(sampleItems(), [&] { done = true; });
    EXPECT_FALSE(done);  // the build runs in the background, the completion is posted
    ASSERT_TRUE(waitUntil([&] { return done; }));
    EXPECT_EQ(completion->completions(QString()).size(), sampleItems().size());
}

TEST_P(IndexedAutoCompletionTest, RanksMatchesByFrecencyThenPrefix) {
    auto completion = make();
    updateAndWait(*completion, sampleItems());
    // Dated matches by date; then undated ones whose name starts with the term;
    // then the rest ("time calculations" matches through its word "calculations").
    EXPECT_EQ(names(completion->completions(QStringLiteral("cal"))),
              (QStringList{"Clock Calibration", "Calendar", "Calculator", "Time Calculations"}));
    // The term is normalised before the lookup and the ranking.
    EXPECT_EQ(names(completion->completions(QStringLiteral("CAL"))),
              (QStringList{"Clock Calibration", "Calendar", "Calculator", "Time Calculations"}));
    EXPECT_EQ(names(completion->completions(QStringLiteral("Cafe"))), QStringList{"Café Noir"});
    EXPECT_EQ(names(completion->completions(QStringLiteral("café"))), QStringList{"Café Noir"});
    EXPECT_TRUE(completion->completions(QStringLiteral("xyz")).empty());
}

TEST_P(IndexedAutoCompletionTest, FindsByWordsInitialsAndKeywords) {
    auto completion = make();
    updateAndWait(*completion, sampleItems());
    EXPECT_EQ(names(completion->completions(QStringLiteral("calib"))), QStringList{"Clock Calibration"});
    EXPECT_EQ(names(completion->completions(QStringLiteral("cc"))), QStringList{"Clock Calibration"});
    EXPECT_EQ(names(completion->completions(QStringLiteral("tc"))), QStringList{"Time Calculations"});
    EXPECT_EQ(names(completion->completions(QStringLiteral("naut"))), QStringList{"Files"});
    // Prefixes of keys only.
    EXPECT_TRUE(completion->completions(QStringLiteral("ontacts")).empty());
}

TEST_P(IndexedAutoCompletionTest, EachMatchingItemComesOnce) {
    auto completion = make();
    // "Calendar Calendar" has many keys starting with "cal".
    updateAndWait(*completion, {item("Calendar Calendar"), item("Calendar")});
    EXPECT_EQ(names(completion->completions(QStringLiteral("cal"))), (QStringList{"Calendar", "Calendar Calendar"}));
}

TEST_P(IndexedAutoCompletionTest, EmptyTermKeepsTheGivenOrderUnlessAlwaysRank) {
    auto completion = make();
    const std::vector<ListItem> items = sampleItems();
    updateAndWait(*completion, items);
    EXPECT_EQ(names(completion->completions(QString())), names(items));
    EXPECT_EQ(names(completion->completions(QString(), false)), names(items));
    // Ranked with the empty term: dated by date, then every name has the empty
    // prefix, so alphabetically by lower-cased name.
    EXPECT_EQ(names(completion->completions(QString(), true)),
              (QStringList{"Clock Calibration", "Calendar", "Café Noir", "Calculator", "Contacts", "Files",
                           "Time Calculations"}));
}

TEST_P(IndexedAutoCompletionTest, SortsWithTheGivenRules) {
    // Prefix only: no frecency advantage.
    auto completion = make(RankingRules<ListItem>({std::make_shared<PrefixRule<ListItem>>(0.2)}));
    updateAndWait(*completion, sampleItems());
    EXPECT_EQ(names(completion->completions(QStringLiteral("cal"))),
              (QStringList{"Calculator", "Calendar", "Clock Calibration", "Time Calculations"}));
    // Precompute with a built-in rule keeps the lookup's order (ascending positions).
    auto precomputed = make(RankingRules<ListItem>({std::make_shared<PrefixRule<ListItem>>(1.0)}, true));
    updateAndWait(*precomputed, sampleItems());
    EXPECT_EQ(names(precomputed->completions(QStringLiteral("cal"))),
              (QStringList{"Calculator", "Calendar", "Clock Calibration", "Time Calculations"}));
    EXPECT_EQ(names(precomputed->completions(QString(), true)), names(sampleItems()));
}

TEST_P(IndexedAutoCompletionTest, UpdateReplacesTheItems) {
    auto completion = make();
    updateAndWait(*completion, sampleItems());
    updateAndWait(*completion, {item("Terminal"), item("Calendar")});
    EXPECT_EQ(names(completion->completions(QStringLiteral("cal"))), QStringList{"Calendar"});
    EXPECT_EQ(names(completion->completions(QString())), (QStringList{"Terminal", "Calendar"}));
    updateAndWait(*completion, {});
    EXPECT_TRUE(completion->completions(QString()).empty());
    EXPECT_TRUE(completion->completions(QStringLiteral("cal")).empty());
}

TEST_P(IndexedAutoCompletionTest, TheLastStartedUpdateWins) {
    auto completion = make();
    std::vector<ListItem> large;
    for (int i = 0; i < 5000; ++i) large.push_back(ListItem{QStringLiteral("Large Item %1").arg(i), {}, std::nullopt});
    int done = 0;
    completion->update(large, [&] { ++done; });
    completion->update({item("Small")}, [&] { ++done; });
    ASSERT_TRUE(waitUntil([&] { return done == 2; }, 60000));
    EXPECT_EQ(names(completion->completions(QString())), QStringList{"Small"});
}

TEST_P(IndexedAutoCompletionTest, DestroyedDuringAnUpdate) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    {
        auto completion = make();
        std::vector<ListItem> items;
        for (int i = 0; i < 2000; ++i) items.push_back(ListItem{QStringLiteral("Item %1").arg(i), {}, std::nullopt});
        completion->update(std::move(items), [done] { *done = true; });
    }
    // The build finishes on its own and still reports.
    EXPECT_TRUE(waitUntil([&] { return done->load(); }, 60000));
}

TEST_P(IndexedAutoCompletionTest, LookupsDuringAnUpdateAnswerFromThePreviousItems) {
    auto completion = make();
    std::vector<ListItem> before;
    for (int i = 0; i < 100; ++i) before.push_back(ListItem{QStringLiteral("Item %1").arg(i), {}, std::nullopt});
    updateAndWait(*completion, before);

    constexpr size_t kLarge = 50000;
    std::vector<ListItem> after;
    after.reserve(kLarge);
    for (size_t i = 0; i < kLarge; ++i)
        after.push_back(ListItem{QStringLiteral("Item %1").arg(i), {}, i % 7 ? std::nullopt : std::optional(day(1))});

    std::atomic<bool> done{false};
    completion->update(after, [&] { done = true; });
    int lookups = 0;
    int previous = 0;
    // Completions run on the main thread, so spin the event loop in between.
    while (!done) {
        const size_t all = completion->completions(QString()).size();
        ASSERT_TRUE(all == before.size() || all == kLarge) << all;
        const size_t matching = completion->completions(QStringLiteral("item 4")).size();
        // "item 4" is a prefix of the keys of "Item 4", "Item 40".."Item 49"
        // (11 of the first 100) or of 11111 of the 50000.
        ASSERT_TRUE(matching == 11 || matching == 11111) << matching;
        if (all == before.size()) ++previous;
        ++lookups;
        waitUntil([] { return false; }, 1);
    }
    EXPECT_GT(lookups, 0);
    EXPECT_GT(previous, 0);
    EXPECT_EQ(completion->completions(QString()).size(), kLarge);
    EXPECT_EQ(completion->completions(QStringLiteral("item 4")).size(), 11111u);
}

INSTANTIATE_TEST_SUITE_P(Strategies, IndexedAutoCompletionTest, ::testing::Values(Kind::radix, Kind::trie),
                         [](const ::testing::TestParamInfo<Kind>& param) {
                             return param.param == Kind::radix ? std::string("radix") : std::string("trie");
                         });

// The radix keys end in the item's position, so a query ending in digits may
// also match that suffix: "app1" finds "App" at position 12 (stored as
// "app12"). The trie keeps positions beside the keys and has no such effect.
TEST(AutoCompletionPositionSuffixTest, RadixQueryEndingInDigitsMatchesPositions) {
    std::vector<ListItem> items{item("App1")};  // position 0: key "app10"
    for (int i = 1; i < 12; ++i) items.push_back(ListItem{QStringLiteral("Filler %1").arg(i), {}, std::nullopt});
    items.push_back(item("App"));  // position 12: key "app12"

    AutoCompletion<ListItem> radix(AutoCompletionStrategy<ListItem>::radix(), frecencyThenPrefix());
    updateAndWait(radix, items);
    // "App1" starts with the term and ranks first; "App" is there only by its position.
    EXPECT_EQ(names(radix.completions(QStringLiteral("app1"))), (QStringList{"App1", "App"}));
    EXPECT_EQ(names(radix.completions(QStringLiteral("app12"))), QStringList{"App"});
    EXPECT_EQ(names(radix.completions(QStringLiteral("app"))), (QStringList{"App", "App1"}));

    AutoCompletion<ListItem> trie(AutoCompletionStrategy<ListItem>::trie(), frecencyThenPrefix());
    updateAndWait(trie, items);
    EXPECT_EQ(names(trie.completions(QStringLiteral("app1"))), QStringList{"App1"});
    EXPECT_TRUE(trie.completions(QStringLiteral("app12")).empty());
    EXPECT_EQ(names(trie.completions(QStringLiteral("app"))), (QStringList{"App", "App1"}));
}

// MARK: Database strategy

ListItem fromRecord(const SearchRecord& record) {
    return ListItem{record.name, record.keywordList(), record.frecencyDate};
}

class DatabaseAutoCompletionTest : public SearchRepositoryFixture {
protected:
    void SetUp() override {
        SearchRepositoryFixture::SetUp();
        repository->update(SearchRecord::Source::system,
                           {app("Calculator"), app("Calendar"), app("Contacts"), app("Time Calculations"),
                            app("Clock Calibration"), app("Café Noir")},
                           SearchUpdateStrategy::source());
        // Calendar was opened recently.
        repository->updateRecord(QStringLiteral("Calendar"), [](SearchRecord record) -> std::optional<SearchRecord> {
            record.frecencyDate = day(30);
            return record;
        });
    }

    static SearchRecord app(const char* name) {
        SearchRecord record;
        record.key = QString::fromUtf8(name);
        record.type = SearchRecord::ContentType::systemApp;
        record.source = SearchRecord::Source::system;
        record.name = QString::fromUtf8(name);
        return record;
    }

    AutoCompletion<ListItem> make(RankingRules<ListItem> ranking = frecencyThenPrefix()) {
        auto reader = repository;
        auto terms = asked;
        return AutoCompletion<ListItem>(
            AutoCompletionStrategy<ListItem>::database([reader, terms](const QString& term) {
                terms->append(term);
                std::vector<ListItem> items;
                for (const SearchRecord& record : reader->completions(term)) items.push_back(fromRecord(record));
                return items;
            }),
            std::move(ranking));
    }

    std::shared_ptr<QStringList> asked = std::make_shared<QStringList>();
};

TEST_F(DatabaseAutoCompletionTest, UpdateOnlyCallsTheCompletion) {
    AutoCompletion<ListItem> completion = make();
    bool done = false;
    completion.update({item("Ignored")}, [&] { done = true; });
    EXPECT_TRUE(done);
    EXPECT_TRUE(asked->isEmpty());
    EXPECT_TRUE(completion.completions(QStringLiteral("ignored")).empty());
}

TEST_F(DatabaseAutoCompletionTest, NonEmptyTermIsNormalisedAskedAndRanked) {
    AutoCompletion<ListItem> completion = make();
    // The repository answers by name; the ranking puts the dated Calendar first.
    EXPECT_EQ(names(completion.completions(QStringLiteral("CAL"))),
              (QStringList{"Calendar", "Calculator", "Clock Calibration", "Time Calculations"}));
    EXPECT_EQ(names(completion.completions(QStringLiteral("Café"))), QStringList{"Café Noir"});
    EXPECT_EQ(*asked, (QStringList{"cal", "cafe"}));
}

TEST_F(DatabaseAutoCompletionTest, EmptyTermIsRankedOnlyWithAlwaysRank) {
    AutoCompletion<ListItem> completion = make();
    // The repository lists by name.
    EXPECT_EQ(
        names(completion.completions(QString())),
        (QStringList{"Café Noir", "Calculator", "Calendar", "Clock Calibration", "Contacts", "Time Calculations"}));
    EXPECT_EQ(
        names(completion.completions(QString(), true)),
        (QStringList{"Calendar", "Café Noir", "Calculator", "Clock Calibration", "Contacts", "Time Calculations"}));
    EXPECT_EQ(*asked, (QStringList{QString(), QString()}));
}

TEST_F(DatabaseAutoCompletionTest, FailingRepositoryIsLoggedAndAnswersNothing) {
    AutoCompletion<ListItem> completion = make();
    pool->write([](Connection& db) { db.execute(QStringLiteral("DROP TABLE search")); });
    EXPECT_TRUE(completion.completions(QStringLiteral("cal")).empty());
    EXPECT_TRUE(logs->contains(QStringLiteral("Failed searching completions")));
    logs->clear();
    EXPECT_TRUE(completion.completions(QString(), true).empty());
    EXPECT_TRUE(logs->contains(QStringLiteral("Failed searching completions")));

    AutoCompletion<ListItem> throwing(
        AutoCompletionStrategy<ListItem>::database(
            [](const QString&) -> std::vector<ListItem> { throw std::runtime_error("offline"); }),
        frecencyThenPrefix());
    logs->clear();
    EXPECT_TRUE(throwing.completions(QStringLiteral("x")).empty());
    EXPECT_TRUE(logs->contains(QStringLiteral("Failed searching completions")));
}

}  // namespace
}  // namespace vantrel::test
