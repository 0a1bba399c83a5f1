#include "ui/window/RootSearchView.h"

#include "ui/toolkit/ResultList.h"
#include "ui/toolkit/SearchBar.h"

#include <QKeyEvent>
#include <QVBoxLayout>

namespace vantrel {

RootSearchView::RootSearchView(RootSearchController& controller, QWidget* parent)
    : LauncherView(parent), m_controller(controller) {
    setObjectName(QStringLiteral("rootSearchView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 4);
    m_list = new ResultListView(this);
    layout->addWidget(m_list);
    m_controller.setEventHandler([this](const RootSearchEvent& event) { handleEvent(event); });
    connect(m_list, &ResultListView::itemClicked, this, [this](int index) { selectItem(index); });
    connect(m_list, &ResultListView::itemActivated, this, [this](int index) {
        selectItem(index);
        emit itemActivated();
    });
    refresh();
}

QString RootSearchView::searchPlaceholder() const {
    return SearchBar::defaultPlaceholder();
}

void RootSearchView::searchTextChanged(const QString& text) {
    m_controller.searchTextDidChange(text);
    // A search that was skipped (the controller's own rewrite) leaves the
    // sections as they were; a real one reports sectionsReloaded.
}

std::vector<MenuItem> RootSearchView::actions() const {
    const ListItem* item = m_controller.selectedItem();
    if (!item) return {};
    return m_controller.menuItems(*item);
}

QString RootSearchView::actionPanelTitle() const {
    const ListItem* item = m_controller.selectedItem();
    if (!item) return {};
    if (item->actionProvider) return item->actionProvider->actionPanelTitle();
    return item->title;
}

CommandOutcome RootSearchView::chooseSelected() {
    return m_controller.chooseSelectedItem();
}

void RootSearchView::selectItem(int index) {
    if (!m_controller.setSelectedIndex(index)) return;
    m_list->setSelectedItem(m_controller.selectedIndex());
    emit actionsChanged();
}

void RootSearchView::refresh() {
    m_list->setSections(m_controller.sections(), m_controller.selectedIndex());
    emit actionsChanged();
}

QStringList RootSearchView::listedTitles() const {
    QStringList titles;
    const ResultListModel* model = m_list->resultModel();
    for (int row = 0; row < model->rowCount(); ++row)
        if (model->itemIndexForRow(row)) titles << model->index(row).data(Qt::DisplayRole).toString();
    return titles;
}

void RootSearchView::viewDidAppear() {
    m_controller.viewWillAppear();
}

bool RootSearchView::handleKey(QKeyEvent* event) {
    const int count = int(m_controller.allItems().size());
    if (count == 0) return false;
    const int current = m_controller.selectedIndex().value_or(-1);
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    int next = current;
    switch (event->key()) {
        case Qt::Key_Up:
            next = current <= 0 ? 0 : current - 1;
            break;
        case Qt::Key_Down:
            next = std::min(count - 1, current + 1);
            break;
        case Qt::Key_PageUp:
            next = std::max(0, current - m_list->itemsPerPage());
            break;
        case Qt::Key_PageDown:
            next = std::min(count - 1, current + m_list->itemsPerPage());
            break;
        case Qt::Key_Home:
            if (!ctrl && !m_controller.searchText().isEmpty()) return false;
            next = 0;
            break;
        case Qt::Key_End:
            if (!ctrl && !m_controller.searchText().isEmpty()) return false;
            next = count - 1;
            break;
        case Qt::Key_N:
        case Qt::Key_J:
            if (!ctrl) return false;
            next = std::min(count - 1, current + 1);
            break;
        case Qt::Key_P:
            if (!ctrl) return false;
            next = current <= 0 ? 0 : current - 1;
            break;
        default:
            return false;
    }
    if (next != current) selectItem(next);
    return true;
}

void RootSearchView::handleEvent(const RootSearchEvent& event) {
    switch (event.kind) {
        case RootSearchEvent::Kind::toast:
            emit toastRequested(event.toast);
            break;
        case RootSearchEvent::Kind::searchTextReplaced:
            emit searchTextReplaced(event.text);
            break;
        case RootSearchEvent::Kind::argumentFieldsChanged:
            emit argumentFieldsChanged();
            break;
        case RootSearchEvent::Kind::sectionsReloaded:
            refresh();
            break;
        case RootSearchEvent::Kind::commandOutcome:
            if (event.outcome) emit commandOutcome(*event.outcome);
            break;
        case RootSearchEvent::Kind::calculatorHintChanged:
            emit calculatorHintChanged(event.text);
            break;
        case RootSearchEvent::Kind::selectionChanged:
            m_list->setSelectedItem(m_controller.selectedIndex());
            emit actionsChanged();
            break;
        case RootSearchEvent::Kind::argumentFocused:
            if (const std::optional<int> index = m_controller.searchBar().focusedArgumentIndex)
                emit argumentFocusRequested(*index);
            break;
    }
}

}  // namespace vantrel
