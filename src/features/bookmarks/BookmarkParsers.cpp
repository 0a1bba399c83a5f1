#include "features/bookmarks/BookmarkParsers.h"

#include "data/SQLite.h"
#include "kit/VantrelError.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <plist/plist.h>

#include <memory>

namespace vantrel {

// MARK: Chromium

namespace {

struct ChromiumWalk {
    BrowserBookmark::Source source;
    ParsedBookmarks parsed;

    // A folder node (root or not) and everything under it.
    void folder(const QJsonObject& node, const QString& shownName, const QStringList& path) {
        const QString id = node.value(QStringLiteral("id")).toString();
        parsed.folders.push_back({id, shownName, source});
        const QJsonValue children = node.value(QStringLiteral("children"));
        if (!children.isArray()) throw malformedList(shownName);
        const QStringList inside = path + QStringList{shownName};
        for (const QJsonValue& child : children.toArray()) {
            if (!child.isObject()) throw malformedList(shownName);
            const QJsonObject object = child.toObject();
            const QJsonValue type = object.value(QStringLiteral("type"));
            const QJsonValue name = object.value(QStringLiteral("name"));
            if (!type.isString() || !name.isString() || !object.value(QStringLiteral("id")).isString())
                throw malformedList(shownName);
            if (type.toString() == QLatin1String("url")) {
                const QJsonValue url = object.value(QStringLiteral("url"));
                if (!url.isString()) throw malformedList(shownName);
                BrowserBookmark bookmark;
                bookmark.id = object.value(QStringLiteral("id")).toString();
                bookmark.name = name.toString();
                bookmark.link = url.toString();
                bookmark.source = source;
                bookmark.tags = inside;
                parsed.bookmarks.push_back(std::move(bookmark));
            } else if (type.toString() == QLatin1String("folder")) {
                folder(object, name.toString(), inside);
            } else {
                throw VantrelError(QStringLiteral("Chromium bookmark node type '") + type.toString() +
                                   QStringLiteral("' is not recognized"));
            }
        }
    }

    static VantrelError malformedList(const QString& name) {
        return VantrelError(QStringLiteral("Chromium bookmark list node '") + name +
                            QStringLiteral("' contains a malformed node"));
    }
};

QString chromiumRootName(const QString& name) {
    if (name == QLatin1String("Bookmarks bar")) return QStringLiteral("Bookmarks Bar");
    if (name == QLatin1String("Mobile bookmarks")) return QStringLiteral("Mobile Bookmarks");
    return name;
}

}  // namespace

ParsedBookmarks parseChromiumBookmarks(const QByteArray& json, BrowserBookmark::Source source) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        throw VantrelError(QStringLiteral("Chromium bookmarks file is not valid JSON: ") +
                           (error.error != QJsonParseError::NoError ? error.errorString()
                                                                    : QStringLiteral("not an object")));
    const QJsonObject top = document.object();
    const QJsonValue versionValue = top.value(QStringLiteral("version"));
    const QString version = versionValue.isDouble() ? QString::number(versionValue.toInteger())
                                                    : versionValue.toVariant().toString();
    const VantrelError malformedRoots(QStringLiteral("Chromium bookmark (file version: ") + version +
                                      QStringLiteral(") contain malformed root children"));
    const QJsonValue roots = top.value(QStringLiteral("roots"));
    if (!roots.isObject()) throw malformedRoots;
    ChromiumWalk walk{source, {}};
    for (const char* key : {"bookmark_bar", "other", "synced"}) {
        const QJsonValue root = roots.toObject().value(QLatin1String(key));
        if (!root.isObject()) throw malformedRoots;
        const QJsonObject node = root.toObject();
        if (!node.value(QStringLiteral("name")).isString() || !node.value(QStringLiteral("children")).isArray())
            throw malformedRoots;
        walk.folder(node, chromiumRootName(node.value(QStringLiteral("name")).toString()), {});
    }
    return std::move(walk.parsed);
}

// MARK: Firefox

const char* const kFirefoxBookmarksQuery =
    "SELECT moz_places.id AS id,\n       moz_bookmarks.parent AS parentId,\n       moz_bookmarks.title AS title,\n"
    "       moz_places.url AS urlString\n  FROM moz_bookmarks LEFT JOIN moz_places ON moz_bookmarks.fk = "
    "moz_places.id\n  WHERE moz_bookmarks.type = 1\n    AND moz_bookmarks.title IS NOT NULL\n    AND "
    "moz_places.url IS NOT NULL;";

