#pragma once

#include "core/api/CommandOutcome.h"

#include <QString>
#include <QVariant>
#include <QWidget>

#include <optional>
#include <vector>

class QAbstractScrollArea;
class QKeyEvent;

namespace vantrel {

class LauncherPresenter;

// A screen of the launcher window's navigation stack (root search, a
// command's list, detail, form or output view). The window owns the search
// bar, the action bar and the action panel; a view tells it what to show there.
class LauncherView : public QWidget {
    Q_OBJECT

public:
    explicit LauncherView(QWidget* parent = nullptr) : QWidget(parent) {}

    // The title shown in the search bar's place when the view has no search.
    virtual QString title() const = 0;
    // Whether the search bar stays editable for this view, and its placeholder.
    virtual bool usesSearchBar() const { return false; }
    virtual QString searchPlaceholder() const { return QStringLiteral("Search…"); }
    // The search bar's text changed while this view is on top.
    virtual void searchTextChanged(const QString& /*text*/) {}
    // The text the search bar shows when the view comes on top (the query a
    // view was opened with, or what was typed before a view above it came).
    virtual QString searchText() const { return {}; }
    // The actions of the selected element; the first is the primary (Return),
    // shown in the action bar, all of them in the action panel (Ctrl+K).
    virtual std::vector<MenuItem> actions() const { return {}; }
    // Keys the search bar does not use (Up/Down, Page Up/Down…); true when handled.
    virtual bool handleKey(QKeyEvent* /*event*/) { return false; }
    // Escape or the back button while the view is on top: true when the view
    // went back inside itself (a view of its own closed), false when the
    // window closes the view.
    virtual bool goBack() { return false; }
    // A failure the view shows over its content; empty when there is none.
    virtual QString failureText() const { return {}; }
    // The view became the top of the stack / stops being it.
    virtual void viewDidAppear() {}
    virtual void viewWillDisappear() {}
    // Handed over by the window when the view is pushed.
    void setPresenter(LauncherPresenter* presenter) { m_presenter = presenter; }
    // The command whose view this is (empty for views of no command).
    void setCommandId(const QString& commandId) { m_commandId = commandId; }
    const QString& commandId() const { return m_commandId; }

    // The input the user typed and did not submit, kept as a draft when the
    // view closes; nothing when there is nothing to lose.
    virtual std::optional<QVariant> draftState() const { return std::nullopt; }
    // Puts a draft's input back, right after the view was pushed again.
    virtual void restoreDraft(const QVariant& /*state*/) {}

    // Scrolling a text view from the keyboard: Up/Down by a line, Page Up/Down by
    // a page, Ctrl+Home/End to its ends. True when the key was one of those.
    static bool scrollByKey(QAbstractScrollArea* area, QKeyEvent* event);
    // The window's presenter; a view shown inside another view (a sign-in
    // screen in place of a list) uses its host's.
    LauncherPresenter* presenter() const;

signals:
    // The actions (or the primary action) changed: the action bar redraws.
    void actionsChanged();
    // The view asks to be popped (its work is done).
    void popRequested();
    // title(), usesSearchBar() or searchPlaceholder() changed while shown:
    // the window sets its search bar up again.
    void searchBarChanged();

private:
    LauncherPresenter* m_presenter = nullptr;
    QString m_commandId;
};

}  // namespace vantrel
