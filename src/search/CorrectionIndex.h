#pragma once

#include "data/SearchRecord.h"

#include <QByteArray>
#include <QString>

#include <string>
#include <vector>

namespace vantrel {

// What typo correction looks up, built with the prefix index from the same
// records:
// - every record's lower-cased name cut to kNameLength characters, as UTF-8,
//   grouped by byte length, so the whole-name correction compares only names
//   whose length is within the allowed distance;
// - the distinct words of all names (the words the prefix keys are made of),
//   each with the records whose name has it, and a symmetric-delete table:
//   every word's first kDeletePrefix bytes with up to one deletion (two for
//   words of 6 bytes or more), so the words within one or two edits of a typed
//   word are found from the typed word's own deletions, without a scan.
// Immutable once built; lookups are safe from any thread.
class CorrectionIndex {
public:
    static constexpr int kNameLength = 20;
    static constexpr int kDeletePrefix = 7;
    static constexpr size_t kMaximumWords = 7;

    CorrectionIndex() = default;
    explicit CorrectionIndex(const std::vector<SearchRecord>& records);

    bool empty() const { return m_ids.empty(); }
    size_t recordCount() const { return m_ids.size(); }
    size_t wordCount() const { return m_wordStart.empty() ? 0 : m_wordStart.size() - 1; }
    // Bytes held, for the memory figures of the benchmarks.
    size_t memoryBytes() const;

    // Ids (in record order) whose name, lower-cased and cut to kNameLength
    // characters, is at most maxDistance byte edits from query (UTF-8), each
    // with its distance.
    std::vector<std::pair<qint64, quint32>> namesNear(const QByteArray& query, quint32 maxDistance) const;

    // Ids (in record order, at most limit) of the records that have, for every
    // word of the normalised term, a name word it matches: a word of 4 to 7
    // bytes within one edit (insertion, deletion, substitution or two
    // neighbours swapped) of the name word, a longer one within two, a
    // shorter one as the start of the name word. A term without a word of 4
    // bytes or more finds nothing.
    std::vector<qint64> idsMatchingWords(const QString& term, size_t limit) const;

    // The words a name is split into for the prefix keys (lower-case, at most
    // kMaximumWords, empty words dropped).
    static std::vector<std::string> nameWords(const QString& name);
    // The edits a typed word of that many bytes may be away from a name word.
    static quint32 allowedEdits(size_t length) { return length < 4 ? 0 : length < 8 ? 1 : 2; }

private:
    std::string_view word(quint32 id) const {
        return std::string_view(m_words.data() + m_wordStart[id], m_wordStart[id + 1] - m_wordStart[id]);
    }
    // The word ids a typed word matches (see idsMatchingWords), ascending.
    std::vector<quint32> matchingWords(const std::string& typed) const;

    // Whole names.
    std::vector<qint64> m_ids;            // record order
    QByteArray m_nameBytes;               // the cut names, by length then record order
    std::vector<quint32> m_nameOffset;    // per entry of m_nameBytes
    std::vector<quint32> m_nameRecord;    // per entry: index into m_ids
    std::vector<quint64> m_nameMask;      // per entry: which bytes occur (see byteMask)
    std::vector<quint32> m_lengthStart;   // entries of byte length L: [m_lengthStart[L], m_lengthStart[L + 1])

    // Words: sorted distinct words packed into one buffer.
    std::string m_words;
    std::vector<quint32> m_wordStart;     // word w is m_words[m_wordStart[w], m_wordStart[w + 1])
    std::vector<quint32> m_postingStart;  // records of word w: m_postings[m_postingStart[w], …[w + 1])
    std::vector<quint32> m_postings;      // record indices, ascending
    std::vector<quint32> m_recordWordStart;  // words of record r: m_recordWords[…[r], …[r + 1])
    std::vector<quint32> m_recordWords;
    // Symmetric deletes: the high 40 bits hash a deletion form, the low 24 bits
    // are the word id; sorted.
    std::vector<quint64> m_deletes;
};

}  // namespace vantrel
