#pragma once

#include "support/DatabaseTestSupport.h"

#include "search/Search.h"

namespace vantrel::test {

inline QStringList namesOf(const std::vector<SearchItem>& items) {
    QStringList names;
    for (const SearchItem& item : items) names << item.name();
    return names;
}

// Each term with the names (sorted) that a lookup finds for it.
using Lookups = std::vector<std::pair<const char*, QStringList>>;

template <typename Lookup>
void expectLookups(Lookup&& lookup, const Lookups& expected) {
    for (const auto& [term, names] : expected) EXPECT_EQ(sortedNames(lookup(QString::fromUtf8(term))), names) << term;
}

// The stored records the index tests look up: four package commands (one with
// keywords, one with a category, one with a keyword of its own) and a provider row.
class IndexedRecordsFixture : public SearchRepositoryFixture {
protected:
    void SetUp() override {
        SearchRepositoryFixture::SetUp();
        using Source = SearchRecord::Source;
        repository->update(
            Source::package,
            {commandRecord("code", "Visual Studio Code", Source::package, QStringLiteral("editor ide")),
             commandRecord("chrome", "Google Chrome", Source::package, std::nullopt, QStringLiteral("Browsers")),
             commandRecord("safari", "Safari"),
             commandRecord("files", "Files", Source::package, QStringLiteral("nautilus"))},
            SearchUpdateStrategy::source());
        repository->update(Source::provider, {commandRecord("calc", "Calculator Result", Source::provider)},
                           SearchUpdateStrategy::source());
    }

    // Reloads the package source without Safari, which leaves it uninstalled.
    void uninstallSafari() {
        repository->update(SearchRecord::Source::package,
                           {commandRecord("code", "Visual Studio Code"), commandRecord("chrome", "Google Chrome"),
                            commandRecord("files", "Files")},
                           SearchUpdateStrategy::source());
    }
};

// A migrated encrypted database with a search engine over it.
class SearchEngineFixture : public SearchRepositoryFixture {
protected:
    void SetUp() override {
        SearchRepositoryFixture::SetUp();
        search = std::make_unique<Search>(repository);
    }

    // Stores the records (system and package sources) and indexes every row.
    void load(const std::vector<SearchRecord>& records) {
        SearchRepository::RecordsBySource bySource;
        for (const SearchRecord& record : records) bySource[record.source].push_back(record);
        repository->update(bySource, SearchUpdateStrategy::source());
        search->indexAll();
    }

    SearchItem itemNamed(const QString& name) {
        for (const SearchRecord& record : repository->readAllSearchResults({}, 100000))
            if (record.name == name) return SearchItem::fromRecord(record);
        ADD_FAILURE() << "no record named " << name.toStdString();
        return SearchItem::fromRecord(SearchRecord{});
    }

    std::unique_ptr<Search> search;
};

}  // namespace vantrel::test
