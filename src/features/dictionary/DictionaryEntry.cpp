#include "features/dictionary/DictionaryEntry.h"

#include <QHash>
#include <QRegularExpression>

namespace vantrel {

namespace {

QString partOfSpeechName(const QString& abbreviation) {
    static const QHash<QString, QString> names{
        {QStringLiteral("n"), QStringLiteral("Noun")},
        {QStringLiteral("v"), QStringLiteral("Verb")},
        {QStringLiteral("v. t"), QStringLiteral("Transitive verb")},
        {QStringLiteral("v. i"), QStringLiteral("Intransitive verb")},
        {QStringLiteral("adj"), QStringLiteral("Adjective")},
        {QStringLiteral("a"), QStringLiteral("Adjective")},
        {QStringLiteral("s"), QStringLiteral("Adjective")},
        {QStringLiteral("adv"), QStringLiteral("Adverb")},
        {QStringLiteral("r"), QStringLiteral("Adverb")},
        {QStringLiteral("prep"), QStringLiteral("Preposition")},
        {QStringLiteral("pron"), QStringLiteral("Pronoun")},
        {QStringLiteral("conj"), QStringLiteral("Conjunction")},
        {QStringLiteral("interj"), QStringLiteral("Interjection")},
    };
    return names.value(abbreviation);
}

// Markdown characters in dictionary text are text.
QString escaped(QString text) {
    static const QRegularExpression special(QStringLiteral("([\\\\`*_\\[\\]<>#|])"));
    text.replace(special, QStringLiteral("\\\\1"));
    return text;
}

QString joined(const QStringList& lines) {
    QStringList words;
    for (const QString& line : lines) words << line.simplified();
    return words.join(QLatin1Char(' ')).simplified();
}

// WordNet: "n 1: sense", "2: sense", "v 1: sense"; continuation lines are indented.
bool parseWordNet(const QStringList& lines, DictionaryEntry& entry) {
    static const QRegularExpression group(QStringLiteral("^\\s+(n|v|adj|adv|a|s|r)\\s+(?:(\\d+):)?\\s*(.*)$"));
    static const QRegularExpression sense(QStringLiteral("^\\s+(\\d+):\\s*(.*)$"));
    QStringList current;
    const auto flush = [&] {
        if (!current.isEmpty() && !entry.groups.empty()) entry.groups.back().senses << joined(current);
        current.clear();
    };
    bool any = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString& line = lines[i];
        if (const auto g = group.match(line); g.hasMatch()) {
            flush();
            entry.groups.push_back({partOfSpeechName(g.captured(1)), {}});
            current << g.captured(3);
            any = true;
        } else if (const auto s = sense.match(line); s.hasMatch() && !entry.groups.empty()) {
            flush();
            current << s.captured(2);
        } else if (!entry.groups.empty()) {
            current << line;
        }
    }
    flush();
    return any;
}

// Numbered senses ("1. …") under a headline that names the part of speech
// ("House \House\, n.; pl. {Houses}. …", "Run \Run\, v. i. …").
bool parseNumbered(const QStringList& lines, DictionaryEntry& entry) {
    static const QRegularExpression sense(QStringLiteral("^\\s+(\\d+)\\.\\s+(.*)$"));
    static const QRegularExpression partOfSpeech(
        QStringLiteral(",\\s*(n|v\\. t|v\\. i|v|a|adj|adv|prep|pron|conj|interj)\\.(?:[;,\\s]|$)"));
    static const QRegularExpression source(QStringLiteral("^\\s*\\[[^\\]]+\\]\\s*$"));
    QStringList headline;
    QStringList current;
    bool inSenses = false;
    const auto flush = [&] {
        if (!current.isEmpty()) entry.groups.back().senses << joined(current);
        current.clear();
    };
    for (const QString& line : lines) {
        if (const auto s = sense.match(line); s.hasMatch()) {
            if (!inSenses) {
                const auto pos = partOfSpeech.match(joined(headline));
                entry.groups.push_back({pos.hasMatch() ? partOfSpeechName(pos.captured(1)) : QString(), {}});
                inSenses = true;
            }
            flush();
            current << s.captured(2);
        } else if (!inSenses) {
            if (!line.trimmed().isEmpty()) headline << line;
        } else if (source.match(line).hasMatch() || line.trimmed().isEmpty()) {
            // "[1913 Webster]" notes and blank lines end nothing.
        } else {
            current << line;
        }
    }
    if (inSenses) flush();
    entry.headline = joined(headline);
    return inSenses;
}

}  // namespace

DictionaryEntry parseDefinition(const DictDefinition& definition) {
    DictionaryEntry entry;
    entry.database = definition.database;
    entry.databaseName = definition.databaseName;
    entry.text = definition.text;
    const QStringList lines = definition.text.split(QLatin1Char('\n'));
    if (parseWordNet(lines, entry)) return entry;
    entry.groups.clear();
    if (parseNumbered(lines, entry)) return entry;
    entry.groups.clear();
    entry.headline.clear();
    return entry;
}

QString dictionaryMarkdown(const DictLookup& lookup) {
    QString markdown = QStringLiteral("# %1\n\n").arg(escaped(lookup.word));
    if (lookup.failed()) return markdown + escaped(lookup.error) + QLatin1Char('\n');
    if (lookup.definitions.empty()) {
        if (lookup.suggestions.isEmpty())
            return markdown + QStringLiteral("No definition found, and no similar words.\n");
        markdown += QStringLiteral("No definition found. Did you mean:\n\n");
        for (const QString& suggestion : lookup.suggestions) markdown += QStringLiteral("- ") + escaped(suggestion) + '\n';
        return markdown;
    }
    for (const DictDefinition& definition : lookup.definitions) {
        const DictionaryEntry entry = parseDefinition(definition);
        markdown += QStringLiteral("## %1\n\n").arg(escaped(entry.databaseName));
        if (entry.groups.empty()) {
            // Kept as the dictionary laid it out.
            markdown += QStringLiteral("```\n") + QString(definition.text).replace(QStringLiteral("```"), QStringLiteral("'''")) +
                        QStringLiteral("\n```\n\n");
            continue;
        }
        if (!entry.headline.isEmpty()) markdown += QLatin1Char('*') + escaped(entry.headline) + QStringLiteral("*\n\n");
        for (const DictionarySenses& group : entry.groups) {
            if (!group.partOfSpeech.isEmpty()) markdown += QStringLiteral("### %1\n\n").arg(group.partOfSpeech);
            int number = 1;
            for (const QString& sense : group.senses)
                markdown += QStringLiteral("%1. %2\n").arg(number++).arg(escaped(sense));
            markdown += QLatin1Char('\n');
        }
    }
    return markdown;
}

QString dictionaryPlainText(const DictLookup& lookup) {
    if (lookup.failed()) return lookup.error + QLatin1Char('\n');
    QString text;
    if (lookup.definitions.empty()) {
        if (lookup.suggestions.isEmpty()) return QStringLiteral("No definition found for \"%1\".\n").arg(lookup.word);
        text = QStringLiteral("No definition found for \"%1\". Did you mean:\n").arg(lookup.word);
        for (const QString& suggestion : lookup.suggestions) text += QStringLiteral("  ") + suggestion + '\n';
        return text;
    }
    for (const DictDefinition& definition : lookup.definitions) {
        if (!text.isEmpty()) text += QLatin1Char('\n');
        text += QStringLiteral("From %1:\n\n").arg(definition.databaseName);
        text += definition.text + QLatin1Char('\n');
    }
    return text;
}

}  // namespace vantrel
