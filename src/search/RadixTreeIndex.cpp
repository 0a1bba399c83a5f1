#include "search/RadixTreeIndex.h"

#include "kit/Logger.h"
#include "kit/Queue.h"
#include "search/Normalization.h"
#include "search/SearchKeys.h"

#include <QSet>

#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <QThread>

#include <time.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <future>
#include <string_view>

#include <mutex>
#include <string>

namespace vantrel {

namespace {
const Logger& log() {
    static const Logger logger({QStringLiteral("Search"), QStringLiteral("🔎")});
    return logger;
}
}  // namespace

QString indexingModeName(IndexingMode mode) {
    return mode == IndexingMode::prefix ? QStringLiteral("prefix") : QStringLiteral("fuzzy");
}

RadixTreeIndex::RadixTreeIndex(std::shared_ptr<SearchRepository> repository)
    : m_repository(std::move(repository)), m_keys(std::make_unique<SortedKeyTable>()) {}

namespace {

bool isAscii(const QString& text) {
    for (QChar c : text)
        if (c.unicode() >= 0x80) return false;
    return true;
}

// One derived key inside a chunk's byte buffer. `head` holds the first eight key
// bytes big-endian (zero padded) so most comparisons never touch the buffer;
// `record` is the index of the record it came from (equal keys sort in record
// order, so a later record is met last).
struct KeyEntry {
    quint64 head;
    quint32 offset;
    quint32 length;
    quint32 record;
};

// The keys of some records, each search key in composed form, packed into one
// buffer and sorted by bytes, then record.
struct KeyChunk {
    QByteArray bytes;
    std::vector<KeyEntry> entries;

