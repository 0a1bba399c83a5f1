#pragma once

#include "rax/rax.h"

#include <QByteArray>
#include <QString>

#include <cerrno>
#include <cstring>
#include <optional>
#include <functional>
#include <new>
#include <stdexcept>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

namespace vantrel {

// A map from byte-string keys (the UTF-8 bytes of a string, no terminator) to
// values of type V, on our compressed radix tree. Values that fit a pointer and
// are trivially copyable are kept in the tree's value slot itself; any other
// value is copied into a heap cell of its own whose address the tree stores.
// Not thread-safe: its owner serialises access.
template <typename V>
class RadixTree {
    static constexpr bool kInline = std::is_trivially_copyable_v<V> && sizeof(V) <= sizeof(void*);

public:
    RadixTree() : m_rax(raxNew()) {
        if (!m_rax) throw std::bad_alloc();
    }
    ~RadixTree() { raxFreeWithCallback(m_rax, &RadixTree::freeValue); }
    RadixTree(const RadixTree&) = delete;
    RadixTree& operator=(const RadixTree&) = delete;

    // An existing key gets the new value. Throws std::bad_alloc when memory runs out.
    void insert(const QByteArray& key, const V& value) {
        insert(bytes(key), static_cast<size_t>(key.size()), value);
    }
    void insert(const unsigned char* key, size_t length, const V& value) {
        void* old = nullptr;
        void* cell = store(value);
        const int inserted = raxInsert(m_rax, key, length, cell, &old);
        if (inserted == 0 && errno == ENOMEM) {
            freeValue(cell);
            throw std::bad_alloc();
        }
        if (!inserted) freeValue(old);
    }
    void insert(const QString& key, const V& value) { insert(key.toUtf8(), value); }

    // Fills an empty tree with `count` keys in strictly ascending byte order:
    // keyAt(i) answers the i-th key as {bytes, length, value}. Gives the same
    // tree as inserting them one by one, in a fraction of the time. Throws
    // std::bad_alloc when memory runs out (the tree is then left empty) and
    // std::invalid_argument when the tree is not empty or the keys are out of order.
    template <typename KeyAt>
    void loadSorted(size_t count, KeyAt&& keyAt) {
        std::vector<raxSortedItem> items;
        items.reserve(count);
        try {
            for (size_t i = 0; i < count; ++i) {
                const auto [key, length, value] = keyAt(i);
                items.push_back({key, length, nullptr});
                items.back().value = store(value);
            }
        } catch (...) {
            for (const raxSortedItem& item : items) freeValue(item.value);
            throw;
        }
        if (!raxLoadSorted(m_rax, items.data(), items.size())) {
            const int error = errno;
            for (const raxSortedItem& item : items) freeValue(item.value);
            if (error == ENOMEM) throw std::bad_alloc();
            throw std::invalid_argument("RadixTree::loadSorted: keys not strictly ascending or tree not empty");
        }
    }

    std::optional<V> find(const QByteArray& key) const {
        void* cell = raxFind(m_rax, bytes(key), static_cast<size_t>(key.size()));
        if (cell == raxNotFound) return std::nullopt;
        return load(cell);
    }
    std::optional<V> find(const QString& key) const { return find(key.toUtf8()); }

    // Returns whether the key was there; frees only that key's value.
    bool remove(const QByteArray& key) {
        void* old = nullptr;
        if (!raxRemove(m_rax, bytes(key), static_cast<size_t>(key.size()), &old)) return false;
        freeValue(old);
        return true;
    }
    bool remove(const QString& key) { return remove(key.toUtf8()); }

    void removeAll() {
        raxFreeWithCallback(m_rax, &RadixTree::freeValue);
        m_rax = raxNew();
        if (!m_rax) throw std::bad_alloc();
    }

    // Calls visit(key bytes, length, value) for every key starting with the
    // prefix, in ascending byte order, until visit returns false.
    template <typename Visit>
    void forEachWithPrefix(const QByteArray& prefix, Visit&& visit) const {
        raxIterator it;
        raxStart(&it, m_rax);
        raxSeek(&it, ">=", bytes(prefix), static_cast<size_t>(prefix.size()));
        const size_t length = static_cast<size_t>(prefix.size());
        while (raxNext(&it)) {
            if (it.key_len < length || std::memcmp(it.key, prefix.constData(), length) != 0) break;
            if (!visit(reinterpret_cast<const char*>(it.key), it.key_len, load(it.data))) break;
        }
        raxStop(&it);
    }

    std::vector<std::pair<QString, V>> itemsWithPrefix(const QString& prefix) const {
        std::vector<std::pair<QString, V>> items;
        forEachWithPrefix(prefix.toUtf8(), [&](const char* key, size_t length, const V& value) {
            items.emplace_back(QString::fromUtf8(key, static_cast<qsizetype>(length)), value);
            return true;
        });
        return items;
    }

    quint64 count() const { return raxSize(m_rax); }
    quint64 nodeCount() const { return raxNodeCount(m_rax); }
    void show() const { raxShow(m_rax); }

private:
    static const unsigned char* bytes(const QByteArray& key) {
        return reinterpret_cast<const unsigned char*>(key.constData());
    }
    static void* store(const V& value) {
        if constexpr (kInline) {
            void* slot = nullptr;
            std::memcpy(&slot, &value, sizeof(V));
            return slot;
        } else {
            return new V(value);
        }
    }
    static V load(void* cell) {
        if constexpr (kInline) {
            V value;
            std::memcpy(&value, &cell, sizeof(V));
            return value;
        } else {
            return *static_cast<V*>(cell);
        }
    }
    static void freeValue(void* cell) {
        if constexpr (!kInline) delete static_cast<V*>(cell);
        else (void)cell;
    }

    rax* m_rax;
};

}  // namespace vantrel
