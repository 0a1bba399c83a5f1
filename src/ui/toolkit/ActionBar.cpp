#include "ui/toolkit/ActionBar.h"

#include "ui/toolkit/Theme.h"
#include "ui/toolkit/ToastView.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace vantrel {

namespace {

constexpr int keycapHeight = 20;
constexpr int keycapPadding = 5;
constexpr int keycapGap = 3;
constexpr int margin = 12;

int keycapWidth(const QString& key, const QFontMetrics& metrics) {
    return std::max(keycapHeight, metrics.horizontalAdvance(key) + 2 * keycapPadding);
}

QString keyName(const QString& displayText) {
    if (displayText == QLatin1String("Return")) return QStringLiteral("↵");
    if (displayText == QLatin1String("Backspace")) return QStringLiteral("⌫");
    return displayText;
}

}  // namespace

QStringList Keycaps::keys(const KeyCombination& combination) {
    QStringList result;
    const QString modifiers = modifierDisplayText(combination.modifierKeys);
    if (!modifiers.isEmpty()) result = modifiers.split(QLatin1Char('+'));
    result << keyName(combination.keyEquivalent.displayText());
    return result;
}

int Keycaps::width(const QStringList& keys, const QFont& font) {
    const QFontMetrics metrics(font);
    int total = 0;
    for (const QString& key : keys) total += keycapWidth(key, metrics);
    return keys.isEmpty() ? 0 : total + keycapGap * (int(keys.size()) - 1);
}

int Keycaps::paint(QPainter& painter, const QRect& rect, const QStringList& keys, const Theme& theme) {
    const int total = width(keys, theme.smallFont);
    const QFontMetrics metrics(theme.smallFont);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(theme.smallFont);
    int x = rect.right() + 1 - total;
    const int y = rect.top() + (rect.height() - keycapHeight) / 2;
    for (const QString& key : keys) {
        const QRectF cap(x, y, keycapWidth(key, metrics), keycapHeight);
        painter.setPen(Qt::NoPen);
        painter.setBrush(theme.keycapBackground);
        painter.drawRoundedRect(cap, 4, 4);
        painter.setPen(theme.keycapText);
        painter.drawText(cap, Qt::AlignCenter, key);
        x += int(cap.width()) + keycapGap;
    }
    painter.restore();
    return total;
}

ActionBar::ActionBar(QWidget* parent) : QWidget(parent) {
    setFixedHeight(barHeight);
    setObjectName(QStringLiteral("actionBar"));
    m_toast = new ToastView(this);
    m_toast->hide();
    connect(m_toast, &ToastView::dismissed, this, [this] {
        m_toast->hide();
        update();
    });
}

void ActionBar::setContext(const QPixmap& icon, const QString& title) {
    m_icon = icon;
    m_title = title;
    update();
}

void ActionBar::setPrimaryActionTitle(const QString& title) {
    m_primaryTitle = title;
    layoutToast();
    update();
}

void ActionBar::setHasActions(bool hasActions) {
    m_hasActions = hasActions;
    layoutToast();
    update();
}

void ActionBar::themeChanged() {
    update();
}

QRect ActionBar::actionsRect() const {
    if (!m_hasActions) return {};
    const Theme& theme = Theme::current();
    const QFontMetrics metrics(theme.baseFont);
    const int keys = Keycaps::width({QStringLiteral("Ctrl"), QStringLiteral("K")}, theme.smallFont);
    const int w = metrics.horizontalAdvance(QStringLiteral("Actions")) + 8 + keys + 12;
    return QRect(width() - margin + 6 - w, 6, w, height() - 12);
}

QRect ActionBar::primaryRect() const {
    if (m_primaryTitle.isEmpty()) return {};
    const Theme& theme = Theme::current();
    const QFontMetrics metrics(theme.baseFont);
    const int w =
        metrics.horizontalAdvance(m_primaryTitle) + 8 + Keycaps::width({QStringLiteral("↵")}, theme.smallFont) + 12;
    const QRect actions = actionsRect();
    const int right = actions.isNull() ? width() - margin + 6 : actions.left() - 17;
    return QRect(right - w, 6, w, height() - 12);
}

void ActionBar::layoutToast() {
    const QRect primary = primaryRect();
    const QRect actions = actionsRect();
    int right = width() - margin;
    if (!actions.isNull()) right = actions.left() - 8;
    if (!primary.isNull()) right = primary.left() - 8;
    const int toastHeight = std::min(m_toast->maximumHeight(), height() - 2);
    m_toast->setGeometry(margin - 4, (height() - toastHeight) / 2, std::max(0, right - margin + 4), toastHeight);
}

void ActionBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutToast();
}

void ActionBar::paintEvent(QPaintEvent*) {
    const Theme& theme = Theme::current();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), theme.barBackground);
    painter.setPen(theme.separator);
    painter.drawLine(QPointF(0, 0.5), QPointF(width(), 0.5));

    if (!m_toast->isVisible()) {
        int x = margin;
        if (!m_icon.isNull()) {
            const QSize size = m_icon.deviceIndependentSize().toSize();
            painter.drawPixmap(x, (height() - size.height()) / 2, m_icon);
            x += size.width() + 8;
        }
        painter.setFont(theme.baseFont);
        painter.setPen(theme.secondaryText);
        const QRect primary = primaryRect();
        const int right = primary.isNull() ? width() - margin : primary.left() - 8;
        const QRect titleRect(x, 0, std::max(0, right - x), height());
        painter.drawText(titleRect, Qt::AlignVCenter | Qt::AlignLeft,
                         QFontMetrics(theme.baseFont).elidedText(m_title, Qt::ElideRight, titleRect.width()));
    }

    const auto drawAction = [&](const QRect& area, const QString& title, const QStringList& keys, bool strong) {
        const int keysWidth = Keycaps::paint(painter, area.adjusted(0, 0, -6, 0), keys, theme);
        painter.setFont(theme.baseFont);
        painter.setPen(strong ? theme.primaryText : theme.secondaryText);
        painter.drawText(area.adjusted(6, 0, -6 - keysWidth - 8, 0), Qt::AlignVCenter | Qt::AlignRight, title);
    };
    const QRect primary = primaryRect();
    if (!primary.isNull()) drawAction(primary, m_primaryTitle, {QStringLiteral("↵")}, true);
    const QRect actions = actionsRect();
    if (!actions.isNull()) {
        if (!primary.isNull()) {
            painter.setPen(theme.separator);
            const int x = actions.left() - 9;
            painter.drawLine(QPointF(x + 0.5, 12), QPointF(x + 0.5, height() - 12));
        }
        drawAction(actions, QStringLiteral("Actions"), {QStringLiteral("Ctrl"), QStringLiteral("K")}, false);
    }
}

void ActionBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    if (primaryRect().contains(event->position().toPoint())) {
        emit primaryActionClicked();
    } else if (actionsRect().contains(event->position().toPoint())) {
        emit actionsClicked();
    } else {
        QWidget::mousePressEvent(event);
    }
}

}  // namespace vantrel
