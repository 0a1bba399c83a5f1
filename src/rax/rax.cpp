#include "rax/rax.h"

#include <cassert>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

char notFoundMarker;

void* (*allocFunction)(size_t) = std::malloc;
void* (*reallocFunction)(void*, size_t) = std::realloc;
void (*freeFunction)(void*) = std::free;

// ---------------------------------------------------------------------------
// Node layout helpers

size_t childCount(const raxNode* n) {
    if (n->size == 0) return 0;
    return n->iscompr ? 1 : n->size;
}

unsigned char* edgeBytes(const raxNode* n) {
    return raxNodeBytes(n);
}

size_t payloadBytes(size_t nchildren, size_t nbytes) {
    return nchildren * sizeof(raxNode*) + nbytes;
}

void* nodeValue(const raxNode* n) {
    return n->isnull ? nullptr : n->value;
}

void setValue(raxNode* n, void* value) {
    n->isnull = value == nullptr;
    n->value = value;
}

void clearNode(raxNode* n) {
    n->iskey = 0;
    n->isnull = 0;
    n->iscompr = 0;
    n->inarena = 0;
    n->payloadinarena = 0;
    n->size = 0;
    n->value = nullptr;
    n->children = nullptr;
}

raxNode* allocNode(rax* t) {
    auto* n = static_cast<raxNode*>(allocFunction(sizeof(raxNode)));
    if (n == nullptr) return nullptr;
    clearNode(n);
    t->numnodes++;
    return n;
}

// Lets go of n's payload before it gets a new one (or none). A payload in the
// arena is only given back with the whole tree.
void releasePayload(raxNode* n) {
    if (!n->payloadinarena) freeFunction(n->children);
    n->payloadinarena = 0;
}

void freeNode(rax* t, raxNode* n) {
    releasePayload(n);
    if (!n->inarena) freeFunction(n);
    t->numnodes--;
}

// ---------------------------------------------------------------------------
// Arena: bulk-loaded nodes are carved, together with their payloads, out of
// large blocks. That saves two allocations per node and most of the allocator's
// per-block overhead; blocks are released only when the tree is freed.

struct ArenaBlock {
    ArenaBlock* next;
    size_t size;  // usable bytes after the header
    size_t used;
};

constexpr size_t kArenaFirstBlock = size_t(64) << 10;
constexpr size_t kArenaLargestBlock = size_t(8) << 20;

void* arenaAlloc(rax* t, size_t bytes) {
    bytes = (bytes + 7) & ~size_t(7);
    auto* block = static_cast<ArenaBlock*>(t->arena);
    if (block == nullptr || block->size - block->used < bytes) {
        size_t size = block == nullptr ? kArenaFirstBlock : block->size * 2;
        if (size > kArenaLargestBlock) size = kArenaLargestBlock;
        if (size < bytes) size = bytes;
        auto* fresh = static_cast<ArenaBlock*>(allocFunction(sizeof(ArenaBlock) + size));
        if (fresh == nullptr) return nullptr;
        fresh->next = block;
        fresh->size = size;
        fresh->used = 0;
        t->arena = fresh;
        block = fresh;
    }
    void* p = reinterpret_cast<unsigned char*>(block + 1) + block->used;
    block->used += bytes;
    return p;
}

void arenaFree(rax* t) {
    auto* block = static_cast<ArenaBlock*>(t->arena);
    while (block != nullptr) {
        ArenaBlock* next = block->next;
        freeFunction(block);
        block = next;
    }
    t->arena = nullptr;
}

// A node with room for its payload right behind it, both in the arena.
raxNode* arenaNode(rax* t, size_t nchildren, size_t nbytes) {
    const size_t payload = payloadBytes(nchildren, nbytes);
    auto* n = static_cast<raxNode*>(arenaAlloc(t, sizeof(raxNode) + payload));
    if (n == nullptr) return nullptr;
    clearNode(n);
    n->inarena = 1;
    if (payload > 0) {
        n->children = reinterpret_cast<raxNode**>(n + 1);
        n->payloadinarena = 1;
    }
    t->numnodes++;
    return n;
}

// Index of the child under byte c of a branching node, or -1.
long findChild(const raxNode* n, unsigned char c) {
    assert(n->iscompr == 0);
    const unsigned char* bytes = edgeBytes(n);
    for (uint32_t k = 0; k < n->size; ++k) {
        if (bytes[k] == c) return static_cast<long>(k);
        if (bytes[k] > c) break;  // edge bytes are sorted
    }
    return -1;
}

// Gives node n the payload `payload` (sized for its new shape) filled with one child
// and `len` run bytes, turning it into a compressed run. n's old payload is freed.
void makeRun(raxNode* n, raxNode** payload, const unsigned char* run, size_t len, raxNode* child) {
    payload[0] = child;
    std::memcpy(reinterpret_cast<unsigned char*>(payload + 1), run, len);
    releasePayload(n);
    n->children = payload;
    n->iscompr = 1;
    n->size = static_cast<uint32_t>(len);
}

// Turns an empty leaf into a run of `len` bytes leading to `child`.
void growLeafIntoRun(raxNode* n, raxNode** payload, const unsigned char* run, size_t len, raxNode* child) {
    assert(n->size == 0 && n->iscompr == 0);
    makeRun(n, payload, run, len, child);
}

