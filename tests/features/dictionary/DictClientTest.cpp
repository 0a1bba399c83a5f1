// Lookups over the DICT protocol: against a private dictd with the GCIDE and
// WordNet databases, and against servers that are down, silent or not DICT.
#include "features/dictionary/DictClient.h"
#include "features/dictionary/DictionaryEntry.h"
#include "support/DictServerTestSupport.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <memory>

namespace vantrel::test {
namespace {

class DictdLookupTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dictd = new PrivateDictd;
        if (!dictd->start(&problem)) {
            delete dictd;
            dictd = nullptr;
        }
    }
    static void TearDownTestSuite() {
        delete dictd;
        dictd = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(dictd) << problem.toStdString(); }

    static DictLookup define(const QString& word) {
        DictServer server;
        server.host = QStringLiteral("127.0.0.1");
        server.port = dictd->port();
        return DictClient::lookupAndWait(server, word);
    }

    static inline PrivateDictd* dictd = nullptr;
    static inline QString problem;
};

TEST_F(DictdLookupTest, AWordIsDefinedByEveryDictionaryThatHasIt) {
    const DictLookup lookup = define(QStringLiteral("house"));
    ASSERT_FALSE(lookup.failed()) << lookup.error.toStdString();
    QStringList databases;
    for (const DictDefinition& definition : lookup.definitions) databases << definition.database;
    EXPECT_TRUE(databases.contains(QStringLiteral("gcide"))) << databases.join(',').toStdString();
    EXPECT_TRUE(databases.contains(QStringLiteral("wn"))) << databases.join(',').toStdString();
    EXPECT_TRUE(lookup.suggestions.isEmpty());
    EXPECT_TRUE(dictionaryPlainText(lookup).contains(QStringLiteral("building")));
}

TEST_F(DictdLookupTest, TheEntryShowsPartsOfSpeechSensesAndTheDictionaries) {
    const QString markdown = dictionaryMarkdown(define(QStringLiteral("house")));
    EXPECT_TRUE(markdown.startsWith(QStringLiteral("# house\n")));
    EXPECT_TRUE(markdown.contains(QStringLiteral("## WordNet"))) << markdown.left(400).toStdString();
    EXPECT_TRUE(markdown.contains(QStringLiteral("## The Collaborative International Dictionary of English")));
    EXPECT_TRUE(markdown.contains(QStringLiteral("### Noun")));
    EXPECT_TRUE(markdown.contains(QStringLiteral("### Verb")));
    EXPECT_TRUE(markdown.contains(QStringLiteral("\n1. a dwelling that serves as living quarters")));
    EXPECT_TRUE(markdown.contains(QStringLiteral("\n2. ")));
}

TEST_F(DictdLookupTest, ATypoGetsTheServersSuggestions) {
    const DictLookup lookup = define(QStringLiteral("hosue"));
    ASSERT_FALSE(lookup.failed()) << lookup.error.toStdString();
    EXPECT_TRUE(lookup.definitions.empty());
    EXPECT_TRUE(lookup.suggestions.contains(QStringLiteral("house"))) << lookup.suggestions.join(',').toStdString();
    EXPECT_LE(lookup.suggestions.size(), DictClient::maximumSuggestions);
    EXPECT_TRUE(dictionaryMarkdown(lookup).contains(QStringLiteral("Did you mean:\n\n")));
    EXPECT_TRUE(dictionaryMarkdown(lookup).contains(QStringLiteral("- house\n")));
}

TEST_F(DictdLookupTest, NonsenseHasNeitherDefinitionNorSuggestion) {
    const DictLookup lookup = define(QStringLiteral("qzxqzxqzxqzx"));
    ASSERT_FALSE(lookup.failed()) << lookup.error.toStdString();
    EXPECT_TRUE(lookup.definitions.empty());
    EXPECT_TRUE(lookup.suggestions.isEmpty());
    EXPECT_EQ(dictionaryPlainText(lookup), QStringLiteral("No definition found for \"qzxqzxqzxqzx\".\n"));
}

TEST_F(DictdLookupTest, QuotesAndLineBreaksInTheWordCannotBreakTheCommand) {
    const DictLookup lookup = define(QStringLiteral("\"house\"\r\nQUIT"));
    EXPECT_FALSE(lookup.failed()) << lookup.error.toStdString();
    EXPECT_EQ(dictQuoted(QStringLiteral("ice \"cream\"\n")), QByteArray("\"ice cream\""));
}

// A lookup against a server that does not behave ends with a sentence, in time.
class BrokenDictServerTest : public ::testing::Test {
protected:
    static constexpr int timeoutMs = 800;

    static DictLookup define(quint16 port, qint64* elapsed = nullptr) {
        DictServer server;
        server.host = QStringLiteral("127.0.0.1");
        server.port = port;
        QElapsedTimer timer;
        timer.start();
        DictLookup lookup = DictClient::lookupAndWait(server, QStringLiteral("house"), timeoutMs);
        if (elapsed) *elapsed = timer.elapsed();
        return lookup;
    }
};

TEST_F(BrokenDictServerTest, ASilentServerTimesOut) {
    MisbehavingDictServer silent({});
    qint64 elapsed = 0;
    const DictLookup lookup = define(silent.port(), &elapsed);
    ASSERT_TRUE(lookup.failed());
    EXPECT_EQ(lookup.error, QStringLiteral("The dictionary server at 127.0.0.1:%1 did not answer within 0.8 seconds.")
                                .arg(silent.port()));
    EXPECT_GE(elapsed, timeoutMs - 50);
    EXPECT_LT(elapsed, timeoutMs + 3000);
}

