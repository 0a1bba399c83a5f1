#include "ui/toolkit/ToastView.h"

#include "platform/Platform.h"
#include "platform/WindowSystem.h"
#include "ui/toolkit/Icons.h"
#include "ui/toolkit/Theme.h"

#include <QCursor>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace vantrel {

namespace {

// The round badge at the start of a toast: a check, a cross or a spinning arc.
class ToastBadge : public QWidget {
public:
    explicit ToastBadge(QWidget* parent) : QWidget(parent) {
        setFixedSize(18, 18);
        m_timer.setInterval(16);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            m_angle = (m_angle + 8) % 360;
            update();
        });
    }

    void setStyle(Toast::Style style) {
        m_style = style;
        if (style == Toast::Style::animated && isVisible()) {
            m_timer.start();
        } else if (style != Toast::Style::animated) {
            m_timer.stop();
        }
        update();
    }
    bool isSpinning() const { return m_timer.isActive(); }

protected:
    void showEvent(QShowEvent*) override {
        if (m_style == Toast::Style::animated) m_timer.start();
    }
    void hideEvent(QHideEvent*) override { m_timer.stop(); }

    void paintEvent(QPaintEvent*) override {
        const Theme& theme = Theme::current();
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF circle = QRectF(rect()).adjusted(1, 1, -1, -1);
        if (m_style == Toast::Style::animated) {
            QColor track = theme.secondaryText;
            track.setAlphaF(0.25f);
            painter.setPen(QPen(track, 2.0));
            painter.drawEllipse(circle.adjusted(1, 1, -1, -1));
            painter.setPen(QPen(theme.primaryText, 2.0, Qt::SolidLine, Qt::RoundCap));
            painter.drawArc(circle.adjusted(1, 1, -1, -1), -m_angle * 16, 100 * 16);
            return;
        }
        const bool success = m_style == Toast::Style::success;
        painter.setPen(Qt::NoPen);
        painter.setBrush(success ? theme.success : theme.failure);
        painter.drawEllipse(circle);
        painter.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        const QPointF c = circle.center();
        if (success) {
            QPainterPath check;
            check.moveTo(c + QPointF(-3.8, 0.2));
            check.lineTo(c + QPointF(-1.2, 2.8));
            check.lineTo(c + QPointF(3.9, -2.6));
            painter.drawPath(check);
        } else {
            painter.drawLine(c + QPointF(-3, -3), c + QPointF(3, 3));
            painter.drawLine(c + QPointF(3, -3), c + QPointF(-3, 3));
        }
    }

private:
    Toast::Style m_style = Toast::Style::success;
    QTimer m_timer;
    int m_angle = 0;
};

}  // namespace

struct ToastView::Private {
    Toast toast;
    bool showing = false;
    std::function<void()> onCancel;
    ToastBadge* badge = nullptr;
    QLabel* title = nullptr;
    QLabel* message = nullptr;
    QPushButton* cancel = nullptr;
    QTimer hideTimer;
};

ToastView::ToastView(QWidget* parent) : QWidget(parent), d(std::make_unique<Private>()) {
    setObjectName(QStringLiteral("toastView"));
    setAttribute(Qt::WA_StyledBackground, false);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setFixedHeight(30);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 0, 6, 0);
    layout->setSpacing(8);
    d->badge = new ToastBadge(this);
    d->title = new QLabel(this);
    d->title->setObjectName(QStringLiteral("toastTitle"));
    d->message = new QLabel(this);
    d->message->setObjectName(QStringLiteral("toastMessage"));
    d->message->setTextFormat(Qt::PlainText);
    d->title->setTextFormat(Qt::PlainText);
    d->message->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    d->cancel = new QPushButton(QStringLiteral("Cancel"), this);
    d->cancel->setObjectName(QStringLiteral("toastCancel"));
    d->cancel->setCursor(Qt::PointingHandCursor);
    d->cancel->setFocusPolicy(Qt::NoFocus);
    d->cancel->hide();
    layout->addWidget(d->badge);
    layout->addWidget(d->title);
    layout->addWidget(d->message, 1);
    layout->addWidget(d->cancel);

    d->hideTimer.setSingleShot(true);
    d->hideTimer.setInterval(3000);
    connect(&d->hideTimer, &QTimer::timeout, this, &ToastView::dismiss);
    connect(d->cancel, &QPushButton::clicked, this, [this] {
        d->cancel->hide();
        if (auto onCancel = std::exchange(d->onCancel, {})) onCancel();
    });
    hide();
}

