#include "features/bookmarks/BrowserBookmark.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace vantrel {

QString rawValue(BrowserBookmark::Source source) {
    switch (source) {
        case BrowserBookmark::Source::brave:
            return QStringLiteral("brave");
        case BrowserBookmark::Source::chrome:
            return QStringLiteral("chrome");
        case BrowserBookmark::Source::chromium:
            return QStringLiteral("chromium");
        case BrowserBookmark::Source::firefox:
            return QStringLiteral("firefox");
        case BrowserBookmark::Source::safari:
            return QStringLiteral("safari");
    }
    return {};
}

std::optional<BrowserBookmark::Source> browserBookmarkSourceFromRaw(const QString& raw) {
    for (const BrowserBookmark::Source source : allBrowserBookmarkSources())
        if (rawValue(source) == raw) return source;
    return std::nullopt;
}

const std::vector<BrowserBookmark::Source>& allBrowserBookmarkSources() {
    static const std::vector<BrowserBookmark::Source> sources{
        BrowserBookmark::Source::brave, BrowserBookmark::Source::chrome, BrowserBookmark::Source::chromium,
        BrowserBookmark::Source::firefox, BrowserBookmark::Source::safari};
    return sources;
}

QString displayName(BrowserBookmark::Source source) {
    switch (source) {
        case BrowserBookmark::Source::brave:
            return QStringLiteral("Brave");
        case BrowserBookmark::Source::chrome:
            return QStringLiteral("Google Chrome");
        case BrowserBookmark::Source::chromium:
            return QStringLiteral("Chromium");
        case BrowserBookmark::Source::firefox:
            return QStringLiteral("Firefox");
        case BrowserBookmark::Source::safari:
            return QStringLiteral("Safari");
    }
    return {};
}

QString encodeTags(const QStringList& tags) {
    return QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(tags)).toJson(QJsonDocument::Compact));
}

QStringList decodeTags(const QString& stored) {
    QStringList tags;
    for (const QJsonValue& value : QJsonDocument::fromJson(stored.toUtf8()).array())
        if (value.isString()) tags << value.toString();
    return tags;
}

}  // namespace vantrel
