#pragma once

#include "core/api/CommandOutcome.h"
#include "data/Records.h"

#include <QLatin1String>

#include <functional>
#include <vector>

namespace vantrel {

class ClipboardApi;
class LauncherPresenter;
class PackageRegistry;
class SnippetsService;

// What can be done with a snippet from the launcher: paste it into the
// application the user came from or copy it (its placeholders filled in; the
// primary one of the two per "snippetsPasteMode"), open its form to edit or
// duplicate it, pin it, delete it, and delete every snippet after a question.
class SnippetActions {
public:
    static constexpr QLatin1String pasteId{"pasteSnippetItem"};
    static constexpr QLatin1String copyId{"copySnippetItem"};
    static constexpr QLatin1String editId{"editSnippetItem"};
    static constexpr QLatin1String duplicateId{"duplicateSnippetItem"};
    // Pin and unpin share one id.
    static constexpr QLatin1String pinId{"unpinSnippetItem"};
    static constexpr QLatin1String deleteId{"deleteSnippetItem"};
    static constexpr QLatin1String deleteAllId{"deleteAllSnippetItems"};

    // The views of the forms that edit and duplicate a snippet (its id is
    // their one argument).
    static constexpr QLatin1String updateViewId{"snippets_update"};
    static constexpr QLatin1String duplicateViewId{"snippets_duplicate"};

    static constexpr QLatin1String deleteAllQuestion{"Are you sure you want to procced with removing all snippets?"};

    struct Dependencies {
        SnippetsService* service = nullptr;
        PackageRegistry* registry = nullptr;
        // Null in a process without clipboard history (pasting then fails with a toast).
        std::function<ClipboardApi*()> clipboard;
        std::function<LauncherPresenter*()> presenter;
        // The text of the clipboard now, for {clipboard}.
        std::function<QString()> clipboardText;
    };

    explicit SnippetActions(Dependencies dependencies);

    // "snippetsPasteMode": "paste" (the default) or "copy".
    bool pastesFirst() const;
    bool directPaste() const;

    // The snippet's text as it is inserted: placeholders filled in, {cursor} dropped.
    QString renderedText(const SnippetRecord& snippet) const;

    CommandOutcome paste(const SnippetRecord& snippet);
    CommandOutcome copy(const SnippetRecord& snippet);
    CommandOutcome setPinned(const SnippetRecord& snippet, bool pinned);
    CommandOutcome remove(const SnippetRecord& snippet);
    // Asks first when a window can ask; reports "Removed all snippets" or
    // "Failed removing all snippets".
    CommandOutcome removeAll();

    // The menu of a snippet, primary action first; `changed` runs after a
    // pin, unpin or delete.
    std::vector<MenuItem> menu(const SnippetRecord& snippet, std::function<void()> changed = {}) const;

private:
    void markUsed(const SnippetRecord& snippet) const;

    Dependencies m_dependencies;
};

}  // namespace vantrel
