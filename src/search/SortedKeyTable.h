#pragma once

#include <QtGlobal>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantrel {

// An immutable set of byte-string keys, each with a short list of record ids,
// laid out for prefix walks in little memory. Keys are stored once, in
// ascending byte order, front-coded in blocks of kBlockKeys (a block's first key
// whole, the others as the length they share with the key before plus the rest),
// each followed by its ids as zig-zag varint deltas. Block heads are found by
// binary search, the rest by decoding forward: no tree nodes, no cell per key.
//
// A walk visits the stored keys as the strings `key + decimal id`, in the byte
// order of those strings, exactly as a tree holding one such string per (key,
// id) pair would list them.
class SortedKeyTable {
public:
    static constexpr size_t kBlockKeys = 16;

    SortedKeyTable() = default;

    size_t keyCount() const { return m_keys; }
    // The (key, id) pairs a walk over everything visits.
    size_t pairCount() const { return m_pairs - m_hidden.size(); }
    size_t memoryBytes() const;

    // The keys of `first` followed by those of `second`, every one of which
    // sorts after the last key of `first` (as tables filled from two ranges of
    // one sorted key stream are).
    static SortedKeyTable concatenated(SortedKeyTable first, SortedKeyTable second);

    // Visits every stored string `key + decimal id` that starts with `prefix`,
    // in byte order, as visit(const char* bytes, size_t length, qint64 id); the
    // walk stops when visit answers false.
    template <typename Visit>
    void forEachWithPrefix(std::string_view prefix, Visit&& visit) const;

private:
    friend class SortedKeyTableBuilder;

    // A position on one decoded key.
    struct Cursor {
        bool valid = false;
        size_t index = 0;     // the key's index
        size_t next = 0;      // byte offset of the key after it
        size_t idsOffset = 0; // byte offset of its ids
        size_t idCount = 0;
        std::string key;
    };
    // Decodes the key at byte `offset` (index `index`) into the cursor, whose
    // key holds the key before it.
    void decodeAt(Cursor& cursor, size_t offset, size_t index) const;
    void advance(Cursor& cursor) const;
    // The first key >= `key` (an invalid cursor when there is none).
    Cursor lowerBound(std::string_view key) const;
    void readIds(const Cursor& cursor, std::vector<qint64>& ids) const;
    bool hidden(size_t keyIndex, qint64 id) const;
    size_t firstKeyOfBlock(size_t block) const {
        return m_blockFirstKeys.empty() ? block * kBlockKeys : m_blockFirstKeys[block];
    }

    std::vector<unsigned char> m_bytes;
    std::vector<size_t> m_blocks;  // byte offset of every block's first key
    // The index of every block's first key, kept only once tables with a short
    // last block were joined; otherwise block b starts at key b * kBlockKeys.
    std::vector<size_t> m_blockFirstKeys;
    std::vector<std::pair<size_t, qint64>> m_hidden;  // sorted (key index, id)
    size_t m_keys = 0;
    size_t m_pairs = 0;
};

// Fills a table from keys given in strictly ascending byte order, each with
// its ids in the byte order of their decimal forms.
class SortedKeyTableBuilder {
public:
    void add(std::string_view key, const qint64* ids, size_t count);
    // Keeps a pair stored but leaves it out of every walk (the pair's string
    // is also another pair's, and that one answers for it).
    void hide(size_t keyIndex, qint64 id);
    size_t keyCount() const { return m_table.m_keys; }
    SortedKeyTable finish();

private:
    SortedKeyTable m_table;
    std::string m_previous;
};

namespace sorted_key_table {
// The decimal form of an id, written at `out` (room for 20 bytes); answers its length.
size_t decimal(qint64 id, char* out);
}  // namespace sorted_key_table

