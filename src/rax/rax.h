#pragma once

// rax: a compressed radix tree mapping byte-string keys to opaque pointer values.
//
// Keys are arbitrary byte strings (any byte value, the empty key included, no
// terminator); values are void pointers the tree never dereferences. Lookup,
// insertion and removal cost O(key length). Iteration yields keys in ascending
// (unsigned, byte-wise lexicographic) order.
//
// Shape of the tree. Every node stands for the key spelled by the edges from the
// head down to it; `iskey` says whether that key is stored. A node either branches
// (uncompressed: `size` child bytes in ascending order, one child per byte) or is a
// run (compressed: `size` bytes that lead to exactly one child). The tree is kept in
// a canonical form that depends only on the set of stored keys, not on the order of
// the operations that produced it:
//   - a node with exactly one child is always a compressed run;
//   - a run never leads to a non-key run (the two would be one run);
//   - every leaf other than the head is a key.
// Insertion splits runs where a new key diverges from them or ends inside them;
// removal frees nodes no longer needed and merges runs back together.
//
// Nothing here is thread-safe: the owner serialises all access to a tree.

#include <cstddef>
#include <cstdint>

struct raxNode {
    uint32_t iskey : 1;    // the key spelled down to this node is stored
    uint32_t isnull : 1;   // stored with a null value (only meaningful when iskey)
    uint32_t iscompr : 1;  // a compressed run with a single child
    uint32_t inarena : 1;  // the node lives in the tree's arena (bulk loaded): never freed alone
    uint32_t payloadinarena : 1;  // `children` points into the arena: never freed alone
    uint32_t size;         // child count (branching node) or run length (compressed node)
    void* value;           // the value when iskey && !isnull
    // One block holding the child pointers (`size` of them for a branching node,
    // one for a run) followed by the `size` edge bytes; null for a leaf. A block of
    // its own, or, for a bulk-loaded node, right behind the node in the arena.
    raxNode** children;
};

struct rax {
    raxNode* head;      // the node of the empty key; never freed before the tree
    uint64_t numele;    // number of stored keys
    uint64_t numnodes;  // number of allocated nodes, the head included
    void* arena;        // blocks holding bulk-loaded nodes, released with the tree
};

// The answer of raxFind for a missing key: a unique address no caller can store.
extern void* const raxNotFound;

// A new empty tree (just the head node), or null with errno = ENOMEM.
rax* raxNew();

// Stores `value` under the key, replacing the value of an existing key. Returns 1 when
// the key was new. Returns 0 with errno = 0 when the key existed (then *old, when old
// is not null, receives the previous value), and 0 with errno = ENOMEM when memory ran
// out (the tree is then unchanged) or errno = EINVAL for a key of 4 GiB or more.
int raxInsert(rax* rax, const unsigned char* key, size_t len, void* value, void** old);

// Like raxInsert, but an existing key keeps its value: returns 0 with errno = 0 and
// hands the present value to *old.
int raxTryInsert(rax* rax, const unsigned char* key, size_t len, void* value, void** old);

// One key of a bulk load: `len` bytes at `key`, stored with `value`.
struct raxSortedItem {
    const unsigned char* key;
    size_t len;
    void* value;
};

// Fills an empty tree with `count` keys given in strictly ascending byte order
// (no duplicates). The result is the tree the same keys would give inserted one
// by one, built without splitting or growing any node. Returns 1 on success; 0
// with errno = EINVAL when the tree is not empty, the keys are not strictly
// ascending or a key is 4 GiB or more, or errno = ENOMEM when memory ran out
// (the tree is then left empty; values are not touched).
int raxLoadSorted(rax* rax, const raxSortedItem* items, size_t count);

// The value stored under the key, or raxNotFound.
void* raxFind(rax* rax, const unsigned char* key, size_t len);

// Removes the key. Returns 1 when it was stored (*old, when old is not null, receives
// its value), 0 when it was not (errno = ENOMEM when memory for the lookup path could
// not be found; the tree is then unchanged).
int raxRemove(rax* rax, const unsigned char* key, size_t len, void** old);

