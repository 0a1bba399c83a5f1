#pragma once

#include <QStringList>

namespace vantrel {

class BookmarksFeature;

namespace bookmarks {

// `vantrel bookmarks list [--json] [--source S] [--query Q]`, `sync`,
// `sources`, `enable|disable SOURCE`, `profile SOURCE PROFILE`, `safari FILE`.
int bookmarksCommand(BookmarksFeature& feature, const QStringList& arguments);

}  // namespace bookmarks
}  // namespace vantrel
