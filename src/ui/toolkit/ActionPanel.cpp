#include "ui/toolkit/ActionPanel.h"

#include "ui/toolkit/ActionBar.h"
#include "ui/toolkit/Icons.h"
#include "ui/toolkit/Theme.h"

#include <QGraphicsDropShadowEffect>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QScrollArea>
#include <QVBoxLayout>

#include "search/Normalization.h"

namespace vantrel {

namespace {

constexpr int rowHeight = 34;
constexpr int separatorHeight = 9;
constexpr int maxListHeight = 330;
constexpr int iconSize = 16;

bool isFavoriteAction(const MenuItem& item) {
    return item.id == QLatin1String("addToFavorites") || item.id == QLatin1String("removeFromFavorites") ||
           item.id == QLatin1String("moveFavoriteUp") || item.id == QLatin1String("moveFavoriteDown");
}

}  // namespace

// The rows of the panel, painted: separators between the primary action, the
// item's other actions and the favourite actions.
class ActionPanelList : public QWidget {
public:
    explicit ActionPanelList(QWidget* parent) : QWidget(parent) { setMouseTracking(true); }

    struct Row {
        const MenuItem* item = nullptr;  // null: a separator
    };

    void setItems(const std::vector<MenuItem>* items, const QString& filter) {
        m_rows.clear();
        const QString needle = normalizedForSearch(filter.trimmed());
        int group = -1;
        for (size_t i = 0; items && i < items->size(); ++i) {
            const MenuItem& item = (*items)[i];
            if (!needle.isEmpty() && !normalizedForSearch(item.title).contains(needle)) continue;
            const int itemGroup = i == 0 ? 0 : isFavoriteAction(item) ? 2 : 1;
            if (needle.isEmpty() && group >= 0 && itemGroup != group) m_rows.push_back({nullptr});
            group = itemGroup;
            m_rows.push_back({&item});
        }
        m_selected = firstSelectable(0, 1);
        setFixedHeight(contentHeight());
        update();
    }

    int contentHeight() const {
        int h = 0;
        for (const Row& row : m_rows) h += row.item ? rowHeight : separatorHeight;
        return std::max(h, rowHeight);
    }

    int firstSelectable(int from, int step) const {
        for (int i = from; i >= 0 && i < int(m_rows.size()); i += step)
            if (m_rows[size_t(i)].item && m_rows[size_t(i)].item->isEnabled) return i;
        return -1;
    }

    void move(int step) {
        if (m_rows.empty()) return;
        const int start = m_selected < 0 ? (step > 0 ? 0 : int(m_rows.size()) - 1) : m_selected + step;
        const int next = firstSelectable(start, step);
        if (next >= 0) m_selected = next;
        update();
    }

    const MenuItem* selected() const { return m_selected >= 0 ? m_rows[size_t(m_selected)].item : nullptr; }
    int selectedRow() const { return m_selected; }
    QRect rowRect(int index) const {
        int y = 0;
        for (int i = 0; i < index; ++i) y += m_rows[size_t(i)].item ? rowHeight : separatorHeight;
        return QRect(0, y, width(), m_rows[size_t(index)].item ? rowHeight : separatorHeight);
    }
    QStringList titles() const {
        QStringList titles;
        for (const Row& row : m_rows)
            if (row.item) titles << row.item->title;
        return titles;
    }

