#include "features/bookmarks/BrowserLocations.h"

#include "kit/Logger.h"
#include "kit/Paths.h"
#include "kit/VantrelError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("BrowserBookmarks"), QStringLiteral("🔖")});
    return logger;
}

bool isChromium(BrowserBookmark::Source source) {
    return source == BrowserBookmark::Source::chrome || source == BrowserBookmark::Source::chromium ||
           source == BrowserBookmark::Source::brave;
}

}  // namespace

std::vector<FirefoxRawProfile> parseFirefoxProfilesIni(const QByteArray& text) {
    std::vector<FirefoxRawProfile> profiles;
    std::optional<FirefoxRawProfile> current;
    bool hasPath = false;
    const auto finish = [&] {
        if (current && hasPath && !current->path.isEmpty()) profiles.push_back(*current);
        current.reset();
        hasPath = false;
    };
    for (QByteArray rawLine : text.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#'))) continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            finish();
            if (line.mid(1, line.size() - 2).startsWith(QLatin1String("Profile"))) current = FirefoxRawProfile{};
            continue;
        }
        if (!current) continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0) continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QLatin1String("Name")) current->name = value;
        else if (key == QLatin1String("Path")) {
            current->path = value;
            hasPath = true;
        } else if (key == QLatin1String("IsRelative")) current->isRelative = value.toInt() != 0;
        else if (key == QLatin1String("Default")) current->isDefault = value.toInt() != 0;
    }
    finish();
    return profiles;
}

QHash<QString, QString> parseChromiumLocalState(const QByteArray& json) {
    QHash<QString, QString> names;
    const QJsonObject cache = QJsonDocument::fromJson(json)
                                  .object()
                                  .value(QStringLiteral("profile"))
                                  .toObject()
                                  .value(QStringLiteral("info_cache"))
                                  .toObject();
    for (auto entry = cache.begin(); entry != cache.end(); ++entry) {
        const QJsonObject info = entry.value().toObject();
        QString name = info.value(QStringLiteral("name")).toString();
        if (name.isEmpty()) name = info.value(QStringLiteral("gaia_given_name")).toString();
        if (!name.isEmpty()) names.insert(entry.key(), name);
    }
    return names;
}

std::optional<QString> BrowserBookmarksSettings::profileKey(BrowserBookmark::Source source) {
    switch (source) {
        case BrowserBookmark::Source::chrome:
            return QString(chromeProfileKey);
        case BrowserBookmark::Source::brave:
            return QString(braveProfileKey);
        case BrowserBookmark::Source::chromium:
            return QString(chromiumProfileKey);
        case BrowserBookmark::Source::firefox:
            return QString(firefoxProfileKey);
        case BrowserBookmark::Source::safari:
            break;
    }
    return std::nullopt;
}

BrowserLocations::BrowserLocations(QString home) : m_home(std::move(home)) {}

QStringList BrowserLocations::candidateDirectories(BrowserBookmark::Source source) const {
    const QString h = m_home;
    switch (source) {
        case BrowserBookmark::Source::firefox:
            return {h + QStringLiteral("/.mozilla/firefox"), h + QStringLiteral("/.config/mozilla/firefox"),
                    h + QStringLiteral("/snap/firefox/common/.mozilla/firefox"),
                    h + QStringLiteral("/.var/app/org.mozilla.firefox/.mozilla/firefox"),
                    h + QStringLiteral("/.var/app/org.mozilla.firefox/config/mozilla/firefox")};
        case BrowserBookmark::Source::chrome:
            return {h + QStringLiteral("/.config/google-chrome"),
                    h + QStringLiteral("/.var/app/com.google.Chrome/config/google-chrome")};
        case BrowserBookmark::Source::chromium:
            return {h + QStringLiteral("/.config/chromium"),
                    h + QStringLiteral("/snap/chromium/common/chromium"),
                    h + QStringLiteral("/.var/app/org.chromium.Chromium/config/chromium")};
        case BrowserBookmark::Source::brave:
            return {h + QStringLiteral("/.config/BraveSoftware/Brave-Browser"),
                    h + QStringLiteral("/.var/app/com.brave.Browser/config/BraveSoftware/Brave-Browser")};
        case BrowserBookmark::Source::safari:
            break;
    }
    return {};
}

QStringList BrowserLocations::dataDirectories(BrowserBookmark::Source source) const {
    QStringList found;
    for (const QString& directory : candidateDirectories(source))
        if (QFileInfo(directory).isDir()) found << directory;
    return found;
}

