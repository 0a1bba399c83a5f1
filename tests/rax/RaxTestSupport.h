#pragma once

#include "rax/rax.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vantrel::test::rax_support {

inline const unsigned char* bytes(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

inline int insert(rax* t, const std::string& key, void* value, void** old = nullptr) {
    return raxInsert(t, bytes(key), key.size(), value, old);
}
inline int tryInsert(rax* t, const std::string& key, void* value, void** old = nullptr) {
    return raxTryInsert(t, bytes(key), key.size(), value, old);
}
inline void* find(rax* t, const std::string& key) {
    return raxFind(t, bytes(key), key.size());
}
inline int remove(rax* t, const std::string& key, void** old = nullptr) {
    return raxRemove(t, bytes(key), key.size(), old);
}

// Owns a tree for the length of a scope; converts to the rax* the library takes.
class ScopedRax {
public:
    ScopedRax() : m_tree(raxNew()) {}
    ~ScopedRax() {
        if (m_tree != nullptr) raxFree(m_tree);
    }
    ScopedRax(const ScopedRax&) = delete;
    ScopedRax& operator=(const ScopedRax&) = delete;
    rax* get() const { return m_tree; }
    operator rax*() const { return m_tree; }  // NOLINT: convenience in tests
    // Hands the tree over (to be freed by the caller).
    rax* release() { return std::exchange(m_tree, nullptr); }

private:
    rax* m_tree;
};

// The key an iterator stands on.
inline std::string iteratorKey(const raxIterator& it) {
    return std::string(reinterpret_cast<const char*>(it.key), it.key_len);
}

// A recognisable fake value (never dereferenced by the tree).
inline void* fakeValue(std::size_t n) {
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x1000 + 16 * n));
}

// Walks the whole tree and returns a description of the first broken invariant, or an
// empty string. `canonical` also demands the compact form (single-child nodes are
// runs, no run leads to a keyless run, no keyless leaf below the head); without it only
// what any readable tree needs is checked (sorted distinct child bytes, counters).
std::string checkTree(rax* t, bool canonical = true);

// Every key and value, by iterating from "^" with raxNext.
std::vector<std::pair<std::string, void*>> itemsForward(rax* t);
// Every key and value, by iterating from "$" with raxPrev (so in descending order).
std::vector<std::pair<std::string, void*>> itemsBackward(rax* t);

// The oracle's content as a list.
std::vector<std::pair<std::string, void*>> itemsOf(const std::map<std::string, void*>& oracle);

// A textual dump of the tree's shape (node kinds, edge bytes in hex, key flags, values),
// equal for two trees exactly when they have the same nodes.
std::string dumpShape(rax* t);

// What raxShow prints for the tree.
std::string showOutput(rax* t);

// Inserts every prefix s[0..i) of s (the empty one included; none may be in the tree yet),
// then removes them all again from the longest down, each of which must be present.
void insertAndRemoveAllPrefixes(rax* rax, const unsigned char* s, std::size_t len);

// Seeks with `op` to `key`, then steps with raxNext (for "^", ">=", ">", "=") or raxPrev
// (for "$", "<=", "<") at most `maxSteps` times, and compares every yielded key and value
// with what the ordered map holds from the matching position on. Returns a description
// of the first difference, or an empty string.
std::string checkSeek(rax* t, const std::map<std::string, void*>& oracle, const std::string& op, const std::string& key,
                      std::size_t maxSteps);

// Printable form of a byte string for failure messages.
std::string printable(const std::string& key);

}  // namespace vantrel::test::rax_support
