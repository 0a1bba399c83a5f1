#include "kit/Stack.h"
#include "support/QtPrinters.h"

#include <QString>

#include <gtest/gtest.h>

#include <vector>

namespace vantrel {
namespace {

template <typename T>
std::vector<T> fromTop(const Stack<T>& stack) {
    return std::vector<T>(stack.begin(), stack.end());
}

TEST(StackTest, PopsInReverseOrderOfPushing) {
    Stack<int> stack;
    EXPECT_TRUE(stack.isEmpty());
    EXPECT_EQ(stack.pop(), std::nullopt);
    EXPECT_EQ(stack.top(), std::nullopt);
    stack.push(1);
    stack.push(2);
    stack.push(3);
    EXPECT_EQ(stack.count(), 3);
    EXPECT_EQ(stack.top(), 3);
    EXPECT_EQ(stack.peek(), 3);
    EXPECT_EQ(stack.count(), 3);
    EXPECT_EQ(stack.pop(), 3);
    EXPECT_EQ(stack.pop(), 2);
    EXPECT_EQ(stack.pop(), 1);
    EXPECT_TRUE(stack.isEmpty());
}

TEST(StackTest, IteratesFromTheTop) {
    Stack<QString> stack;
    stack.push(QStringLiteral("root"));
    stack.push(QStringLiteral("list"));
    stack.push(QStringLiteral("detail"));
    EXPECT_EQ(fromTop(stack),
              (std::vector<QString>{QStringLiteral("detail"), QStringLiteral("list"), QStringLiteral("root")}));
    EXPECT_EQ(*stack.begin(), QStringLiteral("detail"));
    EXPECT_EQ(stack.elements().front(), QStringLiteral("root"));
}

TEST(StackTest, PushingBeyondTheLimitDropsTheBottom) {
    Stack<int> stack(3);
    for (int i = 1; i <= 5; ++i) stack.push(i);
    EXPECT_EQ(stack.count(), 3);
    EXPECT_EQ(fromTop(stack), (std::vector<int>{5, 4, 3}));
    EXPECT_EQ(stack.limit(), 3);

    stack.clear();
    EXPECT_TRUE(stack.isEmpty());
    stack.push(9);
    EXPECT_EQ(fromTop(stack), std::vector<int>{9});
}

TEST(StackTest, AZeroLimitKeepsNothing) {
    Stack<int> stack(0);
    stack.push(1);
    EXPECT_TRUE(stack.isEmpty());
}

}  // namespace
}  // namespace vantrel
