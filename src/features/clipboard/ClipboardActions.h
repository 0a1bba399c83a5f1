#pragma once

#include "core/api/CommandOutcome.h"
#include "data/Records.h"
#include "platform/SystemClipboard.h"

#include <functional>
#include <memory>
#include <vector>

namespace vantrel {

class ClipboardHistory;
class LauncherPresenter;

// What can be done with a clipboard history record: paste it into the
// application the user came from, copy it, pin it, preview, open, reveal and
// delete it. The menu of a record lists them with their ids and shortcuts.
class ClipboardActions {
public:
    // Action ids.
    static constexpr QLatin1String pasteId{"pasteClipboardHistoryItem"};
    static constexpr QLatin1String pasteFormattedId{"pasteFormattedTextClipboardHistoryItem"};
    static constexpr QLatin1String copyId{"copyClipboardHistoryItem"};
    static constexpr QLatin1String pinId{"pinClipboardHistoryItem"};
    static constexpr QLatin1String unpinId{"unpinClipboardHistoryItem"};
    static constexpr QLatin1String quickLookId{"quickLookClipboardHistoryItem"};
    static constexpr QLatin1String openLinkId{"openClipboardHistoryItemInBrowser"};
    static constexpr QLatin1String openImageId{"openClipboardHistoryImageInBrowser"};
    static constexpr QLatin1String showFileId{"showClipboardHistoryFileInFinder"};
    static constexpr QLatin1String deleteId{"deleteClipboardHistoryItem"};
    static constexpr QLatin1String deleteAllId{"deleteAllClipboardHistoryItems"};

    static constexpr QLatin1String deleteAllQuestion{
        "Are you sure you want to procced with removing all clipboard history records?"};

    // `presenter` answers the window (null in a one-shot command); `injector`
    // may be null (pasting then only copies).
    ClipboardActions(ClipboardHistory& history, std::function<LauncherPresenter*()> presenter,
                     std::shared_ptr<PasteInjector> injector = nullptr);

    void setInjector(std::shared_ptr<PasteInjector> injector) { m_injector = std::move(injector); }
    PasteInjector* injector() const { return m_injector.get(); }

    // Writes the record to the clipboard, hides the launcher and pastes into
    // the window the user came from (Ctrl+Shift+V in terminals). Without
    // direct paste, or where keys cannot be synthesised, it stops after the
    // copy and says so.
    CommandOutcome paste(const ClipboardRecord& record, bool formatted = false);
    CommandOutcome copy(const ClipboardRecord& record);
    // The same for a text of another feature (a snippet): it goes on the
    // clipboard as plain text and, with `direct`, is pasted where the user
    // came from.
    CommandOutcome pasteText(const QString& text, bool direct);
    CommandOutcome copyText(const QString& text);
    CommandOutcome setPinned(const ClipboardRecord& record, bool pinned);
    CommandOutcome remove(const ClipboardRecord& record);
    // Asks first (the window's confirmation), then deletes every record.
    CommandOutcome removeAll();

    // The menu of a record, primary action first ("clipboardHistoryPasteMode").
    // `quickLook` shows the preview; `changed` runs after a pin or delete.
    std::vector<MenuItem> menu(const ClipboardRecord& record, std::function<CommandOutcome()> quickLook = {},
                               std::function<void()> changed = {});

    // Terminals take Ctrl+Shift+V (matched on the window class, any case).
    static bool isTerminal(const ForeignApplication& application);
    static const QStringList& terminalClasses();

private:
    // Hides the launcher and presses the paste keys in the window the user
    // came from; what is on the clipboard is pasted.
    CommandOutcome pasteIntoPreviousWindow();

    ClipboardHistory& m_history;
    std::function<LauncherPresenter*()> m_presenter;
    std::shared_ptr<PasteInjector> m_injector;
};

}  // namespace vantrel
