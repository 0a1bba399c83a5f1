// Reading vCards: 3.0 from vobject, 2.1 as old phones write it, and cards
// with broken encodings, which are skipped with a message naming the file.
#include "features/contacts/ContactsFeature.h"
#include "features/contacts/ContactsService.h"
#include "features/contacts/VCard.h"
#include "support/CalendarFixtures.h"
#include "support/TestEnvironment.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

QString fixture(const QString& name) {
    return fixturesFolder() + QStringLiteral("/contacts/") + name;
}

VCardContent readFixture(const QString& name) {
    return VCardReader::read(readTestFile(fixture(name)), fixture(name));
}

const Contact* named(const std::vector<Contact>& contacts, const QString& name) {
    for (const Contact& contact : contacts)
        if (contact.name == name) return &contact;
    return nullptr;
}

TEST(VCardReaderTest, CardsOfVersion3KeepTheirAddressesNumbersAndTypes) {
    const VCardContent content = readFixture(QStringLiteral("contacts.vcf"));
    EXPECT_TRUE(content.problems.isEmpty()) << content.problems.join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(content.contacts.size(), 4u);
    const Contact* ada = named(content.contacts, QStringLiteral("Ada Lovelace"));
    ASSERT_TRUE(ada);
    ASSERT_EQ(ada->emails.size(), 2u);
    EXPECT_EQ(ada->emails[0].value, QStringLiteral("ada@analytical.example"));
    EXPECT_EQ(ada->emails[0].types, QStringList{QStringLiteral("work")});
    ASSERT_EQ(ada->phones.size(), 1u);
    EXPECT_EQ(ada->phones[0].value, QStringLiteral("+44 20 7946 0018"));
    EXPECT_EQ(ada->organization, QStringLiteral("Analytical Engines Ltd"));
    EXPECT_TRUE(named(content.contacts, QStringLiteral("Émile Zola")));
}

TEST(VCardReaderTest, Version21WithQuotedPrintableAndLatin1IsDecoded) {
    const VCardContent content = readFixture(QStringLiteral("legacy-21.vcf"));
    EXPECT_TRUE(content.problems.isEmpty()) << content.problems.join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(content.contacts.size(), 1u);
    const Contact& juergen = content.contacts[0];
    EXPECT_EQ(juergen.name, QStringLiteral("Jürgen Müller"));
    ASSERT_EQ(juergen.phones.size(), 1u);
    EXPECT_EQ(juergen.phones[0].types, (QStringList{QStringLiteral("work"), QStringLiteral("voice")}));
    ASSERT_EQ(juergen.emails.size(), 1u);
    EXPECT_EQ(juergen.emails[0].value, QStringLiteral("juergen@mueller.example"));
}

TEST(VCardReaderTest, CardsWithBrokenEncodingsAreSkippedWithTheFileNamed) {
    const VCardContent content = readFixture(QStringLiteral("broken-encoding.vcf"));
    ASSERT_EQ(content.contacts.size(), 1u);
    EXPECT_EQ(content.contacts[0].name, QStringLiteral("Good Card"));
    ASSERT_EQ(content.problems.size(), 2);
    for (const QString& problem : content.problems)
        EXPECT_TRUE(problem.startsWith(fixture(QStringLiteral("broken-encoding.vcf")) + QStringLiteral(": ")))
            << problem.toStdString();
    EXPECT_TRUE(content.problems[0].contains(QStringLiteral("card 2 (Bad Bytes) was skipped")))
        << content.problems[0].toStdString();
    EXPECT_TRUE(content.problems[0].contains(QStringLiteral("not valid UTF-8")));
    EXPECT_TRUE(content.problems[1].contains(QStringLiteral("broken quoted-printable escape")))
        << content.problems[1].toStdString();
}

