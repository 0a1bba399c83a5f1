#include "search/SearchKeys.h"

#include "search/Normalization.h"

#include <QList>
#include <QRegularExpression>
#include <QStringList>

namespace vantrel {
namespace {

constexpr int kMaxWords = 7;

bool isTrimmedFromWord(QChar ch) {
    switch (ch.unicode()) {
    case u'\'':
    case u'"':
    case u'(':
    case u')':
    case u'{':
    case u'}':
    case u'[':
    case u']':
    case u'<':
    case u'>':
        return true;
    default:
        return false;
    }
}

QString trimQuotesAndBrackets(const QString& word) {
    qsizetype start = 0;
    qsizetype end = word.size();
    while (start < end && isTrimmedFromWord(word[start])) ++start;
    while (end > start && isTrimmedFromWord(word[end - 1])) --end;
    return word.mid(start, end - start);
}

// Folded name with separators turned into spaces and camel case split: the
// form the words are cut from.
QString splitForm(const QString& name) {
    // QRegularExpression is reentrant, not shared between threads here.
    thread_local const QRegularExpression capitalRun(QStringLiteral("([A-Z]+)([A-Z][a-z]|[0-9])"));
    thread_local const QRegularExpression camelHump(QStringLiteral("([a-z0-9])([A-Z])"));
    const QString replacement = QStringLiteral("\\1 \\2");

    QString text = foldedForSearchKeys(name);
    for (QChar& ch : text)
        if (ch == u'-' || ch == u'.' || ch == u'/') ch = u' ';
    text = text.trimmed();
    text.replace(capitalRun, replacement);
    text.replace(camelHump, replacement);
    return text;
}

QString firstCharacter(const QString& word) {
    if (word.isEmpty()) return QString();
    // Fast path for the usual ASCII word; otherwise the first grapheme cluster.
    if (word[0].unicode() < 0x80 && (word.size() == 1 || (word[1].unicode() < 0x80 && word[0] != u'\r')))
        return word.left(1);
    const QStringList clusters = graphemeClusters(word);
    return clusters.isEmpty() ? QString() : clusters.first();
}

QString joined(const QStringList& words, qsizetype from, const QString& separator) {
    return words.mid(from).join(separator);
}

QSet<QString> normalizedKeywords(const QSet<QString>& keywords) {
    QSet<QString> result;
    result.reserve(keywords.size());
    for (const QString& keyword : keywords)
        if (!keyword.isEmpty()) result.insert(normalizedForSearch(keyword));
    return result;
}

}  // namespace

QSet<QString> searchKeys(const QString& name, const QSet<QString>& keywords) {
    QSet<QString> result = normalizedKeywords(keywords);
    if (name.isEmpty()) return result;

    const QString split = splitForm(name);
    const QStringList parts = split.split(u' ', Qt::KeepEmptyParts);
    QStringList words;
    words.reserve(qMin<qsizetype>(parts.size(), kMaxWords));
    for (const QString& part : parts) {
        if (words.size() == kMaxWords) break;
        words.append(normalizedForSearch(trimQuotesAndBrackets(part)));
    }

    const QString normalizedName = normalizedForSearch(name);
    if (words.size() == 1) {
        result.insert(normalizedName);
        return result;
    }

    for (QString& word : words) word = word.toLower();
    const qsizetype count = words.size();
    const QString space = QStringLiteral(" ");

    QSet<QString> keys;
    keys.insert(words.join(space));
    QStringList initials;
    for (qsizetype i = 0; i < count; ++i) {
        const QString rest = joined(words, i + 1, space);
        if (rest.isEmpty()) continue;

        initials.append(firstCharacter(words[i]));
        const QString glued = initials.join(QString());
        const QString spaced = initials.join(space);
        keys.insert(rest);
        keys.insert(glued + rest);
        keys.insert(glued + space + rest);
        keys.insert(spaced + space + rest);
        for (const QString& initial : std::as_const(initials)) {
            keys.insert(initial + rest);
            keys.insert(initial + space + rest);
        }
        for (qsizetype j = i + 2; j < count; ++j) keys.insert(words[i] + space + joined(words, j, space));
    }

    QSet<QString> spaceless;
    spaceless.reserve(keys.size());
    for (const QString& key : std::as_const(keys)) {
        QString compact = key;
        compact.remove(u' ');
        spaceless.insert(compact);
    }
    keys.unite(spaceless);

    result.unite(keys);
    if (normalizedName != split) result.insert(normalizedName);
    return result;
}

QSet<QString> fuzzyKeys(const QString& name, const QSet<QString>& keywords) {
    QSet<QString> result;
    result.reserve(keywords.size() + 1);
    result.insert(normalizedForSearch(name));
    for (const QString& keyword : keywords) result.insert(normalizedForSearch(keyword));
    return result;
}

}  // namespace vantrel
