#include "kit/VantrelError.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <stdexcept>

using vantrel::VantrelError;

TEST(VantrelErrorTest, MessageErrorAndBothKeepWhatTheyWereGiven) {
    const VantrelError message(QStringLiteral("Cannot open the database"));
    EXPECT_TRUE(std::holds_alternative<VantrelError::JustMessage>(message.underlying()));
    EXPECT_EQ(message.errorDescription(), QStringLiteral("Cannot open the database"));
    EXPECT_EQ(message.wrappedError(), nullptr);
    EXPECT_STREQ(message.what(), "Cannot open the database");

    const VantrelError error{std::runtime_error("disk full")};
    EXPECT_TRUE(std::holds_alternative<VantrelError::JustError>(error.underlying()));
    EXPECT_EQ(error.errorDescription(), QStringLiteral("disk full"));
    ASSERT_NE(error.wrappedError(), nullptr);
    EXPECT_STREQ(error.wrappedError()->what(), "disk full");

    const VantrelError both(QStringLiteral("Cannot save the snippet"), std::runtime_error("disk full"));
    EXPECT_TRUE(std::holds_alternative<VantrelError::Both>(both.underlying()));
    EXPECT_EQ(both.errorDescription(), QStringLiteral("Cannot save the snippet"));
    EXPECT_STREQ(both.what(), "Cannot save the snippet");
}

TEST(VantrelErrorTest, RecordsTheFileLineAndFunctionWhereItWasCreated) {
    const VantrelError error(QStringLiteral("boom"));
    const int line = __LINE__ - 1;
    const QString prefix = QStringLiteral("VantrelErrorTest.cpp:%1 ").arg(line);
    EXPECT_TRUE(error.location().startsWith(prefix)) << error.location().toStdString();
    EXPECT_TRUE(error.location().contains(QStringLiteral("TestBody"))) << error.location().toStdString();
    EXPECT_FALSE(error.location().contains(QLatin1Char('/')));
}

TEST(VantrelErrorTest, WrappingAnotherVantrelErrorKeepsItsChainID) {
    const VantrelError inner(QStringLiteral("inner"));
    const VantrelError outer(QStringLiteral("outer"), inner);
    // Cast so that this wraps the error instead of copying it.
    const VantrelError outermost(static_cast<const std::exception&>(outer));
    EXPECT_TRUE(std::holds_alternative<VantrelError::JustError>(outermost.underlying()));
    EXPECT_FALSE(inner.chainID().isNull());
    EXPECT_EQ(outer.chainID(), inner.chainID());
    EXPECT_EQ(outermost.chainID(), inner.chainID());
    EXPECT_EQ(outermost.errorDescription(), QStringLiteral("outer"));
}

TEST(VantrelErrorTest, WrappingAThrownVantrelErrorKeepsItsChainID) {
    const VantrelError inner(QStringLiteral("inner"));
    std::exception_ptr thrown;
    try {
        throw inner;
    } catch (...) {
        thrown = std::current_exception();
    }
    const VantrelError outer(QStringLiteral("outer"), thrown);
    EXPECT_EQ(outer.chainID(), inner.chainID());
}

TEST(VantrelErrorTest, EveryOtherErrorStartsAFreshChain) {
    const std::runtime_error cause("cause");
    const VantrelError first(cause);
    const VantrelError second(QStringLiteral("again"), cause);
    const VantrelError third(QStringLiteral("plain"));
    EXPECT_FALSE(first.chainID().isNull());
    EXPECT_NE(first.chainID(), second.chainID());
    EXPECT_NE(first.chainID(), third.chainID());
    EXPECT_NE(second.chainID(), third.chainID());
}

TEST(VantrelErrorTest, DebugDescriptionIndentsTheWrappedErrorByOneTab) {
    const VantrelError plain(QStringLiteral("just this"));
    EXPECT_EQ(plain.debugDescription(), QStringLiteral("just this"));

    const VantrelError wrapped(QStringLiteral("Cannot load"), std::runtime_error("line one\nline two"));
    EXPECT_EQ(wrapped.debugDescription(), QStringLiteral("Cannot load Underlying error:\n\tline one\n\tline two"));

    const VantrelError outer(QStringLiteral("Cannot start"), wrapped);
    EXPECT_EQ(
        outer.debugDescription(),
        QStringLiteral("Cannot start Underlying error:\n\tCannot load Underlying error:\n\t\tline one\n\t\tline two"));
}

TEST(VantrelErrorTest, JustErrorDescribesItselfWithTheWrappedErrorsDescription) {
    const VantrelError inner(QStringLiteral("The file is missing"));
    const VantrelError outer(static_cast<const std::exception&>(inner));
    EXPECT_EQ(outer.errorDescription(), QStringLiteral("The file is missing"));
    EXPECT_EQ(VantrelError::describe(outer), QStringLiteral("The file is missing"));
    EXPECT_EQ(VantrelError::describe(std::runtime_error("other")), QStringLiteral("other"));
}

TEST(VantrelErrorTest, CopiesShareTheWrappedErrorAfterTheOriginalIsGone) {
    std::optional<VantrelError> kept;
    {
        const std::runtime_error cause("temporary");
        kept.emplace(QStringLiteral("outer"), cause);
    }
    const VantrelError copy = *kept;
    ASSERT_NE(copy.wrappedError(), nullptr);
    EXPECT_STREQ(copy.wrappedError()->what(), "temporary");
    EXPECT_EQ(copy.chainID(), kept->chainID());
    EXPECT_EQ(copy.location(), kept->location());
}
