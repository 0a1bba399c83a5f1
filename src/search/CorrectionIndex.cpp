#include "search/CorrectionIndex.h"

#include "search/Levenshtein.h"
#include "search/Normalization.h"
#include "search/SearchKeys.h"

#include <algorithm>
#include <bit>
#include <unordered_map>

namespace vantrel {

namespace {

constexpr quint64 kWordBits = 24;
constexpr quint64 kWordMask = (quint64(1) << kWordBits) - 1;

// 64-bit FNV-1a of the bytes with the positions in `skip` left out.
quint64 hashWithout(std::string_view text, size_t skipA, size_t skipB) {
    quint64 hash = 14695981039346656037ull;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i == skipA || i == skipB) continue;
        hash ^= static_cast<unsigned char>(text[i]);
        hash *= 1099511628211ull;
    }
    return hash;
}

constexpr size_t kNone = static_cast<size_t>(-1);

// One bit per byte value folded into 64: each edit adds at most one byte the
// other side lacks, so two texts within d edits differ by at most d bits
// either way.
quint64 byteMask(std::string_view text) {
    quint64 mask = 0;
    for (const char c : text) mask |= quint64(1) << (static_cast<unsigned char>(c) % 64);
    return mask;
}

// The hashes of the text's first kDeletePrefix bytes with up to `deletions`
// bytes left out (the text itself included), duplicates allowed.
template <typename Emit>
void forEachDeletion(std::string_view text, quint32 deletions, Emit&& found) {
    const std::string_view prefix = text.substr(0, std::min<size_t>(text.size(), CorrectionIndex::kDeletePrefix));
    found(hashWithout(prefix, kNone, kNone));
    if (deletions == 0) return;
    for (size_t a = 0; a < prefix.size(); ++a) {
        found(hashWithout(prefix, a, kNone));
        if (deletions < 2) continue;
        for (size_t b = a + 1; b < prefix.size(); ++b) found(hashWithout(prefix, a, b));
    }
}

}  // namespace

std::vector<std::string> CorrectionIndex::nameWords(const QString& name) {
    bool ascii = true;
    for (QChar c : name)
        if (c.unicode() >= 0x80) {
            ascii = false;
            break;
        }
    const QString text = ascii ? name : normalizedForSearch(name);
    std::vector<std::string> words = asciiNameWords(text);
    words.erase(std::remove_if(words.begin(), words.end(), [](const std::string& w) { return w.empty(); }), words.end());
    // The words as written, before the camel-case split: "XTerm" is also
    // "xterm", "LibreOffice" also "libreoffice".
    QString separated = text;
    for (QChar& ch : separated)
        if (ch == u'-' || ch == u'.' || ch == u'/') ch = u' ';
    const QStringList written = separated.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < written.size() && i < static_cast<qsizetype>(kMaximumWords); ++i) {
        std::string whole;
        for (const std::string& part : asciiNameWords(written.at(i))) whole += part;
        if (whole.empty() || std::find(words.begin(), words.end(), whole) != words.end()) continue;
        words.push_back(std::move(whole));
    }
    return words;
}

