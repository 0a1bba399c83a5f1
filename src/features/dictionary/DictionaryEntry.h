#pragma once

#include "features/dictionary/DictClient.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace vantrel {

// A definition read into its parts: the senses under each part of speech.
// WordNet's layout ("n 1: …", "2: …", "v 1: …") and the numbered senses of
// the other dictionaries ("1. …", "n.", "v. t.") are understood; a text in
// neither layout stays one paragraph.
struct DictionarySenses {
    QString partOfSpeech;  // "Noun", "Verb"… or empty
    QStringList senses;
};

struct DictionaryEntry {
    QString database;
    QString databaseName;
    QString headline;  // the first line of a dictionary's own entry (pronunciation, etymology)
    std::vector<DictionarySenses> groups;
    QString text;  // the definition as the server sent it
};

DictionaryEntry parseDefinition(const DictDefinition& definition);

// The lookup as Markdown: one section per dictionary that answered, the part
// of speech as a heading, the senses as a numbered list; suggestions when
// nothing was found, the error when the lookup failed.
QString dictionaryMarkdown(const DictLookup& lookup);

// The lookup as the terminal shows it: every definition under the name of its
// dictionary, or the suggestions.
QString dictionaryPlainText(const DictLookup& lookup);

}  // namespace vantrel
