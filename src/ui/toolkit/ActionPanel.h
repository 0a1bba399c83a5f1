#pragma once

#include "core/api/CommandOutcome.h"

#include <QWidget>

#include <vector>

class QKeyEvent;
class QLabel;
class QLineEdit;

namespace vantrel {

class ActionPanelList;

// The popover of actions (Ctrl+K), anchored above the bottom-right corner of
// the launcher window: the selected item's menu items with their shortcuts,
// the primary one first, destructive ones in red. Typing filters them; Return
// runs the selected one or opens its submenu; Escape leaves a submenu, then
// closes the panel.
class ActionPanel : public QWidget {
    Q_OBJECT

public:
    static constexpr int panelWidth = 320;

    explicit ActionPanel(QWidget* parent = nullptr);

    void open(const QString& title, std::vector<MenuItem> items);
    // Opens straight into the submenu of `item` (a shortcut to it).
    void openSubmenu(const MenuItem& item);
    void close();
    bool isOpen() const { return isVisible(); }
    // The titles shown now, in order (after filtering, inside the current submenu).
    QStringList visibleTitles() const;
    QString filterText() const;
    void setFilterText(const QString& text);
    // Keeps the panel at the window's bottom-right corner above `bottomMargin`.
    void reposition(int bottomMargin);
    void themeChanged();

signals:
    void triggered(const MenuItem& item);
    void closed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool handleKey(QKeyEvent* event);
    void showLevel();
    void activate(int row);
    void applyStyle();

    void enter(const MenuItem& item);
    void load(const QString& text);

    struct Level {
        QString title;
        std::vector<MenuItem> items;
        // A submenu answered later: where it comes from and which answer it waits for.
        std::function<void(const QString&, MenuItem::SubmenuAnswer)> loader;
        bool filtersItself = false;
        bool loading = false;
        int request = 0;
    };
    std::vector<Level> m_levels;
    QLabel* m_title;
    ActionPanelList* m_list;
    QLineEdit* m_filter;
    int m_bottomMargin = 0;
};

}  // namespace vantrel
