#include "core/commands/LinkDetector.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace vantrel {
namespace {

struct LinkRow {
    const char* text;
    QStringList links;  // what a user would see underlined, in order
};

void PrintTo(const LinkRow& row, std::ostream* os) {
    *os << '"' << row.text << '"';
}

QStringList linkTexts(const QString& text) {
    QStringList texts;
    for (const DetectedLink& link : LinkDetector::links(text)) {
        EXPECT_EQ(text.mid(link.start, link.length), link.text);
        texts << link.text;
    }
    return texts;
}

class LinkDetection : public testing::TestWithParam<LinkRow> {};

TEST_P(LinkDetection, findsExactlyTheLinksOfTheText) {
    const LinkRow& row = GetParam();
    const QString text = QString::fromUtf8(row.text);
    EXPECT_EQ(linkTexts(text), row.links);
    EXPECT_EQ(LinkDetector::containsLink(text), !row.links.isEmpty());
}

const LinkRow kLinks[] = {
    // Scheme URLs.
    {"https://example.com", {"https://example.com"}},
    {"http://example.com/path?q=1#top", {"http://example.com/path?q=1#top"}},
    {"ftp://files.example.org/pub/file.tar.gz", {"ftp://files.example.org/pub/file.tar.gz"}},
    {"file:///home/user/notes.txt", {"file:///home/user/notes.txt"}},
    {"ssh://git@host", {"ssh://git@host"}},
    {"svn+ssh://repo.local/trunk", {"svn+ssh://repo.local/trunk"}},
    {"HTTPS://EXAMPLE.COM", {"HTTPS://EXAMPLE.COM"}},
    {"http://localhost:8080/api", {"http://localhost:8080/api"}},
    {"http://127.0.0.1:3000", {"http://127.0.0.1:3000"}},
    // www. hosts, any alphabetic top-level domain.
    {"www.example.com", {"www.example.com"}},
    {"WWW.Example.Org/About", {"WWW.Example.Org/About"}},
    {"www.something.zz", {"www.something.zz"}},
    // Bare domains with a known top-level domain.
    {"example.com", {"example.com"}},
    {"docs.example.co.uk", {"docs.example.co.uk"}},
    {"github.io", {"github.io"}},
    {"my-site.de/impressum", {"my-site.de/impressum"}},
    {"example.com:8443", {"example.com:8443"}},
    {"example.com/search?q=a+b&lang=en", {"example.com/search?q=a+b&lang=en"}},
    {"readme.md/raw", {"readme.md/raw"}},
    // Anywhere in a text, trailing punctuation left out.
    {"open example.com now", {"example.com"}},
    {"see https://example.com.", {"https://example.com"}},
    {"is it example.org?", {"example.org"}},
    {"(see www.example.com)", {"www.example.com"}},
    {"https://en.wikipedia.org/wiki/Foo_(bar)", {"https://en.wikipedia.org/wiki/Foo_(bar)"}},
    {"visit example.com, then example.net!", {"example.com", "example.net"}},
    {"\"https://example.com/a\"", {"https://example.com/a"}},
    {"link: https://x.io/a/b/;", {"https://x.io/a/b/"}},
    {"go to https://example.com/ and www.test.org", {"https://example.com/", "www.test.org"}},
    // Not links.
    {"1.5", {}},
    {"e.g.", {}},
    {"i.e. this", {}},
    {"file.txt", {}},
    {"v1.2.3", {}},
    {"foo@bar.com", {}},
    {"mailto:foo@bar.com", {}},
    {"write to john.doe@example.co.uk please", {}},
    {"hello world", {}},
    {"", {}},
    {"3.14159", {}},
    {"node.js", {}},
    {"readme.md", {}},
    {"setup.py", {}},
    {"www.example", {}},
    {"example.", {}},
    {".com", {}},
    {"http://", {}},
    {"http://.", {}},
    {"a.b", {}},
    {"U.S.A.", {}},
    {"terminal", {}},
    {"5 km to mi", {}},
    {"hello.world", {}},
};

INSTANTIATE_TEST_SUITE_P(Table, LinkDetection, testing::ValuesIn(kLinks));

TEST(LinkDetector, reportsWhereTheLinkIs) {
    const auto links = LinkDetector::links(QStringLiteral("read example.com/docs."));
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links.front().start, 5);
    EXPECT_EQ(links.front().length, 16);
}

TEST(LinkDetector, knowsCommonAndCountryTopLevelDomains) {
    for (const char* domain : {"com", "org", "net", "io", "de", "uk", "jp", "eu", "COM"})
        EXPECT_TRUE(LinkDetector::isKnownTopLevelDomain(QString::fromLatin1(domain))) << domain;
    for (const char* domain : {"txt", "js", "exe", "zz", ""})
        EXPECT_FALSE(LinkDetector::isKnownTopLevelDomain(QString::fromLatin1(domain))) << domain;
}

}  // namespace
}  // namespace vantrel