    const unsigned char* keyOf(const KeyEntry& entry) const {
        return reinterpret_cast<const unsigned char*>(bytes.constData()) + entry.offset;
    }
    bool less(const KeyEntry& a, const KeyEntry& b) const {
        if (a.head != b.head) return a.head < b.head;
        const quint32 common = std::min(a.length, b.length);
        if (common > 8) {
            const int c = std::memcmp(keyOf(a) + 8, keyOf(b) + 8, common - 8);
            if (c != 0) return c < 0;
        }
        if (a.length != b.length) return a.length < b.length;
        return a.record < b.record;
    }
};

void appendKey(KeyChunk& chunk, const QString& searchKey, quint32 record) {
    const auto offset = static_cast<quint32>(chunk.bytes.size());
    if (isAscii(searchKey)) {
        const qsizetype size = searchKey.size();
        if (chunk.bytes.capacity() < offset + size) chunk.bytes.reserve(2 * (offset + size));
        chunk.bytes.resize(offset + size);
        char* out = chunk.bytes.data() + offset;
        const QChar* in = searchKey.constData();
        for (qsizetype i = 0; i < size; ++i) out[i] = static_cast<char>(in[i].unicode());
    } else {
        chunk.bytes += searchKey.normalized(QString::NormalizationForm_C).toUtf8();
    }
    const auto length = static_cast<quint32>(chunk.bytes.size()) - offset;
    quint64 head = 0;
    const auto* key = reinterpret_cast<const unsigned char*>(chunk.bytes.constData()) + offset;
    for (quint32 k = 0; k < 8; ++k) head = (head << 8) | (k < length ? key[k] : 0u);
    chunk.entries.push_back({head, offset, length, record});
}

void appendKeyBytes(KeyChunk& chunk, const std::string& searchKey, quint32 record) {
    const auto offset = static_cast<quint32>(chunk.bytes.size());
    chunk.bytes.append(searchKey.data(), static_cast<qsizetype>(searchKey.size()));
    const auto length = static_cast<quint32>(chunk.bytes.size()) - offset;
    quint64 head = 0;
    const auto* key = reinterpret_cast<const unsigned char*>(chunk.bytes.constData()) + offset;
    for (quint32 k = 0; k < 8; ++k) head = (head << 8) | (k < length ? key[k] : 0u);
    chunk.entries.push_back({head, offset, length, record});
}

// The keys searchKeys derives from an ASCII name, written straight into the
// chunk (no string sets: a key derived twice is stored twice for the record,
// which the merge folds into one). Returns false, writing nothing, for a name
// that is not ASCII.
bool appendAsciiNameKeys(KeyChunk& chunk, const QString& name, quint32 record) {
    if (!isAscii(name)) return false;
    if (name.isEmpty()) return true;

    std::string split;
    const std::vector<std::string> words = asciiNameWords(name, &split);

    std::string normalizedName(static_cast<size_t>(name.size()), '\0');
    for (qsizetype k = 0; k < name.size(); ++k) normalizedName[static_cast<size_t>(k)] = static_cast<char>(name[k].unicode());
    for (char& c : normalizedName)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    if (words.size() == 1) {
        appendKeyBytes(chunk, normalizedName, record);
        return true;
    }

    std::string spaceless;
    auto add = [&](const std::string& key) {
        appendKeyBytes(chunk, key, record);
        if (key.find(' ') == std::string::npos) return;
        spaceless.clear();
        for (char c : key)
            if (c != ' ') spaceless += c;
        appendKeyBytes(chunk, spaceless, record);
    };
    auto addAsIs = [&](const std::string& key) { appendKeyBytes(chunk, key, record); };
    auto joinedFrom = [&words](size_t from) {
        std::string joined;
        for (size_t k = from; k < words.size(); ++k) {
            if (k > from) joined += ' ';
            joined += words[k];
        }
        return joined;
    };

    const size_t count = words.size();
    add(joinedFrom(0));
    std::vector<std::string> initials;
    std::string glued;
    std::string spaced;
    std::string key;
    for (size_t i = 0; i < count; ++i) {
        const std::string rest = joinedFrom(i + 1);
        if (rest.empty()) continue;
        const std::string& word = words[i];
        std::string initial;
        if (!word.empty()) initial = word.size() > 1 && word[0] == '\r' && word[1] == '\n' ? word.substr(0, 2) : word.substr(0, 1);
        if (!initials.empty()) spaced += ' ';
        glued += initial;
        spaced += initial;
        initials.push_back(std::move(initial));
        // Initials hold no spaces, so "initials rest" loses its spaces to the
        // same key as "initialsrest" does: only the first of them adds it.
        add(rest);
        add(glued + rest);
        addAsIs(glued + ' ' + rest);
        // With a single initial the spaced and per-initial forms repeat the glued ones.
        if (initials.size() > 1) {
            addAsIs(spaced + ' ' + rest);
            for (const std::string& p : initials) {
                add(p + rest);
                addAsIs(p + ' ' + rest);
            }
        }
        for (size_t j = i + 2; j < count; ++j) {
            key = word;
            key += ' ';
            key += joinedFrom(j);
            add(key);
        }
    }
    if (normalizedName != split) appendKeyBytes(chunk, normalizedName, record);
    return true;
}

qint64 threadCpuMicros() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<qint64>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// Sorts `count` entries as KeyChunk::less orders them, most significant head
// byte first: one counting pass per byte, then the entries are swapped into
// the buckets of that byte in place (no second buffer as large as the keys);
// a bucket small enough, or whose heads are all equal, is finished by the
// comparison. Equal keys keep record order because the comparison ends on
// the record.
void sortEntries(const KeyChunk& chunk, KeyEntry* entries, size_t count, int byte) {
    while (byte < 8 && count >= 64) {
        const int shift = 56 - 8 * byte;
        auto digit = [shift](const KeyEntry& entry) { return static_cast<size_t>((entry.head >> shift) & 0xff); };
        std::array<size_t, 257> start{};
        for (size_t i = 0; i < count; ++i) ++start[digit(entries[i]) + 1];
        // All in one bucket: nothing moves, the next byte decides.
        if (std::find(start.begin() + 1, start.end(), count) != start.end()) {
            ++byte;
            continue;
        }
        for (size_t b = 1; b < start.size(); ++b) start[b] += start[b - 1];
        std::array<size_t, 256> next;
        std::copy(start.begin(), start.end() - 1, next.begin());
        for (size_t b = 0; b < 256; ++b) {
            while (next[b] < start[b + 1]) {
                KeyEntry moving = entries[next[b]];
                for (size_t d = digit(moving); d != b; d = digit(moving)) std::swap(moving, entries[next[d]++]);
                entries[next[b]++] = moving;
            }
        }
        for (size_t b = 0; b < 256; ++b) {
            const size_t size = start[b + 1] - start[b];
            if (size > 1) sortEntries(chunk, entries + start[b], size, byte + 1);
        }
        return;
    }
    std::sort(entries, entries + count, [&chunk](const KeyEntry& a, const KeyEntry& b) { return chunk.less(a, b); });
}

// Derives the keys of records [begin, end) and sorts them; the thread CPU
// time of both steps goes to `deriveUs` and `sortUs` when given.
KeyChunk derivedKeys(const SearchRecord* records, size_t begin, size_t end, qint64* deriveUs, qint64* sortUs) {
    const qint64 started = threadCpuMicros();
    KeyChunk chunk;
    const size_t count = end - begin;
    chunk.entries.reserve(count * 22);
    chunk.bytes.reserve(static_cast<qsizetype>(count) * 22 * 16);
    for (size_t i = begin; i != end; ++i) {
        const SearchRecord& record = records[i];
        if (!record.id) continue;
        const auto at = static_cast<quint32>(i);
        const QSet<QString> keywords = record.indexableKeywords();
        if (appendAsciiNameKeys(chunk, record.name, at)) {
            // The keywords are keys of their own, normalised, empty ones skipped.
            for (const QString& keyword : keywords)
                if (!keyword.isEmpty()) appendKey(chunk, normalizedForSearch(keyword), at);
            continue;
        }
        for (const QString& searchKey : searchKeys(record.name, keywords)) appendKey(chunk, searchKey, at);
    }
    const qint64 derived = threadCpuMicros();
    sortEntries(chunk, chunk.entries.data(), chunk.entries.size(), 0);
    const qint64 sorted = threadCpuMicros();
    if (deriveUs) *deriveUs = derived - started;
    if (sortUs) *sortUs = sorted - derived;
    return chunk;
}

bool decimalByte(char c) { return (c >= '0' && c <= '9') || c == '-'; }

// One key's ids while it is added: the record each came from (the latest one
// for an id several records carry) and the id's decimal form.
struct KeyId {
    qint64 id;
    quint32 record;
    quint8 length;
    bool dropped;
    char digits[22];
    std::string_view text() const { return {digits, length}; }
};

// Adds the distinct keys of a sorted stream to the table. The ids of a key
// are ordered by their decimal form, as the strings `key + id` sort. Two pairs
// can spell the same string ("ab" + "12" and "ab1" + "2"): only the pair of
// the later record is visited, as a tree keyed by those strings would keep
// only the value inserted last.
class KeyTableFiller {
public:
    // `ids`: the id of every record, by record index.
    explicit KeyTableFiller(const std::vector<qint64>& ids) : m_recordIds(ids) {}

