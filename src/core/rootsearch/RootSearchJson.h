#pragma once

#include "core/rootsearch/RootSearchController.h"

#include <QJsonArray>
#include <QJsonObject>

#include <vector>

namespace vantrel {

// Root search's sections as `vantrel search --json` prints them, whether the
// command line searched itself or asked the running launcher.

// The raw name of an item's kind ("application", "inputCommand", "calculator"…).
QString listItemKindName(ListItem::Kind kind);
// One item: id, title, kind, and what describes the stored record behind it
// (name, key, type, source, recordId, keywords, path, frecencyDate).
QJsonObject listItemJson(const ListItem& item);
// Each section as {"id", "title", "items"}, at most `limit` items each.
QJsonArray sectionsJson(const std::vector<ListSection>& sections, int limit);

}  // namespace vantrel
