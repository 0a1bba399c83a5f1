// The rule framework the built-in list views order their own items with.
#include "search/SearchTestPrinters.h"

#include "search/RankingRules.h"

#include <gtest/gtest.h>

#include <QDateTime>

namespace vantrel {
namespace {

struct Item {
    QString title;
    std::optional<QDateTime> date;
    int tag = 0;

    QString name() const { return title; }
    std::optional<QDateTime> frecencyDate() const { return date; }
};

static_assert(RankableItem<Item>);
static_assert(!RankableItem<QString>);

QDateTime day(int n) {
    return QDateTime(QDate(2024, 1, 1).addDays(n), QTime(12, 0), Qt::UTC);
}

Item undated(const char* name, int tag = 0) {
    return Item{QString::fromUtf8(name), std::nullopt, tag};
}
Item dated(const char* name, int dayNumber, int tag = 0) {
    return Item{QString::fromUtf8(name), day(dayNumber), tag};
}

QStringList names(const std::vector<Item>& items) {
    QStringList list;
    for (const Item& item : items) list << item.title;
    return list;
}

QList<int> tags(const std::vector<Item>& items) {
    QList<int> list;
    for (const Item& item : items) list << item.tag;
    return list;
}

using Rule = RankingRules<Item>::Rule;

// Orders by tag, descending; its own precomputed ordering reverses the list.
class TagRule : public RankingRule<Item> {
public:
    explicit TagRule(double priority) : m_priority(priority) {}
    double priority() const override { return m_priority; }
    bool isOrderedBefore(const Item& a, const Item& b, const QString&) const override {
        ++comparisons;
        return a.tag > b.tag;
    }
    std::vector<Item> precomputed(std::vector<Item> items, const QString& term) const override {
        lastTerm = term;
        std::reverse(items.begin(), items.end());
        return items;
    }
    mutable int comparisons = 0;
    mutable QString lastTerm;

private:
    double m_priority;
};

TEST(FrecencyRuleTest, DatedBeforeUndatedAndLaterBeforeEarlier) {
    const FrecencyRule<Item> rule(0.5);
    EXPECT_EQ(rule.priority(), 0.5);
    EXPECT_TRUE(rule.isOrderedBefore(dated("a", 1), undated("b"), QString()));
    EXPECT_FALSE(rule.isOrderedBefore(undated("a"), dated("b", 1), QString()));
    EXPECT_TRUE(rule.isOrderedBefore(dated("a", 2), dated("b", 1), QString()));
    EXPECT_FALSE(rule.isOrderedBefore(dated("a", 1), dated("b", 2), QString()));
    // Ties both ways.
    EXPECT_FALSE(rule.isOrderedBefore(dated("a", 1), dated("b", 1), QString()));
    EXPECT_FALSE(rule.isOrderedBefore(undated("a"), undated("b"), QString()));
}

TEST(PrefixRuleTest, PrefixFirstThenAlphabeticalByLowerCasedName) {
    const PrefixRule<Item> rule(1.0);
    EXPECT_EQ(rule.priority(), 1.0);
    // "Zoom" starts with "zo", "Azores" does not.
    EXPECT_TRUE(rule.isOrderedBefore(undated("Zoom"), undated("Azores"), QStringLiteral("zo")));
    EXPECT_FALSE(rule.isOrderedBefore(undated("Azores"), undated("Zoom"), QStringLiteral("zo")));
    // Both or neither with the prefix: alphabetical, ignoring case.
    EXPECT_TRUE(rule.isOrderedBefore(undated("apple"), undated("Banana"), QStringLiteral("x")));
    EXPECT_FALSE(rule.isOrderedBefore(undated("Banana"), undated("apple"), QStringLiteral("x")));
    EXPECT_TRUE(rule.isOrderedBefore(undated("Zoo"), undated("zoom"), QStringLiteral("zo")));
    EXPECT_FALSE(rule.isOrderedBefore(undated("Mail"), undated("mail"), QString()));
    EXPECT_FALSE(rule.isOrderedBefore(undated("mail"), undated("Mail"), QString()));
}

TEST(PrefixRuleTest, TermIsTakenAsGiven) {
    const PrefixRule<Item> rule(1.0);
    // Names are lower-cased, the term is not: callers pass normalised terms.
    EXPECT_FALSE(rule.isOrderedBefore(undated("Zoom"), undated("Azores"), QStringLiteral("Zo")));
}

TEST(BuiltInRulesTest, PrecomputedReturnsTheItemsUnchanged) {
    const std::vector<Item> items{undated("b"), dated("a", 1), undated("c")};
    EXPECT_EQ(names(FrecencyRule<Item>(1).precomputed(items, QStringLiteral("a"))), names(items));
    EXPECT_EQ(names(PrefixRule<Item>(1).precomputed(items, QStringLiteral("a"))), names(items));
}

TEST(RankingRulesTest, RulesAreSortedByPriorityHighestFirst) {
    auto low = std::make_shared<FrecencyRule<Item>>(0.2);
    auto high = std::make_shared<PrefixRule<Item>>(1.0);
    auto middle = std::make_shared<TagRule>(0.5);
    const RankingRules<Item> rules({low, high, middle});
    ASSERT_EQ(rules.rules().size(), 3u);
    EXPECT_EQ(rules.rules()[0], high);
    EXPECT_EQ(rules.rules()[1], middle);
    EXPECT_EQ(rules.rules()[2], low);
    EXPECT_FALSE(rules.precompute());
}

TEST(RankingRulesTest, EqualPrioritiesKeepTheGivenOrder) {
    auto first = std::make_shared<TagRule>(0.5);
    auto second = std::make_shared<FrecencyRule<Item>>(0.5);
    const RankingRules<Item> rules({first, second});
    EXPECT_EQ(rules.rules()[0], first);
    EXPECT_EQ(rules.rules()[1], second);
}

TEST(RankingRulesTest, HigherPriorityRuleDecidesFirst) {
    const std::vector<Item> items{undated("Calculator"), dated("Notes", 3), undated("Calendar"), dated("Recall", 5),
                                  dated("Camera", 1)};

    // Frecency first: dated items by date, then the undated ones by prefix and name.
    const RankingRules<Item> frecencyFirst(
        {std::make_shared<PrefixRule<Item>>(0.5), std::make_shared<FrecencyRule<Item>>(1.0)});
    EXPECT_EQ(names(frecencyFirst.rank(items, QStringLiteral("ca"))),
              (QStringList{"Recall", "Notes", "Camera", "Calculator", "Calendar"}));

    // Prefix first: names starting with the term, alphabetically; the rest alphabetically.
    const RankingRules<Item> prefixFirst(
        {std::make_shared<PrefixRule<Item>>(1.0), std::make_shared<FrecencyRule<Item>>(0.5)});
    EXPECT_EQ(names(prefixFirst.rank(items, QStringLiteral("ca"))),
              (QStringList{"Calculator", "Calendar", "Camera", "Notes", "Recall"}));
}

TEST(RankingRulesTest, TiesFallToTheNextRule) {
    // Same tag: the frecency rule decides; same tag and date: the prefix rule.
    const std::vector<Item> items{undated("Beta", 1), dated("Alpha", 1, 1), dated("Gamma", 2, 1), undated("Delta", 2),
                                  dated("Epsilon", 2, 1)};
    const RankingRules<Item> rules(
        {std::make_shared<TagRule>(3), std::make_shared<FrecencyRule<Item>>(2), std::make_shared<PrefixRule<Item>>(1)});
    EXPECT_EQ(names(rules.rank(items, QStringLiteral("x"))),
              (QStringList{"Delta", "Epsilon", "Gamma", "Alpha", "Beta"}));
}

TEST(RankingRulesTest, SortIsStableWhenEveryRuleTies) {
    const std::vector<Item> items{dated("Mail", 1, 1), undated("Zed", 2), dated("mail", 1, 3), dated("MAIL", 1, 4),
                                  undated("zed", 5)};
    const RankingRules<Item> rules({std::make_shared<FrecencyRule<Item>>(1), std::make_shared<PrefixRule<Item>>(0.5)});
    // Equal dates and equal lower-cased names keep their input order.
    EXPECT_EQ(tags(rules.rank(items, QStringLiteral("m"))), (QList<int>{1, 3, 4, 2, 5}));

    std::vector<Item> many;
    for (int i = 0; i < 200; ++i) many.push_back(undated(i % 2 ? "Same" : "same", i));
    const std::vector<Item> ranked = rules.rank(many, QStringLiteral("s"));
    for (int i = 0; i < 200; ++i) EXPECT_EQ(ranked[static_cast<size_t>(i)].tag, i);
}

TEST(RankingRulesTest, PrecomputeUsesTheFirstRulesOwnOrdering) {
    auto tagRule = std::make_shared<TagRule>(2.0);
    const RankingRules<Item> rules({std::make_shared<PrefixRule<Item>>(1.0), tagRule}, true);
    EXPECT_TRUE(rules.precompute());
    const std::vector<Item> items{undated("a", 1), undated("b", 3), undated("c", 2)};
    EXPECT_EQ(names(rules.rank(items, QStringLiteral("q"))), (QStringList{"c", "b", "a"}));
    EXPECT_EQ(tagRule->lastTerm, QStringLiteral("q"));
    EXPECT_EQ(tagRule->comparisons, 0);

    // Without precompute the same rule compares pairwise.
    const RankingRules<Item> pairwise({tagRule});
    EXPECT_EQ(names(pairwise.rank(items, QStringLiteral("q"))), (QStringList{"b", "c", "a"}));
    EXPECT_GT(tagRule->comparisons, 0);
}

TEST(RankingRulesTest, PrecomputeWithBuiltInRuleKeepsTheOrder) {
    const RankingRules<Item> rules({std::make_shared<FrecencyRule<Item>>(1.0)}, true);
    const std::vector<Item> items{undated("b"), dated("a", 1), undated("c")};
    EXPECT_EQ(names(rules.rank(items, QString())), (QStringList{"b", "a", "c"}));
}

TEST(RankingRulesTest, WithoutRulesItemsKeepTheirOrder) {
    const std::vector<Item> items{undated("b"), dated("a", 1), undated("c")};
    EXPECT_EQ(names(RankingRules<Item>().rank(items, QString())), (QStringList{"b", "a", "c"}));
    EXPECT_EQ(names(RankingRules<Item>({}, true).rank(items, QString())), (QStringList{"b", "a", "c"}));
    EXPECT_TRUE(RankingRules<Item>().rank({}, QStringLiteral("x")).empty());
}

}  // namespace
}  // namespace vantrel
