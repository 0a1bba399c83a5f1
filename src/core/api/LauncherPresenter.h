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

    // Whether the launcher window is on screen. Toasts belong to a shown
    // window: while it is hidden, tell the user with the HUD (tell() does),
    // or show the window first when they have to act.
    virtual bool isWindowVisible() const = 0;
    // Shows a toast at the bottom of the window; the id updates or hides it
    // later. onCancel, when set, is offered as the toast's cancel button.
    virtual ToastId showToast(const Toast& toast, std::function<void()> onCancel = {}) = 0;
    virtual void updateToast(ToastId id, const Toast& toast) = 0;
    virtual void hideToast(ToastId id) = 0;
    // A heads-up display: a small window that shows a line while the launcher is hidden.
    virtual void showHUD(const QString& text, const std::optional<IconSet>& icon = std::nullopt) = 0;
    virtual void hideWindow() = 0;
    // Asks; `answer` gets true when the user confirmed. A hidden window is
    // shown to ask.
    virtual void confirm(const Alert& alert, std::function<void(bool confirmed)> answer) = 0;
    // Puts text on the clipboard.
    virtual void copyToClipboard(const QString& text) = 0;
    // Shows what a command ended with: its view or its argument fields
    // (showing the window when it is hidden), toast or HUD.
    virtual void handleOutcome(const CommandOutcome& outcome) = 0;

    // Tells the user something that needs no answer: a toast in the shown
    // window, the HUD (title and message on one line) while it is hidden.
    void tell(const Toast& toast, const std::optional<IconSet>& icon = std::nullopt) {
        if (isWindowVisible())
            showToast(toast);
        else
            showHUD(hudText(toast), icon);
    }
    // The one line of the HUD that stands for a toast.
    static QString hudText(const Toast& toast) {
        return toast.message.isEmpty() ? toast.title : toast.title + QStringLiteral(": ") + toast.message;
    }
};

}  // namespace vantrel