ToastView::~ToastView() = default;

void ToastView::present(const Toast& toast, std::function<void()> onCancel) {
    const Theme& theme = Theme::current();
    d->toast = toast;
    d->showing = true;
    d->onCancel = std::move(onCancel);

    QFont titleFont = theme.baseFont;
    titleFont.setPixelSize(13);
    titleFont.setWeight(QFont::DemiBold);
    d->title->setFont(titleFont);
    d->title->setText(toast.title);
    QFont messageFont = theme.baseFont;
    messageFont.setPixelSize(13);
    d->message->setFont(messageFont);
    // One line: a long message is cut with an ellipsis rather than pushing the bar's other content away.
    d->message->setText(QFontMetrics(messageFont).elidedText(toast.message.simplified(), Qt::ElideRight, 420));
    d->message->setToolTip(toast.message.size() > 60 ? toast.message : QString());
    d->message->setVisible(!toast.message.isEmpty());
    QPalette labels = palette();
    labels.setColor(QPalette::WindowText, theme.primaryText);
    d->title->setPalette(labels);
    labels.setColor(QPalette::WindowText, theme.secondaryText);
    d->message->setPalette(labels);

    d->cancel->setFont(theme.smallFont);
    d->cancel->setStyleSheet(
        QStringLiteral("QPushButton { color: %1; background: %2; border: none; border-radius: 5px;"
                       " padding: 3px 10px; }"
                       "QPushButton:hover { background: %3; }")
            .arg(theme.primaryText.name(), theme.keycapBackground.name(), theme.fieldBorder.name()));
    d->cancel->setVisible(static_cast<bool>(d->onCancel));

    d->badge->setStyle(toast.style);
    if (toast.style == Toast::Style::animated) {
        d->hideTimer.stop();
    } else {
        d->hideTimer.start();
    }
    show();
    update();
}

void ToastView::dismiss() {
    d->hideTimer.stop();
    const bool wasShowing = d->showing;
    d->showing = false;
    d->onCancel = {};
    hide();
    if (wasShowing) emit dismissed();
}

bool ToastView::isShowingToast() const {
    return d->showing;
}

const Toast& ToastView::toast() const {
    return d->toast;
}

void ToastView::setAutoHideInterval(int milliseconds) {
    d->hideTimer.setInterval(milliseconds);
}

bool ToastView::isSpinning() const {
    return d->badge->isSpinning();
}

bool ToastView::hasCancelButton() const {
    return d->cancel->isVisibleTo(this);
}

void ToastView::cancel() {
    if (hasCancelButton()) d->cancel->click();
}

void ToastView::paintEvent(QPaintEvent*) {
    const Theme& theme = Theme::current();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF pill = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QColor fill = theme.isDark() ? theme.selectionBackground : theme.windowBackground;
    painter.setBrush(fill);
    painter.setPen(QPen(theme.fieldBorder, 1.0));
    painter.drawRoundedRect(pill, pill.height() / 2, pill.height() / 2);
}

// --- HUD --------------------------------------------------------------------

namespace {

// Without a compositor translucent pixels would show black, so the HUD is
// then drawn opaque and cut to shape with a mask.
bool compositorRuns() {
    const auto& windows = platform().windows;
    return windows && windows->compositorRunning();
}

}  // namespace

