#include "support/AppTestSupport.h"

#include "core/rootsearch/URLSearchProvider.h"

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

class URLSearchProviderTest : public RegistryFixture {
protected:
    QStringList ids(const QString& query) const {
        QStringList found;
        for (const SearchItem& item : URLSearchProvider(*registry).results(query)) found << item.identifier();
        return found;
    }

    const QStringList urlCommands{"openInBrowser", "urlDecode", "urlEncode", "createQuicklinkWithURL"};
};

TEST_F(URLSearchProviderTest, aLinkInTheMiddleOfAFewWordsOffersTheFourURLCommandsInOrder) {
    const auto items = URLSearchProvider(*registry).results(QStringLiteral("please open www.example.com/docs now"));
    ASSERT_EQ(items.size(), 4u);
    QStringList names;
    for (const SearchItem& item : items) {
        ASSERT_NE(item.record(), nullptr);
        EXPECT_EQ(item.result().type(), SearchRecord::ContentType::command);
        names << item.name();
    }
    EXPECT_EQ(QStringList({items[0].identifier(), items[1].identifier(), items[2].identifier(), items[3].identifier()}),
              urlCommands);
    EXPECT_EQ(names, QStringList({"Open in Browser", "Decode URL", "Encode URL", "Create Quicklink"}));
    // The same record the commands source writes for the command.
    EXPECT_EQ(items[0].record()->category, QStringLiteral("URL"));
    EXPECT_EQ(items[3].record()->category, QStringLiteral("Vantrel"));
}

TEST_F(URLSearchProviderTest, anyKindOfLinkCounts) {
    for (const char* query :
         {"https://example.com", "example.org", "copy ftp://host/file here", "docs.example.co.uk/a"})
        EXPECT_EQ(ids(QString::fromUtf8(query)), urlCommands) << query;
}

TEST_F(URLSearchProviderTest, queriesWithoutALinkGetNothing) {
    for (const char* query : {"", "hello world", "foo@bar.com", "file.txt", "1.5", "e.g.", "openInBrowser", "www"})
        EXPECT_TRUE(ids(QString::fromUtf8(query)).isEmpty()) << query;
}

}  // namespace
}  // namespace vantrel::test