// Adds the edge c -> child to a branching node, keeping the edge bytes sorted.
// `payload` has room for one more child and one more byte; n's old payload is freed.
void addChild(raxNode* n, raxNode** payload, unsigned char c, raxNode* child) {
    assert(n->iscompr == 0);
    const uint32_t size = n->size;
    const unsigned char* oldBytes = edgeBytes(n);
    uint32_t pos = 0;
    while (pos < size && oldBytes[pos] < c) ++pos;
    auto* newBytes = reinterpret_cast<unsigned char*>(payload + size + 1);
    for (uint32_t k = 0; k < pos; ++k) {
        payload[k] = n->children[k];
        newBytes[k] = oldBytes[k];
    }
    payload[pos] = child;
    newBytes[pos] = c;
    for (uint32_t k = pos; k < size; ++k) {
        payload[k + 1] = n->children[k];
        newBytes[k + 1] = oldBytes[k];
    }
    releasePayload(n);
    n->children = payload;
    n->size = size + 1;
}

// Drops the child at `index` from a branching node. Done in place (the payload only
// shrinks); a node left with one child becomes a run of one byte, which has the same
// payload layout.
void removeChild(raxNode* n, uint32_t index) {
    assert(n->iscompr == 0);
    const uint32_t size = n->size;
    unsigned char* bytes = edgeBytes(n);
    unsigned char saved[256];
    std::memcpy(saved, bytes, size);
    for (uint32_t k = index; k + 1 < size; ++k) n->children[k] = n->children[k + 1];
    auto* newBytes = reinterpret_cast<unsigned char*>(n->children + (size - 1));
    for (uint32_t k = 0, out = 0; k < size; ++k) {
        if (k != index) newBytes[out++] = saved[k];
    }
    n->size = size - 1;
    if (n->size == 0) {
        releasePayload(n);
        n->children = nullptr;
        return;
    }
    if (n->size == 1) n->iscompr = 1;
    if (n->payloadinarena) return;
    void* shrunk = reallocFunction(n->children, payloadBytes(childCount(n), n->size));
    if (shrunk != nullptr) n->children = static_cast<raxNode**>(shrunk);
}

// Merges the non-key run `child` into its parent run `n`. When memory for the joined
// run is not available the two stay apart, which is still a valid tree.
void mergeRuns(rax* t, raxNode* n, raxNode* child) {
    assert(n->iscompr && child->iscompr && !child->iskey && n->children[0] == child);
    const size_t len = static_cast<size_t>(n->size) + child->size;
    auto* payload = static_cast<raxNode**>(allocFunction(payloadBytes(1, len)));
    if (payload == nullptr) return;
    auto* bytes = reinterpret_cast<unsigned char*>(payload + 1);
    std::memcpy(bytes, edgeBytes(n), n->size);
    std::memcpy(bytes + n->size, edgeBytes(child), child->size);
    payload[0] = child->children[0];
    releasePayload(n);
    n->children = payload;
    n->size = static_cast<uint32_t>(len);
    freeNode(t, child);
}

// ---------------------------------------------------------------------------
// Node stacks (a fixed buffer first, then the heap)

bool stackPush(raxNode**& items, size_t& len, size_t& max, raxNode** fixed, raxNode* n) {
    if (len == max) {
        const size_t newMax = max * 2;
        raxNode** grown;
        if (items == fixed) {
            grown = static_cast<raxNode**>(allocFunction(newMax * sizeof(raxNode*)));
            if (grown != nullptr) std::memcpy(grown, items, len * sizeof(raxNode*));
        } else {
            grown = static_cast<raxNode**>(reallocFunction(items, newMax * sizeof(raxNode*)));
        }
        if (grown == nullptr) {
            errno = ENOMEM;
            return false;
        }
        items = grown;
        max = newMax;
    }
    items[len++] = n;
    return true;
}

struct NodeStack {
    raxNode** items = fixed;
    size_t len = 0;
    size_t max = RAX_ITER_STACK_STATIC;
    raxNode* fixed[RAX_ITER_STACK_STATIC];

    NodeStack() = default;
    NodeStack(const NodeStack&) = delete;
    NodeStack& operator=(const NodeStack&) = delete;
    ~NodeStack() {
        if (items != fixed) freeFunction(items);
    }
    bool push(raxNode* n) { return stackPush(items, len, max, fixed, n); }
    raxNode* pop() { return items[--len]; }
    raxNode* top() const { return items[len - 1]; }
};

// ---------------------------------------------------------------------------
// Lookup walk

struct Walk {
    raxNode* node;   // where the walk stopped
    size_t matched;  // key bytes consumed down to (and inside) node
    uint32_t inRun;  // bytes of node's run matched when it stopped inside a run, else 0
    bool ok = true;  // false when the stack could not grow
};

// Follows the key from the head as far as the tree spells it. When `stack` is given it
// receives every node passed through (the ancestors of the returned node).
Walk walkKey(rax* t, const unsigned char* key, size_t len, NodeStack* stack) {
    raxNode* n = t->head;
    size_t i = 0;
    uint32_t j = 0;
    while (n->size > 0 && i < len) {
        if (n->iscompr) {
            const unsigned char* run = edgeBytes(n);
            j = 0;
            while (j < n->size && i < len && run[j] == key[i]) {
                ++i;
                ++j;
            }
            if (j != n->size) break;  // the key leaves (or ends inside) the run
            j = 0;
            if (stack != nullptr && !stack->push(n)) return {n, i, j, false};
            n = n->children[0];
        } else {
            const long index = findChild(n, key[i]);
            if (index < 0) break;
            if (stack != nullptr && !stack->push(n)) return {n, i, j, false};
            n = n->children[index];
            ++i;
        }
    }
    return {n, i, j};
}

