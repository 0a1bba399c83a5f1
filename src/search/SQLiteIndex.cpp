#include "search/SQLiteIndex.h"

#include "kit/Logger.h"
#include "kit/Queue.h"
#include "kit/VantrelError.h"

namespace vantrel {

namespace {
const Logger& log() {
    static const Logger logger({QStringLiteral("Search"), QStringLiteral("🔎")});
    return logger;
}
}  // namespace

SQLiteIndex::SQLiteIndex(std::shared_ptr<SearchRepository> repository) : m_repository(std::move(repository)) {}

void SQLiteIndex::index(const std::vector<SearchRecord>&, IndexingMode, std::function<void()> completion) {
    if (completion) Queue::main().dispatch(std::move(completion));
}

std::vector<SearchRecord> SQLiteIndex::lookup(const QString& term) const {
    if (term.isEmpty()) {
        try {
            return m_repository->readAllSearchResults({SearchRecord::Source::provider}, kReadAllLimit);
        } catch (const std::exception& error) {
            log().error("Failed reading all db records", {{QStringLiteral("error"), VantrelError::describe(error)}});
            return {};
        }
    }
    try {
        return m_repository->searchResults(term, {SearchRecord::Source::provider});
    } catch (const std::exception& error) {
        log().error(QStringLiteral("Failed searching db records for term: ") + term,
                    {{QStringLiteral("error"), VantrelError::describe(error)}});
        return {};
    }
}

std::vector<SearchRecord> SQLiteIndex::itemsStartingWith(const QString& term) const {
    return lookup(term);
}

std::vector<SearchRecord> SQLiteIndex::itemsContaining(const QString& term) const {
    return lookup(term);
}

}  // namespace vantrel
