#include "ui/toolkit/ResultList.h"

#include "ui/toolkit/ActionBar.h"
#include "ui/toolkit/Icons.h"
#include "ui/toolkit/RemoteImages.h"
#include "ui/toolkit/Theme.h"

#include <QFile>
#include <QFontMetrics>
#include <QHash>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>

namespace vantrel {

namespace {

constexpr int sideMargin = 8;
constexpr int pillInset = 8;

// The Icon= value of a desktop entry's main group, remembered per file.
QString desktopEntryIcon(const QString& path) {
    static QHash<QString, QString> cache;
    const auto found = cache.constFind(path);
    if (found != cache.constEnd()) return *found;
    QString icon;
    QFile file(path);
    if (file.size() < 1024 * 1024 && file.open(QIODevice::ReadOnly)) {
        bool inMainGroup = false;
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            if (line.startsWith(QLatin1Char('['))) {
                if (inMainGroup) break;
                inMainGroup = line == QLatin1String("[Desktop Entry]");
            } else if (inMainGroup && line.startsWith(QLatin1String("Icon="))) {
                icon = line.mid(5).trimmed();
                break;
            }
        }
    }
    cache.insert(path, icon);
    return icon;
}

QPixmap itemIcon(const ListItem& item, int size, qreal dpr) {
    if (item.icon) return Icons::pixmap(*item.icon, size, dpr);
    if (item.kind == ListItem::Kind::application || item.kind == ListItem::Kind::preferencePane) {
        QString name = item.iconName.value_or(QString());
        if (name.isEmpty() && item.iconPath) {
            name =
                item.iconPath->endsWith(QLatin1String(".desktop")) ? desktopEntryIcon(*item.iconPath) : *item.iconPath;
        }
        if (!name.isEmpty()) return Icons::applicationIcon(name, size, dpr);
        return Icons::fallback(size, dpr);
    }
    if (item.command)
        if (const auto icon = item.command->icon()) return Icons::pixmap(icon->small, size, dpr);
    if (item.fallback)
        if (const auto icon = item.fallback->icon()) return Icons::pixmap(icon->small, size, dpr);
    if (item.inputCommand) return Icons::pixmap(item.inputCommand->icon().small, size, dpr);
    if (item.iconName && !item.iconName->isEmpty())
        return Icons::pixmap(ImageResource::named(*item.iconName), size, dpr);
    if (item.iconPath && !item.iconPath->isEmpty()) return Icons::applicationIcon(*item.iconPath, size, dpr);
    return Icons::fallback(size, dpr);
}

QColor runColour(const QString& name, const QColor& fallback) {
    if (name.isEmpty()) return fallback;
    if (name.startsWith(QLatin1Char('#'))) return QColor(name);
    return Theme::current().named(name);
}

// A run's text on one line: line breaks and tabs read as spaces.
QString oneLine(const QString& text) {
    QString line = text;
    for (QChar& c : line)
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t')) c = QLatin1Char(' ');
    return line;
}

QFont runFont(const QFont& base, const StyledTextRun& run) {
    QFont font = base;
    font.setUnderline(run.underline);
    font.setStrikeOut(run.strikethrough);
    return font;
}

}  // namespace

int ResultListDelegate::styledTextWidth(const std::vector<StyledTextRun>& runs, const QFont& font) {
    int width = 0;
    for (const StyledTextRun& run : runs)
        width += QFontMetrics(runFont(font, run)).horizontalAdvance(oneLine(run.text));
    return width;
}

