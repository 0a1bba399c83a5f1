#include "features/contacts/VCard.h"

#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>
#include <optional>

namespace vantrel {

namespace {

struct Line {
    QByteArray name;
    QList<QByteArray> parameters;
    QByteArray value;
};

// Joins folded lines (a line break followed by a space or tab), and the soft
// line breaks of quoted-printable values (a line ending in '=').
QList<QByteArray> unfold(const QByteArray& text) {
    QList<QByteArray> lines;
    const QList<QByteArray> raw = text.split('\n');
    bool continueQuotedPrintable = false;
    for (QByteArray line : raw) {
        if (line.endsWith('\r')) line.chop(1);
        if (!lines.isEmpty() && (continueQuotedPrintable || line.startsWith(' ') || line.startsWith('\t'))) {
            if (continueQuotedPrintable) {
                lines.last().chop(1);  // the '='
                lines.last() += line;
            } else {
                lines.last() += line.mid(1);
            }
        } else {
            lines.append(line);
        }
        const QByteArray& current = lines.last();
        continueQuotedPrintable = current.toUpper().contains("QUOTED-PRINTABLE") && current.endsWith('=');
    }
    return lines;
}

std::optional<Line> split(const QByteArray& text) {
    // The name and parameters end at the first ':' outside double quotes.
    bool quoted = false;
    qsizetype colon = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '"') quoted = !quoted;
        if (text[i] == ':' && !quoted) {
            colon = i;
            break;
        }
    }
    if (colon <= 0) return std::nullopt;
    Line line;
    QList<QByteArray> head = text.left(colon).split(';');
    line.name = head.takeFirst().trimmed().toUpper();
    if (const qsizetype dot = line.name.indexOf('.'); dot >= 0) line.name = line.name.mid(dot + 1);  // a group
    line.parameters = head;
    line.value = text.mid(colon + 1);
    return line;
}

std::optional<QByteArray> decodeQuotedPrintable(const QByteArray& value) {
    QByteArray out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != '=') {
            out += value[i];
            continue;
        }
        if (i + 2 >= value.size()) return std::nullopt;
        bool ok = false;
        const int byte = value.mid(i + 1, 2).toInt(&ok, 16);
        if (!ok) return std::nullopt;
        out += char(byte);
        i += 2;
    }
    return out;
}

QString unescape(const QString& value) {
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == QLatin1Char('\\') && i + 1 < value.size()) {
            const QChar next = value[++i];
            out += (next == QLatin1Char('n') || next == QLatin1Char('N')) ? QLatin1Char('\n') : next;
        } else {
            out += value[i];
        }
    }
    return out;
}

// Splits a structured value at ';' that are not escaped.
QStringList components(const QString& value) {
    QStringList parts;
    QString current;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == QLatin1Char('\\') && i + 1 < value.size()) {
            current += value[i];
            current += value[++i];
        } else if (value[i] == QLatin1Char(';')) {
            parts << unescape(current);
            current.clear();
        } else {
            current += value[i];
        }
    }
    parts << unescape(current);
    return parts;
}

struct Decoded {
    QString text;
    QStringList types;
    QString problem;
};

Decoded decode(const Line& line) {
    Decoded decoded;
    QByteArray encoding;
    QByteArray charset = "UTF-8";
    for (const QByteArray& parameter : line.parameters) {
        const qsizetype equals = parameter.indexOf('=');
        const QByteArray key = (equals < 0 ? parameter : parameter.left(equals)).trimmed().toUpper();
        QByteArray value = equals < 0 ? QByteArray() : parameter.mid(equals + 1).trimmed();
        if (value.startsWith('"') && value.endsWith('"') && value.size() >= 2) value = value.mid(1, value.size() - 2);
        if (equals < 0) {
            // vCard 2.1 writes the types bare ("TEL;WORK;VOICE:") and the encoding too.
            if (key == "QUOTED-PRINTABLE" || key == "BASE64" || key == "B")
                encoding = key;
            else
                decoded.types << QString::fromLatin1(key).toLower();
        } else if (key == "ENCODING") {
            encoding = value.toUpper();
        } else if (key == "CHARSET") {
            charset = value;
        } else if (key == "TYPE") {
            for (const QByteArray& type : value.split(','))
                if (!type.trimmed().isEmpty()) decoded.types << QString::fromLatin1(type.trimmed()).toLower();
        }
    }
    QByteArray bytes = line.value;
    if (encoding == "QUOTED-PRINTABLE") {
        const std::optional<QByteArray> plain = decodeQuotedPrintable(bytes);
        if (!plain) {
            decoded.problem = QStringLiteral("its %1 has a broken quoted-printable escape").arg(QString::fromLatin1(line.name));
            return decoded;
        }
        bytes = *plain;
    } else if (encoding == "BASE64" || encoding == "B") {
        const auto result = QByteArray::fromBase64Encoding(bytes.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
        if (!result) {
            decoded.problem = QStringLiteral("its %1 is not valid base64").arg(QString::fromLatin1(line.name));
            return decoded;
        }
        bytes = *result;
    }
    QStringDecoder decoder(charset.constData());
    if (!decoder.isValid()) {
        decoded.problem = QStringLiteral("its %1 names the unknown character set '%2'")
                              .arg(QString::fromLatin1(line.name), QString::fromLatin1(charset));
        return decoded;
    }
    decoded.text = decoder.decode(bytes);
    if (decoder.hasError()) {
        decoded.problem = QStringLiteral("its %1 has bytes that are not valid %2")
                              .arg(QString::fromLatin1(line.name), QString::fromLatin1(charset));
        decoded.text.clear();
    }
    return decoded;
}

QStringList words(const QString& text) {
    static const QRegularExpression separators(QStringLiteral("[\\s@._,;:()\\-]+"));
    return text.toLower().split(separators, Qt::SkipEmptyParts);
}

}  // namespace