    void add(std::string_view key, quint32 record) {
        if (!m_ids.empty() && key != m_key) flush();
        m_key = key;
        const qint64 id = m_recordIds[record];
        for (KeyId& known : m_ids)
            if (known.id == id) {
                known.record = std::max(known.record, record);
                return;
            }
        KeyId entry{id, record, 0, false, {}};
        entry.length = static_cast<quint8>(sorted_key_table::decimal(id, entry.digits));
        m_ids.push_back(entry);
    }

    std::unique_ptr<SortedKeyTable> finish() {
        if (!m_ids.empty()) flush();
        m_path = {};
        m_pathIds = {};
        m_pathRecords = {};
        return std::make_unique<SortedKeyTable>(m_builder.finish());
    }

private:
    // A key added earlier that is a prefix of the one added last, with its ids
    // (in m_pathIds / m_pathRecords from `from`, `count` of them).
    struct Ancestor {
        size_t length;
        size_t keyIndex;
        size_t from;
        size_t count;
    };

    void flush() {
        if (m_ids.size() > 1)
            std::sort(m_ids.begin(), m_ids.end(), [](const KeyId& a, const KeyId& b) { return a.text() < b.text(); });
        // Keys come in byte order, so the earlier keys that are prefixes of this
        // one are exactly those left on the path after dropping the ones longer
        // than what this key shares with the previous one.
        size_t shared = 0;
        const size_t limit = std::min(m_previous.size(), m_key.size());
        while (shared < limit && m_previous[shared] == m_key[shared]) ++shared;
        while (!m_path.empty() && m_path.back().length > shared) {
            m_pathIds.resize(m_path.back().from);
            m_pathRecords.resize(m_path.back().from);
            m_path.pop_back();
        }
        if (!m_key.empty() && decimalByte(m_key.back())) resolveSharedStrings();
        const Ancestor self{m_key.size(), m_builder.keyCount(), m_pathIds.size(), 0};
        m_path.push_back(self);
        for (const KeyId& entry : m_ids) {
            if (entry.dropped) continue;
            m_pathIds.push_back(entry.id);
            m_pathRecords.push_back(entry.record);
        }
        m_path.back().count = m_pathIds.size() - self.from;
        m_builder.add(m_key, m_pathIds.data() + self.from, m_path.back().count);
        m_previous.assign(m_key);
        m_ids.clear();
    }