void ResultListDelegate::drawStyledText(QPainter* painter, const std::vector<StyledTextRun>& runs, const QRect& rect,
                                        const QFont& font, const QColor& defaultColour) {
    int x = rect.left();
    const int right = rect.right() + 1;
    for (const StyledTextRun& run : runs) {
        if (x >= right) break;
        const QFont pieceFont = runFont(font, run);
        const QFontMetrics metrics(pieceFont);
        QString text = oneLine(run.text);
        int width = metrics.horizontalAdvance(text);
        // What does not fit ends in an ellipsis; nothing after it is drawn.
        const bool last = x + width > right;
        if (last) {
            text = metrics.elidedText(text, Qt::ElideRight, right - x);
            width = metrics.horizontalAdvance(text);
        }
        const QRect piece(x, rect.top(), width, rect.height());
        if (!run.background.isEmpty()) {
            const int height = metrics.height() + 2;
            painter->setPen(Qt::NoPen);
            painter->setBrush(runColour(run.background, Qt::transparent));
            painter->drawRoundedRect(
                QRectF(piece.left() - 1, piece.center().y() - height / 2.0 + 0.5, width + 2, height), 3, 3);
        }
        painter->setFont(pieceFont);
        painter->setPen(runColour(run.foreground, defaultColour));
        painter->drawText(piece, Qt::AlignVCenter | Qt::AlignLeft, text);
        x += width;
        if (last) break;
    }
}

// MARK: Model

ResultListModel::ResultListModel(QObject* parent) : QAbstractListModel(parent) {}

void ResultListModel::setSections(const std::vector<ListSection>& sections) {
    beginResetModel();
    m_rows.clear();
    m_itemRows.clear();
    int itemIndex = 0;
    for (const ListSection& section : sections) {
        if (section.items.empty()) continue;
        // The calculator's answer speaks for itself.
        if (section.id != RootSearchController::calculatorSectionId)
            m_rows.push_back({true, section.title, nullptr, -1});
        for (const ListItem& item : section.items) {
            m_itemRows.push_back(int(m_rows.size()));
            m_rows.push_back({false, {}, &item, itemIndex++});
        }
    }
    endResetModel();
}

int ResultListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

QString ResultListModel::typeLabel(const ListItem& item) {
    switch (item.kind) {
        case ListItem::Kind::application:
            return QStringLiteral("Application");
        case ListItem::Kind::preferencePane:
            return QStringLiteral("System Settings");
        case ListItem::Kind::command:
        case ListItem::Kind::inputCommand:
            return QStringLiteral("Command");
        case ListItem::Kind::draft:
            return QStringLiteral("Draft");
        case ListItem::Kind::calendarEvent:
            return QStringLiteral("Event");
        case ListItem::Kind::fallbackSearch:
        case ListItem::Kind::expression:
        case ListItem::Kind::gettingStarted:
        case ListItem::Kind::update:
        case ListItem::Kind::troubleshooting:
        case ListItem::Kind::other:
            break;
    }
    return {};
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(m_rows.size())) return {};
    const Row& row = m_rows[size_t(index.row())];
    if (role == IsHeaderRole) return row.isHeader;
    if (row.isHeader) return role == Qt::DisplayRole ? QVariant(row.title) : QVariant();
    const ListItem& item = *row.item;
    switch (role) {
        case Qt::DisplayRole:
            return item.title;
        case ItemIndexRole:
            return row.itemIndex;
        case SubtitleRole:
            return item.subtitle;
        case AccessoryRole:
            return item.accessory.value_or(QString());
        case TypeRole:
            return typeLabel(item);
        case IsExpressionRole:
            return item.kind == ListItem::Kind::expression;
        default:
            return {};
    }
}

Qt::ItemFlags ResultListModel::flags(const QModelIndex& index) const {
    if (!index.isValid() || index.row() >= int(m_rows.size()) || m_rows[size_t(index.row())].isHeader)
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

const ListItem* ResultListModel::item(int row) const {
    if (row < 0 || row >= int(m_rows.size())) return nullptr;
    return m_rows[size_t(row)].item;
}

int ResultListModel::rowForItem(int itemIndex) const {
    if (itemIndex < 0 || itemIndex >= int(m_itemRows.size())) return -1;
    return m_itemRows[size_t(itemIndex)];
}

std::optional<int> ResultListModel::itemIndexForRow(int row) const {
    if (row < 0 || row >= int(m_rows.size()) || m_rows[size_t(row)].isHeader) return std::nullopt;
    return m_rows[size_t(row)].itemIndex;
}

// MARK: Delegate

ResultListDelegate::ResultListDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

QSize ResultListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const int width = option.rect.width();
    if (index.data(ResultListModel::IsHeaderRole).toBool())
        return {width, index.row() == 0 ? headerHeight - 4 : headerHeight};
    if (index.data(ResultListModel::IsExpressionRole).toBool()) return {width, expressionHeight};
    return {width, rowHeight};
}

void ResultListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const Theme& theme = Theme::current();
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect rect = option.rect;

    if (index.data(ResultListModel::IsHeaderRole).toBool()) {
        painter->setFont(theme.sectionFont);
        painter->setPen(theme.secondaryText);
        const QRect text = rect.adjusted(sideMargin + pillInset + 2, 0, -sideMargin - pillInset, -6);
        painter->drawText(
            text, Qt::AlignLeft | Qt::AlignBottom,
            QFontMetrics(theme.sectionFont).elidedText(index.data().toString(), Qt::ElideRight, text.width()));
        painter->restore();
        return;
    }

    const auto* model = static_cast<const ResultListModel*>(index.model());
    const ListItem* item = model->item(index.row());
    const bool selected = index.row() == m_selectedRow;
    const bool hovered = !selected && (option.state & QStyle::State_MouseOver);
    if (item && item->kind == ListItem::Kind::expression) {
        paintExpression(painter, rect, *item, selected);
        painter->restore();
        return;
    }

    const QRect pill = rect.adjusted(sideMargin, 1, -sideMargin, -1);
    if (selected || hovered) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(selected ? theme.selectionBackground : theme.hoverBackground);
        painter->drawRoundedRect(pill, 8, 8);
    }

    int x = pill.left() + 10;
    if (item) {
        const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        const QPixmap icon = itemIcon(*item, iconSize, dpr);
        if (!icon.isNull()) {
            const QRect target(x, pill.top() + (pill.height() - iconSize) / 2, iconSize, iconSize);
            painter->drawPixmap(target, icon);
        }
    }
    x += iconSize + 12;

    int right = pill.right() - 12;
    // The item's kind, right-aligned in grey.
    const QString type = index.data(ResultListModel::TypeRole).toString();
    painter->setFont(theme.smallFont);
    const QFontMetrics small = painter->fontMetrics();
    if (!type.isEmpty()) {
        painter->setPen(theme.tertiaryText);
        const int w = small.horizontalAdvance(type);
        painter->drawText(QRect(right - w, pill.top(), w, pill.height()), Qt::AlignVCenter | Qt::AlignRight, type);
        right -= w + 14;
    }
    // Styled output (an inline script's) takes the room the row has, after
    // a fair share for the title; it ends in an ellipsis only when it must.
    const std::vector<StyledTextRun>* styled =
        item && !item->styledAccessory.empty() ? &item->styledAccessory : nullptr;
    painter->setFont(theme.baseFont);
    const QFontMetrics base = painter->fontMetrics();
    const QString title = index.data().toString();
    if (styled) {
        const int available = std::max(0, right - x);
        const int titleFull = base.horizontalAdvance(title) + 2;
        const int titleShare = std::min(titleFull, std::max(minimumTitleWidth, available / 3));
        const int outputWidth =
            std::max(0, std::min(styledTextWidth(*styled, theme.baseFont), available - titleShare - outputGap));
        if (outputWidth > 0) {
            drawStyledText(painter, *styled, QRect(right - outputWidth, pill.top(), outputWidth, pill.height()),
                           theme.baseFont, theme.secondaryText);
            right -= outputWidth + outputGap;
        }
    }
    painter->setFont(theme.smallFont);

    // The accessory (an alias) as a quiet tag.
    const QString accessory = styled ? QString() : index.data(ResultListModel::AccessoryRole).toString();
    if (!accessory.isEmpty()) {
        const int w = std::min(small.horizontalAdvance(accessory) + 16, 160);
        const QRect tag(right - w, pill.top() + (pill.height() - 20) / 2, w, 20);
        painter->setPen(Qt::NoPen);
        painter->setBrush(theme.keycapBackground);
        painter->drawRoundedRect(tag, 5, 5);
        painter->setPen(theme.secondaryText);
        painter->drawText(tag.adjusted(6, 0, -6, 0), Qt::AlignCenter,
                          small.elidedText(accessory, Qt::ElideRight, w - 12));
        right -= w + 10;
    }

    // Title, then the subtitle in grey on the same line.
    painter->setFont(theme.baseFont);
    const int available = std::max(0, right - x);
    const int titleWidth = std::min(base.horizontalAdvance(title) + 2, available);
    painter->setPen(theme.primaryText);
    painter->drawText(
        QRect(x, pill.top(), titleWidth, pill.height()), Qt::AlignVCenter | Qt::AlignLeft,
        base.horizontalAdvance(title) + 2 <= available ? title : base.elidedText(title, Qt::ElideRight, titleWidth));
    const QString subtitle = index.data(ResultListModel::SubtitleRole).toString();
    const int subtitleLeft = x + titleWidth + 8;
    if (!subtitle.isEmpty() && right - subtitleLeft > 24) {
        painter->setPen(theme.secondaryText);
        painter->drawText(QRect(subtitleLeft, pill.top(), right - subtitleLeft, pill.height()),
                          Qt::AlignVCenter | Qt::AlignLeft,
                          base.elidedText(subtitle, Qt::ElideRight, right - subtitleLeft));
    }
    painter->restore();
}

