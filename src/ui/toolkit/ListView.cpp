#include "ui/toolkit/ListView.h"

#include "search/Normalization.h"
#include "ui/toolkit/Icons.h"
#include "ui/toolkit/RemoteImages.h"
#include "ui/toolkit/Theme.h"

#include <QAbstractListModel>
#include <QBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace vantrel {

namespace {

constexpr int rowHeight = 42;
constexpr int headerHeight = 30;
constexpr int iconSize = 22;
constexpr int sideMargin = 8;

enum Role { IsHeaderRole = Qt::UserRole + 1, ItemPointerRole, VisibleIndexRole };

}  // namespace

// The visible rows: a header per section that has matches, then its items.
class ListViewModel : public QAbstractListModel {
public:
    struct Row {
        QString header;
        const ListView::Item* item = nullptr;
        int visibleIndex = -1;
    };

    using QAbstractListModel::QAbstractListModel;

    void setRows(std::vector<Row> rows) {
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
    }
    const std::vector<Row>& rows() const { return m_rows; }
    // The row showing an item, or -1.
    int rowOf(const ListView::Item* item) const {
        for (int i = 0; i < int(m_rows.size()); ++i)
            if (m_rows[size_t(i)].item == item) return i;
        return -1;
    }
    int rowForVisible(int visibleIndex) const {
        for (int i = 0; i < int(m_rows.size()); ++i) {
            if (m_rows[size_t(i)].visibleIndex == visibleIndex) return i;
        }
        return -1;
    }

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(m_rows.size()); }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= int(m_rows.size())) return {};
        const Row& row = m_rows[size_t(index.row())];
        switch (role) {
            case Qt::DisplayRole:
                return row.item ? row.item->title : row.header;
            case IsHeaderRole:
                return row.item == nullptr;
            case VisibleIndexRole:
                return row.visibleIndex;
            default:
                return {};
        }
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        if (!index.isValid()) return Qt::NoItemFlags;
        return m_rows[size_t(index.row())].item ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::ItemIsEnabled;
    }
    const ListView::Item* item(int row) const {
        return row >= 0 && row < int(m_rows.size()) ? m_rows[size_t(row)].item : nullptr;
    }

private:
    std::vector<Row> m_rows;
};

namespace {

class ListViewDelegate : public QStyledItemDelegate {
public:
    ListViewDelegate(ListViewModel* model, QObject* parent) : QStyledItemDelegate(parent), m_model(model) {}
    void setSelectedRow(int row) { m_selectedRow = row; }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const bool header = index.data(IsHeaderRole).toBool();
        return {option.rect.width(), header ? headerHeight : rowHeight};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const Theme& theme = Theme::current();
        painter->save();
        painter->setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
        const QRect rect = option.rect.adjusted(sideMargin, 0, -sideMargin, 0);
        if (index.data(IsHeaderRole).toBool()) {
            painter->setFont(theme.sectionFont);
            painter->setPen(theme.secondaryText);
            painter->drawText(rect.adjusted(10, 8, -10, 0), Qt::AlignLeft | Qt::AlignVCenter,
                              index.data(Qt::DisplayRole).toString());
            painter->restore();
            return;
        }
        const ListView::Item* item = m_model->item(index.row());
        if (!item) {
            painter->restore();
            return;
        }
        const bool selected = index.row() == m_selectedRow;
        const bool hovered = option.state.testFlag(QStyle::State_MouseOver);
        if (selected || hovered) {
            QPainterPath pill;
            pill.addRoundedRect(QRectF(rect).adjusted(0, 1, 0, -1), 8, 8);
            painter->fillPath(pill, selected ? theme.selectionBackground : theme.hoverBackground);
        }

        int x = rect.left() + 10;
        const int centreY = rect.center().y();
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        if (item->icon) {
            const QPixmap icon = Icons::pixmap(*item->icon, iconSize, ratio);
            painter->drawPixmap(QPoint(x, centreY - iconSize / 2 + 1), icon);
            x += iconSize + 12;
        }

        // Accessories from the right edge inwards.
        int right = rect.right() - 12;
        painter->setFont(theme.smallFont);
        const QFontMetrics smallMetrics(theme.smallFont);
        for (auto accessory = item->accessories.rbegin(); accessory != item->accessories.rend(); ++accessory) {
            if (!accessory->text.isEmpty()) {
                const int width = smallMetrics.horizontalAdvance(accessory->text);
                painter->setPen(theme.secondaryText);
                painter->drawText(QRect(right - width, rect.top(), width, rect.height()),
                                  Qt::AlignVCenter | Qt::AlignRight, accessory->text);
                right -= width + 6;
            }
            if (accessory->icon) {
                const int side = 16;
                painter->drawPixmap(QPoint(right - side, centreY - side / 2 + 1),
                                    Icons::pixmap(*accessory->icon, side, ratio));
                right -= side + 6;
            }
            right -= 8;
        }