    // The key ends in what could begin a decimal id: a shorter key followed by
    // one of its ids may spell the same string as this key and one of its own.
    void resolveSharedStrings() {
        size_t run = 0;
        while (run < m_key.size() && run < 20 && decimalByte(m_key[m_key.size() - 1 - run])) ++run;
        struct Rival {
            size_t keyIndex;
            qint64 id;
            quint32 record;
        };
        std::vector<std::vector<Rival>> rivals;
        char digits[22];
        for (const Ancestor& ancestor : m_path) {
            if (ancestor.length + run < m_key.size()) continue;
            const size_t tail = m_key.size() - ancestor.length;
            const std::string_view spelled = m_key.substr(ancestor.length);
            for (size_t j = 0; j < ancestor.count; ++j) {
                const qint64 id = m_pathIds[ancestor.from + j];
                const std::string_view text(digits, sorted_key_table::decimal(id, digits));
                if (text.size() <= tail || text.substr(0, tail) != spelled) continue;
                for (size_t k = 0; k < m_ids.size(); ++k)
                    if (m_ids[k].text() == text.substr(tail)) {
                        rivals.resize(m_ids.size());
                        rivals[k].push_back({ancestor.keyIndex, id, m_pathRecords[ancestor.from + j]});
                    }
            }
        }
        for (size_t k = 0; k < rivals.size(); ++k) {
            if (rivals[k].empty()) continue;
            // The latest record among all pairs of this string keeps it.
            quint32 latest = m_ids[k].record;
            for (const Rival& rival : rivals[k]) latest = std::max(latest, rival.record);
            bool kept = false;
            for (const Rival& rival : rivals[k]) {
                if (rival.record == latest && !kept && m_ids[k].record != latest) {
                    kept = true;
                    continue;
                }
                m_builder.hide(rival.keyIndex, rival.id);
            }
            m_ids[k].dropped = m_ids[k].record != latest;
        }
    }

