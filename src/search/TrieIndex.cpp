#include "search/TrieIndex.h"

#include "kit/Logger.h"
#include "kit/Queue.h"
#include "kit/VantrelError.h"
#include "search/Normalization.h"
#include "search/SearchKeys.h"

#include <QSet>

#include <mutex>

namespace vantrel {

namespace {
const Logger& log() {
    static const Logger logger({QStringLiteral("Search"), QStringLiteral("🔎")});
    return logger;
}

// The ids of all matches, each once, in the order they were first met.
QList<qint64> uniqueIds(const QList<TrieMatch>& matches) {
    QList<qint64> ids;
    QSet<qint64> seen;
    for (const TrieMatch& match : matches)
        for (qint64 id : match.meta)
            if (!seen.contains(id)) {
                seen.insert(id);
                ids.append(id);
            }
    return ids;
}
}  // namespace

TrieIndex::TrieIndex(std::shared_ptr<SearchRepository> repository)
    : m_repository(std::move(repository)), m_trie(std::make_unique<Trie>()) {}

std::unique_ptr<Trie> TrieIndex::buildTrie(const std::vector<SearchRecord>& records, IndexingMode mode) {
    auto trie = std::make_unique<Trie>();
    const bool fuzzy = mode == IndexingMode::fuzzy;
    for (const SearchRecord& record : records) {
        if (!record.id) continue;
        const QSet<QString> keys = fuzzy ? fuzzyKeys(record.name, record.indexableKeywords())
                                         : searchKeys(record.name, record.indexableKeywords());
        for (const QString& key : keys) trie->insert(key, *record.id, fuzzy);
    }
    return trie;
}

void TrieIndex::index(const std::vector<SearchRecord>& records, IndexingMode mode, std::function<void()> completion) {
    log().info(QStringLiteral("Indexing items: %1").arg(records.size()));
    std::unique_ptr<Trie> fresh = buildTrie(records, mode);
    {
        std::unique_lock lock(m_lock);
        m_trie.swap(fresh);
    }
    // The previous trie is freed outside the lock.
    fresh.reset();
    if (completion) Queue::main().dispatch(std::move(completion));
}

QList<qint64> TrieIndex::idsStartingWith(const QString& term) const {
    std::shared_lock lock(m_lock);
    return uniqueIds(m_trie->wordsWithPrefix(term));
}

QList<qint64> TrieIndex::idsContaining(const QString& term) const {
    std::shared_lock lock(m_lock);
    return uniqueIds(m_trie->fuzzySearch(term));
}

std::vector<SearchRecord> TrieIndex::readRecords(const QList<qint64>& ids) const {
    if (ids.isEmpty()) return {};
    try {
        return m_repository->readSearchResults(ids, kReadIdsLimit);
    } catch (const std::exception& error) {
        log().error("Failed reading db records", {{QStringLiteral("error"), VantrelError::describe(error)}});
        return {};
    }
}

std::vector<SearchRecord> TrieIndex::itemsStartingWith(const QString& term) const {
    if (term.isEmpty()) {
        try {
            return m_repository->readAllSearchResults({SearchRecord::Source::provider}, kReadAllLimit);
        } catch (const std::exception& error) {
            log().error("Failed reading db records", {{QStringLiteral("error"), VantrelError::describe(error)}});
            return {};
        }
    }
    return readRecords(idsStartingWith(term));
}

std::vector<SearchRecord> TrieIndex::itemsContaining(const QString& term) const {
    if (graphemeClusters(term).size() < 2) return itemsStartingWith(term);
    return readRecords(idsContaining(term));
}

}  // namespace vantrel
