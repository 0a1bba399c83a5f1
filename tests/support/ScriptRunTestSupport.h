#pragma once

// Script files written to a temporary folder for the runner, the scheduler
// and the script actions, and a presenter that records what the window
// would have shown.
#include "support/TestEnvironment.h"

#include "core/api/LauncherPresenter.h"
#include "features/scripts/ScriptCommand.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <vector>

namespace vantrel::test {

class ScriptFolder {
public:
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }

    // An executable file with the given text.
    QString write(const QString& name, const QByteArray& text, bool executable = true) const {
        const QString target = file(name);
        QFileInfo(target).dir().mkpath(QStringLiteral("."));
        QFile out(target);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(text);
        out.close();
        if (executable)
            out.setPermissions(out.permissions() | QFileDevice::ExeOwner | QFileDevice::ReadOwner |
                               QFileDevice::WriteOwner);
        return target;
    }

    // A shell script with the body after its first line.
    ScriptCommand script(const QString& name, const QByteArray& body,
                         ScriptCommand::RunMode mode = ScriptCommand::RunMode::compact) const {
        return command(write(name, QByteArray("#!/bin/sh\n") + body), mode);
    }

    static ScriptCommand command(const QString& path, ScriptCommand::RunMode mode) {
        ScriptCommand command;
        command.id = QString(ScriptCommand::idPrefix) + path;
        command.scriptPath = path;
        command.displayName = QFileInfo(path).completeBaseName();
        command.packageName = QStringLiteral("Tests");
        command.runMode = mode;
        command.icon.small = ImageResource::emoji(QStringLiteral("🧪"));
        return command;
    }

    // The lines a script appended to a file of the folder (one per run).
    int lineCount(const QString& name) const {
        QFile in(file(name));
        if (!in.open(QIODevice::ReadOnly)) return 0;
        return static_cast<int>(in.readAll().count('\n'));
    }

private:
    QTemporaryDir m_dir;
};

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