CorrectionIndex::CorrectionIndex(const std::vector<SearchRecord>& records) {
    // Whole names, grouped by byte length.
    struct Name {
        QByteArray bytes;
        quint32 record;
    };
    std::vector<Name> names;
    names.reserve(records.size());
    // Words: distinct words with the records that have them.
    std::unordered_map<std::string, quint32> wordIds;
    std::vector<std::string> distinct;
    std::vector<std::vector<quint32>> recordsOfWord;
    m_recordWordStart.reserve(records.size() + 1);
    m_recordWordStart.push_back(0);
    std::vector<quint32> temporaryRecordWords;
    for (const SearchRecord& record : records) {
        if (!record.id) continue;
        const auto index = static_cast<quint32>(m_ids.size());
        m_ids.push_back(*record.id);
        names.push_back({record.name.toLower().left(kNameLength).toUtf8(), index});
        const size_t first = temporaryRecordWords.size();
        for (std::string& text : nameWords(record.name)) {
            auto [it, inserted] = wordIds.try_emplace(std::move(text), static_cast<quint32>(distinct.size()));
            if (inserted) {
                distinct.push_back(it->first);
                recordsOfWord.emplace_back();
            }
            const quint32 id = it->second;
            if (std::find(temporaryRecordWords.begin() + static_cast<std::ptrdiff_t>(first), temporaryRecordWords.end(),
                          id) != temporaryRecordWords.end())
                continue;
            temporaryRecordWords.push_back(id);
            recordsOfWord[id].push_back(index);
        }
        m_recordWordStart.push_back(static_cast<quint32>(temporaryRecordWords.size()));
    }

    size_t longest = 0;
    for (const Name& name : names) longest = std::max(longest, static_cast<size_t>(name.bytes.size()));
    m_lengthStart.assign(longest + 2, 0);
    for (const Name& name : names) ++m_lengthStart[static_cast<size_t>(name.bytes.size()) + 1];
    for (size_t l = 1; l < m_lengthStart.size(); ++l) m_lengthStart[l] += m_lengthStart[l - 1];
    std::vector<quint32> fill(m_lengthStart.begin(), m_lengthStart.end() - 1);
    m_nameOffset.resize(names.size());
    m_nameRecord.resize(names.size());
    m_nameMask.resize(names.size());
    std::vector<const Name*> ordered(names.size());
    for (const Name& name : names) ordered[fill[static_cast<size_t>(name.bytes.size())]++] = &name;
    for (size_t e = 0; e < ordered.size(); ++e) {
        m_nameOffset[e] = static_cast<quint32>(m_nameBytes.size());
        m_nameRecord[e] = ordered[e]->record;
        m_nameMask[e] = byteMask(std::string_view(ordered[e]->bytes.constData(), static_cast<size_t>(ordered[e]->bytes.size())));
        m_nameBytes += ordered[e]->bytes;
    }

    // Words sorted by bytes; word ids follow that order.
    std::vector<quint32> order(distinct.size());
    for (size_t w = 0; w < order.size(); ++w) order[w] = static_cast<quint32>(w);
    std::sort(order.begin(), order.end(), [&](quint32 a, quint32 b) { return distinct[a] < distinct[b]; });
    std::vector<quint32> renumber(distinct.size());
    m_wordStart.reserve(distinct.size() + 1);
    m_postingStart.reserve(distinct.size() + 1);
    m_wordStart.push_back(0);
    m_postingStart.push_back(0);
    for (size_t rank = 0; rank < order.size(); ++rank) {
        const quint32 old = order[rank];
        renumber[old] = static_cast<quint32>(rank);
        m_words += distinct[old];
        m_wordStart.push_back(static_cast<quint32>(m_words.size()));
        m_postings.insert(m_postings.end(), recordsOfWord[old].begin(), recordsOfWord[old].end());
        m_postingStart.push_back(static_cast<quint32>(m_postings.size()));
    }
    m_recordWords.resize(temporaryRecordWords.size());
    for (size_t i = 0; i < temporaryRecordWords.size(); ++i) m_recordWords[i] = renumber[temporaryRecordWords[i]];

    // Symmetric deletes. A word of 6 bytes or more can be two edits from a
    // typed word of 8 or more, so it gets its two-byte deletions too.
    for (quint32 w = 0; w + 1 < m_wordStart.size() && w <= kWordMask; ++w) {
        const std::string_view text = word(w);
        if (text.size() < 3) continue;
        forEachDeletion(text, text.size() >= 6 ? 2 : 1,
                        [&](quint64 hash) { m_deletes.push_back((hash & ~kWordMask) | w); });
    }
    std::sort(m_deletes.begin(), m_deletes.end());
    m_deletes.erase(std::unique(m_deletes.begin(), m_deletes.end()), m_deletes.end());
    m_deletes.shrink_to_fit();
}

size_t CorrectionIndex::memoryBytes() const {
    return m_ids.capacity() * sizeof(qint64) + static_cast<size_t>(m_nameBytes.capacity()) +
           m_nameMask.capacity() * sizeof(quint64) + (m_nameOffset.capacity() + m_nameRecord.capacity() + m_lengthStart.capacity() + m_wordStart.capacity() +
            m_postingStart.capacity() + m_postings.capacity() + m_recordWordStart.capacity() +
            m_recordWords.capacity()) *
               sizeof(quint32) +
           m_words.capacity() + m_deletes.capacity() * sizeof(quint64);
}

