#pragma once

#include <QtGlobal>

#include <vector>

namespace vantrel {

// Create, read all, update and delete over one record type whose rows are
// keyed by an integer id.
template <typename Record>
class DatabaseRepository {
public:
    virtual ~DatabaseRepository() = default;
    // Inserts the record; returns it with the id the database gave it.
    virtual Record create(const Record& record) = 0;
    virtual std::vector<Record> readAll() const = 0;
    // Writes every field of the row with the record's id; returns whether there was one.
    virtual bool update(const Record& record) = 0;
    // Returns whether there was such a row.
    virtual bool deleteRecord(qint64 id) = 0;
};

}  // namespace vantrel
