#pragma once

#include "extensions/views/CommandViewController.h"
#include "kit/KeyEquivalent.h"
#include "ui/toolkit/LauncherView.h"

#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QProgressBar;
class QStackedWidget;

namespace vantrel {

// The launcher window's screen of an extension command with a view: a
// loading line until the first render, then the list, detail or form the
// script's tree selects (built from the toolkit's own views, so they look and
// behave like the built-in ones), the loading bar while "isLoading", and a
// failure state when a tree does not build (the last good screen stays
// underneath; the window keeps answering keys). The window talks to the view
// on top of the command's own stack through this one.
class ExtensionCommandView : public LauncherView {
    Q_OBJECT
public:
    struct Options {
        QString commandId;
        QString title;
        // Development commands: every action panel gets "Reload" with this shortcut.
        std::optional<KeyboardShortcut> reloadShortcut;
        std::function<void()> reload;
    };

    explicit ExtensionCommandView(Options options, QWidget* parent = nullptr);
    ~ExtensionCommandView() override;

    extensions::views::CommandViewController& controller() { return *m_controller; }
    // The inner view on top (a ListView, DetailView or FormView), null before the first render.
    LauncherView* currentView() const;
    bool isShowingFailure() const;
    QString failureText() const override;
    bool isShowingProgress() const;
    // The action that reloads a development command, for every panel.
    std::optional<MenuItem> reloadAction() const;

    QString title() const override;
    bool usesSearchBar() const override;
    QString searchPlaceholder() const override;
    void searchTextChanged(const QString& text) override;
    QString searchText() const override;
    std::vector<MenuItem> actions() const override;
    bool handleKey(QKeyEvent* event) override;
    // Escape: the command's own stack goes back one view while it holds more than one.
    bool goBack() override;
    void viewDidAppear() override;
    void viewWillDisappear() override;

protected:
    void focusInEvent(QFocusEvent* event) override;

private:
    extensions::views::CommandViewProtocol* makeView(const extensions::views::ViewModel& model);
    void showCurrent();
    void refreshSearchBar();

    Options m_options;
    std::unique_ptr<extensions::views::CommandViewController> m_controller;
    QProgressBar* m_progress = nullptr;
    QLabel* m_failure = nullptr;
    QStackedWidget* m_stack = nullptr;
    QLabel* m_loading = nullptr;
    QString m_searchBarSetup;
};

}  // namespace vantrel
