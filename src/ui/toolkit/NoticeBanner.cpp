#include "ui/toolkit/NoticeBanner.h"

#include "ui/toolkit/Theme.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace vantrel {

namespace {

constexpr int kBarWidth = 3;

}  // namespace

NoticeBanner::NoticeBanner(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("noticeBanner"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16 + kBarWidth, 10, 16, 10);
    layout->setSpacing(2);
    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("noticeTitle"));
    m_title->setWordWrap(true);
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("noticeMessage"));
    m_message->setWordWrap(true);
    m_message->setTextFormat(Qt::PlainText);
    m_title->setTextFormat(Qt::PlainText);
    layout->addWidget(m_title);
    layout->addWidget(m_message);
    themeChanged();
    hide();
}

void NoticeBanner::present(const QString& title, const QString& message, bool warning) {
    if (title.isEmpty()) {
        dismiss();
        return;
    }
    m_warning = warning;
    m_title->setText(title);
    m_message->setText(message);
    m_message->setVisible(!message.isEmpty());
    themeChanged();
    show();
}

void NoticeBanner::dismiss() {
    m_title->clear();
    m_message->clear();
    hide();
}

QString NoticeBanner::title() const {
    return m_title->text();
}

QString NoticeBanner::message() const {
    return m_message->text();
}

void NoticeBanner::themeChanged() {
    const Theme& theme = Theme::current();
    theme.styleTitleAndMessage(m_title, m_message);
    update();
}

void NoticeBanner::paintEvent(QPaintEvent*) {
    const Theme& theme = Theme::current();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor tint = m_warning ? theme.failure : theme.accent;
    QColor background = tint;
    background.setAlphaF(theme.isDark() ? 0.16 : 0.10);
    painter.fillRect(rect(), background);
    painter.fillRect(QRect(0, 0, kBarWidth, height()), tint);
    painter.setPen(theme.separator);
    painter.drawLine(rect().bottomLeft(), rect().bottomRight());
}

}  // namespace vantrel