std::vector<std::pair<qint64, quint32>> CorrectionIndex::namesNear(const QByteArray& query, quint32 maxDistance) const {
    std::vector<std::pair<qint64, quint32>> near;
    if (m_lengthStart.empty()) return near;
    const auto length = static_cast<size_t>(query.size());
    const std::string_view q(query.constData(), length);
    const size_t shortest = length > maxDistance ? length - maxDistance : 0;
    const size_t longest = std::min(length + maxDistance, m_lengthStart.size() - 2);
    std::vector<std::pair<quint32, quint32>> found;  // record index, distance
    const quint64 mask = byteMask(q);
    for (size_t l = shortest; l <= longest; ++l) {
        for (quint32 e = m_lengthStart[l]; e < m_lengthStart[l + 1]; ++e) {
            if (static_cast<quint32>(std::popcount(mask & ~m_nameMask[e])) > maxDistance ||
                static_cast<quint32>(std::popcount(m_nameMask[e] & ~mask)) > maxDistance)
                continue;
            const std::string_view name(m_nameBytes.constData() + m_nameOffset[e], l);
            const quint32 distance = Levenshtein::boundedDistance(q, name, maxDistance);
            if (distance <= maxDistance) found.emplace_back(m_nameRecord[e], distance);
        }
    }
    std::sort(found.begin(), found.end());
    near.reserve(found.size());
    for (const auto& [record, distance] : found) near.emplace_back(m_ids[record], distance);
    return near;
}

std::vector<quint32> CorrectionIndex::matchingWords(const std::string& typed) const {
    std::vector<quint32> words;
    const quint32 edits = allowedEdits(typed.size());
    if (edits == 0) {
        // A short word: the name words it starts.
        quint32 low = 0;
        auto high = static_cast<quint32>(wordCount());
        while (low < high) {
            const quint32 middle = low + (high - low) / 2;
            if (word(middle) < typed)
                low = middle + 1;
            else
                high = middle;
        }
        for (quint32 w = low; w < wordCount() && word(w).substr(0, typed.size()) == typed; ++w) words.push_back(w);
        return words;
    }
    forEachDeletion(typed, edits, [&](quint64 hash) {
        const quint64 key = hash & ~kWordMask;
        for (auto it = std::lower_bound(m_deletes.begin(), m_deletes.end(), key);
             it != m_deletes.end() && (*it & ~kWordMask) == key; ++it)
            words.push_back(static_cast<quint32>(*it & kWordMask));
    });
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    words.erase(std::remove_if(words.begin(), words.end(),
                               [&](quint32 w) { return Levenshtein::boundedAlignment(typed, word(w), edits) > edits; }),
                words.end());
    return words;
}

std::vector<qint64> CorrectionIndex::idsMatchingWords(const QString& term, size_t limit) const {
    std::vector<qint64> ids;
    if (m_ids.empty() || limit == 0) return ids;
    std::vector<std::string> typed;
    for (const QString& part : term.split(QLatin1Char(' '), Qt::SkipEmptyParts)) typed.push_back(part.toStdString());
    if (typed.empty() || typed.size() > kMaximumWords) return ids;
    // The longest typed word has the fewest records; the others are checked
    // against the words of each of those records.
    const auto longest = std::max_element(typed.begin(), typed.end(),
                                          [](const std::string& a, const std::string& b) { return a.size() < b.size(); });
    if (allowedEdits(longest->size()) == 0) return ids;
    std::vector<std::vector<quint32>> matches;
    matches.reserve(typed.size());
    for (const std::string& word : typed) {
        matches.push_back(matchingWords(word));
        if (matches.back().empty()) return ids;
    }
    const std::vector<quint32>& leading = matches[static_cast<size_t>(longest - typed.begin())];
    std::vector<quint32> candidates;
    for (quint32 w : leading)
        candidates.insert(candidates.end(), m_postings.begin() + m_postingStart[w], m_postings.begin() + m_postingStart[w + 1]);
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    for (quint32 record : candidates) {
        const auto begin = m_recordWords.begin() + m_recordWordStart[record];
        const auto end = m_recordWords.begin() + m_recordWordStart[record + 1];
        const bool all = std::all_of(matches.begin(), matches.end(), [&](const std::vector<quint32>& allowed) {
            return std::any_of(begin, end,
                               [&](quint32 w) { return std::binary_search(allowed.begin(), allowed.end(), w); });
        });
        if (!all) continue;
        ids.push_back(m_ids[record]);
        if (ids.size() == limit) break;
    }
    return ids;
}

}  // namespace vantrel
