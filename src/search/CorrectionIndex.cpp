#include "search/CorrectionIndex.h"

#include "search/Levenshtein.h"
#include "search/Normalization.h"
#include "search/SearchKeys.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string_view>

namespace vantrel {

namespace {

constexpr quint64 kWordBits = 24;
constexpr quint64 kWordMask = (quint64(1) << kWordBits) - 1;

// Spreads a 64-bit value over all bits (the finaliser of MurmurHash3).
quint64 mixed(quint64 value) {
    value ^= value >> 33;
    value *= 0xff51afd7ed558ccdull;
    value ^= value >> 33;
    value *= 0xc4ceb9fe1a85ec53ull;
    value ^= value >> 33;
    return value;
}

constexpr quint64 kBase = 0x100000001b3ull;

// One bit per byte value folded into 64: each edit adds at most one byte the
// other side lacks, so two texts within d edits differ by at most d bits
// either way.
quint64 byteMask(std::string_view text) {
    quint64 mask = 0;
    for (const char c : text) mask |= quint64(1) << (static_cast<unsigned char>(c) % 64);
    return mask;
}

// The hashes of the text's first kDeletePrefix bytes with up to `deletions`
// bytes left out (the text itself included), duplicates allowed. A form's
// hash depends only on its bytes: the polynomial sum of (byte + 1) * B^k over
// the form, so a form with one or two bytes left out is put together from the
// sums of the parts around them without going over the bytes again.
template <typename Emit>
void forEachDeletion(std::string_view text, quint32 deletions, Emit&& found) {
    const size_t n = std::min<size_t>(text.size(), CorrectionIndex::kDeletePrefix);
    constexpr size_t kMost = CorrectionIndex::kDeletePrefix;
    quint64 power[kMost + 1] = {};
    quint64 prefix[kMost + 1] = {};     // prefix[i]: the first i bytes
    quint64 suffix[kMost + 2] = {};     // suffix[i]: bytes i… (as the tail of a form)
    power[0] = 1;
    prefix[0] = 0;
    for (size_t i = 0; i < n; ++i) {
        power[i + 1] = power[i] * kBase;
        prefix[i + 1] = prefix[i] * kBase + static_cast<unsigned char>(text[i]) + 1;
    }
    suffix[n] = 0;
    suffix[n + 1] = 0;
    for (size_t i = n; i-- > 0;) suffix[i] = (static_cast<quint64>(static_cast<unsigned char>(text[i])) + 1) * power[n - 1 - i] + suffix[i + 1];
    auto form = [&](quint64 sum, size_t length) { found(mixed(sum + length * 0x9e3779b97f4a7c15ull)); };
    form(prefix[n], n);
    if (deletions == 0) return;
    for (size_t a = 0; a < n; ++a) {
        form(prefix[a] * power[n - 1 - a] + suffix[a + 1], n - 1);
        if (deletions < 2) continue;
        for (size_t b = a + 1; b < n; ++b) {
            const quint64 middle = prefix[b] - prefix[a + 1] * power[b - a - 1];
            form(prefix[a] * power[n - 2 - a] + middle * power[n - 1 - b] + suffix[b + 1], n - 2);
        }
    }
}

// Sorts hashes whose high bits are spread evenly: one pass into buckets by the
// top 16 bits, then each small bucket on its own.
void sortSpreadHashes(std::vector<quint64>& values) {
    if (values.size() < 4096) {
        std::sort(values.begin(), values.end());
        return;
    }
    std::vector<quint32> start((1u << 16) + 1, 0);
    for (const quint64 v : values) ++start[(v >> 48) + 1];
    for (size_t b = 1; b < start.size(); ++b) start[b] += start[b - 1];
    std::vector<quint64> sorted(values.size());
    std::vector<quint32> fill(start.begin(), start.end() - 1);
    for (const quint64 v : values) sorted[fill[v >> 48]++] = v;
    for (size_t b = 0; b + 1 < start.size(); ++b)
        if (start[b + 1] - start[b] > 1) std::sort(sorted.begin() + start[b], sorted.begin() + start[b + 1]);
    values.swap(sorted);
}

// Distinct words, each numbered in the order it was first seen: an open
// addressing table over one buffer of word bytes.
class WordNumbers {
public:
    WordNumbers() : m_slots(1u << 12, 0), m_start{0} {}

