#pragma once

#include "data/SearchRecord.h"
#include "platform/freedesktop/DesktopEntry.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace vantrel {

// Turns installed desktop entries into search records of the source `system`:
// applications as `systemApp`, the desktop's settings panels as `prefPane`.
// Shared by the folder-enumerating source and the GIO-based one so that both
// offer the same entries under the same names.
class ApplicationRecords {
public:
    // Desktop files larger than this are skipped unread.
    static constexpr qint64 kMaxDesktopFileSize = 1024 * 1024;

    // What the visibility rules are checked against.
    struct Rules {
        QStringList locales;          // preference list for localised keys
        QStringList currentDesktops;  // the names in XDG_CURRENT_DESKTOP
        std::function<bool(const QString&)> executableExists = DesktopEntry::executableOnPath;
        qint64 maxFileSize = kMaxDesktopFileSize;

        // The locales, desktops and PATH of this process.
        static Rules fromEnvironment();
    };

    // The outcome for one entry: a record, or nothing. Without a record,
    // `problem` says why when the entry is broken (worth a warning); it is
    // empty when the entry is fine but not meant to be offered (NoDisplay,
    // Hidden, another desktop, a TryExec that is not installed, not an
    // application).
    struct Conversion {
        std::optional<SearchRecord> record;
        QString problem;
    };

    static Conversion convert(const DesktopEntry& entry, const Rules& rules);

    // A GNOME settings panel (Categories with Settings and an
    // X-GNOME-Settings-Panel key) or a KDE settings module (kcm_*).
    static bool isSettingsPanel(const DesktopEntry& entry);

    // The program an Exec value runs: its first argument with the quoting
    // undone. Empty when the value is empty or its quoting is broken.
    static QString execProgram(const QString& exec);

    // Reads one desktop file (never more than rules.maxFileSize bytes) and
    // converts it. A broken file is skipped with one warning naming it and the
    // reason; *problem (when given) receives that reason.
    static std::optional<SearchRecord> readFile(const QString& path, const QString& id, const Rules& rules,
                                                QString* problem = nullptr);

    struct Entry {
        QString id;  // desktop-file id
        SearchRecord record;
    };

    // Everything offered from one applications folder and its subfolders.
    struct FolderListing {
        QString folder;
        bool exists = false;
        int directoryCount = 0;      // folders read, the folder itself included
        std::vector<Entry> entries;  // one per desktop-file id, ordered by id
        // Broken files written in the last few seconds: possibly still being
        // copied, worth another look.
        QStringList recentlyWrittenProblems;
    };

    // Reads folder recursively: "*.desktop" files, hidden names skipped,
    // symbolic links followed but every folder read once (by its canonical
    // path). cancelled (when given) is polled between files; a cancelled read
    // returns what it has so far.
    static FolderListing readFolder(const QString& folder, const Rules& rules,
                                    const std::function<bool()>& cancelled = {});

    // The records of all listings, given highest precedence first: for each
    // desktop-file id only the entry of the earliest folder.
    static std::vector<SearchRecord> visibleRecords(const std::vector<FolderListing>& listings);
    // The records of listings[index] that no earlier listing hides.
    static std::vector<SearchRecord> visibleRecords(const std::vector<FolderListing>& listings, size_t index);

    // Seconds for log lines, always with a fraction: 5 -> "5.0", 0.25 -> "0.25".
    static QString secondsText(double seconds);
};

}  // namespace vantrel
