#pragma once

#include "features/bookmarks/BrowserBookmark.h"

#include <QString>

#include <optional>
#include <vector>

namespace vantrel {

// The bookmarks that match a query, in the list's order. Every word of the
// query must be found: as the start of a word of the name, inside the link's
// domain, or as the start of a tag (a word written "#tag" only among the
// tags). With a folder, only the bookmarks inside it (at any depth; the
// folder by its name). Order: the ones opened from the launcher first, by
// frecency; then names that start with the query; then by name.
std::vector<BrowserBookmark> searchBookmarks(std::vector<BrowserBookmark> bookmarks, const QString& query,
                                             const std::optional<QString>& folder = std::nullopt);

}  // namespace vantrel
