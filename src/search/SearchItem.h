#pragma once

#include "data/SearchRecord.h"

#include <QDateTime>
#include <QString>

#include <memory>
#include <optional>

namespace vantrel {

// What the ranking reads from a result: name, frecency date, kind, alias and
// the comma-separated search terms. Search records are results; the inline
// providers add their own kinds.
class SearchResult {
public:
    virtual ~SearchResult() = default;
    virtual QString identifier() const = 0;
    virtual QString name() const = 0;
    virtual std::optional<QDateTime> frecencyDate() const = 0;
    virtual SearchRecord::ContentType type() const = 0;
    virtual std::optional<QString> alias() const = 0;
    virtual std::optional<QString> searchTerms() const = 0;
    // The stored row behind the result, when there is one.
    virtual const SearchRecord* record() const { return nullptr; }
};

class SearchRecordResult : public SearchResult {
public:
    explicit SearchRecordResult(SearchRecord record) : m_record(std::move(record)) {}
    QString identifier() const override { return m_record.key; }
    QString name() const override { return m_record.name; }
    std::optional<QDateTime> frecencyDate() const override { return m_record.frecencyDate; }
    SearchRecord::ContentType type() const override { return m_record.type; }
    std::optional<QString> alias() const override { return m_record.alias; }
    std::optional<QString> searchTerms() const override { return m_record.searchTerms; }
    const SearchRecord* record() const override { return &m_record; }

private:
    SearchRecord m_record;
};

// One entry of a result list.
class SearchItem {
public:
    explicit SearchItem(std::shared_ptr<const SearchResult> result) : m_result(std::move(result)) {}
    static SearchItem fromRecord(SearchRecord record) {
        return SearchItem(std::make_shared<SearchRecordResult>(std::move(record)));
    }

    const SearchResult& result() const { return *m_result; }
    const std::shared_ptr<const SearchResult>& shared() const { return m_result; }
    const SearchRecord* record() const { return m_result->record(); }
    QString identifier() const { return m_result->identifier(); }
    QString name() const { return m_result->name(); }

private:
    std::shared_ptr<const SearchResult> m_result;
};

using SearchItemFilter = std::function<bool(const SearchItem&)>;

}  // namespace vantrel