// ---------------------------------------------------------------------------
// Insertion

// Allocations an insertion needs, all made before the tree is touched so that running
// out of memory leaves the tree as it was.
class Reservation {
public:
    explicit Reservation(rax* t) : m_tree(t) {}
    Reservation(const Reservation&) = delete;
    Reservation& operator=(const Reservation&) = delete;

    raxNode* node() {
        raxNode* n = allocNode(m_tree);
        if (n == nullptr) m_failed = true;
        m_nodes[m_nodeCount++] = n;
        return n;
    }
    raxNode** payload(size_t nchildren, size_t nbytes) {
        auto* p = static_cast<raxNode**>(allocFunction(payloadBytes(nchildren, nbytes)));
        if (p == nullptr) m_failed = true;
        m_payloads[m_payloadCount++] = p;
        return p;
    }
    // Frees everything reserved and reports ENOMEM when any allocation failed.
    bool failed() {
        if (!m_failed) return false;
        for (int k = 0; k < m_nodeCount; ++k) {
            if (m_nodes[k] != nullptr) freeNode(m_tree, m_nodes[k]);
        }
        for (int k = 0; k < m_payloadCount; ++k) freeFunction(m_payloads[k]);
        errno = ENOMEM;
        return true;
    }

private:
    rax* m_tree;
    raxNode* m_nodes[6] = {};
    raxNode** m_payloads[6] = {};
    int m_nodeCount = 0;
    int m_payloadCount = 0;
    bool m_failed = false;
};

// The nodes spelling the remainder `rest` of a new key below a fresh edge: a key leaf,
// behind a run when rest is not empty.
struct Tail {
    raxNode* top = nullptr;
    raxNode* leaf = nullptr;
    raxNode* run = nullptr;
    raxNode** runPayload = nullptr;

    void reserve(Reservation& r, size_t restLen) {
        leaf = r.node();
        if (restLen > 0) {
            run = r.node();
            runPayload = r.payload(1, restLen);
        }
    }
    raxNode* build(const unsigned char* rest, size_t restLen, void* value) {
        leaf->iskey = 1;
        setValue(leaf, value);
        if (restLen == 0) return leaf;
        makeRun(run, runPayload, rest, restLen, leaf);
        return run;
    }
};

// The key diverges from (or ends inside) the run of n after `j` of its bytes; `rest`
// is the unmatched remainder of the key (empty when the key ends inside the run).
int splitRun(rax* t, raxNode* n, uint32_t j, const unsigned char* rest, size_t restLen, void* value) {
    const uint32_t size = n->size;
    // Read in place: n's own payload is replaced last, after everything is copied out.
    const unsigned char* run = edgeBytes(n);
    raxNode* const child = n->children[0];

    Reservation r(t);
    raxNode** headPayload = j > 0 ? r.payload(1, j) : nullptr;

    if (restLen == 0) {
        // The key ends inside the run: a key node takes the run's remaining bytes.
        assert(j > 0);
        raxNode* split = r.node();
        raxNode** splitPayload = r.payload(1, size - j);
        if (r.failed()) return 0;
        makeRun(split, splitPayload, run + j, size - j, child);
        split->iskey = 1;
        setValue(split, value);
        makeRun(n, headPayload, run, j, split);
        t->numele++;
        return 1;
    }

    // The key diverges at run[j]: a branching node with the old continuation under
    // run[j] and the new key under rest[0]. It is a new node below the shortened run
    // when j > 0, or n itself when the very first byte differs.
    const size_t afterLen = size - j - 1;
    raxNode* after = afterLen > 0 ? r.node() : child;
    raxNode** afterPayload = afterLen > 0 ? r.payload(1, afterLen) : nullptr;
    Tail tail;
    tail.reserve(r, restLen - 1);
    raxNode* branch = j > 0 ? r.node() : n;
    raxNode** branchPayload = r.payload(2, 2);
    if (r.failed()) return 0;

    if (afterLen > 0) makeRun(after, afterPayload, run + j + 1, afterLen, child);
    raxNode* fresh = tail.build(rest + 1, restLen - 1, value);

    const bool oldFirst = run[j] < rest[0];
    auto* bytes = reinterpret_cast<unsigned char*>(branchPayload + 2);
    branchPayload[0] = oldFirst ? after : fresh;
    branchPayload[1] = oldFirst ? fresh : after;
    bytes[0] = oldFirst ? run[j] : rest[0];
    bytes[1] = oldFirst ? rest[0] : run[j];
    if (j > 0) {
        makeRun(n, headPayload, run, j, branch);
    } else {
        releasePayload(n);
    }
    branch->children = branchPayload;
    branch->iscompr = 0;
    branch->size = 2;
    t->numele++;
    return 1;
}