    const std::vector<qint64>& m_recordIds;
    SortedKeyTableBuilder m_builder;
    std::string_view m_key;
    std::string m_previous;
    std::vector<KeyId> m_ids;
    std::vector<Ancestor> m_path;
    std::vector<qint64> m_pathIds;
    std::vector<quint32> m_pathRecords;
};

}  // namespace

namespace {

// Entries [from, to) of each chunk.
struct ChunkRange {
    size_t from;
    size_t to;
};

// Fills a table with the keys of the given ranges of the sorted chunks, merged
// into one byte-ordered stream. `release` lets a chunk's entries go once all
// of them were read (only when no other range reads that chunk).
SortedKeyTable fillKeys(const std::vector<qint64>& ids, std::vector<KeyChunk>& keys,
                        const std::vector<ChunkRange>& ranges, bool release) {
    KeyTableFiller filler(ids);
    std::vector<size_t> next;
    std::vector<size_t> ends;
    for (const ChunkRange& range : ranges) {
        next.push_back(range.from);
        ends.push_back(range.to);
    }
    for (;;) {
        size_t best = keys.size();
        for (size_t c = 0; c < keys.size(); ++c) {
            if (next[c] == ends[c]) continue;
            if (best == keys.size()) {
                best = c;
                continue;
            }
            const KeyEntry& a = keys[c].entries[next[c]];
            const KeyEntry& b = keys[best].entries[next[best]];
            if (a.head != b.head) {
                if (a.head < b.head) best = c;
                continue;
            }
            const quint32 common = std::min(a.length, b.length);
            int order = common > 8 ? std::memcmp(keys[c].keyOf(a) + 8, keys[best].keyOf(b) + 8, common - 8) : 0;
            if (order == 0) order = a.length < b.length ? -1 : 0;
            if (order < 0) best = c;
        }
        if (best == keys.size()) break;
        KeyChunk& chunk = keys[best];
        const KeyEntry& entry = chunk.entries[next[best]++];
        filler.add(std::string_view(reinterpret_cast<const char*>(chunk.keyOf(entry)), entry.length), entry.record);
        if (release && next[best] == ends[best] && keys.size() > 1) {
            // A finished chunk's entries go at once; its bytes are still the
            // current key's.
            chunk.entries = {};
        }
    }
    std::unique_ptr<SortedKeyTable> table = filler.finish();
    return std::move(*table);
}

}  // namespace

std::unique_ptr<SortedKeyTable> RadixTreeIndex::buildKeys(const std::vector<SearchRecord>& records,
                                                          IndexBuildCpu* cpu, const std::function<void()>& beside) {
    // Deriving and sorting keys runs on every core, one share of the records
    // per thread; the calling thread takes a smaller share when it also runs
    // `beside`, so that no core waits for the other before the fill. Filling
    // the table runs on two threads as well when there is enough: keys are
    // cut by their first byte into two ranges of about as many entries, each
    // range merged across the chunks into a table of its own, and the two
    // tables joined. A key and every key it is a prefix of share their first
    // byte, so each range sees all it needs of the others (only an empty key
    // would be a prefix of both: with one, a single thread fills everything).
    const size_t threads = records.size() < 2000 ? 1 : static_cast<size_t>(std::max(1, QThread::idealThreadCount()));
    std::vector<size_t> bounds{0};
    if (threads > 1) {
        const double perThread = 1.0 / static_cast<double>(threads);
        const double own = beside ? std::max(0.0, perThread - kBesideShare) : perThread;
        const double rest = (1.0 - own) / static_cast<double>(threads - 1);
        double at = own;
        for (size_t t = 1; t < threads; ++t, at += rest)
            bounds.push_back(std::min(records.size(), static_cast<size_t>(at * static_cast<double>(records.size()))));
    }
    bounds.push_back(records.size());
    const size_t parts = bounds.size() - 1;
    IndexBuildCpu local;
    IndexBuildCpu& clocks = cpu ? *cpu : local;
    clocks.derive.assign(parts, 0);
    clocks.sort.assign(parts, 0);
    std::vector<std::future<KeyChunk>> others;
    for (size_t p = 1; p < parts; ++p)
        others.push_back(std::async(std::launch::async, derivedKeys, records.data(), bounds[p], bounds[p + 1],
                                    &clocks.derive[p], &clocks.sort[p]));
    std::vector<KeyChunk> keys;
    keys.reserve(parts);
    keys.push_back(derivedKeys(records.data(), bounds[0], bounds[1], &clocks.derive[0], &clocks.sort[0]));
    if (beside) beside();
    for (auto& part : others) keys.push_back(part.get());

    std::vector<qint64> ids(records.size(), 0);
    for (size_t r = 0; r < records.size(); ++r)
        if (records[r].id) ids[r] = *records[r].id;
    std::vector<ChunkRange> whole;
    size_t total = 0;
    bool emptyKey = false;
    for (const KeyChunk& chunk : keys) {
        whole.push_back({0, chunk.entries.size()});
        total += chunk.entries.size();
        if (!chunk.entries.empty() && chunk.entries.front().length == 0) emptyKey = true;
    }
    auto timedFill = [&ids, &keys](const std::vector<ChunkRange>& ranges, bool release, qint64& us) {
        const qint64 started = threadCpuMicros();
        SortedKeyTable table = fillKeys(ids, keys, ranges, release);
        us = threadCpuMicros() - started;
        return table;
    };
    if (threads < 2 || emptyKey || total < 20000) {
        clocks.fill.assign(1, 0);
        return std::make_unique<SortedKeyTable>(timedFill(whole, true, clocks.fill[0]));
    }

    // The first byte where the entries before it reach half of them.
    std::array<size_t, 256> perByte{};
    for (const KeyChunk& chunk : keys)
        for (const KeyEntry& entry : chunk.entries) ++perByte[entry.head >> 56];
    size_t split = 1;
    for (size_t before = perByte[0]; split < 255 && before + perByte[split] <= total / 2; ++split)
        before += perByte[split];
    std::vector<ChunkRange> low;
    std::vector<ChunkRange> high;
    for (const KeyChunk& chunk : keys) {
        const auto at = std::partition_point(chunk.entries.begin(), chunk.entries.end(),
                                             [split](const KeyEntry& entry) { return (entry.head >> 56) < split; });
        const auto cut = static_cast<size_t>(at - chunk.entries.begin());
        low.push_back({0, cut});
        high.push_back({cut, chunk.entries.size()});
    }
    clocks.fill.assign(2, 0);
    auto upper = std::async(std::launch::async, [&] { return timedFill(high, false, clocks.fill[1]); });
    SortedKeyTable lower = timedFill(low, false, clocks.fill[0]);
    SortedKeyTable higher = upper.get();
    const qint64 joining = threadCpuMicros();
    auto joined = std::make_unique<SortedKeyTable>(SortedKeyTable::concatenated(std::move(lower), std::move(higher)));
    clocks.join = threadCpuMicros() - joining;
    return joined;
}

void RadixTreeIndex::index(const std::vector<SearchRecord>& records, IndexingMode mode,
                           std::function<void()> completion) {
    log().info(QStringLiteral("Indexing %1 items with mode: %2").arg(records.size()).arg(indexingModeName(mode)));
    // The correction tables are built on the calling thread once its share of
    // the keys is derived, while the other threads still derive theirs.
    IndexBuildCpu cpu;
    std::shared_ptr<const CorrectionIndex> names;
    std::unique_ptr<SortedKeyTable> fresh = buildKeys(records, &cpu, [&records, &names, &cpu] {
        const qint64 started = threadCpuMicros();
        names = std::make_shared<const CorrectionIndex>(records);
        cpu.corrections = threadCpuMicros() - started;
    });
    const quint64 keys = fresh->pairCount();
    qint64 largest = 0;
    for (const SearchRecord& record : records)
        if (record.id) largest = std::max(largest, *record.id);
    {
        std::unique_lock lock(m_lock);
        m_idWords = std::min<qint64>(largest, qint64(1) << 26) / 64 + 1;
        m_keys.swap(fresh);
        m_corrections.swap(names);
        m_lastBuildCpu = std::move(cpu);
    }
    // The previous table is freed outside the lock, and the memory it and the
    // build's scratch buffers held goes back to the system rather than staying
    // with the allocator until the next rebuild.
    fresh.reset();
    names.reset();
#ifdef __GLIBC__
    malloc_trim(0);
#endif
    log().info(QStringLiteral("Indexed %1 keys").arg(keys));
    if (completion) Queue::main().dispatch(std::move(completion));
}

QList<qint64> RadixTreeIndex::idsStartingWith(const QString& term) const {
    QList<qint64> ids;
    // Ids seen so far: a bitmap over the small ids row ids are, a set for any other.
    std::vector<quint64> seen;
    QSet<qint64> seenLarge;
    auto firstTime = [&](qint64 id) {
        if (id >= 0 && id < (qint64(1) << 26)) {
            const auto word = static_cast<size_t>(id >> 6);
            if (word >= seen.size()) seen.resize(std::max(word + 1, seen.size() * 2), 0);
            const quint64 bit = quint64(1) << (id & 63);
            if (seen[word] & bit) return false;
            seen[word] |= bit;
            return true;
        }
        if (seenLarge.contains(id)) return false;
        seenLarge.insert(id);
        return true;
    };
    {
        std::shared_lock lock(m_lock);
        seen.resize(static_cast<size_t>(m_idWords), 0);
        // Keys come in byte order; the read is capped anyway, so the walk stops
        // once that many records are found.
        const QByteArray prefix = term.toUtf8();
        m_keys->forEachWithPrefix(std::string_view(prefix.constData(), static_cast<size_t>(prefix.size())),
                                  [&](const char*, size_t, qint64 id) {
            if (firstTime(id)) ids << id;
            return ids.size() < kReadIdsLimit;
        });
    }
    return ids;
}

std::shared_ptr<const CorrectionIndex> RadixTreeIndex::correctionIndex() const {
    std::shared_lock lock(m_lock);
    return m_corrections;
}

IndexBuildCpu RadixTreeIndex::lastBuildCpu() const {
    std::shared_lock lock(m_lock);
    return m_lastBuildCpu;
}

quint64 RadixTreeIndex::keyCount() const {
    std::shared_lock lock(m_lock);
    return m_keys->pairCount();
}

std::vector<SearchRecord> RadixTreeIndex::itemsStartingWith(const QString& term) const {
    try {
        if (term.isEmpty()) return m_repository->readAllSearchResults({SearchRecord::Source::provider}, kReadAllLimit);
        const QList<qint64> ids = idsStartingWith(term);
        if (ids.isEmpty()) return {};
        return m_repository->readSearchResults(ids, kReadIdsLimit);
    } catch (const std::exception& error) {
        log().error("Failed reading db records", {{QStringLiteral("error"), VantrelError::describe(error)}});
        return {};
    }
}

std::vector<SearchRecord> RadixTreeIndex::itemsContaining(const QString& term) const {
    log().debug("Fuzzy searches not supported");
    return itemsStartingWith(term);
}

}  // namespace vantrel
