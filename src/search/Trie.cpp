#include "search/Trie.h"

#include "search/Normalization.h"

#include <QStringList>

#include <vector>

namespace vantrel {
namespace {

QList<int> span(qsizetype length) {
    QList<int> indices;
    indices.reserve(length);
    for (int i = 0; i < length; ++i) indices.append(i);
    return indices;
}

// Every word that ends at node or below it, depth first, node first.
void collectWords(const TrieNode& node, const QList<int>& indices, QList<TrieMatch>& into) {
    std::vector<const TrieNode*> pending{&node};
    while (!pending.empty()) {
        const TrieNode* current = pending.back();
        pending.pop_back();
        if (current->isTerminating) into.append(TrieMatch{current->path, indices, current->meta});
        for (auto it = current->children.rbegin(); it != current->children.rend(); ++it)
            pending.push_back(it->second.get());
    }
}

qint64 ownMask(const TrieNode& node) { return node.key ? letterMask(*node.key) : 0; }

void describe(const TrieNode& node, int depth, QString& out) {
    out += QString(depth * 2, u' ');
    out += node.key ? *node.key : QStringLiteral("(root)");
    if (node.isTerminating) out += u'*';
    if (!node.meta.isEmpty()) {
        QStringList ids;
        for (const qint64 id : node.meta) ids.append(QString::number(id));
        out += QStringLiteral(" [") + ids.join(QStringLiteral(", ")) + u']';
    }
    if (node.mask != 0) out += QStringLiteral(" mask=0x") + QString::number(static_cast<quint64>(node.mask), 16);
    out += u'\n';
    for (const auto& [key, child] : node.children) describe(*child, depth + 1, out);
}

}  // namespace

Trie::Trie(Trie&& other) noexcept { *this = std::move(other); }

Trie& Trie::operator=(Trie&& other) noexcept {
    if (this == &other) return *this;
    m_root.children = std::move(other.m_root.children);
    m_root.mask = other.m_root.mask;
    // The root never ends a word and never carries ids; its children must
    // point at their new parent.
    for (auto& [key, child] : m_root.children) child->parent = &m_root;
    other.m_root.children.clear();
    other.m_root.mask = 0;
    return *this;
}

void Trie::insert(const QString& word, std::optional<qint64> meta, bool computeMask) {
    if (word.isEmpty()) return;
    const QStringList characters = graphemeClusters(word);
    const qsizetype count = characters.size();

    // suffixMasks[p] = letter mask of the word from character p on.
    std::vector<qint64> suffixMasks(static_cast<size_t>(count) + 1, 0);
    if (computeMask) {
        for (qsizetype p = count - 1; p >= 0; --p)
            suffixMasks[static_cast<size_t>(p)] =
                letterMask(characters[p]) | suffixMasks[static_cast<size_t>(p) + 1];
        m_root.mask |= suffixMasks[0];
    }

    TrieNode* node = &m_root;
    qsizetype pathLength = 0;  // UTF-16 length of word[0...p]
    for (qsizetype p = 0; p < count; ++p) {
        const QString& character = characters[p];
        const qint64 suffixMask = suffixMasks[static_cast<size_t>(p)];
        pathLength += character.size();
        auto it = node->children.find(character);
        if (it != node->children.end()) {
            it->second->mask |= suffixMask;
        } else {
            auto child = std::make_unique<TrieNode>();
            child->key = character;
            child->parent = node;
            child->path = word.left(pathLength);
            child->mask = suffixMask;
            node->mask |= suffixMask;
            it = node->children.emplace(character, std::move(child)).first;
        }
        node = it->second.get();
    }
    node->isTerminating = true;
    if (meta) node->meta.append(*meta);
}

const TrieNode* Trie::nodeFor(const QStringList& characters) const {
    const TrieNode* node = &m_root;
    for (const QString& character : characters) {
        const auto it = node->children.find(character);
        if (it == node->children.end()) return nullptr;
        node = it->second.get();
    }
    return node;
}

std::optional<TrieMatch> Trie::find(const QString& word) const {
    const QStringList characters = graphemeClusters(word);
    const TrieNode* node = nodeFor(characters);
    if (!node || !node->isTerminating) return std::nullopt;
    return TrieMatch{word, span(characters.size()), node->meta};
}

void Trie::remove(const QString& word) {
    TrieNode* node = const_cast<TrieNode*>(nodeFor(graphemeClusters(word)));
    if (!node || !node->isTerminating) return;
    node->isTerminating = false;
    // The ids belong to the word, not to the node: a node kept for longer
    // words must not hand them to a later insert of the same word.
    node->meta.clear();

    bool deleted = false;
    while (node->children.empty() && !node->isTerminating && node->parent) {
        TrieNode* parent = node->parent;
        parent->children.erase(*node->key);  // destroys node
        node = parent;
        deleted = true;
    }
    // Masks are in use when the surviving parent has one. A zero mask there
    // means nothing below it ever contributed a letter, so nothing changes.
    if (deleted && node->mask != 0) {
        for (TrieNode* ancestor = node; ancestor; ancestor = ancestor->parent) {
            qint64 mask = ownMask(*ancestor);
            for (const auto& [key, child] : ancestor->children) mask |= child->mask;
            ancestor->mask = mask;
        }
    }
}

QList<TrieMatch> Trie::wordsWithPrefix(const QString& prefix) const {
    const QStringList characters = graphemeClusters(prefix);
    QList<TrieMatch> matches;
    const TrieNode* node = nodeFor(characters);
    if (!node) return matches;
    collectWords(*node, span(characters.size()), matches);
    return matches;
}

QList<TrieMatch> Trie::fuzzySearch(const QString& query) const {
    QList<TrieMatch> matches;
    const QStringList characters = graphemeClusters(query);
    const qsizetype length = characters.size();
    if (length == 0) return matches;

    // remainingMasks[p] = letter mask of the query from character p on.
    std::vector<qint64> remainingMasks(static_cast<size_t>(length) + 1, 0);
    for (qsizetype p = length - 1; p >= 0; --p)
        remainingMasks[static_cast<size_t>(p)] =
            letterMask(characters[p]) | remainingMasks[static_cast<size_t>(p) + 1];

    struct State {
        const TrieNode* node;
        qsizetype position;  // next query character to match
        int depth;           // characters in node->path
        QList<int> matched;
    };
    std::vector<State> stack;
    stack.push_back(State{&m_root, 0, 0, {}});
    while (!stack.empty()) {
        State state = std::move(stack.back());
        stack.pop_back();
        const TrieNode* node = state.node;

        // Some query letter still needed does not occur below this node.
        if (node->mask != 0 && (remainingMasks[static_cast<size_t>(state.position)] & ~node->mask) != 0) continue;

        if (node->key && *node->key == characters[state.position]) {
            state.matched.append(state.depth - 1);
            ++state.position;
            if (state.position == length) {
                collectWords(*node, state.matched, matches);
                continue;
            }
        }
        for (const auto& [key, child] : node->children)
            stack.push_back(State{child.get(), state.position, state.depth + 1, state.matched});
    }
    return matches;
}

QString Trie::debugDescription() const {
    QString out;
    describe(m_root, 0, out);
    return out;
}

}  // namespace vantrel