// The key leaves the tree at node n (a leaf or a branching node) with `rest` unmatched.
int addBranch(rax* t, raxNode* n, const unsigned char* rest, size_t restLen, void* value) {
    Reservation r(t);
    if (n->size == 0) {
        // A leaf grows a run with the whole remainder, ending in the new key.
        raxNode* leaf = r.node();
        raxNode** payload = r.payload(1, restLen);
        if (r.failed()) return 0;
        leaf->iskey = 1;
        setValue(leaf, value);
        growLeafIntoRun(n, payload, rest, restLen, leaf);
        t->numele++;
        return 1;
    }
    raxNode** payload = r.payload(n->size + 1, n->size + 1);
    Tail tail;
    tail.reserve(r, restLen - 1);
    if (r.failed()) return 0;
    addChild(n, payload, rest[0], tail.build(rest + 1, restLen - 1, value));
    t->numele++;
    return 1;
}

int insertKey(rax* t, const unsigned char* key, size_t len, void* value, void** old, bool overwrite) {
    if (len > UINT32_MAX) {
        errno = EINVAL;
        return 0;
    }
    const Walk w = walkKey(t, key, len, nullptr);
    raxNode* n = w.node;
    if (w.matched == len && w.inRun == 0) {
        // The key ends exactly at n.
        if (n->iskey) {
            if (old != nullptr) *old = nodeValue(n);
            if (overwrite) setValue(n, value);
            errno = 0;
            return 0;
        }
        n->iskey = 1;
        setValue(n, value);
        t->numele++;
        return 1;
    }
    if (n->iscompr) return splitRun(t, n, w.inRun, key + w.matched, len - w.matched, value);
    return addBranch(t, n, key + w.matched, len - w.matched, value);
}

// ---------------------------------------------------------------------------
// Bulk loading

// The end of the run of keys in [from, hi) that have the same byte at `depth`
// as items[from]; every key in the range is longer than `depth` and the bytes
// at `depth` ascend.
size_t groupEnd(const raxSortedItem* items, size_t from, size_t hi, size_t depth) {
    const unsigned char byte = items[from].key[depth];
    if (items[hi - 1].key[depth] == byte) return hi;
    // Gallop first: groups are usually small next to the range.
    size_t known = from;  // items[known] has the byte
    size_t step = 1;
    size_t probe = from + 1;
    while (probe < hi && items[probe].key[depth] == byte) {
        known = probe;
        step *= 2;
        probe = from + step;
    }
    size_t low = known + 1;
    size_t high = probe < hi ? probe : hi - 1;  // items[high] has a larger byte
    while (low < high) {
        const size_t mid = low + (high - low) / 2;
        if (items[mid].key[depth] == byte) low = mid + 1;
        else high = mid;
    }
    return low;
}

// Builds the subtree of the sorted keys items[lo, hi), which all share their
// first `depth` bytes, and stores its top node in *slot. Each node is shaped
// before it is allocated, so it gets its final payload right away. Returns
// false when memory ran out; what was built so far hangs below *slot (missing
// children are null) for the caller to free.
bool loadSubtree(rax* t, raxNode** slot, const raxSortedItem* items, size_t lo, size_t hi, size_t depth) {
    for (;;) {
        const bool iskey = items[lo].len == depth;
        void* value = iskey ? items[lo].value : nullptr;
        if (iskey) ++lo;
        raxNode* n;
        if (lo == hi) {
            n = arenaNode(t, 0, 0);
            if (n == nullptr) return false;
        } else {
            const raxSortedItem& first = items[lo];
            const raxSortedItem& last = items[hi - 1];
            if (first.key[depth] == last.key[depth]) {
                // One continuation: a run as long as the common prefix of the
                // range (the first and last key bound it, the keys being sorted).
                const size_t limit = first.len < last.len ? first.len : last.len;
                size_t end = depth + 1;
                while (end < limit && first.key[end] == last.key[end]) ++end;
                const size_t runLen = end - depth;
                n = arenaNode(t, 1, runLen);
                if (n == nullptr) return false;
                n->children[0] = nullptr;
                std::memcpy(reinterpret_cast<unsigned char*>(n->children + 1), first.key + depth, runLen);
                n->iscompr = 1;
                n->size = static_cast<uint32_t>(runLen);
                if (iskey) {
                    n->iskey = 1;
                    setValue(n, value);
                    t->numele++;
                }
                *slot = n;
                slot = &n->children[0];
                depth = end;
                continue;
            }
            // Several continuations: one child per distinct byte at `depth`.
            uint32_t branches = 0;
            for (size_t k = lo; k < hi; k = groupEnd(items, k, hi, depth)) ++branches;
            n = arenaNode(t, branches, branches);
            if (n == nullptr) return false;
            n->size = branches;
        }
        if (iskey) {
            n->iskey = 1;
            setValue(n, value);
            t->numele++;
        }
        *slot = n;
        if (lo == hi) return true;
        // Children in byte order; the last one continues in this loop instead
        // of recursing.
        raxNode** children = n->children;
        auto* bytes = reinterpret_cast<unsigned char*>(children + n->size);
        for (uint32_t k = 0; k < n->size; ++k) children[k] = nullptr;
        size_t k = lo;
        for (uint32_t index = 0;; ++index) {
            const size_t end = groupEnd(items, k, hi, depth);
            bytes[index] = items[k].key[depth];
            if (index + 1 == n->size) break;
            if (!loadSubtree(t, &children[index], items, k, end, depth + 1)) return false;
            k = end;
        }
        slot = &children[n->size - 1];
        lo = k;
        depth += 1;
    }
}