        const int available = std::max(0, right - x - 8);
        QFont titleFont = theme.baseFont;
        const QFontMetrics titleMetrics(titleFont);
        QString title = titleMetrics.elidedText(item->title, Qt::ElideRight, available);
        painter->setFont(titleFont);
        painter->setPen(theme.primaryText);
        const int titleWidth = titleMetrics.horizontalAdvance(title);
        painter->drawText(QRect(x, rect.top(), titleWidth + 1, rect.height()), Qt::AlignVCenter | Qt::AlignLeft, title);
        const int subtitleRoom = available - titleWidth - 10;
        if (!item->subtitle.isEmpty() && subtitleRoom > 20) {
            painter->setFont(theme.baseFont);
            painter->setPen(theme.secondaryText);
            const QString subtitle = titleMetrics.elidedText(item->subtitle, Qt::ElideRight, subtitleRoom);
            painter->drawText(QRect(x + titleWidth + 10, rect.top(), subtitleRoom, rect.height()),
                              Qt::AlignVCenter | Qt::AlignLeft, subtitle);
        }
        painter->restore();
    }

private:
    ListViewModel* m_model;
    int m_selectedRow = -1;
};

class ListWidget : public QListView {
public:
    std::function<void(int row)> clicked;
    std::function<void(int row)> activated;

    using QListView::QListView;

protected:
    void mousePressEvent(QMouseEvent* event) override {
        const QModelIndex index = indexAt(event->pos());
        if (index.isValid() && clicked) clicked(index.row());
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        const QModelIndex index = indexAt(event->pos());
        if (index.isValid() && activated) activated(index.row());
    }
};

QStringList words(const QString& text) {
    static const QRegularExpression separators(QStringLiteral("[\\s\\-_./:,;()\\[\\]]+"));
    return normalizedForSearch(text).split(separators, Qt::SkipEmptyParts);
}

bool matches(const ListView::Item& item, const QStringList& queryWords) {
    if (queryWords.isEmpty()) return true;
    const QString title = normalizedForSearch(item.title);
    QStringList itemWords = words(item.title);
    itemWords += words(item.subtitle);
    for (const QString& keyword : item.keywords) itemWords += words(keyword);
    for (const QString& word : queryWords) {
        if (title.contains(word)) continue;
        const bool prefix = std::any_of(itemWords.cbegin(), itemWords.cend(),
                                        [&](const QString& candidate) { return candidate.startsWith(word); });
        if (!prefix) return false;
    }
    return true;
}

}  // namespace