    std::function<void(int)> onActivate;

protected:
    void paintEvent(QPaintEvent*) override {
        const Theme& theme = Theme::current();
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        if (m_rows.empty()) {
            painter.setFont(theme.baseFont);
            painter.setPen(theme.secondaryText);
            painter.drawText(rect(), Qt::AlignCenter, m_loading ? QStringLiteral("Loading…") : QStringLiteral("No matching actions"));
            return;
        }
        const qreal dpr = devicePixelRatioF();
        for (int i = 0; i < int(m_rows.size()); ++i) {
            const QRect r = rowRect(i);
            const MenuItem* item = m_rows[size_t(i)].item;
            if (!item) {
                painter.setPen(theme.separator);
                painter.drawLine(QPointF(r.left() + 8, r.center().y() + 0.5),
                                 QPointF(r.right() - 8, r.center().y() + 0.5));
                continue;
            }
            const QRect pill = r.adjusted(6, 1, -6, -1);
            if (i == m_selected) {
                painter.setPen(Qt::NoPen);
                painter.setBrush(theme.selectionBackground);
                painter.drawRoundedRect(pill, 6, 6);
            }
            int x = pill.left() + 10;
            const bool destructive = item->actionType == MenuItem::ActionType::destructive;
            if (item->image) {
                const QPixmap icon = Icons::pixmap(*item->image, iconSize, dpr);
                painter.drawPixmap(QRect(x, pill.top() + (pill.height() - iconSize) / 2, iconSize, iconSize), icon);
                x += iconSize + 10;
            }
            int right = pill.right() - 8;
            if (item->submenu() || item->loadSubmenu) {
                painter.setPen(QPen(theme.secondaryText, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                const QPointF c(right - 4, pill.center().y() + 0.5);
                painter.drawLine(c + QPointF(-3, -4), c);
                painter.drawLine(c + QPointF(-3, 4), c);
                right -= 16;
            }
            QStringList keys;
            if (i == firstSelectable(0, 1) && m_filterEmpty)
                keys << QStringLiteral("↵");
            else if (!item->shortcuts.empty())
                keys = Keycaps::keys(item->shortcuts.front());
            if (!keys.isEmpty())
                right -= Keycaps::paint(painter, QRect(pill.left(), pill.top(), right - pill.left(), pill.height()),
                                        keys, theme) +
                         10;
            painter.setFont(theme.baseFont);
            const QFontMetrics metrics = painter.fontMetrics();
            QColor color = destructive ? theme.failure : theme.primaryText;
            if (!item->isEnabled) color = theme.tertiaryText;
            painter.setPen(color);
            QString title = item->title;
            if (item->accessoryLabel) title += QStringLiteral("  ") + *item->accessoryLabel;
            painter.drawText(QRect(x, pill.top(), std::max(0, right - x), pill.height()),
                             Qt::AlignVCenter | Qt::AlignLeft,
                             metrics.horizontalAdvance(title) + 2 <= right - x
                                 ? title
                                 : metrics.elidedText(title, Qt::ElideRight, std::max(0, right - x)));
        }
    }

    void mouseMoveEvent(QMouseEvent* event) override {
        const int row = rowAt(event->position().toPoint());
        if (row >= 0 && m_rows[size_t(row)].item && row != m_selected) {
            m_selected = row;
            update();
        }
    }

    void mousePressEvent(QMouseEvent* event) override {
        const int row = rowAt(event->position().toPoint());
        if (row >= 0 && m_rows[size_t(row)].item && onActivate) {
            m_selected = row;
            onActivate(row);
        }
    }

public:
    bool m_filterEmpty = true;
    bool m_loading = false;

private:
    int rowAt(const QPoint& point) const {
        for (int i = 0; i < int(m_rows.size()); ++i)
            if (rowRect(i).contains(point)) return i;
        return -1;
    }

    std::vector<Row> m_rows;
    int m_selected = -1;
};

ActionPanel::ActionPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("actionPanel"));
    setFixedWidth(panelWidth);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 8, 1, 1);
    layout->setSpacing(4);
    m_title = new QLabel(this);
    m_title->setContentsMargins(14, 0, 14, 0);
    layout->addWidget(m_title);

    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->viewport()->setAutoFillBackground(false);
    scroll->setStyleSheet(QStringLiteral("QScrollArea { background: transparent; }"));
    m_list = new ActionPanelList(scroll);
    m_list->setAutoFillBackground(false);
    m_list->onActivate = [this](int row) { activate(row); };
    scroll->setWidget(m_list);
    // The scroll area paints its widget's background unless told otherwise.
    m_list->setAutoFillBackground(false);
    layout->addWidget(scroll, 1);

    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("actionPanelFilter"));
    m_filter->setFrame(false);
    m_filter->setPlaceholderText(QStringLiteral("Search for actions…"));
    m_filter->setFixedHeight(38);
    m_filter->installEventFilter(this);
    connect(m_filter, &QLineEdit::textChanged, this, [this] {
        // A submenu that filters itself is asked again for the new text.
        if (!m_levels.empty() && m_levels.back().filtersItself && m_levels.back().loader) load(m_filter->text());
        showLevel();
    });
    layout->addWidget(m_filter);
    // Lifts the panel off the list below it.
    auto* shadow = new QGraphicsDropShadowEffect(this);
    shadow->setBlurRadius(28);
    shadow->setOffset(0, 6);
    setGraphicsEffect(shadow);
    applyStyle();
    hide();
}

void ActionPanel::open(const QString& title, std::vector<MenuItem> items) {
    m_levels.clear();
    m_levels.push_back({title, std::move(items)});
    m_filter->clear();
    showLevel();
    show();
    raise();
    m_filter->setFocus(Qt::PopupFocusReason);
}

void ActionPanel::openSubmenu(const MenuItem& item) {
    m_levels.clear();
    enter(item);
    show();
    raise();
    m_filter->setFocus(Qt::PopupFocusReason);
}

void ActionPanel::enter(const MenuItem& item) {
    Level level;
    level.title = item.title;
    if (item.loadSubmenu) {
        level.loader = item.loadSubmenu;
        level.filtersItself = item.submenuFiltersItself;
    } else if (const auto* submenu = item.submenu()) {
        level.items = *submenu;
    }
    m_levels.push_back(std::move(level));
    m_filter->blockSignals(true);
    m_filter->clear();
    m_filter->blockSignals(false);
    if (m_levels.back().loader) load(QString());
    showLevel();
}

