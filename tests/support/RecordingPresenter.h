#pragma once

// A launcher window that records what it was asked to show: the one presenter
// of the tests of script actions, views and rows.
#include "support/QtPrinters.h"

#include "core/api/LauncherPresenter.h"

#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace vantrel::test {

// Records every call; confirm() answers with `answer`.
class RecordingPresenter : public LauncherPresenter {
public:
    struct ShownToast {
        ToastId id;
        Toast toast;
    };

    ToastId showToast(const Toast& toast, std::function<void()> onCancel = {}) override {
        const ToastId id = ++m_nextId;
        toasts.push_back({id, toast});
        if (onCancel) cancelToast = std::move(onCancel);
        return id;
    }
    void updateToast(ToastId id, const Toast& toast) override { toasts.push_back({id, toast}); }
    void hideToast(ToastId) override {}
    void showHUD(const QString& text, const std::optional<IconSet>& icon = std::nullopt) override {
        huds << text;
        hudIcon = icon;
    }
    void hideWindow() override { ++hides; }
    void confirm(const Alert& alert, std::function<void(bool confirmed)> reply) override {
        alerts.push_back(alert);
        reply(answer);
    }
    void handleOutcome(const CommandOutcome& outcome) override {
        if (outcome.kind == CommandOutcome::Kind::showView)
            shownOutputs.push_back({outcome.commandId, outcome.arguments});
    }
    void copyToClipboard(const QString& text) override { clipboard = text; }

    QStringList toastTitles() const {
        QStringList titles;
        for (const ShownToast& shown : toasts) titles << shown.toast.title;
        return titles;
    }
    const Toast* lastToast() const { return toasts.empty() ? nullptr : &toasts.back().toast; }

    std::vector<ShownToast> toasts;
    std::function<void()> cancelToast;
    QStringList huds;
    std::optional<IconSet> hudIcon;
    int hides = 0;
    std::vector<Alert> alerts;
    bool answer = true;
    std::vector<std::pair<QString, QStringList>> shownOutputs;
    std::optional<QString> clipboard;

private:
    ToastId m_nextId = 0;
};

}  // namespace vantrel::test
