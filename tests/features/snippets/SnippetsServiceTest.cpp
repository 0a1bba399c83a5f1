// Snippets over the real encrypted database: the keyword and length rules,
// import of JSON and YAML match files (all or nothing, with the line of the
// problem), export, and the placeholders filled in at insertion.
#include "support/DatabaseTestSupport.h"

#include "features/snippets/SnippetPlaceholders.h"
#include "features/snippets/SnippetsService.h"
#include "kit/VantrelError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

class SnippetsServiceTest : public OpenDatabaseFixture {
protected:
    void SetUp() override {
        OpenDatabaseFixture::SetUp();
        service = std::make_unique<SnippetsService>(std::make_shared<SnippetsRepository>(pool));
    }

    QString importFailure(const QByteArray& data, const QString& name) {
        try {
            service->importEntries(SnippetsService::parseImport(data, name));
        } catch (const std::exception& failure) {
            return VantrelError::describe(failure);
        }
        return QString();
    }

    std::unique_ptr<SnippetsService> service;
};

TEST_F(SnippetsServiceTest, keywordsOverTwentyCharactersOrAlreadyUsedAreRefused) {
    service->create(QStringLiteral("Sig"), QStringLiteral("Best regards, Ada"), QStringLiteral(";sig"));
    const auto tooLong = service->keywordError(QString(21, QLatin1Char('k')));
    ASSERT_TRUE(tooLong);
    EXPECT_EQ(tooLong->title(), QStringLiteral("Keyword is too long"));
    EXPECT_EQ(tooLong->message(), QStringLiteral("The maximum length is 20 characters."));
    EXPECT_FALSE(service->keywordError(QString(20, QLatin1Char('k'))));
    const auto used = service->keywordError(QStringLiteral(";sig"));
    ASSERT_TRUE(used);
    EXPECT_EQ(used->title(), QStringLiteral("Keyword is already in use"));
    EXPECT_EQ(used->message(), QStringLiteral("Please enter a unique keyword."));
    EXPECT_THROW(service->create(QStringLiteral("Again"), QStringLiteral("x"), QStringLiteral(";sig")), VantrelError);
    EXPECT_EQ(service->all().size(), 1U);
    // The snippet that owns the keyword may keep it when edited.
    SnippetRecord own = service->all().front();
    own.text = QStringLiteral("Kind regards, Ada");
    EXPECT_NO_THROW(service->update(own));
}

TEST_F(SnippetsServiceTest, textsOverTheLengthLimitAndEmptyNamesAreRefused) {
    EXPECT_THROW(service->create(QStringLiteral("Big"), QString(32769, QLatin1Char('x')), std::nullopt), VantrelError);
    EXPECT_NO_THROW(service->create(QStringLiteral("Big"), QString(32768, QLatin1Char('x')), std::nullopt));
    EXPECT_THROW(service->create(QStringLiteral("  "), QStringLiteral("x"), std::nullopt), VantrelError);
}

TEST_F(SnippetsServiceTest, jsonAndYamlMatchFilesAreImported) {
    const QString json = importFailure(R"([{"name": "Sig", "text": "Best regards", "keyword": ";sig"},
                                          {"text": "no keyword"}])",
                                       QStringLiteral("s.json"));
    EXPECT_TRUE(json.isEmpty()) << json.toStdString();
    const QString yaml = importFailure("matches:\n"
                                       "  - trigger: \":addr\"\n"
                                       "    replace: \"1 Main Street\"\n"
                                       "  - triggers: [\":hi\", \":hello\"]\n"
                                       "    replace: |\n"
                                       "      Hello there\n",
                                       QStringLiteral("base.yml"));
    EXPECT_TRUE(yaml.isEmpty()) << yaml.toStdString();
    QStringList keywords;
    for (const SnippetRecord& record : service->withKeywords()) keywords << *record.alias;
    keywords.sort();
    EXPECT_EQ(keywords, (QStringList{QStringLiteral(":addr"), QStringLiteral(":hello"), QStringLiteral(":hi"),
                                     QStringLiteral(";sig")}));
    EXPECT_EQ(service->all().size(), 5U);

    // Export gives what import takes.
    const QJsonArray exported = QJsonDocument::fromJson(service->exportJson()).array();
    EXPECT_EQ(exported.size(), 5);
}

TEST_F(SnippetsServiceTest, badImportFilesNameTheLineAndImportNothing) {
    service->create(QStringLiteral("Sig"), QStringLiteral("Best regards"), QStringLiteral(";sig"));
    const struct {
        QByteArray data;
        const char* name;
        const char* expected;
    } cases[] = {
        {"[\n{\"text\": \"a\"},\n{\"text\": \"b\",,}\n]", "bad.json", "line 3"},
        {"[\n  {\"text\": \"ok\"},\n  {\"name\": \"no text\"}\n]", "fields.json", "line 3: entry 2 has no \"text\""},
        {"[\n  {\"text\": \"ok\", \"keyword\": \"new\"},\n  {\"text\": \"dup\", \"keyword\": \";sig\"}\n]", "used.json",
         "line 3: Keyword is already in use"},
        {"[{\"text\": \"x\", \"keyword\": \"abcdefghijklmnopqrstu\"}]", "long.json", "Keyword is too long"},
        {"matches:\n  - trigger: \":a\"\n    replace: \"A\"\n  - trigger: \":b\"\n", "missing.yml",
         "line 4: a match has no \"replace\" text"},
        {"matches:\n  - trigger: \":a\"\n   replace: [unclosed\n", "broken.yaml", "line 3"},
        {"just some words", "words.yml", "matches"},
    };
    for (const auto& bad : cases) {
        const QString failure = importFailure(bad.data, QString::fromLatin1(bad.name));
        EXPECT_TRUE(failure.contains(QLatin1String(bad.expected))) << bad.name << ": " << failure.toStdString();
        EXPECT_EQ(service->all().size(), 1U) << bad.name << " imported something";
    }
}

TEST(SnippetPlaceholdersTest, placeholdersAreFilledAndUnknownOnesStay) {
    SnippetPlaceholderContext context;
    context.clipboardText = [] { return QStringLiteral("CLIP"); };
    context.now = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7));
    const ExpandedSnippet expanded = expandSnippetPlaceholders(
        QStringLiteral("{date} {time} {datetime format=\"dd.MM.yyyy HH:mm:ss\"} {clipboard} {name} {date format=\"yyyy\"}"),
        context);
    EXPECT_EQ(expanded.text, QStringLiteral("2026-03-04 05:06 04.03.2026 05:06:07 CLIP {name} 2026"));
    EXPECT_EQ(expanded.cursorFromEnd, 0);

    const ExpandedSnippet uuid = expandSnippetPlaceholders(QStringLiteral("id {uuid}"), context);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^id [0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"))
                    .match(uuid.text)
                    .hasMatch())
        << uuid.text.toStdString();

    const ExpandedSnippet cursor = expandSnippetPlaceholders(QStringLiteral("<b>{cursor}</b>"), context);
    EXPECT_EQ(cursor.text, QStringLiteral("<b></b>"));
    EXPECT_EQ(cursor.cursorFromEnd, 4);
}

}  // namespace
}  // namespace vantrel::test
