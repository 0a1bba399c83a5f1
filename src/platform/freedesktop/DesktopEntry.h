#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace vantrel {

// One freedesktop desktop entry (a ".desktop" file), as read from the
// "[Desktop Entry]" group. Localised keys (Name, GenericName, Comment,
// Keywords, Icon) hold the value for the best matching locale. Exec keeps its
// field codes (%f, %U, ...) untouched: launching is done elsewhere.
struct DesktopEntry {
    // Desktop-file id: the path below the applications folder with '/'
    // replaced by '-', e.g. "org.gnome.Terminal.desktop", "kde4-foo.desktop".
    QString id;
    // Where the file was read from.
    QString path;

    QString type;
    QString name;
    QString genericName;
    QString comment;
    QStringList keywords;
    QString icon;
    QString exec;
    QString tryExec;
    QString workingDirectory;  // the "Path" key
    bool terminal = false;
    bool noDisplay = false;
    bool hidden = false;
    QStringList onlyShowIn;
    QStringList notShowIn;
    QStringList categories;
    QStringList mimeTypes;
    QStringList actions;
    bool dbusActivatable = false;
    QString startupWMClass;
    // Vendor keys ("X-GNOME-Settings-Panel", "X-KDE-...") of the entry group,
    // unlocalised values with their escapes undone.
    QMap<QString, QString> extensionKeys;

    // Problems that did not stop the parse (e.g. "Terminal=yes" read as false).
    QStringList warnings;

    // Parses the UTF-8 contents of a desktop file. Only the "[Desktop Entry]"
    // group is read; other groups ("[Desktop Action ...]", vendor groups) are
    // skipped. locales is the preference list for localised keys, most
    // preferred first, each already expanded (see localeCandidates()); the
    // unlocalised key is the last resort; a repeated key keeps its last
    // value. Returns nullopt, with a message in
    // *error when given, for input that is not a usable desktop entry.
    static std::optional<DesktopEntry> parse(const QByteArray& contents, const QString& filePath, const QString& id,
                                             const QStringList& locales, QString* error = nullptr);

    // Reads filePath and parses it as above.
    static std::optional<DesktopEntry> load(const QString& filePath, const QString& id, const QStringList& locales,
                                            QString* error = nullptr);

    // The locale keys to try for one POSIX locale name, most specific first:
    // "sr_RS@latin" -> sr_RS@latin, sr_RS, sr@latin, sr. The encoding part is
    // dropped ("de_DE.UTF-8" -> de_DE, de). "C", "POSIX" and "" give nothing.
    static QStringList localeCandidates(const QString& localeName);

    // The locale preference list of this process: the ':'-separated LANGUAGE
    // list (unless the locale is C/POSIX), then the first set of LC_ALL,
    // LC_MESSAGES and LANG, each expanded with localeCandidates(), without
    // duplicates.
    static QStringList systemLocales();

    // Whether a launcher should offer this entry: not Hidden, not NoDisplay,
    // of Type "Application", allowed by OnlyShowIn/NotShowIn for
    // currentDesktops (case-sensitive names), and with a TryExec (if any)
    // that resolves. An absolute TryExec must be an executable file; any
    // other is handed to executableExists (normally executableOnPath).
    bool isShown(const QStringList& currentDesktops, const std::function<bool(const QString&)>& executableExists) const;

    // The ':'-separated names in XDG_CURRENT_DESKTOP.
    static QStringList currentDesktops();

    // An absolute path: whether it is an executable file. A bare name: whether
    // an executable file of that name is in one of the PATH folders.
    static bool executableOnPath(const QString& program);

    // Folders holding desktop files, highest precedence first (an earlier
    // folder wins for the same desktop-file id): $XDG_DATA_HOME/applications,
    // each $XDG_DATA_DIRS/applications (default "/usr/local/share:/usr/share"),
    // then the Flatpak exports of the user ($XDG_DATA_HOME/flatpak/...) and of
    // the system, and the Snap folder, when not listed already.
    static QStringList applicationDirectories();

    // The desktop-file id of filePath below applicationsDir, or an empty
    // string when filePath is not below it.
    static QString desktopFileId(const QString& applicationsDir, const QString& filePath);
};

}  // namespace vantrel