std::vector<BrowserProfile> BrowserLocations::profiles(BrowserBookmark::Source source) const {
    std::vector<BrowserProfile> list;
    if (source == BrowserBookmark::Source::firefox) {
        const QStringList directories = dataDirectories(source);
        bool readAny = false;
        for (const QString& directory : directories) {
            QFile ini(directory + QStringLiteral("/profiles.ini"));
            if (!ini.open(QIODevice::ReadOnly)) continue;
            readAny = true;
            for (const FirefoxRawProfile& raw : parseFirefoxProfilesIni(ini.readAll())) {
                const QString path = QDir::cleanPath(raw.isRelative ? directory + QLatin1Char('/') + raw.path : raw.path);
                if (!QFileInfo(path + QStringLiteral("/places.sqlite")).isFile()) continue;
                list.push_back({path, raw.name.isEmpty() ? QFileInfo(path).fileName() : raw.name, path, raw.isDefault});
            }
        }
        if (!directories.isEmpty() && !readAny)
            throw VantrelError(QStringLiteral("Firefox profile file couldn't be found or opened"));
        return list;
    }
    if (!isChromium(source)) return list;
    for (const QString& directory : dataDirectories(source)) {
        QFile localState(directory + QStringLiteral("/Local State"));
        const QHash<QString, QString> names =
            localState.open(QIODevice::ReadOnly) ? parseChromiumLocalState(localState.readAll()) : QHash<QString, QString>();
        QStringList entries = QDir(directory).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString& entry : entries) {
            if (entry != QLatin1String("Default") && !entry.startsWith(QLatin1String("Default")) &&
                !entry.startsWith(QLatin1String("Profile ")))
                continue;
            const QString path = directory + QLatin1Char('/') + entry;
            list.push_back({entry, names.value(entry, entry), path, entry == QLatin1String("Default")});
        }
        if (!list.empty()) break;  // the first home that has profiles
    }
    return list;
}

std::optional<BrowserProfile> BrowserLocations::selectedProfile(BrowserBookmark::Source source,
                                                                const BrowserBookmarksSettings& settings) const {
    const std::vector<BrowserProfile> all = profiles(source);
    if (all.empty()) return std::nullopt;
    const QString wanted = settings.selectedProfile.value(source);
    if (!wanted.isEmpty())
        for (const BrowserProfile& profile : all)
            if (profile.id == wanted || profile.name == wanted) return profile;
    for (const BrowserProfile& profile : all)
        if (profile.isDefault) return profile;
    return all.front();
}

QString BrowserLocations::bookmarksFile(BrowserBookmark::Source source, const BrowserBookmarksSettings& settings) const {
    const QString raw = rawValue(source);
    QString file;
    if (source == BrowserBookmark::Source::safari) {
        file = settings.safariBookmarksFile;
        if (file.isEmpty()) throw VantrelError(QStringLiteral("Could not get bookmarks URL for Safari"));
    } else {
        const std::optional<BrowserProfile> profile = selectedProfile(source, settings);
        if (!profile) throw VantrelError(QStringLiteral("Could not get bookmarks URL for ") + raw);
        file = profile->directory + (source == BrowserBookmark::Source::firefox ? QStringLiteral("/places.sqlite")
                                                                                 : QStringLiteral("/Bookmarks"));
    }
    if (!QFileInfo(file).isFile()) throw VantrelError(QStringLiteral("No bookmarks file found for ") + raw);
    return file;
}

QString BrowserLocations::faviconsFile(BrowserBookmark::Source source, const BrowserBookmarksSettings& settings) const {
    if (source == BrowserBookmark::Source::safari) return {};
    std::optional<BrowserProfile> profile;
    try {
        profile = selectedProfile(source, settings);
    } catch (const std::exception&) {
        return {};
    }
    if (!profile) return {};
    const QString file = profile->directory + (source == BrowserBookmark::Source::firefox
                                                   ? QStringLiteral("/favicons.sqlite")
                                                   : QStringLiteral("/Favicons"));
    return QFileInfo(file).isFile() ? file : QString();
}

QString bookmarksCacheDirectory() {
    return Paths::dataDir() + QStringLiteral("/bookmarks");
}

QString cacheDatabase(BrowserBookmark::Source source, const QString& from, const QString& name) {
    if (from.isEmpty() || !QFileInfo(from).isFile())
        throw VantrelError(QLatin1Char('\'') + name + QStringLiteral("' database URL cannot be resolved"));
    const QString directory = bookmarksCacheDirectory();
    const QString to = directory + QLatin1Char('/') + name;
    if (!QDir().mkpath(directory))
        throw VantrelError(QLatin1Char('\'') + name + QStringLiteral("' temporary cached database URL cannot be resolved"));
    // The copy is made whole before it replaces the last one.
    for (const QString& suffix : {QStringLiteral("-wal"), QStringLiteral("-shm"), QString()}) {
        QFile::remove(to + QStringLiteral(".part") + suffix);
    }
    if (!QFile::copy(from, to + QStringLiteral(".part")))
        throw VantrelError(QLatin1Char('\'') + name + QStringLiteral("' temporary cached database URL cannot be resolved"));
    const bool hasWal = QFileInfo(from + QStringLiteral("-wal")).isFile();
    if (hasWal && !QFile::copy(from + QStringLiteral("-wal"), to + QStringLiteral(".part-wal")))
        throw VantrelError(QLatin1Char('\'') + name + QStringLiteral("' temporary cached database URL cannot be resolved"));
    for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")}) QFile::remove(to + suffix);
    QFile::rename(to + QStringLiteral(".part"), to);
    if (hasWal) QFile::rename(to + QStringLiteral(".part-wal"), to + QStringLiteral("-wal"));
    log().debug("Cached database", {{QStringLiteral("source"), rawValue(source)}, {QStringLiteral("name"), name}});
    return to;
}

}  // namespace vantrel
