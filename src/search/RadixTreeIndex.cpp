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

#include <algorithm>
#include <cstring>
#include <future>
#include <tuple>

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
    : m_repository(std::move(repository)), m_tree(std::make_unique<RadixTree<qint64>>()) {}

namespace {

bool isAscii(const QString& text) {
    for (QChar c : text)
        if (c.unicode() >= 0x80) return false;
    return true;
}

// One stored key inside a chunk's byte buffer. `head` holds the first eight key
// bytes big-endian (zero padded) so most comparisons never touch the buffer;
// `order` keeps equal keys in the order they were derived, so the later record
// still wins when two records produce the same stored key.
struct KeyEntry {
    quint64 head;
    quint32 offset;
    quint32 length;
    quint32 order;
    qint64 id;
};

// The stored keys of some records: each search key in composed form followed
// by the record id in decimal, packed into one buffer and sorted by bytes so
// the tree is filled along neighbouring paths.
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
        return a.order < b.order;
    }
};

void appendKey(KeyChunk& chunk, const QString& searchKey, const QByteArray& suffix, qint64 id) {
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
    chunk.bytes += suffix;
    const auto length = static_cast<quint32>(chunk.bytes.size()) - offset;
    quint64 head = 0;
    const auto* key = reinterpret_cast<const unsigned char*>(chunk.bytes.constData()) + offset;
    for (quint32 k = 0; k < 8; ++k) head = (head << 8) | (k < length ? key[k] : 0u);
    chunk.entries.push_back({head, offset, length, static_cast<quint32>(chunk.entries.size()), id});
}

void appendKeyBytes(KeyChunk& chunk, const std::string& searchKey, const QByteArray& suffix, qint64 id) {
    const auto offset = static_cast<quint32>(chunk.bytes.size());
    chunk.bytes.append(searchKey.data(), static_cast<qsizetype>(searchKey.size()));
    chunk.bytes += suffix;
    const auto length = static_cast<quint32>(chunk.bytes.size()) - offset;
    quint64 head = 0;
    const auto* key = reinterpret_cast<const unsigned char*>(chunk.bytes.constData()) + offset;
    for (quint32 k = 0; k < 8; ++k) head = (head << 8) | (k < length ? key[k] : 0u);
    chunk.entries.push_back({head, offset, length, static_cast<quint32>(chunk.entries.size()), id});
}

// The keys searchKeys derives from an ASCII name, written straight into the
// chunk (no string sets: a key derived twice is stored twice under the same id,
// which the merge folds into one). Returns false, writing nothing, for a name
// that is not ASCII.
bool appendAsciiNameKeys(KeyChunk& chunk, const QString& name, const QByteArray& suffix, qint64 id) {
    if (!isAscii(name)) return false;
    if (name.isEmpty()) return true;

    std::string split;
    const std::vector<std::string> words = asciiNameWords(name, &split);

    std::string normalizedName(static_cast<size_t>(name.size()), '\0');
    for (qsizetype k = 0; k < name.size(); ++k) normalizedName[static_cast<size_t>(k)] = static_cast<char>(name[k].unicode());
    for (char& c : normalizedName)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    if (words.size() == 1) {
        appendKeyBytes(chunk, normalizedName, suffix, id);
        return true;
    }

    std::string spaceless;
    auto add = [&](const std::string& key) {
        appendKeyBytes(chunk, key, suffix, id);
        if (key.find(' ') == std::string::npos) return;
        spaceless.clear();
        for (char c : key)
            if (c != ' ') spaceless += c;
        appendKeyBytes(chunk, spaceless, suffix, id);
    };
    auto addAsIs = [&](const std::string& key) { appendKeyBytes(chunk, key, suffix, id); };
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
    if (normalizedName != split) appendKeyBytes(chunk, normalizedName, suffix, id);
    return true;
}

KeyChunk storedKeys(const SearchRecord* begin, const SearchRecord* end) {
    KeyChunk chunk;
    const auto records = static_cast<size_t>(end - begin);
    chunk.entries.reserve(records * 24);
    chunk.bytes.reserve(static_cast<qsizetype>(records) * 24 * 24);
    for (const SearchRecord* record = begin; record != end; ++record) {
        if (!record->id) continue;
        const QByteArray suffix = QByteArray::number(*record->id);
        const QSet<QString> keywords = record->indexableKeywords();
        if (appendAsciiNameKeys(chunk, record->name, suffix, *record->id)) {
            // The keywords are keys of their own, normalised, empty ones skipped.
            for (const QString& keyword : keywords)
                if (!keyword.isEmpty()) appendKey(chunk, normalizedForSearch(keyword), suffix, *record->id);
            continue;
        }
        for (const QString& searchKey : searchKeys(record->name, keywords))
            appendKey(chunk, searchKey, suffix, *record->id);
    }
    std::sort(chunk.entries.begin(), chunk.entries.end(),
              [&chunk](const KeyEntry& a, const KeyEntry& b) { return chunk.less(a, b); });
    // Lay the bytes out in sorted order too, so the merge and the tree build
    // read them front to back.
    QByteArray sortedBytes(chunk.bytes.size(), Qt::Uninitialized);
    quint32 used = 0;
    for (KeyEntry& entry : chunk.entries) {
        std::memcpy(sortedBytes.data() + used, chunk.bytes.constData() + entry.offset, entry.length);
        entry.offset = used;
        used += entry.length;
    }
    chunk.bytes = std::move(sortedBytes);
    return chunk;
}

}  // namespace