// Below this many keys a bulk load stays on the calling thread.
constexpr size_t kParallelLoadKeys = 200000;

// Appends the arena blocks of `from` to those of `to`.
void arenaAdopt(rax* to, rax* from) {
    auto* block = static_cast<ArenaBlock*>(from->arena);
    if (block == nullptr) return;
    ArenaBlock* last = block;
    while (last->next != nullptr) last = last->next;
    last->next = static_cast<ArenaBlock*>(to->arena);
    to->arena = block;
    from->arena = nullptr;
}

// loadSubtree for the whole key set. When the top node branches and there are
// many keys, the subtrees of the first half of its children are built on a
// second thread (with an arena and counters of its own, joined afterwards).
bool loadTree(rax* t, raxNode** slot, const raxSortedItem* items, size_t count) {
    const unsigned hardware = std::thread::hardware_concurrency();
    const size_t lo = items[0].len == 0 ? 1 : 0;
    if (count < kParallelLoadKeys || hardware < 2 || count - lo < 2 ||
        items[lo].key[0] == items[count - 1].key[0])
        return loadSubtree(t, slot, items, 0, count, 0);

    uint32_t branches = 0;
    for (size_t k = lo; k < count; k = groupEnd(items, k, count, 0)) ++branches;
    raxNode* n = arenaNode(t, branches, branches);
    if (n == nullptr) return false;
    n->size = branches;
    if (lo == 1) {
        n->iskey = 1;
        setValue(n, items[0].value);
        t->numele++;
    }
    *slot = n;
    raxNode** children = n->children;
    auto* bytes = reinterpret_cast<unsigned char*>(children + branches);
    std::vector<size_t> starts;
    starts.reserve(branches + 1);
    for (size_t k = lo; k < count; k = groupEnd(items, k, count, 0)) {
        bytes[starts.size()] = items[k].key[0];
        children[starts.size()] = nullptr;
        starts.push_back(k);
    }
    starts.push_back(count);
    // Split where the key counts balance.
    uint32_t split = 1;
    while (split + 1 < branches && starts[split] - lo < (count - lo) / 2) ++split;

    rax helper{};
    bool helperOk = true;
    std::thread worker([&] {
        for (uint32_t k = 0; k < split && helperOk; ++k)
            helperOk = loadSubtree(&helper, &children[k], items, starts[k], starts[k + 1], 1);
    });
    bool ok = true;
    for (uint32_t k = split; k < branches && ok; ++k)
        ok = loadSubtree(t, &children[k], items, starts[k], starts[k + 1], 1);
    worker.join();
    arenaAdopt(t, &helper);
    t->numnodes += helper.numnodes;
    t->numele += helper.numele;
    return ok && helperOk;
}

// ---------------------------------------------------------------------------
// Freeing

void freeSubtree(rax* t, raxNode* n, void (*freeCallback)(void*)) {
    // Recurse into all children but the last and loop on the last one, so a long chain
    // of runs costs no stack.
    while (n != nullptr) {
        if (n->iskey && freeCallback != nullptr) freeCallback(nodeValue(n));
        const size_t count = childCount(n);
        raxNode* last = count > 0 ? n->children[count - 1] : nullptr;
        for (size_t k = 0; k + 1 < count; ++k) freeSubtree(t, n->children[k], freeCallback);
        freeNode(t, n);
        n = last;
    }
}

// ---------------------------------------------------------------------------
// Iteration

bool iterPush(raxIterator* it, raxNode* n) {
    return stackPush(it->stack, it->stack_len, it->stack_max, it->stack_static, n);
}

bool iterAppend(raxIterator* it, const unsigned char* bytes, size_t len) {
    if (it->key_len + len > it->key_max) {
        size_t newMax = it->key_max * 2;
        while (newMax < it->key_len + len) newMax *= 2;
        unsigned char* grown;
        if (it->key == it->key_static) {
            grown = static_cast<unsigned char*>(allocFunction(newMax));
            if (grown != nullptr) std::memcpy(grown, it->key, it->key_len);
        } else {
            grown = static_cast<unsigned char*>(reallocFunction(it->key, newMax));
        }
        if (grown == nullptr) {
            errno = ENOMEM;
            return false;
        }
        it->key = grown;
        it->key_max = newMax;
    }
    std::memcpy(it->key + it->key_len, bytes, len);
    it->key_len += len;
    return true;
}

// Moves from the current node to its child at `index`, extending the key by the edge.
bool iterDescend(raxIterator* it, size_t index) {
    raxNode* n = it->node;
    const unsigned char* bytes = edgeBytes(n);
    const bool appended = n->iscompr ? iterAppend(it, bytes, n->size) : iterAppend(it, bytes + index, 1);
    if (!appended || !iterPush(it, n)) return false;
    it->node = n->children[index];
    return true;
}

// Moves from the current node back to its parent. Returns the edge byte that led to
// the node when the parent branches, or -1 when the parent is a run.
int iterAscend(raxIterator* it) {
    raxNode* parent = it->stack[--it->stack_len];
    it->node = parent;
    if (parent->iscompr) {
        it->key_len -= parent->size;
        return -1;
    }
    return it->key[--it->key_len];
}

