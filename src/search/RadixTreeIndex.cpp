#include "search/RadixTreeIndex.h"

#include "kit/Logger.h"
#include "kit/Queue.h"
#include "search/SearchKeys.h"

#include <QSet>
#include <QThread>

#include <algorithm>
#include <future>

#include <mutex>

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

// The stored keys of some records: each search key in composed form followed
// by the record id in decimal.
std::vector<std::pair<QByteArray, qint64>> storedKeys(const SearchRecord* begin, const SearchRecord* end) {
    std::vector<std::pair<QByteArray, qint64>> keys;
    keys.reserve(static_cast<size_t>(end - begin) * 24);
    for (const SearchRecord* record = begin; record != end; ++record) {
        if (!record->id) continue;
        const QByteArray suffix = QByteArray::number(*record->id);
        for (const QString& searchKey : searchKeys(record->name, record->indexableKeywords())) {
            QByteArray key = (isAscii(searchKey) ? searchKey : searchKey.normalized(QString::NormalizationForm_C)).toUtf8();
            key += suffix;
            keys.emplace_back(std::move(key), *record->id);
        }
    }
    return keys;
}

}  // namespace

std::unique_ptr<RadixTree<qint64>> RadixTreeIndex::buildTree(const std::vector<SearchRecord>& records) {
    // Deriving keys is the costly part and runs on every core; the tree itself
    // is filled by one thread.
    const size_t chunks = records.size() < 2000 ? 1 : static_cast<size_t>(std::max(1, QThread::idealThreadCount()));
    const size_t perChunk = (records.size() + chunks - 1) / std::max<size_t>(chunks, 1);
    std::vector<std::future<std::vector<std::pair<QByteArray, qint64>>>> parts;
    for (size_t start = 0; start < records.size(); start += perChunk) {
        const SearchRecord* begin = records.data() + start;
        const SearchRecord* end = records.data() + std::min(records.size(), start + perChunk);
        parts.push_back(std::async(start == 0 ? std::launch::deferred : std::launch::async, storedKeys, begin, end));
    }
    auto tree = std::make_unique<RadixTree<qint64>>();
    for (auto& part : parts) {
        std::vector<std::pair<QByteArray, qint64>> keys = part.get();
        for (const auto& [key, id] : keys) tree->insert(key, id);
    }
    return tree;
}

void RadixTreeIndex::index(const std::vector<SearchRecord>& records, IndexingMode mode,
                           std::function<void()> completion) {
    log().info(QStringLiteral("Indexing %1 items with mode: %2").arg(records.size()).arg(indexingModeName(mode)));
    std::unique_ptr<RadixTree<qint64>> fresh = buildTree(records);
    const quint64 keys = fresh->count();
    auto names = std::make_shared<std::vector<std::pair<qint64, QString>>>();
    names->reserve(records.size());
    for (const SearchRecord& record : records)
        if (record.id) names->emplace_back(*record.id, record.name.toLower());
    {
        std::unique_lock lock(m_lock);
        m_tree.swap(fresh);
        m_names = std::move(names);
    }
    // The previous tree is freed outside the lock.
    fresh.reset();
    log().info(QStringLiteral("Indexed %1 keys").arg(keys));
    if (completion) Queue::main().dispatch(std::move(completion));
}

QList<qint64> RadixTreeIndex::idsStartingWith(const QString& term) const {
    QSet<qint64> ids;
    {
        std::shared_lock lock(m_lock);
        // Keys come in byte order; the read is capped anyway, so the walk stops
        // once that many records are found.
        m_tree->forEachWithPrefix(term.toUtf8(), [&](const char*, size_t, qint64 id) {
            ids.insert(id);
            return ids.size() < kReadIdsLimit;
        });
    }
    return QList<qint64>(ids.begin(), ids.end());
}

std::vector<std::pair<qint64, QString>> RadixTreeIndex::indexedNames() const {
    std::shared_lock lock(m_lock);
    return m_names ? *m_names : std::vector<std::pair<qint64, QString>>{};
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
