#pragma once

#include "core/commands/ActionProviders.h"
#include "data/Records.h"
#include "search/DataSource.h"
#include "search/GuardedLoad.h"

#include <QObject>

#include <memory>
#include <optional>
#include <vector>

namespace vantrel {

class Search;
class SnippetActions;
class SnippetsService;

// The snippets as search records of root search (source `snippets`, type
// snippet, key "snippet_<id>", category "Snippet"): found by their name and
// their keyword, which is also the record's alias, so that typing the
// keyword in the launcher ranks the snippet first.
//
// load() reads them on the global pool; every change of the snippets is
// published again at once (on the main thread) through didUpdate, and the
// aliases of the stored rows follow the keywords.
class SnippetsSource : public DataSource {
public:
    SnippetsSource(SnippetsService& service, Search* search);
    ~SnippetsSource() override;
    // Stops using the service (the search engine may keep this source longer).
    void detach();

    SearchRecord::Source source() const override { return SearchRecord::Source::snippets; }
    void load(LoadCompletion completion) override;
    void refresh(LoadCompletion completion) override { load(std::move(completion)); }

    // Reads the snippets again now, publishes them and updates the aliases.
    void rebuild();
    // Sets the alias of every stored snippet row to its keyword.
    void syncAliases();

    static QString key(qint64 id);
    static std::optional<qint64> idFromKey(const QString& key);
    static SearchRecord record(const SnippetRecord& snippet);
    static std::vector<SearchRecord> records(const std::vector<SnippetRecord>& snippets);

private:
    SnippetsService& m_service;
    Search* m_search;
    std::unique_ptr<QObject> m_subscriptions;
    GuardedLoad m_loads;
};

// The actions of a snippet in root search: the snippet's menu, with the
// choice recorded as a visit of its search record (frecency, search term).
class SnippetActionProvider : public ActionProvider {
public:
    SnippetActionProvider(SnippetRecord snippet, SnippetActions& actions, Search* search, QString searchText);

    std::vector<MenuItem> menuItems() const override;
    QString actionPanelTitle() const override { return m_snippet.name; }

private:
    SnippetRecord m_snippet;
    SnippetActions& m_actions;
    Search* m_search;
    QString m_searchText;
};

}  // namespace vantrel