int iterYield(raxIterator* it) {
    assert(it->node->iskey);
    it->data = nodeValue(it->node);
    return 1;
}

// Set (besides RAX_ITER_EOF) when a step stopped because memory ran out.
constexpr int kIterOutOfMemory = 1 << 8;

int iterOutOfMemory(raxIterator* it) {
    it->flags |= RAX_ITER_EOF | kIterOutOfMemory;
    it->data = nullptr;
    errno = ENOMEM;
    return 0;
}

int iterEnd(raxIterator* it) {
    it->flags |= RAX_ITER_EOF;
    it->data = nullptr;
    return 0;
}

// Where the forward walk starts from the current node.
enum class Forward {
    AtNode,        // the node itself, then its subtree, then what follows
    IntoChildren,  // the node's subtree without the node, then what follows
    AfterSubtree,  // only what follows the node's whole subtree
};

// Finds the next key in ascending order; keys of a node come before its subtree, and
// children in the order of their edge bytes.
int stepForward(raxIterator* it, Forward from) {
    for (;;) {
        switch (from) {
            case Forward::AtNode:
                if (it->node->iskey) return iterYield(it);
                [[fallthrough]];
            case Forward::IntoChildren:
                if (it->node->size > 0) {
                    if (!iterDescend(it, 0)) return iterOutOfMemory(it);
                    from = Forward::AtNode;
                    continue;
                }
                [[fallthrough]];
            case Forward::AfterSubtree: {
                if (it->stack_len == 0) return iterEnd(it);
                const int byte = iterAscend(it);
                from = Forward::AfterSubtree;
                if (byte < 0) continue;
                const raxNode* parent = it->node;
                const unsigned char* bytes = edgeBytes(parent);
                for (uint32_t k = 0; k < parent->size; ++k) {
                    if (bytes[k] > byte) {
                        if (!iterDescend(it, k)) return iterOutOfMemory(it);
                        from = Forward::AtNode;
                        break;
                    }
                }
                continue;
            }
        }
    }
}

// Where the backward walk starts from the current node.
enum class Backward {
    LastInSubtree,  // the last key of the node's subtree, then what precedes it
    AtNode,         // the node itself, then what precedes it
    BeforeSubtree,  // only what precedes the node (and so its whole subtree)
};

int stepBackward(raxIterator* it, Backward from) {
    for (;;) {
        switch (from) {
            case Backward::LastInSubtree:
                while (it->node->size > 0) {
                    if (!iterDescend(it, childCount(it->node) - 1)) return iterOutOfMemory(it);
                }
                [[fallthrough]];
            case Backward::AtNode:
                if (it->node->iskey) return iterYield(it);
                [[fallthrough]];
            case Backward::BeforeSubtree: {
                if (it->stack_len == 0) return iterEnd(it);
                const int byte = iterAscend(it);
                from = Backward::AtNode;
                if (byte < 0) continue;
                const raxNode* parent = it->node;
                const unsigned char* bytes = edgeBytes(parent);
                for (uint32_t k = parent->size; k-- > 0;) {
                    if (bytes[k] < byte) {
                        if (!iterDescend(it, k)) return iterOutOfMemory(it);
                        from = Backward::LastInSubtree;
                        break;
                    }
                }
                continue;
            }
        }
    }
}

void iterReset(raxIterator* it) {
    it->flags = 0;
    it->key_len = 0;
    it->stack_len = 0;
    it->data = nullptr;
    it->node = it->rt->head;
}

}  // namespace

void* const raxNotFound = &notFoundMarker;

rax* raxNew() {
    auto* t = static_cast<rax*>(allocFunction(sizeof(rax)));
    if (t == nullptr) {
        errno = ENOMEM;
        return nullptr;
    }
    t->numele = 0;
    t->numnodes = 0;
    t->arena = nullptr;
    t->head = allocNode(t);
    if (t->head == nullptr) {
        freeFunction(t);
        errno = ENOMEM;
        return nullptr;
    }
    return t;
}

int raxInsert(rax* rax, const unsigned char* key, size_t len, void* value, void** old) {
    return insertKey(rax, key, len, value, old, true);
}

int raxTryInsert(rax* rax, const unsigned char* key, size_t len, void* value, void** old) {
    return insertKey(rax, key, len, value, old, false);
}

int raxLoadSorted(rax* rax, const raxSortedItem* items, size_t count) {
    if (rax->numele != 0 || rax->head->size != 0) {
        errno = EINVAL;
        return 0;
    }
    for (size_t k = 0; k < count; ++k) {
        if (items[k].len > UINT32_MAX) {
            errno = EINVAL;
            return 0;
        }
        if (k > 0) {
            const raxSortedItem& a = items[k - 1];
            const raxSortedItem& b = items[k];
            const size_t common = a.len < b.len ? a.len : b.len;
            const int order = common > 0 ? std::memcmp(a.key, b.key, common) : 0;
            if (order > 0 || (order == 0 && a.len >= b.len)) {
                errno = EINVAL;
                return 0;
            }
        }
    }
    if (count == 0) return 1;
    raxNode* root = nullptr;
    if (!loadTree(rax, &root, items, count)) {
        // Give back everything built so far; the empty head stays.
        freeSubtree(rax, root, nullptr);
        rax->numele = 0;
        errno = ENOMEM;
        return 0;
    }
    freeNode(rax, rax->head);
    rax->head = root;
    return 1;
}

