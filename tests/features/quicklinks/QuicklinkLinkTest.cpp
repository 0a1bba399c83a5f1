// The placeholder rule and the link a quicklink opens for the values typed.
#include "features/quicklinks/QuicklinkLink.h"
#include "kit/UrlEncoding.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QDir>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

QString built(const QString& link, const QStringList& values) {
    QStringList encoded;
    for (const QString& value : values) encoded << percentEncodedForQuery(value);
    const auto target = buildQuicklink(link, encoded);
    return target ? QString::fromUtf8(target->url.toEncoded()) : QStringLiteral("<none>");
}

TEST(QuicklinkPlaceholder, IsTheShortestTextInTheFirstBraces) {
    EXPECT_EQ(quicklinkPlaceholder("https://example.org/s?q={Query}"), QStringLiteral("Query"));
    EXPECT_EQ(quicklinkPlaceholder("https://example.org/{Place}/x/{Other}"), QStringLiteral("Place"));
    EXPECT_EQ(quicklinkPlaceholder("https://example.org/{}"), QString());
    EXPECT_EQ(quicklinkPlaceholder("https://example.org/plain"), std::nullopt);
    EXPECT_EQ(quicklinkPlaceholder("https://example.org/{open"), std::nullopt);
}

TEST(QuicklinkBuilding, ValuesArriveEncodedForAQuery) {
    EXPECT_EQ(built("https://example.org/s?q={Query}", {"a b#c"}), "https://example.org/s?q=a%20b%23c");
    EXPECT_EQ(built("https://www.openstreetmap.org/search?query={Place}", {"Zürich HB"}),
              "https://www.openstreetmap.org/search?query=Z%C3%BCrich%20HB");
    // Characters a query may hold stay as they are.
    EXPECT_EQ(built("https://example.org/s?q={Query}", {"tom & jerry"}), "https://example.org/s?q=tom%20&%20jerry");
}

TEST(QuicklinkBuilding, EveryOccurrenceOfThePlaceholderTakesTheValueOthersStay) {
    EXPECT_EQ(built("https://example.org/{Term}/see?q={Term}", {"cats"}), "https://example.org/cats/see?q=cats");
    EXPECT_EQ(built("myapp://open?a={First}&b={Second}", {"one"}), "myapp://open?a=one&b=%7BSecond%7D");
}

TEST(QuicklinkBuilding, APlaceholderNeedsExactlyOneNonEmptyValue) {
    EXPECT_EQ(built("https://example.org/s?q={Query}", {}), "<none>");
    EXPECT_EQ(built("https://example.org/s?q={Query}", {""}), "<none>");
    EXPECT_EQ(built("https://example.org/s?q={Query}", {"a", "b"}), "<none>");
    EXPECT_EQ(built("", {}), "<none>");
}

TEST(QuicklinkBuilding, ALinkWithoutPlaceholderOpensWhateverIsTyped) {
    EXPECT_EQ(built("https://example.org/news", {}), "https://example.org/news");
    EXPECT_EQ(built("https://example.org/news", {"ignored text"}), "https://example.org/news");
}

TEST(QuicklinkBuilding, PathsAndSchemes) {
    ScopedEnv home{"HOME", QByteArray("/home/tester")};
    const auto tilde = buildQuicklink("~/Documents/{Name}", {"report.txt"});
    ASSERT_TRUE(tilde);
    EXPECT_TRUE(tilde->isFilePath);
    EXPECT_EQ(tilde->text, "/home/tester/Documents/report.txt");
    EXPECT_EQ(tilde->url, QUrl::fromLocalFile("/home/tester/Documents/report.txt"));

    const auto folder = buildQuicklink("/usr/share", {});
    ASSERT_TRUE(folder);
    EXPECT_TRUE(folder->isFilePath);
    EXPECT_EQ(folder->url.toLocalFile(), "/usr/share");

    EXPECT_EQ(built("mailto:someone@example.org", {}), "mailto:someone@example.org");
    EXPECT_EQ(built("not a link", {}), "<none>");
    EXPECT_EQ(built("~other/file", {}), "<none>");
}

TEST(QuicklinkBuilding, WhatCountsAsAValidLink) {
    EXPECT_TRUE(isValidQuicklinkLink("https://example.org/s?q={Query}"));
    EXPECT_TRUE(isValidQuicklinkLink("~/Downloads"));
    EXPECT_TRUE(isValidQuicklinkLink("/etc"));
    EXPECT_TRUE(isValidQuicklinkLink("obsidian://open?vault=notes"));
    EXPECT_FALSE(isValidQuicklinkLink(""));
    EXPECT_FALSE(isValidQuicklinkLink("   "));
    EXPECT_FALSE(isValidQuicklinkLink("example"));
}

}  // namespace
}  // namespace vantrel::test