TEST_F(BrokenDictServerTest, AServerThatAnswersGarbageIsNotDict) {
    MisbehavingDictServer garbage("HTTP/1.1 400 Bad Request\r\n\r\n");
    const DictLookup lookup = define(garbage.port());
    ASSERT_TRUE(lookup.failed());
    EXPECT_TRUE(lookup.error.startsWith(QStringLiteral("The server at 127.0.0.1:%1 does not speak the DICT protocol")
                                            .arg(garbage.port())))
        << lookup.error.toStdString();
}

TEST_F(BrokenDictServerTest, GarbageWithoutLineBreaksEndsAtTheTimeout) {
    MisbehavingDictServer garbage(QByteArray(4096, '\x07'));
    const DictLookup lookup = define(garbage.port());
    ASSERT_TRUE(lookup.failed());
    EXPECT_TRUE(lookup.error.contains(QStringLiteral("did not answer within"))) << lookup.error.toStdString();
}

TEST_F(BrokenDictServerTest, AServerThatClosesAfterItsGreeting) {
    MisbehavingDictServer closing("220 hello <auth> <msg>\r\n", true);
    const DictLookup lookup = define(closing.port());
    ASSERT_TRUE(lookup.failed());
    EXPECT_TRUE(lookup.error.contains(QStringLiteral("closed the connection before it answered")))
        << lookup.error.toStdString();
}

TEST_F(BrokenDictServerTest, AServerThatRefusesTheClientSaysWhy) {
    MisbehavingDictServer refusing("530 access denied\r\n");
    const DictLookup lookup = define(refusing.port());
    ASSERT_TRUE(lookup.failed());
    EXPECT_TRUE(lookup.error.endsWith(QStringLiteral("refused the lookup: 530 access denied"))) << lookup.error.toStdString();
}

TEST_F(BrokenDictServerTest, NoServerOnThePortTellsHowToGetOne) {
    quint16 port = 0;
    {
        MisbehavingDictServer gone({});
        port = gone.port();
    }
    const DictLookup lookup = define(port);
    ASSERT_TRUE(lookup.failed());
    EXPECT_TRUE(lookup.error.startsWith(QStringLiteral("Cannot reach the dictionary server at 127.0.0.1:%1").arg(port)))
        << lookup.error.toStdString();
    EXPECT_TRUE(lookup.error.contains(QStringLiteral("dict-gcide")));
}

TEST_F(BrokenDictServerTest, AnEmptyWordIsNotSent) {
    MisbehavingDictServer server({});
    DictServer address;
    address.host = QStringLiteral("127.0.0.1");
    address.port = server.port();
    const DictLookup lookup = DictClient::lookupAndWait(address, QStringLiteral("   "));
    EXPECT_EQ(lookup.error, QStringLiteral("There is no word to look up."));
    EXPECT_EQ(server.connections(), 0);
}

TEST(DictServerAddressTest, HostPortAndLinksAreReadAndNonsenseIsRefused) {
    EXPECT_EQ(DictServer::parse(QStringLiteral("dict.example.org"))->toString(), QStringLiteral("dict.example.org:2628"));
    EXPECT_EQ(DictServer::parse(QStringLiteral(" 127.0.0.1:2700 "))->toString(), QStringLiteral("127.0.0.1:2700"));
    EXPECT_EQ(DictServer::parse(QStringLiteral("dict://localhost:26"))->toString(), QStringLiteral("localhost:26"));
    for (const char* bad : {"", "http://example.org", "host:99999", "host:port", "dict://host/path"})
        EXPECT_FALSE(DictServer::parse(QString::fromLatin1(bad))) << bad;
}

TEST(DictionaryEntryTest, AWordNetEntryIsReadIntoPartsOfSpeechAndSenses) {
    DictDefinition definition;
    definition.database = QStringLiteral("wn");
    definition.databaseName = QStringLiteral("WordNet (r) 3.0 (2006)");
    definition.text = QStringLiteral(
        "run\n"
        "    n 1: a score in baseball made by a runner touching all four\n"
        "         bases safely\n"
        "    2: the act of testing something\n"
        "    v 1: move fast by using one's feet\n");
    const DictionaryEntry entry = parseDefinition(definition);
    ASSERT_EQ(entry.groups.size(), 2u);
    EXPECT_EQ(entry.groups[0].partOfSpeech, QStringLiteral("Noun"));
    EXPECT_EQ(entry.groups[0].senses,
              QStringList({"a score in baseball made by a runner touching all four bases safely",
                           "the act of testing something"}));
    EXPECT_EQ(entry.groups[1].partOfSpeech, QStringLiteral("Verb"));
    EXPECT_EQ(entry.groups[1].senses, QStringList{"move fast by using one's feet"});
}

TEST(DictionaryEntryTest, ATextInNoKnownLayoutIsShownAsItCame) {
    DictDefinition definition;
    definition.databaseName = QStringLiteral("Jargon");
    definition.text = QStringLiteral("foo *bar* `baz`\n  second line");
    DictLookup lookup;
    lookup.word = QStringLiteral("foo");
    lookup.definitions.push_back(definition);
    EXPECT_TRUE(parseDefinition(definition).groups.empty());
    EXPECT_TRUE(dictionaryMarkdown(lookup).contains(QStringLiteral("```\nfoo *bar* `baz`\n  second line\n```")));
}

}  // namespace
}  // namespace vantrel::test
