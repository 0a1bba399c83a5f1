#pragma once

#include "support/DatabaseTestSupport.h"

#include "data/SearchRepository.h"
#include "search/Search.h"

namespace vantrel::test {

inline SearchRecord appRecord(const QString& name, const std::optional<QString>& keywords = std::nullopt) {
    SearchRecord record;
    record.key = QStringLiteral("/usr/share/applications/") + name + QStringLiteral(".desktop");
    record.type = SearchRecord::ContentType::systemApp;
    record.source = SearchRecord::Source::system;
    record.name = name;
    record.path = record.key;
    record.keywords = keywords;
    return record;
}

inline SearchRecord commandRecord(const QString& key, const QString& name) {
    SearchRecord record;
    record.key = key;
    record.type = SearchRecord::ContentType::command;
    record.source = SearchRecord::Source::package;
    record.name = name;
    return record;
}

// A command record of the given source, for index tests.
inline SearchRecord indexedRecord(const QString& key, const QString& name,
                                  SearchRecord::Source source = SearchRecord::Source::package,
                                  const std::optional<QString>& keywords = std::nullopt,
                                  const std::optional<QString>& category = std::nullopt) {
    SearchRecord record = commandRecord(key, name);
    record.source = source;
    record.keywords = keywords;
    record.category = category;
    return record;
}

// The names of the records, sorted: lookups promise no order.
inline QStringList sortedNames(const std::vector<SearchRecord>& records) {
    QStringList list;
    for (const SearchRecord& record : records) list << record.name;
    list.sort();
    return list;
}

inline QStringList namesOf(const std::vector<SearchItem>& items) {
    QStringList names;
    for (const SearchItem& item : items) names << item.name();
    return names;
}

// A migrated encrypted database with a search engine over it.
class SearchEngineFixture : public DatabaseFixture {
protected:
    void SetUp() override {
        pool = open();
        ASSERT_TRUE(pool);
        repository = std::make_shared<SearchRepository>(pool);
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

    std::shared_ptr<DatabasePool> pool;
    std::shared_ptr<SearchRepository> repository;
    std::unique_ptr<Search> search;
};

}  // namespace vantrel::test
