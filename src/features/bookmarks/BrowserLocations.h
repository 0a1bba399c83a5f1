#pragma once

#include "features/bookmarks/BrowserBookmark.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace vantrel {

// One profile of a browser: its id (a Chromium profile's directory name, a
// Firefox profile's absolute path), the name shown and its directory.
struct BrowserProfile {
    QString id;
    QString name;
    QString directory;
    bool isDefault = false;
    bool operator==(const BrowserProfile&) const = default;
};

// A profile section of Firefox's "profiles.ini".
struct FirefoxRawProfile {
    QString name;
    QString path;
    bool isRelative = true;
    bool isDefault = false;
};

// Reads "profiles.ini" line by line: every "[Profile…]" section with a Path
// (sections without one, and other sections, are skipped).
std::vector<FirefoxRawProfile> parseFirefoxProfilesIni(const QByteArray& text);
// Chromium's "Local State": profile directory → shown name (its "name", or
// "gaia_given_name"); empty when the file cannot be read.
QHash<QString, QString> parseChromiumLocalState(const QByteArray& json);

// The package's settings that say which browsers and profiles to read.
struct BrowserBookmarksSettings {
    QSet<BrowserBookmark::Source> disabled{BrowserBookmark::Source::safari};
    QHash<BrowserBookmark::Source, QString> selectedProfile;
    // Safari's Bookmarks.plist, chosen by the user.
    QString safariBookmarksFile;
    QString selectedFolder;

    bool isEnabled(BrowserBookmark::Source source) const { return !disabled.contains(source); }

    // Payload keys.
    static constexpr QLatin1String disabledSourcesKey{"disabledBrowserBookmarksSources"};
    static constexpr QLatin1String chromeProfileKey{"selectedChromeBrowserBookmarksProfile"};
    static constexpr QLatin1String braveProfileKey{"selectedBraveBrowserBookmarksProfile"};
    static constexpr QLatin1String chromiumProfileKey{"selectedChromiumBrowserBookmarksProfile"};
    static constexpr QLatin1String firefoxProfileKey{"selectedFirefoxBrowserBookmarksProfile"};
    static constexpr QLatin1String safariFileKey{"safariBookmarksFile"};
    static constexpr QLatin1String selectedFolderKey{"selectedBookmarkFolder"};
    static std::optional<QString> profileKey(BrowserBookmark::Source source);
};

// Where each browser keeps its files under a home folder: the native,
// Snap, Flatpak and XDG homes of Firefox, and the native and Flatpak homes of
// Chrome, Chromium and Brave.
class BrowserLocations {
public:
    explicit BrowserLocations(QString home);

    // Every place the browser's data directory may be, most usual first.
    QStringList candidateDirectories(BrowserBookmark::Source source) const;
    // Those that exist.
    QStringList dataDirectories(BrowserBookmark::Source source) const;

    // The profiles that hold a bookmark file. Firefox: from "profiles.ini" of
    // every data directory (relative and absolute paths), only those with a
    // "places.sqlite"; throws "Firefox profile file couldn't be found or
    // opened" when a Firefox directory exists but none has a readable one.
    std::vector<BrowserProfile> profiles(BrowserBookmark::Source source) const;
    // The profile the settings choose, else the default one, else the first.
    std::optional<BrowserProfile> selectedProfile(BrowserBookmark::Source source,
                                                  const BrowserBookmarksSettings& settings) const;

    // The bookmark file of the source ("Bookmarks", "places.sqlite", the
    // chosen "Bookmarks.plist"). Throws "Could not get bookmarks URL for
    // <source>" when there is no profile, "No bookmarks file found for
    // <source>" when the file is not there.
    QString bookmarksFile(BrowserBookmark::Source source, const BrowserBookmarksSettings& settings) const;
    // The icon database beside it ("Favicons", "favicons.sqlite"); empty when none.
    QString faviconsFile(BrowserBookmark::Source source, const BrowserBookmarksSettings& settings) const;

    const QString& home() const { return m_home; }

private:
    QString m_home;
};

// Copies a browser's database (and its "-wal" file, which holds what the
// running browser has not written back yet) to `name` under the cache folder
// and returns the copy's path. Throws "'<name>' database URL cannot be
// resolved" when the source is missing, "'<name>' temporary cached database
// URL cannot be resolved" when the copy cannot be made.
QString cacheDatabase(BrowserBookmark::Source source, const QString& from, const QString& name);
// The cache folder: <data dir>/bookmarks.
QString bookmarksCacheDirectory();

}  // namespace vantrel
