#include "ui/toolkit/LauncherView.h"

#include <QAbstractScrollArea>
#include <QKeyEvent>
#include <QScrollBar>

namespace vantrel {

LauncherPresenter* LauncherView::presenter() const {
    if (m_presenter) return m_presenter;
    for (QWidget* host = parentWidget(); host; host = host->parentWidget())
        if (auto* view = qobject_cast<LauncherView*>(host); view && view->m_presenter) return view->m_presenter;
    return nullptr;
}

bool LauncherView::scrollByKey(QAbstractScrollArea* area, QKeyEvent* event) {
    QScrollBar* bar = area->verticalScrollBar();
    const bool control = event->modifiers().testFlag(Qt::ControlModifier);
    switch (event->key()) {
        case Qt::Key_Up:
            bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
            return true;
        case Qt::Key_Down:
            bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
            return true;
        case Qt::Key_PageUp:
            bar->triggerAction(QAbstractSlider::SliderPageStepSub);
            return true;
        case Qt::Key_PageDown:
            bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
            return true;
        case Qt::Key_Home:
            if (!control) return false;
            bar->setValue(bar->minimum());
            return true;
        case Qt::Key_End:
            if (!control) return false;
            bar->setValue(bar->maximum());
            return true;
        default:
            return false;
    }
}

}  // namespace vantrel
