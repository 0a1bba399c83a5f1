#pragma once

// Search records as the data sources deliver them, built in one line.

#include "data/SearchRecord.h"

#include <QStringList>

#include <optional>
#include <vector>

namespace vantrel::test {

// An installed application, keyed and located by its desktop file; `path`
// defaults to one under /usr/share/applications named after the application.
inline SearchRecord appRecord(const QString& name, const std::optional<QString>& keywords = std::nullopt,
                              const QString& path = QString()) {
    SearchRecord record;
    record.key = path.isEmpty() ? QStringLiteral("/usr/share/applications/") + name + QStringLiteral(".desktop") : path;
    record.type = SearchRecord::ContentType::systemApp;
    record.source = SearchRecord::Source::system;
    record.name = name;
    record.path = record.key;
    record.keywords = keywords;
    return record;
}

// An application record below a folder, keyed and located by its path.
inline SearchRecord appIn(const QString& folder, const QString& name) {
    return appRecord(name, std::nullopt, folder + QLatin1Char('/') + name + QStringLiteral(".desktop"));
}

// A command without a path, of the given source.
inline SearchRecord commandRecord(const QString& key, const QString& name,
                                  SearchRecord::Source source = SearchRecord::Source::package,
                                  const std::optional<QString>& keywords = std::nullopt,
                                  const std::optional<QString>& category = std::nullopt) {
    SearchRecord record;
    record.key = key;
    record.type = SearchRecord::ContentType::command;
    record.source = source;
    record.name = name;
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

}  // namespace vantrel::test
