#include "ui/toolkit/DetailPane.h"

#include "ui/toolkit/Theme.h"

#include <QLabel>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace vantrel {

DetailPane::DetailPane(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 4, 12, 4);
    m_preview = new QLabel(this);
    m_preview->setAlignment(Qt::AlignCenter);
    m_preview->setMinimumHeight(0);
    m_preview->hide();
    m_text = new QTextBrowser(this);
    m_text->setFrameShape(QFrame::NoFrame);
    m_text->setOpenLinks(false);
    m_text->setStyleSheet(QStringLiteral("QTextBrowser { background: transparent; }") +
                          Theme::current().scrollBarStyleSheet());
    m_information = new QLabel(this);
    m_information->setWordWrap(true);
    m_information->setTextFormat(Qt::PlainText);
    m_information->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_preview);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_information);
}

void DetailPane::clear() {
    m_preview->clear();
    m_preview->hide();
    m_text->clear();
    m_information->clear();
}

void DetailPane::setPreview(const QPixmap& pixmap) {
    m_preview->setPixmap(pixmap);
    m_preview->show();
}

void DetailPane::setPlainText(const QString& text) {
    m_text->setPlainText(text);
}

void DetailPane::setHtml(const QString& html) {
    m_text->setHtml(html);
}

void DetailPane::setInformation(const QStringList& lines) {
    m_information->setText(lines.join(QLatin1Char('\n')));
}

bool DetailPane::showsPreview() const {
    return !m_preview->isHidden();
}

QString DetailPane::text() const {
    return m_text->toPlainText();
}

QString DetailPane::information() const {
    return m_information->text();
}

}  // namespace vantrel