bool Contact::matches(const QString& query) const {
    const QStringList wanted = query.toLower().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (wanted.isEmpty()) return true;
    QStringList haystack = words(name) + words(organization) + words(jobTitle);
    QStringList addresses;
    for (const Entry& email : emails) {
        haystack += words(email.value);
        addresses << email.value.toLower();
    }
    QStringList digits;
    for (const Entry& phone : phones) {
        QString only;
        for (const QChar c : phone.value)
            if (c.isDigit()) only += c;
        digits << only;
    }
    for (const QString& word : wanted) {
        const bool inWords = std::any_of(haystack.begin(), haystack.end(), [&](const QString& w) { return w.startsWith(word); });
        const bool inAddress = std::any_of(addresses.begin(), addresses.end(), [&](const QString& a) { return a.startsWith(word); });
        bool inPhone = false;
        QString wantedDigits;
        for (const QChar c : word)
            if (c.isDigit()) wantedDigits += c;
        if (wantedDigits.size() >= 3 && wantedDigits.size() * 2 >= word.size())
            inPhone = std::any_of(digits.begin(), digits.end(), [&](const QString& d) { return d.contains(wantedDigits); });
        if (!inWords && !inAddress && !inPhone) return false;
    }
    return true;
}

VCardContent VCardReader::read(const QByteArray& text, const QString& sourceName) {
    VCardContent content;
    if (text.size() > maxTextBytes) {
        content.problems << QStringLiteral("%1: the file is larger than %2 MB and is not read.")
                                .arg(sourceName)
                                .arg(maxTextBytes / (1024 * 1024));
        return content;
    }
    std::optional<Contact> card;
    QString cardProblem;
    int cardNumber = 0;
    bool sawCard = false;
    auto finish = [&] {
        if (!card) return;
        if (!cardProblem.isEmpty()) {
            const QString who = card->name.isEmpty() ? QStringLiteral("card %1").arg(cardNumber)
                                                     : QStringLiteral("card %1 (%2)").arg(cardNumber).arg(card->name);
            content.problems << QStringLiteral("%1: %2 was skipped: %3.").arg(sourceName, who, cardProblem);
        } else {
            if (card->name.isEmpty() && !card->organization.isEmpty()) card->name = card->organization;
            if (card->name.isEmpty() && !card->emails.empty()) card->name = card->emails.front().value;
            if (!card->name.isEmpty() || !card->phones.empty()) content.contacts.push_back(*card);
        }
        card.reset();
        cardProblem.clear();
    };
    for (const QByteArray& raw : unfold(text)) {
        if (raw.trimmed().isEmpty()) continue;
        const std::optional<Line> line = split(raw);
        if (!line) {
            if (card && cardProblem.isEmpty()) cardProblem = QStringLiteral("a line is not \"NAME:value\"");
            continue;
        }
        if (line->name == "BEGIN" && line->value.trimmed().toUpper() == "VCARD") {
            if (card && cardProblem.isEmpty()) cardProblem = QStringLiteral("it has no END:VCARD");
            finish();
            card = Contact{};
            card->sourceName = sourceName;
            ++cardNumber;
            sawCard = true;
            continue;
        }
        if (!card) continue;
        if (line->name == "END") {
            finish();
            continue;
        }
        static const QSet<QByteArray> used{"FN", "N", "EMAIL", "TEL", "ORG", "TITLE", "UID"};
        if (!used.contains(line->name)) continue;
        const Decoded decoded = decode(*line);
        if (!decoded.problem.isEmpty()) {
            if (cardProblem.isEmpty()) cardProblem = decoded.problem;
            continue;
        }
        if (line->name == "FN") {
            card->name = unescape(decoded.text).trimmed();
        } else if (line->name == "N" && card->name.isEmpty()) {
            const QStringList parts = components(decoded.text);
            QStringList ordered;
            for (const int index : {3, 1, 2, 0, 4})
                if (index < parts.size() && !parts[index].trimmed().isEmpty()) ordered << parts[index].trimmed();
            card->name = ordered.join(QLatin1Char(' '));
        } else if (line->name == "EMAIL") {
            const QString address = unescape(decoded.text).trimmed();
            if (!address.isEmpty()) card->emails.push_back({address, decoded.types});
        } else if (line->name == "TEL") {
            QString number = unescape(decoded.text).trimmed();
            if (number.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive)) number = number.mid(4);
            if (!number.isEmpty()) card->phones.push_back({number, decoded.types});
        } else if (line->name == "ORG") {
            card->organization = components(decoded.text).join(QStringLiteral(", ")).trimmed();
            while (card->organization.endsWith(QLatin1Char(',')) || card->organization.endsWith(QLatin1Char(' ')))
                card->organization.chop(1);
        } else if (line->name == "TITLE") {
            card->jobTitle = unescape(decoded.text).trimmed();
        } else if (line->name == "UID") {
            card->uid = unescape(decoded.text).trimmed();
        }
    }
    if (card && cardProblem.isEmpty()) cardProblem = QStringLiteral("it has no END:VCARD");
    finish();
    if (!sawCard) content.problems << QStringLiteral("%1: this is not a vCard file (it has no BEGIN:VCARD).").arg(sourceName);
    return content;
}

}  // namespace vantrel
