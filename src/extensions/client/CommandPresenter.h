#pragma once

#include "extensions/protocol/JSException.h"
#include "extensions/views/CommandViewController.h"

#include <QString>

#include <optional>

namespace vantrel::extensions {

// Where a running command's output goes: the launcher window's command view,
// or the terminal under `vantrel run`. Called on the main thread.
class CommandPresenter {
public:
    virtual ~CommandPresenter() = default;

    // style: "success", "failure", "animated" or "hud".
    virtual void showToast(const QString& style, const QString& title, const std::optional<QString>& message) = 0;
    virtual void hideToast() = 0;
    // Only the given parts change.
    virtual void changeToast(const std::optional<QString>& style, const std::optional<QString>& title,
                             const std::optional<QString>& message) = 0;
    // level: "debug", "info", "warn" or "error"; text: the values joined with " – ".
    virtual void log(const QString& level, const QString& text) = 0;
    // An uncaught exception of the command, at its original place.
    virtual void showException(const JSException& exception) = 0;
    // Closes the launcher window (the command copied something and is done
    // with the window); nothing where there is no window.
    virtual void closeWindow() {}
    // A render of the command's view tree, built; events go back through `send`.
    // Presenters without views ignore it.
    virtual void render(views::VantrelViewState state, views::CommandViewController::EventSender send) {
        (void)state;
        (void)send;
    }
    // A render that did not build (its message was also the script's answer).
    virtual void renderFailed(const QString& message) { (void)message; }
};

}  // namespace vantrel::extensions