void ActionPanel::load(const QString& text) {
    Level& level = m_levels.back();
    const int request = ++level.request;
    const size_t depth = m_levels.size();
    level.loading = true;
    QPointer<ActionPanel> self(this);
    level.loader(text, [self, depth, request](std::vector<MenuItem> entries) {
        // The panel closed, left this submenu or asked again meanwhile: dropped.
        if (!self || self->m_levels.size() < depth) return;
        Level& answered = self->m_levels[depth - 1];
        if (answered.request != request || !answered.loader) return;
        answered.items = std::move(entries);
        answered.loading = false;
        if (self->m_levels.size() == depth) self->showLevel();
    });
}

void ActionPanel::close() {
    if (!isVisible()) return;
    hide();
    m_levels.clear();
    m_list->setItems(nullptr, {});
    emit closed();
}

QStringList ActionPanel::visibleTitles() const {
    return m_list->titles();
}

QString ActionPanel::filterText() const {
    return m_filter->text();
}

void ActionPanel::setFilterText(const QString& text) {
    m_filter->setText(text);
}

void ActionPanel::showLevel() {
    if (m_levels.empty()) return;
    const Level& level = m_levels.back();
    m_title->setText(level.title);
    m_title->setVisible(!level.title.isEmpty());
    m_list->m_filterEmpty = m_filter->text().trimmed().isEmpty();
    m_list->m_loading = level.loading && level.items.empty();
    m_list->setItems(&level.items, level.filtersItself ? QString() : m_filter->text());
    const int listHeight = std::min(m_list->contentHeight(), maxListHeight);
    const int titleHeight = level.title.isEmpty() ? 0 : m_title->sizeHint().height() + 4;
    setFixedHeight(8 + titleHeight + listHeight + 4 + m_filter->height() + 2);
    reposition(m_bottomMargin);
    update();
}

void ActionPanel::reposition(int bottomMargin) {
    m_bottomMargin = bottomMargin;
    if (!parentWidget()) return;
    move(parentWidget()->width() - width() - 10, parentWidget()->height() - bottomMargin - height() - 6);
}

void ActionPanel::activate(int) {
    const MenuItem* item = m_list->selected();
    if (!item || !item->isEnabled) return;
    if (item->submenu() || item->loadSubmenu) {
        const MenuItem opened = *item;
        enter(opened);
        return;
    }
    const MenuItem chosen = *item;
    close();
    emit triggered(chosen);
}

bool ActionPanel::handleKey(QKeyEvent* event) {
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
        case Qt::Key_Escape:
            if (m_levels.size() > 1) {
                m_levels.pop_back();
                m_filter->clear();
                showLevel();
            } else {
                close();
            }
            return true;
        case Qt::Key_Up:
            m_list->move(-1);
            return true;
        case Qt::Key_Down:
            m_list->move(1);
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            activate(m_list->selectedRow());
            return true;
        case Qt::Key_Backspace:
            if (m_filter->text().isEmpty() && m_levels.size() > 1) {
                m_levels.pop_back();
                showLevel();
                return true;
            }
            return false;
        case Qt::Key_K:
            if (ctrl) {
                close();
                return true;
            }
            return false;
        default:
            return false;
    }
}

bool ActionPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_filter && event->type() == QEvent::KeyPress && handleKey(static_cast<QKeyEvent*>(event)))
        return true;
    if (watched == m_filter && event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_K && (key->modifiers() & Qt::ControlModifier)) {
            event->accept();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ActionPanel::themeChanged() {
    applyStyle();
    update();
}

void ActionPanel::applyStyle() {
    const Theme& theme = Theme::current();
    if (auto* shadow = qobject_cast<QGraphicsDropShadowEffect*>(graphicsEffect()))
        shadow->setColor(theme.isDark() ? QColor(0, 0, 0, 150) : QColor(0, 0, 0, 60));
    m_title->setFont(theme.smallFont);
    m_title->setStyleSheet(QStringLiteral("QLabel { color: %1; }").arg(Theme::cssColor(theme.secondaryText)));
    m_filter->setFont(theme.baseFont);
    m_filter->setStyleSheet(
        QStringLiteral("QLineEdit { background: transparent; border: none; border-top: 1px solid %1; "
                       "padding: 0 14px; color: %2; }")
            .arg(Theme::cssColor(theme.separator), Theme::cssColor(theme.primaryText)));
    QPalette palette = m_filter->palette();
    palette.setColor(QPalette::PlaceholderText, theme.placeholderText);
    m_filter->setPalette(palette);
}

void ActionPanel::paintEvent(QPaintEvent*) {
    const Theme& theme = Theme::current();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(theme.windowBorder, 1));
    QColor background = theme.isDark() ? theme.windowBackground.lighter(118) : theme.windowBackground;
    background.setAlpha(255);
    painter.setBrush(background);
    painter.drawRoundedRect(r, 10, 10);
}

}  // namespace vantrel
