#include "core/rootsearch/RootSearchJson.h"

#include "data/SQLite.h"

namespace vantrel {

QString listItemKindName(ListItem::Kind kind) {
    switch (kind) {
        case ListItem::Kind::command:
            return QStringLiteral("command");
        case ListItem::Kind::inputCommand:
            return QStringLiteral("inputCommand");
        case ListItem::Kind::fallbackSearch:
            return QStringLiteral("fallbackSearch");
        case ListItem::Kind::application:
            return QStringLiteral("application");
        case ListItem::Kind::preferencePane:
            return QStringLiteral("preferencePane");
        case ListItem::Kind::expression:
            return QStringLiteral("calculator");
        case ListItem::Kind::draft:
            return QStringLiteral("draft");
        case ListItem::Kind::calendarEvent:
            return QStringLiteral("calendarEvent");
        case ListItem::Kind::gettingStarted:
            return QStringLiteral("gettingStarted");
        case ListItem::Kind::update:
            return QStringLiteral("update");
        case ListItem::Kind::troubleshooting:
            return QStringLiteral("troubleshooting");
        case ListItem::Kind::other:
            return QStringLiteral("other");
    }
    return {};
}

QJsonObject listItemJson(const ListItem& item) {
    QJsonObject object{{"id", item.id}, {"title", item.title}, {"kind", listItemKindName(item.kind)}};
    // name/key/type/source describe the stored record behind the item.
    object.insert("name", item.title);
    object.insert("key", item.recordKey().value_or(item.id));
    if (!item.subtitle.isEmpty()) object.insert("subtitle", item.subtitle);
    if (item.accessory) object.insert("accessory", *item.accessory);
    if (item.alias) object.insert("alias", *item.alias);
    if (item.searchItem) {
        object.insert("type", SearchRecord::rawValue(item.searchItem->result().type()));
        if (const SearchRecord* record = item.searchItem->record()) {
            if (record->id) object.insert("recordId", *record->id);
            object.insert("source", SearchRecord::rawValue(record->source));
            if (record->keywords) object.insert("keywords", *record->keywords);
            if (record->path) object.insert("path", *record->path);
            if (record->frecencyDate) object.insert("frecencyDate", DatabaseDate::toText(*record->frecencyDate));
        }
    }
    return object;
}

QJsonArray sectionsJson(const std::vector<ListSection>& sections, int limit) {
    QJsonArray array;
    for (const ListSection& section : sections) {
        QJsonArray items;
        for (const ListItem& item : section.items) {
            if (items.size() >= limit) break;
            items.append(listItemJson(item));
        }
        array.append(QJsonObject{{"id", section.id}, {"title", section.title}, {"items", items}});
    }
    return array;
}

}  // namespace vantrel
