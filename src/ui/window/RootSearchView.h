#pragma once

#include "core/rootsearch/RootSearchController.h"
#include "ui/toolkit/LauncherView.h"

namespace vantrel {

class ResultListView;

// The launcher's first screen: the sectioned results of RootSearchController.
// It shows what the controller holds and turns its events into signals the
// window acts on.
class RootSearchView : public LauncherView {
    Q_OBJECT

public:
    explicit RootSearchView(RootSearchController& controller, QWidget* parent = nullptr);

    QString title() const override { return QStringLiteral("Vantrel"); }
    bool usesSearchBar() const override { return true; }
    QString searchPlaceholder() const override;
    void searchTextChanged(const QString& text) override;
    std::vector<MenuItem> actions() const override;
    bool handleKey(QKeyEvent* event) override;
    void viewDidAppear() override;

    RootSearchController& controller() const { return m_controller; }
    ResultListView* list() const { return m_list; }
    // The title of the selected item's action panel.
    QString actionPanelTitle() const;
    // Runs the selected item's primary action.
    CommandOutcome chooseSelected();
    void selectItem(int index);
    // Shows the controller's sections again (after a theme change, a reload).
    void refresh();
    // The titles of the rows the list shows, in order (without section titles).
    QStringList listedTitles() const;

signals:
    void toastRequested(const Toast& toast);
    void searchTextReplaced(const QString& text);
    void argumentFieldsChanged();
    void calculatorHintChanged(const QString& hint);
    // The keyboard focus goes into the argument field at `index`.
    void argumentFocusRequested(int index);
    void commandOutcome(const CommandOutcome& outcome);
    void itemActivated();

private:
    void handleEvent(const RootSearchEvent& event);

    RootSearchController& m_controller;
    ResultListView* m_list;
};

}  // namespace vantrel
