#include "features/snippets/SnippetsSource.h"

#include "features/snippets/SnippetActions.h"
#include "features/snippets/SnippetsService.h"
#include "kit/Logger.h"
#include "kit/VantrelError.h"
#include "search/Search.h"

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Snippets"), QStringLiteral("✂️")});
    return logger;
}

const QString kKeyPrefix = QStringLiteral("snippet_");

}  // namespace

SnippetsSource::SnippetsSource(SnippetsService& service, Search* search)
    : m_service(service), m_search(search), m_subscriptions(std::make_unique<QObject>()) {
    m_service.changed.connect(m_subscriptions.get(), [this] { rebuild(); });
}

SnippetsSource::~SnippetsSource() {
    detach();
}

void SnippetsSource::detach() {
    m_subscriptions.reset();
    m_loads.end();
}

QString SnippetsSource::key(qint64 id) {
    return kKeyPrefix + QString::number(id);
}

std::optional<qint64> SnippetsSource::idFromKey(const QString& key) {
    if (!key.startsWith(kKeyPrefix)) return std::nullopt;
    bool ok = false;
    const qint64 id = key.mid(kKeyPrefix.size()).toLongLong(&ok);
    if (!ok || id <= 0) return std::nullopt;
    return id;
}

SearchRecord SnippetsSource::record(const SnippetRecord& snippet) {
    SearchRecord record;
    record.key = key(snippet.id.value_or(0));
    record.type = SearchRecord::ContentType::snippet;
    record.source = SearchRecord::Source::snippets;
    record.name = snippet.name;
    record.category = QStringLiteral("Snippet");
    if (snippet.alias && !snippet.alias->isEmpty()) {
        record.alias = snippet.alias;
        record.keywords = *snippet.alias;
    }
    return record;
}

std::vector<SearchRecord> SnippetsSource::records(const std::vector<SnippetRecord>& snippets) {
    std::vector<SearchRecord> list;
    list.reserve(snippets.size());
    for (const SnippetRecord& snippet : snippets)
        if (snippet.id) list.push_back(record(snippet));
    return list;
}

void SnippetsSource::load(LoadCompletion completion) {
    m_loads.dispatch([this] { return records(m_service.all()); }, std::move(completion), log(), "Cannot read snippets");
}

void SnippetsSource::rebuild() {
    std::vector<SearchRecord> list;
    try {
        list = records(m_service.all());
    } catch (const std::exception& error) {
        log().error("Cannot read snippets", {{QStringLiteral("error"), VantrelError::describe(error)}});
        return;
    }
    DataSourceUpdate update;
    update.records[SearchRecord::Source::snippets] = std::move(list);
    update.strategy = SearchUpdateStrategy::source();
    notifyUpdate(update);
    syncAliases();
}

void SnippetsSource::syncAliases() {
    if (!m_search || !m_search->repository()) return;
    try {
        for (const SnippetRecord& snippet : m_service.all()) {
            if (!snippet.id) continue;
            const QString rowKey = key(*snippet.id);
            const std::optional<SearchRecord> stored = m_search->repository()->record(rowKey);
            // A new row takes its alias when it is first written.
            if (!stored) continue;
            const std::optional<QString> keyword =
                snippet.alias && !snippet.alias->isEmpty() ? snippet.alias : std::nullopt;
            if (stored->alias != keyword) m_search->setAlias(keyword, rowKey);
        }
    } catch (const std::exception& error) {
        log().error("Cannot set the keywords of snippets as aliases",
                    {{QStringLiteral("error"), VantrelError::describe(error)}});
    }
}

SnippetActionProvider::SnippetActionProvider(SnippetRecord snippet, SnippetActions& actions, Search* search,
                                             QString searchText)
    : m_snippet(std::move(snippet)), m_actions(actions), m_search(search), m_searchText(std::move(searchText)) {}

std::vector<MenuItem> SnippetActionProvider::menuItems() const {
    std::vector<MenuItem> items = m_actions.menu(m_snippet);
    // Pasting or copying from root search counts as choosing the result.
    for (MenuItem& item : items) {
        if (item.id != QLatin1String(SnippetActions::pasteId) && item.id != QLatin1String(SnippetActions::copyId)) continue;
        const MenuItem original = item;
        const SnippetRecord snippet = m_snippet;
        Search* search = m_search;
        const QString searchText = m_searchText;
        item = MenuItem::make(original.id, original.title, [original, search, snippet, searchText] {
            if (search && search->repository() && snippet.id) {
                try {
                    if (const auto record = search->repository()->record(SnippetsSource::key(*snippet.id)))
                        search->visit(SearchItem::fromRecord(*record), Ranking::VisitKind::defaultVisit, searchText);
                } catch (const std::exception& error) {
                    log().error("Cannot record visit", {{QStringLiteral("error"), VantrelError::describe(error)}});
                }
            }
            return original.perform();
        });
        item.shortcuts = original.shortcuts;
        item.image = original.image;
    }
    return items;
}

}  // namespace vantrel