TEST(VCardReaderTest, TextThatIsNotVCardOrIsCutOffIsReported) {
    const VCardContent notCards = VCardReader::read("hello\nworld\n", QStringLiteral("notes.txt"));
    EXPECT_TRUE(notCards.contacts.empty());
    ASSERT_EQ(notCards.problems.size(), 1);
    EXPECT_TRUE(notCards.problems[0].contains(QStringLiteral("notes.txt: this is not a vCard file")));

    const VCardContent cut = VCardReader::read("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Half\r\nEMAIL:half@example.org",
                                               QStringLiteral("cut.vcf"));
    EXPECT_TRUE(cut.contacts.empty());
    ASSERT_EQ(cut.problems.size(), 1);
    EXPECT_TRUE(cut.problems[0].contains(QStringLiteral("has no END:VCARD")));

    const VCardContent badBase64 = VCardReader::read(
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN;ENCODING=b:***\r\nEND:VCARD\r\n", QStringLiteral("b64.vcf"));
    EXPECT_TRUE(badBase64.contacts.empty());
    EXPECT_TRUE(badBase64.problems.value(0).contains(QStringLiteral("not valid base64")));

    const VCardContent unknownCharset = VCardReader::read(
        "BEGIN:VCARD\r\nVERSION:2.1\r\nFN;CHARSET=X-NOPE:Name\r\nEND:VCARD\r\n", QStringLiteral("cs.vcf"));
    EXPECT_TRUE(unknownCharset.problems.value(0).contains(QStringLiteral("unknown character set 'X-NOPE'")));

    const VCardContent escaped = VCardReader::read(
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Smith\\, John\r\nORG:Acme\\; Inc;Sales\r\nEND:VCARD\r\n", QStringLiteral("e.vcf"));
    ASSERT_EQ(escaped.contacts.size(), 1u);
    EXPECT_EQ(escaped.contacts[0].name, QStringLiteral("Smith, John"));
    EXPECT_EQ(escaped.contacts[0].organization, QStringLiteral("Acme; Inc, Sales"));
}

TEST(VCardReaderTest, AContactIsFoundByNameAddressOrganisationAndNumber) {
    const VCardContent content = readFixture(QStringLiteral("contacts.vcf"));
    const Contact* ada = named(content.contacts, QStringLiteral("Ada Lovelace"));
    ASSERT_TRUE(ada);
    for (const char* query : {"ada", "love", "Ada Love", "analytical", "ada.home", "7946 0018", "0018", ""})
        EXPECT_TRUE(ada->matches(QString::fromUtf8(query))) << query;
    for (const char* query : {"grace", "ada zzz", "99999", "lace"})
        EXPECT_FALSE(ada->matches(QString::fromUtf8(query))) << query;
}

TEST(ContactsActionsTest, MailAndCallAreOfferedFirstThenCopies) {
    const VCardContent content = readFixture(QStringLiteral("contacts.vcf"));
    const Contact* ada = named(content.contacts, QStringLiteral("Ada Lovelace"));
    ASSERT_TRUE(ada);
    const std::vector<MenuItem> actions = ContactsFeature::actions(*ada);
    QStringList titles;
    for (const MenuItem& item : actions) titles << item.title;
    EXPECT_EQ(titles, (QStringList{"Compose Mail to ada@analytical.example", "Compose Mail to ada.home@example.org",
                                   "Call +44 20 7946 0018", "Copy ada@analytical.example", "Copy ada.home@example.org",
                                   "Copy +44 20 7946 0018", "Copy Name"}));
    EXPECT_EQ(actions[2].id, QStringLiteral("call-+442079460018"));
    const CommandOutcome copied = actions[5].perform();
    EXPECT_EQ(copied.resultText, QStringLiteral("+44 20 7946 0018"));
}

TEST(ContactsServiceTest, AFolderOfCardsIsSearchedAndItsBrokenCardsNamed) {
    ScopedXdgHome home;
    const ContactsService service(ContactsSettings{{fixturesFolder() + QStringLiteral("/contacts")}, false}, nullptr);
    const ContactSearch all = service.search(QString());
    EXPECT_EQ(all.contacts.size(), 6u);  // 4 + 1 + the good card of the broken file
    EXPECT_EQ(all.notes.size(), 2);
    const ContactSearch found = service.search(QStringLiteral("müller"));
    ASSERT_EQ(found.contacts.size(), 1u);
    EXPECT_EQ(found.contacts[0].name, QStringLiteral("Jürgen Müller"));
    const ContactSearch missing =
        ContactsService(ContactsSettings{{QStringLiteral("/nonexistent/cards.vcf")}, false}, nullptr).search("x");
    ASSERT_EQ(missing.notes.size(), 1);
    EXPECT_TRUE(missing.notes[0].contains(QStringLiteral("/nonexistent/cards.vcf")));
}

}  // namespace
}  // namespace vantrel::test