struct HUDWindow::Private {
    QLabel* icon = nullptr;
    QLabel* label = nullptr;
    QTimer hideTimer;
    QPropertyAnimation* fade = nullptr;
    bool translucent = false;
};

HUDWindow::HUDWindow(QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus |
                          Qt::BypassWindowManagerHint),
      d(std::make_unique<Private>()) {
    setObjectName(QStringLiteral("hudWindow"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    d->translucent = compositorRuns();
    if (d->translucent) setAttribute(Qt::WA_TranslucentBackground);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(18, 10, 20, 10);
    layout->setSpacing(10);
    d->icon = new QLabel(this);
    d->icon->setFixedSize(18, 18);
    d->icon->hide();
    d->label = new QLabel(this);
    d->label->setObjectName(QStringLiteral("hudText"));
    d->label->setTextFormat(Qt::PlainText);
    layout->addWidget(d->icon);
    layout->addWidget(d->label);

    d->hideTimer.setSingleShot(true);
    d->hideTimer.setInterval(2000);
    d->fade = new QPropertyAnimation(this, "windowOpacity", this);
    d->fade->setDuration(220);
    d->fade->setStartValue(1.0);
    d->fade->setEndValue(0.0);
    connect(d->fade, &QPropertyAnimation::finished, this, [this] {
        hide();
        setWindowOpacity(1.0);
    });
    connect(&d->hideTimer, &QTimer::timeout, this, [this] {
        if (d->translucent) {
            d->fade->start();
        } else {
            hide();
        }
    });
}

HUDWindow::~HUDWindow() = default;

HUDWindow& HUDWindow::shared() {
    // Lives as long as the process: a window cannot outlive the application
    // object in a static destructor.
    static HUDWindow* window = new HUDWindow();
    return *window;
}

void HUDWindow::showText(const QString& text, const std::optional<IconSet>& icon) {
    d->fade->stop();
    setWindowOpacity(1.0);

    QFont font = Theme::current().baseFont;
    font.setPixelSize(15);
    font.setWeight(QFont::Medium);
    d->label->setFont(font);
    QPalette labelPalette = d->label->palette();
    labelPalette.setColor(QPalette::WindowText, QColor(0xF5, 0xF5, 0xF7));
    d->label->setPalette(labelPalette);
    // One line: a long failure message is cut, not a window wider than the screen.
    d->label->setText(QFontMetrics(font).elidedText(text.simplified(), Qt::ElideRight, 640));

    if (icon) {
        const qreal ratio = devicePixelRatioF();
        d->icon->setPixmap(Icons::pixmap(icon->small, 18, ratio));
        d->icon->show();
    } else {
        d->icon->clear();
        d->icon->hide();
    }

    adjustSize();
    const QSize hint = sizeHint().expandedTo(QSize(120, 44));
    resize(hint);
    if (!d->translucent) {
        QPainterPath shape;
        shape.addRoundedRect(QRectF(QPointF(0, 0), QSizeF(hint)), hint.height() / 2.0, hint.height() / 2.0);
        setMask(QRegion(shape.toFillPolygon().toPolygon()));
    }

    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        move(area.left() + (area.width() - hint.width()) / 2,
             area.top() + int(area.height() * 0.78) - hint.height() / 2);
    }
    show();
    raise();
    update();
    d->hideTimer.start();
}

QString HUDWindow::text() const {
    return d->label->text();
}

void HUDWindow::setDisplayInterval(int milliseconds) {
    d->hideTimer.setInterval(milliseconds);
}

void HUDWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF pill = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(QColor(255, 255, 255, 28), 1.0));
    painter.setBrush(d->translucent ? QColor(0x1E, 0x1E, 0x20, 236) : QColor(0x1E, 0x1E, 0x20));
    painter.drawRoundedRect(pill, pill.height() / 2, pill.height() / 2);
}

}  // namespace vantrel