    quint32 number(std::string_view word) {
        const quint64 hash = hashOf(word);
        size_t mask = m_slots.size() - 1;
        for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
            const quint32 entry = m_slots[slot];
            if (entry == 0) break;
            if (m_hashes[entry - 1] == hash && text(entry - 1) == word) return entry - 1;
        }
        const auto id = static_cast<quint32>(m_hashes.size());
        m_bytes.append(word);
        m_start.push_back(static_cast<quint32>(m_bytes.size()));
        m_hashes.push_back(hash);
        if (2 * m_hashes.size() > m_slots.size()) {
            m_slots.assign(2 * m_slots.size(), 0);
            mask = m_slots.size() - 1;
            for (quint32 w = 0; w < m_hashes.size(); ++w) place(w, mask);
        } else {
            place(id, mask);
        }
        return id;
    }
    size_t size() const { return m_hashes.size(); }
    std::string_view text(quint32 id) const {
        return std::string_view(m_bytes.data() + m_start[id], m_start[id + 1] - m_start[id]);
    }

private:
    static quint64 hashOf(std::string_view word) {
        quint64 hash = 14695981039346656037ull;
        for (const char c : word) {
            hash ^= static_cast<unsigned char>(c);
            hash *= 1099511628211ull;
        }
        return mixed(hash);
    }
    void place(quint32 id, size_t mask) {
        size_t slot = m_hashes[id] & mask;
        while (m_slots[slot] != 0) slot = (slot + 1) & mask;
        m_slots[slot] = id + 1;
    }

    std::vector<quint32> m_slots;  // word id + 1, 0 when free
    std::string m_bytes;
    std::vector<quint32> m_start;
    std::vector<quint64> m_hashes;
};

// The words nameWords gives for an ASCII name, from one pass of the splitter
// over the name and one over each word as written; the buffers are kept from
// one name to the next.
class NameWordSplitter {
public:
    template <typename Visit>
    void forEachWord(std::string_view name, Visit&& visit) {
        m_buffer.clear();
        m_found.clear();
        m_splitter.split(name);
        for (size_t w = 0; w < m_splitter.wordCount(); ++w) {
            if (m_splitter.wordLength(w) == 0) continue;
            const size_t from = m_buffer.size();
            m_splitter.appendLowerWord(w, m_buffer);
            m_found.emplace_back(from, m_buffer.size() - from);
        }
        // The words as written, before the camel-case split: "XTerm" is also
        // "xterm", "LibreOffice" also "libreoffice".
        size_t written = 0;
        for (size_t start = 0; start < name.size() && written < kMaximumWords;) {
            while (start < name.size() && isBreak(name[start])) ++start;
            size_t stop = start;
            while (stop < name.size() && !isBreak(name[stop])) ++stop;
            if (stop == start) break;
            ++written;
            m_part.split(name.substr(start, stop - start));
            start = stop;
            const size_t from = m_buffer.size();
            for (size_t w = 0; w < m_part.wordCount(); ++w) m_part.appendLowerWord(w, m_buffer);
            const std::string_view whole(m_buffer.data() + from, m_buffer.size() - from);
            bool known = whole.empty();
            for (size_t k = 0; k < m_found.size() && !known; ++k)
                known = std::string_view(m_buffer.data() + m_found[k].first, m_found[k].second) == whole;
            if (known)
                m_buffer.resize(from);
            else
                m_found.emplace_back(from, whole.size());
        }
        for (const auto& [from, length] : m_found) visit(std::string_view(m_buffer.data() + from, length));
    }

private:
    static constexpr size_t kMaximumWords = CorrectionIndex::kMaximumWords;
    static bool isBreak(char c) { return c == ' ' || c == '-' || c == '.' || c == '/'; }