const char* const kFirefoxFoldersQuery =
    "SELECT moz_bookmarks.id AS id,\n       moz_bookmarks.parent AS parentId,\n       moz_bookmarks.title AS title,\n"
    "       moz_bookmarks.guid AS guid\n  FROM moz_bookmarks\n  WHERE moz_bookmarks.type = 2\n    AND "
    "moz_bookmarks.title IS NOT NULL\n    AND moz_bookmarks.title <> ''\n    AND moz_bookmarks.fk IS NULL;";

QString firefoxRootTitle(const QString& title) {
    static const QHash<QString, QString> titles{{QStringLiteral("menu"), QStringLiteral("Bookmark Menu")},
                                                {QStringLiteral("mobile"), QStringLiteral("Mobile Bookmarks")},
                                                {QStringLiteral("tags"), QStringLiteral("Tags")},
                                                {QStringLiteral("toolbar"), QStringLiteral("Toolbar")},
                                                {QStringLiteral("unfiled"), QStringLiteral("Other Bookmarks")}};
    return titles.value(title, title);
}

namespace {

// One folder of the tree: its row, the folders and the number of bookmarks in it.
struct FirefoxNode {
    qint64 id = 0;
    qint64 parentId = 0;
    QString title;
    QString guid;
    std::vector<qint64> children;
    int numBookmarks = 0;
};

}  // namespace

ParsedBookmarks parseFirefoxPlaces(Connection& db) {
    QHash<qint64, FirefoxNode> folders;
    std::vector<qint64> order;
    for (const Row& row : db.query(QString::fromLatin1(kFirefoxFoldersQuery))) {
        FirefoxNode node;
        node.id = row[0].toLongLong();
        node.parentId = row[1].toLongLong();
        node.title = row[2].toString();
        node.guid = row[3].toString();
        if (node.parentId < 2) node.title = firefoxRootTitle(node.title);
        if (folders.contains(node.id))
            throw VantrelError(QStringLiteral("Duplicate values for key: '") + QString::number(node.id) +
                               QLatin1Char('\''));
        folders.insert(node.id, node);
        order.push_back(node.id);
    }
    for (const qint64 id : order) {
        const qint64 parent = folders.value(id).parentId;
        if (folders.contains(parent)) folders[parent].children.push_back(id);
    }
    // The titles from the top folder down to this one.
    const auto path = [&folders](qint64 id) {
        QStringList titles;
        int depth = 0;
        while (folders.contains(id) && depth++ < 256) {
            const FirefoxNode& node = folders[id];
            titles.prepend(node.title);
            id = node.parentId;
        }
        return titles;
    };

    ParsedBookmarks parsed;
    for (const Row& row : db.query(QString::fromLatin1(kFirefoxBookmarksQuery))) {
        BrowserBookmark bookmark;
        bookmark.id = row[0].toString();
        const qint64 parentId = row[1].toLongLong();
        bookmark.name = row[2].toString();
        bookmark.link = row[3].toString();
        bookmark.source = BrowserBookmark::Source::firefox;
        bookmark.tags = path(parentId);
        if (folders.contains(parentId)) ++folders[parentId].numBookmarks;
        parsed.bookmarks.push_back(std::move(bookmark));
    }
    for (const qint64 id : order)
        parsed.folders.push_back({QString::number(id), folders.value(id).title, BrowserBookmark::Source::firefox});
    return parsed;
}

// MARK: Safari

QString safariFolderTitle(const QString& title) {
    if (title.isEmpty()) return QStringLiteral("Other");
    if (title == QLatin1String("com.apple.ReadingList")) return QStringLiteral("Reading List");
    if (title == QLatin1String("BookmarksBar")) return QStringLiteral("Favourites");
    if (title == QLatin1String("BookmarksMenu")) return QStringLiteral("Bookmarks Menu");
    return title;
}