// Frees the tree and every node; values are not touched.
void raxFree(rax* rax);
// Frees the tree, calling `freeCallback` once for every stored value (null values included).
void raxFreeWithCallback(rax* rax, void (*freeCallback)(void*));

// Number of stored keys.
uint64_t raxSize(rax* rax);
// Number of allocated nodes, the head included (1 for an empty tree).
uint64_t raxNodeCount(rax* rax);

// The edge bytes of a node (the child bytes of a branching node, the run of a compressed
// one), right after its child pointers; null for a leaf.
inline unsigned char* raxNodeBytes(const raxNode* n) {
    if (n->children == nullptr) return nullptr;
    return reinterpret_cast<unsigned char*>(n->children + (n->iscompr ? 1 : n->size));
}

// Replaces the allocator every tree uses (tests use it to inject allocation failures).
// Pass null for all three to restore malloc, realloc and free. Memory must be released
// with the allocator that provided it, so only switch while no tree exists.
void raxSetAllocator(void* (*allocFn)(size_t), void* (*reallocFn)(void*, size_t), void (*freeFn)(void*));

// Ordered iteration.
//
// Usage: raxStart, then raxSeek to place the iterator, then raxNext (ascending) or
// raxPrev (descending) until it returns 0, then raxStop. The first raxNext or raxPrev
// after a seek yields the key the seek found. While it yields, `key`/`key_len` hold the
// key bytes (not terminated) and `data` its value.
//
// The iterator reads the tree in place: any insertion or removal invalidates it
// (seek again, or start over, after modifying the tree). Any number of iterators may
// read an unmodified tree at once.
constexpr size_t RAX_ITER_STATIC_LEN = 128;
constexpr size_t RAX_ITER_STACK_STATIC = 32;

constexpr int RAX_ITER_JUST_SEEKED = 1 << 0;  // the next step yields the current key
constexpr int RAX_ITER_EOF = 1 << 1;          // no key to yield (not seeked yet, or ran out)

struct raxIterator {
    int flags;           // RAX_ITER_* state bits
    rax* rt;             // the tree being read
    unsigned char* key;  // the current key: key_static or a heap buffer
    void* data;          // the value of the current key
    size_t key_len;      // bytes in key
    size_t key_max;      // capacity of key
    unsigned char key_static[RAX_ITER_STATIC_LEN];
    raxNode* node;    // the node of the current key
    raxNode** stack;  // the ancestors of node, head first: stack_static or heap
    size_t stack_len;
    size_t stack_max;
    raxNode* stack_static[RAX_ITER_STACK_STATIC];
};

// Prepares an iterator over the tree; it yields nothing until seeked.
void raxStart(raxIterator* it, rax* rax);

// Places the iterator. `op` is one of:
//   "^"  the first key            "$"  the last key
//   ">=" the first key >= ele     ">"  the first key > ele
//   "<=" the last key <= ele      "<"  the last key < ele
//   "="  exactly ele ("==" is accepted too)
// (`ele` is ignored for "^" and "$".) Returns 1 once placed, also when no key matches
// (the following raxNext/raxPrev then returns 0). Returns 0 with errno = EINVAL for an
// unknown operator or errno = ENOMEM when memory ran out.
int raxSeek(raxIterator* it, const char* op, const unsigned char* ele, size_t len);

// Steps to the next key in ascending order; 1 while a key is yielded, 0 at the end
// (errno = ENOMEM if memory ran out while descending).
int raxNext(raxIterator* it);
// Steps to the previous key (descending order); 1 while a key is yielded, 0 at the end.
int raxPrev(raxIterator* it);
// Whether the iterator has run out of keys.
int raxEOF(raxIterator* it);
// Releases the iterator's buffers; the tree itself is untouched.
void raxStop(raxIterator* it);

// Prints the whole tree to stdout, one branch per line: "[ab]" is a branching node with
// children under the bytes a and b, "\"xyz\"" a run, "=0x..." the value of a key node,
// " -> " leads to the child of a run and " `-(a) " to the child under the byte a.
void raxShow(rax* rax);
// Prints one node (address, edge bytes, key flag, size, child addresses) to stdout.
void raxDebugShowNode(const char* msg, raxNode* n);