    AsciiNameSplitter m_splitter;
    AsciiNameSplitter m_part;
    std::string m_buffer;
    std::vector<std::pair<size_t, size_t>> m_found;  // offset, length in m_buffer
};

// An ASCII name's UTF-16 units as bytes; false for a name outside ASCII.
bool asciiBytes(const QString& name, std::string& out) {
    out.resize(static_cast<size_t>(name.size()));
    const QChar* in = name.constData();
    for (qsizetype k = 0; k < name.size(); ++k) {
        const char16_t c = in[k].unicode();
        if (c >= 0x80) return false;
        out[static_cast<size_t>(k)] = static_cast<char>(c);
    }
    return true;
}

}  // namespace

std::vector<std::string> CorrectionIndex::nameWords(const QString& name) {
    std::vector<std::string> words;
    std::string bytes;
    if (asciiBytes(name, bytes)) {
        NameWordSplitter splitter;
        splitter.forEachWord(bytes, [&](std::string_view word) { words.emplace_back(word); });
        return words;
    }
    // Outside ASCII the name is transliterated first; what is left outside
    // ASCII goes through the splitter's QString path.
    const QString text = normalizedForSearch(name);
    words = asciiNameWords(text);
    words.erase(std::remove_if(words.begin(), words.end(), [](const std::string& w) { return w.empty(); }), words.end());
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
    // Per record: its cut lower-case name (UTF-8) and the numbers of its
    // distinct words, in first-seen numbering.
    std::string names;
    std::vector<quint32> nameEnd;
    nameEnd.reserve(records.size());
    names.reserve(records.size() * 24);
    m_ids.reserve(records.size());
    m_recordWordStart.reserve(records.size() + 1);
    m_recordWordStart.push_back(0);
    std::vector<quint32> recordWords;
    recordWords.reserve(records.size() * 4);
    WordNumbers numbers;
    NameWordSplitter splitter;
    std::string bytes;
    auto addWord = [&](std::string_view word, size_t first) {
        const quint32 number = numbers.number(word);
        for (size_t k = first; k < recordWords.size(); ++k)
            if (recordWords[k] == number) return;
        recordWords.push_back(number);
    };
    for (const SearchRecord& record : records) {
        if (!record.id) continue;
        m_ids.push_back(*record.id);
        const size_t first = recordWords.size();
        if (asciiBytes(record.name, bytes)) {
            const size_t cut = std::min<size_t>(bytes.size(), kNameLength);
            for (size_t k = 0; k < cut; ++k) {
                const char c = bytes[k];
                names += c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
            }
            splitter.forEachWord(bytes, [&](std::string_view word) { addWord(word, first); });
        } else {
            names += record.name.toLower().left(kNameLength).toStdString();
            for (const std::string& word : nameWords(record.name)) addWord(word, first);
        }
        nameEnd.push_back(static_cast<quint32>(names.size()));
        m_recordWordStart.push_back(static_cast<quint32>(recordWords.size()));
    }

    // Whole names, grouped by byte length, record order within a length.
    const size_t count = m_ids.size();
    auto nameOf = [&](size_t r) {
        const quint32 from = r == 0 ? 0 : nameEnd[r - 1];
        return std::string_view(names.data() + from, nameEnd[r] - from);
    };
    size_t longest = 0;
    for (size_t r = 0; r < count; ++r) longest = std::max(longest, nameOf(r).size());
    m_lengthStart.assign(longest + 2, 0);
    for (size_t r = 0; r < count; ++r) ++m_lengthStart[nameOf(r).size() + 1];
    for (size_t l = 1; l < m_lengthStart.size(); ++l) m_lengthStart[l] += m_lengthStart[l - 1];
    std::vector<quint32> fill(m_lengthStart.begin(), m_lengthStart.end() - 1);
    m_nameOffset.resize(count);
    m_nameRecord.resize(count);
    m_nameMask.resize(count);
    std::vector<quint32> entryOf(count);
    for (size_t r = 0; r < count; ++r) entryOf[r] = fill[nameOf(r).size()]++;
    // Entries of one length are contiguous and in record order, so an entry's
    // offset is the bytes of all shorter names plus those of its length before it.
    std::vector<quint32> bytesBefore(m_lengthStart.size(), 0);
    for (size_t l = 0; l + 1 < m_lengthStart.size(); ++l)
        bytesBefore[l + 1] = bytesBefore[l] + static_cast<quint32>(l) * (m_lengthStart[l + 1] - m_lengthStart[l]);
    m_nameBytes.resize(static_cast<qsizetype>(names.size()));
    for (size_t r = 0; r < count; ++r) {
        const std::string_view name = nameOf(r);
        const quint32 e = entryOf[r];
        const quint32 offset = bytesBefore[name.size()] + static_cast<quint32>(name.size()) * (e - m_lengthStart[name.size()]);
        m_nameOffset[e] = offset;
        m_nameRecord[e] = static_cast<quint32>(r);
        m_nameMask[e] = byteMask(name);
        std::memcpy(m_nameBytes.data() + offset, name.data(), name.size());
    }
    names = {};

    // Words sorted by bytes; word ids follow that order.
    const size_t distinct = numbers.size();
    std::vector<quint32> order(distinct);
    for (size_t w = 0; w < distinct; ++w) order[w] = static_cast<quint32>(w);
    std::sort(order.begin(), order.end(), [&](quint32 a, quint32 b) { return numbers.text(a) < numbers.text(b); });
    std::vector<quint32> renumber(distinct);
    m_wordStart.reserve(distinct + 1);
    m_wordStart.push_back(0);
    for (size_t rank = 0; rank < distinct; ++rank) {
        renumber[order[rank]] = static_cast<quint32>(rank);
        m_words += numbers.text(order[rank]);
        m_wordStart.push_back(static_cast<quint32>(m_words.size()));
    }
    // Postings: the records of each word, ascending (records are met in order).
    m_recordWords.resize(recordWords.size());
    m_postingStart.assign(distinct + 1, 0);
    for (size_t i = 0; i < recordWords.size(); ++i) {
        m_recordWords[i] = renumber[recordWords[i]];
        ++m_postingStart[m_recordWords[i] + 1];
    }
    for (size_t w = 1; w < m_postingStart.size(); ++w) m_postingStart[w] += m_postingStart[w - 1];
    m_postings.resize(m_recordWords.size());
    std::vector<quint32> next(m_postingStart.begin(), m_postingStart.end() - 1);
    for (size_t r = 0; r < count; ++r)
        for (quint32 i = m_recordWordStart[r]; i < m_recordWordStart[r + 1]; ++i) m_postings[next[m_recordWords[i]]++] = static_cast<quint32>(r);

    // Symmetric deletes. A word of 6 bytes or more can be two edits from a
    // typed word of 8 or more, so it gets its two-byte deletions too.
    size_t forms = 0;
    for (quint32 w = 0; w + 1 < m_wordStart.size() && w <= kWordMask; ++w) {
        const size_t length = std::min<size_t>(word(w).size(), kDeletePrefix);
        if (word(w).size() >= 6) forms += 1 + length + length * (length - 1) / 2;
        else if (word(w).size() >= 3) forms += 1 + length;
    }
    m_deletes.reserve(forms);
    for (quint32 w = 0; w + 1 < m_wordStart.size() && w <= kWordMask; ++w) {
        const std::string_view text = word(w);
        if (text.size() < 3) continue;
        forEachDeletion(text, text.size() >= 6 ? 2 : 1,
                        [&](quint64 hash) { m_deletes.push_back((hash & ~kWordMask) | w); });
    }
    sortSpreadHashes(m_deletes);
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
