#pragma once

#include "data/ClipboardRepository.h"
#include "features/clipboard/ClipboardContent.h"
#include "platform/SystemClipboard.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace vantrel {

class NotificationCenter;
class PackageRegistry;

// How long records are kept ("clipboardHistoryLengthKey", "Keep history for").
enum class ClipboardHistoryLength { day, week, month };

// Clipboard history: what the user copies, classified, checked against the
// limits and the secrets rules, stored through the clipboard repository, and
// put back on the clipboard on request. Lives on the main thread.
//
// While the "clipboardHistory" command is enabled it watches the desktop's
// clipboard; switching it off stops the watching. A copy is skipped when it
// carries a marker type (transient, concealed, generated, our own), when a
// password manager marks it secret, or when the application the user copied
// in is one of the ignored ones (the user's list and a built-in list of
// password managers). When the application that copied the newest recorded
// item quits, the history takes the clipboard over with that item, so that
// pasting keeps working; the item stays in the history.
class ClipboardHistory {
public:
    static constexpr QLatin1String packageId{"clipboardHistory"};
    static constexpr QLatin1String commandId{"clipboardHistory"};
    static constexpr QLatin1String historyLengthKey{"clipboardHistoryLengthKey"};
    static constexpr QLatin1String pasteModeKey{"clipboardHistoryPasteMode"};
    static constexpr QLatin1String directPasteKey{"clipboardHistoryDirectPaste"};
    // The package's "Ignore these applications": window classes or program names.
    static constexpr QLatin1String ignoredApplicationsKey{"clipboardHistoryIgnoredApplications"};
    // Whether the primary selection is recorded too (off by default).
    static constexpr QLatin1String primarySelectionKey{"clipboardHistoryPrimarySelection"};

    struct Options {
        std::shared_ptr<ClipboardRepository> repository;
        // The package configuration (enabled state and settings); may be null in tests.
        PackageRegistry* registry = nullptr;
        NotificationCenter* center = nullptr;
        // Null: nothing is watched and nothing can be written.
        std::shared_ptr<SystemClipboard> clipboard;
        // Where images are stored: the data folder's "Clipboard".
        QString imageDirectory;
        ClipboardLimits limits;
    };

    explicit ClipboardHistory(Options options);
    ~ClipboardHistory();
    ClipboardHistory(const ClipboardHistory&) = delete;
    ClipboardHistory& operator=(const ClipboardHistory&) = delete;

    // The clipboard to watch and write (the running launcher's; none in a
    // one-shot command). Set before start().
    void setClipboard(std::shared_ptr<SystemClipboard> clipboard) { m_options.clipboard = std::move(clipboard); }

    // Starts watching when the command is enabled, and follows its switch.
    void start();
    void stop();
    bool isWatching() const;

    // MARK: Recording

    // One change of the clipboard, fetched.
    void clipboardChanged(const ClipboardSnapshot& snapshot);
    // The owner of the clipboard went away.
    void clipboardOwnerGone(SystemClipboard::Selection selection);
    // Stores an accepted copy (validation first); the stored record, or
    // nothing when it was refused or could not be stored.
    std::optional<ClipboardRecord> add(const ClipboardContent& content,
                                       const std::optional<QString>& applicationPath = std::nullopt);
    // The limits; false (logged) for oversized content.
    bool validate(const ClipboardContent& content) const;
    // Whether copies made in this application are never recorded.
    bool isIgnoredApplication(const ForeignApplication& application) const;
    // Password managers (their WM_CLASS, lower case) whose copies are never recorded.
    static const QStringList& passwordManagers();

    // MARK: Reading and changing

    // Records whose text contains `text` (all when empty), of one category or
    // all, pinned first, most recent first. Throws on a database failure
    // (logged "Find records for clipboard history").
    std::vector<ClipboardRecord> findItems(const QString& text, std::optional<ClipboardRecord::Category> category,
                                           int limit = -1) const;
    std::optional<ClipboardRecord> record(qint64 id) const;
    // Throws "Clipboard record not found".
    ClipboardRecord pin(qint64 id, bool isPinned);
    bool deleteRecord(qint64 id);
    // Deletes every record and its image; returns how many.
    qsizetype deleteAll();

    // Where the image of a hash is stored.
    QString imagePath(const QString& imageHash) const;
    // Puts the record's content on the clipboard, marked as ours; `formatted`
    // adds its rich text. False when there is no clipboard to write to.
    bool writeToClipboard(const ClipboardRecord& record, bool formatted = true);

    // MARK: Settings

    ClipboardHistoryLength historyLength() const;
    static QString rawValue(ClipboardHistoryLength length);
    static QString label(ClipboardHistoryLength length);
    // A missing or unknown value means a week.
    static ClipboardHistoryLength lengthFromRaw(const QString& raw);
    // "paste" (the default) or "copy".
    QString pasteMode() const;
    bool directPaste() const;

    const Options& options() const { return m_options; }
    SystemClipboard* clipboard() const { return m_options.clipboard.get(); }

private:
    bool isEnabled() const;
    void followSwitch();
    void applyRetention();
    void deleteImages(const std::vector<ClipboardRecord>& records);
    void didChange();

    Options m_options;
    bool m_started = false;
    // What the newest recorded copy offered, to offer again when its owner quits.
    struct Recorded {
        quint64 changeCount = 0;
        std::vector<ClipboardFormat> formats;
    };
    std::optional<Recorded> m_lastRecorded;
    std::unique_ptr<QObject> m_subscriptions;
};

}  // namespace vantrel
