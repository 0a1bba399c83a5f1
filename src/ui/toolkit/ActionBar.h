#pragma once

#include "core/api/CommandOutcome.h"
#include "kit/KeyCombination.h"

#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <optional>

class QPainter;

namespace vantrel {

class Theme;
class ToastView;

// Small rounded boxes with key names ("Ctrl", "K", "↵"), drawn in rows and in
// the action bar.
namespace Keycaps {
// The keys of a combination in the order they are pressed: {"Ctrl", "K"}.
QStringList keys(const KeyCombination& combination);
// The width the keys take when painted.
int width(const QStringList& keys, const QFont& font);
// Draws the keys right-aligned in `rect`, vertically centred; returns the width used.
int paint(QPainter& painter, const QRect& rect, const QStringList& keys, const Theme& theme);
}  // namespace Keycaps

// The strip at the bottom of the launcher window: the current view's icon and
// title (or a toast) on the left, the primary action with its Return keycap
// and "Actions" with Ctrl K on the right.
class ActionBar : public QWidget {
    Q_OBJECT

public:
    static constexpr int barHeight = 40;

    explicit ActionBar(QWidget* parent = nullptr);

    void setContext(const QPixmap& icon, const QString& title);
    // Empty title: no primary action (nothing selected).
    void setPrimaryActionTitle(const QString& title);
    QString primaryActionTitle() const { return m_primaryTitle; }
    void setHasActions(bool hasActions);
    ToastView* toastView() const { return m_toast; }
    void themeChanged();

signals:
    void primaryActionClicked();
    void actionsClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QRect primaryRect() const;
    QRect actionsRect() const;
    void layoutToast();

    QPixmap m_icon;
    QString m_title;
    QString m_primaryTitle;
    bool m_hasActions = false;
    ToastView* m_toast = nullptr;
};

}  // namespace vantrel
