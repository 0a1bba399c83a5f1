#pragma once

// A launcher window that records what it was asked to show: the one presenter
// of the tests of script actions, views and rows.
#include "support/QtPrinters.h"

#include "core/api/LauncherPresenter.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <vector>

namespace vantrel::test {

// Records every call; confirm() answers with `answer`. The window starts
// shown; hideWindow() hides it and a view, the argument fields or a question
// show it again. A toast sent while it is hidden is one nobody sees: it is
// kept apart in hiddenToasts and fails the test.
class RecordingPresenter : public LauncherPresenter {
public:
    struct ShownToast {
        ToastId id;
        Toast toast;
    };

    bool isWindowVisible() const override { return visible; }
    ToastId showToast(const Toast& toast, std::function<void()> onCancel = {}) override {
        const ToastId id = ++m_nextId;
        if (!record(id, toast)) return id;
        if (onCancel) cancelToast = std::move(onCancel);
        return id;
    }
    void updateToast(ToastId id, const Toast& toast) override { record(id, toast); }
    void hideToast(ToastId) override {}
    void showHUD(const QString& text, const std::optional<IconSet>& icon = std::nullopt) override {
        huds << text;
        hudIcon = icon;
    }
    void hideWindow() override {
        ++hides;
        visible = false;
    }
    void confirm(const Alert& alert, std::function<void(bool confirmed)> reply) override {
        visible = true;
        alerts.push_back(alert);
        reply(answer);
    }
    void handleOutcome(const CommandOutcome& outcome) override {
        outcomes.push_back(outcome);
        if (outcome.kind == CommandOutcome::Kind::showView) {
            visible = true;
            shownOutputs.push_back({outcome.commandId, outcome.arguments});
        }
        if (outcome.kind == CommandOutcome::Kind::showArguments) visible = true;
    }
    void copyToClipboard(const QString& text) override { clipboard = text; }

    QStringList toastTitles() const {
        QStringList titles;
        for (const ShownToast& shown : toasts) titles << shown.toast.title;
        return titles;
    }
    const Toast* lastToast() const { return toasts.empty() ? nullptr : &toasts.back().toast; }

    bool visible = true;
    std::vector<ShownToast> toasts;
    // Toasts sent while the window was hidden (each one also fails the test).
    std::vector<ShownToast> hiddenToasts;
    std::function<void()> cancelToast;
    QStringList huds;
    std::optional<IconSet> hudIcon;
    int hides = 0;
    std::vector<Alert> alerts;
    bool answer = true;
    std::vector<CommandOutcome> outcomes;
    std::vector<std::pair<QString, QStringList>> shownOutputs;
    std::optional<QString> clipboard;

private:
    bool record(ToastId id, const Toast& toast) {
        if (!visible) {
            hiddenToasts.push_back({id, toast});
            ADD_FAILURE() << "toast \"" << toast.title.toStdString() << "\" sent to the hidden window";
            return false;
        }
        toasts.push_back({id, toast});
        return true;
    }

    ToastId m_nextId = 0;
};

}  // namespace vantrel::test