void* raxFind(rax* rax, const unsigned char* key, size_t len) {
    const Walk w = walkKey(rax, key, len, nullptr);
    if (w.matched != len || w.inRun != 0 || !w.node->iskey) return raxNotFound;
    return nodeValue(w.node);
}

int raxRemove(rax* rax, const unsigned char* key, size_t len, void** old) {
    NodeStack parents;
    const Walk w = walkKey(rax, key, len, &parents);
    if (!w.ok) return 0;
    raxNode* n = w.node;
    if (w.matched != len || w.inRun != 0 || !n->iskey) return 0;

    if (old != nullptr) *old = nodeValue(n);
    n->iskey = 0;
    n->isnull = 0;
    n->value = nullptr;
    rax->numele--;

    // `reshaped` ends up as the node that may now form a run mergeable with its
    // neighbours (its parent being parents.top()), or null.
    raxNode* reshaped = nullptr;
    if (n->size == 0) {
        // A leaf without its key goes, and so does every ancestor left as a keyless
        // leaf; the first ancestor that keeps other children or a key stops that.
        raxNode* gone = n;
        while (gone != rax->head) {
            raxNode* parent = parents.pop();
            if (parent->iscompr) {
                releasePayload(parent);
                parent->children = nullptr;
                parent->iscompr = 0;
                parent->size = 0;
            } else {
                uint32_t index = 0;
                while (parent->children[index] != gone) ++index;
                removeChild(parent, index);
            }
            freeNode(rax, gone);
            if (parent->size > 0) {
                if (parent->iscompr) reshaped = parent;
                break;
            }
            if (parent->iskey) break;
            gone = parent;
        }
    } else if (n->iscompr) {
        reshaped = n;
    }

    if (reshaped != nullptr) {
        raxNode* child = reshaped->children[0];
        if (child->iscompr && !child->iskey) mergeRuns(rax, reshaped, child);
        if (reshaped != rax->head && !reshaped->iskey) {
            raxNode* parent = parents.top();
            if (parent->iscompr) mergeRuns(rax, parent, reshaped);
        }
    }
    return 1;
}

void raxFree(rax* rax) {
    raxFreeWithCallback(rax, nullptr);
}

void raxFreeWithCallback(rax* rax, void (*freeCallback)(void*)) {
    if (rax == nullptr) return;
    freeSubtree(rax, rax->head, freeCallback);
    assert(rax->numnodes == 0);
    arenaFree(rax);
    freeFunction(rax);
}

uint64_t raxSize(rax* rax) {
    return rax->numele;
}

uint64_t raxNodeCount(rax* rax) {
    return rax->numnodes;
}

void raxSetAllocator(void* (*allocFn)(size_t), void* (*reallocFn)(void*, size_t), void (*freeFn)(void*)) {
    allocFunction = allocFn != nullptr ? allocFn : std::malloc;
    reallocFunction = reallocFn != nullptr ? reallocFn : std::realloc;
    freeFunction = freeFn != nullptr ? freeFn : std::free;
}

void raxStart(raxIterator* it, rax* rax) {
    it->rt = rax;
    it->key = it->key_static;
    it->key_max = RAX_ITER_STATIC_LEN;
    it->stack = it->stack_static;
    it->stack_max = RAX_ITER_STACK_STATIC;
    iterReset(it);
    it->flags = RAX_ITER_EOF;
}

