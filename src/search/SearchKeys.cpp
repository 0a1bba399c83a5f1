#include "search/SearchKeys.h"

#include "search/Normalization.h"

#include <QList>
#include <QRegularExpression>
#include <QStringList>

#include <string>
#include <vector>

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

namespace {

bool isUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool isLower(char c) { return c >= 'a' && c <= 'z'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isTrimmedFromAsciiWord(char c) {
    switch (c) {
    case '\'':
    case '"':
    case '(':
    case ')':
    case '{':
    case '}':
    case '[':
    case ']':
    case '<':
    case '>':
        return true;
    default:
        return false;
    }
}

// The camel-case split of searchKeys on ASCII text, without regular
// expressions: a space goes before the last capital of a run of two or more
// capitals followed by a lower-case letter, and before a digit that follows a
// run of capitals; then before every capital that follows a lower-case letter
// or a digit. `runs` is scratch.
void splitCamelCase(std::string_view text, std::string& runs, std::string& humps) {
    runs.clear();
    runs.reserve(text.size() + 8);
    size_t i = 0;
    while (i < text.size()) {
        if (!isUpper(text[i])) {
            runs += text[i++];
            continue;
        }
        size_t end = i;
        while (end < text.size() && isUpper(text[end])) ++end;
        if (end < text.size() && isDigit(text[end])) {
            runs.append(text, i, end - i);
            runs += ' ';
            runs += text[end];
            i = end + 1;
        } else if (end < text.size() && end - i >= 2 && isLower(text[end])) {
            runs.append(text, i, end - 1 - i);
            runs += ' ';
            runs += text[end - 1];
            runs += text[end];
            i = end + 1;
        } else {
            runs.append(text, i, end - i);
            i = end;
        }
    }
    humps.clear();
    humps.reserve(runs.size() + 8);
    for (size_t k = 0; k < runs.size(); ++k) {
        if (k > 0 && isUpper(runs[k]) && (isLower(runs[k - 1]) || isDigit(runs[k - 1]))) humps += ' ';
        humps += runs[k];
    }
}

bool isSeparator(char c) { return c == '-' || c == '.' || c == '/'; }
// What QString::trimmed() removes, within ASCII.
bool isAsciiWhitespace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

void AsciiNameSplitter::split(std::string_view name) {
    m_words.clear();
    m_separated.assign(name);
    for (char& c : m_separated)
        if (isSeparator(c)) c = ' ';
    size_t begin = 0;
    size_t end = m_separated.size();
    while (begin < end && isAsciiWhitespace(m_separated[begin])) ++begin;
    while (end > begin && isAsciiWhitespace(m_separated[end - 1])) --end;
    splitTrimmed(std::string_view(m_separated).substr(begin, end - begin));
}

void AsciiNameSplitter::splitTrimmed(std::string_view text) {
    m_words.clear();
    splitCamelCase(text, m_runs, m_split);
    for (size_t start = 0;;) {
        if (m_words.size() == static_cast<size_t>(kMaxWords)) break;
        size_t stop = m_split.find(' ', start);
        if (stop == std::string::npos) stop = m_split.size();
        size_t from = start;
        size_t to = stop;
        while (from < to && isTrimmedFromAsciiWord(m_split[from])) ++from;
        while (to > from && isTrimmedFromAsciiWord(m_split[to - 1])) --to;
        m_words.emplace_back(from, to - from);
        if (stop == m_split.size()) break;
        start = stop + 1;
    }
}

void AsciiNameSplitter::appendLowerWord(size_t index, std::string& out) const {
    const auto [from, length] = m_words[index];
    for (size_t k = from; k < from + length; ++k) {
        const char c = m_split[k];
        out += isUpper(c) ? static_cast<char>(c + ('a' - 'A')) : c;
    }
}

std::vector<std::string> asciiNameWords(const QString& name, std::string* splitText) {
    AsciiNameSplitter splitter;
    bool ascii = true;
    std::string bytes(static_cast<size_t>(name.size()), '\0');
    for (qsizetype k = 0; k < name.size(); ++k) {
        ascii = ascii && name[k].unicode() < 0x80;
        bytes[static_cast<size_t>(k)] = static_cast<char>(name[k].unicode());
    }
    if (ascii) {
        splitter.split(bytes);
    } else {
        // Outside ASCII the separators are replaced and the whitespace trimmed
        // as QString sees them, before the characters are cut to bytes.
        QString separated = name;
        for (QChar& ch : separated)
            if (ch == u'-' || ch == u'.' || ch == u'/') ch = u' ';
        separated = separated.trimmed();
        bytes.assign(static_cast<size_t>(separated.size()), '\0');
        for (qsizetype k = 0; k < separated.size(); ++k)
            bytes[static_cast<size_t>(k)] = static_cast<char>(separated[k].unicode());
        splitter.splitTrimmed(bytes);
    }
    std::vector<std::string> words(splitter.wordCount());
    for (size_t w = 0; w < words.size(); ++w) splitter.appendLowerWord(w, words[w]);
    if (splitText) *splitText = splitter.splitText();
    return words;
}

}  // namespace vantrel
