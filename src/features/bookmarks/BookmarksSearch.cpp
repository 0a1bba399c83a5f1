#include "features/bookmarks/BookmarksSearch.h"

#include "search/Normalization.h"

#include <QRegularExpression>
#include <QUrl>

#include <algorithm>

namespace vantrel {

namespace {

QString fold(const QString& text) {
    return normalizedForSearch(text);
}

QStringList words(const QString& text) {
    static const QRegularExpression separators(QStringLiteral("[^\\p{L}\\p{N}#]+"));
    return fold(text).split(separators, Qt::SkipEmptyParts);
}

// One bookmark as the ranking sees it.
struct RankingItem {
    BrowserBookmark bookmark;
    QStringList nameWords;
    QString host;
    QStringList tags;
    bool hasPrefix = false;
};

bool matches(const RankingItem& item, const QString& word) {
    if (word.startsWith(QLatin1Char('#'))) {
        const QString tag = word.mid(1);
        return std::any_of(item.tags.begin(), item.tags.end(), [&](const QString& t) { return t.startsWith(tag); });
    }
    if (std::any_of(item.nameWords.begin(), item.nameWords.end(), [&](const QString& w) { return w.startsWith(word); }))
        return true;
    if (item.host.contains(word)) return true;
    return std::any_of(item.tags.begin(), item.tags.end(), [&](const QString& t) { return t.startsWith(word); });
}

}  // namespace

std::vector<BrowserBookmark> searchBookmarks(std::vector<BrowserBookmark> bookmarks, const QString& query,
                                             const std::optional<QString>& folder) {
    const QStringList wanted = words(query);
    const QString folded = fold(query.trimmed());
    std::vector<RankingItem> items;
    items.reserve(bookmarks.size());
    for (BrowserBookmark& bookmark : bookmarks) {
        if (folder && !folder->isEmpty() && !bookmark.tags.contains(*folder)) continue;
        RankingItem item;
        item.nameWords = words(bookmark.name);
        item.host = fold(QUrl(bookmark.link).host());
        for (const QString& tag : bookmark.tags) item.tags << fold(tag);
        bool all = true;
        for (const QString& word : wanted)
            if (!matches(item, word)) {
                all = false;
                break;
            }
        if (!all) continue;
        item.hasPrefix = !folded.isEmpty() && fold(bookmark.name).startsWith(folded);
        item.bookmark = std::move(bookmark);
        items.push_back(std::move(item));
    }
    std::stable_sort(items.begin(), items.end(), [](const RankingItem& a, const RankingItem& b) {
        const auto& fa = a.bookmark.frecencyDate;
        const auto& fb = b.bookmark.frecencyDate;
        if (fa.has_value() != fb.has_value()) return fa.has_value();
        if (fa && fb && *fa != *fb) return *fa > *fb;
        if (a.hasPrefix != b.hasPrefix) return a.hasPrefix;
        return a.bookmark.name.compare(b.bookmark.name, Qt::CaseInsensitive) < 0;
    });
    std::vector<BrowserBookmark> result;
    result.reserve(items.size());
    for (RankingItem& item : items) result.push_back(std::move(item.bookmark));
    return result;
}

}  // namespace vantrel
