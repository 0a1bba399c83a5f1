// Assertions here are checks of the tree under test: keep them active in every build.
#undef NDEBUG

#include "rax/RaxTestSupport.h"

#include <gtest/gtest.h>

#include <cassert>
#include <cstdio>
#include <iterator>
#include <sstream>

namespace vantrel::test::rax_support {

namespace {

std::size_t childCount(const raxNode* n) {
    if (n->size == 0) return 0;
    return n->iscompr ? 1 : n->size;
}

std::string hexBytes(const unsigned char* b, std::size_t len) {
    std::string out;
    char buf[4];
    for (std::size_t k = 0; k < len; ++k) {
        std::snprintf(buf, sizeof buf, "%02x", b[k]);
        out += buf;
    }
    return out;
}

}  // namespace

std::string checkTree(rax* t, bool canonical) {
    struct Frame {
        raxNode* node;
        std::string path;
    };
    std::vector<Frame> pending{{t->head, ""}};
    uint64_t nodes = 0;
    uint64_t keys = 0;
    while (!pending.empty()) {
        Frame f = std::move(pending.back());
        pending.pop_back();
        raxNode* n = f.node;
        const std::string where = " at node of key \"" + printable(f.path) + "\"";
        ++nodes;
        if (n->iskey) ++keys;
        if (n->isnull && !n->iskey) return "isnull set on a node that is not a key" + where;
        if (!n->iskey && n->value != nullptr) return "value left on a node that is not a key" + where;
        if (n->size == 0) {
            if (n->children != nullptr) return "leaf with a payload" + where;
            if (n->iscompr) return "empty run" + where;
            if (canonical && !n->iskey && n != t->head) return "leaf that is not a key" + where;
            continue;
        }
        if (n->children == nullptr) return "node with children but no payload" + where;
        const unsigned char* b = raxNodeBytes(n);
        if (n->iscompr) {
            raxNode* child = n->children[0];
            if (child == nullptr) return "run without a child" + where;
            if (canonical && child->iscompr && !child->iskey) return "run leading to a keyless run" + where;
            pending.push_back({child, f.path + std::string(reinterpret_cast<const char*>(b), n->size)});
            continue;
        }
        if (n->size > 256) return "branching node with more than 256 children" + where;
        if (canonical && n->size == 1) return "branching node with a single child (should be a run)" + where;
        for (uint32_t k = 0; k < n->size; ++k) {
            if (k > 0 && b[k - 1] >= b[k]) return "child bytes not strictly ascending" + where;
            if (n->children[k] == nullptr) return "missing child" + where;
            pending.push_back({n->children[k], f.path + static_cast<char>(b[k])});
        }
    }
    if (nodes != t->numnodes) {
        return "numnodes is " + std::to_string(t->numnodes) + " but the tree has " + std::to_string(nodes);
    }
    if (keys != t->numele) {
        return "numele is " + std::to_string(t->numele) + " but the tree has " + std::to_string(keys) + " keys";
    }
    return {};
}

std::vector<std::pair<std::string, void*>> itemsForward(rax* t) {
    std::vector<std::pair<std::string, void*>> out;
    raxIterator it;
    raxStart(&it, t);
    EXPECT_EQ(raxSeek(&it, "^", nullptr, 0), 1);
    while (raxNext(&it)) out.emplace_back(iteratorKey(it), it.data);
    raxStop(&it);
    return out;
}

std::vector<std::pair<std::string, void*>> itemsBackward(rax* t) {
    std::vector<std::pair<std::string, void*>> out;
    raxIterator it;
    raxStart(&it, t);
    EXPECT_EQ(raxSeek(&it, "$", nullptr, 0), 1);
    while (raxPrev(&it)) out.emplace_back(iteratorKey(it), it.data);
    raxStop(&it);
    return out;
}

std::vector<std::pair<std::string, void*>> itemsOf(const std::map<std::string, void*>& oracle) {
    return {oracle.begin(), oracle.end()};
}

std::string dumpShape(rax* t) {
    std::ostringstream out;
    std::vector<std::pair<raxNode*, int>> pending{{t->head, 0}};
    while (!pending.empty()) {
        auto [n, depth] = pending.back();
        pending.pop_back();
        out << std::string(static_cast<std::size_t>(depth) * 2, ' ') << (n->iscompr ? "run " : "branch ")
            << hexBytes(raxNodeBytes(n), n->size);
        if (n->iskey) out << " key=" << (n->isnull ? nullptr : n->value);
        out << '\n';
        for (std::size_t k = childCount(n); k-- > 0;) pending.emplace_back(n->children[k], depth + 1);
    }
    return out.str();
}

std::string showOutput(rax* t) {
    testing::internal::CaptureStdout();
    raxShow(t);
    return testing::internal::GetCapturedStdout();
}

void insertAndRemoveAllPrefixes(rax* rax, const unsigned char* s, std::size_t len) {
    const uint64_t before = raxSize(rax);
    for (std::size_t i = 0; i <= len; ++i) {
        const int added = raxInsert(rax, s, i, fakeValue(i), nullptr);
        assert(added == 1);
    }
    assert(raxSize(rax) == before + len + 1);
    for (std::size_t i = 0; i <= len; ++i) assert(raxFind(rax, s, i) == fakeValue(i));
    // clang-format off
    for (std::size_t i = len + 1; i-- > 0;) assert(raxRemove(rax,s,i,NULL) != 0);
    // clang-format on
    assert(raxSize(rax) == before);
}

std::string checkSeek(rax* t, const std::map<std::string, void*>& oracle, const std::string& op, const std::string& key,
                      std::size_t maxSteps) {
    using Map = std::map<std::string, void*>;
    // The expected sequence, as a forward or backward walk over the map.
    std::vector<Map::const_iterator> expected;
    const bool forward = op == "^" || op == ">=" || op == ">" || op == "=";
    Map::const_iterator start;
    if (op == "^") {
        start = oracle.begin();
    } else if (op == ">=") {
        start = oracle.lower_bound(key);
    } else if (op == ">") {
        start = oracle.upper_bound(key);
    } else if (op == "=") {
        start = oracle.find(key);
    } else if (op == "$" || op == "<=" || op == "<") {
        // The last element before the bound, or end() when there is none.
        const Map::const_iterator bound =
            op == "$" ? oracle.end() : (op == "<=" ? oracle.upper_bound(key) : oracle.lower_bound(key));
        start = bound == oracle.begin() ? oracle.end() : std::prev(bound);
    } else {
        return "unknown operator " + op;
    }
    for (Map::const_iterator p = start; p != oracle.end() && expected.size() < maxSteps;) {
        expected.push_back(p);
        if (forward) {
            ++p;
        } else if (p == oracle.begin()) {
            break;
        } else {
            --p;
        }
    }

    raxIterator it;
    raxStart(&it, t);
    if (raxSeek(&it, op.c_str(), bytes(key), key.size()) != 1) {
        raxStop(&it);
        return "seek " + op + " \"" + printable(key) + "\" failed";
    }
    std::string error;
    std::size_t step = 0;
    for (; step < maxSteps; ++step) {
        const int got = forward ? raxNext(&it) : raxPrev(&it);
        if (!got) break;
        const std::string gotKey = iteratorKey(it);
        if (step >= expected.size()) {
            error = "yielded \"" + printable(gotKey) + "\" past the expected end";
            break;
        }
        if (gotKey != expected[step]->first || it.data != expected[step]->second) {
            error = "step " + std::to_string(step) + " yielded \"" + printable(gotKey) + "\", expected \"" +
                    printable(expected[step]->first) + "\"";
            break;
        }
    }
    if (error.empty() && step < expected.size()) {
        error = "ended after " + std::to_string(step) + " keys, expected " + std::to_string(expected.size());
    }
    raxStop(&it);
    if (!error.empty()) error = "seek " + op + " \"" + printable(key) + "\": " + error;
    return error;
}

std::string printable(const std::string& key) {
    std::string out;
    char buf[8];
    for (unsigned char c : key) {
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += static_cast<char>(c);
        } else {
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        }
    }
    return out;
}

}  // namespace vantrel::test::rax_support
