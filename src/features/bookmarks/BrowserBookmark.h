#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace vantrel {

// One bookmark read from a browser. `tags` are the names of the folders that
// hold it, outermost first (the root folder's shown name included).
struct BrowserBookmark {
    // Stored by these raw values.
    enum class Source { brave, chrome, chromium, firefox, safari };

    QString id;
    QString name;
    QString link;
    std::optional<QString> imageURL;
    Source source = Source::chrome;
    QStringList tags;
    std::optional<QDateTime> frecencyDate;

    // A folder met while parsing, for the folder selector.
    struct Folder {
        QString id;
        QString name;
        Source source = Source::chrome;
        bool operator==(const Folder&) const = default;
    };

    bool operator==(const BrowserBookmark&) const = default;
};

QString rawValue(BrowserBookmark::Source source);
std::optional<BrowserBookmark::Source> browserBookmarkSourceFromRaw(const QString& raw);
// Every source, in the order the preferences list them.
const std::vector<BrowserBookmark::Source>& allBrowserBookmarkSources();
// "Firefox", "Google Chrome"…
QString displayName(BrowserBookmark::Source source);

// What one parser found.
struct ParsedBookmarks {
    std::vector<BrowserBookmark> bookmarks;
    std::vector<BrowserBookmark::Folder> folders;
};

// The tags as the table stores them (a JSON array) and back.
QString encodeTags(const QStringList& tags);
QStringList decodeTags(const QString& stored);

inline size_t qHash(BrowserBookmark::Source source, size_t seed = 0) {
    return ::qHash(static_cast<int>(source), seed);
}

}  // namespace vantrel