void ResultListDelegate::paintExpression(QPainter* painter, const QRect& rect, const ListItem& item,
                                         bool selected) const {
    const Theme& theme = Theme::current();
    const QRect card = rect.adjusted(sideMargin, 6, -sideMargin, -4);
    painter->setPen(selected ? QPen(theme.accent, 1.5) : QPen(theme.separator, 1));
    painter->setBrush(selected ? theme.selectionBackground : theme.fieldBackground);
    painter->drawRoundedRect(QRectF(card).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);

    const int half = card.width() / 2;
    const QRect left(card.left(), card.top(), half, card.height());
    const QRect right(card.left() + half, card.top(), card.width() - half, card.height());
    QFont big = theme.searchFont;
    if (big.pixelSize() > 0)
        big.setPixelSize(int(big.pixelSize() * 1.35));
    else
        big.setPointSizeF(big.pointSizeF() * 1.35);
    big.setWeight(QFont::DemiBold);
    const QFontMetrics bigMetrics(big);
    const QFontMetrics small(theme.smallFont);
    // Each half: the value, what it is in words (units, the kind of
    // calculation) under it, and the half's caption at the bottom.
    const auto drawSide = [&](const QRect& side, const QString& value, const QString& detail,
                              const QString& caption) {
        const QRect valueRect = side.adjusted(16, 8, -16, detail.isEmpty() ? -30 : -46);
        painter->setFont(big);
        painter->setPen(theme.primaryText);
        painter->drawText(valueRect, Qt::AlignCenter, bigMetrics.elidedText(value, Qt::ElideMiddle, valueRect.width()));
        painter->setFont(theme.smallFont);
        if (!detail.isEmpty()) {
            const QRect detailRect(side.left() + 16, valueRect.bottom() + 1, side.width() - 32, small.height());
            painter->setPen(theme.secondaryText);
            painter->drawText(detailRect, Qt::AlignCenter, small.elidedText(detail, Qt::ElideRight, detailRect.width()));
        }
        const QRect captionRect = side.adjusted(16, side.height() - 30, -16, -8);
        const int w = std::min(small.horizontalAdvance(caption) + 16, captionRect.width());
        const QRect tag(captionRect.center().x() - w / 2, captionRect.top() + 1, w, 20);
        painter->setPen(Qt::NoPen);
        painter->setBrush(theme.keycapBackground);
        painter->drawRoundedRect(tag, 10, 10);
        painter->setPen(theme.secondaryText);
        painter->drawText(tag, Qt::AlignCenter, small.elidedText(caption, Qt::ElideRight, w - 12));
    };
    const auto& output = item.expression ? std::optional(item.expression->output) : std::nullopt;
    drawSide(left, item.subtitle, output ? output->expressionMetadata.value_or(QString()) : QString(),
             QStringLiteral("Question"));
    drawSide(right, item.title, item.accessory.value_or(QString()), QStringLiteral("Answer"));

    // The arrow between question and answer.
    painter->setPen(QPen(theme.tertiaryText, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QPointF c(card.left() + half, card.top() + (card.height() - 20) / 2.0);
    painter->drawLine(c + QPointF(-8, 0), c + QPointF(8, 0));
    painter->drawLine(c + QPointF(3, -5), c + QPointF(8, 0));
    painter->drawLine(c + QPointF(3, 5), c + QPointF(8, 0));
}

// MARK: View

ResultListView::ResultListView(QWidget* parent) : QListView(parent) {
    m_model = new ResultListModel(this);
    m_delegate = new ResultListDelegate(this);
    setModel(m_model);
    setItemDelegate(m_delegate);
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::NoFocus);
    setSelectionMode(QAbstractItemView::NoSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setUniformItemSizes(false);
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover);
    viewport()->setAttribute(Qt::WA_Hover);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    setSpacing(0);
    verticalScrollBar()->setSingleStep(ResultListDelegate::rowHeight / 2);
    // Icons of links arrive after the rows were drawn.
    connect(&RemoteImages::shared(), &RemoteImages::imageArrived, viewport(), qOverload<>(&QWidget::update));
    setStyleSheet(
        QStringLiteral("QListView { background: transparent; border: none; }"
                       "QScrollBar:vertical { background: transparent; width: 8px; margin: 2px; }"
                       "QScrollBar::handle:vertical { background: rgba(128,128,128,0.35); border-radius: 2px; "
                       "min-height: 24px; }"
                       "QScrollBar::add-line, QScrollBar::sub-line { height: 0; }"
                       "QScrollBar::add-page, QScrollBar::sub-page { background: transparent; }"));
}

void ResultListView::setSections(const std::vector<ListSection>& sections, std::optional<int> selectedItem) {
    m_model->setSections(sections);
    m_selected.reset();
    setSelectedItem(selectedItem);
    if (!selectedItem || *selectedItem == 0) verticalScrollBar()->setValue(0);
}

void ResultListView::setSelectedItem(std::optional<int> itemIndex) {
    m_selected = itemIndex;
    const int row = itemIndex ? m_model->rowForItem(*itemIndex) : -1;
    m_delegate->setSelectedRow(row);
    if (row >= 0) {
        // Keep the section title in view above the first item.
        if (*itemIndex == 0 ||
            (row > 0 && m_model->data(m_model->index(row - 1), ResultListModel::IsHeaderRole).toBool()))
            scrollTo(m_model->index(std::max(0, row - 1)), QAbstractItemView::EnsureVisible);
        scrollTo(m_model->index(row), QAbstractItemView::EnsureVisible);
    }
    viewport()->update();
}

int ResultListView::itemsPerPage() const {
    return std::max(1, viewport()->height() / ResultListDelegate::rowHeight - 1);
}

void ResultListView::mousePressEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (const auto item = m_model->itemIndexForRow(index.row()); item && event->button() == Qt::LeftButton) {
        emit itemClicked(*item);
        return;
    }
    QListView::mousePressEvent(event);
}

void ResultListView::mouseDoubleClickEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (const auto item = m_model->itemIndexForRow(index.row()); item && event->button() == Qt::LeftButton) {
        emit itemActivated(*item);
        return;
    }
    QListView::mouseDoubleClickEvent(event);
}

}  // namespace vantrel