std::unique_ptr<RadixTree<qint64>> RadixTreeIndex::buildTree(const std::vector<SearchRecord>& records) {
    // Deriving and sorting keys runs on every core; the tree itself is filled by
    // one thread, in byte order across all chunks (a merge), so each insertion
    // walks the path the previous one just touched.
    const size_t chunks = records.size() < 2000 ? 1 : static_cast<size_t>(std::max(1, QThread::idealThreadCount()));
    const size_t perChunk = (records.size() + chunks - 1) / std::max<size_t>(chunks, 1);
    std::vector<std::future<KeyChunk>> parts;
    for (size_t start = 0; start < records.size(); start += perChunk) {
        const SearchRecord* begin = records.data() + start;
        const SearchRecord* end = records.data() + std::min(records.size(), start + perChunk);
        parts.push_back(std::async(start == 0 ? std::launch::deferred : std::launch::async, storedKeys, begin, end));
    }
    std::vector<KeyChunk> keys;
    keys.reserve(parts.size());
    for (auto& part : parts) keys.push_back(part.get());

    // Merge the chunks into one ascending sequence. Equal keys of different
    // records keep only the later record's id, as inserting in record order
    // (where the last insertion overwrites) would.
    struct Sorted {
        const unsigned char* key;
        size_t length;
        qint64 id;
    };
    size_t total = 0;
    for (const KeyChunk& chunk : keys) total += chunk.entries.size();
    std::vector<Sorted> sorted;
    sorted.reserve(total);
    quint64 lastHead = 0;
    std::vector<size_t> next(keys.size(), 0);
    for (;;) {
        size_t best = keys.size();
        for (size_t c = 0; c < keys.size(); ++c) {
            if (next[c] == keys[c].entries.size()) continue;
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
        const KeyChunk& chunk = keys[best];
        const KeyEntry& entry = chunk.entries[next[best]++];
        const unsigned char* key = chunk.keyOf(entry);
        if (!sorted.empty() && lastHead == entry.head && sorted.back().length == entry.length &&
            std::memcmp(sorted.back().key, key, entry.length) == 0) {
            sorted.back().id = entry.id;
            continue;
        }
        sorted.push_back({key, entry.length, entry.id});
        lastHead = entry.head;
    }

    auto tree = std::make_unique<RadixTree<qint64>>();
    tree->loadSorted(sorted.size(), [&sorted](size_t i) {
        return std::tuple<const unsigned char*, size_t, qint64>(sorted[i].key, sorted[i].length, sorted[i].id);
    });
    return tree;
}

void RadixTreeIndex::index(const std::vector<SearchRecord>& records, IndexingMode mode,
                           std::function<void()> completion) {
    log().info(QStringLiteral("Indexing %1 items with mode: %2").arg(records.size()).arg(indexingModeName(mode)));
    // The correction tables are built on another thread while the tree is filled.
    auto corrections = std::async(std::launch::async, [&records] {
        return std::make_shared<const CorrectionIndex>(records);
    });
    std::unique_ptr<RadixTree<qint64>> fresh = buildTree(records);
    const quint64 keys = fresh->count();
    std::shared_ptr<const CorrectionIndex> names = corrections.get();
    qint64 largest = 0;
    for (const SearchRecord& record : records)
        if (record.id) largest = std::max(largest, *record.id);
    {
        std::unique_lock lock(m_lock);
        m_idWords = std::min<qint64>(largest, qint64(1) << 26) / 64 + 1;
        m_tree.swap(fresh);
        m_corrections.swap(names);
    }
    // The previous tree is freed outside the lock, and the memory it and the
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
        m_tree->forEachWithPrefix(term.toUtf8(), [&](const char*, size_t, qint64 id) {
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

quint64 RadixTreeIndex::keyCount() const {
    std::shared_lock lock(m_lock);
    return m_tree->count();
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
