// `vantrel bookmarks …`: the browser bookmarks from the command line, over the
// same service, table and settings the launcher uses.
#include "features/bookmarks/BookmarksCli.h"

#include "features/bookmarks/BookmarksFeature.h"
#include "features/bookmarks/BookmarksSearch.h"
#include "kit/CommandLine.h"
#include "kit/VantrelError.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace vantrel::bookmarks {

namespace {

using cli::printLine;
using cli::takeOption;

void out(const QString& text) {
    printLine(text);
}

void err(const QString& text) {
    cli::printError(text);
}

std::optional<BrowserBookmark::Source> sourceArgument(const QString& text) {
    const auto source = browserBookmarkSourceFromRaw(text.toLower());
    if (!source) {
        QStringList names;
        for (const BrowserBookmark::Source known : allBrowserBookmarkSources()) names << rawValue(known);
        err(QStringLiteral("unknown source '%1' (one of %2)").arg(text, names.join(QStringLiteral(", "))));
    }
    return source;
}

int list(BookmarksFeature& feature, QStringList arguments) {
    const bool json = arguments.removeAll(QStringLiteral("--json")) > 0;
    std::optional<BrowserBookmark::Source> source;
    if (const auto text = takeOption(arguments, QStringLiteral("--source"))) {
        source = sourceArgument(*text);
        if (!source) return 2;
    }
    const QString query = takeOption(arguments, QStringLiteral("--query")).value_or(QString());
    const std::optional<QString> folder = takeOption(arguments, QStringLiteral("--folder"));
    if (!arguments.isEmpty()) {
        err(QStringLiteral("bookmarks list takes --json, --source S, --query Q and --folder F"));
        return 2;
    }
    std::vector<BrowserBookmark> found;
    try {
        found = searchBookmarks(feature.service()->bookmarks(source), query, folder);
    } catch (const std::exception& error) {
        err(VantrelError::describe(error));
        return 1;
    }
    if (json) {
        QJsonArray array;
        for (const BrowserBookmark& bookmark : found) {
            QJsonObject object{{"name", bookmark.name},
                               {"url", bookmark.link},
                               {"source", rawValue(bookmark.source)},
                               {"folder", bookmark.tags.join(QStringLiteral(" / "))},
                               {"tags", QJsonArray::fromStringList(bookmark.tags)}};
            if (bookmark.imageURL) object.insert(QStringLiteral("icon"), *bookmark.imageURL);
            if (bookmark.frecencyDate) object.insert(QStringLiteral("frecencyDate"), bookmark.frecencyDate->toString(Qt::ISODate));
            array.append(object);
        }
        std::fputs(QJsonDocument(array).toJson(QJsonDocument::Indented).constData(), stdout);
        return 0;
    }
    for (const BrowserBookmark& bookmark : found)
        out(QStringLiteral("%1  %2  %3  %4")
                .arg(bookmark.name, -32)
                .arg(bookmark.link, -48)
                .arg(rawValue(bookmark.source), -8)
                .arg(bookmark.tags.join(QStringLiteral(" / "))));
    return 0;
}

int sync(BookmarksFeature& feature) {
    const BookmarksSyncReport report = feature.service()->sync();
    int failures = 0;
    for (const BookmarkSourceSync& source : report.sources) {
        if (source.loaded) {
            out(QStringLiteral("%1: %2 bookmarks").arg(rawValue(source.source)).arg(source.count));
        } else if (source.error.startsWith(QLatin1String("Could not get bookmarks URL for"))) {
            out(QStringLiteral("%1: not found").arg(rawValue(source.source)));
        } else {
            ++failures;
            out(QStringLiteral("%1: skipped").arg(rawValue(source.source)));
            err(QStringLiteral("Could not parse bookmarks from %1: %2").arg(rawValue(source.source), source.error));
        }
    }
    return 0;
}

int sources(BookmarksFeature& feature) {
    const BrowserBookmarksSettings settings = feature.settings();
    for (const BrowserBookmark::Source source : allBrowserBookmarkSources()) {
        QString detail;
        try {
            if (source == BrowserBookmark::Source::safari) {
                detail = settings.safariBookmarksFile.isEmpty() ? QStringLiteral("no file chosen")
                                                                : settings.safariBookmarksFile;
            } else {
                const auto profiles = feature.service()->locations().profiles(source);
                const auto chosen = feature.service()->locations().selectedProfile(source, settings);
                QStringList names;
                for (const BrowserProfile& profile : profiles)
                    names << (chosen && chosen->id == profile.id ? QStringLiteral("*") : QString()) + profile.name +
                                 QStringLiteral(" (") + profile.id + QLatin1Char(')');
                detail = names.isEmpty() ? QStringLiteral("no profile found") : names.join(QStringLiteral(", "));
            }
        } catch (const std::exception& error) {
            detail = VantrelError::describe(error);
        }
        out(QStringLiteral("%1  %2  %3")
                .arg(rawValue(source), -8)
                .arg(settings.isEnabled(source) ? QStringLiteral("on") : QStringLiteral("off"), -3)
                .arg(detail));
    }
    return 0;
}

}  // namespace

int bookmarksCommand(BookmarksFeature& feature, const QStringList& arguments) {
    const QString sub = arguments.value(0);
    const QStringList rest = arguments.mid(1);
    if (sub == QLatin1String("list")) return list(feature, rest);
    if (sub == QLatin1String("sync")) return sync(feature);
    if (sub == QLatin1String("sources")) return sources(feature);
    if ((sub == QLatin1String("enable") || sub == QLatin1String("disable")) && rest.size() == 1) {
        const auto source = sourceArgument(rest.first());
        if (!source) return 2;
        const bool enable = sub == QLatin1String("enable");
        feature.editSettings([&](BrowserBookmarksSettings& settings) {
            if (enable)
                settings.disabled.remove(*source);
            else
                settings.disabled.insert(*source);
        });
        out(QStringLiteral("%1 bookmarks %2").arg(displayName(*source), enable ? QStringLiteral("on") : QStringLiteral("off")));
        return 0;
    }
    if (sub == QLatin1String("profile") && rest.size() == 2) {
        const auto source = sourceArgument(rest.first());
        if (!source) return 2;
        if (!BrowserBookmarksSettings::profileKey(*source)) {
            err(QStringLiteral("%1 has no profiles").arg(displayName(*source)));
            return 2;
        }
        feature.editSettings([&](BrowserBookmarksSettings& settings) { settings.selectedProfile.insert(*source, rest.at(1)); });
        out(QStringLiteral("%1 profile: %2").arg(displayName(*source), rest.at(1)));
        return 0;
    }
    if (sub == QLatin1String("safari") && rest.size() == 1) {
        const QString file = QFileInfo(rest.first()).absoluteFilePath();
        feature.editSettings([&](BrowserBookmarksSettings& settings) {
            settings.safariBookmarksFile = file;
            settings.disabled.remove(BrowserBookmark::Source::safari);
        });
        out(QStringLiteral("Safari bookmarks from ") + file);
        return 0;
    }
    err(QStringLiteral("bookmarks takes list [--json] [--source S] [--query Q] [--folder F], sync, sources, "
                       "enable|disable SOURCE, profile SOURCE PROFILE or safari FILE"));
    return 2;
}

}  // namespace vantrel::bookmarks
