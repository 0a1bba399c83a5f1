#include "search/Normalization.h"
#include "search/SearchKeys.h"
#include "search/SearchTestPrinters.h"
#include "support/TableTests.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <initializer_list>
#include <vector>

namespace vantrel {
namespace {

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

QSet<QString> set(std::initializer_list<const char*> texts) {
    QSet<QString> result;
    for (const char* text : texts) result.insert(u8(text));
    return result;
}

QSet<QString> keys(const char* name, std::initializer_list<const char*> keywords = {}) {
    return searchKeys(u8(name), set(keywords));
}

// A query finds an item when it is a prefix of one of the item's keys.
bool findsByPrefix(const QSet<QString>& itemKeys, const char* query) {
    const QString normalized = normalizedForSearch(u8(query));
    for (const QString& key : itemKeys)
        if (key.startsWith(normalized)) return true;
    return false;
}

bool allAscii(const QSet<QString>& itemKeys) {
    for (const QString& key : itemKeys)
        for (const QChar ch : key)
            if (ch.unicode() > 0x7F) return false;
    return true;
}

// The words of a name: the key with the most words (the longest such key when
// several tie), which is all words joined by spaces.
QStringList wordsOf(const char* name) {
    QString best;
    qsizetype bestCount = 0;
    for (const QString& key : keys(name)) {
        const qsizetype count = key.count(u' ') + 1;
        if (count > bestCount || (count == bestCount && key.size() > best.size())) {
            best = key;
            bestCount = count;
        }
    }
    return best.split(u' ');
}

struct KeyCase {
    const char* name;
    const char* itemName;
    std::vector<const char*> keywords;
    std::vector<const char*> expected;
};

// Full key sets worked out by hand from the derivation rules.
const std::vector<KeyCase> keyCases = {
    {"WorkedExample",
     "Google Chrome Canary",
     {},
     {"google chrome canary", "chrome canary", "gchrome canary", "g chrome canary", "google canary", "canary",
      "gccanary", "gc canary", "g c canary", "gcanary", "g canary", "ccanary", "c canary", "googlechromecanary",
      "chromecanary", "gchromecanary", "googlecanary"}},
    {"OneWord", "Mail", {}, {"mail"}},
    {"TwoWords", "App Store", {}, {"app store", "store", "astore", "a store", "appstore"}},
    {"CapitalsBeforeAWordAreAWord", "XMLParser", {}, {"xml parser", "parser", "xparser", "x parser", "xmlparser"}},
    {"LowerCaseBeforeACapitalIsAWord", "iPhone12", {}, {"i phone12", "phone12", "iphone12"}},
    {"ThreeWords",
     "Visual Studio Code",
     {},
     {"visual studio code", "studio code", "vstudio code", "v studio code", "visual code", "code", "vscode", "vs code",
      "v s code", "vcode", "v code", "scode", "s code", "visualstudiocode", "studiocode", "vstudiocode", "visualcode"}},
    {"FourWords",
     "Alpha Beta Gamma Delta",
     {},
     {"alpha beta gamma delta",
      "beta gamma delta",
      "abeta gamma delta",
      "a beta gamma delta",
      "alpha gamma delta",
      "alpha delta",
      "gamma delta",
      "abgamma delta",
      "ab gamma delta",
      "a b gamma delta",
      "agamma delta",
      "a gamma delta",
      "bgamma delta",
      "b gamma delta",
      "beta delta",
      "delta",
      "abgdelta",
      "abg delta",
      "a b g delta",
      "adelta",
      "a delta",
      "bdelta",
      "b delta",
      "gdelta",
      "g delta",
      "alphabetagammadelta",
      "betagammadelta",
      "abetagammadelta",
      "alphagammadelta",
      "alphadelta",
      "gammadelta",
      "abgammadelta",
      "agammadelta",
      "bgammadelta",
      "betadelta"}},
    {"OneWordNameGivesItsNameAndNormalisedKeywords", "Safari", {"Browser", "WEB", ""}, {"safari", "browser", "web"}},
    {"EmptyNameIsFoundOnlyByKeywords", "", {"Browser", "Café", ""}, {"browser", "cafe"}},
    {"EmptyNameWithoutKeywordsHasNoKeys", "", {}, {}},
    {"DiacriticsAreDropped", "Café", {}, {"cafe"}},
    {"OtherScriptsAreTransliterated", "Кино", {}, {"kino"}},
    {"TransliteratedWordsCombine", "Кино Театр", {}, {"kino teatr", "teatr", "kteatr", "k teatr", "kinoteatr"}},
    {"AccentedWordsCombine", "Crème Brûlée", {}, {"creme brulee", "brulee", "cbrulee", "c brulee", "cremebrulee"}},
    // The whole normalised name keeps its brackets; the words do not.
    {"BracketsAreTrimmedFromWords",
     "Firefox (Beta)",
     {},
     {"firefox beta", "beta", "fbeta", "f beta", "firefoxbeta", "firefox (beta)"}},
    {"QuotesAndAngleBracketsAreTrimmedFromWords",
     "\"Quoted\" <Tag> [x]",
     {},
     {"quoted tag x", "tag x", "qtag x", "q tag x", "quoted x", "x", "qtx", "qt x", "q t x", "qx", "q x", "tx", "t x",
      "quotedtagx", "tagx", "qtagx", "quotedx", "\"quoted\" <tag> [x]"}},
    {"OneBracketedWordKeepsItsBrackets", "(Beta)", {}, {"(beta)"}},
    // Words are [foo, "", bar]: the empty word joins in as an empty string and
    // contributes an empty initial, so some keys carry a double or a leading space.
    {"TwoSpacesInARowLeaveAnEmptyWord",
     "Foo  Bar",
     {},
     {"foo  bar", " bar", "f bar", "f  bar", "foo bar", "bar", "fbar", "foobar"}},
    {"SurroundingWhiteSpaceIsTrimmedFirst",
     "  App Store \n",
     {},
     {"app store", "store", "astore", "a store", "appstore", "  app store \n"}},
};

class SearchKeySets : public ::testing::TestWithParam<KeyCase> {};

TEST_P(SearchKeySets, AreDerivedFromTheWordsOfTheName) {
    const KeyCase& c = GetParam();
    QSet<QString> keywords, expected;
    for (const char* keyword : c.keywords) keywords.insert(u8(keyword));
    for (const char* key : c.expected) expected.insert(u8(key));
    EXPECT_EQ(searchKeys(u8(c.itemName), keywords), expected);
}

INSTANTIATE_TEST_SUITE_P(Names, SearchKeySets, ::testing::ValuesIn(keyCases), test::RowName());

TEST(SearchKeysTest, QueriesFindAnItemByAPrefixOfAKeyAfterNormalisation) {
    const QSet<QString> chrome = keys("Google Chrome Canary");
    for (const char* query : {"chr", "gcc", "can", "goo", "Goo", "gc c", "g c"})
        EXPECT_TRUE(findsByPrefix(chrome, query)) << query;
    for (const char* query : {"oogle", "hrome", "x"}) EXPECT_FALSE(findsByPrefix(chrome, query)) << query;
    EXPECT_TRUE(findsByPrefix(keys("Safari"), "Safari"));
    EXPECT_FALSE(findsByPrefix(keys("Safari"), "afari"));
    EXPECT_TRUE(findsByPrefix(keys("Crème Brûlée"), "Crè"));
    EXPECT_TRUE(findsByPrefix(keys("Crème Brûlée"), "brû"));
    // A lower-case name equals its split form: the whole name is not added
    // again, and the keys are the same.
    EXPECT_EQ(keys("google chrome canary"), chrome);
}

TEST(SearchKeysTest, KeywordsAreAddedToMultiWordNames) {
    const QSet<QString> result = keys("App Store", {"Shop"});
    EXPECT_TRUE(result.contains(u8("shop")));
    EXPECT_TRUE(result.contains(u8("astore")));
}

TEST(SearchKeysTest, CamelCaseAndSeparatorsSplitIntoWords) {
    const QStringList expected{u8("visual"), u8("studio"), u8("code")};
    EXPECT_EQ(wordsOf("VisualStudioCode"), expected);
    EXPECT_EQ(wordsOf("visual-studio.code"), expected);
    EXPECT_EQ(wordsOf("visual/studio code"), expected);
    EXPECT_EQ(wordsOf("XMLParser"), (QStringList{u8("xml"), u8("parser")}));
    EXPECT_EQ(wordsOf("iPhone12"), (QStringList{u8("i"), u8("phone12")}));
    // A run of capitals before a digit is split off too.
    EXPECT_EQ(wordsOf("MP3Player"), (QStringList{u8("mp"), u8("3"), u8("player")}));
}

TEST(SearchKeysTest, SplitNamesKeepTheirWholeNormalisedNameAsAKey) {
    // "VisualStudioCode" normalises to a key that the joined words give anyway.
    EXPECT_EQ(keys("VisualStudioCode"), keys("Visual Studio Code"));
    // "visual-studio.code" differs from its split form, so it is a key itself.
    QSet<QString> expected = keys("Visual Studio Code");
    expected.insert(u8("visual-studio.code"));
    EXPECT_EQ(keys("visual-studio.code"), expected);
}

TEST(SearchKeysTest, WordsAfterTheSeventhNeverBecomeKeysOfTheirOwn) {
    const QSet<QString> result = keys("One Two Three Four Five Six Seven Eight Nine");
    EXPECT_TRUE(result.contains(u8("seven")));
    EXPECT_TRUE(result.contains(u8("one two three four five six seven")));
    EXPECT_TRUE(findsByPrefix(result, "sev"));
    EXPECT_FALSE(findsByPrefix(result, "eig"));
    EXPECT_FALSE(findsByPrefix(result, "nin"));
    // Only the normalised whole name still spells the later words.
    for (const QString& key : result) {
        if (key.contains(u8("eight"))) {
            EXPECT_EQ(key, u8("one two three four five six seven eight nine"));
        }
    }
}

TEST(SearchKeysTest, FullWidthLettersSplitLikeAscii) {
    const QSet<QString> result = keys("ＶｉｓｕａｌＳｔｕｄｉｏ");
    EXPECT_TRUE(allAscii(result)) << ::testing::PrintToString(result);
    for (const char* key : {"visual studio", "studio", "vstudio", "v studio", "visualstudio"})
        EXPECT_TRUE(result.contains(u8(key))) << key;
}

TEST(SearchKeysTest, FuzzyKeysAreTheNormalisedNameAndKeywords) {
    EXPECT_EQ(fuzzyKeys(u8("Visual Studio Code"), set({"Editor", "IDE"})),
              set({"visual studio code", "editor", "ide"}));
    EXPECT_EQ(fuzzyKeys(u8("Café"), {}), set({"cafe"}));
    EXPECT_EQ(fuzzyKeys(QString(), set({"Kino"})), set({"", "kino"}));
}

struct RecordWithKeywords {
    QString name() const { return QStringLiteral("App Store"); }
    QSet<QString> keywords() const { return {QStringLiteral("Shop")}; }
};

struct RecordWithIndexableKeywords {
    QString name() const { return QStringLiteral("Mail"); }
    QStringList keywords() const { return {QStringLiteral("ignored")}; }
    QStringList indexableKeywords() const { return {QStringLiteral("Inbox")}; }
};

TEST(SearchKeysTest, ItemOverloadsReadNameAndKeywords) {
    static_assert(IndexableItem<RecordWithKeywords>);
    static_assert(IndexableItem<RecordWithIndexableKeywords>);
    static_assert(!IndexableItem<QString>);
    EXPECT_EQ(searchKeys(RecordWithKeywords{}), searchKeys(u8("App Store"), set({"Shop"})));
    EXPECT_EQ(searchKeys(RecordWithIndexableKeywords{}), set({"mail", "inbox"}));
    EXPECT_EQ(fuzzyKeys(RecordWithIndexableKeywords{}), set({"mail", "inbox"}));
}

}  // namespace
}  // namespace vantrel