template <typename Visit>
void SortedKeyTable::forEachWithPrefix(std::string_view prefix, Visit&& visit) const {
    // Strings still to visit, held in `arena` and ordered as a min-heap: a key's
    // own strings come after the key but may come before or after the keys that
    // extend it, depending on the byte that follows.
    struct Pending {
        size_t offset;
        size_t length;
        size_t keyIndex;
        qint64 id;
    };
    std::string arena;
    std::vector<Pending> heap;
    auto view = [&arena](const Pending& p) { return std::string_view(arena.data() + p.offset, p.length); };
    auto later = [&](const Pending& a, const Pending& b) { return view(a) > view(b); };
    std::vector<qint64> ids;
    char digits[24];
    auto push = [&](std::string_view key, size_t keyIndex, qint64 id, std::string_view idMustStart) {
        const size_t length = sorted_key_table::decimal(id, digits);
        const std::string_view text(digits, length);
        if (!idMustStart.empty() && text.substr(0, idMustStart.size()) != idMustStart) return;
        if (!m_hidden.empty() && hidden(keyIndex, id)) return;
        const size_t offset = arena.size();
        arena.append(key);
        arena.append(text);
        heap.push_back({offset, key.size() + length, keyIndex, id});
        std::push_heap(heap.begin(), heap.end(), later);
    };
    // Pops and visits every pending string before `bound` (all of them for an
    // empty optional bound); false once visit asked to stop.
    auto drain = [&](const std::string_view* bound) {
        while (!heap.empty() && (!bound || view(heap.front()) < *bound)) {
            std::pop_heap(heap.begin(), heap.end(), later);
            const Pending p = heap.back();
            heap.pop_back();
            if (!visit(static_cast<const char*>(arena.data() + p.offset), p.length, p.id)) return false;
        }
        if (heap.empty()) arena.clear();
        return true;
    };

    // Shorter keys whose strings reach into the prefix through their id: the
    // prefix's tail is the start of a decimal number.
    for (size_t tail = 1; tail <= prefix.size() && tail <= 20; ++tail) {
        const char c = prefix[prefix.size() - tail];
        if (!((c >= '0' && c <= '9') || c == '-')) break;
        const std::string_view shorter = prefix.substr(0, prefix.size() - tail);
        const Cursor found = lowerBound(shorter);
        if (!found.valid || found.key != shorter) continue;
        readIds(found, ids);
        for (qint64 id : ids) push(shorter, found.index, id, prefix.substr(prefix.size() - tail));
    }

    // A key's own strings need no heap when all of them sort before the next
    // key (and so before every string after it) and before every pending
    // string: they are visited at once, in the order their ids are stored in
    // when that is the byte order of the ids' decimal forms.
    std::string current;
    std::string text;
    struct Decimal {
        char bytes[24];
        size_t length;
        std::string_view view() const { return std::string_view(bytes, length); }
    };
    std::vector<Decimal> decimals;
    auto visitDirectly = [&](std::string_view next, bool last, size_t keyIndex, bool& stopped) {
        decimals.resize(ids.size());
        const bool extended = !last && next.substr(0, current.size()) == current;
        const std::string_view tail = extended ? next.substr(current.size()) : std::string_view();
        for (size_t i = 0; i < ids.size(); ++i) {
            decimals[i].length = sorted_key_table::decimal(ids[i], decimals[i].bytes);
            const std::string_view digitsOf = decimals[i].view();
            if (i > 0 && !(decimals[i - 1].view() < digitsOf)) return false;
            if (extended && !(digitsOf < tail)) return false;
        }
        if (!heap.empty() && !ids.empty()) {
            text.assign(current);
            text.append(decimals.back().bytes, decimals.back().length);
            if (!(std::string_view(text) < view(heap.front()))) return false;
        }
        for (size_t i = 0; i < ids.size(); ++i) {
            if (!m_hidden.empty() && hidden(keyIndex, ids[i])) continue;
            text.assign(current);
            text.append(decimals[i].bytes, decimals[i].length);
            if (!visit(static_cast<const char*>(text.data()), text.size(), ids[i])) {
                stopped = true;
                return true;
            }
        }
        return true;
    };

    for (Cursor cursor = lowerBound(prefix); cursor.valid;) {
        {
            const std::string_view key(cursor.key);
            if (key.substr(0, prefix.size()) != prefix) break;
            if (!drain(&key)) return;
        }
        readIds(cursor, ids);
        const size_t keyIndex = cursor.index;
        current.assign(cursor.key);
        advance(cursor);
        bool stopped = false;
        if (visitDirectly(cursor.valid ? std::string_view(cursor.key) : std::string_view(), !cursor.valid, keyIndex,
                          stopped)) {
            if (stopped) return;
            continue;
        }
        for (qint64 id : ids) push(current, keyIndex, id, {});
    }
    drain(nullptr);
}

}  // namespace vantrel
