#include "core/rootsearch/SearchBarHistory.h"

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

using Item = SearchBarHistory::Item;

TEST(SearchBarHistoryTest, UpStepsToOlderItemsAndDownBackToNewerOnes) {
    SearchBarHistory history(QStringLiteral("rootSearch"));
    history.insert({QStringLiteral("first"), {}});
    history.insert({QStringLiteral("gh"), {QStringLiteral("vantrel"), QStringLiteral("main")}});
    history.insert({QStringLiteral("third"), {}});

    EXPECT_EQ(history.previous(), (Item{QStringLiteral("third"), {}}));
    EXPECT_EQ(history.previous(), (Item{QStringLiteral("gh"), {QStringLiteral("vantrel"), QStringLiteral("main")}}));
    EXPECT_EQ(history.previous(), (Item{QStringLiteral("first"), {}}));
    EXPECT_EQ(history.previous(), std::nullopt);
    EXPECT_EQ(history.iterator(), 0u);
    EXPECT_EQ(history.next()->text, QStringLiteral("gh"));
    EXPECT_EQ(history.next()->text, QStringLiteral("third"));
    // Past the newest, stepping ends.
    EXPECT_EQ(history.next(), std::nullopt);
    EXPECT_EQ(history.iterator(), std::nullopt);
    EXPECT_EQ(history.identifier(), QStringLiteral("rootSearch"));
}

TEST(SearchBarHistoryTest, RepeatsMoveToTheTopAndEmptyInputIsNotKept) {
    SearchBarHistory history(QStringLiteral("rootSearch"), 3);
    history.insert({QStringLiteral("a"), {}});
    history.insert({QStringLiteral("b"), {}});
    history.insert({QStringLiteral("a"), {}});
    history.insert({QStringLiteral("a"), {}});
    history.insert({QStringLiteral("  "), {}});
    ASSERT_EQ(history.stack().size(), 2u);
    EXPECT_EQ(history.stack().back().text, QStringLiteral("a"));

    // Same text, other arguments: another item.
    history.insert({QStringLiteral("a"), {QStringLiteral("x")}});
    history.insert({QStringLiteral("c"), {}});
    ASSERT_EQ(history.stack().size(), 3u);
    EXPECT_EQ(history.stack().front(), (Item{QStringLiteral("a"), {}}));

    history.previous();
    history.insert({QStringLiteral("d"), {}});
    EXPECT_EQ(history.iterator(), std::nullopt);
    EXPECT_EQ(history.stack().size(), 3u);
    EXPECT_EQ(history.next(), std::nullopt);
}

}  // namespace
}  // namespace vantrel::test