namespace {

struct PlistDeleter {
    void operator()(plist_t node) const {
        if (node) plist_free(node);
    }
};

std::optional<QString> plistString(plist_t dictionary, const char* key) {
    if (!dictionary || plist_get_node_type(dictionary) != PLIST_DICT) return std::nullopt;
    plist_t item = plist_dict_get_item(dictionary, key);
    if (!item || plist_get_node_type(item) != PLIST_STRING) return std::nullopt;
    char* value = nullptr;
    plist_get_string_val(item, &value);
    if (!value) return std::nullopt;
    QString text = QString::fromUtf8(value);
    free(value);
    return text;
}

struct SafariWalk {
    ParsedBookmarks parsed;

    // A list node: its children; returns false when one cannot be read.
    void list(plist_t node, const QString& title, const QStringList& path) {
        const QString shown = safariFolderTitle(title);
        const QString id = plistString(node, "WebBookmarkUUID").value_or(shown);
        parsed.folders.push_back({id, shown, BrowserBookmark::Source::safari});
        const QStringList inside = path + QStringList{shown};
        plist_t children = plist_dict_get_item(node, "Children");
        if (!children) return;
        if (plist_get_node_type(children) != PLIST_ARRAY) throw malformedList(title);
        for (uint32_t i = 0; i < plist_array_get_size(children); ++i) child(plist_array_get_item(children, i), title, inside);
    }

    void child(plist_t node, const QString& parentTitle, const QStringList& path) {
        const std::optional<QString> type = plistString(node, "WebBookmarkType");
        if (!type) throw malformedList(parentTitle);
        if (*type == QLatin1String("WebBookmarkTypeLeaf")) {
            const std::optional<QString> link = plistString(node, "URLString");
            if (!link) throw malformedList(parentTitle);
            const QUrl url(*link);
            if (!url.isValid() || url.scheme().isEmpty())
                throw VantrelError(QStringLiteral("Safari bookmark path is not a URL"));
            BrowserBookmark bookmark;
            bookmark.id = plistString(node, "WebBookmarkUUID").value_or(*link);
            plist_t uri = plist_dict_get_item(node, "URIDictionary");
            bookmark.name = plistString(uri, "title").value_or(*link);
            bookmark.link = *link;
            bookmark.imageURL = plistString(node, "imageURL");
            bookmark.source = BrowserBookmark::Source::safari;
            bookmark.tags = path;
            parsed.bookmarks.push_back(std::move(bookmark));
        } else if (*type == QLatin1String("WebBookmarkTypeList")) {
            list(node, plistString(node, "Title").value_or(QString()), path);
        } else if (*type == QLatin1String("WebBookmarkTypeProxy")) {
            // History and the like: no bookmark.
        } else {
            throw VantrelError(QStringLiteral("Safari bookmark node type '") + *type +
                               QStringLiteral("' is not recognized"));
        }
    }

    static VantrelError malformedList(const QString& title) {
        return VantrelError(QStringLiteral("Safari bookmark list node '") + title +
                            QStringLiteral("' contains a malformed node"));
    }
};

}  // namespace

ParsedBookmarks parseSafariBookmarks(const QByteArray& data) {
    plist_t raw = nullptr;
    if (!data.isEmpty()) plist_from_memory(data.constData(), static_cast<uint32_t>(data.size()), &raw);
    const std::unique_ptr<void, PlistDeleter> root(raw);
    QString version = QStringLiteral("unknown");
    if (raw && plist_get_node_type(raw) == PLIST_DICT) {
        plist_t value = plist_dict_get_item(raw, "WebBookmarkFileVersion");
        if (value && plist_get_node_type(value) == PLIST_UINT) {
            uint64_t number = 0;
            plist_get_uint_val(value, &number);
            version = QString::number(number);
        }
    }
    const VantrelError undecodable(QStringLiteral("Safari bookmarks (file version ") + version +
                                   QStringLiteral(") couldn't decode a root node"));
    if (!raw || plist_get_node_type(raw) != PLIST_DICT) throw undecodable;
    const std::optional<QString> type = plistString(raw, "WebBookmarkType");
    plist_t children = plist_dict_get_item(raw, "Children");
    if (!plistString(raw, "WebBookmarkUUID") || !type || !children || plist_get_node_type(children) != PLIST_ARRAY)
        throw undecodable;
    SafariWalk walk;
    for (uint32_t i = 0; i < plist_array_get_size(children); ++i)
        walk.child(plist_array_get_item(children, i), QString(), {});
    return std::move(walk.parsed);
}

}  // namespace vantrel