ListView::ListView(QString title, QWidget* parent)
    : LauncherView(parent),
      m_title(std::move(title)),
      m_placeholder(QStringLiteral("Search…")),
      m_emptyText(QStringLiteral("No Results")) {
    setObjectName(QStringLiteral("listView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(0);

    m_model = new ListViewModel(this);
    auto* list = new ListWidget(this);
    m_list = list;
    m_list->setModel(m_model);
    auto* delegate = new ListViewDelegate(m_model, m_list);
    m_list->setItemDelegate(delegate);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setMouseTracking(true);
    m_list->setUniformItemSizes(false);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->viewport()->setAutoFillBackground(false);
    m_list->setAutoFillBackground(false);
    m_list->setStyleSheet(QStringLiteral("QListView { background: transparent; border: none; }") +
                          Theme::current().scrollBarStyleSheet());
    // Icons of links arrive after the rows were drawn.
    connect(&RemoteImages::shared(), &RemoteImages::imageArrived, m_list->viewport(), qOverload<>(&QWidget::update));
    list->clicked = [this](int row) {
        const auto& rows = m_model->rows();
        if (row >= 0 && row < int(rows.size()) && rows[size_t(row)].item) selectVisible(rows[size_t(row)].visibleIndex);
    };
    list->activated = [this](int row) {
        const auto& rows = m_model->rows();
        if (row < 0 || row >= int(rows.size()) || !rows[size_t(row)].item) return;
        selectVisible(rows[size_t(row)].visibleIndex);
        emit itemActivated(rows[size_t(row)].item->id);
    };
    layout->addWidget(m_list, 1);

    m_empty = new QLabel(this);
    m_empty->setObjectName(QStringLiteral("listEmptyText"));
    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->setWordWrap(true);
    layout->addWidget(m_empty, 1);
    m_empty->hide();
    updateEmptyState();
}

ListView::~ListView() = default;

std::optional<ListView::Section> ListView::couldNotReadSection(const QStringList& notes, int firstIndex,
                                                               const std::vector<MenuItem>& actions) {
    if (notes.isEmpty()) return std::nullopt;
    Section section{QStringLiteral("Could Not Read"), {}};
    int index = firstIndex;
    for (const QString& note : notes) {
        Item item;
        item.id = QStringLiteral("note-%1").arg(index++);
        item.title = note;
        item.icon = ImageResource::emoji(QStringLiteral("⚠️"));
        item.actions = actions;
        section.items.push_back(std::move(item));
    }
    return section;
}

void ListView::setSections(std::vector<Section> sections) {
    const QString previous = selectedItem() ? selectedItem()->id : QString();
    m_sections = std::move(sections);
    m_selected = -1;
    refilter();
    if (!previous.isEmpty()) selectItem(previous);
}

void ListView::setEmptyText(const QString& text) {
    m_emptyText = text;
    updateEmptyState();
}

void ListView::setSearchPlaceholder(const QString& text) {
    m_placeholder = text;
}

void ListView::setFiltering(bool enabled) {
    // Unchanged, the rows stay as they are (no reset, no repaint).
    if (enabled == m_filtering) return;
    m_filtering = enabled;
    refilter();
}

void ListView::replaceSections(std::vector<Section> sections) {
    const QString selected = selectedItem() ? selectedItem()->id : QString();
    std::erase_if(sections, [](const Section& section) { return section.items.empty(); });
    setSections(std::move(sections));
    if (!selected.isEmpty()) selectItem(selected);
}

int ListView::updateItems(std::vector<Section> sections) {
    std::erase_if(sections, [](const Section& section) { return section.items.empty(); });
    if (sections.size() != m_sections.size()) return -1;
    const auto sameAccessories = [](const std::vector<Accessory>& a, const std::vector<Accessory>& b) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (a[i].text != b[i].text || a[i].icon != b[i].icon) return false;
        return true;
    };
    std::vector<std::pair<size_t, size_t>> changed;
    for (size_t s = 0; s < sections.size(); ++s) {
        if (sections[s].title != m_sections[s].title || sections[s].items.size() != m_sections[s].items.size()) return -1;
        for (size_t i = 0; i < sections[s].items.size(); ++i) {
            const Item& next = sections[s].items[i];
            const Item& now = m_sections[s].items[i];
            if (next.id != now.id) return -1;
            if (next.title != now.title || next.subtitle != now.subtitle || next.icon != now.icon || next.keywords != now.keywords ||
                !sameAccessories(next.accessories, now.accessories))
                changed.push_back({s, i});
        }
    }
    // A changed text may change what the filter lets through: that is a new list.
    if (!changed.empty() && m_filtering && !words(m_query).isEmpty()) return -1;
    for (size_t s = 0; s < sections.size(); ++s)
        for (size_t i = 0; i < sections[s].items.size(); ++i) m_sections[s].items[i] = std::move(sections[s].items[i]);
    // Rows read their item when painted, and their heights never depend on
    // the texts: repainting the changed rows is enough. (A dataChanged from
    // the model would make the list lay out and repaint every row again.)
    for (const auto& [s, i] : changed)
        if (const int row = m_model->rowOf(&m_sections[s].items[i]); row >= 0) m_list->update(m_model->index(row));
    emit actionsChanged();
    return int(changed.size());
}

void ListView::setDetailPane(QWidget* detail, QWidget* header) {
    auto* box = static_cast<QBoxLayout*>(layout());
    auto* left = new QWidget(this);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->setSpacing(4);
    if (header) leftLayout->addWidget(header);
    while (box->count() > 0) {
        QLayoutItem* item = box->takeAt(0);
        if (QWidget* widget = item->widget()) leftLayout->addWidget(widget, 1);
        delete item;
    }
    box->setDirection(QBoxLayout::LeftToRight);
    box->addWidget(left, 2);
    detail->setParent(this);
    box->addWidget(detail, 3);
}

QString ListView::title() const {
    return m_title;
}

QString ListView::searchPlaceholder() const {
    return m_placeholder;
}

void ListView::searchTextChanged(const QString& text) {
    if (text == m_query) return;
    m_query = text;
    m_selected = -1;
    refilter();
    emit queryChanged(text);
}

QString ListView::searchText() const {
    return m_query;
}

std::vector<MenuItem> ListView::actions() const {
    const Item* item = selectedItem();
    return item ? item->actions : std::vector<MenuItem>{};
}

std::vector<const ListView::Item*> ListView::visibleItems() const {
    std::vector<const Item*> items;
    for (const auto& row : m_model->rows()) {
        if (row.item) items.push_back(row.item);
    }
    return items;
}

const ListView::Item* ListView::selectedItem() const {
    const auto items = visibleItems();
    if (m_selected < 0 || m_selected >= int(items.size())) return nullptr;
    return items[size_t(m_selected)];
}

bool ListView::selectItem(const QString& id) {
    const auto items = visibleItems();
    for (int i = 0; i < int(items.size()); ++i) {
        if (items[size_t(i)]->id == id) {
            selectVisible(i);
            return true;
        }
    }
    return false;
}

void ListView::moveSelection(int delta) {
    const int count = int(visibleItems().size());
    if (count == 0) return;
    selectVisible(std::clamp(m_selected + delta, 0, count - 1));
}

bool ListView::isShowingEmptyView() const {
    return m_empty->isVisibleTo(this);
}

QString ListView::emptyText() const {
    return m_empty->text();
}

bool ListView::handleKey(QKeyEvent* event) {
    const bool control = event->modifiers().testFlag(Qt::ControlModifier);
    switch (event->key()) {
        case Qt::Key_Up:
            moveSelection(-1);
            return true;
        case Qt::Key_Down:
            moveSelection(1);
            return true;
        case Qt::Key_P:
            if (!control) return false;
            moveSelection(-1);
            return true;
        case Qt::Key_N:
            if (!control) return false;
            moveSelection(1);
            return true;
        case Qt::Key_PageUp:
            moveSelection(-pageSize());
            return true;
        case Qt::Key_PageDown:
            moveSelection(pageSize());
            return true;
        case Qt::Key_Home:
            if (!control) return false;
            moveSelection(-int(visibleItems().size()));
            return true;
        case Qt::Key_End:
            if (!control) return false;
            moveSelection(int(visibleItems().size()));
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (event->modifiers() != Qt::NoModifier && event->modifiers() != Qt::KeypadModifier) return false;
            if (const Item* item = selectedItem()) {
                emit itemActivated(item->id);
                return true;
            }
            return false;
        default:
            return false;
    }
}

void ListView::refilter() {
    const QStringList queryWords = m_filtering ? words(m_query) : QStringList();
    std::vector<ListViewModel::Row> rows;
    int visible = 0;
    for (const Section& section : m_sections) {
        bool headerAdded = false;
        for (const Item& item : section.items) {
            if (!matches(item, queryWords)) continue;
            if (!headerAdded && !section.title.isEmpty()) {
                rows.push_back({section.title, nullptr, -1});
            }
            headerAdded = true;
            rows.push_back({{}, &item, visible++});
        }
    }
    m_model->setRows(std::move(rows));
    updateEmptyState();
    selectVisible(visible > 0 ? std::clamp(m_selected, 0, visible - 1) : -1);
}

void ListView::selectVisible(int index) {
    const bool changed = index != m_selected;
    m_selected = index;
    const int row = index >= 0 ? m_model->rowForVisible(index) : -1;
    static_cast<ListViewDelegate*>(m_list->itemDelegate())->setSelectedRow(row);
    if (row >= 0) {
        // Keep the section title in sight when the first row of a section is selected.
        if (row > 0 && !m_model->item(row - 1)) m_list->scrollTo(m_model->index(row - 1));
        m_list->scrollTo(m_model->index(row));
    }
    m_list->viewport()->update();
    if (changed) {
        emit selectionChanged();
        emit actionsChanged();
    }
}

int ListView::pageSize() const {
    return std::max(1, m_list->viewport()->height() / rowHeight - 1);
}

void ListView::updateEmptyState() {
    const Theme& theme = Theme::current();
    const bool empty = m_model->rowCount() == 0;
    m_empty->setText(m_emptyText);
    QFont font = theme.baseFont;
    font.setPixelSize(15);
    m_empty->setFont(font);
    QPalette palette = m_empty->palette();
    palette.setColor(QPalette::WindowText, theme.secondaryText);
    m_empty->setPalette(palette);
    m_empty->setVisible(empty);
    m_list->setVisible(!empty);
}

}  // namespace vantrel
