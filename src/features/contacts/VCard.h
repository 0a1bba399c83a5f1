#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace vantrel {

struct Contact {
    struct Entry {
        QString value;
        // The vCard's TYPE words, lower-case ("work", "cell"…).
        QStringList types;
    };

    QString uid;
    QString name;
    QString organization;
    QString jobTitle;
    std::vector<Entry> emails;
    std::vector<Entry> phones;
    // The file or address book it came from.
    QString sourceName;

    // Whether every word of the query starts a word of the name, organisation
    // or an address, or (digits only) appears in a phone number.
    bool matches(const QString& query) const;
};

struct VCardContent {
    std::vector<Contact> contacts;
    // Sentences about cards that were skipped (each names the source).
    QStringList problems;
};

// Reads vCard 2.1, 3.0 and 4.0 text: folded lines, quoted-printable and
// base64 values, CHARSET parameters, escaped characters, vCard 2.1's bare
// TYPE words. A card whose text cannot be decoded (bytes that are not valid
// in its character set, a broken quoted-printable escape) is skipped with a
// problem naming the source and the card; the others are kept.
class VCardReader {
public:
    static constexpr qsizetype maxTextBytes = 64 * 1024 * 1024;
    static VCardContent read(const QByteArray& text, const QString& sourceName);
};

}  // namespace vantrel
