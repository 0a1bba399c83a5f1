#pragma once

#include "core/api/CommandOutcome.h"
#include "core/rootsearch/RootSearchController.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace vantrel {

// A question the launcher asks before something it cannot undo.
struct Alert {
    QString title;
    QString message;
    std::optional<IconSet> icon;
    QString confirmTitle;
    QString cancelTitle = QStringLiteral("Cancel");
    bool destructive = false;
};

// What the launcher window does for actions that outlive the key press that
// started them (a script running in the background, a question, a view).
// The window implements it; every call happens on the main thread.
class LauncherPresenter {
public:
    using ToastId = int;

    virtual ~LauncherPresenter() = default;

    // Shows a toast at the bottom of the window; the id updates or hides it
    // later. onCancel, when set, is offered as the toast's cancel button.
    virtual ToastId showToast(const Toast& toast, std::function<void()> onCancel = {}) = 0;
    virtual void updateToast(ToastId id, const Toast& toast) = 0;
    virtual void hideToast(ToastId id) = 0;
    // A heads-up display: a small window that shows a line while the launcher is hidden.
    virtual void showHUD(const QString& text, const std::optional<IconSet>& icon = std::nullopt) = 0;
    virtual void hideWindow() = 0;
    // Asks; `answer` gets true when the user confirmed.
    virtual void confirm(const Alert& alert, std::function<void(bool confirmed)> answer) = 0;
    // Puts text on the clipboard.
    virtual void copyToClipboard(const QString& text) = 0;
    // Shows what a command ended with: its view (showing the window when it is
    // hidden), toast or HUD.
    virtual void handleOutcome(const CommandOutcome& outcome) = 0;
};

}  // namespace vantrel
