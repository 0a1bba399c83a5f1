#pragma once

#include "features/bookmarks/BrowserBookmark.h"

#include <QByteArray>
#include <QString>

namespace vantrel {

class Connection;

// Chromium's "Bookmarks" JSON (Chrome, Chromium, Brave): the three roots
// "bookmark_bar", "other" and "synced" and their nodes. Root names "Bookmarks
// bar" and "Mobile bookmarks" are shown as "Bookmarks Bar" and "Mobile
// Bookmarks". Throws VantrelError: "Chromium bookmark node type '<type>' is not
// recognized", "Chromium bookmark list node '<name>' contains a malformed
// node", "Chromium bookmark (file version: <version>) contain malformed root
// children", or, for a file that is not JSON at all, "Chromium bookmarks file
// is not valid JSON: <reason>".
ParsedBookmarks parseChromiumBookmarks(const QByteArray& json, BrowserBookmark::Source source);

// Firefox's places database (a cached copy, opened): the bookmarks and
// folders queries, the folders assembled into a tree whose top folders
// ("menu", "toolbar"…) take their shown titles. Throws VantrelError
// ("Duplicate values for key: '<id>'", or the database's own error).
ParsedBookmarks parseFirefoxPlaces(Connection& db);
// The queries, as they are run.
extern const char* const kFirefoxBookmarksQuery;
extern const char* const kFirefoxFoldersQuery;
// The shown title of a folder directly under the root.
QString firefoxRootTitle(const QString& title);

// Safari's "Bookmarks.plist" (binary or XML property list), read with
// libplist. Throws VantrelError: "Safari bookmarks (file version <v>)
// couldn't decode a root node", "Safari bookmark node type '<type>' is not
// recognized", "Safari bookmark list node '<title>' contains a malformed
// node", "Safari bookmark path is not a URL".
ParsedBookmarks parseSafariBookmarks(const QByteArray& plist);
QString safariFolderTitle(const QString& title);

}  // namespace vantrel
