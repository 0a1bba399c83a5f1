#include "search/SortedKeyTable.h"

#include <charconv>
#include <cstring>

namespace vantrel {

namespace sorted_key_table {
size_t decimal(qint64 id, char* out) {
    return static_cast<size_t>(std::to_chars(out, out + 20, id).ptr - out);
}
}  // namespace sorted_key_table

namespace {

void putVarint(std::vector<unsigned char>& out, quint64 value) {
    while (value >= 0x80) {
        out.push_back(static_cast<unsigned char>(value | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<unsigned char>(value));
}

quint64 getVarint(const unsigned char* bytes, size_t& offset) {
    quint64 value = 0;
    int shift = 0;
    for (;;) {
        const unsigned char byte = bytes[offset++];
        value |= quint64(byte & 0x7f) << shift;
        if (byte < 0x80) return value;
        shift += 7;
    }
}

quint64 zigzag(qint64 delta) {
    return (static_cast<quint64>(delta) << 1) ^ static_cast<quint64>(delta >> 63);
}

qint64 unzigzag(quint64 value) {
    return static_cast<qint64>((value >> 1) ^ (~(value & 1) + 1));
}

}  // namespace

void SortedKeyTableBuilder::add(std::string_view key, const qint64* ids, size_t count) {
    SortedKeyTable& t = m_table;
    size_t shared = 0;
    if (t.m_keys % SortedKeyTable::kBlockKeys == 0) {
        t.m_blocks.push_back(t.m_bytes.size());
    } else {
        const size_t limit = std::min(key.size(), m_previous.size());
        while (shared < limit && key[shared] == m_previous[shared]) ++shared;
    }
    putVarint(t.m_bytes, shared);
    putVarint(t.m_bytes, key.size() - shared);
    t.m_bytes.insert(t.m_bytes.end(), key.begin() + static_cast<std::ptrdiff_t>(shared), key.end());
    putVarint(t.m_bytes, count);
    qint64 previous = 0;
    for (size_t i = 0; i < count; ++i) {
        // Wrapping arithmetic: any two ids have a delta that round-trips.
        putVarint(t.m_bytes, zigzag(static_cast<qint64>(static_cast<quint64>(ids[i]) - static_cast<quint64>(previous))));
        previous = ids[i];
    }
    m_previous.assign(key);
    ++t.m_keys;
    t.m_pairs += count;
}

void SortedKeyTableBuilder::hide(size_t keyIndex, qint64 id) { m_table.m_hidden.emplace_back(keyIndex, id); }

SortedKeyTable SortedKeyTableBuilder::finish() {
    std::sort(m_table.m_hidden.begin(), m_table.m_hidden.end());
    m_table.m_hidden.erase(std::unique(m_table.m_hidden.begin(), m_table.m_hidden.end()), m_table.m_hidden.end());
    m_table.m_bytes.shrink_to_fit();
    m_table.m_blocks.shrink_to_fit();
    m_table.m_hidden.shrink_to_fit();
    m_previous.clear();
    SortedKeyTable table = std::move(m_table);
    m_table = SortedKeyTable();
    return table;
}

SortedKeyTable SortedKeyTable::concatenated(SortedKeyTable first, SortedKeyTable second) {
    if (second.m_keys == 0) return first;
    if (first.m_keys == 0) return second;
    // Every block of `second` starts with a whole key, so its bytes follow
    // those of `first` unchanged; only offsets and key indexes move.
    const size_t byteShift = first.m_bytes.size();
    const size_t keyShift = first.m_keys;
    const bool aligned = first.m_blockFirstKeys.empty() && second.m_blockFirstKeys.empty() &&
                         first.m_keys % kBlockKeys == 0;
    if (!aligned) {
        std::vector<size_t> firstKeys;
        firstKeys.reserve(first.m_blocks.size() + second.m_blocks.size());
        for (size_t b = 0; b < first.m_blocks.size(); ++b) firstKeys.push_back(first.firstKeyOfBlock(b));
        for (size_t b = 0; b < second.m_blocks.size(); ++b) firstKeys.push_back(keyShift + second.firstKeyOfBlock(b));
        first.m_blockFirstKeys = std::move(firstKeys);
    }
    first.m_bytes.reserve(first.m_bytes.size() + second.m_bytes.size());
    first.m_bytes.insert(first.m_bytes.end(), second.m_bytes.begin(), second.m_bytes.end());
    second.m_bytes = {};
    first.m_blocks.reserve(first.m_blocks.size() + second.m_blocks.size());
    first.m_hidden.reserve(first.m_hidden.size() + second.m_hidden.size());
    for (size_t offset : second.m_blocks) first.m_blocks.push_back(byteShift + offset);
    // Hidden pairs stay sorted: the second table's key indexes all come later.
    for (const auto& [keyIndex, id] : second.m_hidden) first.m_hidden.emplace_back(keyShift + keyIndex, id);
    first.m_keys += second.m_keys;
    first.m_pairs += second.m_pairs;
    first.m_blocks.shrink_to_fit();
    return first;
}

size_t SortedKeyTable::memoryBytes() const {
    return m_bytes.capacity() + m_blocks.capacity() * sizeof(size_t) + m_blockFirstKeys.capacity() * sizeof(size_t) +
           m_hidden.capacity() * sizeof(std::pair<size_t, qint64>) + sizeof(*this);
}

void SortedKeyTable::decodeAt(Cursor& cursor, size_t offset, size_t index) const {
    const unsigned char* bytes = m_bytes.data();
    const auto shared = static_cast<size_t>(getVarint(bytes, offset));
    const auto rest = static_cast<size_t>(getVarint(bytes, offset));
    cursor.key.resize(shared);
    cursor.key.append(reinterpret_cast<const char*>(bytes + offset), rest);
    offset += rest;
    cursor.idCount = static_cast<size_t>(getVarint(bytes, offset));
    cursor.idsOffset = offset;
    for (size_t i = 0; i < cursor.idCount; ++i)
        while (bytes[offset++] >= 0x80) {
        }
    cursor.next = offset;
    cursor.index = index;
    cursor.valid = true;
}

void SortedKeyTable::advance(Cursor& cursor) const {
    if (cursor.index + 1 >= m_keys) {
        cursor.valid = false;
        return;
    }
    decodeAt(cursor, cursor.next, cursor.index + 1);
}

SortedKeyTable::Cursor SortedKeyTable::lowerBound(std::string_view key) const {
    Cursor cursor;
    if (m_keys == 0) return cursor;
    // The last block whose first key is <= key: the answer is in it or is the
    // first key of the block after it.
    auto headOf = [this](size_t block) {
        size_t offset = m_blocks[block];
        getVarint(m_bytes.data(), offset);  // shared length: 0 for a block head
        const auto length = static_cast<size_t>(getVarint(m_bytes.data(), offset));
        return std::string_view(reinterpret_cast<const char*>(m_bytes.data() + offset), length);
    };
    size_t low = 0;
    size_t high = m_blocks.size();
    while (high - low > 1) {
        const size_t middle = low + (high - low) / 2;
        if (headOf(middle) <= key) low = middle;
        else high = middle;
    }
    decodeAt(cursor, m_blocks[low], firstKeyOfBlock(low));
    while (cursor.valid && std::string_view(cursor.key) < key) advance(cursor);
    return cursor;
}

void SortedKeyTable::readIds(const Cursor& cursor, std::vector<qint64>& ids) const {
    ids.clear();
    size_t offset = cursor.idsOffset;
    qint64 previous = 0;
    for (size_t i = 0; i < cursor.idCount; ++i) {
        previous = static_cast<qint64>(static_cast<quint64>(previous) +
                                       static_cast<quint64>(unzigzag(getVarint(m_bytes.data(), offset))));
        ids.push_back(previous);
    }
}

bool SortedKeyTable::hidden(size_t keyIndex, qint64 id) const {
    return std::binary_search(m_hidden.begin(), m_hidden.end(), std::pair<size_t, qint64>(keyIndex, id));
}

}  // namespace vantrel