int raxSeek(raxIterator* it, const char* op, const unsigned char* ele, size_t len) {
    enum { Equal, Greater, GreaterEqual, Less, LessEqual, First, Last } kind;
    if (std::strcmp(op, "=") == 0 || std::strcmp(op, "==") == 0) {
        kind = Equal;
    } else if (std::strcmp(op, ">") == 0) {
        kind = Greater;
    } else if (std::strcmp(op, ">=") == 0) {
        kind = GreaterEqual;
    } else if (std::strcmp(op, "<") == 0) {
        kind = Less;
    } else if (std::strcmp(op, "<=") == 0) {
        kind = LessEqual;
    } else if (std::strcmp(op, "^") == 0) {
        kind = First;
    } else if (std::strcmp(op, "$") == 0) {
        kind = Last;
    } else {
        errno = EINVAL;
        return 0;
    }

    iterReset(it);
    const bool forward = kind == Greater || kind == GreaterEqual;
    int found;
    if (kind == First) {
        found = stepForward(it, Forward::AtNode);
    } else if (kind == Last) {
        found = stepBackward(it, Backward::LastInSubtree);
    } else {
        // Follow ele down, keeping the iterator's key and stack in step with the walk.
        size_t i = 0;
        uint32_t j = 0;
        bool ok = true;
        while (ok && it->node->size > 0 && i < len) {
            raxNode* n = it->node;
            if (n->iscompr) {
                const unsigned char* run = edgeBytes(n);
                while (j < n->size && i + j < len && run[j] == ele[i + j]) ++j;
                if (j != n->size) break;
                i += j;
                j = 0;
                ok = iterDescend(it, 0);
            } else {
                const long index = findChild(n, ele[i]);
                if (index < 0) break;
                ++i;
                ok = iterDescend(it, static_cast<size_t>(index));
            }
        }
        if (!ok) {
            found = iterOutOfMemory(it);
        } else if (i == len && j == 0) {
            // The tree spells ele exactly, down to the current node.
            switch (kind) {
                case Equal:
                    found = it->node->iskey ? iterYield(it) : iterEnd(it);
                    break;
                case GreaterEqual:
                    found = stepForward(it, Forward::AtNode);
                    break;
                case Greater:
                    found = stepForward(it, Forward::IntoChildren);
                    break;
                case LessEqual:
                    found = stepBackward(it, Backward::AtNode);
                    break;
                default:
                    found = stepBackward(it, Backward::BeforeSubtree);
                    break;
            }
        } else if (kind == Equal) {
            found = iterEnd(it);
        } else {
            // ele leaves the tree at the current node, whose own key is a proper prefix
            // of ele and so smaller. Children (or the run's continuation) order against
            // ele by the first byte where they differ.
            raxNode* n = it->node;
            const unsigned char* bytes = edgeBytes(n);
            long greater = -1;  // first child entirely above ele
            long smaller = -1;  // last child entirely below ele
            if (n->iscompr) {
                const bool above = i + j == len || ele[i + j] < bytes[j];
                (above ? greater : smaller) = 0;
            } else {
                for (uint32_t k = 0; k < n->size; ++k) {
                    if (bytes[k] < ele[i]) smaller = k;
                    if (bytes[k] > ele[i] && greater < 0) greater = k;
                }
            }
            if (forward) {
                if (greater >= 0) {
                    found = iterDescend(it, static_cast<size_t>(greater)) ? stepForward(it, Forward::AtNode)
                                                                          : iterOutOfMemory(it);
                } else {
                    found = stepForward(it, Forward::AfterSubtree);
                }
            } else {
                if (smaller >= 0) {
                    found = iterDescend(it, static_cast<size_t>(smaller)) ? stepBackward(it, Backward::LastInSubtree)
                                                                          : iterOutOfMemory(it);
                } else {
                    found = stepBackward(it, Backward::AtNode);
                }
            }
        }
    }
    if (it->flags & kIterOutOfMemory) {
        errno = ENOMEM;
        return 0;
    }
    if (found) it->flags |= RAX_ITER_JUST_SEEKED;
    return 1;
}

int raxNext(raxIterator* it) {
    if (it->flags & RAX_ITER_EOF) return 0;
    if (it->flags & RAX_ITER_JUST_SEEKED) {
        it->flags &= ~RAX_ITER_JUST_SEEKED;
        return 1;
    }
    return stepForward(it, Forward::IntoChildren);
}

int raxPrev(raxIterator* it) {
    if (it->flags & RAX_ITER_EOF) return 0;
    if (it->flags & RAX_ITER_JUST_SEEKED) {
        it->flags &= ~RAX_ITER_JUST_SEEKED;
        return 1;
    }
    return stepBackward(it, Backward::BeforeSubtree);
}

int raxEOF(raxIterator* it) {
    return (it->flags & RAX_ITER_EOF) != 0;
}

void raxStop(raxIterator* it) {
    if (it->key != it->key_static) freeFunction(it->key);
    if (it->stack != it->stack_static) freeFunction(it->stack);
    it->key = it->key_static;
    it->key_max = RAX_ITER_STATIC_LEN;
    it->stack = it->stack_static;
    it->stack_max = RAX_ITER_STACK_STATIC;
    it->key_len = 0;
    it->stack_len = 0;
    it->flags = RAX_ITER_EOF;
}

// ---------------------------------------------------------------------------
// Debug printing

namespace {

void showNode(const raxNode* n, int column) {
    for (;;) {
        const char open = n->iscompr ? '"' : '[';
        const char close = n->iscompr ? '"' : ']';
        const unsigned char* bytes = edgeBytes(n);
        const char* text = bytes != nullptr ? reinterpret_cast<const char*>(bytes) : "";
        int width = std::printf("%c%.*s%c", open, static_cast<int>(n->size), text, close);
        if (n->iskey) width += std::printf("=%p", nodeValue(n));
        if (n->iscompr) {
            std::printf(" -> ");
            column += width + 4;
            n = n->children[0];
            continue;
        }
        // Each child of a branching node on a line of its own, below the node.
        for (uint32_t k = 0; k < n->size; ++k) {
            std::printf("\n%*s", column, "");
            std::printf(" `-(%c) ", bytes[k]);
            showNode(n->children[k], column + 7);
        }
        return;
    }
}

}  // namespace

void raxShow(rax* rax) {
    showNode(rax->head, 0);
    std::printf("\n");
    std::fflush(stdout);
}

void raxDebugShowNode(const char* msg, raxNode* n) {
    const unsigned char* bytes = edgeBytes(n);
    const char* text = bytes != nullptr ? reinterpret_cast<const char*>(bytes) : "";
    std::printf("%s: %p [%.*s] key:%d size:%d children:", msg, static_cast<void*>(n), static_cast<int>(n->size), text,
                static_cast<int>(n->iskey), static_cast<int>(n->size));
    const size_t count = childCount(n);
    for (size_t k = 0; k < count; ++k) std::printf("%p ", static_cast<void*>(n->children[k]));
    std::printf("\n");
    std::fflush(stdout);
}
